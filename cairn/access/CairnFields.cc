#include "cairn/access/CairnFields.h"

#include "cairn/host/CodePage.h"

namespace cairn {

TCairnField& TCairnFields::Add(std::unique_ptr<TCairnField> field) {
  FItems.push_back(std::move(field));
  return *FItems.back();
}

// Names compare in their 8-bit form, as the engine compares them.
TCairnField* TCairnFields::FindField(const std::string& name) const {
  const std::string ansi = host::Utf8ToAnsi(name);
  for (const auto& field : FItems) {
    if (host::AnsiSameText(host::Utf8ToAnsi(field->FieldName()), ansi)) return field.get();
  }
  return nullptr;
}

}  // namespace cairn
