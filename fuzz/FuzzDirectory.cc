#include "fuzz/FuzzDirectory.h"

#include <cstdlib>
#include <filesystem>

#include "fuzz/SoundTable.h"

namespace cairn::fuzz {

namespace {

class TScratch {
 public:
  TScratch() {
    namespace fs = std::filesystem;
    const fs::path base =
        fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "cairn-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    FPath = pattern;
  }
  ~TScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

}  // namespace

const std::string& FuzzDirectory() {
  static TScratch scratch;
  return scratch.Path();
}

void WriteSeed(const std::string& name, const std::string& bytes) {
  const char* seeds = std::getenv("CAIRN_FUZZ_SEEDS");
  if (seeds && *seeds) WriteFileBytes(std::string(seeds) + "/" + name, bytes);
}

}  // namespace cairn::fuzz
