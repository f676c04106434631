#include "cairn/engine/index/IndexTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "cairn/host/Locales.h"
#include "tests/engine/index/IndexFileTestSupport.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/PeakMemory.h"

namespace cairn {
namespace {

using test::IndexFileFixture;
using test::IntegerPart;
using test::MakeIndex;
using test::RecordIDSuffix;
using test::StringPart;

std::string RecordIDKey(int32_t id) {
  return IntegerPart(id);
}

// Everything a walk of a tree finds, checked against the tree's rules on the way.
struct TTreeShape {
  std::vector<std::vector<int32_t>> Levels;  // page numbers per level, left to right
  std::vector<std::string> Keys;             // leaf keys through the leaf chain
  std::vector<int32_t> Records;
  int64_t Total = 0;
};

class TTreeWalker {
 public:
  TTreeWalker(TIndexFile& file, int pos, const TKeyComparer& comparer)
      : FFile(file), FPos(pos), FComparer(comparer) {}

  TTreeShape Walk() {
    TTreeShape shape;
    const int32_t root = FFile.GetRootPageNumber(FPos);
    if (root == 0) return shape;
    shape.Total = Subtree(root, 0, true, nullptr, shape);
    CheckLinks(shape);
    WalkLeafChain(shape);
    EXPECT_EQ(static_cast<int64_t>(shape.Keys.size()), shape.Total);
    return shape;
  }

 private:
  // Checks one page and below; returns the keys in the subtree.
  int64_t Subtree(int32_t number, size_t depth, bool root, const std::string* parentKey,
                  TTreeShape& shape) {
    if (shape.Levels.size() <= depth) shape.Levels.resize(depth + 1);
    shape.Levels[depth].push_back(number);
    TPageRef page = FFile.ReadPage(FPos, number);
    const int count = page->NumberOfKeys();
    EXPECT_GT(count, 0) << "page " << number;
    EXPECT_FALSE(page->PageDataOverflowed()) << "page " << number;
    if (root) {
      EXPECT_TRUE(page->IsRoot());
    } else {
      EXPECT_EQ(page->PageType(), page->IsLeaf() ? pg::kLeaf : pg::kNode);
    }
    if (parentKey) {
      EXPECT_EQ(std::string(page->GetKey(1), page->KeySize()), *parentKey);
    }
    for (int i = 2; i <= count; ++i) {
      EXPECT_LT(FComparer.Compare(page->GetKey(i - 1), page->GetKey(i), page->KeySize()), 0)
          << "page " << number << " entry " << i;
    }
    if (page->IsLeaf()) {
      if (FLeafDepth < 0) FLeafDepth = static_cast<int>(depth);
      EXPECT_EQ(FLeafDepth, static_cast<int>(depth)) << "leaves at different depths";
      return count;
    }
    int64_t total = 0;
    for (int i = 1; i <= count; ++i) {
      const std::string key(page->GetKey(i), page->KeySize());
      const int64_t below = Subtree(page->GetRecordNumber(i), depth + 1, false, &key, shape);
      if (!page->NoKeyStatistics()) {
        EXPECT_EQ(page->GetLowerKeyCount(i), below);
      }
      total += below;
    }
    return total;
  }

  void CheckLinks(const TTreeShape& shape) {
    for (const auto& level : shape.Levels) {
      for (size_t j = 0; j < level.size(); ++j) {
        TPageRef page = FFile.ReadPage(FPos, level[j]);
        EXPECT_EQ(page->LeftNumber(), j == 0 ? 0 : level[j - 1]);
        EXPECT_EQ(page->RightNumber(), j + 1 == level.size() ? 0 : level[j + 1]);
      }
    }
  }

  void WalkLeafChain(TTreeShape& shape) {
    for (int32_t number = shape.Levels.back().front(); number != 0;) {
      TPageRef page = FFile.ReadPage(FPos, number);
      for (int i = 1; i <= page->NumberOfKeys(); ++i) {
        shape.Keys.emplace_back(page->GetKey(i), page->KeySize());
        shape.Records.push_back(page->GetRecordNumber(i));
      }
      number = page->RightNumber();
    }
  }

  TIndexFile& FFile;
  int FPos;
  const TKeyComparer& FComparer;
  int FLeafDepth = -1;
};

class IndexTreeTest : public IndexFileFixture {
 protected:
  TKeyComparer Comparer(const TIndexFile& file, int pos, uint32_t locale = 0) {
    return TKeyComparer(file.Engine(), file.GetIndexDefinition(pos), test::TestFields(), locale);
  }
};

// ---- Capacities -------------------------------------------------------------------------------

TEST_F(IndexTreeTest, AutomaticPrimaryRootLeafHolds453KeysAndSplitsIntoTwoHalves) {
  auto file = NewFile(4096);
  const TKeyComparer comparer = Comparer(*file, 0);
  TIndexTree tree(*file, 0, comparer);
  for (int32_t id = 1; id <= 453; ++id) ASSERT_TRUE(tree.Insert(RecordIDKey(id), id));
  {
    TPageRef root = file->ReadPage(0, file->GetRootPageNumber(0));
    EXPECT_EQ(root->PageType(), pg::kRootLeaf);
    EXPECT_EQ(root->NumberOfKeys(), 453);
    EXPECT_FALSE(root->PageDataOverflowed());
  }
  ASSERT_TRUE(tree.Insert(RecordIDKey(454), 454));
  TPageRef root = file->ReadPage(0, file->GetRootPageNumber(0));
  EXPECT_EQ(root->PageType(), pg::kRootNode);
  ASSERT_EQ(root->NumberOfKeys(), 2);
  EXPECT_EQ(root->MaximumEntries(), 314);  // (4096 - 13) div (5 + 8)
  for (int i = 1; i <= 2; ++i) {
    TPageRef half = file->ReadPage(0, root->GetRecordNumber(i));
    EXPECT_EQ(half->PageType(), pg::kLeaf);
    EXPECT_EQ(half->NumberOfKeys(), 227);
    EXPECT_EQ(root->GetLowerKeyCount(i), 227);
    EXPECT_EQ(std::string(half->GetKey(1), 5), std::string(root->GetKey(i), 5));
  }
  EXPECT_EQ(file->GetHeader().NextEndingPage, 4);  // two leaves and the root
}

TEST_F(IndexTreeTest, CapacitiesFollowPageAndKeySize) {
  struct Case {
    int32_t pageSize;
    bool statistics;
    int leaf, node;
  };
  for (const Case& c :
       {Case{4096, true, 453, 314}, Case{512, true, 55, 38}, Case{512, false, 55, 55}}) {
    SCOPED_TRACE(c.pageSize);
    auto file = MakeFile(c.pageSize);
    file->CreateFile();
    TIndexDefinition primary = TIndexDefinition::AutomaticPrimary();
    primary.NoKeyStatistics = !c.statistics;
    file->AddPrimaryIndex(primary);
    const TKeyComparer comparer = Comparer(*file, 0);
    TIndexTree tree(*file, 0, comparer);
    for (int32_t id = 1; id <= c.leaf; ++id) ASSERT_TRUE(tree.Insert(RecordIDKey(id), id));
    EXPECT_EQ(file->ReadPage(0, file->GetRootPageNumber(0))->PageType(), pg::kRootLeaf);
    ASSERT_TRUE(tree.Insert(RecordIDKey(c.leaf + 1), c.leaf + 1));
    TPageRef root = file->ReadPage(0, file->GetRootPageNumber(0));
    EXPECT_EQ(root->PageType(), pg::kRootNode);
    EXPECT_EQ(root->MaximumEntries(), c.node);
    root.Release();
    file->CloseFile();
  }
}

// ---- Large trees ------------------------------------------------------------------------------

enum class TOrder { Random, Ascending, Descending };

struct TreeCase {
  uint8_t Compression;
  bool Statistics;
  bool Unique;
  TOrder Order;
};

std::string CaseName(const ::testing::TestParamInfo<TreeCase>& info) {
  const TreeCase& c = info.param;
  const char* order[] = {"Random", "Ascending", "Descending"};
  return "C" + std::to_string(c.Compression) + (c.Statistics ? "Stats" : "NoStats") +
         (c.Unique ? "Unique" : "Duplicates") + order[static_cast<int>(c.Order)];
}

class IndexTreeBigTest : public IndexTreeTest, public ::testing::WithParamInterface<TreeCase> {};

// Keys on the name field (texts with long shared prefixes and zero tails); a non-unique index
// repeats every value three times and tells them apart by the RecordID suffix.
TEST_P(IndexTreeBigTest, LeavesHoldEveryKeyInOrderAndSurviveReopening) {
  const TreeCase c = GetParam();
  constexpr int kKeys = 2000;
  const TIndexDefinition definition =
      MakeIndex("IDX_Name", {test::kName}, c.Unique, c.Compression, c.Statistics);
  auto file = NewFile(512, {definition});
  const int distinct = c.Unique ? kKeys : kKeys / 3 + 1;
  std::vector<int32_t> ids(kKeys);
  std::iota(ids.begin(), ids.end(), 1);
  std::vector<std::string> keys;
  for (int32_t id : ids) {
    std::string key = StringPart("name-" + std::to_string(100000 + id % distinct), 21);
    if (!c.Unique) key += RecordIDSuffix(id);
    keys.push_back(key);
  }
  std::vector<size_t> order(kKeys);
  std::iota(order.begin(), order.end(), 0);
  const TKeyComparer comparer = Comparer(*file, 1);
  const auto less = [&](size_t a, size_t b) {
    return comparer.Compare(keys[a].data(), keys[b].data(), definition.KeySize) < 0;
  };
  if (c.Order == TOrder::Random) std::shuffle(order.begin(), order.end(), std::mt19937(7));
  if (c.Order == TOrder::Ascending) std::sort(order.begin(), order.end(), less);
  if (c.Order == TOrder::Descending) std::sort(order.rbegin(), order.rend(), less);

  TIndexTree tree(*file, 1, comparer);
  for (size_t i : order) ASSERT_TRUE(tree.Insert(keys[i], ids[i]));

  std::vector<size_t> sorted(kKeys);
  std::iota(sorted.begin(), sorted.end(), 0);
  std::sort(sorted.begin(), sorted.end(), less);
  const auto check = [&](TIndexFile& f) {
    const TKeyComparer cmp = Comparer(f, 1);
    const TTreeShape shape = TTreeWalker(f, 1, cmp).Walk();
    ASSERT_EQ(shape.Keys.size(), sorted.size());
    for (size_t j = 0; j < sorted.size(); ++j) {
      ASSERT_EQ(shape.Keys[j], keys[sorted[j]]) << "leaf position " << j;
      ASSERT_EQ(shape.Records[j], ids[sorted[j]]);
    }
    EXPECT_GE(shape.Levels.size(), 3u);
    TIndexTree reader(f, 1, cmp);
    for (size_t j = 0; j < keys.size(); j += 97) {
      const TIndexTree::TFindResult found = reader.Find(keys[j]);
      EXPECT_TRUE(found.Completed && found.Found);
      EXPECT_EQ(found.RecordNumber, ids[j]);
    }
  };
  check(*file);
  file = Reopen(std::move(file));
  EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(Path())),
            25088 + 512LL * (file->GetHeader().NextEndingPage - 1));
  check(*file);
}

