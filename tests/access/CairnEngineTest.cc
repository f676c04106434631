#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnSession.h"
#include "cairn/access/Messages.h"
#include "cairn/engine/DataEngine.h"
#include "tests/support/ComponentLayerTest.h"
#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/io/EngineSettings.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn::test {
namespace {

using CairnEngineTest = ComponentLayerTest;

// Every setting's documented default, written out here rather than taken from the settings
// struct, checked in the struct, in the component and in the storage engine it drives.
TEST_F(CairnEngineTest, DefaultsAreTheDocumentedOnesAndVersionIsReadOnly) {
  TCairnEngine& e = CairnEngine();
  const TDataEngine& d = CairnEngineInstance().Handle();
  const TEngineSettings s;
  struct TText {
    const char* name;
    std::string documented, inStruct, component, engine;
  } texts[] = {
      {"EngineSignature", "CAIRN_SIG", s.Signature, e.EngineSignature(), d.Signature()},
      {"LockFileName", "cairn.lck", s.LockFileName, e.LockFileName(), d.LockFileName()},
      {"DataExtension", ".dat", s.DataExtension, e.TableDataExtension(), d.DataExtension()},
      {"IndexExtension", ".idx", s.IndexExtension, e.TableIndexExtension(), d.IndexExtension()},
      {"BlobExtension", ".blb", s.BlobExtension, e.TableBlobExtension(), d.BlobExtension()},
      {"DataBackupExtension", ".dbk", s.DataBackupExtension, e.TableDataBackupExtension(),
       d.DataBackupExtension()},
      {"IndexBackupExtension", ".ibk", s.IndexBackupExtension, e.TableIndexBackupExtension(),
       d.IndexBackupExtension()},
      {"BlobBackupExtension", ".bbk", s.BlobBackupExtension, e.TableBlobBackupExtension(),
       d.BlobBackupExtension()},
      {"DataUpgradeExtension", ".dup", s.DataUpgradeExtension, e.TableDataUpgradeExtension(),
       d.DataUpgradeExtension()},
      {"IndexUpgradeExtension", ".iup", s.IndexUpgradeExtension, e.TableIndexUpgradeExtension(),
       d.IndexUpgradeExtension()},
      {"BlobUpgradeExtension", ".bup", s.BlobUpgradeExtension, e.TableBlobUpgradeExtension(),
       d.BlobUpgradeExtension()},
      {"DataTempExtension", ".dat", s.DataTempExtension, e.TableDataTempExtension(),
       d.DataTempExtension()},
      {"IndexTempExtension", ".idx", s.IndexTempExtension, e.TableIndexTempExtension(),
       d.IndexTempExtension()},
      {"BlobTempExtension", ".blb", s.BlobTempExtension, e.TableBlobTempExtension(),
       d.BlobTempExtension()},
  };
  for (const TText& t : texts) {
    EXPECT_EQ(t.inStruct, t.documented) << t.name;
    EXPECT_EQ(t.component, t.documented) << t.name;
    EXPECT_EQ(t.engine, t.documented) << t.name;
  }
  struct TNumber {
    const char* name;
    int64_t documented, inStruct, component, engine;
  } numbers[] = {
      {"LargeFileSupport", false, s.LargeFileSupport, e.LargeFileSupport(), d.LargeFileSupport()},
      {"CreateTempTablesInDatabase", false, s.TempTablesInDataDirectory,
       e.CreateTempTablesInDatabase(), d.TempTablesInDataDirectory()},
      {"MaxDataBufferSize", 32768, s.MaxDataBufferSize, e.MaxTableDataBufferSize(),
       d.MaxDataBufferSize()},
      {"MaxDataBufferCount", 8192, s.MaxDataBufferCount, e.MaxTableDataBufferCount(),
       d.MaxDataBufferCount()},
      {"MaxIndexBufferSize", 65536, s.MaxIndexBufferSize, e.MaxTableIndexBufferSize(),
       d.MaxIndexBufferSize()},
      {"MaxIndexBufferCount", 8192, s.MaxIndexBufferCount, e.MaxTableIndexBufferCount(),
       d.MaxIndexBufferCount()},
      {"MaxBlobBufferSize", 32768, s.MaxBlobBufferSize, e.MaxTableBlobBufferSize(),
       d.MaxBlobBufferSize()},
      {"MaxBlobBufferCount", 8192, s.MaxBlobBufferCount, e.MaxTableBlobBufferCount(),
       d.MaxBlobBufferCount()},
      {"FilterIndexThreshhold", 1, s.FilterIndexThreshhold, e.TableFilterIndexThreshhold(),
       d.FilterIndexThreshhold()},
      {"ReadLockWaitTime", 3, s.ReadLockWaitTime, e.TableReadLockWaitTime(), d.ReadLockWaitTime()},
      {"ReadLockRetries", 32768, s.ReadLockRetries, e.TableReadLockRetryCount(),
       d.ReadLockRetries()},
      {"WriteLockWaitTime", 3, s.WriteLockWaitTime, e.TableWriteLockWaitTime(),
       d.WriteLockWaitTime()},
      {"WriteLockRetries", 32768, s.WriteLockRetries, e.TableWriteLockRetryCount(),
       d.WriteLockRetries()},
      {"TransLockWaitTime", 3, s.TransLockWaitTime, e.TableTransLockWaitTime(),
       d.TransLockWaitTime()},
      {"TransLockRetries", 32768, s.TransLockRetries, e.TableTransLockRetryCount(),
       d.TransLockRetries()},
      {"MaxReadLockCount", 100, s.MaxReadLockCount, e.TableMaxReadLockCount(),
       d.MaxReadLockCount()},
  };
  for (const TNumber& n : numbers) {
    EXPECT_EQ(n.inStruct, n.documented) << n.name;
    EXPECT_EQ(n.component, n.documented) << n.name;
    EXPECT_EQ(n.engine, n.documented) << n.name;
  }
  // Settings of the component alone.
  EXPECT_FALSE(e.Active());
  e.SetEngineVersion("9.99");
  EXPECT_EQ(e.EngineVersion(), "4.00 Build 1");
  EXPECT_EQ(e.EngineType(), etClient);
  EXPECT_FALSE(d.IsServer());
  EXPECT_TRUE(e.FilterRecordCounts());
  EXPECT_EQ(e.ServerSettings().Name, "CAIRNSRV");
  EXPECT_EQ(e.ServerSettings().ConfigFileName, "cairnsrv.scf");
}

TEST_F(CairnEngineTest, WritesApplyBoundsAndReachTheStorageEngineAtOnce) {
  TCairnEngine& e = CairnEngine();
  const TDataEngine& d = CairnEngineInstance().Handle();
  struct {
    std::function<void(int32_t)> set;
    std::function<int32_t()> stored, engine;
    int32_t written, expected;
  } ints[] = {
      {[&](int32_t v) { e.SetMaxTableDataBufferSize(v); },
       [&] { return e.MaxTableDataBufferSize(); }, [&] { return d.MaxDataBufferSize(); }, 4096,
       8192},
      {[&](int32_t v) { e.SetMaxTableDataBufferCount(v); },
       [&] { return e.MaxTableDataBufferCount(); }, [&] { return d.MaxDataBufferCount(); }, 15, 16},
      {[&](int32_t v) { e.SetMaxTableIndexBufferSize(v); },
       [&] { return e.MaxTableIndexBufferSize(); }, [&] { return d.MaxIndexBufferSize(); }, -1,
       32768},
      {[&](int32_t v) { e.SetMaxTableIndexBufferCount(v); },
       [&] { return e.MaxTableIndexBufferCount(); }, [&] { return d.MaxIndexBufferCount(); }, 9, 9},
      {[&](int32_t v) { e.SetMaxTableBlobBufferSize(v); },
       [&] { return e.MaxTableBlobBufferSize(); }, [&] { return d.MaxBlobBufferSize(); }, 0, 8192},
      {[&](int32_t v) { e.SetMaxTableBlobBufferCount(v); },
       [&] { return e.MaxTableBlobBufferCount(); }, [&] { return d.MaxBlobBufferCount(); }, 31, 32},
  };
  for (auto& c : ints) {
    c.set(c.written);
    EXPECT_EQ(c.stored(), c.expected) << c.written;
    EXPECT_EQ(c.engine(), c.expected) << c.written;
  }

  e.SetTableDataExtension("dat2");
  EXPECT_EQ(e.TableDataExtension(), ".dat2");
  EXPECT_EQ(d.DataExtension(), ".dat2");
  e.SetTableBlobTempExtension(".tmb");
  EXPECT_EQ(d.BlobTempExtension(), ".tmb");

  e.SetTableFilterIndexThreshhold(150);
  EXPECT_EQ(e.TableFilterIndexThreshhold(), 1);
  e.SetTableFilterIndexThreshhold(100);
  EXPECT_EQ(d.FilterIndexThreshhold(), 100);
  e.SetTableMaxReadLockCount(0);
  EXPECT_EQ(e.TableMaxReadLockCount(), 100);
  e.SetTableMaxReadLockCount(7);
  EXPECT_EQ(d.MaxReadLockCount(), 7);
  e.SetTableWriteLockRetryCount(5);
  EXPECT_EQ(d.WriteLockRetries(), 5);
  e.SetEngineSignature("KALVORA_SIG");
  EXPECT_EQ(d.Signature(), "KALVORA_SIG");
}

TEST_F(CairnEngineTest, ExtensionsThatNameNoFileBesideTheTableAreRefused) {
  TCairnEngine& e = CairnEngine();
  for (const char* bad : {"", ".", "x/y", "/dat"}) {
    EXPECT_EQ(ErrorText([&] { e.SetTableIndexExtension(bad); }),
              std::string("File extension '") + bad + "' is not valid");
    EXPECT_EQ(e.TableIndexExtension(), ".idx");
  }
}

TEST_F(CairnEngineTest, ChangedSettingsAreRefusedWhileActiveButSameValuesPass) {
  TCairnEngine& e = CairnEngine();
  e.SetActive(true);
  ASSERT_TRUE(e.Active());
  std::function<void()> changes[] = {
      [&] { e.SetMaxTableDataBufferSize(16384); },
      [&] { e.SetMaxTableDataBufferSize(4096); },  // bounded to 8192, still a change
      [&] { e.SetTableDataExtension("data"); },
      [&] { e.SetLockFileName("other.lck"); },
      [&] { e.SetEngineSignature("X"); },
      [&] { e.SetLargeFileSupport(true); },
      [&] { e.SetEngineType(etServer); },
      [&] { e.SetTableMaxReadLockCount(5); },
      [&] { e.SetCreateTempTablesInDatabase(true); },
      [&] {
        TServerSettings s;
        s.MainPort = 1;
        e.SetServerSettings(s);
      },
  };
  for (auto& change : changes)
    EXPECT_EQ(ErrorText(change), "Cannot perform this operation when the engine is active");
  EXPECT_EQ(e.MaxTableDataBufferSize(), 32768);
  EXPECT_EQ(e.LockFileName(), "cairn.lck");

  e.SetMaxTableDataBufferSize(32768);
  e.SetTableDataExtension("dat");        // ".dat" once prefixed
  e.SetTableFilterIndexThreshhold(200);  // ignored before it is a change
  e.SetServerSettings(TServerSettings{});
  e.SetFilterRecordCounts(false);
  EXPECT_FALSE(e.FilterRecordCounts());

  e.SetActive(false);
  e.SetMaxTableDataBufferSize(16384);
  EXPECT_EQ(e.MaxTableDataBufferSize(), 16384);
}

TEST_F(CairnEngineTest, StorageEngineStartsWithTheSettingsOnActivation) {
  TCairnEngine& e = CairnEngine();
  e.SetLockFileName("kalvora.lck");
  e.SetLargeFileSupport(true);
  e.SetEngineSignature("KALVORA_SIG");
  e.SetActive(true);
  const TDataEngine& d = CairnEngineInstance().Handle();
  EXPECT_TRUE(d.Initialized());
  EXPECT_EQ(d.LockFileName(), "kalvora.lck");
  EXPECT_EQ(d.MaximumFileSize(), 128'000'000'000);
  EXPECT_EQ(d.LockGeometry().FileLockByte(), INT64_C(0x7FFFFFFFFFFFFFFF));
  EXPECT_EQ(d.Signature(), "KALVORA_SIG");

  TCairnDatabase db;
  db.SetDatabaseName("MainDB");
  db.SetDirectory(Temp.Path());
  db.Open();
  EXPECT_TRUE(FileExists(Temp.File("kalvora.lck")));
  EXPECT_FALSE(FileExists(Temp.File("cairn.lck")));
}

TEST_F(CairnEngineTest, ActivationAndDeactivationRunInTheirOrder) {
  TCairnEngine& e = CairnEngine();
  const TDataEngine& d = CairnEngineInstance().Handle();
  std::vector<std::string> events;
  e.SetOnStartup([&] { events.push_back(d.Initialized() ? "startup late" : "startup"); });
  e.SetOnShutdown([&] {
    events.push_back(d.Initialized() || DefaultSession().Active() ? "shutdown early" : "shutdown");
  });
  DefaultSession().Open();  // activates the engine on the way
  EXPECT_TRUE(e.Active());
  e.SetActive(true);  // already active: no second startup
  TCairnSession work;
  work.SetSessionName("Work");
  work.Open();
  EXPECT_EQ(CairnEngineInstance().Handle().SessionCount(), 2u);

  e.SetActive(false);
  EXPECT_FALSE(e.Active());
  EXPECT_FALSE(work.Active());
  EXPECT_FALSE(DefaultSession().Active());
  EXPECT_EQ(events, (std::vector<std::string>{"startup", "shutdown"}));

  work.Open();  // and back up again
  EXPECT_TRUE(e.Active());
  EXPECT_TRUE(DefaultSession().Active());
  e.SetOnStartup(nullptr);
  e.SetOnShutdown(nullptr);
}

TEST_F(CairnEngineTest, ServerEngineAndRemoteSessionsAreRefused) {
  TCairnEngine& e = CairnEngine();
  TCairnSession remote;
  remote.SetSessionName("Remote");
  remote.SetSessionType(stRemote);
  EXPECT_EQ(ErrorText([&] { remote.Open(); }), "Remote sessions are not available in this build");
  EXPECT_FALSE(e.Active());

  e.SetEngineType(etServer);
  EXPECT_TRUE(CairnEngineInstance().Handle().IsServer());
  EXPECT_EQ(ErrorText([&] { remote.Open(); }),
            "Cannot activate a remote session with the server engine");
  EXPECT_EQ(ErrorText([&] { e.SetActive(true); }),
            "The server engine is not available in this build");
  EXPECT_EQ(ErrorText([&] { DefaultSession().Open(); }),
            "The server engine is not available in this build");
  EXPECT_FALSE(e.Active());
  EXPECT_FALSE(DefaultSession().Active());
}

TEST_F(CairnEngineTest, SessionListLookups) {
  TCairnEngine& e = CairnEngine();
  EXPECT_EQ(e.FindSession(""), &DefaultSession());
  EXPECT_EQ(e.FindSession("dEfAuLt"), &DefaultSession());
  EXPECT_TRUE(DefaultSession().IsDefault());
  EXPECT_EQ(e.FindSession("Work"), nullptr);
  EXPECT_EQ(ErrorText([&] { e.GetSessionByName("Work"); }), "Session name 'Work' is not valid");

  TCairnSession& work = e.OpenSession("Work");
  EXPECT_TRUE(work.Active());
  EXPECT_FALSE(work.IsDefault());
  EXPECT_TRUE(DefaultSession().Active());
  EXPECT_EQ(&e.OpenSession("WORK"), &work);
  EXPECT_EQ(&e.GetSessionByName("work"), &work);
  EXPECT_EQ(e.SessionCount(), 2u);
  EXPECT_EQ(&e.GetSession(1), &work);
  EXPECT_THROW(e.GetSession(2), std::out_of_range);
  EXPECT_EQ(e.GetSessionNames(), (std::vector<std::string>{"Default", "Work"}));
}

TEST_F(CairnEngineTest, EngineComponentsShareOneSettingsObject) {
  {
    TCairnEngine second;
    second.SetMaxTableDataBufferCount(100);
    EXPECT_EQ(CairnEngine().MaxTableDataBufferCount(), 100);
    FinalizeComponentLayer();  // the second engine component keeps the settings alive
    EXPECT_EQ(second.MaxTableDataBufferCount(), 100);
    EXPECT_EQ(CairnEngine().MaxTableDataBufferCount(), 100);
  }
  FinalizeComponentLayer();
  EXPECT_EQ(CairnEngine().MaxTableDataBufferCount(), 8192);
}

TEST_F(CairnEngineTest, ActiveReadFromAFormIsAppliedAfterLoading) {
  TCairnEngine engine;
  engine.SetLoading(true);
  engine.SetActive(true);
  EXPECT_FALSE(engine.Active());
  engine.Loaded();
  EXPECT_TRUE(engine.Active());
}

TEST_F(CairnEngineTest, ComponentsOutlivingTheLayerAreLeftUnboundAndCanStartAgain) {
  auto session = std::make_unique<TCairnSession>();
  session->SetSessionName("Work");
  auto db = std::make_unique<TCairnDatabase>();
  db->SetDatabaseName("MainDB");
  db->SetDirectory(Temp.Path());
  db->Open();
  session->Open();

  FinalizeComponentLayer();
  EXPECT_FALSE(HasDataEngine());
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->Session(), nullptr);
  EXPECT_FALSE(session->Active());

  db->Open();  // binds to the new layer's default session
  EXPECT_EQ(db->Session(), &DefaultSession());
  EXPECT_TRUE(db->Connected());
  session->Open();
  EXPECT_EQ(CairnEngine().FindSession("Work"), session.get());
  session.reset();
  db.reset();
  EXPECT_EQ(CairnEngine().SessionCount(), 1u);
}

}  // namespace
}  // namespace cairn::test
