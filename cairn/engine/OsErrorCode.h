// Windows error numbers (as the host reports them) mapped onto the engine's operating-system error
// codes, CAIRN_OSENOENT ... CAIRN_OSUNKNOWN.
#pragma once

#include <cstdint>

namespace cairn {

// Sharing and lock violations (32, 33) both give CAIRN_OSEACCES, the code of access denied.
uint16_t EngineCodeFromWindowsError(int windowsError);

}  // namespace cairn
