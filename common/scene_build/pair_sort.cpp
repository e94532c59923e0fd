#include "scene_build/pair_sort.h"

LONG SortRealArray2::Compare(void* a, void* b) {
  const double ka = static_cast<const RealPair*>(a)->key;
  const double kb = static_cast<const RealPair*>(b)->key;
  if (kb > ka) return -1;
  if (ka > kb) return 1;
  return 0;
}

void SortRealPairs(RealPair* pairs, LONG count) {
  if (!pairs || count < 2) return;
  SortRealArray2 cmp;
  cmp.Sort(pairs, count, sizeof(RealPair));
}
