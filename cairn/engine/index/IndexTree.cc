#include "cairn/engine/index/IndexTree.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

// Lends an operation the thread's spare path, so that an insertion allocates no path of its own,
// and takes it back emptied (its pages released) when the operation ends.
class TIndexTree::TPathLease {
 public:
  explicit TPathLease(std::vector<TLevel>& path) : FPath(path) {
    FPath.swap(Spare());
    FPath.clear();
    FPath.reserve(kPathReserve);
  }
  ~TPathLease() {
    FPath.clear();
    FPath.swap(Spare());
  }
  TPathLease(const TPathLease&) = delete;
  TPathLease& operator=(const TPathLease&) = delete;

 private:
  static std::vector<TLevel>& Spare() {
    static thread_local std::vector<TLevel> spare;
    return spare;
  }

  std::vector<TLevel>& FPath;
};

TIndexTree::TIndexTree(TIndexFile& file, int pos, const TKeyComparer& comparer)
    : FFile(file), FPos(pos), FComparer(comparer), FKeySize(file.GetIndexDefinition(pos).KeySize) {
  if (comparer.KeySize() != FKeySize) {
    throw std::invalid_argument("the comparer belongs to another index");
  }
}

void TIndexTree::Corrupt() const {
  FFile.RaiseCorruptIndex(FPos);
}

bool TIndexTree::Insert(std::string_view key, int32_t recordNumber) {
  if (key.size() != FKeySize) {
    FFile.RaiseIndexError(CAIRN_INVALIDKEY, FFile.GetIndexDefinition(FPos).IndexName);
  }
  try {
    InsertIntoTree(key.data(), recordNumber);
    return true;
  } catch (const ETableChanged&) {
    return false;
  }
}

TIndexTree::TFindResult TIndexTree::Find(std::string_view key) {
  TFindResult result;
  try {
    if (FFile.GetRootPageNumber(FPos) == 0) return result;
    std::vector<TLevel> path;
    TPathLease lease(path);
    const size_t n = std::min(key.size(), FKeySize);
    bool exact = false;
    Descend(key.data(), n, path, &exact);
    TLevel& leaf = path.back();
    if (exact) {
      result.Found = true;
      result.RecordNumber = leaf.Page->GetRecordNumber(leaf.Position);
    }
  } catch (const ETableChanged&) {
    result.Completed = false;
  }
  return result;
}

// Nothing changes on the way down, so a damaged page found here leaves the tree as it was.
void TIndexTree::Descend(const char* key, size_t n, std::vector<TLevel>& path, bool* exact) {
  if (FollowLatestDescent(key, n, path)) {
    if (exact) *exact = false;
  } else {
    TPageRef page = FFile.ReadPage(FPos, FFile.GetRootPageNumber(FPos));
    if (!page->IsRoot()) Corrupt();
    for (;;) {
      if (page->NumberOfKeys() == 0) Corrupt();
      const bool leaf = page->IsLeaf();
      const int position = page->Search(FComparer, key, n, leaf ? exact : nullptr);
      const int32_t child = leaf ? 0 : page->GetRecordNumber(position);
      path.push_back({std::move(page), position});
      if (leaf) break;
      if (static_cast<int>(path.size()) >= kMaxDepth) Corrupt();
      page = FFile.ReadPage(FPos, child);
      if (page->PageType() != pg::kNode && page->PageType() != pg::kLeaf) Corrupt();
    }
  }
  RememberDescent(path);
}

// A search finds the last entry of a page exactly when the key lies above it: an equal key could
// be found among equal entries before it. The pages are checked before any is held, so a path
// that does not fit leaves the cache untouched.
bool TIndexTree::FollowLatestDescent(const char* key, size_t n, std::vector<TLevel>& path) {
  const TIndexFile::TDescentPath& latest = FFile.LatestDescent(FPos);
  const uint64_t departures = FFile.CacheDepartures();
  if (latest.Depth == 0 || latest.Departures != departures ||
      latest.TreeGeneration != FFile.TreeGeneration()) {
    return false;
  }
  int32_t number = FFile.GetRootPageNumber(FPos);
  for (size_t d = 0; d < latest.Depth; ++d) {
    const TPage& page = *latest.Pages[d];
    const bool leaf = d + 1 == latest.Depth;
    const uint8_t type =
        d == 0 ? (leaf ? pg::kRootLeaf : pg::kRootNode) : (leaf ? pg::kLeaf : pg::kNode);
    if (page.Number() != number || page.Compacted() || !page.Expanded() ||
        page.PageType() != type || page.NumberOfKeys() == 0) {
      return false;
    }
    const int last = page.NumberOfKeys();
    if (FComparer.Compare(page.GetKey(last), key, n) >= 0) return false;
    if (!leaf) number = page.GetRecordNumber(last);
  }
  for (size_t d = 0; d < latest.Depth; ++d) {
    TPageRef page = FFile.RereadPage(FPos, latest.Pages[d], departures);
    if (!page) {
      path.clear();
      return false;
    }
    const int last = page->NumberOfKeys();
    path.push_back({std::move(page), last});
  }
  // What the look-ups would have done after each page handed out, done once.
  FFile.KeepToByteBudget();
  return true;
}

