#include "cairn/engine/io/ZeroRuns.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace cairn {

namespace {

constexpr size_t kMaxToken = 128;
// Runs are looked for eight bytes at a time from where the literal starts: a run of at least 15
// zeros always fills one such word, a shorter one may stay in the literal around it (a token per
// short run would cost more to decode than the bytes it saves).
constexpr size_t kMinRun = 8;

uint64_t Load64(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

// The end of the zero bytes starting at from.
size_t ZeroRunEnd(const char* data, size_t from, size_t size) {
  while (from + 8 <= size) {
    const uint64_t word = Load64(data + from);
    if (word != 0) {
      // The first non-zero byte of the word: the lowest of a little-endian load.
      const int bit = std::endian::native == std::endian::little ? __builtin_ctzll(word)
                                                                 : __builtin_clzll(word);
      return from + static_cast<size_t>(bit / 8);
    }
    from += 8;
  }
  while (from < size && data[from] == 0) ++from;
  return from;
}

// The end of the literal starting at from (a non-zero byte within its first eight): the start of
// the first run of zeros that fills a word, or the end.
size_t LiteralEnd(const char* data, size_t from, size_t size) {
  for (size_t j = from; j + 8 <= size; j += 8) {
    if (Load64(data + j) != 0) continue;
    while (j > from && data[j - 1] == 0) --j;
    return j;
  }
  return size;
}

}  // namespace

void EncodeZeroRuns(const char* data, size_t size, std::vector<char>& out) {
  // At most one token byte for every 128 bytes beside the bytes themselves.
  out.resize(size + size / kMaxToken + 1);
  char* o = out.data();
  size_t i = 0;
  while (i < size) {
    const size_t zeros = ZeroRunEnd(data, i, size);
    if (zeros - i >= kMinRun || (zeros == size && zeros > i)) {
      for (; i < zeros; i += kMaxToken) {
        *o++ = static_cast<char>(0x7F + std::min(kMaxToken, zeros - i));
      }
      i = zeros;
      continue;
    }
    const size_t end = LiteralEnd(data, i, size);
    for (; i < end; i += kMaxToken) {
      const size_t n = std::min(kMaxToken, end - i);
      *o++ = static_cast<char>(n - 1);
      std::memcpy(o, data + i, n);
      o += n;
    }
    i = end;
  }
  out.resize(static_cast<size_t>(o - out.data()));
}

// Every byte of out is written in order, so a token may write a fixed 32 bytes (or multiples) where
// there is room: the tokens after it write the bytes beyond it again.
bool DecodeZeroRuns(const char* encoded, size_t length, char* out, size_t size) {
  static constexpr char kZeros[32] = {};
  size_t o = 0;
  for (size_t i = 0; i < length;) {
    const auto t = static_cast<uint8_t>(encoded[i++]);
    if (t >= 0x80) {
      const size_t n = t - 0x7Fu;
      if (n > size - o) return false;
      if (size - o >= 128) {
        for (size_t k = 0; k < n; k += 32) std::memcpy(out + o + k, kZeros, 32);
      } else {
        std::memset(out + o, 0, n);
      }
      o += n;
    } else {
      const size_t n = t + 1u;
      if (n > size - o || n > length - i) return false;
      if (n <= 32 && size - o >= 32 && length - i >= 32) {
        std::memcpy(out + o, encoded + i, 32);
      } else {
        std::memcpy(out + o, encoded + i, n);
      }
      o += n;
      i += n;
    }
  }
  return o == size;
}

}  // namespace cairn
