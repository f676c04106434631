#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <string>

#include "cairn/error/EngineError.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/io/EngineFile.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/host/OsError.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/FaultInjectingFiles.h"
#include "tests/support/TempDir.h"

namespace cairn {
namespace {

using test::ErrorOf;
using test::ReadDiskFile;

class EngineFileTest : public ::testing::Test {
 protected:
  void SetUp() override { FEngine.SetHostFiles(&FFiles); }

  test::TFaultInjectingFiles FFiles;
  TDataEngine FEngine;
  test::TTempDir FDir;
};

TEST_F(EngineFileTest, OpeningAMissingFileNamesFileAndDatabase) {
  TEngineFile file(FEngine, FDir.File("missing.dat"));
  file.SetDatabaseName("MainDB");
  const ECairnEngineError error = ErrorOf([&] { file.OpenFile(); });
  EXPECT_EQ(error.ErrorCode(), CAIRN_OSENOENT);
  EXPECT_EQ(error.ErrorTableName(), FDir.File("missing.dat"));
  EXPECT_EQ(error.ErrorDatabaseName(), "MainDB");
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(EngineFileTest, RegistryRefusalsAreRaisedWithTheirCode) {
  TEngineFile owner(FEngine, FDir.File("x.dat")), other(FEngine, FDir.File("x.dat"));
  owner.CreateFile();
  EXPECT_EQ(ErrorOf([&] { other.OpenFile(); }).ErrorCode(), CAIRN_OSEACCES);
  EXPECT_EQ(ErrorOf([&] { other.CreateFile(); }).ErrorCode(), CAIRN_OSEACCES);
  EXPECT_EQ(ErrorOf([&] { owner.DeleteFile(); }).ErrorCode(), CAIRN_OSEACCES);
  // Re-creating one's own open file gives the handle back first.
  owner.CreateFile();
  EXPECT_TRUE(owner.IsOpen());
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u);
}

// A file reaches the registry and raises its errors through the engine it was handed, even when
// that engine is not the process's engine.
TEST_F(EngineFileTest, AFileUsesTheEngineItWasGivenNotTheProcessEngine) {
  TDataEngine other;
  ASSERT_EQ(&DataEngine(), &FEngine);
  TEngineFile file(other, FDir.File("other.dat"));
  file.CreateFile();
  EXPECT_EQ(other.FileRegistry().Count(false), 1u);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 0u);
  TEngineFile missing(other, FDir.File("missing.dat"));
  EXPECT_EQ(ErrorOf([&] { missing.OpenFile(); }).ErrorCode(), CAIRN_OSENOENT);
  EXPECT_EQ(other.LastError().ErrorNumber, CAIRN_OSENOENT);
  EXPECT_EQ(FEngine.LastError().ErrorNumber, 0);
  file.CloseFile();
  EXPECT_EQ(other.FileRegistry().Count(false), 0u);
}

TEST_F(EngineFileTest, ShortTransfersAndClosedFilesFail) {
  TEngineFile file(FEngine, FDir.File("short.dat"));
  EXPECT_EQ(ErrorOf([&] { file.Write("a", 1); }).ErrorCode(), CAIRN_WRITEERR);
  char buffer[8];
  EXPECT_EQ(ErrorOf([&] { file.Read(buffer, 1); }).ErrorCode(), CAIRN_READERR);
  file.CreateFile();
  file.Write("abcd", 4);
  file.Seek(0, kSeekBegin);
  const ECairnEngineError error = ErrorOf([&] { file.Read(buffer, 8); });
  EXPECT_EQ(error.ErrorCode(), CAIRN_READERR);
  EXPECT_EQ(error.ErrorTableName(), FDir.File("short.dat"));
  file.Seek(0, kSeekBegin);
  EXPECT_EQ(file.Read(buffer, 8, true), 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST_F(EngineFileTest, FullDiskIsRaisedAsTheMappedOsError) {
  TEngineFile file(FEngine, FDir.File("full.dat"));
  file.CreateFile();
  FFiles.ArmNext(test::TFileOp::Write, host::kErrorUnknown);
  const ECairnEngineError error = ErrorOf([&] { file.Write("abc", 3); });
  EXPECT_EQ(error.ErrorCode(), CAIRN_OSUNKNOWN);
  EXPECT_EQ(error.OSErrorCode(), CAIRN_OSUNKNOWN);  // the pending OS failure went with it
  EXPECT_EQ(error.ErrorTableName(), FDir.File("full.dat"));
  file.Write("abc", 3);  // the position did not move
  EXPECT_EQ(file.GetPos(), 3);
}

TEST_F(EngineFileTest, StringsAndPositions) {
  const std::string path = FDir.File("strings.dat");
  TEngineFile file(FEngine, path);
  file.CreateFile();
  file.WriteString("name");
  file.WriteString(std::string(300, 'x'));  // cut to 255 characters
  file.WriteString("");
  EXPECT_EQ(file.GetSize(), 1 + 4 + 1 + 255 + 1);
  EXPECT_EQ(file.GetPos(), file.GetSize());  // GetSize leaves the position alone
  const std::string bytes = ReadDiskFile(path);
  ASSERT_EQ(bytes.size(), 262u);
  EXPECT_EQ(bytes.substr(0, 5), std::string("\x04name"));
  EXPECT_EQ(static_cast<unsigned char>(bytes[5]), 255);
  EXPECT_EQ(bytes[261], '\0');

  EXPECT_EQ(file.Seek(0, kSeekBegin), 0);
  EXPECT_EQ(file.ReadString(), "name");
  EXPECT_EQ(file.ReadString(), std::string(255, 'x'));
  EXPECT_EQ(file.ReadString(), "");
  EXPECT_EQ(file.Seek(-3, kSeekEnd), 259);
  EXPECT_EQ(file.Seek(2, kSeekCurrent), 261);
  // Writing nothing ends the file at the position.
  file.Seek(5, kSeekBegin);
  file.Write(nullptr, 0);
  EXPECT_EQ(file.GetSize(), 5);
}

TEST_F(EngineFileTest, RenameDeleteExistsAndTheHandleGoesWithTheObject) {
  const std::string a = FDir.File("a.dat"), b = FDir.File("b.dat");
  {
    TEngineFile file(FEngine, a);
    EXPECT_FALSE(file.Exists());
    file.CreateFile();
    EXPECT_TRUE(file.Exists());
  }  // closed here
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 0u);
  TEngineFile file(FEngine, a);
  file.RenameFile(b);
  EXPECT_EQ(file.FileName(), b);
  EXPECT_TRUE(std::filesystem::exists(b));
  file.OpenFile();
  file.OpenFile();  // already open: nothing happens
  EXPECT_EQ(file.BaseFile()->UseCount(), 1);
  file.CloseFile();
  file.DeleteFile();
  EXPECT_FALSE(std::filesystem::exists(b));
  EXPECT_EQ(ErrorOf([&] { file.DeleteFile(); }).ErrorCode(), CAIRN_OSENOENT);
}

TEST_F(EngineFileTest, LockRegionAndFileSection) {
  TEngineFile file(FEngine, FDir.File("lock.dat"));
  EXPECT_FALSE(file.LockRegion(10, 1, true));  // not open
  file.CreateFile();
  EXPECT_TRUE(file.LockRegion(10, 5, true));
  EXPECT_FALSE(file.LockRegion(12, 1, true));
  EXPECT_TRUE(file.LockRegion(10, 5, false));
  EXPECT_FALSE(file.LockRegion(10, 5, false));

  auto otherThreadCanEnter = [&] {
    return std::async(std::launch::async,
                      [&] {
                        host::TCriticalSection& section = file.FileSection();
                        const bool entered = section.try_lock();
                        if (entered) section.unlock();
                        return entered;
                      })
        .get();
  };
  {
    TEngineFileLock lock(file);
    EXPECT_FALSE(otherThreadCanEnter());
  }
  EXPECT_TRUE(otherThreadCanEnter());
}

}  // namespace
}  // namespace cairn
