// A stand-in for the table that owns buffered files, for tests of the table file formats.
#pragma once

#include <memory>
#include <string>

#include "cairn/engine/io/BufferedFileOwner.h"
#include "cairn/engine/io/Cipher.h"

namespace cairn::test {

class TTestTableOwner : public TBufferedFileOwner {
 public:
  std::string ProperTableName() const override { return TableName; }
  std::string DatabaseName() const override { return Database; }
  void MarkWrittenTo() override { Written = true; }
  bool WrittenTo() const override { return Written; }
  bool InTransaction() const override { return Transaction; }
  bool ForceBufferFlush() const override { return ForceFlush; }
  bool StrictChangeDetection() const override { return Strict; }
  bool MarkedReadOnly() const override { return ReadOnlyMark; }
  bool ReadLockForMiss() override {
    ++ReadLocks;
    return false;
  }
  const TCipher* Cipher() const override { return Key.get(); }

  // Enciphers the owner's files with Blowfish-CBC keyed by the given bytes.
  void UseKey(const void* key, size_t length) { Key = NewBlowfishCipher(key, length); }

  std::string TableName = "Test";
  std::string Database = "/tmp/db";
  bool Written = false;
  bool Transaction = false;
  bool ForceFlush = false;
  bool Strict = false;
  bool ReadOnlyMark = false;
  int ReadLocks = 0;
  std::unique_ptr<TCipher> Key;
};

}  // namespace cairn::test
