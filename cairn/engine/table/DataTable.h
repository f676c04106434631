// One table of a database directory: its data, index and blob file, shared by every cursor of
// the session that uses the table.
//
// The table creates, opens and closes its three files together, applies the flush and
// change-detection policy across them, and takes the table's locks: the read and write locks of
// its lock-file entry (held only while it is open shared) and the record, whole-table and
// semaphore locks, which are byte ranges on the data file far beyond its end.
//
// Files of table "Events.dat" in directory D:
//
//   D/Events.dat   data file   header, field definitions, record slots        (always)
//   D/Events.idx   index file  header, 32 index definitions, pages            (always)
//   D/Events.blb   blob file   header, blob blocks                            (blob fields only)
//
// Every header carries an update stamp. A flush that wrote the index or blob header also writes
// the data header, so the data file's stamp changes whenever any file of the table changed;
// other processes compare that one stamp to notice changes (PerformChangeDetection).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cairn/engine/blob/BlobFile.h"
#include "cairn/engine/data/DataFile.h"
#include "cairn/engine/index/IndexFile.h"
#include "cairn/engine/io/BufferedFileOwner.h"
#include "cairn/engine/table/DataDirectoryTable.h"
#include "cairn/engine/table/TableCreateParams.h"
#include "cairn/engine/table/TableDirectory.h"
#include "cairn/engine/table/TableLocks.h"
#include "cairn/engine/table/TableSession.h"

namespace cairn {

class TCipher;

class TDataTable : public TDataDirectoryTable, public TBufferedFileOwner {
 public:
  // Record locks are kept in a bitmap of this many bits at first, grown as records need.
  static constexpr size_t kInitialRecordLockBits = 8192;

  // tableName is the engine table name ("Events.dat"); errorTableName, when not empty, is the
  // name errors give instead.
  TDataTable(TTableDirectory& directory, std::string tableName, std::string errorTableName = {});
  // A table still open is closed on the way out; its failures are swallowed here.
  ~TDataTable() override;
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;

  // ---- Identity -------------------------------------------------------------------------------
  const std::string& TableName() const override { return FTableName; }
  const std::string& ErrorTableName() const { return FErrorTableName; }
  TTableDirectory& DataDirectory() const { return FDataDirectory; }

  // ---- Use counts (cursors of the session using the table) ------------------------------------
  uint16_t UseCount() const { return FUseCount; }
  void IncUseCount();
  void DecUseCount();
  uint16_t ClientUseCount() const { return FClientUseCount; }

