#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/data/DataFile.h"
#include "cairn/engine/index/IndexFile.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineError.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/Locales.h"
#include "tests/cursor/CursorTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn {
namespace {

using test::IndexOn;
using test::NewField;
using test::TableParams;
using test::TRow;

class NavigationTest : public test::CursorFixture {
 protected:
  // The RecordIDs of every record in the cursor's current order, forward or backward, checking
  // the answers at the ends.
  static std::vector<int32_t> ReadAll(TDataCursor& cursor, bool forward) {
    std::vector<int32_t> ids;
    TRow row(cursor);
    uint16_t code = forward ? cursor.GetFirstRecord(row.Data()) : cursor.GetLastRecord(row.Data());
    while (code == 0) {
      ids.push_back(row.RecordID());
      code = forward ? cursor.GetNextRecord(row.Data()) : cursor.GetPriorRecord(row.Data());
    }
    EXPECT_EQ(code, forward ? CAIRN_EOF : CAIRN_BOF);
    return ids;
  }
  static std::vector<int32_t> Reversed(std::vector<int32_t> ids) {
    std::reverse(ids.begin(), ids.end());
    return ids;
  }
};

TEST_F(NavigationTest, BothDirectionsInSlotAndIndexOrder) {
  Create("T",
         TableParams({NewField("Num", fld::kInteger), NewField("Day", fld::kTimeStamp)},
                     {IndexOn("ByNum", {1}), IndexOn("ByDayDesc", {2}, false, false, {true})}));
  auto cursor = Open("T");
  TRow row(*cursor);
  EXPECT_EQ(cursor->GetFirstRecord(row.Data()), CAIRN_EOF) << "empty";
  EXPECT_EQ(cursor->GetLastRecord(row.Data()), CAIRN_BOF);
  const int32_t nums[] = {5, 3, 5, 1, 3};
  const double days[] = {2.0, 1.0, 2.0, 3.0, 1.0};
  for (int i = 0; i < 5; ++i) {
    row.Init();
    row.SetInt(1, nums[i]);
    row.SetDouble(2, days[i]);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
  }
  EXPECT_EQ(ReadAll(*cursor, true), (std::vector<int32_t>{1, 2, 3, 4, 5})) << "primary";
  EXPECT_EQ(ReadAll(*cursor, false), (std::vector<int32_t>{5, 4, 3, 2, 1}));
  cursor->SetSlotOrder(true);
  EXPECT_EQ(ReadAll(*cursor, true), (std::vector<int32_t>{1, 2, 3, 4, 5})) << "slots";
  cursor->SetSlotOrder(false);
  cursor->SetIndexName("ByNum");
  // Equal values follow RecordID.
  EXPECT_EQ(ReadAll(*cursor, true), (std::vector<int32_t>{4, 2, 5, 1, 3}));
  EXPECT_EQ(ReadAll(*cursor, false), (std::vector<int32_t>{3, 1, 5, 2, 4}));
  cursor->SetIndexName("ByDayDesc");
  // Larger first; ties still by RecordID ascending.
  EXPECT_EQ(ReadAll(*cursor, true), (std::vector<int32_t>{4, 1, 3, 2, 5}));

  // At the end the cursor stays there; the prior record is the last.
  EXPECT_EQ(cursor->GetNextRecord(row.Data()), CAIRN_EOF);
  ASSERT_EQ(cursor->GetPriorRecord(row.Data()), 0);
  EXPECT_EQ(row.RecordID(), 5);

  // Bookmarks and the current record.
  cursor->SetIndexName("ByNum");
  ASSERT_EQ(cursor->GetFirstRecord(row.Data()), 0);
  ASSERT_EQ(cursor->GetNextRecord(row.Data()), 0);
  const int32_t bookmark = cursor->GetBookmark();
  EXPECT_EQ(bookmark, 2) << "the slot of RecordID 2";
  EXPECT_EQ(cursor->RecordNumber(), 2);
  ASSERT_EQ(cursor->GetLastRecord(row.Data()), 0);
  ASSERT_EQ(cursor->SetToBookmark(bookmark), 0);
  TRow current(*cursor);
  ASSERT_EQ(cursor->GetCurrentRecord(current.Data()), 0);
  EXPECT_EQ(current.RecordID(), 2);
  ASSERT_EQ(cursor->GetNextRecord(row.Data()), 0);
  EXPECT_EQ(row.RecordID(), 5) << "continues in index order from the bookmark";
  EXPECT_EQ(cursor->SetToBookmark(99), CAIRN_KEYORRECDELETED);
  // Switching the index keeps the record: RecordID 5 is the last in the primary index.
  cursor->SetIndexPos(0);
  EXPECT_EQ(cursor->GetNextRecord(row.Data()), CAIRN_EOF);
  ASSERT_EQ(cursor->SetToBookmark(bookmark), 0);
  ASSERT_EQ(cursor->GetPriorRecord(row.Data()), 0);
  EXPECT_EQ(row.RecordID(), 1);
}

TEST_F(NavigationTest, CheckErrorRaisesTheCode) {
  Create("T", TableParams({NewField("Num", fld::kInteger)}));
  auto cursor = Open("T");
  EXPECT_NO_THROW(cursor->CheckError(0));
  EXPECT_EQ(test::EngineErrorCode([&] { cursor->CheckError(CAIRN_EOF); }), CAIRN_EOF);
}

// 20 000 records with random keys, read back through every index in both directions, equal to
// the same rows sorted here; then again after the table was closed and reopened.
TEST_F(NavigationTest, ManyRecordsInEveryIndexOrder) {
  constexpr int32_t kLocale = 1033;
  constexpr int kRecords = 20000;
  Create("T", TableParams({NewField("Name", fld::kString, 12), NewField("Num", fld::kInteger),
                           NewField("Stamp", fld::kTimeStamp), NewField("Code", fld::kString, 8)},
                          {IndexOn("ByName", {1}), IndexOn("ByNum", {2}),
                           IndexOn("ByStampDesc", {3}, false, false, {true}),
                           IndexOn("ByCode", {4}, true, true)},
                          kLocale));
  struct TRowValues {
    int32_t id;
    std::string name, code, upperCode;
    int32_t num;
    double stamp;
  };
  std::mt19937 random(7);
  const std::string letters = "abcdeABCDE\xE9\xC9";  // accents and case make collation matter
  std::vector<TRowValues> rows;
  std::vector<int> codes(kRecords);
  for (int i = 0; i < kRecords; ++i) codes[static_cast<size_t>(i)] = i;
  std::shuffle(codes.begin(), codes.end(), random);
  {
    auto cursor = Open("T");
    TRow row(*cursor);
    for (int i = 0; i < kRecords; ++i) {
      TRowValues values;
      values.id = i + 1;
      for (int k = 0; k < 1 + static_cast<int>(random() % 4); ++k) {
        values.name += letters[random() % letters.size()];
      }
      values.num = static_cast<int32_t>(random() % 1000) - 500;
      values.stamp = static_cast<double>(random() % 5000) * 86400000.0;
      // Unique ignoring case: the number decides, the letter's case varies.
      values.code = std::string(1, (random() % 2) ? 'k' : 'K') + std::to_string(codes[i]);
      values.upperCode = host::LocaleUpperCase(kLocale, values.code);
      row.Init();
      row.SetText(1, values.name);
      row.SetInt(2, values.num);
      row.SetDouble(3, values.stamp);
      row.SetText(4, values.code);
      ASSERT_TRUE(cursor->AppendRecord(row.Data()));
      rows.push_back(values);
    }
  }
  const auto sortedIds = [&](auto less) {
    std::vector<TRowValues> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(), less);  // ties keep RecordID order
    std::vector<int32_t> ids;
    for (const TRowValues& r : sorted) ids.push_back(r.id);
    return ids;
  };
  const std::vector<std::pair<std::string, std::vector<int32_t>>> expected = {
      {"", sortedIds([](const TRowValues&, const TRowValues&) { return false; })},
      {"ByName", sortedIds([&](const TRowValues& a, const TRowValues& b) {
         return host::CompareLocaleStrings(kLocale, a.name, b.name) < 0;
       })},
      {"ByNum", sortedIds([](const TRowValues& a, const TRowValues& b) { return a.num < b.num; })},
      {"ByStampDesc",
       sortedIds([](const TRowValues& a, const TRowValues& b) { return a.stamp > b.stamp; })},
      {"ByCode", sortedIds([&](const TRowValues& a, const TRowValues& b) {
         return host::CompareLocaleStrings(kLocale, a.upperCode, b.upperCode) < 0;
       })},
  };
  for (int pass = 0; pass < 2; ++pass) {  // as written, then from the files
    auto cursor = Open("T");
    EXPECT_EQ(cursor->DataTable()->DataFile().RecordCount(), kRecords);
    for (const auto& [index, ids] : expected) {
      SCOPED_TRACE(index);
      cursor->SetIndexName(index);
      EXPECT_TRUE(ReadAll(*cursor, true) == ids);
      EXPECT_TRUE(ReadAll(*cursor, false) == Reversed(ids));
    }
  }
}

