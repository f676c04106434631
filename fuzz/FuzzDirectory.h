// The scratch folder of one harness process: made once under /dev/shm (or the temporary folder),
// removed when the process ends normally.
#pragma once

#include <string>

namespace cairn::fuzz {

const std::string& FuzzDirectory();

// Writes a seed file into the folder the environment variable CAIRN_FUZZ_SEEDS names, if any.
void WriteSeed(const std::string& name, const std::string& bytes);

}  // namespace cairn::fuzz
