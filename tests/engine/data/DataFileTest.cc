#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/DataPassword.h"
#include "cairn/engine/DataSession.h"
#include "cairn/engine/data/DataFile.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/error/EngineError.h"
#include "cairn/host/DateTime.h"
#include "cairn/host/OsError.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/FaultInjectingFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestTableOwner.h"

namespace cairn {
namespace {

using test::ErrorOf;
using test::Int16Bytes;
using test::Int32At;
using test::Int32Bytes;
using test::PatchDiskFile;
using test::ReadDiskFile;
using test::WriteDiskFile;

constexpr int64_t kHeader = 512;
constexpr int64_t kDef = 768;

std::string DigestBytes(const TMD5Digest& d) {
  return std::string(reinterpret_cast<const char*>(d.Bytes.data()), d.Bytes.size());
}

TFieldDefinition Field(std::string name, uint8_t type, uint8_t subType = 0, uint16_t length = 0) {
  TFieldDefinition d;
  d.FieldName = std::move(name);
  d.DataType = type;
  d.SubType = subType;
  d.Length = length;
  d.DataSize = FieldDataSize(type, subType, length);
  return d;
}

// Numbers and record offsets as table creation assigns them.
std::vector<TFieldDefinition> Laid(std::vector<TFieldDefinition> defs) {
  uint16_t offset = 25;
  for (size_t k = 0; k < defs.size(); ++k) {
    defs[k].FieldNum = static_cast<uint16_t>(k + 1);
    defs[k].Offset = offset;
    offset = static_cast<uint16_t>(offset + defs[k].DataSize + 1);
  }
  return defs;
}

// A string of length 20 (22 bytes with flag) and an integer: record 25 + 22 + 5 = 52 -> 56.
std::vector<TFieldDefinition> TwoFields() {
  return Laid({Field("Name", fld::kString, 0, 20), Field("Count", fld::kInteger)});
}

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FEngine.SetHostFiles(&FFiles);
    FOwner.TableName = "Events.dat";
    FOwner.Database = "MainDB";
  }

  std::string Path() const { return FDir.File("events.dat"); }

  std::unique_ptr<TDataFile> NewFile() {
    auto file = std::make_unique<TDataFile>(FEngine, &FOwner);
    file->SetFileName(Path());
    return file;
  }

  // Creates the file the way table creation does and closes it again.
  void Create(const std::vector<TFieldDefinition>& defs, const std::string& password = "") {
    auto file = NewFile();
    file->CreateFile();
    TMD5Digest check;
    if (!password.empty()) {
      const TMD5Digest digest = MD5Digest(password);
      FOwner.UseKey(digest.Bytes.data(), digest.Bytes.size());
      check = TDataFile::PasswordCheckValue(FEngine, digest);
    }
    file->UpdateHeader(0, 3, 4, !password.empty(), check, "Kalvora events", 4096, 512, -1);
    file->SetFieldDefinitions(defs);
    file->WriteHeader(true);
    file->WriteFieldDefinitions();
    file->CloseFile();
  }

  // Appends slots with the given RecordIDs and flushes them and the header.
  void AppendSlots(TDataFile& file, std::initializer_list<int32_t> ids) {
    for (int32_t id : ids) {
      TBuffer* buffer = nullptr;
      ASSERT_TRUE(
          file.GetBuffer({}, file.NextFreeSlot(), false, TReadAheadDirection::None, buffer));
      auto* record = static_cast<TRecord*>(buffer);
      record->SetRecordID(id);
      file.SetLastRecordID(id);
      file.IncRecordCount();
      file.PutBuffer(record);
    }
    file.FlushBuffers();
    file.WriteHeader(false);
  }

  void Patch(int64_t offset, const std::string& bytes) { PatchDiskFile(Path(), offset, bytes); }

  test::TFaultInjectingFiles FFiles;  // outlives the engine, which closes files through it
  TDataEngine FEngine;
  test::TTempDir FDir;
  test::TTestTableOwner FOwner;
};

// ---- Record layout
// --------------------------------------------------------------------------------

