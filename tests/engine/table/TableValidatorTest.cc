#include "cairn/engine/table/TableValidator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "cairn/engine/DataEngine.h"
#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/host/System.h"
#include "tests/support/TableTestSupport.h"

namespace cairn {
namespace {

using test::NewField;

const char* const kDatabase = "MainDB";
const char* const kTable = "Events.dat";

TIndexDefinition Index(const std::string& name, std::vector<uint16_t> keyFields,
                       bool unique = false) {
  TIndexDefinition index;
  index.IndexName = name;
  index.KeyUnique = unique;
  for (size_t i = 0; i < keyFields.size(); ++i) index.KeyFields[i] = keyFields[i];
  return index;
}

// What a failed validation raised.
struct TFailure {
  uint16_t Code = 0;
  std::string Database, Table, Field, Index;
};

class TableValidatorTest : public ::testing::Test {
 protected:
  // A valid table: an integer, a string of 20 and a memo field; no declared indexes.
  TTableCreateParams Params() const {
    TTableCreateParams params;
    params.Fields = {NewField("ID", fld::kInteger), NewField("Name", fld::kString, 20),
                     NewField("Notes", fld::kBlob, 0, fld::kSubMemo)};
    return Numbered(params);
  }

  // Field numbers are positions, as the component layer hands them in.
  static TTableCreateParams Numbered(TTableCreateParams params) {
    for (size_t i = 0; i < params.Fields.size(); ++i)
      params.Fields[i].FieldNum = static_cast<uint16_t>(i + 1);
    return params;
  }

  // Validates and hands back the raised error; records a test failure when none was raised or
  // when the definitions were changed by the failed validation.
  TFailure Refused(TTableCreateParams params) {
    TTableCreateParams before = params;
    try {
      ValidateTableCreateParams(FEngine, params, kDatabase, kTable);
    } catch (const ECairnEngineError& error) {
      EXPECT_EQ(params.Fields.size(), before.Fields.size());
      for (size_t i = 0; i < params.Fields.size(); ++i)
        EXPECT_EQ(params.Fields[i].FieldName, before.Fields[i].FieldName);
      EXPECT_EQ(params.IndexPageSize, before.IndexPageSize);
      return {error.ErrorCode(), error.ErrorDatabaseName(), error.ErrorTableName(),
              error.ErrorFieldName(), error.ErrorIndexName()};
    }
    ADD_FAILURE() << "the definitions were accepted";
    return {};
  }

  TTableCreateParams Accepted(TTableCreateParams params) {
    EXPECT_NO_THROW(ValidateTableCreateParams(FEngine, params, kDatabase, kTable));
    return params;
  }

