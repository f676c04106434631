#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "cairn/engine/blob/BlobChain.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/directory/DataTableLocks.h"
#include "cairn/engine/index/TextIndexParams.h"
#include "cairn/engine/io/FileRegistry.h"
#include "cairn/engine/table/DataTable.h"
#include "cairn/engine/table/TableValidator.h"
#include "cairn/error/EngineError.h"
#include "cairn/error/EngineErrorCodes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DiskFiles.h"
#include "tests/support/EngineErrorCatch.h"
#include "tests/support/FaultInjectingFiles.h"
#include "tests/support/TableTestSupport.h"

namespace cairn {
namespace {

using test::EngineErrorCode;
using test::EventsParams;
using test::Int32At;
using test::Int32Bytes;
using test::PatchDiskFile;
using test::ReadDiskFile;
using test::SizeOf;

constexpr int64_t kIndexHeaderArea = 25088;  // header + 32 definitions
// The test table's record: 25 + (1 + 4) + (1 + 21) = 52, rounded to 56 (+ 9 with the memo: 64).
constexpr int64_t kRecordLength = 56;

class DataTableTest : public test::TableFixture {
 protected:
  // A table created the way the creating cursor does it (validated parameters), left open.
  TDataTable& Create(const std::string& name, TTableCreateParams params) {
    ValidateTableCreateParams(FEngine, params, FDirectory.ProperDataDirectoryName(), name);
    return FDirectory.CreateDataTable(name, "", params, true, false);
  }
  void CreateClosed(const std::string& name, TTableCreateParams params) {
    FDirectory.CloseDataTable(Create(name, std::move(params)));
  }
  TDataTable& Open(const std::string& name, bool exclusive) {
    return FDirectory.OpenDataTable(name, "", exclusive, false);
  }

