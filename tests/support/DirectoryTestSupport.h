// Helpers shared by the tests of database directories, the lock file and the table locks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cairn/engine/io/Coding.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataSession.h"

namespace cairn::test {

// A lock file's content: update count, list size, then one length byte and the name per entry.
inline std::string LockFileBytes(int32_t updateCount, const std::vector<std::string>& names) {
  std::string entries;
  for (const std::string& name : names) {
    entries.push_back(static_cast<char>(name.size()));
    entries += name;
  }
  std::string bytes(8, '\0');
  EncodeInt32(bytes.data(), updateCount);
  EncodeInt32(bytes.data() + 4, static_cast<int32_t>(4 + entries.size()));
  return bytes + entries;
}

// Lock waits that end quickly: a few tries, 1 ms apart.
inline void UseQuickRetries(TDataEngine& engine, TDataSession& session) {
  engine.SetReadLockRetries(5);
  engine.SetReadLockWaitTime(1);
  engine.SetWriteLockRetries(5);
  engine.SetWriteLockWaitTime(1);
  engine.SetTransLockRetries(5);
  engine.SetTransLockWaitTime(1);
  session.SetLockFileOpenAttempts(2);
  session.SetLockFileOpenWait(1);
}

// In a forked child: drops what the engine inherited from the parent (its sessions, and the
// descriptors whose locks belong to the parent) and starts a session of the child's own.
inline TDataSession& FreshChildSession(TDataEngine& engine) {
  engine.Reset();
  engine.Initialize();
  TDataSession& session = engine.StartDataSession();
  UseQuickRetries(engine, session);
  return session;
}

}  // namespace cairn::test
