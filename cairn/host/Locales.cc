#include "cairn/host/Locales.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "cairn/host/CodePage.h"

namespace cairn::host {

namespace {

struct TLocaleEntry {
  uint32_t Id;
  const char* IcuName;
  const char* Name;  // Windows-1252
  const char* ShortName;
};

// Windows locale identifiers and their ICU counterparts. Names are the English names and
// three-letter abbreviations Windows gives these locales.
constexpr TLocaleEntry kLocales[] = {
    {1025, "ar_SA", "Arabic (Saudi Arabia)", "ARA"},
    {1026, "bg_BG", "Bulgarian (Bulgaria)", "BGR"},
    {1027, "ca_ES", "Catalan (Catalan)", "CAT"},
    {1028, "zh_TW", "Chinese (Taiwan)", "CHT"},
    {1029, "cs_CZ", "Czech (Czech Republic)", "CSY"},
    {1030, "da_DK", "Danish (Denmark)", "DAN"},
    {1031, "de_DE", "German (Germany)", "DEU"},
    {1032, "el_GR", "Greek (Greece)", "ELL"},
    {1033, "en_US", "English (United States)", "ENU"},
    {1034, "es_ES@collation=traditional", "Spanish (Spain, Traditional Sort)", "ESP"},
    {1035, "fi_FI", "Finnish (Finland)", "FIN"},
    {1036, "fr_FR", "French (France)", "FRA"},
    {1037, "he_IL", "Hebrew (Israel)", "HEB"},
    {1038, "hu_HU", "Hungarian (Hungary)", "HUN"},
    {1039, "is_IS", "Icelandic (Iceland)", "ISL"},
    {1040, "it_IT", "Italian (Italy)", "ITA"},
    {1041, "ja_JP", "Japanese (Japan)", "JPN"},
    {1042, "ko_KR", "Korean (Korea)", "KOR"},
    {1043, "nl_NL", "Dutch (Netherlands)", "NLD"},
    {1044, "nb_NO", "Norwegian, Bokm\xE5l (Norway)", "NOR"},
    {1045, "pl_PL", "Polish (Poland)", "PLK"},
    {1046, "pt_BR", "Portuguese (Brazil)", "PTB"},
    {1048, "ro_RO", "Romanian (Romania)", "ROM"},
    {1049, "ru_RU", "Russian (Russia)", "RUS"},
    {1050, "hr_HR", "Croatian (Croatia)", "HRV"},
    {1051, "sk_SK", "Slovak (Slovakia)", "SKY"},
    {1053, "sv_SE", "Swedish (Sweden)", "SVE"},
    {1054, "th_TH", "Thai (Thailand)", "THA"},
    {1055, "tr_TR", "Turkish (Turkey)", "TRK"},
    {1057, "id_ID", "Indonesian (Indonesia)", "IND"},
    {1058, "uk_UA", "Ukrainian (Ukraine)", "UKR"},
    {1060, "sl_SI", "Slovenian (Slovenia)", "SLV"},
    {1061, "et_EE", "Estonian (Estonia)", "ETI"},
    {1062, "lv_LV", "Latvian (Latvia)", "LVI"},
    {1063, "lt_LT", "Lithuanian (Lithuania)", "LTH"},
    {1066, "vi_VN", "Vietnamese (Vietnam)", "VIT"},
    {1069, "eu_ES", "Basque (Basque)", "EUQ"},
    {1081, "hi_IN", "Hindi (India)", "HIN"},
    {1086, "ms_MY", "Malay (Malaysia)", "MSL"},
    {2052, "zh_CN", "Chinese (People's Republic of China)", "CHS"},
    {2055, "de_CH", "German (Switzerland)", "DES"},
    {2057, "en_GB", "English (United Kingdom)", "ENG"},
    {2058, "es_MX", "Spanish (Mexico)", "ESM"},
    {2060, "fr_BE", "French (Belgium)", "FRB"},
    {2067, "nl_BE", "Dutch (Belgium)", "NLB"},
    {2070, "pt_PT", "Portuguese (Portugal)", "PTG"},
    {2077, "sv_FI", "Swedish (Finland)", "SVF"},
    {3079, "de_AT", "German (Austria)", "DEA"},
    {3081, "en_AU", "English (Australia)", "ENA"},
    {3082, "es_ES", "Spanish (Spain, International Sort)", "ESN"},
    {3084, "fr_CA", "French (Canada)", "FRC"},
    {4103, "de_LU", "German (Luxembourg)", "DEL"},
    {4105, "en_CA", "English (Canada)", "ENC"},
    {4108, "fr_CH", "French (Switzerland)", "FRS"},
    {5129, "en_NZ", "English (New Zealand)", "ENZ"},
    {6153, "en_IE", "English (Ireland)", "ENI"},
    {7177, "en_ZA", "English (South Africa)", "ENS"},
};

const TLocaleEntry* FindEntry(uint32_t lcid) {
  for (const TLocaleEntry& entry : kLocales) {
    if (entry.Id == lcid) return &entry;
  }
  return nullptr;
}

struct TCollatorCloser {
  void operator()(UCollator* collator) const { ucol_close(collator); }
};

// What one table locale gives on this host, worked out once: its collator (none when ICU has no
// data of its own for it) and its case tables.
struct TLocaleData {
  std::unique_ptr<UCollator, TCollatorCloser> Collator;
  std::array<char, 256> Upper{};
  std::array<char, 256> Lower{};
};

// A locale is valid when ICU's collator for it rests on data for that locale (or its language)
// rather than falling back to the root locale: en_US and de_DE are valid, a name ICU does not
// know is not.
std::unique_ptr<UCollator, TCollatorCloser> OpenCollator(const char* icuName) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCollator, TCollatorCloser> collator(ucol_open(icuName, &status));
  if (U_FAILURE(status) || !collator) return nullptr;
  const char* valid = ucol_getLocaleByType(collator.get(), ULOC_VALID_LOCALE, &status);
  if (U_FAILURE(status) || valid == nullptr || *valid == '\0' || std::strcmp(valid, "root") == 0)
    return nullptr;
  // Accents are ignored, case is kept, and punctuation takes part in the comparison.
  ucol_setStrength(collator.get(), UCOL_PRIMARY);
  ucol_setAttribute(collator.get(), UCOL_CASE_LEVEL, UCOL_ON, &status);
  ucol_setAttribute(collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  if (U_FAILURE(status)) return nullptr;
  return collator;
}

// Case mapping works character by character so that a text keeps its length (the engine maps
// into fixed-size areas). Where the locale's mapping of a character is not one character the
// code page holds (German sharp s to "SS", Turkish i to dotted capital I), the code page's own
// mapping is used instead, so that no character is lost to '?'.
char MapChar(char c, const char* icuName, bool upper) {
  UChar source = AnsiCharToUnicode(c);
  UChar target[4];
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = upper ? u_strToUpper(target, 4, &source, 1, icuName, &status)
                    : u_strToLower(target, 4, &source, 1, icuName, &status);
  char fallback = upper ? AnsiUpperChar(c) : AnsiLowerChar(c);
  if (U_FAILURE(status) || n != 1) return fallback;
  char mapped = UnicodeToAnsiChar(target[0]);
  return (mapped == '?' && target[0] != u'?') ? fallback : mapped;
}

std::unique_ptr<TLocaleData> MakeLocaleData(const TLocaleEntry& entry) {
  auto data = std::make_unique<TLocaleData>();
  data->Collator = OpenCollator(entry.IcuName);
  if (!data->Collator) return data;
  for (int b = 0; b < 256; ++b) {
    data->Upper[b] = MapChar(static_cast<char>(b), entry.IcuName, true);
    data->Lower[b] = MapChar(static_cast<char>(b), entry.IcuName, false);
  }
  return data;
}

// The locale data of the table's locales, made on first use. Collators are used under the cache's
// lock, since one collator serves every thread.
class TLocaleCache {
 public:
  // Runs action(data) under the lock for a valid table locale; returns false otherwise.
  template <typename Action>
  bool With(uint32_t lcid, Action&& action) {
    const TLocaleEntry* entry = FindEntry(lcid);
    if (entry == nullptr) return false;
    std::lock_guard<std::mutex> guard(FSection);
    std::unique_ptr<TLocaleData>& data = FData[lcid];
    if (!data) data = MakeLocaleData(*entry);
    if (!data->Collator) return false;
    action(*data);
    return true;
  }

