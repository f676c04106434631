#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cairn/error/EngineError.h"
#include "cairn/engine/blob/BlobBuffer.h"
#include "cairn/engine/blob/BlobChain.h"
#include "cairn/engine/blob/BlobFile.h"
#include "cairn/engine/blob/Block.h"
#include "cairn/engine/io/Cipher.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/DataEngine.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/PeakMemory.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestTableOwner.h"

namespace cairn {
namespace {

using test::AppendDiskFile;
using test::EngineErrorCode;
using test::Int16Bytes;
using test::Int32Bytes;
using test::PatchDiskFile;
using test::ReadDiskFile;

constexpr int64_t kHeader = 512;
// Block header field offsets.
constexpr int64_t kPrev = 0, kNext = 4, kLength = 8, kSignature = 10, kTotal = 14, kData = 18;

// Distinct, incompressible-looking bytes.
std::string Pattern(size_t size, int seed = 1) {
  std::string bytes(size, '\0');
  uint32_t x = 2463534242u + static_cast<uint32_t>(seed);
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xff);
  }
  return bytes;
}

// The fields of block n of a blob file as they lie on disk.
struct TDiskBlock {
  TDiskBlock(const std::string& file, int32_t blockSize, int32_t n)
      : At(kHeader + int64_t{n - 1} * blockSize), Bytes(file.substr(At, blockSize)) {}
  int32_t Field(int64_t offset) const { return DecodeInt32(Bytes.data() + offset); }
  int32_t Prev() const { return Field(kPrev); }
  int32_t Next() const { return Field(kNext); }
  uint16_t Length() const { return DecodeFixed16(Bytes.data() + kLength); }
  int32_t Signature() const { return Field(kSignature); }
  int32_t Total() const { return Field(kTotal); }
  std::string Data() const { return Bytes.substr(kData, Length()); }
  int64_t At;
  std::string Bytes;
};

class BlobFileTest : public ::testing::Test {
 protected:
  std::string Path() const { return FDir.File("Notes.blb"); }
  std::string Disk() const { return ReadDiskFile(Path()); }

  std::unique_ptr<TBlobFile> NewFile(int32_t blockSize = 512, bool exclusive = true) {
    auto file = std::make_unique<TBlobFile>(FEngine, &FOwner, blockSize);
    file->SetFileName(Path());
    file->SetExclusive(exclusive);
    return file;
  }
  std::unique_ptr<TBlobFile> Create(int32_t blockSize = 512) {
    auto file = NewFile(blockSize);
    file->CreateFile();
    file->WriteHeader(true);
    return file;
  }
  std::unique_ptr<TBlobFile> Open(int32_t blockSize = 512, bool exclusive = true) {
    auto file = NewFile(blockSize, exclusive);
    file->OpenFile();
    return file;
  }
  static void Flush(TBlobFile& file) {
    file.FlushBuffers();
    file.WriteHeader(false);
  }

  static TBlobStatus Write(TBlobFile& file, int32_t& first, int32_t signature,
                           const std::string& value, uint8_t level = 0, bool exclusive = true) {
    return TBlobChain(file, {.Exclusive = exclusive})
        .WriteBlobValue(first, signature, value, level);
  }
  static std::string Read(TBlobFile& file, int32_t first, int32_t signature, uint8_t level = 0) {
    std::vector<char> value;
    EXPECT_EQ(TBlobChain(file, {.Exclusive = true}).ReadBlobValue(first, signature, level, value),
              TBlobStatus::Done);
    return std::string(value.begin(), value.end());
  }
  // Every block handed out was given back.
  static bool AllReleased(const TBlobFile& file) {
    for (TBuffer* b = file.FirstBuffer(); b != nullptr; b = b->NextBuffer()) {
      if (b->UseCount() != 0) return false;
    }
    return true;
  }

  test::TTempDir FDir;
  TDataEngine FEngine;
  test::TTestTableOwner FOwner;
};

TEST_F(BlobFileTest, NewFileIsOneHeaderOf512Bytes) {
  auto file = Create();
  EXPECT_TRUE(FOwner.Written);
  const std::string disk = Disk();
  ASSERT_EQ(disk.size(), 512u);
  EXPECT_EQ(DecodeInt32(disk.data()), 1);  // UpdateStamp
  EXPECT_EQ(DecodeInt32(disk.data() + 4), 0);
  EXPECT_EQ(disk[8], 6);  // VersionNum
  const TMD5Digest& digest = FEngine.SignatureDigest();
  EXPECT_EQ(disk.substr(9, 16), std::string(digest.Bytes.begin(), digest.Bytes.end()));
  EXPECT_EQ(DecodeInt32(disk.data() + 25), 0);  // NextFreeBlock
  EXPECT_EQ(DecodeInt32(disk.data() + 29), 1);  // NextEndingBlock
  EXPECT_EQ(disk.substr(33), std::string(512 - 33, '\0'));
  EXPECT_FALSE(file->WriteHeader(false)) << "a clean header is not written again";

  file->CloseFile();
  auto reopened = Open();
  const TBlobHeader header = reopened->GetHeader();
  EXPECT_EQ(header.NextEndingBlock, 1);
  EXPECT_EQ(header.NextFreeBlock, 0);
  EXPECT_EQ(reopened->IOBlocksUsed(), 0);
  EXPECT_EQ(reopened->GetNextFreeBlockNumber(), 1);
}

