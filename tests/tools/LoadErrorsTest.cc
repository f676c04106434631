// load of malformed files: a clear error naming line and field, and the table unchanged; an
// engine error while writing keeps the rows before it and says how many and where.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnTable.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/TempDir.h"
#include "tests/tools/EveryTypeTable.h"
#include "tests/tools/ToolRun.h"
#include "tools/cairn/CsvLoader.h"
#include "tools/cairn/ExitCodes.h"
#include "tools/cairn/ToolDatabase.h"

namespace cairn::test {
namespace {

namespace fs = std::filesystem;

class LoadErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateEveryTypeTable(Temp.Path(), "T", Temp.Path());
    // One row already there, so that "unchanged" is not just "empty".
    ASSERT_EQ(Load("Name\nfirst\n").Status, 0);
  }

  TToolRun Load(const std::string& csv) {
    WriteDiskFile(Temp.File("in.csv"), csv);
    return RunCairn({"load", Temp.Path(), "T", Temp.File("in.csv")});
  }

  std::string TableBytes() const {
    return ReadDiskFile(Temp.File("T.dat")) + ReadDiskFile(Temp.File("T.idx")) +
           ReadDiskFile(Temp.File("T.blb"));
  }

  TTempDir Temp;
};

TEST_F(LoadErrorsTest, AMalformedFileIsRefusedWholeNamingLineAndField) {
  struct TCase {
    const char* Csv;
    const char* Message;
  };
  // Each kind of fault once end to end; the value forms are tested in process (ValueTextTest).
  const TCase cases[] = {
      {"Name,D\nok,2024-01-01\nbad,2024-02-30\n", "line 3, field 'D': '2024-02-30' is not a date"},
      {"Name,Nmae\nok,ok\n", "line 1: no field 'Nmae' in the table T"},
      {"Name,Name\nok,ok\n", "line 1: the field 'Name' is named twice"},
      {"Name,Notes\nok,fine\nbad,\"never closed\nmore\n", "line 3: a quoted field is not closed"},
      {"Name\nok\n\xE2\x98\x83\n", "line 3, field 'Name': character U+2603"},
      {"Name,F\nok,1\nbad,1,5\n", "line 3: 3 values where the header names 2"},
      {"Name,Data\nok,AAEC\nbad,AA=C\n", "line 3, field 'Data': not base64"},
      // Line numbers count the line breaks inside quoted fields.
      {"Name,Notes\nok,\"two\nlines\"\nbad\xE2\x98\x83,x\n", "line 4, field 'Name'"},
      {"", "no header row"},
  };
  const std::string before = TableBytes();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Csv);
    const TToolRun run = Load(c.Csv);
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("in.csv"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(TableBytes(), before);
  }
}

TEST_F(LoadErrorsTest, ATextTooLongIsCutAsTheFieldCutsItAndReported) {
  std::string name;
  for (int i = 0; i < 45; ++i) name += "\xC3\xA9";  // 45 x e-acute: 90 bytes of UTF-8
  const TToolRun run = Load("Name,Fixed\n" + name + ",12345678901\n");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find("line 2, field 'Name': the text is cut to 40 characters"),
            std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("line 2, field 'Fixed': the text is cut to 10 characters"),
            std::string::npos)
      << run.Err;
  const std::vector<std::string> lines = Lines(RunCairn({"dump", Temp.Path(), "T"}).Out);
  ASSERT_EQ(lines.size(), 3u);
  // Forty characters, not forty bytes of UTF-8.
  EXPECT_EQ(lines[2].substr(0, 2 + 80 + 1 + 10), "2," + name.substr(0, 80) + ",1234567890");
}

TEST_F(LoadErrorsTest, ADuplicateKeyStopsTheLoadKeepingTheRowsBefore) {
  const TToolRun run = Load("Id,Name\n11,a\n12,b\n13,c\n1,duplicate\n14,e\n");
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("in.csv line 5: "), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("9729"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("3 rows were loaded before line 5; they stay in the table"),
            std::string::npos)
      << run.Err;
  const std::vector<std::string> lines = Lines(RunCairn({"dump", Temp.Path(), "T"}).Out);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].substr(0, 8), "1,first,");
  EXPECT_EQ(lines[2].substr(0, 5), "11,a,");
  EXPECT_EQ(lines[4].substr(0, 5), "13,c,");
}

TEST_F(LoadErrorsTest, AnEncryptedTableNeedsItsPassword) {
  WriteDiskFile(Temp.File("s.json"), kEveryTypeSchema);
  ASSERT_EQ(RunCairn({"create", Temp.Path(), "Secret", "--schema", Temp.File("s.json"),
                      "--password", "pw"})
                .Status,
            0);
  WriteDiskFile(Temp.File("in.csv"), "Name\nhidden\n");
  const TToolRun without = RunCairn({"load", Temp.Path(), "Secret", Temp.File("in.csv")});
  EXPECT_EQ(without.Status, 1);
  EXPECT_NE(without.Err.find("Cairn Engine Error #"), std::string::npos) << without.Err;
  const TToolRun with =
      RunCairn({"load", Temp.Path(), "Secret", Temp.File("in.csv"), "--password", "pw"});
  ASSERT_EQ(with.Status, 0) << with.Err;
  const TToolRun dump = RunCairn({"dump", Temp.Path(), "Secret", "--password", "pw"});
  EXPECT_NE(dump.Out.find("\r\n1,hidden,"), std::string::npos) << dump.Out << dump.Err;
  EXPECT_EQ(ReadDiskFile(Temp.File("Secret.dat")).find("hidden"), std::string::npos);
  const TToolRun tables = RunCairn({"tables", Temp.Path(), "--password", "pw"});
  EXPECT_NE(tables.Out.find(" yes"), std::string::npos) << tables.Out;
}

