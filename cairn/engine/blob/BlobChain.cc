#include "cairn/engine/blob/BlobChain.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "cairn/engine/blob/BlobFile.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {
namespace {

// A block handed out by the file, given back when the holder goes (also by an exception).
class THeldBlock {
 public:
  explicit THeldBlock(TBlobFile& file) : FFile(file) {}
  ~THeldBlock() { Release(); }
  THeldBlock(const THeldBlock&) = delete;
  THeldBlock& operator=(const THeldBlock&) = delete;

  // Releases the block held and takes over the other holder's.
  void TakeFrom(THeldBlock& other) {
    Release();
    FBlock = other.FBlock;
    other.FBlock = nullptr;
  }
  void Release() {
    if (FBlock != nullptr) FFile.PutBlock(FBlock);
    FBlock = nullptr;
  }
  // After the table dropped its cached blocks there is nothing left to give back.
  void Forget() { FBlock = nullptr; }

  TBlock*& Slot() { return FBlock; }
  TBlock* operator->() const { return FBlock; }

 private:
  TBlobFile& FFile;
  TBlock* FBlock = nullptr;
};

}  // namespace

TBlobStatus TBlobChain::WriteBlobValue(int32_t& firstBlock, int32_t signature,
                                       std::string_view value, uint8_t compressionLevel) {
  THeldBlock block(FFile);
  if (value.empty()) {
    if (firstBlock == 0) return TBlobStatus::Done;
    if (!FFile.GetBlock(FRequest, firstBlock, 1, block.Slot())) return TBlobStatus::Changed;
    block->SetTotalLength(0);
    block->SetSignature(signature);
    return TBlobStatus::Done;
  }

  std::vector<char> compressed;
  std::string_view stored = value;
  if (compressionLevel != 0) {
    compressed = FFile.Engine().Compress(value.data(), value.size(), compressionLevel);
    stored = std::string_view(compressed.data(), compressed.size());
  }
  if (stored.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    FFile.RaiseError(CAIRN_INVALIDBLOBLEN);
  }

  if (firstBlock != 0) {
    if (!FFile.GetBlock(FRequest, firstBlock, 1, block.Slot())) return TBlobStatus::Changed;
  } else {
    if (!FFile.AllocateBlock(FRequest, block.Slot())) return TBlobStatus::Changed;
    firstBlock = block->Number();
  }
  block->SetSignature(signature);
  block->SetTotalLength(static_cast<int32_t>(stored.size()));

  // Blocks of this chain met so far: an old chain that loops must not be overwritten in circles.
  std::unordered_set<int32_t> visited{block->Number()};
  const size_t area = static_cast<size_t>(FFile.BufferSize());
  size_t offset = 0;
  for (;;) {
    const auto count = static_cast<int32_t>(std::min(area, stored.size() - offset));
    if (block->PutBlockData(0, count, stored.data() + offset) != count) {
      FFile.RaiseError(CAIRN_ENDOFBLOB);
    }
    offset += static_cast<size_t>(count);
    if (offset == stored.size()) break;

    THeldBlock next(FFile);
    const int32_t nextNumber = block->NextNumber();
    bool got;
    if (nextNumber != 0) {
      got = FFile.GetBlock(FRequest, nextNumber, 1, next.Slot());
    } else {
      got = FFile.AllocateBlock(FRequest, next.Slot());
    }
    if (!got) {
      block.Forget();
      return TBlobStatus::Changed;
    }
    if (!visited.insert(next->Number()).second) FFile.RaiseError(CAIRN_MEMOCORRUPT);
    block->SetNextNumber(next->Number());
    next->SetPrevNumber(block->Number());
    next->SetSignature(0);
    next->SetTotalLength(0);
    block.TakeFrom(next);
  }
  return TBlobStatus::Done;
}

TBlobStatus TBlobChain::ReadBlobValue(int32_t firstBlock, int32_t signature,
                                      uint8_t compressionLevel, std::vector<char>& value) {
  value.clear();
  if (firstBlock == 0) return TBlobStatus::Done;
  THeldBlock block(FFile);
  if (!FFile.GetBlock(FRequest, firstBlock, 1, block.Slot())) return TBlobStatus::Changed;
  if (block->Signature() != signature) {
    // The record image is older than the chain. Taking the read lock lets the table notice the
    // other writer before the caller re-reads the record.
    block.Release();
    TBufferedFileOwner* owner = FFile.Owner();
    if (owner != nullptr && !FRequest.Exclusive && !owner->MarkedReadOnly()) {
      owner->ReadLockForMiss();
    }
    return TBlobStatus::Changed;
  }

  const int64_t total = block->TotalLength();
  const int64_t area = FFile.BufferSize();
  if (total < 0) FFile.RaiseError(CAIRN_MEMOCORRUPT);
  // No chain is longer than the file: a larger size is a chain that must end early.
  if (total > static_cast<int64_t>(FFile.IOBlocksUsed()) * area) {
    FFile.RaiseError(CAIRN_ENDOFBLOB);
  }

  // Filled block by block, so a damaged TotalLength costs no more memory than the chain holds.
  std::vector<char> stored;
  std::vector<char> part(static_cast<size_t>(area));
  std::unordered_set<int32_t> visited{firstBlock};
  for (;;) {
    const int64_t missing = total - static_cast<int64_t>(stored.size());
    const auto wanted = static_cast<int32_t>(std::min(area, missing));
    const int32_t got = block->GetBlockData(0, wanted, part.data());
    stored.insert(stored.end(), part.begin(), part.begin() + got);
    // A block with fewer bytes than it should hold ends the value early.
    if (got < wanted || static_cast<int64_t>(stored.size()) == total) break;
    const int32_t next = block->NextNumber();
    if (next == 0) break;
    if (next < 1 || next > FFile.IOBlocksUsed() || !visited.insert(next).second) {
      FFile.RaiseError(CAIRN_MEMOCORRUPT);
    }
    block.Release();
    const auto readAhead = static_cast<int32_t>((missing - got + area - 1) / area);
    if (!FFile.GetBlock(FRequest, next, readAhead, block.Slot())) return TBlobStatus::Changed;
  }
  block.Release();
  if (static_cast<int64_t>(stored.size()) != total) FFile.RaiseError(CAIRN_ENDOFBLOB);
  // An emptied value is stored as no bytes at all, not as a compressed empty stream.
  if (compressionLevel != 0 && !stored.empty()) {
    stored = FFile.Engine().Decompress(stored.data(), stored.size());
  }
  value.swap(stored);
  return TBlobStatus::Done;
}

}  // namespace cairn
