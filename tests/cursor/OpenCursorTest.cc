#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "cairn/error/EngineErrorCodes.h"
#include "tests/cursor/CursorTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn {
namespace {

using test::EngineErrorCode;
using test::NewField;
using test::TableParams;

class OpenCursorTest : public test::CursorFixture {};

// A damaged or foreign file is refused with its code; the cursor stays closed and the directory
// keeps no table object.
TEST_F(OpenCursorTest, RefusedFilesLeaveTheCursorClosed) {
  const struct {
    const char* what;
    const char* file;
    int64_t offset;
    std::string bytes;
    uint16_t code;
  } cases[] = {
      {"older data version", "dat", 8, std::string(1, '\5'), CAIRN_OLDVERSION},
      {"newer data version", "dat", 8, std::string(1, '\7'), CAIRN_BADSIGNATURE},
      {"foreign data signature", "dat", 9, std::string(16, 'x'), CAIRN_BADSIGNATURE},
      {"too many fields", "dat", 47, test::Int16Bytes(1025), CAIRN_HEADERCORRUPT},
      {"unknown locale", "dat", 189, test::Int32Bytes(0x7777), CAIRN_CANNOTLOADLDDRV},
      {"older index version", "idx", 8, std::string(1, '\4'), CAIRN_OLDVERSION},
      {"foreign index signature", "idx", 9, std::string(16, 'y'), CAIRN_BADSIGNATURE},
      {"damaged free-slot chain", "dat", 25, test::Int32Bytes(5), CAIRN_HEADERCORRUPT},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "T" + std::to_string(n++);
    Create(name, TableParams({NewField("Id", fld::kInteger)}));
    test::PatchDiskFile(File(name + "." + c.file), c.offset, c.bytes);
    TDataCursor cursor(FDirectory);
    cursor.SetTableName(name);
    cursor.SetExclusive(true);
    EXPECT_EQ(EngineErrorCode([&] { cursor.OpenCursor(); }), c.code) << c.what;
    EXPECT_FALSE(cursor.IsOpen()) << c.what;
    EXPECT_EQ(FDirectory.DataTableCount(), 0u) << c.what;
  }
}

TEST_F(OpenCursorTest, EncryptedTableNeedsItsPassword) {
  TTableCreateParams params = TableParams({NewField("Id", fld::kInteger)});
  params.Encrypted = true;
  params.Password = "secret";
  Create("T", params);
  FSession.DeleteAllPasswords();
  TDataCursor cursor(FDirectory);
  cursor.SetTableName("T");
  EXPECT_EQ(EngineErrorCode([&] { cursor.OpenCursor(); }), CAIRN_NOTSUFFTABLERIGHTS);
  EXPECT_FALSE(cursor.IsOpen());
  FSession.AddPassword("secret");
  cursor.OpenCursor();
  test::TRow row(cursor);
  row.Init();
  row.SetInt(1, 9);
  ASSERT_TRUE(cursor.AppendRecord(row.Data()));
  ASSERT_EQ(cursor.GetFirstRecord(row.Data()), 0);
  EXPECT_EQ(row.Int(1), 9);
}

// Another process holding the table exclusively keeps every other opener out, and an open
// shared table keeps out an exclusive opener.
TEST_F(OpenCursorTest, ExclusiveUseAcrossProcesses) {
  Create("T", TableParams({NewField("Id", fld::kInteger)}));
  for (bool holderExclusive : {true, false}) {
    SCOPED_TRACE(holderExclusive);
    test::TChildProcess holder([&](test::TChannel& channel) {
      TDataSession& session = test::FreshChildSession(FEngine);
      TDataDirectory& directory = OpenDirectory(session);
      auto cursor = OpenIn(directory, "T", holderExclusive);
      channel.Send('o');
      return channel.Receive() == 'q' ? 0 : 1;
    });
    ASSERT_EQ(holder.Receive(), 'o');
    TDataCursor cursor(FDirectory);
    cursor.SetTableName("T");
    cursor.SetExclusive(true);
    EXPECT_EQ(EngineErrorCode([&] { cursor.OpenCursor(); }), CAIRN_OSEACCES);
    EXPECT_FALSE(cursor.IsOpen());
    cursor.SetExclusive(false);
    if (holderExclusive) {
      EXPECT_EQ(EngineErrorCode([&] { cursor.OpenCursor(); }), CAIRN_OSEACCES);
    } else {
      cursor.OpenCursor();
      EXPECT_TRUE(cursor.IsOpen());
      cursor.CloseCursor();
    }
    holder.Send('q');
    EXPECT_EQ(holder.Wait(), 0);
  }
}

}  // namespace
}  // namespace cairn
