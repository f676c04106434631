// A sound table for the harnesses that read damaged files and for their regression tests: the
// generator's EventsArchi table (memo, blob, GUID, date-time, Boolean and text fields; a primary
// and two secondary indexes) filled with a few rows whose memo and blob values span zero, one
// and several blob blocks.
#pragma once

#include <string>

namespace cairn::fuzz {

inline constexpr const char* kSoundTableName = "EventsArchi";
inline constexpr int kSoundRowCount = 6;

// The bytes of one table's three files.
struct TTableFiles {
  std::string Data;
  std::string Index;
  std::string Blob;
};

// Creates the sound table in directory (which must not hold it yet) through the component layer
// and answers the bytes of its files. Leaves the component layer finalized.
TTableFiles BuildSoundTable(const std::string& directory);

// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Replaces a file with the bytes; false when that failed.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace cairn::fuzz
