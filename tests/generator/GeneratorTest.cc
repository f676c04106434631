// The generator end to end: the real kalvora-dbgen binary, copied into a temporary folder beside
// its Data directory, run as a child process; its tables read back through the engine.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnTable.h"
#include "cairn/engine/data/DataHeader.h"
#include "tests/support/ComponentLayerTest.h"
#include "tests/support/DiskFiles.h"

#ifndef KALVORA_DBGEN
#error "KALVORA_DBGEN must name the kalvora-dbgen binary (set by tests/CMakeLists.txt)"
#endif

extern char** environ;

namespace kalvora {
namespace {

namespace fs = std::filesystem;
using namespace cairn;
using cairn::test::ReadDiskFile;

// Every file of a directory with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(directory))
    files[entry.path().filename().string()] = ReadDiskFile(entry.path());
  return files;
}

std::set<std::string> FileNames(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

struct TRunResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// A folder holding a copy of the generator.
class TGeneratorFolder {
 public:
  TGeneratorFolder() {
    fs::copy_file(KALVORA_DBGEN, Exe());
    fs::permissions(Exe(), fs::perms::owner_all, fs::perm_options::add);
  }

  std::string Exe() const { return FTemp.File("kalvora-dbgen"); }
  fs::path Data() const { return FTemp.File("Data"); }
  void MakeData() const { fs::create_directory(Data()); }

  TRunResult Run() const {
    const std::string out = FTemp.File("stdout"), err = FTemp.File("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string exe = Exe();
    char* argv[] = {exe.data(), nullptr};
    pid_t pid = -1;
    TRunResult result;
    const int spawned = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    if (spawned != 0) return result;
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Out = ReadDiskFile(out);
    result.Err = ReadDiskFile(err);
    return result;
  }

 private:
  cairn::test::TTempDir FTemp;
};

// ---- What the tables must look like
// ---------------------------------------------------------------

struct TFieldCheck {
  int FieldNo;
  const char* Name;
  TFieldType DataType;
  int32_t Size;
  bool Required;
  const char* DefaultValue;
};

struct TIndexCheck {
  const char* Name;
  const char* Fields;
  TIndexOptions Options;
};

struct TTableCheck {
  const char* TableName;
  int FieldCount;
  bool HasBlobs;
  bool StaysEmpty;  // a table without default rows
  std::vector<TFieldCheck> Fields;
  std::vector<TIndexCheck> Indexes;  // all of them
};

const TIndexOptions kPrimary{ixPrimary, ixUnique};

const std::vector<TTableCheck>& Tables() {
  static const std::vector<TTableCheck> tables{
      {"EventsArchi",
       40,
       true,
       true,
       {{1, "EventID", ftGuid, 38, false, "CURRENT_GUID"},
        {12, "ResourceID", ftMemo, 0, false, ""},
        {33, "Delete", ftBoolean, 0, false, "False"},
        {34, "OutlookSyncID", ftMemo, 0, false, ""},
        {37, "gCalSyncSynhronizedField", ftBoolean, 0, false, "False"},
        {40, "ActionGUID", ftString, 40, false, ""}},
       {{"", "EventID", kPrimary},
        {"IDX_ActionDateTime", "ActionDateTime", {}},
        {"IDX_ActionGUID", "ActionGUID", {}}}},
      {"Events",
       34,
       true,
       false,
       {{1, "EventID", ftGuid, 38, false, "CURRENT_GUID"},
        {6, "Caption", ftString, 255, false, ""},
        {11, "RecurrenceInfo", ftBlob, 0, false, ""},
        {12, "ResourceID", ftMemo, 0, false, ""},
        {33, "Delete", ftBoolean, 0, false, "False"},
        {34, "OutlookSyncID", ftString, 255, false, ""}},
       {{"", "EventID", kPrimary}}},
      {"ApptTemplates",
       27,
       true,
       false,
       {{1, "ApptTemplateID", ftGuid, 38, false, "CURRENT_GUID"},
        {3, "ApptTemplateDesc", ftMemo, 0, false, ""},
        {5, "Start", ftTime, 0, false, ""},
        {11, "Duration", ftDateTime, 0, false, ""},
        {18, "Creator", ftSmallint, 0, false, ""},
        {25, "DeleteByUser", ftSmallint, 0, false, ""},
        {27, "Delete", ftBoolean, 0, false, ""}},
       {{"", "ApptTemplateID", kPrimary}, {"IDX_ApptTemplateName", "ApptTemplateName", {}}}},
      {"ContactCategory",
       14,
       false,
       false,
       {{1, "ContactCategoryID", ftGuid, 38, false, "CURRENT_GUID"},
        {2, "CategoryDesc", ftString, 250, false, ""},
        {3, "CategoryColor", ftInteger, 0, false, ""},
        {4, "CategoryBlank", ftString, 50, false, ""},
        {14, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "RecordID", kPrimary},
        {"IDX_CATEGORYDESC", "CategoryDesc", {}},
        {"IDX_CREATEDON", "CreatedOn", {}}}},
      {"Contacts",
       130,
       false,
       true,
       {{1, "ContactID", ftGuid, 38, false, "CURRENT_GUID"},
        {2, "ItemID", ftString, 75, false, ""},
        {13, "CreationTime", ftDateTime, 0, false, ""},
        {18, "Anniversary", ftDate, 0, false, ""},
        {60, "Hobby", ftString, 200, false, ""},
        {90, "NetMeetingAlias", ftString, 30, false, ""},
        {120, "IMAddress", ftString, 100, false, ""},
        {129, "DeleteByUserID", ftGuid, 38, false, ""},
        {130, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "ContactID", kPrimary},
        {"IDX_FILEAS", "FileAs", {}},
        {"IDX_FIRSTNAME", "FirstName", {}},
        {"IDX_COMPANYNAME", "CompanyName", {}},
        {"IDX_LASTNAME", "LastName", {}},
        {"IDX_BUSINESSPHONENUMBER", "BusinessTelephoneNumber", {}},
        {"IDX_HOMEPHONENUMBER", "HomeTelephoneNumber", {}},
        {"IDX_MOBILE", "MobileTelephoneNumber", {}},
        {"IDX_BUSINESS2PHONENUMBER", "Business2TelephoneNumber", {}},
        {"IDX_BUSINESSFAX", "BusinessFaxNumber", {}},
        {"IDX_EMAIL1", "Email1Address", {}},
        {"IDX_CATEGORY", "Categories", {}},
        {"IDX_JOBTITLE", "JobTitle", {}}}},
      {"EventCategory",
       13,
       false,
       false,
       {{1, "EventCategoryID", ftGuid, 38, false, "CURRENT_GUID"},
        {2, "EventCategoryName", ftString, 255, false, ""},
        {3, "EventCategoryColor", ftInteger, 0, false, ""},
        {13, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "RecordID", kPrimary},
        {"IDX_EVENTCATEGORYNAME", "EventCategoryName", {}},
        {"IDX_CREATEDON", "CreatedOn", {}}}},
      {"EventType",
       15,
       false,
       false,
       {{1, "EventTypeID", ftGuid, 38, false, "CURRENT_GUID"},
        {2, "EventTypeName", ftString, 32, false, ""},
        {3, "IconIndex", ftGuid, 38, false, ""},
        {4, "Location", ftString, 150, false, ""},
        {15, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "EventTypeID", kPrimary}, {"IDX_EVENTTYPENAME", "EventTypeName", {}}}},
      {"Resources",
       22,
       true,
       false,
       {{1, "ResourceID", ftGuid, 38, true, "CURRENT_GUID"},
        {5, "SortID", ftInteger, 0, true, ""},
        {6, "ResourceEmail", ftMemo, 0, false, ""},
        {7, "EmailReminder", ftBoolean, 0, false, "False"},
        {10, "HeaderGradient", ftBoolean, 0, false, ""},
        {22, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "ResourceID", kPrimary}, {"IDX_SortID", "SortID", {}}}},
      {"Tasks",
       31,
       true,
       true,
       {{1, "TaskID", ftGuid, 38, false, "CURRENT_GUID"},
        {6, "Priority", ftString, 10, false, ""},
        {8, "Progress", ftFloat, 0, false, ""},
        {9, "ResourceID", ftMemo, 0, false, ""},
        {31, "OutlookSyncID", ftString, 255, false, ""}},
       {{"", "TaskID", kPrimary}}},
      {"WorkHourOptions",
       20,
       false,
       true,
       {{1, "WorkHourOptionID", ftGuid, 38, true, "CURRENT_GUID"},
        {3, "DifferentWorkingHoursPerDay", ftBoolean, 0, false, "False"},
        {4, "WorkMon", ftBoolean, 0, false, ""},
        {20, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "WorkHourOptionID", kPrimary}, {"IDX_ResourceID", "ResourceID", {}}}},
      {"WorkHours",
       15,
       false,
       true,
       {{1, "WorkHourID", ftGuid, 38, true, "CURRENT_GUID"},
        {3, "WorkHourStart", ftDateTime, 0, false, ""},
        {5, "DayOfWeek", ftInteger, 0, false, "-1"},
        {15, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "WorkHourID", kPrimary}, {"IDX_ResourceID", "ResourceID", {}}}},
      {"Photos",
       14,
       true,
       true,
       {{1, "PhotoGUID", ftGuid, 38, false, "CURRENT_GUID"},
        {3, "EnablePhoto", ftBoolean, 0, false, "False"},
        {4, "PhotoBlob", ftBlob, 0, false, ""},
        {14, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "PhotoGUID", kPrimary}}},
  };
  return tables;
}

// The files a complete Data directory holds.
std::set<std::string> ExpectedFiles() {
  std::set<std::string> names{"cairn.lck"};
  for (const TTableCheck& t : Tables()) {
    names.insert(std::string(t.TableName) + ".dat");
    names.insert(std::string(t.TableName) + ".idx");
    if (t.HasBlobs) names.insert(std::string(t.TableName) + ".blb");
  }
  return names;
}

class GeneratorTest : public cairn::test::ComponentLayerTest {
 protected:
  // Opens the table read-only through the component layer and compares it with its check.
  void ExpectTable(const fs::path& data, const TTableCheck& check) {
    SCOPED_TRACE(check.TableName);
    const std::string dat = ReadDiskFile(data / (std::string(check.TableName) + ".dat"));
    ASSERT_GE(dat.size(), TDataHeader::kSize);
    const TDataHeader header = TDataHeader::Decode(dat.data());
    EXPECT_EQ(header.FieldCount, check.FieldCount);
    EXPECT_EQ(header.LocaleID, 0);
    EXPECT_EQ(header.UserMajorVersion, 1);
    EXPECT_EQ(header.UserMinorVersion, 0);
    EXPECT_EQ(header.Encrypted, 0);
    EXPECT_EQ(header.IndexPageSize, 4096);
    EXPECT_EQ(header.BlobBlockSize, 512);
    EXPECT_EQ(header.LastAutoIncID, 0);
    EXPECT_EQ(header.Description, "");
    if (check.StaysEmpty) {
      EXPECT_EQ(header.RecordCount, 0);
    }

    TCairnDatabase db;
    db.SetDatabaseName("Check");
    db.SetDirectory(data.string());
    TCairnTable table;
    table.SetDatabaseName("Check");
    table.SetTableName(check.TableName);
    table.SetReadOnly(true);
    table.Open();
    const TCairnFieldDefs& fields = table.FieldDefs();
    EXPECT_EQ(fields.Count(), check.FieldCount);
    for (const TFieldCheck& f : check.Fields) {
      SCOPED_TRACE(f.Name);
      ASSERT_LE(f.FieldNo, fields.Count());
      const TCairnFieldDef& def = fields.Items(f.FieldNo - 1);
      EXPECT_EQ(def.FieldNo(), f.FieldNo);
      EXPECT_EQ(def.Name(), f.Name);
      EXPECT_EQ(def.DataType(), f.DataType);
      EXPECT_EQ(def.Size(), f.Size);
      EXPECT_EQ(def.Required(), f.Required);
      EXPECT_EQ(def.DefaultValue(), f.DefaultValue);
      EXPECT_EQ(def.MinValue(), "");
      EXPECT_EQ(def.MaxValue(), "");
      EXPECT_EQ(def.Description(), "");
      EXPECT_EQ(def.CharCase(), fcNoChange);
      EXPECT_EQ(def.Compression(), 0);
    }
    const TCairnIndexDefs& indexes = table.IndexDefs();
    ASSERT_EQ(indexes.Count(), static_cast<int>(check.Indexes.size()));
    for (int i = 0; i < indexes.Count(); ++i) {
      const TIndexCheck& expected = check.Indexes[i];
      SCOPED_TRACE(expected.Name);
      EXPECT_EQ(indexes.Items(i).Name(), expected.Name);
      EXPECT_EQ(indexes.Items(i).Fields(), expected.Fields);
      EXPECT_EQ(indexes.Items(i).Options(), expected.Options);
      EXPECT_EQ(indexes.Items(i).DescFields(), "");
      EXPECT_EQ(indexes.Items(i).Compression(), icNone);
      EXPECT_FALSE(indexes.Items(i).NoKeyStatistics());
    }
  }
};

TEST_F(GeneratorTest, FirstRunCreatesTheTwelveTables) {
  TGeneratorFolder folder;
  folder.MakeData();
  const TRunResult run = folder.Run();
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(FileNames(folder.Data()), ExpectedFiles());
  for (const TTableCheck& check : Tables()) ExpectTable(folder.Data(), check);
}

TEST_F(GeneratorTest, SecondRunChangesNoTableFile) {
  TGeneratorFolder folder;
  folder.MakeData();
  ASSERT_EQ(folder.Run().Status, 0);
  auto before = Snapshot(folder.Data());
  const TRunResult again = folder.Run();
  EXPECT_EQ(again.Status, 0);
  EXPECT_EQ(again.Err, "");
  auto after = Snapshot(folder.Data());
  before.erase("cairn.lck");
  after.erase("cairn.lck");
  EXPECT_EQ(before.size(), ExpectedFiles().size() - 1);
  EXPECT_TRUE(after == before) << "a table file changed";
}

TEST_F(GeneratorTest, OnlyMissingTablesAreCreated) {
  TGeneratorFolder complete;
  complete.MakeData();
  ASSERT_EQ(complete.Run().Status, 0);

  // A Data directory with four of the tables and a foreign table of the name Contacts.
  TGeneratorFolder partial;
  partial.MakeData();
  const std::vector<std::string> present{
      "EventType.dat", "EventType.idx", "Photos.dat", "Photos.idx",    "Photos.blb",
      "Events.dat",    "Events.idx",    "Events.blb", "WorkHours.dat", "WorkHours.idx"};
  for (const std::string& name : present)
    fs::copy_file(complete.Data() / name, partial.Data() / name);
  {
    TCairnDatabase db;
    db.SetDatabaseName("Plant");
    db.SetDirectory(partial.Data().string());
    TCairnTable contacts;
    contacts.SetDatabaseName("Plant");
    contacts.SetTableName("Contacts");
    contacts.FieldDefs().Add("Other", ftInteger);
    contacts.CreateTable(0, 1, 0, false, "", "", 4096, 512, 0, "", nullptr, "", "");
  }
  FinalizeComponentLayer();
  auto before = Snapshot(partial.Data());
  before.erase("cairn.lck");

  const TRunResult run = partial.Run();
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(FileNames(partial.Data()), ExpectedFiles());
  const auto after = Snapshot(partial.Data());
  for (const auto& [name, bytes] : before) EXPECT_TRUE(after.at(name) == bytes) << name;
  // The missing tables are as a full run makes them.
  for (const TTableCheck& check : Tables()) {
    if (std::string(check.TableName) != "Contacts") ExpectTable(partial.Data(), check);
  }
}

TEST_F(GeneratorTest, WithoutDataDirectoryTheFirstCreationFails) {
  TGeneratorFolder folder;
  const TRunResult run = folder.Run();
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err,
            "kalvora-dbgen: Cairn Engine Error # 11013 Access denied to table or backup file "
            "'EventsArchi.dat'\n");
  EXPECT_EQ(run.Out, "");
  EXPECT_FALSE(fs::exists(folder.Data()));
}

}  // namespace
}  // namespace kalvora
