#include "cairn/access/CairnDataSet.h"

#include <algorithm>

#include "cairn/access/DatabaseError.h"
#include "cairn/access/FieldTypeMap.h"
#include "cairn/access/Messages.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/data/DataFile.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/CodePage.h"

namespace cairn {

TCairnDataSet::TCairnDataSet(TComponent* owner) : TCairnBaseDataSet(owner) {}

void TCairnDataSet::InternalOpen() {
  TDataCursor& cursor = *Handle();
  FRecordSize = cursor.RecordSize();
  FCanModify = !cursor.ReadOnly();
  InternalInitFieldDefs();
  InternalReadIndexInfo();
  CreateFields();
  const size_t size = std::max<size_t>(cursor.RecordSize(), 1);
  FRecordBuffer.assign(size, 0);
  FInsertBuffer.assign(size, 0);
  FOldRecordBuffer.assign(size, 0);
  FScratch.assign(size, 0);
  FModified = false;
  // Before the first record, then on it. FRemoteReadSize only matters to a remote cursor.
  cursor.SetToBegin();
  const uint16_t code = cursor.GetFirstRecord(FScratch.data());
  FBof = true;
  FEof = code != 0;
  if (code == 0) {
    TakeRecord();
  } else {
    FHasRecord = false;
  }
}

void TCairnDataSet::InternalClose() {
  FCanModify = false;
  FHasRecord = false;
  FEof = FBof = true;
  FFields.Clear();
}

void TCairnDataSet::CreateFields() {
  FFields.Clear();
  for (const TFieldDef& def : FGenericFieldDefs) {
    FFields.Add(std::make_unique<TCairnField>(*this, def.FieldNo, def.Name, def.DataType, def.Size,
                                              def.Required));
  }
}

TCairnField& TCairnDataSet::FieldByName(const std::string& name) const {
  TCairnField* field = FFields.FindField(name);
  if (field == nullptr) DatabaseErrorFmt(SFieldNotFound, {name}, this);
  return *field;
}

// ---- Record buffers
// -------------------------------------------------------------------------------

char* TCairnDataSet::ActiveBuffer() const {
  switch (State()) {
    case dsInsert:
      return FInsertBuffer.data();
    case dsBrowse:
      return FHasRecord ? FRecordBuffer.data() : nullptr;
    default:
      return nullptr;
  }
}

const TFieldDefinition& TCairnDataSet::EngineField(int32_t fieldNo) const {
  CheckActive();
  const TFieldDefinition* descriptor = Handle()->FieldDefinition(fieldNo);
  if (descriptor == nullptr) DatabaseErrorFmt(SFieldNotFound, {std::to_string(fieldNo)}, this);
  return *descriptor;
}

bool TCairnDataSet::GetFieldData(const TCairnField& field, char* buffer) const {
  const char* record = ActiveBuffer();
  if (record == nullptr) return false;
  bool isNull = true;
  Handle()->GetField(field.FieldNo(), record, buffer, isNull);
  return !isNull;
}

void TCairnDataSet::SetFieldData(TCairnField& field, const void* buffer) {
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsFilter &&
      state != dsNewValue && state != dsInternalCalc) {
    DatabaseError(SNotEditing);
  }
  if (field.ReadOnly() && state != dsSetKey && state != dsFilter)
    DatabaseErrorFmt(SFieldReadOnly, {field.DisplayName()});
  char* record = ActiveBuffer();
  if (record == nullptr) DatabaseError(SNotEditing);
  Handle()->PutField(field.FieldNo(), record, buffer, /*writeToExpressions=*/false,
                     /*blobEmpty=*/false);
  FModified = true;
}

bool TCairnDataSet::FieldModified(const TCairnField& field) const {
  return std::find(FModifiedBlobFields.begin(), FModifiedBlobFields.end(), field.FieldNo()) !=
         FModifiedBlobFields.end();
}

// The values blob streams wrote stay open in the cursor until the record is stored or abandoned;
// then the dataset, which opened them, lets go of them.
void TCairnDataSet::FreeModifiedBlobs(char* record) {
  TDataCursor& cursor = *Handle();
  for (int32_t fieldNo : FModifiedBlobFields) {
    if (cursor.ValidBlobHandle(fieldNo, record)) cursor.FreeBlob(fieldNo, record);
  }
  FModifiedBlobFields.clear();
}