TEST_F(DataFileTest, RecordLengthAndLimitsWhenDefinitionsAreSet) {
  const auto many = [](int count, TFieldDefinition field) {
    return std::vector<TFieldDefinition>(static_cast<size_t>(count), field);
  };
  auto withExpression = Laid({Field("A", fld::kInteger), Field("B", fld::kFloat)});
  withExpression[1].ExpressionField = true;
  // 127 strings of 512 take 127 x 514 bytes; with the system area 65303 bytes.
  auto longest = many(127, Field("S", fld::kString, 0, 512));
  longest.push_back(Field("T", fld::kString, 0, 223));  // 65303 + 225 = 65528, a multiple of 8
  auto tooLong = longest;
  tooLong.back() = Field("T", fld::kString, 0, 224);  // 65529, rounded to 65536
  struct Case {
    const char* Why;
    std::vector<TFieldDefinition> Defs;
    int RecordLength;  // 0 when the operation fails
    int BlobFields;
    uint16_t Code;
  } cases[] = {
      {"one integer: flag at 25, value 26-29", {Field("A", fld::kInteger)}, 32, 0, 0},
      {"GUID: 39 bytes of value, 40 of record",
       {Field("Id", fld::kString, fld::kSubGuid, 38)},
       72,
       0,
       0},
      {"memo: 9 bytes", {Field("Notes", fld::kBlob, fld::kSubMemo)}, 40, 1, 0},
      {"string of 20: 22 bytes", {Field("S", fld::kString, 0, 20)}, 48, 0, 0},
      {"expression fields take no room", withExpression, 32, 0, 0},
      {"65528 bytes", longest, 65528, 0, 0},
      {"above 65534 bytes", tooLong, 0, 0, CAIRN_RECTOOBIG},
      {"256 blob fields", many(256, Field("B", fld::kBlob)), 2336, 256, 0},
      {"257 blob fields", many(257, Field("B", fld::kBlob)), 0, 0, CAIRN_BLOBLIMIT},
      {"1025 fields", many(1025, Field("I", fld::kInteger)), 0, 0, CAIRN_FLDLIMIT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Why);
    auto file = NewFile();
    file->CreateFile();
    if (c.Code != 0) {
      EXPECT_EQ(ErrorOf([&] { file->SetFieldDefinitions(c.Defs); }).ErrorCode(), c.Code);
      EXPECT_EQ(file->FieldCount(), 0);  // nothing taken over
      EXPECT_FALSE(file->FieldsAreDirty());
      continue;
    }
    file->SetFieldDefinitions(c.Defs);
    EXPECT_EQ(file->RecordLength(), c.RecordLength);
    EXPECT_EQ(file->GetHeader().BlobFieldCount, c.BlobFields);
    EXPECT_EQ(file->FieldCount(), static_cast<int32_t>(c.Defs.size()));
    EXPECT_TRUE(file->FieldsAreDirty());
  }
}

TEST_F(DataFileTest, NewFileHeaderBytesAndDefinitions) {
  const auto defs = TwoFields();
  Create(defs);
  const std::string disk = ReadDiskFile(Path());
  ASSERT_EQ(disk.size(), static_cast<size_t>(kHeader + 2 * kDef));  // no slots yet
  EXPECT_EQ(Int32At(disk, 0), 1);                                   // one header write
  EXPECT_EQ(disk.substr(4, 4), std::string(4, '\0'));
  EXPECT_EQ(disk[8], 6);
  EXPECT_EQ(disk.substr(9, 16), DigestBytes(MD5Digest("CAIRN_SIG")));
  EXPECT_EQ(Int32At(disk, 25), 0);  // NextFreeRecord
  EXPECT_EQ(Int32At(disk, 29), 1);  // NextEndingRecord
  EXPECT_EQ(Int32At(disk, 33), 0);  // LastRecordID
  EXPECT_EQ(Int32At(disk, 37), 0);  // LastAutoIncID: -1 is stored as 0
  EXPECT_EQ(Int32At(disk, 41), 0);  // RecordCount
  EXPECT_EQ(DecodeFixed16(disk.data() + 45), 56);
  EXPECT_EQ(DecodeFixed16(disk.data() + 47), 2);
  EXPECT_EQ(DecodeFixed16(disk.data() + 49), 0);
  EXPECT_EQ(Int32At(disk, 51), 512);   // BlobBlockSize
  EXPECT_EQ(Int32At(disk, 55), 0);     // LastBlobSignature
  EXPECT_EQ(Int32At(disk, 59), 4096);  // IndexPageSize
  // LastUpdated: now, less 693594 days, so negative.
  const double lastUpdated = DecodeDouble(disk.data() + 63);
  EXPECT_LT(lastUpdated, 0.0);
  EXPECT_NEAR(lastUpdated + 693594.0, host::Now(), 1.0 / 24 / 60);
  EXPECT_EQ(disk.substr(71, 15), std::string("\x0e") + "Kalvora events");
  EXPECT_EQ(disk[172], 0);
  EXPECT_EQ(disk.substr(173, 16), std::string(16, '\0'));
  EXPECT_EQ(Int32At(disk, 189), 0);
  EXPECT_EQ(DecodeFixed16(disk.data() + 193), 3);
  EXPECT_EQ(DecodeFixed16(disk.data() + 195), 4);
  EXPECT_EQ(disk[197], 1);  // the header was dirty when it was written
  EXPECT_EQ(disk.substr(198, 314), std::string(314, '\0'));
  for (size_t k = 0; k < defs.size(); ++k) {
    std::string expected(kDef, '\0');
    defs[k].Encode(expected.data());
    EXPECT_EQ(disk.substr(kHeader + k * kDef, kDef), expected) << "definition " << k + 1;
  }
}

