#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cairn/error/EngineErrorCodes.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/directory/DataDirectoryLocks.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/host/CodePage.h"
#include "tests/support/DirectoryTestSupport.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"

namespace cairn {
namespace {

namespace fs = std::filesystem;
using test::EngineErrorCode;
using test::WriteDiskFile;

// An open table as the directory sees it; notes when it is freed.
class TFakeTable : public TDataDirectoryTable {
 public:
  TFakeTable(std::string name, std::vector<std::string>* freed = nullptr,
             TDataDirectory* removeOnFree = nullptr)
      : FName(std::move(name)), FFreed(freed), FRemoveOnFree(removeOnFree) {}
  ~TFakeTable() override {
    // A table that asks to leave the list on its way out must not disturb the freeing.
    const bool removed =
        FRemoveOnFree != nullptr && FRemoveOnFree->RemoveDataTable(FName) != nullptr;
    if (FFreed != nullptr) FFreed->push_back(removed ? "removed " + FName : FName);
  }
  const std::string& TableName() const override { return FName; }

 private:
  std::string FName;
  std::vector<std::string>* FFreed;
  TDataDirectory* FRemoveOnFree;
};

class DataDirectoryTest : public ::testing::Test {
 protected:
  DataDirectoryTest() {
    FEngine.Initialize();
    test::UseQuickRetries(FEngine, FSession);
  }

  TDataDirectory& Open(const std::string& path, const std::string& name = "db",
                       bool compareNames = false) {
    return FSession.OpenDataDirectory(name, path, false, false, compareNames);
  }

  test::TTempDir FDir;
  TDataEngine FEngine;
  TDataSession& FSession = FEngine.StartDataSession();
};

TEST_F(DataDirectoryTest, SamePathOpensTheSameDirectoryUntilTheLastClose) {
  const std::string path = FDir.Path();
  TDataDirectory& directory = Open(path);
  EXPECT_EQ(directory.Directory(), path + "/");
  EXPECT_EQ(directory.ProperDataDirectoryName(), path);
  EXPECT_EQ(directory.UseCount(), 1);
  for (const std::string& same : {"  " + path + "/ ", host::AnsiUpperCase(path), path + "/"}) {
    EXPECT_EQ(&Open(same), &directory) << same;
  }
  EXPECT_EQ(&Open(path, "DB", true), &directory);  // names compare without regard to case
  EXPECT_EQ(directory.UseCount(), 5);

  TDataDirectory& named = Open(path, "other", true);
  EXPECT_NE(&named, &directory);
  EXPECT_EQ(FSession.DataDirectoryCount(), 2u);
  FSession.CloseDataDirectory(named, false);

  for (int users = 5; users > 1; --users) {
    FSession.CloseDataDirectory(directory, false);
    EXPECT_EQ(directory.UseCount(), users - 1);
  }
  EXPECT_TRUE(FSession.HasOpenDirectories());
  FSession.CloseDataDirectory(directory, false);
  EXPECT_FALSE(FSession.HasOpenDirectories());
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 0u);  // the lock file was closed ...
  EXPECT_TRUE(fs::exists(FDir.File("cairn.lck")));     // ... and stays on disk
}

TEST_F(DataDirectoryTest, PathDefaultsToTheCurrentDirectoryOrToMemory) {
  const fs::path before = fs::current_path();
  fs::current_path(FDir.Path());
  TDataDirectory& current = Open("   ", std::string(70, 'n'));
  fs::current_path(before);
  EXPECT_EQ(current.Directory(), host::Utf8ToAnsi(FDir.Path()) + "/");
  EXPECT_EQ(current.Name(), std::string(60, 'n'));
  EXPECT_TRUE(fs::exists(FDir.File("cairn.lck")));

  TDataDirectory& memory = Open("", "MEMORY");
  EXPECT_TRUE(memory.InMemory());
  EXPECT_EQ(memory.Directory(), "");
  EXPECT_EQ(memory.ProperDataDirectoryName(), "MEMORY");
  EXPECT_NE(&memory, &current);
}

TEST_F(DataDirectoryTest, MissingDirectoryOpensReadOnly) {
  const std::string path = FDir.File("missing");
  TDataDirectory* directory = nullptr;
  ASSERT_NO_THROW(directory = &Open(path));
  EXPECT_TRUE(directory->ReadOnly());
  EXPECT_FALSE(fs::exists(path));
  try {
    directory->CheckNotReadOnly("Events");
    ADD_FAILURE() << "a read-only directory accepted a write";
  } catch (const ECairnEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), CAIRN_OSEACCES);
    EXPECT_EQ(error.ErrorDatabaseName(), path);
    EXPECT_EQ(error.ErrorTableName(), "Events");
  }
}

