// The workloads on Cairn, through the component layer as an application uses it.
#pragma once

#include <cstdint>
#include <string>

#include "bench/Measure.h"

namespace cairn::bench {

// The engine's buffer budgets per table file, in bytes, and the most buffers of each file (0:
// the engine's default count limit).
struct TCairnBuffers {
  int32_t Data = 0;
  int32_t Index = 0;
  int32_t Blob = 0;
  int32_t Count = 0;
  int64_t Total() const { return int64_t{Data} + Index + Blob; }
};
TCairnBuffers DefaultCairnBuffers();

// W1: rows into a new Contacts table (the generator's schema), exclusive, through AppendRecord:
// per row the GUID and the twelve indexed text fields.
void CairnContacts(const std::string& directory, const TCairnBuffers& buffers, int64_t rows,
                   TMeasure& measure);
// W2: rows of (Name string 15, Value integer, Stamp date-time) into a new table "Small" with the
// automatic primary index and the index ByName on Name.
void CairnSmall(const std::string& directory, const TCairnBuffers& buffers, int64_t rows,
                TMeasure& measure);
// R1: every row of Small, in slot order (the primary index) or in the order of ByName, summing
// Value and the length of Name.
void CairnScan(const std::string& directory, const TCairnBuffers& buffers, bool byName,
               TMeasure& measure);

}  // namespace cairn::bench
