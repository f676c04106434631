#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/blob/BlobFile.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/index/IndexFile.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineError.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/DateTime.h"
#include "cairn/host/OsError.h"
#include "tests/cursor/CursorTestSupport.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/FaultInjectingFiles.h"

namespace cairn {
namespace {

using test::EngineErrorCode;
using test::IndexOn;
using test::NewField;
using test::TableParams;
using test::TRow;

TFieldDefinition Bounded(TFieldDefinition field, const std::string& minimum,
                         const std::string& maximum, bool required = false) {
  field.Minimum = minimum;
  field.Maximum = maximum;
  field.Required = required;
  return field;
}

// Files of the engine replaced for a scope, so that a failing test still leaves before the files
// go.
class THostFilesScope {
 public:
  THostFilesScope(TDataEngine& engine, host::THostFiles& files) : FEngine(engine) {
    FEngine.SetHostFiles(&files);
  }
  ~THostFilesScope() { FEngine.SetHostFiles(nullptr); }
  THostFilesScope(const THostFilesScope&) = delete;
  THostFilesScope& operator=(const THostFilesScope&) = delete;

 private:
  TDataEngine& FEngine;
};

class AppendRecordTest : public test::CursorFixture {
 protected:
  // The three files as they are on disk once the table's cache is flushed, with the header
  // stamps, the data file's time of last update and its copy of the in-memory dirty flag
  // blanked (they move with every write).
  std::string Snapshot(TDataCursor& cursor, const std::string& name) {
    cursor.DataTable()->FlushBuffers(false, true, true, true, false);
    std::string data = test::ReadDiskFile(File(name + ".dat"));
    std::string index = test::ReadDiskFile(File(name + ".idx"));
    std::string blob =
        test::Exists(File(name + ".blb")) ? test::ReadDiskFile(File(name + ".blb")) : std::string();
    data.replace(0, 4, 4, '\0');
    data.replace(63, 8, 8, '\0');
    data[197] = 0;
    index.replace(0, 4, 4, '\0');
    if (!blob.empty()) blob.replace(0, 4, 4, '\0');
    return data + "|" + index + "|" + blob;
  }
  // Where two snapshots first differ ("" when equal), without printing whole files.
  static std::string Difference(const std::string& a, const std::string& b) {
    if (a == b) return "";
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    return "sizes " + std::to_string(a.size()) + "/" + std::to_string(b.size()) +
           ", first difference at " + std::to_string(at) + " (files joined by '|')";
  }
  static int32_t Count(TDataCursor& cursor) { return cursor.DataTable()->DataFile().RecordCount(); }
};

TEST_F(AppendRecordTest, RecordsTakeSlotsAndRecordIdsInOrder) {
  Create("T", TableParams({NewField("Id", fld::kInteger)}));
  auto cursor = Open("T");
  TRow row(*cursor);
  for (int32_t n = 1; n <= 3; ++n) {
    row.Init();
    row.SetInt(1, n * 10);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    EXPECT_EQ(row.SlotNumber(), n) << "the caller learns the slot";
    EXPECT_EQ(cursor->RecordNumber(), n) << "the cursor is on the new record";
    const TDataFile& file = cursor->DataTable()->DataFile();
    EXPECT_EQ(file.RecordCount(), n);
    EXPECT_EQ(file.LastRecordID(), n);
    EXPECT_EQ(file.NextEndingRecord(), n + 1);
  }
  const int64_t sizeBefore = test::SizeOf(File("T.dat"));
  const uint16_t length = cursor->RecordSize();
  cursor->CloseCursor();
  // Exclusive: nothing reached the disk before the close.
  EXPECT_GT(test::SizeOf(File("T.dat")), sizeBefore);
  const std::string data = test::ReadDiskFile(File("T.dat"));
  const size_t slots = 512 + 768;
  ASSERT_EQ(data.size(), slots + 3u * length);
  for (int32_t n = 1; n <= 3; ++n) {
    const size_t at = slots + static_cast<size_t>(n - 1) * length;
    EXPECT_EQ(data[at], 0) << "live";
    EXPECT_EQ(test::Int32At(data, at + 1), 0) << "no record number kept";
    EXPECT_EQ(test::Int32At(data, at + 5), n) << "RecordID";
    EXPECT_EQ(data[at + 25], 1) << "present";
    EXPECT_EQ(test::Int32At(data, at + 26), n * 10);
  }
}

// Right after an append the record is read back from the image the append kept; it must be what
// a read of the slot gives (the stored bytes with the slot number at 1-4), also once the cache
// held the slot no longer, and after a failed append rolled the files back.
TEST_F(AppendRecordTest, TheRecordReadBackAfterAnAppendIsTheStoredOne) {
  Create("T", TableParams({NewField("Id", fld::kInteger), NewField("Name", fld::kString, 20)},
                          {IndexOn("ById", {1}, true)}));
  auto cursor = Open("T");
  const uint16_t length = cursor->RecordSize();
  std::vector<std::string> readBack;
  for (int32_t n = 1; n <= 4; ++n) {
    TRow row(*cursor);
    row.Init();
    row.SetInt(1, n == 4 ? 1 : n);  // the fourth repeats a unique key and fails
    row.SetText(2, "name " + std::to_string(n));
    if (n == 4) {
      EXPECT_EQ(EngineErrorCode([&] { cursor->AppendRecord(row.Data()); }), CAIRN_KEYVIOL);
    } else {
      ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    }
    if (n == 2) {
      // The cache written and dropped: the slot is read from the disk again.
      cursor->DataTable()->FlushBuffers(false, true, true, true, false);
      cursor->DataTable()->DataFile().FreeBuffers();
    }
    TRow stored(*cursor);
    ASSERT_EQ(cursor->GetCurrentRecord(stored.Data()), 0);
    EXPECT_EQ(test::Int32At(std::string(stored.Data(), length), 1), std::min(n, 3));
    if (n <= 3) readBack.emplace_back(stored.Data(), length);
  }
  // Read again through the slots, then from the disk after the close.
  for (int32_t n = 1; n <= 3; ++n) {
    TRow stored(*cursor);
    ASSERT_EQ(cursor->SetToBookmark(n), 0);
    ASSERT_EQ(cursor->GetCurrentRecord(stored.Data()), 0);
    EXPECT_EQ(std::string(stored.Data(), length), readBack[n - 1]) << n;
  }
  cursor->CloseCursor();
  const std::string data = test::ReadDiskFile(File("T.dat"));
  ASSERT_GT(data.size(), 3u * length);
  const size_t slots = data.size() - 3u * length;  // the three slots end the file
  for (int32_t n = 1; n <= 3; ++n) {
    std::string onDisk = data.substr(slots + static_cast<size_t>(n - 1) * length, length);
    ASSERT_EQ(onDisk.size(), length);
    EncodeInt32(onDisk.data() + 1, n);
    EXPECT_EQ(onDisk, readBack[n - 1]) << n;
  }
}

TEST_F(AppendRecordTest, SharedCursorWritesAtOnce) {
  Create("T", TableParams({NewField("Id", fld::kInteger)}));
  auto cursor = Open("T", false);
  TRow row(*cursor);
  row.Init();
  ASSERT_TRUE(cursor->AppendRecord(row.Data()));
  const std::string data = test::ReadDiskFile(File("T.dat"));
  ASSERT_EQ(data.size(), 512u + 768u + cursor->RecordSize());
  EXPECT_EQ(test::Int32At(data, 41), 1) << "RecordCount in the header on disk";
  EXPECT_EQ(test::Int32At(data, 512 + 768 + 5), 1);
}

TEST_F(AppendRecordTest, IdenticalRowsHaveIdenticalHashes) {
  TFieldDefinition hidden = NewField("Hidden", fld::kInteger);
  hidden.Hidden = true;
  for (bool withBlob : {false, true}) {
    SCOPED_TRACE(withBlob);
    const std::string name = withBlob ? "B" : "P";
    std::vector<TFieldDefinition> fields = {NewField("Name", fld::kString, 10), hidden};
    if (withBlob) fields.push_back(NewField("Memo", fld::kBlob, 0, fld::kSubMemo));
    Create(name, TableParams(fields));
    auto cursor = Open(name);
    std::vector<TMD5Digest> hashes;
    for (int32_t hiddenValue : {1, 1, 2}) {
      TRow row(*cursor);
      row.Init();
      row.SetText(1, "same");
      row.SetInt(2, hiddenValue);
      ASSERT_TRUE(cursor->AppendRecord(row.Data()));
      TRow stored(*cursor);
      ASSERT_EQ(cursor->GetCurrentRecord(stored.Data()), 0);
      TMD5Digest hash;
      std::memcpy(hash.Bytes.data(), stored.Data() + 9, 16);
      hashes.push_back(hash);
      if (!withBlob) {
        EXPECT_EQ(hash, MD5Digest(stored.Data() + 25, cursor->RecordSize() - 25u));
      }
    }
    EXPECT_EQ(hashes[0], hashes[1]) << "RecordID and slot never enter the hash";
    // A hidden field counts only in a table without blob fields.
    EXPECT_EQ(hashes[1] == hashes[2], withBlob);
  }
}

TEST_F(AppendRecordTest, AutoIncrementValues) {
  TTableCreateParams params = TableParams({NewField("Id", fld::kInteger, 0, fld::kSubAutoInc),
                                           NewField("Other", fld::kInteger, 0, fld::kSubAutoInc)});
  params.LastAutoIncValue = 5;
  Create("T", params);
  auto cursor = Open("T");
  TRow row(*cursor);
  const struct {
    std::optional<int32_t> given;
    int32_t stored, other, last;
  } steps[] = {{std::nullopt, 6, 6, 6}, {100, 100, 7, 100}, {std::nullopt, 101, 101, 101}};
  for (const auto& step : steps) {
    row.Init();
    if (step.given) row.SetInt(1, *step.given);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    TRow stored(*cursor);
    ASSERT_EQ(cursor->GetCurrentRecord(stored.Data()), 0);
    EXPECT_EQ(stored.Int(1), step.stored);
    EXPECT_EQ(stored.Int(2), step.other) << "all null fields of one record get one value";
    EXPECT_EQ(cursor->DataTable()->DataFile().LastAutoIncID(), step.last);
  }
  // Keeping the record's values: a null stays null.
  row.Init();
  ASSERT_TRUE(cursor->AppendRecord(row.Data(), true, true, false, true));
  TRow stored(*cursor);
  ASSERT_EQ(cursor->GetCurrentRecord(stored.Data()), 0);
  EXPECT_TRUE(stored.IsNull(1));
}

TEST_F(AppendRecordTest, ValidityChecks) {
  Create("T", TableParams({Bounded(NewField("Req", fld::kString, 10), "", "", true),          // 1
                           Bounded(NewField("Text", fld::kString, 10), "b", "m"),             // 2
                           Bounded(NewField("Num", fld::kInteger), "-5", "10"),               // 3
                           Bounded(NewField("Flag", fld::kBoolean), "TRUE", ""),              // 4
                           Bounded(NewField("Off", fld::kBoolean), "", "FALSE"),              // 5
                           Bounded(NewField("Day", fld::kDate), "2000-01-01", "2000-12-31"),  // 6
                           Bounded(NewField("Money", fld::kFloat), "-1.5", "")}));            // 7
  auto cursor = Open("T");
  EXPECT_TRUE(cursor->HasValidityChecks());
  TRow row(*cursor);
  const auto valid = [&] {
    row.Init();
    row.SetText(1, "x");
    row.SetText(2, "c");
    row.SetInt(3, 0);
  };
  char yes[2], no[2];
  EncodeFixed16(yes, 1);
  EncodeFixed16(no, 0);
  const struct {
    const char* what;
    std::function<void()> change;
    uint16_t code;
    const char* field;
  } cases[] = {
      {"valid", [] {}, 0, ""},
      {"required spaces", [&] { row.SetText(1, "   "); }, CAIRN_REQDERR, "Req"},
      {"null string below a text minimum", [&] { row.SetNull(2); }, CAIRN_MINVALERR, "Text"},
      {"string at the minimum", [&] { row.SetText(2, "b"); }, 0, ""},
      {"string above", [&] { row.SetText(2, "n"); }, CAIRN_MAXVALERR, "Text"},
      {"null integer passes", [&] { row.SetNull(3); }, 0, ""},
      {"integer at the maximum", [&] { row.SetInt(3, 10); }, 0, ""},
      {"integer above", [&] { row.SetInt(3, 11); }, CAIRN_MAXVALERR, "Num"},
      {"integer below", [&] { row.SetInt(3, -6); }, CAIRN_MINVALERR, "Num"},
      {"false below a TRUE minimum", [&] { cursor->PutField(4, row.Data(), no); }, CAIRN_MINVALERR,
       "Flag"},
      {"true at a TRUE minimum", [&] { cursor->PutField(4, row.Data(), yes); }, 0, ""},
      {"true above a FALSE maximum", [&] { cursor->PutField(5, row.Data(), yes); }, CAIRN_MAXVALERR,
       "Off"},
      {"date inside", [&] { row.SetInt(6, host::DateToDayNumber(2000, 6, 1)); }, 0, ""},
      {"date after", [&] { row.SetInt(6, host::DateToDayNumber(2001, 1, 1)); }, CAIRN_MAXVALERR,
       "Day"},
      {"float below", [&] { row.SetDouble(7, -1.75); }, CAIRN_MINVALERR, "Money"},
  };
  int32_t stored = 0;
  for (const auto& c : cases) {
    valid();
    c.change();
    try {
      cursor->AppendRecord(row.Data());
      EXPECT_EQ(c.code, 0) << c.what;
      ++stored;
    } catch (const ECairnEngineError& error) {
      EXPECT_EQ(error.ErrorCode(), c.code) << c.what;
      EXPECT_EQ(error.ErrorFieldName(), c.field) << c.what;
    }
    EXPECT_EQ(Count(*cursor), stored) << c.what;
  }
}

TEST_F(AppendRecordTest, UniqueIndexesRefuseDuplicates) {
  for (int32_t locale : {0, 1033}) {
    SCOPED_TRACE(locale);
    const std::string name = "T" + std::to_string(locale);
    TFieldDefinition guid = NewField("Guid", fld::kString, 38, fld::kSubGuid);
    guid.Default = "CURRENT_GUID";
    TTableCreateParams params =
        TableParams({guid, NewField("Name", fld::kString, 10), NewField("Code", fld::kString, 10)},
                    {IndexOn("ByName", {2}, true, true), IndexOn("ByCode", {3}, true)}, locale);
    params.PrimaryIndex = IndexOn("", {1}, true);
    Create(name, params);
    auto cursor = Open(name);
    TRow row(*cursor);
    const auto post = [&](const std::string& text, const std::string& code) {
      row.Init();
      row.SetText(2, text);
      row.SetText(3, code);
      try {
        cursor->AppendRecord(row.Data());
        return std::string("stored");
      } catch (const ECairnEngineError& error) {
        EXPECT_EQ(error.ErrorCode(), CAIRN_KEYVIOL);
        return error.ErrorIndexName();
      }
    };
    EXPECT_EQ(post("abc", "r\xE9sum\xE9"), "stored");
    EXPECT_EQ(post("x", "y"), "stored") << "every CURRENT_GUID differs";
    EXPECT_EQ(post("ABC", "z"), "ByName") << "case ignored";
    EXPECT_EQ(post("q", "resume"), locale == 0 ? "stored" : "ByCode") << "accents";
    const int32_t before = Count(*cursor);
    // A null GUID: the first one is stored, the second collides in the primary index.
    row.Init();
    row.SetNull(1);
    row.SetText(2, "n1");
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    row.Init();
    row.SetNull(1);
    row.SetText(2, "n2");
    try {
      cursor->AppendRecord(row.Data());
      ADD_FAILURE() << "second null key stored";
    } catch (const ECairnEngineError& error) {
      EXPECT_EQ(error.ErrorCode(), CAIRN_KEYVIOL);
      EXPECT_EQ(error.ErrorIndexName(), "Primary");
    }
    EXPECT_EQ(Count(*cursor), before + 1);
  }
}

TEST_F(AppendRecordTest, FailedPostLeavesTheTableAsItWasAndTheNextSucceeds) {
  Create("T", TableParams({NewField("Name", fld::kString, 10)}, {IndexOn("ByName", {1}, true)}));
  auto cursor = Open("T", false);
  TRow row(*cursor);
  row.Init();
  row.SetText(1, "a");
  ASSERT_TRUE(cursor->AppendRecord(row.Data()));
  const std::string before = Snapshot(*cursor, "T");
  EXPECT_EQ(EngineErrorCode([&] { cursor->AppendRecord(row.Data()); }), CAIRN_KEYVIOL);
  EXPECT_EQ(Difference(Snapshot(*cursor, "T"), before), "");
  row.SetText(1, "b");
  ASSERT_TRUE(cursor->AppendRecord(row.Data()));
  EXPECT_EQ(row.SlotNumber(), 2);
  TRow stored(*cursor);
  ASSERT_EQ(cursor->GetCurrentRecord(stored.Data()), 0);
  EXPECT_EQ(stored.RecordID(), 2) << "the refused post used no RecordID";
}

TEST_F(AppendRecordTest, ReadOnlyCursorRefusesPosts) {
  Create("T", TableParams({NewField("Id", fld::kInteger)}));
  auto cursor = std::make_unique<TDataCursor>(FDirectory);
  cursor->SetTableName("T");
  cursor->SetReadOnly(true);
  cursor->OpenCursor();
  TRow row(*cursor);
  row.Init();
  EXPECT_EQ(EngineErrorCode([&] { cursor->AppendRecord(row.Data()); }), CAIRN_OSEACCES);
}

TEST_F(AppendRecordTest, HooksAroundThePost) {
  Create("T", TableParams({NewField("Name", fld::kString, 10)}, {IndexOn("ByName", {1}, true)}));
  auto cursor = Open("T");
  std::vector<std::string> calls;
  int errors = 0;
  TInsertErrorAction answer = TInsertErrorAction::Fail;
  TInsertHooks hooks;
  hooks.BeforeInsert = [&](TDataCursor&, char*) { calls.push_back("before"); };
  hooks.AfterInsert = [&](TDataCursor&, const char*, int32_t slot) {
    calls.push_back("after " + std::to_string(slot));
  };
  hooks.InsertError = [&](TDataCursor& c, const std::exception&, char* record) {
    ++errors;
    if (answer == TInsertErrorAction::Retry) c.PutField(1, record, "fixed");
    return answer;
  };
  cursor->SetInsertHooks(hooks);
  TRow row(*cursor);
  row.Init();
  row.SetText(1, "a");
  ASSERT_TRUE(cursor->AppendRecord(row.Data()));
  EXPECT_EQ(calls, (std::vector<std::string>{"before", "after 1"}));

  calls.clear();
  EXPECT_EQ(EngineErrorCode([&] { cursor->AppendRecord(row.Data()); }), CAIRN_KEYVIOL);
  EXPECT_EQ(errors, 1);
  answer = TInsertErrorAction::Abort;
  EXPECT_FALSE(cursor->AppendRecord(row.Data())) << "aborted quietly";
  answer = TInsertErrorAction::Retry;
  EXPECT_TRUE(cursor->AppendRecord(row.Data()));
  EXPECT_EQ(errors, 3);
  EXPECT_EQ(calls.back(), "after 2");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "before"), 4) << "once per attempt";
  EXPECT_EQ(Count(*cursor), 2);

