#include "cairn/engine/blob/BlobFile.h"

#include <algorithm>
#include <limits>

#include "cairn/engine/io/Cipher.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/io/FileVersion.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {
namespace {

constexpr int32_t kMaxBlockNumber = std::numeric_limits<int32_t>::max();

}  // namespace

TBlobFile::TBlobFile(TEngineServices& engine, TBufferedFileOwner* owner, int32_t blobBlockSize)
    : TBufferedFile(engine, owner), FBlobBlockSize(blobBlockSize) {}

void TBlobFile::SetBlobBlockSize(int32_t value) {
  if (value < kMinBlockSize || value > kMaxBlockSize) RaiseError(CAIRN_BLOBLIMIT);
  if (value == FBlobBlockSize) return;
  // Cached blocks have the old size.
  FreeBuffers();
  FBlobBlockSize = value;
  if (IsOpen()) InitializeBuffers();
}

void TBlobFile::CheckBlockSize() const {
  if (FBlobBlockSize < kMinBlockSize || FBlobBlockSize > kMaxBlockSize) {
    RaiseError(CAIRN_BLOBLIMIT);
  }
}

int32_t TBlobFile::BufferSize() const {
  return std::max<int32_t>(FBlobBlockSize - static_cast<int32_t>(TBlockHeader::kSize), 0);
}

// A damaged NextEndingBlock below 1 counts as an empty file rather than a negative one.
int32_t TBlobFile::IOBlocksUsed() const {
  return FHeader.NextEndingBlock > 0 ? FHeader.NextEndingBlock - 1 : 0;
}

int32_t TBlobFile::MaximumBufferCount() const {
  const TEngineSettings& settings = Engine().Settings();
  return MaximumBufferCountFor(settings.MaxBlobBufferSize, BufferSize(), 64,
                               settings.MaxBlobBufferCount);
}

int64_t TBlobFile::MaximumBufferBytes() const {
  return Engine().Settings().MaxBlobBufferSize;
}

int32_t TBlobFile::ReadAheadCount(const TBufferRequest& request) const {
  return std::min(std::max(request.ReadAheadCount, 1), std::max(ReadAheadBuffers(), 1));
}

// ---- Create and open --------------------------------------------------------------------------

void TBlobFile::CreateFile() {
  CheckBlockSize();
  TBufferedFile::CreateFile();
  FHeader = {};
  FHeader.VersionNum = kFileVersion;
  FHeader.FileSignature = Engine().SignatureDigest();
  FHeader.NextEndingBlock = 1;
  FHeader.IsDirty = true;
}

void TBlobFile::OpenFile() {
  if (IsOpen()) return;
  CheckBlockSize();
  TEngineFile::OpenFile();
  TScopeGuard close([&] {
    FHeader = {};
    CloseFile();
  });
  FHeader = {};
  ReadHeader();
  CheckVersionAndSignature();
  close.Dismiss();
  FreeBuffers();
  InitializeBuffers();
}

void TBlobFile::CheckVersionAndSignature() const {
  if (FHeader.VersionNum != kFileVersion) {
    RaiseError(ValidFileVersion(FHeader.VersionNum) ? CAIRN_OLDVERSION : CAIRN_BADSIGNATURE);
  }
  if (!Engine().IsAcceptedSignature(FHeader.FileSignature)) RaiseError(CAIRN_BADSIGNATURE);
}

// ---- Header -----------------------------------------------------------------------------------

void TBlobFile::ReadHeader() {
  char area[TBlobHeader::kSize];
  {
    TEngineFileLock lock(*this);
    Seek(0, kSeekBegin);
    Read(area, sizeof area);
  }
  if (const TCipher* cipher = Cipher()) cipher->Decrypt(area, sizeof area);
  FHeader = TBlobHeader::Decode(area);
}

bool TBlobFile::WriteHeader(bool force) {
  if (!force && !FHeader.IsDirty) return false;
  TBlobHeader written = FHeader;
  written.UpdateStamp = NextUpdateStamp(FHeader.UpdateStamp);
  char area[TBlobHeader::kSize];
  written.Encode(area);
  if (const TCipher* cipher = Cipher()) cipher->Encrypt(area, sizeof area);
  {
    TEngineFileLock lock(*this);
    Seek(0, kSeekBegin);
    Write(area, sizeof area);
  }
  // Only a header that reached the file counts as written.
  FHeader.UpdateStamp = written.UpdateStamp;
  FHeader.IsDirty = false;
  if (Owner()) Owner()->MarkWrittenTo();
  return true;
}

void TBlobFile::UpdateHeaderStamp() {
  FHeader.UpdateStamp = NextUpdateStamp(FHeader.UpdateStamp);
  FHeader.IsDirty = true;
  if (Owner()) Owner()->MarkWrittenTo();
}

void TBlobFile::ClearHeader() {
  TBufferedFile::ClearHeader();
  FHeader.VersionNum = kFileVersion;
  // The stamp keeps rising, as the data file's does: a process that saw it before the table was
  // emptied must find it changed.
  FHeader.NextEndingBlock = 1;
  FHeader.NextFreeBlock = 0;
  FHeader.IsDirty = true;
}

