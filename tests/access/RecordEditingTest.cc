#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnBlobStream.h"
#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnTable.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/cursor/FieldValue.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/error/EngineError.h"
#include "cairn/error/EngineErrorCodes.h"
#include "tests/access/DatabaseTableTest.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn::test {
namespace {

class RecordEditingTest : public DatabaseTableTest {
 protected:
  // ID (GUID, default CURRENT_GUID, primary), Name (32 characters, indexed), Active (Boolean,
  // default False), Stamp (date-time); open.
  std::unique_ptr<TCairnTable> OpenPeople(const std::string& tableName = "People") {
    auto table = NewTable(tableName);
    table->FieldDefs().Add("ID", ftGuid, 38, true, "CURRENT_GUID");
    table->FieldDefs().Add("Name", ftString, 32);
    table->FieldDefs().Add("Active", ftBoolean, 0, false, "False");
    table->FieldDefs().Add("Stamp", ftDateTime);
    table->IndexDefs().Add("", "ID", {ixPrimary, ixUnique});
    table->IndexDefs().Add("ByName", "Name", {ixCaseInsensitive});
    Create(*table);
    table->Open();
    return table;
  }

  // The stored bytes of a field of the table's first record, read through the cursor.
  static std::string StoredValue(TCairnTable& table, const std::string& name, size_t size) {
    TDataCursor& cursor = *table.Handle();
    std::vector<char> record(cursor.RecordSize());
    EXPECT_EQ(cursor.GetFirstRecord(record.data()), 0);
    std::string value(size, '\0');
    bool isNull = true;
    cursor.GetField(cursor.FieldDefinitionByName(name)->FieldNum, record.data(), value.data(),
                    isNull);
    EXPECT_FALSE(isNull);
    return value;
  }

  void AddName(TCairnTable& table, const std::string& name) {
    table.Insert();
    table.FieldByName("Name").SetAsString(name);
    table.Post();
  }
};

TEST_F(RecordEditingTest, OpenBuildsFieldObjectsAndPositionsOnAnEmptyTable) {
  auto table = OpenPeople();
  ASSERT_EQ(table->Fields().Count(), 4);
  EXPECT_EQ(table->Fields().Fields(0).FieldName(), "ID");
  EXPECT_EQ(table->Fields().Fields(0).DataType(), ftGuid);
  EXPECT_TRUE(table->Fields().Fields(0).Required());
  EXPECT_EQ(table->Fields().Fields(1).Size(), 32);
  EXPECT_EQ(table->Fields().Fields(3).DataType(), ftDateTime);
  EXPECT_EQ(&table->FieldByName("nAME"), &table->Fields().Fields(1));
  EXPECT_EQ(ErrorText([&] { table->FieldByName("Nope"); }), "tblPeople: Field 'Nope' not found");
  EXPECT_TRUE(table->Eof());
  EXPECT_TRUE(table->Bof());
  EXPECT_TRUE(table->IsEmpty());
  EXPECT_EQ(table->RecordCount(), 0);
  EXPECT_TRUE(table->FieldByName("Name").IsNull());
  table->Close();
  EXPECT_EQ(table->Fields().Count(), 0);
  EXPECT_EQ(db->RefCount(), 0);
}

TEST_F(RecordEditingTest, InsertAndPostWithNothingSetStoresTheDefaults) {
  auto table = OpenPeople();
  table->Insert();
  EXPECT_EQ(table->State(), dsInsert);
  table->Post();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecordCount(), 1);
  // The stored record is the current one.
  const std::string id = table->FieldByName("ID").AsString();
  ASSERT_EQ(id.size(), 38u);
  EXPECT_EQ(id.front(), '{');
  EXPECT_EQ(id.back(), '}');
  EXPECT_TRUE(table->FieldByName("Name").IsNull());
  EXPECT_FALSE(table->FieldByName("Active").IsNull());
  EXPECT_FALSE(table->FieldByName("Active").AsBoolean());
  EXPECT_TRUE(table->FieldByName("Stamp").IsNull());
}

