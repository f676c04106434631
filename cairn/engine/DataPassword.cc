#include "cairn/engine/DataPassword.h"

#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"

namespace cairn {

TDataPassword::TDataPassword(TDataSession& session, std::string password)
    : FDataSession(session),
      FPassword(std::move(password)),
      FDigest(MD5Digest(FPassword)),
      FCipher(session.Engine().CryptoInit(FDigest.Bytes.data(), FDigest.Bytes.size())) {}

TMD5Digest TDataPassword::CheckValue() const {
  TMD5Digest value = FDigest;
  FCipher->Encrypt(value.Bytes.data(), value.Bytes.size());
  return value;
}

bool TDataPassword::Matches(const TMD5Digest& checkValue) const {
  TMD5Digest plain = checkValue;
  FCipher->Decrypt(plain.Bytes.data(), plain.Bytes.size());
  return plain == FDigest;
}

}  // namespace cairn
