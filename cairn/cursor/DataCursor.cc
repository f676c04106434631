#include "cairn/cursor/DataCursor.h"

#include <stdexcept>

#include "cairn/error/EngineError.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/engine/table/TableValidator.h"
#include "cairn/host/CodePage.h"

namespace cairn {

TDataCursor::TDataCursor(TDataDirectory& directory, bool noRemoteCall)
    : FDataDirectory(&directory), FNoRemoteCall(noRemoteCall) {
  FDataDirectory->AddDataCursor(this);
}

TDataCursor::~TDataCursor() {
  if (FDataDirectory == nullptr) return;  // detached: closed already, and the directory is gone
  try {
    CloseCursor(true);
  } catch (...) {
    // A destructor cannot report the failed close; the directory frees the table later anyway.
  }
  FDataDirectory->RemoveDataCursor(this);
}

void TDataCursor::DetachFromDirectory() noexcept {
  try {
    CloseCursor(true);
  } catch (...) {
    // The directory frees the table right after; there is nobody to report the failure to.
  }
  FDataDirectory = nullptr;
}

TDataDirectory& TDataCursor::Directory() const {
  if (FDataDirectory == nullptr) RaiseError(CAIRN_OSEBADF);
  return *FDataDirectory;
}

void TDataCursor::RaiseError(uint16_t errorCode, const std::string& indexName) const {
  TEngineErrorContext context;
  context.TableName = FErrorTableName.empty() ? FTableName : FErrorTableName;
  context.IndexName = indexName;
  if (FDataDirectory == nullptr) {
    // Detached: the session, and with it the way to the engine's error record, may be gone.
    context.ErrorNumber = errorCode;
    throw ECairnEngineError(errorCode, context);
  }
  context.DatabaseName = FDataDirectory->ProperDataDirectoryName();
  FDataDirectory->Engine().RaiseError(errorCode, context);
}

void TDataCursor::SetTableName(const std::string& tableName) {
  FTableName = Directory().EngineTableName(tableName);
  FErrorTableName = FTableName;
}

// ---- Creation -----------------------------------------------------------------------------------

void TDataCursor::CreateTable(TTableCreateParams& params) {
  TDataDirectory& directory = Directory();
  if (IsOpen()) RaiseError(CAIRN_TABLEOPEN);
  // An open transaction of the directory would be committed here first (its flush forced and
  // its locks released); transactions do not exist yet.
  if (!FExclusive) RaiseError(CAIRN_NEEDEXCLACCESS);
  if (FReadOnly) RaiseError(CAIRN_OSEACCES);
  ValidateTableCreateParams(directory.Engine(), params, directory.ProperDataDirectoryName(),
                            FTableName);
  if (!params.ReplaceExisting && directory.DataTableExists(FTableName)) {
    RaiseError(CAIRN_TABLEEXISTS);
  }
  // The table writes the full-text parameters (given, or the engine's defaults) with its index
  // file, so that a failure leaves no file of the table behind.
  FDataTable = &directory.CreateDataTable(FTableName, FErrorTableName, params, true, false);
  FOpenTableName = FTableName;
  if (params.OpenAfterCreate) {
    TScopeGuard close([&] { CloseCursor(true); });
    InitializeFromTable();
    close.Dismiss();
  } else {
    CloseCursor(true);
  }
}

// ---- Open and close -----------------------------------------------------------------------------

void TDataCursor::OpenCursor(bool noRemoteCall, bool initializeOnly) {
  (void)noRemoteCall;  // a local cursor has nobody to call
  (void)initializeOnly;
  if (IsOpen()) return;
  FDataTable = &Directory().OpenDataTable(FTableName, FErrorTableName, FExclusive, false);
  FOpenTableName = FTableName;
  TScopeGuard close([&] { CloseCursor(true); });
  InitializeFromTable();
  close.Dismiss();
}

void TDataCursor::InitializeFromTable() {
  if (FDataTable->ReadOnly()) FReadOnly = true;
  const TDataFile& dataFile = FDataTable->DataFile();
  FRecordSize = dataFile.RecordLength();
  FLocaleID = dataFile.GetHeader().LocaleID;
  FFieldDefinitions.clear();
  FHasDefaultValues = FHasValidityChecks = FHasAutoIncFields = false;
  for (int32_t pos = 1; pos <= dataFile.FieldCount(); ++pos) {
    const TFieldDefinition& field = *dataFile.GetFieldDefinitionByPos(pos);
    FFieldDefinitions.push_back(field);
    FHasDefaultValues = FHasDefaultValues || !field.Default.empty();
    FHasValidityChecks =
        FHasValidityChecks || field.Required || !field.Minimum.empty() || !field.Maximum.empty();
    FHasAutoIncFields =
        FHasAutoIncFields || (field.DataType == fld::kInteger && field.SubType == fld::kSubAutoInc);
  }
  FIndexName.clear();
  FIndexPos = idx::kPrimarySlot;
}

void TDataCursor::CloseCursor(bool freeIfTemporary) {
  if (!IsOpen()) return;
  TDataTable* table = FDataTable;
  const std::string tableName = FOpenTableName;
  Forget();
  // Only a table the directory still lists under that name is given back.
  if (FDataDirectory->FindDataTable(tableName) != table) return;
  FDataDirectory->CloseDataTable(*table, freeIfTemporary);
}

void TDataCursor::Forget() {
  FDataTable = nullptr;
  FOpenTableName.clear();
  FFieldDefinitions.clear();
  FRecordSize = 0;
  FLocaleID = 0;
  FHasDefaultValues = FHasValidityChecks = FHasAutoIncFields = false;
  FIndexName.clear();
  FIndexPos = idx::kPrimarySlot;
}

// ---- Fields and indexes -----------------------------------------------------------------------

const TFieldDefinition* TDataCursor::FieldDefinition(int32_t fieldNum) const {
  if (fieldNum == -1 || fieldNum == fld::kRecordIDFieldNum) return &RecordIDFieldDefinition();
  if (fieldNum == -2 || fieldNum == fld::kRecordHashFieldNum) return &RecordHashFieldDefinition();
  if (fieldNum < 1 || fieldNum > FieldCount()) return nullptr;
  return &FFieldDefinitions[static_cast<size_t>(fieldNum - 1)];
}

const TFieldDefinition* TDataCursor::FieldDefinitionByName(const std::string& name) const {
  for (const TFieldDefinition* pseudo :
       {&RecordIDFieldDefinition(), &RecordHashFieldDefinition()}) {
    if (host::AnsiSameText(name, pseudo->FieldName)) return pseudo;
  }
  for (const TFieldDefinition& field : FFieldDefinitions) {
    if (host::AnsiSameText(name, field.FieldName)) return &field;
  }
  return nullptr;
}

int TDataCursor::IndexCount() const {
  return IsOpen() ? FDataTable->IndexFile().IndexCount() : 0;
}

const TIndexDefinition& TDataCursor::IndexDefinition(int pos) const {
  const bool valid = IsOpen() && ((pos >= 0 && pos <= IndexCount()) || pos == idx::kTextSlot);
  if (!valid) throw std::out_of_range("no index at this position");
  return FDataTable->IndexFile().GetIndexDefinition(pos);
}

void TDataCursor::SetIndexName(const std::string& name) {
  if (name.empty()) {
    FIndexName.clear();
    FIndexPos = idx::kPrimarySlot;
    return;
  }
  const int pos = IsOpen() ? FDataTable->IndexFile().IndexPosition(name) : -1;
  if (pos < 1) RaiseError(CAIRN_INVALIDINDEXNAME, name);
  FIndexName = FDataTable->IndexFile().GetIndexDefinition(pos).IndexName;
  FIndexPos = pos;
}

}  // namespace cairn
