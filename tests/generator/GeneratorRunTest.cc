// The generator run as a library call, in this process: its dialogs, its exit status, the order in
// which it creates tables, and what a write failure while a table is being filled leaves behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnSession.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/error/EngineError.h"
#include "cairn/host/DateTime.h"
#include "cairn/host/Dialogs.h"
#include "cairn/host/OsError.h"
#include "generator/GeneratorRun.h"
#include "tests/generator/GeneratedDatabase.h"
#include "tests/support/FaultInjectingFiles.h"

namespace kalvora::test {
namespace {

using cairn::host::Now;
using cairn::host::TApplication;
using cairn::host::TDialogRecord;
using cairn::host::TRecordingDialogs;
using cairn::test::TFaultInjectingFiles;

// Host files that record the data files created, and can fail every write to one table's data
// file once the table is opened (not created): the writes that store its rows.
class TFillingFiles : public TFaultInjectingFiles {
 public:
  void FailFilling(const std::string& dataFile, int windowsError) {
    FTarget = dataFile;
    FError = windowsError;
  }
  const std::vector<std::string>& Created() const { return FCreated; }
  void ClearCreated() { FCreated.clear(); }

  int Create(const std::string& path, bool mustBeNew = false) override {
    if (path.ends_with(".dat")) FCreated.push_back(cairn::host::ExtractFileName(path));
    return TFaultInjectingFiles::Create(path, mustBeNew);
  }
  int Open(const std::string& path, bool readOnly, bool exclusive) override {
    const int fd = TFaultInjectingFiles::Open(path, readOnly, exclusive);
    if (fd >= 0 && !FTarget.empty() && path.ends_with("/" + FTarget)) FFilling = fd;
    return fd;
  }
  int64_t Write(int fd, const void* buffer, int64_t count, int64_t offset) override {
    if (fd == FFilling) return -FError;
    return TFaultInjectingFiles::Write(fd, buffer, count, offset);
  }
  int Close(int fd) override {
    if (fd == FFilling) FFilling = -1;
    return TFaultInjectingFiles::Close(fd);
  }

 private:
  std::string FTarget;
  int FError = 0;
  int FFilling = -1;
  std::vector<std::string> FCreated;
};

class GeneratorRunTest : public GeneratedDatabaseTest {
 protected:
  void SetUp() override {
    GeneratedDatabaseTest::SetUp();
    std::filesystem::create_directory(Data());
    Restart();
  }
  // A fresh component layer, started here so that the engine it makes can be handed the test's
  // files.
  void Restart() {
    FinalizeComponentLayer();
    cairn::DefaultSession();
    cairn::DataEngine().SetHostFiles(&Files);
  }
  void TearDown() override {
    FinalizeComponentLayer();
    GeneratedDatabaseTest::TearDown();
  }

  std::string Data() const { return Temp.File("Data"); }

  // One run with a fresh application whose dialogs are recorded.
  int Run() {
    auto dialogs = std::make_unique<TRecordingDialogs>();
    TRecordingDialogs& recorded = *dialogs;
    TApplication application(Temp.File("kalvora-dbgen.exe"), std::move(dialogs));
    const int status = RunGenerator(Data(), application);
    Dialogs = recorded.Records();
    return status;
  }

