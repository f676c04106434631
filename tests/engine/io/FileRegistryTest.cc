#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cairn/error/EngineErrorCodes.h"
#include "cairn/engine/io/BaseFile.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/engine/io/MemoryFile.h"
#include "cairn/host/OsError.h"
#include "cairn/host/System.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/FaultInjectingFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"

namespace cairn {
namespace {

using test::ReadDiskFile;
using test::WriteDiskFile;

constexpr int32_t kDenied = -static_cast<int32_t>(CAIRN_OSEACCES);
constexpr int32_t kMissing = -static_cast<int32_t>(CAIRN_OSENOENT);

bool DiskFileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

class FileRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { FEngine.SetHostFiles(&FFiles); }

  TFileRegistry& Registry() { return FEngine.FileRegistry(); }

  // Opens and expects a handle.
  int32_t Open(const std::string& name, TFileOpenArgs& args) {
    const int32_t handle = Registry().OpenFile(name, args);
    EXPECT_GE(handle, 1) << name;
    return handle;
  }

  test::TFaultInjectingFiles FFiles;  // outlives the engine, which closes files through it
  TDataEngine FEngine;
  test::TTempDir FDir;
};

TEST_F(FileRegistryTest, OpenersShareOneBaseFileWithTheirOwnPositions) {
  const std::string path = FDir.File("t.dat");
  WriteDiskFile(path, "abcdefgh");
  TFileOpenArgs first, second;
  const int32_t h1 = Open(path, first);
  // Names compare without regard to case.
  const std::string otherCase = FDir.File("T.DAT");
  const int32_t h2 = Open(otherCase, second);
  ASSERT_EQ(first.BaseFile, second.BaseFile);
  TBaseFile& file = *first.BaseFile;
  EXPECT_EQ(h1, 1);
  EXPECT_EQ(h2, 2);
  EXPECT_EQ(file.UseCount(), 2);
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Open), 1);  // one descriptor per process

  char a[3], b[2];
  ASSERT_EQ(file.Read(h1, a, 3), 3);
  ASSERT_EQ(file.Read(h2, b, 2), 2);
  EXPECT_EQ(std::string(a, 3), "abc");
  EXPECT_EQ(std::string(b, 2), "ab");
  EXPECT_EQ(file.Seek(h1, -1, kSeekEnd), 7);
  ASSERT_EQ(file.Read(h1, a, 3), 1);
  EXPECT_EQ(a[0], 'h');

  EXPECT_EQ(Registry().CloseFile(&file, false, h1), 0);
  EXPECT_EQ(Registry().Count(false), 1u);
  EXPECT_EQ(Registry().CloseFile(&file, false, h2), 0);
  EXPECT_EQ(Registry().Count(false), 0u);  // a disk file goes with its last handle
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Close), 1);
  EXPECT_EQ(Registry().CloseFile(&file, false, h2), kMissing);
}

TEST_F(FileRegistryTest, ExclusiveOpensConflictInProcess) {
  const std::string path = FDir.File("x.dat");
  WriteDiskFile(path, "x");
  struct Case {
    bool firstExclusive, secondExclusive;
  } cases[] = {{true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    TFileOpenArgs first, second;
    first.Exclusive = c.firstExclusive;
    second.Exclusive = c.secondExclusive;
    const int32_t handle = Open(path, first);
    EXPECT_EQ(Registry().OpenFile(path, second), kDenied) << c.firstExclusive << c.secondExclusive;
    EXPECT_EQ(first.BaseFile->UseCount(), 1);
    Registry().CloseFile(first.BaseFile, false, handle);
  }
}

TEST_F(FileRegistryTest, ExclusiveOpenHeldByAnotherProcessFails) {
  const std::string path = FDir.File("held.dat");
  WriteDiskFile(path, "x");
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataEngine engine;  // the child's own registry and descriptors
    TFileOpenArgs args;
    args.Exclusive = true;
    if (engine.FileRegistry().OpenFile(path, args) < 1) return 1;
    channel.Send('o');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'o');
  for (bool exclusive : {false, true}) {
    TFileOpenArgs args;
    args.Exclusive = exclusive;
    EXPECT_EQ(Registry().OpenFile(path, args), kDenied);
    EXPECT_EQ(Registry().Count(false), 0u);  // a failed open leaves nothing registered
  }
  child.Send('q');
  EXPECT_EQ(child.Wait(), 0);
  TFileOpenArgs args;
  EXPECT_GE(Registry().OpenFile(path, args), 1);
}

