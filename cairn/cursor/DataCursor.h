// The record cursor: one user's view of one table of a database directory.
//
// A cursor names its table, opens it through the directory (all cursors of a session on a table
// share one TDataTable), keeps a copy of the table's field definitions and the layout values its
// records follow, and has a current index. It creates tables, prepares new records with their
// default values, reads and writes their fields, builds their index keys, holds their open blob
// values, stores new records and reads records back in slot order or in the order of an index.
//
// Record buffers handed in and out are RecordSize() bytes in the layout of a record slot.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/cursor/BlobHandles.h"
#include "cairn/cursor/FieldCodec.h"
#include "cairn/cursor/IndexWalker.h"
#include "cairn/cursor/KeyBuilder.h"
#include "cairn/cursor/ReadBatch.h"
#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/directory/DirectoryCursor.h"
#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/engine/table/TableCreateParams.h"

namespace cairn {

class TDataDirectory;
class TDataTable;
class TDataCursor;

// What an insert-error hook answers.
enum class TInsertErrorAction { Fail, Abort, Retry };

// Hooks around storing a new record; any of them may be empty (none is, by default).
struct TInsertHooks {
  std::function<void(TDataCursor&, char* record)> BeforeInsert;
  std::function<void(TDataCursor&, const char* record, int32_t recordNumber)> AfterInsert;
  std::function<TInsertErrorAction(TDataCursor&, const std::exception&, char* record)> InsertError;
};

// A cursor may outlive its directory: when the directory is reset or freed (its session closed,
// the engine reset) the cursor is closed and detached. A detached cursor stays closed; opening,
// creating and naming tables then fail with CAIRN_OSEBADF.
class TDataCursor : public TDirectoryCursor {
 public:
  // Registers the cursor with the directory. noRemoteCall matters only to remote sessions.
  explicit TDataCursor(TDataDirectory& directory, bool noRemoteCall = false);
  // Closes the cursor (failures swallowed) and unregisters it, unless it was detached.
  ~TDataCursor() override;
  TDataCursor(const TDataCursor&) = delete;
  TDataCursor& operator=(const TDataCursor&) = delete;

  // The directory, or null once the cursor was detached from it.
  TDataDirectory* DataDirectory() const { return FDataDirectory; }
  void DetachFromDirectory() noexcept override;

  // ---- Table and flags (taking effect at the next open or creation) ---------------------------
  // An 8-bit table name; the cursor keeps its engine table name: the file-name part with the
  // extension replaced by the data extension, cut to 60 characters ("Events" -> "Events.dat").
  void SetTableName(const std::string& tableName);
  const std::string& TableName() const { return FTableName; }
  const std::string& ErrorTableName() const { return FErrorTableName; }
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool value) { FExclusive = value; }
  // Opening a table that cannot be written makes the cursor read-only.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  bool IsOpen() const { return FDataTable != nullptr; }
  // The open table, or null.
  TDataTable* DataTable() const { return FDataTable; }

  // ---- Creation, open and close ---------------------------------------------------------------
  // Creates the named table: the cursor must be closed (else CAIRN_TABLEOPEN), exclusive (else
  // CAIRN_NEEDEXCLACCESS) and writable (else CAIRN_OSEACCES); the parameters are validated and
  // normalised in place; an existing table (its data file, or a table open in the directory) stops
  // creation with CAIRN_TABLEEXISTS unless replacing is asked for. The table's files are written;
  // with OpenAfterCreate the cursor stays open on the new table, otherwise it is closed again,
  // which flushes and closes the files.
  void CreateTable(TTableCreateParams& params);
  // Opens the named table with the cursor's flags and takes its field definitions, record size
  // and primary index. Nothing happens when the cursor is open already. initializeOnly is kept
  // for callers that do not position the cursor (no positioning exists yet).
  void OpenCursor(bool noRemoteCall = false, bool initializeOnly = false);
  // Gives the table back (the last user closes it); nothing when the cursor is closed. A
  // temporary table is dropped without flushing when freeIfTemporary.
  void CloseCursor(bool freeIfTemporary = true);

