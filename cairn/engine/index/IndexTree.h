// The B+-tree of one index definition slot of an index file.
//
// Every level is a list of pages linked left and right; the leaves hold all keys in key order
// with their record numbers, a node holds for each child page the child's first key, its page
// number and (with statistics) the number of keys in its subtree. The root is a type-3 leaf
// while the tree fits in one page, a type-0 node afterwards.
//
// An insertion first walks down from the root, checking each page (type, entries, depth), and
// only then changes anything: the lower key counts on the path, the new leaf entry, first keys
// upwards when the key became the first of its page, and splits up to a new root.
//
// A page that holds only two entries (the largest keys a page size allows) cannot split into two
// halves of two: one half keeps a single entry. Left alone, such single-entry pages pile up
// where the inserts do not reach and every split adds a level (a comb). So an overflowing
// two-entry page first passes one entry to a neighbour on its level that holds a single entry,
// and splits only when no neighbour has room. No two neighbours on a level then both hold one
// entry, each level has at least half as many pages again as the level above, and the depth
// grows with the logarithm of the key count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "cairn/engine/index/IndexFile.h"
#include "cairn/engine/index/KeyComparer.h"

namespace cairn {

class TIndexTree {
 public:
  // Levels below the root, the root being level 1.
  static constexpr int kMaxDepth = 64;
  // Room for the path of any real tree, taken at once rather than grown level by level.
  static constexpr size_t kPathReserve = 8;

  struct TFindResult {
    bool Completed = true;  // false: the table changed under a cache miss; search again
    bool Found = false;
    int32_t RecordNumber = 0;
  };

  // The comparer must have been built from the slot's definition.
  TIndexTree(TIndexFile& file, int pos, const TKeyComparer& comparer);

  // Adds a key of KeySize bytes with its record number, after any equal key: refusing a duplicate
  // in a unique index is the caller's (Find first). False when the table changed under a cache
  // miss: the operation must start again. CAIRN_INVALIDKEY for a key of another size;
  // CAIRN_INDEXCORRUPT for a damaged tree (bad root type, an empty page, a depth over 64, a split
  // that does not fit).
  bool Insert(std::string_view key, int32_t recordNumber);
  // Looks for an entry equal to the key in its first key.size() bytes, changing nothing.
  TFindResult Find(std::string_view key);

 private:
  struct TLevel {
    TPageRef Page;
    int Position = 0;
  };
  class TPathLease;

  // Fills path from the root down to the leaf with the search position on each page; exact, when
  // given, tells whether the leaf holds an entry equal to the key.
  void Descend(const char* key, size_t n, std::vector<TLevel>& path, bool* exact = nullptr);
  // The path of the latest descent into this tree, when the key takes it again: on every page it
  // lies above the last entry, which leads to the next page. False (path untouched) otherwise.
  bool FollowLatestDescent(const char* key, size_t n, std::vector<TLevel>& path);
  void RememberDescent(const std::vector<TLevel>& path);
  void InsertIntoTree(const char* key, int32_t recordNumber);
  void PropagateFirstKey(std::vector<TLevel>& path, const char* key);
  // An overflowing page of two-entry capacity passes an entry to a level neighbour with room;
  // false when neither neighbour has room.
  bool ShiftToNeighbour(std::vector<TLevel>& path, size_t level);
  // The path from the nearest common ancestor down to the left or right neighbour of the page at
  // path[level]: fills other[top + 1 ... level] and returns top, the common ancestor's level.
  size_t NeighbourPath(const std::vector<TLevel>& path, size_t level, bool right,
                       std::vector<TLevel>& other);
  // Moves the upper half of an overflowing page into a new right neighbour.
  TPageRef Split(TPage& page);
  void MoveLastToFront(TPage& from, TPage& to);
  void MoveFirstToEnd(TPage& from, TPage& to);
  void NewRoot(TPage& left, TPage& right);
  [[noreturn]] void Corrupt() const;

  TIndexFile& FFile;
  int FPos;
  const TKeyComparer& FComparer;
  size_t FKeySize;
};

}  // namespace cairn
