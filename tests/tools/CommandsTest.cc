// Each command of the cairn tool against a database the generator made, checked by what it
// prints and by what lands in the directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/DiskFiles.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ToolRun.h"

namespace cairn::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The words of a line separated by blanks.
std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

class CairnCommandsTest : public ::testing::Test {
 protected:
  // One generated database for the suite, only read by the tests; tests that write copy it.
  static void SetUpTestSuite() {
    FDatabase = new TTempDir();
    GenerateDatabase(FDatabase->File("Data"));
  }
  static void TearDownTestSuite() {
    delete FDatabase;
    FDatabase = nullptr;
  }
  static std::string Data() { return FDatabase->File("Data"); }

  // A writable copy of the generated database.
  std::string CopyOfData() {
    const std::string copy = Temp.File("Data");
    fs::copy(Data(), copy);
    return copy;
  }

  TTempDir Temp;
  static TTempDir* FDatabase;
};

TTempDir* CairnCommandsTest::FDatabase = nullptr;

TEST_F(CairnCommandsTest, TablesListsTheTwelveTablesWithTheirCountsAndFileSizes) {
  const TToolRun run = RunCairn({"tables", Data()});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::vector<std::string> lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 13u) << run.Out;
  EXPECT_EQ(Words(lines[0]), (std::vector<std::string>{"table", "records", "fields", "indexes",
                                                       "data", "index", "blob", "encrypted"}));
  std::map<std::string, std::vector<std::string>> rows;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> words = Words(lines[i]);
    ASSERT_EQ(words.size(), 8u) << lines[i];
    rows[words[0]] = words;
  }
  ASSERT_EQ(rows.size(), 12u);
  // Fields and indexes as the generator defines them.
  EXPECT_EQ(rows["Contacts"][2], "130");
  EXPECT_EQ(rows["Contacts"][3], "13");
  EXPECT_EQ(rows["Events"][2], "34");
  EXPECT_EQ(rows["EventCategory"][3], "3");
  for (const auto& [name, words] : rows) {
    EXPECT_EQ(words[4], std::to_string(fs::file_size(Data() + "/" + name + ".dat"))) << name;
    EXPECT_EQ(words[5], std::to_string(fs::file_size(Data() + "/" + name + ".idx"))) << name;
    const std::string blob = Data() + "/" + name + ".blb";
    EXPECT_EQ(words[6], fs::exists(blob) ? std::to_string(fs::file_size(blob)) : "-") << name;
    EXPECT_EQ(words[7], "no") << name;
  }
}

