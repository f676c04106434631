#include "cairn/cursor/IndexWalker.h"

#include <cstring>

#include "cairn/cursor/KeyBuilder.h"
#include "cairn/engine/index/IndexFile.h"
#include "cairn/engine/index/IndexTree.h"
#include "cairn/engine/index/Page.h"

namespace cairn {

void TIndexWalker::Corrupt() const {
  FFile.RaiseCorruptIndex(FKeys.Pos());
}

int32_t TIndexWalker::DescendToLeaf(const char* key, bool last, int& position, bool& exact) {
  const int pos = FKeys.Pos();
  int32_t number = FFile.GetRootPageNumber(pos);
  exact = false;
  if (number == 0) return 0;
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
    if (page->IsLeaf()) return number;
    number = page->GetRecordNumber(position);
  }
}

int32_t TIndexWalker::Take(int32_t number, int position, char* out) {
  TPageRef page = FFile.ReadPage(FKeys.Pos(), number);
  if (!page->IsLeaf() || position < 1 || position > page->NumberOfKeys()) Corrupt();
  std::memcpy(out, page->GetKey(position), FKeys.KeySize());
  return page->GetRecordNumber(position);
}

int32_t TIndexWalker::Next(const char* key, char* out) {
  int position = 0;
  bool exact = false;
  int32_t number = DescendToLeaf(key, false, position, exact);
  // Search answers the equal entry or the last smaller one: the next is one further on, on
  // this leaf or the first of a leaf to the right (empty leaves never exist).
  for (int hops = 0; number != 0; ++hops) {
    TPageRef page = FFile.ReadPage(FKeys.Pos(), number);
    if (!page->IsLeaf() || hops > 1) Corrupt();
    if (position + 1 <= page->NumberOfKeys()) return Take(number, position + 1, out);
    number = page->RightNumber();
    position = 0;
  }
  return 0;
}

int32_t TIndexWalker::Prior(const char* key, char* out) {
  int position = 0;
  bool exact = false;
  int32_t number = DescendToLeaf(key, true, position, exact);
  if (number == 0) return 0;
  // The equal entry's predecessor, or the last smaller entry itself.
  if (key != nullptr && exact) --position;
  if (position >= 1) return Take(number, position, out);
  TPageRef page = FFile.ReadPage(FKeys.Pos(), number);
  const int32_t left = page->LeftNumber();
  if (left == 0) return 0;
  TPageRef previous = FFile.ReadPage(FKeys.Pos(), left);
  if (!previous->IsLeaf() || previous->NumberOfKeys() == 0) Corrupt();
  return Take(left, previous->NumberOfKeys(), out);
}

}  // namespace cairn
