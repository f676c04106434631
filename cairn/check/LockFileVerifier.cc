#include "cairn/check/LockFileVerifier.h"

#include <vector>

#include "cairn/engine/io/Coding.h"
#include "cairn/engine/io/EngineFile.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

TLockFileVerifier::TLockFileVerifier(TEngineServices& engine, std::string directory)
    : FEngine(engine), FDirectory(std::move(directory)) {}

TCheckFindings TLockFileVerifier::Run() {
  const std::string name = FEngine.Settings().LockFileName;
  TCheckFindings findings;
  auto report = [&](int64_t offset, const std::string& text) {
    findings.push_back({"", name, offset, text});
  };
  TEngineFile file(FEngine, FDirectory + name);
  file.SetReadOnly(true);
  file.SetHidden(true);
  std::vector<char> bytes;
  try {
    if (!file.Exists()) return findings;
    file.OpenFile();
    const int64_t size = file.GetSize();
    // The list can never be longer than 4096 names of 255 characters.
    constexpr int64_t kLargest = 8 + int64_t{kMaxEntries} * 256;
    if (size > kLargest) {
      report(kLargest, "the file is " + std::to_string(size) + " bytes long, longer than any " +
                           "table list can be");
      return findings;
    }
    bytes.resize(static_cast<size_t>(size));
    file.Seek(0, kSeekBegin);
    file.Read(bytes.data(), size);
    file.CloseFile();
  } catch (const ECairnEngineError& error) {
    report(0, "the lock file cannot be read: " + error.Message());
    return findings;
  }
  const int64_t size = static_cast<int64_t>(bytes.size());
  if (size < 8) {
    report(size, "the file is " + std::to_string(size) +
                     " bytes long, too short for the update count and the list size");
    return findings;
  }
  const int64_t listSize = DecodeInt32(bytes.data() + 4);
  if (listSize < 4 || 4 + listSize != size) {
    report(4, "the list size says " + std::to_string(listSize) + " bytes, the file holds " +
                  std::to_string(size - 4) + " after the update count");
  }
  const int64_t end = std::min<int64_t>(size, listSize < 4 ? size : 4 + listSize);
  int64_t at = 8;
  int entries = 0;
  while (at < end) {
    const int64_t length = static_cast<uint8_t>(bytes[static_cast<size_t>(at)]);
    if (length == 0) report(at, "entry " + std::to_string(entries + 1) + " has an empty name");
    if (at + 1 + length > end) {
      report(at, "entry " + std::to_string(entries + 1) + " runs past the end of the list");
      break;
    }
    at += 1 + length;
    if (++entries > kMaxEntries) {
      report(at, "the list holds more than " + std::to_string(kMaxEntries) + " tables");
      break;
    }
  }
  return findings;
}

}  // namespace cairn
