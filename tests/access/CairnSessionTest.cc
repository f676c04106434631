#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnSession.h"
#include "cairn/access/Messages.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"
#include "tests/support/ComponentLayerTest.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn::test {
namespace {

using CairnSessionTest = ComponentLayerTest;

TEST_F(CairnSessionTest, SessionNameRules) {
  TCairnSession work;
  work.SetName("WorkSession");
  work.SetSessionName("Work");
  EXPECT_EQ(ErrorText([&] { work.SetSessionName("default"); }),
            "WorkSession: Session name 'default' already exists");
  EXPECT_EQ(work.SessionName(), "Work");

  work.Open();
  work.SetSessionName("Work");  // unchanged: accepted while active
  EXPECT_EQ(ErrorText([&] { work.SetSessionName("Other"); }),
            "WorkSession: Cannot perform this operation on an active session");
  EXPECT_EQ(ErrorText([&] { work.SetSessionType(stRemote); }),
            "WorkSession: Cannot perform this operation on an active session");
  work.Close();
  work.SetSessionName("Other");
  EXPECT_EQ(CairnEngine().FindSession("OTHER"), &work);
}

TEST_F(CairnSessionTest, ActivationNamesTheStorageSessionAndHandsOverTheSettings) {
  TCairnSession work;
  work.SetSessionName("Work");
  work.SetPrivateDir(Temp.Path());
  work.SetForceBufferFlush(true);
  work.SetStrictChangeDetection(true);
  work.SetLockRetryCount(3);
  work.SetLockWaitTime(7);
  work.SetLockProtocol(lpOptimistic);
  work.SetProgressSteps(150);  // ignored
  EXPECT_EQ(work.ProgressSteps(), 20);
  work.SetProgressSteps(25);
  std::vector<std::string> events;
  work.SetOnStartup([&](TCairnSession& s) { events.push_back("startup " + s.SessionName()); });
  work.SetOnShutdown([&](TCairnSession& s) { events.push_back("shutdown " + s.SessionName()); });

  work.Open();
  EXPECT_TRUE(DefaultSession().Active());  // the default session comes first
  EXPECT_EQ(DefaultSession().Handle()->Name(), "Default_-1");
  TDataSession& h = *work.Handle();
  EXPECT_EQ(h.Name(), "Work_-1");
  EXPECT_EQ(h.PrivateDirectory(), Temp.Path() + "/");
  EXPECT_TRUE(h.ForceBufferFlush());
  EXPECT_TRUE(h.StrictChangeDetection());
  EXPECT_EQ(h.LockRetries(), 3);
  EXPECT_EQ(h.LockWait(), 7);
  EXPECT_EQ(h.LockProtocol(), lpOptimistic);
  EXPECT_EQ(h.Progress(), 25);
  EXPECT_TRUE(h.InsideEngine());
  EXPECT_FALSE(h.IsRemote());

  // While active, a change reaches the storage session at once.
  work.SetLockRetryCount(9);
  work.SetForceBufferFlush(false);
  work.SetPrivateDir("/var/tmp");
  EXPECT_EQ(h.LockRetries(), 9);
  EXPECT_FALSE(h.ForceBufferFlush());
  EXPECT_EQ(h.PrivateDirectory(), "/var/tmp/");

  size_t sessions = CairnEngineInstance().Handle().SessionCount();
  work.Close();
  EXPECT_EQ(work.Handle(), nullptr);
  EXPECT_EQ(CairnEngineInstance().Handle().SessionCount(), sessions - 1);
  EXPECT_EQ(events, (std::vector<std::string>{"startup Work", "shutdown Work"}));
}

TEST_F(CairnSessionTest, ASessionWithoutNameDoesNotActivate) {
  TCairnSession unnamed;
  bool started = false;
  unnamed.SetOnStartup([&](TCairnSession&) { started = true; });
  EXPECT_EQ(ErrorText([&] { unnamed.Open(); }), "Session name is missing");
  EXPECT_TRUE(started);
  EXPECT_FALSE(unnamed.Active());
}

TEST_F(CairnSessionTest, AutoSessionNames) {
  TComponent form1, form2, form3;
  TCairnSession s1(&form1), s2(&form2);
  s1.SetName("Session1");
  s2.SetName("Session2");
  s1.SetAutoSessionName(true);
  s2.SetAutoSessionName(true);
  EXPECT_EQ(s1.SessionName(), "Session1_1");
  EXPECT_EQ(s2.SessionName(), "Session2_2");
  EXPECT_EQ(ErrorText([&] { s1.SetSessionName("Mine"); }),
            "Session1: Cannot perform this operation on the active auto-session");
  s1.SetName("Renamed");
  EXPECT_EQ(s1.SessionName(), "Renamed_1");
  s1.Open();
  EXPECT_EQ(s1.Handle()->Name(), "Renamed_1_0");
  EXPECT_EQ(ErrorText([&] { s1.SetAutoSessionName(false); }),
            "Renamed: Cannot perform this operation on an active session");
  s1.Close();

  // The lowest free number is taken again.
  s1.SetAutoSessionName(false);
  EXPECT_EQ(s1.SessionNumber(), -1);
  TCairnSession s3(&form3);
  s3.SetName("Session3");
  s3.SetAutoSessionName(true);
  EXPECT_EQ(s3.SessionName(), "Session3_1");

  // Sessions sharing an owner.
  TCairnSession sibling(&form2);
  sibling.SetName("Sibling");
  EXPECT_EQ(ErrorText([&] { sibling.SetAutoSessionName(true); }),
            "Sibling: This auto-session already exists");
  TCairnSession plain(&form1);
  plain.SetName("Plain");
  EXPECT_EQ(ErrorText([&] { s1.SetAutoSessionName(true); }),
            "Renamed: The active auto-session can be the only active session");
  EXPECT_FALSE(s1.AutoSessionName());
}

TEST_F(CairnSessionTest, PasswordsNeedAnActiveSession) {
  TCairnSession& s = DefaultSession();
  const std::string inactive = "Cannot perform this operation on an inactive session";
  EXPECT_EQ(ErrorText([&] { s.AddPassword("secret"); }), inactive);
  EXPECT_EQ(ErrorText([&] { s.RemovePassword("secret"); }), inactive);
  EXPECT_EQ(ErrorText([&] { s.RemoveAllPasswords(); }), inactive);

  s.Open();
  s.AddPassword("secret");
  s.AddPassword("other");
  EXPECT_NE(s.Handle()->FindPassword("secret"), nullptr);
  s.RemovePassword("secret");
  EXPECT_EQ(s.Handle()->FindPassword("secret"), nullptr);
  s.RemoveAllPasswords();
  EXPECT_EQ(s.Handle()->PasswordCount(), 0u);
}

TEST_F(CairnSessionTest, PasswordRequestsGoToTheHandlerOrAreNotRetried) {
  TCairnSession& s = DefaultSession();
  s.Open();
  EXPECT_FALSE(s.Handle()->AskForPassword());
  s.SetOnPassword([](TCairnSession& sender) {
    sender.AddPassword("given");
    return true;
  });
  EXPECT_TRUE(s.Handle()->AskForPassword());
  EXPECT_NE(s.Handle()->FindPassword("given"), nullptr);
  s.SetOnPassword(nullptr);
}

TEST_F(CairnSessionTest, OpenDatabaseOfAnUnknownNameMakesAConnectedTemporaryObject) {
  TCairnSession& s = DefaultSession();
  TCairnDatabase& temp = s.OpenDatabase(Temp.Path());
  EXPECT_TRUE(s.Active());
  EXPECT_TRUE(temp.Temporary());
  EXPECT_TRUE(temp.Connected());
  EXPECT_EQ(temp.RefCount(), 1);
  EXPECT_EQ(temp.Directory(), Temp.Path());
  EXPECT_EQ(temp.Handle()->Directory(), Temp.Path() + "/");
  EXPECT_TRUE(FileExists(Temp.File("cairn.lck")));
  // A path finds the object as a path.
  EXPECT_EQ(s.FindDatabase(" " + Temp.Path() + "/ "), &temp);
  EXPECT_EQ(&s.OpenDatabase(Temp.Path() + "/"), &temp);
  EXPECT_EQ(temp.RefCount(), 2);

  // KeepConnections (true by default) keeps it after the last release.
  s.CloseDatabase(temp);
  s.CloseDatabase(temp);
  EXPECT_EQ(temp.RefCount(), 0);
  EXPECT_TRUE(temp.Connected());
  s.CloseDatabase(temp);  // nothing left to release
  EXPECT_EQ(s.FindDatabase(Temp.Path()), &temp);

  // Without it, the last release frees the object.
  s.SetKeepConnections(false);
  TCairnDatabase& other = s.OpenDatabase("Memory");
  EXPECT_TRUE(other.Handle()->InMemory());
  EXPECT_FALSE(other.KeepConnection());
  size_t count = s.DatabaseCount();
  s.CloseDatabase(other);
  EXPECT_EQ(s.DatabaseCount(), count - 1);
  EXPECT_EQ(s.FindDatabase("Memory"), nullptr);
}

TEST_F(CairnSessionTest, OpenDatabaseFindsTheNamedObjectAndCountsUses) {
  TCairnDatabase db;
  db.SetDatabaseName("MainDB");
  db.SetDirectory(Temp.Path());
  db.SetKeepConnection(false);
  TCairnSession& s = DefaultSession();
  EXPECT_EQ(&s.OpenDatabase("maindb"), &db);
  EXPECT_EQ(&s.OpenDatabase("MAINDB"), &db);
  EXPECT_TRUE(db.Connected());
  EXPECT_FALSE(db.Temporary());
  s.CloseDatabase(db);
  EXPECT_TRUE(db.Connected());
  s.CloseDatabase(db);
  EXPECT_FALSE(db.Connected());  // a non-temporary object is closed, not freed
  EXPECT_EQ(s.FindDatabase("MainDB"), &db);
}

TEST_F(CairnSessionTest, DeactivationClosesDatabasesAndFreesTemporaryOnes) {
  TCairnDatabase db;
  db.SetDatabaseName("MainDB");
  db.SetDirectory(Temp.Path());
  db.Open();
  TCairnSession& s = DefaultSession();
  s.OpenDatabase("Memory");
  ASSERT_EQ(s.DatabaseCount(), 2u);
  TDataSession* handle = s.Handle();
  EXPECT_EQ(handle->DataDirectoryCount(), 2u);

  s.Close();
  EXPECT_FALSE(db.Connected());
  EXPECT_EQ(s.DatabaseCount(), 1u);
  EXPECT_EQ(&s.GetDatabase(0), &db);
  EXPECT_TRUE(FileExists(Temp.File("cairn.lck")));
}

TEST_F(CairnSessionTest, DestroyingASessionRebindsItsDatabasesToTheDefaultSession) {
  auto work = std::make_unique<TCairnSession>();
  work->SetSessionName("Work");
  TCairnDatabase db;
  db.SetSessionName("Work");
  EXPECT_EQ(db.Session(), work.get());
  EXPECT_FALSE(work->Active());  // binding activates nothing
  db.SetDatabaseName("MainDB");
  db.SetDirectory(Temp.Path());
  db.Open();
  EXPECT_TRUE(work->Active());
  TCairnDatabase* temp = &work->OpenDatabase("Memory");
  EXPECT_EQ(temp->Session(), work.get());

  work.reset();
  EXPECT_FALSE(db.Connected());
  EXPECT_EQ(db.SessionName(), "");
  EXPECT_EQ(db.Session(), &DefaultSession());
  EXPECT_EQ(DefaultSession().FindDatabase("MainDB"), &db);
  EXPECT_EQ(DefaultSession().FindDatabase("Memory"), nullptr);  // the temporary went with it
  db.Open();
  EXPECT_TRUE(db.Connected());
}

}  // namespace
}  // namespace cairn::test
