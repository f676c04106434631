#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "cairn/engine/DataEngine.h"
#include "cairn/host/HostFiles.h"
#include "cairn/host/OsError.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/TempDir.h"

namespace cairn {
namespace {

class DataEngineErrorsTest : public ::testing::Test {
 protected:
  // Raises through the engine and hands back what was thrown.
  ECairnEngineError Raise(uint16_t code, const TEngineErrorContext& context = {}) {
    return test::ErrorOf([&] { FEngine.RaiseError(code, context); });
  }

  TDataEngine FEngine;
};

TEST_F(DataEngineErrorsTest, RaiseErrorBuildsTheMessageFromTheContext) {
  TEngineErrorContext context;
  context.TableName = "Photos";
  context.DatabaseName = "/data/Main";
  ECairnEngineError error = Raise(CAIRN_TABLEEXISTS, context);
  EXPECT_EQ(error.ErrorCode(), 13060);
  EXPECT_EQ(error.Message(), "Cairn Engine Error # 13060 The table 'Photos' already exists");
  EXPECT_EQ(error.ErrorTableName(), "Photos");
  EXPECT_EQ(error.ErrorDatabaseName(), "/data/Main");
  EXPECT_EQ(error.ErrorMessage(), "");
  EXPECT_EQ(error.OSErrorCode(), 0);

  TEngineErrorContext last = FEngine.LastError();
  EXPECT_EQ(last.ErrorNumber, 13060);
  EXPECT_EQ(last.TableName, "Photos");
  EXPECT_EQ(FEngine.GetErrorString(CAIRN_TABLEEXISTS), "The table 'Photos' already exists");
}

TEST_F(DataEngineErrorsTest, EveryRaiseStartsFromAClearedRecord) {
  TEngineErrorContext first;
  first.TableName = "Photos";
  first.IndexName = "IDX_Photo";
  first.Line = 4;
  Raise(CAIRN_KEYVIOL, first);

  ECairnEngineError second = Raise(CAIRN_HEADERCORRUPT);
  EXPECT_EQ(second.ErrorTableName(), "");
  EXPECT_EQ(second.ErrorIndexName(), "");
  EXPECT_EQ(second.ErrorLine(), 0);
  EXPECT_EQ(second.Message(),
            "Cairn Engine Error # 8961 Header information corrupt in the table ''");
  EXPECT_EQ(FEngine.LastError().TableName, "");
}

TEST_F(DataEngineErrorsTest, OSErrorMapsAndIsCarriedIntoTheNextRaiseOnly) {
  const std::pair<int, int> cases[] = {
      {2, 11010},   {3, 11010},
      {4, 11012},   {5, 11013},
      {32, 11013},  {65, 11013},
      {183, 11013}, {6, 11014},
      {8, 11016},   {14, 11016},
      {15, 11023},  {17, 11025},
      {999, 11047}, {host::kErrorUnknown, 11047},
  };
  for (const auto& [windowsError, code] : cases)
    EXPECT_EQ(FEngine.OSError(windowsError), code) << "Windows error " << windowsError;

  EXPECT_EQ(FEngine.OSError(32), 11013);
  ECairnEngineError error = Raise(CAIRN_OSEACCES);
  EXPECT_EQ(error.ErrorCode(), 11013);
  EXPECT_EQ(error.OSErrorCode(), 11013);
  EXPECT_EQ(FEngine.LastError().OSErrorNumber, 11013);
  // The pending number is used up by the raise.
  EXPECT_EQ(Raise(CAIRN_READERR).OSErrorCode(), 0);
}

TEST_F(DataEngineErrorsTest, SharingViolationFromAnotherProcessEndsAs11013) {
  test::TTempDir folder;
  const std::string path = folder.File("Photos.dat");
  host::THostFiles& files = host::PosixFiles();
  int fd = files.Create(path);
  ASSERT_GE(fd, 0);
  files.Close(fd);

  test::TChildProcess child([&](test::TChannel& channel) {
    int held = host::PosixFiles().Open(path, false, true);
    channel.Send(held >= 0 ? 'y' : 'n');
    channel.Receive();  // hold the file until the parent has tried
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'y');

  int result = files.Open(path, false, false);
  EXPECT_EQ(result, -32);
  int32_t code = FEngine.OSError(-result);
  TEngineErrorContext context;
  context.TableName = "Photos";
  ECairnEngineError error = Raise(static_cast<uint16_t>(code), context);
  EXPECT_EQ(error.ErrorCode(), 11013);
  EXPECT_EQ(error.OSErrorCode(), 11013);
  EXPECT_EQ(error.Message(),
            "Cairn Engine Error # 11013 Access denied to table or backup file 'Photos'");
  if (result >= 0) files.Close(result);

  child.Send('x');
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(DataEngineErrorsTest, ConvertExceptionToCode) {
  EXPECT_EQ(TDataEngine::ConvertExceptionToCode(Raise(CAIRN_KEYVIOL)), 9729);
  EXPECT_EQ(TDataEngine::ConvertExceptionToCode(std::runtime_error("disk on fire")), 11047);
  EXPECT_EQ(TDataEngine::ConvertExceptionToCode(EDatabaseError("Database name is missing")), 11047);
}

TEST_F(DataEngineErrorsTest, MessageTextIsCutTo254Characters) {
  TEngineErrorContext context;
  context.TableName = "Events";
  context.Message = std::string(300, 'm');
  ECairnEngineError error = Raise(CAIRN_INVALIDFILTER, context);
  const std::string text = FEngine.GetErrorString(CAIRN_INVALIDFILTER);
  EXPECT_EQ(text.size(), 254u);
  EXPECT_EQ(text.rfind("Filter error for the table 'Events' - mmm", 0), 0u);
  EXPECT_EQ(error.Message(), "Cairn Engine Error # 10051 " + text);
  EXPECT_EQ(error.ErrorMessage(), context.Message);  // the context itself is kept whole
}

TEST_F(DataEngineErrorsTest, UnknownCodesAndConstantNames) {
  EXPECT_EQ(Raise(11284).Message(), "Cairn Engine Error # 11284 An unknown error occurred");
  EXPECT_EQ(FEngine.TranslateErrorConstant(13060), "CAIRN_TABLEEXISTS");
  EXPECT_EQ(FEngine.TranslateErrorConstant(0), "CAIRN_NONE");
  EXPECT_EQ(FEngine.TranslateErrorConstant(10243), "");
}

}  // namespace
}  // namespace cairn