TEST_F(BlobFileTest, BlockSizeOutsideTheBlobLimitsIsRefused) {
  for (int32_t size : {0, 18, 63, 65537}) {
    auto file = NewFile(size);
    EXPECT_EQ(EngineErrorCode([&] { file->CreateFile(); }), CAIRN_BLOBLIMIT) << size;
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(EngineErrorCode([&] { file->SetBlobBlockSize(size); }), CAIRN_BLOBLIMIT) << size;
  }
  Create(64);
  auto file = NewFile(65536);
  file->SetBlobBlockSize(64);
  file->OpenFile();
  EXPECT_EQ(file->BufferSize(), 46);
}

TEST_F(BlobFileTest, ValueFillsBlocksOfBlockSizeMinus18Bytes) {
  struct Case {
    int32_t blockSize;
    size_t size;
    int32_t blocks;
  };
  for (const Case& c : {Case{512, 494, 1}, Case{512, 495, 2}, Case{4096, 4078, 1},
                        Case{4096, 4079, 2}, Case{64, 47, 2}}) {
    SCOPED_TRACE(std::to_string(c.blockSize) + "/" + std::to_string(c.size));
    const std::string value = Pattern(c.size);
    {
      auto file = Create(c.blockSize);
      int32_t first = 0;
      ASSERT_EQ(Write(*file, first, 77, value), TBlobStatus::Done);
      EXPECT_EQ(first, 1);
      EXPECT_TRUE(AllReleased(*file));
      Flush(*file);
    }
    const std::string disk = Disk();
    ASSERT_EQ(disk.size(), static_cast<size_t>(kHeader + int64_t{c.blocks} * c.blockSize));
    EXPECT_EQ(DecodeInt32(disk.data() + 29), c.blocks + 1);
    const int32_t area = c.blockSize - 18;
    const TDiskBlock one(disk, c.blockSize, 1);
    EXPECT_EQ(one.At, 512);
    EXPECT_EQ(one.Prev(), 0);
    EXPECT_EQ(one.Next(), c.blocks == 1 ? 0 : 2);
    EXPECT_EQ(one.Signature(), 77);
    EXPECT_EQ(one.Total(), static_cast<int32_t>(c.size));
    EXPECT_EQ(one.Data(), value.substr(0, area));
    if (c.blocks == 2) {
      const TDiskBlock two(disk, c.blockSize, 2);
      EXPECT_EQ(two.Prev(), 1);
      EXPECT_EQ(two.Next(), 0);
      EXPECT_EQ(two.Signature(), 0);
      EXPECT_EQ(two.Total(), 0);
      EXPECT_EQ(two.Data(), value.substr(area));
    }
    auto file = Open(c.blockSize);
    EXPECT_EQ(Read(*file, 1, 77), value);
  }
}

TEST_F(BlobFileTest, ShorterValueKeepsTheOldChainWhichALongerOneReuses) {
  const std::string three = Pattern(1000, 1);  // 494 + 494 + 12
  const std::string one = Pattern(100, 2);
  auto file = Create();
  int32_t first = 0;
  ASSERT_EQ(Write(*file, first, 1, three), TBlobStatus::Done);
  ASSERT_EQ(Write(*file, first, 2, one), TBlobStatus::Done);
  Flush(*file);
  std::string disk = Disk();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(DecodeInt32(disk.data() + 29), 4);
  EXPECT_EQ(TDiskBlock(disk, 512, 1).Total(), 100);
  EXPECT_EQ(TDiskBlock(disk, 512, 1).Length(), 100);
  EXPECT_EQ(TDiskBlock(disk, 512, 1).Signature(), 2);
  EXPECT_EQ(TDiskBlock(disk, 512, 1).Next(), 2) << "the old blocks stay linked";
  EXPECT_EQ(TDiskBlock(disk, 512, 2).Next(), 3);
  EXPECT_EQ(TDiskBlock(disk, 512, 3).Prev(), 2);
  EXPECT_EQ(Read(*file, first, 2), one);

  // Growing again: the three old blocks first, then one appended.
  const std::string four = Pattern(1500, 3);
  ASSERT_EQ(Write(*file, first, 3, four), TBlobStatus::Done);
  Flush(*file);
  disk = Disk();
  EXPECT_EQ(DecodeInt32(disk.data() + 29), 5);
  for (int32_t n = 1; n <= 4; ++n) {
    EXPECT_EQ(TDiskBlock(disk, 512, n).Prev(), n - 1) << n;
    EXPECT_EQ(TDiskBlock(disk, 512, n).Next(), n < 4 ? n + 1 : 0) << n;
  }
  EXPECT_EQ(TDiskBlock(disk, 512, 4).Data(), four.substr(3 * 494));
  EXPECT_EQ(Read(*file, first, 3), four);
}

