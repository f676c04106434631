// Engine error codes, as named constants, made from the one error list.
#pragma once

#include <cstdint>

#include "cairn/error/EngineErrorList.h"

namespace cairn {

constexpr uint16_t CAIRN_NONE = 0;

#define CAIRN_ERROR_CONSTANT(code, name, text, args) constexpr uint16_t name = code;
#define CAIRN_ERROR_UNNAMED(code, text, args)
CAIRN_ENGINE_ERRORS(CAIRN_ERROR_CONSTANT, CAIRN_ERROR_UNNAMED)
#undef CAIRN_ERROR_CONSTANT
#undef CAIRN_ERROR_UNNAMED

}  // namespace cairn