TEST_F(FileRegistryTest, FileWithoutWritePermissionOpensReadOnly) {
  const std::string path = FDir.File("ro.dat");
  WriteDiskFile(path, "data");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  test::MakeTraversable(FDir.Path());
  // Results: 0 fine; otherwise the number of the failed check.
  const int status = test::RunUnprivileged([&] {
    TDataEngine engine;
    TFileOpenArgs args;
    const int32_t handle = engine.FileRegistry().OpenFile(path, args);
    if (handle < 1) return 1;
    if (!args.ReadOnly || !args.MarkedReadOnly) return 2;
    char buffer[4];
    if (args.BaseFile->Read(handle, buffer, 4) != 4) return 3;
    if (args.BaseFile->Write(handle, "zz", 2) >= 0) return 4;
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadDiskFile(path), "data");
}

TEST_F(FileRegistryTest, ReadWriteOpenRefusedFallsBackToReadOnly) {
  const std::string path = FDir.File("fallback.dat");
  WriteDiskFile(path, "data");
  FFiles.ArmNext(test::TFileOp::Open, host::kErrorAccessDenied);
  TFileOpenArgs args;
  Open(path, args);
  EXPECT_TRUE(args.ReadOnly);
  EXPECT_FALSE(args.MarkedReadOnly);  // the file itself is writable
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Open), 2);
}

TEST_F(FileRegistryTest, OpenOfAMissingFileFails) {
  TFileOpenArgs disk, memory;
  memory.InMemory = true;
  EXPECT_EQ(Registry().OpenFile(FDir.File("none.dat"), disk), kMissing);
  EXPECT_EQ(Registry().OpenFile("none.dat", memory), kMissing);
  EXPECT_EQ(Registry().Count(false) + Registry().Count(true), 0u);
}

TEST_F(FileRegistryTest, CreateReplacesAFileAndHoldsItExclusively) {
  const std::string path = FDir.File("new.dat");
  WriteDiskFile(path, "old content");
  TFileOpenArgs created;
  const int32_t handle = Registry().CreateFile(path, created);
  ASSERT_GE(handle, 1);
  EXPECT_TRUE(created.BaseFile->Exclusive());
  EXPECT_EQ(ReadDiskFile(path), "");
  TFileOpenArgs again, other;
  EXPECT_EQ(Registry().CreateFile(path, again), kDenied);
  EXPECT_EQ(Registry().OpenFile(path, other), kDenied);
  ASSERT_EQ(created.BaseFile->Write(handle, "new", 3), 3);
  Registry().CloseFile(created.BaseFile, false, handle);
  EXPECT_EQ(ReadDiskFile(path), "new");
}