TEST_F(CairnCommandsTest, SchemaShowsFieldsAndIndexesAsText) {
  const TToolRun run = RunCairn({"schema", Data(), "EventType"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::vector<std::string> lines = Lines(run.Out);
  std::vector<std::string> fieldLine, indexLine;
  for (const std::string& line : lines) {
    const std::vector<std::string> words = Words(line);
    if (words.size() > 1 && words[0] == "1") fieldLine = words;
    if (words.size() > 1 && words[0] == "IDX_EVENTTYPENAME") indexLine = words;
  }
  // no, name, type, size, required, default, minimum, maximum, case, compression
  EXPECT_EQ(fieldLine, (std::vector<std::string>{"1", "EventTypeID", "Guid", "38", "no",
                                                 "CURRENT_GUID", "-", "-", "none", "0"}));
  ASSERT_GE(indexLine.size(), 4u) << run.Out;
  EXPECT_EQ(indexLine[1], "EventTypeName");
}

TEST_F(CairnCommandsTest, SchemaJsonDescribesEveryFieldAndIndex) {
  const TToolRun run = RunCairn({"schema", Data(), "Contacts", "--json"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const json schema = json::parse(run.Out);
  EXPECT_EQ(schema["table"], "Contacts");
  ASSERT_EQ(schema["fields"].size(), 130u);
  EXPECT_EQ(schema["fields"][0]["name"], "ContactID");
  EXPECT_EQ(schema["fields"][0]["type"], "Guid");
  EXPECT_EQ(schema["fields"][0]["default"], "CURRENT_GUID");
  EXPECT_EQ(schema["fields"][129]["name"], "Delete");
  EXPECT_EQ(schema["fields"][129]["type"], "Boolean");
  EXPECT_EQ(schema["fields"][129]["default"], "False");
  ASSERT_EQ(schema["indexes"].size(), 13u);
  EXPECT_EQ(schema["indexes"][0]["name"], "");
  EXPECT_EQ(schema["indexes"][0]["fields"], "ContactID");
  EXPECT_EQ(schema["indexes"][0]["options"], json::array({"primary", "unique"}));
  // A GUID key: 38 characters, a zero byte and the null flag.
  EXPECT_GT(schema["indexes"][0]["keySize"].get<int>(), 38);
}

TEST_F(CairnCommandsTest, CreateFromASchemaGivesTheSameSchema) {
  for (const char* name : {"Contacts", "Events", "ApptTemplates", "EventCategory"}) {
    SCOPED_TRACE(name);
    const TToolRun schema = RunCairn({"schema", Data(), name, "--json"});
    ASSERT_EQ(schema.Status, 0) << schema.Err;
    const std::string file = Temp.File(std::string(name) + ".json");
    WriteDiskFile(file, schema.Out);
    const std::string target = Temp.File(std::string("new") + name);
    fs::create_directory(target);
    const TToolRun create = RunCairn({"create", target, name, "--schema", file});
    ASSERT_EQ(create.Status, 0) << create.Err;
    const TToolRun again = RunCairn({"schema", target, name, "--json"});
    ASSERT_EQ(again.Status, 0) << again.Err;
    EXPECT_EQ(json::parse(again.Out), json::parse(schema.Out));
  }
}

// The record count `tables` shows for a table.
int RecordCount(const std::string& directory, const std::string& table) {
  for (const std::string& line : Lines(RunCairn({"tables", directory}).Out)) {
    const std::vector<std::string> words = Words(line);
    if (!words.empty() && words[0] == table) return std::stoi(words.at(1));
  }
  return -1;
}

TEST_F(CairnCommandsTest, DumpShowsEveryRecordTheListingCounts) {
  // The tables the generator fills with default rows, and one it leaves empty.
  const std::pair<const char*, const char*> tables[] = {{"EventCategory", "EventCategoryID"},
                                                        {"EventType", "EventTypeID"},
                                                        {"Contacts", "ContactID"}};
  for (const auto& [table, key] : tables) {
    SCOPED_TRACE(table);
    const TToolRun dump = RunCairn({"dump", Data(), table, "--format", "json"});
    ASSERT_EQ(dump.Status, 0) << dump.Err;
    const std::vector<std::string> lines = Lines(dump.Out);
    EXPECT_EQ(static_cast<int>(lines.size()), RecordCount(Data(), table));
    // The GUID key the engine gave each default row.
    for (const std::string& line : lines)
      EXPECT_EQ(json::parse(line)[key].get<std::string>().size(), 38u) << line;
  }
}

TEST_F(CairnCommandsTest, LoadAndDumpOnAGeneratedTable) {
  const std::string data = CopyOfData();
  const int before = RecordCount(data, "EventCategory");
  ASSERT_GE(before, 0);
  const std::string csv = Temp.File("categories.csv");
  WriteDiskFile(csv,
                "EventCategoryName,EventCategoryColor,Delete\n"
                "CLI Birthday,255,false\n"
                "\"CLI Work, office\",-16777201,true\n"
                "CLI Holiday,,\n");
  const TToolRun load = RunCairn({"load", data, "EventCategory", csv});
  ASSERT_EQ(load.Status, 0) << load.Err;
  EXPECT_NE(load.Out.find("loaded 3 rows into EventCategory"), std::string::npos) << load.Out;
  EXPECT_NE(load.Out.find("rows/s"), std::string::npos) << load.Out;
  EXPECT_EQ(RecordCount(data, "EventCategory"), before + 3);

  const TToolRun dump = RunCairn(
      {"dump", data, "EventCategory", "--index", "IDX_EVENTCATEGORYNAME", "--format", "json"});
  ASSERT_EQ(dump.Status, 0) << dump.Err;
  std::vector<json> rows;
  for (const std::string& line : Lines(dump.Out)) {
    const json row = json::parse(line);
    if (row["EventCategoryName"].get<std::string>().rfind("CLI ", 0) == 0) rows.push_back(row);
  }
  ASSERT_EQ(rows.size(), 3u) << dump.Out;
  // In the order of the name index; the GUID key was made by the engine.
  EXPECT_EQ(rows[0]["EventCategoryName"], "CLI Birthday");
  EXPECT_EQ(rows[1]["EventCategoryName"], "CLI Holiday");
  EXPECT_EQ(rows[2]["EventCategoryName"], "CLI Work, office");
  EXPECT_EQ(rows[0]["EventCategoryColor"], 255);
  EXPECT_EQ(rows[2]["EventCategoryColor"], -16777201);
  EXPECT_TRUE(rows[1]["EventCategoryColor"].is_null());
  EXPECT_TRUE(rows[1]["Delete"].is_null());
  EXPECT_EQ(rows[2]["Delete"], true);
  EXPECT_EQ(rows[0]["EventCategoryID"].get<std::string>().size(), 38u);

  // Slot order: the loaded rows come after the generator's, in the order of the file.
  const TToolRun limited =
      RunCairn({"dump", data, "EventCategory", "--limit", std::to_string(before + 2)});
  ASSERT_EQ(limited.Status, 0) << limited.Err;
  const std::vector<std::string> lines = Lines(limited.Out);
  ASSERT_EQ(lines.size(), static_cast<size_t>(before + 3)) << limited.Out;
  EXPECT_EQ(lines[0].rfind("EventCategoryID,EventCategoryName,EventCategoryColor,", 0), 0u);
  EXPECT_NE(lines[before + 1].find(",CLI Birthday,255,"), std::string::npos) << lines[before + 1];
  EXPECT_NE(lines[before + 2].find(",\"CLI Work, office\",-16777201,"), std::string::npos)
      << lines[before + 2];
}

TEST_F(CairnCommandsTest, GenerateMakesTheTablesInAnyDirectoryThenListsThem) {
  const std::string target = Temp.File("new/Data");
  const TToolRun run = RunCairn({"generate", target});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::vector<std::string> lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 13u) << run.Out;
  EXPECT_EQ(Words(lines[0])[0], "table");
  // The same tables, fields and indexes as the generator program makes.
  const TToolRun expected = RunCairn({"tables", Data()});
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> words = Words(lines[i]);
    ASSERT_EQ(words.size(), 8u) << lines[i];
    EXPECT_TRUE(fs::exists(target + "/" + words[0] + ".dat")) << words[0];
    const std::vector<std::string> other = Words(Lines(expected.Out).at(i));
    EXPECT_EQ(std::vector<std::string>(words.begin(), words.begin() + 4),
              std::vector<std::string>(other.begin(), other.begin() + 4));
  }
  // A second run finds every table and leaves them as they are.
  const std::string before = ReadDiskFile(target + "/Contacts.dat");
  const TToolRun again = RunCairn({"generate", target});
  EXPECT_EQ(again.Status, 0) << again.Err;
  EXPECT_EQ(again.Out, run.Out);
  EXPECT_EQ(ReadDiskFile(target + "/Contacts.dat"), before);

  WriteDiskFile(Temp.File("file"), "not a directory");
  const TToolRun blocked = RunCairn({"generate", Temp.File("file/Data")});
  EXPECT_EQ(blocked.Status, 1);
  EXPECT_NE(blocked.Err.find("cannot make the directory"), std::string::npos) << blocked.Err;
}

TEST_F(CairnCommandsTest, UsageMistakesExitWithTwoAndHelpWithZero) {
  EXPECT_EQ(RunCairn({}).Status, 2);
  EXPECT_EQ(RunCairn({"frobnicate"}).Status, 2);
  EXPECT_EQ(RunCairn({"dump", Data()}).Status, 2);
  EXPECT_EQ(RunCairn({"dump", Data(), "Events", "--format", "xml"}).Status, 2);
  EXPECT_EQ(RunCairn({"dump", Data(), "Events", "--limit", "many"}).Status, 2);
  for (const char* command : {"tables", "schema", "create", "load", "dump", "generate"}) {
    const TToolRun help = RunCairn({command, "--help"});
    EXPECT_EQ(help.Status, 0) << command;
    EXPECT_NE(help.Out.find("Usage"), std::string::npos) << command;
  }
  const TToolRun help = RunCairn({"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Out.find("tables"), std::string::npos);
}

TEST_F(CairnCommandsTest, FailuresExitWithOneAndTheEngineCode) {
  const TToolRun missing = RunCairn({"dump", Data(), "NoSuchTable"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find("no table 'NoSuchTable'"), std::string::npos) << missing.Err;

  const TToolRun notDirectory = RunCairn({"tables", Temp.File("nowhere")});
  EXPECT_EQ(notDirectory.Status, 1);
  EXPECT_NE(notDirectory.Err.find("is not a directory"), std::string::npos) << notDirectory.Err;

  const TToolRun index = RunCairn({"dump", Data(), "Events", "--index", "NoSuchIndex"});
  EXPECT_EQ(index.Status, 1);
  EXPECT_NE(index.Err.find("Cairn Engine Error #"), std::string::npos) << index.Err;

  // Creating a table that exists: the engine's error with its code.
  const std::string data = CopyOfData();
  const std::string file = Temp.File("schema.json");
  WriteDiskFile(file, RunCairn({"schema", Data(), "Events", "--json"}).Out);
  const TToolRun exists = RunCairn({"create", data, "Events", "--schema", file});
  EXPECT_EQ(exists.Status, 1);
  EXPECT_NE(exists.Err.find("13060"), std::string::npos) << exists.Err;
}

TEST_F(CairnCommandsTest, CreateRefusesAMalformedSchemaNamingWhere) {
  struct TCase {
    const char* Schema;
    const char* Message;
  };
  const TCase cases[] = {
      {"{", "not a JSON document"},
      {R"({"fields": [{"name": "A", "type": "Strnig", "size": 10}]})", "schema.fields[0].type"},
      {R"({"fields": [{"name": "A", "type": "String", "size": "ten"}]})",
       "schema.fields[0].size: an integer"},
      {R"({"fields": [{"name": "A", "type": "String", "sise": 10}]})", "unknown key 'sise'"},
      {R"({"fields": []})", "no fields"},
      {R"({"fields": [{"name": "A", "type": "Integer"}], "indexes": [{"fields": "A",
          "options": ["primary", "uniq"]}]})",
       "schema.indexes[0].options[1]"},
      {R"({"encrypted": true, "fields": [{"name": "A", "type": "Integer"}]})", "--password"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Schema);
    const std::string file = Temp.File("bad.json");
    WriteDiskFile(file, c.Schema);
    const TToolRun run = RunCairn({"create", Temp.Path(), "T", "--schema", file});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_FALSE(fs::exists(Temp.File("T.dat")));
  }
}

}  // namespace
}  // namespace cairn::test
