#include <gtest/gtest.h>

#include <string>

#include "cairn/access/Component.h"
#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn {
namespace {

using test::ErrorText;

TEST(DatabaseErrorTest, FormatMessageFillsInOrderAndNeverReadsArguments) {
  struct {
    const char* format;
    std::initializer_list<std::string_view> args;
    const char* want;
  } cases[] = {
      {SDuplicateName, {"Name", "TCairnFieldDefs"}, "Duplicate name 'Name' in TCairnFieldDefs"},
      {SFieldNotFound, {"%s%d%n"}, "Field '%s%d%n' not found"},
      {SDuplicateName, {"only"}, "Duplicate name 'only' in "},
      {"100%% of %s", {"x", "extra"}, "100% of x"},
      {"trailing %", {}, "trailing %"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatMessage(c.format, c.args), c.want) << c.format;
}

TEST(DatabaseErrorTest, NamedComponentGoesInFront) {
  TComponent owner;
  TComponent table(&owner);
  EXPECT_EQ(table.Owner(), &owner);
  EXPECT_EQ(ErrorText([&] { DatabaseError(SFieldNameMissing, &table); }), "Field name missing");
  table.SetName("Photos");
  EXPECT_EQ(ErrorText([&] { DatabaseError(SFieldNameMissing, &table); }),
            "Photos: Field name missing");
  EXPECT_EQ(ErrorText([&] { DatabaseError(SInvalidFieldSize); }), "Invalid field size");
  EXPECT_EQ(ErrorText([&] { DatabaseErrorFmt(SIndexNotFound, {"IDX_X"}, &table); }),
            "Photos: Index 'IDX_X' not found");
}

TEST(DatabaseErrorTest, ComponentLoadingState) {
  TComponent c;
  EXPECT_FALSE(c.Loading());
  c.SetLoading(true);
  EXPECT_TRUE(c.Loading());
  EXPECT_TRUE(c.ComponentState().Contains(csLoading));
  c.SetLoading(false);
  EXPECT_FALSE(c.Loading());
}

}  // namespace
}  // namespace cairn