TEST_F(FileRegistryTest, ClosingTheLastHandleOfATemporaryFileDeletesIt) {
  const std::string path = FDir.File("temp.dat");
  TFileOpenArgs created;
  created.Temporary = true;
  const int32_t h1 = Registry().CreateFile(path, created);
  ASSERT_GE(h1, 1);
  ASSERT_TRUE(DiskFileExists(path));
  Registry().CloseFile(created.BaseFile, false, h1);
  EXPECT_FALSE(DiskFileExists(path));

  // A temporary memory file goes too, a plain one keeps its content for the next opener.
  for (bool temporary : {true, false}) {
    TFileOpenArgs memory;
    memory.InMemory = true;
    memory.Temporary = temporary;
    const int32_t h = Registry().CreateFile("mem.dat", memory);
    ASSERT_EQ(memory.BaseFile->Write(h, "kept", 4), 4);
    Registry().CloseFile(memory.BaseFile, true, h);
    TFileOpenArgs reopen;
    reopen.InMemory = true;
    const int32_t h2 = Registry().OpenFile("mem.dat", reopen);
    if (temporary) {
      EXPECT_EQ(h2, kMissing);
      continue;
    }
    ASSERT_GE(h2, 1);
    char buffer[4];
    ASSERT_EQ(reopen.BaseFile->Read(h2, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "kept");
    EXPECT_FALSE(reopen.BaseFile->Temporary());
    Registry().CloseFile(reopen.BaseFile, true, h2);
  }
}

TEST_F(FileRegistryTest, RenameAndDeleteRespectOpenHandles) {
  const std::string a = FDir.File("a.dat"), b = FDir.File("b.dat"), c = FDir.File("c.dat");
  WriteDiskFile(a, "A");
  WriteDiskFile(c, "C");
  TFileOpenArgs args;
  const int32_t handle = Open(a, args);
  EXPECT_EQ(Registry().RenameFile(a, false, b), kDenied);
  EXPECT_EQ(Registry().DeleteFile(a, false), kDenied);
  EXPECT_EQ(Registry().RenameFile(c, false, a), kDenied);  // the new name is registered
  Registry().CloseFile(args.BaseFile, false, handle);

  EXPECT_EQ(Registry().RenameFile(a, false, b), 0);
  EXPECT_EQ(ReadDiskFile(b), "A");
  EXPECT_EQ(Registry().RenameFile(b, false, c), kDenied);  // never onto an existing file
  EXPECT_EQ(ReadDiskFile(c), "C");
  EXPECT_EQ(Registry().DeleteFile(b, false), 0);
  EXPECT_FALSE(DiskFileExists(b));
  EXPECT_EQ(Registry().DeleteFile(b, false), kMissing);

  // Memory files: renamed and re-sorted in the registry, unknown ones missing.
  TFileOpenArgs memory;
  memory.InMemory = true;
  const int32_t h = Registry().CreateFile("z.dat", memory);
  Registry().CloseFile(memory.BaseFile, true, h);
  EXPECT_EQ(Registry().RenameFile("z.dat", true, "a.dat"), 0);
  size_t position = 99;
  EXPECT_TRUE(Registry().FindFile("A.DAT", true, position));
  EXPECT_EQ(position, 0u);
  EXPECT_FALSE(Registry().FindFile("z.dat", true, position));
  EXPECT_EQ(Registry().RenameFile("z.dat", true, "y.dat"), kMissing);
  EXPECT_EQ(Registry().DeleteFile("a.dat", true), 0);
  EXPECT_EQ(Registry().DeleteFile("a.dat", true), kMissing);
}

TEST_F(FileRegistryTest, FileExistsKnowsRegisteredAndDiskFilesButNotFolders) {
  WriteDiskFile(FDir.File("disk.dat"), "");
  std::filesystem::create_directory(FDir.File("folder.dat"));
  TFileOpenArgs memory;
  memory.InMemory = true;
  Registry().CreateFile("m.dat", memory);
  EXPECT_TRUE(Registry().FileExists(FDir.File("disk.dat"), false, false));
  EXPECT_TRUE(Registry().FileExists(FDir.File("DISK.DAT"), false, false));
  EXPECT_FALSE(Registry().FileExists(FDir.File("folder.dat"), false, false));
  EXPECT_FALSE(Registry().FileExists(FDir.File("none.dat"), false, false));
  EXPECT_TRUE(Registry().FileExists("M.dat", true, false));
  EXPECT_FALSE(Registry().FileExists(FDir.File("disk.dat"), true, false));
}

TEST_F(FileRegistryTest, GetFileNamesMatchesTheMask) {
  for (const char* name : {"one.dat", "Two.DAT", "three.idx"}) WriteDiskFile(FDir.File(name), "");
  const std::string folder = FDir.Path() + "/";
  std::vector<std::string> names;
  Registry().GetFileNames(false, folder + "*.dat", false, false, names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Two", "one"}));
  names.clear();
  Registry().GetFileNames(false, folder + "t*", true, true, names);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{folder + "Two.DAT", folder + "three.idx"}));

  for (const char* name : {"mem/a.dat", "mem/b.idx", "other/c.dat"}) {
    TFileOpenArgs memory;
    memory.InMemory = true;
    Registry().CreateFile(name, memory);
  }
  names.clear();
  Registry().GetFileNames(true, "mem/*.*", false, true, names);
  EXPECT_EQ(names, (std::vector<std::string>{"a.dat", "b.idx"}));
}

