#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnSession.h"
#include "cairn/access/CairnTable.h"
#include "cairn/access/FieldTypeMap.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/data/DataHeader.h"
#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/error/EngineError.h"
#include "tests/access/DatabaseTableTest.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn::test {
namespace {

// Stored definitions, decoded from the bytes on disk.
TFieldDefinition StoredField(const std::string& datFile, int fieldIndex) {
  const std::string bytes = ReadDiskFile(datFile);
  const size_t offset = TDataHeader::kSize + TFieldDefinition::kSize * fieldIndex;
  EXPECT_GE(bytes.size(), offset + TFieldDefinition::kSize);
  if (bytes.size() < offset + TFieldDefinition::kSize) return {};
  return TFieldDefinition::Decode(bytes.data() + offset);
}

TIndexDefinition StoredIndex(const std::string& idxFile, int slot) {
  const std::string bytes = ReadDiskFile(idxFile);
  const size_t offset = 512 + TIndexDefinition::kSize * slot;
  EXPECT_GE(bytes.size(), offset + TIndexDefinition::kSize);
  if (bytes.size() < offset + TIndexDefinition::kSize) return {};
  return TIndexDefinition::Decode(bytes.data() + offset);
}

class CairnTableTest : public DatabaseTableTest {
 protected:
  // A table of three fields, created and closed.
  std::unique_ptr<TCairnTable> CreatedTable(const std::string& tableName) {
    auto table = NewTable(tableName);
    table->FieldDefs().Add("ID", ftGuid, 38, true, "CURRENT_GUID");
    table->FieldDefs().Add("Name", ftString, 40);
    table->FieldDefs().Add("Count", ftInteger);
    table->IndexDefs().Add("", "ID", {ixPrimary, ixUnique});
    Create(*table);
    return table;
  }

  // Nothing held: no use flag, no database reference, no cursor.
  void ExpectReleased(const TCairnTable& table) {
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(table.Handle(), nullptr);
    EXPECT_EQ(table.DBFlags(), 0);
    EXPECT_EQ(table.Database(), nullptr);
    EXPECT_EQ(db->RefCount(), 0);
    if (db->Handle()) {
      EXPECT_EQ(db->Handle()->DataCursorCount(), 0u);
    }
  }