TEST_F(BlobFileTest, ValuesOfSeveralRecordsKeepTheirOwnChains) {
  auto file = Create(64);
  int32_t a = 0, b = 0;
  ASSERT_EQ(Write(*file, a, 1, Pattern(100, 1)), TBlobStatus::Done);  // blocks 1-3
  ASSERT_EQ(Write(*file, b, 2, Pattern(60, 2)), TBlobStatus::Done);   // blocks 4-5
  ASSERT_EQ(Write(*file, a, 3, Pattern(200, 3)), TBlobStatus::Done);  // 1-3, then 6-7
  EXPECT_EQ(b, 4);
  Flush(*file);
  file->CloseFile();
  auto reopened = Open(64);
  EXPECT_EQ(Read(*reopened, a, 3), Pattern(200, 3));
  EXPECT_EQ(Read(*reopened, b, 2), Pattern(60, 2));
  EXPECT_EQ(TDiskBlock(Disk(), 64, 3).Next(), 6);
}

TEST_F(BlobFileTest, SignatureMismatchReadsAsChangedAndTakesTheReadLockWhenShared) {
  struct Case {
    bool exclusive;
    bool markedReadOnly;
    int readLocks;
  };
  for (const Case& c : {Case{true, false, 0}, Case{false, true, 0}, Case{false, false, 1}}) {
    SCOPED_TRACE(std::to_string(c.exclusive) + std::to_string(c.markedReadOnly));
    auto file = Create();
    int32_t first = 0;
    ASSERT_EQ(Write(*file, first, 41, "hello"), TBlobStatus::Done);
    FOwner.ReadLocks = 0;
    FOwner.ReadOnlyMark = c.markedReadOnly;
    std::vector<char> value{'x'};
    EXPECT_EQ(TBlobChain(*file, {.Exclusive = c.exclusive}).ReadBlobValue(first, 40, 0, value),
              TBlobStatus::Changed);
    EXPECT_TRUE(value.empty());
    EXPECT_EQ(FOwner.ReadLocks, c.readLocks);
    EXPECT_TRUE(AllReleased(*file));
    FOwner.ReadOnlyMark = false;
  }
}

TEST_F(BlobFileTest, EmptyValueWritesNoBlockAndEmptiesAnExistingChain) {
  auto file = Create();
  int32_t none = 0;
  ASSERT_EQ(Write(*file, none, 5, ""), TBlobStatus::Done);
  EXPECT_EQ(none, 0);
  Flush(*file);
  EXPECT_EQ(Disk().size(), 512u);
  EXPECT_EQ(file->GetHeader().NextEndingBlock, 1);
  EXPECT_EQ(Read(*file, 0, 5), "");

  // A compressed field's value emptied: nothing to inflate.
  int32_t first = 0;
  ASSERT_EQ(Write(*file, first, 6, Pattern(700), 6), TBlobStatus::Done);
  const int32_t ending = file->GetHeader().NextEndingBlock;
  ASSERT_EQ(Write(*file, first, 7, "", 6), TBlobStatus::Done);
  Flush(*file);
  const TDiskBlock block(Disk(), 512, first);
  EXPECT_EQ(block.Total(), 0);
  EXPECT_EQ(block.Signature(), 7);
  EXPECT_EQ(file->GetHeader().NextEndingBlock, ending);
  EXPECT_EQ(Read(*file, first, 7, 6), "");
}

TEST_F(BlobFileTest, CompressedValueRoundTripsAsOneZlibStream) {
  std::string text;
  while (text.size() < 5000) text += "Weekly review with the design team. ";
  auto file = Create();
  int32_t first = 0;
  ASSERT_EQ(Write(*file, first, 9, text, 6), TBlobStatus::Done);
  Flush(*file);
  const TDiskBlock block(Disk(), 512, first);
  ASSERT_LT(block.Total(), 494) << "5000 compressible bytes fit one block";
  EXPECT_EQ(block.Next(), 0);
  // What lies on disk is a plain zlib stream of the value.
  std::vector<char> plain(text.size());
  uLongf size = plain.size();
  const std::string stream = block.Data();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(plain.data()), &size,
                       reinterpret_cast<const Bytef*>(stream.data()), stream.size()),
            Z_OK);
  EXPECT_EQ(std::string(plain.data(), size), text);
  EXPECT_EQ(Read(*file, first, 9, 6), text);
  EXPECT_EQ(Read(*file, first, 9, 0), stream) << "without the level the stored bytes come back";
  // Damaged stream: the compressed bytes are read, inflating fails.
  file->CloseFile();
  PatchDiskFile(Path(), block.At + kData + 4, "\xff\xff\xff\xff");
  auto reopened = Open();
  EXPECT_EQ(EngineErrorCode([&] { Read(*reopened, first, 9, 6); }), CAIRN_UNCOMPRESS);
  EXPECT_TRUE(AllReleased(*reopened));
}

