#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cairn/engine/DataEngine.h"
#include "cairn/engine/io/BufferedFile.h"
#include "cairn/engine/io/Cipher.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/error/EngineError.h"
#include "cairn/host/OsError.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/FaultInjectingFiles.h"
#include "tests/support/TempDir.h"

namespace cairn {
namespace {

using test::ErrorOf;
using test::ReadDiskFile;

constexpr int32_t kBlockSize = 64;
constexpr int32_t kHeaderSize = 16;

// A small buffered file: a 16-byte header (update stamp, blocks in use) and 64-byte blocks,
// with the data file's append limits (record count and file size).
class TTestBlockFile : public TBufferedFile {
 public:
  TTestBlockFile(TEngineServices& engine, TBufferedFileOwner* owner, const std::string& path,
                 bool exclusive)
      : TBufferedFile(engine, owner) {
    SetFileName(path);
    SetExclusive(exclusive);
  }
  ~TTestBlockFile() override { FreeBuffers(); }

  int32_t IOBlockSize() const override { return kBlockSize; }
  int32_t BufferSize() const override { return kBlockSize; }
  int64_t HeaderSize() const override { return kHeaderSize; }
  int32_t IOBlocksUsed() const override { return FBlocksUsed; }
  int32_t LastUpdateStamp() const override { return FStamp; }
  int32_t MRUBuffers() const override { return 2; }
  int32_t BufferExpand() const override { return FExpand; }
  int32_t MaximumBufferCount() const override { return FMaxBuffers; }
  int32_t ReadAheadReserve() const override { return FReserve; }
  int64_t MaximumBufferBytes() const override { return FMaxBytes; }
  int32_t ReadAheadCount(const TBufferRequest& request) const override {
    return request.ReadAheadCount;
  }

  void ReadHeader() override {
    char header[kHeaderSize];
    {
      TEngineFileLock lock(*this);
      Seek(0, kSeekBegin);
      Read(header, kHeaderSize);
    }
    FStamp = DecodeInt32(header);
    FBlocksUsed = DecodeInt32(header + 4);
    FHeaderDirty = false;
  }
  bool WriteHeader(bool force) override {
    if (!force && !FHeaderDirty) return false;
    char header[kHeaderSize] = {};
    EncodeInt32(header, ++FStamp);
    EncodeInt32(header + 4, FBlocksUsed);
    {
      TEngineFileLock lock(*this);
      Seek(0, kSeekBegin);
      Write(header, kHeaderSize);
    }
    FHeaderDirty = false;
    if (Owner()) Owner()->MarkWrittenTo();
    return true;
  }
  void UpdateHeaderStamp() override {
    ++FStamp;
    FHeaderDirty = true;
  }
  void ClearHeader() override {
    TBufferedFile::ClearHeader();
    FBlocksUsed = 0;
    FHeaderDirty = true;
  }
  void CheckHeader() override {
    if (FBlocksUsed < 0) RaiseError(CAIRN_FILECORRUPT);
  }
  bool CheckForChanges() override {
    const int32_t stamp = FStamp;
    ReadHeader();
    return FStamp != stamp;
  }

  int32_t FBlocksUsed = 0;
  int32_t FStamp = 0;
  bool FHeaderDirty = false;
  int32_t FMaxBuffers = 16;
  int32_t FExpand = 3;
  int32_t FReserve = 1;
  int64_t FMaxBytes = 0;

 protected:
  std::unique_ptr<TBuffer> CreateBuffer() override { return std::make_unique<TBuffer>(*this); }
  uint16_t CorruptBufferError() const override { return CAIRN_FILECORRUPT; }
  void CheckSizeLimit() override {
    CheckAppendLimits(Engine().MaximumFileSize(), Engine().MaximumNumRecords());
  }
  void CountAppendedBlock() override {
    ++FBlocksUsed;
    FHeaderDirty = true;
  }
  void SaveHeaderForUndo() override { FUndoBlocksUsed = FBlocksUsed; }
  void RestoreHeaderForUndo() override { FBlocksUsed = FUndoBlocksUsed; }

 private:
  int32_t FUndoBlocksUsed = 0;
};

class TTestOwner : public TBufferedFileOwner {
 public:
  std::string ProperTableName() const override { return "Orders"; }
  std::string DatabaseName() const override { return "MainDB"; }
  void MarkWrittenTo() override { FWrittenTo = true; }
  bool WrittenTo() const override { return FWrittenTo; }
  bool InTransaction() const override { return FInTransaction; }
  bool ForceBufferFlush() const override { return FForceFlush; }
  bool StrictChangeDetection() const override { return FStrict; }
  bool MarkedReadOnly() const override { return false; }
  bool ReadLockForMiss() override {
    ++FReadLockCalls;
    return FChanged;
  }
  const TCipher* Cipher() const override { return FCipher.get(); }