TEST_F(DataFileTest, SlotsRoundTripByteForByte) {
  Create(Laid({Field("Amount", fld::kInteger)}));
  auto file = NewFile();
  file->OpenFile();
  // The buffered file's values for a data file of 32-byte records and one field.
  EXPECT_EQ(file->IOBlockSize(), 32);
  EXPECT_EQ(file->BufferSize(), 32);
  EXPECT_EQ(file->HeaderSize(), kHeader + kDef);
  EXPECT_EQ(file->IOBlocksUsed(), 0);
  EXPECT_EQ(file->MaximumBufferCount(), 32768 / (32 + 44));
  EXPECT_EQ(file->ReadAheadReserve(), 32768 / (32 + 44) / 4);

  TBuffer* buffer = nullptr;
  ASSERT_EQ(file->NextFreeSlot(), 1);
  ASSERT_TRUE(file->GetBuffer({}, 1, false, TReadAheadDirection::None, buffer));
  EXPECT_EQ(file->NextEndingRecord(), 2);  // counted at once; the file grows at the flush
  EXPECT_EQ(std::filesystem::file_size(Path()), static_cast<uintmax_t>(kHeader + kDef));
  auto* record = static_cast<TRecord*>(buffer);
  record->SetCachedUpdateNumber(9);
  EXPECT_FALSE(record->IsDirty());  // the cached-update number alone does not dirty the slot
  record->SetRecordID(7);
  EXPECT_TRUE(record->IsDirty());
  const TMD5Digest hash = MD5Digest("row");
  record->SetRecordHash(hash);
  record->SetCachedUpdateNumber(0);
  record->Buffer()[25] = 1;  // value present
  EncodeInt32(record->Buffer() + 26, 0x11223344);
  file->PutBuffer(record);
  ASSERT_TRUE(file->FlushBuffers());
  file->WriteHeader(false);
  file->CloseFile();

  const std::string disk = ReadDiskFile(Path());
  ASSERT_EQ(disk.size(), static_cast<size_t>(kHeader + kDef + 32));
  const std::string slot = disk.substr(kHeader + kDef);
  EXPECT_EQ(slot[0], 0);           // live
  EXPECT_EQ(Int32At(slot, 1), 0);  // no record number
  EXPECT_EQ(Int32At(slot, 5), 7);  // RecordID
  EXPECT_EQ(slot.substr(9, 16), DigestBytes(hash));
  EXPECT_EQ(slot[25], 1);
  EXPECT_EQ(slot.substr(26, 4), "\x44\x33\x22\x11");
  EXPECT_EQ(slot.substr(30), std::string(2, '\0'));
  EXPECT_EQ(Int32At(disk, 29), 2);  // NextEndingRecord

  file = NewFile();
  file->OpenFile();
  file->CheckHeader();
  ASSERT_TRUE(file->GetBuffer({}, 1, false, TReadAheadDirection::None, buffer));
  record = static_cast<TRecord*>(buffer);
  EXPECT_EQ(record->Status(), TRecord::kLive);
  EXPECT_EQ(record->RecordID(), 7);
  EXPECT_EQ(record->RecordHash(), hash);
  file->PutBuffer(record);
}

