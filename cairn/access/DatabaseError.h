// Raising the component layer's database errors.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "cairn/error/EngineError.h"

namespace cairn {

class TComponent;

// Fills each "%s" of a fixed text with the next argument, in order; "%%" gives "%". The
// arguments are inserted as they are, never read as formats; a "%s" without an argument left
// fills nothing. Only the layer's own fixed texts are formats.
std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> args);

// Raises EDatabaseError. With a named component the text is "<Name>: <message>".
[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);

// FormatMessage, then DatabaseError.
[[noreturn]] void DatabaseErrorFmt(std::string_view format,
                                   std::initializer_list<std::string_view> args,
                                   const TComponent* component = nullptr);

}  // namespace cairn
