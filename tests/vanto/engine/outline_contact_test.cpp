// Outlines meeting outlines, boxes and upright cylinders, and an outline
// pressed in, on small shapes whose answers follow by hand.
#include "engine/outline_contact.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "carsim/polygon_geometry.h"
#include "engine/outline_shape.h"
#include "expect_vec.h"

namespace {

// A 200 x 200 square round the origin, clockwise seen from above (x to the
// right, z up the page).
const Vec3 kSquare[4] = {Vec3(-100, 0, 100), Vec3(100, 0, 100), Vec3(100, 0, -100), Vec3(-100, 0, -100)};
const double kHalf = std::sqrt(0.5);

TEST(OutlineContactTest, PointsInsideASquareOutline) {
  const Vec3 P[5] = {Vec3(0, 0, 0), Vec3(150, 0, 0), Vec3(50, 7, -50), Vec3(-100.5, 0, 0), Vec3(99, 0, 99)};
  int32 list[6] = {};
  Vec3 mean(9, 9, 9);
  ASSERT_EQ(PointsInsideOutline(P, 5, kSquare, 4, list, mean), 3);
  EXPECT_EQ(list[0], 0);
  EXPECT_EQ(list[1], 2);  // the height does not count
  EXPECT_EQ(list[2], 4);
  EXPECT_EQ(list[3], 0);  // the first repeated after the last
  ExpectVec(mean, Vec3((0 + 50 + 99) / 3.0, 7 / 3.0, (0 - 50 + 99) / 3.0));
  // None inside: no list, a zero mean.
  EXPECT_EQ(PointsInsideOutline(P + 1, 1, kSquare, 4, list, mean), 0);
  EXPECT_EQ(mean, Vec3());
}

// Points skipped for lying outside the outline's extent get the answer the
// full winding count gives: on the extent's edges, one step in the last
// place off them, on vertices, and round outlines with nearly flat edges, a
// twice-wound star, far-off and mixed-scale ones and one with a NaN corner.
TEST(OutlineContactTest, PointsOutsideTheExtentAnswerAsTheFullCount) {
  const double nan = std::nan("");
  const std::vector<std::vector<Vec3>> outlines = {
      {kSquare[0], kSquare[1], kSquare[2], kSquare[3]},
      {Vec3(-300, 0, 1e-9), Vec3(300, 0, 0), Vec3(300, 0, -1e-9), Vec3(-300, 0, 0)},  // a sliver
      {Vec3(0, 0, 100), Vec3(59, 0, -81), Vec3(-95, 0, 31), Vec3(95, 0, 31), Vec3(-59, 0, -81)},  // wound twice
      {Vec3(1e7, 0, 1e7), Vec3(1e7 + 3, 0, 1e7 + 1), Vec3(1e7 + 1, 0, 1e7 - 2)},                 // far off
      {Vec3(-1e-6, 0, 0), Vec3(0, 0, 5e5), Vec3(1e-6, 0, 0), Vec3(0, 0, -5e5)},                // thin and tall
      {Vec3(-100, 0, 100), Vec3(nan, 0, 100), Vec3(100, 0, -100), Vec3(-100, 0, -100)},
  };
  for (size_t o = 0; o < outlines.size(); ++o) {
    const std::vector<Vec3>& Q = outlines[o];
    const int32 q = static_cast<int32>(Q.size());
    double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
    for (const Vec3& v : Q)
      if (std::isfinite(v.x)) lo[0] = std::min(lo[0], v.x), hi[0] = std::max(hi[0], v.x);
    for (const Vec3& v : Q) lo[1] = std::min(lo[1], v.z), hi[1] = std::max(hi[1], v.z);
    // Across and along: the extent's ends, one step off each, and points
    // between; every vertex and every edge's middle.
    std::vector<double> xs, zs;
    for (int a = 0; a < 2; ++a) {
      std::vector<double>& c = a == 0 ? xs : zs;
      for (double end : {lo[a], hi[a]})
        for (double toward : {-INFINITY, INFINITY}) c.push_back(end), c.push_back(std::nextafter(end, toward));
      for (int k = 0; k <= 8; ++k) c.push_back(lo[a] + (hi[a] - lo[a]) * (k / 8.0));
      c.push_back(lo[a] - 1.0), c.push_back(hi[a] + 1.0);
    }
    std::vector<Vec3> P;
    for (double x : xs)
      for (double z : zs) P.push_back(Vec3(x, 1, z));
    for (int32 j = 0; j < q; ++j) {
      const Vec3& a = Q[j];
      const Vec3& b = Q[(j + 1) % q];
      P.push_back(a);
      P.push_back(Vec3((a.x + b.x) / 2, 0, (a.z + b.z) / 2));
      for (double dz : {0.0, 1e-9, -1e-9}) P.push_back(Vec3(std::nextafter(a.x, INFINITY), 0, a.z + dz));
    }
    std::vector<int32> list(P.size() + 1), expected;
    Vec3 mean, sum;
    for (size_t i = 0; i < P.size(); ++i)
      if (WindingNumberXZ(Q.data(), q, P[i]) != 0) expected.push_back(static_cast<int32>(i)), sum = axes::Add(sum, P[i]);
    const int32 k = PointsInsideOutline(P.data(), static_cast<int32>(P.size()), Q.data(), q, list.data(), mean);
    ASSERT_EQ(k, static_cast<int32>(expected.size())) << "outline " << o;
    EXPECT_FALSE(expected.empty()) << "outline " << o << " holds no point: the table shows nothing";
    for (int32 i = 0; i < k; ++i) EXPECT_EQ(list[i], expected[i]) << "outline " << o;
    if (k > 0) {
      EXPECT_EQ(mean, axes::Div(sum, k)) << "outline " << o;
    }
  }
}

// PointsInsideOutline against the full winding count of every point, list
// and mean alike; returns how many points are inside.
int32 ExpectAsFullCount(const std::vector<Vec3>& Q, const std::vector<Vec3>& P, const std::string& what) {
  const int32 q = static_cast<int32>(Q.size());
  std::vector<int32> expected;
  Vec3 sum;
  for (size_t i = 0; i < P.size(); ++i)
    if (WindingNumberXZ(Q.data(), q, P[i]) != 0) expected.push_back(static_cast<int32>(i)), sum = axes::Add(sum, P[i]);
  std::vector<int32> list(P.size() + 1, -7);
  Vec3 mean(9, 9, 9);
  const int32 k = PointsInsideOutline(P.data(), static_cast<int32>(P.size()), Q.data(), q, list.data(), mean);
  EXPECT_EQ(std::vector<int32>(list.begin(), list.begin() + std::max(k, 0)), expected) << what;
  if (k > 0) {
    EXPECT_EQ(list[k], list[0]) << what;
    EXPECT_EQ(mean, axes::Div(sum, k)) << what;
  } else {
    EXPECT_EQ(mean, Vec3()) << what;
  }
  return k;
}

// Points close to the outline: on every vertex and one step in the last
// place beside it each way, on each edge's middle, level with each vertex
// just inside and outside, and a grid over the extent and a little past it.
std::vector<Vec3> PointsAround(const std::vector<Vec3>& Q, int across) {
  std::vector<Vec3> P;
  double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
  for (size_t j = 0; j < Q.size(); ++j) {
    const Vec3& a = Q[j];
    const Vec3& b = Q[(j + 1) % Q.size()];
    lo[0] = std::min(lo[0], a.x), hi[0] = std::max(hi[0], a.x);
    lo[1] = std::min(lo[1], a.z), hi[1] = std::max(hi[1], a.z);
    P.push_back(a);
    for (double toward : {-INFINITY, INFINITY}) {
      P.push_back(Vec3(std::nextafter(a.x, toward), 0, a.z));
      P.push_back(Vec3(a.x, 0, std::nextafter(a.z, toward)));
      P.push_back(Vec3(a.x + (toward > 0 ? 0.5 : -0.5), 0, a.z));
    }
    P.push_back(Vec3((a.x + b.x) / 2, 2, (a.z + b.z) / 2));
  }
  for (int ix = -1; ix <= across + 1; ++ix)
    for (int iz = -1; iz <= across + 1; ++iz)
      P.push_back(Vec3(lo[0] + (hi[0] - lo[0]) * ix / across, 0, lo[1] + (hi[1] - lo[1]) * iz / across));
  return P;
}

// Many points against an outline of many vertices go through its edges
// sorted into bands of z; the answer is the full count's wherever the points
// lie (on edges, on vertices, level with them, a step in the last place off
// them) and whatever the outline: a car's sampled body turned to any
// heading and pressed in, a comb whose teeth run up and down in z, a star
// wound twice, outlines with no height, too tall for the bands' scale or
// too thin for it, and ones with a corner or a point that is not finite.
TEST(OutlineContactTest, ManyPointsAgainstALongOutlineAnswerAsTheFullCount) {
  BodyOutlinePlan plan;
  ASSERT_TRUE(PlanBodyOutline(180, 450, plan));
  std::vector<Vec3> body;
  for (int32 k = 0; k < plan.Count(); ++k) body.push_back(BodyOutlinePoint(plan, k));
  const double nan = std::nan("");
  std::vector<std::pair<std::string, std::vector<Vec3>>> outlines;
  for (double heading : {0.0, 0.03, -0.4, 1.5707963267948966, 2.5}) {
    std::vector<Vec3> turned;
    const double c = std::cos(heading), s = std::sin(heading);
    for (size_t k = 0; k < body.size(); ++k) {
      const Vec3& p = body[k];
      // The front and one side pressed in, unevenly.
      const double in = p.z > 200 ? 30.0 + (k % 3) * 7.0 : (p.x > 80 ? 25.0 : 0.0);
      const Vec3 q(p.x - (p.x > 80 ? in : 0.0), 0, p.z - (p.z > 200 ? in : 0.0));
      turned.push_back(Vec3(3000 + q.x * c + q.z * s, 0, -700 - q.x * s + q.z * c));
    }
    outlines.push_back({"body turned " + std::to_string(heading), turned});
  }
  std::vector<Vec3> comb;  // teeth up and down in z: every band holds many edges
  for (int t = 0; t < 60; ++t) comb.push_back(Vec3(t * 10.0, 0, 100)), comb.push_back(Vec3(t * 10.0 + 5, 0, -100));
  comb.push_back(Vec3(600, 0, -150)), comb.push_back(Vec3(-10, 0, -150));
  outlines.push_back({"comb", comb});
  std::vector<Vec3> star;  // wound twice round its middle
  for (int t = 0; t < 40; ++t) {
    const double a = t * 4.0 * 3.141592653589793 / 40, r = t % 2 ? 60.0 : 100.0;
    star.push_back(Vec3(r * std::sin(a), 0, r * std::cos(a)));
  }
  outlines.push_back({"star", star});
  std::vector<Vec3> d;  // an arc to -x closed by one edge down x = 0 across every band
  for (int t = 0; t <= 60; ++t) {
    const double a = t * 3.141592653589793 / 60;
    d.push_back(Vec3(-200 * std::sin(a), 0, -200 * std::cos(a)));
  }
  outlines.push_back({"D", d});
  std::vector<Vec3> flat, tall, thin, holed, far;
  for (int t = 0; t < 30; ++t) {
    flat.push_back(Vec3(t, 0, 5));
    tall.push_back(Vec3(t % 2 ? 1e307 : -1e307, 0, (t < 15 ? 1.0 : -1.0) * 1.7e308 * (t % 15) / 14));
    thin.push_back(Vec3(t < 15 ? t : 29 - t, 0, t < 15 ? 5e-311 : -5e-311));
    holed.push_back(body[t * 4]);
    far.push_back(Vec3(1e9 + body[t * 4].x * 1e-3, 0, -1e9 + body[t * 4].z * 1e-3));
  }
  outlines.push_back({"flat", flat});
  outlines.push_back({"tall", tall});
  outlines.push_back({"thin", thin});
  outlines.push_back({"far", far});
  holed[7].z = nan;
  outlines.push_back({"z not a number", holed});
  holed[7] = Vec3(INFINITY, 0, 10);
  outlines.push_back({"x infinite", holed});
  int32 inside = 0;
  for (const auto& [name, Q] : outlines) {
    std::vector<Vec3> P = PointsAround(Q, 23);
    P.push_back(Vec3(nan, 0, Q[1].z)), P.push_back(Vec3(Q[1].x, 0, nan)), P.push_back(Vec3(INFINITY, 0, Q[1].z));
    inside += ExpectAsFullCount(Q, P, name);
    // Points level with a vertex alone: the band's range has no height.
    for (size_t j = 0; j < Q.size(); j += 5) {
      const Vec3& v = Q[j];
      ExpectAsFullCount(Q, {Vec3(v.x - 1, 0, v.z), v, Vec3(v.x + 1, 0, v.z), Vec3(v.x + 30, 0, v.z)}, name + " level");
    }
    // The first few alone, counted in full, and the points in reverse.
    for (size_t few = 1; few <= 5; ++few) ExpectAsFullCount(Q, std::vector<Vec3>(P.begin(), P.begin() + few), name);
    std::reverse(P.begin(), P.end());
    ExpectAsFullCount(Q, P, name + " reversed");
  }
  EXPECT_GT(inside, 1000);
}

// A long edge down to the origin and a point a hair to its left, just above
// the origin: the two products of its side value round to the same number,
// the side comes out zero, and the full count takes the point for inside
// although it lies outside. Nothing may call it outside for lying beside
// the edges, whether beside the extent or beside the edges of its band.
TEST(OutlineContactTest, PointsWhoseSideRoundsToZeroAnswerAsTheFullCount) {
  const std::vector<Vec3> Q = {Vec3(1e6, 0, 1e6), Vec3(0, 0, 0), Vec3(2e6, 0, 0), Vec3(2e6, 0, 1e6)};
  const std::vector<Vec3> P = {Vec3(-1e-300, 0, 1e-300), Vec3(-1e-300, 0, 2e-300), Vec3(-5e-301, 0, 3e-300),
                               Vec3(1.5e6, 0, 5e5),      Vec3(1.9e6, 0, 2e5),      Vec3(-1, 0, 3e-300)};
  ASSERT_NE(WindingNumberXZ(Q.data(), 4, P[0]), 0);  // the full count's view
  for (size_t few = 1; few <= P.size(); ++few)
    ExpectAsFullCount(Q, std::vector<Vec3>(P.begin(), P.begin() + few), "first " + std::to_string(few));
}

TEST(OutlineContactTest, FootprintsOverlapOnlyByCorners) {
  const Vec3 inside[4] = {Vec3(50, 0, 50), Vec3(300, 0, 50), Vec3(300, 0, -50), Vec3(50, 0, -50)};
  const Vec3 around[4] = {Vec3(-300, 0, 300), Vec3(300, 0, 300), Vec3(300, 0, -300), Vec3(-300, 0, -300)};
  const Vec3 crossing[4] = {Vec3(-20, 0, 300), Vec3(20, 0, 300), Vec3(20, 0, -300), Vec3(-20, 0, -300)};
  EXPECT_EQ(FootprintsOverlap(kSquare, inside), 1);
  EXPECT_EQ(FootprintsOverlap(kSquare, around), 1);
  EXPECT_EQ(FootprintsOverlap(around, kSquare), 1);
  EXPECT_EQ(FootprintsOverlap(kSquare, crossing), 0);
}

// Footprints overlap where the full winding count of a corner says so,
// wherever the corners lie: beside the other footprint, above or below it,
// on its corners and edges or a step in the last place off them, where a
// side value rounds to zero, and against footprints that are slivers, far
// out or not finite.
TEST(OutlineContactTest, FootprintsOverlapAsTheFullCountSays) {
  const double nan = std::nan("");
  auto fullCount = [](const Vec3* a, const Vec3* b) {
    for (int i = 0; i < 4; ++i)
      if (WindingNumberXZ(b, 4, a[i]) != 0 || WindingNumberXZ(a, 4, b[i]) != 0) return 1;
    return 0;
  };
  const std::vector<std::vector<Vec3>> footprints = {
      {kSquare[0], kSquare[1], kSquare[2], kSquare[3]},
      {Vec3(1e6, 0, 1e6), Vec3(0, 0, 0), Vec3(2e6, 0, 0), Vec3(2e6, 0, 1e6)},  // see the test above
      {Vec3(-300, 0, 1e-9), Vec3(300, 0, 0), Vec3(300, 0, -1e-9), Vec3(-300, 0, 0)},
      {Vec3(1e7, 0, 1e7), Vec3(1e7 + 3, 0, 1e7 + 1), Vec3(1e7 + 1, 0, 1e7 - 2), Vec3(1e7, 0, 1e7 - 1)},
      {Vec3(-100, 0, 100), Vec3(nan, 0, 100), Vec3(100, 0, -100), Vec3(-100, 0, -100)},
  };
  int overlapping = 0, apart = 0;
  for (size_t f = 0; f < footprints.size(); ++f) {
    const Vec3* b = footprints[f].data();
    std::vector<Vec3> P = PointsAround(footprints[f], 4);
    // The corner that rounds onto the second footprint's edge, with three
    // far away.
    for (const Vec3& c : {Vec3(-1e-300, 0, 1e-300), Vec3(-1, 0, 3e-300), Vec3(-5e-301, 0, 3e-300)})
      for (const Vec3& far : {Vec3(-1e8, 0, 1e8), Vec3(-1e8, 0, 1e8 + 1), Vec3(-1e8 - 1, 0, 1e8)})
        P.push_back(c), P.push_back(far), P.push_back(far), P.push_back(far);
    for (size_t k = 0; k + 4 <= P.size(); k += 2) {
      const Vec3* a = &P[k];
      const int want = fullCount(a, b);
      EXPECT_EQ(FootprintsOverlap(a, b), want) << "footprint " << f << ", corners from " << k;
      EXPECT_EQ(FootprintsOverlap(b, a), want) << "footprint " << f << ", corners from " << k;
      (want ? overlapping : apart) += 1;
    }
  }
  EXPECT_GT(overlapping, 50);
  EXPECT_GT(apart, 50);
}

TEST(OutlineContactTest, FootprintsMeetByCornersOrCrossingEdges) {
  const Vec3 inside[4] = {Vec3(50, 0, 50), Vec3(300, 0, 50), Vec3(300, 0, -50), Vec3(50, 0, -50)};
  const Vec3 crossing[4] = {Vec3(-20, 0, 300), Vec3(20, 0, 300), Vec3(20, 0, -300), Vec3(-20, 0, -300)};
  const Vec3 beside[4] = {Vec3(120, 0, 300), Vec3(160, 0, 300), Vec3(160, 0, -300), Vec3(120, 0, -300)};
  EXPECT_EQ(FootprintEdgesCross(kSquare, crossing), 1);
  EXPECT_EQ(FootprintEdgesCross(crossing, kSquare), 1);
  EXPECT_EQ(FootprintEdgesCross(kSquare, beside), 0);
  EXPECT_EQ(FootprintsMeet(kSquare, inside), 1);
  EXPECT_EQ(FootprintsMeet(kSquare, crossing), 1);
  EXPECT_EQ(FootprintsMeet(crossing, kSquare), 1);
  EXPECT_EQ(FootprintsMeet(kSquare, beside), 0);
  EXPECT_EQ(FootprintsMeet(beside, kSquare), 0);
}

// Each corner's normal bisects its two edges and points out of the square;
// with a list, only the listed run is written.
TEST(OutlineContactTest, VertexNormalsPointOutward) {
  Vec3 buffer[8];
  for (int i = 0; i < 4; ++i) buffer[i] = kSquare[i];
  const Vec3 up(0, 1, 0);
  OutlineVertexNormals(buffer, up, 4, nullptr, 0);
  ExpectVec(buffer[4], Vec3(-kHalf, 0, kHalf));
  ExpectVec(buffer[5], Vec3(kHalf, 0, kHalf));
  ExpectVec(buffer[6], Vec3(kHalf, 0, -kHalf));
  ExpectVec(buffer[7], Vec3(-kHalf, 0, -kHalf));
  for (int i = 4; i < 8; ++i) buffer[i] = Vec3(7, 7, 7);
  const int32 list[2] = {1, 1};
  OutlineVertexNormals(buffer, up, 4, list, 1);
  ExpectVec(buffer[5], Vec3(kHalf, 0, kHalf));
  EXPECT_EQ(buffer[4], Vec3(7, 7, 7));
  EXPECT_EQ(buffer[6], Vec3(7, 7, 7));
}

// A box 200 wide, 100 high and 200 long round the origin, its corners in
// the order the obstacle cache keeps them. A point traced back against its
// normal leaves through the face it came in by; a point outside crosses no
// face or two and does not count.
TEST(OutlineContactTest, EntryFaceOfABox) {
  const double hx = 100, hy = 50, hz = 100;
  const Vec3 corners[8] = {Vec3(-hx, hy, hz),  Vec3(hx, hy, hz),   Vec3(hx, hy, -hz),  Vec3(-hx, hy, -hz),
                           Vec3(-hx, -hy, hz), Vec3(-hx, -hy, -hz), Vec3(hx, -hy, -hz), Vec3(hx, -hy, hz)};
  const AxisFrame box;
  // Points, then their outward normals.
  const Vec3 buffer[8] = {Vec3(10, 5, -90),   // came in from -z
                          Vec3(-95, -5, 10),  // came in from -x
                          Vec3(20, 3, -150),  // outside, facing the box
                          Vec3(20, 3, -150),  // outside, facing away
                          Vec3(0, 0, 1),      Vec3(1, 0, 0), Vec3(0, 0, 1), Vec3(0, 0, -1)};
  int32 list[5] = {};
  Vec3 mean, normal;
  ASSERT_EQ(FindObstacleEntryFace(buffer, 4, corners, box, list, mean, normal), 2);
  EXPECT_EQ(list[0], 0);
  EXPECT_EQ(list[1], 1);
  ExpectVec(mean, Vec3(-42.5, 0, -40));
  ExpectVec(normal, Vec3(-kHalf, 0, -kHalf));  // the outward axes of the -x and -z faces
  // The face axes come from the box's frame: turned half round y, -z is +z.
  AxisFrame turned;
  turned.v1 = Vec3(-1, 0, 0);
  turned.v3 = Vec3(0, 0, -1);
  const Vec3 first[2] = {buffer[0], buffer[4]};
  ASSERT_EQ(FindObstacleEntryFace(first, 1, corners, turned, list, mean, normal), 1);
  ExpectVec(normal, Vec3(0, 0, 1));
}

// Radius 50 round (100, *, 100): strictly inside counts, the rim does not.
TEST(OutlineContactTest, PointsInsideAnUprightCylinder) {
  const Vec3 buffer[4] = {Vec3(100, 0, 130), Vec3(140, 9, 100), Vec3(100, 0, 150), Vec3(0, 0, 0)};
  int32 list[5] = {};
  Vec3 mean, normal;
  ASSERT_EQ(PointsInsideCylinder(buffer, 4, 50.0, Vec3(100, -500, 100), list, mean, normal), 2);
  EXPECT_EQ(list[0], 0);
  EXPECT_EQ(list[1], 1);
  EXPECT_EQ(list[2], 0);
  ExpectVec(mean, Vec3(120, 4.5, 115));
  ExpectVec(normal, Vec3(kHalf, 0, kHalf));
  EXPECT_EQ(PointsInsideCylinder(buffer + 2, 2, 50.0, Vec3(100, 0, 100), list, mean, normal), 0);
  EXPECT_EQ(normal, Vec3());
}

TEST(OutlineContactTest, CrossedEdgeNormalPointsOutOfTheObstacleEitherWayRound) {
  const Vec3 cw[4] = {Vec3(-200, 0, 390), Vec3(200, 0, 390), Vec3(200, 0, 190), Vec3(-200, 0, 190)};
  const Vec3 ccw[4] = {cw[3], cw[2], cw[1], cw[0]};
  const Vec3 car[1] = {Vec3(0, 0, 200)};
  const int32 list[2] = {0, 0};
  ExpectVec(CrossedEdgeNormal(cw, 4, car, list, 1, Vec3(0, 0, -500)), Vec3(0, 0, -1));
  ExpectVec(CrossedEdgeNormal(ccw, 4, car, list, 1, Vec3(0, 0, -500)), Vec3(0, 0, -1));
  EXPECT_EQ(CrossedEdgeNormal(cw, 4, car, list, 1, Vec3()), Vec3());
}

TEST(OutlineContactTest, PressInTapersToTheNeighbours) {
  const int32 n = 60;
  std::vector<Vec3> points(2 * n);
  for (int32 i = 0; i < n; ++i) points[n + i] = Vec3(i, 0, -i);  // the rest outline
  CollisionOutline o;
  o.deformPoints = points.data();
  o.deformPointCount = n;
  struct Case {
    std::vector<int32> list;
    std::vector<std::pair<int32, double>> moved;  // index, share of the push
  } cases[] = {
      {{5, 6, 7, 8}, {{2, .25}, {3, .5}, {4, .75}, {5, 1}, {8, 1}, {9, .75}, {10, .5}, {11, .25}, {12, 0}, {1, 0}}},
      {{5, 9}, {{5, 1}, {6, .75}, {7, .5}, {8, .75}, {9, 1}, {10, .75}, {4, .75}}},
      // A run that holds index 0 spreads to one rim neighbour only.
      {{0, 1, 2}, {{0, 1}, {2, 1}, {3, .75}, {4, 0}, {59, 0}}},
  };
  for (const Case& c : cases) {
    for (int32 i = 0; i < n; ++i) points[i] = points[n + i];
    PressOutlineIn(o, c.list.data(), static_cast<int32>(c.list.size()), Vec3(2.0, 7.0, -4.0));
    for (auto [i, w] : c.moved) {
      SCOPED_TRACE(i);
      const Vec3& p = points[i];
      const Vec3& rest = points[n + i];
      ExpectVec(Vec3(p.x - rest.x, p.y - rest.y, p.z - rest.z), Vec3(2.0 * w, 0.0, -4.0 * w));
    }
  }
  o.deformPoints = nullptr;
}

// The outer corner of a wheel 10 beyond the square's front edge moves 10
// back along the car's length; a covered corner, or one whose line to the
// centre line crosses no edge, stays.
TEST(OutlineContactTest, WheelCornerOntoTheOutline) {
  Vec3 points[8];
  for (int i = 0; i < 4; ++i) points[i] = points[4 + i] = kSquare[i];
  CollisionOutline o;
  o.deformPoints = points;
  o.deformPointCount = 4;
  const Vec3 axis(0, 0, 2);  // world length axis, not unit: the move scales with it
  Vec3 move(7, 7, 7);
  ASSERT_TRUE(WheelCornerOntoOutline(o, Vec3(50, 0, 110), axis, move));
  ExpectVec(move, Vec3(0, 0, -20));
  move = Vec3(7, 7, 7);
  EXPECT_FALSE(WheelCornerOntoOutline(o, Vec3(50, 0, 50), axis, move));
  EXPECT_FALSE(WheelCornerOntoOutline(o, Vec3(150, 0, 50), axis, move));
  EXPECT_EQ(move, Vec3(7, 7, 7));
  o.deformPoints = nullptr;
}

}  // namespace
