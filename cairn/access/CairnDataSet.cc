#include "cairn/access/CairnDataSet.h"

#include <algorithm>
#include <cstring>

#include "cairn/access/DatabaseError.h"
#include "cairn/access/FieldTypeMap.h"
#include "cairn/access/Messages.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/cursor/FieldCodec.h"
#include "cairn/engine/data/DataFile.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/CodePage.h"

namespace cairn {

TCairnDataSet::TCairnDataSet(TComponent* owner) : TCairnBaseDataSet(owner) {}

namespace {

// Record information: the record number at 0, the bookmark flag at 4, three spare bytes.
constexpr int32_t kRecInfoSize = 8;
constexpr int32_t kRecInfoFlagAt = 4;
// The cursor's bookmark is the record's slot number.
constexpr int32_t kCursorBookmarkSize = 4;

}  // namespace

void TCairnDataSet::InternalOpen() {
  TDataCursor& cursor = *Handle();
  FRecordSize = cursor.RecordSize();
  FCanModify = !cursor.ReadOnly();
  InternalInitFieldDefs();
  InternalReadIndexInfo();
  CreateFields();
  FRecInfoOfs = FRecordSize + FCalcFieldsSize;
  FBookmarkOfs = FRecInfoOfs + kRecInfoSize;
  FBookmarkSize = kCursorBookmarkSize;
  FRecBufSize = FBookmarkOfs + FBookmarkSize;
  const auto size = static_cast<size_t>(FRecBufSize);
  FRecordBuffer.assign(size, 0);
  FInsertBuffer.assign(size, 0);
  FOldRecordBuffer.assign(size, 0);
  FScratch.assign(size, 0);
  FModified = false;
  // Before the first record, then on it. FRemoteReadSize only matters to a remote cursor.
  cursor.SetToBegin();
  ReadFirst();
}

void TCairnDataSet::DoAfterOpen() {
  Run(AfterOpen);
  if (FHasRecord) Run(AfterScroll);
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
    TCairnField& field = FFields.Add(std::make_unique<TCairnField>(
        *this, def.FieldNo, def.Name, def.DataType, def.Size, def.Required));
    field.FEngineDescriptor = Handle()->FieldDefinition(def.FieldNo);
  }
  // Calculated fields follow, numbered -1, -2, ... with their places in the calculated area.
  int32_t offset = 0;
  int32_t number = 0;
  for (const TCalcFieldDef& def : FCalcFieldDefs) {
    if (FFields.FindField(def.Name) != nullptr)
      DatabaseErrorFmt(SDuplicateName, {def.Name, Name()}, this);
    TCairnField& field = FFields.Add(
        std::make_unique<TCairnField>(*this, --number, def.Name, def.DataType, def.Size, false));
    field.MakeCalculated(offset);
    offset += 1 + field.CalcDataSize();
  }
  FCalcFieldsSize = offset;
}

void TCairnDataSet::AddCalcField(const std::string& name, TFieldType dataType, int32_t size) {
  CheckInactive();
  const TEngineFieldType type = EngineFieldType(dataType);
  if (type.DataType == 0 || type.DataType == fld::kBlob)
    DatabaseErrorFmt(SUnknownFieldType, {name}, this);
  FCalcFieldDefs.push_back({name, dataType, size});
}

TCairnField& TCairnDataSet::FieldByName(const std::string& name) const {
  TCairnField* field = FFields.FindField(name);
  if (field == nullptr) DatabaseErrorFmt(SFieldNotFound, {name}, this);
  return *field;
}

// ---- Record buffers -----------------------------------------------------------------------------

char* TCairnDataSet::ActiveRecordBuffer() const {
  switch (State()) {
    case dsInsert:
      return FInsertBuffer.data();
    case dsCalcFields:
      return FCalcBuffer;
    case dsOldValue:
      return const_cast<char*>(FOldRecordBuffer.data());
    case dsSetKey:
    case dsFilter:
    case dsInactive:
      return nullptr;
    default:
      return FHasRecord ? FRecordBuffer.data() : nullptr;
  }
}

int32_t TCairnDataSet::RecNo() const {
  const char* buffer = ActiveRecordBuffer();
  return buffer == nullptr ? 0 : DecodeInt32(buffer + FRecInfoOfs);
}

const TFieldDefinition& TCairnDataSet::EngineField(int32_t fieldNo) const {
  CheckActive();
  const TFieldDefinition* descriptor = Handle()->FieldDefinition(fieldNo);
  if (descriptor == nullptr) DatabaseErrorFmt(SFieldNotFound, {std::to_string(fieldNo)}, this);
  return *descriptor;
}

