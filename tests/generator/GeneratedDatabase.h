// What a complete Kalvora database looks like, table by table and row by row, and the checks that
// compare a data directory with it. Shared by the generator's end-to-end and in-process tests.
//
// The expected rows are written out here on their own rather than taken from the generator's
// schemas, so that a wrong value in either shows.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnField.h"
#include "cairn/access/CairnTable.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/data/DataHeader.h"
#include "cairn/host/DateTime.h"
#include "tests/support/ComponentLayerTest.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/TempDir.h"

#ifndef KALVORA_DBGEN
#error "KALVORA_DBGEN must name the kalvora-dbgen binary (set by tests/CMakeLists.txt)"
#endif

extern char** environ;

namespace kalvora::test {

namespace fs = std::filesystem;
using namespace cairn;
using cairn::test::ReadDiskFile;

// ---- Files --------------------------------------------------------------------------------------

// Every file of a directory with its bytes.
inline std::map<std::string, std::string> Snapshot(const fs::path& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(directory))
    files[entry.path().filename().string()] = ReadDiskFile(entry.path());
  return files;
}

inline std::set<std::string> FileNames(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

// ---- The generator as a child process -----------------------------------------------------------

struct TRunResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// A folder holding a copy of the generator, beside which its Data directory goes.
class TGeneratorFolder {
 public:
  TGeneratorFolder() {
    fs::copy_file(KALVORA_DBGEN, Exe());
    fs::permissions(Exe(), fs::perms::owner_all, fs::perm_options::add);
  }

  std::string Exe() const { return FTemp.File("kalvora-dbgen"); }
  fs::path Data() const { return FTemp.File("Data"); }
  void MakeData() const { fs::create_directory(Data()); }

  // Starts a run whose output goes to files named after `tag`; Wait collects it.
  pid_t Start(const std::string& tag = "run") const {
    const std::string out = FTemp.File(tag + ".out"), err = FTemp.File(tag + ".err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string exe = Exe();
    char* argv[] = {exe.data(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    return spawned == 0 ? pid : -1;
  }

  TRunResult Wait(pid_t pid, const std::string& tag = "run") const {
    TRunResult result;
    if (pid < 0) return result;
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Out = ReadDiskFile(FTemp.File(tag + ".out"));
    result.Err = ReadDiskFile(FTemp.File(tag + ".err"));
    return result;
  }

  TRunResult Run() const { return Wait(Start()); }

 private:
  cairn::test::TTempDir FTemp;
};

// ---- The tables' structure ----------------------------------------------------------------------

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

// ---- The tables' rows ---------------------------------------------------------------------------

// When a run happened: the local date-time before it started and after it ended.
struct TRunWindow {
  double Start = 0;
  double End = 0;
};

// An expected field value; a field a row does not list must be null.
struct TValue {
  enum class TKind { Text, Integer, Boolean, TimeOfDay, TodayAt, TodayNumber, DuringRun };
  TKind Kind;
  std::string Text = {};
  int64_t Integer = 0;
  double Hours = 0;
};

inline TValue S(const char* text) {
  return {TValue::TKind::Text, text};
}
inline TValue I(int64_t value) {
  return {TValue::TKind::Integer, "", value};
}
inline TValue B(bool value) {
  return {TValue::TKind::Boolean, "", value ? 1 : 0};
}
inline TValue TimeAt(double hours) {
  return {TValue::TKind::TimeOfDay, "", 0, hours};
}
inline TValue TodayAt(double hours) {
  return {TValue::TKind::TodayAt, "", 0, hours};
}
inline TValue TodayNumber() {
  return {TValue::TKind::TodayNumber};
}
inline TValue DuringRun() {
  return {TValue::TKind::DuringRun};
}

using TRowCheck = std::map<std::string, TValue>;

struct TTableCheck {
  const char* TableName;
  int FieldCount;
  bool HasBlobs;
  std::vector<TFieldCheck> Fields;   // a selection
  std::vector<TIndexCheck> Indexes;  // all of them
  std::vector<TRowCheck> Rows = {};  // in insertion order
  // An index and the order in which it returns the rows (positions in Rows, from 0).
  const char* OrderIndex = nullptr;
  std::vector<int> Order = {};
};

const TIndexOptions kPrimary{ixPrimary, ixUnique};
constexpr int64_t kWindowColour = static_cast<int32_t>(0xFF000005u);  // 4278190085 as stored

inline TRowCheck ContactCategoryRow(const char* id, const char* description, int64_t colour) {
  return {{"ContactCategoryID", S(id)},
          {"CategoryDesc", S(description)},
          {"CategoryColor", I(colour)},
          {"Delete", B(false)}};
}

inline TRowCheck EventCategoryRow(const char* id, const char* name, int64_t colour) {
  return {{"EventCategoryID", S(id)},        {"EventCategoryName", S(name)},
          {"EventCategoryColor", I(colour)}, {"CreatedOn", DuringRun()},
          {"LastModifiedOn", DuringRun()},   {"Delete", B(false)}};
}

inline TRowCheck EventTypeRow(const char* id, const char* name, const char* icon) {
  return {{"EventTypeID", S(id)},
          {"EventTypeName", S(name)},
          {"IconIndex", S(icon)},
          {"Delete", B(false)}};
}

inline TRowCheck ResourceRow(const char* id, const char* name, const char* image, int sortId) {
  return {{"ResourceID", S(id)},
          {"ResourceName", S(name)},
          {"ResourceColor", I(kWindowColour)},
          {"ResourceImageGUID", S(image)},
          {"SortID", I(sortId)},
          {"EmailReminder", B(false)},
          {"AllowConflict", B(false)},
          {"HeaderColor", I(kWindowColour)},
          {"HeaderGradient", B(false)},
          {"HeaderGradientStartColor", I(kWindowColour)},
          {"HeaderGradientEndColor", I(kWindowColour)},
          {"CreatedOn", DuringRun()},
          {"LastModifiedOn", DuringRun()},
          {"Delete", B(false)}};
}

// The twelve tables in the order of the run.
inline const std::vector<TTableCheck>& Tables() {
  static const std::vector<TTableCheck> tables{
      {"EventsArchi",
       40,
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
       {{1, "EventID", ftGuid, 38, false, "CURRENT_GUID"},
        {6, "Caption", ftString, 255, false, ""},
        {11, "RecurrenceInfo", ftBlob, 0, false, ""},
        {12, "ResourceID", ftMemo, 0, false, ""},
        {33, "Delete", ftBoolean, 0, false, "False"},
        {34, "OutlookSyncID", ftString, 255, false, ""}},
       {{"", "EventID", kPrimary}},
       {{{"EventID", S("{7272B7D5-ED2D-422E-8609-9E28E80906A5}")},
         {"Start", TodayAt(9)},
         {"Finish", TodayAt(12)},
         {"Type", I(0)},
         {"ActualFinish", TodayNumber()},
         {"ActualStart", TodayNumber()},
         {"Caption", S("This is a sample appointment generated on the first run of Kalvora")},
         {"Location", S("https://www.kalvora.example")},
         {"Options", I(2)},
         {"ResourceID", S("{F503BB94-945F-4AE3-8AFD-225C4F66F68D}")},
         {"CategoryID", S("{E0680A84-8E72-43CE-9A14-2DDB590B21D7}")},
         {"TypeID", S("{67B33F0C-9E1B-4351-996E-55F236B055CC}")},
         {"CreatedOn", DuringRun()},
         {"LastModifiedOn", DuringRun()},
         {"Delete", B(false)},
         {"LabelColor", I(16744576)}}}},
      {"ApptTemplates",
       27,
       true,
       {{1, "ApptTemplateID", ftGuid, 38, false, "CURRENT_GUID"},
        {3, "ApptTemplateDesc", ftMemo, 0, false, ""},
        {5, "Start", ftTime, 0, false, ""},
        {11, "Duration", ftDateTime, 0, false, ""},
        {18, "Creator", ftSmallint, 0, false, ""},
        {25, "DeleteByUser", ftSmallint, 0, false, ""},
        {27, "Delete", ftBoolean, 0, false, ""}},
       {{"", "ApptTemplateID", kPrimary}, {"IDX_ApptTemplateName", "ApptTemplateName", {}}},
       {{{"ApptTemplateID", S("{97C49D72-61C3-4DFD-8206-3E98D2798D57}")},
         {"ApptTemplateName", S("Weekly Meeting")},
         {"ApptTemplateDesc", S("Weekly Meeting Template.")},
         {"Caption", S("Marketing Department Weekly Meeting")},
         {"Start", TimeAt(11)},
         {"Finish", TimeAt(13)},
         {"Location", S("Meeting Room 3535")},
         {"TimeOption", I(2)},
         {"State", I(2)},
         {"CategoryID", S("{5B1662C6-0E90-4AA8-92BB-F2670EB7DC72}")},
         {"TypeID", S("{1FF41F07-0BF4-4640-888F-6F4B88916C7B}")},
         {"CreatedOn", DuringRun()},
         {"LastModifiedOn", DuringRun()},
         {"Delete", B(false)}}}},
      {"ContactCategory",
       14,
       false,
       {{1, "ContactCategoryID", ftGuid, 38, false, "CURRENT_GUID"},
        {2, "CategoryDesc", ftString, 250, false, ""},
        {3, "CategoryColor", ftInteger, 0, false, ""},
        {4, "CategoryBlank", ftString, 50, false, ""},
        {14, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "RecordID", kPrimary},
        {"IDX_CATEGORYDESC", "CategoryDesc", {}},
        {"IDX_CREATEDON", "CreatedOn", {}}},
       {ContactCategoryRow("{3C5ACE59-E5D1-48F4-A55F-6BD1F0FA613B}", "None", 0),
        ContactCategoryRow("{45934F92-E21E-44EB-9A23-CFA9C339622E}", "Important", 2443458),
        ContactCategoryRow("{BB46AE4A-1B49-473B-99D2-038B643C328D}", "Business", 12045269),
        ContactCategoryRow("{9604E303-880D-434D-B505-4434B520877C}", "Personal", 9568145),
        ContactCategoryRow("{A0EA9334-35A8-4A16-9EF5-FAA64AD6C345}", "Golfing Buddies", 771226),
        ContactCategoryRow("{2E54CFE4-A9F7-42A5-8FC6-F8B51DE4582E}", "Pool Buddies", 33023),
        ContactCategoryRow("{CE57C589-6480-42D0-8A82-87EE70A7287E}", "Drinking Budies", 16776960),
        ContactCategoryRow("{49AE7F6C-CC45-471E-BFD0-2D084ED7FE09}", "Top Secret", 8454143),
        ContactCategoryRow("{4A7060DC-6FE5-4335-8EEC-FDF788E57A1A}", "Party Animals", 12615935),
        ContactCategoryRow("{33DBCB6D-7D21-41C5-A6B0-AC40F065ECFD}", "Dart Team Members", 46939),
        ContactCategoryRow("{33EEF6D3-0942-477F-A4CA-8873E951996B}", "Family", 47545)},
       // Business, Dart Team Members, Drinking Budies, Family, Golfing Buddies, Important, None,
       // Party Animals, Personal, Pool Buddies, Top Secret.
       "IDX_CATEGORYDESC",
       {2, 9, 6, 10, 4, 1, 0, 8, 3, 5, 7}},
      {"Contacts",
       130,
       false,
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
       {{1, "EventCategoryID", ftGuid, 38, false, "CURRENT_GUID"},
        {2, "EventCategoryName", ftString, 255, false, ""},
        {3, "EventCategoryColor", ftInteger, 0, false, ""},
        {13, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "RecordID", kPrimary},
        {"IDX_EVENTCATEGORYNAME", "EventCategoryName", {}},
        {"IDX_CREATEDON", "CreatedOn", {}}},
       {EventCategoryRow("{07280630-744D-41A6-9183-069856A497A3}", "None", kWindowColour),
        EventCategoryRow("{56EE2E80-4F01-4F40-B391-D79428718696}", "Important", 2443458),
        EventCategoryRow("{E0680A84-8E72-43CE-9A14-2DDB590B21D7}", "Business", 16744576),
        EventCategoryRow("{B7C24494-D8A7-4555-9B7F-90024DBDD6C8}", "Personal", 9568145),
        EventCategoryRow("{2430C4E0-7962-4D65-B8E5-734DC8EE5C80}", "Vacation", 771226),
        EventCategoryRow("{5B1662C6-0E90-4AA8-92BB-F2670EB7DC72}", "Must Attend", 33023),
        EventCategoryRow("{DB988CF3-7CC6-4F3C-A61B-2E735BE062E3}", "Travel Required", 16776960),
        EventCategoryRow("{D1F80700-4DED-48A8-833C-7D0E0F7E80FD}", "Needs Preparation", 8454143),
        EventCategoryRow("{D5B2A645-82AC-4037-A32C-E62AFC8ED673}", "Birthday", 12615935),
        EventCategoryRow("{EAC98642-816C-494F-82DF-995319A34C24}", "Anniversary", 46939),
        EventCategoryRow("{0903B478-6EDE-4E1B-8404-ADF73FDD927C}", "Phone Call", 47545)}},
      {"EventType",
       15,
       false,
       {{1, "EventTypeID", ftGuid, 38, false, "CURRENT_GUID"},
        {2, "EventTypeName", ftString, 32, false, ""},
        {3, "IconIndex", ftGuid, 38, false, ""},
        {4, "Location", ftString, 150, false, ""},
        {15, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "EventTypeID", kPrimary}, {"IDX_EVENTTYPENAME", "EventTypeName", {}}},
       {EventTypeRow("{1538F157-17B6-46D6-BC08-71726196B994}", "Travel",
                     "{311287D0-B377-4121-A8B6-CD5E56950581}"),
        EventTypeRow("{1FF41F07-0BF4-4640-888F-6F4B88916C7B}", "Meeting",
                     "{91106AD3-817E-4550-A5A4-A09356C47633}"),
        EventTypeRow("{3F45EF02-1462-4E80-90CA-D3BE70583EC8}", "Todo",
                     "{33F7DEF0-AF14-4ECB-A17E-5D8BB1013589}"),
        EventTypeRow("{67B33F0C-9E1B-4351-996E-55F236B055CC}", "Appt",
                     "{4DD57286-0888-4DD8-8B62-8DC0E6ED9B39}"),
        EventTypeRow("{DC7DA742-7A0C-408E-AC41-94E784F2B7DC}", "Call",
                     "{54603E5E-6867-48A1-8798-7028BBD3E989}")},
       // Appt, Call, Meeting, Todo, Travel.
       "IDX_EVENTTYPENAME",
       {3, 4, 1, 2, 0}},
      {"Resources",
       22,
       true,
       {{1, "ResourceID", ftGuid, 38, true, "CURRENT_GUID"},
        {5, "SortID", ftInteger, 0, true, ""},
        {6, "ResourceEmail", ftMemo, 0, false, ""},
        {7, "EmailReminder", ftBoolean, 0, false, "False"},
        {10, "HeaderGradient", ftBoolean, 0, false, ""},
        {22, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "ResourceID", kPrimary}, {"IDX_SortID", "SortID", {}}},
       {ResourceRow("{BA464DB9-C1AE-4921-8F6F-61EB89F63F06}", "Untitled Resource 2",
                    "{6FB0F475-DDC6-4819-B5D9-72E164189468}", 1),
        ResourceRow("{F503BB94-945F-4AE3-8AFD-225C4F66F68D}", "Untitled Resource 1",
                    "{925A310F-7D68-48FF-B5D9-26AEBBB47622}", 0)},
       "IDX_SortID",
       {1, 0}},
      {"Tasks",
       31,
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
       {{1, "WorkHourOptionID", ftGuid, 38, true, "CURRENT_GUID"},
        {3, "DifferentWorkingHoursPerDay", ftBoolean, 0, false, "False"},
        {4, "WorkMon", ftBoolean, 0, false, ""},
        {20, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "WorkHourOptionID", kPrimary}, {"IDX_ResourceID", "ResourceID", {}}}},
      {"WorkHours",
       15,
       false,
       {{1, "WorkHourID", ftGuid, 38, true, "CURRENT_GUID"},
        {3, "WorkHourStart", ftDateTime, 0, false, ""},
        {5, "DayOfWeek", ftInteger, 0, false, "-1"},
        {15, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "WorkHourID", kPrimary}, {"IDX_ResourceID", "ResourceID", {}}}},
      {"Photos",
       14,
       true,
       {{1, "PhotoGUID", ftGuid, 38, false, "CURRENT_GUID"},
        {3, "EnablePhoto", ftBoolean, 0, false, "False"},
        {4, "PhotoBlob", ftBlob, 0, false, ""},
        {14, "Delete", ftBoolean, 0, false, "False"}},
       {{"", "PhotoGUID", kPrimary}}},
  };
  return tables;
}

inline const TTableCheck& TableCheck(const std::string& name) {
  for (const TTableCheck& check : Tables())
    if (name == check.TableName) return check;
  throw std::out_of_range(name);
}

// The files of the tables, and of a complete Data directory.
inline std::set<std::string> TableFiles(const TTableCheck& t) {
  std::set<std::string> names{std::string(t.TableName) + ".dat", std::string(t.TableName) + ".idx"};
  if (t.HasBlobs) names.insert(std::string(t.TableName) + ".blb");
  return names;
}

inline std::set<std::string> ExpectedFiles() {
  std::set<std::string> names{"cairn.lck"};
  for (const TTableCheck& t : Tables()) names.merge(TableFiles(t));
  return names;
}

// ---- The checks ---------------------------------------------------------------------------------

class GeneratedDatabaseTest : public cairn::test::ComponentLayerTest {
 protected:
  static TRunWindow Window(double start) { return {start, cairn::host::Now()}; }

  // The table's header, structure and rows, read back through the component layer.
  void ExpectTable(const fs::path& data, const TTableCheck& check, const TRunWindow& window) {
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
    EXPECT_EQ(header.RecordCount, static_cast<int32_t>(check.Rows.size()));
    EXPECT_EQ(header.LastRecordID, static_cast<int32_t>(check.Rows.size()));
    ExpectRecordIDsInSlotOrder(dat, header, static_cast<int32_t>(check.Rows.size()));

    TCairnDatabase db;
    db.SetDatabaseName("Check");
    db.SetDirectory(data.string());
    TCairnTable table;
    table.SetDatabaseName("Check");
    table.SetTableName(check.TableName);
    table.SetReadOnly(true);
    table.Open();
    ExpectStructure(table, check);
    // In the order of insertion: a fresh table fills its slots one after another, so the slot
    // of the record (its bookmark) is its position in the order of insertion.
    std::vector<bool> seen(check.Rows.size());
    for (table.First(); !table.Eof(); table.Next()) {
      const int32_t slot = table.Handle()->GetBookmark();
      ASSERT_GE(slot, 1);
      ASSERT_LE(slot, static_cast<int32_t>(check.Rows.size()));
      SCOPED_TRACE("row " + std::to_string(slot));
      EXPECT_FALSE(seen[slot - 1]);
      seen[slot - 1] = true;
      ExpectRow(table, check.Rows[slot - 1], window);
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), static_cast<long>(check.Rows.size()));
    if (check.OrderIndex != nullptr) {
      table.SetIndexName(check.OrderIndex);
      std::vector<int> order;
      for (table.First(); !table.Eof(); table.Next())
        order.push_back(table.Handle()->GetBookmark() - 1);
      EXPECT_EQ(order, check.Order) << check.OrderIndex;
    }
    table.Close();
  }

  void ExpectDatabase(const fs::path& data, const TRunWindow& window) {
    EXPECT_EQ(FileNames(data), ExpectedFiles());
    for (const TTableCheck& check : Tables()) ExpectTable(data, check, window);
  }

 private:
  // Slot n (from 1) holds the record with RecordID n: status byte, next-free number, RecordID.
  static void ExpectRecordIDsInSlotOrder(const std::string& dat, const TDataHeader& header,
                                         int32_t count) {
    const size_t first = TDataHeader::kSize + 768u * header.FieldCount;
    ASSERT_EQ(header.NextEndingRecord, count + 1);
    ASSERT_GE(dat.size(), first + static_cast<size_t>(header.RecordLength) * count);
    for (int32_t slot = 1; slot <= count; ++slot) {
      const size_t at = first + static_cast<size_t>(header.RecordLength) * (slot - 1);
      EXPECT_EQ(cairn::test::Int32At(dat, at + 5), slot) << "slot " << slot;
    }
  }

  static void ExpectStructure(TCairnTable& table, const TTableCheck& check) {
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

  // Every field of the current record: the listed ones hold their value, all others are null.
  static void ExpectRow(TCairnTable& table, const TRowCheck& row, const TRunWindow& window) {
    // Date-times are stored to the millisecond.
    constexpr double kMs = 1.0 / 86400000;
    const double firstDay = std::floor(window.Start), lastDay = std::floor(window.End);
    size_t listed = 0;
    for (int i = 0; i < table.Fields().Count(); ++i) {
      TCairnField& field = table.Fields().Fields(i);
      SCOPED_TRACE(field.FieldName());
      const auto expected = row.find(field.FieldName());
      if (expected == row.end()) {
        EXPECT_TRUE(field.IsNull()) << field.AsString();
        continue;
      }
      ++listed;
      ASSERT_FALSE(field.IsNull());
      const TValue& value = expected->second;
      switch (value.Kind) {
        case TValue::TKind::Text:
          EXPECT_EQ(field.AsString(), value.Text);
          break;
        case TValue::TKind::Integer:
          EXPECT_EQ(field.AsInteger(), value.Integer);
          break;
        case TValue::TKind::Boolean:
          EXPECT_EQ(field.AsBoolean(), value.Integer != 0);
          break;
        case TValue::TKind::TimeOfDay:
          EXPECT_DOUBLE_EQ(field.AsDateTime(), value.Hours / 24);
          break;
        case TValue::TKind::TodayAt: {
          const double at = field.AsDateTime();
          EXPECT_TRUE(std::fabs(at - (firstDay + value.Hours / 24)) < kMs ||
                      std::fabs(at - (lastDay + value.Hours / 24)) < kMs)
              << at;
          break;
        }
        case TValue::TKind::TodayNumber:
          EXPECT_TRUE(field.AsInteger() == firstDay || field.AsInteger() == lastDay)
              << field.AsInteger();
          break;
        case TValue::TKind::DuringRun:
          EXPECT_GE(field.AsDateTime(), window.Start - kMs);
          EXPECT_LE(field.AsDateTime(), window.End + kMs);
          break;
      }
    }
    EXPECT_EQ(listed, row.size()) << "a listed field is not in the table";
  }
};

}  // namespace kalvora::test
