#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cairn/error/EngineError.h"

namespace cairn {
namespace {

TEST(EngineErrorTest, MessageAndContextFields) {
  TEngineErrorContext c;
  c.TableName = "Photos";
  c.OSErrorNumber = 11013;
  c.SocketErrorNumber = 7;
  c.DatabaseName = "MainDB";
  c.Line = 3;
  c.Column = 9;
  ECairnEngineError e(CAIRN_TABLEEXISTS, c);
  EXPECT_EQ(e.Message(), "Cairn Engine Error # 13060 The table 'Photos' already exists");
  EXPECT_STREQ(e.what(), e.Message().c_str());
  EXPECT_EQ(e.ErrorCode(), 13060);
  EXPECT_EQ(e.ErrorTableName(), "Photos");
  EXPECT_EQ(e.ErrorDatabaseName(), "MainDB");
  EXPECT_EQ(e.ErrorMessage(), "");
  EXPECT_EQ(e.OSErrorCode(), 11013);
  EXPECT_EQ(e.SocketErrorCode(), 7);
  EXPECT_EQ(e.ErrorLine(), 3);
  EXPECT_EQ(e.ErrorColumn(), 9);
  // Caught as the generic database error too.
  try {
    throw e;
  } catch (const EDatabaseError& base) {
    EXPECT_EQ(base.Message(), e.Message());
  }
}

TEST(EngineErrorTest, EveryContextNameIsCopied) {
  TEngineErrorContext c;
  c.RemoteName = "srv:12005";
  c.UserName = "Admin";
  c.FieldName = "Color";
  c.IndexName = "IDX_Name";
  c.Message = "bad token";
  c.ProcedureName = "Proc";
  c.EventName = "Nightly";
  ECairnEngineError e(CAIRN_SQLEXEC, c);
  EXPECT_EQ(e.ErrorRemoteName(), "srv:12005");
  EXPECT_EQ(e.ErrorUserName(), "Admin");
  EXPECT_EQ(e.ErrorFieldName(), "Color");
  EXPECT_EQ(e.ErrorIndexName(), "IDX_Name");
  EXPECT_EQ(e.ErrorMessage(), "bad token");
  EXPECT_EQ(e.ErrorProcedureName(), "Proc");
  EXPECT_EQ(e.ErrorEventName(), "Nightly");
  EXPECT_EQ(e.Message(), "Cairn Engine Error # 11950 SQL execution error - bad token");
}

TEST(EngineErrorTest, PlaceholdersFilledInOrder) {
  TEngineErrorContext c;
  c.TableName = "WorkHours";
  c.IndexName = "IDX_ResourceID";
  c.FieldName = "Day";
  c.UserName = "ann";
  c.DatabaseName = "MainDB";
  c.RemoteName = "10.0.0.1";
  c.ProcedureName = "Sync";
  c.Message = "unexpected ')'";
  c.Line = 2;
  c.Column = 14;
  c.SessionID = 5;
  c.OSErrorNumber = 11013;
  struct {
    uint16_t code;
    const char* text;
  } cases[] = {
      {9729, "Duplicate key found in the index 'IDX_ResourceID' of the table 'WorkHours'"},
      {10023,
       "Invalid field number 'Day' specified in the index 'IDX_ResourceID' for the table "
       "'WorkHours'"},
      {11288,
       "The user 'ann' is not authorized to perform this operation with the database "
       "'MainDB' on the database server at '10.0.0.1'"},
      {10051, "Filter error for the table 'WorkHours' - unexpected ')' at line 2, column 14"},
      {10243, "Cannot lock the session (ID: 5)"},
      {11016, "There is insufficient operating system memory available for the current operation"},
      // The recorded OS code is the engine code the OS error was mapped onto.
      {11047,
       "An unknown operating system error 11013 occurred with the table or backup file "
       "'WorkHours'"},
      {11303,
       "The procedure user 'ann' does not exist for the procedure 'Sync' on the database "
       "server at '10.0.0.1'"},
      {11304,
       "The procedure user 'ann' already exists for the procedure 'Sync' on the database "
       "server at '10.0.0.1'"},
  };
  for (const auto& tc : cases) {
    EXPECT_EQ(EngineErrorString(tc.code, c), tc.text) << tc.code;
  }
}

TEST(EngineErrorTest, MissingContextFillsNothing) {
  EXPECT_EQ(EngineErrorString(9729, {}), "Duplicate key found in the index '' of the table ''");
  EXPECT_EQ(EngineErrorString(10051, {}), "Filter error for the table '' -  at line 0, column 0");
}

TEST(EngineErrorTest, ContextTextIsNeverReadAsAFormat) {
  TEngineErrorContext c;
  c.TableName = "%s%u%n%%";
  EXPECT_EQ(EngineErrorString(CAIRN_TABLEEXISTS, c), "The table '%s%u%n%%' already exists");
}

TEST(EngineErrorTest, UnknownCodes) {
  for (uint16_t code : {0, 1, 11284, 11311, 65535}) {
    EXPECT_EQ(EngineErrorString(code, {}), "An unknown error occurred") << code;
  }
  EXPECT_EQ(ECairnEngineError(11284, {}).Message(),
            "Cairn Engine Error # 11284 An unknown error occurred");
}

TEST(EngineErrorTest, LongTextIsCutTo254BeforeThePrefix) {
  TEngineErrorContext c;
  c.TableName = "Events";
  c.Message = std::string(400, 'x');
  c.Line = 1;
  c.Column = 2;
  std::string text = EngineErrorString(CAIRN_INVALIDFILTER, c);
  ASSERT_EQ(text.size(), 254u);
  EXPECT_EQ(text, ("Filter error for the table 'Events' - " + c.Message).substr(0, 254));
  EXPECT_EQ(ECairnEngineError(CAIRN_INVALIDFILTER, c).Message(),
            "Cairn Engine Error # 10051 " + text);
}

TEST(EngineErrorTest, MessageIsUtf8WhileContextStays8Bit) {
  TEngineErrorContext c;
  c.TableName = "Caf\xE9";  // Windows-1252 e acute
  ECairnEngineError e(CAIRN_TABLEEXISTS, c);
  EXPECT_EQ(e.ErrorTableName(), "Caf\xE9");
  EXPECT_EQ(e.Message(), "Cairn Engine Error # 13060 The table 'Caf\xC3\xA9' already exists");
}

TEST(EngineErrorTest, ConstantNames) {
  struct {
    uint16_t code;
    const char* name;
  } cases[] = {
      {0, "CAIRN_NONE"},
      {8705, "CAIRN_BOF"},
      {9729, "CAIRN_KEYVIOL"},
      {11013, "CAIRN_OSEACCES"},
      {11308, "CAIRN_REMOTEINVREQUEST"},
      {13060, "CAIRN_TABLEEXISTS"},
      {15878, "CAIRN_CANNOTLOADLDDRV"},
      {10243, ""},
      {11300, ""},
      {11303, ""},
      {11284, ""},
      {1, ""},
  };
  for (const auto& tc : cases) EXPECT_EQ(EngineErrorConstant(tc.code), tc.name) << tc.code;
}

// Every code with a message, found by walking all codes: the 109 listed ones (101 with a
// constant name, 8 without) plus 11303 and 11304.
TEST(EngineErrorTest, TableHoldsExactlyTheKnownCodes) {
  const std::set<uint16_t> unnamed = {10243, 11299, 11300, 11301, 11302, 11305, 11306, 11307};
  const std::set<uint16_t> ours = {11303, 11304};
  std::set<uint16_t> withMessage, named;
  for (uint32_t code = 0; code <= 0xFFFF; ++code) {
    auto c = static_cast<uint16_t>(code);
    if (EngineErrorString(c, {}) != "An unknown error occurred") withMessage.insert(c);
    if (c != 0 && !EngineErrorConstant(c).empty()) named.insert(c);
  }
  EXPECT_EQ(named.size(), 101u);
  std::set<uint16_t> listed = named;
  listed.insert(unnamed.begin(), unnamed.end());
  EXPECT_EQ(listed.size(), 109u);
  listed.insert(ours.begin(), ours.end());
  EXPECT_EQ(withMessage, listed);
  for (uint16_t c : withMessage) {
    // No placeholder is left unfilled when the whole context is set.
    TEngineErrorContext full;
    full.RemoteName = full.UserName = full.DatabaseName = full.TableName = full.FieldName =
        full.IndexName = full.Message = full.ProcedureName = full.EventName = "N";
    std::string text = EngineErrorString(c, full);
    EXPECT_EQ(text.find("%s"), std::string::npos) << c;
    EXPECT_EQ(text.find("%u"), std::string::npos) << c;
    EXPECT_EQ(text.find("''"), std::string::npos) << c;
  }
}

}  // namespace
}  // namespace cairn