TEST_F(RecordEditingTest, NativeValueForms) {
  auto table = OpenPeople();
  table->Insert();
  table->FieldByName("Name").SetAsString(std::string(40, 'x'));
  table->FieldByName("Active").SetAsBoolean(true);
  table->FieldByName("Stamp").SetAsDateTime(0.0);  // 1899-12-30 00:00
  table->Post();
  EXPECT_EQ(table->FieldByName("Name").AsString(), std::string(32, 'x'));
  EXPECT_EQ(StoredValue(*table, "Name", 33), std::string(32, 'x') + '\0');
  EXPECT_EQ(DecodeFixed16(StoredValue(*table, "Active", 2).data()), 1);
  EXPECT_EQ(DecodeDouble(StoredValue(*table, "Stamp", 8).data()), 693594.0 * 86400000.0);
}

TEST_F(RecordEditingTest, FailedPostStaysInInsertAndCancelOrCloseDiscardsTheRecord) {
  auto table = OpenPeople();
  const std::string id = "{00000000-0000-0000-0000-000000000001}";
  table->Insert();
  table->FieldByName("ID").SetAsString(id);
  table->Post();
  table->Insert();
  table->FieldByName("id").SetAsString(id);
  table->FieldByName("Name").SetAsString("second");
  EXPECT_EQ(ErrorCodeOf([&] { table->Post(); }), CAIRN_KEYVIOL);
  EXPECT_EQ(table->State(), dsInsert);
  EXPECT_EQ(table->FieldByName("Name").AsString(), "second");
  table->Cancel();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->FieldByName("ID").AsString(), id);
  EXPECT_EQ(table->RecordCount(), 1);

  table->Insert();
  table->FieldByName("Name").SetAsString("never stored");
  table->Close();
  table->Open();
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_TRUE(table->FieldByName("Name").IsNull());
}

TEST_F(RecordEditingTest, FailuresOfTheEditingOperations) {
  auto table = OpenPeople();
  EXPECT_EQ(ErrorText([&] { table->FieldByName("Name").SetAsString("x"); }),
            "Table is not in edit or insert mode");
  table->Close();
  EXPECT_EQ(ErrorText([&] { table->Insert(); }),
            "tblPeople: Cannot perform this operation on a closed dataset");
  table->SetReadOnly(true);
  table->Open();
  EXPECT_FALSE(table->CanModify());
  EXPECT_EQ(ErrorText([&] { table->Insert(); }), "tblPeople: Cannot modify a read-only dataset");
  EXPECT_EQ(table->State(), dsBrowse);
}

TEST_F(RecordEditingTest, RequiredFieldWithoutValueFailsBeforeTheEngine) {
  auto table = NewTable("Req");
  table->FieldDefs().Add("Code", ftInteger, 0, true);
  table->FieldDefs().Add("Name", ftString, 10);
  Create(*table);
  table->Open();
  table->Insert();
  table->FieldByName("Name").SetAsString("n");
  EXPECT_EQ(ErrorText([&] { table->Post(); }), "Field 'Code' must have a value");
  EXPECT_EQ(table->State(), dsInsert);
  table->FieldByName("Code").SetAsInteger(7);
  table->FieldByName("Code").Clear();
  EXPECT_EQ(ErrorText([&] { table->Post(); }), "Field 'Code' must have a value");
  table->FieldByName("Code").SetAsInteger(7);
  table->Post();
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(table->FieldByName("Code").AsInteger(), 7);
}

