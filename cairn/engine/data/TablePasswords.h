// What an encrypted table's data file needs of the session that opens it: the passwords it knows.
//
// The session implements both; the data file keeps the password that opened it, which the
// session owns.
#pragma once

#include <string>

#include "cairn/crypto/Md5.h"

namespace cairn {

// A password a session knows: its text and its MD5 digest.
class TTablePassword {
 public:
  virtual ~TTablePassword() = default;
  virtual const std::string& Password() const = 0;
  virtual const TMD5Digest& Digest() const = 0;
};

class TTablePasswords {
 public:
  virtual ~TTablePasswords() = default;
  // The known password whose check value is the given one, or null.
  virtual TTablePassword* GetDataPassword(const TMD5Digest& checkValue) const = 0;
  // Asks the user for more passwords when none fits; whether to try again.
  virtual bool AskForPassword() = 0;
};

}  // namespace cairn
