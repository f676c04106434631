#include "cairn/access/CairnFieldDefs.h"

#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"

namespace cairn {

std::unique_ptr<TCairnFieldDef> TCairnFieldDefs::NewDef() {
  return std::unique_ptr<TCairnFieldDef>(new TCairnFieldDef(*this));
}

TCairnFieldDef& TCairnFieldDefs::Add(const std::string& name, TFieldType dataType, int32_t size,
                                     bool required, const std::string& defaultValue,
                                     const std::string& minValue, const std::string& maxValue,
                                     const std::string& description, TFieldCharCase charCase,
                                     uint8_t compression) {
  return InsertDef(Count(), 0, name, dataType, size, required, defaultValue, minValue, maxValue,
                   description, charCase, compression);
}

TCairnFieldDef& TCairnFieldDefs::Add(int32_t fieldNo, const std::string& name, TFieldType dataType,
                                     int32_t size, bool required, const std::string& defaultValue,
                                     const std::string& minValue, const std::string& maxValue,
                                     const std::string& description, TFieldCharCase charCase,
                                     uint8_t compression) {
  return InsertDef(Count(), fieldNo, name, dataType, size, required, defaultValue, minValue,
                   maxValue, description, charCase, compression);
}

TCairnFieldDef& TCairnFieldDefs::Insert(int insertPos, const std::string& name, TFieldType dataType,
                                        int32_t size, bool required,
                                        const std::string& defaultValue,
                                        const std::string& minValue, const std::string& maxValue,
                                        const std::string& description, TFieldCharCase charCase,
                                        uint8_t compression) {
  return InsertDef(insertPos, 0, name, dataType, size, required, defaultValue, minValue, maxValue,
                   description, charCase, compression);
}

TCairnFieldDef& TCairnFieldDefs::Insert(int insertPos, int32_t fieldNo, const std::string& name,
                                        TFieldType dataType, int32_t size, bool required,
                                        const std::string& defaultValue,
                                        const std::string& minValue, const std::string& maxValue,
                                        const std::string& description, TFieldCharCase charCase,
                                        uint8_t compression) {
  return InsertDef(insertPos, fieldNo, name, dataType, size, required, defaultValue, minValue,
                   maxValue, description, charCase, compression);
}

TCairnFieldDef& TCairnFieldDefs::InsertDef(int pos, int32_t fieldNo, const std::string& name,
                                           TFieldType dataType, int32_t size, bool required,
                                           const std::string& defaultValue,
                                           const std::string& minValue, const std::string& maxValue,
                                           const std::string& description, TFieldCharCase charCase,
                                           uint8_t compression) {
  if (name.empty()) DatabaseError(SFieldNameMissing, DataSet());
  return BuildItem(pos, NewDef(), [&](TCairnFieldDef& def) {
    def.SetFieldNo(fieldNo);
    def.SetName(name);
    def.SetDataType(dataType);
    // The given size replaces the default size even when it is 0; a size of 0 for a sized type
    // is left to table creation.
    if (size != 0 && dataType != ftUnknown) CheckFieldSize(dataType, size);
    def.FSize = size;
    def.SetRequired(required);
    def.SetDefaultValue(defaultValue);
    def.SetMinValue(minValue);
    def.SetMaxValue(maxValue);
    def.SetDescription(description);
    def.SetCharCase(charCase);
    def.SetCompression(compression);
  });
}

TCairnFieldDef& TCairnFieldDefs::AddFieldDef() {
  return InsertFieldDef(Count());
}

TCairnFieldDef& TCairnFieldDefs::InsertFieldDef(int insertPos) {
  return BuildItem(insertPos, NewDef(), [](TCairnFieldDef&) {});
}

TCairnFieldDef& TCairnFieldDefs::Find(const std::string& name) const {
  int index = IndexOf(name);
  if (index < 0) DatabaseErrorFmt(SFieldNotFound, {name}, DataSet());
  return Items(index);
}

}  // namespace cairn