  std::string Dat(const std::string& name) const { return Temp.File(name + ".dat"); }
  std::string Idx(const std::string& name) const { return Temp.File(name + ".idx"); }
};

TEST_F(CairnTableTest, NewTableObjectDefaults) {
  TCairnTable table;
  EXPECT_FALSE(table.Exclusive());
  EXPECT_FALSE(table.ReadOnly());
  EXPECT_EQ(table.TableName(), "");
  EXPECT_EQ(table.FieldDefs().DataSet(), &table);
  EXPECT_EQ(table.IndexDefs().DataSet(), &table);
  EXPECT_EQ(table.RemoteReadSize(), 1);
  EXPECT_EQ(table.EngineVersion(), "4.00 Build 1");
  table.SetEngineVersion("9");
  EXPECT_EQ(table.EngineVersion(), "4.00 Build 1");
}

TEST_F(CairnTableTest, ExistsWithEmptyNameAcquiresNothing) {
  TCairnTable table;
  table.SetDatabaseName("MainDB");
  EXPECT_FALSE(table.Exists());
  EXPECT_FALSE(db->Connected());
  EXPECT_FALSE(DefaultSession().Active());
  ExpectReleased(table);
}

TEST_F(CairnTableTest, ExistsAsksTheDirectoryAndLeavesTheDatabaseReleased) {
  auto table = NewTable("Events");
  EXPECT_FALSE(table->Exists());
  EXPECT_TRUE(db->Connected());  // KeepConnection keeps it open after the release
  ExpectReleased(*table);
  CreatedTable("Events");
  EXPECT_TRUE(table->Exists());
  ExpectReleased(*table);
}

TEST_F(CairnTableTest, AnOpenTableExistsEvenWithoutItsDataFile) {
  auto table = CreatedTable("Events");
  table->Open();
  ASSERT_TRUE(std::filesystem::remove(Dat("Events")));
  EXPECT_TRUE(table->Exists());
  // Another object of the same table asks the directory, which has the table open.
  auto other = NewTable("Events");
  EXPECT_TRUE(other->Exists());
  table->Close();
  EXPECT_FALSE(other->Exists());
}

TEST_F(CairnTableTest, UnknownSessionFailsAndLeavesNoFlag) {
  auto table = NewTable("Events");
  table->SetSessionName("Nowhere");
  EXPECT_EQ(ErrorText([&] { table->Exists(); }), "Session name 'Nowhere' is not valid");
  ExpectReleased(*table);
}

TEST_F(CairnTableTest, DatabaseObjectLeftInTheDefaultSessionMovesToItsSession) {
  TCairnDatabase other;
  other.SetDatabaseName("Side");
  other.SetSessionName("Second");  // that session does not exist yet
  other.SetDirectory(Temp.Path());
  ASSERT_EQ(other.Session(), &DefaultSession());
  TCairnSession second;
  second.SetSessionName("Second");
  auto table = NewTable("Events");
  table->SetDatabaseName("Side");
  table->SetSessionName("Second");
  EXPECT_FALSE(table->Exists());
  EXPECT_EQ(other.Session(), &second);
  EXPECT_EQ(second.DatabaseCount(), 1u);  // the object itself, no temporary one
}

TEST_F(CairnTableTest, TableNameWithPathSetsTheDatabaseName) {
  TCairnTable table;
  table.SetTableName("Events");
  EXPECT_EQ(table.DatabaseName(), "");
  table.SetTableName(Temp.Path() + "/Paths");
  EXPECT_EQ(table.DatabaseName(), Temp.Path() + "/");
  EXPECT_EQ(table.TableName(), "Paths");
  // The path names a temporary database object of the session.
  table.FieldDefs().Add("A", ftInteger);
  Create(table);
  EXPECT_TRUE(FileExists(Dat("Paths")));
  EXPECT_TRUE(table.Exists());
  // Loading stores the name as given.
  TCairnTable loaded;
  loaded.SetLoading(true);
  loaded.SetTableName("x/y");
  EXPECT_EQ(loaded.TableName(), "x/y");
  EXPECT_EQ(loaded.DatabaseName(), "");
}

TEST_F(CairnTableTest, CreateWithoutIndexesGetsTheAutomaticPrimaryIndex) {
  auto table = NewTable("Plain");
  table->FieldDefs().Add("A", ftInteger);
  table->FieldDefs().Add("B", ftString, 10);
  Create(*table);
  ExpectReleased(*table);
  EXPECT_EQ(table->IndexDefs().Count(), 0);
  EXPECT_EQ(table->FieldDefs().Items(0).FieldNo(), 1);
  EXPECT_EQ(table->FieldDefs().Items(1).FieldNo(), 2);

  const TIndexDefinition primary = StoredIndex(Idx("Plain"), 0);
  EXPECT_EQ(primary.KeyFieldCount, 1);
  EXPECT_EQ(primary.KeyFields[0], 65535);
  EXPECT_TRUE(primary.KeyUnique);
  EXPECT_EQ(StoredIndex(Idx("Plain"), 1).KeyFieldCount, 0);  // no secondary index
  const TIndexDefinition text = StoredIndex(Idx("Plain"), 31);
  EXPECT_EQ(text.IndexName, "Sys Text");
  EXPECT_EQ(text.KeyFieldCount, 0);
  EXPECT_EQ(text.KeyCompressionType, 3);
  EXPECT_TRUE(text.NoKeyStatistics);

  table->Open();
  ASSERT_EQ(table->IndexDefs().Count(), 1);
  const TCairnIndexDef& read = table->IndexDefs().Items(0);
  EXPECT_EQ(read.Name(), "");
  EXPECT_EQ(read.Fields(), "RecordID");
  EXPECT_EQ(read.Options(), (TIndexOptions{ixPrimary, ixUnique}));
}

TEST_F(CairnTableTest, PrimaryIndexDefinitionMovesFirst) {
  auto table = NewTable("Moved");
  table->FieldDefs().Add("A", ftInteger);
  table->FieldDefs().Add("B", ftString, 10);
  table->FieldDefs().Add("C", ftInteger);
  TCairnIndexDefs& defs = table->IndexDefs();
  defs.Add("IDX_A", "A", {}, "", icDuplicateByte, true);
  defs.Add("", "B", {ixPrimary, ixUnique});
  defs.Add("IDX_C", "C", {ixCaseInsensitive}, "C");
  Create(*table);

  ASSERT_EQ(defs.Count(), 3);
  EXPECT_EQ(defs.Items(0).Name(), "");
  EXPECT_EQ(defs.Items(0).Fields(), "B");
  EXPECT_EQ(defs.Items(0).Options(), (TIndexOptions{ixPrimary, ixUnique}));
  EXPECT_EQ(defs.Items(1).Name(), "IDX_A");
  EXPECT_EQ(defs.Items(1).Compression(), icDuplicateByte);
  EXPECT_TRUE(defs.Items(1).NoKeyStatistics());
  EXPECT_EQ(defs.Items(2).Name(), "IDX_C");
  EXPECT_EQ(defs.Items(2).DescFields(), "C");
  EXPECT_EQ(defs.Items(2).Options(), (TIndexOptions{ixCaseInsensitive, ixDescending}));

  EXPECT_EQ(StoredIndex(Idx("Moved"), 0).KeyFields[0], 2);  // B
  EXPECT_EQ(StoredIndex(Idx("Moved"), 1).IndexName, "IDX_A");
  EXPECT_EQ(StoredIndex(Idx("Moved"), 2).IndexName, "IDX_C");
}

TEST_F(CairnTableTest, TwoPrimaryIndexesFailWithoutLeavingAnything) {
  struct {
    const char* first;
    TIndexOptions firstOptions;
  } cases[] = {
      {"", {ixPrimary}},  // primary first, another later
      {"IDX_X", {}},      // the first primary moves to the front, the second then fails
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    auto table = NewTable("Twice");
    table->FieldDefs().Add("A", ftInteger);
    table->FieldDefs().Add("B", ftInteger);
    table->IndexDefs().Add(c.first, "A", c.firstOptions);
    table->IndexDefs().Add("IDX_P1", "B", {ixPrimary});
    table->IndexDefs().Add("IDX_P2", "A;B", {ixPrimary});
    EXPECT_EQ(ErrorText([&] { Create(*table); }), "Only one primary index allowed per table");
    ExpectReleased(*table);
    EXPECT_FALSE(FileExists(Dat("Twice")));
  }
}

TEST_F(CairnTableTest, UnknownIndexFieldFailsWithTheTableName) {
  auto table = NewTable("Unknown");
  table->FieldDefs().Add("A", ftInteger);
  table->IndexDefs().Add("IDX_A", "A;Nope");
  EXPECT_EQ(ErrorText([&] { Create(*table); }), "tblUnknown: Field 'Nope' not found");
  ExpectReleased(*table);
  table->IndexDefs().Clear();
  table->IndexDefs().Add("IDX_A", "A", {}, "Missing");
  EXPECT_EQ(ErrorText([&] { Create(*table); }), "tblUnknown: Field 'Missing' not found");
  table->IndexDefs().Clear();
  EXPECT_EQ(ErrorText([&] {
              table->CreateTable(0, 1, 0, false, "", "", 4096, 512, 0, "A;Other", nullptr, "", "");
            }),
            "tblUnknown: Field 'Other' not found");
  EXPECT_FALSE(FileExists(Dat("Unknown")));
}

TEST_F(CairnTableTest, KeyFieldsNameThePseudoFieldsAndMarkDescendingPositions) {
  auto table = NewTable("Keys");
  table->FieldDefs().Add("Code", ftInteger);
  table->FieldDefs().Add("Name", ftString, 20);
  table->IndexDefs().Add("IDX_IDNAME", " RecordID ; Name ", {}, "Name");
  table->IndexDefs().Add("IDX_HASH", "recordhash;Code", {ixUnique, ixCaseInsensitive});
  Create(*table);

  const TIndexDefinition byName = StoredIndex(Idx("Keys"), 1);
  EXPECT_EQ(byName.IndexName, "IDX_IDNAME");
  ASSERT_EQ(byName.KeyFieldCount, 2);
  EXPECT_EQ(byName.KeyFields[0], 65535);
  EXPECT_EQ(byName.KeyFields[1], 2);
  EXPECT_FALSE(byName.KeyDescendingFields[0]);
  EXPECT_TRUE(byName.KeyDescendingFields[1]);
  EXPECT_TRUE(byName.KeyDescending);
  EXPECT_FALSE(byName.KeyUnique);

  const TIndexDefinition byHash = StoredIndex(Idx("Keys"), 2);
  ASSERT_EQ(byHash.KeyFieldCount, 2);
  EXPECT_EQ(byHash.KeyFields[0], 65534);
  EXPECT_EQ(byHash.KeyFields[1], 1);
  EXPECT_TRUE(byHash.KeyUnique);
  EXPECT_TRUE(byHash.KeyCaseInsensitive);
  EXPECT_FALSE(byHash.KeyDescending);

  table->Open();
  ASSERT_EQ(table->IndexDefs().Count(), 3);
  EXPECT_EQ(table->IndexDefs().Items(1).Fields(), "RecordID;Name");
  EXPECT_EQ(table->IndexDefs().Items(1).DescFields(), "Name");
  EXPECT_EQ(table->IndexDefs().Items(2).Fields(), "RecordHash;Code");
  EXPECT_EQ(table->IndexDefs().Items(2).Options(), (TIndexOptions{ixUnique, ixCaseInsensitive}));
}

TEST_F(CairnTableTest, FieldLengthsByType) {
  struct {
    TFieldType type;
    int32_t size;
    uint16_t length;
    uint8_t decimals;
  } cases[] = {
      {ftGuid, 38, 38, 0},
      {ftGuid, 0, 38, 0},
      {ftGuid, 20, 38, 0},
      {ftString, 255, 255, 0},
      {ftString, 65536 + 12, 12, 0},
      {ftFixedChar, 7, 7, 0},
      {ftWideString, 9, 9, 0},
      {ftBytes, 16, 16, 0},
      {ftVarBytes, 30, 30, 0},
      {ftBCD, 4, 0, 4},
      {ftBCD, 256 + 2, 0, 2},
      {ftInteger, 0, 0, 0},
      {ftBoolean, 5, 0, 0},
      {ftDateTime, 0, 0, 0},
      {ftMemo, 10, 0, 0},
      {ftBlob, 0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EngineFieldLength(c.type, c.size), c.length) << int(c.type) << " " << c.size;
    EXPECT_EQ(EngineFieldDecimals(c.type, c.size), c.decimals) << int(c.type) << " " << c.size;
  }

  // A GUID field stores 38 whatever its size says.
  auto table = NewTable("Guids");
  table->FieldDefs().Add("G1", ftGuid, 0);
  table->FieldDefs().Add("G2", ftGuid, 20);
  table->FieldDefs().Add("S", ftString, 255);
  Create(*table);
  EXPECT_EQ(StoredField(Dat("Guids"), 0).Length, 38);
  EXPECT_EQ(StoredField(Dat("Guids"), 1).Length, 38);
  EXPECT_EQ(StoredField(Dat("Guids"), 1).SubType, 50);
  EXPECT_EQ(StoredField(Dat("Guids"), 2).Length, 255);
}

TEST_F(CairnTableTest, LongFieldNameIsStoredCut) {
  const std::string longName = "F" + std::string(69, 'x');
  auto table = NewTable("Long");
  table->FieldDefs().Add(longName, ftInteger);
  table->IndexDefs().Add("IDX_LONG", longName);
  Create(*table);
  EXPECT_EQ(table->FieldDefs().Items(0).Name(), longName);
  EXPECT_EQ(StoredField(Dat("Long"), 0).FieldName, longName.substr(0, 60));
  EXPECT_EQ(StoredIndex(Idx("Long"), 1).KeyFields[0], 1);
}

TEST_F(CairnTableTest, ExistingTableFailsWith13060AndStaysClosed) {
  CreatedTable("Twice");
  const std::string before = ReadDiskFile(Dat("Twice"));
  auto table = CreatedTable("Other");
  table->SetTableName("Twice");
  try {
    Create(*table);
    FAIL() << "no error";
  } catch (const ECairnEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), 13060);
  }
  ExpectReleased(*table);
  EXPECT_EQ(ReadDiskFile(Dat("Twice")), before);
}

