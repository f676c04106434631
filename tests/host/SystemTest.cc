#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cairn/host/System.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace cairn::host {
namespace {

TEST(SystemTest, PathHelpers) {
  struct Case {
    std::string path;
    std::string folder;
    std::string name;
    std::string ext;
  };
  const Case cases[] = {
      {"/apps/gen/Data/Events.dat", "/apps/gen/Data/", "Events.dat", ".dat"},
      {"/apps/gen/kalvora-dbgen", "/apps/gen/", "kalvora-dbgen", ""},
      {"/apps/v1.2/name", "/apps/v1.2/", "name", ""},
      {"archive.tar.gz", "", "archive.tar.gz", ".gz"},
      {"/apps/", "/apps/", "", ""},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExtractFilePath(c.path), c.folder);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
    EXPECT_EQ(ExtractFileExt(c.path), c.ext);
  }
  EXPECT_EQ(IncludeTrailingDelimiter("/a/b"), "/a/b/");
  EXPECT_EQ(IncludeTrailingDelimiter("/a/b/"), "/a/b/");
  EXPECT_EQ(ExcludeTrailingDelimiter("/a/b/"), "/a/b");
  EXPECT_EQ(ExcludeTrailingDelimiter("/a/b"), "/a/b");
  EXPECT_EQ(TrimBlanks(" \t Data \r\n"), "Data");
  EXPECT_EQ(TrimBlanks("  "), "");
  EXPECT_EQ(TrimBlanks("caf\xE9 "), "caf\xE9");  // bytes above 0x7F are not blanks
}

TEST(SystemTest, Directories) {
  // Whichever test program runs this: the folder's program or the one of this file alone.
  std::string exe = ExecutablePath();
  EXPECT_EQ(exe.front(), '/');
  const std::string started = program_invocation_name;
  EXPECT_EQ(ExtractFileName(exe), ExtractFileName(started));
  if (started.find('/') != std::string::npos) {
    char* startedReal = realpath(started.c_str(), nullptr);
    ASSERT_NE(startedReal, nullptr);
    EXPECT_EQ(exe, startedReal);
    free(startedReal);
  }

  std::string temp = TempDirectory();
  EXPECT_EQ(temp.back(), '/');
  test::TTempDir dir;
  const char* old = getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", dir.Path().c_str(), 1);
  EXPECT_EQ(TempDirectory(), dir.Path() + "/");
  if (old) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }

  std::string cwd = CurrentDirectory();
  ASSERT_EQ(chdir(dir.Path().c_str()), 0);
  std::string inside = CurrentDirectory();
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  // The temporary folder may be reached through a symbolic link; compare real paths.
  char* real = realpath(dir.Path().c_str(), nullptr);
  EXPECT_EQ(inside, real);
  free(real);
}

// "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}", upper-case hex, a random (version 4) GUID.
bool HasGuidForm(const std::string& guid) {
  const std::string pattern = "{hhhhhhhh-hhhh-4hhh-yhhh-hhhhhhhhhhhh}";
  if (guid.size() != pattern.size()) return false;
  for (size_t i = 0; i < guid.size(); ++i) {
    char c = guid[i];
    bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    if (pattern[i] == 'h' && !hex) return false;
    if (pattern[i] == 'y' && std::string("89AB").find(c) == std::string::npos) return false;
    if (pattern[i] != 'h' && pattern[i] != 'y' && c != pattern[i]) return false;
  }
  return true;
}

TEST(SystemTest, GuidsAreNewAndUpperCase) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    std::string guid = NewGuidString();
    EXPECT_TRUE(HasGuidForm(guid)) << guid;
    seen.insert(guid);
  }
  EXPECT_FALSE(HasGuidForm("{1538f157-17B6-46D6-BC08-71726196B994}"));
  EXPECT_EQ(seen.size(), 100u);
}