void TCairnDataSet::SetFieldModified(const TCairnField& field) {
  if (!FieldModified(field)) FModifiedBlobFields.push_back(field.FieldNo());
  FModified = true;
}

// ---- Adding records
// -------------------------------------------------------------------------------

void TCairnDataSet::CheckBrowseMode() {
  CheckActive();
  if (State() != dsInsert && State() != dsEdit) return;
  if (FModified) {
    Post();
  } else {
    Cancel();
  }
}

void TCairnDataSet::Insert() {
  CheckBrowseMode();
  if (!FCanModify) DatabaseError(SDataSetReadOnly, this);
  TDataCursor& cursor = *Handle();
  // A default that does not convert fails here, with the dataset still browsing.
  cursor.InitRecord(FInsertBuffer.data());
  cursor.ClearRecord(FOldRecordBuffer.data());
  SetState(dsInsert);
  FModified = false;
  FModifiedBlobFields.clear();
}

void TCairnDataSet::CheckRequiredFields() const {
  for (int i = 0; i < FFields.Count(); ++i) {
    const TCairnField& field = FFields.Fields(i);
    if (field.Required() && !field.ReadOnly() && field.FieldKind() == fkData && field.IsNull())
      DatabaseErrorFmt(SFieldRequired, {field.DisplayName()});
  }
}

void TCairnDataSet::Post() {
  CheckActive();
  if (State() != dsInsert) return;  // editing stored records is not offered yet
  CheckRequiredFields();
  // A failure leaves the dataset in dsInsert with the values set so far.
  if (!Handle()->AppendRecord(FInsertBuffer.data(), /*refreshFilter=*/true,
                              /*setRecordHash=*/true, /*skipKeyChecks=*/false,
                              /*skipAutoInc=*/false, /*copyRecordNo=*/false)) {
    return;  // an insert-error hook aborted the post: the record stays pending
  }
  SetState(dsBrowse);
  FModified = false;
  FreeModifiedBlobs(FInsertBuffer.data());
  // The cursor is on the stored record.
  RefreshCurrent();
}

namespace {

void AssignValue(TCairnField& field, const TCairnValue& value) {
  struct TAssign {
    TCairnField& Field;
    void operator()(TUnassigned) const {}
    void operator()(TNullValue) const { Field.Clear(); }
    void operator()(int32_t v) const { Field.SetAsInteger(v); }
    void operator()(int64_t v) const { Field.SetAsLargeInt(v); }
    void operator()(bool v) const { Field.SetAsBoolean(v); }
    void operator()(double v) const { Field.SetAsFloat(v); }
    void operator()(TCurrencyValue v) const { Field.SetAsCurrency(v.Value); }
    void operator()(const std::string& v) const { Field.SetAsString(v); }
    void operator()(TDateTimeValue v) const { Field.SetAsDateTime(v.Value); }
  };
  std::visit(TAssign{field}, value);
}

}  // namespace

void TCairnDataSet::AppendRecord(const std::vector<TCairnValue>& values) {
  CheckActive();
  if (values.size() > static_cast<size_t>(FFields.Count()))
    DatabaseError("More values than fields", this);
  Insert();
  TScopeGuard back([&] { CancelPendingChange(); });
  for (size_t i = 0; i < values.size(); ++i)
    AssignValue(FFields.Fields(static_cast<int>(i)), values[i]);
  const bool stored = Handle()->AppendRecord(
      FInsertBuffer.data(), /*refreshFilter=*/true, /*setRecordHash=*/true,
      /*skipKeyChecks=*/false, /*skipAutoInc=*/false, /*copyRecordNo=*/false);
  if (stored) {
    // The blob values now belong to the stored record.
    back.Dismiss();
    SetState(dsBrowse);
    FModified = false;
    FreeModifiedBlobs(FInsertBuffer.data());
  }
  RefreshCurrent();
}