  bool FWrittenTo = false;
  bool FInTransaction = false;
  bool FForceFlush = false;
  bool FStrict = false;
  bool FChanged = false;
  int FReadLockCalls = 0;
  std::unique_ptr<TCipher> FCipher;
};

std::string BlockPattern(int32_t number) {
  return std::string(kBlockSize, 'A' + number - 1);
}

// A file whose header claims `claimed` blocks and which holds `blocks` of them, block n filled
// with 'A' + n - 1.
void MakeDiskFile(const std::string& path, int32_t blocks, int32_t claimed = -1) {
  char header[kHeaderSize] = {};
  EncodeInt32(header, 1);
  EncodeInt32(header + 4, claimed < 0 ? blocks : claimed);
  std::ofstream out(path, std::ios::binary);
  out.write(header, kHeaderSize);
  for (int32_t n = 1; n <= blocks; ++n) out << BlockPattern(n);
}

std::string BlockOnDisk(const std::string& path, int32_t number) {
  const std::string bytes = ReadDiskFile(path);
  const size_t offset = kHeaderSize + static_cast<size_t>(number - 1) * kBlockSize;
  return offset < bytes.size() ? bytes.substr(offset, kBlockSize) : std::string();
}

std::string Content(const TBuffer* buffer) {
  return std::string(buffer->Buffer(), kBlockSize);
}

std::set<int32_t> CachedBlocks(const TBufferedFile& file) {
  std::set<int32_t> numbers;
  for (TBuffer* b = file.FirstBuffer(); b != nullptr; b = b->NextBuffer()) {
    numbers.insert(b->Number());
  }
  return numbers;
}

class BufferedFileTest : public ::testing::Test {
 protected:
  void SetUp() override { FEngine.SetHostFiles(&FFiles); }

  // Takes a block, fills it and releases it dirty.
  static void Store(TBufferedFile& file, int32_t number, char fill) {
    TBuffer* buffer = nullptr;
    ASSERT_TRUE(file.GetBuffer({}, number, false, TReadAheadDirection::None, buffer));
    std::memset(buffer->Buffer(), fill, kBlockSize);
    buffer->SetIsDirty(true);
    file.PutBuffer(buffer);
  }

  static TBuffer* Get(TBufferedFile& file, int32_t number) {
    TBuffer* buffer = nullptr;
    EXPECT_TRUE(file.GetBuffer({}, number, false, TReadAheadDirection::None, buffer));
    return buffer;
  }

  std::string Path() const { return FDir.File("orders.dat"); }

  test::TFaultInjectingFiles FFiles;
  TDataEngine FEngine;
  test::TTempDir FDir;
  TTestOwner FOwner;
};

TEST_F(BufferedFileTest, AppendedBlockIsHandedOutWithoutFileAccess) {
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.CreateFile();
  file.WriteHeader(true);
  FFiles.ResetCounts();
  TBuffer* buffer = Get(file, 1);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->Number(), 1);
  EXPECT_EQ(buffer->UseCount(), 1);
  EXPECT_EQ(Content(buffer), std::string(kBlockSize, '\0'));
  EXPECT_EQ(file.IOBlocksUsed(), 1);
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Read), 0);
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Write), 0);
  EXPECT_EQ(ReadDiskFile(Path()).size(), static_cast<size_t>(kHeaderSize));

  std::memset(buffer->Buffer(), 'Q', kBlockSize);
  buffer->SetIsDirty(true);
  file.PutBuffer(buffer);
  EXPECT_TRUE(file.FlushBuffers());
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Write), 1);
  EXPECT_EQ(ReadDiskFile(Path()).size(), static_cast<size_t>(kHeaderSize + kBlockSize));
  EXPECT_EQ(BlockOnDisk(Path(), 1), std::string(kBlockSize, 'Q'));
  EXPECT_FALSE(file.FlushBuffers());  // nothing left to write
}

// Thousands of random reads through a small cache with read-ahead in both directions: every
// block comes back with its own content, and the look-up finds exactly the buffers of the
// most-recently-used list, each under its number, however often they were recycled.
TEST_F(BufferedFileTest, RecycledBuffersStayFoundUnderTheirNumbers) {
  constexpr int32_t kBlocks = 3000;
  {
    std::string bytes(kHeaderSize + static_cast<size_t>(kBlocks) * kBlockSize, '\0');
    EncodeInt32(bytes.data() + 4, kBlocks);
    for (int32_t n = 1; n <= kBlocks; ++n)
      EncodeInt32(bytes.data() + kHeaderSize + (n - 1) * kBlockSize, n);
    std::ofstream(Path(), std::ios::binary) << bytes;
  }
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 100;
  file.OpenFile();
  file.ReadHeader();
  uint32_t random = 12345;
  for (int i = 0; i < 20000; ++i) {
    random = random * 1103515245u + 12345u;
    const int32_t number = static_cast<int32_t>((random >> 8) % kBlocks) + 1;
    const auto direction =
        (random & 1) ? TReadAheadDirection::Forward : TReadAheadDirection::Backward;
    TBuffer* buffer = nullptr;
    ASSERT_TRUE(file.GetBuffer({true, 8}, number, true, direction, buffer));
    ASSERT_EQ(DecodeInt32(buffer->Buffer()), number);
    file.PutBuffer(buffer);
  }
  size_t listed = 0;
  for (TBuffer* b = file.FirstBuffer(); b != nullptr; b = b->NextBuffer(), ++listed) {
    ASSERT_EQ(file.FindBuffer(b->Number()), b);
    ASSERT_EQ(DecodeInt32(b->Buffer()), b->Number());
  }
  EXPECT_EQ(listed, file.BufferCount());
  EXPECT_LE(file.BufferCount(), 100u);
  size_t found = 0;
  for (int32_t n = 1; n <= kBlocks; ++n) found += file.FindBuffer(n) != nullptr;
  EXPECT_EQ(found, listed);
  file.CloseFile();
}