bool TCairnDataSet::GetFieldData(const TCairnField& field, char* buffer) const {
  const char* record = ActiveRecordBuffer();
  if (record == nullptr) return false;
  if (field.FieldNo() < 1) {
    const char* slot = record + FRecordSize + field.CalcOffset();
    if (slot[0] == 0) return false;
    std::memcpy(buffer, slot + 1, static_cast<size_t>(field.CalcDataSize()));
    return true;
  }
  // The field's definition is resolved once; the codec's get rule is the cursor's GetField.
  if (field.FEngineDescriptor != nullptr)
    return !TFieldCodec::Get(*field.FEngineDescriptor, record, buffer);
  bool isNull = true;
  Handle()->GetField(field.FieldNo(), record, buffer, isNull);
  return !isNull;
}

const char* TCairnDataSet::FieldValue(const TCairnField& field, char* scratch) const {
  // A data field whose definition was resolved reads in place: no copy for each getter.
  if (field.FEngineDescriptor != nullptr && field.FieldNo() >= 1) {
    const char* record = ActiveRecordBuffer();
    return record == nullptr ? nullptr : TFieldCodec::Value(*field.FEngineDescriptor, record);
  }
  return GetFieldData(field, scratch) ? scratch : nullptr;
}

void TCairnDataSet::SetFieldData(TCairnField& field, const void* buffer) {
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields &&
      state != dsFilter && state != dsNewValue && state != dsInternalCalc) {
    DatabaseError(SNotEditing);
  }
  char* record = ActiveRecordBuffer();
  if (record == nullptr) DatabaseError(SNotEditing);
  if (field.FieldNo() < 1) {
    char* slot = record + FRecordSize + field.CalcOffset();
    const auto size = static_cast<size_t>(field.CalcDataSize());
    slot[0] = buffer != nullptr ? 1 : 0;
    std::memset(slot + 1, 0, size);
    if (buffer != nullptr) {
      // Text is copied up to its first zero, at most the field's size.
      const bool text = field.DataType() == ftString || field.DataType() == ftFixedChar ||
                        field.DataType() == ftGuid || field.DataType() == ftWideString;
      const size_t length = text ? ::strnlen(static_cast<const char*>(buffer), size - 1) : size;
      std::memcpy(slot + 1, buffer, length);
    }
  } else {
    if (state == dsCalcFields) DatabaseError(SNotEditing);
    if (field.ReadOnly() && state != dsSetKey && state != dsFilter)
      DatabaseErrorFmt(SFieldReadOnly, {field.DisplayName()});
    if (field.OnValidate) field.OnValidate(field, buffer);
    Handle()->PutField(field.FieldNo(), record, buffer, /*writeToExpressions=*/false,
                       /*blobEmpty=*/false);
  }
  if (state == dsCalcFields || state == dsFilter || state == dsNewValue) return;
  FModified = true;
  DataEvent(deFieldChange, &field);
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

void TCairnDataSet::CalculateFields(char* buffer) {
  if (FCalcFieldsSize == 0) return;
  std::memset(buffer + FRecordSize, 0, static_cast<size_t>(FCalcFieldsSize));
  if (!OnCalcFields || Destroying()) return;
  FCalcBuffer = buffer;
  const TDataSetState saved = SetTempState(dsCalcFields);
  TScopeGuard restore([&] {
    RestoreState(saved);
    FCalcBuffer = nullptr;
  });
  OnCalcFields(*this);
}

// ---- Adding records -----------------------------------------------------------------------------

void TCairnDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode);
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
  Run(BeforeInsert);
  Run(BeforeScroll);
  BeginInsert();
  DataEvent(deDataSetChange);
  Run(AfterInsert);
  Run(AfterScroll);
}

void TCairnDataSet::BeginInsert() {
  TDataCursor& cursor = *Handle();
  char* buffer = FInsertBuffer.data();
  // A default that does not convert fails here, with the dataset still browsing.
  cursor.InitRecord(buffer);
  std::memset(buffer + FRecordSize, 0, static_cast<size_t>(FRecBufSize - FRecordSize));
  EncodeInt32(buffer + FRecInfoOfs, 0);
  // Marked with the current row's bookmark, or as before the data in an empty dataset.
  if (FHasRecord) {
    buffer[FRecInfoOfs + kRecInfoFlagAt] = static_cast<char>(bfInserted);
    std::memcpy(buffer + FBookmarkOfs, FRecordBuffer.data() + FBookmarkOfs,
                static_cast<size_t>(FBookmarkSize));
  } else {
    buffer[FRecInfoOfs + kRecInfoFlagAt] = static_cast<char>(bfBOF);
  }
  FModifiedBlobFields.clear();
  SetState(dsInsert);
  TScopeGuard back([&] { SetState(dsBrowse); });
  cursor.ClearRecord(FOldRecordBuffer.data());
  Run(OnNewRecord);
  back.Dismiss();
  FModified = false;
}

