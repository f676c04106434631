#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "cairn/check/TableVerifier.h"
#include "cairn/error/EngineError.h"
#include "tests/check/CheckTestSupport.h"

namespace cairn::test {
namespace {

using L = TStockLayout;

std::string Joined(const TCheckFindings& findings) {
  std::string text;
  for (const TCheckFinding& f : findings) text += f.ToString() + "\n";
  return text;
}

// Whether one finding names the file and contains every part of the text.
bool Has(const TCheckFindings& findings, const std::string& file,
         const std::vector<std::string>& parts) {
  for (const TCheckFinding& f : findings) {
    if (f.File != file) continue;
    bool all = true;
    for (const std::string& part : parts) all = all && f.Text.find(part) != std::string::npos;
    if (all) return true;
  }
  return false;
}

TEST_F(CheckTableTest, SoundTableGivesNoFindingAndStaysByteForByte) {
  BuildStock();
  const std::vector<std::string> files = {"Stock.dat", "Stock.idx", "Stock.blb", "cairn.lck"};
  std::vector<std::vector<char>> before;
  for (const std::string& f : files) before.push_back(ReadBytes(Path(f)));
  ASSERT_GT(before[1].size(), 25088u + 3 * kPageSize);  // trees of several pages
  {
    TFileBytes data(Path("Stock.dat"));
    ASSERT_EQ(data.Bytes().size(), L::Slot(kRows + 1));  // the layout the damage cases use
  }

  const TCheckFindings findings = db->CheckTables();
  EXPECT_TRUE(findings.empty()) << Joined(findings);

  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(ReadBytes(Path(files[i])), before[i]) << files[i] << " changed";
  }
}

struct TDamageCase {
  const char* Name;
  // Damages the files of the closed table "Stock" in directory dir.
  std::function<void(const std::string& dir)> Damage;
  const char* File;
  std::vector<std::string> Expected;  // parts of one finding's text
  // After repair: the Codes of the records that must be there (all 120 unless noted); -1 when
  // repair cannot mend the damage and must fail or leave it.
  int RowsAfterRepair = 120;
  // A row the damage deleted (its slot marked deleted), -1 for none.
  int DeletedRow = -1;
};

std::string In(const std::string& dir, const char* name) {
  return dir + "/" + name;
}

const std::vector<TDamageCase>& DamageCases() {
  static const std::vector<TDamageCase> cases = {
      {"FlippedRecordByte",
       [](const std::string& d) { TFileBytes(In(d, "Stock.dat")).Flip(L::Slot(10) + 40); },
       "Stock.dat",
       {"slot 10", "RecordHash does not match"}},
      {"FlippedNameChangesItsKey",
       [](const std::string& d) {
         TFileBytes(In(d, "Stock.dat")).Flip(L::Slot(7) + L::kNameAt + 2);
       },
       "Stock.idx",
       {"index ByName", "stale key", "slot 7"}},
      {"FlippedStatusByte",
       [](const std::string& d) { TFileBytes(In(d, "Stock.dat")).Flip(L::Slot(3)); },
       "Stock.dat",
       {"slot 3 has status"}},
      {"FlippedKeyInLeaf",
       [](const std::string& d) {
         TFileBytes idx(In(d, "Stock.idx"));
         const int32_t leaf = idx.FirstLeaf(1, 5);
         idx.Flip(L::Page(leaf) + 13 + 2 * 9 + 4);  // entry 3's last key byte
       },
       "Stock.idx",
       {"index ByCode"}},
      {"FlippedPageType",
       [](const std::string& d) {
         TFileBytes idx(In(d, "Stock.idx"));
         idx.Bytes()[static_cast<size_t>(L::Page(idx.Root(2)))] = 7;
       },
       "Stock.idx",
       {"cannot be read as a page of index ByName"}},
      {"FlippedRightLink",
       [](const std::string& d) {
         TFileBytes idx(In(d, "Stock.idx"));
         const int32_t leaf = idx.FirstLeaf(3, 13);
         idx.SetInt32(L::Page(leaf) + 7, idx.Int32(L::Page(leaf) + 7) + 1);
       },
       "Stock.idx",
       {"index ByPrice", "right neighbour"}},
      {"WrongKeyCountInNode",
       [](const std::string& d) {
         TFileBytes idx(In(d, "Stock.idx"));
         const int64_t root = L::Page(idx.Root(0));
         idx.SetInt32(root + 13 + 5 + 4, idx.Int32(root + 13 + 5 + 4) + 3);
       },
       "Stock.idx",
       {"the primary index", "counts", "keys below it"}},
      {"StaleIndexKey",
       [](const std::string& d) {
         TFileBytes idx(In(d, "Stock.idx"));
         const int32_t leaf = idx.FirstLeaf(1, 5);
         idx.SetInt32(L::Page(leaf) + 13 + 5, 99);  // entry 1 points at another record
       },
       "Stock.idx",
       {"index ByCode", "stale key", "slot 99"}},
      {"KeyForNoRecord",
       [](const std::string& d) {
         TFileBytes idx(In(d, "Stock.idx"));
         const int32_t leaf = idx.FirstLeaf(0, 5);
         idx.SetInt32(L::Page(leaf) + 13 + 5, 5000);
       },
       "Stock.idx",
       {"the primary index holds a key for slot 5000", "no live record"}},
      {"BlobSignatureFlipped",
       [](const std::string& d) {
         const int32_t first = TFileBytes(In(d, "Stock.dat")).Int32(L::Slot(1) + L::kPhotoAt + 1);
         TFileBytes(In(d, "Stock.blb")).Flip(L::Block(first) + 10);
       },
       "Stock.blb",
       {"field Photo", "slot 1", "carries signature"}},
      {"BlobNextLinkFlipped",
       [](const std::string& d) {
         const int32_t first = TFileBytes(In(d, "Stock.dat")).Int32(L::Slot(6) + L::kPhotoAt + 1);
         TFileBytes(In(d, "Stock.blb")).Flip(L::Block(first) + 4 + 3);
       },
       "Stock.blb",
       {"field Photo", "slot 6", "outside the blob file"}},
      {"BlobLengthTooLarge",
       [](const std::string& d) {
         const int32_t first = TFileBytes(In(d, "Stock.dat")).Int32(L::Slot(11) + L::kPhotoAt + 1);
         TFileBytes blob(In(d, "Stock.blb"));
         blob.SetInt32(L::Block(first) + 14, blob.Int32(L::Block(first) + 14) + 400);
       },
       "Stock.blb",
       {"field Photo", "slot 11", "where the value needs"}},
      {"TwoValuesShareABlock",
       [](const std::string& d) {
         TFileBytes data(In(d, "Stock.dat"));
         data.SetInt32(L::Slot(21) + L::kPhotoAt + 1, data.Int32(L::Slot(16) + L::kPhotoAt + 1));
       },
       "Stock.dat",
       {"slot 21", "a second time"}},
      {"CutDataFile",
       [](const std::string& d) { TFileBytes(In(d, "Stock.dat")).Cut(L::Slot(50) + 20); },
       "Stock.dat",
       {"ends 20 bytes into slot 50"},
       49},
      {"CutDataFileAtASlot",
       [](const std::string& d) { TFileBytes(In(d, "Stock.dat")).Cut(L::Slot(50)); },
       "Stock.dat",
       {"the header counts 120 slots", "the file holds 49"},
       49},
      {"CutIndexFile",
       [](const std::string& d) {
         TFileBytes idx(In(d, "Stock.idx"));
         idx.Cut(static_cast<int64_t>(idx.Bytes().size()) - 1000);
       },
       "Stock.idx",
       {"bytes into page"}},
      {"CutBlobFile",
       [](const std::string& d) {
         TFileBytes blob(In(d, "Stock.blb"));
         blob.Cut(static_cast<int64_t>(blob.Bytes().size()) - 300);
       },
       "Stock.blb",
       {"BLOB blocks not aligned"}},
      {"WrongRecordCount",
       [](const std::string& d) { TFileBytes(In(d, "Stock.dat")).SetInt32(41, 121); },
       "Stock.dat",
       {"the header counts 121 records, 120 slots hold a live record"}},
      {"DeletedSlotKeepsItsKeys",
       // A delete cut short: slot 5 is deleted and counted so, its keys are still in every index.
       [](const std::string& d) {
         TFileBytes data(In(d, "Stock.dat"));
         data.Bytes()[static_cast<size_t>(L::Slot(5))] = 1;
         data.SetInt32(L::Slot(5) + 1, 0);
         data.SetInt32(25, 5);
         data.SetInt32(41, 119);
       },
       "Stock.idx",
       {"holds a key for slot 5", "which holds no live record"},
       120,
       4},
      {"DeletedSlotOffTheChain",
       [](const std::string& d) {
         TFileBytes data(In(d, "Stock.dat"));
         data.Bytes()[static_cast<size_t>(L::Slot(9))] = 1;
         data.SetInt32(41, 119);
       },
       "Stock.dat",
       {"slot 9 is deleted but not on the chain of deleted slots"},
       120,
       8},
      {"AppendCutShort",
       // The file grew by a slot and a page the header does not count yet; the slot is all zero.
       [](const std::string& d) {
         TFileBytes data(In(d, "Stock.dat"));
         data.Bytes().resize(data.Bytes().size() + L::kRecordLength, '\0');
         TFileBytes idx(In(d, "Stock.idx"));
         idx.Bytes().resize(idx.Bytes().size() + 1024, '\0');
       },
       "Stock.dat",
       {"the header counts 120 slots", "the file holds 121"}},
      {"DeletedChainIntoALiveSlot",
       [](const std::string& d) { TFileBytes(In(d, "Stock.dat")).SetInt32(25, 5); },
       "Stock.dat",
       {"chain of deleted slots reaches slot 5", "not a deleted slot"}},
      {"FreePageChainIntoATree",
       [](const std::string& d) {
         TFileBytes idx(In(d, "Stock.idx"));
         idx.SetInt32(25, idx.Root(2));
       },
       "Stock.idx",
       {"free-page chain reaches", "in use"}},
      {"FreeBlockChainIntoAValue",
       [](const std::string& d) { TFileBytes(In(d, "Stock.blb")).SetInt32(25, 1); },
       "Stock.blb",
       {"free-block chain reaches block 1", "record's value"}},
      {"ForeignDataSignature",
       [](const std::string& d) { TFileBytes(In(d, "Stock.dat")).Flip(12); },
       "Stock.dat",
       {"the data file cannot be opened"},
       -1},
      {"IndexVersion",
       [](const std::string& d) { TFileBytes(In(d, "Stock.idx")).Bytes()[8] = 9; },
       "Stock.idx",
       {"the index file cannot be opened"}},
      {"MissingIndexFile",
       [](const std::string& d) { std::filesystem::remove(In(d, "Stock.idx")); },
       "Stock.idx",
       {"the index file is missing"}},
      {"LockFileListSize",
       [](const std::string& d) { TFileBytes(In(d, "cairn.lck")).SetInt32(4, 99); },
       "cairn.lck",
       {"the list size says 99 bytes"},
       -1},
  };
  return cases;
}

class DamageTest : public CheckTableTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(DamageTest, IsReportedWithFileAndOffset) {
  const TDamageCase& c = DamageCases()[GetParam()];
  BuildStock();
  c.Damage(Temp.Path());
  const TCheckFindings findings = db->CheckTables();
  EXPECT_TRUE(Has(findings, c.File, c.Expected)) << c.Name << ":\n" << Joined(findings);
  if (getenv("PRINT")) std::cout << c.Name << ":\n" << Joined(findings);
  for (const TCheckFinding& f : findings) {
    EXPECT_GE(f.Offset, 0) << f.ToString();
    EXPECT_EQ(f.Table, f.File == "cairn.lck" ? "" : "Stock") << f.ToString();
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DamageTest, ::testing::Range<size_t>(0, DamageCases().size()),
                         [](const auto& info) {
                           return std::string(DamageCases()[info.param].Name);
                         });

// The Codes of the records in slot order, read through the component layer.
std::vector<int> Codes(TCairnDatabase& db) {
  TCairnTable table;
  table.SetDatabaseName(db.DatabaseName());
  table.SetTableName("Stock");
  table.Open();
  std::vector<int> codes;
  for (table.First(); !table.Eof(); table.Next()) {
    codes.push_back(table.FieldByName("Code").AsInteger());
  }
  return codes;
}

TEST_P(DamageTest, RepairMakesTheTableSoundAndKeepsEveryReadableRecord) {
  const TDamageCase& c = DamageCases()[GetParam()];
  BuildStock();
  c.Damage(Temp.Path());
  if (c.RowsAfterRepair < 0) {
    // Damage repair does not mend is still reported after it, whether it refused or not.
    try {
      db->RepairTable("Stock");
    } catch (const ECairnEngineError&) {
    }
    EXPECT_TRUE(Has(db->CheckTables(), c.File, c.Expected)) << c.Name;
    return;
  }
  const std::vector<std::string> actions = db->RepairTable("Stock");
  const TCheckFindings findings = db->CheckTables();
  EXPECT_TRUE(findings.empty()) << c.Name << ":\n" << Joined(findings);
  if (getenv("PRINT")) {
    std::cout << c.Name << ":\n";
    for (const std::string& a : actions) std::cout << "  " << a << "\n";
  }
  std::vector<int> expected;
  for (int row = 0; row < c.RowsAfterRepair; ++row) {
    if (row != c.DeletedRow) expected.push_back(1000 + row);
  }
  std::vector<int> codes = Codes(*db);
  EXPECT_EQ(codes, expected) << c.Name;
}

TEST_F(CheckTableTest, RepairOfASoundTableChangesNoRecord) {
  BuildStock();
  const std::vector<char> data = ReadBytes(Path("Stock.dat"));
  const std::vector<char> blob = ReadBytes(Path("Stock.blb"));
  const std::vector<std::string> actions = db->RepairTable("Stock");
  EXPECT_EQ(actions, std::vector<std::string>{
                         "index file: rebuilt with 4 index(es) over 120 live record(s)"});
  EXPECT_TRUE(db->CheckTables().empty());
  const std::vector<char> after = ReadBytes(Path("Stock.dat"));
  ASSERT_EQ(after.size(), data.size());
  // Only the header's stamp and time of writing change.
  EXPECT_TRUE(std::equal(data.begin() + 512, data.end(), after.begin() + 512));
  EXPECT_TRUE(std::equal(data.begin() + 4, data.begin() + 63, after.begin() + 4));
  const std::vector<char> blobAfter = ReadBytes(Path("Stock.blb"));
  ASSERT_EQ(blobAfter.size(), blob.size());
  EXPECT_TRUE(std::equal(blob.begin() + 4, blob.end(), blobAfter.begin() + 4));
  EXPECT_FALSE(std::filesystem::exists(Path("Stock.idx.rebuild")));
}

TEST_F(CheckTableTest, EncryptedTableIsReadWithTheSessionsPassword) {
  BuildStock("Secret", "s3cret");
  EXPECT_TRUE(db->CheckTable("Secret").empty()) << Joined(db->CheckTable("Secret"));
  {
    TFileBytes data(Path("Secret.dat"));
    data.Flip(L::Slot(4) + 40);
  }
  const TCheckFindings findings = db->CheckTable("Secret");
  EXPECT_TRUE(Has(findings, "Secret.dat", {"slot 4"})) << Joined(findings);
  db->RepairTable("Secret");
  EXPECT_TRUE(db->CheckTable("Secret").empty()) << Joined(db->CheckTable("Secret"));
}

TEST_F(CheckTableTest, RepairRefusesATableOpenInTheSession) {
  BuildStock();
  auto table = NewTable("Stock");
  table->Open();
  EXPECT_THROW(db->RepairTable("Stock"), ECairnEngineError);
  table->Close();
  EXPECT_THROW(db->RepairTable("Nope"), ECairnEngineError);
}

// Whatever byte is damaged, and wherever a file is cut, the verifier reports and returns: no
// crash, no hang, no engine error escaping.
TEST_F(CheckTableTest, NeverFailsOnFlippedBytesOrCutFiles) {
  BuildStock();
  for (const char* name : {"Stock.dat", "Stock.idx", "Stock.blb"}) {
    const std::vector<char> sound = ReadBytes(Path(name));
    const size_t step = sound.size() / 25 + 1;
    for (size_t at = 3; at < sound.size(); at += step) {
      std::vector<char> bytes = sound;
      bytes[at] = static_cast<char>(bytes[at] ^ 0xFF);
      WriteBytes(Path(name), bytes);
      EXPECT_NO_THROW(db->CheckTable("Stock")) << name << " byte " << at;
      bytes = sound;
      bytes.resize(at);
      WriteBytes(Path(name), bytes);
      EXPECT_NO_THROW(db->CheckTable("Stock")) << name << " cut at " << at;
    }
    WriteBytes(Path(name), sound);
  }
  EXPECT_TRUE(db->CheckTable("Stock").empty());
}

}  // namespace
}  // namespace cairn::test
