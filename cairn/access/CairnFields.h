// The field objects of an open dataset, in field-number order. They are rebuilt at every open and
// freed at close: a field object must not be kept across a close.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnField.h"

namespace cairn {

class TCairnFields {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TCairnField& Fields(int index) const { return *FItems.at(static_cast<size_t>(index)); }
  TCairnField& Add(std::unique_ptr<TCairnField> field);
  void Clear() { FItems.clear(); }
  // The field of that name, letter case ignored; null when there is none.
  TCairnField* FindField(const std::string& name) const;

 private:
  std::vector<std::unique_ptr<TCairnField>> FItems;
};

}  // namespace cairn
