// Opens the sound table with one of its files replaced by the fuzzer's bytes (which one is fixed
// when the harness is built: CAIRN_FUZZED_FILE 0 data, 1 index, 2 blob) and reads it all. Engine
// and database errors are the expected answer to damage; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzDirectory.h"
#include "fuzz/SoundTable.h"
#include "fuzz/TableReader.h"

namespace {

using namespace cairn::fuzz;

constexpr const char* kExtensions[] = {".dat", ".idx", ".blb"};
const char* const kExtension = kExtensions[CAIRN_FUZZED_FILE];

TTableFiles gSound;

std::string FilePath(const char* extension) {
  return FuzzDirectory() + "/" + kSoundTableName + extension;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gSound = BuildSoundTable(FuzzDirectory());
  const std::string* fuzzed[] = {&gSound.Data, &gSound.Index, &gSound.Blob};
  WriteSeed(std::string("sound") + kExtension, *fuzzed[CAIRN_FUZZED_FILE]);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string files[] = {gSound.Data, gSound.Index, gSound.Blob};
  for (int i = 0; i < 3; ++i) {
    const std::string& bytes =
        i == CAIRN_FUZZED_FILE ? std::string(reinterpret_cast<const char*>(data), size) : files[i];
    WriteFileBytes(FilePath(kExtensions[i]), bytes);
  }
  ReadWholeTable(FuzzDirectory(), kSoundTableName);
  return 0;
}