// Three cursors walk different orders of one table, step by step in turn, through an index
// cache of two pages and a data cache of four slots: the leaf one walker reads evicts the leaf
// the next one stands on (whose buffer then holds another page), and each walker still sees
// every record once, in order.
TEST_F(NavigationTest, InterleavedWalksThroughCachesOfFewBuffers) {
  FEngine.SetMaxIndexBufferCount(2);
  FEngine.SetMaxDataBufferCount(4);
  constexpr int32_t kRecords = 3000;
  Create("T", TableParams({NewField("Num", fld::kInteger), NewField("Other", fld::kInteger)},
                          {IndexOn("ByNum", {1}), IndexOn("ByOther", {2})}));
  std::vector<int32_t> nums(kRecords);
  for (int32_t i = 0; i < kRecords; ++i) nums[static_cast<size_t>(i)] = i;
  std::shuffle(nums.begin(), nums.end(), std::mt19937(11));
  {
    auto cursor = Open("T", false);
    TRow row(*cursor);
    for (int32_t num : nums) {
      row.Init();
      row.SetInt(1, num);
      row.SetInt(2, num * 7919 % kRecords);  // another permutation of the same numbers
      ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    }
  }
  struct TWalk {
    std::unique_ptr<TDataCursor> Cursor;
    TRow Row;
    std::function<int32_t(const TRow&)> Rank;  // 0 ... kRecords - 1 in the walk's order
  };
  std::vector<std::unique_ptr<TWalk>> walks;
  for (const std::string index : {"", "ByNum", "ByOther"}) {
    auto cursor = Open("T", false);
    cursor->SetIndexName(index);
    TRow row(*cursor);
    std::function<int32_t(const TRow&)> rank;
    if (index.empty()) rank = [](const TRow& r) { return r.RecordID() - 1; };
    if (index == "ByNum") rank = [](const TRow& r) { return r.Int(1); };
    if (index == "ByOther") rank = [](const TRow& r) { return r.Int(2); };
    walks.push_back(std::make_unique<TWalk>(TWalk{std::move(cursor), row, rank}));
  }
  for (auto& walk : walks) ASSERT_EQ(walk->Cursor->GetFirstRecord(walk->Row.Data()), 0);
  for (int32_t expected = 0; expected < kRecords; ++expected) {
    for (auto& walk : walks) {
      ASSERT_EQ(walk->Rank(walk->Row), expected);
      ASSERT_EQ(walk->Cursor->GetNextRecord(walk->Row.Data()),
                expected + 1 < kRecords ? 0 : CAIRN_EOF);
    }
  }
  // The leaves did leave the cache between the steps: they were read again and again.
  EXPECT_GT(walks[0]->Cursor->DataTable()->IndexFile().CacheMisses(), kRecords);
}

