// One field of a table's structure, as described before the table is created or read back from
// an open table.
#pragma once

#include <cstdint>
#include <string>

#include "cairn/access/DefCollection.h"
#include "cairn/access/FieldTypes.h"

namespace cairn {

class TCairnFieldDefs;

// The size a field of this type gets when its data type is set: 20 for the text types, 16 for
// the byte types, 4 for BCD, 10 for arrays, 38 for GUIDs, else 0.
int32_t DefaultFieldSize(TFieldType dataType);
// The size rule, with the size taken as a 16-bit unsigned number: 1 to 512 for the text, byte
// and GUID types, 0 to 32 for BCD, 0 for every other type.
bool IsValidFieldSize(TFieldType dataType, int32_t size);
// Fails with "Invalid field size" when the size rule rejects the size.
void CheckFieldSize(TFieldType dataType, int32_t size);

class TCairnFieldDef : public TNamedDef {
 public:
  // Builds a definition directly at the end of a list. The size rule is applied always (a text
  // field of size 0 fails) and the data type and size are stored as given, without the default
  // size. On failure the definition leaves the list again.
  static TCairnFieldDef& Create(TCairnFieldDefs& owner, const std::string& name,
                                TFieldType dataType, int32_t size, bool required,
                                const std::string& defaultValue, const std::string& minValue,
                                const std::string& maxValue, const std::string& description,
                                TFieldCharCase charCase, uint8_t compression, int32_t fieldNo);

  // 0 until the table object numbers the fields by position.
  int32_t FieldNo() const { return FFieldNo; }
  void SetFieldNo(int32_t fieldNo);
  TFieldAttributes Attributes() const { return FAttributes; }
  void SetAttributes(TFieldAttributes attributes);
  TFieldType DataType() const { return FDataType; }
  // Also sets Size to the type's default size.
  void SetDataType(TFieldType dataType);
  int32_t Size() const { return FSize; }
  // A non-zero size of a known data type is checked by the size rule.
  void SetSize(int32_t size);
  const std::string& DefaultValue() const { return FDefaultValue; }
  void SetDefaultValue(const std::string& value);
  const std::string& MinValue() const { return FMinValue; }
  void SetMinValue(const std::string& value);
  const std::string& MaxValue() const { return FMaxValue; }
  void SetMaxValue(const std::string& value);
  const std::string& Description() const { return FDescription; }
  void SetDescription(const std::string& value);
  TFieldCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TFieldCharCase charCase);
  // 0 for none, 1 to 9: the zlib level of a blob field's data.
  uint8_t Compression() const { return FCompression; }
  void SetCompression(uint8_t compression);

  // The faRequired member of Attributes.
  bool Required() const { return FAttributes.Contains(faRequired); }
  void SetRequired(bool required);

  // Copies every property of another definition, inside one update of the list. Fails, changing
  // nothing, when the source's name belongs to another item of this list.
  void Assign(const TCairnFieldDef& source);

 private:
  friend class TCairnFieldDefs;
  explicit TCairnFieldDef(TCairnFieldDefs& owner);

  int32_t FFieldNo = 0;
  TFieldAttributes FAttributes;
  TFieldType FDataType = ftUnknown;
  int32_t FSize = 0;
  std::string FDefaultValue;
  std::string FMinValue;
  std::string FMaxValue;
  std::string FDescription;
  TFieldCharCase FCharCase = fcNoChange;
  uint8_t FCompression = 0;
};

}  // namespace cairn