TEST_F(DataFileTest, FieldLookupAndDefinitionUpdates) {
  Create(TwoFields());
  auto file = NewFile();
  file->OpenFile();
  EXPECT_EQ(file->GetFieldNumber("count"), 2);
  EXPECT_EQ(file->GetFieldNumber("RECORDID"), -1);
  EXPECT_EQ(file->GetFieldNumber("recordhash"), -2);
  EXPECT_EQ(file->GetFieldNumber("Missing"), 0);
  EXPECT_EQ(file->GetFieldDefinitionByNumber(-1)->Offset, 5);
  EXPECT_EQ(file->GetFieldDefinitionByNumber(65534)->DataSize, 16);
  EXPECT_EQ(file->GetFieldDefinitionByName("NAME")->DataSize, 21);
  EXPECT_EQ(file->GetFieldDefinitionByPos(0), nullptr);
  EXPECT_EQ(file->GetFieldDefinitionByPos(3), nullptr);

  TFieldDefinition changed = *file->GetFieldDefinitionByPos(1);
  changed.Description = "Who it is";
  file->UpdateFieldDefinitionByPos(1, changed);
  EXPECT_TRUE(file->FieldsAreDirty());
  file->WriteFieldDefinitions();
  EXPECT_FALSE(file->FieldsAreDirty());
  file->CloseFile();
  file->OpenFile();
  EXPECT_EQ(file->GetFieldDefinitionByPos(1)->Description, "Who it is");
  EXPECT_EQ(std::filesystem::file_size(Path()), static_cast<uintmax_t>(kHeader + 2 * kDef));
}

// ---- Header writes and change detection -------------------------------------------------------

TEST_F(DataFileTest, HeaderWritesRaiseTheStampAndRecordTheDirtyFlag) {
  Create(TwoFields());
  auto file = NewFile();
  file->OpenFile();
  EXPECT_FALSE(file->WriteHeader(false));  // clean after the read: nothing written
  EXPECT_EQ(Int32At(ReadDiskFile(Path()), 0), 1);

  EXPECT_TRUE(file->WriteHeader(true));
  std::string disk = ReadDiskFile(Path());
  EXPECT_EQ(Int32At(disk, 0), 2);
  EXPECT_EQ(disk[197], 0);  // forced while clean

  file->UpdateHeaderStamp();  // +1 in memory only
  EXPECT_EQ(Int32At(ReadDiskFile(Path()), 0), 2);
  EXPECT_TRUE(file->WriteHeader(false));
  disk = ReadDiskFile(Path());
  EXPECT_EQ(Int32At(disk, 0), 4);
  EXPECT_EQ(disk[197], 1);
  EXPECT_FALSE(file->HeaderIsDirty());

  // A failed write leaves the header as it was, still to be written.
  file->IncRecordCount();
  FFiles.ArmNext(test::TFileOp::Write, 112);
  // A full disk has no engine code of its own: the unknown OS error.
  EXPECT_EQ(ErrorOf([&] { file->WriteHeader(false); }).ErrorCode(), CAIRN_OSUNKNOWN);
  EXPECT_EQ(file->LastUpdateStamp(), 4);
  EXPECT_TRUE(file->HeaderIsDirty());
  EXPECT_TRUE(file->WriteHeader(false));
  disk = ReadDiskFile(Path());
  EXPECT_EQ(Int32At(disk, 0), 5);
  EXPECT_EQ(Int32At(disk, 41), 1);
}

TEST_F(DataFileTest, AnotherOpenerSeesTheChange) {
  Create(TwoFields());
  auto writer = NewFile();
  test::TTestTableOwner otherOwner;
  TDataFile reader(FEngine, &otherOwner);
  reader.SetFileName(Path());
  writer->OpenFile();
  reader.OpenFile();
  EXPECT_FALSE(reader.CheckForChanges());
  writer->IncRecordCount();
  writer->WriteHeader(false);
  EXPECT_TRUE(reader.CheckForChanges());
  EXPECT_EQ(reader.RecordCount(), 1);
  EXPECT_FALSE(reader.CheckForChanges());
}