TEST_F(RecordEditingTest, EveryScalarTypeRoundTripsThroughCloseAndReopen) {
  auto table = NewTable("Types");
  table->FieldDefs().Add("Text", ftString, 20);
  table->FieldDefs().Add("Fixed", ftFixedChar, 4);
  table->FieldDefs().Add("Flag", ftBoolean);
  table->FieldDefs().Add("Small", ftSmallint);
  table->FieldDefs().Add("Int", ftInteger);
  table->FieldDefs().Add("Wrd", ftWord);
  table->FieldDefs().Add("Large", ftLargeint);
  table->FieldDefs().Add("Real", ftFloat);
  table->FieldDefs().Add("Money", ftCurrency);
  table->FieldDefs().Add("Day", ftDate);
  table->FieldDefs().Add("Clock", ftTime);
  table->FieldDefs().Add("Moment", ftDateTime);
  table->FieldDefs().Add("Serial", ftAutoInc);
  table->FieldDefs().Add("Amount", ftBCD, 4);
  table->FieldDefs().Add("Picture", ftGraphic);
  Create(*table);
  table->Open();
  const std::string accented = "Gr\u00fc\u00dfe \u00e9\u00ff\u20ac";  // all in the 8-bit code page
  struct TRow {
    int16_t small;
    int32_t integer;
    int64_t large;
    double moment;  // days since 1899-12-30
  };
  const TRow rows[] = {{INT16_MIN, INT32_MIN, INT64_MIN, -36522.75},
                       {INT16_MAX, INT32_MAX, INT64_MAX, 45000.5}};
  for (const TRow& row : rows) {
    table->Insert();
    table->FieldByName("Text").SetAsString(accented);
    table->FieldByName("Fixed").SetAsString("ab  ");
    table->FieldByName("Flag").SetAsBoolean(row.small < 0);
    table->FieldByName("Small").SetAsInteger(row.small);
    table->FieldByName("Int").SetAsInteger(row.integer);
    table->FieldByName("Wrd").SetAsInteger(65535);
    table->FieldByName("Large").SetAsLargeInt(row.large);
    table->FieldByName("Real").SetAsFloat(-1.25e300);
    table->FieldByName("Money").SetAsCurrency(12.3456);
    table->FieldByName("Day").SetAsDateTime(row.moment);
    table->FieldByName("Clock").SetAsDateTime(0.75);
    table->FieldByName("Moment").SetAsDateTime(row.moment);
    table->FieldByName("Amount").SetAsFloat(row.small < 0 ? -1234.5678 : 99999999.9999);
    table->FieldByName("Picture").SetAsString(std::string("\x89PNG\0\x01", 6));
    table->Post();
  }
  table->Insert();  // a row of nulls (only the auto-increment value is set)
  table->Post();
  table->Close();
  table->Open();

  EXPECT_EQ(table->RecordCount(), 3);
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.small);
    ASSERT_FALSE(table->Eof());
    EXPECT_EQ(table->FieldByName("Text").AsString(), accented);
    EXPECT_EQ(table->FieldByName("Fixed").AsString(), "ab  ");
    EXPECT_EQ(table->FieldByName("Flag").AsBoolean(), row.small < 0);
    EXPECT_EQ(table->FieldByName("Small").AsInteger(), row.small);
    EXPECT_EQ(table->FieldByName("Int").AsInteger(), row.integer);
    EXPECT_EQ(table->FieldByName("Wrd").AsInteger(), 65535);
    EXPECT_EQ(table->FieldByName("Large").AsLargeInt(), row.large);
    EXPECT_EQ(table->FieldByName("Real").AsFloat(), -1.25e300);
    EXPECT_EQ(table->FieldByName("Money").AsCurrency(), 12.3456);
    const double day = row.moment < 0 ? -36522.0 : 45000.0;
    EXPECT_EQ(table->FieldByName("Day").AsDateTime(), day);
    EXPECT_EQ(table->FieldByName("Clock").AsDateTime(), 0.75);
    EXPECT_EQ(table->FieldByName("Moment").AsDateTime(), row.moment);
    EXPECT_GT(table->FieldByName("Serial").AsInteger(), 0);
    EXPECT_EQ(table->FieldByName("Amount").AsFloat(), row.small < 0 ? -1234.5678 : 99999999.9999);
    EXPECT_EQ(table->FieldByName("Amount").DataType(), ftBCD);
    EXPECT_EQ(table->FieldByName("Picture").DataType(), ftGraphic);
    EXPECT_EQ(table->FieldByName("Picture").AsString(), std::string("\x89PNG\0\x01", 6));
    table->Next();
  }
  for (int i = 0; i < table->Fields().Count(); ++i) {
    TCairnField& field = table->Fields().Fields(i);
    EXPECT_EQ(field.IsNull(), field.FieldName() != "Serial") << field.FieldName();
  }
}

