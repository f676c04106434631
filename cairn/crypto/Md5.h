// MD5 digests (RFC 1321): the engine's file signature, table passwords and record hashes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cairn {

struct TMD5Digest {
  std::array<uint8_t, 16> Bytes{};

  bool operator==(const TMD5Digest& other) const = default;
  bool IsZero() const;
};

TMD5Digest MD5Digest(const void* data, size_t length);
TMD5Digest MD5Digest(std::string_view text);

}  // namespace cairn
