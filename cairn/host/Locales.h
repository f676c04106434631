// Windows locale identifiers (LCIDs) over ICU.
//
// Locale 0 is the built-in "ANSI Standard": comparison by unsigned byte value, case mapping by the
// Windows-1252 tables. Any other LCID maps to an ICU locale through a table of our own; it is
// valid ("installed") when ICU opens a collator for it without falling back to the root locale,
// that is when the collator's valid locale (ULOC_VALID_LOCALE) is neither empty nor "root"; an
// LCID the table does not know is never valid. Strings passed in and out are 8-bit Windows-1252
// strings. A locale that is not valid compares and maps case like locale 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cairn::host {

struct TLocaleInfo {
  uint32_t Id = 0;
  std::string Name;       // "English (United States)"
  std::string ShortName;  // "ENU"
};

// The table's locales that are valid on this host, in table order (without locale 0).
std::vector<TLocaleInfo> SystemLocales();
// True for 0 and for a table locale that is valid on this host.
bool IsInstalledLocale(uint32_t lcid);
// The ICU locale name of an LCID ("en_US"), empty when the table does not know it.
std::string IcuLocaleName(uint32_t lcid);

// Locale-aware comparison (string sort, ignoring non-spacing marks: accents ignored, case kept,
// punctuation not ignored). Returns <0, 0 or >0. Locale 0 compares bytes.
int CompareLocaleStrings(uint32_t lcid, std::string_view a, std::string_view b);
// Linguistic upper / lower case in a locale; locale 0 uses the Windows-1252 tables. The mapping
// is character by character, so the result has the length of s: a character whose mapping is not
// one character of the code page (sharp s to "SS", Turkish i to a dotted capital) takes the
// Windows-1252 table's mapping instead of becoming '?'.
std::string LocaleUpperCase(uint32_t lcid, std::string_view s);
std::string LocaleLowerCase(uint32_t lcid, std::string_view s);

}  // namespace cairn::host
