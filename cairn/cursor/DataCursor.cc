#include "cairn/cursor/DataCursor.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "cairn/cursor/FieldValue.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/engine/table/TableValidator.h"
#include "cairn/error/EngineError.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/CodePage.h"

namespace cairn {

namespace {

// Deletes whichever of a table's three files exist; they must be closed.
void DeleteTableFiles(TDataDirectory& directory, const std::string& tableName) {
  TEngineServices& engine = directory.Engine();
  const TEngineSettings& settings = engine.Settings();
  for (const std::string* extension :
       {&settings.DataExtension, &settings.IndexExtension, &settings.BlobExtension}) {
    const std::string path = engine.TableFilePath(directory.Directory(), tableName, *extension);
    if (engine.FileRegistry().FileExists(path, directory.InMemory(), false))
      engine.FileRegistry().DeleteFile(path, directory.InMemory());
  }
}

}  // namespace

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

void TDataCursor::RaiseError(uint16_t errorCode, const std::string& indexName,
                             const std::string& fieldName) const {
  TEngineErrorContext context;
  context.TableName = FErrorTableName.empty() ? FTableName : FErrorTableName;
  context.IndexName = indexName;
  context.FieldName = fieldName;
  if (FDataDirectory == nullptr) {
    // Detached: the session, and with it the way to the engine's error record, may be gone.
    context.ErrorNumber = errorCode;
    throw ECairnEngineError(errorCode, context);
  }
  context.DatabaseName = FDataDirectory->ProperDataDirectoryName();
  FDataDirectory->Engine().RaiseError(errorCode, context);
}

void TDataCursor::RequireOpen() const {
  if (!IsOpen()) throw std::logic_error("the cursor is not open");
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
  try {
    FDataTable = &directory.CreateDataTable(FTableName, FErrorTableName, params, true, false);
  } catch (const ECairnEngineError&) {
    // Another process may have created the table since the check above; its data file then
    // stands, and the failure is that the table exists.
    if (!params.ReplaceExisting && directory.DataTableExists(FTableName)) {
      RaiseError(CAIRN_TABLEEXISTS);
    }
    throw;
  }
  FOpenTableName = FTableName;
  if (params.OpenAfterCreate) {
    TScopeGuard close([&] { CloseCursor(true); });
    InitializeFromTable();
    close.Dismiss();
  } else {
    // The closing flush writes the new table out and can fail as well; the table then goes
    // like one whose files could not be created, rather than staying half written. The close
    // has closed its files by then.
    const std::string tableName = FTableName;
    TScopeGuard drop([&] { DeleteTableFiles(directory, tableName); });
    CloseCursor(true);
    drop.Dismiss();
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
  FCodec.SetLocaleId(static_cast<uint32_t>(FLocaleID));
  FScratchRecord.assign(FRecordSize, 0);
  FHashRecord.assign(FRecordSize, 0);
  FOldRecord.assign(FRecordSize, 0);
  FCurrentRecord.assign(FRecordSize, 0);
  FIndexKeys.clear();
  size_t largestKey = 0;
  for (int pos = 0; pos <= IndexCount(); ++pos) {
    FIndexKeys.emplace_back();
    FIndexKeys.back().Load(Directory().Engine(), pos,
                           FDataTable->IndexFile().GetIndexDefinition(pos), FFieldDefinitions,
                           static_cast<uint32_t>(FLocaleID));
    largestKey = std::max(largestKey, FIndexKeys.back().KeySize());
  }
  FKeyBuffer.assign(largestKey, 0);
  SetIndexPos(idx::kPrimarySlot);
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
  FReadBatch.Release();
  FBlobs.FreeAll();
  FKeys.Clear();
  FIndexKeys.clear();
  FCurRecordNumber = 0;
  FAppendedSlot = 0;
  FPosition = TPosition::Begin;
  FDataTable = nullptr;
  FOpenTableName.clear();
  FFieldDefinitions.clear();
  FRecordSize = 0;
  FLocaleID = 0;
  FHasDefaultValues = FHasValidityChecks = FHasAutoIncFields = false;
  FIndexName.clear();
  FIndexPos = idx::kPrimarySlot;
  FWalkHint.Clear();
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
    if (IsOpen()) {
      SetIndexPos(idx::kPrimarySlot);
    } else {
      FIndexName.clear();
      FIndexPos = idx::kPrimarySlot;
    }
    return;
  }
  const int pos = IsOpen() ? FDataTable->IndexFile().IndexPosition(name) : -1;
  if (pos < 1) RaiseError(CAIRN_INVALIDINDEXNAME, name);
  SetIndexPos(pos);
}

// The position on a record survives the change: the record is found again in the new order.
void TDataCursor::SetIndexPos(int pos) {
  RequireOpen();
  if (pos < 0 || pos > IndexCount()) RaiseError(CAIRN_INVALIDIDXDESC);
  const TIndexDefinition& definition = FDataTable->IndexFile().GetIndexDefinition(pos);
  FKeys.Load(Directory().Engine(), pos, definition, FFieldDefinitions,
             static_cast<uint32_t>(FLocaleID));
  FPositionKey.assign(FKeys.KeySize(), 0);
  FRecordKey.assign(FKeys.KeySize(), 0);
  FWalkHint.Clear();
  FIndexPos = pos;
  FIndexName = pos == idx::kPrimarySlot ? std::string() : definition.IndexName;
  if (FPosition == TPosition::OnRecord) FKeys.Build(FCurrentRecord.data(), FPositionKey.data());
}

// ---- Records and fields -------------------------------------------------------------------------

const TFieldDefinition& TDataCursor::Field(int32_t fieldNum) const {
  const TFieldDefinition* field = FieldDefinition(fieldNum);
  if (field == nullptr) throw std::out_of_range("no field of this number");
  return *field;
}

void TDataCursor::ClearRecord(char* record) const {
  std::memset(record, 0, FRecordSize);
}

void TDataCursor::InitRecord(char* record) {
  ClearRecord(record);
  if (!FHasDefaultValues) return;
  char scratch[kFieldScratchSize];
  for (const TFieldDefinition& field : FFieldDefinitions) {
    if (field.Default.empty() || field.IsBlob()) continue;
    std::memset(scratch, 0, sizeof scratch);
    if (EncodeFieldText(field, field.Default, scratch)) FCodec.Put(field, record, scratch);
  }
}

void TDataCursor::GetField(int32_t fieldNum, const char* record, void* value, bool& isNull) const {
  isNull = TFieldCodec::Get(Field(fieldNum), record, value);
}

void TDataCursor::PutField(int32_t fieldNum, char* record, const void* value,
                           bool writeToExpressions, bool blobEmpty) const {
  (void)writeToExpressions;  // the cursor shows no expression fields
  FCodec.Put(Field(fieldNum), record, value, blobEmpty);
}

}  // namespace cairn