  // Appends a slot holding only a RecordID, as a writer of the table would.
  static void AppendRecord(TDataTable& table, int32_t recordID) {
    TDataFile& file = table.DataFile();
    TBufferRequest request;
    request.Exclusive = table.Exclusive();
    TBuffer* buffer = nullptr;
    ASSERT_TRUE(
        file.GetBuffer(request, file.IOBlocksUsed() + 1, false, TReadAheadDirection::None, buffer));
    static_cast<TRecord*>(buffer)->SetRecordID(recordID);
    file.PutBuffer(buffer);
    file.IncRecordCount();
  }
  // The RecordID of slot n, read as a reader of a shared table does: a miss takes the read lock,
  // given back after the read. 0 when the miss found the table changed (the cache was dropped);
  // the read lock is then still held.
  static int32_t RecordIDOf(TDataTable& table, int32_t n) {
    TBufferRequest request;
    request.Exclusive = table.Exclusive();
    TBuffer* buffer = nullptr;
    if (!table.DataFile().GetBuffer(request, n, false, TReadAheadDirection::None, buffer)) return 0;
    const int32_t id = static_cast<TRecord*>(buffer)->RecordID();
    table.DataFile().PutBuffer(buffer);
    table.ReadUnlockTable();
    return id;
  }
};

// ---- Creation
// -------------------------------------------------------------------------------------

TEST_F(DataTableTest, NewFilesHoldHeadersDefinitionsAndTextParameters) {
  CreateClosed("Events.dat", EventsParams());
  const std::string data = ReadDiskFile(File("Events.dat"));
  ASSERT_EQ(data.size(), 512u + 768 * 2);
  EXPECT_EQ(data[8], 6);
  EXPECT_EQ(data.substr(9, 16),
            std::string(reinterpret_cast<const char*>(FEngine.SignatureDigest().Bytes.data()), 16));
  EXPECT_EQ(Int32At(data, 29), 1);                 // NextEndingRecord
  EXPECT_EQ(DecodeFixed16(data.data() + 45), 56);  // RecordLength
  EXPECT_EQ(DecodeFixed16(data.data() + 47), 2);   // FieldCount
  EXPECT_EQ(Int32At(data, 51), 512);               // BlobBlockSize
  EXPECT_EQ(Int32At(data, 59), 4096);              // IndexPageSize
  EXPECT_EQ(DecodeFixed16(data.data() + 193), 1);  // UserMajorVersion
  EXPECT_EQ(data.substr(512 + 2, 3), std::string("\x02Id", 3));
  EXPECT_FALSE(test::Exists(File("Events.blb")));

  // The index file: header, definitions and one page of default full-text parameters.
  const std::string index = ReadDiskFile(File("Events.idx"));
  ASSERT_EQ(static_cast<int64_t>(index.size()), kIndexHeaderArea + 4096);
  EXPECT_EQ(index[33], 1);                     // one secondary index
  EXPECT_EQ(Int32At(index, 162 + 31 * 4), 1);  // the parameter chain starts at page 1
  EXPECT_EQ(index[kIndexHeaderArea], 4);       // a text-parameter page

  CreateClosed("Notes.dat", EventsParams(true));
  const std::string blob = ReadDiskFile(File("Notes.blb"));
  ASSERT_EQ(blob.size(), 512u);
  EXPECT_EQ(blob[8], 6);
  EXPECT_EQ(Int32At(blob, 29), 1);  // NextEndingBlock

  TDataTable& table = Open("Events.dat", true);
  const TTextIndexParams defaults = GetDefaultTextIndexParams();
  const TTextIndexParams stored = table.IndexFile().ReadTextIndexParams();
  EXPECT_EQ(stored.StopWords, defaults.StopWords);
  EXPECT_EQ(stored.SpaceChars, defaults.SpaceChars);
  EXPECT_EQ(stored.IncludeChars, defaults.IncludeChars);
  FDirectory.CloseDataTable(table);
  EXPECT_EQ(FDirectory.DataTableCount(), 0u);
}

TEST_F(DataTableTest, GivenTextParametersAreStoredInsteadOfTheDefaults) {
  TTableCreateParams params = EventsParams();
  params.TextIndexStopWords = std::vector<std::string>{"FOO", "BAR"};
  params.TextIndexSpaceChars.set(' ');
  CreateClosed("Events.dat", params);
  TDataTable& table = Open("Events.dat", true);
  const TTextIndexParams stored = table.IndexFile().ReadTextIndexParams();
  EXPECT_EQ(stored.StopWords, (std::vector<std::string>{"FOO", "BAR"}));
  EXPECT_EQ(stored.SpaceChars.count(), 1u);
  EXPECT_EQ(stored.IncludeChars, GetDefaultTextIndexIncludeChars());
  FDirectory.CloseDataTable(table);
}

TEST_F(DataTableTest, TooManyBlobFieldsFailAfterTheDataFileExistsAndLeaveNoFile) {
  TTableCreateParams params;
  for (int k = 1; k <= 257; ++k) {
    params.Fields.push_back(test::NewField("B" + std::to_string(k), fld::kBlob));
    params.Fields.back().FieldNum = static_cast<uint16_t>(k);
  }
  EXPECT_EQ(EngineErrorCode([&] { Create("Many.dat", params); }), CAIRN_BLOBLIMIT);
  for (const char* name : {"Many.dat", "Many.idx", "Many.blb"}) {
    EXPECT_FALSE(test::Exists(File(name))) << name;
  }
  EXPECT_EQ(FDirectory.DataTableCount(), 0u);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u);  // the lock file only
}

TEST_F(DataTableTest, FailedCreationRemovesEveryFileItMade) {
  struct Case {
    const char* what;
    int createCall;  // the failing file creation: 1 data, 2 index, 3 blob
  } cases[] = {{"index file", 2}, {"blob file", 3}};
  for (const Case& c : cases) {
    test::TFaultInjectingFiles faults;
    FEngine.SetHostFiles(&faults);
    faults.Arm(test::TFileOp::Create, c.createCall, 5);
    EXPECT_EQ(EngineErrorCode([&] { Create("Notes.dat", EventsParams(true)); }), CAIRN_OSEACCES)
        << c.what;
    FEngine.SetHostFiles(nullptr);
    for (const char* name : {"Notes.dat", "Notes.idx", "Notes.blb"}) {
      EXPECT_FALSE(test::Exists(File(name))) << c.what << ": " << name;
    }
    EXPECT_EQ(FDirectory.DataTableCount(), 0u) << c.what;
  }
}

TEST_F(DataTableTest, ReplacingAFileAnotherProcessHoldsNeverDeletesIt) {
  CreateClosed("Events.dat", EventsParams());
  const std::string before = ReadDiskFile(File("Events.dat"));
  const std::string path = File("Events.dat");
  test::TChildProcess child([&](test::TChannel& channel) {
    const int fd = open(path.c_str(), O_RDWR);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) return 1;
    channel.Send('h');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'h');
  EXPECT_EQ(EngineErrorCode([&] { Create("Events.dat", EventsParams()); }), CAIRN_OSEACCES);
  child.Send('x');
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(ReadDiskFile(File("Events.dat")), before);
  EXPECT_TRUE(test::Exists(File("Events.idx")));
}

TEST_F(DataTableTest, EncryptedTableOpensOnlyWithItsPassword) {
  TTableCreateParams secret = EventsParams(true);
  secret.Encrypted = true;
  secret.Password = "open sesame";
  CreateClosed("Secret.dat", secret);
  CreateClosed("Plain.dat", EventsParams(true));
  EXPECT_EQ(FSession.PasswordCount(), 1u);  // creation told the session

  const std::string secretData = ReadDiskFile(File("Secret.dat"));
  const std::string plainData = ReadDiskFile(File("Plain.dat"));
  ASSERT_EQ(secretData.size(), plainData.size());
  EXPECT_EQ(secretData[172], 1);
  EXPECT_EQ(secretData[8], 6);  // the data header itself stays plain
  EXPECT_NE(secretData.substr(512), plainData.substr(512));
  const std::string secretIndex = ReadDiskFile(File("Secret.idx"));
  const std::string plainIndex = ReadDiskFile(File("Plain.idx"));
  EXPECT_NE(secretIndex.substr(0, 512), plainIndex.substr(0, 512));
  EXPECT_NE(secretIndex.substr(512, 24576), plainIndex.substr(512, 24576));
  EXPECT_NE(ReadDiskFile(File("Secret.blb")), ReadDiskFile(File("Plain.blb")));

  TDataSession& knowing = FEngine.StartDataSession();
  knowing.AddPassword("open sesame");
  TDataDirectory& directory = OpenDirectory(knowing);
  TDataTable& table = directory.OpenDataTable("Secret.dat", "", true, false);
  EXPECT_EQ(table.DataFile().GetFieldDefinitionByPos(2)->FieldName, "Name");
  EXPECT_EQ(table.IndexFile().GetIndexDefinition(1).IndexName, "ByName");
  EXPECT_EQ(table.IndexFile().ReadTextIndexParams().StopWords,
            GetDefaultTextIndexParams().StopWords);
  directory.CloseDataTable(table);

  TDataSession& stranger = FEngine.StartDataSession();
  TDataDirectory& elsewhere = OpenDirectory(stranger);
  EXPECT_EQ(EngineErrorCode([&] { elsewhere.OpenDataTable("Secret.dat", "", true, false); }),
            CAIRN_NOTSUFFTABLERIGHTS);
  EXPECT_EQ(elsewhere.DataTableCount(), 0u);
}

// ---- Opening damaged or foreign files ---------------------------------------------------------

TEST_F(DataTableTest, ForeignVersionOrSignatureIsRefusedBeforeAnyDefinitionIsRead) {
  struct Case {
    const char* file;
    int64_t at;
    std::string bytes;
    uint16_t code;
  } cases[] = {
      {".dat", 8, std::string(1, 5), CAIRN_OLDVERSION},
      {".dat", 8, std::string(1, 7), CAIRN_BADSIGNATURE},
      {".dat", 12, "X", CAIRN_BADSIGNATURE},
      {".idx", 8, std::string(1, 5), CAIRN_OLDVERSION},
      {".idx", 20, "X", CAIRN_BADSIGNATURE},
      {".blb", 8, std::string(1, 7), CAIRN_BADSIGNATURE},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "T" + std::to_string(n++);
    CreateClosed(name + ".dat", EventsParams(true));
    PatchDiskFile(File(name + c.file), c.at, c.bytes);
    // Without its definitions the data file would be damage (8961) if they were read first.
    if (std::string(c.file) == ".dat") std::filesystem::resize_file(File(name + ".dat"), 512);
    try {
      Open(name + ".dat", true);
      ADD_FAILURE() << name << c.file << ": opened";
    } catch (const ECairnEngineError& error) {
      EXPECT_EQ(error.ErrorCode(), c.code) << name << c.file;
      EXPECT_EQ(FEngine.LastError().TableName, name + ".dat");
      EXPECT_EQ(FEngine.LastError().DatabaseName, FDir.Path());
    }
    EXPECT_EQ(FDirectory.DataTableCount(), 0u);
    EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u) << "files left open";
  }
}