  cursor->SetSuppressTriggers(true);
  calls.clear();
  row.SetText(1, "c");
  ASSERT_TRUE(cursor->AppendRecord(row.Data()));
  EXPECT_TRUE(calls.empty());
}

// Failures injected after the slot is taken: a free-chain head naming a live slot, a damaged
// root page in each index in turn (key checks skipped, so the k-th key insertion is the first
// to see it), and a broken free chain in the blob file failing the k-th block allocation.
// Every file must be as before, and the next post must succeed once the damage is repaired.
TEST_F(AppendRecordTest, FailureAfterTheSlotIsTakenUndoesEverything) {
  TTableCreateParams params =
      TableParams({NewField("Name", fld::kString, 10), NewField("Num", fld::kInteger),
                   NewField("Memo", fld::kBlob, 0, fld::kSubMemo)},
                  {IndexOn("ByName", {1}), IndexOn("ByNum", {2}, true), IndexOn("Both", {2, 1})});
  params.IndexPageSize = 1024;  // split pages with few records
  Create("T", params);
  auto cursor = Open("T");
  TDataTable& table = *cursor->DataTable();
  TRow row(*cursor);
  int32_t number = 0;
  const std::string memo(2000, 'm');  // five blocks of 512
  const auto fill = [&](size_t memoSize) {
    row.Init();
    row.SetText(1, "n" + std::to_string(number));
    row.SetInt(2, number++);
    cursor->OpenBlob(3, row.Data(), blob::kOpenWrite);
    cursor->PutBlob(3, row.Data(), 0, memo.data(), memoSize);
  };
  // Enough records for split pages in every index; the first memo takes blocks 1 ... 5.
  for (int i = 0; i < 120; ++i) {
    fill(i == 0 ? memo.size() : 10);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    cursor->FreeBlob(3, row.Data());
  }
  int32_t count = 120;
  const auto expectUndone = [&](const std::string& what, const std::string& before,
                                const std::function<void()>& repair, uint16_t code) {
    SCOPED_TRACE(what);
    fill(memo.size());
    EXPECT_EQ(EngineErrorCode([&] { cursor->AppendRecord(row.Data(), true, true, true); }), code);
    repair();
    EXPECT_EQ(Difference(Snapshot(*cursor, "T"), before), "");
    EXPECT_EQ(Count(*cursor), count);
    ASSERT_TRUE(cursor->AppendRecord(row.Data())) << "the next post succeeds";
    ++count;
    cursor->FreeBlob(3, row.Data());
  };

  // The slot: the free chain names live slot 1.
  std::string before = Snapshot(*cursor, "T");
  table.DataFile().SetNextFreeRecord(1);
  expectUndone(
      "slot", before, [&] { table.DataFile().SetNextFreeRecord(0); }, CAIRN_HEADERCORRUPT);

  for (int k = 0; k <= cursor->IndexCount(); ++k) {
    before = Snapshot(*cursor, "T");
    TIndexFile& indexFile = table.IndexFile();
    const int32_t root = indexFile.GetRootPageNumber(k);
    uint8_t type = 0;
    {
      TPageRef page = indexFile.ReadPage(k, root);
      type = page->PageType();
      page->SetPageType(type == pg::kRootNode ? pg::kNode : pg::kLeaf);
    }
    expectUndone(
        "index " + std::to_string(k), before,
        [&] { indexFile.ReadPage(k, root)->SetPageType(type); }, CAIRN_INDEXCORRUPT);
  }

  for (int k = 1; k <= 5; ++k) {
    before = Snapshot(*cursor, "T");
    // Blocks 1 ... k (record 1's chain) become a free chain whose k-th link leads outside
    // the file, so the k-th allocation fails.
    TBlobFile& blobFile = table.BlobFile();
    std::vector<int32_t> links;
    for (int32_t b = 1; b <= k; ++b) {
      TBlock* block = nullptr;
      ASSERT_TRUE(blobFile.GetBlock(TBufferRequest{true}, b, 1, block));
      links.push_back(block->NextNumber());
      block->SetNextNumber(b < k ? b + 1 : 1 << 30);
      blobFile.PutBlock(block);
    }
    blobFile.SetNextFreeBlockNumber(1);
    expectUndone(
        "blob block " + std::to_string(k), before,
        [&] {
          for (int32_t b = 1; b <= k; ++b) {
            TBlock* block = nullptr;
            ASSERT_TRUE(blobFile.GetBlock(TBufferRequest{true}, b, 1, block));
            block->SetNextNumber(links[static_cast<size_t>(b - 1)]);
            blobFile.PutBlock(block);
          }
          blobFile.SetNextFreeBlockNumber(0);
        },
        CAIRN_MEMOCORRUPT);
  }
}

