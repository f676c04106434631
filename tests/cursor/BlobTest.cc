#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cairn/engine/blob/BlobFile.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/error/EngineErrorCodes.h"
#include "tests/cursor/CursorTestSupport.h"
#include "tests/support/EngineErrorCatch.h"

namespace cairn {
namespace {

using test::EngineErrorCode;
using test::NewField;
using test::TableParams;
using test::TRow;

constexpr int32_t kMemo = 2;

class BlobTest : public test::CursorFixture {
 protected:
  void SetUp() override {
    TFieldDefinition packed = NewField("Packed", fld::kBlob);
    packed.Compression = 6;
    Create("T", TableParams({NewField("Name", fld::kString, 10),
                             NewField("Memo", fld::kBlob, 0, fld::kSubMemo), packed}));
    FCursor = Open("T");
  }
  TBlobFile& BlobFile() { return FCursor->DataTable()->BlobFile(); }
  TDataFile& DataFile() { return FCursor->DataTable()->DataFile(); }
  // Value bytes 1-4 of the field, whatever its flag says.
  int32_t FirstBlock(const TRow& row, int32_t field = kMemo) const {
    return DecodeInt32(row.Data() + FCursor->FieldDefinition(field)->Offset + 1);
  }
  static int32_t Signature(TDataCursor& cursor, const TRow& row, int32_t field = kMemo) {
    return DecodeInt32(row.Data() + cursor.FieldDefinition(field)->Offset + 5);
  }
  void Write(TRow& row, const std::string& value, int32_t field = kMemo) {
    EXPECT_EQ(FCursor->OpenBlob(field, row.Data(), blob::kOpenWrite), 0u);
    FCursor->PutBlob(field, row.Data(), 0, value.data(), value.size());
  }
  std::string Read(TRow& row, int32_t field = kMemo) {
    const size_t size = FCursor->OpenBlob(field, row.Data(), blob::kOpenRead);
    std::string value(size, '\0');
    EXPECT_EQ(FCursor->GetBlob(field, row.Data(), 0, value.data(), size), size);
    FCursor->FreeBlob(field, row.Data());
    return value;
  }
  // Marks live slots deleted, chained in the given order, as a delete would.
  void DeleteSlots(const std::vector<int32_t>& slots) {
    for (size_t i = 0; i < slots.size(); ++i) {
      TBuffer* buffer = nullptr;
      ASSERT_TRUE(DataFile().GetBuffer(TBufferRequest{true}, slots[i], false,
                                       TReadAheadDirection::None, buffer));
      auto* record = static_cast<TRecord*>(buffer);
      record->SetStatus(TRecord::kDeleted);
      record->SetNextFreeRecord(i + 1 < slots.size() ? slots[i + 1] : 0);
      DataFile().PutBuffer(buffer);
      DataFile().DecRecordCount();
    }
    DataFile().SetNextFreeRecord(slots.front());
  }

