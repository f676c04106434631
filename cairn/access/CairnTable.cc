#include "cairn/access/CairnTable.h"

#include <algorithm>
#include <utility>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngineInstance.h"
#include "cairn/access/DatabaseError.h"
#include "cairn/access/FieldTypeMap.h"
#include "cairn/access/Messages.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/engine/table/TableCreateParams.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/System.h"

namespace cairn {
namespace {

constexpr const char* kRecordIDName = "RecordID";
constexpr const char* kRecordHashName = "RecordHash";

// The 8-bit form of a text, cut to at most maxLength characters.
std::string Ansi(const std::string& text, size_t maxLength) {
  std::string ansi = host::Utf8ToAnsi(text);
  if (ansi.size() > maxLength) ansi.resize(maxLength);
  return ansi;
}

// The names of a ";"-separated list, each trimmed; empty parts are skipped.
std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string name = host::TrimBlanks(std::string_view(list).substr(start, end - start));
    if (!name.empty()) names.push_back(std::move(name));
    start = end + 1;
  }
  return names;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) {
    if (!list.empty()) list += ';';
    list += name;
  }
  return list;
}

// The 8-bit codes of a text's characters as a set.
TCharSet CharSetOf(const std::string& chars) {
  TCharSet set;
  for (char c : host::Utf8ToAnsi(chars)) set.set(static_cast<unsigned char>(c));
  return set;
}

TFieldDefinition FieldDescriptor(const TCairnFieldDef& def) {
  TFieldDefinition descriptor;
  descriptor.FieldNum = static_cast<uint16_t>(def.FieldNo());
  descriptor.FieldName = Ansi(def.Name(), TFieldDefinition::kMaxNameLength);
  const TEngineFieldType type = EngineFieldType(def.DataType());
  descriptor.DataType = type.DataType;
  descriptor.SubType = type.SubType;
  descriptor.Length = EngineFieldLength(def.DataType(), def.Size());
  descriptor.Decimals = EngineFieldDecimals(def.DataType(), def.Size());
  descriptor.Required = def.Required();
  descriptor.Default = Ansi(def.DefaultValue(), TFieldDefinition::kMaxTextLength);
  descriptor.Minimum = Ansi(def.MinValue(), TFieldDefinition::kMaxTextLength);
  descriptor.Maximum = Ansi(def.MaxValue(), TFieldDefinition::kMaxTextLength);
  descriptor.Description = Ansi(def.Description(), TFieldDefinition::kMaxTextLength);
  descriptor.CharCase = def.CharCase();
  descriptor.Compression = def.Compression();
  return descriptor;
}

// Everything an index definition holds, to rebuild the list in another order.
struct TIndexDefCopy {
  std::string Name;
  std::string Fields;
  TIndexOptions Options;
  std::string DescFields;
  TIndexCompression Compression;
  bool NoKeyStatistics;
};

}  // namespace

TCairnTable::TCairnTable(TComponent* owner)
    : TCairnDBDataSet(owner),
      FFieldDefs(std::make_unique<TCairnFieldDefs>(this)),
      FIndexDefs(std::make_unique<TCairnIndexDefs>(this)),
      FMasterLink(std::make_unique<TMasterLink>()),
      FTempStopWords(std::make_unique<std::vector<std::string>>()) {
  FFieldDefs->SetOnChange([this] { DefinitionsChanged(); });
  FIndexDefs->SetOnChange([this] { DefinitionsChanged(); });
  FFieldDefs->SetOnUpdate([this] { UpdateFieldDefs(); });
  FIndexDefs->SetOnUpdate([this] { UpdateIndexDefs(); });
}

TCairnTable::~TCairnTable() {
  Destroy();
  // The lists outlive nothing that could call back into the table.
  FFieldDefs->SetOnChange(nullptr);
  FIndexDefs->SetOnChange(nullptr);
  FFieldDefs->SetOnUpdate(nullptr);
  FIndexDefs->SetOnUpdate(nullptr);
}

