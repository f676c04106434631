// What a database directory needs of the session that opened it: the engine behind the session,
// how patiently to open the lock file, and what the directory's tables need of the session.
//
// The engine's session implements it and hands itself to each directory it opens.
#pragma once

#include <cstdint>

#include "cairn/engine/table/TableSession.h"

namespace cairn {

class TEngineServices;

class TDirectorySession : public TTableSession {
 public:
  virtual TEngineServices& Engine() const = 0;
  // Opening a directory's lock file is tried this many times (at least once), this many
  // milliseconds apart, while another process holds it exclusively.
  virtual int LockFileOpenAttempts() const = 0;
  virtual uint16_t LockFileOpenWait() const = 0;
};

}  // namespace cairn