TEST_F(DataFileTest, ClearingEmptiesTheTableAndKeepsTheStampRising) {
  Create(TwoFields());
  auto file = NewFile();
  file->OpenFile();
  AppendSlots(*file, {1, 2, 3});
  ASSERT_EQ(std::filesystem::file_size(Path()),
            static_cast<uintmax_t>(kHeader + 2 * kDef + 3 * 56));
  const int32_t stamp = file->LastUpdateStamp();
  FOwner.Written = false;
  file->ClearHeader();
  EXPECT_TRUE(FOwner.Written);
  EXPECT_EQ(std::filesystem::file_size(Path()), static_cast<uintmax_t>(kHeader + 2 * kDef));
  const TDataHeader& h = file->GetHeader();
  EXPECT_EQ(h.NextEndingRecord, 1);
  EXPECT_EQ(h.NextFreeRecord, 0);
  EXPECT_EQ(h.RecordCount, 0);
  EXPECT_EQ(h.LastRecordID, 0);
  EXPECT_EQ(h.LastAutoIncID, 0);
  // Another process that saw an early stamp must still notice that the table was emptied.
  EXPECT_EQ(h.UpdateStamp, stamp);
  EXPECT_TRUE(file->WriteHeader(false));
  EXPECT_EQ(Int32At(ReadDiskFile(Path()), 0), stamp + 1);
  file->CheckHeader();
}

// ---- Counters and slots -----------------------------------------------------------------------

TEST_F(DataFileTest, CountersAndSlotAllocation) {
  const std::pair<int32_t, int32_t> identities[] = {
      {0, 1}, {5, 6}, {2147483646, 2147483647}, {2147483647, 1}};
  for (const auto& [last, next] : identities) {
    EXPECT_EQ(TDataFile::NextIdentity(last), next) << last;
  }
  Create(TwoFields());
  auto file = NewFile();
  file->OpenFile();
  AppendSlots(*file, {1, 2});
  EXPECT_EQ(file->NextFreeSlot(), 3);  // no deleted slot: the end
  file->SetNextFreeRecord(0);
  EXPECT_FALSE(file->HeaderIsDirty());  // unchanged value
  file->SetNextFreeRecord(2);
  EXPECT_TRUE(file->HeaderIsDirty());
  EXPECT_EQ(file->NextFreeSlot(), 2);

  file->SetLastRecordID(2147483647);
  EXPECT_EQ(file->NextRecordID(), 1);
  EXPECT_EQ(file->LastRecordID(), 2147483647);  // a preview changes nothing
  file->SetLastBlobSignature(2147483647);
  EXPECT_EQ(file->NextBlobSignature(), 1);
  EXPECT_EQ(file->LastBlobSignature(), 1);
  file->DecRecordCount();
  EXPECT_EQ(file->RecordCount(), 1);
}

