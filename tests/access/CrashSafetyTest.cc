// A process appending to a shared table is killed (SIGKILL) at random moments, again and again.
// After each kill: the table opens, every row whose post returned before the kill is there and
// whole, at most the one post in flight left more; when the verifier finds anything, it is what
// a post cut short leaves (a record without all its keys, a memo whose blocks never arrived), and
// repair makes the table sound without dropping a row that was posted.
//
// CTest kills 5 times; scripts/stress.sh kills 200 times (CAIRN_KILLS).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnField.h"
#include "tests/access/LoadTable.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ComponentLayerTest.h"

namespace cairn::test {
namespace {

constexpr char kOpened = 'o';
constexpr char kPosted = 'p';
constexpr char kFailed = 'e';

// Appends rows of one writer until killed, telling the parent of each post that returned.
int AppendUntilKilled(TChannel& channel, const std::string& directory, int writer) {
  FinalizeComponentLayer();
  TLoadConnection connection(directory);
  try {
    connection.table.Open();
    channel.Send(kOpened);
    for (int seq = 0;; ++seq) {
      AppendLoadRow(connection.table, writer, seq);
      channel.Send(kPosted);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "writer %d: %s\n", writer, error.what());
    channel.Send(kFailed);
    return 1;
  }
}

// Letters only, so that findings differing in offsets and numbers count as one kind.
std::string Kind(const std::string& text) {
  std::string kind;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) continue;
    kind += c;
  }
  return kind;
}

class CrashSafetyTest : public ComponentLayerTest {};

TEST_F(CrashSafetyTest, KilledWriterLosesNoPostedRow) {
  const int kills = SizeFromEnvironment("CAIRN_KILLS", 5);
  const unsigned seed = static_cast<unsigned>(SizeFromEnvironment("CAIRN_KILL_SEED", 1));
  std::mt19937 random(seed);
  {
    TLoadConnection connection(Temp.Path(), true);
    CreateLoadTable(connection.table);
  }
  FinalizeComponentLayer();

  std::map<int, int> posted;  // writer -> rows whose post returned
  std::map<std::string, int> findingKinds;
  std::map<std::string, int> mendedKinds;
  std::set<std::pair<int, int>> inFlight;      // rows of posts in flight that stayed
  std::set<std::pair<int, int>> tornInFlight;  // of them, those whose memo was lost
  int unopened = 0;
  int repaired = 0;
  for (int writer = 0; writer < kills; ++writer) {
    SCOPED_TRACE("kill " + std::to_string(writer + 1) + ", seed " + std::to_string(seed));
    TChildProcess child(
        [&](TChannel& channel) { return AppendUntilKilled(channel, Temp.Path(), writer); });
    // One kill in eight lands anywhere from the start (opening included), the others while
    // the writer posts.
    bool opened = false;
    if (random() % 8 != 0) {
      ASSERT_EQ(child.Receive(), kOpened) << "the writer did not open the table";
      opened = true;
    }
    usleep(static_cast<useconds_t>(random() % 60000));
    child.Kill();
    int count = 0;
    for (char message = child.Receive(); message != 0; message = child.Receive()) {
      if (message == kOpened && !opened) {
        opened = true;
        continue;
      }
      ASSERT_EQ(message, kPosted) << "the writer failed before it was killed";
      ++count;
    }
    posted[writer] = count;

    TLoadRows rows = ReadLoadRows(Temp.Path());
    if (!rows.Opened) ++unopened;
    EXPECT_TRUE(rows.Opened) << rows.OpenError;
    const TCheckFindings findings = CheckLoadTable(Temp.Path());
    if (!findings.empty()) {
      for (const TCheckFinding& finding : findings) ++findingKinds[Kind(finding.Text)];
      const std::vector<std::string> mended = RepairLoadTable(Temp.Path());
      EXPECT_FALSE(mended.empty());
      for (const std::string& line : mended) ++mendedKinds[Kind(line)];
      const TCheckFindings after = CheckLoadTable(Temp.Path());
      EXPECT_TRUE(after.empty()) << after.front().ToString();
      ++repaired;
      rows = ReadLoadRows(Temp.Path());
      ASSERT_TRUE(rows.Opened) << rows.OpenError;
    }
    // Every posted row is there and whole; beyond them only posts in flight at a kill, this
    // one's at most once. Such a row may have lost its memo: its blocks never reached the file.
    for (const auto& [w, count] : posted) {
      for (int seq = 0; seq < count; ++seq) {
        ASSERT_TRUE(rows.Keys.count({w, seq})) << "posted row " << w << "/" << seq << " lost";
        EXPECT_FALSE(rows.Torn.count({w, seq})) << "posted row " << w << "/" << seq << " torn";
      }
    }
    for (const std::pair<int, int>& key : rows.Keys) {
      if (key.second < posted[key.first]) continue;
      const bool thisPostInFlight = key == std::make_pair(writer, posted[writer]);
      EXPECT_TRUE(thisPostInFlight || inFlight.count(key))
          << "row " << key.first << "/" << key.second << " was never posted";
      if (thisPostInFlight) inFlight.insert(key);
    }
    for (const std::pair<int, int>& key : rows.Torn) tornInFlight.insert(key);
  }
  int total = 0;
  for (const auto& [w, count] : posted) total += count;
  std::fprintf(stderr,
               "%d kills, %d rows posted and all found whole; %d rows of a post in flight stayed "
               "(%d of them without their memo); %d kills left a table that did not open, %d "
               "left findings that repair mended\n",
               kills, total, static_cast<int>(inFlight.size()),
               static_cast<int>(tornInFlight.size()), unopened, repaired);
  for (const auto& [kind, count] : findingKinds)
    std::fprintf(stderr, "  %dx finding: %s\n", count, kind.c_str());
  for (const auto& [kind, count] : mendedKinds)
    std::fprintf(stderr, "  %dx mended: %s\n", count, kind.c_str());
}

}  // namespace
}  // namespace cairn::test
