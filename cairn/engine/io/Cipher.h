// The block cipher of encrypted tables.
//
// Table files use three operations only: set up a key from bytes, encipher a buffer, decipher a
// buffer. TCipher is that key set up; the engine makes one through its crypto-init hook, or a
// Blowfish-CBC cipher when no hook is set.
#pragma once

#include <cstddef>
#include <memory>

namespace cairn {

class TCipher {
 public:
  virtual ~TCipher() = default;
  // Each call enciphers one unit on its own; a unit's trailing remainder shorter than the
  // cipher's block stays plain.
  virtual void Encrypt(void* buffer, size_t length) const = 0;
  virtual void Decrypt(void* buffer, size_t length) const = 0;
};

// Blowfish in CBC mode with an all-zero initial vector, keyed with 8 to 56 bytes.
std::unique_ptr<TCipher> NewBlowfishCipher(const void* key, size_t length);

}  // namespace cairn
