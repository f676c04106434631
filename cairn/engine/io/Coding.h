// Byte coding shared by every on-disk structure of the engine.
//
// All file structures are little-endian and packed. Index keys alone are big-endian so that a
// plain byte comparison orders them. Header strings are length-prefixed: one length byte, then up
// to a fixed number of 8-bit characters, the rest of the area zero.
//
// Every encoder writes into a caller-owned area whose size the caller has checked; every decoder
// of a length-prefixed string clamps the stored length to the area, so a damaged length byte can
// never make a reader run past its area.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace cairn {

inline void EncodeFixed16(char* dst, uint16_t value) {
  dst[0] = static_cast<char>(value & 0xff);
  dst[1] = static_cast<char>((value >> 8) & 0xff);
}

inline void EncodeFixed32(char* dst, uint32_t value) {
  for (int i = 0; i < 4; ++i) dst[i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

inline void EncodeFixed64(char* dst, uint64_t value) {
  for (int i = 0; i < 8; ++i) dst[i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

inline uint16_t DecodeFixed16(const char* src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t DecodeFixed32(const char* src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t DecodeFixed64(const char* src) {
  uint64_t value = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

inline void EncodeInt16(char* dst, int16_t value) {
  EncodeFixed16(dst, static_cast<uint16_t>(value));
}
inline void EncodeInt32(char* dst, int32_t value) {
  EncodeFixed32(dst, static_cast<uint32_t>(value));
}
inline void EncodeInt64(char* dst, int64_t value) {
  EncodeFixed64(dst, static_cast<uint64_t>(value));
}
inline int16_t DecodeInt16(const char* src) {
  return static_cast<int16_t>(DecodeFixed16(src));
}
inline int32_t DecodeInt32(const char* src) {
  return static_cast<int32_t>(DecodeFixed32(src));
}
inline int64_t DecodeInt64(const char* src) {
  return static_cast<int64_t>(DecodeFixed64(src));
}

// IEEE 754 double, little-endian.
inline void EncodeDouble(char* dst, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  EncodeFixed64(dst, bits);
}

inline double DecodeDouble(const char* src) {
  uint64_t bits = DecodeFixed64(src);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Big-endian forms, used only for the parts of index keys.
inline void EncodeBigEndian16(char* dst, uint16_t value) {
  dst[0] = static_cast<char>((value >> 8) & 0xff);
  dst[1] = static_cast<char>(value & 0xff);
}

inline void EncodeBigEndian32(char* dst, uint32_t value) {
  for (int i = 0; i < 4; ++i) dst[i] = static_cast<char>((value >> (8 * (3 - i))) & 0xff);
}

inline void EncodeBigEndian64(char* dst, uint64_t value) {
  for (int i = 0; i < 8; ++i) dst[i] = static_cast<char>((value >> (8 * (7 - i))) & 0xff);
}

inline uint16_t DecodeBigEndian16(const char* src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t DecodeBigEndian32(const char* src) {
  uint32_t value = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  for (int i = 0; i < 4; ++i) value = (value << 8) | p[i];
  return value;
}

inline uint64_t DecodeBigEndian64(const char* src) {
  uint64_t value = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  for (int i = 0; i < 8; ++i) value = (value << 8) | p[i];
  return value;
}

// A length-prefixed string in an area of 1 + maxChars bytes: the text is cut to maxChars
// (and to 255) characters, the rest of the area is zeroed.
inline void EncodeShortString(char* area, size_t maxChars, std::string_view text) {
  size_t limit = maxChars < 255 ? maxChars : 255;
  size_t length = text.size() < limit ? text.size() : limit;
  std::memset(area, 0, 1 + maxChars);
  area[0] = static_cast<char>(length);
  std::memcpy(area + 1, text.data(), length);
}

// Reads a length-prefixed string from an area of 1 + maxChars bytes. A stored length beyond
// the area is clamped to it.
inline std::string DecodeShortString(const char* area, size_t maxChars) {
  size_t length = static_cast<unsigned char>(area[0]);
  if (length > maxChars) length = maxChars;
  return std::string(area + 1, length);
}

// True when the stored length byte fits the area (a check for damaged headers).
inline bool ShortStringLengthValid(const char* area, size_t maxChars) {
  return static_cast<unsigned char>(area[0]) <= maxChars;
}

}  // namespace cairn