 private:
  std::mutex FSection;
  std::map<uint32_t, std::unique_ptr<TLocaleData>> FData;
};

TLocaleCache& LocaleCache() {
  static TLocaleCache cache;
  return cache;
}

std::u16string ToUnicode(std::string_view s) {
  std::u16string result(s.size(), u'\0');
  for (size_t i = 0; i < s.size(); ++i) result[i] = AnsiCharToUnicode(s[i]);
  return result;
}

int CompareBytes(std::string_view a, std::string_view b) {
  int c = a.compare(b);  // char_traits<char>::compare orders as unsigned char
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string MapCase(uint32_t lcid, std::string_view s, bool upper) {
  std::string result(s);
  bool mapped = LocaleCache().With(lcid, [&](const TLocaleData& data) {
    const std::array<char, 256>& table = upper ? data.Upper : data.Lower;
    for (char& c : result) c = table[static_cast<unsigned char>(c)];
  });
  if (!mapped) result = upper ? AnsiUpperCase(s) : AnsiLowerCase(s);
  return result;
}

}  // namespace

std::vector<TLocaleInfo> SystemLocales() {
  std::vector<TLocaleInfo> result;
  for (const TLocaleEntry& entry : kLocales) {
    if (IsInstalledLocale(entry.Id)) result.push_back({entry.Id, entry.Name, entry.ShortName});
  }
  return result;
}

bool IsInstalledLocale(uint32_t lcid) {
  return lcid == 0 || LocaleCache().With(lcid, [](const TLocaleData&) {});
}

std::string IcuLocaleName(uint32_t lcid) {
  const TLocaleEntry* entry = FindEntry(lcid);
  return entry == nullptr ? std::string() : std::string(entry->IcuName);
}

int CompareLocaleStrings(uint32_t lcid, std::string_view a, std::string_view b) {
  if (lcid == 0) return CompareBytes(a, b);
  std::u16string ua = ToUnicode(a);
  std::u16string ub = ToUnicode(b);
  int result = 0;
  // A locale this host cannot collate compares like locale 0 rather than failing.
  bool collated = LocaleCache().With(lcid, [&](const TLocaleData& data) {
    UCollationResult r =
        ucol_strcoll(data.Collator.get(), ua.data(), static_cast<int32_t>(ua.size()), ub.data(),
                     static_cast<int32_t>(ub.size()));
    result = r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
  });
  return collated ? result : CompareBytes(a, b);
}

std::string LocaleUpperCase(uint32_t lcid, std::string_view s) {
  return MapCase(lcid, s, true);
}

std::string LocaleLowerCase(uint32_t lcid, std::string_view s) {
  return MapCase(lcid, s, false);
}

}  // namespace cairn::host
