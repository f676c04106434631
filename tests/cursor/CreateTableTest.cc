#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineError.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/OsError.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/FaultInjectingFiles.h"
#include "tests/support/TableTestSupport.h"
#include "tests/support/Unprivileged.h"

namespace cairn {
namespace {

using test::EngineErrorCode;
using test::EventsParams;
using test::ReadDiskFile;
using test::SizeOf;

class CreateTableTest : public test::TableFixture {
 protected:
  // Creates a table through an exclusive cursor, as the table component does.
  void CreateTable(const std::string& name, TTableCreateParams params) {
    TDataCursor cursor(FDirectory);
    cursor.SetTableName(name);
    cursor.SetExclusive(true);
    cursor.CreateTable(params);
  }
  bool AnyTableFile() const {
    for (const auto& entry : std::filesystem::directory_iterator(FDir.Path())) {
      if (entry.path().filename() != "cairn.lck") return true;
    }
    return false;
  }
};

TEST_F(CreateTableTest, EngineTableNameIsTheFileNameWithTheDataExtension) {
  TDataCursor cursor(FDirectory);
  EXPECT_EQ(FDirectory.DataCursorCount(), 1u);
  struct Case {
    std::string given, expected;
  } cases[] = {
      {"Events", "Events.dat"},
      {"Events.txt", "Events.dat"},
      {"elsewhere/Events", "Events.dat"},
      {std::string(70, 'N'), std::string(60, 'N')},  // cut after the extension is added
  };
  for (const Case& c : cases) {
    cursor.SetTableName(c.given);
    EXPECT_EQ(cursor.TableName(), c.expected) << c.given;
    EXPECT_EQ(cursor.ErrorTableName(), c.expected) << c.given;
  }
}

TEST_F(CreateTableTest, CursorMustBeClosedExclusiveAndWritable) {
  CreateTable("Open", EventsParams());
  TDataCursor open(FDirectory);
  open.SetTableName("Open");
  open.SetExclusive(true);
  open.OpenCursor();

  struct Case {
    const char* what;
    TDataCursor* cursor;
    bool exclusive, readOnly;
    uint16_t code;
  };
  TDataCursor fresh(FDirectory);
  fresh.SetTableName("Events");
  const Case cases[] = {
      {"shared cursor", &fresh, false, false, CAIRN_NEEDEXCLACCESS},
      {"read-only cursor", &fresh, true, true, CAIRN_OSEACCES},
      {"open cursor", &open, true, false, CAIRN_TABLEOPEN},
  };
  for (const Case& c : cases) {
    c.cursor->SetExclusive(c.exclusive);
    c.cursor->SetReadOnly(c.readOnly);
    TTableCreateParams params = EventsParams();
    EXPECT_EQ(EngineErrorCode([&] { c.cursor->CreateTable(params); }), c.code) << c.what;
    EXPECT_EQ(FEngine.LastError().TableName, c.cursor->TableName()) << c.what;
  }
  EXPECT_FALSE(test::Exists(File("Events.dat")));
  EXPECT_TRUE(open.IsOpen());
}

TEST_F(CreateTableTest, InvalidDefinitionsLeaveNothingOnDisk) {
  struct Case {
    const char* what;
    void (*spoil)(TTableCreateParams&);
    uint16_t code;
  } cases[] = {
      {"no fields", [](TTableCreateParams& p) { p.Fields.clear(); }, CAIRN_FLDLIMIT},
      {"page size 16385", [](TTableCreateParams& p) { p.IndexPageSize = 16385; }, CAIRN_INDEXLIMIT},
      {"field named RecordID", [](TTableCreateParams& p) { p.Fields[0].FieldName = "recordid"; },
       CAIRN_INVALIDFIELDNAME},
  };
  for (const Case& c : cases) {
    TTableCreateParams params = EventsParams(true);
    c.spoil(params);
    EXPECT_EQ(EngineErrorCode([&] { CreateTable("Events", params); }), c.code) << c.what;
    EXPECT_FALSE(AnyTableFile()) << c.what;
  }
}

TEST_F(CreateTableTest, ExistingTableIsRefusedAndKeepsEveryByte) {
  CreateTable("Events", EventsParams(true));
  const char* const files[] = {"Events.dat", "Events.idx", "Events.blb"};
  std::vector<std::string> before;
  for (const char* name : files) before.push_back(ReadDiskFile(File(name)));

  TTableCreateParams other = EventsParams();
  other.Fields.push_back(test::NewField("Extra", fld::kInteger));
  other.Fields.back().FieldNum = 3;
  EXPECT_EQ(EngineErrorCode([&] { CreateTable("events", other); }), CAIRN_TABLEEXISTS);
  EXPECT_EQ(FEngine.LastError().TableName, "events.dat");
  for (size_t k = 0; k < before.size(); ++k) {
    EXPECT_EQ(ReadDiskFile(File(files[k])), before[k]) << files[k];
  }

  // A table open in the directory exists even when its data file is gone from the disk.
  TDataCursor reader(FDirectory);
  reader.SetTableName("Events");
  reader.OpenCursor();
  std::filesystem::remove(File("Events.dat"));
  EXPECT_EQ(EngineErrorCode([&] { CreateTable("Events", EventsParams()); }), CAIRN_TABLEEXISTS);
  EXPECT_FALSE(test::Exists(File("Events.dat")));
}

// Host files of a creator that comes second: between its existence check and the creation of
// the data file, another process creates the table (here: writes its data file).
class TCreatedMeanwhile : public test::TFaultInjectingFiles {
 public:
  explicit TCreatedMeanwhile(std::string dataFile) : FDataFile(std::move(dataFile)) {}
  int Create(const std::string& path, bool mustBeNew = false) override {
    if (path.ends_with(FDataFile)) test::WriteDiskFile(path, "the other creator's table");
    return TFaultInjectingFiles::Create(path, mustBeNew);
  }

