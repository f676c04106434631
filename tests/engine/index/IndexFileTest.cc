#include "cairn/engine/index/IndexFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/io/Cipher.h"
#include "cairn/engine/index/IndexTree.h"
#include "tests/engine/index/IndexFileTestSupport.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn {
namespace {

using test::ErrorCodeOf;
using test::Int32Bytes;
using test::IntegerPart;
using test::MakeIndex;
using test::PatchDiskFile;
using test::ReadDiskFile;

constexpr int64_t kSlot = 768;
constexpr int64_t kDefinitions = 512;

int64_t FileSize(const std::string& path) {
  return static_cast<int64_t>(std::filesystem::file_size(path));
}

std::string Digest(const char* text) {
  const TMD5Digest digest = MD5Digest(text);
  return std::string(reinterpret_cast<const char*>(digest.Bytes.data()), digest.Bytes.size());
}

class IndexFileTest : public test::IndexFileFixture {
 protected:
  // Keys into the primary tree so that the file has pages.
  static void AddKeys(TIndexFile& file, int32_t count) {
    const TKeyComparer comparer(file.Engine(), file.GetIndexDefinition(0), test::TestFields(), 0);
    TIndexTree tree(file, 0, comparer);
    for (int32_t id = 1; id <= count; ++id) ASSERT_TRUE(tree.Insert(IntegerPart(id), id));
  }

  static void ExpectKeys(TIndexFile& file, int32_t count) {
    const TKeyComparer comparer(file.Engine(), file.GetIndexDefinition(0), test::TestFields(), 0);
    TIndexTree tree(file, 0, comparer);
    for (int32_t id = 1; id <= count; id += 37) {
      const TIndexTree::TFindResult found = tree.Find(IntegerPart(id));
      EXPECT_TRUE(found.Found) << id;
      EXPECT_EQ(found.RecordNumber, id);
    }
  }

