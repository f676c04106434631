// zlib streams of compressed blob values: one stream per value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cairn {

// The most a value may inflate to. The stored size of a compressed value says nothing about its
// uncompressed size, so a damaged or hostile stream must not make a reader allocate without end.
inline constexpr size_t kMaxDecompressedSize = size_t{2} << 30;  // 2 GiB

// Deflates the whole input into one zlib stream at a level of 1 to 9. False on any failure
// (including a level outside 1 ... 9).
bool ZlibCompress(std::string_view input, int level, std::vector<char>& output);

// Inflates exactly one complete zlib stream that fills the whole input. False when the stream is
// damaged, truncated, followed by extra bytes, or would inflate beyond maxBytes. It allocates the
// output once at its real size (and nothing for a stream beyond maxBytes), at the cost of
// inflating twice.
bool ZlibDecompress(std::string_view input, std::vector<char>& output,
                    size_t maxBytes = kMaxDecompressedSize);

}  // namespace cairn
