#include <gtest/gtest.h>

#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "cairn/engine/DataEngine.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/PeakMemory.h"

namespace cairn {
namespace {

using test::EngineErrorCode;

class DataEngineCompressionTest : public ::testing::Test {
 protected:
  std::vector<char> Compress(const std::string& text, int level) {
    return FEngine.Compress(text.data(), text.size(), level);
  }
  std::string Decompress(const std::vector<char>& stream, size_t maxBytes = kMaxDecompressedSize) {
    std::vector<char> out = FEngine.Decompress(stream.data(), stream.size(), maxBytes);
    return std::string(out.begin(), out.end());
  }

  TDataEngine FEngine;
};

std::string SampleText() {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "Meeting room " + std::to_string(i % 37) + "; ";
  return text;
}

TEST_F(DataEngineCompressionTest, RoundTripsAtEveryLevelAsOneZlibStream) {
  const std::string text = SampleText();
  for (int level : {1, 9}) {
    std::vector<char> stream = Compress(text, level);
    EXPECT_LT(stream.size(), text.size() / 4) << level;
    // One plain zlib stream: zlib itself reads it back.
    std::vector<char> plain(text.size());
    uLongf size = plain.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(plain.data()), &size,
                         reinterpret_cast<const Bytef*>(stream.data()), stream.size()),
              Z_OK);
    EXPECT_EQ(std::string(plain.data(), size), text);
    EXPECT_EQ(Decompress(stream), text) << level;
  }
  EXPECT_EQ(Decompress(Compress("", 6)), "");
}

TEST_F(DataEngineCompressionTest, LevelsOutsideOneToNineRaise15001) {
  for (int level : {-1, 0, 10})
    EXPECT_EQ(EngineErrorCode([&] { Compress("abc", level); }), CAIRN_COMPRESS) << level;
}

TEST_F(DataEngineCompressionTest, DamagedStreamsRaise15002) {
  const std::vector<char> good = Compress(SampleText(), 6);
  std::vector<char> flipped = good;
  flipped[good.size() / 2] ^= 0x55;
  std::vector<char> truncated(good.begin(), good.end() - 6);
  std::vector<char> trailing = good;
  trailing.push_back('x');
  const std::pair<const char*, std::vector<char>> cases[] = {
      {"empty", {}},
      {"not zlib", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
      {"flipped byte", flipped},
      {"truncated", truncated},
      {"bytes after the stream", trailing},
  };
  for (const auto& [name, stream] : cases)
    EXPECT_EQ(EngineErrorCode([&] { Decompress(stream); }), CAIRN_UNCOMPRESS) << name;
}

TEST_F(DataEngineCompressionTest, InflatingBeyondTheCapRaises15002) {
  const std::vector<char> bomb = Compress(std::string(1 << 20, '\0'), 9);
  EXPECT_LT(bomb.size(), 2000u);
  EXPECT_EQ(EngineErrorCode([&] { Decompress(bomb, 1000); }), CAIRN_UNCOMPRESS);
  EXPECT_EQ(Decompress(bomb, 1 << 20).size(), size_t{1} << 20);  // exactly at the cap is fine
}

// How far a stream inflates is known only by inflating it. Memory must follow the real size, and
// a stream that runs past the cap must fail before anything of its size is allocated.
TEST_F(DataEngineCompressionTest, InflatingCostsTheRealSizeOnceAndNothingPastTheCap) {
  constexpr size_t kSize = size_t{16} << 20;
  const std::vector<char> stream = Compress(std::string(kSize, '\0'), 6);
  // The same paths on a small stream, once through and once past its cap.
  const std::vector<char> small = Compress(SampleText(), 6);
  const auto warmUp = [&] {
    FEngine.Decompress(small.data(), small.size());
    FEngine.Decompress(small.data(), small.size(), 10);
  };
  const test::TPeakMemory fits = test::MeasurePeakMemory(
      [&] {
        if (FEngine.Decompress(stream.data(), stream.size()).size() != kSize) {
          throw std::runtime_error("wrong size");
        }
      },
      warmUp);
  EXPECT_TRUE(fits.Completed);
  EXPECT_GE(fits.GrowthBytes, static_cast<int64_t>(kSize) / 2) << "the measure sees the value";
  EXPECT_LT(fits.GrowthBytes, static_cast<int64_t>(kSize + kSize / 4));

  const test::TPeakMemory past = test::MeasurePeakMemory(
      [&] { FEngine.Decompress(stream.data(), stream.size(), kSize - 1); }, warmUp);
  EXPECT_EQ(past.ErrorCode, CAIRN_UNCOMPRESS);
  EXPECT_GE(past.GrowthBytes, 0);
  EXPECT_LT(past.GrowthBytes, 4 * test::kMiB);
}

TEST_F(DataEngineCompressionTest, HooksReplaceZlibAndTheirFailuresRaise) {
  int compressCalls = 0;
  FEngine.SetCompressHook([&](std::string_view in, int level, std::vector<char>& out) {
    ++compressCalls;
    out.assign(in.rbegin(), in.rend());
    out.push_back(static_cast<char>('0' + level));
    return true;
  });
  FEngine.SetDecompressHook([](std::string_view in, std::vector<char>& out) {
    if (in.empty()) throw std::runtime_error("nothing to read");
    out.assign(in.rbegin() + 1, in.rend());
    return in.back() != '0';
  });
  std::vector<char> stream = Compress("abc", 3);
  EXPECT_EQ(std::string(stream.begin(), stream.end()), "cba3");
  EXPECT_EQ(compressCalls, 1);
  EXPECT_EQ(Decompress(stream), "abc");
  EXPECT_EQ(EngineErrorCode([&] { Decompress({'x', '0'}); }), CAIRN_UNCOMPRESS);  // hook says no
  EXPECT_EQ(EngineErrorCode([&] { Decompress({}); }), CAIRN_UNCOMPRESS);          // hook throws

  FEngine.SetCompressHook(
      [](std::string_view, int, std::vector<char>&) -> bool { throw std::bad_alloc(); });
  EXPECT_EQ(EngineErrorCode([&] { Compress("abc", 5); }), CAIRN_COMPRESS);
}

}  // namespace
}  // namespace cairn