  // ---- State ----------------------------------------------------------------------------------
  bool IsOpen() const { return FIsOpen; }
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool value) { FExclusive = value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  bool Temporary() const { return FTemporary; }
  void SetTemporary(bool value) { FTemporary = value; }
  // The index file was missing (or unreadable) at open and was re-created without the table's
  // secondary indexes: the table needs repair.
  bool MissingIndex() const { return FMissingIndex; }
  bool HasBlobFields() const;
  // The table's entry in the lock file; null unless the table is open shared.
  TTableLocks* DataTableLocks() const { return FDataTableLocks; }
  // The session password that opened an encrypted table (owned by the session), or null.
  TTablePassword* DataPassword() const { return FDataPassword; }

  TDataFile& DataFile() const { return *FDataFile; }
  TIndexFile& IndexFile() const { return *FIndexFile; }
  TBlobFile& BlobFile() const { return *FBlobFile; }
  // Hands out the next blob signature (kept in the data file's header).
  int32_t NextBlobSignature() { return FDataFile->NextBlobSignature(); }

  // ---- Creation, open and close ---------------------------------------------------------------
  // Creates the files of a new table from validated parameters: the data file (header and field
  // definitions), the index file (primary, secondary and full-text definitions, and the full-text
  // parameters, the engine's defaults for those not given) and, with blob fields, the blob file.
  // The table is then open with one user more. On any failure the files this creation made are
  // closed and deleted, and the failure raised again. A result set keeps its whole index cached.
  void CreateTable(const TTableCreateParams& params, bool resultSet = false);
  // The three file names and their flags. useTemporary marks the files of a temporary table as
  // temporary (deleted when closed); a result set outside memory keeps its whole index cached.
  void AssignTableParams(bool useTemporary, bool resultSet);
  // Unless systemOpen, one user more; an open table stays as it is. Opens the data file (finding
  // the password of an encrypted table among the session's), the index file (re-created when it
  // is missing or too short to read: MissingIndex), and the blob file when there are blob fields;
  // registers a shared, writable table in the lock file; then reads the headers and, when asked,
  // checks them, under the table's read lock. Any failure closes the table again (its user
  // included) and is raised.
  void OpenTable(bool systemOpen, bool headerChecks);
  // Unless systemClose, one user less; the table stays open while used. Otherwise an exclusive,
  // writable table is flushed (a temporary one closed with freeIfTemporary drops its buffers
  // instead), every lock is released, and the files are closed: index, blob, data. A shared table
  // of a directory that keeps tables open keeps its files open on a normal close. A failure of the
  // flush still releases the locks and closes the files, then is raised.
  void CloseTable(bool freeIfTemporary, bool systemClose);
  void ReadHeaders();
  // The consistency checks of the data, index (unless just re-created) and blob header.
  void CheckHeaders();

  // ---- Lock-file locks ------------------------------------------------------------------------
  // Each takes (or releases) the lock only for a table open shared that holds no whole-table
  // lock; taking it newly runs change detection, whose answer (changed by another writer) is
  // returned. Without taking anything the answer is false.
  bool ReadLockTable();
  void ReadUnlockTable();
  bool WriteLockTable();
  void WriteUnlockTable();

  // ---- Data-file locks ------------------------------------------------------------------------
  // Locks record n (from 1) with the session's retries. False, taking nothing, while this table
  // holds the whole-table lock; CAIRN_RECLOCKFAILED for record 0, a record this table holds
  // already, or a record still locked by someone else after the retries. With strict change
  // detection off the table's read lock is held around each try, so that a change by another writer
  // is noticed.
  bool LockRecord(int32_t number);
  // Releases a record lock this table holds (nothing otherwise); CAIRN_UNLOCKFAILED when the
  // release fails.
  void UnlockRecord(int32_t number);
  bool RecordLocked(int32_t number) const;
  // Locks every record of the table with the session's retries; CAIRN_LOCKED when this table holds
  // the table lock or any record lock already, or the lock cannot be had.
  void LockTable();
  // Releases the whole-table lock, when held; CAIRN_UNLOCKFAILED when the release fails.
  void UnlockTable();
  bool TableLocked() const { return FTableLock; }
  // Tries once to lock semaphore n (1 ... the engine's semaphore range); whether it got it.
  // False for a number out of range and for a semaphore this table holds already.
  bool LockSemaphore(int32_t number);
  // Releases a semaphore this table holds (nothing otherwise); CAIRN_UNLOCKFAILED when the release
  // fails.
  void UnlockSemaphore(int32_t number);
  bool SemaphoreLocked(int32_t number) const;
  // Releases every record lock and the whole-table lock.
  void UnlockAll();
  void UnlockAllSemaphores();

  // ---- Flush policy ---------------------------------------------------------------------------
  // Nothing for a read-only table; inside a transaction only the header stamps rise. Otherwise,
  // for the data, index and (with blob fields) blob file in this order: the queued blocks are
  // written, the header when forced or when blocks were written (or it is dirty), the kind's
  // definitions when they changed; an OS flush follows a file that was written when
  // forceOSFlush or the session's ForceBufferFlush asks; adjust trims each cache. When the index
  // or blob header was written but the data header was not, the data header is written as well.
  // A shared table whose flush fails drops its cached blocks (the files are the table between
  // two writes) and re-reads its headers at the next lock; until then a flush writes nothing.
  void FlushBuffers(bool adjust, bool forceData, bool forceIndex, bool forceBlob,
                    bool forceOSFlush);
  // Raises the named files' header stamps in memory (the headers become dirty).
  void UpdateHeaderStamps(bool data, bool index, bool blob);
  // After an exclusive write: each file whose cache outgrew its budget writes its deferred
  // blocks and shrinks back (TBufferedFile::FlushWhenOverBudget).
  void FlushFilesOverBudget();
  // Drops every cached block (dirty ones unwritten); optionally trims the caches' capacity,
  // re-reads the headers and re-reads the index definitions.
  void FreeBuffers(bool adjust, bool rereadHeaders, bool rereadIndexDefinitions);
  // Hands each open file's writes to the disk, for a writable table whose session does not flush
  // after every write anyway.
  void FlushOSBuffers();
  // Re-reads the data header; when its stamp moved, another writer changed the table: the cached
  // blocks of all files are dropped and the index and blob headers re-read. Whether it changed.
  // An exclusive table is never changed by anyone else. After a failed flush of a shared table
  // the headers are re-read and the answer is true whatever the stamp says.
  bool PerformChangeDetection();

  // ---- TBufferedFileOwner ---------------------------------------------------------------------
  std::string ProperTableName() const override;
  std::string DatabaseName() const override;
  void MarkWrittenTo() override { FWrittenTo = true; }
  bool WrittenTo() const override { return FWrittenTo; }
  bool InTransaction() const override { return FInTransaction; }
  bool ForceBufferFlush() const override;
  bool StrictChangeDetection() const override;
  bool MarkedReadOnly() const override { return FMarkedReadOnly; }
  bool ReadLockForMiss() override { return ReadLockTable(); }
  const TCipher* Cipher() const override;

 private:
  // Creation steps.
  void CreateDataFile(const TTableCreateParams& params);
  void CreateIndexFile(const TTableCreateParams& params);
  void CreateBlobFile();
  // Opening steps.
  void OpenIndexFile();
  void RecreateIndexFile();
  void TakeReadOnlyFlags();
  // Index file and data file agree on the fields and the page size.
  void HandFieldsToIndexFile();
  void CloseFiles();
  void ReleaseLocks();
  // Drops every cached block of a shared table whose flush failed (see FlushBuffers).
  void DiscardUnwritten();
  // One file's part of FlushBuffers; whether its header was written. writeDefinitions writes the
  // kind's definition area when it changed and tells whether it did.
  bool FlushFile(TBufferedFile& file, bool forceHeader, bool adjust, bool forceOSFlush,
                 const std::function<bool()>& writeDefinitions);
  bool LockWithRetries(const std::function<bool()>& tryLock);
  [[noreturn]] void RaiseError(uint16_t errorCode) const;
  TTableSession& Session() const { return FDataDirectory.TableSession(); }

  TTableDirectory& FDataDirectory;
  uint16_t FUseCount = 0;
  uint16_t FClientUseCount = 0;
  std::string FTableName;
  std::string FErrorTableName;
  bool FIsOpen = false;
  bool FExclusive = false;
  bool FReadOnly = false;
  bool FMarkedReadOnly = false;
  bool FTemporary = false;
  TTableLocks* FDataTableLocks = nullptr;
  std::vector<bool> FRecordLocks;
  // Transactions keep what they locked until they end; no transaction exists yet, so these stay
  // empty and false.
  std::vector<bool> FTransactionRecordLocks;
  bool FTableLock = false;
  bool FTransactionTableLock = false;
  std::vector<bool> FSemaphoreLocks;
  std::unique_ptr<TDataFile> FDataFile;
  std::unique_ptr<TIndexFile> FIndexFile;
  std::unique_ptr<TBlobFile> FBlobFile;
  bool FMissingIndex = false;
  bool FInTransaction = false;
  bool FWrittenTo = false;
  // A shared flush failed: the cached blocks were dropped and the headers in memory may count
  // what the files do not hold until they are re-read.
  bool FHeadersStale = false;
  TTablePassword* FDataPassword = nullptr;
  // The key of an encrypted table while it is being created (after an open the data file holds
  // the key it found).
  std::unique_ptr<TCipher> FCreationKey;
};

}  // namespace cairn
