// How the tool ends: its exit codes, and the failures commands raise to end with them.
//
// 0: the command did what it was asked. 1: the engine failed, the input was refused, or a check
// found something; the message goes to standard error. 2: the command line was wrong.
#pragma once

#include <stdexcept>
#include <string>

namespace cairn::tools {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Input the command refuses (a malformed file, an unknown table); ends the run with exit code 1.
class EToolError : public std::runtime_error {
 public:
  explicit EToolError(const std::string& message) : std::runtime_error(message) {}
};

// A command line that names something impossible; ends the run with exit code 2.
class EUsageError : public std::runtime_error {
 public:
  explicit EUsageError(const std::string& message) : std::runtime_error(message) {}
};

// What a command hands back to main besides its output. A command that finishes but has bad news
// (findings of a check) sets ExitCode instead of throwing.
struct TToolContext {
  int ExitCode = kExitOk;
};

}  // namespace cairn::tools
