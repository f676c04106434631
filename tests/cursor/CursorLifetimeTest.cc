// A cursor belongs to its caller and may outlive the directory it was made on: closing the session,
// the last use of the directory or an engine reset frees the directory under it. The cursor must
// then be closed and let go of the directory, so that using or destroying it later touches no
// freed memory (the sanitizer build reports any such access).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineErrorCodes.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/TableTestSupport.h"

namespace cairn {
namespace {

using test::EngineErrorCode;
using test::EventsParams;

class CursorLifetimeTest : public test::TableFixture {
 protected:
  CursorLifetimeTest() {
    TDataCursor creator(FDirectory);
    creator.SetTableName("Events");
    creator.SetExclusive(true);
    TTableCreateParams params = EventsParams(true);
    creator.CreateTable(params);
  }
};

TEST_F(CursorLifetimeTest, FreeingTheDirectoryClosesAndDetachesItsCursors) {
  struct Case {
    const char* what;
    std::function<void(TDataEngine&, TDataSession&, TDataDirectory&)> free;
    bool resetsEngine;  // closes every file, whoever held it
  } cases[] = {
      {"session closed",
       [](TDataEngine& engine, TDataSession& session, TDataDirectory&) {
         engine.CloseDataSession(session);
       },
       false},
      {"last use of the directory closed",
       [](TDataEngine&, TDataSession& session, TDataDirectory& directory) {
         session.CloseDataDirectory(directory, false);
       },
       false},
      {"session freed by an engine reset",
       [](TDataEngine& engine, TDataSession&, TDataDirectory&) { engine.Reset(); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FEngine.Initialize();  // again after the reset case
    const size_t filesBefore = FEngine.FileRegistry().Count(false);
    TDataSession& session = FEngine.StartDataSession();
    test::UseQuickRetries(FEngine, session);
    TDataDirectory& directory = OpenDirectory(session);
    auto open = std::make_unique<TDataCursor>(directory);
    open->SetTableName("Events");
    open->SetExclusive(true);
    open->OpenCursor();
    auto closed = std::make_unique<TDataCursor>(directory);
    closed->SetTableName("Events");
    ASSERT_EQ(directory.DataCursorCount(), 2u);

    c.free(FEngine, session, directory);

    for (TDataCursor* cursor : {open.get(), closed.get()}) {
      EXPECT_EQ(cursor->DataDirectory(), nullptr);
      EXPECT_FALSE(cursor->IsOpen());
      EXPECT_EQ(cursor->DataTable(), nullptr);
      EXPECT_EQ(cursor->FieldCount(), 0);
    }
    // The open cursor gave its table back: the table's three files are closed.
    if (!c.resetsEngine) {
      EXPECT_EQ(FEngine.FileRegistry().Count(false), filesBefore);
    }
    open.reset();  // destroying a detached cursor touches nothing of the directory

    // A detached cursor refuses work instead of reaching for the freed directory.
    EXPECT_EQ(EngineErrorCode([&] { closed->OpenCursor(); }), CAIRN_OSEBADF);
    EXPECT_EQ(EngineErrorCode([&] { closed->SetTableName("Other"); }), CAIRN_OSEBADF);
    TTableCreateParams params = EventsParams();
    closed->SetExclusive(true);
    EXPECT_EQ(EngineErrorCode([&] { closed->CreateTable(params); }), CAIRN_OSEBADF);
    closed->CloseCursor();  // closed already: nothing to do
    closed.reset();
  }
}

}  // namespace
}  // namespace cairn
