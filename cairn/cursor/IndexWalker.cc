#include "cairn/cursor/IndexWalker.h"

#include <cstring>

#include "cairn/cursor/KeyBuilder.h"
#include "cairn/engine/index/IndexTree.h"
#include "cairn/engine/index/Page.h"

namespace cairn {

void TIndexWalker::Corrupt() const {
  FFile.RaiseCorruptIndex(FKeys.Pos());
}

TPageRef TIndexWalker::DescendToLeaf(const char* key, bool last, int& position, bool& exact) {
  const int pos = FKeys.Pos();
  int32_t number = FFile.GetRootPageNumber(pos);
  exact = false;
  if (number == 0) return TPageRef();
  for (int depth = 0;; ++depth) {
    if (depth >= TIndexTree::kMaxDepth) Corrupt();
    TPageRef page = FFile.ReadPage(pos, number);
    if ((depth == 0) != page->IsRoot()) Corrupt();
    if (page->NumberOfKeys() == 0) Corrupt();
    if (key == nullptr) {
      position = last ? page->NumberOfKeys() : (page->IsLeaf() ? 0 : 1);
    } else {
      position = page->Search(FKeys.Comparer(), key, FKeys.KeySize(), &exact);
    }
    if (page->IsLeaf()) return page;
    number = page->GetRecordNumber(position);
  }
}

TPageRef TIndexWalker::HintedLeaf(const char* key, int& position) {
  if (FHint == nullptr || key == nullptr || FHint->Leaf == 0) return TPageRef();
  const TWalkHint& hint = *FHint;
  if (hint.Pos != FKeys.Pos() || hint.Generation != FFile.TreeGeneration() ||
      hint.Leaf > FFile.IOBlocksUsed()) {
    return TPageRef();
  }
  TPageRef page = FFile.RereadPage(hint.Pos, hint.Page, hint.Departures);
  if (!page || page->Number() != hint.Leaf) page = FFile.ReadPage(hint.Pos, hint.Leaf);
  if (!page->IsLeaf() || hint.Position < 1 || hint.Position > page->NumberOfKeys() ||
      std::memcmp(page->GetKey(hint.Position), key, FKeys.KeySize()) != 0) {
    return TPageRef();
  }
  position = hint.Position;
  return page;
}

int32_t TIndexWalker::Take(const TPageRef& page, int position, char* out) {
  if (!page->IsLeaf() || position < 1 || position > page->NumberOfKeys()) Corrupt();
  std::memcpy(out, page->GetKey(position), FKeys.KeySize());
  if (FHint != nullptr) {
    *FHint = {FKeys.Pos(), FFile.TreeGeneration(), page->Number(), position,
              page.Get(),  FFile.CacheDepartures()};
  }
  return page->GetRecordNumber(position);
}

int32_t TIndexWalker::Next(const char* key, char* out) {
  int position = 0;
  bool exact = false;
  TPageRef page = HintedLeaf(key, position);
  if (!page) page = DescendToLeaf(key, false, position, exact);
  // Search answers the equal entry or the last smaller one: the next is one further on, on
  // this leaf or the first of a leaf to the right (empty leaves never exist).
  for (int hops = 0; page; ++hops) {
    if (!page->IsLeaf() || hops > 1) Corrupt();
    if (position + 1 <= page->NumberOfKeys()) return Take(page, position + 1, out);
    const int32_t right = page->RightNumber();
    if (right == 0) break;
    page = FFile.ReadPage(FKeys.Pos(), right);
    position = 0;
  }
  return 0;
}

int32_t TIndexWalker::Prior(const char* key, char* out) {
  int position = 0;
  bool exact = true;
  TPageRef page = HintedLeaf(key, position);
  if (!page) page = DescendToLeaf(key, true, position, exact);
  if (!page) return 0;
  // The equal entry's predecessor, or the last smaller entry itself.
  if (key != nullptr && exact) --position;
  if (position >= 1) return Take(page, position, out);
  const int32_t left = page->LeftNumber();
  if (left == 0) return 0;
  page = FFile.ReadPage(FKeys.Pos(), left);
  if (!page->IsLeaf() || page->NumberOfKeys() == 0) Corrupt();
  return Take(page, page->NumberOfKeys(), out);
}

size_t TIndexWalker::Collect(const char* key, bool forward, size_t most,
                             std::vector<int32_t>& slots, std::vector<char>& keys) {
  int position = 0;
  bool exact = true;
  TPageRef page = HintedLeaf(key, position);
  if (!page) page = DescendToLeaf(key, !forward, position, exact);
  if (!page) return 0;
  // Where Next and Prior take their first entry from.
  if (forward) {
    ++position;
  } else if (key != nullptr && exact) {
    --position;
  }
  const size_t keySize = FKeys.KeySize();
  size_t taken = 0;
  // A leaf this walk read into the cache is dropped once the walk has gone past it: a batch comes
  // by each leaf once, and a large cache would otherwise fill with every leaf of the walk. The
  // last leaf stays, for the hint.
  bool broughtIn = false;
  while (true) {
    if (!page->IsLeaf()) Corrupt();
    const int count = page->NumberOfKeys();
    for (; position >= 1 && position <= count && taken < most; position += forward ? 1 : -1) {
      const char* entry = page->GetKey(position);
      keys.insert(keys.end(), entry, entry + keySize);
      slots.push_back(page->GetRecordNumber(position));
      ++taken;
    }
    if (taken == most) break;
    const int32_t neighbour = forward ? page->RightNumber() : page->LeftNumber();
    if (neighbour == 0) break;
    const bool miss = FFile.FindBuffer(neighbour) == nullptr;
    TPageRef next = FFile.ReadPage(FKeys.Pos(), neighbour);
    // Empty leaves never exist; every leaf visited adds an entry, so a damaged chain that runs
    // in a circle still ends at most.
    if (!next->IsLeaf() || next->NumberOfKeys() == 0) Corrupt();
    const int32_t passed = page->Number();
    page = std::move(next);
    if (broughtIn) FFile.DropIfFree(passed);
    broughtIn = miss;
    position = forward ? 1 : page->NumberOfKeys();
  }
  if (taken > 0 && FHint != nullptr) {
    const int last = position - (forward ? 1 : -1);
    *FHint = {FKeys.Pos(), FFile.TreeGeneration(), page->Number(), last,
              page.Get(),  FFile.CacheDepartures()};
  }
  return taken;
}

}  // namespace cairn