// GUIDs come from a pool of random bytes: a forked child must not hand out the GUIDs its parent
// will (the pool it inherited), nor the parent those the child made.
TEST(SystemTest, AForkedChildMakesOtherGuidsThanItsParent) {
  const std::string before = NewGuidString();  // the parent's pool is filled
  test::TChildProcess child([](test::TChannel& channel) {
    for (int i = 0; i < 4; ++i) {
      for (char c : NewGuidString()) channel.Send(c);
    }
    channel.Send('\n');
    return 0;
  });
  std::string theirs;
  for (char c = child.Receive(); c != '\n' && c != 0; c = child.Receive()) theirs += c;
  EXPECT_EQ(child.Wait(), 0);
  ASSERT_EQ(theirs.size(), 4 * 38u);
  std::set<std::string> seen{before};
  for (int i = 0; i < 4; ++i) {
    const std::string guid = NewGuidString();
    EXPECT_TRUE(HasGuidForm(guid)) << guid;
    seen.insert(guid);
    seen.insert(theirs.substr(static_cast<size_t>(i) * 38, 38));
  }
  EXPECT_EQ(seen.size(), 9u);
}

TEST(SystemTest, ThreadIdIsTheKernelThreadId) {
  EXPECT_EQ(CurrentThreadId(), static_cast<int64_t>(getpid()));  // the main thread
}

// Draws n slots, checking the range.
std::string Draw(TRandomSlots& slots, int n) {
  std::string drawn;
  for (int i = 0; i < n; ++i) {
    uint16_t s = slots.Next();
    if (s < 1 || s > 65534) return "out of range";
    drawn += std::to_string(s) + " ";
  }
  return drawn;
}

TEST(SystemTest, RandomSlotsDifferBetweenProcesses) {
  TRandomSlots slots;
  std::set<uint16_t> distinct;
  for (int i = 0; i < 20000; ++i) {
    uint16_t s = slots.Next();
    ASSERT_GE(s, 1);
    ASSERT_LE(s, 65534);
    distinct.insert(s);
  }
  EXPECT_GT(distinct.size(), 15000u);  // about 17,500 expected for a uniform choice

  // A forked child inherits this generator's state; a new one there must still differ.
  std::string mine = Draw(slots, 8);
  test::TChildProcess child([](test::TChannel& channel) {
    TRandomSlots fresh;
    for (char c : Draw(fresh, 8)) channel.Send(c);
    channel.Send('\n');
    return 0;
  });
  std::string theirs;
  for (char c = child.Receive(); c != '\n' && c != 0; c = child.Receive()) theirs += c;
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_NE(theirs, "out of range");
  EXPECT_NE(theirs, mine);

  TRandomSlots a, b;
  EXPECT_NE(Draw(a, 8), Draw(b, 8));
  a.Reseed();
  EXPECT_NE(Draw(a, 8), "out of range");
}

// Every slot of 1 ... 65534 equally likely. Slot 1 in particular must not also stand in for a
// drawn 0, which would make it twice as likely as the others.
TEST(SystemTest, RandomSlotsAreUniform) {
  constexpr int kSlots = 65534;
  constexpr int kPerSlot = 100;
  TRandomSlots slots;
  std::vector<int> counts(65536);
  for (int i = 0; i < kSlots * kPerSlot; ++i) ++counts[slots.Next()];
  EXPECT_EQ(counts[0], 0);
  EXPECT_EQ(counts[65535], 0);
  // About 100 +- 10 each; a doubled slot would hold about 200.
  EXPECT_LT(counts[1], 150);
  EXPECT_LT(counts[kSlots], 150);
  // Chi-square over all slots: mean 65533, deviation 362; beyond 6 deviations is no chance.
  double chiSquare = 0;
  for (int s = 1; s <= kSlots; ++s)
    chiSquare += double(counts[s] - kPerSlot) * (counts[s] - kPerSlot);
  chiSquare /= kPerSlot;
  EXPECT_LT(chiSquare, 65533 + 6 * 362);
}

TEST(SystemTest, SleepWaitsAtLeastTheTime) {
  auto start = std::chrono::steady_clock::now();
  SleepMs(3);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3));
}

}  // namespace
}  // namespace cairn::host
