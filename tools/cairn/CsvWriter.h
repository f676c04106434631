// Writes CSV records (RFC 4180) to a stdio stream: a field holding a comma, a quote, CR or LF, or
// starting or ending with a blank, is quoted with its quotes doubled; records end with CRLF.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cairn::tools {

class TCsvWriter {
 public:
  explicit TCsvWriter(std::FILE* out) : FOut(out) {}
  void Write(const std::vector<std::string>& fields);

 private:
  std::FILE* FOut;
  std::string FLine;
};

}  // namespace cairn::tools
