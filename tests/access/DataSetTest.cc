// The dataset around record editing: events and listeners, the row buffer layout with calculated
// fields, bookmarks, Refresh between processes, and the failures of the editing operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnTable.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/cursor/FieldValue.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/error/EngineErrorCodes.h"
#include "tests/access/DatabaseTableTest.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn::test {
namespace {

class DataSetTest : public DatabaseTableTest {
 protected:
  // ID (GUID, default CURRENT_GUID, primary), Name (32 characters, indexed ByName), Note (memo),
  // Code (integer, required); closed.
  std::unique_ptr<TCairnTable> CreatePeople(const std::string& tableName = "People") {
    auto table = NewTable(tableName);
    table->FieldDefs().Add("ID", ftGuid, 38, true, "CURRENT_GUID");
    table->FieldDefs().Add("Name", ftString, 32);
    table->FieldDefs().Add("Note", ftMemo);
    table->FieldDefs().Add("Code", ftInteger, 0, true, "0");
    table->IndexDefs().Add("", "ID", {ixPrimary, ixUnique});
    table->IndexDefs().Add("ByName", "Name", {ixCaseInsensitive});
    Create(*table);
    return table;
  }

  static void AddName(TCairnTable& table, const std::string& name) {
    table.AppendRecord({TUnassigned{}, name});
  }

