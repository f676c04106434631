#include "cairn/crypto/Blowfish.h"

#include <nettle/blowfish.h>
#include <nettle/cbc.h>

#include <cstring>
#include <stdexcept>

namespace cairn {

struct TBlowfishCBC::TContext {
  blowfish_ctx Key;
};

TBlowfishCBC::TBlowfishCBC() : FContext(std::make_unique<TContext>()) {}
TBlowfishCBC::~TBlowfishCBC() = default;

void TBlowfishCBC::SetKey(const void* key, size_t length) {
  if (length < BLOWFISH_MIN_KEY_SIZE || length > BLOWFISH_MAX_KEY_SIZE)
    throw std::invalid_argument("Blowfish key length out of range");
  // nettle refuses keys with weak S-boxes; the cipher is still the standard one, so the schedule
  // it built is kept either way.
  blowfish_set_key(&FContext->Key, length, static_cast<const uint8_t*>(key));
  FHasKey = true;
}

void TBlowfishCBC::Encrypt(void* buffer, size_t length) const {
  size_t whole = length - length % BLOWFISH_BLOCK_SIZE;
  if (whole == 0) return;
  uint8_t iv[BLOWFISH_BLOCK_SIZE] = {};
  auto* data = static_cast<uint8_t*>(buffer);
  cbc_encrypt(&FContext->Key, reinterpret_cast<nettle_cipher_func*>(blowfish_encrypt),
              BLOWFISH_BLOCK_SIZE, iv, whole, data, data);
}

void TBlowfishCBC::Decrypt(void* buffer, size_t length) const {
  size_t whole = length - length % BLOWFISH_BLOCK_SIZE;
  if (whole == 0) return;
  uint8_t iv[BLOWFISH_BLOCK_SIZE] = {};
  auto* data = static_cast<uint8_t*>(buffer);
  cbc_decrypt(&FContext->Key, reinterpret_cast<nettle_cipher_func*>(blowfish_decrypt),
              BLOWFISH_BLOCK_SIZE, iv, whole, data, data);
}

}  // namespace cairn