// The two short cuts past the look-up: a copy of a cached block (never of one that is not
// cached, which is left to GetBuffer), and a buffer handed out again only while no buffer has
// left the cache since the caller saw it.
TEST_F(BufferedFileTest, CachedBlocksAreCopiedAndHeldBuffersTakenAgainWhileNoneLeft) {
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 3;
  file.CreateFile();
  for (int32_t n = 1; n <= 3; ++n) Store(file, n, static_cast<char>('A' + n - 1));
  file.FlushBuffers();
  Store(file, 2, 'Z');  // dirty, not yet written: the copy shows the cached content
  FFiles.ResetCounts();
  std::string copy(kBlockSize, '\0');
  ASSERT_TRUE(file.CopyCachedBlock(2, copy.data()));
  EXPECT_EQ(copy, std::string(kBlockSize, 'Z'));
  EXPECT_EQ(file.FirstBuffer()->Number(), 2);  // most recently used
  EXPECT_EQ(file.FindBuffer(2)->UseCount(), 0);
  EXPECT_FALSE(file.CopyCachedBlock(4, copy.data()));
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Read), 0);

  TBuffer* held = Get(file, 1);
  const uint64_t departures = file.CacheDepartures();
  file.PutBuffer(held);
  ASSERT_TRUE(file.RepinBuffer(held, departures));
  EXPECT_EQ(held->UseCount(), 1);
  EXPECT_EQ(file.FirstBuffer(), held);
  file.PutBuffer(held);
  // Block 4 takes the place of another block: the caller's buffer may be that one.
  file.FlushBuffers();
  Store(file, 4, 'D');
  EXPECT_NE(file.CacheDepartures(), departures);
  EXPECT_FALSE(file.RepinBuffer(held, departures));
  const uint64_t after = file.CacheDepartures();
  file.FreeBuffers();
  EXPECT_NE(file.CacheDepartures(), after);
  file.CloseFile();
}

TEST_F(BufferedFileTest, ConsecutiveQueuedBlocksAreWrittenWithOneCall) {
  struct Case {
    std::vector<int32_t> blocks;  // in the order they are released
    bool exclusive;
    int64_t writes;
  } cases[] = {
      {{5, 6}, false, 1},
      {{5, 7}, false, 2},
      {{6, 5}, true, 1},   // deferred writes go in block order
      {{6, 5}, false, 2},  // write-through keeps the order of release
      {{1, 2, 3, 5, 6, 8}, true, 3},
  };
  for (const Case& c : cases) {
    MakeDiskFile(Path(), 8);
    TTestBlockFile file(FEngine, &FOwner, Path(), c.exclusive);
    file.OpenFile();
    file.ReadHeader();
    for (int32_t n : c.blocks) Store(file, n, static_cast<char>('a' + n - 1));
    FFiles.ResetCounts();
    EXPECT_TRUE(file.FlushBuffers());
    EXPECT_EQ(FFiles.Calls(test::TFileOp::Write), c.writes) << c.blocks.size() << c.exclusive;
    EXPECT_EQ(file.Writes(), c.writes);
    for (int32_t n = 1; n <= 8; ++n) {
      const bool written = std::count(c.blocks.begin(), c.blocks.end(), n) > 0;
      EXPECT_EQ(BlockOnDisk(Path(), n),
                written ? std::string(kBlockSize, 'a' + n - 1) : BlockPattern(n))
          << "block " << n;
    }
    file.CloseFile();
  }
}

TEST_F(BufferedFileTest, AppendingBeyondTheLimitsFailsBeforeAnythingIsWritten) {
  struct Case {
    int32_t blocksUsed;
    bool full;
    const char* why;
  } cases[] = {
      {200000000, true, "the maximum record count is reached"},
      {62500000, true, "the logical size 4,000,000,016 exceeds the maximum file size"},
      {62499999, false, "the logical size 3,999,999,952 is within the limits"},
  };
  for (const Case& c : cases) {
    TTestBlockFile file(FEngine, &FOwner, Path(), true);
    file.CreateFile();
    file.FBlocksUsed = c.blocksUsed;
    FFiles.ResetCounts();
    TBuffer* buffer = nullptr;
    if (c.full) {
      const ECairnEngineError error = ErrorOf(
          [&] { file.GetBuffer({}, c.blocksUsed + 1, false, TReadAheadDirection::None, buffer); });
      EXPECT_EQ(error.ErrorCode(), CAIRN_TABLEFULL) << c.why;
      EXPECT_EQ(error.ErrorTableName(), "Orders");
      EXPECT_EQ(error.ErrorDatabaseName(), "MainDB");
      EXPECT_EQ(file.IOBlocksUsed(), c.blocksUsed);
      EXPECT_EQ(file.BufferCount(), 0u);
    } else {
      EXPECT_TRUE(file.GetBuffer({}, c.blocksUsed + 1, false, TReadAheadDirection::None, buffer))
          << c.why;
    }
    EXPECT_EQ(FFiles.Calls(test::TFileOp::Read) + FFiles.Calls(test::TFileOp::Write), 0);
    file.CloseFile();  // discards the buffer: nothing is written at 4 GB
  }
}

TEST_F(BufferedFileTest, ExclusiveFileGrowsWhenEveryBufferIsDirtyAndInUse) {
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 4;
  file.CreateFile();
  std::vector<TBuffer*> held;
  for (int32_t n = 1; n <= 5; ++n) {
    TBuffer* buffer = Get(file, n);
    ASSERT_NE(buffer, nullptr);
    buffer->SetIsDirty(true);
    held.push_back(buffer);
  }
  EXPECT_EQ(file.BufferCount(), 5u);
  EXPECT_EQ(file.BufferCapacity(), 4u + 3u);
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Write), 0);  // the flush found nothing it could write

  // Released but dirty: the next block beyond the grown budget flushes and recycles instead.
  for (TBuffer* buffer : held) file.PutBuffer(buffer);
  for (int32_t n = 6; n <= 8; ++n) Store(file, n, 'z');
  EXPECT_EQ(file.BufferCapacity(), 7u);
  EXPECT_EQ(file.BufferCount(), 7u);
  // Only the coldest queued block is written (an eighth of the budget, at least one) and recycled;
  // the others stay queued rather than all being written at once.
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Write), 1);
  EXPECT_EQ(file.FindBuffer(1), nullptr);
  EXPECT_EQ(ReadDiskFile(Path()).size(), static_cast<size_t>(kHeaderSize + kBlockSize));
  EXPECT_EQ(file.WriteCount(), 7u);  // blocks 2 ... 8
}