// An exclusive cursor walking a table its data cache holds little of reads the records of the
// entries ahead together, in slot order: far fewer calls than records, in either order and
// direction, with the batch's memory inside the data budget. A step back and forth leaves the
// batch and still finds the right records.
TEST_F(NavigationTest, ExclusiveWalksReadRecordsAheadInFewCalls) {
  constexpr int32_t kRecords = 20000;
  Create("T", TableParams({NewField("Num", fld::kInteger)}, {IndexOn("ByNum", {1})}));
  std::vector<int32_t> nums(kRecords);
  for (int32_t i = 0; i < kRecords; ++i) nums[static_cast<size_t>(i)] = i;
  std::shuffle(nums.begin(), nums.end(), std::mt19937(3));
  auto walker = Open("T");
  TRow row(*walker);
  for (int32_t num : nums) {
    row.Init();
    row.SetInt(1, num);
    ASSERT_TRUE(walker->AppendRecord(row.Data()));
  }
  TDataFile& file = walker->DataTable()->DataFile();
  file.FlushBuffers();
  file.FreeBuffers();  // the walks start from the file
  for (const std::string index : {"", "ByNum"}) {
    SCOPED_TRACE(index);
    walker->SetIndexName(index);
    const auto rank = [&](const TRow& r) { return index.empty() ? r.RecordID() - 1 : r.Int(1); };
    for (const bool forward : {true, false}) {
      const int64_t readsBefore = file.Reads();
      int32_t expected = forward ? 0 : kRecords - 1;
      uint16_t code =
          forward ? walker->GetFirstRecord(row.Data()) : walker->GetLastRecord(row.Data());
      for (; code == 0; expected += forward ? 1 : -1) {
        ASSERT_EQ(rank(row), expected);
        if (expected == kRecords / 2) {
          EXPECT_GT(file.ReservedBytes(), 0);
          EXPECT_LE(file.ReservedBytes(), file.MaximumBufferBytes());
          EXPECT_LE(file.CacheBytes(),
                    file.MaximumBufferBytes() + TBufferedFile::kByteBudgetTolerance);
        }
        code = forward ? walker->GetNextRecord(row.Data()) : walker->GetPriorRecord(row.Data());
      }
      EXPECT_EQ(code, forward ? CAIRN_EOF : CAIRN_BOF);
      EXPECT_EQ(expected, forward ? kRecords : -1);
      EXPECT_LT(file.Reads() - readsBefore, kRecords / 20);
    }
  }
  // Back and forth in the middle of a walk.
  ASSERT_EQ(walker->GetFirstRecord(row.Data()), 0);
  for (int32_t i = 1; i <= 1000; ++i) ASSERT_EQ(walker->GetNextRecord(row.Data()), 0);
  for (const int32_t step : {-1, -1, 1, 1, 1, -1, 1}) {
    const int32_t at = row.Int(1);
    ASSERT_EQ(step < 0 ? walker->GetPriorRecord(row.Data()) : walker->GetNextRecord(row.Data()), 0);
    ASSERT_EQ(row.Int(1), at + step);
  }
}