// A shared post whose write fails reports the failure, and what it left in the cache is dropped:
// between two writes a shared table is what its files hold, so a later flush writes nothing of it.
TEST_F(AppendRecordTest, FailedWriteOfASharedPostIsDroppedWithTheCache) {
  Create("T", TableParams({NewField("Id", fld::kInteger)}, {IndexOn("ById", {1}, true)}));
  test::TFaultInjectingFiles faults;
  THostFilesScope hostFiles(FEngine, faults);
  {
    auto cursor = Open("T", false);
    TRow row(*cursor);
    row.Init();
    row.SetInt(1, 1);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    faults.ArmNext(test::TFileOp::Write, host::kErrorAccessDenied, true);
    row.SetInt(1, 2);
    EXPECT_EQ(EngineErrorCode([&] { cursor->AppendRecord(row.Data()); }), CAIRN_OSEACCES);
    faults.Disarm();
    cursor->DataTable()->FlushBuffers(false, true, true, true, false);
    EXPECT_EQ(test::Int32At(test::ReadDiskFile(File("T.dat")), 41), 1);
  }
  auto cursor = Open("T");
  cursor->SetIndexName("ById");
  TRow row(*cursor);
  ASSERT_EQ(cursor->GetLastRecord(row.Data()), 0);
  EXPECT_EQ(row.Int(1), 1);
  EXPECT_EQ(Count(*cursor), 1);
}

