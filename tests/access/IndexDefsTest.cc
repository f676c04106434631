#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cairn/access/CairnIndexDefs.h"
#include "cairn/access/Component.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn {
namespace {

using test::ErrorText;

class IndexDefsTest : public ::testing::Test {
 protected:
  IndexDefsTest() {
    table.SetName("WorkHours");
    defs.SetOnChange([this] { ++changes; });
  }

  TComponent table;
  TCairnIndexDefs defs{&table};
  int changes = 0;
};

TEST_F(IndexDefsTest, AddStoresEveryArgument) {
  TCairnIndexDef& d = defs.Add("IDX_Name", "LastName;FirstName", {ixUnique, ixCaseInsensitive}, "",
                               icTrailingByte, true);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(d.Name(), "IDX_Name");
  EXPECT_EQ(d.DisplayName(), "IDX_Name");
  EXPECT_EQ(d.Fields(), "LastName;FirstName");
  EXPECT_EQ(d.FieldExpression(), "LastName;FirstName");
  EXPECT_EQ(d.Options(), (TIndexOptions{ixUnique, ixCaseInsensitive}));
  EXPECT_EQ(d.DescFields(), "");
  EXPECT_EQ(d.Compression(), icTrailingByte);
  EXPECT_TRUE(d.NoKeyStatistics());
  TCairnIndexDef& primary = defs.Add("", "RecordID", {ixPrimary, ixUnique});
  EXPECT_EQ(primary.DisplayName(), "<Primary>");
  EXPECT_EQ(&defs.Items(1), &primary);
}

TEST_F(IndexDefsTest, DuplicateNamesFailAndLeaveTheListUnchanged) {
  defs.Add("", "ID", {ixPrimary});
  defs.Add("IDX_ResourceID", "ResourceID");
  changes = 0;
  struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"", "WorkHours: Duplicate index name ''"},
      {"idx_resourceid", "WorkHours: Duplicate index name 'idx_resourceid'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorText([&] { defs.Add(c.name, "X"); }), c.message);
  }
  // Create checks through the name itself, without the table name.
  EXPECT_EQ(ErrorText([&] {
              TCairnIndexDef::Create(defs, "IDX_RESOURCEID", "X", {}, "", icNone, false);
            }),
            "Duplicate name 'IDX_RESOURCEID' in TCairnIndexDefs");
  EXPECT_EQ(defs.Count(), 2);
  EXPECT_EQ(changes, 0);

  TCairnIndexDefs ownerless;
  ownerless.Add("", "A");
  EXPECT_EQ(ErrorText([&] { ownerless.Add("", "B"); }), "Duplicate index name ''");
}

TEST_F(IndexDefsTest, DescFieldsAndDescendingRulesOfAdd) {
  struct {
    const char* desc;
    TIndexOptions options;
    TIndexOptions wantOptions;
    const char* wantDesc;
  } cases[] = {
      {"B", {}, {ixDescending}, "B"},
      {"", {ixDescending}, {ixDescending}, "A;B"},
      {"", {ixUnique}, {ixUnique}, ""},
      {"A", {ixUnique, ixDescending}, {ixUnique, ixDescending}, "A"},
  };
  int n = 0;
  for (const auto& c : cases) {
    TCairnIndexDef& d = defs.Add("I" + std::to_string(n++), "A;B", c.options, c.desc);
    EXPECT_EQ(d.Options(), c.wantOptions) << c.desc;
    EXPECT_EQ(d.DescFields(), c.wantDesc);
    EXPECT_EQ(d.Fields(), "A;B");
  }
}

TEST_F(IndexDefsTest, CreateStoresWithoutAdjustments) {
  TCairnIndexDef& a = TCairnIndexDef::Create(defs, "A", "X;Y", {ixDescending}, "", icFull, true);
  TCairnIndexDef& b = TCairnIndexDef::Create(defs, "B", "X;Y", {}, "Y", icNone, false);
  EXPECT_EQ(a.DescFields(), "");
  EXPECT_EQ(a.Options(), TIndexOptions{ixDescending});
  EXPECT_EQ(a.Compression(), icFull);
  EXPECT_TRUE(a.NoKeyStatistics());
  EXPECT_EQ(b.Options(), TIndexOptions{});
  EXPECT_EQ(b.DescFields(), "Y");
  EXPECT_EQ(defs.Count(), 2);
}

