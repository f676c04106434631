#include "cairn/access/CairnBlobStream.h"

#include <algorithm>
#include <vector>

#include "cairn/access/CairnDataSet.h"
#include "cairn/access/CairnField.h"
#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"
#include "cairn/cursor/DataCursor.h"

namespace cairn {

TCairnBlobStream::TCairnBlobStream(TCairnField& field, TBlobStreamMode mode)
    : FField(field), FDataSet(field.DataSet()), FBuffer(FDataSet.ActiveRecordBuffer()) {
  // Writing is refused before anything else: without an editing state (and so without a record
  // to write to) a written value would otherwise vanish without a word.
  const bool writing = mode != bmRead;
  if (writing) {
    if (field.ReadOnly()) DatabaseErrorFmt(SFieldReadOnly, {field.DisplayName()});
    const TDataSetState state = FDataSet.State();
    if (state != dsEdit && state != dsInsert && state != dsSetKey) DatabaseError(SNotEditing);
  }
  if (FBuffer == nullptr) return;
  TDataCursor& cursor = *FDataSet.Handle();
  // A field written earlier in this record holds its open value already.
  if (!FDataSet.FieldModified(field)) {
    cursor.OpenBlob(field.FieldNo(), FBuffer, writing ? 2 : 1);
  }
  FOpened = true;
  if (mode == bmWrite) {
    cursor.TruncateBlob(field.FieldNo(), FBuffer, 0);
    FModified = true;
  }
}

TCairnBlobStream::~TCairnBlobStream() {
  if (!FOpened) return;
  if (FModified) {
    FDataSet.SetFieldModified(FField);
    try {
      FDataSet.DataEvent(deFieldChange, &FField);
    } catch (...) {
      // The value is written; a listener failing to take the news cannot undo that, and a
      // destructor has no caller to report to.
    }
    return;
  }
  if (FDataSet.FieldModified(FField)) return;
  try {
    FDataSet.Handle()->FreeBlob(FField.FieldNo(), FBuffer);
  } catch (...) {
    // Freeing only forgets the open value; the record buffer keeps the value it was read with.
  }
}

size_t TCairnBlobStream::Read(void* buffer, size_t count) {
  if (!FOpened || count == 0) return 0;
  const size_t read =
      FDataSet.Handle()->GetBlob(FField.FieldNo(), FBuffer, FPosition, buffer, count);
  FPosition += read;
  return read;
}

size_t TCairnBlobStream::Write(const void* buffer, size_t count) {
  if (!FOpened || count == 0) return 0;
  FDataSet.Handle()->PutBlob(FField.FieldNo(), FBuffer, FPosition, buffer, count);
  FPosition += count;
  FModified = true;
  return count;
}

size_t TCairnBlobStream::Size() const {
  return FOpened ? FDataSet.Handle()->GetBlobSize(FField.FieldNo(), FBuffer) : 0;
}

size_t TCairnBlobStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == soCurrent) base = static_cast<int64_t>(FPosition);
  if (origin == soEnd) base = static_cast<int64_t>(Size());
  FPosition = static_cast<size_t>(std::max<int64_t>(base + offset, 0));
  return FPosition;
}

void TCairnBlobStream::SetSize(size_t size) {
  if (!FOpened) return;
  const size_t current = Size();
  if (size > current) {
    const std::vector<char> zeros(size - current, 0);
    FDataSet.Handle()->PutBlob(FField.FieldNo(), FBuffer, current, zeros.data(), zeros.size());
  } else if (size < current) {
    FDataSet.Handle()->TruncateBlob(FField.FieldNo(), FBuffer, size);
  }
  FModified = true;
}

void TCairnBlobStream::Truncate() {
  SetSize(FPosition);
}

}  // namespace cairn
