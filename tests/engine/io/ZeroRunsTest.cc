#include "cairn/engine/io/ZeroRuns.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace cairn {
namespace {

std::string RoundTrip(const std::string& data, size_t* encodedSize = nullptr) {
  std::vector<char> encoded;
  EncodeZeroRuns(data.data(), data.size(), encoded);
  if (encodedSize) *encodedSize = encoded.size();
  // Decoded into a larger buffer's front, so that nothing beyond the size is written on the way.
  std::string out(data.size() + 64, '\x55');
  EXPECT_TRUE(DecodeZeroRuns(encoded.data(), encoded.size(), out.data(), data.size()));
  EXPECT_EQ(out.substr(data.size()), std::string(64, '\x55')) << "written beyond the size";
  return out.substr(0, data.size());
}

std::string Zeros(size_t n) {
  return std::string(n, '\0');
}

// Shapes around the token limits (128 bytes), the run detection (a word of zeros) and the ends.
TEST(ZeroRunsTest, EveryShapeComesBackExactly) {
  const std::string text = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::vector<std::string> cases = {
      "",
      "x",
      Zeros(1),
      Zeros(7),
      Zeros(8),
      Zeros(4096),
      std::string(300, 'q'),
      "ab" + Zeros(2) + "cd" + Zeros(1) + "e",
      text + Zeros(129) + text + Zeros(3),
      Zeros(5) + text + Zeros(15) + "z" + Zeros(255) + "y" + Zeros(6),
      std::string(127, 'a') + Zeros(128) + std::string(129, 'b') + Zeros(257),
  };
  std::mt19937 random(11);
  for (int i = 0; i < 200; ++i) {
    // Key-like: short words in long zero padding, record numbers with zero bytes among them.
    std::string data;
    const size_t size = 1 + random() % 5000;
    while (data.size() < size) {
      if (random() % 2) {
        data += Zeros(random() % 300);
      } else {
        for (size_t n = random() % 40; n > 0; --n)
          data += static_cast<char>(random() % 3 ? random() : 0);
      }
    }
    data.resize(size);
    cases.push_back(data);
  }
  for (const std::string& data : cases) {
    size_t encodedSize = 0;
    EXPECT_EQ(RoundTrip(data, &encodedSize), data);
    EXPECT_LE(encodedSize, data.size() + data.size() / 128 + 1);
  }
  size_t padded = 0;
  RoundTrip("word" + Zeros(4000) + "tail", &padded);
  EXPECT_LT(padded, 50u);
}

// Runs are found through a bitmap of 64-byte words: runs of 7 to 9 zeros placed across a word's
// end, in data of sizes around the word size, come back exactly, and only runs of at least 8 are
// cut (or a shorter one that ends the data).
TEST(ZeroRunsTest, RunsAcrossWordEndsAreFoundExactly) {
  for (size_t size : {63u, 64u, 65u, 127u, 128u, 130u, 200u}) {
    for (size_t at = 50; at < 75 && at < size; ++at) {
      for (size_t run = 7; run <= 9; ++run) {
        std::string data(size, 'k');
        const size_t end = std::min(size, at + run);
        for (size_t i = at; i < end; ++i) data[i] = '\0';
        size_t encodedSize = 0;
        ASSERT_EQ(RoundTrip(data, &encodedSize), data) << size << " " << at << " " << run;
        // A literal of n bytes takes a token for every 128; a cut run of up to 9 zeros one.
        const auto literal = [](size_t n) { return n + (n + 127) / 128; };
        const bool cut = end - at >= 8 || end == size;
        const size_t expected = cut ? literal(at) + 1 + literal(size - end) : literal(size);
        EXPECT_EQ(encodedSize, expected) << size << " " << at << " " << run;
      }
    }
  }
}

// The encoder may write ahead of its encoding, never beyond the room it names.
TEST(ZeroRunsTest, EncodingStaysWithinTheBound) {
  std::mt19937 random(7);
  for (int i = 0; i < 100; ++i) {
    std::string data(1 + random() % 3000, '\0');
    for (char& c : data) c = random() % 4 ? 0 : static_cast<char>(1 + random() % 255);
    std::vector<char> out(ZeroRunsBound(data.size()) + 64, '\x55');
    const size_t length = EncodeZeroRuns(data.data(), data.size(), out.data());
    EXPECT_LE(length, data.size() + data.size() / 128 + 1);
    EXPECT_EQ(std::string(out.end() - 64, out.end()), std::string(64, '\x55'));
    std::string back(data.size(), '\x55');
    ASSERT_TRUE(DecodeZeroRuns(out.data(), length, back.data(), back.size()));
    EXPECT_EQ(back, data);
  }
}

TEST(ZeroRunsTest, EncodingsThatDoNotMakeTheSizeAreRejected) {
  const std::string data = "abc" + Zeros(200) + "def";
  std::vector<char> encoded;
  EncodeZeroRuns(data.data(), data.size(), encoded);
  std::string out(data.size() + 64, '\0');
  // Too short, too long, a literal running past the encoding, a run past the size.
  EXPECT_FALSE(DecodeZeroRuns(encoded.data(), encoded.size() - 1, out.data(), data.size()));
  EXPECT_FALSE(DecodeZeroRuns(encoded.data(), encoded.size(), out.data(), data.size() - 1));
  EXPECT_FALSE(DecodeZeroRuns(encoded.data(), encoded.size(), out.data(), data.size() + 1));
  const char literal[] = {10, 'a', 'b'};
  EXPECT_FALSE(DecodeZeroRuns(literal, sizeof literal, out.data(), 11));
  const char run[] = {static_cast<char>(0xFF)};
  EXPECT_FALSE(DecodeZeroRuns(run, sizeof run, out.data(), 100));
}

}  // namespace
}  // namespace cairn
