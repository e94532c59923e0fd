// Sorting pairs by key: the basic order, short and missing arrays, every pair
// travelling whole, equal and negative keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "scene_build/pair_sort.h"

namespace {

TEST(SortRealPairs, SortsByKey) {
  RealPair p[] = {{5, 3.0}, {6, 1.0}, {7, 2.0}};
  SortRealPairs(p, 3);
  EXPECT_EQ(p[0].value, 6);
  EXPECT_EQ(p[1].value, 7);
  EXPECT_EQ(p[2].value, 5);
  // Counts of 0, 1 or below leave the array alone.
  RealPair q[] = {{1, 9.0}, {2, 1.0}};
  for (LONG n : {0, 1, -5}) {
    SortRealPairs(q, n);
    EXPECT_EQ(q[0].value, 1);
  }
  SortRealPairs(nullptr, 4);
}

TEST(PairSort, KeepsPairsWholeAcrossEqualAndNegativeKeys) {
  // value = 10 * key + tag, so a pair torn apart shows at once.
  std::vector<RealPair> pairs = {{32, 3}, {-21, -2}, {11, 1}, {-20, -2}, {0, 0}, {31, 3}, {12, 1}, {-5, -0.5}};
  const std::vector<RealPair> before = pairs;
  SortRealPairs(pairs.data(), static_cast<LONG>(pairs.size()));
  for (size_t i = 0; i < pairs.size(); ++i) {
    SCOPED_TRACE(i);
    const double tag = pairs[i].value - 10.0 * pairs[i].key;
    EXPECT_TRUE(tag >= -1.0 && tag <= 2.0);  // the value still belongs to its key
    if (i > 0) {
      EXPECT_LE(pairs[i - 1].key, pairs[i].key);
    }
  }
  // The same pairs, only reordered.
  auto byValue = [](const RealPair& a, const RealPair& b) { return a.value < b.value; };
  std::vector<RealPair> a = before, b = pairs;
  std::sort(a.begin(), a.end(), byValue);
  std::sort(b.begin(), b.end(), byValue);
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].key, b[i].key);
}

TEST(PairSort, SortedAndReversedRuns) {
  for (bool reversed : {false, true}) {
    SCOPED_TRACE(reversed);
    std::vector<RealPair> pairs;
    for (int i = 0; i < 50; ++i) {
      const double k = reversed ? 49 - i : i;
      pairs.push_back({k * 2.0, k});
    }
    SortRealPairs(pairs.data(), 50);
    for (int i = 0; i < 50; ++i) {
      EXPECT_EQ(pairs[i].key, i);
      EXPECT_EQ(pairs[i].value, 2.0 * i);
    }
  }
}

}  // namespace
