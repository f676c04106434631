#include "cairn/engine/DataLocale.h"

#include <algorithm>

#include "cairn/host/CodePage.h"
#include "cairn/host/Locales.h"

namespace cairn {

std::vector<std::unique_ptr<TDataLocale>> BuildLocaleList(TDataEngine& engine) {
  std::vector<std::unique_ptr<TDataLocale>> list;
  for (const host::TLocaleInfo& info : host::SystemLocales()) {
    if (info.Id == kAnsiLocaleId) continue;  // the built-in one is added below
    list.push_back(std::make_unique<TDataLocale>(engine, info.Id, info.Name, info.ShortName));
  }
  std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
    return host::AnsiCompareText(a->Name(), b->Name()) < 0;
  });
  list.insert(list.begin(), std::make_unique<TDataLocale>(engine, kAnsiLocaleId, kAnsiLocaleName,
                                                          kAnsiLocaleShortName));
  return list;
}

}  // namespace cairn
