// A small table with records, several indexes and blob values, built through the component
// layer in a temporary directory, and byte-level tools to damage its files.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnTable.h"
#include "cairn/engine/io/Coding.h"
#include "tests/access/DatabaseTableTest.h"

namespace cairn::test {

inline std::vector<char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class CheckTableTest : public DatabaseTableTest {
 protected:
  static constexpr int kRows = 120;
  static constexpr int32_t kPageSize = 1024;
  static constexpr int32_t kBlockSize = 128;

  // Table "Stock": Code (integer, unique index), Name (string 24, case-insensitive index), Price
  // (float, descending index), Notes (memo, 0 ... 600 bytes), Photo (blob, every fifth row).
  // Small pages and blocks give trees of several levels and chains of several blocks.
  void BuildStock(const std::string& tableName = "Stock", const std::string& password = "") {
    auto table = NewTable(tableName);
    table->FieldDefs().Add("Code", ftInteger, 0, true);
    table->FieldDefs().Add("Name", ftString, 24);
    table->FieldDefs().Add("Price", ftFloat);
    table->FieldDefs().Add("Notes", ftMemo);
    table->FieldDefs().Add("Photo", ftBlob);
    table->IndexDefs().Add("ByCode", "Code", {ixUnique});
    table->IndexDefs().Add("ByName", "Name", {ixCaseInsensitive});
    table->IndexDefs().Add("ByPrice", "Price", {ixDescending});
    table->CreateTable(0, 1, 0, !password.empty(), password, "", kPageSize, kBlockSize, 0, "",
                       nullptr, "", "");
    table->SetExclusive(true);
    table->Open();
    for (int row = 0; row < kRows; ++row) {
      table->Insert();
      table->FieldByName("Code").SetAsInteger(1000 + row);
      table->FieldByName("Name").SetAsString("Item " + std::to_string((row * 37) % kRows));
      table->FieldByName("Price").SetAsFloat(row * 1.25 - 20);
      table->FieldByName("Notes").SetAsString(std::string(static_cast<size_t>(row * 5), 'n'));
      if (row % 5 == 0) {
        table->FieldByName("Photo").SetAsString(std::string(300 + row, static_cast<char>(row)));
      }
      table->Post();
    }
    table->Close();
  }

  std::string Path(const std::string& name) const { return Temp.File(name); }
};

}  // namespace cairn::test

namespace cairn::test {

// The Stock table's layout, as the damage cases need it.
struct TStockLayout {
  static constexpr int64_t kHeaderArea = 512 + 768 * 5;
  static constexpr int64_t kRecordLength = 88;
  static constexpr int64_t kNameAt = 30;   // null flag, then 25 bytes
  static constexpr int64_t kNotesAt = 65;  // null flag, first block, signature
  static constexpr int64_t kPhotoAt = 74;
  static constexpr int64_t kIndexPages = 25088;

  static int64_t Slot(int32_t slot) { return kHeaderArea + (slot - 1) * kRecordLength; }
  static int64_t Page(int32_t page) { return kIndexPages + (page - 1) * 1024; }
  static int64_t Block(int32_t block) { return 512 + (block - 1) * 128; }
};

// A file's bytes, changed in place and written back when it goes.
class TFileBytes {
 public:
  explicit TFileBytes(std::string path) : FPath(std::move(path)), FBytes(ReadBytes(FPath)) {}
  ~TFileBytes() { WriteBytes(FPath, FBytes); }
  TFileBytes(const TFileBytes&) = delete;
  TFileBytes& operator=(const TFileBytes&) = delete;

  std::vector<char>& Bytes() { return FBytes; }
  int32_t Int32(int64_t at) const { return DecodeInt32(FBytes.data() + at); }
  void SetInt32(int64_t at, int32_t value) { EncodeInt32(FBytes.data() + at, value); }
  void Flip(int64_t at) { FBytes.at(static_cast<size_t>(at)) ^= 0x5A; }
  void Cut(int64_t size) { FBytes.resize(static_cast<size_t>(size)); }

  // Index files: the root page of a definition slot, and the first leaf below it.
  int32_t Root(int slot) const { return Int32(34 + 4 * slot); }
  int32_t FirstLeaf(int slot, int keySize) const {
    int32_t page = Root(slot);
    while (FBytes[static_cast<size_t>(TStockLayout::Page(page))] < 2) {
      page = Int32(TStockLayout::Page(page) + 13 + keySize);
    }
    return page;
  }

 private:
  std::string FPath;
  std::vector<char> FBytes;
};

}  // namespace cairn::test
