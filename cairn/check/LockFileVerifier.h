// Verifies a database directory's lock file, reading it without taking any of its locks.
//
//   offset  size    field
//   ------  ------  -----------------------------------------------------------------
//        0       4  update count (i32)
//        4       4  list size S (i32) = 4 + sum over the entries of (1 + name length)
//        8   S - 4  entries: one length byte, then the table name's characters
//
// The file is exactly 4 + S bytes long and lists at most 4096 tables.
#pragma once

#include <string>

#include "cairn/check/CheckFinding.h"

namespace cairn {

class TEngineServices;

class TLockFileVerifier {
 public:
  static constexpr int kMaxEntries = 4096;

  // directory ends in "/".
  TLockFileVerifier(TEngineServices& engine, std::string directory);
  // A missing lock file is no finding: the first open of the directory creates it.
  TCheckFindings Run();

 private:
  TEngineServices& FEngine;
  std::string FDirectory;
};

}  // namespace cairn
