// The sort of (value, key) pairs shared by the route table, the engine's
// route speeds and the wheel-rig tag.
#pragma once

#include "host_services.h"

// A (value, key) pair as the sort sees it.
struct RealPair {
  double value;
  double key;
};
static_assert(sizeof(RealPair) == 16);

class SortRealArray2 : public GeSortAndSearch {
 public:
  LONG Compare(void* a, void* b) override;
};

// Sorts count pairs ascending by key; a count below 2 leaves them alone.
void SortRealPairs(RealPair* pairs, LONG count);