// ---- Properties -------------------------------------------------------------------------------

void TCairnTable::SetTableName(const std::string& value) {
  if (Loading()) {
    FTableName = value;
    return;
  }
  if (value == FTableName) return;
  CheckInactive();
  const size_t delimiter = value.find_last_of(":/");
  if (delimiter == std::string::npos) {
    FTableName = value;
  } else {
    SetDatabaseName(value.substr(0, delimiter + 1));
    FTableName = value.substr(delimiter + 1);
  }
  DataEvent(dePropertyChange);
}

std::string TCairnTable::EngineVersion() const {
  return kEngineVersion;
}

void TCairnTable::SetExclusive(bool value) {
  if (value == FExclusive) return;
  CheckInactive();
  FExclusive = value;
}

void TCairnTable::SetReadOnly(bool value) {
  if (value == FReadOnly) return;
  CheckInactive();
  FReadOnly = value;
}

void TCairnTable::SetIndexName(const std::string& value) {
  if (Active()) Handle()->SetIndexName(host::Utf8ToAnsi(value));
  FIndexName = value;
  FFieldsIndex = false;
  if (Active()) First();
}

void TCairnTable::SetIndexFieldNames(const std::string& value) {
  const std::string savedName = FIndexName;
  const bool savedFieldsIndex = FFieldsIndex;
  FIndexName = value;
  FFieldsIndex = true;
  if (!Active()) return;
  TScopeGuard restore([&] {
    FIndexName = savedName;
    FFieldsIndex = savedFieldsIndex;
  });
  ApplyIndex(*Handle());
  restore.Dismiss();
  First();
}

void TCairnTable::ApplyIndex(TDataCursor& cursor) const {
  if (!FFieldsIndex) {
    if (!FIndexName.empty()) cursor.SetIndexName(host::Utf8ToAnsi(FIndexName));
    return;
  }
  const std::vector<std::string> wanted = SplitNames(FIndexName);
  if (wanted.empty()) {
    cursor.SetIndexPos(idx::kPrimarySlot);
    return;
  }
  for (int pos = 0; pos <= cursor.IndexCount(); ++pos) {
    const TIndexDefinition& d = cursor.IndexDefinition(pos);
    if (d.KeyFieldCount != wanted.size() || wanted.size() > idx::kMaxKeyFields) continue;
    bool same = true;
    for (size_t i = 0; same && i < wanted.size(); ++i) {
      const uint16_t number = d.KeyFields[i];
      std::string name;
      if (number == fld::kRecordIDFieldNum) {
        name = kRecordIDName;
      } else if (number == fld::kRecordHashFieldNum) {
        name = kRecordHashName;
      } else if (const TFieldDefinition* field = cursor.FieldDefinition(number)) {
        name = field->FieldName;
      }
      same = host::AnsiSameText(name, host::Utf8ToAnsi(wanted[i]));
    }
    if (same) {
      cursor.SetIndexPos(pos);
      return;
    }
  }
  DatabaseErrorFmt(SNoIndexForFields, {FIndexName}, this);
}

void TCairnTable::DefinitionsChanged() {
  if (!FAddingTableDef && !FClearingTableDef) FStoreDefs = true;
}

void TCairnTable::UpdateFieldDefs() {
  if (Active()) InternalInitFieldDefs();
}

void TCairnTable::UpdateIndexDefs() {
  if (Active()) InternalReadIndexInfo();
}

TDataDirectory& TCairnTable::DatabaseDirectory() const {
  TDataDirectory* directory = Database() ? Database()->Handle() : nullptr;
  if (directory == nullptr) DatabaseError(SDatabaseClosed, Database());
  return *directory;
}

// ---- Exists -------------------------------------------------------------------------------------

bool TCairnTable::Exists() {
  if (Active()) return true;
  if (FTableName.empty()) return false;
  TUseFlag use(*this, kUseExists);
  TDataDirectory* directory = Database()->Handle();
  return directory != nullptr &&
         directory->DataTableExists(host::Utf8ToAnsi(FTableName), /*openOnly=*/false,
                                    /*temporary=*/false);
}

