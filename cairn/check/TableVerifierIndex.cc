// The verifier's index-file checks: the header, every tree against the live records, the free
// and text-parameter page chains, and pages nobody uses.
#include <algorithm>
#include <cstring>

#include "cairn/check/TableVerifier.h"
#include "cairn/engine/index/IndexTree.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {
namespace {

constexpr uint8_t kOwnerFree = 100;
constexpr uint8_t kOwnerText = 101;

std::string PageName(int32_t page) {
  return "page " + std::to_string(page);
}

}  // namespace

int64_t TTableVerifier::PageOffset(int32_t page) const {
  return kIndexFileHeaderSize + static_cast<int64_t>(page - 1) * FFiles.Index().PageSize();
}

std::string TTableVerifier::IndexName(int pos) const {
  if (pos == idx::kPrimarySlot) return "the primary index";
  return "index " + FFiles.Index().GetIndexDefinition(pos).IndexName;
}

bool TTableVerifier::CheckIndexHeader() {
  if (!FFiles.OpenIndex()) {
    const ECairnEngineError& error = *FFiles.IndexError();
    if (error.ErrorCode() == CAIRN_OSENOENT) {
      Report(TFileKind::Index, 0, "missing", "the index file is missing");
    } else {
      ReportError(TFileKind::Index, 0, "the index file cannot be opened", error);
    }
    return false;
  }
  TIndexFile& index = FFiles.Index();
  const TIndexHeader& header = index.GetHeader();
  const int64_t size = index.GetSize();
  const int64_t pageSize = index.PageSize();
  bool sound = true;
  if (size < kIndexFileHeaderSize) {
    Report(TFileKind::Index, size, "cut",
           "the file is " + std::to_string(size) + " bytes long, shorter than its header and " +
               "index definitions (" + std::to_string(kIndexFileHeaderSize) + " bytes)");
    return false;
  }
  const int64_t whole = (size - kIndexFileHeaderSize) / pageSize;
  if ((size - kIndexFileHeaderSize) % pageSize != 0) {
    sound = false;
    Report(TFileKind::Index, kIndexFileHeaderSize + whole * pageSize, "partial page",
           "the file ends " + std::to_string((size - kIndexFileHeaderSize) % pageSize) +
               " bytes into page " + std::to_string(whole + 1) + " (a cut or unfinished write)");
  }
  if (header.NextEndingPage - 1 != whole) {
    sound = false;
    Report(TFileKind::Index, 29, "page count",
           "the header counts " + std::to_string(header.NextEndingPage - 1) +
               " pages (NextEndingPage " + std::to_string(header.NextEndingPage) +
               "), the file holds " + std::to_string(whole));
  }
  FPages = static_cast<int32_t>(std::min<int64_t>(header.NextEndingPage - 1, whole));
  FPageOwner.assign(static_cast<size_t>(std::max(FPages, 0)) + 1, 0);
  try {
    index.CheckHeader();
  } catch (const ECairnEngineError& error) {
    if (sound)
      ReportError(TFileKind::Index, 0, "the header or index definitions fail the check", error);
    // Definitions that fail the check cannot be trusted to build keys.
    if (error.ErrorCode() == CAIRN_HEADERCORRUPT && sound) return false;
  }
  return true;
}

void TTableVerifier::LoadKeyBuilders() {
  TIndexFile& index = FFiles.Index();
  const int count = index.IndexCount() + 1;
  FKeys.assign(static_cast<size_t>(count), TKeyBuilder());
  FKeysLoaded.assign(static_cast<size_t>(count), false);
  const int32_t locale = FFiles.Data().GetHeader().LocaleID;
  for (int pos = 0; pos < count; ++pos) {
    try {
      FKeys[static_cast<size_t>(pos)].Load(FFiles.Engine(), pos, index.GetIndexDefinition(pos),
                                           FFields, static_cast<uint32_t>(locale));
      FKeysLoaded[static_cast<size_t>(pos)] = true;
    } catch (const ECairnEngineError& error) {
      ReportError(TFileKind::Index, 512 + 768 * pos,
                  "the keys of " + IndexName(pos) + " cannot be built", error);
    }
  }
}

void TTableVerifier::CheckTrees() {
  for (size_t pos = 0; pos < FKeys.size(); ++pos) {
    if (FKeysLoaded[pos]) {
      CheckTree(static_cast<int>(pos));
    } else {
      FAllTreesWalked = false;
    }
  }
}

