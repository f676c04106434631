// A stream over the blob value of one field of a dataset's active record.
//
// The first stream on a field of a record opens the value in the cursor; a stream that wrote
// marks the field modified and leaves the value open in the cursor until the record is posted
// or cancelled, so that a second stream on it shares the same value. A stream that did not
// write, on a field not modified yet, releases the value when it is freed. Without an active
// record a reading stream stays closed and reads give nothing; a writing stream needs an editing
// state, which always has a record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cairn {

class TCairnDataSet;
class TCairnField;

enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };
enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TCairnBlobStream {
 public:
  // Write modes need an editing state ("Table is not in edit or insert mode") and a writable
  // field ("Field '%s' cannot be modified"); bmWrite starts from an empty value.
  TCairnBlobStream(TCairnField& field, TBlobStreamMode mode);
  ~TCairnBlobStream();
  TCairnBlobStream(const TCairnBlobStream&) = delete;
  TCairnBlobStream& operator=(const TCairnBlobStream&) = delete;

  size_t Read(void* buffer, size_t count);
  size_t Write(const void* buffer, size_t count);
  // The new position, never below 0.
  size_t Seek(int64_t offset, TSeekOrigin origin);
  size_t Size() const;
  // Grows with zero bytes or cuts at the size.
  void SetSize(size_t size);
  // Cuts the value at the current position.
  void Truncate();

 private:
  TCairnField& FField;
  TCairnDataSet& FDataSet;
  char* FBuffer;
  bool FOpened = false;
  bool FModified = false;
  size_t FPosition = 0;
};

}  // namespace cairn