// ---- CreateTable --------------------------------------------------------------------------------

void TCairnTable::CreateTable(int32_t newLocaleID, uint16_t newUserMajorVersion,
                              uint16_t newUserMinorVersion, bool newEncrypted,
                              const std::string& newPassword, const std::string& newDescription,
                              int32_t newIndexPageSize, int32_t newBlobBlockSize,
                              int32_t newLastAutoIncValue, const std::string& newTextIndexFields,
                              const std::vector<std::string>* newTextIndexStopWords,
                              const std::string& newTextIndexSpaceChars,
                              const std::string& newTextIndexIncludeChars) {
  CheckInactive();
  // Without a name the engine would make a table of the bare extension.
  if (FTableName.empty()) DatabaseError(SNoTableName);
  // Persistent field objects would be asked first; they come with record editing.
  if (FFieldDefs->Count() == 0) FillFieldDefsFromGeneric();

  TUseFlag use(*this, kUseExists);
  // Creation always runs on an exclusive cursor, whatever Exclusive says.
  auto cursor = std::make_unique<TDataCursor>(DatabaseDirectory(), /*noRemoteCall=*/false);
  cursor->SetTableName(host::Utf8ToAnsi(FTableName));
  cursor->SetReadOnly(false);
  cursor->SetExclusive(true);

  TTableCreateParams params;
  NumberFields(params);
  MovePrimaryIndexFirst();
  FillIndexDescriptors(params, newTextIndexFields);

  params.LocaleID = newLocaleID;
  params.UserMajorVersion = newUserMajorVersion;
  params.UserMinorVersion = newUserMinorVersion;
  params.Encrypted = newEncrypted;
  params.Password = host::Utf8ToAnsi(newPassword);
  params.Description = host::Utf8ToAnsi(newDescription);
  params.IndexPageSize = newIndexPageSize;
  params.BlobBlockSize = newBlobBlockSize;
  params.LastAutoIncValue = newLastAutoIncValue;
  if (newTextIndexStopWords != nullptr) {
    std::vector<std::string> stopWords;
    for (const std::string& word : *newTextIndexStopWords)
      stopWords.push_back(host::Utf8ToAnsi(word));
    params.TextIndexStopWords = std::move(stopWords);
  }
  params.TextIndexSpaceChars = CharSetOf(newTextIndexSpaceChars);
  params.TextIndexIncludeChars = CharSetOf(newTextIndexIncludeChars);
  params.ReplaceExisting = false;
  params.OpenAfterCreate = false;

  cursor->CreateTable(params);
}

void TCairnTable::FillFieldDefsFromGeneric() {
  for (const TFieldDef& def : GenericFieldDefs())
    FFieldDefs->Add(def.FieldNo, def.Name, def.DataType, def.Size, def.Required);
}

// Field i gets number i + 1, in the definition as well as in its descriptor. The descriptors
// live in a vector, so no count of definitions can overrun them; the engine refuses more than
// 1024 fields.
void TCairnTable::NumberFields(TTableCreateParams& params) {
  params.Fields.reserve(static_cast<size_t>(FFieldDefs->Count()));
  for (int i = 0; i < FFieldDefs->Count(); ++i) {
    TCairnFieldDef& def = FFieldDefs->Items(i);
    def.SetFieldNo(i + 1);
    params.Fields.push_back(FieldDescriptor(def));
  }
}