TEST_F(DataTableTest, DamagedFilesGiveTheEngineError) {
  const int64_t definitionsEnd = 512 + 768 * 3;
  struct Case {
    const char* what;
    const char* file;
    int64_t at;  // patch offset, or -1
    std::string bytes;
    int64_t resize;  // new size, or -1
    uint16_t code;
  } cases[] = {
      {"definitions cut short", ".dat", -1, "", definitionsEnd - 100, CAIRN_HEADERCORRUPT},
      {"field count beyond 1024", ".dat", 47, std::string("\x01\x04", 2), -1, CAIRN_HEADERCORRUPT},
      {"record length not a multiple of 8", ".dat", 45, std::string("\x41\x00", 2), -1,
       CAIRN_HEADERCORRUPT},
      // Part of a slot beyond the counted ones is what a killed writer leaves, and opens; a
      // counted slot cut short does not.
      {"counted slot cut mid-record", ".dat", 29, Int32Bytes(2), definitionsEnd + 10,
       CAIRN_HEADERCORRUPT},
      {"slot count beyond the file", ".dat", 29, Int32Bytes(1000), -1, CAIRN_HEADERCORRUPT},
      {"field offset outside the record", ".dat", 512 + 768 + 172, std::string("\xF0\x00", 2), -1,
       CAIRN_HEADERCORRUPT},
      {"root page out of range", ".idx", 34, Int32Bytes(99), -1, CAIRN_HEADERCORRUPT},
      {"secondary count beyond 30", ".idx", 33, std::string(1, 31), -1, CAIRN_HEADERCORRUPT},
      {"free page out of range", ".idx", 25, Int32Bytes(-7), -1, CAIRN_HEADERCORRUPT},
      {"free blob block out of range", ".blb", 25, Int32Bytes(50), -1, CAIRN_HEADERCORRUPT},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "D" + std::to_string(n++);
    CreateClosed(name + ".dat", EventsParams(true));
    const std::string path = File(name + c.file);
    if (c.at >= 0) PatchDiskFile(path, c.at, c.bytes);
    if (c.resize >= 0) std::filesystem::resize_file(path, static_cast<uintmax_t>(c.resize));
    EXPECT_EQ(EngineErrorCode([&] { Open(name + ".dat", true); }), c.code) << c.what;
    EXPECT_EQ(FDirectory.DataTableCount(), 0u) << c.what;
  }
}

