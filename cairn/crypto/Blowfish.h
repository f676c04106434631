// Blowfish in CBC mode (standard key schedule, 64-bit blocks read big-endian).
//
// Every call enciphers one unit on its own: the chaining starts again from an all-zero vector.
// Only whole 8-byte blocks are enciphered; a trailing remainder shorter than 8 bytes stays plain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace cairn {

class TBlowfishCBC {
 public:
  TBlowfishCBC();
  ~TBlowfishCBC();
  TBlowfishCBC(const TBlowfishCBC&) = delete;
  TBlowfishCBC& operator=(const TBlowfishCBC&) = delete;

  // Sets up the key schedule from 8 to 56 key bytes (tables use 16: an MD5 digest).
  void SetKey(const void* key, size_t length);
  bool HasKey() const { return FHasKey; }
  void Encrypt(void* buffer, size_t length) const;
  void Decrypt(void* buffer, size_t length) const;

 private:
  struct TContext;
  std::unique_ptr<TContext> FContext;
  bool FHasKey = false;
};

}  // namespace cairn