// Each operation (under undo, trimmed afterwards as a table does) changes block 1 first and then
// appends more blocks than the budget holds. Least recently used first, block 1 would leave and
// be written and read back at every trimming; used in every operation, it stays cached and is
// written once more at the end, and each trimming writes the appended blocks in one run.
TEST_F(BufferedFileTest, BlockUsedByEveryOperationStaysCachedThroughTheTrimming) {
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 4;
  file.CreateFile();
  constexpr int kOperations = 12;
  FFiles.ResetCounts();
  for (int op = 0; op < kOperations; ++op) {
    file.BeginUndo();
    Store(file, 1, static_cast<char>('a' + op));
    for (int i = 0; i < 4; ++i) Store(file, file.IOBlocksUsed() + 1, 'z');
    file.CommitUndo();
    file.FlushWhenOverBudget();
    ASSERT_LE(file.BufferCount(), 4u);
  }
  EXPECT_NE(file.FindBuffer(1), nullptr);
  // Block 1 left once, after the first operation, when nothing told it from the others.
  EXPECT_EQ(BlockOnDisk(Path(), 1), std::string(kBlockSize, 'a'));
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Read), 1);
  EXPECT_LE(FFiles.Calls(test::TFileOp::Write), kOperations + 1);
  file.FlushBuffers();
  EXPECT_EQ(BlockOnDisk(Path(), 1), std::string(kBlockSize, 'a' + kOperations - 1));
  for (int32_t n = 2; n <= file.IOBlocksUsed(); ++n) {
    EXPECT_EQ(BlockOnDisk(Path(), n), std::string(kBlockSize, 'z')) << "block " << n;
  }
  file.CloseFile();
}

// One block appended per operation into a cache of three: the block that leaves is written with
// the queued blocks right after it, which leave soon as well, so the trimming writes a few blocks
// a call instead of one, and a block written early is not written again.
TEST_F(BufferedFileTest, AppendedBlocksLeaveWithTheQueuedBlocksAfterThem) {
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 3;
  file.CreateFile();
  constexpr int kOperations = 24;
  FFiles.ResetCounts();
  for (int op = 0; op < kOperations; ++op) {
    file.BeginUndo();
    Store(file, file.IOBlocksUsed() + 1, static_cast<char>('a' + op));
    file.CommitUndo();
    file.FlushWhenOverBudget();
    ASSERT_LE(file.BufferCount(), 3u);
  }
  const int64_t trimmingWrites = FFiles.Calls(test::TFileOp::Write);
  EXPECT_GT(trimmingWrites, 0);
  EXPECT_LE(trimmingWrites, kOperations / 2);
  file.FlushBuffers();
  EXPECT_LE(FFiles.Calls(test::TFileOp::Write), trimmingWrites + 1);
  for (int32_t n = 1; n <= kOperations; ++n) {
    EXPECT_EQ(BlockOnDisk(Path(), n), std::string(kBlockSize, 'a' + n - 1)) << "block " << n;
    }
  file.CloseFile();
}

// The buffers a trimming lets go serve the blocks taken in next: emptied, as a new buffer is,
// and never more memory than they held in the cache. What frees buffers for room frees them first.
TEST_F(BufferedFileTest, BuffersThatLeftInATrimmingServeTheBlocksTakenInNext) {
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 8;
  file.CreateFile();
  std::set<const TBuffer*> before;
  for (int op = 0; op < 3; ++op) {
    file.BeginUndo();
    for (int i = 0; i < 4; ++i) Store(file, file.IOBlocksUsed() + 1, static_cast<char>('a' + op));
    file.CommitUndo();
    before.clear();
    for (const TBuffer* b = file.FirstBuffer(); b != nullptr; b = b->NextBuffer()) before.insert(b);
    const int64_t cached = file.CacheBytes();
    file.FlushWhenOverBudget();
    EXPECT_LE(file.CacheBytes() + file.SpareBytes(), cached);
  }
  ASSERT_GT(file.SpareCount(), 0u);
  const size_t spares = file.SpareCount();
  TBuffer* appended = Get(file, file.IOBlocksUsed() + 1);
  EXPECT_EQ(file.SpareCount(), spares - 1);
  EXPECT_EQ(before.count(appended), 1u) << "a buffer that left the cache, taken in again";
  EXPECT_EQ(Content(appended), std::string(kBlockSize, '\0'));
  EXPECT_FALSE(appended->IsDirty());
  file.PutBuffer(appended);
  file.AddReservedBytes(kBlockSize);
  EXPECT_EQ(file.SpareCount(), 0u);
  EXPECT_EQ(file.SpareBytes(), 0);
  file.AddReservedBytes(-kBlockSize);
  file.FlushBuffers();
  for (int32_t n = 1; n <= 12; ++n) {
    EXPECT_EQ(BlockOnDisk(Path(), n), std::string(kBlockSize, 'a' + (n - 1) / 4)) << "block " << n;
  }
  file.CloseFile();
}