TEST_F(DataTableTest, BlobChainThatLoopsFailsTheRead) {
  TDataTable& table = Create("Notes.dat", EventsParams(true));
  TBufferRequest request;
  request.Exclusive = true;
  int32_t first = 0;
  TBlobChain(table.BlobFile(), request).WriteBlobValue(first, 7, std::string(1500, 'x'), 0);
  ASSERT_EQ(first, 1);
  FDirectory.CloseDataTable(table);
  PatchDiskFile(File("Notes.blb"), 512 + 4, Int32Bytes(1));  // block 1 links back to itself

  TDataTable& reopened = Open("Notes.dat", true);
  std::vector<char> value;
  EXPECT_EQ(EngineErrorCode([&] {
              TBlobChain(reopened.BlobFile(), request).ReadBlobValue(first, 7, 0, value);
            }),
            CAIRN_MEMOCORRUPT);
  FDirectory.CloseDataTable(reopened);
}

TEST_F(DataTableTest, MissingOrUnreadableIndexFileIsRecreated) {
  struct Case {
    const char* what;
    int64_t size;  // -1: removed
  } cases[] = {{"missing", -1}, {"too short to read", 100}};
  for (const Case& c : cases) {
    CreateClosed("Events.dat", EventsParams());
    if (c.size < 0) {
      std::remove(File("Events.idx").c_str());
    } else {
      std::filesystem::resize_file(File("Events.idx"), static_cast<uintmax_t>(c.size));
    }
    TDataTable& table = Open("Events.dat", true);
    EXPECT_TRUE(table.MissingIndex()) << c.what;
    EXPECT_EQ(table.IndexFile().IndexCount(), 0) << c.what;
    EXPECT_TRUE(table.IndexFile().GetIndexDefinition(0).IsAutomaticPrimary()) << c.what;
    FDirectory.CloseDataTable(table);
    EXPECT_EQ(SizeOf(File("Events.idx")), kIndexHeaderArea) << c.what;

    // The new file is sound: the next open checks it and finds nothing missing.
    TDataTable& again = Open("Events.dat", true);
    EXPECT_FALSE(again.MissingIndex()) << c.what;
    FDirectory.CloseDataTable(again);
    std::remove(File("Events.dat").c_str());
  }
}

