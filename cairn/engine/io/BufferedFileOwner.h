// What a buffered file's cache needs from the table that owns it.
//
// The table (one data, one index and one blob file) applies the flush and change-detection
// policy across its files; the cache only asks it these questions. A buffered file without an
// owner behaves as a plain, unencrypted file outside any session.
#pragma once

#include <string>

namespace cairn {

class TCipher;

class TBufferedFileOwner {
 public:
  virtual ~TBufferedFileOwner() = default;

  // Names for the errors of the table's files.
  virtual std::string ProperTableName() const = 0;
  virtual std::string DatabaseName() const = 0;

  // Set whenever a block or a header reaches one of the table's files.
  virtual void MarkWrittenTo() = 0;
  virtual bool WrittenTo() const = 0;
  virtual bool InTransaction() const = 0;
  // The session's flag: every write that reaches a file is followed by an OS flush.
  virtual bool ForceBufferFlush() const = 0;
  virtual bool StrictChangeDetection() const = 0;
  virtual bool MarkedReadOnly() const = 0;

  // Before a cache miss is read: takes the table's read lock; when it was newly taken, runs change
  // detection. Returns whether another writer changed the table, in which case the cached blocks
  // are gone and the caller must restart its operation. The lock stays held for the caller.
  virtual bool ReadLockForMiss() = 0;

  // The table's cipher; null for a plain table.
  virtual const TCipher* Cipher() const = 0;
};

}  // namespace cairn