TEST_F(BlobFileTest, AllocationTakesTheFreeChainFirst) {
  {
    auto file = Create(64);
    for (int i = 1; i <= 3; ++i) {
      int32_t first = 0;
      ASSERT_EQ(Write(*file, first, i, Pattern(46, i)), TBlobStatus::Done);
    }
    Flush(*file);
  }
  // Blocks 3 and 2 form a free chain: 3 -> 2 -> end.
  PatchDiskFile(Path(), 25, Int32Bytes(3));
  PatchDiskFile(Path(), kHeader + 2 * 64 + kNext, Int32Bytes(2));
  auto file = Open(64);
  file->CheckHeader();
  EXPECT_EQ(file->GetNextFreeBlockNumber(), 3);
  int32_t first = 0;
  ASSERT_EQ(Write(*file, first, 10, "short"), TBlobStatus::Done);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(file->GetHeader().NextFreeBlock, 2);
  int32_t second = 0;
  ASSERT_EQ(Write(*file, second, 11, Pattern(60)), TBlobStatus::Done);  // 2, then appended 4
  EXPECT_EQ(second, 2);
  EXPECT_EQ(file->GetHeader().NextFreeBlock, 0);
  EXPECT_EQ(file->GetHeader().NextEndingBlock, 5);
  Flush(*file);
  const std::string disk = Disk();
  const TDiskBlock reused(disk, 64, 3);
  EXPECT_EQ(reused.Next(), 0) << "a reused block is zeroed";
  EXPECT_EQ(reused.Bytes.substr(kData), "short" + std::string(64 - kData - 5, '\0'));
  EXPECT_EQ(TDiskBlock(disk, 64, 2).Next(), 4);
  EXPECT_EQ(TDiskBlock(disk, 64, 4).Prev(), 2);
  EXPECT_EQ(Read(*file, second, 11), Pattern(60));
  EXPECT_EQ(Read(*file, 1, 1), Pattern(46, 1));
}

TEST_F(BlobFileTest, DamagedFreeChainIsReportedNotHandedOutTwice) {
  struct Case {
    const char* name;
    int32_t head;
    int32_t headNext;
    int code;
  };
  for (const Case& c : {Case{"head beyond the file", 9, 0, CAIRN_HEADERCORRUPT},
                        Case{"head links to itself", 2, 2, CAIRN_MEMOCORRUPT},
                        Case{"head links beyond the file", 2, 40, CAIRN_MEMOCORRUPT}}) {
    SCOPED_TRACE(c.name);
    {
      auto file = Create(64);
      int32_t first = 0;
      ASSERT_EQ(Write(*file, first, 1, Pattern(100)), TBlobStatus::Done);  // blocks 1-3
      Flush(*file);
    }
    PatchDiskFile(Path(), 25, Int32Bytes(c.head));
    PatchDiskFile(Path(), kHeader + 64 + kNext, Int32Bytes(c.headNext));
    auto file = Open(64);
    int32_t first = 0;
    EXPECT_EQ(EngineErrorCode([&] { Write(*file, first, 2, "x"); }), c.code);
    EXPECT_TRUE(AllReleased(*file));
  }
}

