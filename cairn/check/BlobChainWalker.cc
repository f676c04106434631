#include "cairn/check/BlobChainWalker.h"

#include <algorithm>

#include "cairn/engine/blob/BlobChain.h"
#include "cairn/engine/blob/BlobFile.h"
#include "cairn/error/EngineError.h"

namespace cairn {
namespace {

std::string BlockName(int32_t block) {
  return "block " + std::to_string(block);
}

}  // namespace

int64_t TBlobChainWalker::BlockOffset(int32_t block) const {
  return TBlobHeader::kSize + static_cast<int64_t>(block - 1) * FFile.BlobBlockSize();
}

std::vector<TBlobChainWalker::TProblem> TBlobChainWalker::Walk(int32_t firstBlock,
                                                               int32_t signature,
                                                               uint8_t compression,
                                                               int64_t referenceOffset,
                                                               const std::string& value) {
  std::vector<TProblem> problems;
  auto report = [&](bool inBlob, int64_t offset, const char* kind, const std::string& text) {
    problems.push_back({inBlob, offset, kind, value + text});
  };
  TBufferRequest request;
  request.Exclusive = true;  // the walk takes no lock: it reads the file as it is
  const int32_t capacity = FFile.BlobBlockSize() - static_cast<int32_t>(TBlockHeader::kSize);
  bool linkInBlob = false;
  int64_t linkOffset = referenceOffset;
  int64_t missing = -1;  // bytes of the value still to come; -1 once they cannot be followed
  int64_t totalLength = 0;
  int32_t previous = 0;
  for (int32_t number = firstBlock; number != 0;) {
    if (number < 1 || number > FBlocks) {
      report(linkInBlob, linkOffset, "blob link",
             " links to " + BlockName(number) + ", outside the blob file's " +
                 std::to_string(FBlocks) + " blocks");
      return problems;
    }
    uint8_t& owner = FOwners[static_cast<size_t>(number)];
    if (owner != 0) {
      report(
          linkInBlob, linkOffset, "blob link",
          " reaches " + BlockName(number) + " a second time (a loop, or a block two values share)");
      return problems;
    }
    owner = kInChain;
    TBlockHeader header;
    try {
      TBlock* block = nullptr;
      FFile.GetBlock(request, number, 1, block);
      header = block->Header();
      FFile.PutBlock(block);
    } catch (const ECairnEngineError& error) {
      report(true, BlockOffset(number), "blob read",
             ": " + BlockName(number) + " cannot be read: " + error.Message());
      return problems;
    }
    const int64_t offset = BlockOffset(number);
    if (number == firstBlock) {
      if (header.Signature != signature) {
        report(true, offset + 10, "blob signature",
               ": its first " + BlockName(number) + " carries signature " +
                   std::to_string(header.Signature) + ", the record " + std::to_string(signature));
      }
      totalLength = header.TotalLength;
      if (header.TotalLength < 0 || header.TotalLength > static_cast<int64_t>(FBlocks) * capacity) {
        report(true, offset + 14, "blob length",
               " claims " + std::to_string(header.TotalLength) +
                   " bytes, more than the blob file can hold");
      } else {
        missing = header.TotalLength;
      }
    }
    if (header.PrevNumber != previous) {
      report(true, offset, "blob link",
             ": " + BlockName(number) + " names " + BlockName(header.PrevNumber) +
                 " as the block before it, the chain comes from " + BlockName(previous));
    }
    if (header.Length > capacity) {
      missing = -1;
      report(true, offset + 8, "blob length",
             ": " + BlockName(number) + " says it uses " + std::to_string(header.Length) +
                 " bytes, a block holds " + std::to_string(capacity));
    } else if (missing > 0) {
      const int64_t wanted = std::min<int64_t>(capacity, missing);
      if (header.Length < wanted) {
        report(true, offset + 8, "blob length",
               ": " + BlockName(number) + " holds " + std::to_string(header.Length) +
                   " bytes where the value needs " + std::to_string(wanted));
        missing = -1;
      } else {
        missing -= wanted;
      }
    }
    previous = number;
    linkInBlob = true;
    linkOffset = offset + 4;
    number = header.NextNumber;
  }
  if (missing > 0) {
    report(linkInBlob, linkOffset, "blob length",
           ": the chain ends " + std::to_string(missing) + " bytes short of its " +
               std::to_string(totalLength) + " bytes");
  }
  if (!problems.empty() || compression == 0) return problems;
  // A compressed value must also expand.
  try {
    TBlobChain chain(FFile, request);
    std::vector<char> bytes;
    chain.ReadBlobValue(firstBlock, signature, compression, bytes);
  } catch (const ECairnEngineError& error) {
    report(true, BlockOffset(firstBlock), "blob read", " cannot be read: " + error.Message());
  }
  return problems;
}

}  // namespace cairn
