#include "cairn/host/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace cairn::host {

namespace {

// The code page as two tables, built once from ICU's converter: byte -> code point (all 256 bytes;
// the five bytes without a character map to the C1 controls of the same value, so every byte
// survives a round trip), and the non-ASCII code points sorted for the way back.
class TCodePageTables {
 public:
  TCodePageTables() {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open("windows-1252", &status);
    if (U_FAILURE(status)) throw std::runtime_error("ICU has no windows-1252 converter");
    for (int b = 0; b < 256; ++b) {
      char byte = static_cast<char>(b);
      UChar unit = 0;
      status = U_ZERO_ERROR;
      int32_t n = ucnv_toUChars(converter, &unit, 1, &byte, 1, &status);
      FToUnicode[b] = (U_SUCCESS(status) && n == 1) ? unit : static_cast<UChar>(b);
    }
    ucnv_close(converter);
    for (int b = 0x80; b < 256; ++b) FFromUnicode[b - 0x80] = {FToUnicode[b], static_cast<char>(b)};
    std::sort(FFromUnicode.begin(), FFromUnicode.end());
  }

  UChar ToUnicode(char c) const { return FToUnicode[static_cast<unsigned char>(c)]; }

  // The byte of a code point, or '?' when the code page cannot hold it.
  char FromUnicode(UChar32 c) const {
    if (c >= 0 && c < 0x80) return static_cast<char>(c);
    auto it = std::lower_bound(FFromUnicode.begin(), FFromUnicode.end(),
                               std::pair<UChar32, char>(c, '\0'),
                               [](const auto& a, const auto& b) { return a.first < b.first; });
    return (it != FFromUnicode.end() && it->first == c) ? it->second : '?';
  }

 private:
  std::array<UChar, 256> FToUnicode{};
  std::array<std::pair<UChar32, char>, 128> FFromUnicode{};
};

const TCodePageTables& Tables() {
  static const TCodePageTables tables;
  return tables;
}

struct TCaseTables {
  std::array<char, 256> Upper;
  std::array<char, 256> Lower;
};

// Letters with a case partner: ASCII, the accented Latin-1 letters (without the multiplication
// and division signs), and four pairs in the 0x80-0x9F range. Sharp s (0xDF) and micro (0xB5)
// have no upper-case form in the code page and stay as they are.
constexpr TCaseTables MakeCaseTables() {
  TCaseTables t{};
  for (int i = 0; i < 256; ++i) t.Upper[i] = t.Lower[i] = static_cast<char>(i);
  auto pair = [&t](int upper, int lower) {
    t.Upper[lower] = static_cast<char>(upper);
    t.Lower[upper] = static_cast<char>(lower);
  };
  for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 0x20);
  for (int c = 0xC0; c <= 0xDE; ++c) {
    if (c != 0xD7) pair(c, c + 0x20);
  }
  pair(0x8A, 0x9A);  // S with caron
  pair(0x8C, 0x9C);  // OE
  pair(0x8E, 0x9E);  // Z with caron
  pair(0x9F, 0xFF);  // Y with diaeresis
  return t;
}

constexpr TCaseTables kCase = MakeCaseTables();

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8) {
  // ASCII is the same in both: the run of it at the front (mostly the whole value) is taken as
  // it is, eight bytes tested at a time.
  size_t ascii = 0;
  for (; ascii + 8 <= utf8.size(); ascii += 8) {
    uint64_t word;
    std::memcpy(&word, utf8.data() + ascii, 8);
    if ((word & 0x8080808080808080ull) != 0) break;
  }
  while (ascii < utf8.size() && static_cast<unsigned char>(utf8[ascii]) < 0x80) ++ascii;
  std::string result(utf8.substr(0, ascii));
  if (ascii == utf8.size()) return result;
  const TCodePageTables& tables = Tables();
  result.reserve(utf8.size());
  const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
  int32_t length = static_cast<int32_t>(utf8.size());
  for (auto i = static_cast<int32_t>(ascii); i < length;) {
    UChar32 c;
    U8_NEXT(s, i, length, c);  // an ill-formed sequence gives c < 0 and becomes '?'
    result += tables.FromUnicode(c);
  }
  return result;
}

std::string AnsiToUtf8(std::string_view ansi) {
  // ASCII is the same in both; only the bytes from 0x80 on take more than one UTF-8 byte. Eight
  // bytes are tested at a time: field values are short and mostly ASCII.
  size_t checked = 0;
  for (; checked + 8 <= ansi.size(); checked += 8) {
    uint64_t word;
    std::memcpy(&word, ansi.data() + checked, 8);
    if ((word & 0x8080808080808080ull) != 0) break;
  }
  const auto ascii = std::find_if(ansi.begin() + static_cast<ptrdiff_t>(checked), ansi.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  std::string result(ansi.begin(), ascii);
  if (ascii == ansi.end()) return result;
  const std::string_view rest(ascii, ansi.end());
  const TCodePageTables& tables = Tables();
  result.reserve(ansi.size() * 3);
  for (char byte : rest) {
    uint8_t encoded[U8_MAX_LENGTH];
    int32_t n = 0;
    U8_APPEND_UNSAFE(encoded, n, tables.ToUnicode(byte));
    result.append(reinterpret_cast<const char*>(encoded), n);
  }
  return result;
}

char16_t AnsiCharToUnicode(char c) {
  return Tables().ToUnicode(c);
}

char UnicodeToAnsiChar(char32_t c) {
  return c > 0x10FFFF ? '?' : Tables().FromUnicode(static_cast<UChar32>(c));
}

char AnsiUpperChar(char c) {
  return kCase.Upper[static_cast<unsigned char>(c)];
}

char AnsiLowerChar(char c) {
  return kCase.Lower[static_cast<unsigned char>(c)];
}

std::string AnsiUpperCase(std::string_view s) {
  std::string result(s);
  for (char& c : result) c = AnsiUpperChar(c);
  return result;
}

std::string AnsiLowerCase(std::string_view s) {
  std::string result(s);
  for (char& c : result) c = AnsiLowerChar(c);
  return result;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(AnsiUpperChar(a[i]));
    auto y = static_cast<unsigned char>(AnsiUpperChar(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace cairn::host