// A primary index definition that is not first moves to the front; the others keep their order
// and every definition all its properties. A second primary definition fails.
void TCairnTable::MovePrimaryIndexFirst() {
  TCairnIndexDefs& defs = *FIndexDefs;
  for (int i = 1; i < defs.Count(); ++i) {
    if (!defs.Items(i).Options().Contains(ixPrimary)) continue;
    if (defs.Items(0).Options().Contains(ixPrimary)) DatabaseError(SOnePrimaryIndex);
    std::vector<TIndexDefCopy> copies;
    auto copy = [&](const TCairnIndexDef& def) {
      copies.push_back({def.Name(), def.FieldExpression(), def.Options(), def.DescFields(),
                        def.Compression(), def.NoKeyStatistics()});
    };
    copy(defs.Items(i));
    for (int k = 0; k < defs.Count(); ++k) {
      if (k != i) copy(defs.Items(k));
    }
    defs.BeginUpdate();
    TScopeGuard end([&] { defs.EndUpdate(); });
    defs.Clear();
    for (const TIndexDefCopy& c : copies) {
      TCairnIndexDef::Create(defs, c.Name, c.Fields, c.Options, c.DescFields, c.Compression,
                             c.NoKeyStatistics);
    }
    end.Dismiss();
    defs.EndUpdate();
  }
}

void TCairnTable::FillIndexDescriptors(TTableCreateParams& params,
                                       const std::string& textIndexFields) {
  params.TextIndex = IndexDescriptor(idx::kTextIndexName, textIndexFields, {}, {}, icFull,
                                     /*noKeyStatistics=*/true);
  const TCairnIndexDefs& defs = *FIndexDefs;
  const bool hasPrimary = defs.Count() > 0 && defs.Items(0).Options().Contains(ixPrimary);
  auto descriptor = [this](const TCairnIndexDef& def) {
    return IndexDescriptor(def.Name(), def.Fields(), def.Options(), def.DescFields(),
                           def.Compression(), def.NoKeyStatistics());
  };
  // Without a primary definition slot 0 stays all zero: the engine gives the table its index
  // on RecordID.
  params.PrimaryIndex = hasPrimary ? descriptor(defs.Items(0)) : TIndexDefinition{};
  for (int k = hasPrimary ? 1 : 0; k < defs.Count(); ++k)
    params.SecondaryIndexes.push_back(descriptor(defs.Items(k)));
}

TIndexDefinition TCairnTable::IndexDescriptor(const std::string& name, const std::string& fields,
                                              TIndexOptions options, const std::string& descFields,
                                              TIndexCompression compression,
                                              bool noKeyStatistics) const {
  TIndexDefinition descriptor;
  descriptor.IndexName = Ansi(name, TIndexDefinition::kMaxNameLength);
  // The slot tells which index is primary; expression and non-maintained indexes are not
  // stored.
  descriptor.KeyDescending = options.Contains(ixDescending);
  descriptor.KeyCaseInsensitive = options.Contains(ixCaseInsensitive);
  descriptor.KeyUnique = options.Contains(ixUnique);
  for (const std::string& fieldName : SplitNames(fields)) {
    if (descriptor.KeyFieldCount >= idx::kMaxKeyFields) break;
    descriptor.KeyFields[descriptor.KeyFieldCount++] = KeyFieldNumber(fieldName);
  }
  for (const std::string& fieldName : SplitNames(descFields)) {
    const uint16_t number = KeyFieldNumber(fieldName);
    for (int i = 0; i < descriptor.KeyFieldCount; ++i) {
      if (descriptor.KeyFields[i] == number) descriptor.KeyDescendingFields[i] = true;
    }
  }
  descriptor.KeyCompressionType = static_cast<uint8_t>(compression);
  descriptor.NoKeyStatistics = noKeyStatistics;
  return descriptor;
}

uint16_t TCairnTable::KeyFieldNumber(const std::string& fieldName) const {
  if (host::AnsiSameText(host::Utf8ToAnsi(fieldName), kRecordIDName)) return fld::kRecordIDFieldNum;
  if (host::AnsiSameText(host::Utf8ToAnsi(fieldName), kRecordHashName))
    return fld::kRecordHashFieldNum;
  return static_cast<uint16_t>(FFieldDefs->Find(fieldName).FieldNo());
}

// ---- Open and close -----------------------------------------------------------------------------