 private:
  std::string FDataFile;
};

TEST_F(CreateTableTest, TableCreatedMeanwhileByAnotherIsNeitherTakenOverNorReplaced) {
  TCreatedMeanwhile other("/Events.dat");
  FEngine.SetHostFiles(&other);
  EXPECT_EQ(EngineErrorCode([&] { CreateTable("Events", EventsParams(true)); }), CAIRN_TABLEEXISTS);
  FEngine.SetHostFiles(nullptr);
  EXPECT_EQ(ReadDiskFile(File("Events.dat")), "the other creator's table");
  EXPECT_FALSE(test::Exists(File("Events.idx")));
  EXPECT_FALSE(test::Exists(File("Events.blb")));
}

TEST_F(CreateTableTest, ReadOnlyDirectoryRefusesCreation) {
  const std::string missing = FDir.File("nowhere");
  TDataDirectory& directory = FSession.OpenDataDirectory("ro", missing, false, false, false);
  ASSERT_TRUE(directory.ReadOnly());
  TDataCursor cursor(directory);
  cursor.SetTableName("EventsArchi");
  cursor.SetExclusive(true);
  TTableCreateParams params = EventsParams();
  EXPECT_EQ(EngineErrorCode([&] { cursor.CreateTable(params); }), CAIRN_OSEACCES);
  EXPECT_EQ(FEngine.LastError().TableName, "EventsArchi.dat");
  EXPECT_EQ(FEngine.LastError().DatabaseName, missing);
  EXPECT_FALSE(test::Exists(missing));
  EXPECT_EQ(directory.DataTableCount(), 0u);
}

// Whichever write of a creation fails, the closing flush's included, no file of the table stays:
// a half-written table would pass for an existing one.
TEST_F(CreateTableTest, FailedWriteLeavesNoFileOfTheTable) {
  test::TFaultInjectingFiles faults;
  FEngine.SetHostFiles(&faults);
  CreateTable("Clean", EventsParams(true));
  const int64_t writes = faults.Calls(test::TFileOp::Write);
  ASSERT_GT(writes, 3);
  for (int64_t k = 1; k <= writes; ++k) {
    SCOPED_TRACE("write " + std::to_string(k));
    faults.ResetCounts();
    faults.Arm(test::TFileOp::Write, k, host::kErrorAccessDenied);
    EXPECT_EQ(EngineErrorCode([&] { CreateTable("Events", EventsParams(true)); }), CAIRN_OSEACCES);
    faults.Disarm();
    for (const char* file : {"Events.dat", "Events.idx", "Events.blb"})
      EXPECT_FALSE(test::Exists(FDir.File(file))) << file;
    EXPECT_EQ(FDirectory.DataTableCount(), 0u);
  }
  FEngine.SetHostFiles(nullptr);
}

TEST_F(CreateTableTest, ClosedAfterCreationAndReadBackByOpen) {
  CreateTable("Events", EventsParams());
  EXPECT_EQ(FDirectory.DataTableCount(), 0u);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u) << "only the lock file stays open";
  EXPECT_EQ(SizeOf(File("Events.dat")), 512 + 768 * 2);
  EXPECT_EQ(SizeOf(File("Events.idx")), 25088 + 4096);
  EXPECT_FALSE(test::Exists(File("Events.blb")));

