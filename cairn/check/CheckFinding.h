// One thing the table verifier found wrong: where it is and what it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cairn {

struct TCheckFinding {
  std::string Table;   // the table's name without extension ("Events")
  std::string File;    // the file's name ("Events.idx", "cairn.lck")
  int64_t Offset = 0;  // byte offset in that file where the damage shows
  std::string Text;

  // "Events  Events.idx  offset 25088: text"
  std::string ToString() const {
    return Table + "  " + File + "  offset " + std::to_string(Offset) + ": " + Text;
  }
};

using TCheckFindings = std::vector<TCheckFinding>;

}  // namespace cairn
