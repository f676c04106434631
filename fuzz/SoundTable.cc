#include "fuzz/SoundTable.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "cairn/access/CairnBlobStream.h"
#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnField.h"
#include "cairn/access/CairnTable.h"
#include "generator/TableGenerator.h"
#include "generator/TableSchemas.h"

namespace cairn::fuzz {

namespace {

// Memo and blob sizes around the 512-byte block: none, a short value, a block less one, a
// block, and chains of several blocks.
constexpr int kValueSizes[kSoundRowCount] = {0, 12, 511, 512, 1500, 4000};

std::string Text(int size, char first) {
  std::string text(static_cast<size_t>(size), ' ');
  for (int i = 0; i < size; ++i) text[static_cast<size_t>(i)] = static_cast<char>(first + i % 26);
  return text;
}

void AddRow(TCairnTable& table, int row) {
  const int size = kValueSizes[row];
  table.Insert();
  table.FieldByName("Caption").SetAsString("Event " + std::to_string(row));
  table.FieldByName("Type").SetAsInteger(row);
  table.FieldByName("Start").SetAsDateTime(46000.25 + row);
  table.FieldByName("Finish").SetAsDateTime(46000.75 + row);
  table.FieldByName("Message").SetAsString(Text(size, 'a'));
  table.FieldByName("Location").SetAsString(row % 2 ? "Room " + std::to_string(row) : "");
  table.FieldByName("gCalSyncSynhronizedField").SetAsBoolean(row % 2 == 0);
  // Descending action times so that the secondary index order differs from the slot order.
  table.FieldByName("ActionDateTime").SetAsDateTime(47000.5 - row);
  table.FieldByName("ActionGUID").SetAsString("action-" + std::to_string(kSoundRowCount - row));
  std::string binary(static_cast<size_t>(size), '\0');
  for (int i = 0; i < size; ++i) binary[static_cast<size_t>(i)] = static_cast<char>(i * 7 + row);
  {
    TCairnBlobStream blob(table.FieldByName("RecurrenceInfo"), bmWrite);
    blob.Write(binary.data(), binary.size());
  }
  table.Post();
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

TTableFiles BuildSoundTable(const std::string& directory) {
  FinalizeComponentLayer();
  {
    TCairnDatabase database;
    database.SetDatabaseName("Sound");
    database.SetDirectory(directory);
    TCairnTable table;
    table.SetDatabaseName("Sound");
    table.SetTableName(kSoundTableName);
    kalvora::GenerateTable(table, kalvora::EventsArchiSchema());
    table.Open();
    for (int row = 0; row < kSoundRowCount; ++row) AddRow(table, row);
    table.Close();
  }
  FinalizeComponentLayer();
  const std::string base = directory + "/" + kSoundTableName;
  return {ReadFileBytes(base + ".dat"), ReadFileBytes(base + ".idx"), ReadFileBytes(base + ".blb")};
}

}  // namespace cairn::fuzz