  TDataCursor cursor(FDirectory);
  cursor.SetTableName("Events");
  cursor.SetExclusive(true);
  cursor.OpenCursor();
  ASSERT_TRUE(cursor.IsOpen());
  EXPECT_FALSE(cursor.ReadOnly());
  EXPECT_EQ(cursor.RecordSize(), 56);
  ASSERT_EQ(cursor.FieldCount(), 2);
  EXPECT_EQ(cursor.FieldDefinition(1)->FieldName, "Id");
  EXPECT_EQ(cursor.FieldDefinition(2)->FieldName, "Name");
  EXPECT_EQ(cursor.FieldDefinition(2)->Length, 20);
  EXPECT_EQ(cursor.FieldDefinition(2)->Offset, 30);
  EXPECT_EQ(cursor.FieldDefinition(-1)->FieldName, "RecordID");
  EXPECT_EQ(cursor.FieldDefinition(-2)->FieldName, "RecordHash");
  EXPECT_EQ(cursor.FieldDefinition(3), nullptr);
  EXPECT_EQ(cursor.FieldDefinition(0), nullptr);
  EXPECT_EQ(cursor.FieldDefinitionByName("NAME"), cursor.FieldDefinition(2));

  ASSERT_EQ(cursor.IndexCount(), 1);
  EXPECT_TRUE(cursor.IndexDefinition(0).IsAutomaticPrimary());
  EXPECT_EQ(cursor.IndexDefinition(1).IndexName, "ByName");
  EXPECT_EQ(cursor.IndexDefinition(1).KeySize, 22 + 4);
  EXPECT_EQ(cursor.IndexDefinition(31).IndexName, "Sys Text");
  EXPECT_THROW(cursor.IndexDefinition(2), std::out_of_range);

  EXPECT_EQ(cursor.IndexPos(), 0);
  cursor.SetIndexName("byname");
  EXPECT_EQ(cursor.IndexPos(), 1);
  EXPECT_EQ(cursor.IndexName(), "ByName");
  EXPECT_EQ(EngineErrorCode([&] { cursor.SetIndexName("Nope"); }), CAIRN_INVALIDINDEXNAME);
  EXPECT_EQ(FEngine.LastError().IndexName, "Nope");
  EXPECT_EQ(cursor.IndexPos(), 1);
  cursor.SetIndexName("");
  EXPECT_EQ(cursor.IndexPos(), 0);

