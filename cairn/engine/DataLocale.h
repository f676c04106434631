// One locale known to the engine: a Windows locale identifier with its names.
//
// Locale 0 is the built-in "ANSI Standard" (short name "ANSI"): plain byte order and the
// Windows-1252 case tables. Every other locale is one the host reports as installed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cairn {

class TDataEngine;

class TDataLocale {
 public:
  TDataLocale(TDataEngine& engine, uint32_t id, std::string name, std::string shortName)
      : FDataEngine(engine), FID(id), FName(std::move(name)), FShortName(std::move(shortName)) {}

  TDataEngine& Engine() const { return FDataEngine; }
  uint32_t ID() const { return FID; }
  const std::string& Name() const { return FName; }
  const std::string& ShortName() const { return FShortName; }

 private:
  TDataEngine& FDataEngine;
  uint32_t FID;
  std::string FName;
  std::string FShortName;
};

inline constexpr uint32_t kAnsiLocaleId = 0;
inline constexpr const char* kAnsiLocaleName = "ANSI Standard";
inline constexpr const char* kAnsiLocaleShortName = "ANSI";

// The locale list of an engine: the built-in locale first, then the host's installed locales
// sorted by name.
std::vector<std::unique_ptr<TDataLocale>> BuildLocaleList(TDataEngine& engine);

}  // namespace cairn
