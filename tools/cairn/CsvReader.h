// Reads CSV records (RFC 4180) from text held in memory: fields separated by ",", records by CRLF
// or LF; a field in double quotes may hold commas, quotes (doubled) and line breaks. A UTF-8 byte
// order mark at the start is skipped. A record that is a single empty line is skipped.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace cairn::tools {

// A malformed file; the message names the line.
class ECsvError : public std::runtime_error {
 public:
  explicit ECsvError(const std::string& message) : std::runtime_error(message) {}
};

struct TCsvRecord {
  // The line the record starts on, from 1.
  int64_t Line = 0;
  std::vector<std::string> Fields;
};

class TCsvReader {
 public:
  // The text must outlive the reader.
  explicit TCsvReader(std::string_view text);

  // The next record into record (its vectors reused); false at the end of the text.
  // ECsvError for an unterminated quoted field or a character after a closing quote.
  bool Next(TCsvRecord& record);
  // The line the next record starts on.
  int64_t Line() const { return FLine; }

 private:
  void ReadQuoted(std::string& field, int64_t recordLine);
  bool AtLineEnd() const;
  void SkipLineEnd();

  std::string_view FText;
  size_t FPos = 0;
  int64_t FLine = 1;
};

}  // namespace cairn::tools