void TIndexTree::RememberDescent(const std::vector<TLevel>& path) {
  TIndexFile::TDescentPath& latest = FFile.LatestDescent(FPos);
  latest.Depth = 0;
  if (path.size() > latest.Pages.size()) return;
  for (size_t d = 0; d < path.size(); ++d) latest.Pages[d] = path[d].Page.Get();
  latest.Departures = FFile.CacheDepartures();
  latest.TreeGeneration = FFile.TreeGeneration();
  latest.Depth = path.size();
}

void TIndexTree::InsertIntoTree(const char* key, int32_t recordNumber) {
  if (FFile.GetRootPageNumber(FPos) == 0) {
    TPageRef root = FFile.AllocatePage(FPos);
    root->SetPageType(pg::kRootLeaf);
    int position = 0;
    root->InsertKey(key, position, recordNumber, 1);
    FFile.SetRootPageNumber(FPos, root->Number());
    return;
  }
  std::vector<TLevel> path;
  TPathLease lease(path);
  Descend(key, FKeySize, path);
  for (size_t level = 0; level + 1 < path.size(); ++level) {
    path[level].Page->IncLowerKeyCount(path[level].Position);
  }
  TLevel& leaf = path.back();
  int position = leaf.Position;
  leaf.Page->InsertKey(key, position, recordNumber, 1);
  if (position == 1) PropagateFirstKey(path, key);

  // Split upwards while a page overflows.
  for (size_t level = path.size() - 1;; --level) {
    TPage& page = *path[level].Page;
    if (!page.PageDataOverflowed()) return;
    const bool wasRoot = page.IsRoot();
    if (!wasRoot && ShiftToNeighbour(path, level)) return;
    TPageRef right = Split(page);
    if (wasRoot) {
      NewRoot(page, *right);
      return;
    }
    TLevel& parent = path[level - 1];
    const int entry = std::max(parent.Position, 1);
    parent.Page->SetLowerKeyCount(entry, static_cast<int32_t>(page.TotalKeyCount()));
    int after = entry;
    parent.Page->InsertKey(right->GetKey(1), after, right->Number(),
                           static_cast<int32_t>(right->TotalKeyCount()));
  }
}

// A node entry carries its child's first key: a key that became first of its page replaces the
// parent's entry, and so on upwards while the changed entry is the first of its page.
void TIndexTree::PropagateFirstKey(std::vector<TLevel>& path, const char* key) {
  for (size_t level = path.size() - 1; level > 0; --level) {
    TLevel& parent = path[level - 1];
    const int entry = std::max(parent.Position, 1);
    parent.Page->UpdateKey(key, entry);
    if (entry != 1) return;
  }
}

namespace {

void AddLowerKeyCount(TPage& page, int entry, int32_t delta) {
  page.SetLowerKeyCount(entry, page.GetLowerKeyCount(entry) + delta);
}

}  // namespace

// Pages of larger capacity split as they always have: their halves hold at least two entries.
bool TIndexTree::ShiftToNeighbour(std::vector<TLevel>& path, size_t level) {
  TPage& page = *path[level].Page;
  if (page.IsCompressedLeaf() || page.MaximumEntries() > 2) return false;
  for (const bool right : {false, true}) {
    if ((right ? page.RightNumber() : page.LeftNumber()) == 0) continue;
    std::vector<TLevel> other(level + 1);
    const size_t top = NeighbourPath(path, level, right, other);
    TPage& neighbour = *other[level].Page;
    if (neighbour.NumberOfKeys() >= neighbour.MaximumEntries()) continue;

    // The moved entry's keys leave the page's ancestors for the neighbour's below the common
    // ancestor, where they pass from one entry to the next.
    const int last = page.NumberOfKeys();
    const int32_t moved = page.GetLowerKeyCount(right ? last : 1);
    if (right) {
      MoveLastToFront(page, neighbour);
    } else {
      MoveFirstToEnd(page, neighbour);
    }
    for (size_t d = top + 1; d < level; ++d) {
      AddLowerKeyCount(*path[d].Page, path[d].Position, -moved);
      AddLowerKeyCount(*other[d].Page, other[d].Position, moved);
    }
    TLevel& common = path[top];
    AddLowerKeyCount(*common.Page, common.Position, -moved);
    AddLowerKeyCount(*common.Page, common.Position + (right ? 1 : -1), moved);

    // The page whose first entry changed carries its new first key up to the common ancestor;
    // below it, that page is the first child of each parent.
    const std::string first(right ? neighbour.GetKey(1) : page.GetKey(1), FKeySize);
    for (size_t d = level - 1; d > top; --d) {
      TLevel& up = right ? other[d] : path[d];
      up.Page->UpdateKey(first.data(), up.Position);
    }
    common.Page->UpdateKey(first.data(), common.Position + (right ? 1 : 0));
    return true;
  }
  return false;
}

