// Paths, identifiers, threads and time of the host.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

namespace cairn::host {

constexpr char kPathDelimiter = '/';

// These three give paths in the disk's form (UTF-8). Engine file names are Windows-1252
// (HostFiles.h): a path handed to the engine is converted with Utf8ToAnsi (CodePage.h).
//
// Absolute path of the running executable.
std::string ExecutablePath();
// The temporary-files directory (honours TMPDIR), ending in "/".
std::string TempDirectory();
// The process's current directory (no trailing delimiter added).
std::string CurrentDirectory();

// Path helpers on "/"-delimited paths. IncludeTrailingDelimiter("") gives "/";
// ExcludeTrailingDelimiter removes one trailing "/".
std::string IncludeTrailingDelimiter(std::string_view path);
std::string ExcludeTrailingDelimiter(std::string_view path);
std::string ExtractFilePath(std::string_view path);  // folder part with its trailing "/"
std::string ExtractFileName(std::string_view path);  // part after the last "/"
std::string ExtractFileExt(std::string_view path);   // ".ext" of the file name, or empty
std::string TrimBlanks(std::string_view s);          // removes leading and trailing blanks/controls

// A new GUID in its 38-character text form, upper case: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string NewGuidString();

// The calling thread's identifier.
int64_t CurrentThreadId();
void SleepMs(unsigned milliseconds);

// Windows critical sections are re-entrant.
using TCriticalSection = std::recursive_mutex;

// Pseudo-random lock slots 1 ... 65534, seeded per instance from the system's random device so
// that processes choose differently.
class TRandomSlots {
 public:
  TRandomSlots();
  uint16_t Next();
  void Reseed();

 private:
  std::mutex FSection;
  std::mt19937 FGenerator;
};

}  // namespace cairn::host