  void Close(std::unique_ptr<TIndexFile>& file) {
    Flush(*file);
    file->CloseFile();
    file.reset();
  }
};

// ---- Layout -----------------------------------------------------------------------------------

TEST_F(IndexFileTest, NewFileIsHeaderAndDefinitionsOnly) {
  auto file = NewFile(4096, {MakeIndex("IDX_Name", {test::kName}, false)});
  Close(file);
  const std::string disk = ReadDiskFile(Path());
  ASSERT_EQ(disk.size(), 25088u);
  EXPECT_EQ(DecodeInt32(disk.data()), 1);  // one header write
  EXPECT_EQ(disk.substr(4, 4), std::string(4, '\0'));
  EXPECT_EQ(disk[8], 6);
  EXPECT_EQ(disk.substr(9, 16), Digest("CAIRN_SIG"));
  EXPECT_EQ(DecodeInt32(disk.data() + 25), 0);              // NextFreePage
  EXPECT_EQ(DecodeInt32(disk.data() + 29), 1);              // NextEndingPage
  EXPECT_EQ(disk[33], 1);                                   // IndexCount
  EXPECT_EQ(disk.substr(34, 478), std::string(478, '\0'));  // roots, flags, reserve
  // Slot 0: the automatic primary index.
  const char* primary = disk.data() + kDefinitions;
  EXPECT_EQ(primary[0], 0);                        // no name
  EXPECT_EQ(DecodeFixed16(primary + 61), 5);       // KeySize
  EXPECT_EQ(primary[128], 1);                      // KeyUnique
  EXPECT_EQ(primary[130], 1);                      // KeyFieldCount
  EXPECT_EQ(DecodeFixed16(primary + 259), 65535);  // RecordID
  // Slot 1: the secondary index, not unique: 22 + 4 key bytes.
  const char* secondary = primary + kSlot;
  EXPECT_EQ(std::string(secondary, 9), std::string("\x08IDX_Name"));
  EXPECT_EQ(DecodeFixed16(secondary + 61), 26);
  EXPECT_EQ(DecodeFixed16(secondary + 259), test::kName);
  // Slots 2 ... 30 empty; slot 31 "Sys Text".
  EXPECT_EQ(disk.substr(kDefinitions + 2 * kSlot, 29 * kSlot), std::string(29 * kSlot, '\0'));
  const char* text = primary + 31 * kSlot;
  EXPECT_EQ(std::string(text, 9), std::string("\x08Sys Text"));
  EXPECT_EQ(DecodeFixed16(text + 61), 68);
  EXPECT_EQ(text[129], 3);  // full compression
  EXPECT_EQ(text[515], 1);  // no key statistics
}

TEST_F(IndexFileTest, DefinitionsAndHeaderSurviveReopening) {
  const TIndexDefinition secondary =
      MakeIndex("IDX_IdName", {test::kId, test::kName}, true, idx::kCompressFull, false);
  auto file = NewFile(4096, {secondary});
  AddKeys(*file, 1000);
  file = Reopen(std::move(file));
  EXPECT_EQ(file->IndexCount(), 1);
  const TIndexDefinition& read = file->GetIndexDefinition(1);
  EXPECT_EQ(read.IndexName, "IDX_IdName");
  EXPECT_EQ(read.KeySize, secondary.KeySize);
  EXPECT_EQ(read.KeyFields, secondary.KeyFields);
  EXPECT_EQ(read.KeyCompressionType, idx::kCompressFull);
  EXPECT_TRUE(read.NoKeyStatistics);
  EXPECT_TRUE(file->GetIndexDefinition(0).IsAutomaticPrimary());
  EXPECT_EQ(file->GetIndexDefinition(31).IndexName, "Sys Text");
  EXPECT_EQ(FileSize(Path()), 25088 + 4096LL * (file->GetHeader().NextEndingPage - 1));
  EXPECT_NO_THROW(file->CheckHeader());
  ExpectKeys(*file, 1000);
}

TEST_F(IndexFileTest, BufferBudgetFollowsPageSizeAndEngineLimits) {
  struct Case {
    int32_t pageSize, countLimit, expected;
  };
  // MaxIndexBufferSize 65536 / (page size - 13 + 64), capped by MaxIndexBufferCount.
  for (const Case& c :
       {Case{4096, 8192, 15}, Case{512, 8192, 116}, Case{512, 10, 10}, Case{16384, 8192, 3}}) {
    FEngine.SetMaxIndexBufferCount(c.countLimit);
    EXPECT_EQ(MakeFile(c.pageSize)->MaximumBufferCount(), c.expected) << c.pageSize;
  }
}

// ---- Header writes ----------------------------------------------------------------------------

TEST_F(IndexFileTest, HeaderIsWrittenWhenForcedOrDirtyAndCountsItsWrites) {
  auto file = NewFile(4096);
  EXPECT_FALSE(file->WriteHeader(false));
  const int32_t stamp = file->GetHeader().UpdateStamp;
  file->UpdateHeaderStamp();
  EXPECT_EQ(file->GetHeader().UpdateStamp, stamp + 1);
  EXPECT_TRUE(file->WriteHeader(false));
  EXPECT_EQ(DecodeInt32(ReadDiskFile(Path()).data()), stamp + 2);
  EXPECT_TRUE(file->WriteHeader(true));
  EXPECT_EQ(DecodeInt32(ReadDiskFile(Path()).data()), stamp + 3);
  EXPECT_TRUE(FOwner.Written);
}

TEST_F(IndexFileTest, SettersMarkTheHeaderDirtyOnlyOnAChange) {
  auto file = NewFile(4096);
  AddKeys(*file, 1);  // page 1 exists
  Flush(*file);
  const std::vector<std::function<void(int32_t)>> setters = {
      [&](int32_t n) { file->SetRootPageNumber(3, n); },
      [&](int32_t n) { file->SetDataRootPageNumber(31, n); },
      [&](int32_t n) { file->SetNextFreePageNumber(n); },
  };
  for (size_t i = 0; i < setters.size(); ++i) {
    SCOPED_TRACE(i);
    setters[i](0);  // unchanged
    EXPECT_FALSE(file->GetHeader().IsDirty);
    setters[i](1);
    EXPECT_TRUE(file->GetHeader().IsDirty);
    file->WriteHeader(false);
    setters[i](0);
    file->WriteHeader(false);
  }
  EXPECT_EQ(file->GetRootPageNumber(3), 0);
}

TEST_F(IndexFileTest, ChangesByAnotherWriterAreNoticed) {
  auto file = NewFile(4096);
  EXPECT_FALSE(file->CheckForChanges());
  PatchDiskFile(Path(), 0, Int32Bytes(file->GetHeader().UpdateStamp + 5));
  EXPECT_TRUE(file->CheckForChanges());
  EXPECT_FALSE(file->CheckForChanges());
}

// ---- Adding and deleting indexes --------------------------------------------------------------

TEST_F(IndexFileTest, InvalidSecondaryIndexesAreRefusedWithTheirCodes) {
  TIndexDefinition tooManyFields = MakeIndex("IDX_Many", {test::kId});
  tooManyFields.KeyFieldCount = 129;
  TIndexDefinition wrongSize = MakeIndex("IDX_Size", {test::kId});
  wrongSize.KeySize = 6;
  struct Case {
    TIndexDefinition definition;
    uint16_t code;
  };
  const std::vector<Case> cases = {
      {MakeIndex("", {test::kId}), CAIRN_INDEXNAMEREQUIRED},
      {MakeIndex("9Names", {test::kId}), CAIRN_INVALIDINDEXNAME},
      {MakeIndex(" Names", {test::kId}), CAIRN_INVALIDINDEXNAME},
      {MakeIndex(std::string(61, 'N'), {test::kId}), CAIRN_INVALIDINDEXNAME},
      {MakeIndex("idx_existing", {test::kId}), CAIRN_INDEXEXISTS},
      {MakeIndex("IDX_Photo", {test::kPhoto}), CAIRN_SEARCHCOLREQD},
      {MakeIndex("IDX_Notes", {test::kId, test::kNotes}), CAIRN_SEARCHCOLREQD},
      {MakeIndex("IDX_Unknown", {42}), CAIRN_INVALIDIDXDESC},
      {tooManyFields, CAIRN_INDEXLIMIT},
      {wrongSize, CAIRN_INVALIDKEY},
      // (4096 - 13) div 3 = 1361: a part of 1362 bytes is too long.
      {MakeIndex("IDX_TooLong", {test::kTooLong}), CAIRN_INVALIDKEY},
  };
  auto file = NewFile(4096, {MakeIndex("IDX_Existing", {test::kId})});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.definition.IndexName);
    try {
      file->AddSecondaryIndex(c.definition);
      ADD_FAILURE() << "accepted";
    } catch (const ECairnEngineError& error) {
      EXPECT_EQ(error.ErrorCode(), c.code);
      EXPECT_EQ(error.ErrorIndexName(), c.definition.IndexName);
      EXPECT_EQ(error.ErrorTableName(), "Test");
    }
  }
  EXPECT_EQ(file->IndexCount(), 1);
  // The longest key part the page allows, a BCD part (8 + 1 bytes), an underscore and a high
  // character code to begin a name.
  file->AddSecondaryIndex(MakeIndex("IDX_Longest", {test::kLongest}));
  file->AddSecondaryIndex(MakeIndex("_Amount", {test::kAmount}));
  file->AddSecondaryIndex(MakeIndex("\xc4hnlich", {test::kRecordID, test::kName}));
  EXPECT_EQ(file->GetIndexDefinition(2).KeySize, 1361);
  EXPECT_EQ(file->GetIndexDefinition(3).KeySize, 9);
  EXPECT_EQ(file->IndexCount(), 4);
  EXPECT_TRUE(file->IndexExists("idx_LONGEST"));
  EXPECT_EQ(file->IndexPosition("_amount"), 3);
}