// With budgets that could hold the whole table, a walk starting from the files still reads
// ahead in batches rather than taking a buffer per record, and keeps neither the records nor
// the leaves it has gone past. A walk in slot order stops growing its batch once one read
// fills it; a scattered one grows on.
TEST_F(NavigationTest, WalksWithLargeBudgetsReadAheadAndKeepTheCachesSmall) {
  constexpr int32_t kRecords = 20000;
  FEngine.SetMaxDataBufferSize(16 << 20);
  FEngine.SetMaxDataBufferCount(1 << 20);
  FEngine.SetMaxIndexBufferSize(16 << 20);
  FEngine.SetMaxIndexBufferCount(1 << 20);
  Create("T", TableParams({NewField("Num", fld::kInteger), NewField("Pad", fld::kString, 200)},
                          {IndexOn("ByNum", {1})}));
  std::vector<int32_t> nums(kRecords);
  for (int32_t i = 0; i < kRecords; ++i) nums[static_cast<size_t>(i)] = i;
  std::shuffle(nums.begin(), nums.end(), std::mt19937(7));
  auto walker = Open("T");
  TRow row(*walker);
  for (int32_t num : nums) {
    row.Init();
    row.SetInt(1, num);
    row.SetText(2, "pad");
    ASSERT_TRUE(walker->AppendRecord(row.Data()));
  }
  TDataFile& data = walker->DataTable()->DataFile();
  TIndexFile& index = walker->DataTable()->IndexFile();
  for (const std::string name : {"", "ByNum"}) {
    SCOPED_TRACE(name);
    for (TBufferedFile* file :
         {static_cast<TBufferedFile*>(&data), static_cast<TBufferedFile*>(&index)}) {
      file->FlushBuffers();
      file->FreeBuffers();
    }
    walker->SetIndexName(name);
    const int64_t readsBefore = data.Reads();
    int64_t mostReserved = 0;
    int32_t expected = 0;
    for (uint16_t code = walker->GetFirstRecord(row.Data()); code == 0;
         code = walker->GetNextRecord(row.Data()), ++expected) {
      ASSERT_EQ(name.empty() ? row.RecordID() - 1 : row.Int(1), expected);
      mostReserved = std::max(mostReserved, data.ReservedBytes());
    }
    EXPECT_EQ(expected, kRecords);
    EXPECT_LT(data.Reads() - readsBefore, kRecords / 20);
    EXPECT_LT(data.BufferCount(), static_cast<size_t>(kRecords / 20));
    EXPECT_LT(index.BufferCount(), static_cast<size_t>(index.IOBlocksUsed() / 4));
    // Slot order: a batch of a few gathering reads' worth; scattered: far more.
    const int64_t oneRead = TBufferedFile::kMaxGatherBytes;
    if (name.empty()) {
      EXPECT_LT(mostReserved, 4 * oneRead);
    } else {
      EXPECT_GT(mostReserved, 4 * oneRead);
    }
  }
}

