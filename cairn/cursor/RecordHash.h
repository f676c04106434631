// The RecordHash of a record: the MD5 digest of the record's bytes after its 25-byte system area.
//
// In a table with blob fields the digest is taken over an image of the record in which blob
// fields (their null flag and block reference) and hidden fields are zero, so that writing a blob
// value, which renews the reference, leaves the hash as it was.
#pragma once

#include <cstddef>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/data/FieldDefinition.h"

namespace cairn {

// record holds recordSize bytes in the slot layout; scratch is reused for the image (resized to
// recordSize when the table has blob fields).
TMD5Digest RecordHashOf(const std::vector<TFieldDefinition>& fields, bool hasBlobFields,
                        const char* record, size_t recordSize, std::vector<char>& scratch);

}  // namespace cairn
