// The engine version every component of the engine layer reports.
#pragma once

namespace cairn {

inline constexpr const char* kEngineVersion = "4.00 Build 1";

}  // namespace cairn