// An exclusive writer's cache is trimmed after every post, freeing pages: the leaf the last step
// ended on may be gone when the cursor steps on from the record it just stored.
TEST_F(NavigationTest, StepAfterAPostThatFreedTheLastLeaf) {
  FEngine.SetMaxIndexBufferCount(2);
  constexpr int32_t kEvens = 2000;
  Create("T", TableParams({NewField("Num", fld::kInteger)}, {IndexOn("ByNum", {1})}));
  std::vector<int32_t> odds;
  auto cursor = Open("T");
  TRow row(*cursor);
  for (int32_t i = 0; i < kEvens; ++i) {
    row.Init();
    row.SetInt(1, 2 * i);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    odds.push_back(2 * i + 1);
  }
  odds.pop_back();  // every odd number stored has an even successor
  std::shuffle(odds.begin(), odds.end(), std::mt19937(5));
  cursor->SetIndexName("ByNum");
  ASSERT_EQ(cursor->GetFirstRecord(row.Data()), 0);
  for (int32_t odd : odds) {
    const uint16_t code = cursor->GetNextRecord(row.Data());  // ends its walk on a leaf
    ASSERT_TRUE(code == 0 || code == CAIRN_EOF);
    row.Init();
    row.SetInt(1, odd);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    ASSERT_EQ(cursor->GetNextRecord(row.Data()), 0);
    ASSERT_EQ(row.Int(1), odd + 1);
  }
}

TEST_F(NavigationTest, StepsFollowTheTreeChangingBetweenThem) {
  constexpr int32_t kLast = 3999;
  for (const bool forward : {true, false}) {
    SCOPED_TRACE(forward ? "forward" : "backward");
    const std::string name = forward ? "F" : "B";
    Create(name, TableParams({NewField("Num", fld::kInteger)}, {IndexOn("ByNum", {1})}));
    auto walker = Open(name, false);
    auto writer = Open(name, false);
    walker->SetIndexName("ByNum");
    TRow row(*walker);
    TRow values(*writer);
    const auto append = [&](int32_t first) {
      for (int32_t num = first; num <= kLast; num += 2) {
        values.Init();
        values.SetInt(1, num);
        ASSERT_TRUE(writer->AppendRecord(values.Data()));
      }
    };
    const auto step = [&] {
      return forward ? walker->GetNextRecord(row.Data()) : walker->GetPriorRecord(row.Data());
    };
    append(0);  // the even numbers
    const int32_t stop = forward ? 1000 : 3000;
    ASSERT_EQ(forward ? walker->GetFirstRecord(row.Data()) : walker->GetLastRecord(row.Data()), 0);
    for (int32_t num = forward ? 0 : kLast - 1; num != stop; num += forward ? 2 : -2) {
      ASSERT_EQ(row.Int(1), num);
      ASSERT_EQ(step(), 0);
    }
    append(1);  // the odd numbers split every leaf, the walker's too
    for (int32_t num = stop + (forward ? 1 : -1); num >= 0 && num <= kLast;
         num += forward ? 1 : -1) {
      ASSERT_EQ(step(), 0);
      ASSERT_EQ(row.Int(1), num);
    }
    EXPECT_EQ(step(), forward ? CAIRN_EOF : CAIRN_BOF);
  }
}

// A shared reader sees what another process stored since its last read.
TEST_F(NavigationTest, SharedReaderSeesRecordsOfAnotherProcess) {
  Create("T", TableParams({NewField("Num", fld::kInteger)}, {IndexOn("ByNum", {1})}));
  auto reader = Open("T", false);
  reader->SetIndexName("ByNum");
  TRow row(*reader);
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataDirectory& directory = OpenDirectory(session);
    auto writer = OpenIn(directory, "T", false);
    TRow values(*writer);
    for (int32_t num : {20, 10}) {
      if (channel.Receive() != 'w') return 1;
      values.Init();
      values.SetInt(1, num);
      writer->AppendRecord(values.Data());
      channel.Send('d');
    }
    return 0;
  });
  child.Send('w');
  ASSERT_EQ(child.Receive(), 'd');
  ASSERT_EQ(reader->GetFirstRecord(row.Data()), 0);
  EXPECT_EQ(row.Int(1), 20);
  EXPECT_EQ(reader->GetNextRecord(row.Data()), CAIRN_EOF);
  child.Send('w');
  ASSERT_EQ(child.Receive(), 'd');
  EXPECT_EQ(ReadAll(*reader, true), (std::vector<int32_t>{2, 1}));
  EXPECT_EQ(child.Wait(), 0);
}