// ---- Sharing
// --------------------------------------------------------------------------------------

TEST_F(DataTableTest, SharedOpenRegistersTheTableInTheLockFileAndSharesOneObject) {
  CreateClosed("Events.dat", EventsParams());
  const std::string lockFile = File("cairn.lck");
  const std::string empty = test::LockFileBytes(1, {});
  ASSERT_EQ(ReadDiskFile(lockFile), empty);

  TDataTable& exclusive = Open("Events.dat", true);
  EXPECT_EQ(exclusive.DataTableLocks(), nullptr);
  EXPECT_EQ(EngineErrorCode([&] { Open("Events.dat", false); }), CAIRN_OSEACCES);
  FDirectory.CloseDataTable(exclusive);
  EXPECT_EQ(ReadDiskFile(lockFile), empty);

  TDataTable& first = Open("Events.dat", false);
  TDataTable& second = Open("events.DAT", false);
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(first.UseCount(), 2);
  ASSERT_NE(first.DataTableLocks(), nullptr);
  EXPECT_EQ(first.DataTableLocks()->TableID(), 1);
  EXPECT_EQ(ReadDiskFile(lockFile), test::LockFileBytes(2, {"Events.dat"}));
  EXPECT_EQ(EngineErrorCode([&] { Open("Events.dat", true); }), CAIRN_OSEACCES);

  FDirectory.CloseDataTable(first);
  EXPECT_EQ(FDirectory.DataTableCount(), 1u);
  EXPECT_TRUE(second.IsOpen());
  FDirectory.CloseDataTable(second);
  EXPECT_EQ(FDirectory.DataTableCount(), 0u);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u);
}

TEST_F(DataTableTest, ClosingATableTheDirectoryDoesNotListFails) {
  CreateClosed("Events.dat", EventsParams());
  TDataTable stray(FDirectory, "Events.dat");
  EXPECT_EQ(EngineErrorCode([&] { FDirectory.CloseDataTable(stray); }), CAIRN_OSENOENT);
}

TEST_F(DataTableTest, DirectoryThatKeepsTablesOpenKeepsASharedTableAfterItsLastClose) {
  CreateClosed("Events.dat", EventsParams());
  TDataSession& session = FEngine.StartDataSession();
  TDataDirectory& keeping = session.OpenDataDirectory("keep", FDir.Path(), true, false, false);
  TDataTable& shared = keeping.OpenDataTable("Events.dat", "", false, false);
  keeping.CloseDataTable(shared);
  ASSERT_EQ(keeping.DataTableCount(), 1u);
  EXPECT_TRUE(shared.IsOpen());
  EXPECT_EQ(shared.UseCount(), 0);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 3u) << "lock file, data and index file";

  // Asked for exclusively, the kept object lets go of its shared files and opens them anew.
  TDataTable& exclusive = keeping.OpenDataTable("Events.dat", "", true, false);
  EXPECT_EQ(&exclusive, &shared);
  EXPECT_TRUE(exclusive.Exclusive());
  EXPECT_EQ(exclusive.DataTableLocks(), nullptr);
  EXPECT_EQ(EngineErrorCode([&] { Open("Events.dat", false); }), CAIRN_OSEACCES)
      << "another session cannot share an exclusive file";
  keeping.CloseDataTable(exclusive);
  EXPECT_EQ(keeping.DataTableCount(), 0u);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u);
}

