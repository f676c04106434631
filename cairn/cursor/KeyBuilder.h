// The keys of a record for one index, and their order.
//
// Key layout (KeySize bytes, all big-endian so that unsigned byte order is value order):
//
//   +------+----------------+------+----------------+-----+--------------------------+
//   | flag | value (v)      | flag | value (v)      | ... | RecordID (non-unique: 4) |
//   +------+----------------+------+----------------+-----+--------------------------+
//
// flag is 1 for a present value, 0 for null (whose value bytes are the key form of zero bytes).
// Value forms by type code:
//   1 string            the zero-terminated text, zero-padded; upper case in a case-insensitive
//                       index (under the table's locale)
//   2, 6, 10, RecordID  4 bytes, top bit inverted        5       2 bytes, top bit inverted
//   4, 12               2 bytes unchanged                18      8 bytes, top bit inverted
//   8 BCD               the money value (x 10000, rounded) as 8 bytes, top bit inverted
//   7, 11               the double's bits; top bit set when >= 0, all bits inverted when < 0
//   other               the stored bytes unchanged
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/engine/index/KeyComparer.h"

namespace cairn {

class TEngineServices;

class TKeyBuilder {
 public:
  // Position 255 stands for no index.
  static constexpr int kNoIndex = 255;

  // Takes the parameters of an index: its definition, the table's fields and locale. The engine
  // validates the locale for comparisons.
  void Load(TEngineServices& engine, int pos, const TIndexDefinition& definition,
            const std::vector<TFieldDefinition>& fields, uint32_t localeId);
  // No index: size 0, no key fields.
  void Clear();

  int Pos() const { return FPos; }
  const TIndexDefinition& Definition() const { return FDefinition; }
  size_t KeySize() const { return FKeySize; }
  bool Unique() const { return FDefinition.KeyUnique; }
  const TKeyComparer& Comparer() const { return *FComparer; }

  // Builds the key of a record buffer into key (KeySize bytes).
  void Build(const char* record, char* key) const;
  // -1, 0 or +1 over the first n bytes.
  int Compare(const char* a, const char* b, size_t n) const { return FComparer->Compare(a, b, n); }

 private:
  void EncodeValue(const TFieldDefinition& field, const char* value, char* out) const;

  int FPos = kNoIndex;
  TIndexDefinition FDefinition;
  std::vector<const TFieldDefinition*> FKeyFields;
  size_t FKeySize = 0;
  uint32_t FLocaleId = 0;
  std::optional<TKeyComparer> FComparer;
};

}  // namespace cairn