TEST_F(BufferedFileTest, FailedFlushKeepsTheBlocksQueuedForTheNextFlush) {
  for (bool exclusive : {false, true}) {
    TTestBlockFile file(FEngine, &FOwner, Path(), exclusive);
    file.CreateFile();
    Store(file, 1, 'x');
    Store(file, 2, 'y');
    file.PutBuffer(Get(file, 3));  // appended, left clean
    Store(file, 4, 'w');
    // The first run is written, the second meets a full disk.
    FFiles.Arm(test::TFileOp::Write, FFiles.Calls(test::TFileOp::Write) + 2, host::kErrorUnknown);
    const ECairnEngineError error = ErrorOf([&] { file.FlushBuffers(); });
    EXPECT_EQ(error.ErrorCode(), CAIRN_OSUNKNOWN);
    EXPECT_EQ(error.ErrorTableName(), "Orders");
    EXPECT_EQ(error.ErrorDatabaseName(), "MainDB");
    EXPECT_EQ(file.WriteCount(), 1u);
    EXPECT_FALSE(file.FindBuffer(1)->IsDirty());
    EXPECT_TRUE(file.FindBuffer(4)->IsDirty());
    EXPECT_TRUE(file.FindBuffer(4)->WriteFlag());
    EXPECT_EQ(BlockOnDisk(Path(), 4), "");

    FFiles.Disarm();
    EXPECT_TRUE(file.FlushBuffers());
    EXPECT_EQ(file.WriteCount(), 0u);
    EXPECT_EQ(BlockOnDisk(Path(), 1), std::string(kBlockSize, 'x'));
    EXPECT_EQ(BlockOnDisk(Path(), 4), std::string(kBlockSize, 'w'));
    file.CloseFile();
  }
}

TEST_F(BufferedFileTest, MissReadsNeighbouringBlocksWithOneCall) {
  struct Case {
    int32_t number;
    TReadAheadDirection direction;
    int32_t count;
    std::set<int32_t> cached;
  } cases[] = {
      {2, TReadAheadDirection::Forward, 3, {2, 3, 4}},
      {7, TReadAheadDirection::Forward, 5, {7, 8}},   // never beyond the last block
      {2, TReadAheadDirection::Backward, 5, {1, 2}},  // never below block 1
      {5, TReadAheadDirection::Backward, 3, {3, 4, 5}},
      {3, TReadAheadDirection::None, 4, {3}},
  };
  MakeDiskFile(Path(), 8);
  for (const Case& c : cases) {
    TTestBlockFile file(FEngine, &FOwner, Path(), true);
    file.OpenFile();
    file.ReadHeader();
    FFiles.ResetCounts();
    TBufferRequest request;
    request.ReadAheadCount = c.count;
    TBuffer* buffer = nullptr;
    ASSERT_TRUE(file.GetBuffer(request, c.number, true, c.direction, buffer));
    EXPECT_EQ(Content(buffer), BlockPattern(c.number));
    EXPECT_EQ(CachedBlocks(file), c.cached) << c.number << " " << c.count;
    EXPECT_EQ(file.FirstBuffer(), buffer);  // the requested block is the most recent
    EXPECT_EQ(file.TotalReads(), static_cast<int64_t>(c.cached.size()) * kBlockSize);
    for (int32_t n : c.cached) EXPECT_EQ(Content(Get(file, n)), BlockPattern(n));
    EXPECT_EQ(FFiles.Calls(test::TFileOp::Read), 1);
    EXPECT_EQ(file.CacheMisses(), 1);
    EXPECT_EQ(file.CacheHits(), static_cast<int64_t>(c.cached.size()));
    file.CloseFile();
  }
}

TEST_F(BufferedFileTest, MissTakesTheTableReadLockUnlessStrictOrExclusive) {
  struct Case {
    bool strict, exclusiveCursor, changed;
    bool granted;
    int lockCalls;
  } cases[] = {
      {false, false, true, false, 1},  // changed by another writer: restart
      {false, false, false, true, 1},
      {true, false, true, true, 0},
      {false, true, true, true, 0},
  };
  MakeDiskFile(Path(), 2);
  for (const Case& c : cases) {
    TTestOwner owner;
    owner.FStrict = c.strict;
    owner.FChanged = c.changed;
    TTestBlockFile file(FEngine, &owner, Path(), false);
    file.OpenFile();
    file.ReadHeader();
    FFiles.ResetCounts();
    TBufferRequest request;
    request.Exclusive = c.exclusiveCursor;
    TBuffer* buffer = reinterpret_cast<TBuffer*>(1);
    EXPECT_EQ(file.GetBuffer(request, 1, false, TReadAheadDirection::None, buffer), c.granted);
    EXPECT_EQ(buffer != nullptr, c.granted);
    EXPECT_EQ(owner.FReadLockCalls, c.lockCalls);
    EXPECT_EQ(FFiles.Calls(test::TFileOp::Read), c.granted ? 1 : 0);
    if (c.granted) {
      Get(file, 1);  // a hit asks for no lock
      EXPECT_EQ(owner.FReadLockCalls, c.lockCalls);
    }
    file.CloseFile();
  }
}

TEST_F(BufferedFileTest, CacheInconsistenciesReportCorruptBuffers) {
  MakeDiskFile(Path(), 3);
  TTestBlockFile file(FEngine, &FOwner, Path(), false);
  file.OpenFile();
  file.ReadHeader();
  TBuffer* buffer = nullptr;
  for (int32_t number : {0, -1, 5}) {
    const ECairnEngineError error =
        ErrorOf([&] { file.GetBuffer({}, number, false, TReadAheadDirection::None, buffer); });
    EXPECT_EQ(error.ErrorCode(), CAIRN_FILECORRUPT) << number;
    EXPECT_EQ(error.ErrorTableName(), "Orders");
  }
  // A queued block taken again before the flush of a write-through file.
  Store(file, 2, 'q');
  Get(file, 2);
  EXPECT_EQ(ErrorOf([&] { file.FlushBuffers(); }).ErrorCode(), CAIRN_FILECORRUPT);
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Write), 0);
  EXPECT_EQ(file.WriteCount(), 1u);
}