TEST_F(CairnTableTest, DeleteTableRemovesItsFilesOnlyWhenClosed) {
  auto table = CreatedTable("Gone");
  table->FieldDefs().Clear();
  table->FieldDefs().Add("Notes", ftMemo);
  table->IndexDefs().Clear();
  table->SetTableName("WithBlobs");
  Create(*table);
  ASSERT_TRUE(FileExists(Temp.File("WithBlobs.blb")));

  table->Open();
  EXPECT_EQ(ErrorText([&] { table->DeleteTable(); }),
            "tblGone: Cannot perform this operation on an open dataset");
  table->Close();
  // Open through another table object of this process: the files stay.
  auto other = NewTable("WithBlobs");
  other->Open();
  EXPECT_EQ(ErrorCodeOf([&] { table->DeleteTable(); }), CAIRN_OSEACCES);
  EXPECT_TRUE(FileExists(Temp.File("WithBlobs.dat")));
  other->Close();

  table->DeleteTable();
  ExpectReleased(*table);
  for (const char* file : {"WithBlobs.dat", "WithBlobs.idx", "WithBlobs.blb"})
    EXPECT_FALSE(FileExists(Temp.File(file))) << file;
  EXPECT_FALSE(table->Exists());
  // A table without a blob file, and one whose index file is already gone.
  std::filesystem::remove(Idx("Gone"));
  auto gone = NewTable("Gone");
  gone->DeleteTable();
  EXPECT_FALSE(FileExists(Dat("Gone")));
  // Nothing left to delete is no failure; the table can be created again.
  gone->DeleteTable();
  Create(*table);
  EXPECT_TRUE(table->Exists());
}

