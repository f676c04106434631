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

// Output of a counting pass goes here and is dropped.
constexpr size_t kScratchSize = 64 * 1024;

// Runs the whole input through one inflate stream, into destination (room for limit bytes) or,
// without one, only counting. produced tells the bytes of output. False when the stream is
// damaged or truncated, is followed by other bytes, or runs past limit: then it stops within one
// scratch buffer of the limit.
bool Inflate(std::string_view input, char* destination, size_t limit, size_t& produced) {
  produced = 0;
  TInflateStream inflater;
  if (!inflater.Open) return false;
  z_stream& stream = inflater.Stream;
  std::vector<char> scratch(destination == nullptr ? kScratchSize : 0);
  std::string_view rest = input;
  for (;;) {
    FeedInput(stream, rest);
    char* out = destination != nullptr ? destination + produced : scratch.data();
    const size_t room =
        destination != nullptr ? std::min<size_t>(limit - produced, UINT_MAX) : kScratchSize;
    stream.next_out = reinterpret_cast<Bytef*>(out);
    stream.avail_out = static_cast<uInt>(room);
    const int rc = inflate(&stream, Z_NO_FLUSH);
    produced += room - stream.avail_out;
    if (produced > limit) return false;
    if (rc == Z_STREAM_END) break;
    if (rc == Z_OK) continue;
    // No progress: only a further piece of input can help.
    if (rc != Z_BUF_ERROR || stream.avail_in != 0 || rest.empty()) return false;
  }
  return stream.avail_in == 0 && rest.empty();  // no bytes after the stream
}

}  // namespace

// The stream is inflated twice: once to count, then into a buffer of exactly that size. Memory
// stays at the value's real size, and a stream that runs past the cap fails before anything of
// its size was allocated.
bool ZlibDecompress(std::string_view input, std::vector<char>& output, size_t maxBytes) {
  output.clear();
  if (input.empty()) return false;
  size_t size = 0;
  if (!Inflate(input, nullptr, maxBytes, size)) return false;
  std::vector<char> buffer(size);
  size_t produced = 0;
  if (size > 0 && (!Inflate(input, buffer.data(), size, produced) || produced != size)) {
    return false;
  }
  output.swap(buffer);
  return true;
}

}  // namespace cairn