void TTableVerifier::CheckTree(int pos) {
  TTreeWalk walk;
  walk.Pos = pos;
  walk.Keys = &FKeys[static_cast<size_t>(pos)];
  walk.Name = IndexName(pos);
  const int32_t root = FFiles.Index().GetRootPageNumber(pos);
  if (root != 0) {
    std::string firstKey;
    const int64_t total = VisitPage(walk, root, 1, 34 + 4 * pos, firstKey);
    if (total < 0) {
      FAllTreesWalked = false;
      return;  // the damage is reported; comparing keys would only repeat it
    }
  }
  CheckLevelLinks(walk);
  CheckLeafOrder(walk);
  MatchRecords(walk);
  if (walk.Keys->Unique()) CheckUniqueKeys(walk);
}

int64_t TTableVerifier::VisitPage(TTreeWalk& walk, int32_t number, int depth, int64_t linkOffset,
                                  std::string& firstKey) {
  const std::string& name = walk.Name;
  if (depth > TIndexTree::kMaxDepth) {
    Report(TFileKind::Index, linkOffset, "depth",
           name + " is deeper than " + std::to_string(TIndexTree::kMaxDepth) + " levels");
    return -1;
  }
  if (number < 1 || number > FPages) {
    Report(TFileKind::Index, linkOffset, "link",
           name + " links to " + PageName(number) + ", outside the file's " +
               std::to_string(FPages) + " pages");
    return -1;
  }
  uint8_t& owner = FPageOwner[static_cast<size_t>(number)];
  if (owner != 0) {
    Report(TFileKind::Index, linkOffset, "page twice",
           name + " reaches " + PageName(number) + " a second time (a loop or a shared page)");
    return -1;
  }
  owner = static_cast<uint8_t>(1 + walk.Pos);
  const int64_t offset = PageOffset(number);
  const size_t keySize = walk.Keys->KeySize();
  uint8_t type = 0;
  int count = 0;
  bool noStatistics = false;
  struct TNodeEntry {
    std::string Key;
    int32_t Child;
    int32_t Count;
  };
  std::vector<TNodeEntry> entries;
  try {
    TPageRef page = FFiles.Index().ReadPage(walk.Pos, number);
    type = page->PageType();
    count = page->NumberOfKeys();
    noStatistics = page->NoKeyStatistics();
    if (walk.Levels.size() < static_cast<size_t>(depth)) walk.Levels.resize(depth);
    walk.Levels[depth - 1].push_back({number, page->LeftNumber(), page->RightNumber()});
    for (int i = 1; i <= count; ++i) {
      std::string key(page->GetKey(i), keySize);
      if (page->IsLeaf()) {
        walk.Leaves.push_back({std::move(key), page->GetRecordNumber(i), number});
      } else {
        entries.push_back({std::move(key), page->GetRecordNumber(i), page->GetLowerKeyCount(i)});
      }
    }
    if (count > 0) firstKey.assign(page->GetKey(1), keySize);
  } catch (const ECairnEngineError& error) {
    ReportError(TFileKind::Index, offset, PageName(number) + " cannot be read as a page of " + name,
                error);
    return -1;
  }
  const bool root = depth == 1;
  const bool typeFits = root ? (type == pg::kRootNode || type == pg::kRootLeaf)
                             : (type == pg::kNode || type == pg::kLeaf);
  if (!typeFits) {
    Report(TFileKind::Index, offset, "page type",
           PageName(number) + " of " + name + " has type " + std::to_string(type) + ", not a " +
               (root ? "root" : "page below the root"));
  }
  if (count == 0) {
    Report(TFileKind::Index, offset, "empty page",
           PageName(number) + " of " + name + " holds no entries");
    return 0;
  }
  if (TPage::IsLeafType(type)) {
    if (walk.LeafDepth < 0) walk.LeafDepth = depth;
    if (walk.LeafDepth != depth) {
      Report(TFileKind::Index, offset, "leaf depth",
             "leaf " + PageName(number) + " of " + name + " lies on level " +
                 std::to_string(depth) + ", other leaves on level " +
                 std::to_string(walk.LeafDepth));
    }
    return count;
  }
  const TKeyBuilder& keys = *walk.Keys;
  int64_t total = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const TNodeEntry& entry = entries[i];
    const int64_t entryOffset =
        offset + 13 +
        static_cast<int64_t>(i) * static_cast<int64_t>(keySize + (noStatistics ? 4 : 8));
    if (i > 0 && keys.Compare(entries[i - 1].Key.data(), entry.Key.data(), keySize) >= 0) {
      Report(TFileKind::Index, entryOffset, "order",
             PageName(number) + " of " + name + ": entry " + std::to_string(i + 1) +
                 " is not above the entry before it");
    }
    std::string childFirst;
    const int64_t below =
        VisitPage(walk, entry.Child, depth + 1, entryOffset + keySize, childFirst);
    if (below < 0) return -1;
    if (below > 0 && childFirst != entry.Key) {
      Report(TFileKind::Index, entryOffset, "node key",
             PageName(number) + " of " + name + ": entry " + std::to_string(i + 1) +
                 " does not carry the first key of its child " + PageName(entry.Child));
    }
    if (!noStatistics && entry.Count != below) {
      Report(TFileKind::Index, entryOffset + keySize + 4, "key count",
             PageName(number) + " of " + name + ": entry " + std::to_string(i + 1) + " counts " +
                 std::to_string(entry.Count) + " keys below it, its subtree holds " +
                 std::to_string(below));
    }
    total += below;
  }
  return total;
}

