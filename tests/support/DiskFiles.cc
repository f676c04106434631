#include "tests/support/DiskFiles.h"

#include <fstream>
#include <iterator>

#include "cairn/engine/io/Coding.h"

namespace cairn::test {

std::string ReadDiskFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteDiskFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void AppendDiskFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

void PatchDiskFile(const std::string& path, int64_t offset, const std::string& bytes) {
  std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
  io.seekp(offset);
  io.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Int16Bytes(uint16_t value) {
  std::string bytes(2, '\0');
  EncodeFixed16(bytes.data(), value);
  return bytes;
}

std::string Int32Bytes(int32_t value) {
  std::string bytes(4, '\0');
  EncodeInt32(bytes.data(), value);
  return bytes;
}

int32_t Int32At(const std::string& bytes, size_t at) {
  return DecodeInt32(bytes.data() + at);
}

}  // namespace cairn::test