TEST_F(DataFileTest, AppendingBeyondTheLimitsFailsBeforeAnythingChanges) {
  struct Case {
    const char* Why;
    bool LargeFiles;
    int32_t NextEnding;
  } cases[] = {
      // 130,000,000 slots of 32 bytes: past 4,000,000,000 bytes, below 200,000,000 records.
      {"file size", false, 130'000'001},
      // With large files: 1,000,000,000 slots is the record limit, far below the size limit.
      {"record count", true, 1'000'000'001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Why);
    FEngine.SetLargeFileSupport(c.LargeFiles);
    FEngine.Initialize();
    Create(Laid({Field("A", fld::kInteger)}));
    Patch(29, Int32Bytes(c.NextEnding));
    auto file = NewFile();
    file->OpenFile();
    TBuffer* buffer = nullptr;
    EXPECT_EQ(ErrorOf([&] {
                file->GetBuffer({}, c.NextEnding, false, TReadAheadDirection::None, buffer);
              }).ErrorCode(),
              CAIRN_TABLEFULL);
    EXPECT_EQ(file->NextEndingRecord(), c.NextEnding);
    EXPECT_FALSE(file->HeaderIsDirty());
    file->FlushBuffers();
    EXPECT_EQ(std::filesystem::file_size(Path()), static_cast<uintmax_t>(kHeader + kDef));
  }
}

// ---- Opening damaged and foreign files --------------------------------------------------------

TEST_F(DataFileTest, DamagedOrForeignFilesFailToOpenWithTheEngineError) {
  struct Case {
    const char* Why;
    int64_t Offset;  // -1: no patch
    std::string Bytes;
    int64_t TruncateTo;  // -1: keep the size
    uint16_t Code;
  } cases[] = {
      // Version and signature are checked before anything else is read: the definitions are
      // cut off, yet the error names the version or signature.
      {"older version 5", 8, "\x05", kHeader, CAIRN_OLDVERSION},
      {"newer version 7", 8, "\x07", kHeader, CAIRN_BADSIGNATURE},
      {"foreign signature", 9, std::string(16, 'X'), kHeader, CAIRN_BADSIGNATURE},
      {"1025 fields", 47, Int16Bytes(1025), -1, CAIRN_HEADERCORRUPT},
      {"more definitions than the file holds", 47, Int16Bytes(3), -1, CAIRN_HEADERCORRUPT},
      {"definitions cut short", -1, "", kHeader + 2 * kDef - 68, CAIRN_HEADERCORRUPT},
      {"header cut short", -1, "", 100, CAIRN_READERR},
      {"empty file", -1, "", 0, CAIRN_READERR},
      {"record length 0", 45, Int16Bytes(0), -1, CAIRN_HEADERCORRUPT},
      {"record length not a multiple of 8", 45, Int16Bytes(57), -1, CAIRN_HEADERCORRUPT},
      {"next ending record 0", 29, Int32Bytes(0), -1, CAIRN_HEADERCORRUPT},
      {"next free record past the end", 25, Int32Bytes(1), -1, CAIRN_HEADERCORRUPT},
      {"negative next free record", 25, Int32Bytes(-4), -1, CAIRN_HEADERCORRUPT},
      {"encrypted flag 2", 172, "\x02", -1, CAIRN_HEADERCORRUPT},
      {"description longer than 100", 71, "\x65", -1, CAIRN_HEADERCORRUPT},
      {"more blob fields than fields", 49, Int16Bytes(3), -1, CAIRN_HEADERCORRUPT},
      {"blob count without blob fields", 49, Int16Bytes(1), -1, CAIRN_HEADERCORRUPT},
      {"field name longer than 60", kHeader + 2, "\x3d", -1, CAIRN_HEADERCORRUPT},
      {"string longer than 512", kHeader + 166, Int16Bytes(600), -1, CAIRN_HEADERCORRUPT},
      {"field past the record", kHeader + kDef + 172, Int16Bytes(60), -1, CAIRN_HEADERCORRUPT},
      {"field inside the system area", kHeader + 172, Int16Bytes(3), -1, CAIRN_HEADERCORRUPT},
      {"encrypted without a key", 172, "\x01", -1, CAIRN_NOTSUFFTABLERIGHTS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Why);
    Create(TwoFields());
    if (c.Offset >= 0) Patch(c.Offset, c.Bytes);
    if (c.TruncateTo >= 0)
      std::filesystem::resize_file(Path(), static_cast<uintmax_t>(c.TruncateTo));
    auto file = NewFile();
    FFiles.ResetCounts();
    const ECairnEngineError error = ErrorOf([&] { file->OpenFile(); });
    EXPECT_EQ(error.ErrorCode(), c.Code);
    EXPECT_EQ(error.ErrorTableName(), "Events.dat");
    EXPECT_EQ(error.ErrorDatabaseName(), "MainDB");
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(file->FieldCount(), 0);
    if (c.Code == CAIRN_OLDVERSION || c.Code == CAIRN_BADSIGNATURE) {
      EXPECT_EQ(FFiles.Calls(test::TFileOp::Read), 1);  // the header only
    }
  }
}

TEST_F(DataFileTest, FlippedBytesNeverCrashTheReader) {
  Create(Laid(
      {Field("Name", fld::kString, 0, 20), Field("Photo", fld::kBlob), Field("Due", fld::kDate)}));
  {
    auto file = NewFile();
    file->OpenFile();
    AppendSlots(*file, {1, 2, 3});
  }
  const std::string original = ReadDiskFile(Path());
  const size_t described = static_cast<size_t>(kHeader + 3 * kDef);
  std::mt19937 random(20240611);
  int opened = 0, refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::string damaged = original;
    const int flips = 1 + round % 3;
    for (int i = 0; i < flips; ++i) {
      damaged[random() % described] ^= static_cast<char>(1 + random() % 255);
    }
    WriteDiskFile(Path(), damaged);
    auto file = NewFile();
    try {
      file->OpenFile();
      file->CheckHeader();
      for (int32_t n = 1; n <= std::min(file->IOBlocksUsed(), 4); ++n) {
        TBuffer* buffer = nullptr;
        ASSERT_TRUE(file->GetBuffer({}, n, true, TReadAheadDirection::Forward, buffer));
        static_cast<TRecord*>(buffer)->RecordID();
        file->PutBuffer(buffer);
      }
      ++opened;
    } catch (const ECairnEngineError&) {
      ++refused;
    }
  }
  // Both outcomes occur: flips of unchecked bytes (descriptions, stamps) are harmless.
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
}