TEST_F(DataDirectoryTest, UnwritableDirectoryOpensReadOnlyAndWritesNoLockFile) {
  const std::string path = FDir.File("ro");
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  WriteDiskFile(path + "/Events.dat", "x");
  ASSERT_EQ(chmod(path.c_str(), 0555), 0);
  test::MakeTraversable(FDir.Path());
  // Results: 0 fine, otherwise the number of the failed check.
  const int status = test::RunUnprivileged([&] {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataDirectory& directory = session.OpenDataDirectory("db", path, false, false, false);
    if (!directory.ReadOnly()) return 1;
    if (EngineErrorCode([&] { directory.CheckNotReadOnly("Events"); }) != CAIRN_OSEACCES) return 2;
    if (!directory.DataTableExists("Events")) return 3;  // reading still works
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(fs::exists(path + "/cairn.lck"));
}

TEST_F(DataDirectoryTest, TableExistsWhenItsDataFileOrOpenTableExists) {
  for (const char* file : {"Events.dat", "Notes.DAT", "Tasks.idx", "Tasks.blb"})
    WriteDiskFile(FDir.File(file), "x");
  TDataDirectory& directory = Open(FDir.Path());
  directory.InsertDataTable(std::make_unique<TFakeTable>("Open.dat"));
  struct Case {
    const char* table;
    bool openOnly;
    bool exists;
  } cases[] = {
      {"Events", false, true},   {"EVENTS", false, true}, {"Events.dat", false, true},
      {" Events ", false, true}, {"Notes", false, true},  {"Tasks", false, false},
      {"Missing", false, false}, {"Events", true, false}, {"open", false, true},
      {"Open.tmp", true, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(directory.DataTableExists(c.table, c.openOnly), c.exists)
        << c.table << (c.openOnly ? " (open only)" : "");
}

TEST_F(DataDirectoryTest, EngineTableNameIsTheFileNameWithTheDataExtension) {
  TDataDirectory& directory = Open(FDir.Path());
  const std::pair<std::string, std::string> cases[] = {
      {"Events", "Events.dat"},
      {" Events.tmp ", "Events.dat"},
      {"sub/Events.DAT", "Events.dat"},
      {std::string(70, 'x'), std::string(60, 'x')},
  };
  for (const auto& [name, engineName] : cases)
    EXPECT_EQ(directory.EngineTableName(name), engineName) << name;
}

TEST_F(DataDirectoryTest, OpenTablesAreSortedFoundWithoutCaseAndFreedWithTheDirectory) {
  std::vector<std::string> freed;
  TDataDirectory& directory = Open(FDir.Path());
  for (const char* name : {"b.dat", "C.dat", "A.dat", "d.dat"})
    directory.InsertDataTable(std::make_unique<TFakeTable>(name, &freed, &directory));
  EXPECT_THROW(directory.InsertDataTable(std::make_unique<TFakeTable>("B.DAT")), std::logic_error);
  for (const char* name : {"a.DAT", "B.dat", "c.dat", "D.DAT"})
    EXPECT_NE(directory.FindDataTable(name), nullptr) << name;
  EXPECT_EQ(directory.FindDataTable("e.dat"), nullptr);

  std::unique_ptr<TDataDirectoryTable> removed = directory.RemoveDataTable("c.DAT");
  ASSERT_NE(removed, nullptr);
  EXPECT_EQ(removed->TableName(), "C.dat");
  EXPECT_EQ(directory.RemoveDataTable("c.dat"), nullptr);
  EXPECT_EQ(directory.DataTableCount(), 3u);
  EXPECT_EQ(directory.FindDataTable("C.dat"), nullptr);
  removed.reset();

  FSession.CloseDataDirectory(directory, false);
  // The rest is freed back to front in name order, each one once.
  EXPECT_EQ(freed, (std::vector<std::string>{"C.dat", "d.dat", "b.dat", "A.dat"}));
}

TEST_F(DataDirectoryTest, TemporaryTableNameSkipsTablesThatExist) {
  TDataDirectory& directory = Open(FDir.Path());
  const std::string prefix =
      std::to_string(std::llabs(static_cast<long long>(host::CurrentThreadId()))).substr(0, 5);
  EXPECT_EQ(directory.GetTempDataTableName(), prefix + "0.dat");
  WriteDiskFile(FDir.File(prefix + "0.dat"), "x");
  directory.InsertDataTable(std::make_unique<TFakeTable>(prefix + "1.dat"));
  EXPECT_EQ(directory.GetTempDataTableName(), prefix + "2.dat");
}

TEST_F(DataDirectoryTest, ClosingTheSessionFreesItsDirectories) {
  TDataSession& session = FEngine.StartDataSession();
  session.OpenDataDirectory("db", FDir.Path(), false, false, false);
  session.OpenDataDirectory("db", FDir.File("missing"), false, false, false);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u);
  FEngine.CloseDataSession(session);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 0u);
  EXPECT_TRUE(fs::exists(FDir.File("cairn.lck")));
}

}  // namespace
}  // namespace cairn
