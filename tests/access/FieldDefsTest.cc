#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "cairn/access/CairnFieldDefs.h"
#include "cairn/access/Component.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn {
namespace {

using test::ErrorText;

class FieldDefsTest : public ::testing::Test {
 protected:
  FieldDefsTest() {
    table.SetName("Contacts");
    defs.SetOnChange([this] { ++changes; });
  }

  TComponent table;
  TCairnFieldDefs defs{&table};
  int changes = 0;
};

// The size rule through Add (only a non-zero size of a known type is checked) and through
// Create (always checked); sizes count as 16-bit unsigned numbers.
TEST_F(FieldDefsTest, SizeRuleThroughAddAndCreate) {
  struct {
    TFieldType type;
    int32_t size;
    bool addOk;
    bool createOk;
  } cases[] = {
      {ftString, 0, true, false},       {ftString, 1, true, true},
      {ftString, 512, true, true},      {ftString, 513, false, false},
      {ftString, -1, false, false},     {ftString, 65536 + 30, true, true},
      {ftFixedChar, 600, false, false}, {ftWideString, 40, true, true},
      {ftGuid, 38, true, true},         {ftGuid, 0, true, false},
      {ftBytes, 16, true, true},        {ftVarBytes, 513, false, false},
      {ftBCD, 0, true, true},           {ftBCD, 32, true, true},
      {ftBCD, 33, false, false},        {ftInteger, 0, true, true},
      {ftInteger, 4, false, false},     {ftInteger, 65536, true, true},
      {ftMemo, 1, false, false},        {ftBlob, 0, true, true},
      {ftArray, 10, false, false},      {ftUnknown, 100, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " size " << c.size);
    defs.Clear();
    if (c.addOk) {
      EXPECT_EQ(defs.Add("F", c.type, c.size).Size(), c.size);
    } else {
      EXPECT_EQ(ErrorText([&] { defs.Add("F", c.type, c.size); }), "Invalid field size");
    }
    EXPECT_EQ(defs.Count(), c.addOk ? 1 : 0);
    if (c.createOk) {
      TCairnFieldDef& d = TCairnFieldDef::Create(defs, "G", c.type, c.size, false, "", "", "", "",
                                                 fcNoChange, 0, 7);
      EXPECT_EQ(d.DataType(), c.type);
      EXPECT_EQ(d.Size(), c.size);
      EXPECT_EQ(d.FieldNo(), 7);
    } else {
      EXPECT_EQ(ErrorText([&] {
                  TCairnFieldDef::Create(defs, "G", c.type, c.size, false, "", "", "", "",
                                         fcNoChange, 0, 0);
                }),
                "Invalid field size");
    }
    EXPECT_EQ(defs.Count(), (c.addOk ? 1 : 0) + (c.createOk ? 1 : 0));
  }
}

TEST_F(FieldDefsTest, SettingDataTypeSetsDefaultSize) {
  struct {
    TFieldType type;
    int32_t size;
  } cases[] = {{ftString, 20},   {ftFixedChar, 20}, {ftWideString, 20}, {ftBytes, 16},
               {ftVarBytes, 16}, {ftBCD, 4},        {ftArray, 10},      {ftGuid, 38},
               {ftInteger, 0},   {ftMemo, 0},       {ftUnknown, 0}};
  TCairnFieldDef& d = defs.AddFieldDef();
  for (const auto& c : cases) {
    d.SetSize(0);
    d.SetDataType(c.type);
    EXPECT_EQ(d.Size(), c.size) << int(c.type);
  }
  d.SetDataType(ftString);
  d.SetSize(100);
  EXPECT_EQ(d.Size(), 100);
  EXPECT_EQ(ErrorText([&] { d.SetSize(513); }), "Invalid field size");
  EXPECT_EQ(d.Size(), 100);
}

TEST_F(FieldDefsTest, AddStoresEveryArgument) {
  defs.Add("ContactID", ftGuid, 38, true, "CURRENT_GUID", "a", "z", "key", fcUpperCase, 6);
  TCairnFieldDef& d = defs.Add(12, "Photo", ftBlob);
  ASSERT_EQ(defs.Count(), 2);
  const TCairnFieldDef& g = defs.Items(0);
  EXPECT_EQ(g.Name(), "ContactID");
  EXPECT_EQ(g.FieldNo(), 0);
  EXPECT_EQ(g.DataType(), ftGuid);
  EXPECT_EQ(g.Size(), 38);
  EXPECT_TRUE(g.Required());
  EXPECT_EQ(g.Attributes(), TFieldAttributes{faRequired});
  EXPECT_EQ(g.DefaultValue(), "CURRENT_GUID");
  EXPECT_EQ(g.MinValue(), "a");
  EXPECT_EQ(g.MaxValue(), "z");
  EXPECT_EQ(g.Description(), "key");
  EXPECT_EQ(g.CharCase(), fcUpperCase);
  EXPECT_EQ(g.Compression(), 6);
  EXPECT_EQ(&d, &defs.Items(1));
  EXPECT_EQ(d.FieldNo(), 12);
  EXPECT_FALSE(d.Required());
  EXPECT_TRUE(d.Attributes().Empty());
  EXPECT_EQ(d.Index(), 1);
  EXPECT_THROW(defs.Items(2), std::out_of_range);
}

TEST_F(FieldDefsTest, EmptyNameFailsWithTheTableNameInFront) {
  defs.Add("A", ftInteger);
  changes = 0;
  EXPECT_EQ(ErrorText([&] { defs.Add("", ftInteger); }), "Contacts: Field name missing");
  EXPECT_EQ(ErrorText([&] { defs.Insert(0, 5, "", ftInteger); }), "Contacts: Field name missing");
  EXPECT_EQ(defs.Count(), 1);
  EXPECT_EQ(changes, 0);

  TCairnFieldDefs ownerless;
  EXPECT_EQ(ErrorText([&] { ownerless.Add("", ftInteger); }), "Field name missing");
  TComponent unnamed;
  TCairnFieldDefs unnamedOwner(&unnamed);
  EXPECT_EQ(ErrorText([&] { unnamedOwner.Add("", ftInteger); }), "Field name missing");
}

TEST_F(FieldDefsTest, DuplicateNameInAnyCaseLeavesTheListUnchanged) {
  defs.Add("FirstName", ftString, 30);
  defs.Add("Caf\xC3\xA9", ftString, 30);  // UTF-8 e acute
  changes = 0;
  struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"FIRSTNAME", "Duplicate name 'FIRSTNAME' in TCairnFieldDefs"},
      {"firstname", "Duplicate name 'firstname' in TCairnFieldDefs"},
      {"CAF\xC3\x89", "Duplicate name 'CAF\xC3\x89' in TCairnFieldDefs"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorText([&] { defs.Add(c.name, ftInteger); }), c.message);
    EXPECT_EQ(ErrorText([&] { defs.Insert(0, c.name, ftInteger); }), c.message);
    EXPECT_EQ(ErrorText([&] {
                TCairnFieldDef::Create(defs, c.name, ftInteger, 0, false, "", "", "", "",
                                       fcNoChange, 0, 0);
              }),
              c.message);
  }
  ASSERT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs.Items(0).Name(), "FirstName");
  EXPECT_EQ(defs.Items(1).Name(), "Caf\xC3\xA9");
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(defs.UpdateCount(), 0);
  // Renaming an item to a case variant of its own name is no duplicate.
  defs.Items(0).SetName("FIRSTNAME");
  EXPECT_EQ(defs.Items(0).Name(), "FIRSTNAME");
  EXPECT_EQ(ErrorText([&] { defs.Items(1).SetName("firstName"); }),
            "Duplicate name 'firstName' in TCairnFieldDefs");
}