// ---- Consistency check ------------------------------------------------------------------------

TEST_F(DataFileTest, CheckHeaderFindsEveryInconsistency) {
  using Mutation = std::function<void(std::vector<TFieldDefinition>&)>;
  const Mutation none = [](auto&) {};
  struct Case {
    const char* Why;
    Mutation Mutate;
    int64_t Offset;
    std::string Bytes;
    std::string Appended;
    uint16_t Code;
  } cases[] = {
      {"consistent", none, -1, "", "", 0},
      {"wrong offset", [](auto& d) { d[1].Offset = 48; }, -1, "", "", CAIRN_HEADERCORRUPT},
      {"duplicate name", [](auto& d) { d[1].FieldName = "NAME"; }, -1, "", "", CAIRN_HEADERCORRUPT},
      {"name starting with a digit", [](auto& d) { d[1].FieldName = "1st"; }, -1, "", "",
       CAIRN_HEADERCORRUPT},
      {"empty name", [](auto& d) { d[1].FieldName = ""; }, -1, "", "", CAIRN_HEADERCORRUPT},
      {"underscore and high characters are fine",
       [](auto& d) {
         d[0].FieldName = "_x";
         d[1].FieldName = "\xC4rger";
       },
       -1, "", "", 0},
      {"number not its position", [](auto& d) { d[1].FieldNum = 3; }, -1, "", "",
       CAIRN_HEADERCORRUPT},
      {"duplicate number", [](auto& d) { d[1].FieldNum = 1; }, -1, "", "", CAIRN_HEADERCORRUPT},
      {"type 0", [](auto& d) { d[1].DataType = 0; }, -1, "", "", CAIRN_HEADERCORRUPT},
      {"decimals on an integer", [](auto& d) { d[1].Decimals = 2; }, -1, "", "",
       CAIRN_HEADERCORRUPT},
      {"default not an integer", [](auto& d) { d[1].Default = "abc"; }, -1, "", "",
       CAIRN_HEADERCORRUPT},
      {"maximum not an integer", [](auto& d) { d[1].Maximum = "1.5"; }, -1, "", "",
       CAIRN_HEADERCORRUPT},
      {"valid literals",
       [](auto& d) {
         d[1].Minimum = "-1";
         d[1].Default = "0";
       },
       -1, "", "", 0},
      {"record longer than its fields", none, 45, Int16Bytes(64), "", CAIRN_HEADERCORRUPT},
      {"bad NextEndingRecord", none, 29, Int32Bytes(2), "", CAIRN_HEADERCORRUPT},
      // What a process killed after writing a new slot and before the header leaves behind.
      {"part of a slot beyond the counted ones", none, -1, "", std::string(5, '\0'), 0},
      {"one whole slot not counted", none, -1, "", std::string(56, '\0'), 0},
      {"unknown locale", none, 189, Int32Bytes(0x7FFF0001), "", CAIRN_CANNOTLOADLDDRV},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Why);
    auto defs = TwoFields();
    c.Mutate(defs);
    Create(defs);
    if (c.Offset >= 0) Patch(c.Offset, c.Bytes);
    if (!c.Appended.empty()) WriteDiskFile(Path(), ReadDiskFile(Path()) + c.Appended);
    auto file = NewFile();
    file->OpenFile();
    if (c.Code == 0) {
      EXPECT_NO_THROW(file->CheckHeader());
    } else {
      EXPECT_EQ(ErrorOf([&] { file->CheckHeader(); }).ErrorCode(), c.Code);
    }
  }
}

// ---- Encryption -------------------------------------------------------------------------------

