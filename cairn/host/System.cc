#include "cairn/host/System.h"

#include <sys/syscall.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace cairn::host {

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
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

std::string NewGuidString() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_upper(id, text);
  return "{" + std::string(text) + "}";
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
