// Loads the fuzzer's bytes as a CSV file into an empty EventsArchi table, the way `cairn load`
// does: the loader reads the header and converts every row, then appends them. Refusals of the
// file (CSV, value and tool errors) and engine or database errors are expected answers; anything
// else is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnTable.h"
#include "cairn/error/EngineError.h"
#include "fuzz/FuzzDirectory.h"
#include "fuzz/SoundTable.h"
#include "generator/TableGenerator.h"
#include "generator/TableSchemas.h"
#include "tools/cairn/CsvLoader.h"
#include "tools/cairn/CsvReader.h"
#include "tools/cairn/ExitCodes.h"
#include "tools/cairn/ValueText.h"

namespace {

using namespace cairn;
using namespace cairn::fuzz;

constexpr const char* kTable = "EventsArchi";
TTableFiles gEmpty;

std::string TablePath(const char* extension) {
  return FuzzDirectory() + "/" + kTable + extension;
}

void Load(std::string_view text) {
  TCairnDatabase database;
  database.SetDatabaseName("Fuzzed");
  database.SetDirectory(FuzzDirectory());
  TCairnTable table;
  table.SetDatabaseName("Fuzzed");
  table.SetTableName(kTable);
  table.SetExclusive(true);
  table.Open();
  tools::TCsvLoader loader(table, text, "fuzzed.csv");
  loader.Check([](const std::string&) {});
  loader.Write([](int64_t) {});
  table.Close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FinalizeComponentLayer();
  {
    TCairnDatabase database;
    database.SetDatabaseName("Empty");
    database.SetDirectory(FuzzDirectory());
    TCairnTable table;
    table.SetDatabaseName("Empty");
    table.SetTableName(kTable);
    kalvora::GenerateTable(table, kalvora::EventsArchiSchema());
  }
  FinalizeComponentLayer();
  gEmpty = {ReadFileBytes(TablePath(".dat")), ReadFileBytes(TablePath(".idx")),
            ReadFileBytes(TablePath(".blb"))};
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFileBytes(TablePath(".dat"), gEmpty.Data);
  WriteFileBytes(TablePath(".idx"), gEmpty.Index);
  WriteFileBytes(TablePath(".blb"), gEmpty.Blob);
  FinalizeComponentLayer();
  try {
    Load(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const tools::ECsvError&) {
  } catch (const tools::EValueError&) {
  } catch (const tools::EToolError&) {
  } catch (const EDatabaseError&) {
  }
  FinalizeComponentLayer();
  return 0;
}
