#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"
#include "cairn/engine/io/FileRegistry.h"
#include "tests/support/TempDir.h"

namespace cairn {
namespace {

class DataEngineTest : public ::testing::Test {
 protected:
  TDataEngine FEngine;
};

TEST_F(DataEngineTest, FreshEngineHasTheDefaultSettings) {
  EXPECT_EQ(FEngine.Signature(), "CAIRN_SIG");
  EXPECT_EQ(FEngine.SignatureDigest(), MD5Digest("CAIRN_SIG"));
  EXPECT_EQ(FEngine.LockFileName(), "cairn.lck");
  EXPECT_FALSE(FEngine.Initialized());
  EXPECT_FALSE(FEngine.IsServer());
  EXPECT_FALSE(FEngine.LargeFileSupport());
  EXPECT_FALSE(FEngine.TempTablesInDataDirectory());

  const std::pair<std::string, std::string> extensions[] = {
      {FEngine.DataExtension(), ".dat"},        {FEngine.IndexExtension(), ".idx"},
      {FEngine.BlobExtension(), ".blb"},        {FEngine.DataBackupExtension(), ".dbk"},
      {FEngine.IndexBackupExtension(), ".ibk"}, {FEngine.BlobBackupExtension(), ".bbk"},
      {FEngine.DataUpgradeExtension(), ".dup"}, {FEngine.IndexUpgradeExtension(), ".iup"},
      {FEngine.BlobUpgradeExtension(), ".bup"}, {FEngine.DataTempExtension(), ".dat"},
      {FEngine.IndexTempExtension(), ".idx"},   {FEngine.BlobTempExtension(), ".blb"},
  };
  for (size_t i = 0; i < std::size(extensions); ++i)
    EXPECT_EQ(extensions[i].first, extensions[i].second) << "extension #" << i;

  const std::pair<int64_t, int64_t> numbers[] = {
      {FEngine.MaxDataBufferSize(), 32768},  {FEngine.MaxDataBufferCount(), 8192},
      {FEngine.MaxIndexBufferSize(), 65536}, {FEngine.MaxIndexBufferCount(), 8192},
      {FEngine.MaxBlobBufferSize(), 32768},  {FEngine.MaxBlobBufferCount(), 8192},
      {FEngine.FilterIndexThreshhold(), 1},  {FEngine.MaxReadLockCount(), 100},
      {FEngine.ReadLockWaitTime(), 3},       {FEngine.ReadLockRetries(), 32768},
      {FEngine.WriteLockWaitTime(), 3},      {FEngine.WriteLockRetries(), 32768},
      {FEngine.TransLockWaitTime(), 3},      {FEngine.TransLockRetries(), 32768},
  };
  for (size_t i = 0; i < std::size(numbers); ++i)
    EXPECT_EQ(numbers[i].first, numbers[i].second) << "setting #" << i;
}

TEST_F(DataEngineTest, SignatureDigestFollowsEveryAssignment) {
  FEngine.SetSignature("OTHER_SIG");
  EXPECT_EQ(FEngine.SignatureDigest(), MD5Digest("OTHER_SIG"));
  // Files stamped with the engine's own digest or the default one are accepted, others not.
  EXPECT_TRUE(FEngine.IsAcceptedSignature(MD5Digest("OTHER_SIG")));
  EXPECT_TRUE(FEngine.IsAcceptedSignature(MD5Digest("CAIRN_SIG")));
  EXPECT_FALSE(FEngine.IsAcceptedSignature(MD5Digest("THIRD_SIG")));
  EXPECT_FALSE(FEngine.IsAcceptedSignature(TMD5Digest{}));
  FEngine.SetSignature("CAIRN_SIG");
  EXPECT_FALSE(FEngine.IsAcceptedSignature(MD5Digest("OTHER_SIG")));
}

struct TGeometry {
  bool LargeFiles;
  int64_t MaximumFileSize, MaximumNumRecords, FileLockByte, TransLockByte, ReadLockByte,
      SemaphoreLockByte;
};

TEST_F(DataEngineTest, InitializeFixesLimitsAndLockGeometry) {
  const TGeometry cases[] = {
      {false, 4'000'000'000, 200'000'000, 0xFFFFFFFF, 0xFFFF0000, 0xFFFEF000, 4094967295},
      {true, 128'000'000'000, 1'000'000'000, INT64_C(0x7FFFFFFFFFFFFFFF),
       INT64_C(0x7FFFFFFFFFFF0000), INT64_C(0x7FFFFFFFFFFEF000),
       INT64_C(0x7FFFFFFFFFFFFFFF) - 1'000'000'000},
  };
  for (const TGeometry& c : cases) {
    SCOPED_TRACE(c.LargeFiles ? "large files" : "small files");
    FEngine.SetLargeFileSupport(c.LargeFiles);
    FEngine.Initialize("cairn.lck");
    EXPECT_EQ(FEngine.MaximumFileSize(), c.MaximumFileSize);
    EXPECT_EQ(FEngine.MaximumNumRecords(), c.MaximumNumRecords);
    EXPECT_EQ(FEngine.LockGeometry().FileLockByte(), c.FileLockByte);
    EXPECT_EQ(FEngine.LockGeometry().RecordLockByte(), c.FileLockByte);
    EXPECT_EQ(FEngine.LockGeometry().TransLockByte(), c.TransLockByte);
    EXPECT_EQ(FEngine.LockGeometry().ReadLockByte(), c.ReadLockByte);
    EXPECT_EQ(FEngine.LockGeometry().WriteLockByte(), c.ReadLockByte);
    EXPECT_EQ(FEngine.LockGeometry().TransWriteLockByte(), c.ReadLockByte);
    EXPECT_EQ(FEngine.LockGeometry().SemaphoreLockByte(), c.SemaphoreLockByte);
    EXPECT_EQ(FEngine.LockGeometry().FileLockRange(), 65535);
    EXPECT_EQ(FEngine.LockGeometry().TransLockRange(), 4096);
    EXPECT_EQ(FEngine.LockGeometry().ReadLockRange(), 65535);
    EXPECT_EQ(FEngine.LockGeometry().WriteLockRange(), 65535);
    EXPECT_EQ(FEngine.LockGeometry().TransWriteLockRange(), 268431360);
    EXPECT_EQ(FEngine.LockGeometry().RecordLockRange(), c.MaximumNumRecords);
    EXPECT_EQ(FEngine.LockGeometry().SemaphoreLockRange(), 1024);
    FEngine.Reset();
  }
}

TEST_F(DataEngineTest, LargeFileSupportTakesEffectOnlyAtInitialize) {
  FEngine.SetLargeFileSupport(true);
  EXPECT_EQ(FEngine.MaximumNumRecords(), 200'000'000);
  FEngine.Initialize();
  EXPECT_EQ(FEngine.MaximumNumRecords(), 1'000'000'000);
}

TEST_F(DataEngineTest, InitializeAndResetDriveTheInitializedState) {
  int asked = 0;
  FEngine.SetGetFunctionsHook([&] { return ++asked == 1 ? 5 : 5000; });
  FEngine.Initialize("other.lck");
  EXPECT_TRUE(FEngine.Initialized());
  EXPECT_FALSE(FEngine.IsWindows95());
  EXPECT_EQ(FEngine.LockFileName(), "other.lck");
  EXPECT_EQ(FEngine.FunctionCount(), 5);
  EXPECT_FALSE(FEngine.GetLocaleNames().empty());

  FEngine.Reset();
  EXPECT_FALSE(FEngine.Initialized());
  EXPECT_EQ(FEngine.FunctionCount(), 0);
  EXPECT_TRUE(FEngine.GetLocaleNames().empty());

  FEngine.Initialize("");  // an empty name keeps the one in use
  EXPECT_EQ(FEngine.LockFileName(), "other.lck");
  EXPECT_EQ(FEngine.FunctionCount(), 1023);  // a hook cannot exceed the table
}

TEST_F(DataEngineTest, ServerEngineIsRefusedWithoutChangingAnything) {
  FEngine.SetIsServer(true);
  EXPECT_THROW(FEngine.Initialize("server.lck"), std::runtime_error);
  EXPECT_FALSE(FEngine.Initialized());
  EXPECT_EQ(FEngine.LockFileName(), "cairn.lck");
  EXPECT_TRUE(FEngine.GetLocaleNames().empty());
}

TEST_F(DataEngineTest, ServerSettingsKeepTheirDefaults) {
  FEngine.Initialize();
  const TServerSettings& s = FEngine.ServerSettings();
  EXPECT_EQ(s.Name, "CAIRNSRV");
  EXPECT_EQ(s.Description, "Cairn Database Server");
  EXPECT_EQ(s.MainAddress, "");
  EXPECT_EQ(s.MainPort, 12005);
  EXPECT_EQ(s.MainThreadCacheSize, 10);
  EXPECT_EQ(s.AdminPort, 12006);
  EXPECT_EQ(s.AdminThreadCacheSize, 1);
  EXPECT_FALSE(s.EncryptedOnly);
  EXPECT_EQ(s.EncryptionPassword, "cairnsecret");
  EXPECT_EQ(s.ConfigPassword, "cairnsecret");
  EXPECT_EQ(s.ConfigFileName, "cairnsrv.scf");
}

TEST(DataEngineVersionTest, VersionBytes) {
  const std::pair<int, const char*> cases[] = {
      {0, "1.00"}, {1, "1.02"}, {2, "1.04"}, {3, "1.08"}, {4, "2.00"},
      {5, "3.00"}, {6, "4.00"}, {7, ""},     {255, ""},
  };
  for (const auto& [version, text] : cases) {
    EXPECT_EQ(TDataEngine::VersionToStr(static_cast<uint8_t>(version)), text) << version;
    EXPECT_EQ(TDataEngine::ValidVersion(static_cast<uint8_t>(version)), version < 7) << version;
  }
  EXPECT_EQ(kFileVersion, 6);
}

TEST_F(DataEngineTest, TableFileNamesReplaceOrAppendTheDataExtension) {
  struct {
    const char* table;
    const char* extension;
    const char* file;
  } cases[] = {
      {"Events", ".dat", "Events.dat"},
      {"Events.DAT", ".dat", "Events.dat"},
      {"Events.idx", ".dat", "Events.idx.dat"},
      {"Events.dat", ".idx", "Events.idx"},
      {"Events.Dat", ".blb", "Events.blb"},
      {"  Events  ", ".dat", "Events.dat"},
      {" Events.dat ", ".blb", "Events.blb"},
      {"Events.dat.bak", ".dat", "Events.dat.bak.dat"},
      {"dat", ".dat", "dat.dat"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FEngine.TableFileName(c.table, c.extension), c.file) << "'" << c.table << "'";
  EXPECT_EQ(FEngine.TableFilePath("/data/Main/", " Events ", ".blb"), "/data/Main/Events.blb");

  FEngine.SetDataExtension(".tbl");
  EXPECT_EQ(FEngine.TableFileName("Events.TBL", ".idx"), "Events.idx");
  EXPECT_EQ(FEngine.TableFileName("Events.dat", ".tbl"), "Events.dat.tbl");
}

TEST_F(DataEngineTest, SessionsAreOwnedByTheEngine) {
  TDataSession& first = FEngine.StartDataSession();
  TDataSession& second = FEngine.StartDataSession();
  EXPECT_NE(&first, &second);
  EXPECT_EQ(&first.Engine(), &FEngine);
  EXPECT_EQ(FEngine.SessionCount(), 2u);

  FEngine.CloseDataSession(first);
  EXPECT_EQ(FEngine.SessionCount(), 1u);

  TDataEngine other;
  FEngine.CloseDataSession(other.StartDataSession());  // not ours: ignored
  EXPECT_EQ(FEngine.SessionCount(), 1u);
  EXPECT_EQ(other.SessionCount(), 1u);

  FEngine.Initialize();
  FEngine.Reset();
  EXPECT_EQ(FEngine.SessionCount(), 0u);
}

TEST_F(DataEngineTest, ResetClosesEveryRegisteredFile) {
  test::TTempDir folder;
  const std::string path = folder.File("Events.dat");
  TFileOpenArgs args;
  ASSERT_GE(FEngine.FileRegistry().CreateFile(path, args), 1);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u);

  FEngine.Reset();
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 0u);
  // The handle is really gone: another exclusive opener gets the file.
  int fd = host::PosixFiles().Open(path, false, true);
  EXPECT_GE(fd, 0);
  if (fd >= 0) host::PosixFiles().Close(fd);
}

TEST(DataEngineRegistrationTest, FirstEngineIsTheProcessEngineUntilDestroyed) {
  ASSERT_FALSE(HasDataEngine());
  EXPECT_THROW(DataEngine(), std::logic_error);
  {
    TDataEngine first;
    EXPECT_EQ(&DataEngine(), &first);
    {
      TDataEngine second;
      EXPECT_EQ(&DataEngine(), &first);
    }
    EXPECT_EQ(&DataEngine(), &first);
  }
  EXPECT_FALSE(HasDataEngine());
  TDataEngine later;
  EXPECT_EQ(&DataEngine(), &later);
}

}  // namespace
}  // namespace cairn