TEST_F(CairnTableTest, CreateNeedsAClosedTableAndAName) {
  auto table = CreatedTable("Events");
  table->Open();
  EXPECT_EQ(ErrorText([&] { Create(*table); }),
            "tblEvents: Cannot perform this operation on an open dataset");
  table->Close();
  TCairnTable unnamed;
  unnamed.SetDatabaseName("MainDB");
  unnamed.FieldDefs().Add("A", ftInteger);
  EXPECT_EQ(ErrorText([&] { Create(unnamed); }), "Missing table name");
  EXPECT_FALSE(FileExists(Temp.File(".dat")));
}

TEST_F(CairnTableTest, OpenUsesExclusiveAsSetAndASecondOpenDoesNothing) {
  for (bool exclusive : {true, false}) {
    auto table = CreatedTable(exclusive ? "Excl" : "Shared");
    EXPECT_FALSE(table->Active());
    table->SetExclusive(exclusive);
    table->Open();
    ASSERT_TRUE(table->Active());
    TDataCursor* cursor = table->Handle();
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->Exclusive(), exclusive);
    EXPECT_TRUE(table->CanModify());
    EXPECT_FALSE(table->ReadOnly());
    EXPECT_TRUE(table->DBFlag(TCairnDBDataSet::kUseCursor));
    EXPECT_EQ(db->RefCount(), 1);
    table->Open();
    EXPECT_EQ(table->Handle(), cursor);
    table->Close();
    ExpectReleased(*table);
    EXPECT_FALSE(table->CanModify());
    table->Close();
  }
}