TEST_F(IndexDefsTest, PropertySetters) {
  TCairnIndexDef& d =
      TCairnIndexDef::Create(defs, "E", "Upper(Name)", {ixExpression}, "", icNone, false);
  EXPECT_EQ(d.Fields(), "");
  EXPECT_EQ(d.FieldExpression(), "Upper(Name)");
  d.SetFields("Upper(Name)");  // same text, but an expression: becomes a field list
  EXPECT_FALSE(d.Options().Contains(ixExpression));
  EXPECT_EQ(d.Fields(), "Upper(Name)");
  d.SetFields("A;B");
  d.SetOptions({ixDescending, ixUnique});
  EXPECT_EQ(d.DescFields(), "A;B");
  d.SetOptions({ixUnique});
  d.SetDescFields("");
  EXPECT_EQ(d.Options(), TIndexOptions{ixUnique});
  d.SetDescFields("B");
  EXPECT_EQ(d.Options(), (TIndexOptions{ixUnique, ixDescending}));
  // ixDescending with descending fields already given keeps them.
  d.SetOptions({ixDescending});
  EXPECT_EQ(d.DescFields(), "B");
}

TEST_F(IndexDefsTest, GetIndexForFieldsExactPassBeforePrefixPass) {
  // Each order with the index the lookup of "A" must give.
  struct {
    std::vector<const char*> order;
    const char* want;
  } cases[] = {
      {{"A;B", "AB"}, "A;B"},    {{"AB", "A;B"}, "A;B"},    {{"A;B", "AB", "A"}, "A"},
      {{"A", "AB", "A;B"}, "A"}, {{"AB", "A;B", "a"}, "a"}, {{"A;B;C", "A;B"}, "A;B;C"},
  };
  for (const auto& c : cases) {
    defs.Clear();
    for (const char* fields : c.order) defs.Add(std::string("I_") + fields, fields);
    TCairnIndexDef* found = defs.GetIndexForFields("A", false);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Fields(), c.want);
    EXPECT_EQ(&defs.FindIndexForFields("a"), found);
  }
}

TEST_F(IndexDefsTest, GetIndexForFieldsSkipsExpressionAndCaseSensitiveIndexes) {
  TCairnIndexDef::Create(defs, "Expr", "Name", {ixExpression}, "", icNone, false);
  defs.Add("Plain", "Name;City");
  defs.Add("NoCase", "Name;Zip", {ixCaseInsensitive});
  EXPECT_EQ(defs.GetIndexForFields("Name", false)->Name(), "Plain");
  EXPECT_EQ(defs.GetIndexForFields("NAME", true)->Name(), "NoCase");
  EXPECT_EQ(defs.GetIndexForFields("Name;Zip", false)->Name(), "NoCase");
  EXPECT_EQ(defs.GetIndexForFields("City", false), nullptr);
  EXPECT_EQ(defs.GetIndexForFields("Name;City", true), nullptr);
  EXPECT_EQ(defs.GetIndexForFields("Nam", false), nullptr);  // a prefix must end at ";"
  EXPECT_EQ(ErrorText([&] { defs.FindIndexForFields("City"); }),
            "WorkHours: No index for fields 'City'");
}

TEST_F(IndexDefsTest, GetIndexForFieldsRefreshesFirst) {
  int refreshes = 0;
  defs.SetOnUpdate([&] {
    ++refreshes;
    if (defs.IndexOf("Stored") < 0) defs.Add("Stored", "Day");
  });
  EXPECT_EQ(defs.GetIndexForFields("Day", false)->Name(), "Stored");
  EXPECT_EQ(refreshes, 1);
}

TEST_F(IndexDefsTest, FindIgnoresCaseAndFailsWithTableName) {
  defs.Add("", "RecordID", {ixPrimary});
  defs.Add("IDX_Day", "Day");
  EXPECT_EQ(&defs.Find("idx_DAY"), &defs.Items(1));
  EXPECT_EQ(&defs.Find(""), &defs.Items(0));
  EXPECT_EQ(ErrorText([&] { defs.Find("IDX_Week"); }), "WorkHours: Index 'IDX_Week' not found");
}

TEST_F(IndexDefsTest, AssignCopiesEveryPropertyOrNothing) {
  TCairnIndexDefs other;
  TCairnIndexDef& src = other.Add("IDX_Src", "A;B", {ixUnique}, "B", icDuplicateByte, true);
  defs.Add("Taken", "Q");
  TCairnIndexDef& dst = defs.AddIndexDef();
  changes = 0;
  dst.Assign(src);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst.Name(), "IDX_Src");
  EXPECT_EQ(dst.Fields(), "A;B");
  EXPECT_EQ(dst.Options(), (TIndexOptions{ixUnique, ixDescending}));
  EXPECT_EQ(dst.DescFields(), "B");
  EXPECT_EQ(dst.Compression(), icDuplicateByte);
  EXPECT_TRUE(dst.NoKeyStatistics());

  src.SetName("TAKEN");
  EXPECT_EQ(ErrorText([&] { dst.Assign(src); }), "Duplicate name 'TAKEN' in TCairnIndexDefs");
  EXPECT_EQ(dst.Name(), "IDX_Src");
}

}  // namespace
}  // namespace cairn