// Every level is a list linked both ways, in the order the parents list its pages.
void TTableVerifier::CheckLevelLinks(const TTreeWalk& walk) {
  for (size_t d = 0; d < walk.Levels.size(); ++d) {
    const std::vector<TLevelPage>& level = walk.Levels[d];
    for (size_t i = 0; i < level.size(); ++i) {
      const int32_t left = i == 0 ? 0 : level[i - 1].Page;
      const int32_t right = i + 1 == level.size() ? 0 : level[i + 1].Page;
      const int64_t offset = PageOffset(level[i].Page);
      if (level[i].Left != left) {
        Report(TFileKind::Index, offset + 3, "level link",
               PageName(level[i].Page) + " of " + walk.Name + " names " + PageName(level[i].Left) +
                   " as its left neighbour, the level has " + PageName(left));
      }
      if (level[i].Right != right) {
        Report(TFileKind::Index, offset + 7, "level link",
               PageName(level[i].Page) + " of " + walk.Name + " names " + PageName(level[i].Right) +
                   " as its right neighbour, the level has " + PageName(right));
      }
    }
  }
}

void TTableVerifier::CheckLeafOrder(const TTreeWalk& walk) {
  const TKeyBuilder& keys = *walk.Keys;
  for (size_t i = 1; i < walk.Leaves.size(); ++i) {
    const int order =
        keys.Compare(walk.Leaves[i - 1].Key.data(), walk.Leaves[i].Key.data(), keys.KeySize());
    if (order < 0) continue;
    Report(TFileKind::Index, PageOffset(walk.Leaves[i].Page), "order",
           walk.Name + ": the key of record slot " + std::to_string(walk.Leaves[i].Record) +
               " in " + PageName(walk.Leaves[i].Page) +
               (order == 0 ? " repeats the key before it" : " sorts before the key before it"));
  }
}

// The leaves must list each live record once, with the key its record builds today.
void TTableVerifier::MatchRecords(const TTreeWalk& walk) {
  const std::vector<std::string>& expected = FExpected[static_cast<size_t>(walk.Pos)];
  std::vector<bool> matched(FLiveSlots.size(), false);
  for (const TLeafEntry& leaf : walk.Leaves) {
    const auto it = std::lower_bound(FLiveSlots.begin(), FLiveSlots.end(), leaf.Record);
    const int64_t offset = PageOffset(leaf.Page);
    if (it == FLiveSlots.end() || *it != leaf.Record) {
      Report(TFileKind::Index, offset, "stale key",
             walk.Name + " holds a key for slot " + std::to_string(leaf.Record) + " in " +
                 PageName(leaf.Page) + ", which holds no live record");
      continue;
    }
    const size_t at = static_cast<size_t>(it - FLiveSlots.begin());
    if (matched[at]) {
      Report(TFileKind::Index, offset, "key twice",
             walk.Name + " lists the record in slot " + std::to_string(leaf.Record) +
                 " more than once");
      continue;
    }
    matched[at] = true;
    if (expected[at] != leaf.Key) {
      Report(TFileKind::Index, offset, "stale key",
             walk.Name + " holds a stale key for the record in slot " +
                 std::to_string(leaf.Record) + " (" + PageName(leaf.Page) +
                 "): it is not the key the record builds");
    }
  }
  for (size_t at = 0; at < matched.size(); ++at) {
    if (matched[at]) continue;
    Report(TFileKind::Data, SlotOffset(FLiveSlots[at]), "missing key",
           "the record in slot " + std::to_string(FLiveSlots[at]) + " (RecordID " +
               std::to_string(FLiveRecordIDs[at]) + ") has no key in " + walk.Name);
  }
}