void TCairnDataSet::CheckRequiredFields() const {
  for (int i = 0; i < FFields.Count(); ++i) {
    const TCairnField& field = FFields.Fields(i);
    if (field.Required() && !field.ReadOnly() && field.FieldKind() == fkData && field.IsNull())
      DatabaseErrorFmt(SFieldRequired, {field.DisplayName()});
  }
}

bool TCairnDataSet::StoreInsertBuffer() {
  // False when an insert hook of the cursor chose to skip the record.
  return Handle()->AppendRecord(FInsertBuffer.data(), /*refreshFilter=*/true,
                                /*setRecordHash=*/true, /*skipKeyChecks=*/false,
                                /*skipAutoInc=*/false, /*copyRecordNo=*/false);
}

void TCairnDataSet::EndInsertAfterStore() {
  FreeModifiedBlobs(FInsertBuffer.data());
  SetState(dsBrowse);
  FModified = false;
}

void TCairnDataSet::Post() {
  CheckActive();
  DataEvent(deUpdateRecord);
  if (State() != dsInsert) return;
  DataEvent(deCheckBrowseMode);
  Run(BeforePost);
  CheckRequiredFields();
  // A failure leaves the dataset in dsInsert with the values set so far.
  for (;;) {
    try {
      // A record an insert hook skipped stays pending.
      if (!StoreInsertBuffer()) return;
      break;
    } catch (const std::exception& error) {
      const TDataAction action = OnPostError ? OnPostError(*this, error) : daFail;
      if (action == daFail) throw;
      if (action == daAbort) throw EAbort();
    }
  }
  EndInsertAfterStore();
  // The cursor is on the stored record.
  ReadCurrent();
  DataEvent(deDataSetChange);
  Run(AfterPost);
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
  CheckBrowseMode();
  if (!FCanModify) DatabaseError(SDataSetReadOnly, this);
  Run(BeforeInsert);
  Run(BeforeScroll);
  BeginInsert();
  {
    // On failure the new record and its blob values are dropped and the cursor goes back to
    // the row that was current.
    TScopeGuard back([&] {
      CancelPendingChange();
      ReadCurrent();
    });
    Run(AfterInsert);
    for (size_t i = 0; i < values.size(); ++i)
      AssignValue(FFields.Fields(static_cast<int>(i)), values[i]);
    Run(BeforePost);
    // A record an insert hook skipped is dropped like a failed one, silently.
    if (!StoreInsertBuffer()) return;
    back.Dismiss();
  }
  EndInsertAfterStore();
  ReadCurrent();
  DataEvent(deDataSetChange);
  Run(AfterPost);
}