void TCairnDataSet::CancelPendingChange() {
  if (State() == dsInsert || State() == dsEdit) {
    char* record = ActiveBuffer();
    Handle()->CancelAllBlobs(record);
    FreeModifiedBlobs(record);
  }
  SetState(dsBrowse);
  FModified = false;
  FModifiedBlobFields.clear();
}

void TCairnDataSet::Cancel() {
  CheckActive();
  if (State() != dsInsert && State() != dsEdit) return;
  CancelPendingChange();
  RefreshCurrent();
}

// ---- Browsing -----------------------------------------------------------------------------------

void TCairnDataSet::TakeRecord() {
  FRecordBuffer.swap(FScratch);
  FHasRecord = true;
  FBookmark = Handle()->GetBookmark();
}

void TCairnDataSet::RefreshCurrent() {
  const uint16_t code = Handle()->GetCurrentRecord(FScratch.data());
  if (code == 0) {
    TakeRecord();
    FEof = FBof = false;
  } else if (code == CAIRN_BOF || code == CAIRN_EOF) {
    // Not on a record (an empty table): the first record, if any, becomes current.
    First();
  } else {
    // The record was deleted meanwhile by another user.
    FHasRecord = false;
    FEof = FBof = true;
  }
}

void TCairnDataSet::First() {
  CheckBrowseMode();
  FBof = true;
  FEof = Handle()->GetFirstRecord(FScratch.data()) != 0;
  if (FEof) {
    FHasRecord = false;
  } else {
    TakeRecord();
  }
}

void TCairnDataSet::Last() {
  CheckBrowseMode();
  FEof = true;
  FBof = Handle()->GetLastRecord(FScratch.data()) != 0;
  if (FBof) {
    FHasRecord = false;
  } else {
    TakeRecord();
  }
}

void TCairnDataSet::Next() {
  Step(true);
}

void TCairnDataSet::Prior() {
  Step(false);
}

// Stepping past either end keeps the current record and puts the cursor back on it, so that a
// step the other way finds its neighbour.
void TCairnDataSet::Step(bool forward) {
  CheckBrowseMode();
  if (!FHasRecord) return;
  TDataCursor& cursor = *Handle();
  const uint16_t code =
      forward ? cursor.GetNextRecord(FScratch.data()) : cursor.GetPriorRecord(FScratch.data());
  if (code == 0) {
    TakeRecord();
    FEof = FBof = false;
    return;
  }
  (forward ? FEof : FBof) = true;
  cursor.CheckError(cursor.SetToBookmark(FBookmark));
}

int32_t TCairnDataSet::RecordCount() const {
  CheckActive();
  return Handle()->DataTable()->DataFile().RecordCount();
}

void TCairnDataSet::InternalInitFieldDefs() {
  ClearGenericFieldDefs();
  for (const TSurfacedField& field : SurfacedFields()) AddGenericFieldDef(field);
}

std::vector<TCairnDataSet::TSurfacedField> TCairnDataSet::SurfacedFields() const {
  const TDataCursor& cursor = *Handle();
  std::vector<TSurfacedField> fields;
  const int count = cursor.FieldCount();
  for (int fieldNo = 1; fieldNo <= count; ++fieldNo) {
    const TFieldDefinition* descriptor = cursor.FieldDefinition(fieldNo);
    if (descriptor == nullptr || descriptor->Hidden) continue;
    std::optional<TFieldType> type = FieldTypeOf(descriptor->DataType, descriptor->SubType);
    if (!type) continue;
    fields.push_back({fieldNo, *descriptor, *type, FieldSizeOf(*type, *descriptor)});
  }
  return fields;
}

void TCairnDataSet::AddGenericFieldDef(const TSurfacedField& field) {
  FGenericFieldDefs.push_back(TFieldDef{
      .FieldNo = field.FieldNo,
      .Name = host::AnsiToUtf8(field.Descriptor.FieldName),
      .DataType = field.DataType,
      .Size = field.Size,
      // An auto-increment field gets its value from the engine: it never needs one given.
      .Required = field.Descriptor.Required && field.DataType != ftAutoInc,
  });
}

}  // namespace cairn