TEST_F(BufferedFileTest, SharedFileRecyclesOnlyWhileTheReadAheadReserveRemains) {
  MakeDiskFile(Path(), 4);
  TTestBlockFile file(FEngine, &FOwner, Path(), false);
  file.FMaxBuffers = 2;
  file.OpenFile();
  file.ReadHeader();
  EXPECT_EQ(file.ReadAheadBuffers(), 1);
  for (int32_t n : {1, 2, 3}) file.PutBuffer(Get(file, n));
  EXPECT_EQ(CachedBlocks(file), (std::set<int32_t>{2, 3}));  // block 1 was recycled
  EXPECT_EQ(file.BufferCapacity(), 2u);
  Store(file, 3, 'c');  // one queued write + the reserve leave nothing to recycle
  file.PutBuffer(Get(file, 4));
  EXPECT_EQ(CachedBlocks(file), (std::set<int32_t>{2, 3, 4}));
  EXPECT_EQ(file.BufferCapacity(), 5u);
}

// A miss with every buffer dirty writes the coldest queued blocks (an eighth of the budget, at
// least one) and recycles the coldest of them, while the read that needs the room is under way.
TEST_F(BufferedFileTest, BlocksFlushedDuringAReadKeepTheirNewContent) {
  struct Case {
    int32_t budget;
    std::vector<int32_t> dirtyOrder;
    char block4OnDisk;
    const char* why;
  } cases[] = {
      {2, {2, 4}, 'D', "block 2 is written, recycled and loaded again from the same read; 4 waits"},
      {16,
       {4, 2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18},
       'd',
       "blocks 4 and 2 are written while the read is under way, 4 is recycled; 5 waits"},
  };
  for (const Case& c : cases) {
    MakeDiskFile(Path(), 20);
    TTestBlockFile file(FEngine, &FOwner, Path(), true);
    file.FMaxBuffers = c.budget;
    file.OpenFile();
    file.ReadHeader();
    for (int32_t n : c.dirtyOrder) Store(file, n, static_cast<char>('a' + n - 1));
    // Blocks 1 ... 3 are read before the full cache writes its coldest blocks to make room.
    TBufferRequest request;
    request.ReadAheadCount = 3;
    TBuffer* buffer = nullptr;
    ASSERT_TRUE(file.GetBuffer(request, 1, true, TReadAheadDirection::Forward, buffer));
    file.PutBuffer(buffer);
    EXPECT_EQ(Content(Get(file, 2)), std::string(kBlockSize, 'b')) << c.why;
    EXPECT_EQ(BlockOnDisk(Path(), 2), std::string(kBlockSize, 'b')) << c.why;
    EXPECT_EQ(BlockOnDisk(Path(), 4), std::string(kBlockSize, c.block4OnDisk)) << c.why;
    EXPECT_EQ(BlockOnDisk(Path(), 5), BlockPattern(5)) << c.why;
    file.CloseFile();
  }
}

// Gathering copies blocks out in the order asked, the cached ones (newer than the file, or not
// in it yet) from their buffers, the others with one read per run of near blocks; the cache is
// left as it was. Numbers outside the file are a damaged request.
TEST_F(BufferedFileTest, GatheredBlocksComeFromRunsOfReadsAndTheCache) {
  constexpr int32_t kBlocks = 3000;  // runs: up to 4096 blocks, gaps up to 256 blocks
  MakeDiskFile(Path(), kBlocks);
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 100;
  file.OpenFile();
  file.ReadHeader();
  Store(file, 5, 'z');            // cached, dirty: newer than the file
  Store(file, kBlocks + 1, 'n');  // appended, not yet in the file
  const std::set<int32_t> cached = CachedBlocks(file);
  const uint64_t generation = file.ContentGeneration();
  FFiles.ResetCounts();
  const std::vector<int32_t> numbers{2000, 5, 7, 5, 1, 2999, kBlocks + 1, 300, 7};
  std::string out(100 * kBlockSize, '\0');
  std::vector<uint64_t> scratch;
  file.GatherBlocks(numbers.data(), numbers.size(), out.data(), scratch);
  for (size_t i = 0; i < numbers.size(); ++i) {
    SCOPED_TRACE(numbers[i]);
    const int32_t n = numbers[i];
    const std::string expected = n == 5             ? std::string(kBlockSize, 'z')
                                 : n == kBlocks + 1 ? std::string(kBlockSize, 'n')
                                                    : BlockPattern(n);
    EXPECT_EQ(out.substr(i * kBlockSize, kBlockSize), expected);
  }
  // 1 ... 7 (5 from the cache), 300, 2000, 2999 ... 3001 (3001 from the cache).
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Read), 4);
  // Many scattered numbers, many of them twice (sorted by their digits rather than compared).
  std::vector<int32_t> many;
  for (uint32_t i = 0, r = 7; i < 10000; ++i) {
    r = r * 1103515245u + 12345u;
    many.push_back(static_cast<int32_t>((r >> 8) % kBlocks) + 1);
  }
  std::string manyOut(many.size() * kBlockSize, '\0');
  file.GatherBlocks(many.data(), many.size(), manyOut.data(), scratch);
  for (size_t i = 0; i < many.size(); ++i) {
    const std::string expected =
        many[i] == 5 ? std::string(kBlockSize, 'z') : BlockPattern(many[i]);
    ASSERT_EQ(manyOut.substr(i * kBlockSize, kBlockSize), expected) << many[i];
  }
  // A walk backwards through slots asks in reverse: one read.
  std::vector<int32_t> backwards;
  for (int32_t n = 2900; n > 2800; --n) backwards.push_back(n);
  FFiles.ResetCounts();
  file.GatherBlocks(backwards.data(), backwards.size(), out.data(), scratch);
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Read), 1);
  EXPECT_EQ(out.substr(0, kBlockSize), BlockPattern(2900));
  EXPECT_EQ(out.substr(99 * kBlockSize, kBlockSize), BlockPattern(2801));
  EXPECT_EQ(CachedBlocks(file), cached);
  EXPECT_EQ(file.ContentGeneration(), generation);
  for (const int32_t bad : {0, kBlocks + 2}) {
    EXPECT_EQ(test::ErrorCodeOf([&] { file.GatherBlocks(&bad, 1, out.data(), scratch); }),
              CAIRN_FILECORRUPT);
  }
  // What makes a gathered copy stale moves the generation: a changed block given back, an
  // appended one, the cache dropped.
  Store(file, 7, 'y');
  EXPECT_GT(file.ContentGeneration(), generation);
  uint64_t before = file.ContentGeneration();
  Get(file, kBlocks + 2);
  EXPECT_GT(file.ContentGeneration(), before);
  before = file.ContentGeneration();
  file.FreeBuffers();
  EXPECT_GT(file.ContentGeneration(), before);
  file.CloseFile();
}