TEST_F(FileRegistryTest, TempFileNamesSkipNamesInUse) {
  const std::string thread =
      std::to_string(std::llabs(static_cast<long long>(host::CurrentThreadId()))).substr(0, 5);
  const std::string folder = FDir.Path() + "/";
  WriteDiskFile(folder + thread + "0.tmp", "");
  TFileOpenArgs registered;
  registered.InMemory = true;
  Registry().CreateFile(folder + thread + "0.tmp", registered);
  Registry().CreateFile(folder + thread + "1.tmp", registered);
  EXPECT_EQ(Registry().GetTempFileName("  " + FDir.Path() + " ", ".tmp", false, false),
            folder + thread + "1.tmp");
  EXPECT_EQ(Registry().GetTempFileName(FDir.Path() + "/", ".tmp", false, true),
            folder + thread + "2.tmp");
}

TEST_F(FileRegistryTest, CloseAllFreesEveryFileAndDeletesTemporaryOnes) {
  const std::string kept = FDir.File("kept.dat"), temp = FDir.File("temp.dat");
  TFileOpenArgs a, b, m;
  b.Temporary = true;
  m.InMemory = true;
  Registry().CreateFile(kept, a);
  Registry().CreateFile(temp, b);
  Registry().CreateFile("m.dat", m);
  Registry().CloseAll();
  EXPECT_EQ(Registry().Count(false) + Registry().Count(true), 0u);
  EXPECT_TRUE(DiskFileExists(kept));
  EXPECT_FALSE(DiskFileExists(temp));
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Close), 2);
  // A caller still holding a freed base file is told so without the pointer being used.
  EXPECT_EQ(Registry().CloseFile(a.BaseFile, false, 1), kMissing);
}

// ---- Base files: positioned transfers and locks --------------------------------------------

TEST_F(FileRegistryTest, EmptyWriteEndsTheDiskFileAtThePosition) {
  const std::string path = FDir.File("trunc.dat");
  WriteDiskFile(path, "0123456789");
  TFileOpenArgs args;
  const int32_t handle = Open(path, args);
  TBaseFile& file = *args.BaseFile;
  ASSERT_EQ(file.Seek(handle, 4, kSeekBegin), 4);
  ASSERT_EQ(file.Write(handle, nullptr, 0), 0);
  EXPECT_EQ(file.FileSize(), 4);
  EXPECT_EQ(ReadDiskFile(path), "0123");
  EXPECT_LT(file.Seek(handle, -5, kSeekCurrent), 0);  // before the start
  EXPECT_EQ(file.Position(handle), 4);
}

TEST_F(FileRegistryTest, DiskLocksAreCheckedInProcessThenByTheKernel) {
  const std::string path = FDir.File("locks.dat");
  WriteDiskFile(path, "");
  TFileOpenArgs first, second;
  Open(path, first);
  Open(path, second);
  TBaseFile& file = *first.BaseFile;
  const int64_t high = 0xFFFFFFFFLL - 100;  // far beyond the end, as the engine locks
  ASSERT_TRUE(file.Lock(high, 10));
  EXPECT_FALSE(second.BaseFile->Lock(high + 5, 1));  // overlaps, even through another handle
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Lock), 1);   // refused before the kernel was asked
  EXPECT_FALSE(file.Unlock(high + 1, 9));            // an unlock names a locked region's start
  EXPECT_TRUE(file.Unlock(high, 10));

  // Another process holds a range: the kernel refuses and the in-process region is rolled back.
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataEngine engine;  // its own descriptor: the parent's is shared with the child
    TFileOpenArgs args;
    if (engine.FileRegistry().OpenFile(path, args) < 1 || !args.BaseFile->Lock(high, 10)) {
      return 1;
    }
    channel.Send('l');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'l');
  EXPECT_FALSE(file.Lock(high + 9, 5));
  EXPECT_EQ(file.LockCount(), 0u);
  EXPECT_TRUE(file.Lock(high + 10, 5));  // touching is not overlapping
  child.Send('q');
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_TRUE(file.Lock(high, 5));
}

