#include "cairn/crypto/Md5.h"

#include <nettle/md5.h>

namespace cairn {

bool TMD5Digest::IsZero() const {
  for (uint8_t b : Bytes)
    if (b != 0) return false;
  return true;
}

TMD5Digest MD5Digest(const void* data, size_t length) {
  md5_ctx context;
  md5_init(&context);
  md5_update(&context, length, static_cast<const uint8_t*>(data));
  TMD5Digest digest;
  md5_digest(&context, digest.Bytes.size(), digest.Bytes.data());
  return digest;
}

TMD5Digest MD5Digest(std::string_view text) {
  return MD5Digest(text.data(), text.size());
}

}  // namespace cairn