std::vector<TreeCase> AllTreeCases() {
  std::vector<TreeCase> cases;
  for (uint8_t compression = 0; compression <= 3; ++compression) {
    for (bool statistics : {true, false}) {
      for (bool unique : {true, false}) {
        for (TOrder order : {TOrder::Random, TOrder::Ascending, TOrder::Descending}) {
          cases.push_back({compression, statistics, unique, order});
        }
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Trees, IndexTreeBigTest, ::testing::ValuesIn(AllTreeCases()), CaseName);

// ---- Largest keys -----------------------------------------------------------------------------

// The largest key a page size allows leaves room for only two entries in a node page (and in an
// uncompressed leaf), so a split of three entries leaves one of its halves with a single entry.
struct LargestKeyCase {
  int32_t PageSize;
  uint16_t Field;  // a key part of (PageSize - 13) div 3 bytes
  bool Statistics;
  bool Unique;
  uint8_t Compression;
  TOrder Order;
};

std::string LargestKeyCaseName(const ::testing::TestParamInfo<LargestKeyCase>& info) {
  const LargestKeyCase& c = info.param;
  const char* order[] = {"Random", "Ascending", "Descending"};
  return "P" + std::to_string(c.PageSize) + "C" + std::to_string(c.Compression) +
         (c.Statistics ? "Stats" : "NoStats") + (c.Unique ? "Unique" : "Duplicates") +
         order[static_cast<int>(c.Order)];
}

class IndexTreeLargestKeyTest : public IndexTreeTest,
                                public ::testing::WithParamInterface<LargestKeyCase> {};

TEST_P(IndexTreeLargestKeyTest, TwoEntryPagesKeepTheTreeShallowInAnyOrder) {
  const LargestKeyCase c = GetParam();
  constexpr int kKeys = 20000;
  const TIndexDefinition definition =
      MakeIndex("IDX_Large", {c.Field}, c.Unique, c.Compression, c.Statistics);
  ASSERT_EQ(definition.KeySize, (c.PageSize - 13) / 3 + (c.Unique ? 0 : 4));
  auto file = NewFile(c.PageSize, {definition});
  const size_t dataSize = TKeyComparer::FindKeyField(test::TestFields(), c.Field)->DataSize;
  // Keys in id order; a non-unique index holds every value twice.
  std::vector<std::string> keys;
  for (int32_t id = 1; id <= kKeys; ++id) {
    const int value = c.Unique ? id : (id + 1) / 2;
    std::string key = StringPart("key-" + std::to_string(100000 + value), dataSize);
    if (!c.Unique) key += RecordIDSuffix(id);
    keys.push_back(key);
  }
  std::vector<int32_t> order(kKeys);
  std::iota(order.begin(), order.end(), 1);
  if (c.Order == TOrder::Random) std::shuffle(order.begin(), order.end(), std::mt19937(11));
  if (c.Order == TOrder::Descending) std::reverse(order.begin(), order.end());

  const TKeyComparer comparer = Comparer(*file, 1);
  TIndexTree tree(*file, 1, comparer);
  for (int32_t id : order) ASSERT_TRUE(tree.Insert(keys[id - 1], id)) << id;

  const TTreeShape shape = TTreeWalker(*file, 1, comparer).Walk();
  ASSERT_EQ(shape.Keys.size(), keys.size());
  for (size_t j = 0; j < keys.size(); ++j) {
    ASSERT_EQ(shape.Keys[j], keys[j]) << "leaf position " << j;
    ASSERT_EQ(shape.Records[j], static_cast<int32_t>(j + 1));
  }
  for (int32_t id = 1; id <= kKeys; id += 997) {
    const TIndexTree::TFindResult found = tree.Find(keys[id - 1]);
    EXPECT_TRUE(found.Completed && found.Found) << id;
    EXPECT_EQ(found.RecordNumber, id);
  }
  // No two neighbours on a node level hold one entry each, so every level has about half as
  // many pages again as the one above it.
  for (size_t level = 0; level + 1 < shape.Levels.size(); ++level) {
    int single = 0;
    for (int32_t number : shape.Levels[level]) {
      single = file->ReadPage(1, number)->NumberOfKeys() == 1 ? single + 1 : 0;
      ASSERT_LT(single, 2) << "level " << level << " page " << number;
    }
  }
  // Levels of 1, 2, 3, 4, 6, 9, ... pages: 20 000 keys fit in 25 levels, where a comb of single
  // entries passes 64 levels after a few dozen keys.
  EXPECT_LE(shape.Levels.size(), 25u);
  EXPECT_LE(file->GetHeader().NextEndingPage - 1, kKeys * 3 / 2) << "pages";
}

std::vector<LargestKeyCase> LargestKeyCases() {
  std::vector<LargestKeyCase> cases;
  for (TOrder order : {TOrder::Random, TOrder::Ascending, TOrder::Descending}) {
    // Statistics change the counts kept, not the shape: random order, the slowest under the
    // small default cache, runs with them only.
    for (bool statistics : {true, false}) {
      if (!statistics && order == TOrder::Random) continue;
      cases.push_back({1024, test::kLong1K, statistics, true, idx::kCompressNone, order});
      cases.push_back({4096, test::kLongest, statistics, true, idx::kCompressNone, order});
    }
    // The largest key size of all: the key part and the RecordID, leaves compressed.
    cases.push_back({1024, test::kLong1K, true, false, idx::kCompressFull, order});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Largest, IndexTreeLargestKeyTest, ::testing::ValuesIn(LargestKeyCases()),
                         LargestKeyCaseName);

// Keys sharing long prefixes and ending in zeros: a compressed root leaf holds more of them than
// an uncompressed one, and still splits by count into halves.
TEST_F(IndexTreeTest, CompressedLeavesHoldMoreKeysAndSplitByCount) {
  struct Case {
    uint8_t compression;
    int rootLeafKeys;  // keys in the root leaf before it splits
  };
  // K = 22, keys "name-100000", "name-100001", ...: 11 text bytes, 10 zero bytes. The first entry
  // of a page shares no prefix; a key shares 11 bytes with the one before it, 10 where the tens
  // digit changes. Uncompressed: 499 div 26 = 19. Duplicate-byte: 27 + 16 or 17 per key (30 keys
  // take 493 bytes). Trailing-byte: 17 per key (29 keys take 493). Full: 18 + 7 or 8 per key
  // (68 keys take 493).
  for (const Case& c : {Case{0, 19}, Case{1, 30}, Case{2, 29}, Case{3, 68}}) {
    SCOPED_TRACE(static_cast<int>(c.compression));
    auto file = NewFile(512, {MakeIndex("IDX_Name", {test::kName}, true, c.compression)});
    const TKeyComparer comparer = Comparer(*file, 1);
    TIndexTree tree(*file, 1, comparer);
    int inserted = 0;
    for (bool rootLeaf = true; rootLeaf;) {
      const std::string key = StringPart("name-" + std::to_string(100000 + inserted), 21);
      ASSERT_TRUE(tree.Insert(key, ++inserted));
      rootLeaf = file->ReadPage(1, file->GetRootPageNumber(1))->PageType() == pg::kRootLeaf;
    }
    EXPECT_EQ(inserted - 1, c.rootLeafKeys);
    TPageRef root = file->ReadPage(1, file->GetRootPageNumber(1));
    ASSERT_EQ(root->NumberOfKeys(), 2);
    EXPECT_EQ(file->ReadPage(1, root->GetRecordNumber(1))->NumberOfKeys(), inserted - inserted / 2);
    EXPECT_EQ(file->ReadPage(1, root->GetRecordNumber(2))->NumberOfKeys(), inserted / 2);
  }
}

// ---- Cache memory -----------------------------------------------------------------------------

// The sum of what the cached pages hold, walked buffer by buffer.
int64_t SumOfHeldBytes(const TIndexFile& file) {
  int64_t sum = 0;
  for (const TBuffer* b = file.FirstBuffer(); b != nullptr; b = b->NextBuffer()) {
    sum += static_cast<int64_t>(b->HeldBytes());
  }
  return sum;
}

// Fully compressed keys store in a few bytes but expand to K + 10 in memory, so a page held in the
// cache is several times the page size: a budget counted in pages alone would let the cache hold
// several times its bytes. Inserting (each insert an operation under undo, trimmed afterwards as a
// table does) and then reading the whole tree keep the cache within its byte budget, and its
// running count equals what the buffers hold.
TEST_F(IndexTreeTest, ExpandedPagesKeepTheCacheWithinItsByteBudget) {
  constexpr int32_t kBudget = 128 * 1024;
  FEngine.SetMaxIndexBufferSize(kBudget);
  auto file = NewFile(4096, {MakeIndex("IDX_Name", {test::kName}, true, idx::kCompressFull)});
  const TKeyComparer comparer = Comparer(*file, 1);
  const int64_t limit = kBudget + TBufferedFile::kByteBudgetTolerance;
  std::vector<int> order(12000);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  int64_t peak = 0;
  {
    TIndexTree tree(*file, 1, comparer);
    for (int n : order) {
      file->BeginUndo();
      ASSERT_TRUE(tree.Insert(StringPart("key-" + std::to_string(1000000 + n), 21), n + 1));
      file->CommitUndo();
      file->FlushWhenOverBudget();
      peak = std::max(peak, file->CacheBytes());
      ASSERT_EQ(file->HeldBytes(), SumOfHeldBytes(*file));
    }
  }
  // The pages alone would have been far beyond the budget while the count still allowed more.
  EXPECT_LE(peak, limit);
  EXPECT_LT(file->BufferCount(), static_cast<size_t>(file->MaximumBufferCount()));
  EXPECT_GT(file->GetHeader().NextEndingPage, file->MaximumBufferCount());

  // Reading: every page comes in raw and grows when expanded, after its request made room; what
  // the caller does not hold stays within the budget.
  file = Reopen(std::move(file));
  for (int32_t n = 1; n < file->GetHeader().NextEndingPage; ++n) {
    const TPageRef page = file->ReadPage(1, n);
    ASSERT_LE(file->CacheBytes() - static_cast<int64_t>(page->HeldBytes()), limit) << "page " << n;
  }
  EXPECT_EQ(file->HeldBytes(), SumOfHeldBytes(*file));
  const TKeyComparer reopened = Comparer(*file, 1);
  EXPECT_EQ(TTreeWalker(*file, 1, reopened).Walk().Total, 12000);
}

// A budget of a megabyte or more compacts unused pages (their zero padding cut) instead of
// writing and evicting them: a tree of long, mostly empty keys that is larger than the budget then
// stays whole in memory and nothing is written until the flush. Whatever the budget, the file ends
// with the same bytes, also when an undo in between thawed compacted pages and was rolled back.
TEST_F(IndexTreeTest, CompactedPagesStayCachedAndTheFileKeepsItsBytes) {
  const TIndexDefinition definition = MakeIndex("IDX_Long", {test::kLong1K}, false);
  const size_t dataSize = TKeyComparer::FindKeyField(test::TestFields(), test::kLong1K)->DataSize;
  const auto key = [&](int n) {
    return StringPart("key-" + std::to_string(n * 7919 % 100003), dataSize) + RecordIDSuffix(n);
  };
  struct Run {
    std::string bytes;
    int64_t writesBeforeFlush = 0;
    size_t compacted = 0;
  };
  const auto write = [&](int32_t budget) {
    FEngine.SetMaxIndexBufferSize(budget);
    auto file = NewFile(4096, {definition});
    const TKeyComparer comparer = Comparer(*file, 1);
    TIndexTree tree(*file, 1, comparer);
    Run run;
    const auto insert = [&](int from, int to) {
      for (int n = from; n < to; ++n) {
        file->BeginUndo();
        EXPECT_TRUE(tree.Insert(key(n), n));
        file->CommitUndo();
        file->FlushWhenOverBudget();
        run.compacted = std::max(run.compacted, file->CompactedCount());
      }
    };
    insert(1, 2000);
    file->BeginUndo();
    for (int n = 5000; n < 5100; ++n) EXPECT_TRUE(tree.Insert(key(n), n));
    file->RollbackUndo();
    file->FlushWhenOverBudget();
    insert(2000, 3000);
    EXPECT_EQ(file->HeldBytes(), SumOfHeldBytes(*file));
    EXPECT_LE(file->CacheBytes(), budget + TBufferedFile::kByteBudgetTolerance);
    EXPECT_EQ(TTreeWalker(*file, 1, comparer).Walk().Total, 2999);
    run.writesBeforeFlush = file->Writes();
    Flush(*file);
    file->CloseFile();
    run.bytes = test::ReadDiskFile(Path());
    std::filesystem::remove(Path());
    return run;
  };
  const Run evicting = write(512 * 1024);
  const Run compacting = write(1024 * 1024);
  const Run whole = write(64 * 1024 * 1024);
  // Some 350 pages of 4 KB: more than either small budget holds expanded.
  ASSERT_GT(whole.bytes.size(), size_t{1200 * 1024});
  EXPECT_EQ(evicting.compacted, 0u);
  EXPECT_GT(evicting.writesBeforeFlush, 0);
  EXPECT_GT(compacting.compacted, 0u);
  EXPECT_EQ(compacting.writesBeforeFlush, 0);
  EXPECT_EQ(whole.compacted, 0u);
  EXPECT_TRUE(compacting.bytes == whole.bytes);
  EXPECT_TRUE(evicting.bytes == whole.bytes);
}

// Compacting writes nothing, so it keeps the cache just below its budget: after every operation
// the cache is within the budget (its requests need neither drop nor recycle a buffer), and once
// it has filled the budget it stays near it rather than an eighth below, with more pages whole.
TEST_F(IndexTreeTest, CompactingKeepsTheCacheJustBelowItsBudget) {
  const TIndexDefinition definition = MakeIndex("IDX_Long", {test::kLong1K}, false);
  const size_t dataSize = TKeyComparer::FindKeyField(test::TestFields(), test::kLong1K)->DataSize;
  constexpr int32_t kBudget = 1024 * 1024;
  FEngine.SetMaxIndexBufferSize(kBudget);
  auto file = NewFile(4096, {definition});
  const TKeyComparer comparer = Comparer(*file, 1);
  TIndexTree tree(*file, 1, comparer);
  bool filled = false;
  int64_t lowest = kBudget;
  for (int n = 1; n < 4000; ++n) {
    file->BeginUndo();
    ASSERT_TRUE(tree.Insert(
        StringPart("key-" + std::to_string(n * 7919 % 100003), dataSize) + RecordIDSuffix(n), n));
    file->CommitUndo();
    file->FlushWhenOverBudget();
    ASSERT_LE(file->CacheBytes(), kBudget) << n;
    filled = filled || file->CacheBytes() > kBudget - kBudget / 16;
    if (filled) lowest = std::min(lowest, file->CacheBytes());
  }
  ASSERT_TRUE(filled);
  EXPECT_GT(file->CompactedCount(), 0u);
  // Compacting stops a 16th below the budget; leaving would go an eighth below.
  EXPECT_GE(lowest, kBudget - kBudget / 10);
  EXPECT_EQ(file->Writes(), 0);
  EXPECT_EQ(TTreeWalker(*file, 1, comparer).Walk().Total, 3999);
}

TEST_F(IndexTreeTest, SmallestKeyBecomesFirstKeyOfEveryPageOnTheLeftmostPath) {
  auto file = NewFile(512);
  const TKeyComparer comparer = Comparer(*file, 0);
  TIndexTree tree(*file, 0, comparer);
  for (int32_t id = 1000; id < 4000; ++id) ASSERT_TRUE(tree.Insert(RecordIDKey(id), id));
  ASSERT_TRUE(tree.Insert(RecordIDKey(-5), 1));
  int levels = 0;
  for (int32_t number = file->GetRootPageNumber(0); number != 0; ++levels) {
    TPageRef page = file->ReadPage(0, number);
    EXPECT_EQ(std::string(page->GetKey(1), 5), RecordIDKey(-5)) << "level " << levels;
    number = page->IsLeaf() ? 0 : page->GetRecordNumber(1);
  }
  EXPECT_GE(levels, 3);
  TTreeWalker(*file, 0, comparer).Walk();
}

TEST_F(IndexTreeTest, FindReportsMissingKeysAndAnEmptyTree) {
  auto file = NewFile(512);
  const TKeyComparer comparer = Comparer(*file, 0);
  TIndexTree tree(*file, 0, comparer);
  EXPECT_FALSE(tree.Find(RecordIDKey(1)).Found);
  for (int32_t id = 2; id <= 400; id += 2) ASSERT_TRUE(tree.Insert(RecordIDKey(id), id * 10));
  for (int32_t id : {1, 3, 401, -7}) EXPECT_FALSE(tree.Find(RecordIDKey(id)).Found) << id;
  const TIndexTree::TFindResult found = tree.Find(RecordIDKey(200));
  EXPECT_TRUE(found.Found);
  EXPECT_EQ(found.RecordNumber, 2000);
  EXPECT_EQ(test::ErrorCodeOf([&] { tree.Insert("abc", 1); }), CAIRN_INVALIDKEY);
}

// A descent takes the path of the one before while the key lies above the last entry of each of
// its pages. Whatever happens in between (pages split, written, recycled for other blocks, an undo
// rolled back, keys landing elsewhere), the file must come out as with every descent searching
// from a cache emptied before it.
TEST_F(IndexTreeTest, DescentsAlongTheLatestPathPlaceKeysAsSearchesDo) {
  // Ascending even keys, every seventh an odd one far below the largest.
  std::vector<int32_t> ids;
  for (int32_t i = 1; i <= 3000; ++i) ids.push_back(i % 7 == 0 ? 2 * (i / 7) - 1 : 2 * i);
  const auto write = [&](bool reference) {
    FEngine.SetMaxIndexBufferSize(reference ? 64 * 1024 * 1024 : 16 * 1024);
    auto file = NewFile(512);
    const TKeyComparer comparer = Comparer(*file, 0);
    TIndexTree tree(*file, 0, comparer);
    std::vector<std::string> kept;
    for (size_t i = 0; i < ids.size(); ++i) {
      const std::string key = RecordIDKey(ids[i]);
      if (reference) {
        file->FlushBuffers();
        file->FreeBuffers();
      } else {
        EXPECT_FALSE(tree.Find(key).Found);
      }
      // Under test, every fortieth insertion is rolled back; the reference leaves it out.
      const bool undone = i % 40 == 39;
      if (reference && undone) continue;
      file->BeginUndo();
      EXPECT_TRUE(tree.Insert(key, ids[i]));
      if (undone) {
        file->RollbackUndo();
      } else {
        file->CommitUndo();
        kept.push_back(key);
      }
      file->FlushWhenOverBudget();
    }
    if (!reference) {
      EXPECT_GT(file->Writes(), 0) << "the small budget wrote and recycled pages";
    }
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(TTreeWalker(*file, 0, comparer).Walk().Keys, kept);
    Flush(*file);
    file->CloseFile();
    const std::string bytes = test::ReadDiskFile(Path());
    std::filesystem::remove(Path());
    return bytes;
  };
  const std::string followed = write(false);
  EXPECT_TRUE(followed == write(true));
}

// ---- Damaged trees ----------------------------------------------------------------------------

class IndexTreeDamageTest : public IndexTreeTest {
 protected:
  // A primary tree of three levels on 512-byte pages, written and closed.
  void BuildTree() {
    auto file = NewFile(512);
    const TKeyComparer comparer = Comparer(*file, 0);
    TIndexTree tree(*file, 0, comparer);
    for (int32_t id = 1; id <= 2000; ++id) ASSERT_TRUE(tree.Insert(RecordIDKey(id), id));
    FRoot = file->GetRootPageNumber(0);
    TPageRef root = file->ReadPage(0, FRoot);
    FChild = root->GetRecordNumber(1);
    root.Release();
    Flush(*file);
    file->CloseFile();
  }

  int64_t PageOffset(int32_t number) const { return 25088 + 512LL * (number - 1); }

  // Inserting a key smaller than all (down the leftmost path) into the reopened tree raises this
  // code.
  uint16_t InsertError() {
    auto file = MakeFile(512);
    file->OpenFile();
    const TKeyComparer comparer = Comparer(*file, 0);
    TIndexTree tree(*file, 0, comparer);
    return test::ErrorCodeOf([&] { tree.Insert(RecordIDKey(-5), 5000); });
  }

  int32_t FRoot = 0;
  int32_t FChild = 0;
};

TEST_F(IndexTreeDamageTest, DamagedPagesGiveIndexCorruptWithoutCrashOrHang) {
  enum TWhere { kRootPage, kChildPage, kFileHeader };
  struct Case {
    const char* what;
    TWhere where;
    int offset;  // within the page or the file
    std::function<std::string(int32_t child)> bytes;
  };
  const auto fixed = [](std::string b) { return [b](int32_t) { return b; }; };
  const std::vector<Case> cases = {
      {"root type is a leaf", kRootPage, 0, fixed("\x02")},
      {"root type unknown", kRootPage, 0, fixed("\x07")},
      {"root without entries", kRootPage, 1, fixed(std::string(2, '\0'))},
      {"NumberOfKeys beyond the page", kChildPage, 1, fixed(std::string("\xe8\x03", 2))},
      // Entry 1 of a node: the key (5 bytes), then the child number.
      {"child page beyond the file", kRootPage, 13 + 5, fixed(test::Int32Bytes(9999))},
      {"child page is the page itself", kChildPage, 13 + 5,
       [](int32_t child) { return test::Int32Bytes(child); }},
      {"root page number beyond the file", kFileHeader, 34, fixed(test::Int32Bytes(5000))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildTree();
    const int64_t base = c.where == kFileHeader ? 0
                         : c.where == kRootPage ? PageOffset(FRoot)
                                                : PageOffset(FChild);
    test::PatchDiskFile(Path(), base + c.offset, c.bytes(FChild));
    EXPECT_EQ(InsertError(), CAIRN_INDEXCORRUPT);
  }
}

TEST_F(IndexTreeDamageTest, ANodeChainLongerThan64LevelsIsCorrupt) {
  // A hand-made chain of 70 single-entry nodes under a root: each points at the next.
  auto file = NewFile(512);
  std::vector<TPageRef> pages;
  for (int i = 0; i < 70; ++i) {
    pages.push_back(file->AllocatePage(0));
    pages.back()->SetPageType(i == 0 ? pg::kRootNode : pg::kNode);
  }
  for (int i = 0; i < 70; ++i) {
    int position = 0;
    const int32_t child = i + 1 < 70 ? pages[i + 1]->Number() : pages[i]->Number();
    pages[i]->InsertKey(RecordIDKey(1).data(), position, child, 1);
  }
  file->SetRootPageNumber(0, pages[0]->Number());
  pages.clear();
  const TKeyComparer comparer = Comparer(*file, 0);
  TIndexTree tree(*file, 0, comparer);
  EXPECT_EQ(test::ErrorCodeOf([&] { tree.Insert(RecordIDKey(2), 2); }), CAIRN_INDEXCORRUPT);
  EXPECT_EQ(test::ErrorCodeOf([&] { tree.Find(RecordIDKey(2)); }), CAIRN_INDEXCORRUPT);
}

// An overflowing two-entry page looks for room in its neighbours; level links that disagree with
// the tree are damage.
TEST_F(IndexTreeDamageTest, NeighbourLinksThatDisagreeWithTheTreeAreCorrupt) {
  struct Case {
    const char* what;
    bool left;  // which link of the leftmost leaf is changed
  };
  for (const Case& c :
       {Case{"right link names the root", false}, Case{"left link on the leftmost page", true}}) {
    SCOPED_TRACE(c.what);
    auto file = NewFile(1024, {MakeIndex("IDX_Large", {test::kLong1K})});
    const TKeyComparer comparer = Comparer(*file, 1);
    TIndexTree tree(*file, 1, comparer);
    const auto key = [](int value) { return StringPart(std::to_string(100 + value), 336); };
    // Ascending keys leave every page but the last full.
    for (int value = 10; value < 50; ++value) ASSERT_TRUE(tree.Insert(key(value), value));
    const int32_t root = file->GetRootPageNumber(1);
    int32_t number = root;
    for (TPageRef page = file->ReadPage(1, number); !page->IsLeaf();
         page = file->ReadPage(1, number)) {
      number = page->GetRecordNumber(1);
    }
    {
      TPageRef leaf = file->ReadPage(1, number);
      ASSERT_EQ(leaf->NumberOfKeys(), 2);
      if (c.left) {
        leaf->SetLeftNumber(leaf->RightNumber());
      } else {
        leaf->SetRightNumber(root);
      }
    }
    EXPECT_EQ(test::ErrorCodeOf([&] { tree.Insert(key(5), 5); }), CAIRN_INDEXCORRUPT);
    file->CloseFile();
  }
}

// A reader whose cache miss finds the table changed must drop its pages and report a restart,
// never touch the dropped pages.
class ChangingTableOwner : public test::TTestTableOwner {
 public:
  bool ReadLockForMiss() override {
    ++ReadLocks;
    if (!ChangeOnMiss || File == nullptr) return false;
    ChangeOnMiss = false;
    File->FreeBuffers();  // what change detection does with the cache
    return true;
  }
  bool ChangeOnMiss = false;
  TIndexFile* File = nullptr;
};

// An undo keeps few page images: the counts raised on an insertion's path and the entry added
// are logged instead. Rolled back, every page is as it was, however the insertions changed
// them: counts, entries, splits up to a new root, entries passed to a neighbour.
TEST_F(IndexTreeTest, UndoneInsertionsLeaveEveryPageAsItWas) {
  struct Case {
    const char* what;
    int32_t pageSize;
    uint16_t field;
    uint8_t compression;
    bool statistics;
    bool unique;
    int32_t before, undone;
  };
  const Case cases[] = {
      {"compressed, statistics", 512, test::kName, idx::kCompressFull, true, true, 300, 1500},
      {"duplicates, no statistics", 512, test::kName, idx::kCompressDuplicateByte, false, false,
       300, 1500},
      {"two-entry pages", 1024, test::kLong1K, idx::kCompressNone, true, true, 30, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TIndexDefinition definition =
        MakeIndex("IDX_Undo", {c.field}, c.unique, c.compression, c.statistics);
    auto file = NewFile(c.pageSize, {definition});
    const size_t dataSize = TKeyComparer::FindKeyField(test::TestFields(), c.field)->DataSize;
    const auto key = [&](int32_t id) {
      const int32_t value = id * 7919 % (c.unique ? 100000 : 150);
      std::string k = StringPart("key-" + std::to_string(100000 + value), dataSize);
      if (!c.unique) k += RecordIDSuffix(id);
      return k;
    };
    const auto pages = [&] {
      std::vector<std::string> all;
      for (int32_t n = 1; n <= file->IOBlocksUsed(); ++n) {
        std::string bytes(static_cast<size_t>(c.pageSize), '\0');
        file->ReadRawPage(n)->CopyToBuffer(bytes.data());
        all.push_back(bytes);
      }
      return all;
    };
    const TKeyComparer comparer = Comparer(*file, 1);
    TIndexTree tree(*file, 1, comparer);
    for (int32_t id = 1; id <= c.before; ++id) ASSERT_TRUE(tree.Insert(key(id), id));
    const std::vector<std::string> before = pages();
    const int32_t root = file->GetRootPageNumber(1);

    file->BeginUndo();
    for (int32_t id = c.before + 1; id <= c.before + c.undone; ++id) {
      ASSERT_TRUE(tree.Insert(key(id), id));
    }
    ASSERT_NE(file->GetRootPageNumber(1), root) << "the tree grew a level";
    file->RollbackUndo();
    EXPECT_EQ(file->GetRootPageNumber(1), root);
    EXPECT_EQ(pages(), before);
    EXPECT_EQ(TTreeWalker(*file, 1, comparer).Walk().Keys.size(), static_cast<size_t>(c.before));
  }
}

TEST_F(IndexTreeTest, ATableChangedUnderACacheMissRestartsTheOperation) {
  {
    auto file = NewFile(512);
    const TKeyComparer comparer = Comparer(*file, 0);
    TIndexTree tree(*file, 0, comparer);
    for (int32_t id = 1; id <= 500; ++id) ASSERT_TRUE(tree.Insert(RecordIDKey(id), id));
    Flush(*file);
    file->CloseFile();
  }
  ChangingTableOwner owner;
  TIndexFile file(FEngine, &owner, 512);
  file.SetFileName(Path());
  file.SetFieldDefinitions(test::TestFields());
  file.OpenFile();  // shared: misses ask the table
  owner.File = &file;
  const TKeyComparer comparer = Comparer(file, 0);
  TIndexTree tree(file, 0, comparer);
  // Root cached and held, then the miss on its child finds the table changed.
  { TPageRef root = file.ReadPage(0, file.GetRootPageNumber(0)); }
  owner.ChangeOnMiss = true;
  EXPECT_FALSE(tree.Insert(RecordIDKey(501), 501));
  EXPECT_TRUE(tree.Insert(RecordIDKey(501), 501));
  owner.ChangeOnMiss = true;
  file.FreeBuffers();
  EXPECT_FALSE(tree.Find(RecordIDKey(7)).Completed);
  EXPECT_TRUE(tree.Find(RecordIDKey(7)).Found);
  file.CloseFile();
}

// ---- Page layouts -----------------------------------------------------------------------------

class PageLayoutTest : public IndexTreeTest {};

std::string Byte(int value) {
  return std::string(1, static_cast<char>(value));
}

// Four keys in one leaf of each compression, as the page stores them.
// The definition of the 9-byte keys the compression layouts below are drawn for.
TIndexDefinition LeafDefinition(uint8_t compression, bool unique) {
  TIndexDefinition d;
  d.KeySize = 9;
  d.KeyUnique = unique;
  d.KeyCompressionType = compression;
  return d;
}

TEST_F(PageLayoutTest, LeafCompressionsStoreExactlyTheirLayout) {
  // Keys of 9 bytes: a string part of data size 4 (5 bytes), then a 4-byte tail.
  const std::string k1(
      "\x01"
      "ab\0\0"
      "\0\0\0\x01",
      9);
  const std::string k2(
      "\x01"
      "abc\0"
      "\0\0\0\x02",
      9);
  const std::string k3(
      "\x01"
      "abc\0"
      "\0\0\0\x05",
      9);  // shares 8 bytes with k2
  const std::string k4(
      "\x01"
      "b\0\0\0"
      "\0\0\0\0",
      9);
  const std::string r1 = test::Int32Bytes(11), r2 = test::Int32Bytes(12);
  const std::string r3 = test::Int32Bytes(13), r4 = test::Int32Bytes(14);
  struct Case {
    const char* what;
    uint8_t compression;
    bool unique;
    std::string stored;  // the area after the 13-byte header
  };
  const std::vector<Case> cases = {
      {"none", 0, true, k1 + r1 + k2 + r2 + k3 + r3 + k4 + r4},
      // L, key bytes L..K-1, R
      {"duplicate-byte", 1, true,
       Byte(0) + k1 + r1 + Byte(3) + k2.substr(3) + r2 + Byte(8) + k3.substr(8) + r3 + Byte(1) +
           k4.substr(1) + r4},
      // T zero bytes cut from the end of the key
      {"trailing-byte unique", 2, true,
       Byte(0) + k1 + r1 + Byte(0) + k2 + r2 + Byte(0) + k3 + r3 + Byte(7) + k4.substr(0, 2) + r4},
      // the last 4 bytes stay whole; T counts the zeros just before them
      {"trailing-byte non-unique", 2, false,
       Byte(2) + k1.substr(0, 3) + k1.substr(5) + r1 + Byte(1) + k2.substr(0, 4) + k2.substr(5) +
           r2 + Byte(1) + k3.substr(0, 4) + k3.substr(5) + r3 + Byte(3) + k4.substr(0, 2) +
           k4.substr(5) + r4},
      {"full unique", 3, true,
       Byte(0) + Byte(0) + k1 + r1 + Byte(3) + Byte(0) + k2.substr(3) + r2 + Byte(8) + Byte(0) +
           k3.substr(8) + r3 + Byte(1) + Byte(7) + k4.substr(1, 1) + r4},
      // K - L >= 5 keeps the tail whole; K - L < 5 (k3 after k2) stores the rest uncut
      {"full non-unique", 3, false,
       Byte(0) + Byte(2) + k1.substr(0, 3) + k1.substr(5) + r1 + Byte(3) + Byte(1) +
           k2.substr(3, 1) + k2.substr(5) + r2 + Byte(8) + Byte(0) + k3.substr(8) + r3 + Byte(1) +
           Byte(3) + k4.substr(1, 1) + k4.substr(5) + r4},
  };
  auto file = NewFile(512);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TIndexDefinition d = LeafDefinition(c.compression, c.unique);
    TPageRef page = file->AllocateRawPage(pg::kLeaf);
    page->Initialize(d);
    page->SetPageType(pg::kLeaf);
    int position = 0;
    page->InsertKey(k1.data(), position, 11);
    page->InsertKey(k4.data(), position, 14);
    position = 1;  // in between: the entries after them are recounted
    page->InsertKey(k2.data(), position, 12);
    page->InsertKey(k3.data(), position, 13);
    std::string raw(512, '\0');
    page->CopyToBuffer(raw.data());
    EXPECT_EQ(raw[0], pg::kLeaf);
    EXPECT_EQ(DecodeFixed16(raw.data() + 1), 4);
    const uint16_t compressed = c.compression == 0 ? 0 : static_cast<uint16_t>(c.stored.size());
    EXPECT_EQ(DecodeFixed16(raw.data() + 11), compressed);
    EXPECT_EQ(page->StoredSize(), static_cast<int32_t>(c.stored.size()));
    EXPECT_EQ(raw.substr(13, c.stored.size()), c.stored);
    EXPECT_EQ(raw.substr(13 + c.stored.size()), std::string(499 - c.stored.size(), '\0'));
    // Read back: the same keys and record numbers.
    TPageRef copy = file->AllocateRawPage(pg::kLeaf);
    copy->CopyBuffer(raw.data());
    ASSERT_TRUE(copy->Expand(d));
    ASSERT_EQ(copy->NumberOfKeys(), 4);
    const std::string* keys[] = {&k1, &k2, &k3, &k4};
    for (int i = 1; i <= 4; ++i) {
      EXPECT_EQ(std::string(copy->GetKey(i), 9), *keys[i - 1]) << i;
      EXPECT_EQ(copy->GetRecordNumber(i), 10 + i);
    }
    std::string again(512, '\0');
    copy->CopyToBuffer(again.data());
    EXPECT_EQ(again, raw) << "a page read back is written back unchanged";
    EXPECT_EQ(copy->StoredSize(), page->StoredSize());
  }

  // Another writer may cut less than it could: a shorter shared prefix, fewer zeros. Such a page
  // reads as the same keys and is written back with the counts computed from them.
  struct Foreign {
    const char* what;
    uint8_t compression;
    bool unique;
    std::string stored;
    std::string computed;
  };
  const std::vector<Foreign> foreign = {
      {"duplicate-byte, prefix not shared", 1, true,
       Byte(0) + k1 + r1 + Byte(2) + k2.substr(2) + r2 + Byte(8) + k3.substr(8) + r3 + Byte(0) +
           k4 + r4,
       cases[1].stored},
      {"trailing-byte, zeros kept", 2, true,
       Byte(0) + k1 + r1 + Byte(0) + k2 + r2 + Byte(0) + k3 + r3 + Byte(6) + k4.substr(0, 3) + r4,
       cases[2].stored},
      {"full, both", 3, true,
       Byte(0) + Byte(0) + k1 + r1 + Byte(3) + Byte(0) + k2.substr(3) + r2 + Byte(7) + Byte(0) +
           k3.substr(7) + r3 + Byte(1) + Byte(2) + k4.substr(1, 6) + r4,
       cases[4].stored},
  };
  for (const Foreign& f : foreign) {
    SCOPED_TRACE(f.what);
    const TIndexDefinition d = LeafDefinition(f.compression, f.unique);
    std::string raw(512, '\0');
    TPageHeader header;
    header.PageType = pg::kLeaf;
    header.NumberOfKeys = 4;
    header.CompressedSize = static_cast<uint16_t>(f.stored.size());
    header.Encode(raw.data());
    raw.replace(13, f.stored.size(), f.stored);
    TPageRef page = file->AllocateRawPage(pg::kLeaf);
    page->CopyBuffer(raw.data());
    ASSERT_TRUE(page->Expand(d));
    const std::string* keys[] = {&k1, &k2, &k3, &k4};
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(std::string(page->GetKey(i), 9), *keys[i - 1]) << i;
    EXPECT_EQ(page->StoredSize(), static_cast<int32_t>(f.computed.size()));
    std::string written(512, '\0');
    page->CopyToBuffer(written.data());
    EXPECT_EQ(DecodeFixed16(written.data() + 11), f.computed.size());
    EXPECT_EQ(written.substr(13, f.computed.size()), f.computed);
  }
}

// A page read for a tree is written back as it was read when an undo puts it back, and as this
// engine writes it once changed: also a page of another writer's making, whose counts cut less
// than they could or whose area holds bytes after the entries.
TEST_F(PageLayoutTest, PagesReadUnderAnUndoAreWrittenBackAsTheFileHeldThem) {
  const TIndexDefinition definition =
      MakeIndex("IDX_Read", {test::kName}, true, idx::kCompressFull);
  const size_t dataSize = TKeyComparer::FindKeyField(test::TestFields(), test::kName)->DataSize;
  auto file = NewFile(512, {definition});
  {
    const TKeyComparer comparer = Comparer(*file, 1);
    TIndexTree tree(*file, 1, comparer);
    for (int32_t id = 1; id <= 4; ++id) {
      ASSERT_TRUE(tree.Insert(StringPart("read-" + std::string(id, 'x'), dataSize), id));
    }
  }
  const int32_t root = file->GetRootPageNumber(1);
  const int64_t offset = file->BlockOffset(root);
  file = Reopen(std::move(file));
  file->CloseFile();
  const std::string written = test::ReadDiskFile(Path()).substr(offset, 512);
  ASSERT_EQ(written.size(), 512u);

  // Entry 1 stores L = 0, T, the key's first K - T bytes and R; entry 2 shares a prefix with it.
  const int K = definition.KeySize;
  const size_t second = 13 + static_cast<size_t>(K - static_cast<uint8_t>(written[14]) + 6);
  const uint8_t shared = static_cast<uint8_t>(written[second]);
  ASSERT_GT(shared, 1);
  std::string shortPrefix = written;
  shortPrefix[second] = static_cast<char>(shared - 1);
  shortPrefix.insert(second + 2, 1, written[15 + shared - 1]);
  shortPrefix.resize(512);
  EncodeFixed16(shortPrefix.data() + 11,
                static_cast<uint16_t>(DecodeFixed16(written.data() + 11) + 1));
  std::string bytesAfter = written;
  bytesAfter[511] = 'z';

  const std::pair<const char*, std::string> variants[] = {
      {"as this engine writes it", written},
      {"a shared prefix cut short", shortPrefix},
      {"bytes after the entries", bytesAfter}};
  std::string changed = written;
  EncodeInt32(changed.data() + 3, 9);  // the left neighbour
  for (const auto& [what, bytes] : variants) {
    SCOPED_TRACE(what);
    for (bool rollback : {true, false}) {
      test::PatchDiskFile(Path(), offset, bytes);
      auto reread = MakeFile(512);
      reread->OpenFile();
      reread->BeginUndo();
      {
        TPageRef page = reread->ReadPage(1, root);
        ASSERT_EQ(page->NumberOfKeys(), 4);
        page->SetLeftNumber(9);
      }
      if (rollback) {
        reread->RollbackUndo();
      } else {
        reread->CommitUndo();
      }
      Flush(*reread);
      reread->CloseFile();
      EXPECT_TRUE(test::ReadDiskFile(Path()).substr(offset, 512) == (rollback ? bytes : changed))
          << (rollback ? "rolled back" : "changed");
    }
  }
}

// Deleting and replacing entries recounts their neighbours: the page then stores exactly what a
// page built from its keys stores.
TEST_F(PageLayoutTest, EditedPagesStoreLikeFreshOnes) {
  const std::string a(
      "\x01"
      "aa\0\0"
      "\0\0\0\x01",
      9);
  const std::string b(
      "\x01"
      "abc\0"
      "\0\0\0\x02",
      9);
  const std::string c(
      "\x01"
      "abd\0"
      "\0\0\0\x03",
      9);  // shares 3 bytes with b, 2 with a
  const std::string d(
      "\x01"
      "b\0\0\0"
      "\0\0\0\0",
      9);
  const std::string e(
      "\x01"
      "c\0\0\0"
      "\0\0\0\x04",
      9);
  auto file = NewFile(512);
  const auto raw = [](TPage& page) {
    std::string bytes(512, '\0');
    page.CopyToBuffer(bytes.data());
    return bytes;
  };
  for (uint8_t compression = 0; compression <= 3; ++compression) {
    for (bool unique : {true, false}) {
      SCOPED_TRACE(compression * 10 + unique);
      TIndexDefinition def;
      def.KeySize = 9;
      def.KeyUnique = unique;
      def.KeyCompressionType = compression;
      const auto build = [&](std::vector<const std::string*> keys) {
        TPageRef page = file->AllocateRawPage(pg::kLeaf);
        page->Initialize(def);
        page->SetPageType(pg::kLeaf);
        int position = 0;
        for (const std::string* key : keys) page->InsertKey(key->data(), position, 7);
        return page;
      };
      TPageRef edited = build({&a, &b, &c, &d});
      int position = 2;
      edited->DeleteKey(position);  // b goes: c now follows a
      EXPECT_EQ(position, 1);
      edited->UpdateKey(e.data(), 3);  // d becomes e
      TPageRef fresh = build({&a, &c, &e});
      EXPECT_EQ(raw(*edited), raw(*fresh));
      EXPECT_EQ(edited->StoredSize(), fresh->StoredSize());
      EXPECT_TRUE(edited->IsEqualTo(*fresh));
    }
  }
}

TEST_F(PageLayoutTest, StoredLengthsBeyondTheAreaAreRejectedBeforeExpanding) {
  auto file = NewFile(512);
  TIndexDefinition full;
  full.KeySize = 9;
  full.KeyUnique = true;
  full.KeyCompressionType = idx::kCompressFull;
  TIndexDefinition node = full;
  node.KeyCompressionType = idx::kCompressNone;
  // A raw page: header, then bytes placed at offsets of the page.
  const auto page = [](uint8_t type, uint16_t count, uint16_t compressed,
                       std::vector<std::pair<int, int>> bytes = {}) {
    std::string raw(512, '\0');
    TPageHeader header;
    header.PageType = type;
    header.NumberOfKeys = count;
    header.CompressedSize = compressed;
    header.Encode(raw.data());
    for (auto [offset, value] : bytes) raw[offset] = static_cast<char>(value);
    return raw;
  };
  struct Case {
    const char* what;
    std::string raw;
    const TIndexDefinition* definition;
  };
  // Full compression: L at 13, T at 14, then K - L - T key bytes and R (15 bytes for L = T = 0).
  const std::vector<Case> cases = {
      {"node entries beyond the area", page(pg::kNode, 30, 0), &node},
      {"first entry with a shared prefix", page(pg::kLeaf, 1, 13, {{13, 1}}), &full},
      {"prefix longer than the key", page(pg::kLeaf, 2, 30, {{28, 10}}), &full},
      {"cut more bytes than the key has", page(pg::kLeaf, 1, 15, {{14, 10}}), &full},
      {"entries running past the area", page(pg::kLeaf, 40, 600), &full},
      {"CompressedSize disagrees", page(pg::kLeaf, 1, 99), &full},
      {"unknown page type", page(9, 0, 0), &full},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TPageRef p = file->AllocateRawPage(pg::kLeaf);
    p->CopyBuffer(c.raw.data());
    EXPECT_FALSE(p->Expand(*c.definition));
  }
  // The same bytes with sound counts expand.
  TPageRef p = file->AllocateRawPage(pg::kLeaf);
  p->CopyBuffer(page(pg::kLeaf, 2, 30).data());
  EXPECT_TRUE(p->Expand(full));
}

// A page claiming 65535 keys of 4000 bytes would expand to 262 MB. The count is held against
// what the area can store before anything is allocated for it.
TEST_F(PageLayoutTest, DamagedKeyCountsAllocateNothingOfTheirSize) {
  auto file = NewFile(16384);
  TIndexDefinition plain;
  plain.KeySize = 4000;
  plain.KeyUnique = true;
  TIndexDefinition full = plain;
  full.KeyCompressionType = idx::kCompressFull;
  struct Case {
    const char* what;
    uint8_t type;
    uint16_t compressed;
    const TIndexDefinition* definition;
  };
  const Case cases[] = {
      {"node", pg::kNode, 0, &plain},
      {"uncompressed leaf", pg::kLeaf, 0, &plain},
      {"compressed leaf", pg::kLeaf, 16371, &full},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string raw(16384, '\0');
    TPageHeader header;
    header.PageType = c.type;
    header.NumberOfKeys = 0xFFFF;
    header.CompressedSize = c.compressed;
    header.Encode(raw.data());
    const test::TPeakMemory peak = test::MeasurePeakMemory([&] {
      TPageRef p = file->AllocateRawPage(pg::kLeaf);
      p->CopyBuffer(raw.data());
      if (p->Expand(*c.definition)) throw std::runtime_error("damaged page expanded");
    });
    EXPECT_TRUE(peak.Completed);
    EXPECT_GE(peak.GrowthBytes, 0);
    EXPECT_LT(peak.GrowthBytes, 16 * test::kMiB);
  }
}

TEST_F(PageLayoutTest, LowerKeyCountsOnlyOnNodesWithStatistics) {
  auto file = NewFile(512);
  TIndexDefinition d = TIndexDefinition::AutomaticPrimary();
  struct Case {
    uint8_t type;
    bool statistics;
    int32_t afterInc, afterDec;  // after Set(5) and Inc, then Dec
  };
  for (const Case& c :
       {Case{pg::kNode, true, 6, 5}, Case{pg::kNode, false, 0, 0}, Case{pg::kLeaf, true, 1, 1}}) {
    SCOPED_TRACE(c.type * 10 + c.statistics);
    d.NoKeyStatistics = !c.statistics;
    TPageRef page = file->AllocatePage(0);
    page->Initialize(d);
    page->SetPageType(c.type);
    page->IncLowerKeyCount(1);  // an empty page: nothing happens
    int position = 0;
    page->InsertKey(RecordIDKey(1).data(), position, 7, 0);
    page->InsertKey(RecordIDKey(2).data(), position, 8, 4);
    page->SetLowerKeyCount(1, 5);
    page->IncLowerKeyCount(1);
    EXPECT_EQ(page->GetLowerKeyCount(1), c.afterInc);
    EXPECT_EQ(page->GetPageKeyCount(2), c.afterInc);
    page->DecLowerKeyCount(1);
    EXPECT_EQ(page->GetLowerKeyCount(1), c.afterDec);
  }
}

// ---- Key comparison ---------------------------------------------------------------------------

class KeyComparerTest : public IndexTreeTest {};

TEST_F(KeyComparerTest, PartsCompareAsBytesWithPerFieldDescendingAndAnAscendingSuffix) {
  const auto fields = test::TestFields();
  TIndexDefinition d = MakeIndex("I", {test::kId, test::kName}, false);
  const std::string a = IntegerPart(5) + StringPart("x", 21) + RecordIDSuffix(1);
  const std::string b = IntegerPart(5) + StringPart("x", 21) + RecordIDSuffix(2);
  const std::string c = IntegerPart(6) + StringPart("a", 21) + RecordIDSuffix(1);
  const std::string nullId =
      std::string("\0\x80\0\0\0", 5) + StringPart("a", 21) + RecordIDSuffix(1);
  struct Case {
    bool descendingId;
    const std::string *left, *right;
    size_t n;
    int expected;
  };
  const std::vector<Case> cases = {
      {false, &a, &b, d.KeySize, -1},  // equal values: RecordID decides
      {true, &a, &b, d.KeySize, -1},   // ... and is never reversed
      {false, &a, &c, d.KeySize, -1},
      {true, &a, &c, d.KeySize, +1},
      {false, &nullId, &a, d.KeySize, -1},  // null sorts first
      {true, &nullId, &a, d.KeySize, +1},
      {false, &a, &b, 27, 0},  // a partial key without the suffix
      {false, &a, &c, 3, 0},   // a partial key inside the first part
      {false, &a, &c, 5, -1},
      {false, &a, &a, d.KeySize, 0},
  };
  for (const Case& k : cases) {
    d.KeyDescendingFields[0] = k.descendingId;
    const TKeyComparer comparer(FEngine, d, fields, 0);
    EXPECT_EQ(comparer.Compare(k.left->data(), k.right->data(), k.n), k.expected)
        << "descending " << k.descendingId << " n " << k.n;
  }
  EXPECT_EQ(TKeyComparer(FEngine, d, fields, 0).PartsSize(), 27u);
}

// Plain keys compare their first eight bytes as one number (a shorter length as two overlapping
// four-byte numbers): a difference at any position, with bytes on either side of 0x80, orders
// exactly as the unsigned bytes do, for every compared length.
TEST_F(KeyComparerTest, PlainKeysOrderAsUnsignedBytesAtEveryPosition) {
  const TIndexDefinition d = MakeIndex("I", {test::kName}, false);
  const TKeyComparer comparer(FEngine, d, test::TestFields(), 0);
  const std::string base(d.KeySize, '\x40');
  const unsigned char values[] = {0x00, 0x3F, 0x41, 0x7F, 0x80, 0xFF};
  for (size_t at = 0; at < base.size(); ++at) {
    for (unsigned char v : values) {
      std::string other = base;
      other[at] = static_cast<char>(v);
      const int expected = v < 0x40 ? +1 : -1;
      for (size_t n = 1; n <= base.size(); ++n) {
        const int want = n > at ? expected : 0;
        EXPECT_EQ(comparer.Compare(base.data(), other.data(), n), want) << at << " " << n;
        EXPECT_EQ(comparer.Compare(other.data(), base.data(), n), -want) << at << " " << n;
      }
    }
  }
}

TEST_F(KeyComparerTest, StringsUnderALocaleCompareByCollationAndByBytesUnderLocaleZero) {
  constexpr uint32_t kEnglish = 1033;
  if (!host::IsInstalledLocale(kEnglish)) GTEST_SKIP() << "English collation not available";
  const auto fields = test::TestFields();
  TIndexDefinition d = MakeIndex("I", {test::kName});
  const std::string plain = StringPart("resume", 21);
  const std::string accented = StringPart("r\xe9sum\xe9", 21);  // Windows-1252 e acute
  const std::string upper = StringPart("Zebra", 21);
  const std::string lower = StringPart("apple", 21);
  const std::string null(22, '\0');
  const TKeyComparer english(FEngine, d, fields, kEnglish), bytes(FEngine, d, fields, 0);
  EXPECT_EQ(english.Compare(plain.data(), accented.data(), d.KeySize), 0);
  EXPECT_NE(bytes.Compare(plain.data(), accented.data(), d.KeySize), 0);
  EXPECT_EQ(english.Compare(lower.data(), upper.data(), d.KeySize), -1);  // a before Z
  EXPECT_EQ(bytes.Compare(lower.data(), upper.data(), d.KeySize), +1);    // 'a' > 'Z'
  EXPECT_EQ(english.Compare(null.data(), lower.data(), d.KeySize), -1);
  d.KeyDescendingFields[0] = true;
  const TKeyComparer descending(FEngine, d, fields, kEnglish);
  EXPECT_EQ(descending.Compare(lower.data(), upper.data(), d.KeySize), +1);
  EXPECT_EQ(descending.Compare(null.data(), lower.data(), d.KeySize), +1);
}

TEST_F(KeyComparerTest, UnknownKeyFieldIsAnInvalidDescription) {
  const TIndexDefinition d = MakeIndex("I", {99});
  EXPECT_EQ(test::ErrorCodeOf([&] { TKeyComparer(FEngine, d, test::TestFields(), 0); }),
            CAIRN_INVALIDIDXDESC);
}

}  // namespace
}  // namespace cairn
