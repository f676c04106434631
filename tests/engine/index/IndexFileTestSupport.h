// Shared pieces of the index file and index tree tests: a test table's fields, key and definition
// builders, and a fixture that makes real index files in a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "cairn/engine/io/Coding.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/index/IndexFile.h"
#include "cairn/engine/index/KeyComparer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestTableOwner.h"

namespace cairn::test {

// Field numbers of the test table.
enum : uint16_t {
  kId = 1,       // integer
  kName = 2,     // string, length 20
  kPhoto = 3,    // blob
  kNotes = 4,    // memo
  kAmount = 5,   // BCD
  kLongest = 6,  // string, length 1359: a key part of 1361 bytes
  kTooLong = 7,  // string, length 1360: a key part of 1362 bytes
  kLong1K = 8,   // string, length 335: a key part of 337 bytes, the largest on 1024-byte pages
  kRecordID = fld::kRecordIDFieldNum,
};

inline TFieldDefinition MakeField(uint16_t number, const char* name, uint8_t type,
                                  uint16_t length = 0, uint8_t subType = 0) {
  TFieldDefinition f;
  f.FieldNum = number;
  f.FieldName = name;
  f.DataType = type;
  f.SubType = subType;
  f.Length = length;
  f.DataSize = FieldDataSize(type, subType, length);
  return f;
}

inline std::vector<TFieldDefinition> TestFields() {
  return {MakeField(kId, "Id", fld::kInteger),
          MakeField(kName, "Name", fld::kString, 20),
          MakeField(kPhoto, "Photo", fld::kBlob),
          MakeField(kNotes, "Notes", fld::kBlob, 0, fld::kSubMemo),
          MakeField(kAmount, "Amount", fld::kBCD, 10),
          MakeField(kLongest, "Longest", fld::kString, 1359),
          MakeField(kTooLong, "TooLong", fld::kString, 1360),
          MakeField(kLong1K, "Long1K", fld::kString, 335)};
}

// A definition over key fields with the key size their parts make.
inline TIndexDefinition MakeIndex(const std::string& name,
                                  std::initializer_list<uint16_t> keyFields, bool unique = true,
                                  uint8_t compression = idx::kCompressNone,
                                  bool statistics = true) {
  TIndexDefinition d;
  d.IndexName = name;
  d.KeyUnique = unique;
  d.KeyCompressionType = compression;
  d.NoKeyStatistics = !statistics;
  const std::vector<TFieldDefinition> fields = TestFields();
  int size = unique ? 0 : 4;
  for (uint16_t number : keyFields) {
    d.KeyFields[d.KeyFieldCount++] = number;
    const TFieldDefinition* field = TKeyComparer::FindKeyField(fields, number);
    size += field ? TKeyComparer::KeyValueLength(*field) + 1 : 1;
  }
  d.KeySize = static_cast<uint16_t>(size);
  return d;
}

// Key parts in their stored form.
inline std::string IntegerPart(int32_t value) {
  std::string part(5, '\0');
  part[0] = 1;
  EncodeBigEndian32(part.data() + 1, static_cast<uint32_t>(value) ^ 0x80000000u);
  return part;
}

inline std::string RecordIDSuffix(int32_t id) {
  std::string suffix(4, '\0');
  EncodeBigEndian32(suffix.data(), static_cast<uint32_t>(id) ^ 0x80000000u);
  return suffix;
}

// A present string value zero-padded to the field's data size.
inline std::string StringPart(const std::string& text, size_t dataSize) {
  std::string part(1 + dataSize, '\0');
  part[0] = 1;
  part.replace(1, text.size(), text);
  return part;
}

class IndexFileFixture : public ::testing::Test {
 protected:
  std::string Path() const { return FDir.File("Table.idx"); }

  // A file object on Path() with the test table's fields.
  std::unique_ptr<TIndexFile> MakeFile(int32_t pageSize) {
    auto file = std::make_unique<TIndexFile>(FEngine, &FOwner, pageSize);
    file->SetFileName(Path());
    file->SetExclusive(true);
    file->SetFieldDefinitions(TestFields());
    return file;
  }

  // A new file as table creation leaves it: the automatic primary index, the secondary indexes
  // given, "Sys Text" in slot 31, header and definitions written.
  std::unique_ptr<TIndexFile> NewFile(int32_t pageSize,
                                      const std::vector<TIndexDefinition>& secondary = {}) {
    auto file = MakeFile(pageSize);
    file->CreateFile();
    file->AddPrimaryIndex(TIndexDefinition::AutomaticPrimary());
    for (const TIndexDefinition& d : secondary) file->AddSecondaryIndex(d);
    file->SetIndexDefinition(idx::kTextSlot, TIndexFile::TextIndexDefinition({}));
    file->WriteHeader(true);
    file->WriteIndexDefinitions();
    return file;
  }

  // What closing an exclusive table does: blocks, header, definitions.
  static void Flush(TIndexFile& file) {
    file.FlushBuffers();
    file.WriteHeader(false);
    if (file.IndexesAreDirty()) file.WriteIndexDefinitions();
  }

  std::unique_ptr<TIndexFile> Reopen(std::unique_ptr<TIndexFile> file) {
    const int32_t pageSize = file->PageSize();
    Flush(*file);
    file->CloseFile();
    file.reset();
    auto reopened = MakeFile(pageSize);
    reopened->OpenFile();
    return reopened;
  }

  TDataEngine FEngine;
  TTempDir FDir;
  TTestTableOwner FOwner;
};

}  // namespace cairn::test
