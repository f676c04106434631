// cairn check and cairn repair against damaged copies of a generated database whose Resources
// table got rows (with memo values of several blocks) through cairn load.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cairn/engine/io/Coding.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/TempDir.h"
#include "tests/tools/ToolRun.h"

namespace cairn::test {
namespace {

namespace fs = std::filesystem;

constexpr int kRows = 40;
constexpr int64_t kPageSize = 4096;

// Every file of a directory with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(directory)) {
    files[entry.path().filename().string()] = ReadDiskFile(entry.path().string());
  }
  return files;
}

// A file's bytes, changed in place and written back when it goes.
class TBytes {
 public:
  explicit TBytes(std::string path) : FPath(std::move(path)), FBytes(ReadDiskFile(FPath)) {}
  ~TBytes() { WriteDiskFile(FPath, FBytes); }
  TBytes(const TBytes&) = delete;
  TBytes& operator=(const TBytes&) = delete;
  int32_t Int32(int64_t at) const { return DecodeInt32(FBytes.data() + at); }
  void SetInt32(int64_t at, int32_t value) { EncodeInt32(FBytes.data() + at, value); }
  void Flip(int64_t at) { FBytes.at(static_cast<size_t>(at)) ^= 0x5A; }
  void Cut(int64_t bytes) { FBytes.resize(FBytes.size() - static_cast<size_t>(bytes)); }

 private:
  std::string FPath;
  std::string FBytes;
};

class CairnCheckCommandTest : public ::testing::Test {
 protected:
  // One generated database for the suite whose Resources holds only the rows loaded here (the
  // generator's default rows are replaced by an empty table of the same schema); every test
  // works on a copy.
  static void SetUpTestSuite() {
    FDatabase = new TTempDir();
    const std::string data = FDatabase->File("Data");
    GenerateDatabase(data);
    const TToolRun schema = RunCairn({"schema", data, "Resources", "--json"});
    ASSERT_EQ(schema.Status, 0) << schema.Err;
    WriteDiskFile(FDatabase->File("resources.json"), schema.Out);
    for (const char* extension : {".dat", ".idx", ".blb"})
      fs::remove(data + "/Resources" + extension);
    const TToolRun create =
        RunCairn({"create", data, "Resources", "--schema", FDatabase->File("resources.json")});
    ASSERT_EQ(create.Status, 0) << create.Err;
    std::string csv = "ResourceName,ResourceEmail,SortID\n";
    for (int row = 0; row < kRows; ++row) {
      csv += "Room " + std::to_string(row) + "," + std::string(100 + row * 40, 'm') + "," +
             std::to_string((row * 7) % kRows) + "\n";
    }
    WriteDiskFile(FDatabase->File("rows.csv"), csv);
    const TToolRun load = RunCairn({"load", data, "Resources", FDatabase->File("rows.csv")});
    ASSERT_EQ(load.Status, 0) << load.Err;
  }
  static void TearDownTestSuite() {
    delete FDatabase;
    FDatabase = nullptr;
  }

  std::string CopyOfData() {
    const std::string copy = Temp.File("Data");
    fs::copy(FDatabase->File("Data"), copy);
    return copy;
  }

  TTempDir Temp;
  static TTempDir* FDatabase;
};

TTempDir* CairnCheckCommandTest::FDatabase = nullptr;

TEST_F(CairnCheckCommandTest, SoundDatabaseChecksCleanAndStaysByteForByte) {
  const std::string data = CopyOfData();
  const auto before = Snapshot(data);
  const TToolRun run = RunCairn({"check", data});
  EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
  EXPECT_EQ(Lines(run.Out), std::vector<std::string>{"12 table(s) checked, 0 finding(s)"});
  EXPECT_EQ(Snapshot(data), before);
  const TToolRun one = RunCairn({"check", data, "Resources"});
  EXPECT_EQ(one.Status, 0);
  EXPECT_EQ(Lines(one.Out), std::vector<std::string>{"1 table(s) checked, 0 finding(s)"});
}

TEST_F(CairnCheckCommandTest, UsageAndUnknownTables) {
  const std::string data = CopyOfData();
  EXPECT_EQ(RunCairn({"check"}).Status, 2);
  EXPECT_EQ(RunCairn({"repair", data}).Status, 2);
  const TToolRun check = RunCairn({"check", data, "Nope"});
  EXPECT_EQ(check.Status, 1);
  EXPECT_NE(check.Err.find("no table 'Nope'"), std::string::npos) << check.Err;
  EXPECT_EQ(RunCairn({"repair", data, "Nope"}).Status, 1);
  EXPECT_EQ(RunCairn({"check", "--help"}).Status, 0);
}

