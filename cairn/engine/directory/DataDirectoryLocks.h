// The lock file of a database directory: its table list and the byte-range locks on it.
//
// The file (by default "cairn.lck", hidden, in the directory itself; an in-memory file for the
// in-memory database) holds the directory's table list, which gives every table a stable ID:
//
//   offset 0   int32  update count: +1 on every rewrite of the list, 2147483647 -> 1
//   offset 4   int32  list size S = 4 + sum over the entries of (1 + name length)
//   offset 8   S - 4  entries in table-ID order: length byte (<= 255), then the name's bytes
//
// The file is 4 + S bytes long; entries are only ever appended, at most 4096 of them. The locks
// lie far beyond the end of the file (LockGeometry.h) and never wait: waiting is a bounded
// number of tries with a fixed sleep in between.
//
// A directory whose lock file cannot be created or opened is read-only: it takes no locks and
// writes nothing. A lock file whose list is damaged (a list size below 4 or beyond what 4096
// entries can fill, lengths that run past the list, too many entries, or known entries that
// changed) is never trusted: while the directory is being opened it makes the directory
// read-only, later it raises CAIRN_HEADERCORRUPT naming the database.
//
// A lock file shorter than its header says (under 8 bytes, or under 4 + S bytes) is what a
// process killed while writing the list leaves behind, most often an empty file from the first
// open of a directory. That is no damage: an opener that can hold the file exclusively (so no
// process has it open, and no table ID of it is in use) writes it anew, seeded like a new file.
// While any process holds it, it is left alone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cairn/engine/directory/DataTableLocks.h"
#include "cairn/engine/io/LockGeometry.h"

namespace cairn {

class TDataDirectory;
class TEngineFile;
class TEngineServices;

// A list holds at most this many tables.
inline constexpr size_t kMaxDataTables = 4096;

class TDataDirectoryLocks {
 public:
  explicit TDataDirectoryLocks(TDataDirectory& directory);
  // Closes the lock file; the file stays on disk. Locks still held go with the handle.
  ~TDataDirectoryLocks();
  TDataDirectoryLocks(const TDataDirectoryLocks&) = delete;
  TDataDirectoryLocks& operator=(const TDataDirectoryLocks&) = delete;

  // Creates the lock file when it is missing (seeded with the directory's tables), then opens it
  // shared and reads the table list; a short lock file that nobody holds is written anew first.
  // Never raises: whatever fails makes the directory read-only.
  void Open();

  // The entry of that name (compared without regard to case), or -1.
  int FindDataTable(const std::string& tableName) const;
  // Registers a table under its engine table name (e.g. "Events.dat") and returns its entry: the
  // entry already listed, or a new one appended with the next table ID and written to the file.
  // Under the list write lock (CAIRN_LOCKWRITELOCK / CAIRN_LOCKWRITEUNLOCK); CAIRN_DATABASEFULL
  // when the list is full, which leaves it unchanged.
  TDataTableLocks& AddDataTable(const std::string& tableName);
  // CAIRN_DATABASEFULL when no further table fits into the list.
  void CheckTableLimit() const;

  // The directory-wide transaction locks; they mark every entry as holding its transaction
  // byte or its write range. CAIRN_TRANSLOCK when a lock fails, CAIRN_TRANSUNLOCK when a release
  // fails.
  void TransLockDataDirectory();
  void TransUnlockDataDirectory();
  void TransWriteLockDataDirectory();
  void TransWriteUnlockDataDirectory();

  bool ReadOnly() const { return FReadOnly; }
  int32_t UpdateCount() const { return FUpdateCount; }
  size_t Count() const { return FDataTableLocksList.size(); }
  TDataTableLocks& Item(size_t index) const { return *FDataTableLocksList[index]; }
  TDataDirectory& DataDirectory() const { return FDataDirectory; }
  TEngineFile& LockFile() const { return *FLockFile; }
  const TLockGeometry& Geometry() const { return FGeometry; }

  // Tries to lock up to `tries` times (at least once), sleeping waitMs between tries; nextRange
  // gives the range of each try (a new slot for slotted locks). taken receives the range held.
  bool LockWithRetries(const std::function<TLockRange()>& nextRange, uint16_t tries,
                       uint16_t waitMs, TLockRange& taken);
  bool UnlockRange(const TLockRange& range);
  // Raises an engine error naming the directory's database and, when given, a table.
  [[noreturn]] void RaiseError(uint16_t errorCode, const std::string& tableName = {}) const;

 private:
  TEngineServices& Engine() const;
  // Creating a missing lock file; false when anything failed.
  bool CreateLockFile();
  // Creates the file exclusively and writes the seeded list; a failure removes what it made.
  void WriteNewLockFile();
  // Writes a short lock file anew when no other opener holds it; whether it did.
  bool RenewShortLockFile();
  // Whether the open file is shorter than its header says it must be.
  bool ListIsShort();
  // One attempt to open the file shared and read the list; false when it failed.
  bool OpenShared();
  void SeedList();
  // Writes the update count and the whole list (skipped when read-only).
  void WriteList();
  // Reads the list when its update count changed (skipped when read-only); CAIRN_HEADERCORRUPT when
  // damaged.
  void RefreshList();
  TDataTableLocks& AppendEntry(const std::string& tableName);

  void ReadLockList();
  void ReadUnlockList();
  void WriteLockList();
  void WriteUnlockList();

  TDataDirectory& FDataDirectory;
  TLockGeometry FGeometry;
  std::unique_ptr<TEngineFile> FLockFile;
  int32_t FUpdateCount = 0;
  bool FListRead = false;  // FUpdateCount holds a count read from or written to the file
  uint16_t FLockSlot = 0;
  std::vector<std::unique_ptr<TDataTableLocks>> FDataTableLocksList;
  bool FReadOnly = false;
};

}  // namespace cairn