// Memory reserved on a file's behalf counts against its byte budget: the cache frees clean,
// unused buffers until it fits beside it, and keeps the dirty and held ones.
TEST_F(BufferedFileTest, ReservedBytesMakeTheCacheGiveWay) {
  constexpr int32_t kBlocks = 1200;
  MakeDiskFile(Path(), kBlocks);
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 2 * kBlocks;
  file.OpenFile();
  file.ReadHeader();
  for (int32_t n = 1; n <= kBlocks; ++n) file.PutBuffer(Get(file, n));
  TBuffer* held = Get(file, 1);
  Store(file, 2, 'x');
  file.FMaxBytes = file.CacheBytes();  // the budget the cache fills now
  file.AdjustBuffers();                // which the file takes up
  ASSERT_EQ(file.BufferCount(), static_cast<size_t>(kBlocks));
  file.AddReservedBytes(100 * 1024);
  EXPECT_EQ(file.ReservedBytes(), 100 * 1024);
  EXPECT_LE(file.CacheBytes(), file.FMaxBytes + TBufferedFile::kByteBudgetTolerance);
  EXPECT_LT(file.BufferCount(), static_cast<size_t>(kBlocks));
  EXPECT_EQ(file.FindBuffer(1), held);
  ASSERT_NE(file.FindBuffer(2), nullptr);
  EXPECT_TRUE(file.FindBuffer(2)->IsDirty());
  file.PutBuffer(held);
  const size_t count = file.BufferCount();
  file.AddReservedBytes(-100 * 1024);
  EXPECT_EQ(file.ReservedBytes(), 0);
  EXPECT_EQ(file.BufferCount(), count);  // giving back frees nothing
  file.CloseFile();
}

TEST_F(BufferedFileTest, EncryptedTablesStoreEncipheredBlocks) {
  const char key[] = "0123456789abcdef";
  FOwner.FCipher = NewBlowfishCipher(key, 16);
  std::string plain(kBlockSize, '\0');
  for (int i = 0; i < kBlockSize; ++i) plain[i] = static_cast<char>(i * 7);
  {
    TTestBlockFile file(FEngine, &FOwner, Path(), true);
    file.CreateFile();
    TBuffer* buffer = Get(file, 1);
    buffer->CopyBuffer(plain.data());
    file.PutBuffer(buffer);
    file.FlushBuffers();
    file.WriteHeader(true);
  }
  std::string enciphered = plain;
  FOwner.FCipher->Encrypt(enciphered.data(), kBlockSize);
  ASSERT_NE(enciphered, plain);
  EXPECT_EQ(BlockOnDisk(Path(), 1), enciphered);

  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.OpenFile();
  file.ReadHeader();
  std::string gathered(kBlockSize, '\0');
  const int32_t first = 1;
  std::vector<uint64_t> scratch;
  file.GatherBlocks(&first, 1, gathered.data(), scratch);
  EXPECT_EQ(gathered, plain);
  EXPECT_EQ(Content(Get(file, 1)), plain);
}