TEST_F(RecordEditingTest, ValuesOutsideAFieldsRangeFailAndChangeNothing) {
  auto table = NewTable("Range");
  table->FieldDefs().Add("Small", ftSmallint);
  table->FieldDefs().Add("Wrd", ftWord);
  Create(*table);
  table->Open();
  table->Insert();
  table->FieldByName("Small").SetAsInteger(5);
  EXPECT_THROW(table->FieldByName("Small").SetAsInteger(32768), EConvertError);
  EXPECT_THROW(table->FieldByName("Wrd").SetAsInteger(-1), EConvertError);
  EXPECT_THROW(table->FieldByName("Small").SetAsString("12x"), EConvertError);
  EXPECT_EQ(table->FieldByName("Small").AsInteger(), 5);
  EXPECT_TRUE(table->FieldByName("Wrd").IsNull());
}

TEST_F(RecordEditingTest, BrowsingInSlotOrderAndThroughASecondaryIndexBothWays) {
  auto table = OpenPeople();
  for (const char* name : {"bravo", "Alpha", "charlie"}) AddName(*table, name);

  auto names = [&](bool forward) {
    std::vector<std::string> seen;
    if (forward) {
      for (table->First(); !table->Eof(); table->Next())
        seen.push_back(table->FieldByName("Name").AsString());
    } else {
      for (table->Last(); !table->Bof(); table->Prior())
        seen.push_back(table->FieldByName("Name").AsString());
    }
    return seen;
  };
  table->Handle()->SetSlotOrder(true);
  EXPECT_EQ(names(true), (std::vector<std::string>{"bravo", "Alpha", "charlie"}));
  table->Handle()->SetSlotOrder(false);
  table->Close();
  table->SetIndexName("ByName");
  table->Open();
  EXPECT_EQ(table->FieldByName("Name").AsString(), "Alpha");  // opened on the first record
  EXPECT_EQ(names(true), (std::vector<std::string>{"Alpha", "bravo", "charlie"}));
  EXPECT_EQ(names(false), (std::vector<std::string>{"charlie", "bravo", "Alpha"}));
  // Stepping past an end keeps the record; stepping back finds its neighbour.
  table->Last();
  table->Next();
  EXPECT_TRUE(table->Eof());
  EXPECT_EQ(table->FieldByName("Name").AsString(), "charlie");
  table->Prior();
  EXPECT_FALSE(table->Eof());
  EXPECT_EQ(table->FieldByName("Name").AsString(), "bravo");
}

TEST_F(RecordEditingTest, BrowsingCompletesAPendingInsert) {
  auto table = OpenPeople();
  AddName(*table, "kept");
  table->Insert();
  table->FieldByName("Name").SetAsString("posted by First");
  table->First();
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->RecordCount(), 2);
  table->Insert();  // unmodified: cancelled
  table->Last();
  EXPECT_EQ(table->RecordCount(), 2);
}

}  // namespace
}  // namespace cairn::test

namespace cairn::test {
namespace {

TEST_F(RecordEditingTest, AppendRecordNullClearsADefaultUnassignedKeepsIt) {
  auto table = OpenPeople();
  table->AppendRecord({TUnassigned{}, std::string("null flag"), TNullValue{}});
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_TRUE(table->FieldByName("Active").IsNull());
  EXPECT_EQ(table->FieldByName("ID").AsString().size(), 38u);  // the default, kept
  // Fewer values than fields: the rest keep their defaults.
  table->AppendRecord({TUnassigned{}, std::string("default flag")});
  EXPECT_FALSE(table->FieldByName("Active").IsNull());
  EXPECT_FALSE(table->FieldByName("Active").AsBoolean());
  table->AppendRecord({TUnassigned{}, std::string("typed"), true, TDateTimeValue{1.5}});
  EXPECT_TRUE(table->FieldByName("Active").AsBoolean());
  EXPECT_EQ(table->FieldByName("Stamp").AsDateTime(), 1.5);
  EXPECT_EQ(table->RecordCount(), 3);
}

TEST_F(RecordEditingTest, FailedAppendRecordStoresNothingAndReturnsToBrowse) {
  auto table = OpenPeople();
  const std::string id = "{00000000-0000-0000-0000-000000000002}";
  table->AppendRecord({id, std::string("first")});
  EXPECT_EQ(ErrorCodeOf([&] { table->AppendRecord({id, std::string("again")}); }), CAIRN_KEYVIOL);
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_THROW(table->AppendRecord({TUnassigned{}, TUnassigned{}, std::string("maybe")}),
               EConvertError);
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(ErrorText([&] {
              table->AppendRecord(
                  {TUnassigned{}, TUnassigned{}, TUnassigned{}, TUnassigned{}, TUnassigned{}});
            }),
            "tblPeople: More values than fields");
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(table->FieldByName("Name").AsString(), "first");
}

}  // namespace
}  // namespace cairn::test

