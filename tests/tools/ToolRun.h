// Running the built `cairn` binary and the generator as child processes in temporary folders.
#pragma once

#include <string>
#include <vector>

namespace cairn::test {

struct TToolRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Runs cairn with the arguments, standard input from /dev/null, both outputs captured (through
// files in a scratch folder, so large outputs cannot block the child).
TToolRun RunCairn(const std::vector<std::string>& args);

// Makes directory (when missing) and runs the generator against it, the way a user puts the
// application's twelve tables there.
void GenerateDatabase(const std::string& directory);

// Splits a text into lines without their line ends ("\n" or "\r\n").
std::vector<std::string> Lines(const std::string& text);

}  // namespace cairn::test
