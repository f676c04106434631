// The generator end to end: the real kalvora-dbgen binary, copied into a temporary folder beside
// its Data directory, run as a child process; its tables read back through the engine.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnTable.h"
#include "cairn/host/DateTime.h"
#include "generator/TableSchemas.h"
#include "tests/generator/GeneratedDatabase.h"

namespace kalvora::test {
namespace {

using cairn::host::Now;

class GeneratorTest : public GeneratedDatabaseTest {
 protected:
  // Creates a table in data from a schema, without its default rows.
  static void PlantTable(const fs::path& data, const TTableSchema& schema) {
    TCairnDatabase db;
    db.SetDatabaseName("Plant");
    db.SetDirectory(data.string());
    TCairnTable table;
    table.SetDatabaseName("Plant");
    table.SetTableName(schema.TableName);
    for (const TFieldSpec& f : schema.Fields)
      table.FieldDefs().Add(f.Name, f.DataType, f.Size, f.Required, f.DefaultValue);
    for (const TIndexSpec& index : schema.Indexes)
      table.IndexDefs().Add(index.Name, index.Fields, index.Options);
    table.CreateTable(0, 1, 0, false, "", "", 4096, 512, 0, "", nullptr, "", "");
  }
};

TEST_F(GeneratorTest, FirstRunCreatesTheTwelveTablesWithTheirDefaultRows) {
  TGeneratorFolder folder;
  folder.MakeData();
  const double start = Now();
  const TRunResult run = folder.Run();
  const TRunWindow window = Window(start);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Out, "");
  ExpectDatabase(folder.Data(), window);
}

TEST_F(GeneratorTest, SecondRunChangesNoTableFile) {
  TGeneratorFolder folder;
  folder.MakeData();
  ASSERT_EQ(folder.Run().Status, 0);
  auto before = Snapshot(folder.Data());
  const TRunResult again = folder.Run();
  EXPECT_EQ(again.Status, 0);
  EXPECT_EQ(again.Err, "");
  EXPECT_EQ(again.Out, "");
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

  // Three complete tables, an empty Events (its default row gone), and a foreign table of the
  // name Contacts.
  TGeneratorFolder partial;
  partial.MakeData();
  for (const char* name : {"EventType", "Photos", "WorkHours"})
    for (const std::string& file : TableFiles(TableCheck(name)))
      fs::copy_file(complete.Data() / file, partial.Data() / file);
  PlantTable(partial.Data(), EventsSchema());
  PlantTable(partial.Data(), {"Contacts", {{"Other", ftInteger, 0, false, ""}}, {}});
  FinalizeComponentLayer();
  auto before = Snapshot(partial.Data());
  before.erase("cairn.lck");

  const double start = Now();
  const TRunResult run = partial.Run();
  const TRunWindow window = Window(start);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(FileNames(partial.Data()), ExpectedFiles());
  const auto after = Snapshot(partial.Data());
  for (const auto& [name, bytes] : before) EXPECT_TRUE(after.at(name) == bytes) << name;
  // The missing tables are as a full run makes them.
  for (const TTableCheck& check : Tables()) {
    const std::string name = check.TableName;
    if (name != "Contacts" && name != "Events") ExpectTable(partial.Data(), check, window);
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

// A directory named Contacts.dat is no table, so the run tries to create Contacts and fails;
// the four tables before it are complete, none after it is made, and once the obstacle is gone
// the next run finishes the database.
TEST_F(GeneratorTest, FailureInTheMiddleKeepsTheTablesBeforeItAndALaterRunFinishes) {
  TGeneratorFolder folder;
  folder.MakeData();
  fs::create_directory(folder.Data() / "Contacts.dat");
  const double start = Now();
  const TRunResult run = folder.Run();
  const TRunWindow window = Window(start);
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err,
            "kalvora-dbgen: Cairn Engine Error # 11013 Access denied to table or backup file "
            "'Contacts.dat'\n");
  std::set<std::string> expected{"cairn.lck", "Contacts.dat"};
  for (const char* name : {"EventsArchi", "Events", "ApptTemplates", "ContactCategory"}) {
    expected.merge(TableFiles(TableCheck(name)));
    ExpectTable(folder.Data(), TableCheck(name), window);
  }
  EXPECT_EQ(FileNames(folder.Data()), expected);

  fs::remove(folder.Data() / "Contacts.dat");
  const double later = Now();
  const TRunResult again = folder.Run();
  EXPECT_EQ(again.Status, 0);
  EXPECT_EQ(again.Err, "");
  ExpectDatabase(folder.Data(), {start, Window(later).End});
}

// Two runs at once on one empty directory: each either completes or reports an engine error;
// whatever they leave is sound, and one more run completes the database. Twenty repetitions, a
// few directories at a time.
TEST_F(GeneratorTest, TwoGeneratorsAtOnce) {
  constexpr int kRepetitions = 20, kAtATime = 5;
  const std::vector<TGeneratorFolder> folders(kAtATime);
  std::map<std::string, int> outcomes;
  for (int batch = 0; batch < kRepetitions / kAtATime && !HasFailure(); ++batch) {
    const double start = Now();
    std::vector<pid_t> pids;
    for (const TGeneratorFolder& folder : folders) {
      fs::remove_all(folder.Data());
      folder.MakeData();
      pids.push_back(folder.Start("first"));
      pids.push_back(folder.Start("second"));
    }
    for (int i = 0; i < kAtATime; ++i) {
      const TGeneratorFolder& folder = folders[i];
      SCOPED_TRACE("repetition " + std::to_string(batch * kAtATime + i));
      for (const char* tag : {"first", "second"}) {
        const TRunResult run = folder.Wait(pids[2 * i + (tag[0] == 's')], tag);
        EXPECT_TRUE(run.Status == 0 || run.Status == 1) << run.Status;
        if (run.Status == 0) {
          EXPECT_EQ(run.Err, "");
        } else {
          EXPECT_EQ(run.Err.rfind("kalvora-dbgen: Cairn Engine Error # ", 0), 0u) << run.Err;
        }
        EXPECT_EQ(run.Out, "");
        ++outcomes[run.Status == 0 ? "complete" : run.Err.substr(15, run.Err.find(' ', 36) - 15)];
      }
    }
    // Every table there is complete: none is damaged, none lacks its rows.
    const TRunWindow window = Window(start);
    for (const TGeneratorFolder& folder : folders) {
      for (const TTableCheck& check : Tables()) {
        if (fs::exists(folder.Data() / (std::string(check.TableName) + ".dat")))
          ExpectTable(folder.Data(), check, window);
      }
    }
    FinalizeComponentLayer();
    pids.clear();
    for (const TGeneratorFolder& folder : folders) pids.push_back(folder.Start());
    for (int i = 0; i < kAtATime; ++i) {
      const TRunResult last = folders[i].Wait(pids[i]);
      EXPECT_EQ(last.Status, 0);
      EXPECT_EQ(last.Err, "");
    }
    const TRunWindow all = Window(start);
    for (const TGeneratorFolder& folder : folders) ExpectDatabase(folder.Data(), all);
    FinalizeComponentLayer();
  }
  for (const auto& [outcome, count] : outcomes) std::printf("  %s: %d\n", outcome.c_str(), count);
}

}  // namespace
}  // namespace kalvora::test