namespace cairn::test {
namespace {

TEST_F(RecordEditingTest, IndexFieldNamesChoosesTheIndexOfThoseFields) {
  auto table = OpenPeople();
  for (const char* name : {"bravo", "Alpha"}) AddName(*table, name);
  table->SetIndexFieldNames(" name ");
  EXPECT_EQ(table->Handle()->IndexName(), "ByName");
  EXPECT_EQ(table->FieldByName("Name").AsString(), "Alpha");  // on the first record again
  EXPECT_EQ(ErrorText([&] { table->SetIndexFieldNames("Stamp"); }),
            "tblPeople: No index for fields 'Stamp'");
  EXPECT_EQ(table->IndexFieldNames(), " name ");
  EXPECT_EQ(table->Handle()->IndexName(), "ByName");
  table->SetIndexFieldNames("ID");
  EXPECT_EQ(table->Handle()->IndexPos(), 0);

  table->Close();
  table->SetIndexFieldNames("Name");
  table->Open();
  EXPECT_EQ(table->Handle()->IndexName(), "ByName");
  table->Close();
  table->SetIndexFieldNames("Name;Stamp");
  EXPECT_EQ(ErrorText([&] { table->Open(); }), "tblPeople: No index for fields 'Name;Stamp'");
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(db->RefCount(), 0);
}

}  // namespace
}  // namespace cairn::test