TEST_F(BlobFileTest, DamagedChainsRaiseTheEngineErrorWithoutHanging) {
  // A 3-block value (64-byte blocks: 46 + 46 + 8 bytes) in blocks 1 -> 2 -> 3.
  struct Case {
    const char* name;
    int64_t offset;
    std::string bytes;
    int32_t first;
    int code;
  };
  const int64_t b1 = kHeader, b2 = kHeader + 64, b3 = kHeader + 128;
  const Case cases[] = {
      {"next beyond the file", b1 + kNext, Int32Bytes(4), 1, CAIRN_MEMOCORRUPT},
      {"negative next", b1 + kNext, Int32Bytes(-1), 1, CAIRN_MEMOCORRUPT},
      {"loop back to the first block", b2 + kNext, Int32Bytes(1), 1, CAIRN_MEMOCORRUPT},
      {"block linking to itself", b2 + kNext, Int32Bytes(2), 1, CAIRN_MEMOCORRUPT},
      {"length beyond the block", b1 + kLength, Int16Bytes(60000), 1, CAIRN_MEMOCORRUPT},
      {"chain ends early", b2 + kNext, Int32Bytes(0), 1, CAIRN_ENDOFBLOB},
      {"short block inside the chain", b2 + kLength, Int16Bytes(10), 1, CAIRN_ENDOFBLOB},
      {"empty block linking to itself", b2 + kNext, Int32Bytes(2) + Int16Bytes(0), 1,
       CAIRN_ENDOFBLOB},
      {"last block short", b3 + kLength, Int16Bytes(7), 1, CAIRN_ENDOFBLOB},
      {"total beyond the file", b1 + kTotal, Int32Bytes(2000000000), 1, CAIRN_ENDOFBLOB},
      {"negative total", b1 + kTotal, Int32Bytes(-5), 1, CAIRN_MEMOCORRUPT},
      {"first block beyond the file", b1, "", 4, CAIRN_MEMOCORRUPT},
      {"negative first block", b1, "", -3, CAIRN_MEMOCORRUPT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      auto file = Create(64);
      int32_t first = 0;
      ASSERT_EQ(Write(*file, first, 1, Pattern(100)), TBlobStatus::Done);
      Flush(*file);
    }
    PatchDiskFile(Path(), c.offset, c.bytes);
    auto file = Open(64);
    std::vector<char> value;
    TBlobChain chain(*file, {.Exclusive = true});
    EXPECT_EQ(EngineErrorCode([&] { chain.ReadBlobValue(c.first, 1, 0, value); }), c.code);
    EXPECT_TRUE(value.empty());
    EXPECT_TRUE(AllReleased(*file));
    // Writing into a damaged chain is refused as well, never run in circles.
    if (std::string(c.name).starts_with("loop") || std::string(c.name).starts_with("block link")) {
      int32_t first = c.first;
      EXPECT_EQ(EngineErrorCode([&] { Write(*file, first, 2, Pattern(140)); }), CAIRN_MEMOCORRUPT);
      EXPECT_TRUE(AllReleased(*file));
    }
  }
}

// A damaged TotalLength must cost no more memory than the chain really holds: the value grows
// with the blocks read, never to the size the first block claims.
TEST_F(BlobFileTest, DamagedTotalLengthAllocatesOnlyWhatTheChainHolds) {
  constexpr int32_t kClaimed = 256 << 20;
  struct Case {
    const char* name;
    int32_t blocksInHeader;  // NextEndingBlock; 0 keeps the file's own
  };
  const Case cases[] = {
      {"total beyond the file", 0},
      // A header that counts far more blocks than the file has lets the size pass the file check.
      {"total inside a damaged block count", 100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      auto file = Create(4096);
      int32_t first = 0;
      ASSERT_EQ(Write(*file, first, 1, Pattern(5000)), TBlobStatus::Done);  // blocks 1 and 2
      Flush(*file);
    }
    PatchDiskFile(Path(), kHeader + kTotal, Int32Bytes(kClaimed));
    if (c.blocksInHeader != 0) PatchDiskFile(Path(), 29, Int32Bytes(c.blocksInHeader));
    auto file = Open(4096);
    const test::TPeakMemory peak = test::MeasurePeakMemory([&] {
      std::vector<char> value;
      TBlobChain(*file, {.Exclusive = true}).ReadBlobValue(1, 1, 0, value);
    });
    EXPECT_EQ(peak.ErrorCode, CAIRN_ENDOFBLOB);
    EXPECT_GE(peak.GrowthBytes, 0);
    EXPECT_LT(peak.GrowthBytes, 8 * test::kMiB);
  }
}

TEST_F(BlobFileTest, BlockDataStaysInsideTheBlock) {
  auto file = Create(64);
  TBlock* block = nullptr;
  ASSERT_TRUE(file->AllocateBlock({.Exclusive = true}, block));
  ASSERT_EQ(block->DataCapacity(), 46);
  EXPECT_TRUE(block->IsDirty());
  char bytes[64] = "0123456789";
  EXPECT_EQ(block->PutBlockData(0, 10, bytes), 10);
  EXPECT_EQ(block->Length(), 10);
  EXPECT_EQ(block->Size(), 10);
  char out[64] = {};
  struct Case {
    int32_t offset, length, copied;
  };
  for (const Case& c :
       {Case{0, 46, 10}, Case{4, 3, 3}, Case{8, 10, 2}, Case{10, 5, 0}, Case{30, 16, 0}}) {
    EXPECT_EQ(block->GetBlockData(c.offset, c.length, out), c.copied) << c.offset;
  }
  ASSERT_EQ(block->GetBlockData(4, 3, out), 3);
  EXPECT_EQ(std::string(out, 3), "456");
  for (const auto& [offset, length] : {std::pair{0, 47}, std::pair{40, 7}, std::pair{-1, 2}}) {
    EXPECT_EQ(EngineErrorCode([&] { block->GetBlockData(offset, length, out); }),
              CAIRN_INVALIDBLOBLEN);
    EXPECT_EQ(EngineErrorCode([&] { block->PutBlockData(offset, length, bytes); }),
              CAIRN_INVALIDBLOBLEN);
  }
  block->TruncateBlockData(4);
  EXPECT_EQ(block->Length(), 4);
  EXPECT_EQ(block->GetBlockData(0, 46, out), 4);
  EXPECT_EQ(std::string(block->Buffer() + 4, 6), std::string(6, '\0'));
  file->PutBlock(block);
  Flush(*file);

  // Setters mark a clean block dirty only when the value changes.
  ASSERT_TRUE(file->GetBlock({.Exclusive = true}, 1, 1, block));
  ASSERT_FALSE(block->IsDirty());
  block->SetNextNumber(0);
  block->SetSignature(0);
  block->SetLength(4);
  EXPECT_FALSE(block->IsDirty());
  block->SetTotalLength(4);
  EXPECT_TRUE(block->IsDirty());
  file->PutBlock(block);
}

