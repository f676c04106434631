// Steps through the leaves of one index's B+-tree in key order, in either direction.
//
// A position is a whole key: every key of an index is distinct (a non-unique index ends its keys
// with the RecordID), so the walker finds the neighbour of a key by descending to it again. It
// holds no page between steps, so a step always sees the tree as it is now.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cairn {

class TIndexFile;
class TKeyBuilder;
class TPage;

class TIndexWalker {
 public:
  TIndexWalker(TIndexFile& file, const TKeyBuilder& keys) : FFile(file), FKeys(keys) {}

  // The entry after key (the first entry when key is null) or before it (the last entry when
  // key is null): its key is copied into out (KeySize bytes) and its record number returned;
  // 0 when there is none. CAIRN_INDEXCORRUPT for a damaged tree; ETableChanged when the table
  // changed under a cache miss.
  int32_t Next(const char* key, char* out);
  int32_t Prior(const char* key, char* out);

 private:
  // The leaf holding the search position of key (null: the edge in the given direction), and
  // the position on it (as TPage::Search answers; exact tells an equal entry).
  int32_t DescendToLeaf(const char* key, bool last, int& position, bool& exact);
  int32_t Take(int32_t page, int position, char* out);
  [[noreturn]] void Corrupt() const;

  TIndexFile& FFile;
  const TKeyBuilder& FKeys;
};

}  // namespace cairn
