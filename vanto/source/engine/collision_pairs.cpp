#include "engine/collision_pairs.h"

#include <algorithm>
#include <cmath>

namespace {

// Cells are this much wider than two radii: a distance computed with
// rounding never falls short of a coordinate difference by more.
constexpr double kCellMargin = 1e-6;
// Cell numbers beyond this would lose the margin to rounding.
constexpr double kMaxCellNumber = 1e9;

// Two circles this far apart on the ground, squared, keep apart in any
// length the pair test computes: its distance also counts the height and
// rounds by a few units in the last place, far less than the margin, and
// the floor keeps the squares clear of the subnormal numbers, where that
// bound would not hold.
constexpr double kApartMargin = 1e-6;
constexpr double kApartFloor = 1e-200;
inline bool CirclesApart(double dx, double dy, double radii) {
  const double d2 = dx * dx + dy * dy;
  return d2 > radii * radii * (1.0 + kApartMargin) && d2 > kApartFloor;
}

}  // namespace

void CollisionPairs::Build(const Vec3* centres, const double* radii, const char* taking, int32 n) {
  n = std::max<int32>(n, 0);
  // The last step's order is kept when the bodies are the same ones: cars
  // move a little each step, so it is nearly sorted already.
  const bool keepOrder = static_cast<size_t>(n) == placed_.size();
  if (keepOrder) {
    wasPlaced_.swap(placed_);
  } else {
    entries_.clear();
    wasPlaced_.assign(static_cast<size_t>(n), 0);
  }
  everywhere_.clear();
  cellX_.assign(static_cast<size_t>(n), 0);
  cellY_.assign(static_cast<size_t>(n), 0);
  placed_.assign(static_cast<size_t>(n), 0);
  taking_.assign(static_cast<size_t>(n), 0);
  // Read for placed bodies only.
  x_.resize(static_cast<size_t>(n));
  y_.resize(static_cast<size_t>(n));
  r_.resize(static_cast<size_t>(n));

  auto placeable = [&](int32 i) {
    const Vec3& c = centres[i];
    return std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z) && !std::isnan(radii[i]) &&
           radii[i] < HUGE_VAL;
  };
  double largest = 0.0;
  for (int32 i = 0; i < n; ++i) {
    taking_[i] = taking[i] ? 1 : 0;
    if (taking[i] && placeable(i)) largest = std::max(largest, radii[i]);
  }
  const double cell = largest > 0.0 ? 2.0 * largest * (1.0 + kCellMargin) : 1.0;
  for (int32 i = 0; i < n; ++i) {
    if (!taking[i]) continue;
    const double fx = std::floor(centres[i].x / cell), fy = std::floor(centres[i].y / cell);
    if (!placeable(i) || !(std::fabs(fx) < kMaxCellNumber && std::fabs(fy) < kMaxCellNumber)) {
      everywhere_.push_back(i);
      continue;
    }
    placed_[i] = 1;
    x_[i] = centres[i].x;
    y_[i] = centres[i].y;
    r_[i] = radii[i];
    cellX_[i] = static_cast<std::int64_t>(fx);
    cellY_[i] = static_cast<std::int64_t>(fy);
    if (!wasPlaced_[i]) entries_.push_back({cellX_[i], cellY_[i], i});
  }
  // Entries still placed take their new cells, the others leave; then an
  // insertion sort, linear on the nearly sorted order. The order is total
  // (the body breaks ties), so it matches a sort from scratch.
  size_t kept = 0;
  for (const Entry& e : entries_) {
    if (!placed_[e.body]) continue;
    entries_[kept++] = {cellX_[e.body], cellY_[e.body], e.body};
  }
  entries_.resize(kept);
  for (size_t k = 1; k < entries_.size(); ++k) {
    const Entry e = entries_[k];
    size_t m = k;
    for (; m > 0 && e < entries_[m - 1]; --m) entries_[m] = entries_[m - 1];
    entries_[m] = e;
  }
  // The occupied cells in the same order, each with its run of entries and,
  // for the columns left of it, its own and right of it, the first cell of
  // that column from one row below it on. The rows sought rise with the
  // cells, so each column's search only moves forward.
  cells_.clear();
  cellOf_.assign(static_cast<size_t>(n), 0);
  for (size_t k = 0; k < entries_.size(); ++k) {
    const Entry& e = entries_[k];
    if (cells_.empty() || cells_.back().cx != e.cx || cells_.back().cy != e.cy)
      cells_.push_back({e.cx, e.cy, static_cast<int32>(k), 0, {0, 0, 0}});
    cellOf_[e.body] = static_cast<int32>(cells_.size() - 1);
  }
  const int32 cells = static_cast<int32>(cells_.size());
  for (int32 c = 0; c < cells; ++c) cells_[c].end = c + 1 < cells ? cells_[c + 1].begin : static_cast<int32>(kept);
  auto before = [&](int32 at, std::int64_t cx, std::int64_t cy) {
    return at < cells && (cells_[at].cx < cx || (cells_[at].cx == cx && cells_[at].cy < cy));
  };
  int32 left = 0, right = 0;
  for (int32 c = 0; c < cells; ++c) {
    Cell& cell = cells_[c];
    const std::int64_t cy = cell.cy - 1;
    while (before(left, cell.cx - 1, cy)) ++left;
    while (before(right, cell.cx + 1, cy)) ++right;
    cell.column[0] = left;
    // In its own column the row below, if occupied, is the cell before.
    cell.column[1] = c > 0 && cells_[c - 1].cx == cell.cx && cells_[c - 1].cy == cy ? c - 1 : c;
    cell.column[2] = right;
  }
}

const std::vector<int32>& CollisionPairs::Partners(int32 i) {
  partners_.clear();
  if (i < 0 || static_cast<size_t>(i) >= taking_.size() || !taking_[i]) return partners_;
  if (!placed_[i]) {
    // Nothing rules a pair out for a body the grid cannot place.
    for (int32 j = i + 1; j < static_cast<int32>(taking_.size()); ++j)
      if (taking_[j]) partners_.push_back(j);
    return partners_;
  }
  // Three columns of three cells: each a run of the sorted entries.
  const double x = x_[i], y = y_[i], r = r_[i];
  const Cell& home = cells_[cellOf_[i]];
  for (int32 d = 0; d < 3; ++d) {
    const std::int64_t cx = home.cx + d - 1;
    for (int32 c = home.column[d]; c < static_cast<int32>(cells_.size()); ++c) {
      const Cell& cell = cells_[c];
      if (cell.cx != cx || cell.cy > home.cy + 1) break;
      for (int32 k = cell.begin; k < cell.end; ++k) {
        const int32 j = entries_[k].body;
        if (j > i && !CirclesApart(x - x_[j], y - y_[j], r + r_[j])) partners_.push_back(j);
      }
    }
  }
  for (int32 j : everywhere_)
    if (j > i) partners_.push_back(j);
  std::sort(partners_.begin(), partners_.end());
  return partners_;
}