TEST_F(FieldDefsTest, InsertPlacesAtPosition) {
  defs.Add("A", ftInteger);
  defs.Add("C", ftInteger);
  defs.Insert(1, "B", ftString, 10);
  defs.Insert(0, 9, "Z", ftBoolean, 0, true);
  defs.InsertFieldDef(4);
  EXPECT_THROW(defs.Insert(6, "Y", ftInteger), std::out_of_range);
  EXPECT_THROW(defs.Insert(-1, "Y", ftInteger), std::out_of_range);
  ASSERT_EQ(defs.Count(), 5);
  const char* names[] = {"Z", "A", "B", "C", ""};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(defs.Items(i).Name(), names[i]);
  EXPECT_EQ(defs.Items(0).FieldNo(), 9);
  EXPECT_TRUE(defs.Items(0).Required());
  EXPECT_EQ(defs.Items(2).Size(), 10);
  EXPECT_EQ(defs.Items(4).DataType(), ftUnknown);
}

TEST_F(FieldDefsTest, FindIgnoresCaseAndFailsWithTableName) {
  defs.Add("Birthday", ftDate);
  EXPECT_EQ(&defs.Find("BIRTHDAY"), &defs.Items(0));
  EXPECT_EQ(defs.IndexOf("birthday"), 0);
  EXPECT_EQ(defs.IndexOf("Birth"), -1);
  EXPECT_EQ(ErrorText([&] { defs.Find("Anniversary"); }),
            "Contacts: Field 'Anniversary' not found");
  defs.Clear();
  EXPECT_EQ(defs.Count(), 0);
  EXPECT_EQ(ErrorText([&] { defs.Find("Birthday"); }), "Contacts: Field 'Birthday' not found");
}