TEST_F(DataTableTest, TableFreedWithoutACloseStillWritesWhatItHolds) {
  CreateClosed("Events.dat", EventsParams());
  const int64_t emptySize = SizeOf(File("Events.dat"));
  TDataSession& session = FEngine.StartDataSession();
  TDataTable& table = OpenDirectory(session).OpenDataTable("Events.dat", "", true, false);
  AppendRecord(table, 77);
  FEngine.CloseDataSession(session);  // frees the directory and its table
  const std::string data = ReadDiskFile(File("Events.dat"));
  ASSERT_EQ(static_cast<int64_t>(data.size()), emptySize + kRecordLength);
  EXPECT_EQ(Int32At(data, 41), 1);
  EXPECT_EQ(Int32At(data, emptySize + 5), 77);
  EXPECT_EQ(FEngine.FileRegistry().Count(false), 1u);
}

// ---- Flush policy and change detection -----------------------------------------------------

TEST_F(DataTableTest, ExclusiveTableWritesItsBlocksOnlyWhenClosed) {
  CreateClosed("Events.dat", EventsParams());
  const std::string path = File("Events.dat");
  const int64_t emptySize = SizeOf(path);
  const int32_t stamp = Int32At(ReadDiskFile(path), 0);

  TDataTable& table = Open("Events.dat", true);
  AppendRecord(table, 41);
  // What an exclusive cursor does after a write: stamps rise in memory only.
  table.UpdateHeaderStamps(true, true, false);
  EXPECT_TRUE(table.DataFile().HeaderIsDirty());
  EXPECT_EQ(SizeOf(path), emptySize);
  EXPECT_EQ(Int32At(ReadDiskFile(path), 0), stamp);
  // Nobody else writes an exclusive table: taking its table lock must not mistake the raised
  // stamps in memory for a change on disk and drop the unwritten record.
  table.LockTable();
  table.UnlockTable();
  EXPECT_FALSE(table.PerformChangeDetection());
  EXPECT_EQ(table.DataFile().RecordCount(), 1);

  FDirectory.CloseDataTable(table);
  const std::string data = ReadDiskFile(path);
  ASSERT_EQ(SizeOf(path), emptySize + kRecordLength);
  EXPECT_GT(Int32At(data, 0), stamp);
  EXPECT_EQ(Int32At(data, 29), 2);  // NextEndingRecord
  EXPECT_EQ(Int32At(data, 41), 1);  // RecordCount
  EXPECT_EQ(Int32At(data, emptySize + 5), 41);
}

TEST_F(DataTableTest, DataHeaderIsWrittenWheneverAnotherHeaderIs) {
  CreateClosed("Notes.dat", EventsParams(true));
  TDataTable& table = Open("Notes.dat", false);
  const std::string path = File("Notes.dat");
  const int32_t stamp = Int32At(ReadDiskFile(path), 0);
  table.FlushBuffers(false, false, false, false, false);
  EXPECT_EQ(Int32At(ReadDiskFile(path), 0), stamp) << "nothing to write";

  table.IndexFile().UpdateHeaderStamp();
  table.FlushBuffers(false, false, false, false, false);
  const int32_t afterIndex = Int32At(ReadDiskFile(path), 0);
  EXPECT_EQ(afterIndex, stamp + 1);

  table.BlobFile().UpdateHeaderStamp();
  table.FlushBuffers(false, false, false, false, false);
  EXPECT_EQ(Int32At(ReadDiskFile(path), 0), afterIndex + 1);
  EXPECT_FALSE(table.DataFile().HeaderIsDirty());
  FDirectory.CloseDataTable(table);
}

