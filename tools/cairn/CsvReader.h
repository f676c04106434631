// Reads CSV records (RFC 4180): fields separated by ",", records by CRLF or LF; a field in double
// quotes may hold commas, quotes (doubled) and line breaks. A UTF-8 byte order mark at the start is
// skipped. A record that is a single empty line is skipped.
//
// The text is either held in memory by the caller or read from a stream a chunk at a time; then
// only the chunk and the record being read are in memory, so a file of any size costs the same.
#pragma once

#include <cstdint>
#include <istream>
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
  static constexpr size_t kDefaultChunk = 64 * 1024;

  // The text must outlive the reader.
  explicit TCsvReader(std::string_view text);
  // Reads in from where it stands, chunk bytes at a time; in must outlive the reader.
  explicit TCsvReader(std::istream& in, size_t chunk = kDefaultChunk);
  TCsvReader(const TCsvReader&) = delete;
  TCsvReader& operator=(const TCsvReader&) = delete;

  // The next record into record (its vectors reused); false at the end of the text.
  // ECsvError for an unterminated quoted field, a character after a closing quote, or a stream
  // that fails.
  bool Next(TCsvRecord& record);
  // The line the next record starts on.
  int64_t Line() const { return FLine; }

 private:
  // Whether count bytes are there from FPos on, reading more when the window holds fewer.
  bool Have(size_t count) { return FPos + count <= FText.size() || Refill(count); }
  bool Refill(size_t count);
  void ReadPlain(std::string& field);
  void ReadQuoted(std::string& field, int64_t recordLine);
  // At a line break (LF or CRLF): its length; 0 elsewhere (a CR alone is text).
  size_t LineEndAt();

  std::istream* FIn = nullptr;
  size_t FChunk = 0;
  // The stream's unread bytes that have been fetched.
  std::string FWindow;
  // What is being read: the caller's text, or the window.
  std::string_view FText;
  size_t FPos = 0;
  int64_t FLine = 1;
  // The stream has no more bytes.
  bool FEnded = false;
};

}  // namespace cairn::tools
