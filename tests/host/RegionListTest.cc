#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "cairn/host/RegionList.h"

namespace cairn::host {
namespace {

// Two locked regions, [100, 110) and [200, 210), and one more lock tried against them.
TEST(RegionListTest, OverlappingLocksFail) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  struct Case {
    int64_t offset;
    int64_t length;
    bool locks;
  };
  const Case cases[] = {
      {100, 1, false},                      // same start
      {100, 10, false},     {95, 5, true},  // ends just below the first region
      {95, 6, false},                       // ends on its first byte
      {109, 1, false},                      // its last byte
      {110, 1, true},                       // starts just after it
      {110, 90, true},                      // fills the gap exactly
      {110, 91, false},     {150, 10, true},
      {0, 1000, false},  // covers both
      {210, 5, true},       {209, 5, false},
      {0, 0, false},  // empty and negative ranges are refused
      {5, -1, false},       {-1, 5, false},
      {kMax - 1, 5, false},  // would run past the largest offset
      {kMax - 5, 5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "lock " << c.offset << " + " << c.length);
    TRegionList list;
    ASSERT_TRUE(list.Lock(100, 10));
    ASSERT_TRUE(list.Lock(200, 10));
    EXPECT_EQ(list.Lock(c.offset, c.length), c.locks);
    EXPECT_EQ(list.Count(), c.locks ? 3u : 2u);
  }
}

TEST(RegionListTest, UnlockMustNameARegionStart) {
  TRegionList list;
  ASSERT_TRUE(list.Lock(200, 10));
  ASSERT_TRUE(list.Lock(100, 10));  // inserted before the first: the list stays sorted
  ASSERT_TRUE(list.Lock(150, 1));
  EXPECT_FALSE(list.Unlock(105));
  EXPECT_FALSE(list.Unlock(110));
  EXPECT_TRUE(list.Unlock(100));
  EXPECT_FALSE(list.Unlock(100));
  EXPECT_EQ(list.Count(), 2u);
  EXPECT_TRUE(list.Lock(100, 50));  // the freed range, up to the next region
  EXPECT_FALSE(list.Lock(140, 20));
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_TRUE(list.Lock(140, 20));
}

TEST(RegionListTest, IsLockedFindsAnyOverlap) {
  TRegionList list;
  ASSERT_TRUE(list.Lock(100, 10));
  ASSERT_TRUE(list.Lock(200, 10));
  struct Case {
    int64_t offset;
    int64_t length;
    bool locked;
  };
  const Case cases[] = {
      {0, 100, false}, {0, 101, true},   {109, 1, true},  {110, 90, false},
      {110, 91, true}, {205, 100, true}, {210, 5, false}, {50, 500, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "range " << c.offset << " + " << c.length);
    EXPECT_EQ(list.IsLocked(c.offset, c.length), c.locked);
  }
}

}  // namespace
}  // namespace cairn::host