TEST_F(IndexFileTest, ThirtySecondaryIndexesAreTheLimit) {
  auto file = NewFile(4096);
  for (int i = 1; i <= 30; ++i)
    file->AddSecondaryIndex(MakeIndex("IDX_" + std::to_string(i), {test::kId}));
  EXPECT_EQ(ErrorCodeOf([&] { file->AddSecondaryIndex(MakeIndex("IDX_31", {test::kId})); }),
            CAIRN_INDEXLIMIT);
  EXPECT_EQ(file->IndexCount(), 30);
  file = Reopen(std::move(file));
  EXPECT_EQ(file->GetIndexDefinition(30).IndexName, "IDX_30");
  EXPECT_NO_THROW(file->CheckHeader());
}

TEST_F(IndexFileTest, PrimaryIndexReplacesOnlyTheAutomaticOne) {
  auto file = MakeFile(4096);
  file->CreateFile();
  TIndexDefinition named = MakeIndex("Whatever", {test::kId});
  named.KeyUnique = false;  // made unique: the key size is the field's
  named.KeySize = 5;
  file->AddPrimaryIndex(TIndexDefinition::AutomaticPrimary());
  file->SetRootPageNumber(0, 0);
  file->AddPrimaryIndex(named);
  const TIndexDefinition& primary = file->GetIndexDefinition(0);
  EXPECT_EQ(primary.IndexName, "");
  EXPECT_TRUE(primary.KeyUnique);
  EXPECT_EQ(primary.KeyFields[0], test::kId);
  EXPECT_EQ(ErrorCodeOf([&] { file->AddPrimaryIndex(MakeIndex("", {test::kName})); }),
            CAIRN_PRIMARYKEYREDEFINE);
  file->DeleteIndex(0, false);
  EXPECT_TRUE(file->GetIndexDefinition(0).IsAutomaticPrimary());
  try {
    file->AddPrimaryIndex(MakeIndex("", {test::kPhoto}));
    ADD_FAILURE() << "blob key accepted";
  } catch (const ECairnEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), CAIRN_SEARCHCOLREQD);
    EXPECT_EQ(error.ErrorIndexName(), "Primary");
  }
}