TEST_F(BufferedFileTest, BudgetFollowsTheMaximumBufferCount) {
  struct Case {
    int64_t budget;
    int32_t bufferSize, overhead, limit, expected;
  } cases[] = {
      {32768, 64, 44, 8192, 303},                                  // 32768 / 108
      {65536, 4083, 64, 8192, 15}, {1 << 30, 64, 44, 8192, 8192},  // capped by the count limit
      {100, 4083, 64, 8192, 1},                                    // at least one
      {32768, 0, 44, 500, 500},                                    // no size: the limit itself
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TBufferedFile::MaximumBufferCountFor(c.budget, c.bufferSize, c.overhead, c.limit),
              c.expected);
  }

  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 2;
  file.FReserve = 3;
  file.CreateFile();
  EXPECT_EQ(file.BufferCapacity(), 2u);
  EXPECT_EQ(file.ReadAheadBuffers(), 3);
  std::vector<TBuffer*> held;
  for (int32_t n = 1; n <= 5; ++n) {
    held.push_back(Get(file, n));
    held.back()->SetIsDirty(true);
  }
  for (TBuffer* buffer : held) file.PutBuffer(buffer);
  file.AdjustBuffers();  // dirty buffers stay
  EXPECT_EQ(file.BufferCount(), 5u);
  EXPECT_EQ(file.BufferCapacity(), 5u);
  file.FlushBuffers();
  file.AdjustBuffers();
  EXPECT_EQ(CachedBlocks(file), (std::set<int32_t>{4, 5}));
  EXPECT_EQ(file.BufferCapacity(), 2u);
  file.FreeBuffers();
  EXPECT_EQ(file.BufferCount(), 0u);
  EXPECT_EQ(file.FirstBuffer(), nullptr);
}

TEST_F(BufferedFileTest, ClearHeaderEmptiesFileAndCache) {
  FOwner.FForceFlush = true;
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.CreateFile();
  file.WriteHeader(true);
  Store(file, 1, 'a');
  Store(file, 2, 'b');
  file.FlushBuffers();
  Store(file, 1, 'z');  // dirty again, queued
  FOwner.FWrittenTo = false;
  FFiles.ResetCounts();
  file.ClearHeader();
  EXPECT_EQ(ReadDiskFile(Path()).size(), static_cast<size_t>(kHeaderSize));
  EXPECT_EQ(FFiles.Calls(test::TFileOp::Flush), 1);
  EXPECT_TRUE(FOwner.FWrittenTo);
  EXPECT_EQ(file.BufferCount(), 0u);
  EXPECT_FALSE(file.FlushBuffers());  // the old block is never written back
  EXPECT_EQ(ReadDiskFile(Path()).size(), static_cast<size_t>(kHeaderSize));
  TBuffer* fresh = Get(file, 1);  // appended anew, zeroed
  EXPECT_EQ(Content(fresh), std::string(kBlockSize, '\0'));
}

TEST_F(BufferedFileTest, ShortReadIsToleratedOnlyWhereUnflushedBlocksMayExist) {
  struct Case {
    bool exclusive, inTransaction, writtenTo, tolerated;
  } cases[] = {
      {false, false, true, false},
      {true, false, false, true},
      {false, true, true, true},
      {false, true, false, false},
  };
  MakeDiskFile(Path(), 2, 4);  // the header claims four blocks, two are on disk
  for (const Case& c : cases) {
    TTestOwner owner;
    owner.FInTransaction = c.inTransaction;
    TTestBlockFile file(FEngine, &owner, Path(), c.exclusive);
    file.OpenFile();
    file.ReadHeader();
    owner.FWrittenTo = c.writtenTo;
    TBuffer* buffer = nullptr;
    if (c.tolerated) {
      ASSERT_TRUE(file.GetBuffer({}, 3, false, TReadAheadDirection::None, buffer));
      EXPECT_EQ(Content(buffer), std::string(kBlockSize, '\0'));
    } else {
      EXPECT_EQ(ErrorOf([&] {
                  file.GetBuffer({}, 3, false, TReadAheadDirection::None, buffer);
                }).ErrorCode(),
                CAIRN_READERR);
      EXPECT_EQ(file.BufferCount(), 0u);
    }
    file.CloseFile();
  }
}

// An undo keeps every block it hands out as it was and writes nothing meanwhile, even when the
// cache is over its budget; a rollback puts the blocks back, drops the appended ones and
// restores the header, a commit keeps the changes.
TEST_F(BufferedFileTest, UndoPutsBlocksBackAndDropsAppendedOnes) {
  TTestBlockFile file(FEngine, &FOwner, Path(), true);
  file.FMaxBuffers = 2;
  file.FExpand = 1;
  file.CreateFile();
  file.WriteHeader(true);
  file.InitializeBuffers();
  for (int32_t n = 1; n <= 3; ++n) Store(file, n, static_cast<char>('a' + n - 1));
  ASSERT_TRUE(file.FlushBuffers());
  const std::string before = ReadDiskFile(Path());

  for (bool commit : {false, true}) {
    SCOPED_TRACE(commit);
    FFiles.ResetCounts();
    file.BeginUndo();
    Store(file, 2, 'X');
    Store(file, 2, 'Y');  // a second change of the same block keeps the first image
    Store(file, 4, 'D');
    Store(file, 5, 'E');
    Store(file, 1, 'Z');
    EXPECT_EQ(file.IOBlocksUsed(), 5);
    EXPECT_EQ(FFiles.Calls(test::TFileOp::Write), 0) << "nothing written while undoable";
    if (commit) {
      file.CommitUndo();
    } else {
      file.RollbackUndo();
    }
    EXPECT_FALSE(file.UndoActive());
    file.FlushBuffers();
    if (commit) {
      EXPECT_EQ(file.IOBlocksUsed(), 5);
      EXPECT_EQ(BlockOnDisk(Path(), 2), std::string(kBlockSize, 'Y'));
      EXPECT_EQ(BlockOnDisk(Path(), 5), std::string(kBlockSize, 'E'));
    } else {
      EXPECT_EQ(file.IOBlocksUsed(), 3);
      EXPECT_EQ(ReadDiskFile(Path()).substr(kHeaderSize), before.substr(kHeaderSize));
      EXPECT_EQ(Content(Get(file, 2)), std::string(kBlockSize, 'b'));
      file.PutBuffer(file.FindBuffer(2));
    }
  }
}

}  // namespace
}  // namespace cairn
