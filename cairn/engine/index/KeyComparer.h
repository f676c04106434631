// The order of one index's keys.
//
// A key is the parts of its key fields in order, each a null-flag byte followed by v bytes of the
// field's order-preserving value (v = 8 for BCD, the field's DataSize otherwise: 4 for RecordID,
// 16 for RecordHash), then, for a non-unique index, the 4-byte RecordID suffix. Parts compare as
// unsigned bytes, the sign reversed for a descending key field. Under a non-zero locale a string
// part compares its null flags, then its texts with the locale's collation (reversed when
// descending). Bytes left after the last part (the RecordID suffix) compare as unsigned bytes and
// are never reversed, so equal field values keep their posting order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/index/IndexDefinition.h"

namespace cairn {

class TEngineServices;

class TKeyComparer {
 public:
  struct TPart {
    uint16_t ValueLength = 0;  // v: the part is v + 1 bytes
    bool Descending = false;
    bool LocaleText = false;  // a string compared under the locale
  };

  // Raises CAIRN_INVALIDIDXDESC through the engine when a key field is neither a field of the
  // table nor RecordID or RecordHash.
  TKeyComparer(TEngineServices& engine, const TIndexDefinition& definition,
               const std::vector<TFieldDefinition>& fields, uint32_t localeId);

  // Compares the first n bytes of two keys; -1, 0 or +1. n is KeySize for whole keys. Inline
  // for the plain case: page searches call it for every probe.
  int Compare(const char* a, const char* b, size_t n) const {
    if (FPlainBytes) {
      // The first eight bytes as one big-endian number order as the bytes do, and mostly decide.
      if (n >= 8) {
        uint64_t x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y) return CompareBigEndian(x, y);
        a += 8;
        b += 8;
        n -= 8;
      } else if (n >= 4) {
        // A short key (a RecordID's five bytes) as two overlapping four-byte numbers: where the
        // first are equal, the first difference lies in the second.
        uint32_t x, y;
        std::memcpy(&x, a, 4);
        std::memcpy(&y, b, 4);
        if (x != y) return CompareBigEndian(x, y);
        std::memcpy(&x, a + n - 4, 4);
        std::memcpy(&y, b + n - 4, 4);
        return x == y ? 0 : CompareBigEndian(x, y);
      }
      const int c = std::memcmp(a, b, n);
      return (c > 0) - (c < 0);
    }
    return CompareParts(a, b, n);
  }

  size_t KeySize() const { return FKeySize; }
  // The bytes the key fields take, without a RecordID suffix.
  size_t PartsSize() const;
  const std::vector<TPart>& Parts() const { return FParts; }

  // v of a key field: 8 for BCD, the data size otherwise.
  static uint16_t KeyValueLength(const TFieldDefinition& field);
  // The definition of a key field number (RecordID and RecordHash included), or null.
  static const TFieldDefinition* FindKeyField(const std::vector<TFieldDefinition>& fields,
                                              uint16_t fieldNum);

 private:
  // Two unequal numbers loaded from key bytes, ordered as those bytes.
  static int CompareBigEndian(uint64_t x, uint64_t y) {
    if constexpr (std::endian::native == std::endian::little) {
      x = __builtin_bswap64(x);
      y = __builtin_bswap64(y);
    }
    return x < y ? -1 : 1;
  }
  static int CompareBigEndian(uint32_t x, uint32_t y) {
    if constexpr (std::endian::native == std::endian::little) {
      x = __builtin_bswap32(x);
      y = __builtin_bswap32(y);
    }
    return x < y ? -1 : 1;
  }
  int CompareParts(const char* a, const char* b, size_t n) const;
  int CompareText(const char* a, const char* b, size_t length) const;

  std::vector<TPart> FParts;
  // No part descending or compared under the locale: the parts and the suffix then order as one
  // run of unsigned bytes.
  bool FPlainBytes = true;
  size_t FKeySize;
  uint32_t FLocaleId;
};

}  // namespace cairn
