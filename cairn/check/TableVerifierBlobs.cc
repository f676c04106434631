// The verifier's blob-file checks: the header against the file's size, the chain of every blob
// value of a live record, and the free-block chain.
#include <algorithm>

#include "cairn/check/BlobChainWalker.h"
#include "cairn/check/TableVerifier.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {
namespace {

constexpr uint8_t kFree = 2;

std::string BlockName(int32_t block) {
  return "block " + std::to_string(block);
}

}  // namespace

int64_t TTableVerifier::BlockOffset(int32_t block) const {
  return TBlobHeader::kSize + static_cast<int64_t>(block - 1) * FFiles.Blob().BlobBlockSize();
}

bool TTableVerifier::CheckBlobHeader() {
  if (!FFiles.OpenBlob()) {
    const ECairnEngineError& error = *FFiles.BlobError();
    if (error.ErrorCode() == CAIRN_OSENOENT) {
      Report(TFileKind::Blob, 0, "missing", "the blob file is missing");
    } else {
      ReportError(TFileKind::Blob, 0, "the blob file cannot be opened", error);
    }
    return false;
  }
  TBlobFile& blob = FFiles.Blob();
  const int64_t size = blob.GetSize();
  const int64_t blockSize = blob.BlobBlockSize();
  const int64_t whole = std::max<int64_t>(size - TBlobHeader::kSize, 0) / blockSize;
  const int64_t rest = std::max<int64_t>(size - TBlobHeader::kSize, 0) % blockSize;
  // The engine's own verification names what does not fit the file's size.
  const bool sound = blob.RepairHeader(true, [&](const std::string& message) {
    const bool partial = message.find("aligned") != std::string::npos;
    Report(TFileKind::Blob, partial ? TBlobHeader::kSize + whole * blockSize : 25, "header",
           message + (partial ? " (" + std::to_string(rest) + " bytes of a block)"
                              : " (header counts " +
                                    std::to_string(blob.GetHeader().NextEndingBlock - 1) +
                                    " blocks, the file holds " + std::to_string(whole) + ")"));
  });
  if (sound) {
    try {
      blob.CheckHeader();
    } catch (const ECairnEngineError& error) {
      ReportError(TFileKind::Blob, 25, "the header fails the check", error);
    }
  }
  FBlocks = static_cast<int32_t>(std::min<int64_t>(blob.GetHeader().NextEndingBlock - 1, whole));
  FBlockOwner.assign(static_cast<size_t>(std::max(FBlocks, 0)) + 1, 0);
  return true;
}

void TTableVerifier::CheckBlobChains() {
  for (const TBlobRef& ref : FBlobRefs) {
    if (ref.FirstBlock != 0) CheckBlobChain(ref);
  }
}

void TTableVerifier::CheckBlobChain(const TBlobRef& ref) {
  TBlobChainWalker walker(FFiles.Blob(), FBlocks, FBlockOwner);
  const auto problems = walker.Walk(ref.FirstBlock, ref.Signature, ref.Field->Compression,
                                    SlotOffset(ref.Slot) + ref.Field->Offset + 1,
                                    "the blob of field " + ref.Field->FieldName +
                                        " of the record in slot " + std::to_string(ref.Slot));
  for (const TBlobChainWalker::TProblem& problem : problems) {
    Report(problem.InBlobFile ? TFileKind::Blob : TFileKind::Data, problem.Offset, problem.Kind,
           problem.Text);
  }
}

void TTableVerifier::CheckFreeBlocks() {
  TBlobFile& blob = FFiles.Blob();
  TBufferRequest request;
  request.Exclusive = true;
  int64_t linkOffset = 25;
  for (int32_t number = blob.GetHeader().NextFreeBlock; number != 0;) {
    if (number < 1 || number > FBlocks) {
      Report(TFileKind::Blob, linkOffset, "free chain",
             "the free-block chain links to " + BlockName(number) + ", outside the file's " +
                 std::to_string(FBlocks) + " blocks");
      return;
    }
    uint8_t& owner = FBlockOwner[static_cast<size_t>(number)];
    if (owner != 0) {
      Report(TFileKind::Blob, linkOffset, "free chain",
             "the free-block chain reaches " + BlockName(number) + ", which " +
                 (owner == kFree ? std::string("it passed before (a loop)")
                                 : "holds a record's value"));
      return;
    }
    owner = kFree;
    try {
      TBlock* block = nullptr;
      blob.GetBlock(request, number, 1, block);
      const int32_t next = block->NextNumber();
      blob.PutBlock(block);
      linkOffset = BlockOffset(number) + 4;
      number = next;
    } catch (const ECairnEngineError& error) {
      ReportError(TFileKind::Blob, BlockOffset(number), "a free block cannot be read", error);
      return;
    }
  }
}

}  // namespace cairn
