#include "cairn/engine/table/TableValidator.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/data/FieldLiterals.h"
#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/error/EngineError.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/System.h"

namespace cairn {
namespace {

constexpr size_t kMaxPasswordLength = 128;
constexpr size_t kMaxFieldCount = 1024;
constexpr int32_t kMinIndexPageSize = 1024;
constexpr int32_t kMaxIndexPageSize = 16384;
constexpr int32_t kMinBlobBlockSize = 64;
constexpr int32_t kMaxBlobBlockSize = 65536;
constexpr uint16_t kMaxStringLength = 512;
constexpr uint16_t kMaxWideStringLength = 256;
constexpr uint8_t kMaxCompressionLevel = 9;
// The first 25 bytes of a record are its system area: status, next-free number, RecordID and
// RecordHash.
constexpr uint32_t kFirstFieldOffset = 25;
// A key must leave room for three entries in a page after the 13-byte page header.
constexpr int32_t kPageHeaderSize = 13;
constexpr int32_t kMinKeysPerPage = 3;
// A non-unique index appends the record's RecordID to every key, so that no two keys are equal.
constexpr int64_t kRecordIDKeySuffix = 4;
// The name errors of slot 0 carry, since the primary index itself has none.
constexpr const char* kPrimaryErrorName = "Primary";

bool IsStringLike(uint8_t dataType) {
  return dataType == fld::kString || dataType == fld::kBytes || dataType == fld::kVarBytes;
}

bool IsPseudoFieldNum(uint16_t number) {
  return number == fld::kRecordIDFieldNum || number == fld::kRecordHashFieldNum;
}

// Trimmed and cut to the 60 characters a stored name can hold.
std::string CleanName(std::string_view name, size_t maxLength) {
  std::string cleaned = host::TrimBlanks(name);
  if (cleaned.size() > maxLength) cleaned.resize(maxLength);
  return cleaned;
}

bool IsValidName(const std::string& name) {
  return IsValidNameStart(name);
}

// The key bytes a field contributes besides its null flag: a BCD key holds the value as a
// scaled 64-bit integer, every other type its stored bytes.
int64_t KeyValueLength(const TFieldDefinition& field) {
  return field.DataType == fld::kBCD ? 8 : field.DataSize;
}

// Ends the key field list at its first 0: later entries (and their descending flags) are
// cleared, so the stored list has no gaps. Returns the number of key fields.
uint8_t EndKeyFieldList(TIndexDefinition& index) {
  size_t count = 0;
  while (count < index.KeyFields.size() && index.KeyFields[count] != 0) ++count;
  for (size_t i = count; i < index.KeyFields.size(); ++i) {
    index.KeyFields[i] = 0;
    index.KeyDescendingFields[i] = false;
  }
  return static_cast<uint8_t>(count);
}

class TTableValidator {
 public:
  TTableValidator(TEngineServices& engine, TTableCreateParams& params,
                  const std::string& databaseName, const std::string& tableName)
      : FEngine(engine), FParams(params), FDatabaseName(databaseName), FTableName(tableName) {}

  void Run() {
    FParams.IndexPageSize = RoundUpToMultipleOf8(FParams.IndexPageSize);
    FParams.BlobBlockSize = RoundUpToMultipleOf8(FParams.BlobBlockSize);
    CheckTable();
    for (size_t i = 0; i < FParams.Fields.size(); ++i) CheckField(FParams.Fields[i], i);
    CheckPrimaryIndex(FParams.PrimaryIndex);
    for (TIndexDefinition& index : FParams.SecondaryIndexes) CheckSecondaryIndex(index);
    CheckTextIndex(FParams.TextIndex);
  }

 private:
  // ---- Table ----------------------------------------------------------------------------------

  void CheckTable() {
    if (FParams.Encrypted) {
      std::string password = host::TrimBlanks(FParams.Password);
      if (password.empty() || password.size() > kMaxPasswordLength) Fail(CAIRN_INVALIDPASSWORD);
    }
    if (FParams.LocaleID < 0 || !FEngine.IsValidLocale(static_cast<uint32_t>(FParams.LocaleID)))
      Fail(CAIRN_CANNOTLOADLDDRV);
    if (FParams.Fields.empty() || FParams.Fields.size() > kMaxFieldCount) Fail(CAIRN_FLDLIMIT);
    if (FParams.IndexPageSize < kMinIndexPageSize || FParams.IndexPageSize > kMaxIndexPageSize)
      Fail(CAIRN_INDEXLIMIT);
    if (FParams.SecondaryIndexes.size() > static_cast<size_t>(idx::kMaxSecondaryIndexes))
      Fail(CAIRN_INDEXLIMIT);
    if (FParams.BlobBlockSize < kMinBlobBlockSize || FParams.BlobBlockSize > kMaxBlobBlockSize)
      Fail(CAIRN_BLOBLIMIT);
  }