// The file is read twice, checked whole and then written: one that changed in between (in
// process here, through a stream whose text is swapped after the check) stops the load at the
// first fault, naming its line and the rows written before it, which stay.
TEST_F(LoadErrorsTest, AFileChangedAfterItsCheckStopsAtItsFirstFault) {
  struct TCase {
    const char* Changed;
    const char* Message;
  };
  const TCase cases[] = {
      {"Name,F\na,1\nb,x\nc,3\n", "in.csv line 3, field 'F': 'x' is not a decimal number"},
      {"Name,F\na,1\n\"b,2\n", "in.csv line 3: a quoted field is not closed"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Changed);
    {
      tools::TToolDatabase database(Temp.Path());
      auto table = database.ExistingTable("T");
      table->SetExclusive(true);
      table->Open();
      std::stringstream file("Name,F\na,1\nb,2\nc,3\n");
      tools::TCsvLoader loader(*table, file, "in.csv");
      EXPECT_EQ(loader.Check([](const std::string&) {}), 3);
      file.str(c.Changed);
      try {
        loader.Write([](int64_t) {});
        ADD_FAILURE() << "the changed file was loaded";
      } catch (const tools::EToolError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(c.Message), std::string::npos) << message;
        EXPECT_NE(message.find("\n1 row was loaded before line 3; they stay in the table"),
                  std::string::npos)
            << message;
      }
      EXPECT_EQ(loader.Written(), 1);
      table->Close();
    }
    FinalizeComponentLayer();
  }
  const std::vector<std::string> lines = Lines(RunCairn({"dump", Temp.Path(), "T"}).Out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2].substr(0, 4), "2,a,");
  EXPECT_EQ(lines[3].substr(0, 4), "3,a,");
}

// A file is read twice (checked whole, then written); a pipe cannot be, so it is held whole and
// loads all the same.
TEST_F(LoadErrorsTest, APipeLoadsLikeAFile) {
  const std::string fifo = Temp.File("rows.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&fifo] {
    const int fd = open(fifo.c_str(), O_WRONLY);
    if (fd < 0) return;
    const std::string csv = "Name,Notes\npiped,\"two\nlines\"\nsecond,x\n";
    EXPECT_EQ(write(fd, csv.data(), csv.size()), static_cast<ssize_t>(csv.size()));
    close(fd);
  });
  const TToolRun run = RunCairn({"load", Temp.Path(), "T", fifo});
  // Should the load not have opened the pipe, this frees the writer.
  const int unblock = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  writer.join();
  if (unblock >= 0) close(unblock);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("loaded 2 rows"), std::string::npos) << run.Out;
  const std::string dump = RunCairn({"dump", Temp.Path(), "T"}).Out;
  EXPECT_NE(dump.find("2,piped,"), std::string::npos) << dump;
  EXPECT_NE(dump.find("\"two\nlines\""), std::string::npos) << dump;
  EXPECT_NE(dump.find("3,second,"), std::string::npos) << dump;
}

// The load's own buffer budget decides only how often blocks go to the file, never what lands
// there: a budget far below the index's size and the default one write the same index bytes.
TEST_F(LoadErrorsTest, TheBufferBudgetChangesNoByteOfTheIndex) {
  std::string csv = "Name,F\n";
  for (int i = 0; i < 20000; ++i) {
    csv += "row" + std::to_string((i * 7919) % 20000) + "," + std::to_string(i) + "\n";
  }
  TTempDir other;
  CreateEveryTypeTable(other.Path(), "T", other.Path());
  WriteDiskFile(other.File("first.csv"), "Name\nfirst\n");
  ASSERT_EQ(RunCairn({"load", other.Path(), "T", other.File("first.csv")}).Status, 0);

  const TToolRun byDefault = Load(csv);
  ASSERT_EQ(byDefault.Status, 0) << byDefault.Err;
  EXPECT_NE(byDefault.Out.find("table buffers 64 MB"), std::string::npos) << byDefault.Out;
  WriteDiskFile(other.File("in.csv"), csv);
  const TToolRun small =
      RunCairn({"load", other.Path(), "T", other.File("in.csv"), "--buffers", "1"});
  ASSERT_EQ(small.Status, 0) << small.Err;
  EXPECT_NE(small.Out.find("table buffers 1 MB"), std::string::npos) << small.Out;
  ASSERT_GT(fs::file_size(Temp.File("T.idx")), 1u << 20);  // the small budget had to evict
  EXPECT_TRUE(ReadDiskFile(Temp.File("T.idx")) == ReadDiskFile(other.File("T.idx")));

  for (const char* budget : {"0", "1025", "x"}) {
    EXPECT_EQ(
        RunCairn({"load", other.Path(), "T", other.File("in.csv"), "--buffers", budget}).Status, 2)
        << budget;
  }
}

}  // namespace
}  // namespace cairn::test