TEST_F(CairnTableTest, OpenFailuresLeaveTheTableClosed) {
  TCairnTable unnamed;
  unnamed.SetDatabaseName("MainDB");
  EXPECT_EQ(ErrorText([&] { unnamed.Open(); }), "Missing table name");
  ExpectReleased(unnamed);

  auto missing = NewTable("Missing");
  EXPECT_EQ(ErrorCodeOf([&] { missing->Open(); }), CAIRN_OSENOENT);
  ExpectReleased(*missing);
}

TEST_F(CairnTableTest, OpenModeChangesNeedAClosedTable) {
  auto table = CreatedTable("Events");
  table->SetExclusive(true);
  table->Open();
  table->SetExclusive(true);
  table->SetReadOnly(false);
  table->SetTableName("Events");
  const std::string refused = "tblEvents: Cannot perform this operation on an open dataset";
  EXPECT_EQ(ErrorText([&] { table->SetExclusive(false); }), refused);
  EXPECT_EQ(ErrorText([&] { table->SetReadOnly(true); }), refused);
  EXPECT_EQ(ErrorText([&] { table->SetTableName("Other"); }), refused);
  EXPECT_EQ(ErrorText([&] { table->SetDatabaseName("Other"); }), refused);
  EXPECT_TRUE(table->Exclusive());
  EXPECT_EQ(table->TableName(), "Events");
  table->Close();
  table->SetExclusive(false);
  EXPECT_FALSE(table->Exclusive());
}