  // ---- Fields ---------------------------------------------------------------------------------

  void CheckField(TFieldDefinition& field, size_t position) {
    field.FieldName = CleanName(field.FieldName, TFieldDefinition::kMaxNameLength);
    CheckFieldName(field);
    CheckFieldNumber(field, position);
    CheckFieldType(field);
    CheckFieldLiterals(field);
    if (field.Compression != 0 && !(field.IsBlob() && field.Compression <= kMaxCompressionLevel))
      FailField(CAIRN_INVALIDFLDTYPE, field);
    if (field.ExpressionField) FailField(CAIRN_INVALIDFLDTYPE, field);
    AssignLayout(field);
  }

  void CheckFieldName(const TFieldDefinition& field) {
    const std::string& name = field.FieldName;
    if (host::AnsiSameText(name, RecordIDFieldDefinition().FieldName) ||
        host::AnsiSameText(name, RecordHashFieldDefinition().FieldName) || !IsValidName(name)) {
      FailField(CAIRN_INVALIDFIELDNAME, field);
    }
    if (!FFieldNames.insert(host::AnsiUpperCase(name)).second)
      FailField(CAIRN_INVALIDFIELDNAME, field);
  }

  // A field's number is its 1-based position: the data file stores it and refuses any other at
  // open, and index key fields name fields by it.
  void CheckFieldNumber(const TFieldDefinition& field, size_t position) {
    if (!IsPseudoFieldNum(field.FieldNum) && !FFieldNumbers.insert(field.FieldNum).second)
      FailField(CAIRN_INVALIDFLDTYPE, field);
    if (field.FieldNum != position + 1) FailField(CAIRN_INVALIDFLDTYPE, field);
  }

  void CheckFieldType(TFieldDefinition& field) {
    if (field.DataType == 0) FailField(CAIRN_INVALIDFLDTYPE, field);
    if (!IsStringLike(field.DataType)) {
      field.Length = 0;
      return;
    }
    // Subtype 32 holds two bytes per character.
    uint16_t maxLength = field.SubType == fld::kSubWide ? kMaxWideStringLength : kMaxStringLength;
    if (field.Length < 1 || field.Length > maxLength) FailField(CAIRN_INVALIDFLDTYPE, field);
  }

  // A text longer than its stored area would be cut when the definition is written, leaving a
  // different value than the one checked here.
  void CheckFieldLiterals(const TFieldDefinition& field) {
    for (const std::string* text : {&field.Default, &field.Minimum, &field.Maximum}) {
      if (text->size() > TFieldDefinition::kMaxTextLength ||
          !IsValidFieldLiteral(field.DataType, *text)) {
        FailField(CAIRN_INVALIDVCHKSTRUCT, field);
      }
    }
  }

  // Each field takes a null-flag byte followed by its value.
  void AssignLayout(TFieldDefinition& field) {
    if (field.DataType != fld::kBCD) field.Decimals = 0;
    field.DataSize = FieldDataSize(field.DataType, field.SubType, field.Length);
    field.DataDecimals = field.Decimals;
    field.Offset = static_cast<uint16_t>(
        std::min<uint32_t>(FNextOffset, std::numeric_limits<uint16_t>::max()));
    FNextOffset += field.DataSize + 1u;
  }

  // ---- Indexes --------------------------------------------------------------------------------

  void CheckPrimaryIndex(TIndexDefinition& index) {
    if (index.KeyFields[0] == 0) {
      index = TIndexDefinition::AutomaticPrimary();
      return;
    }
    index.IndexName.clear();
    index.KeyUnique = true;
    CheckKeys(index, kPrimaryErrorName);
  }

  void CheckSecondaryIndex(TIndexDefinition& index) {
    index.IndexName = CleanName(index.IndexName, TIndexDefinition::kMaxNameLength);
    if (!IsValidName(index.IndexName)) FailIndex(CAIRN_INVALIDINDEXNAME, {}, index.IndexName);
    if (!FIndexNames.insert(host::AnsiUpperCase(index.IndexName)).second)
      FailIndex(CAIRN_INDEXEXISTS, {}, index.IndexName);
    CheckKeys(index, index.IndexName);
  }

  // Key fields, then the key size; both are stored into the definition.
  void CheckKeys(TIndexDefinition& index, const std::string& errorName) {
    index.KeyFieldCount = EndKeyFieldList(index);
    CheckKeyFieldsExist(index, errorName);
    for (const TFieldDefinition* field : KeyFieldDefinitions(index)) {
      if (field->IsBlob()) FailIndex(CAIRN_SEARCHCOLREQD, field->FieldName, errorName);
    }
    index.KeySize = KeySize(index, errorName);
  }

