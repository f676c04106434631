// Processes sharing one table: K writers append N rows each while readers walk every index over
// and over. Afterwards the table holds exactly K x N rows, every index names each of them once and
// in order, and no reader met a torn row, a row out of order, a row that vanished, or an engine
// error other than a lock timeout (which it retried).
//
// CTest runs 4 writers x 30 rows; scripts/stress.sh runs the full 4 x 2000
// (CAIRN_CONCURRENCY_WRITERS, CAIRN_CONCURRENCY_ROWS).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnField.h"
#include "tests/access/LoadTable.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentLayerTest.h"

namespace cairn::test {
namespace {

constexpr int kWriterFailed = 3;
constexpr int kReaderSawFault = 4;
constexpr int kReaderEngineError = 5;

using TKey = std::tuple<int, int, std::string>;

// The order an index promises, as a comparable tuple of the current row's fields.
TKey OrderKey(TCairnTable& table, const std::string& index) {
  const int writer = table.FieldByName("Writer").AsInteger();
  const int seq = table.FieldByName("Seq").AsInteger();
  if (index == "ByName") return {0, 0, table.FieldByName("Name").AsString()};
  if (index == "BySeq") return {seq, writer, ""};
  return {writer, seq, ""};
}

// Whether the current row is whole: its name and memo follow from its numbers.
bool RowIsWhole(TCairnTable& table) {
  const int writer = table.FieldByName("Writer").AsInteger();
  const int seq = table.FieldByName("Seq").AsInteger();
  return table.FieldByName("Name").AsString() == LoadName(writer, seq) &&
         table.FieldByName("Note").AsString() == LoadNote(writer, seq);
}

// One walk of an index from first to last: the rows, or a message naming what was wrong.
struct TWalk {
  int Rows = 0;
  std::string Fault;
};

TWalk WalkIndex(TCairnTable& table, const std::string& index) {
  TWalk walk;
  table.SetIndexName(index);
  bool first = true;
  TKey previous;
  for (table.First(); !table.Eof(); table.Next()) {
    if (!RowIsWhole(table)) {
      walk.Fault = "torn row in index '" + index + "'";
      return walk;
    }
    const TKey key = OrderKey(table, index);
    if (!first && !(previous < key)) {
      walk.Fault = "rows out of order in index '" + index + "'";
      return walk;
    }
    previous = key;
    first = false;
    ++walk.Rows;
  }
  return walk;
}

const char* const kIndexes[] = {"", "ByName", "BySeq"};

int Writer(const std::string& directory, int writer, int rows) {
  FinalizeComponentLayer();
  TLoadConnection connection(directory);
  int seq = 0;
  int retries = 0;
  while (seq < rows) {
    try {
      if (!connection.table.Active()) connection.table.Open();
      AppendLoadRow(connection.table, writer, seq);
      ++seq;
    } catch (const ECairnEngineError& error) {
      if (!IsLockTimeout(error)) {
        std::fprintf(stderr, "writer %d, row %d: %s\n", writer, seq, error.what());
        return kWriterFailed;
      }
      ++retries;
    }
  }
  connection.table.Close();
  FinalizeComponentLayer();
  std::fprintf(stderr, "writer %d: %d rows, %d lock timeouts retried\n", writer, rows, retries);
  return 0;
}

int Reader(const std::string& directory, const std::string& stopFile, int reader) {
  FinalizeComponentLayer();
  TLoadConnection connection(directory);
  int passes = 0;
  int retries = 0;
  int seen = 0;
  for (bool last = false; !last;) {
    last = std::filesystem::exists(stopFile);
    try {
      if (!connection.table.Active()) connection.table.Open();
      for (const char* index : kIndexes) {
        const TWalk walk = WalkIndex(connection.table, index);
        if (!walk.Fault.empty() || walk.Rows < seen) {
          std::fprintf(stderr, "reader %d: %s\n", reader,
                       walk.Fault.empty() ? "rows vanished" : walk.Fault.c_str());
          return kReaderSawFault;
        }
        seen = walk.Rows;
      }
      ++passes;
    } catch (const ECairnEngineError& error) {
      if (!IsLockTimeout(error)) {
        std::fprintf(stderr, "reader %d: %s\n", reader, error.what());
        return kReaderEngineError;
      }
      ++retries;
      last = false;
    }
  }
  connection.table.Close();
  FinalizeComponentLayer();
  std::fprintf(stderr, "reader %d: %d passes over 3 indexes, %d lock timeouts retried\n", reader,
               passes, retries);
  return 0;
}

class ConcurrentAppendTest : public ComponentLayerTest {};

TEST_F(ConcurrentAppendTest, WritersAndReadersShareOneTable) {
  const int writers = SizeFromEnvironment("CAIRN_CONCURRENCY_WRITERS", 4);
  const int rows = SizeFromEnvironment("CAIRN_CONCURRENCY_ROWS", 30);
  const int readers = 2;
  {
    TLoadConnection connection(Temp.Path(), true);
    CreateLoadTable(connection.table);
  }
  FinalizeComponentLayer();
  const std::string stopFile = Temp.File("stop");
  const auto started = std::chrono::steady_clock::now();

  std::vector<std::unique_ptr<TChildProcess>> readerProcesses;
  for (int r = 0; r < readers; ++r) {
    readerProcesses.push_back(std::make_unique<TChildProcess>(
        [&, r](TChannel&) { return Reader(Temp.Path(), stopFile, r); }));
  }
  std::vector<std::unique_ptr<TChildProcess>> writerProcesses;
  for (int w = 0; w < writers; ++w) {
    writerProcesses.push_back(std::make_unique<TChildProcess>(
        [&, w](TChannel&) { return Writer(Temp.Path(), w, rows); }));
  }
  for (int w = 0; w < writers; ++w) EXPECT_EQ(writerProcesses[w]->Wait(), 0) << "writer " << w;
  std::FILE* stop = std::fopen(stopFile.c_str(), "w");
  ASSERT_NE(stop, nullptr);
  std::fclose(stop);
  for (int r = 0; r < readers; ++r) EXPECT_EQ(readerProcesses[r]->Wait(), 0) << "reader " << r;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(stderr, "%d writers x %d rows with %d readers: %.1f s\n", writers, rows, readers,
               seconds);

  TLoadConnection connection(Temp.Path(), true);
  connection.table.Open();
  EXPECT_EQ(connection.table.RecordCount(), writers * rows);
  for (const char* index : kIndexes) {
    const TWalk walk = WalkIndex(connection.table, index);
    EXPECT_EQ(walk.Fault, "");
    EXPECT_EQ(walk.Rows, writers * rows) << "index '" << index << "'";
  }
  // Every row once: K x N distinct keys, each one a writer's and a sequence number it wrote.
  std::set<std::pair<int, int>> keys;
  connection.table.SetIndexName("");
  for (connection.table.First(); !connection.table.Eof(); connection.table.Next()) {
    const int writer = connection.table.FieldByName("Writer").AsInteger();
    const int seq = connection.table.FieldByName("Seq").AsInteger();
    EXPECT_TRUE(writer >= 0 && writer < writers && seq >= 0 && seq < rows) << writer << "/" << seq;
    keys.insert({writer, seq});
  }
  EXPECT_EQ(static_cast<int>(keys.size()), writers * rows);
}

}  // namespace
}  // namespace cairn::test
