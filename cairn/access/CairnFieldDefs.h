// A table's field definitions: an ordered list of TCairnFieldDef, names unique without regard to
// case. Errors marked with the owner carry the table component's name in front.
#pragma once

#include <cstdint>
#include <string>

#include "cairn/access/CairnFieldDef.h"
#include "cairn/access/DefCollection.h"
#include "cairn/access/FieldTypes.h"

namespace cairn {

class TCairnFieldDefs : public TDefCollection {
 public:
  explicit TCairnFieldDefs(TComponent* dataSet = nullptr) : TDefCollection(dataSet) {}

  const char* ClassName() const override { return "TCairnFieldDefs"; }
  TCairnFieldDef& Items(int index) const { return static_cast<TCairnFieldDef&>(ItemAt(index)); }

  // Appends a definition. An empty name fails with "<table>: Field name missing"; a duplicate
  // name, or a non-zero size the size rule rejects, fails and leaves the list as it was. The
  // given size replaces the type's default size even when it is 0.
  TCairnFieldDef& Add(const std::string& name, TFieldType dataType, int32_t size = 0,
                      bool required = false, const std::string& defaultValue = {},
                      const std::string& minValue = {}, const std::string& maxValue = {},
                      const std::string& description = {}, TFieldCharCase charCase = fcNoChange,
                      uint8_t compression = 0);
  // The same with a field number.
  TCairnFieldDef& Add(int32_t fieldNo, const std::string& name, TFieldType dataType,
                      int32_t size = 0, bool required = false, const std::string& defaultValue = {},
                      const std::string& minValue = {}, const std::string& maxValue = {},
                      const std::string& description = {}, TFieldCharCase charCase = fcNoChange,
                      uint8_t compression = 0);
  // Add, placing the definition at insertPos (0 to Count; std::out_of_range otherwise).
  TCairnFieldDef& Insert(int insertPos, const std::string& name, TFieldType dataType,
                         int32_t size = 0, bool required = false,
                         const std::string& defaultValue = {}, const std::string& minValue = {},
                         const std::string& maxValue = {}, const std::string& description = {},
                         TFieldCharCase charCase = fcNoChange, uint8_t compression = 0);
  TCairnFieldDef& Insert(int insertPos, int32_t fieldNo, const std::string& name,
                         TFieldType dataType, int32_t size = 0, bool required = false,
                         const std::string& defaultValue = {}, const std::string& minValue = {},
                         const std::string& maxValue = {}, const std::string& description = {},
                         TFieldCharCase charCase = fcNoChange, uint8_t compression = 0);

  // An empty definition at the end or at a position.
  TCairnFieldDef& AddFieldDef();
  TCairnFieldDef& InsertFieldDef(int insertPos);

  // Fails with "<table>: Field '%s' not found".
  TCairnFieldDef& Find(const std::string& name) const;

 private:
  friend class TCairnFieldDef;

  TCairnFieldDef& InsertDef(int pos, int32_t fieldNo, const std::string& name, TFieldType dataType,
                            int32_t size, bool required, const std::string& defaultValue,
                            const std::string& minValue, const std::string& maxValue,
                            const std::string& description, TFieldCharCase charCase,
                            uint8_t compression);
  std::unique_ptr<TCairnFieldDef> NewDef();
};

}  // namespace cairn