  // ---- What the open table looks like -----------------------------------------------------------
  int32_t FieldCount() const { return static_cast<int32_t>(FFieldDefinitions.size()); }
  // Field numbers from 1; -1 (65535) is the RecordID pseudo-field, -2 (65534) RecordHash. Null for
  // any other number.
  const TFieldDefinition* FieldDefinition(int32_t fieldNum) const;
  // The field of that name (case ignored, pseudo-fields included), or null.
  const TFieldDefinition* FieldDefinitionByName(const std::string& name) const;
  uint16_t RecordSize() const { return FRecordSize; }
  int32_t LocaleID() const { return FLocaleID; }
  bool HasDefaultValues() const { return FHasDefaultValues; }
  bool HasValidityChecks() const { return FHasValidityChecks; }
  bool HasAutoIncFields() const { return FHasAutoIncFields; }

  // ---- Indexes ----------------------------------------------------------------------------------
  // The number of secondary indexes; positions 1 ... IndexCount are theirs, 0 the primary index.
  int IndexCount() const;
  // The definition at a position (0 ... IndexCount, or 31 for the full-text index);
  // std::out_of_range for any other position or a closed cursor.
  const TIndexDefinition& IndexDefinition(int pos) const;
  // Sets the current index: "" is the primary index, any other name a secondary index (case
  // ignored). CAIRN_INVALIDINDEXNAME for a name the table has no index of.
  void SetIndexName(const std::string& name);
  // The current index's name ("" for the primary index) and position.
  const std::string& IndexName() const { return FIndexName; }
  int IndexPos() const { return FIndexPos; }
  // Sets the current index by position (0 ... IndexCount); CAIRN_INVALIDIDXDESC for any other
  // position.
  void SetIndexPos(int pos);

  // ---- Records and fields -----------------------------------------------------------------------
  // Zero-fills a new record and gives every field with a default its value (keywords evaluated
  // now). EConvertError for a default that does not convert; the fields before it keep theirs.
  void InitRecord(char* record);
  void ClearRecord(char* record) const;
  // Reads a field (pseudo-fields -1 and -2 included): DataSize bytes into value (4 for a blob)
  // unless null. std::out_of_range for an unknown field number.
  void GetField(int32_t fieldNum, const char* record, void* value, bool& isNull) const;
  // Writes a field by the put rules; value null means null. Pseudo-fields are not written.
  void PutField(int32_t fieldNum, char* record, const void* value, bool writeToExpressions = false,
                bool blobEmpty = false) const;
  // The cursor shows the table's own fields, so the physical forms are the same.
  void GetPhysicalField(int32_t fieldNum, const char* record, void* value, bool& isNull) const {
    GetField(fieldNum, record, value, isNull);
  }
  void PutPhysicalField(int32_t fieldNum, char* record, const void* value,
                        bool blobEmpty = false) const {
    PutField(fieldNum, record, value, false, blobEmpty);
  }

  // ---- Keys of the current index
  // ------------------------------------------------------------------
  size_t KeySize() const { return FKeys.KeySize(); }
  void GetKeyValues(const char* record, char* key) const { FKeys.Build(record, key); }
  int CompareKeys(const char* a, const char* b, size_t n) const { return FKeys.Compare(a, b, n); }

  // ---- Storing a new record
  // ----------------------------------------------------------------------- Stores the record with
  // its RecordID, hash, auto-increment values, keys and blobs; on return bytes 1-4 of the record
  // hold its slot number and the cursor is on it. Errors: CAIRN_OSEACCES read-only; CAIRN_REQDERR,
  // CAIRN_MINVALERR, CAIRN_MAXVALERR validity; CAIRN_KEYVIOL duplicate key; lock, file and index
  // errors. A failure leaves the table as it was. False when an insert-error hook aborted the post.
  bool AppendRecord(char* record, bool refreshFilter = true, bool setRecordHash = true,
                    bool skipKeyChecks = false, bool skipAutoInc = false,
                    bool copyRecordNo = false);
  void SetInsertHooks(TInsertHooks hooks) { FInsertHooks = std::move(hooks); }
  bool SuppressTriggers() const { return FSuppressTriggers; }
  void SetSuppressTriggers(bool value) { FSuppressTriggers = value; }
  bool SuppressRecordIDs() const { return FSuppressRecordIDs; }
  void SetSuppressRecordIDs(bool value) { FSuppressRecordIDs = value; }
  // The RecordHash of a record as a post computes it.
  TMD5Digest CalcRecordHash(const char* record);

