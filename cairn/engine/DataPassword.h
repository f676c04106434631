// A table password known to a session: its text, its MD5 digest and the key made from the digest.
//
// An encrypted table stores the check value of its password: the password's digest enciphered
// with the key made from that same digest. A password opens the table when deciphering the stored
// check value with its key gives its own digest.
#pragma once

#include <memory>
#include <string>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/data/TablePasswords.h"
#include "cairn/engine/io/Cipher.h"

namespace cairn {

class TDataSession;

class TDataPassword : public TTablePassword {
 public:
  // Makes the digest of the text and the key through the engine's crypto set-up.
  TDataPassword(TDataSession& session, std::string password);

  TDataSession& DataSession() const { return FDataSession; }
  const std::string& Password() const override { return FPassword; }
  const TMD5Digest& Digest() const override { return FDigest; }
  // The key of the tables this password opens.
  const TCipher& Cipher() const { return *FCipher; }

  // The value an encrypted table stores to recognise this password.
  TMD5Digest CheckValue() const;
  // Whether a table's stored check value belongs to this password.
  bool Matches(const TMD5Digest& checkValue) const;

 private:
  TDataSession& FDataSession;
  std::string FPassword;
  TMD5Digest FDigest;
  std::unique_ptr<TCipher> FCipher;
};

}  // namespace cairn
