#include "cairn/access/CairnFieldDef.h"

#include "cairn/access/CairnFieldDefs.h"
#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"

namespace cairn {

int32_t DefaultFieldSize(TFieldType dataType) {
  switch (dataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
      return 20;
    case ftBytes:
    case ftVarBytes:
      return 16;
    case ftBCD:
      return 4;
    case ftArray:
      return 10;
    case ftGuid:
      return 38;
    default:
      return 0;
  }
}

bool IsValidFieldSize(TFieldType dataType, int32_t size) {
  // Only the low 16 bits of a size reach the engine, so only they are checked.
  uint16_t stored = static_cast<uint16_t>(size);
  switch (dataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
    case ftBytes:
    case ftVarBytes:
      return stored >= 1 && stored <= 512;
    case ftBCD:
      return stored <= 32;
    default:
      return stored == 0;
  }
}

void CheckFieldSize(TFieldType dataType, int32_t size) {
  if (!IsValidFieldSize(dataType, size)) DatabaseError(SInvalidFieldSize);
}

TCairnFieldDef::TCairnFieldDef(TCairnFieldDefs& owner) : TNamedDef(owner) {}

TCairnFieldDef& TCairnFieldDef::Create(TCairnFieldDefs& owner, const std::string& name,
                                       TFieldType dataType, int32_t size, bool required,
                                       const std::string& defaultValue, const std::string& minValue,
                                       const std::string& maxValue, const std::string& description,
                                       TFieldCharCase charCase, uint8_t compression,
                                       int32_t fieldNo) {
  return owner.BuildItem(owner.Count(), owner.NewDef(), [&](TCairnFieldDef& def) {
    CheckFieldSize(dataType, size);
    def.SetName(name);
    def.FDataType = dataType;
    def.FSize = size;
    def.SetRequired(required);
    def.FDefaultValue = defaultValue;
    def.FMinValue = minValue;
    def.FMaxValue = maxValue;
    def.FDescription = description;
    def.FCharCase = charCase;
    def.FCompression = compression;
    def.FFieldNo = fieldNo;
  });
}

void TCairnFieldDef::SetFieldNo(int32_t fieldNo) {
  if (fieldNo == FFieldNo) return;
  FFieldNo = fieldNo;
  Changed();
}

void TCairnFieldDef::SetAttributes(TFieldAttributes attributes) {
  if (attributes == FAttributes) return;
  FAttributes = attributes;
  Changed();
}

void TCairnFieldDef::SetDataType(TFieldType dataType) {
  FDataType = dataType;
  FSize = DefaultFieldSize(dataType);
  Changed();
}

void TCairnFieldDef::SetSize(int32_t size) {
  if (size == FSize) return;
  if (size != 0 && FDataType != ftUnknown) CheckFieldSize(FDataType, size);
  FSize = size;
  Changed();
}

namespace {

template <class T>
bool Store(T& field, const T& value) {
  if (field == value) return false;
  field = value;
  return true;
}

}  // namespace

void TCairnFieldDef::SetDefaultValue(const std::string& value) {
  if (Store(FDefaultValue, value)) Changed();
}

void TCairnFieldDef::SetMinValue(const std::string& value) {
  if (Store(FMinValue, value)) Changed();
}

void TCairnFieldDef::SetMaxValue(const std::string& value) {
  if (Store(FMaxValue, value)) Changed();
}

void TCairnFieldDef::SetDescription(const std::string& value) {
  if (Store(FDescription, value)) Changed();
}

void TCairnFieldDef::SetCharCase(TFieldCharCase charCase) {
  if (Store(FCharCase, charCase)) Changed();
}

void TCairnFieldDef::SetCompression(uint8_t compression) {
  if (Store(FCompression, compression)) Changed();
}

void TCairnFieldDef::SetRequired(bool required) {
  TFieldAttributes attributes = FAttributes;
  if (required) {
    attributes.Include(faRequired);
  } else {
    attributes.Exclude(faRequired);
  }
  SetAttributes(attributes);
}

void TCairnFieldDef::Assign(const TCairnFieldDef& source) {
  if (&source == this) return;
  auto& list = static_cast<TCairnFieldDefs&>(Collection());
  list.InUpdate([&] {
    // The name is the only step that can fail; it goes first so a failure changes nothing.
    SetName(source.Name());
    FFieldNo = source.FFieldNo;
    FAttributes = source.FAttributes;
    FDataType = source.FDataType;
    FSize = source.FSize;
    FDefaultValue = source.FDefaultValue;
    FMinValue = source.FMinValue;
    FMaxValue = source.FMaxValue;
    FDescription = source.FDescription;
    FCharCase = source.FCharCase;
    FCompression = source.FCompression;
    Changed();
  });
}

}  // namespace cairn
