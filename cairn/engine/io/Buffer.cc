#include "cairn/engine/io/Buffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "cairn/engine/io/BufferedFile.h"
#include "cairn/engine/io/Cipher.h"

namespace cairn {

TBuffer::TBuffer(TBufferedFile& file)
    : FBufferedFile(file), FBuffer(static_cast<size_t>(std::max(file.BufferSize(), 0))) {
  FSize = Capacity();
}

TBuffer::TBuffer(TBufferedFile& file, TNoContent) : FBufferedFile(file) {}

TBuffer::~TBuffer() = default;

void TBuffer::SetSize(int32_t value) {
  FSize = std::clamp(value, 0, Capacity());
}

void TBuffer::Copy(const TBuffer& source) {
  const size_t count = std::min(FBuffer.size(), source.FBuffer.size());
  if (count > 0) std::memcpy(FBuffer.data(), source.FBuffer.data(), count);
  SetSize(source.FSize);
  FIsDirty = true;
}

void TBuffer::CopyBuffer(const void* source) {
  std::memcpy(FBuffer.data(), source, static_cast<size_t>(FSize));
  FIsDirty = true;
}

void TBuffer::CopyToBuffer(void* destination) const {
  std::memcpy(destination, FBuffer.data(), static_cast<size_t>(FSize));
}

void TBuffer::Initialize() {
  std::fill(FBuffer.begin(), FBuffer.end(), '\0');
  FSize = Capacity();
  FIsDirty = false;
  FWriteFlag = false;
  FReadFlag = false;
  FUndoSerial = 0;  // recycled: another block's undo marks do not apply
  FUndoKept = false;
  NoteMayBeFree();
}

void TBuffer::Read(char* unit) {
  if (FReadFlag) {
    // Written while this read was under way: the read's data is older than the content.
    FReadFlag = false;
    return;
  }
  if (FUseCount > 0 || FIsDirty) return;
  if (const TCipher* cipher = FBufferedFile.Cipher()) {
    cipher->Decrypt(unit, static_cast<size_t>(FBufferedFile.IOBlockSize()));
  }
  LoadContent(unit);
}

void TBuffer::Write(char* unit) {
  StoreContent(unit);
  if (const TCipher* cipher = FBufferedFile.Cipher()) {
    cipher->Encrypt(unit, static_cast<size_t>(FBufferedFile.IOBlockSize()));
  }
  FWriteFlag = false;
  FIsDirty = false;
}

bool TBuffer::IsEqualTo(const TBuffer& other) const {
  return FSize == other.FSize &&
         std::memcmp(FBuffer.data(), other.FBuffer.data(), static_cast<size_t>(FSize)) == 0;
}

bool TBuffer::IsEqualToBuffer(const void* data) const {
  return std::memcmp(FBuffer.data(), data, static_cast<size_t>(FSize)) == 0;
}

size_t TBuffer::HeldBytes() const {
  return AllocatedBytes(sizeof(TBuffer)) + AllocatedBytes(FBuffer.capacity());
}

void TBuffer::NoteMayBeFree() {
  FBufferedFile.NoteMayBeFree(*this);
}

void TBuffer::BeforeChange() {
  if (FUndoSerial != 0 && !FUndoKept) FBufferedFile.KeepBeforeChange(*this);
}

bool TBuffer::UndoImagePending() const {
  return FUndoSerial != 0 && !FUndoKept && FBufferedFile.UndoImagePending(*this);
}

void TBuffer::ReserveUndoStep() {
  FBufferedFile.ReserveUndoStep();
}

void TBuffer::AddUndoStep(int32_t kind, int32_t entry, int32_t value) noexcept {
  FBufferedFile.AddUndoStep(*this, kind, entry, value);
}

void TBuffer::RevertStep(int32_t, int32_t, int32_t) {
  throw std::logic_error("this kind of buffer logs no undo steps");
}

void TBuffer::ReleaseContent() {
  std::vector<char>().swap(FBuffer);
  FSize = 0;
  HeldBytesChanged();
}

void TBuffer::RestoreContent() {
  FBuffer.assign(static_cast<size_t>(std::max(FBufferedFile.BufferSize(), 0)), '\0');
  FSize = Capacity();
  HeldBytesChanged();
}

void TBuffer::HeldBytesChanged() {
  if (FCountedBytes != 0) FBufferedFile.Recount(this);
}

void TBuffer::SetCompacted(bool value) {
  if (FCompacted == value) return;
  FCompacted = value;
  if (FCountedBytes != 0) FBufferedFile.NoteCompacted(value);
}

void TBuffer::LoadContent(const char* unit) {
  const size_t count = std::min(FBuffer.size(), static_cast<size_t>(FBufferedFile.IOBlockSize()));
  std::memcpy(FBuffer.data(), unit, count);
}

void TBuffer::StoreContent(char* unit) const {
  const size_t size = static_cast<size_t>(std::max(FBufferedFile.IOBlockSize(), 0));
  const size_t count = std::min(FBuffer.size(), size);
  std::memcpy(unit, FBuffer.data(), count);
  std::memset(unit + count, 0, size - count);
}

}  // namespace cairn
