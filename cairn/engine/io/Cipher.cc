#include "cairn/engine/io/Cipher.h"

#include "cairn/crypto/Blowfish.h"

namespace cairn {

namespace {

class TBlowfishCipher : public TCipher {
 public:
  TBlowfishCipher(const void* key, size_t length) { FBlowfish.SetKey(key, length); }
  void Encrypt(void* buffer, size_t length) const override { FBlowfish.Encrypt(buffer, length); }
  void Decrypt(void* buffer, size_t length) const override { FBlowfish.Decrypt(buffer, length); }

 private:
  TBlowfishCBC FBlowfish;
};

}  // namespace

std::unique_ptr<TCipher> NewBlowfishCipher(const void* key, size_t length) {
  return std::make_unique<TBlowfishCipher>(key, length);
}

}  // namespace cairn