TEST_F(IndexFileTest, DeletingAnIndexMovesTheSlotsAboveDown) {
  auto file = NewFile(4096, {MakeIndex("IDX_A", {test::kId}), MakeIndex("IDX_B", {test::kName}),
                             MakeIndex("IDX_C", {test::kAmount})});
  AddKeys(*file, 3);  // pages 1 ...
  file->SetRootPageNumber(2, 1);
  file->SetRootPageNumber(3, 1);
  file->SetRootPageNumber(1, 1);
  file->DeleteIndex(2, true);
  EXPECT_EQ(file->IndexCount(), 2);
  EXPECT_EQ(file->GetIndexDefinition(2).IndexName, "IDX_C");
  EXPECT_EQ(file->GetRootPageNumber(2), 1);
  EXPECT_EQ(file->GetRootPageNumber(3), 0);
  EXPECT_EQ(file->GetIndexDefinition(30).IndexName, "");
  EXPECT_FALSE(file->IndexExists("IDX_B"));
  // Without adjust a secondary index keeps its definition and loses its tree.
  file->DeleteIndex(1, false);
  EXPECT_EQ(file->GetIndexDefinition(1).IndexName, "IDX_A");
  EXPECT_EQ(file->GetRootPageNumber(1), 0);
  EXPECT_TRUE(file->GetIndexDefinition(0).IsAutomaticPrimary());
  EXPECT_EQ(file->GetRootPageNumber(0), 1);
  EXPECT_EQ(ErrorCodeOf([&] { file->DeleteIndex(5, true); }), CAIRN_INVALIDIDXDESC);
  file = Reopen(std::move(file));
  EXPECT_EQ(file->IndexPosition("IDX_C"), 2);
  EXPECT_NO_THROW(file->CheckHeader());
}

// Without adjust only slot 0 itself falls back to the automatic primary index: dropping the tree
// of another slot leaves a declared primary index and its tree alone.
TEST_F(IndexFileTest, DeletingAnotherSlotWithoutAdjustKeepsADeclaredPrimaryIndex) {
  auto file = MakeFile(4096);
  file->CreateFile();
  file->AddPrimaryIndex(MakeIndex("", {test::kId}));
  file->AddSecondaryIndex(MakeIndex("IDX_A", {test::kName}));
  file->SetIndexDefinition(idx::kTextSlot, TIndexFile::TextIndexDefinition({test::kName}));
  file->WriteHeader(true);
  file->WriteIndexDefinitions();
  AddKeys(*file, 3);  // the primary tree's root is page 1
  const int32_t root = file->GetRootPageNumber(0);
  ASSERT_NE(root, 0);
  for (int pos : {1, idx::kTextSlot}) {
    SCOPED_TRACE(pos);
    file->SetRootPageNumber(pos, root);
    file->DeleteIndex(pos, false);
    EXPECT_EQ(file->GetRootPageNumber(pos), 0);
    const TIndexDefinition& primary = file->GetIndexDefinition(0);
    EXPECT_FALSE(primary.IsAutomaticPrimary());
    EXPECT_EQ(primary.KeyFields[0], test::kId);
    EXPECT_EQ(file->GetRootPageNumber(0), root);
  }
  file = Reopen(std::move(file));
  EXPECT_EQ(file->GetIndexDefinition(0).KeyFields[0], test::kId);
  EXPECT_EQ(file->GetIndexDefinition(1).IndexName, "IDX_A");
  ExpectKeys(*file, 3);
}

// ---- Opening damaged files --------------------------------------------------------------------

