// Opens the sound table shared in a folder whose lock file holds the fuzzer's bytes: the
// directory reads the table list, registers the table (rewriting the list), and the table is
// written once and read all. Engine and database errors are the expected answer to a damaged
// list; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzDirectory.h"
#include "fuzz/SoundTable.h"
#include "fuzz/TableReader.h"

namespace {

using namespace cairn::fuzz;

TTableFiles gSound;

std::string FilePath(const std::string& name) {
  return FuzzDirectory() + "/" + name;
}

void WriteSoundTable() {
  const std::string base = FilePath(kSoundTableName);
  WriteFileBytes(base + ".dat", gSound.Data);
  WriteFileBytes(base + ".idx", gSound.Index);
  WriteFileBytes(base + ".blb", gSound.Blob);
}

TReadOptions SharedOptions() {
  TReadOptions options;
  options.Exclusive = false;
  options.LockFileOpenAttempts = 1;
  options.AppendRow = true;
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gSound = BuildSoundTable(FuzzDirectory());
  // The seed: the list after a shared open registered the table.
  ReadWholeTable(FuzzDirectory(), kSoundTableName, SharedOptions());
  WriteSeed("registered.lck", ReadFileBytes(FilePath("cairn.lck")));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteSoundTable();
  WriteFileBytes(FilePath("cairn.lck"), std::string(reinterpret_cast<const char*>(data), size));
  ReadWholeTable(FuzzDirectory(), kSoundTableName, SharedOptions());
  return 0;
}
