// Copying many blocks out of a buffered file at once, past the cache: a reader that knows the
// blocks it will want next (the records an index walk comes to) reads them in block order with
// few calls, instead of one call and one recycled buffer per block.
#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "cairn/engine/io/BufferedFile.h"
#include "cairn/engine/io/Cipher.h"

namespace cairn {

namespace {

// Wanted blocks further apart than this are read with separate calls: copying the bytes between
// them would cost more than the call.
constexpr int64_t kGatherGapBytes = 16 * 1024;

int32_t BlockOf(uint64_t entry) {
  return static_cast<int32_t>(entry >> 32);
}
size_t PositionOf(uint64_t entry) {
  return static_cast<size_t>(entry & 0xFFFFFFFFu);
}

void CopyFromBuffer(const TBuffer& buffer, char* out, size_t bufferSize) {
  const size_t count = std::min(bufferSize, static_cast<size_t>(buffer.Capacity()));
  std::memcpy(out, buffer.Buffer(), count);
  std::memset(out + count, 0, bufferSize - count);
}

// Sorts entries by their block number (the high half); many with a radix sort of 11 bits a pass,
// as many passes as the largest number needs: linear, where a comparison sort of a large batch
// of scattered slots cost as much as reading them. Entries of one block end up next to each
// other.
// The count entries after last are the sort's scratch space.
void SortByBlock(uint64_t* first, uint64_t* last, int32_t largest) {
  constexpr int kBits = 11;
  constexpr size_t kBuckets = size_t{1} << kBits;
  const size_t count = static_cast<size_t>(last - first);
  // A few entries: the passes over the buckets would cost more than comparing them.
  if (count < 4 * kBuckets) {
    std::sort(first, last);
    return;
  }
  uint64_t* from = first;
  uint64_t* to = last;
  std::vector<size_t> starts(kBuckets);
  for (int bit = 0; bit < 31 && (largest >> bit) > 0; bit += kBits) {
    const int shift = 32 + bit;
    std::fill(starts.begin(), starts.end(), 0);
    for (size_t i = 0; i < count; ++i) ++starts[(from[i] >> shift) & (kBuckets - 1)];
    size_t sum = 0;
    for (size_t& start : starts) sum += std::exchange(start, sum);
    for (size_t i = 0; i < count; ++i) to[starts[(from[i] >> shift) & (kBuckets - 1)]++] = from[i];
    std::swap(from, to);
  }
  if (from != first) std::copy(from, from + count, first);
}

}  // namespace

void TBufferedFile::AddReservedBytes(int64_t delta) {
  FReservedBytes = std::max<int64_t>(FReservedBytes + delta, 0);
  if (delta <= 0 || FBufferAll) return;
  // The whole cold end, not only the few searched per request: the reservation may be large.
  DropCleanOverByteBudget(std::numeric_limits<size_t>::max());
}

void TBufferedFile::GatherBlocks(const int32_t* numbers, size_t count, char* destination,
                                 std::vector<uint64_t>& scratch) {
  if (count == 0) return;
  const int32_t used = IOBlocksUsed();
  // Each block number with its position, in block order.
  scratch.resize(2 * count);
  uint64_t* order = scratch.data();
  for (size_t i = 0; i < count; ++i) {
    if (numbers[i] < 1 || numbers[i] > used) ReportCorruptBuffers();
    order[i] = static_cast<uint64_t>(numbers[i]) << 32 | i;
  }
  // A walk in slot order asks in order or in reverse: no sort needed.
  if (std::is_sorted(order, order + count, std::greater<>())) {
    std::reverse(order, order + count);
  } else if (!std::is_sorted(order, order + count)) {
    SortByBlock(order, order + count, used);
  }
  const int64_t blockSize = std::max(IOBlockSize(), 1);
  const size_t bufferSize = static_cast<size_t>(BufferSize());
  const int64_t runBlocks = std::max<int64_t>(kMaxGatherBytes / blockSize, 1);
  const int64_t gapBlocks = std::max<int64_t>(kGatherGapBytes / blockSize, 1);
  // The reads' memory, for this call only: a large block of memory kept would count against no
  // budget.
  const int64_t span = BlockOf(order[count - 1]) - BlockOf(order[0]) + 1;
  std::unique_ptr<char[]> memory(
      new char[static_cast<size_t>(std::min(runBlocks, span) * blockSize)]);
  size_t from = 0;
  while (from < count) {
    const int32_t first = BlockOf(order[from]);
    if (const TBuffer* cached = FindBuffer(first)) {
      CopyFromBuffer(*cached, destination + PositionOf(order[from]) * bufferSize, bufferSize);
      ++from;
      continue;
    }
    // A run of blocks to read at once: up to runBlocks from the first, no wider gap than
    // gapBlocks between two wanted ones.
    size_t to = from + 1;
    while (to < count) {
      const int32_t n = BlockOf(order[to]);
      if (n - first >= runBlocks || n - BlockOf(order[to - 1]) > gapBlocks) break;
      ++to;
    }
    GatherRun(order + from, to - from, memory.get(), destination);
    from = to;
  }
}

// Reads the blocks from the first of run to its last with one call and copies the wanted ones
// out; any cached meanwhile come from their buffers.
void TBufferedFile::GatherRun(const uint64_t* run, size_t count, char* memory, char* destination) {
  const int32_t blockSize = IOBlockSize();
  const size_t bufferSize = static_cast<size_t>(BufferSize());
  const size_t copied = std::min<size_t>(bufferSize, static_cast<size_t>(blockSize));
  const int32_t first = BlockOf(run[0]);
  const int64_t readSize = static_cast<int64_t>(BlockOf(run[count - 1]) - first + 1) * blockSize;
  int64_t done = 0;
  {
    TEngineFileLock lock(*this);
    Seek(BlockOffset(first), kSeekBegin);
    // Blocks appended but not yet flushed lie beyond the end of the file; they are cached.
    done = Read(memory, readSize, true);
  }
  done = std::clamp<int64_t>(done, 0, readSize);
  std::memset(memory + done, 0, static_cast<size_t>(readSize - done));
  ++FReads;
  ++FCacheMisses;
  FTotalReads += done;
  const TCipher* cipher = Cipher();
  for (size_t i = 0; i < count; ++i) {
    const int32_t n = BlockOf(run[i]);
    char* out = destination + PositionOf(run[i]) * bufferSize;
    if (const TBuffer* cached = FindBuffer(n)) {
      CopyFromBuffer(*cached, out, bufferSize);
      continue;
    }
    // The same block may be wanted twice: it is deciphered once, then copied from the first copy.
    if (i > 0 && BlockOf(run[i - 1]) == n) {
      std::memcpy(out, destination + PositionOf(run[i - 1]) * bufferSize, bufferSize);
      continue;
    }
    char* unit = memory + static_cast<int64_t>(n - first) * blockSize;
    if (cipher != nullptr) cipher->Decrypt(unit, static_cast<size_t>(blockSize));
    std::memcpy(out, unit, copied);
    if (copied < bufferSize) std::memset(out + copied, 0, bufferSize - copied);
  }
}

}  // namespace cairn
