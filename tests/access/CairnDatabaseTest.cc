#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnSession.h"
#include "cairn/access/DatabaseClient.h"
#include "cairn/access/Messages.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/DataSession.h"
#include "tests/support/ComponentLayerTest.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn::test {
namespace {

// A dataset stand-in that holds its database the way a table does.
class TFakeDataSet : public TDatabaseClient {
 public:
  TFakeDataSet(std::string name, std::vector<std::string>& log) : FName(name), FLog(log) {}

  // Acquires the database through the session and registers, as opening a table does.
  void Acquire(TCairnSession& session, const std::string& databaseName) {
    FDatabase = &session.OpenDatabase(databaseName);
    FDatabase->RegisterClient(*this);
  }
  void CloseForDisconnect() override {
    FLog.push_back("close " + FName);
    if (FDatabase == nullptr || !ReleaseOnClose) return;
    TCairnDatabase* database = FDatabase;
    FDatabase = nullptr;
    database->UnregisterClient(*this);
    database->Session()->CloseDatabase(*database);
  }
  void ConnectionChanged(bool connected) override {
    FLog.push_back((connected ? "up " : "down ") + FName);
  }

  bool ReleaseOnClose = true;

 private:
  std::string FName;
  std::vector<std::string>& FLog;
  TCairnDatabase* FDatabase = nullptr;
};

class CairnDatabaseTest : public ComponentLayerTest {
 protected:
  // The generator's database object.
  std::unique_ptr<TCairnDatabase> MainDB(const std::string& directory) {
    auto db = std::make_unique<TCairnDatabase>();
    db->SetName("dbMain");
    db->SetDatabaseName("MainDB");
    db->SetSessionName("Default");
    db->SetDirectory(directory);
    return db;
  }
};

TEST_F(CairnDatabaseTest, OpeningActivatesTheEngineAndTheDefaultSession) {
  auto db = MainDB(Temp.Path());
  EXPECT_FALSE(CairnEngine().Active());
  std::vector<std::string> events;
  db->SetBeforeConnect(
      [&](TCairnDatabase& d) { events.push_back(d.Connected() ? "x" : "before"); });
  db->SetAfterConnect([&](TCairnDatabase& d) { events.push_back(d.Connected() ? "after" : "x"); });
  db->SetBeforeDisconnect([&](TCairnDatabase& d) { events.push_back(d.Connected() ? "bd" : "x"); });
  db->SetAfterDisconnect([&](TCairnDatabase& d) { events.push_back(d.Connected() ? "x" : "ad"); });
  db->Open();
  db->Open();  // opening an open object does nothing
  EXPECT_TRUE(CairnEngine().Active());
  EXPECT_TRUE(DefaultSession().Active());
  EXPECT_EQ(DefaultSession().Handle()->Name(), "Default_-1");
  ASSERT_TRUE(db->Connected());
  EXPECT_EQ(db->Session(), &DefaultSession());
  EXPECT_EQ(db->Handle()->Directory(), Temp.Path() + "/");
  EXPECT_FALSE(db->Handle()->ReadOnly());
  EXPECT_FALSE(db->InTransaction());
  EXPECT_TRUE(FileExists(Temp.File("cairn.lck")));

  db->Close();
  db->Close();
  EXPECT_EQ(db->Handle(), nullptr);
  EXPECT_EQ(DefaultSession().Handle()->DataDirectoryCount(), 0u);
  EXPECT_EQ(events, (std::vector<std::string>{"before", "after", "bd", "ad"}));
}

TEST_F(CairnDatabaseTest, DirectoryIsTrimmedAndLockedWhileConnected) {
  TCairnDatabase db;
  struct {
    const char* written;
    const char* stored;
  } cases[] = {
      {" /tmp/x/ ", "/tmp/x"},
      {"/tmp/x///", "/tmp/x"},
      {"\t/tmp/y\n", "/tmp/y"},
      {"/", "/"},
      {" // ", "/"},
      {"  ", ""},
      {"rel/dir/", "rel/dir"},
  };
  for (const auto& c : cases) {
    db.SetDirectory(c.written);
    EXPECT_EQ(db.Directory(), c.stored) << c.written;
  }

  db.SetName("dbMain");
  db.SetDatabaseName("MainDB");
  db.SetDirectory(Temp.Path() + "/");
  db.Open();
  db.SetDirectory(" " + Temp.Path() + "// ");  // the same directory
  EXPECT_EQ(ErrorText([&] { db.SetDirectory("/tmp"); }),
            "dbMain: Cannot perform this operation on an open database");
  EXPECT_EQ(ErrorText([&] { db.SetDatabaseName("Other"); }),
            "dbMain: Cannot perform this operation on an open database");
  EXPECT_EQ(ErrorText([&] { db.SetSessionName("Other"); }),
            "dbMain: Cannot perform this operation on an open database");
  EXPECT_EQ(ErrorText([&] { db.SetKeepTablesOpen(true); }),
            "dbMain: Cannot perform this operation on an open database");
  EXPECT_EQ(db.Directory(), Temp.Path());
}

TEST_F(CairnDatabaseTest, DatabaseNameRules) {
  auto db = MainDB(Temp.Path());
  EXPECT_EQ(db->DatabaseName(), "MainDB");
  for (const char* path : {"C:Data", "a/b", "/tmp/x"}) {
    EXPECT_EQ(ErrorText([&] { db->SetDatabaseName(path); }),
              std::string("dbMain: Database name '") + path + "' is not valid");
    EXPECT_EQ(db->DatabaseName(), "MainDB");
  }

  TCairnDatabase second;
  EXPECT_EQ(ErrorText([&] { second.SetDatabaseName("maindb"); }),
            "Database name 'maindb' already exists");
  second.SetDatabaseName("Archive");
  EXPECT_EQ(second.DatabaseName(), "Archive");

  // An unused temporary object gives its name up; a used one does not.
  TCairnDatabase& temp = DefaultSession().OpenDatabase("Memory");
  EXPECT_EQ(ErrorText([&] { second.SetDatabaseName("memory"); }),
            "Database name 'memory' already exists");
  DefaultSession().CloseDatabase(temp);
  second.SetDatabaseName("memory");
  EXPECT_EQ(DefaultSession().FindDatabase("Memory"), &second);
  EXPECT_EQ(DefaultSession().DatabaseCount(), 2u);
}

TEST_F(CairnDatabaseTest, OpenWithoutNameOrWithAnUnknownSessionFails) {
  TCairnDatabase db;
  db.SetDirectory(Temp.Path());
  EXPECT_EQ(ErrorText([&] { db.Open(); }), "Database name is missing");
  EXPECT_FALSE(db.Connected());

  db.SetDatabaseName("MainDB");
  db.SetSessionName("Nowhere");  // no such session: the binding stays
  EXPECT_EQ(db.Session(), &DefaultSession());
  EXPECT_EQ(ErrorText([&] { db.Open(); }), "Session name 'Nowhere' is not valid");
  EXPECT_FALSE(db.Connected());
  EXPECT_FALSE(DefaultSession().Active());
}

TEST_F(CairnDatabaseTest, MemoryOpensTheInMemoryDatabaseAndIgnoresDirectory) {
  for (const char* name : {"Memory", "memory", "MEMORY"}) {
    TCairnDatabase db;
    db.SetDatabaseName(name);
    db.SetDirectory(Temp.Path());
    db.Open();
    ASSERT_TRUE(db.Connected()) << name;
    EXPECT_TRUE(db.Handle()->InMemory()) << name;
    EXPECT_EQ(db.Handle()->Directory(), "") << name;
  }
  // Leading and trailing "/" do not hide the name; a temporary object may carry them.
  TCairnDatabase& temp = DefaultSession().OpenDatabase(" /Memory/ ");
  EXPECT_TRUE(temp.Handle()->InMemory());
  EXPECT_EQ(temp.Directory(), "");
  EXPECT_FALSE(FileExists(Temp.File("cairn.lck")));
}

TEST_F(CairnDatabaseTest, AMissingDirectoryOpensReadOnly) {
  auto db = MainDB(Temp.File("Data"));
  db->Open();
  ASSERT_TRUE(db->Connected());
  EXPECT_TRUE(db->Handle()->ReadOnly());
  EXPECT_FALSE(std::filesystem::exists(Temp.File("Data")));
}

TEST_F(CairnDatabaseTest, DatabaseObjectsOfOneDirectoryShareIt) {
  auto db = MainDB(Temp.Path());
  TCairnDatabase archive;
  archive.SetDatabaseName("Archive");
  archive.SetDirectory(Temp.Path() + "/");
  archive.SetKeepTablesOpen(true);
  db->Open();
  archive.Open();
  EXPECT_EQ(db->Handle(), archive.Handle());
  EXPECT_EQ(db->Handle()->UseCount(), 2);
  archive.Close();
  ASSERT_TRUE(db->Connected());
  EXPECT_EQ(db->Handle()->UseCount(), 1);
  EXPECT_FALSE(db->Handle()->KeepTablesOpen());
}

TEST_F(CairnDatabaseTest, ClosingClosesEveryRegisteredDataSetMostRecentFirst) {
  auto db = MainDB(Temp.Path());
  std::vector<std::string> log;
  TFakeDataSet a("a", log), b("b", log), stubborn("stubborn", log);
  a.Acquire(DefaultSession(), "MainDB");
  b.Acquire(DefaultSession(), "MainDB");
  stubborn.ReleaseOnClose = false;  // never unregisters: dropped all the same
  stubborn.Acquire(DefaultSession(), "MainDB");
  EXPECT_EQ(db->RefCount(), 3);
  EXPECT_EQ(db->ClientCount(), 3u);

  db->Close();
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->ClientCount(), 0u);
  EXPECT_EQ(db->RefCount(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"down a", "down b", "down stubborn", "close stubborn",
                                           "close b", "close a"}));
}

