// The verifier's blob-file checks: the header against the file's size, the chain of every blob
// value of a live record, and the free-block chain.
#include <algorithm>

#include "cairn/check/TableVerifier.h"
#include "cairn/engine/blob/BlobChain.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {
namespace {

constexpr uint8_t kInChain = 1;
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

// Walks the whole chain (a value that shrank keeps its old blocks linked behind its last one);
// the value's own bytes must be there up to TotalLength.
void TTableVerifier::CheckBlobChain(const TBlobRef& ref) {
  TBlobFile& blob = FFiles.Blob();
  const std::string value = "the blob of field " + ref.Field->FieldName +
                            " of the record in slot " + std::to_string(ref.Slot);
  TBufferRequest request;
  request.Exclusive = true;
  const int32_t capacity = blob.BlobBlockSize() - static_cast<int32_t>(TBlockHeader::kSize);
  int64_t linkOffset = SlotOffset(ref.Slot) + ref.Field->Offset + 1;
  TFileKind linkFile = TFileKind::Data;
  int64_t missing = -1;  // bytes of the value still to come; -1 once they cannot be followed
  int64_t totalLength = 0;
  bool sound = true;
  int32_t previous = 0;
  for (int32_t number = ref.FirstBlock; number != 0;) {
    if (number < 1 || number > FBlocks) {
      Report(linkFile, linkOffset, "blob link",
             value + " links to " + BlockName(number) + ", outside the blob file's " +
                 std::to_string(FBlocks) + " blocks");
      return;
    }
    uint8_t& owner = FBlockOwner[static_cast<size_t>(number)];
    if (owner != 0) {
      Report(linkFile, linkOffset, "blob link",
             value + " reaches " + BlockName(number) +
                 " a second time (a loop, or a block two values share)");
      return;
    }
    owner = kInChain;
    TBlockHeader header;
    try {
      TBlock* block = nullptr;
      blob.GetBlock(request, number, 1, block);
      header = block->Header();
      blob.PutBlock(block);
    } catch (const ECairnEngineError& error) {
      ReportError(TFileKind::Blob, BlockOffset(number), BlockName(number) + " cannot be read",
                  error);
      return;
    }
    const int64_t offset = BlockOffset(number);
    if (number == ref.FirstBlock) {
      if (header.Signature != ref.Signature) {
        sound = false;
        Report(TFileKind::Blob, offset + 10, "blob signature",
               value + ": its first " + BlockName(number) + " carries signature " +
                   std::to_string(header.Signature) + ", the record " +
                   std::to_string(ref.Signature));
      }
      totalLength = header.TotalLength;
      if (header.TotalLength < 0 || header.TotalLength > static_cast<int64_t>(FBlocks) * capacity) {
        sound = false;
        Report(TFileKind::Blob, offset + 14, "blob length",
               value + " claims " + std::to_string(header.TotalLength) +
                   " bytes, more than the blob file can hold");
      } else {
        missing = header.TotalLength;
      }
    }
    if (header.PrevNumber != previous) {
      sound = false;
      Report(TFileKind::Blob, offset, "blob link",
             value + ": " + BlockName(number) + " names " + BlockName(header.PrevNumber) +
                 " as the block before it, the chain comes from " + BlockName(previous));
    }
    if (header.Length > capacity) {
      sound = false;
      missing = -1;
      Report(TFileKind::Blob, offset + 8, "blob length",
             value + ": " + BlockName(number) + " says it uses " + std::to_string(header.Length) +
                 " bytes, a block holds " + std::to_string(capacity));
    } else if (missing > 0) {
      const int64_t wanted = std::min<int64_t>(capacity, missing);
      if (header.Length < wanted) {
        sound = false;
        Report(TFileKind::Blob, offset + 8, "blob length",
               value + ": " + BlockName(number) + " holds " + std::to_string(header.Length) +
                   " bytes where the value needs " + std::to_string(wanted));
        missing = -1;
      } else {
        missing -= wanted;
      }
    }
    previous = number;
    linkFile = TFileKind::Blob;
    linkOffset = offset + 4;
    number = header.NextNumber;
  }
  if (missing > 0) {
    sound = false;
    Report(linkFile, linkOffset, "blob length",
           value + ": the chain ends " + std::to_string(missing) + " bytes short of its " +
               std::to_string(totalLength) + " bytes");
  }
  if (!sound || ref.Field->Compression == 0) return;
  // A compressed value must also expand.
  try {
    TBlobChain chain(blob, request);
    std::vector<char> bytes;
    chain.ReadBlobValue(ref.FirstBlock, ref.Signature, ref.Field->Compression, bytes);
  } catch (const ECairnEngineError& error) {
    ReportError(TFileKind::Blob, BlockOffset(ref.FirstBlock), value + " cannot be read", error);
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