TEST_F(FieldDefsTest, AssignCopiesEveryPropertyOrNothing) {
  TCairnFieldDefs other;
  TCairnFieldDef& src =
      other.Add(4, "Notes", ftString, 200, true, "x", "a", "z", "d", fcLowerCase, 3);
  src.SetAttributes(src.Attributes() + TFieldAttributes{faFixed});
  defs.Add("Notes2", ftInteger);
  TCairnFieldDef& dst = defs.Add("Other", ftMemo);
  changes = 0;
  dst.Assign(src);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst.Name(), "Notes");
  EXPECT_EQ(dst.FieldNo(), 4);
  EXPECT_EQ(dst.DataType(), ftString);
  EXPECT_EQ(dst.Size(), 200);
  EXPECT_EQ(dst.Attributes(), (TFieldAttributes{faRequired, faFixed}));
  EXPECT_EQ(dst.DefaultValue(), "x");
  EXPECT_EQ(dst.MinValue(), "a");
  EXPECT_EQ(dst.MaxValue(), "z");
  EXPECT_EQ(dst.Description(), "d");
  EXPECT_EQ(dst.CharCase(), fcLowerCase);
  EXPECT_EQ(dst.Compression(), 3);

  src.SetName("NOTES2");
  TCairnFieldDef& before = defs.Items(1);
  EXPECT_EQ(ErrorText([&] { dst.Assign(src); }), "Duplicate name 'NOTES2' in TCairnFieldDefs");
  EXPECT_EQ(before.Name(), "Notes");
  EXPECT_EQ(before.Size(), 200);
}

TEST_F(FieldDefsTest, ChangeNoticesFoldIntoOnePerUpdate) {
  defs.Add("A", ftString, 10, true, "d", "", "", "", fcUpperCase, 0);
  EXPECT_EQ(changes, 1);
  defs.Items(0).SetDescription("text");
  EXPECT_EQ(changes, 2);
  defs.Items(0).SetDescription("text");  // no change, no notice
  EXPECT_EQ(changes, 2);
  defs.BeginUpdate();
  defs.Add("B", ftInteger);
  defs.BeginUpdate();
  defs.Items(1).SetRequired(true);
  defs.EndUpdate();
  EXPECT_EQ(changes, 2);
  defs.EndUpdate();
  EXPECT_EQ(changes, 3);
  defs.Clear();
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(defs.UpdateCount(), 0);
}

TEST_F(FieldDefsTest, UpdateAsksTheOwnerOnlyWhenThereIsOne) {
  defs.Update();  // no refresher: nothing happens
  EXPECT_EQ(defs.Count(), 0);
  defs.SetOnUpdate([this] {
    defs.Clear();
    defs.Add(1, "Stored", ftInteger);
  });
  defs.Add("Stale", ftInteger);
  defs.Update();
  ASSERT_EQ(defs.Count(), 1);
  EXPECT_EQ(defs.Items(0).Name(), "Stored");
}

}  // namespace
}  // namespace cairn
