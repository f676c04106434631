// Steps through the leaves of one index's B+-tree in key order, in either direction.
//
// A position is a whole key: every key of an index is distinct (a non-unique index ends its keys
// with the RecordID), so the walker finds the neighbour of a key by descending to it again. It
// holds no page between steps, so a step always sees the tree as it is now.
//
// A hint spares the descent: the leaf and entry the last step ended on. It is trusted only while
// the index file reports no page as having left or joined a tree since, and only when that entry
// still holds the very key; a leaf of the tree that holds the key is where the descent would end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cairn/engine/index/IndexFile.h"

namespace cairn {

class TKeyBuilder;

// Where the last step of a cursor ended; empty (Leaf 0) until a step ends on an entry.
struct TWalkHint {
  int Pos = -1;             // the index slot
  uint64_t Generation = 0;  // the index file's TreeGeneration then
  int32_t Leaf = 0;
  int Position = 0;
  // The leaf's cached page and the index file's CacheDepartures then: while no page has left
  // the cache, the next step takes the page again without looking it up.
  TPage* Page = nullptr;
  uint64_t Departures = 0;

  void Clear() {
    Leaf = 0;
    Page = nullptr;
  }
};

class TIndexWalker {
 public:
  // hint may be null: every step descends from the root.
  TIndexWalker(TIndexFile& file, const TKeyBuilder& keys, TWalkHint* hint = nullptr)
      : FFile(file), FKeys(keys), FHint(hint) {}

  // The entry after key (the first entry when key is null) or before it (the last entry when
  // key is null): its key is copied into out (KeySize bytes) and its record number returned;
  // 0 when there is none. CAIRN_INDEXCORRUPT for a damaged tree; ETableChanged when the table
  // changed under a cache miss.
  int32_t Next(const char* key, char* out);
  int32_t Prior(const char* key, char* out);
  // Up to most entries after key (forward) or before it, in walk order, leaf by leaf: each
  // entry's record number appended to slots and its key to keys. The hint ends on the last one,
  // as if Next or Prior had stepped there. Returns how many were appended.
  size_t Collect(const char* key, bool forward, size_t most, std::vector<int32_t>& slots,
                 std::vector<char>& keys);

 private:
  // The leaf holding the search position of key (null: the edge in the given direction), and
  // the position on it (as TPage::Search answers; exact tells an equal entry); an empty
  // reference for an empty tree.
  TPageRef DescendToLeaf(const char* key, bool last, int& position, bool& exact);
  // The hinted leaf when its hinted entry holds exactly key, with that position; else empty.
  TPageRef HintedLeaf(const char* key, int& position);
  int32_t Take(const TPageRef& page, int position, char* out);
  [[noreturn]] void Corrupt() const;

  TIndexFile& FFile;
  const TKeyBuilder& FKeys;
  TWalkHint* FHint;
};

}  // namespace cairn