  // ---- Reading records back -------------------------------------------------------------------
  // Each answers 0 with the record copied into record (its bytes 1-4 holding its slot
  // number), CAIRN_BOF (before the first) or CAIRN_EOF (after
  // the last); other failures are raised. The order is the current index's, or slot order
  // (SetSlotOrder). A shared cursor notices records other processes stored since its last read.
  uint16_t GetFirstRecord(char* record);
  uint16_t GetLastRecord(char* record);
  uint16_t GetNextRecord(char* record);
  uint16_t GetPriorRecord(char* record);
  // Reads the current record again; CAIRN_KEYORRECDELETED when it was deleted meanwhile.
  uint16_t GetCurrentRecord(char* record, bool lockIt = false);
  // The current record's slot number (0 when not on a record).
  int32_t RecordNumber() const { return FCurRecordNumber; }
  // The live records as the data file's header counts them, read under the table's read lock so
  // that a shared cursor counts what other processes added.
  int32_t RecordCount();
  // A bookmark is the slot number of the current record.
  int32_t GetBookmark() const { return FCurRecordNumber; }
  // Positions on the record of the bookmark; CAIRN_KEYORRECDELETED when there is no live record
  // there.
  uint16_t SetToBookmark(int32_t bookmark);
  void SetToBegin();
  void SetToEnd();
  // Raises the engine error of a code (nothing for 0).
  void CheckError(uint16_t code) const;
  // Slot order instead of the current index's order.
  bool SlotOrder() const { return FSlotOrder; }
  void SetSlotOrder(bool value);

  // ---- Open blob values -----------------------------------------------------------------------
  // Opens the value of a blob field of the record (mode 1 read, 2 write, 3 copy) and answers its
  // size; the field then holds the negated handle. Opening an open value shares its buffer.
  size_t OpenBlob(int32_t fieldNum, char* record, uint8_t mode, bool physical = false,
                  bool systemBlob = false);
  size_t GetBlob(int32_t fieldNum, const char* record, size_t offset, void* destination,
                 size_t length, bool physical = false) const;
  void PutBlob(int32_t fieldNum, char* record, size_t offset, const void* source, size_t length,
               bool physical = false);
  void TruncateBlob(int32_t fieldNum, char* record, size_t newSize, bool physical = false);
  size_t GetBlobSize(int32_t fieldNum, const char* record, bool physical = false) const;
  void FreeBlob(int32_t fieldNum, char* record, bool physical = false, bool systemBlob = false);
  bool ValidBlobHandle(int32_t fieldNum, const char* record, bool physical = false) const;
  void CancelAllBlobs(char* record);
  void FreeAllBlobs(bool force);
  void CreateBlobCopies(char* record, bool physical = false);
  void DeleteAllBlobs(char* record);
  // Blob steps of a post (public for the table layer's edits).
  // Puts the first block numbers and signatures of source's blob fields into destination's
  // (a negative number, an open handle, brings its null flag along).
  void CopyBlobBlocks(const char* source, char* destination, bool physical = false) const;
  const TBlobHandles& BlobHandles() const { return FBlobs; }

  // An open value taking part in a post, with its field.
  struct TPostBlob {
    const TFieldDefinition* Field;
    TBlobBuffer* Buffer;
  };

 private:
  // Takes the field definitions and layout values of the open table.
  void InitializeFromTable();
  void Forget();
  // The directory; CAIRN_OSEBADF once detached.
  TDataDirectory& Directory() const;
  const TFieldDefinition& Field(int32_t fieldNum) const;
  [[noreturn]] void RaiseError(uint16_t errorCode, const std::string& indexName = {},
                               const std::string& fieldName = {}) const;
  void RequireOpen() const;

  // Append steps.
  void AppendAttempt(char* record, bool setRecordHash, bool skipKeyChecks, bool skipAutoInc,
                     bool copyRecordNo);
  void SetAutoIncFields(char* record) const;
  void CheckRecordValidity(const char* record) const;
  void CheckUniqueKeys(const char* record);
  void StoreRecord(int32_t slot, char* record, bool& blobsWritten);
  void InsertKeys(const char* record, int32_t slot);