TEST_F(FileRegistryTest, MemoryFileLockRegions) {
  TFileOpenArgs args;
  args.InMemory = true;
  Registry().CreateFile("locks.dat", args);
  TBaseFile& file = *args.BaseFile;
  ASSERT_TRUE(file.Lock(100, 10));  // [100, 109]
  ASSERT_TRUE(file.Lock(200, 10));  // [200, 209]
  struct Case {
    int64_t offset, length;
    bool granted;
    const char* why;
  } cases[] = {
      {100, 1, false, "same start"},
      {109, 5, false, "preceding region ends at the new start"},
      {95, 6, false, "following region starts at the new end"},
      {150, 60, false, "covers a following region"},
      {110, 90, true, "fits between two regions exactly"},
      {90, 10, true, "ends just before a region"},
      {0, 0, false, "empty range"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(file.Lock(c.offset, c.length), c.granted) << c.why;
  }
  EXPECT_FALSE(file.Unlock(101, 9));
  EXPECT_TRUE(file.Unlock(100, 10));
  EXPECT_TRUE(file.Lock(100, 10));
}

TEST_F(FileRegistryTest, MemoryFileTransfersCrossChunksAndSizeFollowsEmptyWrites) {
  TFileOpenArgs args;
  args.InMemory = true;
  const int32_t h1 = Registry().CreateFile("big.dat", args);
  TFileOpenArgs other;
  other.InMemory = true;
  auto& file = static_cast<TMemoryFile&>(*args.BaseFile);
  std::string data(70000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(file.Seek(h1, 65000, kSeekBegin), 65000);
  ASSERT_EQ(file.Write(h1, data.data(), 70000), 70000);
  EXPECT_EQ(file.FileSize(), 135000);
  EXPECT_EQ(file.AllocatedSize(), 3 * TMemoryFile::kChunkSize);

  // Created files are exclusive; the second handle comes from a reopen after closing.
  Registry().CloseFile(&file, true, h1);
  const int32_t h2 = Registry().OpenFile("big.dat", other);
  const int32_t h3 = Registry().OpenFile("big.dat", other);
  std::string back(70000, '\0');
  ASSERT_EQ(file.Seek(h2, 65000, kSeekBegin), 65000);
  ASSERT_EQ(file.Read(h2, back.data(), 80000), 70000);  // stops at the end
  EXPECT_EQ(back, data);
  char zero[10];
  ASSERT_EQ(file.Read(h3, zero, 10), 10);  // own position; the gap before 65000 reads zeros
  EXPECT_EQ(std::string(zero, 10), std::string(10, '\0'));

  // Shrinking frees the chunks beyond and zeroes the tail, growing again reads zeros.
  ASSERT_EQ(file.Seek(h3, 65540, kSeekBegin), 65540);
  ASSERT_EQ(file.Write(h3, nullptr, 0), 0);
  EXPECT_EQ(file.FileSize(), 65540);
  EXPECT_EQ(file.AllocatedSize(), 2 * TMemoryFile::kChunkSize);
  ASSERT_EQ(file.Seek(h3, 65550, kSeekBegin), 65550);
  ASSERT_EQ(file.Write(h3, nullptr, 0), 0);
  char tail[10];
  ASSERT_EQ(file.Seek(h2, 65540, kSeekBegin), 65540);
  ASSERT_EQ(file.Read(h2, tail, 10), 10);
  EXPECT_EQ(std::string(tail, 10), std::string(10, '\0'));
}

}  // namespace
}  // namespace cairn
