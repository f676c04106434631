#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cairn/check/TableVerifier.h"
#include "cairn/engine/data/DataHeader.h"
#include "cairn/engine/index/IndexHeader.h"
#include "tests/check/CheckTestSupport.h"

namespace cairn::test {
namespace {

std::string Joined(const TCheckFindings& findings) {
  std::string text;
  for (const TCheckFinding& f : findings) text += f.ToString() + "\n";
  return text;
}

TEST_F(CheckTableTest, SoundTableGivesNoFindingAndStaysByteForByte) {
  BuildStock();
  const std::vector<std::string> files = {"Stock.dat", "Stock.idx", "Stock.blb", "cairn.lck"};
  std::vector<std::vector<char>> before;
  for (const std::string& f : files) before.push_back(ReadBytes(Path(f)));
  ASSERT_GT(before[1].size(), 25088u + 3 * kPageSize);  // trees of several pages

  const TCheckFindings findings = db->CheckTables();
  EXPECT_TRUE(findings.empty()) << Joined(findings);

  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(ReadBytes(Path(files[i])), before[i]) << files[i] << " changed";
  }
}

}  // namespace
}  // namespace cairn::test