TEST_F(BlobFileTest, OpenRejectsOtherVersionsAndSignatures) {
  const TMD5Digest custom = MD5Digest("OTHER_SIG");
  const TMD5Digest standard = MD5Digest("CAIRN_SIG");
  struct Case {
    const char* name;
    int64_t offset;
    std::string bytes;
    int code;
  };
  const Case cases[] = {
      {"version 5", 8, "\x05", CAIRN_OLDVERSION},
      {"version 7", 8, "\x07", CAIRN_BADSIGNATURE},
      {"version 0", 8, std::string(1, '\0'), CAIRN_OLDVERSION},
      {"foreign signature", 9, std::string(custom.Bytes.begin(), custom.Bytes.end()),
       CAIRN_BADSIGNATURE},
      {"default signature", 9, std::string(standard.Bytes.begin(), standard.Bytes.end()), 0},
  };
  FEngine.SetSignature("MY_SIG");
  FOwner.TableName = "Notes";
  FOwner.Database = "MainDB";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Create();
    PatchDiskFile(Path(), c.offset, c.bytes);
    auto file = NewFile();
    try {
      file->OpenFile();
      EXPECT_EQ(c.code, 0);
      EXPECT_TRUE(file->IsOpen());
    } catch (const ECairnEngineError& error) {
      EXPECT_EQ(error.ErrorCode(), c.code);
      EXPECT_EQ(error.ErrorTableName(), "Notes");
      EXPECT_EQ(error.ErrorDatabaseName(), "MainDB");
      EXPECT_FALSE(file->IsOpen()) << "a rejected file is closed again";
    }
  }
}

TEST_F(BlobFileTest, TruncatedHeaderIsAReadError) {
  for (size_t size : {size_t{0}, size_t{33}, size_t{511}}) {
    Create();
    std::filesystem::resize_file(Path(), size);
    auto file = NewFile();
    EXPECT_EQ(EngineErrorCode([&] { file->OpenFile(); }), CAIRN_READERR) << size;
    EXPECT_FALSE(file->IsOpen());
  }
}

TEST_F(BlobFileTest, CheckHeaderAcceptsOnlyAFreeHeadInsideTheFile) {
  struct Case {
    int32_t nextFree;
    int32_t nextEnding;
    bool sound;
  };
  for (const Case& c :
       {Case{0, 1, true}, Case{1, 2, true}, Case{3, 4, true}, Case{1, 1, false}, Case{4, 4, false},
        Case{-1, 4, false}, Case{0, 0, false}, Case{0, -7, false}}) {
    SCOPED_TRACE(std::to_string(c.nextFree) + "/" + std::to_string(c.nextEnding));
    Create();
    PatchDiskFile(Path(), 25, Int32Bytes(c.nextFree) + Int32Bytes(c.nextEnding));
    auto file = Open();
    EXPECT_EQ(EngineErrorCode([&] { file->CheckHeader(); }), c.sound ? 0 : CAIRN_HEADERCORRUPT);
  }
}

TEST_F(BlobFileTest, EncryptedFileRoundTripsAndHidesHeaderAndBlocks) {
  FOwner.UseKey("secret-key", 10);
  const std::string value = std::string(800, 'A');
  {
    auto file = Create();
    int32_t first = 0;
    ASSERT_EQ(Write(*file, first, 3, value), TBlobStatus::Done);
    Flush(*file);
  }
  const std::string disk = Disk();
  ASSERT_EQ(disk.size(), 512u + 2 * 512);
  EXPECT_NE(disk[8], 6);
  EXPECT_EQ(disk.find(std::string(16, 'A')), std::string::npos);
  // Deciphered with the table's key, the units are the plain structures.
  std::string header = disk.substr(0, 512);
  FOwner.Key->Decrypt(header.data(), header.size());
  EXPECT_EQ(header[8], 6);
  EXPECT_EQ(DecodeInt32(header.data() + 29), 3);
  std::string block = disk.substr(512, 512);
  FOwner.Key->Decrypt(block.data(), block.size());
  EXPECT_EQ(DecodeInt32(block.data() + kTotal), 800);
  EXPECT_EQ(block.substr(kData, 494), value.substr(0, 494));

  auto file = Open();
  EXPECT_EQ(Read(*file, 1, 3), value);
  file->CloseFile();
  FOwner.UseKey("wrong-key!", 10);
  EXPECT_NE(EngineErrorCode([&] { Open(); }), 0) << "a wrong key does not pass the header checks";
}