// Each file's header stamp is a signed counter that goes from its largest value to its smallest,
// both when the header is written and when only the stamp is raised.
TEST_F(DataTableTest, HeaderStampsOfAllThreeFilesWrapAtTheLimit) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  CreateClosed("Notes.dat", EventsParams(true));
  struct Case {
    const char* file;
    TBufferedFile& (*of)(TDataTable&);
  };
  const Case cases[] = {
      {"Notes.dat", [](TDataTable& t) -> TBufferedFile& { return t.DataFile(); }},
      {"Notes.idx", [](TDataTable& t) -> TBufferedFile& { return t.IndexFile(); }},
      {"Notes.blb", [](TDataTable& t) -> TBufferedFile& { return t.BlobFile(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = File(c.file);
    PatchDiskFile(path, 0, Int32Bytes(kMax));
    TDataTable& written = Open("Notes.dat", true);
    ASSERT_EQ(c.of(written).LastUpdateStamp(), kMax);
    EXPECT_TRUE(c.of(written).WriteHeader(true));
    EXPECT_EQ(Int32At(ReadDiskFile(path), 0), kMin);
    FDirectory.CloseDataTable(written);

    PatchDiskFile(path, 0, Int32Bytes(kMax));
    TDataTable& raised = Open("Notes.dat", true);
    c.of(raised).UpdateHeaderStamp();
    EXPECT_EQ(c.of(raised).LastUpdateStamp(), kMin);
    EXPECT_TRUE(c.of(raised).WriteHeader(false));
    EXPECT_EQ(Int32At(ReadDiskFile(path), 0), kMin + 1);
    FDirectory.CloseDataTable(raised);
  }
}

TEST_F(DataTableTest, ChangeByAnotherProcessIsDetectedAndDropsTheCache) {
  TDataTable& created = Create("Events.dat", EventsParams());
  AppendRecord(created, 1);
  FDirectory.CloseDataTable(created);

  // The child raises record 1's RecordID by one for every 'w', as a shared writer: under the
  // write lock, flushed at once.
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataTable& table = OpenDirectory(session).OpenDataTable("Events.dat", "", false, false);
    channel.Send('o');
    while (channel.Receive() == 'w') {
      table.WriteLockTable();
      TBuffer* buffer = nullptr;
      if (!table.DataFile().GetBuffer({}, 1, false, TReadAheadDirection::None, buffer)) return 1;
      auto* record = static_cast<TRecord*>(buffer);
      record->SetRecordID(record->RecordID() + 1);
      table.DataFile().PutBuffer(buffer);
      table.FlushBuffers(false, true, true, false, false);
      table.WriteUnlockTable();
      channel.Send('d');
    }
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'o');

  TDataTable& table = Open("Events.dat", false);
  EXPECT_EQ(RecordIDOf(table, 1), 1);
  EXPECT_FALSE(table.PerformChangeDetection());
  EXPECT_EQ(table.DataFile().BufferCount(), 1u);

  child.Send('w');
  ASSERT_EQ(child.Receive(), 'd');
  EXPECT_EQ(RecordIDOf(table, 1), 1);  // cached: nothing noticed yet
  EXPECT_TRUE(table.PerformChangeDetection());
  EXPECT_EQ(table.DataFile().BufferCount(), 0u);
  EXPECT_EQ(RecordIDOf(table, 1), 2);
  EXPECT_FALSE(table.PerformChangeDetection());

  // A cache miss notices the change by itself: the read lock it takes runs the detection.
  table.FreeBuffers(false, false, false);
  child.Send('w');
  ASSERT_EQ(child.Receive(), 'd');
  EXPECT_EQ(RecordIDOf(table, 1), 0);
  ASSERT_NE(table.DataTableLocks(), nullptr);
  EXPECT_TRUE(table.DataTableLocks()->HasState(lsReadLocked));
  table.ReadUnlockTable();
  EXPECT_EQ(RecordIDOf(table, 1), 3);

  child.Send('q');
  EXPECT_EQ(child.Wait(), 0);
  FDirectory.CloseDataTable(table);
}

// ---- Record, table and semaphore locks ---------------------------------------------------------

TEST_F(DataTableTest, RecordLockHeldElsewhereFailsAfterTheRetries) {
  CreateClosed("Events.dat", EventsParams());
  test::TChildProcess child([&](test::TChannel& channel) {
    TDataSession& session = test::FreshChildSession(FEngine);
    TDataTable& table = OpenDirectory(session).OpenDataTable("Events.dat", "", false, false);
    if (!table.LockRecord(5)) return 1;
    channel.Send('l');
    if (channel.Receive() != 'u') return 2;
    table.UnlockRecord(5);
    channel.Send('u');
    channel.Receive();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'l');
  TDataTable& table = Open("Events.dat", false);

  test::TFaultInjectingFiles counting;
  FEngine.SetHostFiles(&counting);
  FSession.SetStrictChangeDetection(true);
  EXPECT_EQ(EngineErrorCode([&] { table.LockRecord(5); }), CAIRN_RECLOCKFAILED);
  EXPECT_EQ(counting.Calls(test::TFileOp::Lock), 3) << "one try and the session's 2 retries";
  FSession.SetStrictChangeDetection(false);
  EXPECT_EQ(EngineErrorCode([&] { table.LockRecord(5); }), CAIRN_RECLOCKFAILED);
  EXPECT_EQ(table.DataTableLocks()->LockStates(), 0) << "the read lock went with each try";
  EXPECT_EQ(EngineErrorCode([&] { table.LockTable(); }), CAIRN_LOCKED);
  FEngine.SetHostFiles(nullptr);

  EXPECT_TRUE(table.LockRecord(4));
  EXPECT_TRUE(table.RecordLocked(4));
  EXPECT_EQ(table.DataTableLocks()->LockStates(), 0);

  child.Send('u');
  ASSERT_EQ(child.Receive(), 'u');
  EXPECT_TRUE(table.LockRecord(5));
  child.Send('q');
  EXPECT_EQ(child.Wait(), 0);
  FDirectory.CloseDataTable(table);
}

TEST_F(DataTableTest, LockRulesOfOneTableObject) {
  CreateClosed("Events.dat", EventsParams());
  TDataTable& table = Open("Events.dat", false);
  EXPECT_EQ(EngineErrorCode([&] { table.LockRecord(0); }), CAIRN_RECLOCKFAILED);
  EXPECT_TRUE(table.LockRecord(9000));  // beyond the first 8192 bits of the bitmap
  EXPECT_EQ(EngineErrorCode([&] { table.LockRecord(9000); }), CAIRN_RECLOCKFAILED);
  EXPECT_EQ(EngineErrorCode([&] { table.LockTable(); }), CAIRN_LOCKED);
  table.UnlockRecord(9000);
  EXPECT_FALSE(table.RecordLocked(9000));

  table.LockTable();
  EXPECT_TRUE(table.TableLocked());
  EXPECT_FALSE(table.LockRecord(1));
  EXPECT_EQ(EngineErrorCode([&] { table.LockTable(); }), CAIRN_LOCKED);

  // Another session of this process on the same table is kept out like another process.
  TDataSession& other = FEngine.StartDataSession();
  other.SetLockRetries(0);
  TDataDirectory& directory = OpenDirectory(other);
  TDataTable& rival = directory.OpenDataTable("Events.dat", "", false, false);
  EXPECT_NE(&rival, &table);
  EXPECT_EQ(EngineErrorCode([&] { rival.LockRecord(1); }), CAIRN_RECLOCKFAILED);
  table.UnlockTable();
  EXPECT_TRUE(rival.LockRecord(1));

  EXPECT_TRUE(table.LockSemaphore(3));
  EXPECT_FALSE(table.LockSemaphore(3));
  EXPECT_FALSE(rival.LockSemaphore(3));
  EXPECT_FALSE(table.LockSemaphore(0));
  EXPECT_FALSE(table.LockSemaphore(1025));
  table.UnlockSemaphore(3);
  EXPECT_TRUE(rival.LockSemaphore(3));

  // Closing gives back whatever the table still holds.
  directory.CloseDataTable(rival);
  EXPECT_TRUE(table.LockRecord(1));
  EXPECT_TRUE(table.LockSemaphore(3));
  FDirectory.CloseDataTable(table);
}

}  // namespace
}  // namespace cairn
