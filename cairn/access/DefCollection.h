// The ordered, named lists behind a table's field and index definitions.
//
// Names compare without regard to case, the way the engine compares them: each item keeps its
// name's 8-bit (Windows-1252) form and a hash of that form upper-cased; a lookup compares hashes
// first and only on a match compares the 8-bit names (AnsiSameText). Two names that only differ in
// characters the code page cannot hold would become the same engine name, so they count as equal.
//
// Every change of an item or of the list sends the list a change notice (OnChange). Between
// BeginUpdate and the matching EndUpdate the notices are folded into one, sent when the outermost
// update ends.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cairn/engine/io/ScopeGuard.h"

namespace cairn {

class TComponent;
class TDefCollection;

class TNamedDef {
 public:
  virtual ~TNamedDef();
  TNamedDef(const TNamedDef&) = delete;
  TNamedDef& operator=(const TNamedDef&) = delete;

  const std::string& Name() const { return FName; }
  // Fails with "Duplicate name '%s' in %s" when another item of the list has this name.
  void SetName(const std::string& name);
  // The item's position in its list.
  int Index() const;

 protected:
  explicit TNamedDef(TDefCollection& collection);
  TDefCollection& Collection() const { return *FCollection; }
  void Changed();

 private:
  friend class TDefCollection;

  TDefCollection* FCollection;  // not owned: the list owns the item
  std::string FName;
  std::string FAnsiName;  // FName in the 8-bit code page
  size_t FNameHash;       // hash of FAnsiName upper-cased
};

class TDefCollection {
 public:
  virtual ~TDefCollection();
  TDefCollection(const TDefCollection&) = delete;
  TDefCollection& operator=(const TDefCollection&) = delete;

  // The list's class name, as named in its duplicate-name error.
  virtual const char* ClassName() const = 0;
  // The component that owns the list (a table object), or null.
  TComponent* DataSet() const { return FDataSet; }

  int Count() const { return static_cast<int>(FItems.size()); }
  // Position of the item with this name, -1 when there is none.
  int IndexOf(std::string_view name) const;
  // Removes every item.
  void Clear();

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  void SetOnChange(std::function<void()> onChange) { FOnChange = std::move(onChange); }

  // Asks the owning table object to refresh the list from the stored table; without a refresher
  // nothing happens.
  void Update();
  void SetOnUpdate(std::function<void()> onUpdate) { FOnUpdate = std::move(onUpdate); }

 protected:
  explicit TDefCollection(TComponent* dataSet) : FDataSet(dataSet) {}

  // Raises std::out_of_range for a position outside the list.
  TNamedDef& ItemAt(int index) const { return *FItems.at(static_cast<size_t>(index)); }
  // Checks an insert position (0 to Count); raises std::out_of_range.
  void CheckInsertPos(int pos) const;

  // Places a new item at pos and fills it with build, all inside one update. If build fails,
  // the item leaves the list again, no change notice remains from it, and the failure propagates.
  template <class TItem, class TBuild>
  TItem& BuildItem(int pos, std::unique_ptr<TItem> item, TBuild&& build) {
    CheckInsertPos(pos);
    TItem& ref = *item;
    BeginUpdate();
    bool pending = FChangePending;
    InsertItem(pos, std::move(item));
    TScopeGuard undo([&] {
      RemoveItem(ref);
      FChangePending = pending;
      EndUpdate();
    });
    build(ref);
    undo.Dismiss();
    EndUpdate();
    return ref;
  }

  // Runs change inside one update of the list.
  template <class TChange>
  void InUpdate(TChange&& change) {
    BeginUpdate();
    TScopeGuard end([&] { EndUpdate(); });
    change();
    end.Dismiss();
    EndUpdate();
  }

 private:
  friend class TNamedDef;

  void InsertItem(int pos, std::unique_ptr<TNamedDef> item);
  void RemoveItem(const TNamedDef& item);
  // Position of an item other than except with this 8-bit name and hash, -1 when none.
  int FindName(std::string_view ansiName, size_t hash, const TNamedDef* except) const;
  void Changed();

  TComponent* FDataSet;
  std::vector<std::unique_ptr<TNamedDef>> FItems;
  int FUpdateCount = 0;
  bool FChangePending = false;
  std::function<void()> FOnChange;
  std::function<void()> FOnUpdate;
};

}  // namespace cairn