  TDataEngine FEngine;
};

// ---- Table-level checks ----------------------------------------------------------------------

struct TTableCase {
  const char* Name;
  std::function<void(TTableCreateParams&)> Change;
  uint16_t Code;  // 0: accepted
};

TEST_F(TableValidatorTest, TableLevelLimits) {
  auto pageSize = [](int32_t v) { return [v](TTableCreateParams& p) { p.IndexPageSize = v; }; };
  auto blockSize = [](int32_t v) { return [v](TTableCreateParams& p) { p.BlobBlockSize = v; }; };
  auto password = [](std::string v) {
    return [v](TTableCreateParams& p) {
      p.Encrypted = true;
      p.Password = v;
    };
  };
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  const TTableCase cases[] = {
      {"page size 1020", pageSize(1020), 0},
      {"page size 1017", pageSize(1017), 0},
      {"page size 16384", pageSize(16384), 0},
      {"page size 1016", pageSize(1016), CAIRN_INDEXLIMIT},
      {"page size 16385", pageSize(16385), CAIRN_INDEXLIMIT},
      {"page size negative", pageSize(-4096), CAIRN_INDEXLIMIT},
      {"page size 0", pageSize(0), CAIRN_INDEXLIMIT},
      {"page size largest", pageSize(kMax), CAIRN_INDEXLIMIT},
      {"block size 60", blockSize(60), 0},
      {"block size 65536", blockSize(65536), 0},
      {"block size 56", blockSize(56), CAIRN_BLOBLIMIT},
      {"block size 65537", blockSize(65537), CAIRN_BLOBLIMIT},
      {"block size negative", blockSize(-64), CAIRN_BLOBLIMIT},
      {"block size largest", blockSize(kMax - 3), CAIRN_BLOBLIMIT},
      {"password", password("secret"), 0},
      {"password of 128", password(std::string(128, 'p')), 0},
      {"password padded to 129", password(" " + std::string(128, 'p') + " "), 0},
      {"password empty", password(""), CAIRN_INVALIDPASSWORD},
      {"password blank", password("  \t "), CAIRN_INVALIDPASSWORD},
      {"password of 129", password(std::string(129, 'p')), CAIRN_INVALIDPASSWORD},
      {"unencrypted, no password", [](TTableCreateParams& p) { p.Password = ""; }, 0},
      {"locale 1033", [](TTableCreateParams& p) { p.LocaleID = 1033; }, 0},
      {"locale 12345", [](TTableCreateParams& p) { p.LocaleID = 12345; }, CAIRN_CANNOTLOADLDDRV},
      {"locale negative", [](TTableCreateParams& p) { p.LocaleID = -1; }, CAIRN_CANNOTLOADLDDRV},
      {"no fields", [](TTableCreateParams& p) { p.Fields.clear(); }, CAIRN_FLDLIMIT},
      {"30 secondary indexes",
       [](TTableCreateParams& p) {
         for (int i = 0; i < 30; ++i)
           p.SecondaryIndexes.push_back(Index("I" + std::to_string(i), {1}));
       },
       0},
      {"31 secondary indexes",
       [](TTableCreateParams& p) {
         for (int i = 0; i < 31; ++i)
           p.SecondaryIndexes.push_back(Index("I" + std::to_string(i), {1}));
       },
       CAIRN_INDEXLIMIT},
  };
  for (const TTableCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTableCreateParams params = Params();
    c.Change(params);
    if (c.Code == 0) {
      Accepted(params);
      continue;
    }
    TFailure failure = Refused(params);
    EXPECT_EQ(failure.Code, c.Code);
    EXPECT_EQ(failure.Database, kDatabase);
    EXPECT_EQ(failure.Table, kTable);
    EXPECT_EQ(failure.Field, "");
    EXPECT_EQ(failure.Index, "");
  }
}

TEST_F(TableValidatorTest, FieldCountLimits) {
  TTableCreateParams params;
  params.Fields.assign(1024, NewField("", fld::kInteger));
  for (size_t i = 0; i < params.Fields.size(); ++i)
    params.Fields[i].FieldName = "F" + std::to_string(i);
  params = Numbered(params);
  Accepted(params);

  params.Fields.push_back(NewField("F1024", fld::kInteger));
  params = Numbered(params);
  EXPECT_EQ(Refused(params).Code, CAIRN_FLDLIMIT);
}

TEST_F(TableValidatorTest, SizesAreRoundedUpToMultiplesOf8) {
  const std::pair<int32_t, int32_t> pages[] = {{1020, 1024}, {1017, 1024}, {4096, 4096}};
  for (const auto& [given, rounded] : pages) {
    TTableCreateParams params = Params();
    params.IndexPageSize = given;
    EXPECT_EQ(Accepted(params).IndexPageSize, rounded) << given;
  }
  const std::pair<int32_t, int32_t> blocks[] = {{60, 64}, {4096, 4096}, {65529, 65536}};
  for (const auto& [given, rounded] : blocks) {
    TTableCreateParams params = Params();
    params.BlobBlockSize = given;
    EXPECT_EQ(Accepted(params).BlobBlockSize, rounded) << given;
  }
  EXPECT_EQ(RoundUpToMultipleOf8(16385), 16392);
  EXPECT_EQ(RoundUpToMultipleOf8(0), 0);
  EXPECT_EQ(RoundUpToMultipleOf8(-1), -1);
  EXPECT_EQ(RoundUpToMultipleOf8(std::numeric_limits<int32_t>::max() - 7),
            std::numeric_limits<int32_t>::max() - 7);
  EXPECT_EQ(RoundUpToMultipleOf8(std::numeric_limits<int32_t>::max()),
            std::numeric_limits<int32_t>::max());
}

TEST_F(TableValidatorTest, TableLevelChecksComeFirstInTheirOwnOrder) {
  TTableCreateParams params = Params();
  params.Fields[0].FieldName = "1st";  // a field failure that would come later
  params.IndexPageSize = 16385;
  params.BlobBlockSize = 1;
  EXPECT_EQ(Refused(params).Code, CAIRN_INDEXLIMIT);

  params.LocaleID = 12345;
  EXPECT_EQ(Refused(params).Code, CAIRN_CANNOTLOADLDDRV);

  params.Encrypted = true;
  EXPECT_EQ(Refused(params).Code, CAIRN_INVALIDPASSWORD);
}

// ---- Field checks ----------------------------------------------------------------------------

struct TFieldCase {
  const char* Name;
  TFieldDefinition Definition;
  uint16_t Code;  // 0: accepted
};

TFieldDefinition With(TFieldDefinition field, const std::function<void(TFieldDefinition&)>& f) {
  f(field);
  return field;
}

TEST_F(TableValidatorTest, FieldRules) {
  auto defaulted = [](TFieldDefinition f, std::string text) {
    return With(f, [text](TFieldDefinition& d) { d.Default = text; });
  };
  auto compressed = [](TFieldDefinition f, uint8_t level) {
    return With(f, [level](TFieldDefinition& d) { d.Compression = level; });
  };
  const TFieldDefinition integer = NewField("Value", fld::kInteger);
  const TFieldDefinition blob = NewField("Value", fld::kBlob);
  const TFieldCase cases[] = {
      // Names.
      {"RecordID", NewField("RecordID", fld::kInteger), CAIRN_INVALIDFIELDNAME},
      {"recordid", NewField("recordid", fld::kInteger), CAIRN_INVALIDFIELDNAME},
      {"RECORDHASH", NewField(" RECORDHASH ", fld::kInteger), CAIRN_INVALIDFIELDNAME},
      {"empty name", NewField("", fld::kInteger), CAIRN_INVALIDFIELDNAME},
      {"blank name", NewField("   ", fld::kInteger), CAIRN_INVALIDFIELDNAME},
      {"underscore", NewField("_x", fld::kInteger), 0},
      {"digit first", NewField("1x", fld::kInteger), CAIRN_INVALIDFIELDNAME},
      {"space inside", NewField("Start Date", fld::kInteger), 0},
      {"code 128 first", NewField("\x80x", fld::kInteger), 0},
      {"code 254 first", NewField("\xFEx", fld::kInteger), 0},
      {"code 255 first", NewField("\xFFx", fld::kInteger), CAIRN_INVALIDFIELDNAME},
      {"dash first", NewField("-x", fld::kInteger), CAIRN_INVALIDFIELDNAME},
      // Types and lengths.
      {"type 0", NewField("Value", 0), CAIRN_INVALIDFLDTYPE},
      {"string 0", NewField("Value", fld::kString, 0), CAIRN_INVALIDFLDTYPE},
      {"string 1", NewField("Value", fld::kString, 1), 0},
      {"string 512", NewField("Value", fld::kString, 512), 0},
      {"string 513", NewField("Value", fld::kString, 513), CAIRN_INVALIDFLDTYPE},
      {"wide 256", NewField("Value", fld::kString, 256, fld::kSubWide), 0},
      {"wide 257", NewField("Value", fld::kString, 257, fld::kSubWide), CAIRN_INVALIDFLDTYPE},
      {"bytes 0", NewField("Value", fld::kBytes, 0), CAIRN_INVALIDFLDTYPE},
      {"bytes 512", NewField("Value", fld::kBytes, 512), 0},
      {"varbytes 513", NewField("Value", fld::kVarBytes, 513), CAIRN_INVALIDFLDTYPE},
      {"integer with a length", NewField("Value", fld::kInteger, 9999), 0},
      // Default, minimum and maximum texts.
      {"abc on an integer", defaulted(integer, "abc"), CAIRN_INVALIDVCHKSTRUCT},
      {"42 on an integer", defaulted(integer, "42"), 0},
      {"False on a boolean", defaulted(NewField("Value", fld::kBoolean), "False"), 0},
      {"CURRENT_GUID on a GUID",
       defaulted(NewField("Value", fld::kString, 38, fld::kSubGuid), "CURRENT_GUID"), 0},
      {"text on a blob", defaulted(blob, "x"), CAIRN_INVALIDVCHKSTRUCT},
      {"bad minimum", With(integer, [](TFieldDefinition& d) { d.Minimum = "1.5"; }),
       CAIRN_INVALIDVCHKSTRUCT},
      {"bad maximum", With(integer, [](TFieldDefinition& d) { d.Maximum = "x"; }),
       CAIRN_INVALIDVCHKSTRUCT},
      {"default of 100 characters",
       defaulted(NewField("Value", fld::kString, 200), std::string(100, 'a')), 0},
      {"default longer than its stored area",
       defaulted(NewField("Value", fld::kString, 200), std::string(101, 'a')),
       CAIRN_INVALIDVCHKSTRUCT},
      // Compression and computed fields.
      {"compression 5 on an integer", compressed(integer, 5), CAIRN_INVALIDFLDTYPE},
      {"compression 5 on a blob", compressed(blob, 5), 0},
      {"compression 9 on a blob", compressed(blob, 9), 0},
      {"compression 10 on a blob", compressed(blob, 10), CAIRN_INVALIDFLDTYPE},
      {"expression field", With(integer, [](TFieldDefinition& d) { d.ExpressionField = true; }),
       CAIRN_INVALIDFLDTYPE},
  };
  for (const TFieldCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTableCreateParams params = Params();
    params.Fields.push_back(c.Definition);
    params = Numbered(params);
    if (c.Code == 0) {
      Accepted(params);
      continue;
    }
    TFailure failure = Refused(params);
    EXPECT_EQ(failure.Code, c.Code);
    EXPECT_EQ(failure.Table, kTable);
    EXPECT_EQ(failure.Database, kDatabase);
    EXPECT_EQ(failure.Field, host::TrimBlanks(c.Definition.FieldName));
    EXPECT_EQ(failure.Index, "");
  }
}

TEST_F(TableValidatorTest, DuplicateFieldNamesAndNumbers) {
  TTableCreateParams params = Params();
  params.Fields.push_back(NewField(" name", fld::kInteger));
  TFailure failure = Refused(Numbered(params));
  EXPECT_EQ(failure.Code, CAIRN_INVALIDFIELDNAME);
  EXPECT_EQ(failure.Field, "name");

  // Names that differ only in an accented letter's case are the same name.
  params = Params();
  params.Fields.push_back(NewField("\xE9t\xE9", fld::kInteger));  // "été"
  params.Fields.push_back(NewField("\xC9T\xC9", fld::kInteger));  // "ÉTÉ"
  EXPECT_EQ(Refused(Numbered(params)).Code, CAIRN_INVALIDFIELDNAME);

  params = Params();
  params.Fields[2].FieldNum = 1;
  failure = Refused(params);
  EXPECT_EQ(failure.Code, CAIRN_INVALIDFLDTYPE);
  EXPECT_EQ(failure.Field, "Notes");

  // A number that is not the field's position would be refused when the table is opened.
  const uint16_t misnumbered[] = {0, 4, fld::kRecordIDFieldNum, fld::kRecordHashFieldNum};
  for (uint16_t number : misnumbered) {
    params = Params();
    params.Fields[2].FieldNum = number;
    failure = Refused(params);
    EXPECT_EQ(failure.Code, CAIRN_INVALIDFLDTYPE) << number;
    EXPECT_EQ(failure.Field, "Notes") << number;
  }
}

TEST_F(TableValidatorTest, FieldChecksRunInOrderFieldByField) {
  // Within a field: name before type before texts before compression.
  TTableCreateParams params = Params();
  params.Fields[1] = NewField("9Name", 0);
  params.Fields[1].Default = "x";
  params.Fields[1].Compression = 3;
  params = Numbered(params);
  EXPECT_EQ(Refused(params).Code, CAIRN_INVALIDFIELDNAME);
  params.Fields[1].FieldName = "Name";
  EXPECT_EQ(Refused(params).Code, CAIRN_INVALIDFLDTYPE);
  params.Fields[1].DataType = fld::kInteger;
  EXPECT_EQ(Refused(params).Code, CAIRN_INVALIDVCHKSTRUCT);

  // The first failing field decides, whatever a later one holds.
  params = Params();
  params.Fields[1].Length = 0;
  params.Fields[2].FieldName = "RecordID";
  TFailure failure = Refused(params);
  EXPECT_EQ(failure.Code, CAIRN_INVALIDFLDTYPE);
  EXPECT_EQ(failure.Field, "Name");
}

TEST_F(TableValidatorTest, FieldsAreNormalisedAndLaidOut) {
  TTableCreateParams params;
  params.Fields = {NewField("  Guid  ", fld::kString, 38, fld::kSubGuid),
                   NewField("Count", fld::kInteger, 77),
                   NewField("Amount", fld::kBCD),
                   NewField("Ratio", fld::kFloat),
                   NewField(std::string(70, 'L'), fld::kString, 20),
                   NewField("Wide", fld::kString, 10, fld::kSubWide),
                   NewField("Raw", fld::kBytes, 16),
                   NewField("Photo", fld::kBlob)};
  params.Fields[1].Decimals = 3;
  params.Fields[2].Decimals = 4;
  params.Fields[3].Decimals = 2;
  params = Accepted(Numbered(params));

  struct TLayout {
    std::string Name;
    uint16_t Length, DataSize, Offset;
    uint8_t Decimals;
  };
  const TLayout expected[] = {
      {"Guid", 38, 39, 25, 0},                 // 25 + 40 = 65
      {"Count", 0, 4, 65, 0},                  // length and decimals cleared
      {"Amount", 0, 34, 70, 4},                // decimals kept for BCD
      {"Ratio", 0, 8, 105, 0},                 //
      {std::string(60, 'L'), 20, 21, 114, 0},  // name cut to 60
      {"Wide", 10, 21, 136, 0},                // two bytes per character
      {"Raw", 16, 16, 158, 0},                 //
      {"Photo", 0, 8, 175, 0},                 // ends at 184
  };
  ASSERT_EQ(params.Fields.size(), std::size(expected));
  for (size_t i = 0; i < params.Fields.size(); ++i) {
    const TFieldDefinition& f = params.Fields[i];
    SCOPED_TRACE(expected[i].Name);
    EXPECT_EQ(f.FieldName, expected[i].Name);
    EXPECT_EQ(f.Length, expected[i].Length);
    EXPECT_EQ(f.DataSize, expected[i].DataSize);
    EXPECT_EQ(f.Offset, expected[i].Offset);
    EXPECT_EQ(f.Decimals, expected[i].Decimals);
    EXPECT_EQ(f.DataDecimals, expected[i].Decimals);
  }
}

TEST_F(TableValidatorTest, OffsetsBeyondTheRecordLimitAreNotWrapped) {
  // 200 strings of 512 take far more than a record can hold; the data file refuses the record
  // length later, and no offset may look small and valid meanwhile.
  TTableCreateParams params;
  for (int i = 0; i < 200; ++i)
    params.Fields.push_back(NewField("S" + std::to_string(i), fld::kString, 512));
  params = Accepted(Numbered(params));
  EXPECT_EQ(params.Fields[1].Offset, 25 + 514);
  EXPECT_EQ(params.Fields[127].Offset, 25 + 127 * 514);
  EXPECT_EQ(params.Fields[128].Offset, 65535);  // 25 + 128 * 514 = 65817
  EXPECT_EQ(params.Fields[199].Offset, 65535);
}

// ---- Index checks ----------------------------------------------------------------------------

TEST_F(TableValidatorTest, PrimaryWithoutKeyFieldsIndexesRecordID) {
  TTableCreateParams params = Params();
  params.PrimaryIndex.IndexName = "PK";
  params.PrimaryIndex.KeyCompressionType = idx::kCompressFull;
  params.PrimaryIndex.KeyDescending = true;
  params.PrimaryIndex.KeyCaseInsensitive = true;
  params.PrimaryIndex.NoKeyStatistics = true;
  params.PrimaryIndex.KeyFieldCount = 2;
  params.PrimaryIndex.KeyFields[1] = 2;  // after the list's end
  const TIndexDefinition primary = Accepted(params).PrimaryIndex;
  EXPECT_EQ(primary.IndexName, "");
  EXPECT_TRUE(primary.KeyUnique);
  EXPECT_EQ(primary.KeyFieldCount, 1);
  EXPECT_EQ(primary.KeyFields[0], fld::kRecordIDFieldNum);
  EXPECT_EQ(primary.KeyFields[1], 0);
  EXPECT_EQ(primary.KeySize, 5);
  EXPECT_FALSE(primary.KeyDescending);
  EXPECT_FALSE(primary.KeyCaseInsensitive);
  EXPECT_EQ(primary.KeyCompressionType, idx::kCompressNone);
  EXPECT_FALSE(primary.NoKeyStatistics);
  EXPECT_TRUE(primary.IsAutomaticPrimary());
}

TEST_F(TableValidatorTest, DeclaredPrimaryIsUniqueAndUnnamed) {
  TTableCreateParams params;
  params.Fields = {NewField("ID", fld::kString, 38, fld::kSubGuid), NewField("N", fld::kInteger)};
  params = Numbered(params);
  params.PrimaryIndex = Index("IDX_ID", {1}, false);
  params.PrimaryIndex.KeyCompressionType = idx::kCompressDuplicateByte;
  const TIndexDefinition primary = Accepted(params).PrimaryIndex;
  EXPECT_EQ(primary.IndexName, "");
  EXPECT_TRUE(primary.KeyUnique);
  EXPECT_EQ(primary.KeyFieldCount, 1);
  EXPECT_EQ(primary.KeySize, 40);  // flag + 39 bytes of text, no RecordID suffix
  EXPECT_EQ(primary.KeyCompressionType, idx::kCompressDuplicateByte);
}

struct TKeySizeCase {
  const char* Name;
  std::vector<uint16_t> KeyFields;
  bool Unique;
  int32_t PageSize;
  uint16_t KeySize;  // 0: refused with 10026
};

TEST_F(TableValidatorTest, KeySizes) {
  TTableCreateParams base;
  base.Fields = {NewField("I", fld::kInteger),     NewField("S", fld::kString, 10),
                 NewField("B", fld::kBCD),         NewField("D", fld::kTimeStamp),
                 NewField("W", fld::kSmallInt),    NewField("L", fld::kString, 255),
                 NewField("X", fld::kString, 512), NewField("G", fld::kString, 38, fld::kSubGuid),
                 NewField("H", fld::kBytes, 400)};
  base = Numbered(base);
  const uint16_t recordID = fld::kRecordIDFieldNum, recordHash = fld::kRecordHashFieldNum;
  const std::vector<uint16_t> sixLong(6, 6);
  const TKeySizeCase cases[] = {
      {"integer, non-unique", {1}, false, 4096, 4 + 1 + 4},
      {"integer, unique", {1}, true, 4096, 5},
      {"string of 10", {2}, true, 4096, 12},
      {"BCD counts 8", {3}, true, 4096, 9},
      {"date-time and small integer", {4, 5}, true, 4096, 9 + 3},
      {"GUID", {8}, true, 4096, 40},
      {"RecordID", {recordID}, true, 4096, 5},
      {"RecordHash", {recordHash}, false, 4096, 17 + 4},
      {"six strings of 255", sixLong, true, 4096, 0},
      {"no key fields", {}, true, 4096, 0},
      {"no key fields, non-unique", {}, false, 4096, 0},
      {"strings on a small page", {7, 7}, true, 1024, 0},
      {"over 4106 on the largest page", std::vector<uint16_t>(9, 7), true, 16384, 0},
  };
  for (const TKeySizeCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTableCreateParams params = base;
    params.IndexPageSize = c.PageSize;
    params.SecondaryIndexes = {Index("IDX_A", c.KeyFields, c.Unique)};
    if (c.KeySize == 0) {
      TFailure failure = Refused(params);
      EXPECT_EQ(failure.Code, CAIRN_INVALIDKEY);
      EXPECT_EQ(failure.Index, "IDX_A");
      EXPECT_EQ(failure.Table, kTable);
      continue;
    }
    const TIndexDefinition index = Accepted(params).SecondaryIndexes[0];
    EXPECT_EQ(index.KeySize, c.KeySize);
    EXPECT_EQ(index.KeyFieldCount, c.KeyFields.size());
  }
}

TEST_F(TableValidatorTest, KeySizeLimitFollowsThePageSize) {
  // (4096 - 13) / 3 = 1361: a unique key of 1361 bytes fits, 1362 does not.
  TTableCreateParams params;
  params.Fields = {NewField("A", fld::kString, 512), NewField("B", fld::kString, 512),
                   NewField("C", fld::kBytes, 330), NewField("D", fld::kBytes, 331)};
  params = Numbered(params);
  params.SecondaryIndexes = {Index("Fits", {1, 2, 3}, true)};  // 514 + 514 + 331 = 1359
  EXPECT_EQ(Accepted(params).SecondaryIndexes[0].KeySize, 1359);
  params.SecondaryIndexes = {Index("Fits", {1, 2, 4}, true)};  // 1360
  EXPECT_EQ(Accepted(params).SecondaryIndexes[0].KeySize, 1360);
  params.Fields[3].Length = 332;  // 1361
  EXPECT_EQ(Accepted(params).SecondaryIndexes[0].KeySize, 1361);
  params.Fields[3].Length = 333;  // 1362
  EXPECT_EQ(Refused(params).Code, CAIRN_INVALIDKEY);
  params.SecondaryIndexes = {Index("Fits", {1, 2, 3}, false)};  // 1359 + 4 = 1363
  EXPECT_EQ(Refused(params).Code, CAIRN_INVALIDKEY);
}

struct TIndexCase {
  const char* Name;
  std::function<void(TTableCreateParams&)> Change;
  uint16_t Code;
  const char* Field;
  const char* Index;
};

TEST_F(TableValidatorTest, IndexRules) {
  auto secondary = [](TIndexDefinition index) {
    return [index](TTableCreateParams& p) { p.SecondaryIndexes.push_back(index); };
  };
  auto primary = [](TIndexDefinition index) {
    return [index](TTableCreateParams& p) { p.PrimaryIndex = index; };
  };
  const TIndexCase cases[] = {
      {"empty name", secondary(Index("", {1})), CAIRN_INVALIDINDEXNAME, "", ""},
      {"blank name", secondary(Index("  ", {1})), CAIRN_INVALIDINDEXNAME, "", ""},
      {"digit first", secondary(Index("1IDX", {1})), CAIRN_INVALIDINDEXNAME, "", "1IDX"},
      {"name trimmed", secondary(Index(" 1IDX ", {1})), CAIRN_INVALIDINDEXNAME, "", "1IDX"},
      {"same name in another case",
       [](TTableCreateParams& p) {
         p.SecondaryIndexes = {Index("IDX_Name", {2}), Index("idx_name ", {1})};
       },
       CAIRN_INDEXEXISTS, "", "idx_name"},
      {"key field beyond the field count", secondary(Index("IDX_A", {1, 4})), CAIRN_INVALIDIDXDESC,
       "4", "IDX_A"},
      {"key field -3", secondary(Index("IDX_A", {65533})), CAIRN_INVALIDIDXDESC, "-3", "IDX_A"},
      {"blob key field", secondary(Index("IDX_A", {1, 3})), CAIRN_SEARCHCOLREQD, "Notes", "IDX_A"},
      {"unknown key field before a blob", secondary(Index("IDX_A", {3, 9})), CAIRN_INVALIDIDXDESC,
       "9", "IDX_A"},
      {"primary on an unknown field", primary(Index("PK", {7})), CAIRN_INVALIDIDXDESC, "7",
       "Primary"},
      {"primary on a blob", primary(Index("PK", {3})), CAIRN_SEARCHCOLREQD, "Notes", "Primary"},
      {"primary before secondaries",
       [](TTableCreateParams& p) {
         p.SecondaryIndexes = {Index("", {1})};
         p.PrimaryIndex = Index("", {3});
       },
       CAIRN_SEARCHCOLREQD, "Notes", "Primary"},
      {"secondaries in order",
       [](TTableCreateParams& p) {
         p.SecondaryIndexes = {Index("IDX_A", {5}), Index("", {1})};
       },
       CAIRN_INVALIDIDXDESC, "5", "IDX_A"},
      {"text index on an integer", [](TTableCreateParams& p) { p.TextIndex.KeyFields[0] = 1; },
       CAIRN_SEARCHCOLREQD, "ID", "Sys Text"},
      {"text index on RecordID",
       [](TTableCreateParams& p) { p.TextIndex.KeyFields[0] = fld::kRecordIDFieldNum; },
       CAIRN_SEARCHCOLREQD, "RecordID", "Sys Text"},
      {"text index on a binary blob",
       [](TTableCreateParams& p) {
         p.Fields[2].SubType = 0;
         p.TextIndex.KeyFields[0] = 3;
       },
       CAIRN_SEARCHCOLREQD, "Notes", "Sys Text"},
      {"text index on an unknown field",
       [](TTableCreateParams& p) { p.TextIndex.KeyFields[0] = 4; }, CAIRN_INVALIDIDXDESC, "4",
       "Sys Text"},
  };
  for (const TIndexCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTableCreateParams params = Params();
    c.Change(params);
    TFailure failure = Refused(params);
    EXPECT_EQ(failure.Code, c.Code);
    EXPECT_EQ(failure.Field, c.Field);
    EXPECT_EQ(failure.Index, c.Index);
    EXPECT_EQ(failure.Table, kTable);
    EXPECT_EQ(failure.Database, kDatabase);
  }
}

TEST_F(TableValidatorTest, SecondaryIndexesAreNormalised) {
  TTableCreateParams params = Params();
  params.SecondaryIndexes = {Index("  " + std::string(65, 'X') + " ", {2, 1}, false),
                             Index("IDX_ID", {1, 0, 2}, true)};
  params.SecondaryIndexes[0].KeyDescendingFields[1] = true;
  params.SecondaryIndexes[1].KeyDescendingFields[2] = true;
  params = Accepted(params);

  const TIndexDefinition& first = params.SecondaryIndexes[0];
  EXPECT_EQ(first.IndexName, std::string(60, 'X'));
  EXPECT_EQ(first.KeyFieldCount, 2);
  EXPECT_EQ(first.KeySize, 22 + 5 + 4);
  EXPECT_TRUE(first.KeyDescendingFields[1]);
  EXPECT_FALSE(first.KeyUnique);

  // The list ends at its first 0; what follows is cleared, so the stored list has no gap.
  const TIndexDefinition& second = params.SecondaryIndexes[1];
  EXPECT_EQ(second.KeyFieldCount, 1);
  EXPECT_EQ(second.KeyFields[1], 0);
  EXPECT_EQ(second.KeyFields[2], 0);
  EXPECT_FALSE(second.KeyDescendingFields[2]);
  EXPECT_EQ(second.KeySize, 5);
}

TEST_F(TableValidatorTest, TextIndexSlotIsAlwaysSet) {
  TTableCreateParams params = Params();
  params.TextIndex.IndexName = "Words";
  params.TextIndex.KeyUnique = true;
  TIndexDefinition text = Accepted(params).TextIndex;
  EXPECT_EQ(text.IndexName, "Sys Text");
  EXPECT_EQ(text.KeySize, 68);
  EXPECT_EQ(text.KeyCompressionType, idx::kCompressFull);
  EXPECT_TRUE(text.NoKeyStatistics);
  EXPECT_FALSE(text.KeyUnique);
  EXPECT_EQ(text.KeyFieldCount, 0);

  params.TextIndex.KeyFields[0] = 2;  // string
  params.TextIndex.KeyFields[1] = 3;  // memo
  text = Accepted(params).TextIndex;
  EXPECT_EQ(text.KeyFieldCount, 2);
  EXPECT_EQ(text.KeySize, 68);
}

TEST_F(TableValidatorTest, ErrorMessagesNameTheirContext) {
  TTableCreateParams params = Params();
  params.SecondaryIndexes = {Index("IDX_A", {2, 8})};
  try {
    ValidateTableCreateParams(FEngine, params, kDatabase, kTable);
    FAIL() << "accepted";
  } catch (const ECairnEngineError& error) {
    EXPECT_EQ(error.Message(),
              "Cairn Engine Error # 10023 Invalid field number '8' specified in the index "
              "'IDX_A' for the table 'Events.dat'");
  }
}

}  // namespace
}  // namespace cairn