bool TBlobFile::FreeBlockValid() const {
  const int32_t head = FHeader.NextFreeBlock;
  return head == 0 || (FHeader.NextEndingBlock > 1 && head >= 1 && head <= IOBlocksUsed());
}

void TBlobFile::CheckHeader() {
  if (FHeader.NextEndingBlock < 1 || !FreeBlockValid()) RaiseError(CAIRN_HEADERCORRUPT);
}

bool TBlobFile::CheckForChanges() {
  const int32_t stamp = FHeader.UpdateStamp;
  ReadHeader();
  return FHeader.UpdateStamp != stamp;
}

void TBlobFile::TruncateTo(int64_t size) {
  TEngineFileLock lock(*this);
  Seek(size, kSeekBegin);
  Write(nullptr, 0);
}

bool TBlobFile::RepairHeader(bool verifyOnly, const TRepairLog& log) {
  bool sound = true;
  auto report = [&](const std::string& finding) {
    sound = false;
    if (log) log(verifyOnly ? finding : finding + ", error fixed");
  };
  const int64_t body = std::max<int64_t>(GetSize() - HeaderSize(), 0);
  const int64_t blocks = body / IOBlockSize();
  if (body % IOBlockSize() != 0) {
    report("BLOB blocks not aligned on even block size boundaries");
    if (!verifyOnly) {
      FreeBuffers();
      TruncateTo(HeaderSize() + blocks * IOBlockSize());
    }
  }
  const int64_t nextEnding = std::min<int64_t>(blocks + 1, kMaxBlockNumber);
  if (FHeader.NextEndingBlock != nextEnding) {
    report("Physical BLOB block count not correct");
    if (!verifyOnly) {
      // Cached blocks may lie beyond the blocks the file really has.
      FreeBuffers();
      FHeader.NextEndingBlock = static_cast<int32_t>(nextEnding);
    }
  }
  if (!FreeBlockValid()) {
    report("Invalid free BLOB block pointer in header");
    if (!verifyOnly) FHeader.NextFreeBlock = 0;
  }
  if (!verifyOnly) {
    FHeader.VersionNum = kFileVersion;
    FHeader.IsDirty = true;
  }
  return sound;
}

// ---- Blocks -----------------------------------------------------------------------------------

int32_t TBlobFile::GetNextFreeBlockNumber() const {
  return FHeader.NextFreeBlock != 0 ? FHeader.NextFreeBlock : FHeader.NextEndingBlock;
}

void TBlobFile::SetNextFreeBlockNumber(int32_t value) {
  if (FHeader.NextFreeBlock == value) return;
  FHeader.NextFreeBlock = value;
  FHeader.IsDirty = true;
}

bool TBlobFile::GetBlock(const TBufferRequest& request, int32_t number, int32_t readAhead,
                         TBlock*& block) {
  block = nullptr;
  // The number comes from a record or another block: never let it reach the append path.
  if (number < 1 || number > IOBlocksUsed()) RaiseError(CAIRN_MEMOCORRUPT);
  TBufferRequest blockRequest = request;
  blockRequest.ReadAheadCount = std::max(readAhead, 1);
  const bool readAheadWanted = readAhead > 1;
  TBuffer* buffer = nullptr;
  if (!GetBuffer(blockRequest, number, readAheadWanted,
                 readAheadWanted ? TReadAheadDirection::Forward : TReadAheadDirection::None,
                 buffer)) {
    return false;
  }
  block = static_cast<TBlock*>(buffer);
  return true;
}

bool TBlobFile::AllocateBlock(const TBufferRequest& request, TBlock*& block) {
  block = nullptr;
  const int32_t head = FHeader.NextFreeBlock;
  if (head != 0) {
    if (head < 0 || head > IOBlocksUsed()) RaiseError(CAIRN_HEADERCORRUPT);
    if (!GetBlock(request, head, 1, block)) return false;
    const int32_t next = block->NextNumber();
    // A free block that links to itself, beyond the file, or that this operation already holds
    // would be handed out twice.
    if (next < 0 || next > IOBlocksUsed() || next == head || block->UseCount() > 1) {
      PutBlock(block);
      block = nullptr;
      RaiseError(CAIRN_MEMOCORRUPT);
    }
    SetNextFreeBlockNumber(next);
  } else {
    if (FHeader.NextEndingBlock < 1) RaiseError(CAIRN_HEADERCORRUPT);
    TBuffer* buffer = nullptr;
    if (!GetBuffer(request, FHeader.NextEndingBlock, false, TReadAheadDirection::None, buffer)) {
      return false;
    }
    block = static_cast<TBlock*>(buffer);
  }
  block->Clear();
  return true;
}

std::unique_ptr<TBuffer> TBlobFile::CreateBuffer() {
  return std::make_unique<TBlock>(*this);
}

uint16_t TBlobFile::CorruptBufferError() const {
  return CAIRN_MEMOCORRUPT;
}

void TBlobFile::CheckSizeLimit() {
  TBufferedFile::CheckSizeLimit();
  // Block numbers are signed 32-bit.
  if (FHeader.NextEndingBlock >= kMaxBlockNumber) RaiseError(CAIRN_TABLEFULL);
}

void TBlobFile::CountAppendedBlock() {
  ++FHeader.NextEndingBlock;
  FHeader.IsDirty = true;
}

}  // namespace cairn
