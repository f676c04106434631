// The engine's description of one field: 768 bytes, stored in the data file after its header.
//
//   offset size  field                 stored
//   ------ ----  --------------------  ------------------------------------------
//        0    2  FieldNum              yes  (1-based, equal to the position)
//        2   61  FieldName             yes  (length byte + up to 60 characters)
//       63  101  Description           yes  (length byte + up to 100 characters)
//      164    1  DataType              yes  (engine type code, below)
//      165    1  SubType               yes
//      166    2  Length                yes  (declared length; string-like codes only)
//      168    1  Decimals              yes  (BCD scale)
//      169    2  DataSize              yes  (value bytes in the record)
//      171    1  DataDecimals          yes
//      172    2  Offset                yes  (offset of the null-flag byte in the record)
//      174    1  Required              yes
//      175    1  CharCase              yes  (0 no change, 1 lower, 2 upper)
//      176  101  Minimum               yes  (length-prefixed literal)
//      277  101  Maximum               yes
//      378  101  Default               yes
//      479    1  Compression           yes  (zlib level 0-9, blob fields)
//      480    1  ExpressionField       no   (written as 0)
//      481    4  ExpressionTokens      no
//      485    1  Hidden                yes
//      486  101  FieldOrigin           no
//      587    2  OriginFieldNum        no
//      589    2  FieldPos              no
//      591  101  FieldDatabaseOrigin   no
//      692   76  (zero)
//
// Stored definitions are rebuilt from the stored fields only; reading takes over only those.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cairn {

// Engine type codes.
namespace fld {
constexpr uint8_t kString = 1;
constexpr uint8_t kDate = 2;
constexpr uint8_t kBlob = 3;
constexpr uint8_t kBoolean = 4;
constexpr uint8_t kSmallInt = 5;
constexpr uint8_t kInteger = 6;
constexpr uint8_t kFloat = 7;
constexpr uint8_t kBCD = 8;
constexpr uint8_t kBytes = 9;
constexpr uint8_t kTime = 10;
constexpr uint8_t kTimeStamp = 11;
constexpr uint8_t kWord = 12;
constexpr uint8_t kVarBytes = 15;
constexpr uint8_t kCursor = 17;
constexpr uint8_t kLargeInt = 18;
constexpr uint8_t kADT = 20;
constexpr uint8_t kArray = 21;
constexpr uint8_t kReference = 22;
constexpr uint8_t kDataSet = 23;

// Subtypes.
constexpr uint8_t kSubMoney = 21;        // float
constexpr uint8_t kSubMemo = 22;         // blob
constexpr uint8_t kSubGraphic = 26;      // blob
constexpr uint8_t kSubAutoInc = 29;      // integer
constexpr uint8_t kSubFixed = 31;        // string, trailing spaces kept
constexpr uint8_t kSubWide = 32;         // string, two bytes per character
constexpr uint8_t kSubGuid = 50;         // string of length 38
constexpr uint8_t kSubRecordHash = 100;  // bytes

// Pseudo-field numbers, as unsigned 16-bit values (-1 and -2).
constexpr uint16_t kRecordIDFieldNum = 65535;
constexpr uint16_t kRecordHashFieldNum = 65534;
}  // namespace fld

struct TFieldDefinition {
  static constexpr size_t kSize = 768;
  static constexpr size_t kMaxNameLength = 60;
  static constexpr size_t kMaxTextLength = 100;  // description, minimum, maximum, default

  uint16_t FieldNum = 0;
  std::string FieldName;
  std::string Description;
  uint8_t DataType = 0;
  uint8_t SubType = 0;
  uint16_t Length = 0;
  uint8_t Decimals = 0;
  uint16_t DataSize = 0;
  uint8_t DataDecimals = 0;
  uint16_t Offset = 0;
  bool Required = false;
  uint8_t CharCase = 0;
  std::string Minimum;
  std::string Maximum;
  std::string Default;
  uint8_t Compression = 0;
  // In memory only.
  bool ExpressionField = false;
  uint32_t ExpressionTokens = 0;
  bool Hidden = false;
  std::string FieldOrigin;
  uint16_t OriginFieldNum = 0;
  uint16_t FieldPos = 0;
  std::string FieldDatabaseOrigin;

  // Writes the stored form into a 768-byte area (in-memory-only fields as zero).
  void Encode(char* area) const;
  // Reads the stored fields from a 768-byte area; the in-memory-only fields stay at their defaults.
  // Length bytes beyond their areas are clamped, so damaged definitions decode safely.
  static TFieldDefinition Decode(const char* area);
  // Whether every length byte of the stored strings fits its area.
  static bool StringLengthsValid(const char* area);

  bool IsBlob() const { return DataType == fld::kBlob; }
};

// Bytes a value of the type occupies in the record: code 1 Length + 1 (2 x Length + 1 for subtype
// 32); codes 2, 6, 10: 4; codes 3, 7, 11, 18: 8; codes 4, 5, 12: 2; code 8: 34; any other: Length.
uint16_t FieldDataSize(uint8_t dataType, uint8_t subType, uint16_t length);

// Field and index names start with a letter A-Z or a-z, an underscore or a character code
// 128-254. An empty name has no valid start.
bool IsValidNameStart(std::string_view name);

// The pseudo-fields every table has without a stored definition: "RecordID" (number 65535, a
// 32-bit integer at record offset 5) and "RecordHash" (number 65534, 16 bytes at offset 9). They
// have no null-flag byte.
const TFieldDefinition& RecordIDFieldDefinition();
const TFieldDefinition& RecordHashFieldDefinition();

}  // namespace cairn