TEST_F(CairnDatabaseTest, DataSetsReleasingATemporaryObjectWhileItClosesDoNotFreeIt) {
  TCairnSession& s = DefaultSession();
  s.SetKeepConnections(false);
  std::vector<std::string> log;
  TFakeDataSet a("a", log), b("b", log);
  a.Acquire(s, "Memory");
  b.Acquire(s, "Memory");
  TCairnDatabase* temp = s.FindDatabase("Memory");
  ASSERT_NE(temp, nullptr);
  ASSERT_TRUE(temp->Temporary());

  temp->Close();  // the last release happens inside the close
  EXPECT_EQ(s.FindDatabase("Memory"), temp);
  EXPECT_FALSE(temp->Connected());
  EXPECT_EQ(temp->RefCount(), 0);

  // Outside a close, the last release frees it.
  a.Acquire(s, "Memory");
  a.CloseForDisconnect();
  EXPECT_EQ(s.FindDatabase("Memory"), nullptr);
}

TEST_F(CairnDatabaseTest, AFailingDataSetDoesNotOutliveTheSessionsDirectories) {
  struct TFailingDataSet : TDatabaseClient {
    void CloseForDisconnect() override { throw std::runtime_error("cannot close"); }
  } failing;
  auto db = MainDB(Temp.Path());
  db->Open();
  db->RegisterClient(failing);
  EXPECT_THROW(CairnEngine().SetActive(false), std::runtime_error);
  EXPECT_FALSE(CairnEngine().Active());
  EXPECT_FALSE(DefaultSession().Active());
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->ClientCount(), 0u);
  db->Open();
  EXPECT_TRUE(db->Connected());
}

