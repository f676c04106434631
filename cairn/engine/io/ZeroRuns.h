// A byte image with its runs of zero bytes cut, for blocks kept in memory in a smaller form (an
// index page's key fields are mostly zero padding). Never written to a file.
//
// The encoding is a sequence of tokens, each one byte t and what it announces:
//
//   t <  0x80   literal: the next t + 1 bytes (1 ... 128) are copied
//   t >= 0x80   zero run: t - 0x7F zero bytes (1 ... 128)
//
// Runs of fewer than eight zeros inside other bytes stay in the literal around them.
#pragma once

#include <cstddef>
#include <vector>

namespace cairn {

// The room EncodeZeroRuns may write for size bytes of data (more than the encoding's length).
size_t ZeroRunsBound(size_t size);
// Writes the encoding of size bytes of data to out, which has ZeroRunsBound(size) bytes of room,
// and returns its length.
size_t EncodeZeroRuns(const char* data, size_t size, char* out);
// The same into a vector, sized to the encoding.
void EncodeZeroRuns(const char* data, size_t size, std::vector<char>& out);
// Decodes into exactly size bytes of out; false (out undefined) when the encoding does not
// make exactly size bytes.
bool DecodeZeroRuns(const char* encoded, size_t length, char* out, size_t size);

}  // namespace cairn