// Up to the first ancestor where the path does not run along the level's edge, then down its
// next entry and along the near edge. The links of the level must agree with the tree.
size_t TIndexTree::NeighbourPath(const std::vector<TLevel>& path, size_t level, bool right,
                                 std::vector<TLevel>& other) {
  size_t top = level;
  do {
    if (top == 0) Corrupt();  // a neighbour link at the edge of the tree
    --top;
  } while (right ? path[top].Position >= path[top].Page->NumberOfKeys() : path[top].Position <= 1);
  int32_t child = path[top].Page->GetRecordNumber(path[top].Position + (right ? 1 : -1));
  for (size_t d = top + 1; d <= level; ++d) {
    TPageRef next = FFile.ReadPage(FPos, child);
    if (next->PageType() != path[d].Page->PageType() || next->NumberOfKeys() == 0 ||
        next->Number() == path[d].Page->Number()) {
      Corrupt();
    }
    const int position = right ? 1 : next->NumberOfKeys();
    if (d < level) child = next->GetRecordNumber(position);
    other[d] = {std::move(next), position};
  }
  const TPage& page = *path[level].Page;
  const TPage& neighbour = *other[level].Page;
  if (neighbour.Number() != (right ? page.RightNumber() : page.LeftNumber()) ||
      (right ? neighbour.LeftNumber() : neighbour.RightNumber()) != page.Number()) {
    Corrupt();
  }
  return top;
}

TPageRef TIndexTree::Split(TPage& page) {
  const bool leaf = page.IsLeaf();
  const int count = page.NumberOfKeys();
  const int keep = count - count / 2;
  TPageRef right = FFile.AllocatePage(FPos);
  const uint8_t type = leaf ? pg::kLeaf : pg::kNode;
  right->SetPageType(type);
  page.SetPageType(type);
  right->AppendEntries(page, keep + 1, count);
  page.TruncateEntries(keep);

  const int32_t oldRight = page.RightNumber();
  if (oldRight == page.Number() || oldRight == right->Number()) Corrupt();
  if (oldRight != 0) {
    TPageRef neighbour = FFile.ReadPage(FPos, oldRight);
    neighbour->SetLeftNumber(right->Number());
  }
  right->SetLeftNumber(page.Number());
  right->SetRightNumber(oldRight);
  page.SetRightNumber(right->Number());

  // A split by count may leave a compressed half too large: move entries across the boundary.
  if (page.IsCompressedLeaf()) {
    const int32_t area = page.AreaSize();
    if (page.StoredSize() > area) {
      while (page.StoredSize() > area && page.NumberOfKeys() > 1) MoveLastToFront(page, *right);
    } else {
      while (right->StoredSize() > area && right->NumberOfKeys() > 1) MoveFirstToEnd(*right, page);
    }
  }
  if (page.PageDataOverflowed() || right->PageDataOverflowed()) Corrupt();
  return right;
}

void TIndexTree::MoveLastToFront(TPage& from, TPage& to) {
  int last = from.NumberOfKeys();
  const std::string key(from.GetKey(last), FKeySize);
  const int32_t number = from.GetRecordNumber(last);
  const int32_t lower = from.GetLowerKeyCount(last);
  from.DeleteKey(last);
  int front = 0;
  to.InsertKey(key.data(), front, number, lower);
}

void TIndexTree::MoveFirstToEnd(TPage& from, TPage& to) {
  int first = 1;
  const std::string key(from.GetKey(first), FKeySize);
  const int32_t number = from.GetRecordNumber(first);
  const int32_t lower = from.GetLowerKeyCount(first);
  from.DeleteKey(first);
  int end = to.NumberOfKeys();
  to.InsertKey(key.data(), end, number, lower);
}

// The split page was the root: a new root node holds the two halves.
void TIndexTree::NewRoot(TPage& left, TPage& right) {
  TPageRef root = FFile.AllocatePage(FPos);
  root->SetPageType(pg::kRootNode);
  int position = 0;
  root->InsertKey(left.GetKey(1), position, left.Number(),
                  static_cast<int32_t>(left.TotalKeyCount()));
  root->InsertKey(right.GetKey(1), position, right.Number(),
                  static_cast<int32_t>(right.TotalKeyCount()));
  FFile.SetRootPageNumber(FPos, root->Number());
}

}  // namespace cairn
