#include "cairn/engine/io/Compression.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace cairn {

bool ZlibCompress(std::string_view input, int level, std::vector<char>& output) {
  output.clear();
  if (level < 1 || level > 9) return false;
  uLongf size = compressBound(static_cast<uLong>(input.size()));
  std::vector<char> buffer(size);
  int rc = compress2(reinterpret_cast<Bytef*>(buffer.data()), &size,
                     reinterpret_cast<const Bytef*>(input.data()), static_cast<uLong>(input.size()),
                     level);
  if (rc != Z_OK) return false;
  buffer.resize(size);
  output.swap(buffer);
  return true;
}

namespace {

// Ends the inflate stream on every way out.
struct TInflateStream {
  z_stream Stream{};
  bool Open = false;
  TInflateStream() { Open = inflateInit(&Stream) == Z_OK; }
  ~TInflateStream() {
    if (Open) inflateEnd(&Stream);
  }
};

// Feeds the next piece of input: zlib counts input in 32-bit units.
void FeedInput(z_stream& stream, std::string_view& rest) {
  if (stream.avail_in != 0 || rest.empty()) return;
  size_t piece = std::min<size_t>(rest.size(), UINT_MAX);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rest.data()));
  stream.avail_in = static_cast<uInt>(piece);
  rest.remove_prefix(piece);
}

}  // namespace

bool ZlibDecompress(std::string_view input, std::vector<char>& output, size_t maxBytes) {
  output.clear();
  if (input.empty()) return false;
  TInflateStream inflater;
  if (!inflater.Open) return false;
  z_stream& stream = inflater.Stream;

  // One byte beyond the cap lets an oversized stream show itself without a special case for
  // "output full but stream not finished".
  const size_t limit = maxBytes < SIZE_MAX ? maxBytes + 1 : maxBytes;
  std::vector<char> buffer(std::min(limit, std::max<size_t>(4096, input.size() * 4)));
  size_t produced = 0;
  std::string_view rest = input;
  for (;;) {
    FeedInput(stream, rest);
    if (produced == buffer.size()) {
      if (buffer.size() >= limit) return false;
      buffer.resize(std::min(limit, buffer.size() * 2));
    }
    size_t room = std::min<size_t>(buffer.size() - produced, UINT_MAX);
    stream.next_out = reinterpret_cast<Bytef*>(buffer.data() + produced);
    stream.avail_out = static_cast<uInt>(room);
    int rc = inflate(&stream, Z_NO_FLUSH);
    produced += room - stream.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && stream.avail_in == 0 && rest.empty()) return false;  // truncated
    if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
  }
  if (produced > maxBytes) return false;
  if (stream.avail_in != 0 || !rest.empty()) return false;  // bytes after the stream
  buffer.resize(produced);
  output.swap(buffer);
  return true;
}

}  // namespace cairn
