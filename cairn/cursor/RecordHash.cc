#include "cairn/cursor/RecordHash.h"

#include <cstring>

#include "cairn/engine/data/Record.h"

namespace cairn {

TMD5Digest RecordHashOf(const std::vector<TFieldDefinition>& fields, bool hasBlobFields,
                        const char* record, size_t recordSize, std::vector<char>& scratch) {
  const size_t from = TRecord::kSystemSize;
  if (recordSize < from) return MD5Digest(record, 0);
  if (!hasBlobFields) return MD5Digest(record + from, recordSize - from);
  scratch.assign(recordSize, 0);
  for (const TFieldDefinition& field : fields) {
    if (field.IsBlob() || field.Hidden) continue;
    const size_t end = static_cast<size_t>(field.Offset) + field.DataSize + 1u;
    if (end > recordSize) continue;  // a definition that does not fit the slot adds nothing
    std::memcpy(scratch.data() + field.Offset, record + field.Offset, field.DataSize + 1u);
  }
  return MD5Digest(scratch.data() + from, recordSize - from);
}

}  // namespace cairn