// The next post after a shared post whose write failed: the next write lock rereads the data
// header from the file, so the cache must not still hold the failed post's slot and keys.
// Every index entry must name a record with the entry's key, and the counters must match.
TEST_F(AppendRecordTest, PostAfterAFailedSharedWriteLeavesTheTableConsistent) {
  Create("T", TableParams({NewField("Id", fld::kInteger)}, {IndexOn("ById", {1}, true)}));
  test::TFaultInjectingFiles faults;
  std::optional<THostFilesScope> hostFiles(std::in_place, FEngine, faults);
  {
    auto cursor = Open("T", false);
    TRow row(*cursor);
    row.Init();
    row.SetInt(1, 1);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    faults.ArmNext(test::TFileOp::Write, host::kErrorAccessDenied, true);
    row.Init();
    row.SetInt(1, 2);
    EXPECT_EQ(EngineErrorCode([&] { cursor->AppendRecord(row.Data()); }), CAIRN_OSEACCES);
    faults.Disarm();
    row.Init();
    row.SetInt(1, 3);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
  }
  hostFiles.reset();
  auto cursor = Open("T");
  std::vector<int32_t> seen;
  cursor->SetIndexName("ById");
  TRow row(*cursor);
  for (uint16_t code = cursor->GetFirstRecord(row.Data()); code == 0;
       code = cursor->GetNextRecord(row.Data())) {
    seen.push_back(row.Int(1));
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(Count(*cursor), 2);
}

}  // namespace
}  // namespace cairn

