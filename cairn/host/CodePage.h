// The system's 8-bit code page, Windows-1252, and its case mapping.
//
// Engine strings are 8-bit strings in Windows-1252; the component layer's strings are UTF-8. A
// character that Windows-1252 cannot hold becomes "?".
#pragma once

#include <string>
#include <string_view>

namespace cairn::host {

std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);
// One character: the code point of a code-page byte (the five bytes without a character give the
// C1 control of the same value, so every byte round-trips), and the byte of a code point ('?' when
// the code page cannot hold it).
char16_t AnsiCharToUnicode(char c);
char UnicodeToAnsiChar(char32_t c);

// Windows-1252 case mapping (ASCII letters, the accented Latin-1 letters, and the pairs
// S/s with caron, OE/oe, Z/z with caron, Y/y with diaeresis).
char AnsiUpperChar(char c);
char AnsiLowerChar(char c);
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);

// Comparison without regard to case: both sides upper-cased, then compared by unsigned byte.
// Returns <0, 0 or >0.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);

// Letter tests used by the name rules: an ASCII letter A-Z or a-z.
bool IsAsciiLetter(char c);

}  // namespace cairn::host