std::unique_ptr<TDataCursor> TCairnTable::CreateHandle() {
  if (FTableName.empty()) DatabaseError(SNoTableName);
  auto cursor = std::make_unique<TDataCursor>(DatabaseDirectory(), /*noRemoteCall=*/false);
  cursor->SetTableName(host::Utf8ToAnsi(FTableName));
  cursor->SetExclusive(FExclusive);
  cursor->SetReadOnly(FReadOnly);
  cursor->OpenCursor(/*noRemoteCall=*/false, /*initializeOnly=*/false);
  // The engine opens a table read-only when its files cannot be written.
  FReadOnly = cursor->ReadOnly();
  TScopeGuard close([&] { cursor->CloseCursor(/*freeIfTemporary=*/true); });
  ApplyIndex(*cursor);
  close.Dismiss();
  return cursor;
}

// The generic definitions and FieldDefs are rebuilt together, one entry per surfaced field.
void TCairnTable::InternalInitFieldDefs() {
  TUseFlag use(*this, kUseFieldDefs);
  const std::vector<TSurfacedField> fields = SurfacedFields();
  {
    TFlagScope clearing(FClearingTableDef);
    ClearGenericFieldDefs();
    FFieldDefs->Clear();
  }
  TFlagScope adding(FAddingTableDef);
  for (const TSurfacedField& field : fields) {
    AddGenericFieldDef(field);
    const TFieldDefinition& d = field.Descriptor;
    const auto charCase =
        d.CharCase <= fcUpperCase ? static_cast<TFieldCharCase>(d.CharCase) : fcNoChange;
    FFieldDefs->Add(field.FieldNo, host::AnsiToUtf8(d.FieldName), field.DataType, field.Size,
                    d.Required, host::AnsiToUtf8(d.Default), host::AnsiToUtf8(d.Minimum),
                    host::AnsiToUtf8(d.Maximum), host::AnsiToUtf8(d.Description), charCase,
                    d.Compression);
  }
}

void TCairnTable::InternalReadIndexInfo() {
  const TDataCursor& cursor = *Handle();
  {
    TFlagScope clearing(FClearingTableDef);
    FIndexDefs->Clear();
  }
  TFlagScope adding(FAddingTableDef);
  // The primary index at 0, the secondary indexes after it; the full-text index is not listed.
  for (int pos = 0; pos <= cursor.IndexCount(); ++pos) {
    const TIndexDefinition& d = cursor.IndexDefinition(pos);
    std::vector<std::string> fields;
    std::vector<std::string> descFields;
    const int count = std::min<int>(d.KeyFieldCount, idx::kMaxKeyFields);
    for (int i = 0; i < count; ++i) {
      fields.push_back(KeyFieldName(d.KeyFields[i]));
      if (d.KeyDescendingFields[i]) descFields.push_back(fields.back());
    }
    TIndexOptions options;
    if (pos == idx::kPrimarySlot) options.Include(ixPrimary);
    if (d.KeyUnique) options.Include(ixUnique);
    if (d.KeyDescending) options.Include(ixDescending);
    if (d.KeyCaseInsensitive) options.Include(ixCaseInsensitive);
    const auto compression =
        static_cast<TIndexCompression>(std::min<uint8_t>(d.KeyCompressionType, idx::kCompressFull));
    TCairnIndexDef::Create(*FIndexDefs, host::AnsiToUtf8(d.IndexName), JoinNames(fields), options,
                           JoinNames(descFields), compression, d.NoKeyStatistics);
  }
}

std::string TCairnTable::KeyFieldName(uint16_t fieldNum) const {
  if (fieldNum == fld::kRecordIDFieldNum) return kRecordIDName;
  if (fieldNum == fld::kRecordHashFieldNum) return kRecordHashName;
  const TFieldDefinition* definition = Handle()->FieldDefinition(fieldNum);
  if (definition == nullptr) DatabaseErrorFmt(SFieldNotFound, {std::to_string(fieldNum)}, this);
  return host::AnsiToUtf8(definition->FieldName);
}

}  // namespace cairn
