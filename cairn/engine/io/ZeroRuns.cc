#include "cairn/engine/io/ZeroRuns.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cairn {

namespace {

constexpr size_t kMaxToken = 128;
// A run of fewer zeros stays in the literal around it (a token per short run would cost more to
// decode than the bytes it saves), unless it ends the data.
constexpr size_t kMinRun = 8;
// Literals of up to this many bytes are copied as one fixed-size block where there is room.
constexpr size_t kBlock = 32;

// One bit a byte of 64 bytes at p: set where the byte is zero.
uint64_t ZeroBits64(const char* p) {
  uint64_t bits = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
    bits |= static_cast<uint64_t>(mask) << (16 * k);
  }
#else
  for (int b = 0; b < 64; ++b) bits |= static_cast<uint64_t>(p[b] == 0) << b;
#endif
  return bits;
}

// The zero bytes of the data as a bitmap, one bit a byte from the lowest; the bits beyond the size
// (up to one whole word after it) are set, so that zeros ending the data make a run of any length.
// Beside it, the bytes that start kMinRun zeros.
class TZeroMap {
 public:
  TZeroMap(const char* data, size_t size, std::vector<uint64_t>& zeros,
           std::vector<uint64_t>& starts)
      : FZeros(zeros), FStarts(starts), FSize(size) {
    const size_t full = size / 64;
    FZeros.resize(full + 2);
    FStarts.resize(full + 1);
    for (size_t w = 0; w < full; ++w) FZeros[w] = ZeroBits64(data + 64 * w);
    uint64_t last = ~uint64_t{0};
    for (size_t b = 0; b < size % 64; ++b) {
      if (data[64 * full + b] != 0) last &= ~(uint64_t{1} << b);
    }
    FZeros[full] = last;
    FZeros[full + 1] = ~uint64_t{0};
    for (size_t w = 0; w <= full; ++w) FStarts[w] = RunStarts(FZeros[w], FZeros[w + 1]);
  }

  // The first non-zero byte at or after from, or the size.
  size_t NextNonZero(size_t from) const { return Next(FZeros, from, true); }
  // The first byte at or after from that starts kMinRun zeros (counting the bytes beyond the size
  // as zeros), or the size.
  size_t NextRunStart(size_t from) const { return Next(FStarts, from, false); }

 private:
  // Bit b set when the bytes b ... b + 7 of the word (and the next one) are all zero.
  static uint64_t RunStarts(uint64_t word, uint64_t next) {
    static_assert(kMinRun == 8);
    unsigned __int128 x = word | static_cast<unsigned __int128>(next) << 64;
    x &= x >> 1;
    x &= x >> 2;
    x &= x >> 4;
    return static_cast<uint64_t>(x);
  }

  // The first byte at or after from whose bit is set (clear, if inverted), or the size.
  size_t Next(const std::vector<uint64_t>& words, size_t from, bool inverted) const {
    const uint64_t flip = inverted ? ~uint64_t{0} : 0;
    size_t w = from / 64;
    uint64_t bits = (words[w] ^ flip) & (~uint64_t{0} << (from % 64));
    while (bits == 0) {
      if (++w >= words.size()) return FSize;
      bits = words[w] ^ flip;
    }
    return std::min(w * 64 + static_cast<size_t>(std::countr_zero(bits)), FSize);
  }

  std::vector<uint64_t>& FZeros;
  std::vector<uint64_t>& FStarts;
  size_t FSize = 0;
};

}  // namespace

size_t ZeroRunsBound(size_t size) {
  // At most one token byte for every 128 bytes beside the bytes themselves, and room for a block
  // copied whole past the end.
  return size + size / kMaxToken + 1 + kBlock;
}

size_t EncodeZeroRuns(const char* data, size_t size, char* out) {
  thread_local std::vector<uint64_t> zeroWords;
  thread_local std::vector<uint64_t> startWords;
  const TZeroMap zeros(data, size, zeroWords, startWords);
  char* o = out;
  size_t i = 0;
  while (i < size) {
    if (data[i] == 0) {
      const size_t end = zeros.NextNonZero(i);
      if (end - i >= kMinRun || end == size) {
        for (; i < end; i += kMaxToken) {
          *o++ = static_cast<char>(0x7F + std::min(kMaxToken, end - i));
        }
        i = end;
        continue;
      }
    }
    const size_t end = zeros.NextRunStart(i);
    for (; i < end; i += kMaxToken) {
      const size_t n = std::min(kMaxToken, end - i);
      *o++ = static_cast<char>(n - 1);
      if (n <= kBlock && size - i >= kBlock) {
        std::memcpy(o, data + i, kBlock);
      } else {
        std::memcpy(o, data + i, n);
      }
      o += n;
    }
    i = end;
  }
  return static_cast<size_t>(o - out);
}

void EncodeZeroRuns(const char* data, size_t size, std::vector<char>& out) {
  out.resize(ZeroRunsBound(size));
  out.resize(EncodeZeroRuns(data, size, out.data()));
}

// Every byte of out is written in order, so a token may write a fixed block (a whole literal
// block, or 128 zeros) where there is room: the tokens after it write the bytes beyond it again.
bool DecodeZeroRuns(const char* encoded, size_t length, char* out, size_t size) {
  static constexpr char kZeros[kMaxToken] = {};
  size_t o = 0;
  for (size_t i = 0; i < length;) {
    const auto t = static_cast<uint8_t>(encoded[i++]);
    if (t >= 0x80) {
      const size_t n = t - 0x7Fu;
      if (n > size - o) return false;
      if (size - o >= kMaxToken) {
        std::memcpy(out + o, kZeros, kMaxToken);
      } else {
        std::memset(out + o, 0, n);
      }
      o += n;
    } else {
      const size_t n = t + 1u;
      if (n > size - o || n > length - i) return false;
      if (n <= kBlock && size - o >= kBlock && length - i >= kBlock) {
        std::memcpy(out + o, encoded + i, kBlock);
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