TEST_F(BlobFileTest, HeaderStampRisesWithEveryWriteAndOthersSeeIt) {
  Create();
  auto writer = Open(512, false);
  auto reader = Open(512, false);
  EXPECT_EQ(writer->LastUpdateStamp(), 1);
  FOwner.Written = false;
  writer->UpdateHeaderStamp();
  EXPECT_TRUE(FOwner.Written);
  EXPECT_EQ(writer->LastUpdateStamp(), 2);
  EXPECT_EQ(DecodeInt32(Disk().data()), 1) << "the stamp reaches the file with the next write";
  EXPECT_FALSE(reader->CheckForChanges());
  EXPECT_TRUE(writer->WriteHeader(false));
  EXPECT_EQ(DecodeInt32(Disk().data()), 3);
  EXPECT_TRUE(reader->CheckForChanges());
  EXPECT_EQ(reader->LastUpdateStamp(), 3);
  EXPECT_FALSE(reader->CheckForChanges());
}

TEST_F(BlobFileTest, ClearHeaderEmptiesTheFile) {
  auto file = Create();
  int32_t first = 0;
  ASSERT_EQ(Write(*file, first, 1, Pattern(2000)), TBlobStatus::Done);
  Flush(*file);
  ASSERT_GT(Disk().size(), 512u);
  const int32_t stamp = file->LastUpdateStamp();
  file->ClearHeader();
  EXPECT_EQ(Disk().size(), 512u);
  EXPECT_EQ(file->GetHeader().NextEndingBlock, 1);
  EXPECT_EQ(file->GetHeader().NextFreeBlock, 0);
  EXPECT_EQ(file->BufferCount(), 0u);
  ASSERT_TRUE(file->WriteHeader(false));
  // The stamp keeps rising, as the data file's does.
  EXPECT_EQ(DecodeInt32(Disk().data()), stamp + 1);
  first = 0;
  ASSERT_EQ(Write(*file, first, 2, "again"), TBlobStatus::Done);
  EXPECT_EQ(first, 1);
}

// A process that last saw the new file's stamp must notice that another emptied the table: a
// stamp reset to 0 would come back to the very value it saw.
TEST_F(BlobFileTest, EmptyingIsNoticedByAProcessThatSawTheNewFile) {
  Create();
  auto reader = Open(512, false);
  auto writer = Open(512, false);
  writer->ClearHeader();
  ASSERT_TRUE(writer->WriteHeader(false));
  EXPECT_TRUE(reader->CheckForChanges());
}