  // Reading.
  bool ReadSlot(int32_t number, char* record);
  // What ReadSlot does with a record copied out: whether it is live; it gets its slot number.
  bool TakeSlot(int32_t number, char* record);
  // ReadSlot for the record of an index entry a step walked to: with the records of the
  // entries after it (in the walk's direction) read ahead in a batch where that pays.
  bool ReadSlotInWalk(int32_t number, char* record, bool forward);
  TReadBatch::TSource BatchSource(bool forward) const;
  void FillReadBatch(const TReadBatch::TSource& source, int32_t number, size_t count);
  // Raises the corrupt-index error unless the entry's record is live and has the entry's key.
  void RequireEntryRecord(bool live, const char* record, const char* entryKey);
  bool StepInBatch(char* record, bool forward);
  void CopySlotThroughCache(int32_t number, int32_t readAhead, char* record);
  // Slots to read at once for a miss on slot number.
  int32_t SlotReadAhead(int32_t number) const;
  bool WalkingTo(int32_t number) const;
  bool MostlyCached() const;
  bool MostlyHeld() const;
  uint16_t Step(char* record, bool forward);
  uint16_t StepInSlotOrder(char* record, bool forward);
  uint16_t StepInIndex(char* record, bool forward);
  // Whether the current record is the one this cursor appended last and its slot unchanged since.
  bool HoldsAppendedRecord() const;
  // key: the record's key in the current index when the caller has it built already.
  void PositionOn(int32_t number, const char* record, const char* key = nullptr);

  // Blobs.
  const TFieldDefinition& BlobField(int32_t fieldNum) const;
  // The buffer whose handle the field carries; CAIRN_INVALIDBLOBHANDLE when there is none.
  TBlobBuffer* OpenBuffer(int32_t fieldNum, const char* record) const;
  void ReadBlobValue(TBlobBuffer& buffer, char* record, const TFieldDefinition& field);
  // The blob steps of a post: the caller's record names the open values, work receives the
  // chains. Whether anything was written to the blob file.
  bool PostBlobs(const char* record, char* work);
  void CollectPostBlobs(const char* record);
  // With reuse: a value without a chain takes the record's (inherited) one, the others give
  // theirs to the record; without: every value gives its chain to the record.
  void UpdateBlobBlocks(char* record, bool reuseBlockNumbers);
  // Every changed value gets a new signature, in its buffer and in the record.
  void UpdateBlobSignatures(char* record);
  bool WriteBlobs();

  TDataDirectory* FDataDirectory;
  bool FNoRemoteCall;
  std::string FTableName;
  std::string FErrorTableName;
  bool FExclusive = false;
  bool FReadOnly = false;
  TDataTable* FDataTable = nullptr;
  // The name the open table is listed under in the directory.
  std::string FOpenTableName;
  uint16_t FRecordSize = 0;
  int32_t FLocaleID = 0;
  std::vector<TFieldDefinition> FFieldDefinitions;
  bool FHasDefaultValues = false;
  bool FHasValidityChecks = false;
  bool FHasAutoIncFields = false;
  std::string FIndexName;
  int FIndexPos = 0;
  TFieldCodec FCodec;
  TKeyBuilder FKeys;
  // The keys of every index (0 ... IndexCount), for the post.
  std::vector<TKeyBuilder> FIndexKeys;
  std::vector<TPostBlob> FPostBlobs;
  // Scratch of the post: the working record, the hash image, a key and the slot's old record (its
  // blob references, in a table with blob fields).
  std::vector<char> FScratchRecord;
  std::vector<char> FHashRecord;
  std::vector<char> FKeyBuffer;
  std::vector<char> FOldRecord;
  std::vector<char> FCurrentRecord;
  int32_t FCurRecordNumber = 0;
  // The slot an append of an exclusive table stored last (0: none) and the data file's content
  // generation after it: while that has not moved, the slot holds FCurrentRecord.
  int32_t FAppendedSlot = 0;
  uint64_t FAppendedGeneration = 0;
  // The slot ReadSlot read last (0: none), to tell a walk through neighbouring slots.
  int32_t FLastSlotRead = 0;
  // The key of the current record in the current index, and where the last step found it.
  std::vector<char> FPositionKey;
  TWalkHint FWalkHint;
  // The records the walk in the current index comes to next, read ahead.
  TReadBatch FReadBatch;
  // The key built from a record read in index order, to compare with its entry.
  std::vector<char> FRecordKey;
  enum class TPosition { Begin, OnRecord, End } FPosition = TPosition::Begin;
  bool FSlotOrder = false;
  TInsertHooks FInsertHooks;
  bool FSuppressTriggers = false;
  bool FSuppressRecordIDs = false;
  TBlobHandles FBlobs;
};

}  // namespace cairn