namespace cairn {
namespace {

// Every post runs under an undo that may not write; an exclusive cursor's cache must still come
// back within its budget after each post, or appending a large table would hold it all in memory.
TEST_F(AppendRecordTest, ExclusiveAppendsKeepTheCacheWithinItsBudget) {
  Create("T", test::TableParams(
                  {test::NewField("Name", fld::kString, 40), test::NewField("Nr", fld::kInteger)},
                  {test::IndexOn("ByName", {1})}));
  auto cursor = Open("T");
  TDataTable& table = *cursor->DataTable();
  test::TRow row(*cursor);
  size_t mostData = 0, mostIndex = 0;
  for (int32_t n = 0; n < 3000; ++n) {
    row.Init();
    row.SetText(1, "name " + std::to_string(n * 7919 % 3001));
    row.SetInt(2, n);
    ASSERT_TRUE(cursor->AppendRecord(row.Data()));
    mostData = std::max(mostData, table.DataFile().BufferCount());
    mostIndex = std::max(mostIndex, table.IndexFile().BufferCount());
  }
  EXPECT_LE(mostData, static_cast<size_t>(table.DataFile().MaximumBufferCount()));
  EXPECT_LE(mostIndex, static_cast<size_t>(table.IndexFile().MaximumBufferCount()));
  EXPECT_GT(table.DataFile().IOBlocksUsed(), table.DataFile().MaximumBufferCount())
      << "the table must outgrow the data cache for the test to mean anything";
  cursor.reset();

  // Written as it went, the table reads back whole, in index order.
  auto reopened = Open("T");
  reopened->SetIndexName("ByName");
  test::TRow read(*reopened);
  int count = 0;
  std::string last;
  for (int status = reopened->GetFirstRecord(read.Data()); status == 0;
       status = reopened->GetNextRecord(read.Data())) {
    EXPECT_LE(last, read.Text(1));
    last = read.Text(1);
    ++count;
  }
  EXPECT_EQ(count, 3000);
}

}  // namespace
}  // namespace cairn