TEST_F(BlobFileTest, RepairHeaderReportsAndFixesTheCounts) {
  struct Case {
    const char* name;
    std::function<void()> damage;
    std::vector<std::string> findings;
  };
  const std::string path = Path();
  const Case cases[] = {
      {"sound", [] {}, {}},
      {"partial block",
       [&] { AppendDiskFile(path, std::string(100, 'z')); },
       {"BLOB blocks not aligned on even block size boundaries"}},
      {"ending block wrong",
       [&] { PatchDiskFile(path, 29, Int32Bytes(9)); },
       {"Physical BLOB block count not correct"}},
      {"free head wrong",
       [&] { PatchDiskFile(path, 25, Int32Bytes(5)); },
       {"Invalid free BLOB block pointer in header"}},
      {"all three",
       [&] {
         AppendDiskFile(path, "zz");
         PatchDiskFile(path, 25, Int32Bytes(-2) + Int32Bytes(1));
       },
       {"BLOB blocks not aligned on even block size boundaries",
        "Physical BLOB block count not correct", "Invalid free BLOB block pointer in header"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool verifyOnly : {true, false}) {
      {
        auto file = Create();
        int32_t first = 0;
        ASSERT_EQ(Write(*file, first, 1, Pattern(1000)), TBlobStatus::Done);  // 3 blocks
        Flush(*file);
      }
      c.damage();
      const std::string before = Disk();
      auto file = Open();
      std::vector<std::string> log;
      EXPECT_EQ(file->RepairHeader(verifyOnly, [&](const std::string& m) { log.push_back(m); }),
                c.findings.empty());
      std::vector<std::string> expected = c.findings;
      if (!verifyOnly) {
        for (std::string& m : expected) m += ", error fixed";
      }
      EXPECT_EQ(log, expected);
      file->WriteHeader(false);
      if (verifyOnly) {
        EXPECT_EQ(Disk(), before);
        continue;
      }
      EXPECT_EQ(Disk().size(), 512u + 3 * 512);
      EXPECT_EQ(file->GetHeader().NextEndingBlock, 4);
      EXPECT_EQ(file->GetHeader().NextFreeBlock, 0);
      EXPECT_TRUE(file->RepairHeader(true));
      EXPECT_EQ(Read(*file, 1, 1), Pattern(1000));
    }
  }
}

TEST_F(BlobFileTest, AppendingBeyondTheMaximumFileSizeRaises9479) {
  Create();
  // 8,000,000 blocks of 512 bytes claimed: the logical size is past 4,000,000,000 bytes.
  PatchDiskFile(Path(), 29, Int32Bytes(8'000'001));
  auto file = Open();
  int32_t first = 0;
  EXPECT_EQ(EngineErrorCode([&] { Write(*file, first, 1, "x"); }), CAIRN_TABLEFULL);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(file->GetHeader().NextEndingBlock, 8'000'001);
  Flush(*file);
  EXPECT_EQ(Disk().size(), 512u);
}

TEST_F(BlobFileTest, ReadAheadFetchesTheBlocksTheValueStillNeeds) {
  {
    auto file = Create(64);
    int32_t first = 0;
    ASSERT_EQ(Write(*file, first, 1, Pattern(230)), TBlobStatus::Done);  // 5 blocks
    Flush(*file);
  }
  struct Case {
    int32_t reserve;
    int64_t reads;
  };
  for (const Case& c : {Case{1, 5}, Case{3, 3}, Case{8, 2}}) {
    auto file = Open(64);
    file->SetReadAheadBuffers(c.reserve);
    EXPECT_EQ(Read(*file, 1, 1), Pattern(230));
    EXPECT_EQ(file->Reads(), c.reads) << c.reserve;
  }
}

// A table whose read lock finds another writer's changes: the blob file drops its blocks.
class TChangingOwner : public test::TTestTableOwner {
 public:
  bool ReadLockForMiss() override {
    ++ReadLocks;
    if (!Changing) return false;
    File->FreeBuffers();
    return true;
  }
  bool Changing = false;
  TBlobFile* File = nullptr;
};

TEST_F(BlobFileTest, ChangeFoundUnderwayEndsReadAndWriteAsChanged) {
  TChangingOwner owner;
  TBlobFile file(FEngine, &owner, 64);
  owner.File = &file;
  file.SetFileName(Path());
  file.CreateFile();
  int32_t first = 0;
  ASSERT_EQ(Write(file, first, 1, Pattern(100)), TBlobStatus::Done);
  Flush(file);
  file.FreeBuffers();

  // The first block cached, the next ones missing: the change is found in mid-chain.
  TBlock* block = nullptr;
  ASSERT_TRUE(file.GetBlock({}, 1, 1, block));
  file.PutBlock(block);
  owner.Changing = true;
  std::vector<char> value;
  EXPECT_EQ(TBlobChain(file, {}).ReadBlobValue(first, 1, 0, value), TBlobStatus::Changed);
  EXPECT_EQ(file.BufferCount(), 0u);

  owner.Changing = false;
  ASSERT_TRUE(file.GetBlock({}, 1, 1, block));
  file.PutBlock(block);
  owner.Changing = true;
  EXPECT_EQ(Write(file, first, 2, Pattern(100, 2), 0, false), TBlobStatus::Changed);
  EXPECT_EQ(file.BufferCount(), 0u);
}

TEST_F(BlobFileTest, BlobBufferTracksSizeUseAndSavedValue) {
  TBlobBuffer buffer;
  EXPECT_EQ(buffer.OpenMode(), blob::kOpenRead);
  buffer.LoadValue({'a', 'b', 'c'});
  EXPECT_FALSE(buffer.IsDirty());
  buffer.SaveBuffer();
  buffer.SetSize(3);
  EXPECT_FALSE(buffer.IsDirty()) << "the same size is no change";
  buffer.SetSize(5);
  EXPECT_TRUE(buffer.IsDirty());
  EXPECT_EQ(std::string(buffer.Buffer().begin(), buffer.Buffer().end()), std::string("abc\0\0", 5));
  EXPECT_EQ(buffer.OldSize(), 3u);

  char out[8] = {};
  struct Case {
    size_t offset, length, copied;
  };
  for (const Case& c : {Case{0, 5, 5}, Case{1, 2, 2}, Case{3, 9, 2}, Case{5, 1, 0}, Case{9, 1, 0}})
    EXPECT_EQ(buffer.GetData(c.offset, c.length, out), c.copied) << c.offset;

  buffer.LoadValue({});
  buffer.PutData(2, 3, "xyz");
  EXPECT_TRUE(buffer.IsDirty());
  EXPECT_EQ(std::string(buffer.Buffer().begin(), buffer.Buffer().end()), std::string("\0\0xyz", 5));

  buffer.DecUseCount();
  EXPECT_EQ(buffer.UseCount(), 0);
  buffer.IncUseCount();
  buffer.IncUseCount();
  buffer.DecUseCount();
  EXPECT_EQ(buffer.UseCount(), 1);
}

}  // namespace
}  // namespace cairn
