// The version byte every table file header carries.
#pragma once

#include <cstdint>

namespace cairn {

// The version of the table files this engine writes.
inline constexpr uint8_t kFileVersion = 6;

// Whether a table file of this version is one this engine knows (its own or an older one).
inline constexpr bool ValidFileVersion(uint8_t version) {
  return version <= kFileVersion;
}

}  // namespace cairn
