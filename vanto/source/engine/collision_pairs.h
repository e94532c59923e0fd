// The broad phase of the collision loop: which later bodies a body may touch
// at all. Bodies sit in a grid over the ground plane (x, y) whose cells are
// as wide as the two largest bounding circles together, so a pair whose
// centres lie closer than their radii together is always in neighbouring
// cells. The candidates come in ascending order, so the loop visits the
// pairs it keeps in the order of the all-pairs loop and its results stay the
// same; the pairs it drops are those the pair test throws out on the
// bounding circles first. Of the neighbours in those cells it drops the
// ones whose circles stand apart by more than rounding could hide, so the
// pair test never has to reach for their records.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/vmath.h"

class CollisionPairs {
 public:
  // n bodies: centres (z up), bounding radii in the centres' unit, and
  // whether the body takes part. Only lengths are compared, so any one unit
  // serves. A body whose centre or radius no grid can place (not a
  // number, infinite, far out) is a candidate for every other.
  void Build(const Vec3* centres, const double* radii, const char* taking, int32 n);

  // The bodies j > i that take part and may touch i, in ascending order.
  const std::vector<int32>& Partners(int32 i);

 private:
  struct Entry {
    std::int64_t cx, cy;
    int32 body;
    bool operator<(const Entry& o) const {
      return cx != o.cx ? cx < o.cx : (cy != o.cy ? cy < o.cy : body < o.body);
    }
  };
  // An occupied cell: its entries [begin, end), and for the columns cx - 1,
  // cx and cx + 1 the index of the first cell there at or above row cy - 1.
  struct Cell {
    std::int64_t cx, cy;
    int32 begin, end;
    int32 column[3];
  };
  std::vector<Entry> entries_;       // the placed bodies by cell
  std::vector<Cell> cells_;          // the occupied cells, in the entries' order
  std::vector<int32> cellOf_;        // a placed body's cell
  std::vector<std::int64_t> cellX_, cellY_;
  std::vector<char> placed_, taking_;
  std::vector<char> wasPlaced_;      // placed_ of the last Build
  std::vector<double> x_, y_, r_;    // centres and radii of the placed bodies
  std::vector<int32> everywhere_;    // taking part, placed nowhere
  std::vector<int32> partners_;
};