// Two processes append 500 records each to one shared table while a third reads through an
// index; every record read must be whole (its hash matches its fields) and in order.
TEST_F(NavigationTest, ConcurrentWritersAndAReader) {
  constexpr int kEach = 500;
  Create("T", TableParams({NewField("Writer", fld::kInteger), NewField("Num", fld::kInteger),
                           NewField("Text", fld::kString, 20)},
                          {IndexOn("ByNum", {2}), IndexOn("ByText", {3}, true)}));
  const auto patient = [](TDataEngine& engine, TDataSession& session) {
    engine.SetWriteLockRetries(30000);
    engine.SetWriteLockWaitTime(1);
    engine.SetReadLockRetries(30000);
    engine.SetReadLockWaitTime(1);
    session.SetLockRetries(200);
    session.SetLockWait(5);
  };
  std::vector<std::unique_ptr<test::TChildProcess>> writers;
  for (int w = 1; w <= 2; ++w) {
    writers.push_back(std::make_unique<test::TChildProcess>([&, w](test::TChannel& channel) {
      TDataSession& session = test::FreshChildSession(FEngine);
      patient(FEngine, session);
      TDataDirectory& directory = OpenDirectory(session);
      auto cursor = OpenIn(directory, "T", false);
      if (channel.Receive() != 'g') return 1;
      TRow row(*cursor);
      for (int i = 0; i < kEach; ++i) {
        row.Init();
        row.SetInt(1, w);
        row.SetInt(2, (i * 7919 + w) % 300);
        row.SetText(3, "w" + std::to_string(w) + "-" + std::to_string(i));
        if (!cursor->AppendRecord(row.Data())) return 2;
      }
      return 0;
    }));
  }
  test::TChildProcess reader([&](test::TChannel& channel) {
    TDataSession& session = test::FreshChildSession(FEngine);
    patient(FEngine, session);
    TDataDirectory& directory = OpenDirectory(session);
    auto cursor = OpenIn(directory, "T", false);
    cursor->SetIndexName("ByNum");
    if (channel.Receive() != 'g') return 1;
    TRow row(*cursor);
    for (int pass = 0; pass < 40; ++pass) {
      int32_t lastNum = INT32_MIN, lastId = 0;
      for (uint16_t code = cursor->GetFirstRecord(row.Data()); code == 0;
           code = cursor->GetNextRecord(row.Data())) {
        TMD5Digest hash;
        std::memcpy(hash.Bytes.data(), row.Data() + 9, 16);
        if (hash != MD5Digest(row.Data() + 25, cursor->RecordSize() - 25u)) return 3;  // torn
        const int32_t num = row.Int(2);
        if (num < lastNum || (num == lastNum && row.RecordID() <= lastId)) return 4;
        lastNum = num;
        lastId = row.RecordID();
      }
    }
    return 0;
  });
  for (auto& writer : writers) writer->Send('g');
  reader.Send('g');
  for (auto& writer : writers) EXPECT_EQ(writer->Wait(), 0);
  EXPECT_EQ(reader.Wait(), 0);

  auto cursor = Open("T", false);
  cursor->DataTable()->CheckHeaders();
  EXPECT_EQ(cursor->DataTable()->DataFile().RecordCount(), 2 * kEach);
  std::set<int32_t> ids;
  for (const char* index : {"", "ByNum", "ByText"}) {
    SCOPED_TRACE(index);
    cursor->SetIndexName(index);
    const std::vector<int32_t> forward = ReadAll(*cursor, true);
    EXPECT_EQ(forward.size(), 2u * kEach);
    EXPECT_EQ(ReadAll(*cursor, false), Reversed(forward));
    ids.insert(forward.begin(), forward.end());
  }
  EXPECT_EQ(ids.size(), 2u * kEach) << "distinct RecordIDs";
  // Order within the indexes.
  cursor->SetIndexName("ByText");
  TRow row(*cursor);
  std::string last;
  for (uint16_t code = cursor->GetFirstRecord(row.Data()); code == 0;
       code = cursor->GetNextRecord(row.Data())) {
    EXPECT_LT(last, row.Text(3));
    last = row.Text(3);
  }
}

}  // namespace
}  // namespace cairn
