// The bytes the engine writes for a fixed set of rows, compared with a stored digest: a change to
// the engine that is meant to make it faster must not change a single byte on disk.
//
// Two tables are written through the component layer: Contacts with the generator's schema (one
// exclusive table filled through AppendRecord, so blocks reach the disk by eviction and close),
// and a small shared table with a string index, a memo and a blob (filled through Insert / Post,
// so every record is flushed at once). Everything the rows hold comes from one xorshift64
// sequence; the only bytes that may differ between runs are the data header's last-update time.
//
// When a change alters the stored bytes on purpose, the test prints the new digest; put it in
// kExpectedDigest only after checking why the bytes changed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnTable.h"
#include "cairn/crypto/Md5.h"
#include "generator/TableGenerator.h"
#include "generator/TableSchemas.h"
#include "tests/access/DatabaseTableTest.h"
#include "tests/support/DiskFiles.h"

namespace kalvora {
namespace {

namespace fs = std::filesystem;
using namespace cairn;

constexpr const char* kExpectedDigest = "a462d0405e250435947b989a70f828e8";

class TXorShift {
 public:
  uint64_t Next() {
    FState ^= FState << 13;
    FState ^= FState >> 7;
    FState ^= FState << 17;
    return FState;
  }
  // Lower-case letters, length in [minLength, maxLength].
  std::string Word(int minLength, int maxLength) {
    std::string word(minLength + Next() % (maxLength - minLength + 1), ' ');
    for (char& c : word) c = static_cast<char>('a' + Next() % 26);
    return word;
  }
  std::string Guid() {
    static const char* const hex = "0123456789ABCDEF";
    std::string guid = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    for (char& c : guid)
      if (c == 'X') c = hex[Next() % 16];
    return guid;
  }

 private:
  uint64_t FState = 88172645463325252ull;
};

// The digest of every file of the directory, in name order, with the name; the data files'
// last-update time (the date-time at header bytes 63 to 70) is left out.
std::string DirectoryDigest(const fs::path& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(directory))
    files[entry.path().filename().string()] = test::ReadDiskFile(entry.path());
  std::string all;
  for (auto& [name, bytes] : files) {
    if (name.ends_with(".dat") && bytes.size() >= 71) bytes.replace(63, 8, 8, '\0');
    all += name + '\0' + std::to_string(bytes.size()) + '\0' + bytes;
  }
  const TMD5Digest digest = MD5Digest(all);
  std::string text;
  char hex[3];
  for (uint8_t byte : digest.Bytes) {
    std::snprintf(hex, sizeof hex, "%02x", byte);
    text += hex;
  }
  return text;
}

class StoredBytesTest : public test::DatabaseTableTest {
 protected:
  // Contacts rows as the benchmark writes them: the GUID and the twelve indexed text fields,
  // plus a date-time and a date so that those encodings are covered as well.
  void WriteContacts(TXorShift& random, int rows) {
    const TTableSchema& schema = ContactsSchema();
    auto table = NewTable(schema.TableName);
    ASSERT_TRUE(GenerateTable(*table, schema));
    std::map<std::string, size_t> position;
    for (size_t i = 0; i < schema.Fields.size(); ++i) position[schema.Fields[i].Name] = i;
    table->Open();
    for (int row = 0; row < rows; ++row) {
      std::vector<TCairnValue> values(schema.Fields.size(), TUnassigned{});
      values[position.at("ContactID")] = random.Guid();
      for (size_t i = 1; i < schema.Indexes.size(); ++i)
        values[position.at(schema.Indexes[i].Fields)] = random.Word(6, 15);
      values[position.at("CreatedOn")] = TDateTimeValue{40000.0 + (random.Next() % 100000) / 7.0};
      values[position.at("Birthday")] = TDateTimeValue{static_cast<double>(random.Next() % 40000)};
      table->AppendRecord(values);
    }
    table->Close();
  }

  // A shared table: a string index, an integer, a memo of 0 to 3000 characters and, for every
  // third row, a blob of binary bytes.
  void WriteNotes(TXorShift& random, int rows) {
    auto table = NewTable("Notes");
    table->FieldDefs().Add("Name", ftString, 15);
    table->FieldDefs().Add("Nr", ftInteger);
    table->FieldDefs().Add("Text", ftMemo);
    table->FieldDefs().Add("Data", ftBlob);
    table->IndexDefs().Add("ByName", "Name", {ixCaseInsensitive});
    test::Create(*table);
    table->Open();
    for (int row = 0; row < rows; ++row) {
      table->Insert();
      table->FieldByName("Name").SetAsString(random.Word(6, 15));
      table->FieldByName("Nr").SetAsInteger(static_cast<int32_t>(random.Next()));
      const size_t memoLength = random.Next() % 3001;
      if (memoLength > 0)
        table->FieldByName("Text").SetAsString(random.Word(memoLength, memoLength));
      if (row % 3 == 0) {
        std::string bytes(random.Next() % 1500, '\0');
        for (char& c : bytes) c = static_cast<char>(random.Next());
        table->FieldByName("Data").SetAsString(bytes);
      }
      table->Post();
    }
    table->Close();
  }

  std::unique_ptr<TCairnDatabase> db;
};

TEST_F(StoredBytesTest, FixedRowsGiveTheStoredBytes) {
  TXorShift random;
  WriteContacts(random, 400);
  WriteNotes(random, 150);
  db.reset();
  FinalizeComponentLayer();
  const std::string digest = DirectoryDigest(Temp.Path());
  EXPECT_EQ(digest, kExpectedDigest) << "the engine now writes other bytes for the same rows";
}

}  // namespace
}  // namespace kalvora