  TFillingFiles Files;  // outlives the engine, which closes files through it
  std::vector<TDialogRecord> Dialogs;
};

TEST_F(GeneratorRunTest, CompleteRunReturnsZeroWithoutDialogs) {
  const double start = Now();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(Dialogs.empty());
  EXPECT_EQ(Files.Created(),
            (std::vector<std::string>{"EventsArchi.dat", "Events.dat", "ApptTemplates.dat",
                                      "ContactCategory.dat", "Contacts.dat", "EventCategory.dat",
                                      "EventType.dat", "Resources.dat", "Tasks.dat",
                                      "WorkHourOptions.dat", "WorkHours.dat", "Photos.dat"}));
  ExpectDatabase(Data(), Window(start));
  // A second run in the same process finds everything there.
  Files.ResetCounts();
  EXPECT_EQ(Run(), 0);
  EXPECT_TRUE(Dialogs.empty());
  EXPECT_EQ(Files.Calls(cairn::test::TFileOp::Create), 0);
  EXPECT_EQ(Files.Calls(cairn::test::TFileOp::Write), 0);
}

TEST_F(GeneratorRunTest, MissingTablesAreCreatedInTheOrderOfTheRun) {
  const double start = Now();
  ASSERT_EQ(Run(), 0);
  for (const char* name : {"Photos", "EventType", "EventsArchi", "Tasks"})
    for (const std::string& file : TableFiles(TableCheck(name)))
      std::filesystem::remove(Data() + "/" + file);
  Restart();
  Files.ClearCreated();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Files.Created(), (std::vector<std::string>{"EventsArchi.dat", "EventType.dat",
                                                       "Tasks.dat", "Photos.dat"}));
  ExpectDatabase(Data(), Window(start));
}

// The open fails with an engine error: its dialog, then the first existence check fails the same
// way and the standard error report ends the run.
TEST_F(GeneratorRunTest, OpenFailureShowsItsDialogThenTheStandardReport) {
  cairn::TEngineErrorContext context;
  context.Message = "No medium";
  cairn::DefaultSession().SetOnStartup(
      [&](cairn::TCairnSession&) { throw cairn::ECairnEngineError(11010, context); });
  EXPECT_EQ(Run(), 1);
  ASSERT_EQ(Dialogs.size(), 2u);
  EXPECT_EQ(Dialogs[0].Caption, "Error");
  EXPECT_EQ(Dialogs[0].Text, "Error occurred. \r\nError Code:11010\r\nError Message:No medium");
  EXPECT_EQ(Dialogs[0].Type, cairn::host::TMsgDlgType::mtError);
  EXPECT_EQ(Dialogs[0].Buttons, cairn::host::mbOK);
  // The title: the file name cut at its first full stop; a message ending in a letter gets one.
  EXPECT_EQ(Dialogs[1].Caption, "kalvora-dbgen");
  EXPECT_EQ(Dialogs[1].Text, cairn::ECairnEngineError(11010, context).what() + std::string("."));
  EXPECT_EQ(Dialogs[1].Type, cairn::host::TMsgDlgType::mtError);
  EXPECT_EQ(Dialogs[1].Buttons, cairn::host::mbOK);
  EXPECT_TRUE(FileNames(Data()).empty() || FileNames(Data()) == std::set<std::string>{"cairn.lck"});
}

// The rows of EventCategory cannot be written (a full disk): the report names the engine error,
// the five tables before it are complete, EventCategory is gone, nothing after it was made, and a
// later run finishes the database.
TEST_F(GeneratorRunTest, WriteFailureWhileFillingATableRemovesThatTable) {
  const struct {
    int Errno;
    const char* Report;
  } cases[] = {
      {ENOSPC,
       "Cairn Engine Error # 11047 An unknown operating system error 11047 occurred with the table "
       "or backup file 'EventCategory.dat'"},
      {EACCES,
       "Cairn Engine Error # 11013 Access denied to table or backup file 'EventCategory.dat'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Errno);
    std::filesystem::remove_all(Data());
    std::filesystem::create_directory(Data());
    Files.FailFilling("EventCategory.dat", cairn::host::WindowsErrorFromErrno(c.Errno));
    const double start = Now();
    EXPECT_EQ(Run(), 1);
    const TRunWindow window = Window(start);
    ASSERT_EQ(Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs[0].Caption, "kalvora-dbgen");
    EXPECT_EQ(Dialogs[0].Text, c.Report);
    std::set<std::string> expected{"cairn.lck"};
    for (const char* name :
         {"EventsArchi", "Events", "ApptTemplates", "ContactCategory", "Contacts"}) {
      expected.merge(TableFiles(TableCheck(name)));
      ExpectTable(Data(), TableCheck(name), window);
    }
    EXPECT_EQ(FileNames(Data()), expected);

    Files.FailFilling("", 0);
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(Dialogs.empty());
    ExpectDatabase(Data(), Window(start));
  }
}

}  // namespace
}  // namespace kalvora::test
