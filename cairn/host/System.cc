#include "cairn/host/System.h"

#include <pthread.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace cairn::host {

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

// Random bytes for GUIDs, drawn from the kernel a few kilobytes at a time rather than one call
// per GUID. A forked child drops what it inherited, so that it never repeats the parent's GUIDs.
class TGuidBytes {
 public:
  static constexpr size_t kGuid = 16;

  void Take(unsigned char* guid) {
    if (FUsed + kGuid > FFilled) Refill();
    std::memcpy(guid, FBytes.data() + FUsed, kGuid);
    FUsed += kGuid;
  }
  void Drop() { FUsed = FFilled = 0; }

 private:
  void Refill() {
    FUsed = FFilled = 0;
    while (FFilled < FBytes.size()) {
      const ssize_t n = getrandom(FBytes.data() + FFilled, FBytes.size() - FFilled, 0);
      if (n > 0) {
        FFilled += static_cast<size_t>(n);
      } else if (n < 0 && errno != EINTR) {
        break;  // no kernel source: the whole pool comes from libuuid instead
      }
    }
    for (size_t at = FFilled; at + kGuid <= FBytes.size(); at += kGuid) {
      uuid_generate_random(FBytes.data() + at);
    }
    FFilled = FBytes.size();
  }

  std::array<unsigned char, 256 * kGuid> FBytes{};
  size_t FUsed = 0;
  size_t FFilled = 0;
};

thread_local TGuidBytes GuidBytes;

void DropGuidBytesInChild() {
  GuidBytes.Drop();
}

}  // namespace

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    // readlink does not say when it truncated: a full buffer may hold only part of the path.
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::string TempDirectory() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::temp_directory_path(error);
  std::string result = error ? std::string("/tmp") : path.string();
  return IncludeTrailingDelimiter(result);
}

std::string CurrentDirectory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

std::string IncludeTrailingDelimiter(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != kPathDelimiter) result += kPathDelimiter;
  return result;
}

std::string ExcludeTrailingDelimiter(std::string_view path) {
  if (!path.empty() && path.back() == kPathDelimiter) path.remove_suffix(1);
  return std::string(path);
}

std::string ExtractFilePath(std::string_view path) {
  size_t slash = path.rfind(kPathDelimiter);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtractFileName(std::string_view path) {
  size_t slash = path.rfind(kPathDelimiter);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFileExt(std::string_view path) {
  std::string name = ExtractFileName(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// A random (version 4) GUID: 122 random bits, the version and variant bits set.
std::string NewGuidString() {
  static const int registered = pthread_atfork(nullptr, nullptr, DropGuidBytesInChild);
  (void)registered;
  uuid_t id;
  GuidBytes.Take(id);
  id[6] = static_cast<unsigned char>((id[6] & 0x0F) | 0x40);
  id[8] = static_cast<unsigned char>((id[8] & 0x3F) | 0x80);
  char text[37];
  uuid_unparse_upper(id, text);
  std::string guid(38, '{');
  std::memcpy(guid.data() + 1, text, 36);
  guid[37] = '}';
  return guid;
}

int64_t CurrentThreadId() {
  return static_cast<int64_t>(gettid());
}

void SleepMs(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

TRandomSlots::TRandomSlots() {
  Reseed();
}

uint16_t TRandomSlots::Next() {
  // A uniform choice: two processes that collide on a slot simply pick again.
  std::uniform_int_distribution<int> slots(1, 65534);
  std::lock_guard<std::mutex> guard(FSection);
  return static_cast<uint16_t>(slots(FGenerator));
}

void TRandomSlots::Reseed() {
  std::random_device device;
  std::seed_seq seed{device(), device(), device(), device()};
  std::lock_guard<std::mutex> guard(FSection);
  FGenerator.seed(seed);
}

}  // namespace cairn::host
