// The settings a server engine starts with, and the engine's built-in default password.
//
// A local engine receives these at Initialize and does not use them; they travel with the engine
// so that a server build can pick them up unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace cairn {

// The password that server encryption, the server configuration and remote sessions start with.
inline constexpr const char* kDefaultPassword = "cairnsecret";

struct TServerSettings {
  std::string Name = "CAIRNSRV";
  std::string Description = "Cairn Database Server";
  std::string MainAddress;
  int32_t MainPort = 12005;
  int32_t MainThreadCacheSize = 10;
  std::string AdminAddress;
  int32_t AdminPort = 12006;
  int32_t AdminThreadCacheSize = 1;
  bool EncryptedOnly = false;
  std::string EncryptionPassword = kDefaultPassword;
  std::string ConfigFileName = std::string("cairnsrv") + ".scf";
  std::string ConfigPassword = kDefaultPassword;
};

}  // namespace cairn
