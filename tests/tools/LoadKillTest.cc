// `cairn load` killed (SIGKILL) at random moments, again and again, each time with a new file of
// rows. A load holds the table exclusively and writes its rows at the close, so a kill loses the
// rows of that load, or, during the close, leaves part of them. After each kill the table either
// checks sound or repair makes it sound, and no row of a load that completed is lost.
//
// CTest kills 4 loads; scripts/stress.sh kills 50 (CAIRN_LOAD_KILLS).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnField.h"
#include "tests/access/LoadTable.h"
#include "tests/support/ComponentLayerTest.h"
#include "tests/tools/ToolRun.h"

extern char** environ;

namespace cairn::test {
namespace {

constexpr int kRowsPerLoad = 400;

std::string CsvCell(const std::string& text) {
  std::string cell = "\"";
  for (char c : text) cell += c == '"' ? std::string("\"\"") : std::string(1, c);
  return cell + "\"";
}

void WriteLoadFile(const std::string& path, int load) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "Writer,Seq,Name,Note\r\n";
  for (int seq = 0; seq < kRowsPerLoad; ++seq) {
    out << load << "," << seq << "," << LoadName(load, seq) << "," << CsvCell(LoadNote(load, seq))
        << "\r\n";
  }
}

// Starts `cairn load`, kills it after delayMs unless it ended before; its exit status, or -1
// when it was killed.
int LoadAndKill(const std::string& directory, const std::string& file, int delayMs) {
  const std::vector<std::string> args = {CAIRN_TOOL, "load", directory, kLoadTable, file};
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, CAIRN_TOOL, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -2;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(1000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LoadKillTest : public ComponentLayerTest {};

TEST_F(LoadKillTest, KilledLoadLosesNoRowOfACompletedLoad) {
  const int kills = SizeFromEnvironment("CAIRN_LOAD_KILLS", 4);
  std::mt19937 random(static_cast<unsigned>(SizeFromEnvironment("CAIRN_KILL_SEED", 1)));
  const std::string directory = Temp.File("db");
  ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
  {
    TLoadConnection connection(directory, true);
    CreateLoadTable(connection.table);
  }
  FinalizeComponentLayer();
  const std::string file = Temp.File("rows.csv");

  // How long a whole load takes here, so that the kills spread over all of it.
  WriteLoadFile(file, 0);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(LoadAndKill(directory, file, 600000), 0);
  const int fullMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - started)
                                          .count());
  std::set<int> completed = {0};
  int killed = 0, partial = 0, unopened = 0, repaired = 0;
  std::set<std::pair<int, int>> tornOfKilled;
  for (int load = 1; load <= kills; ++load) {
    SCOPED_TRACE("load " + std::to_string(load));
    WriteLoadFile(file, load);
    const int status = LoadAndKill(directory, file, static_cast<int>(random() % (fullMs + 1)));
    if (status == 0) completed.insert(load);
    if (status == -1) ++killed;
    ASSERT_TRUE(status == 0 || status == -1) << "cairn load ended with " << status;

    TLoadRows rows = ReadLoadRows(directory);
    if (!rows.Opened) ++unopened;
    if (!CheckLoadTable(directory).empty() || !rows.Opened) {
      EXPECT_FALSE(RepairLoadTable(directory).empty());
      const TCheckFindings after = CheckLoadTable(directory);
      EXPECT_TRUE(after.empty()) << after.front().ToString();
      ++repaired;
      rows = ReadLoadRows(directory);
      ASSERT_TRUE(rows.Opened) << rows.OpenError;
    }
    // Every row of a completed load is there and whole. A load killed while it closed may have
    // left part of its rows, some of them without their memo (its blocks never reached the file).
    for (int done : completed) {
      for (int seq = 0; seq < kRowsPerLoad; ++seq) {
        ASSERT_TRUE(rows.Keys.count({done, seq})) << "row " << done << "/" << seq << " lost";
        EXPECT_FALSE(rows.Torn.count({done, seq})) << "row " << done << "/" << seq << " torn";
      }
    }
    for (const auto& key : rows.Torn) tornOfKilled.insert(key);
    int ofThisLoad = 0;
    for (const auto& key : rows.Keys) ofThisLoad += key.first == load;
    if (status == -1 && ofThisLoad > 0) ++partial;
  }
  std::fprintf(stderr,
               "%d loads of %d rows (a whole load takes %d ms): %d killed, %d of them left part "
               "of their rows (%d rows without their memo); %d kills left a table that did not "
               "open, %d needed repair\n",
               kills, kRowsPerLoad, fullMs, killed, partial, static_cast<int>(tornOfKilled.size()),
               unopened, repaired);
}

}  // namespace
}  // namespace cairn::test