// Offsets inside Resources' files, read from the files themselves.
struct TResources {
  explicit TResources(const std::string& data) : Data(data) {
    const std::string dat = ReadDiskFile(File(".dat"));
    RecordLength = static_cast<uint16_t>(DecodeFixed16(dat.data() + 45));
    HeaderArea = 512 + 768 * int64_t{DecodeFixed16(dat.data() + 47)};
    const std::string idx = ReadDiskFile(File(".idx"));
    SortRoot = DecodeInt32(idx.data() + 34 + 4);
  }
  std::string File(const char* extension) const { return Data + "/Resources" + extension; }
  int64_t Slot(int32_t slot) const { return HeaderArea + (slot - 1) * int64_t{RecordLength}; }
  static int64_t Page(int32_t page) { return 25088 + (page - 1) * kPageSize; }

  std::string Data;
  uint16_t RecordLength = 0;
  int64_t HeaderArea = 0;
  int32_t SortRoot = 0;
};

struct TCliCase {
  const char* Name;
  std::function<void(const TResources&)> Damage;
  std::string LineStart;              // table and file of the finding's line
  std::vector<std::string> Expected;  // parts of that line
  int RowsAfterRepair = kRows;
};

const std::vector<TCliCase>& CliCases() {
  static const std::vector<TCliCase> cases = {
      {"FlippedRecordByte",
       [](const TResources& r) { TBytes(r.File(".dat")).Flip(r.Slot(3) + 60); },
       "Resources  Resources.dat  offset ",
       {"slot 3", "RecordHash does not match"}},
      {"FlippedIndexPage",
       [](const TResources& r) { TBytes(r.File(".idx")).Flip(TResources::Page(r.SortRoot)); },
       "Resources  Resources.idx  offset ",
       {"cannot be read as a page of index IDX_SortID"}},
      {"FlippedBlobLink",
       [](const TResources& r) { TBytes(r.File(".blb")).Flip(512 + 7); },
       "Resources  Resources.blb  offset 516: ",
       {"field ResourceEmail", "outside the blob file"}},
      {"CutDataFile",
       [](const TResources& r) { TBytes(r.File(".dat")).Cut(10); },
       "Resources  Resources.dat  offset ",
       {"bytes into slot 40"},
       kRows - 1},
      {"WrongRecordCount",
       [](const TResources& r) { TBytes(r.File(".dat")).SetInt32(41, 7); },
       "Resources  Resources.dat  offset 41: ",
       {"the header counts 7 records, 40 slots hold a live record"}},
      {"BrokenFreePageChain",
       [](const TResources& r) { TBytes(r.File(".idx")).SetInt32(25, r.SortRoot); },
       "Resources  Resources.idx  offset 25: ",
       {"free-page chain reaches page", "in use"}},
      {"StaleIndexKey",
       [](const TResources& r) {
         // Entries 1 and 2 of the SortID leaf (key 9 bytes, then the record number) swap records.
         TBytes idx(r.File(".idx"));
         const int64_t first = TResources::Page(r.SortRoot) + 13 + 9;
         const int32_t a = idx.Int32(first), b = idx.Int32(first + 13);
         idx.SetInt32(first, b);
         idx.SetInt32(first + 13, a);
       },
       "Resources  Resources.idx  offset ",
       {"index IDX_SortID holds a stale key"}},
  };
  return cases;
}

class CliDamageTest : public CairnCheckCommandTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(CliDamageTest, CheckReportsItAndRepairMendsIt) {
  const TCliCase& c = CliCases()[GetParam()];
  const std::string data = CopyOfData();
  c.Damage(TResources(data));

  const TToolRun check = RunCairn({"check", data});
  EXPECT_EQ(check.Status, 1) << check.Out << check.Err;
  bool found = false;
  for (const std::string& line : Lines(check.Out)) {
    if (line.rfind(c.LineStart, 0) != 0) continue;
    bool all = true;
    for (const std::string& part : c.Expected) all = all && line.find(part) != std::string::npos;
    found = found || all;
  }
  EXPECT_TRUE(found) << check.Out;

  const TToolRun repair = RunCairn({"repair", data, "Resources"});
  EXPECT_EQ(repair.Status, 0) << repair.Out << repair.Err;
  // Repair checks the table again and says so.
  EXPECT_NE(repair.Out.find("Resources: sound"), std::string::npos) << repair.Out;
  const TToolRun dump = RunCairn({"dump", data, "Resources"});
  ASSERT_EQ(dump.Status, 0) << dump.Err;
  EXPECT_EQ(Lines(dump.Out).size(), static_cast<size_t>(c.RowsAfterRepair) + 1);  // header row
}

INSTANTIATE_TEST_SUITE_P(Cases, CliDamageTest, ::testing::Range<size_t>(0, CliCases().size()),
                         [](const auto& info) { return std::string(CliCases()[info.param].Name); });

}  // namespace
}  // namespace cairn::test