  cursor.CloseCursor();
  EXPECT_FALSE(cursor.IsOpen());
  EXPECT_EQ(cursor.FieldCount(), 0);
  EXPECT_EQ(FDirectory.DataTableCount(), 0u);
}

TEST_F(CreateTableTest, OpenAfterCreateKeepsTheNewTableOpen) {
  TTableCreateParams params = EventsParams(true);
  params.OpenAfterCreate = true;
  TDataCursor cursor(FDirectory);
  cursor.SetTableName("Notes");
  cursor.SetExclusive(true);
  cursor.CreateTable(params);
  ASSERT_TRUE(cursor.IsOpen());
  EXPECT_EQ(cursor.DataTable()->UseCount(), 1);
  EXPECT_EQ(cursor.FieldCount(), 3);
  EXPECT_EQ(cursor.RecordSize(), 64);
  // The full-text parameters wait in the cache until the table is closed.
  EXPECT_EQ(SizeOf(File("Notes.idx")), 25088);
  cursor.CloseCursor();
  EXPECT_EQ(SizeOf(File("Notes.idx")), 25088 + 4096);
  EXPECT_EQ(SizeOf(File("Notes.blb")), 512);
  EXPECT_EQ(FDirectory.DataTableCount(), 0u);
}

TEST_F(CreateTableTest, OpeningComputesTheRecordFlags) {
  struct Case {
    const char* what;
    void (*change)(TFieldDefinition&);
    bool defaults, checks, autoInc;
  } cases[] = {
      {"plain", [](TFieldDefinition&) {}, false, false, false},
      {"default", [](TFieldDefinition& f) { f.Default = "7"; }, true, false, false},
      {"required", [](TFieldDefinition& f) { f.Required = true; }, false, true, false},
      {"minimum", [](TFieldDefinition& f) { f.Minimum = "1"; }, false, true, false},
      {"maximum", [](TFieldDefinition& f) { f.Maximum = "9"; }, false, true, false},
      {"auto-increment", [](TFieldDefinition& f) { f.SubType = fld::kSubAutoInc; }, false, false,
       true},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "F" + std::to_string(n++);
    TTableCreateParams params = EventsParams();
    c.change(params.Fields[0]);
    CreateTable(name, params);
    TDataCursor cursor(FDirectory);
    cursor.SetTableName(name);
    cursor.OpenCursor();
    EXPECT_EQ(cursor.HasDefaultValues(), c.defaults) << c.what;
    EXPECT_EQ(cursor.HasValidityChecks(), c.checks) << c.what;
    EXPECT_EQ(cursor.HasAutoIncFields(), c.autoInc) << c.what;
  }
}

TEST_F(CreateTableTest, CursorsOfOneSessionShareTheTable) {
  CreateTable("Events", EventsParams());
  const std::string lockFile = File("cairn.lck");

  TDataCursor exclusive(FDirectory);
  exclusive.SetTableName("Events");
  exclusive.SetExclusive(true);
  exclusive.OpenCursor();
  TDataCursor shared(FDirectory);
  shared.SetTableName("Events");
  EXPECT_EQ(EngineErrorCode([&] { shared.OpenCursor(); }), CAIRN_OSEACCES);
  EXPECT_FALSE(shared.IsOpen());
  exclusive.CloseCursor();
  EXPECT_EQ(ReadDiskFile(lockFile), test::LockFileBytes(1, {}))
      << "exclusive opens register nothing";

  shared.OpenCursor();
  TDataCursor second(FDirectory);
  second.SetTableName("EVENTS");
  second.OpenCursor();
  EXPECT_EQ(shared.DataTable(), second.DataTable());
  EXPECT_EQ(shared.DataTable()->UseCount(), 2);
  EXPECT_EQ(ReadDiskFile(lockFile), test::LockFileBytes(2, {"Events.dat"}));
  EXPECT_EQ(EngineErrorCode([&] { exclusive.OpenCursor(); }), CAIRN_OSEACCES);

  shared.CloseCursor();
  EXPECT_EQ(FDirectory.DataTableCount(), 1u);
  EXPECT_TRUE(second.DataTable()->IsOpen());
  second.CloseCursor();
  EXPECT_EQ(FDirectory.DataTableCount(), 0u);
}

TEST_F(CreateTableTest, CursorOutlivingItsTableClosesSafely) {
  CreateTable("Events", EventsParams());
  TDataCursor cursor(FDirectory);
  cursor.SetTableName("Events");
  cursor.OpenCursor();
  FDirectory.Reset();  // closes and detaches the open cursor, then frees the tables
  EXPECT_EQ(FDirectory.DataTableCount(), 0u);
  cursor.CloseCursor();
  EXPECT_FALSE(cursor.IsOpen());
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u);
}

TEST_F(CreateTableTest, TableThatCannotBeWrittenOpensReadOnly) {
  CreateTable("Events", EventsParams());
  for (const char* name : {"Events.dat", "Events.idx"}) {
    std::filesystem::permissions(File(name), std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::group_read |
                                                 std::filesystem::perms::others_read);
  }
  test::MakeTraversable(FDir.Path());
  const int status = test::RunUnprivileged([&] {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataDirectory& directory = OpenDirectory(session);
    TDataCursor cursor(directory);
    cursor.SetTableName("Events");
    cursor.OpenCursor();
    if (!cursor.ReadOnly()) return 1;
    if (!cursor.DataTable()->MarkedReadOnly()) return 2;
    if (cursor.DataTable()->DataTableLocks() != nullptr) return 3;
    if (cursor.FieldCount() != 2) return 4;
    return 0;
  });
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace cairn