TEST_F(CairnTableTest, FieldDefinitionsReadBackAsCreated) {
  struct {
    const char* name;
    TFieldType type;
    int32_t size;
    bool required;
    const char* defaultValue;
    TFieldType readType;
    int32_t readSize;
  } fields[] = {
      {"Str", ftString, 30, true, "abc", ftString, 30},
      {"Small", ftSmallint, 0, false, "-3", ftSmallint, 0},
      {"Int", ftInteger, 0, false, "-1", ftInteger, 0},
      {"Wrd", ftWord, 0, false, "", ftWord, 0},
      {"Bool", ftBoolean, 0, false, "False", ftBoolean, 0},
      {"Flt", ftFloat, 0, false, "", ftFloat, 0},
      {"Money", ftCurrency, 0, false, "", ftCurrency, 0},
      {"Day", ftDate, 0, false, "", ftDate, 0},
      {"Tm", ftTime, 0, false, "", ftTime, 0},
      {"Stamp", ftDateTime, 0, false, "", ftDateTime, 0},
      {"Byt", ftBytes, 10, false, "", ftBytes, 10},
      {"VarByt", ftVarBytes, 12, false, "", ftVarBytes, 12},
      {"Auto", ftAutoInc, 0, true, "", ftAutoInc, 0},
      {"Bin", ftBlob, 0, false, "", ftBlob, 0},
      {"Note", ftMemo, 0, false, "", ftMemo, 0},
      {"Pic", ftGraphic, 0, false, "", ftGraphic, 0},
      {"Fmt", ftFmtMemo, 0, false, "", ftMemo, 0},
      {"Fixed", ftFixedChar, 5, false, "", ftFixedChar, 5},
      {"Wide", ftWideString, 10, false, "", ftString, 10},
      {"Big", ftLargeint, 0, false, "", ftLargeint, 0},
      {"Id", ftGuid, 38, true, "CURRENT_GUID", ftGuid, 38},
  };
  auto table = NewTable("Types");
  for (const auto& f : fields)
    table->FieldDefs().Add(f.name, f.type, f.size, f.required, f.defaultValue);
  TCairnFieldDef& str = table->FieldDefs().Items(0);
  str.SetMinValue("a");
  str.SetMaxValue("zzz");
  str.SetDescription("A text");
  str.SetCharCase(fcUpperCase);
  table->FieldDefs().Find("Note").SetCompression(6);
  Create(*table);
  EXPECT_TRUE(table->StoreDefs());

  table->Open();
  const TCairnFieldDefs& defs = table->FieldDefs();
  ASSERT_EQ(defs.Count(), static_cast<int>(std::size(fields)));
  ASSERT_EQ(table->GenericFieldDefs().size(), std::size(fields));
  for (int i = 0; i < defs.Count(); ++i) {
    const auto& f = fields[i];
    SCOPED_TRACE(f.name);
    const TCairnFieldDef& def = defs.Items(i);
    EXPECT_EQ(def.FieldNo(), i + 1);
    EXPECT_EQ(def.Name(), f.name);
    EXPECT_EQ(def.DataType(), f.readType);
    EXPECT_EQ(def.Size(), f.readSize);
    EXPECT_EQ(def.Required(), f.required);
    EXPECT_EQ(def.DefaultValue(), f.defaultValue);
    const TFieldDef& generic = table->GenericFieldDefs()[i];
    EXPECT_EQ(generic.Name, f.name);
    EXPECT_EQ(generic.DataType, f.readType);
    EXPECT_EQ(generic.Size, f.readSize);
    // An auto-increment field never needs a value given.
    EXPECT_EQ(generic.Required, f.required && f.readType != ftAutoInc);
  }
  const TCairnFieldDef& readStr = defs.Items(0);
  EXPECT_EQ(readStr.MinValue(), "a");
  EXPECT_EQ(readStr.MaxValue(), "zzz");
  EXPECT_EQ(readStr.Description(), "A text");
  EXPECT_EQ(readStr.CharCase(), fcUpperCase);
  EXPECT_EQ(defs.Find("Note").Compression(), 6);
  // Reading the definitions back is the table object's own doing.
  EXPECT_FALSE(table->DBFlag(TCairnDBDataSet::kUseFieldDefs));
}