  std::unique_ptr<TDataCursor> FCursor;
};

TEST_F(BlobTest, MemoOfANewRecordTakesOneBlockAtPost) {
  TRow row(*FCursor);
  row.Init();
  EXPECT_EQ(FCursor->OpenBlob(kMemo, row.Data(), blob::kOpenWrite), 0u);
  EXPECT_TRUE(row.IsNull(kMemo)) << "an empty open value";
  EXPECT_EQ(FirstBlock(row), -1) << "the negated handle";
  EXPECT_TRUE(FCursor->ValidBlobHandle(kMemo, row.Data()));
  const std::string text = "twenty-four characters!!";
  FCursor->PutBlob(kMemo, row.Data(), 0, text.data(), text.size());
  EXPECT_FALSE(row.IsNull(kMemo));
  EXPECT_EQ(BlobFile().IOBlocksUsed(), 0) << "nothing written before the post";

  ASSERT_TRUE(FCursor->AppendRecord(row.Data()));
  EXPECT_EQ(BlobFile().IOBlocksUsed(), 1);
  FCursor->FreeBlob(kMemo, row.Data());
  EXPECT_EQ(FirstBlock(row), 1) << "freeing puts the block number back";
  EXPECT_EQ(FCursor->BlobHandles().Count(), 0u);
  TRow stored(*FCursor);
  ASSERT_EQ(FCursor->GetCurrentRecord(stored.Data()), 0);
  EXPECT_EQ(FirstBlock(stored), 1);
  EXPECT_EQ(Signature(*FCursor, stored), DataFile().LastBlobSignature());
  EXPECT_NE(Signature(*FCursor, stored), 0);
  EXPECT_FALSE(stored.IsNull(kMemo));
  EXPECT_EQ(Read(stored), text);

  // The value survives the close.
  FCursor->CloseCursor();
  FCursor = Open("T");
  ASSERT_EQ(FCursor->GetFirstRecord(stored.Data()), 0);
  EXPECT_EQ(Read(stored), text);
}

TEST_F(BlobTest, EmptyMemoStaysNullAndTakesNoBlock) {
  TRow row(*FCursor);
  row.Init();
  Write(row, "something");
  FCursor->TruncateBlob(kMemo, row.Data(), 0);
  EXPECT_TRUE(row.IsNull(kMemo));
  EXPECT_EQ(FCursor->GetBlobSize(kMemo, row.Data()), 0u);
  ASSERT_TRUE(FCursor->AppendRecord(row.Data()));
  EXPECT_EQ(BlobFile().IOBlocksUsed(), 0);
  TRow stored(*FCursor);
  ASSERT_EQ(FCursor->GetCurrentRecord(stored.Data()), 0);
  EXPECT_TRUE(stored.IsNull(kMemo));
  EXPECT_EQ(FirstBlock(stored), 0);
}

TEST_F(BlobTest, OpeningTwiceSharesOneBuffer) {
  TRow row(*FCursor);
  row.Init();
  Write(row, "abc");
  EXPECT_EQ(FCursor->OpenBlob(kMemo, row.Data(), blob::kOpenRead), 3u);
  EXPECT_EQ(FirstBlock(row), -1) << "the same handle";
  EXPECT_EQ(FCursor->BlobHandles().Count(), 1u);
  EXPECT_EQ(FCursor->BlobHandles().Find(1)->UseCount(), 2);
  FCursor->FreeBlob(kMemo, row.Data());
  EXPECT_TRUE(FCursor->ValidBlobHandle(kMemo, row.Data())) << "one opener remains";
  FCursor->FreeBlob(kMemo, row.Data());
  EXPECT_FALSE(FCursor->ValidBlobHandle(kMemo, row.Data()));
  EXPECT_EQ(FirstBlock(row), 0);
  EXPECT_FALSE(row.IsNull(kMemo)) << "freeing leaves the flag";
}

TEST_F(BlobTest, AccessRules) {
  TRow row(*FCursor);
  row.Init();
  char byte = 0;
  EXPECT_EQ(EngineErrorCode([&] { FCursor->GetBlob(kMemo, row.Data(), 0, &byte, 1); }),
            CAIRN_INVALIDBLOBHANDLE);
  EXPECT_EQ(EngineErrorCode([&] { FCursor->FreeBlob(kMemo, row.Data()); }),
            CAIRN_INVALIDBLOBHANDLE);
  Write(row, "hello");
  char buffer[8] = {};
  EXPECT_EQ(FCursor->GetBlob(kMemo, row.Data(), 3, buffer, 8), 2u);
  EXPECT_EQ(std::string(buffer, 2), "lo");
  EXPECT_EQ(FCursor->GetBlob(kMemo, row.Data(), 5, buffer, 1), 0u);
  EXPECT_EQ(FCursor->GetBlob(kMemo, row.Data(), 9, buffer, 1), 0u);
  FCursor->PutBlob(kMemo, row.Data(), 7, "!", 1);
  EXPECT_EQ(FCursor->GetBlobSize(kMemo, row.Data()), 8u) << "grown with zeros";
  FCursor->FreeAllBlobs(true);
  EXPECT_EQ(EngineErrorCode([&] { FCursor->OpenBlob(kMemo, row.Data(), blob::kOpenRead); }),
            CAIRN_INVALIDBLOBOFFSET)
      << "a stale handle";
  // A damaged field's most negative reference names no handle (it has no positive negation).
  EncodeInt32(row.Data() + FCursor->FieldDefinition(kMemo)->Offset + 1, INT32_MIN);
  EXPECT_FALSE(FCursor->ValidBlobHandle(kMemo, row.Data()));
  EXPECT_EQ(EngineErrorCode([&] { FCursor->OpenBlob(kMemo, row.Data(), blob::kOpenRead); }),
            CAIRN_INVALIDBLOBOFFSET);
  EXPECT_EQ(EngineErrorCode([&] { FCursor->GetBlobSize(kMemo, row.Data()); }),
            CAIRN_INVALIDBLOBHANDLE);

  // A value opened for reading cannot change.
  TRow other(*FCursor);
  other.Init();
  FCursor->OpenBlob(kMemo, other.Data(), blob::kOpenRead);
  FCursor->PutBlob(kMemo, other.Data(), 0, "x", 1);
  FCursor->TruncateBlob(kMemo, other.Data(), 4);
  EXPECT_EQ(FCursor->GetBlobSize(kMemo, other.Data()), 0u);
  EXPECT_TRUE(other.IsNull(kMemo));
}

TEST_F(BlobTest, CancelKeepsOnlyChangedValuesOfTheCaller) {
  TRow row(*FCursor);
  row.Init();
  Write(row, "changed");
  FCursor->OpenBlob(3, row.Data(), blob::kOpenRead);
  FCursor->CancelAllBlobs(row.Data());
  EXPECT_TRUE(FCursor->ValidBlobHandle(kMemo, row.Data())) << "changed by the caller";
  EXPECT_FALSE(FCursor->ValidBlobHandle(3, row.Data())) << "unchanged: freed";
  FCursor->FreeBlob(kMemo, row.Data());

  // Engine openings go at the end of a post or with FreeAllBlobs.
  TRow system(*FCursor);
  system.Init();
  FCursor->DeleteAllBlobs(system.Data());
  EXPECT_EQ(FCursor->BlobHandles().Count(), 2u);
  FCursor->FreeAllBlobs(false);
  EXPECT_EQ(FCursor->BlobHandles().Count(), 0u);
  TRow copied(*FCursor);
  copied.Init();
  FCursor->CreateBlobCopies(copied.Data());
  EXPECT_EQ(FCursor->BlobHandles().Find(1)->OpenMode(), blob::kOpenCopy);
  FCursor->FreeAllBlobs(true);
}

TEST_F(BlobTest, CompressedValuesReadBack) {
  TRow row(*FCursor);
  row.Init();
  const std::string value(5000, 'z');
  Write(row, value, 3);
  ASSERT_TRUE(FCursor->AppendRecord(row.Data()));
  EXPECT_EQ(BlobFile().IOBlocksUsed(), 1) << "5000 equal bytes compress into one block";
  FCursor->FreeBlob(3, row.Data());
  TRow stored(*FCursor);
  ASSERT_EQ(FCursor->GetCurrentRecord(stored.Data()), 0);
  EXPECT_EQ(Read(stored, 3), value);
}

TEST_F(BlobTest, ReusedSlotWritesIntoTheInheritedChain) {
  TRow row(*FCursor);
  for (const char* name : {"a", "b", "c"}) {
    row.Init();
    row.SetText(1, name);
    Write(row, std::string(600, name[0]));  // two blocks each
    ASSERT_TRUE(FCursor->AppendRecord(row.Data()));
    FCursor->FreeBlob(kMemo, row.Data());
  }
  ASSERT_EQ(BlobFile().IOBlocksUsed(), 6);
  DeleteSlots({3, 1});
  ASSERT_EQ(DataFile().RecordCount(), 1);

  row.Init();
  row.SetText(1, "d");
  Write(row, "short");
  ASSERT_TRUE(FCursor->AppendRecord(row.Data()));
  EXPECT_EQ(row.SlotNumber(), 3) << "the head of the deleted slots";
  EXPECT_EQ(DataFile().NextFreeRecord(), 1) << "the chain moves on";
  EXPECT_EQ(BlobFile().IOBlocksUsed(), 6) << "written into slot 3's chain";
  FCursor->FreeBlob(kMemo, row.Data());
  TRow stored(*FCursor);
  ASSERT_EQ(FCursor->GetCurrentRecord(stored.Data()), 0);
  EXPECT_EQ(FirstBlock(stored), 5);
  EXPECT_EQ(Read(stored), "short");

  row.Init();
  row.SetText(1, "e");
  ASSERT_TRUE(FCursor->AppendRecord(row.Data()));
  EXPECT_EQ(row.SlotNumber(), 1);
  EXPECT_EQ(DataFile().NextFreeRecord(), 0);
  ASSERT_TRUE(FCursor->AppendRecord(row.Data()));
  EXPECT_EQ(row.SlotNumber(), 4) << "then slots at the end again";
  EXPECT_EQ(DataFile().RecordCount(), 4);
}

// A record image whose blob signature no longer matches its chain (the value was written again
// since the image was read) takes the stored record's chain; when its slot holds another
// record by now, the open fails with 8708.
TEST_F(BlobTest, StaleRecordImageFollowsTheStoredRecord) {
  TRow row(*FCursor);
  row.Init();
  Write(row, "current");
  ASSERT_TRUE(FCursor->AppendRecord(row.Data()));
  FCursor->FreeBlob(kMemo, row.Data());
  TRow stale(*FCursor);
  ASSERT_EQ(FCursor->GetCurrentRecord(stale.Data()), 0);
  const int32_t signature = Signature(*FCursor, stale);
  EncodeInt32(stale.Data() + FCursor->FieldDefinition(kMemo)->Offset + 5, signature + 100);
  EXPECT_EQ(Read(stale), "current");
  EXPECT_EQ(Signature(*FCursor, stale), signature) << "the image takes the stored signature";

  EncodeInt32(stale.Data() + FCursor->FieldDefinition(kMemo)->Offset + 5, signature + 100);
  EncodeInt32(stale.Data() + 5, 999);  // another record's RecordID
  EXPECT_EQ(EngineErrorCode([&] { FCursor->OpenBlob(kMemo, stale.Data(), blob::kOpenRead); }),
            CAIRN_KEYORRECDELETED);
  EXPECT_EQ(FCursor->BlobHandles().Count(), 0u) << "the failed open leaves no buffer";
}

}  // namespace
}  // namespace cairn
