#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cairn/engine/io/Coding.h"
#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/index/IndexDefinition.h"

namespace cairn {
namespace {

TEST(FieldDefinitionTest, StoredFormHasTheFixedOffsetsAndDropsInMemoryFields) {
  TFieldDefinition d;
  d.FieldNum = 7;
  d.FieldName = "Caption";
  d.Description = "text";
  d.DataType = fld::kString;
  d.Length = 255;
  d.DataSize = 256;
  d.Offset = 25;
  d.Required = true;
  d.CharCase = 2;
  d.Minimum = "a";
  d.Maximum = "z";
  d.Default = "CURRENT_GUID";
  d.Compression = 3;
  d.Hidden = true;
  d.ExpressionField = true;
  d.FieldOrigin = "origin";
  d.FieldPos = 9;

  std::vector<char> area(TFieldDefinition::kSize, 'x');
  d.Encode(area.data());
  EXPECT_EQ(DecodeFixed16(&area[0]), 7);
  EXPECT_EQ(DecodeShortString(&area[2], 60), "Caption");
  EXPECT_EQ(area[164], fld::kString);
  EXPECT_EQ(DecodeFixed16(&area[166]), 255);
  EXPECT_EQ(DecodeFixed16(&area[169]), 256);
  EXPECT_EQ(DecodeFixed16(&area[172]), 25);
  EXPECT_EQ(area[174], 1);
  EXPECT_EQ(area[175], 2);
  EXPECT_EQ(DecodeShortString(&area[378], 100), "CURRENT_GUID");
  EXPECT_EQ(area[479], 3);
  EXPECT_EQ(area[480], 0) << "expression flag is in memory only";
  EXPECT_EQ(area[485], 1);
  for (size_t i = 486; i < TFieldDefinition::kSize; ++i) ASSERT_EQ(area[i], 0) << i;

  TFieldDefinition back = TFieldDefinition::Decode(area.data());
  EXPECT_EQ(back.FieldName, "Caption");
  EXPECT_EQ(back.Minimum, "a");
  EXPECT_EQ(back.Maximum, "z");
  EXPECT_TRUE(back.Required);
  EXPECT_TRUE(back.Hidden);
  EXPECT_FALSE(back.ExpressionField);
  EXPECT_EQ(back.FieldOrigin, "");
}

TEST(FieldDefinitionTest, LongTextsAreCutAndDamagedLengthsClamped) {
  TFieldDefinition d;
  d.FieldName = std::string(70, 'N');
  d.Default = std::string(120, 'D');
  std::vector<char> area(TFieldDefinition::kSize);
  d.Encode(area.data());
  TFieldDefinition back = TFieldDefinition::Decode(area.data());
  EXPECT_EQ(back.FieldName, std::string(60, 'N'));
  EXPECT_EQ(back.Default, std::string(100, 'D'));
  EXPECT_TRUE(TFieldDefinition::StringLengthsValid(area.data()));

  area[2] = static_cast<char>(200);  // name length beyond its 60-character area
  EXPECT_FALSE(TFieldDefinition::StringLengthsValid(area.data()));
  EXPECT_EQ(TFieldDefinition::Decode(area.data()).FieldName.size(), 60u);
}

TEST(FieldDefinitionTest, DataSizeRule) {
  struct {
    uint8_t type, subType;
    uint16_t length, expected;
  } cases[] = {
      {fld::kString, 0, 20, 21},
      {fld::kString, fld::kSubWide, 20, 41},
      {fld::kString, fld::kSubGuid, 38, 39},
      {fld::kDate, 0, 0, 4},
      {fld::kInteger, 0, 0, 4},
      {fld::kTime, 0, 0, 4},
      {fld::kBlob, 22, 0, 8},
      {fld::kFloat, 0, 0, 8},
      {fld::kTimeStamp, 0, 0, 8},
      {fld::kLargeInt, 0, 0, 8},
      {fld::kBoolean, 0, 0, 2},
      {fld::kSmallInt, 0, 0, 2},
      {fld::kWord, 0, 0, 2},
      {fld::kBCD, 0, 0, 34},
      {fld::kBytes, 0, 16, 16},
      {fld::kVarBytes, 0, 300, 300},
      {fld::kCursor, 0, 0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FieldDataSize(c.type, c.subType, c.length), c.expected) << int(c.type);
}

TEST(FieldDefinitionTest, PseudoFields) {
  const TFieldDefinition& id = RecordIDFieldDefinition();
  EXPECT_EQ(id.FieldName, "RecordID");
  EXPECT_EQ(id.FieldNum, 65535);
  EXPECT_EQ(id.DataSize, 4);
  EXPECT_EQ(id.Offset, 5);
  const TFieldDefinition& hash = RecordHashFieldDefinition();
  EXPECT_EQ(hash.FieldNum, 65534);
  EXPECT_EQ(hash.SubType, 100);
  EXPECT_EQ(hash.Offset, 9);
  EXPECT_EQ(hash.DataSize, 16);
}

TEST(IndexDefinitionTest, StoredFormRoundTrips) {
  TIndexDefinition d;
  d.IndexName = "IDX_SortID";
  d.KeySize = 9;
  d.KeyCaseInsensitive = true;
  d.KeyCompressionType = idx::kCompressFull;
  d.KeyFieldCount = 2;
  d.KeyFields[0] = 5;
  d.KeyFields[1] = 65534;
  d.KeyDescendingFields[1] = true;
  d.NoKeyStatistics = true;
  d.IndexChanged = true;

  std::vector<char> area(TIndexDefinition::kSize, 'x');
  d.Encode(area.data());
  EXPECT_EQ(DecodeShortString(&area[0], 60), "IDX_SortID");
  EXPECT_EQ(DecodeFixed16(&area[61]), 9);
  EXPECT_EQ(area[127], 1);
  EXPECT_EQ(area[129], 3);
  EXPECT_EQ(area[130], 2);
  EXPECT_EQ(area[132], 1);
  EXPECT_EQ(DecodeFixed16(&area[259]), 5);
  EXPECT_EQ(DecodeFixed16(&area[261]), 65534);
  EXPECT_EQ(area[515], 1);
  EXPECT_EQ(area[516], 0) << "in memory only";
  for (size_t i = 518; i < TIndexDefinition::kSize; ++i) ASSERT_EQ(area[i], 0) << i;

  TIndexDefinition back = TIndexDefinition::Decode(area.data());
  EXPECT_EQ(back.IndexName, "IDX_SortID");
  EXPECT_EQ(back.KeyFields[1], 65534);
  EXPECT_TRUE(back.KeyDescendingFields[1]);
  EXPECT_FALSE(back.KeyDescendingFields[0]);
  EXPECT_FALSE(back.IndexChanged);
}

TEST(IndexDefinitionTest, AutomaticPrimary) {
  TIndexDefinition d = TIndexDefinition::AutomaticPrimary();
  EXPECT_TRUE(d.IsAutomaticPrimary());
  EXPECT_TRUE(d.KeyUnique);
  EXPECT_EQ(d.KeySize, 5);
  EXPECT_EQ(d.KeyFieldCount, 1);
  EXPECT_TRUE(d.IndexName.empty());
}

}  // namespace
}  // namespace cairn