void TCairnDataSet::CancelPendingChange() {
  if (State() == dsInsert || State() == dsEdit) {
    char* record = ActiveRecordBuffer();
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
  Run(BeforeCancel);
  CancelPendingChange();
  ReadCurrent();
  DataEvent(deDataSetChange);
  Run(AfterCancel);
}

// ---- Browsing -----------------------------------------------------------------------------------

void TCairnDataSet::TakeRecord() {
  TDataCursor& cursor = *Handle();
  char* buffer = FScratch.data();
  EncodeInt32(buffer + FRecInfoOfs, cursor.RecordNumber());
  buffer[FRecInfoOfs + kRecInfoFlagAt] = static_cast<char>(bfCurrent);
  EncodeInt32(buffer + FBookmarkOfs, cursor.GetBookmark());
  CalculateFields(buffer);
  FRecordBuffer.swap(FScratch);
  FHasRecord = true;
  FBookmark = cursor.GetBookmark();
}

void TCairnDataSet::ReadCurrent() {
  const uint16_t code = Handle()->GetCurrentRecord(FScratch.data());
  if (code == 0) {
    TakeRecord();
    FEof = FBof = false;
  } else {
    // Not on a record (an empty table, or the record is gone): the first record, if any.
    ReadFirst();
  }
}

void TCairnDataSet::ReadFirst() {
  FBof = true;
  FEof = Handle()->GetFirstRecord(FScratch.data()) != 0;
  if (FEof) {
    FHasRecord = false;
  } else {
    TakeRecord();
  }
}

void TCairnDataSet::ReadLast() {
  FEof = true;
  FBof = Handle()->GetLastRecord(FScratch.data()) != 0;
  if (FBof) {
    FHasRecord = false;
  } else {
    TakeRecord();
  }
}

void TCairnDataSet::First() {
  CheckBrowseMode();
  Run(BeforeScroll);
  ReadFirst();
  DataEvent(deDataSetChange);
  Run(AfterScroll);
}

void TCairnDataSet::Last() {
  CheckBrowseMode();
  Run(BeforeScroll);
  ReadLast();
  DataEvent(deDataSetChange);
  Run(AfterScroll);
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
  Run(BeforeScroll);
  if (FHasRecord) {
    TDataCursor& cursor = *Handle();
    const uint16_t code =
        forward ? cursor.GetNextRecord(FScratch.data()) : cursor.GetPriorRecord(FScratch.data());
    if (code == 0) {
      TakeRecord();
      FEof = FBof = false;
      DataEvent(deDataSetScroll);
    } else {
      (forward ? FEof : FBof) = true;
      cursor.CheckError(cursor.SetToBookmark(FBookmark));
    }
  }
  Run(AfterScroll);
}

void TCairnDataSet::Refresh() {
  CheckBrowseMode();
  Run(BeforeRefresh);
  ReadCurrent();
  DataEvent(deDataSetChange);
  Run(AfterRefresh);
}

int32_t TCairnDataSet::RecordCount() const {
  CheckActive();
  return Handle()->RecordCount();
}

// ---- Bookmarks ----------------------------------------------------------------------------------

TBookmark TCairnDataSet::GetBookmark() const {
  const char* buffer = ActiveRecordBuffer();
  if (buffer == nullptr || State() == dsCalcFields || State() == dsOldValue) return {};
  if (buffer[FRecInfoOfs + kRecInfoFlagAt] != static_cast<char>(bfCurrent)) return {};
  return TBookmark(buffer + FBookmarkOfs, buffer + FBookmarkOfs + FBookmarkSize);
}

int32_t TCairnDataSet::BookmarkRecord(const TBookmark& bookmark) const {
  if (bookmark.size() != static_cast<size_t>(kCursorBookmarkSize)) return 0;
  return DecodeInt32(bookmark.data());
}

void TCairnDataSet::GotoBookmark(const TBookmark& bookmark) {
  CheckBrowseMode();
  TDataCursor& cursor = *Handle();
  const int32_t number = BookmarkRecord(bookmark);
  Run(BeforeScroll);
  cursor.CheckError(number > 0 ? cursor.SetToBookmark(number) : CAIRN_KEYORRECDELETED);
  ReadCurrent();
  DataEvent(deDataSetScroll);
  Run(AfterScroll);
}

uint16_t TCairnDataSet::VisitBookmark(const TBookmark& bookmark,
                                      const std::function<void()>& body) {
  TDataCursor& cursor = *Handle();
  const int32_t number = BookmarkRecord(bookmark);
  if (number <= 0) return CAIRN_KEYORRECDELETED;
  // Back on the current row afterwards, or before the data when there is none.
  TScopeGuard back([&] {
    if (!FHasRecord || cursor.SetToBookmark(FBookmark) != 0) cursor.SetToBegin();
  });
  const uint16_t code = cursor.SetToBookmark(number);
  if (code == 0) body();
  return code;
}

bool TCairnDataSet::BookmarkValid(const TBookmark& bookmark) {
  CheckActive();
  return VisitBookmark(bookmark, [] {}) == 0;
}

int TCairnDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  CheckActive();
  if (a.empty() || b.empty()) return static_cast<int>(!a.empty()) - static_cast<int>(!b.empty());
  const int32_t first = BookmarkRecord(a);
  const int32_t second = BookmarkRecord(b);
  if (first == second) return 0;
  // Both records' keys in the current index; equal keys go by their record numbers.
  TDataCursor& cursor = *Handle();
  std::vector<char> keys[2];
  int index = 0;
  for (const TBookmark* bookmark : {&a, &b}) {
    std::vector<char>& key = keys[index++];
    key.assign(cursor.KeySize(), 0);
    cursor.CheckError(VisitBookmark(*bookmark, [&] {
      cursor.CheckError(cursor.GetCurrentRecord(FScratch.data()));
      cursor.GetKeyValues(FScratch.data(), key.data());
    }));
  }
  const int order =
      cursor.SlotOrder() ? 0 : cursor.CompareKeys(keys[0].data(), keys[1].data(), cursor.KeySize());
  if (order != 0) return order < 0 ? -1 : 1;
  return first < second ? -1 : 1;
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