TEST_F(IndexFileTest, DamagedHeadersAreRefusedAtOpen) {
  struct Case {
    const char* what;
    int64_t offset;
    std::string bytes;
    uint16_t code;
  };
  const std::vector<Case> cases = {
      {"older version", 8, "\x05", CAIRN_OLDVERSION},
      {"newer version", 8, "\x07", CAIRN_BADSIGNATURE},
      {"foreign signature", 9, std::string(16, 'x'), CAIRN_BADSIGNATURE},
      {"31 secondary indexes", 33, "\x1f", CAIRN_HEADERCORRUPT},
      {"IndexCount 255", 33, "\xff", CAIRN_HEADERCORRUPT},
      {"NextEndingPage 0", 29, Int32Bytes(0), CAIRN_HEADERCORRUPT},
      {"NextEndingPage negative", 29, Int32Bytes(-7), CAIRN_HEADERCORRUPT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto created = NewFile(4096);
    Close(created);
    PatchDiskFile(Path(), c.offset, c.bytes);
    auto file = MakeFile(4096);
    EXPECT_EQ(ErrorCodeOf([&] { file->OpenFile(); }), c.code);
    EXPECT_FALSE(file->IsOpen());
  }
}

TEST_F(IndexFileTest, TruncatedFilesFailToRead) {
  for (int64_t size : {0, 300, 1000, 25087}) {
    SCOPED_TRACE(size);
    auto created = NewFile(4096);
    Close(created);
    std::filesystem::resize_file(Path(), static_cast<uintmax_t>(size));
    auto file = MakeFile(4096);
    EXPECT_EQ(ErrorCodeOf([&] { file->OpenFile(); }), CAIRN_READERR);
    EXPECT_FALSE(file->IsOpen());
  }
}

TEST_F(IndexFileTest, EitherAcceptedSignatureOpens) {
  FEngine.SetSignature("OTHER_SIG");
  auto created = NewFile(4096);
  Close(created);
  EXPECT_NO_THROW(MakeFile(4096)->OpenFile());
  FEngine.SetSignature("THIRD_SIG");  // neither this engine's nor the default one
  EXPECT_EQ(ErrorCodeOf([&] { MakeFile(4096)->OpenFile(); }), CAIRN_BADSIGNATURE);
  FEngine.SetSignature("CAIRN_SIG");
  created = NewFile(4096);
  Close(created);
  FEngine.SetSignature("OTHER_SIG");
  EXPECT_NO_THROW(MakeFile(4096)->OpenFile());  // the default signature is always accepted
}

TEST_F(IndexFileTest, PageSizeOutsideTheFileLimitsIsRefused) {
  EXPECT_EQ(ErrorCodeOf([&] { MakeFile(32)->CreateFile(); }), CAIRN_INDEXLIMIT);
  auto created = NewFile(4096);
  Close(created);
  EXPECT_EQ(ErrorCodeOf([&] { MakeFile(0)->OpenFile(); }), CAIRN_HEADERCORRUPT);
  EXPECT_EQ(ErrorCodeOf([&] { MakeFile(70000)->OpenFile(); }), CAIRN_HEADERCORRUPT);
}

// ---- Consistency check ------------------------------------------------------------------------

TEST_F(IndexFileTest, CheckHeaderEnforcesEveryRule) {
  using TDamage = std::function<void(TIndexFile&)>;
  const auto redefine = [](int pos, std::function<void(TIndexDefinition&)> change) {
    return [pos, change](TIndexFile& f) {
      TIndexDefinition d = f.GetIndexDefinition(pos);
      change(d);
      f.SetIndexDefinition(pos, d);
    };
  };
  struct Case {
    const char* what;
    TDamage damage;
    bool valid;
  };
  const std::vector<Case> cases = {
      {"sound file", [](TIndexFile&) {}, true},
      {"NextFreePage beyond the pages", [](TIndexFile& f) { f.SetNextFreePageNumber(2); }, false},
      {"NextFreePage is NextEndingPage",
       [](TIndexFile& f) { f.SetNextFreePageNumber(f.GetHeader().NextEndingPage); }, false},
      {"root beyond the pages", [](TIndexFile& f) { f.SetRootPageNumber(1, 2); }, false},
      {"negative root", [](TIndexFile& f) { f.SetRootPageNumber(0, -1); }, false},
      {"data root beyond the pages", [](TIndexFile& f) { f.SetDataRootPageNumber(1, 9); }, false},
      {"text chain beyond the pages", [](TIndexFile& f) { f.SetDataRootPageNumber(31, 9); }, false},
      {"text root beyond the pages", [](TIndexFile& f) { f.SetRootPageNumber(31, 9); }, false},
      {"named primary", redefine(0, [](auto& d) { d.IndexName = "P"; }), false},
      {"primary not unique", redefine(0, [](auto& d) { d.KeyUnique = false; }), false},
      {"primary without key field", redefine(0, [](auto& d) { d.KeyFields[0] = 0; }), false},
      {"secondary name starts with a digit", redefine(1, [](auto& d) { d.IndexName = "1X"; }),
       false},
      {"secondary names equal", redefine(2, [](auto& d) { d.IndexName = "idx_a"; }), false},
      {"no key field", redefine(1, [](auto& d) { d.KeyFieldCount = 0; }), false},
      {"gap in the key fields", redefine(1, [](auto& d) { d.KeyFields[1] = test::kName; }), false},
      {"count beyond the list", redefine(1, [](auto& d) { d.KeyFieldCount = 2; }), false},
      {"unknown key field", redefine(1, [](auto& d) { d.KeyFields[0] = 42; }), false},
      {"blob key field", redefine(1, [](auto& d) { d.KeyFields[0] = test::kPhoto; }), false},
      {"key size not the fields'", redefine(1, [](auto& d) { d.KeySize = 6; }), false},
      {"key longer than a third of the page",
       redefine(1, [](auto& d) { d = MakeIndex("IDX_A", {test::kTooLong}); }), false},
      {"text index renamed", redefine(31, [](auto& d) { d.IndexName = "Text"; }), false},
      {"text index name in other case", redefine(31, [](auto& d) { d.IndexName = "SYS TEXT"; }),
       true},
      {"text key size", redefine(31, [](auto& d) { d.KeySize = 64; }), false},
      {"text compression", redefine(31, [](auto& d) { d.KeyCompressionType = 1; }), false},
      {"text statistics", redefine(31, [](auto& d) { d.NoKeyStatistics = false; }), false},
      {"text over an integer",
       [](TIndexFile& f) {
         f.SetIndexDefinition(31, TIndexFile::TextIndexDefinition({test::kId}));
       },
       false},
      {"text over a string and a memo",
       [](TIndexFile& f) {
         f.SetIndexDefinition(31, TIndexFile::TextIndexDefinition({test::kName, test::kNotes}));
       },
       true},
      {"text over a plain blob",
       [](TIndexFile& f) {
         f.SetIndexDefinition(31, TIndexFile::TextIndexDefinition({test::kPhoto}));
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto file = NewFile(4096, {MakeIndex("IDX_A", {test::kId}), MakeIndex("IDX_B", {test::kName})});
    c.damage(*file);
    if (c.valid) {
      EXPECT_NO_THROW(file->CheckHeader());
    } else {
      EXPECT_EQ(ErrorCodeOf([&] { file->CheckHeader(); }), CAIRN_HEADERCORRUPT);
    }
  }
}

TEST_F(IndexFileTest, CheckHeaderRefusesANameLengthBeyondItsArea) {
  auto created = NewFile(4096, {MakeIndex("IDX_A", {test::kId})});
  Close(created);
  PatchDiskFile(Path(), kDefinitions + kSlot, "\x3d");  // 61 characters
  auto file = MakeFile(4096);
  file->OpenFile();
  EXPECT_EQ(ErrorCodeOf([&] { file->CheckHeader(); }), CAIRN_HEADERCORRUPT);
}

// ---- Pages and the free chain -----------------------------------------------------------------

TEST_F(IndexFileTest, FreedPagesAreReusedLastFreedFirst) {
  auto file = NewFile(512);
  std::vector<int32_t> numbers;
  for (int i = 0; i < 3; ++i) numbers.push_back(file->AllocatePage(0)->Number());
  EXPECT_EQ(numbers, (std::vector<int32_t>{1, 2, 3}));
  for (int32_t n : {2, 3}) {
    TPageRef page = file->ReadPage(0, n);
    file->FreePage(*page);
  }
  EXPECT_EQ(file->GetNextFreePageNumber(), 3);
  Flush(*file);
  const std::string disk = ReadDiskFile(Path());
  const auto rightOf = [&](int32_t n) {
    return DecodeInt32(disk.data() + 25088 + 512 * (n - 1) + 7);
  };
  EXPECT_EQ(rightOf(3), 2);
  EXPECT_EQ(rightOf(2), 0);
  EXPECT_EQ(DecodeInt32(disk.data() + 25), 3);
  EXPECT_EQ(file->AllocatePage(0)->Number(), 3);
  EXPECT_EQ(file->AllocatePage(0)->Number(), 2);
  EXPECT_EQ(file->GetNextFreePageNumber(), 0);
  EXPECT_EQ(file->AllocatePage(0)->Number(), 4);
  // A head equal to NextEndingPage stands for an empty chain.
  file->SetNextFreePageNumber(file->GetHeader().NextEndingPage);
  EXPECT_EQ(file->AllocatePage(0)->Number(), 5);
  {
    TPageRef page = file->ReadPage(0, 5);
    file->FreePage(*page);
    EXPECT_EQ(page->RightNumber(), 0);
  }
}

TEST_F(IndexFileTest, DamagedFreeChainsAreCorrupt) {
  struct Case {
    const char* what;
    std::function<void(TIndexFile&)> damage;
  };
  const std::vector<Case> cases = {
      {"head beyond the pages", [](TIndexFile& f) { f.SetNextFreePageNumber(40); }},
      {"head is a page in use", [](TIndexFile& f) { f.SetNextFreePageNumber(1); }},
      {"free page links to itself",
       [](TIndexFile& f) {
         TPageRef page = f.ReadPage(0, 2);
         f.FreePage(*page);
         page->SetRightNumber(2);
       }},
      {"free page links beyond the pages",
       [](TIndexFile& f) {
         TPageRef page = f.ReadPage(0, 2);
         f.FreePage(*page);
         page->SetRightNumber(99);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto file = NewFile(512);
    AddKeys(*file, 60);  // pages 1 ... 3: two leaves and a root
    c.damage(*file);
    EXPECT_EQ(ErrorCodeOf([&] { file->AllocatePage(0); }), CAIRN_INDEXCORRUPT);
  }
}

TEST_F(IndexFileTest, AppendingBeyondTheMaximumFileSizeIsRefused) {
  auto created = NewFile(4096);
  Close(created);
  // 25088 + 999999 x 4096 bytes already exceed the 4,000,000,000-byte limit.
  PatchDiskFile(Path(), 29, Int32Bytes(1'000'000));
  auto file = MakeFile(4096);
  file->OpenFile();
  EXPECT_EQ(ErrorCodeOf([&] { file->AllocatePage(0); }), CAIRN_TABLEFULL);
  EXPECT_EQ(file->GetHeader().NextEndingPage, 1'000'000);
  EXPECT_EQ(FileSize(Path()), 25088);
}

TEST_F(IndexFileTest, ClearingEmptiesTheTreesAndKeepsTheTextParameters) {
  auto file = NewFile(512);
  TTextIndexParams params;
  params.StopWords = {"ALPHA", "BETA"};
  params.SpaceChars.set(' ');
  params.IncludeChars.set('x');
  AddKeys(*file, 500);
  file->WriteTextIndexParams(params);
  Flush(*file);
  ASSERT_GT(FileSize(Path()), 25088 + 512 * 10);
  file->ClearHeader();
  EXPECT_EQ(file->GetRootPageNumber(0), 0);
  EXPECT_EQ(file->GetNextFreePageNumber(), 0);
  EXPECT_EQ(file->GetHeader().NextEndingPage, 2);
  EXPECT_EQ(FileSize(Path()), 25088 + 512);
  file = Reopen(std::move(file));
  EXPECT_EQ(file->GetDataRootPageNumber(31), 1);
  const TTextIndexParams read = file->ReadTextIndexParams();
  EXPECT_EQ(read.StopWords, params.StopWords);
  EXPECT_EQ(read.SpaceChars, params.SpaceChars);
  EXPECT_NO_THROW(file->CheckHeader());
  AddKeys(*file, 10);
  ExpectKeys(*file, 10);
}

// ---- Text parameters --------------------------------------------------------------------------

TEST_F(IndexFileTest, DefaultTextParametersTakeOnePageAfterTheDefinitions) {
  auto file = NewFile(4096);
  EXPECT_EQ(file->ReadTextIndexParams().StopWords, GetDefaultTextIndexParams().StopWords);
  file->WriteTextIndexParams(GetDefaultTextIndexParams());
  Close(file);
  const std::string disk = ReadDiskFile(Path());
  ASSERT_EQ(disk.size(), 25088u + 4096u);
  EXPECT_EQ(DecodeInt32(disk.data() + 162 + 4 * 31), 1);  // DataRootPages[31]
  const char* page = disk.data() + 25088;
  EXPECT_EQ(page[0], pg::kTextParams);
  EXPECT_EQ(DecodeInt32(page + 7), 0);  // the chain ends here
  const char* area = page + 13;
  EXPECT_EQ(DecodeInt32(area), 22);  // stop words
  EXPECT_EQ(DecodeInt32(area + 4), 1);
  EXPECT_EQ(area[8], 'A');
  EXPECT_EQ(DecodeInt32(area + 9), 2);
  EXPECT_EQ(std::string(area + 13, 2), "AN");
  // After the words: 32 and the space set (codes 1 ... 32 and others), 32 and the include set.
  size_t at = 4;
  for (const std::string& word : GetDefaultTextIndexParams().StopWords) at += 4 + word.size();
  EXPECT_EQ(DecodeInt32(area + at), 32);
  EXPECT_EQ(static_cast<unsigned char>(area[at + 4]), 0xfe);  // codes 1 ... 7
  EXPECT_EQ(DecodeInt32(area + at + 36), 32);
  EXPECT_EQ(static_cast<unsigned char>(area[at + 40 + 6]), 0xff);  // '0' ... '7'

  file = MakeFile(4096);
  file->OpenFile();
  const TTextIndexParams read = file->ReadTextIndexParams();
  EXPECT_EQ(read.StopWords, GetDefaultTextIndexParams().StopWords);
  EXPECT_EQ(read.SpaceChars, GetDefaultTextIndexSpaceChars());
  EXPECT_EQ(read.IncludeChars, GetDefaultTextIndexIncludeChars());
}

TEST_F(IndexFileTest, LongTextParametersRunOverAChainOfPages) {
  auto file = NewFile(512);
  TTextIndexParams params;
  for (int i = 0; i < 12; ++i)
    params.StopWords.push_back(std::string(150, static_cast<char>('a' + i)));
  params.StopWords.push_back(std::string(700, 'z'));  // capped at the page area, 499 bytes
  params.StopWords.push_back("");
  params.SpaceChars.set(255);
  params.IncludeChars.set(0);
  file->WriteTextIndexParams(params);
  // A length and the bytes after it are items of their own: pages 1 to 4 each end with the
  // length of a word whose bytes open the next page; the capped word's bytes fill page 5 alone;
  // the empty word and the two sets go to page 6.
  EXPECT_EQ(file->GetHeader().NextEndingPage - 1, 6);
  file = Reopen(std::move(file));
  TTextIndexParams expected = params;
  expected.StopWords[12].resize(499);
  TTextIndexParams read = file->ReadTextIndexParams();
  EXPECT_EQ(read.StopWords, expected.StopWords);
  EXPECT_EQ(read.SpaceChars, params.SpaceChars);
  EXPECT_EQ(read.IncludeChars, params.IncludeChars);
  // Rewriting with less frees the pages the stream no longer needs.
  file->WriteTextIndexParams(GetDefaultTextIndexParams());
  EXPECT_NE(file->GetNextFreePageNumber(), 0);
  EXPECT_EQ(file->ReadTextIndexParams().StopWords, GetDefaultTextIndexParams().StopWords);
  int freePages = 0;
  for (int32_t n = file->GetNextFreePageNumber(); n != 0; ++freePages) {
    n = file->ReadRawPage(n)->RightNumber();
  }
  EXPECT_EQ(freePages, 5);
}

TEST_F(IndexFileTest, DamagedTextChainsAreCorruptNeverAHang) {
  // Twelve words of 150 bytes on 512-byte pages: a chain of pages 1 ... 5. Page 4 ends with the
  // space set's length (at 458) and set, and the include set's length; page 5 holds its bytes.
  const auto page = [](int32_t n) { return 25088 + 512LL * (n - 1); };
  struct Case {
    const char* what;
    int64_t offset;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"a page links back to the first", page(4) + 7, Int32Bytes(1)},
      {"a page links to itself", page(2) + 7, Int32Bytes(2)},
      {"chain ends too early", page(3) + 7, Int32Bytes(0)},
      {"link beyond the file", page(1) + 7, Int32Bytes(77)},
      {"not a text page", page(2), "\x02"},
      {"word length beyond the page", page(1) + 13 + 4, Int32Bytes(500)},
      {"negative word length", page(1) + 13 + 4, Int32Bytes(-1)},
      {"negative word count", page(1) + 13, Int32Bytes(-3)},
      {"huge word count", page(1) + 13, Int32Bytes(0x7fffffff)},
      {"set size not 32", page(4) + 13 + 458, Int32Bytes(33)},
      {"chain starts beyond the file", 162 + 4 * 31, Int32Bytes(6)},
  };
  TTextIndexParams params;
  for (int i = 0; i < 12; ++i) params.StopWords.push_back(std::string(150, 'w'));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto file = NewFile(512);
    file->WriteTextIndexParams(params);
    ASSERT_EQ(file->GetHeader().NextEndingPage, 6);
    Close(file);
    PatchDiskFile(Path(), c.offset, c.bytes);
    file = MakeFile(512);
    file->OpenFile();
    EXPECT_EQ(ErrorCodeOf([&] { file->ReadTextIndexParams(); }), CAIRN_INDEXCORRUPT);
  }
  // A loop behind the stream's end is met when the chain is rewritten.
  auto file = NewFile(512);
  file->WriteTextIndexParams(params);
  Close(file);
  PatchDiskFile(Path(), page(5) + 7, Int32Bytes(1));
  file = MakeFile(512);
  file->OpenFile();
  EXPECT_EQ(file->ReadTextIndexParams().StopWords, params.StopWords);
  EXPECT_EQ(ErrorCodeOf([&] { file->WriteTextIndexParams(params); }), CAIRN_INDEXCORRUPT);
}

// ---- Encryption -------------------------------------------------------------------------------

TEST_F(IndexFileTest, EncryptedFileEnciphersHeaderDefinitionsAndPagesAsUnits) {
  FOwner.UseKey("0123456789abcdef", 16);
  auto file = NewFile(512, {MakeIndex("IDX_Name", {test::kName})});
  AddKeys(*file, 300);
  file->WriteTextIndexParams(GetDefaultTextIndexParams());
  Close(file);

  std::string disk = ReadDiskFile(Path());
  const auto cipher = NewBlowfishCipher("0123456789abcdef", 16);
  std::string header = disk.substr(0, 512);
  EXPECT_NE(header[8], 6);
  cipher->Decrypt(header.data(), header.size());
  EXPECT_EQ(header[8], 6);
  EXPECT_EQ(header.substr(9, 16), Digest("CAIRN_SIG"));
  std::string definitions = disk.substr(512, 24576);
  EXPECT_EQ(definitions.find("IDX_Name"), std::string::npos);
  cipher->Decrypt(definitions.data(), definitions.size());
  EXPECT_EQ(definitions.substr(kSlot, 9), "\x08IDX_Name");
  const int32_t textPage = DecodeInt32(header.data() + 162 + 4 * 31);
  std::string page = disk.substr(25088 + 512 * (textPage - 1), 512);
  cipher->Decrypt(page.data(), page.size());
  EXPECT_EQ(page[0], pg::kTextParams);
  EXPECT_EQ(DecodeInt32(page.data() + 13), 22);

  file = MakeFile(512);
  file->OpenFile();
  EXPECT_EQ(file->GetIndexDefinition(1).IndexName, "IDX_Name");
  ExpectKeys(*file, 300);
  EXPECT_EQ(file->ReadTextIndexParams().StopWords, GetDefaultTextIndexParams().StopWords);
  file->CloseFile();

  FOwner.Key.reset();  // without the key the header is noise
  file = MakeFile(512);
  const uint16_t code = ErrorCodeOf([&] { file->OpenFile(); });
  EXPECT_TRUE(code == CAIRN_OLDVERSION || code == CAIRN_BADSIGNATURE) << code;
}

}  // namespace
}  // namespace cairn