TEST_F(CairnDatabaseTest, KeepConnectionFalseClosesAnUnusedObject) {
  auto db = MainDB(Temp.Path());
  db->Open();
  DefaultSession().OpenDatabase("MainDB");
  db->SetKeepConnection(false);
  EXPECT_TRUE(db->Connected());  // still in use
  DefaultSession().CloseDatabase(*db);
  EXPECT_FALSE(db->Connected());
  db->Open();
  db->SetKeepConnection(false);
  EXPECT_FALSE(db->Connected());
}

TEST_F(CairnDatabaseTest, DestroyingAConnectedObjectClosesItsDirectoryAndLeavesTheSession) {
  auto db = MainDB(Temp.Path());
  db->Open();
  TDataSession* handle = DefaultSession().Handle();
  EXPECT_EQ(handle->DataDirectoryCount(), 1u);
  db.reset();
  EXPECT_EQ(handle->DataDirectoryCount(), 0u);
  EXPECT_EQ(DefaultSession().DatabaseCount(), 0u);
}

TEST_F(CairnDatabaseTest, ValuesReadFromAFormAreAppliedAfterLoading) {
  TCairnDatabase db;
  db.SetLoading(true);
  db.SetDatabaseName("MainDB");
  db.SetDirectory(Temp.Path() + "/");
  db.SetConnected(true);
  EXPECT_FALSE(db.Connected());
  db.Loaded();
  EXPECT_TRUE(db.Connected());
  EXPECT_EQ(db.Handle()->Directory(), Temp.Path() + "/");

  // A name that is not valid is caught by the binding after loading, and cleared.
  TCairnDatabase bad;
  bad.SetLoading(true);
  bad.SetDatabaseName("x:y");
  EXPECT_EQ(ErrorText([&] { bad.Loaded(); }), "Database name 'x:y' is not valid");
  EXPECT_EQ(bad.DatabaseName(), "");
}

}  // namespace
}  // namespace cairn::test