namespace cairn::test {
namespace {

class BlobEditingTest : public RecordEditingTest {
 protected:
  std::unique_ptr<TCairnTable> OpenNotes() {
    auto table = NewTable("Notes");
    table->FieldDefs().Add("Nr", ftInteger);
    table->FieldDefs().Add("Text", ftMemo);
    table->FieldDefs().Add("Data", ftBlob);
    Create(*table);
    table->Open();
    return table;
  }
};

TEST_F(BlobEditingTest, MemosAndBlobsOfManySizesRoundTrip) {
  auto table = OpenNotes();
  // Around one 512-byte block (17 bytes of block header) and over many blocks.
  const size_t sizes[] = {0, 1, 494, 495, 100000};
  auto memo = [](size_t n) {
    std::string text;
    for (size_t i = 0; i < n; ++i) text += static_cast<char>('a' + i % 26);
    return text;
  };
  std::string binary(1000, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7);
  for (size_t i = 0; i < std::size(sizes); ++i) {
    table->Insert();
    table->FieldByName("Nr").SetAsInteger(static_cast<int32_t>(i));
    table->FieldByName("Text").SetAsString(memo(sizes[i]));
    if (i == 1) table->FieldByName("Data").SetAsString(binary);
    table->Post();
  }
  table->Insert();
  table->FieldByName("Text").SetAsString("Gr\u00fc\u00dfe");
  table->Post();
  table->Close();
  table->Open();
  for (size_t i = 0; i < std::size(sizes); ++i, table->Next()) {
    ASSERT_FALSE(table->Eof());
    ASSERT_EQ(table->FieldByName("Nr").AsInteger(), static_cast<int32_t>(i));
    EXPECT_EQ(table->FieldByName("Text").AsString(), memo(sizes[i])) << sizes[i];
    EXPECT_EQ(table->FieldByName("Text").IsNull(), sizes[i] == 0);
    EXPECT_EQ(table->FieldByName("Data").AsString(), i == 1 ? binary : "");
  }
  EXPECT_EQ(table->FieldByName("Text").AsString(), "Gr\u00fc\u00dfe");
  // Reading leaves no value open in the cursor.
  EXPECT_EQ(table->Handle()->BlobHandles().Count(), 0u);
}

TEST_F(BlobEditingTest, StreamsReadWriteSeekAndCut) {
  auto table = OpenNotes();
  table->Insert();
  TCairnField& data = table->FieldByName("Data");
  {
    TCairnBlobStream stream(data, bmWrite);
    EXPECT_EQ(stream.Write("0123456789", 10), 10u);
    EXPECT_EQ(stream.Seek(-4, soEnd), 6u);
    EXPECT_EQ(stream.Write("xy", 2), 2u);  // overwrites in place
    EXPECT_EQ(stream.Seek(-100, soCurrent), 0u);
    char head[4] = {};
    EXPECT_EQ(stream.Read(head, 4), 4u);
    EXPECT_EQ(std::string(head, 4), "0123");
    stream.Truncate();  // at 4
    EXPECT_EQ(stream.Size(), 4u);
    stream.SetSize(6);
    EXPECT_EQ(stream.Size(), 6u);
  }
  EXPECT_EQ(data.AsString(), std::string("0123\0\0", 6));
  {
    // Read-write keeps the value and goes on from the start.
    TCairnBlobStream stream(data, bmReadWrite);
    EXPECT_EQ(stream.Size(), 6u);
    stream.Seek(0, soEnd);
    stream.Write("!", 1);
    stream.Seek(1, soBeginning);
    stream.SetSize(3);
  }
  EXPECT_EQ(data.AsString(), "012");
  table->Post();
  EXPECT_EQ(table->Handle()->BlobHandles().Count(), 0u);
  table->Close();
  table->Open();
  EXPECT_EQ(table->FieldByName("Data").AsString(), "012");
  {
    // Reading a stored value through a stream opens it only for the stream's life.
    TCairnBlobStream stream(table->FieldByName("Data"), bmRead);
    EXPECT_EQ(table->Handle()->BlobHandles().Count(), 1u);
    char all[8] = {};
    EXPECT_EQ(stream.Read(all, sizeof all), 3u);
    EXPECT_EQ(stream.Read(all, sizeof all), 0u);
  }
  EXPECT_EQ(table->Handle()->BlobHandles().Count(), 0u);
  EXPECT_EQ(ErrorText([&] { TCairnBlobStream stream(table->FieldByName("Data"), bmReadWrite); }),
            "Table is not in edit or insert mode");
}

TEST_F(BlobEditingTest, AMemoWrittenTwiceOpensOnceAndCancelDiscardsBoth) {
  auto table = OpenNotes();
  table->Insert();
  table->FieldByName("Text").SetAsString("kept");
  table->Post();

  table->Insert();
  table->FieldByName("Text").SetAsString("first write");
  EXPECT_EQ(table->Handle()->BlobHandles().Count(), 1u);
  table->FieldByName("Text").SetAsString("second");
  EXPECT_EQ(table->Handle()->BlobHandles().Count(), 1u);
  EXPECT_EQ(table->FieldByName("Text").AsString(), "second");
  table->Cancel();
  EXPECT_EQ(table->Handle()->BlobHandles().Count(), 0u);
  EXPECT_EQ(table->RecordCount(), 1);
  EXPECT_EQ(table->FieldByName("Text").AsString(), "kept");

  EXPECT_EQ(ErrorText([&] { table->FieldByName("Text").SetAsString("x"); }),
            "Table is not in edit or insert mode");
  table->Insert();
  table->FieldByName("Text").SetAsString("a");
  table->FieldByName("Text").SetAsString("b");
  table->Post();
  EXPECT_EQ(table->Handle()->BlobHandles().Count(), 0u);
  table->Close();
  table->Open();
  table->Last();
  EXPECT_EQ(table->FieldByName("Text").AsString(), "b");
  EXPECT_EQ(table->RecordCount(), 2);
}

}  // namespace
}  // namespace cairn::test
