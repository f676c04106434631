#include "cairn/access/CairnIndexDefs.h"

#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"
#include "cairn/host/CodePage.h"

namespace cairn {
namespace {

// A field list in the form it is compared in: 8-bit and upper-cased.
std::string FieldsKey(std::string_view fields) {
  return host::AnsiUpperCase(host::Utf8ToAnsi(fields));
}

// True when fields begins with the list prefix and the prefix ends at a ";" or at the end.
bool StartsWithFieldList(std::string_view fields, std::string_view prefix) {
  return fields.substr(0, prefix.size()) == prefix &&
         (fields.size() == prefix.size() || fields[prefix.size()] == ';');
}

}  // namespace

std::unique_ptr<TCairnIndexDef> TCairnIndexDefs::NewDef() {
  return std::unique_ptr<TCairnIndexDef>(new TCairnIndexDef(*this));
}

TCairnIndexDef& TCairnIndexDefs::Add(const std::string& name, const std::string& fields,
                                     TIndexOptions options, const std::string& descFields,
                                     TIndexCompression compression, bool noKeyStatistics) {
  if (IndexOf(name) >= 0) DatabaseErrorFmt(SDuplicateIndexName, {name}, DataSet());
  return BuildItem(Count(), NewDef(), [&](TCairnIndexDef& def) {
    def.SetName(name);
    def.SetFields(fields);
    def.SetDescFields(descFields);
    if (!descFields.empty()) options.Include(ixDescending);
    def.SetOptions(options);
    def.SetCompression(compression);
    def.SetNoKeyStatistics(noKeyStatistics);
  });
}

TCairnIndexDef& TCairnIndexDefs::AddIndexDef() {
  return BuildItem(Count(), NewDef(), [](TCairnIndexDef&) {});
}

TCairnIndexDef& TCairnIndexDefs::Find(const std::string& name) const {
  int index = IndexOf(name);
  if (index < 0) DatabaseErrorFmt(SIndexNotFound, {name}, DataSet());
  return Items(index);
}

TCairnIndexDef* TCairnIndexDefs::GetIndexForFields(const std::string& fields,
                                                   bool caseInsensitive) {
  Update();
  const std::string wanted = FieldsKey(fields);
  auto usable = [caseInsensitive](const TCairnIndexDef& def) {
    const TIndexOptions options = def.Options();
    return !options.Contains(ixExpression) &&
           (!caseInsensitive || options.Contains(ixCaseInsensitive));
  };
  for (int i = 0; i < Count(); ++i) {
    TCairnIndexDef& def = Items(i);
    if (usable(def) && FieldsKey(def.Fields()) == wanted) return &def;
  }
  for (int i = 0; i < Count(); ++i) {
    TCairnIndexDef& def = Items(i);
    if (usable(def) && StartsWithFieldList(FieldsKey(def.Fields()), wanted)) return &def;
  }
  return nullptr;
}

TCairnIndexDef& TCairnIndexDefs::FindIndexForFields(const std::string& fields) {
  TCairnIndexDef* def = GetIndexForFields(fields, false);
  if (!def) DatabaseErrorFmt(SNoIndexForFields, {fields}, DataSet());
  return *def;
}

}  // namespace cairn
