// The engine's message table, made from the one error list, and the filling of its placeholders.
#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

#include "cairn/error/EngineError.h"

namespace cairn {
namespace {

struct TErrorEntry {
  uint16_t Code;
  const char* Constant;  // nullptr: the code has no constant name
  const char* Text;
  const char* Args;
};

// Sorted by code (checked below), so a lookup is a binary search.
#define CAIRN_ERROR_ENTRY(code, name, text, args) {code, #name, text, args},
#define CAIRN_ERROR_UNNAMED(code, text, args) {code, nullptr, text, args},
constexpr TErrorEntry kErrors[] = {CAIRN_ENGINE_ERRORS(CAIRN_ERROR_ENTRY, CAIRN_ERROR_UNNAMED)};
#undef CAIRN_ERROR_ENTRY
#undef CAIRN_ERROR_UNNAMED

constexpr bool SortedByCode() {
  for (size_t i = 1; i < std::size(kErrors); ++i) {
    if (kErrors[i - 1].Code >= kErrors[i].Code) return false;
  }
  return true;
}
static_assert(SortedByCode(), "the error table must be sorted by code without duplicates");

constexpr size_t kMaxErrorText = 254;
constexpr const char* kUnknownError = "An unknown error occurred";

const TErrorEntry* FindEntry(uint16_t code) {
  auto it = std::lower_bound(std::begin(kErrors), std::end(kErrors), code,
                             [](const TErrorEntry& e, uint16_t c) { return e.Code < c; });
  return it != std::end(kErrors) && it->Code == code ? it : nullptr;
}

// The value of one placeholder: a name or a number from the last-error record. An unknown letter
// fills nothing.
std::string ArgValue(char letter, const TEngineErrorContext& c) {
  // Numbers are shown as unsigned 32-bit values, as the texts' "%u" says.
  auto number = [](int32_t v) { return std::to_string(static_cast<uint32_t>(v)); };
  switch (letter) {
    case 'T':
      return c.TableName;
    case 'D':
      return c.DatabaseName;
    case 'F':
      return c.FieldName;
    case 'I':
      return c.IndexName;
    case 'R':
      return c.RemoteName;
    case 'U':
      return c.UserName;
    case 'P':
      return c.ProcedureName;
    case 'E':
      return c.EventName;
    case 'M':
      return c.Message;
    case 'L':
      return number(c.Line);
    case 'C':
      return number(c.Column);
    case 'S':
      return number(c.SessionID);
    case 'O':
      return number(c.OSErrorNumber);
  }
  return {};
}

// Fills the placeholders in order. Context values are inserted as they are, never read as format
// strings; a placeholder without a letter fills nothing.
std::string Fill(const TErrorEntry& e, const TEngineErrorContext& context) {
  std::string out;
  std::string_view text = e.Text;
  const char* arg = e.Args;
  for (size_t i = 0; i < text.size() && out.size() < kMaxErrorText; ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'u')) {
      if (*arg != '\0') out += ArgValue(*arg++, context);
      ++i;
    } else {
      out += text[i];
    }
  }
  if (out.size() > kMaxErrorText) out.resize(kMaxErrorText);
  return out;
}

}  // namespace

std::string EngineErrorString(uint16_t errorCode, const TEngineErrorContext& context) {
  const TErrorEntry* e = FindEntry(errorCode);
  return e ? Fill(*e, context) : kUnknownError;
}

std::string EngineErrorConstant(uint16_t errorCode) {
  if (errorCode == CAIRN_NONE) return "CAIRN_NONE";
  const TErrorEntry* e = FindEntry(errorCode);
  return e && e->Constant ? e->Constant : "";
}

}  // namespace cairn