TEST_F(CairnTableTest, EmptyFieldDefsTakeTheGenericDefinitionsOfTheLastOpen) {
  auto table = CreatedTable("Source");
  table->Open();
  table->Close();
  table->FieldDefs().Clear();
  table->IndexDefs().Clear();
  table->SetTableName("Copy");
  Create(*table);
  ASSERT_EQ(table->FieldDefs().Count(), 3);
  EXPECT_EQ(table->FieldDefs().Items(0).Name(), "ID");
  EXPECT_EQ(table->FieldDefs().Items(0).DataType(), ftGuid);
  EXPECT_EQ(StoredField(Dat("Copy"), 1).FieldName, "Name");
  EXPECT_EQ(StoredField(Dat("Copy"), 1).Length, 40);
}

TEST_F(CairnTableTest, ReverseTypeMap) {
  struct {
    uint8_t dataType;
    uint8_t subType;
    std::optional<TFieldType> type;
  } cases[] = {
      {1, 0, ftString},      {1, 31, ftFixedChar},  {1, 50, ftGuid},       {1, 32, ftString},
      {2, 0, ftDate},        {3, 0, ftBlob},        {3, 22, ftMemo},       {3, 24, ftMemo},
      {3, 33, ftMemo},       {3, 26, ftGraphic},    {3, 30, ftBlob},       {4, 0, ftBoolean},
      {5, 0, ftSmallint},    {6, 0, ftInteger},     {6, 29, ftAutoInc},    {7, 0, ftFloat},
      {7, 21, ftCurrency},   {8, 0, ftBCD},         {9, 0, ftBytes},       {10, 0, ftTime},
      {11, 0, ftDateTime},   {12, 0, ftWord},       {13, 0, ftInteger},    {15, 0, ftVarBytes},
      {18, 0, ftLargeint},   {19, 0, ftLargeint},   {20, 0, ftADT},        {21, 0, ftArray},
      {22, 0, ftReference},  {23, 0, ftDataSet},    {0, 0, std::nullopt},  {14, 0, std::nullopt},
      {16, 0, std::nullopt}, {17, 0, std::nullopt}, {24, 0, std::nullopt}, {255, 50, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FieldTypeOf(c.dataType, c.subType), c.type)
        << int(c.dataType) << "/" << int(c.subType);
  }
  // The way there, for the types the forward map names and one it does not.
  EXPECT_EQ(EngineFieldType(ftMemo), (TEngineFieldType{3, 22}));
  EXPECT_EQ(EngineFieldType(ftGuid), (TEngineFieldType{1, 50}));
  EXPECT_EQ(EngineFieldType(ftCursor), (TEngineFieldType{17, 0}));
  EXPECT_EQ(EngineFieldType(ftTimeStamp), (TEngineFieldType{0, 0}));
}

TEST_F(CairnTableTest, ClosingTheDatabaseClosesTheTable) {
  auto table = CreatedTable("Events");
  table->Open();
  ASSERT_EQ(db->ClientCount(), 1u);
  db->Close();
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(table->DBFlags(), 0);
  EXPECT_EQ(table->Database(), nullptr);
  EXPECT_EQ(db->ClientCount(), 0u);
  table->Open();  // acquires the database again
  EXPECT_TRUE(db->Connected());
  EXPECT_TRUE(table->Active());
}

TEST_F(CairnTableTest, DestroyingAnOpenTableReleasesItsDatabase) {
  auto table = CreatedTable("Events");
  table->SetExclusive(true);
  table->Open();
  table.reset();
  EXPECT_EQ(db->RefCount(), 0);
  EXPECT_EQ(db->ClientCount(), 0u);
  // The exclusive open is gone with it.
  auto again = NewTable("Events");
  again->SetExclusive(true);
  again->Open();
  EXPECT_TRUE(again->Active());
}

}  // namespace
}  // namespace cairn::test
