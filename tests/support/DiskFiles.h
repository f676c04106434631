// Files on disk as byte strings, for tests that check what the engine wrote or damage it on
// purpose, and the little-endian fields those files hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cairn::test {

// The whole file; empty when it cannot be read.
std::string ReadDiskFile(const std::string& path);
// Replaces the file's content, making the file when it is missing.
void WriteDiskFile(const std::string& path, const std::string& bytes);
void AppendDiskFile(const std::string& path, const std::string& bytes);
// Overwrites bytes in place at offset; the rest of the file stays as it is.
void PatchDiskFile(const std::string& path, int64_t offset, const std::string& bytes);

std::string Int16Bytes(uint16_t value);
std::string Int32Bytes(int32_t value);
int32_t Int32At(const std::string& bytes, size_t at);

}  // namespace cairn::test