// Two live records with the same key cannot both belong to a unique index.
void TTableVerifier::CheckUniqueKeys(const TTreeWalk& walk) {
  const TKeyBuilder& keys = *walk.Keys;
  const std::vector<std::string>& expected = FExpected[static_cast<size_t>(walk.Pos)];
  std::vector<size_t> order(expected.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return keys.Compare(expected[a].data(), expected[b].data(), keys.KeySize()) < 0;
  });
  for (size_t i = 1; i < order.size(); ++i) {
    const std::string& a = expected[order[i - 1]];
    const std::string& b = expected[order[i]];
    if (keys.Compare(a.data(), b.data(), keys.KeySize()) != 0) continue;
    Report(TFileKind::Data, SlotOffset(FLiveSlots[order[i]]), "duplicate key",
           "the records in slots " + std::to_string(FLiveSlots[order[i - 1]]) + " and " +
               std::to_string(FLiveSlots[order[i]]) + " have the same key in unique " + walk.Name);
  }
}

// Free pages hang from the header's NextFreePage through their right links; a head equal to
// NextEndingPage stands for an empty chain.
void TTableVerifier::CheckFreePages() {
  TIndexFile& index = FFiles.Index();
  const int32_t ending = index.GetHeader().NextEndingPage;
  int64_t linkOffset = 25;
  int32_t number = index.GetNextFreePageNumber();
  while (number != 0 && number != ending) {
    if (number < 1 || number > FPages) {
      Report(TFileKind::Index, linkOffset, "free chain",
             "the free-page chain links to " + PageName(number) + ", outside the file's " +
                 std::to_string(FPages) + " pages");
      return;
    }
    uint8_t& owner = FPageOwner[static_cast<size_t>(number)];
    if (owner != 0) {
      Report(TFileKind::Index, linkOffset, "free chain",
             "the free-page chain reaches " + PageName(number) + ", which " +
                 (owner == kOwnerFree ? std::string("it passed before (a loop)") : "is in use"));
      return;
    }
    owner = kOwnerFree;
    try {
      TPageRef page = index.ReadRawPage(number);
      if (page->NumberOfKeys() != 0) {
        Report(TFileKind::Index, PageOffset(number) + 1, "free chain",
               "free " + PageName(number) + " holds " + std::to_string(page->NumberOfKeys()) +
                   " entries");
      }
      linkOffset = PageOffset(number) + 7;
      number = page->RightNumber();
    } catch (const ECairnEngineError& error) {
      ReportError(TFileKind::Index, PageOffset(number), "a free page cannot be read", error);
      return;
    }
  }
}

void TTableVerifier::CheckTextPages() {
  TIndexFile& index = FFiles.Index();
  int64_t linkOffset = 162 + 4 * idx::kTextSlot;
  for (int32_t number = index.GetDataRootPageNumber(idx::kTextSlot); number != 0;) {
    if (number < 1 || number > FPages) {
      Report(TFileKind::Index, linkOffset, "text chain",
             "the text-parameter chain links to " + PageName(number) + ", outside the file's " +
                 std::to_string(FPages) + " pages");
      return;
    }
    uint8_t& owner = FPageOwner[static_cast<size_t>(number)];
    if (owner != 0) {
      Report(TFileKind::Index, linkOffset, "text chain",
             "the text-parameter chain reaches " + PageName(number) +
                 ", which is already in use or passed before");
      return;
    }
    owner = kOwnerText;
    try {
      TPageRef page = index.ReadRawPage(number);
      if (page->PageType() != pg::kTextParams) {
        Report(TFileKind::Index, PageOffset(number), "text chain",
               "the text-parameter chain reaches " + PageName(number) + " of type " +
                   std::to_string(page->PageType()));
        return;
      }
      linkOffset = PageOffset(number) + 7;
      number = page->RightNumber();
    } catch (const ECairnEngineError& error) {
      ReportError(TFileKind::Index, PageOffset(number), "a text-parameter page cannot be read",
                  error);
      return;
    }
  }
  try {
    index.ReadTextIndexParams();
  } catch (const ECairnEngineError& error) {
    ReportError(TFileKind::Index, linkOffset, "the text-index parameters cannot be read", error);
  }
}

// A page that no tree, chain or free list holds is lost space.
void TTableVerifier::CheckLostPages() {
  if (!FAllTreesWalked) return;
  int32_t lost = 0;
  int32_t first = 0;
  for (int32_t page = 1; page <= FPages; ++page) {
    if (FPageOwner[static_cast<size_t>(page)] != 0) continue;
    if (lost++ == 0) first = page;
  }
  if (lost == 0) return;
  Report(TFileKind::Index, PageOffset(first), "lost pages",
         std::to_string(lost) + " page(s) from " + PageName(first) +
             " belong to no index and are not on the free-page chain");
}

}  // namespace cairn