TEST_F(DataFileTest, EncryptedFileKeepsItsHeaderPlainAndNeedsThePassword) {
  const auto defs = TwoFields();
  Create(defs, "secret");
  {
    auto file = NewFile();
    file->OpenFile();  // through the owner's key
    AppendSlots(*file, {42});
  }
  const std::string disk = ReadDiskFile(Path());
  const TMD5Digest digest = MD5Digest("secret");
  EXPECT_EQ(disk[8], 6);
  EXPECT_EQ(disk[172], 1);
  EXPECT_EQ(disk.substr(173, 16), DigestBytes(TDataFile::PasswordCheckValue(FEngine, digest)));
  EXPECT_NE(disk.substr(173, 16), DigestBytes(digest));
  std::string plainDefinition(kDef, '\0');
  defs[0].Encode(plainDefinition.data());
  EXPECT_NE(disk.substr(kHeader, kDef), plainDefinition);
  const std::string slot = disk.substr(kHeader + 2 * kDef);
  ASSERT_EQ(slot.size(), 56u);
  EXPECT_NE(Int32At(slot, 5), 42);

  TDataSession& session = FEngine.StartDataSession();
  FOwner.Key.reset();
  // Nobody to ask: 10498, and the file stays closed.
  auto file = NewFile();
  EXPECT_EQ(ErrorOf([&] { file->OpenFile(&session); }).ErrorCode(), CAIRN_NOTSUFFTABLERIGHTS);
  EXPECT_FALSE(file->IsOpen());
  // A wrong password is tried, then the session is asked and supplies the right one.
  session.AddPassword("wrong");
  int asked = 0;
  session.SetPasswordCallback([&](TDataSession& s) {
    if (++asked == 1) s.AddPassword("secret");
    return asked == 1;
  });
  file->OpenFile(&session);
  EXPECT_EQ(asked, 1);
  ASSERT_NE(file->DataPassword(), nullptr);
  EXPECT_EQ(file->DataPassword()->Password(), "secret");
  EXPECT_EQ(file->GetFieldDefinitionByPos(2)->FieldName, "Count");
  // With the table's key the slots read back plain.
  FOwner.Key = DataEngine().CryptoInit(digest.Bytes.data(), digest.Bytes.size());
  TBuffer* buffer = nullptr;
  ASSERT_TRUE(file->GetBuffer({}, 1, false, TReadAheadDirection::None, buffer));
  EXPECT_EQ(static_cast<TRecord*>(buffer)->RecordID(), 42);
  file->PutBuffer(buffer);
  file->CloseFile();

  // Without a session, only the right key of the owner opens it.
  FOwner.UseKey("wrong-key-bytes!", 16);
  EXPECT_EQ(ErrorOf([&] { file->OpenFile(); }).ErrorCode(), CAIRN_NOTSUFFTABLERIGHTS);
  FOwner.Key.reset();
  EXPECT_EQ(ErrorOf([&] { file->OpenFile(); }).ErrorCode(), CAIRN_NOTSUFFTABLERIGHTS);
  // Opened with a session, an owner without the key cannot touch the slots.
  file->OpenFile(&session);
  EXPECT_EQ(ErrorOf([&] {
              file->GetBuffer({}, 1, false, TReadAheadDirection::None, buffer);
            }).ErrorCode(),
            CAIRN_NOTSUFFTABLERIGHTS);
}

// ---- Locks ------------------------------------------------------------------------------------

TEST_F(DataFileTest, RecordTableAndSemaphoreLocks) {
  Create(TwoFields());
  auto file = NewFile();
  file->OpenFile();
  ASSERT_TRUE(file->LockRecord(3));
  EXPECT_FALSE(file->LockRecord(3));
  EXPECT_FALSE(file->LockTable());  // the table range covers every record byte
  EXPECT_TRUE(file->UnlockRecord(3));
  EXPECT_FALSE(file->UnlockRecord(3));
  ASSERT_TRUE(file->LockTable());
  EXPECT_FALSE(file->LockRecord(1));
  EXPECT_TRUE(file->UnlockTable());
  ASSERT_TRUE(file->LockSemaphore(2));
  EXPECT_FALSE(file->LockSemaphore(2));
  EXPECT_TRUE(file->UnlockSemaphore(2));

  // Another process holds record 3's byte: RecordLockByte - 3.
  const int64_t recordByte = FEngine.LockGeometry().RecordLockByte() - 3;
  const std::string path = Path();
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataEngine engine;  // its own descriptor: the parent's is shared with the child
    TFileOpenArgs args;
    if (engine.FileRegistry().OpenFile(path, args) < 1 || !args.BaseFile->Lock(recordByte, 1)) {
      return 1;
    }
    channel.Send('l');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'l');
  EXPECT_FALSE(file->LockRecord(3));
  EXPECT_FALSE(file->LockTable());
  EXPECT_TRUE(file->LockRecord(4));
  EXPECT_TRUE(file->UnlockRecord(4));
  child.Send('q');
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_TRUE(file->LockRecord(3));
  EXPECT_TRUE(file->UnlockRecord(3));
}

}  // namespace
}  // namespace cairn
