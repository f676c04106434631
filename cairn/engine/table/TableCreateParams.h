// Everything a new table is created from: the table-level values, its field definitions and its
// index definitions, as the creating cursor hands them to the engine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/engine/index/TextIndexParams.h"

namespace cairn {

struct TTableCreateParams {
  int32_t LocaleID = 0;  // 0: plain byte order ("ANSI Standard")
  uint16_t UserMajorVersion = 0;
  uint16_t UserMinorVersion = 0;
  bool Encrypted = false;
  std::string Password;     // 8-bit; used only when Encrypted
  std::string Description;  // 8-bit
  int32_t IndexPageSize = 4096;
  int32_t BlobBlockSize = 512;
  int32_t LastAutoIncValue = 0;
  // Full-text index parameters; absent stop words and empty sets take the engine's defaults.
  std::optional<std::vector<std::string>> TextIndexStopWords;
  TCharSet TextIndexSpaceChars;
  TCharSet TextIndexIncludeChars;
  bool ReplaceExisting = false;
  bool OpenAfterCreate = false;

  // The fields in field-number order (FieldNum = position + 1).
  std::vector<TFieldDefinition> Fields;
  // Slot 0. A definition without key fields (all zero) becomes the automatic primary index on
  // RecordID.
  TIndexDefinition PrimaryIndex;
  // Slots 1, 2, ... in the order they were defined.
  std::vector<TIndexDefinition> SecondaryIndexes;
  // Slot 31, named "Sys Text"; its key fields are the text-indexed fields (none: no text index).
  TIndexDefinition TextIndex;
};

}  // namespace cairn
