// The record cursor: one user's view of one table of a database directory.
//
// A cursor names its table, opens it through the directory (all cursors of a session on a table
// share one TDataTable), keeps a copy of the table's field definitions and the layout values its
// records follow, and has a current index. It also creates new tables. Records, keys, blobs and
// navigation build on this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/directory/DirectoryCursor.h"
#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/engine/table/TableCreateParams.h"

namespace cairn {

class TDataDirectory;
class TDataTable;

// A cursor may outlive its directory: when the directory is reset or freed (its session closed,
// the engine reset) the cursor is closed and detached. A detached cursor stays closed; opening,
// creating and naming tables then fail with 11014 (CAIRN_OSEBADF).
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
  // Creates the named table: the cursor must be closed (else 10031), exclusive (else 10253) and
  // writable (else 11013); the parameters are validated and normalised in place; an existing table
  // (its data file, or a table open in the directory) stops creation with 13060 unless replacing is
  // asked for. The table's files are written; with OpenAfterCreate the cursor stays open on the
  // new table, otherwise it is closed again, which flushes and closes the files.
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
  // ignored). 10022 for a name the table has no index of.
  void SetIndexName(const std::string& name);
  // The current index's name ("" for the primary index) and position.
  const std::string& IndexName() const { return FIndexName; }
  int IndexPos() const { return FIndexPos; }

 private:
  // Takes the field definitions and layout values of the open table.
  void InitializeFromTable();
  void Forget();
  // The directory; 11014 once detached.
  TDataDirectory& Directory() const;
  [[noreturn]] void RaiseError(uint16_t errorCode, const std::string& indexName = {}) const;

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
};

}  // namespace cairn
