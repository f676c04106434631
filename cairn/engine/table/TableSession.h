// What a table needs of the session that uses it: its flush and change-detection policy, its
// lock retries and the table passwords it knows.
//
// The engine's session implements it; a table reaches it through its directory.
#pragma once

#include <cstdint>
#include <string>

#include "cairn/engine/data/TablePasswords.h"

namespace cairn {

class TTableSession : public TTablePasswords {
 public:
  // Every write that reaches a file is followed by an OS flush.
  virtual bool ForceBufferFlush() const = 0;
  virtual bool StrictChangeDetection() const = 0;
  // Record, table and semaphore locks are retried this many times, this many milliseconds apart.
  virtual uint8_t LockRetries() const = 0;
  virtual uint16_t LockWait() const = 0;
  // Adds a password; an empty text and a text already known (case-sensitive) are ignored.
  virtual void AddPassword(const std::string& password) = 0;
  // The known password of that text, or null.
  virtual TTablePassword* FindPassword(const std::string& password) const = 0;
};

}  // namespace cairn