  void CheckTextIndex(TIndexDefinition& index) {
    index.IndexName = idx::kTextIndexName;
    index.KeySize = idx::kTextIndexKeySize;
    index.KeyCompressionType = idx::kCompressFull;
    index.NoKeyStatistics = true;
    index.KeyUnique = false;
    index.KeyFieldCount = EndKeyFieldList(index);
    CheckKeyFieldsExist(index, index.IndexName);
    for (const TFieldDefinition* field : KeyFieldDefinitions(index)) {
      bool isMemo = field->IsBlob() && field->SubType == fld::kSubMemo;
      if (field->DataType != fld::kString && !isMemo)
        FailIndex(CAIRN_SEARCHCOLREQD, field->FieldName, index.IndexName);
    }
  }

  void CheckKeyFieldsExist(const TIndexDefinition& index, const std::string& errorName) {
    for (uint8_t i = 0; i < index.KeyFieldCount; ++i) {
      uint16_t number = index.KeyFields[i];
      // Shown signed, as the pseudo-fields are numbered -1 and -2.
      if (FindField(number) == nullptr)
        FailIndex(CAIRN_INVALIDIDXDESC, std::to_string(static_cast<int16_t>(number)), errorName);
    }
  }

  // The key: per key field a null flag and the key value, plus the RecordID suffix of a
  // non-unique index. An index without key fields has no valid key either.
  uint16_t KeySize(const TIndexDefinition& index, const std::string& errorName) {
    int64_t size = 0;
    for (const TFieldDefinition* field : KeyFieldDefinitions(index))
      size += KeyValueLength(*field) + 1;
    if (size == 0) FailIndex(CAIRN_INVALIDKEY, {}, errorName);
    if (!index.KeyUnique) size += kRecordIDKeySuffix;
    int64_t pageLimit = (FParams.IndexPageSize - kPageHeaderSize) / kMinKeysPerPage;
    if (size > idx::kMaxKeySize || size > pageLimit) FailIndex(CAIRN_INVALIDKEY, {}, errorName);
    return static_cast<uint16_t>(size);
  }

  // The definitions of an index's key fields, which must all exist.
  std::vector<const TFieldDefinition*> KeyFieldDefinitions(const TIndexDefinition& index) const {
    std::vector<const TFieldDefinition*> fields;
    for (uint8_t i = 0; i < index.KeyFieldCount; ++i)
      fields.push_back(FindField(index.KeyFields[i]));
    return fields;
  }

  // Field numbers are positions once the field checks passed.
  const TFieldDefinition* FindField(uint16_t number) const {
    if (number == fld::kRecordIDFieldNum) return &RecordIDFieldDefinition();
    if (number == fld::kRecordHashFieldNum) return &RecordHashFieldDefinition();
    if (number < 1 || number > FParams.Fields.size()) return nullptr;
    return &FParams.Fields[number - 1];
  }

  // ---- Errors ---------------------------------------------------------------------------------

  [[noreturn]] void Fail(uint16_t code) const { FailIndex(code, {}, {}); }
  [[noreturn]] void FailField(uint16_t code, const TFieldDefinition& field) const {
    FailIndex(code, field.FieldName, {});
  }
  [[noreturn]] void FailIndex(uint16_t code, const std::string& fieldName,
                              const std::string& indexName) const {
    TEngineErrorContext context;
    context.DatabaseName = FDatabaseName;
    context.TableName = FTableName;
    context.FieldName = fieldName;
    context.IndexName = indexName;
    FEngine.RaiseError(code, context);
  }

  TEngineServices& FEngine;
  TTableCreateParams& FParams;
  const std::string& FDatabaseName;
  const std::string& FTableName;
  uint32_t FNextOffset = kFirstFieldOffset;
  std::unordered_set<std::string> FFieldNames;  // upper-cased
  std::unordered_set<uint16_t> FFieldNumbers;
  std::unordered_set<std::string> FIndexNames;  // upper-cased
};

}  // namespace

int32_t RoundUpToMultipleOf8(int32_t size) {
  if (size < 0 || size > std::numeric_limits<int32_t>::max() - 7) return size;
  return (size + 7) / 8 * 8;
}

void ValidateTableCreateParams(TEngineServices& engine, TTableCreateParams& params,
                               const std::string& databaseName, const std::string& tableName) {
  // Checked and normalised on a copy, so a refused definition is handed back untouched.
  TTableCreateParams checked = params;
  TTableValidator(engine, checked, databaseName, tableName).Run();
  params = std::move(checked);
}

}  // namespace cairn
