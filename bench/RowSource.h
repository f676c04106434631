// The rows every workload writes: one xorshift64 sequence (seed 88172645463325252, shifts 13, 7,
// 17), so that Cairn and SQLite receive exactly the same values in the same order.
#pragma once

#include <cstdint>
#include <string>

namespace cairn::bench {

class TRowSource {
 public:
  uint64_t Next() {
    FState ^= FState << 13;
    FState ^= FState >> 7;
    FState ^= FState << 17;
    return FState;
  }
  // 6 to 15 lower-case letters.
  void Word(std::string& word) {
    word.resize(6 + Next() % 10);
    for (char& c : word) c = static_cast<char>('a' + Next() % 26);
  }
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hex.
  void Guid(std::string& guid) {
    static const char* const hex = "0123456789ABCDEF";
    guid = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    uint64_t bits = Next();
    int left = 16;
    for (char& c : guid) {
      if (c != 'X') continue;
      if (left == 0) bits = Next(), left = 16;
      c = hex[bits & 15];
      bits >>= 4;
      --left;
    }
  }
  int32_t Integer() { return static_cast<int32_t>(Next() >> 33); }
  // Days since 1899-12-30 between 1990 and 2045, whole milliseconds.
  double DateTime() {
    return 32874.0 + static_cast<double>(Next() % (20000ull * 86400000)) / 86400000.0;
  }

 private:
  uint64_t FState = 88172645463325252ull;
};

}  // namespace cairn::bench