  static std::vector<std::string> NamesForward(TCairnTable& table) {
    std::vector<std::string> names;
    for (table.First(); !table.Eof(); table.Next())
      names.push_back(table.FieldByName("Name").AsString());
    return names;
  }
};

// ---- Events and listeners
// -------------------------------------------------------------------------

TEST_F(DataSetTest, EventsRunInTheirOrderAroundEachOperation) {
  auto table = CreatePeople();
  std::vector<std::string> log;
  auto note = [&](const char* name) {
    return [&log, name](TCairnDataSet& dataSet) {
      log.push_back(std::string(name) + (dataSet.State() == dsInsert ? "/i" : ""));
    };
  };
  table->BeforeOpen = note("BeforeOpen");
  table->AfterOpen = note("AfterOpen");
  table->BeforeClose = note("BeforeClose");
  table->AfterClose = note("AfterClose");
  table->BeforeInsert = note("BeforeInsert");
  table->AfterInsert = note("AfterInsert");
  table->BeforePost = note("BeforePost");
  table->AfterPost = note("AfterPost");
  table->BeforeCancel = note("BeforeCancel");
  table->AfterCancel = note("AfterCancel");
  table->BeforeScroll = note("BeforeScroll");
  table->AfterScroll = note("AfterScroll");
  table->BeforeRefresh = note("BeforeRefresh");
  table->AfterRefresh = note("AfterRefresh");
  table->OnNewRecord = note("OnNewRecord");

  auto steps = [&](const std::function<void()>& action) {
    log.clear();
    action();
    return log;
  };
  using L = std::vector<std::string>;
  EXPECT_EQ(steps([&] { table->Open(); }), (L{"BeforeOpen", "AfterOpen"}));  // empty: no scroll
  EXPECT_EQ(steps([&] { table->Insert(); }),
            (L{"BeforeInsert", "BeforeScroll", "OnNewRecord/i", "AfterInsert/i", "AfterScroll/i"}));
  table->FieldByName("Name").SetAsString("first");
  EXPECT_EQ(steps([&] { table->Post(); }), (L{"BeforePost/i", "AfterPost"}));
  table->Insert();
  EXPECT_EQ(steps([&] { table->Cancel(); }), (L{"BeforeCancel/i", "AfterCancel"}));
  EXPECT_EQ(steps([&] { AddName(*table, "second"); }),
            (L{"BeforeInsert", "BeforeScroll", "OnNewRecord/i", "AfterInsert/i", "BeforePost/i",
               "AfterPost"}));
  EXPECT_EQ(steps([&] { table->First(); }), (L{"BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(steps([&] { table->Next(); }), (L{"BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(steps([&] { table->Refresh(); }), (L{"BeforeRefresh", "AfterRefresh"}));
  // A modified pending record is posted by a move, before the move's own events.
  table->Insert();
  table->FieldByName("Name").SetAsString("third");
  EXPECT_EQ(steps([&] { table->Last(); }),
            (L{"BeforePost/i", "AfterPost", "BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(steps([&] { table->Close(); }), (L{"BeforeClose", "AfterClose"}));
  EXPECT_EQ(steps([&] { table->Open(); }), (L{"BeforeOpen", "AfterOpen", "AfterScroll"}));
  // A dataset being destroyed runs no events (its handlers may belong to objects already gone).
  EXPECT_EQ(steps([&] { table.reset(); }), L{});
}

TEST_F(DataSetTest, EventHandlersShapeTheRecordAndCanStopAnOperation) {
  auto table = CreatePeople();
  table->Open();
  // OnNewRecord sets initial values; they count as the record's own.
  table->OnNewRecord = [](TCairnDataSet& dataSet) {
    dataSet.FieldByName("Name").SetAsString("from OnNewRecord");
  };
  table->Insert();
  EXPECT_FALSE(table->Modified());
  table->Post();
  EXPECT_EQ(table->FieldByName("Name").AsString(), "from OnNewRecord");

  // A failing before-event stops the operation before it changes anything.
  table->BeforeInsert = [](TCairnDataSet&) { throw EDatabaseError("no inserts"); };
  EXPECT_EQ(ErrorText([&] { table->Insert(); }), "no inserts");
  EXPECT_EQ(table->State(), dsBrowse);
  table->BeforeInsert = nullptr;
  table->BeforePost = [](TCairnDataSet&) { throw EDatabaseError("not now"); };
  table->Insert();
  table->FieldByName("Name").SetAsString("held back");
  EXPECT_EQ(ErrorText([&] { table->Post(); }), "not now");
  EXPECT_EQ(table->State(), dsInsert);
  // The pending record cannot be posted, so nothing else can start either.
  EXPECT_EQ(ErrorText([&] { AddName(*table, "also held back"); }), "not now");
  EXPECT_EQ(table->State(), dsInsert);
  table->Cancel();
  EXPECT_EQ(ErrorText([&] { AddName(*table, "also held back"); }), "not now");
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecordCount(), 1);
  table->BeforePost = nullptr;

  // A field's validation sees the native value and can refuse it.
  std::vector<int32_t> seen;
  table->FieldByName("Code").OnValidate = [&](TCairnField& field, const void* value) {
    if (value == nullptr) return;
    seen.push_back(DecodeInt32(static_cast<const char*>(value)));
    if (seen.back() < 0) throw EDatabaseError("'" + field.FieldName() + "' must not be negative");
  };
  table->Insert();
  table->FieldByName("Code").SetAsInteger(5);
  EXPECT_EQ(ErrorText([&] { table->FieldByName("Code").SetAsInteger(-1); }),
            "'Code' must not be negative");
  EXPECT_EQ(table->FieldByName("Code").AsInteger(), 5);
  EXPECT_EQ(seen, (std::vector<int32_t>{5, -1}));
}

TEST_F(DataSetTest, PostErrorHandlerRetriesAbortsOrFails) {
  auto table = CreatePeople();
  table->Open();
  const std::string id = "{00000000-0000-0000-0000-000000000001}";
  table->AppendRecord({id, std::string("taken")});
  int calls = 0;
  TDataAction answer = daRetry;
  table->OnPostError = [&](TCairnDataSet& dataSet, const std::exception& error) {
    ++calls;
    EXPECT_NE(dynamic_cast<const ECairnEngineError*>(&error), nullptr);
    // The retry gets a fresh identity.
    dataSet.FieldByName("ID").SetAsString("{00000000-0000-0000-0000-000000000002}");
    return answer;
  };
  table->Insert();
  table->FieldByName("ID").SetAsString(id);
  table->Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(table->RecordCount(), 2);

  answer = daAbort;
  table->Insert();
  table->FieldByName("ID").SetAsString(id);
  calls = 0;
  table->OnPostError = [&](TCairnDataSet&, const std::exception&) {
    ++calls;
    return answer;
  };
  EXPECT_THROW(table->Post(), EAbort);
  EXPECT_EQ(table->State(), dsInsert);
  answer = daFail;
  EXPECT_EQ(ErrorCodeOf([&] { table->Post(); }), CAIRN_KEYVIOL);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(table->State(), dsInsert);
  table->Cancel();
  EXPECT_EQ(table->RecordCount(), 2);
}

TEST_F(DataSetTest, ListenersHearStateFieldAndPositionChanges) {
  auto table = CreatePeople();
  std::vector<std::string> heard;
  const int id = table->AddListener([&](TDataEvent event, const TCairnField* field) {
    switch (event) {
      case deUpdateState:
        heard.push_back("state " + std::to_string(table->State()));
        break;
      case deFieldChange:
        heard.push_back("field " + field->FieldName());
        break;
      case deDataSetScroll:
        heard.push_back("scroll");
        break;
      case dePropertyChange:
        heard.push_back("property");
        break;
      default:
        break;
    }
  });
  table->SetTableName("People");  // unchanged: nothing to tell
  table->Open();
  table->Insert();
  table->FieldByName("Name").SetAsString("a");
  table->FieldByName("Note").SetAsString("a memo, through a blob stream");
  table->Post();
  AddName(*table, "b");
  table->First();
  table->Next();
  table->Next();  // past the end: no move
  EXPECT_EQ(heard,
            (std::vector<std::string>{"state 1", "state 3", "field Name", "field Note", "state 1",
                                      "state 3", "field Name", "state 1", "scroll"}));
  table->Close();
  heard.clear();
  table->SetTableName("Other");
  table->RemoveListener(id);
  table->SetTableName("People");
  EXPECT_EQ(heard, (std::vector<std::string>{"property"}));
}

// ---- Row buffers, calculated fields, the active buffer
// ---------------------------------------------

TEST_F(DataSetTest, RowBuffersCarryCalculatedFieldsRecordInformationAndTheBookmark) {
  auto table = CreatePeople();
  table->AddCalcField("Shout", ftString, 40);
  table->AddCalcField("Length", ftInteger);
  EXPECT_EQ(ErrorText([&] { table->AddCalcField("Blob", ftMemo); }),
            "tblPeople: Field 'Blob' is of an unknown type");
  std::string dataFieldFailure;
  table->OnCalcFields = [&](TCairnDataSet& dataSet) {
    EXPECT_EQ(dataSet.State(), dsCalcFields);
    std::string name = dataSet.FieldByName("Name").AsString();
    dataSet.FieldByName("Length").SetAsInteger(static_cast<int32_t>(name.size()));
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    dataSet.FieldByName("Shout").SetAsString(name);
    dataFieldFailure = ErrorText([&] { dataSet.FieldByName("Name").SetAsString("x"); });
  };
  table->Open();
  EXPECT_EQ(table->CalcFieldsSize(), (1 + 41) + (1 + 4));
  EXPECT_EQ(table->RecInfoOfs(), table->RecordSize() + table->CalcFieldsSize());
  EXPECT_EQ(table->BookmarkOfs(), table->RecInfoOfs() + 8);
  EXPECT_EQ(table->RecBufSize(), table->BookmarkOfs() + table->BookmarkSize());
  EXPECT_EQ(table->BookmarkSize(), 4);
  TCairnField& shout = table->FieldByName("shout");
  EXPECT_EQ(shout.FieldKind(), fkCalculated);
  EXPECT_LT(shout.FieldNo(), 1);

  // A new record in an empty dataset is marked as before the data.
  auto flag = [&] { return static_cast<uint8_t>(table->ActiveBuffer()[table->RecInfoOfs() + 4]); };
  table->Insert();
  EXPECT_EQ(flag(), bfBOF);
  EXPECT_TRUE(shout.IsNull());  // the calculated area starts cleared
  table->FieldByName("Name").SetAsString("bravo");
  table->Post();
  AddName(*table, "alpha");

  table->First();  // slot order of the primary index is random; use the bookmark's own number
  const char* row = table->ActiveBuffer();
  EXPECT_EQ(flag(), bfCurrent);
  EXPECT_EQ(DecodeInt32(row + table->RecInfoOfs()), table->RecNo());
  EXPECT_EQ(DecodeInt32(row + table->BookmarkOfs()), table->RecNo());
  EXPECT_EQ(table->GetBookmark(), TBookmark(row + table->BookmarkOfs(), row + table->RecBufSize()));
  EXPECT_GE(table->RecNo(), 1);
  const std::string name = table->FieldByName("Name").AsString();
  std::string upper = name;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  EXPECT_EQ(shout.AsString(), upper);
  EXPECT_EQ(table->FieldByName("Length").AsInteger(), 5);
  EXPECT_EQ(dataFieldFailure, "Table is not in edit or insert mode");

  // In dsBrowse a calculated field cannot be set; a new record is marked inserted, carries the
  // current row's bookmark and has no bookmark of its own.
  EXPECT_EQ(ErrorText([&] { shout.SetAsString("x"); }), "Table is not in edit or insert mode");
  const TBookmark current = table->GetBookmark();
  table->Insert();
  EXPECT_EQ(flag(), bfInserted);
  EXPECT_EQ(table->RecNo(), 0);
  EXPECT_TRUE(table->GetBookmark().empty());
  EXPECT_EQ(DecodeInt32(table->ActiveBuffer() + table->BookmarkOfs()), DecodeInt32(current.data()));
  shout.SetAsString("set while inserting");
  EXPECT_EQ(shout.AsString(), "set while inserting");
  table->FieldByName("Name").SetAsString("charlie");
  table->Post();
  EXPECT_EQ(shout.AsString(), "CHARLIE");  // computed again for the stored row
  table->Close();
  EXPECT_EQ(table->ActiveBuffer(), nullptr);
}

// ---- Bookmarks
// -------------------------------------------------------------------------------------

TEST_F(DataSetTest, BookmarksReturnToARecordAndCompareInIndexOrder) {
  auto table = CreatePeople();
  table->SetIndexName("ByName");
  table->Open();
  EXPECT_TRUE(table->GetBookmark().empty());  // no current row
  for (const char* name : {"bravo", "alpha", "charlie"}) AddName(*table, name);
  auto bookmarkOf = [&](const std::string& name) {
    for (table->First(); !table->Eof(); table->Next()) {
      if (table->FieldByName("Name").AsString() == name) return table->GetBookmark();
    }
    ADD_FAILURE() << name << " not found";
    return TBookmark{};
  };
  const TBookmark alpha = bookmarkOf("alpha");
  const TBookmark bravo = bookmarkOf("bravo");
  const TBookmark charlie = bookmarkOf("charlie");
  // Slots follow the order of adding (bravo first), the comparison the index (alpha first).
  EXPECT_LT(DecodeInt32(bravo.data()), DecodeInt32(alpha.data()));
  EXPECT_LT(table->CompareBookmarks(alpha, bravo), 0);
  EXPECT_GT(table->CompareBookmarks(charlie, bravo), 0);
  EXPECT_EQ(table->CompareBookmarks(bravo, bravo), 0);
  EXPECT_LT(table->CompareBookmarks({}, alpha), 0);
  EXPECT_EQ(table->CompareBookmarks({}, {}), 0);

  table->First();
  table->GotoBookmark(bravo);
  EXPECT_EQ(table->FieldByName("Name").AsString(), "bravo");
  table->Next();  // browsing goes on from the bookmarked record
  EXPECT_EQ(table->FieldByName("Name").AsString(), "charlie");

  // Checking a bookmark does not move the dataset.
  EXPECT_TRUE(table->BookmarkValid(alpha));
  TBookmark nowhere(4, 0);
  EncodeInt32(nowhere.data(), 999);
  EXPECT_FALSE(table->BookmarkValid(nowhere));
  EXPECT_FALSE(table->BookmarkValid({}));
  EXPECT_EQ(table->FieldByName("Name").AsString(), "charlie");
  table->Prior();
  EXPECT_EQ(table->FieldByName("Name").AsString(), "bravo");
  EXPECT_EQ(ErrorCodeOf([&] { table->GotoBookmark(nowhere); }), CAIRN_KEYORRECDELETED);
  EXPECT_EQ(table->FieldByName("Name").AsString(), "bravo");
  table->Next();
  EXPECT_EQ(table->FieldByName("Name").AsString(), "charlie");

  // In slot order the comparison follows the slots.
  table->Handle()->SetSlotOrder(true);
  EXPECT_GT(table->CompareBookmarks(alpha, bravo), 0);
  table->Handle()->SetSlotOrder(false);

  // Going to a bookmark completes a pending record first.
  table->Insert();
  EXPECT_TRUE(table->GetBookmark().empty());
  table->FieldByName("Name").SetAsString("delta");
  table->GotoBookmark(alpha);
  EXPECT_EQ(table->FieldByName("Name").AsString(), "alpha");
  EXPECT_EQ(table->RecordCount(), 4);
}

// ---- Sharing a table between processes
// -------------------------------------------------------------

TEST_F(DataSetTest, RefreshShowsRowsAnotherProcessAppended) {
  // The child starts before this process opens anything, so each has an engine of its own.
  TChildProcess child([&](TChannel& channel) {
    if (channel.Receive() != 'c') return 1;
    auto table = NewTable("Shared");
    table->Open();
    if (table->Exclusive() || table->RecordCount() != 0) return 2;
    channel.Send('o');
    int next = 1;
    for (char message = channel.Receive(); message == 'a'; message = channel.Receive()) {
      AddName(*table, "row " + std::to_string(next++));
      channel.Send('d');
    }
    table->Close();
    return 0;
  });
  {
    auto table = CreatePeople("Shared");
    table->SetIndexName("ByName");
    table->Open();
    child.Send('c');
    ASSERT_EQ(child.Receive(), 'o');
    EXPECT_TRUE(table->IsEmpty());

    child.Send('a');
    ASSERT_EQ(child.Receive(), 'd');
    EXPECT_TRUE(table->IsEmpty());  // the dataset has not looked yet
    table->Refresh();
    ASSERT_FALSE(table->IsEmpty());
    EXPECT_EQ(table->FieldByName("Name").AsString(), "row 1");
    EXPECT_EQ(table->RecordCount(), 1);

    for (int i = 0; i < 2; ++i) {
      child.Send('a');
      ASSERT_EQ(child.Receive(), 'd');
    }
    // The header's count is read afresh; browsing reaches the new rows from the current one.
    EXPECT_EQ(table->RecordCount(), 3);
    table->Refresh();
    EXPECT_EQ(table->FieldByName("Name").AsString(), "row 1");
    table->Next();
    EXPECT_EQ(table->FieldByName("Name").AsString(), "row 2");
    table->Next();
    EXPECT_EQ(table->FieldByName("Name").AsString(), "row 3");
    table->Next();
    EXPECT_TRUE(table->Eof());

    // And the other way round: the child counts what this process adds.
    AddName(*table, "row 0");
    child.Send('x');
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(table->RecordCount(), 4);
    EXPECT_EQ(NamesForward(*table), (std::vector<std::string>{"row 0", "row 1", "row 2", "row 3"}));
  }
}

// ---- Failures of the editing operations
// -----------------------------------------------------------

TEST_F(DataSetTest, EveryEditingFailureHasItsMessage) {
  auto table = CreatePeople();
  struct TCase {
    const char* what;
    std::function<void()> action;
    std::string message;
  };
  const std::string closed = "tblPeople: Cannot perform this operation on a closed dataset";
  const std::vector<TCase> closedCases = {
      {"Insert", [&] { table->Insert(); }, closed},
      {"Append", [&] { table->Append(); }, closed},
      {"AppendRecord", [&] { AddName(*table, "x"); }, closed},
      {"Post", [&] { table->Post(); }, closed},
      {"Cancel", [&] { table->Cancel(); }, closed},
      {"First", [&] { table->First(); }, closed},
      {"Next", [&] { table->Next(); }, closed},
      {"Refresh", [&] { table->Refresh(); }, closed},
      {"RecordCount", [&] { table->RecordCount(); }, closed},
      {"GotoBookmark", [&] { table->GotoBookmark(TBookmark(4, 1)); }, closed},
      // A closed dataset has no field objects.
      {"FieldByName", [&] { table->FieldByName("Name"); }, "tblPeople: Field 'Name' not found"},
  };
  for (const TCase& c : closedCases) EXPECT_EQ(ErrorText(c.action), c.message) << c.what;

  table->SetReadOnly(true);
  table->Open();
  const std::string readOnly = "tblPeople: Cannot modify a read-only dataset";
  const std::vector<TCase> readOnlyCases = {
      {"Insert", [&] { table->Insert(); }, readOnly},
      {"Append", [&] { table->Append(); }, readOnly},
      {"AppendRecord", [&] { AddName(*table, "x"); }, readOnly},
      {"set in dsBrowse", [&] { table->FieldByName("Name").SetAsString("x"); },
       "Table is not in edit or insert mode"},
      {"cleared in dsBrowse", [&] { table->FieldByName("Code").Clear(); },
       "Table is not in edit or insert mode"},
      {"memo in dsBrowse", [&] { table->FieldByName("Note").SetAsString("x"); },
       "Table is not in edit or insert mode"},
      {"unknown name", [&] { table->FieldByName("Nope"); }, "tblPeople: Field 'Nope' not found"},
  };
  for (const TCase& c : readOnlyCases) EXPECT_EQ(ErrorText(c.action), c.message) << c.what;
  EXPECT_EQ(table->State(), dsBrowse);
  table->Close();

  table->SetReadOnly(false);
  table->Open();
  table->Insert();
  table->FieldByName("Name").SetReadOnly(true);
  table->FieldByName("Note").SetReadOnly(true);
  table->FieldByName("Code").Clear();
  const std::vector<TCase> insertCases = {
      {"read-only field", [&] { table->FieldByName("Name").SetAsString("x"); },
       "Field 'Name' cannot be modified"},
      {"read-only memo", [&] { table->FieldByName("Note").SetAsString("x"); },
       "Field 'Note' cannot be modified"},
      {"required null", [&] { table->Post(); }, "Field 'Code' must have a value"},
  };
  for (const TCase& c : insertCases) EXPECT_EQ(ErrorText(c.action), c.message) << c.what;
  EXPECT_EQ(table->State(), dsInsert);
  table->Cancel();
  // A value kind the field cannot take is the field's conversion error, and nothing is stored.
  EXPECT_THROW(
      table->AppendRecord({TUnassigned{}, TUnassigned{}, TUnassigned{}, std::string("7x")}),
      EConvertError);
  EXPECT_EQ(table->RecordCount(), 0);
  EXPECT_EQ(table->State(), dsBrowse);
}

}  // namespace
}  // namespace cairn::test
