#include "cairn/access/DefCollection.h"

#include <algorithm>
#include <stdexcept>

#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"
#include "cairn/host/CodePage.h"

namespace cairn {
namespace {

size_t NameHash(std::string_view ansiName) {
  return std::hash<std::string>{}(host::AnsiUpperCase(ansiName));
}

}  // namespace

// ---- TNamedDef ----------------------------------------------------------------------------------

TNamedDef::TNamedDef(TDefCollection& collection)
    : FCollection(&collection), FNameHash(NameHash("")) {}

TNamedDef::~TNamedDef() = default;

void TNamedDef::SetName(const std::string& name) {
  if (name == FName) return;
  std::string ansiName = host::Utf8ToAnsi(name);
  size_t hash = NameHash(ansiName);
  if (FCollection->FindName(ansiName, hash, this) >= 0) {
    DatabaseErrorFmt(SDuplicateName, {name, FCollection->ClassName()});
  }
  FName = name;
  FAnsiName = std::move(ansiName);
  FNameHash = hash;
  Changed();
}

int TNamedDef::Index() const {
  const auto& items = FCollection->FItems;
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].get() == this) return static_cast<int>(i);
  }
  return -1;
}

void TNamedDef::Changed() {
  FCollection->Changed();
}

// ---- TDefCollection -----------------------------------------------------------------------------

TDefCollection::~TDefCollection() {
  // Owned items are freed back to front.
  while (!FItems.empty()) FItems.pop_back();
}

int TDefCollection::IndexOf(std::string_view name) const {
  std::string ansiName = host::Utf8ToAnsi(name);
  return FindName(ansiName, NameHash(ansiName), nullptr);
}

int TDefCollection::FindName(std::string_view ansiName, size_t hash,
                             const TNamedDef* except) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    const TNamedDef& item = *FItems[i];
    if (&item != except && item.FNameHash == hash && host::AnsiSameText(item.FAnsiName, ansiName)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void TDefCollection::Clear() {
  if (FItems.empty()) return;
  InUpdate([this] {
    while (!FItems.empty()) FItems.pop_back();
    Changed();
  });
}

void TDefCollection::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount == 0 && FChangePending) {
    FChangePending = false;
    if (FOnChange) FOnChange();
  }
}

void TDefCollection::Update() {
  if (FOnUpdate) FOnUpdate();
}

void TDefCollection::CheckInsertPos(int pos) const {
  if (pos < 0 || pos > Count()) {
    throw std::out_of_range("insert position " + std::to_string(pos) + " outside the list");
  }
}

void TDefCollection::InsertItem(int pos, std::unique_ptr<TNamedDef> item) {
  CheckInsertPos(pos);
  FItems.insert(FItems.begin() + pos, std::move(item));
  Changed();
}

void TDefCollection::RemoveItem(const TNamedDef& item) {
  auto it = std::find_if(FItems.begin(), FItems.end(),
                         [&item](const auto& p) { return p.get() == &item; });
  if (it == FItems.end()) return;
  FItems.erase(it);
  Changed();
}

void TDefCollection::Changed() {
  if (FUpdateCount > 0) {
    FChangePending = true;
  } else if (FOnChange) {
    FOnChange();
  }
}

}  // namespace cairn
