// A car body lying on flat ground: its corners, and the push, shift and
// drag that hold it out of the ground, worked out by hand.
#include "engine/body_ground_contact.h"

#include <gtest/gtest.h>

#include <cmath>

#include "expect_vec.h"

namespace {

constexpr double kUnits = 100.0;  // scene units per metre
constexpr double kMass = 1000.0;
constexpr double kWeight = kMass * 9.81;
const Vec3 kSize(200, 150, 400);
// Roof corners well above the body's bottom: only the four bottom corners
// of the box can touch.
const Vec3 kRoof[4] = {Vec3(-80, 75, 100), Vec3(80, 75, 100), Vec3(-80, 75, -100), Vec3(80, 75, -100)};

BodyMotion Body(double height, const Vec3& velocity = Vec3()) {
  BodyMotion b;
  b.frame.off = Vec3(0, height, 0);
  b.velocity = velocity;
  b.mass = kMass;
  b.weight = kWeight;
  b.unitsPerMetre = kUnits;
  b.dt = 0.001;
  return b;
}

// Flat ground at height 0 under every corner.
BodyGroundPush OnFlatGround(const BodyMotion& b) {
  Vec3 corners[kBodyCorners], normals[kBodyCorners];
  double offsets[kBodyCorners];
  BodyCornerPoints(b.frame, kSize, kRoof, corners);
  for (int i = 0; i < kBodyCorners; ++i) {
    normals[i] = Vec3(0, 1, 0);
    offsets[i] = 0.0;
  }
  return BodyGroundResponse(b, corners, normals, offsets);
}

TEST(BodyGroundContactTest, CornersOfTheBodyBox) {
  AxisFrame f;
  f.off = Vec3(5, 100, -7);
  Vec3 c[kBodyCorners];
  BodyCornerPoints(f, kSize, kRoof, c);
  ExpectVec(c[0], Vec3(-95, 25, 193), 1e-9);
  ExpectVec(c[2], Vec3(-75, 175, 93), 1e-9);  // roof corner 0
  ExpectVec(c[4], Vec3(105, 175, 193), 1e-9);
  ExpectVec(c[11], Vec3(105, 25, -207), 1e-9);
}

// The bottom 3 cm deep (under 5 cm): each of the four bottom corners takes a
// quarter of ten times the weight, and the body is lifted by the depth.
// 5 cm deep and sinking at 2 m/s, a fifth of what stops the sinking within
// the step joins in. A body above the ground is left alone.
TEST(BodyGroundContactTest, BottomCornersHoldTheBodyUp) {
  struct Case {
    const char* name;
    double height;    // of the body centre, scene units
    double sinking;   // m/s
    int contacts;
    double force;     // N per corner
    double lift;      // m
  } cases[] = {
      {"3 cm deep", 72.0, 0.0, 4, 10.0 * kWeight / 4, 0.03},
      {"on the ground", 75.0, 0.0, 4, 10.0 * kWeight / 4, 0.0},
      {"5 cm deep and sinking", 70.0, 2.0, 4, 10.0 * (kMass / 0.001 * 2.0 * 0.2 + kWeight) / 4, 0.05},
      {"above the ground", 76.0, 2.0, 0, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BodyGroundPush p = OnFlatGround(Body(c.height, Vec3(0, -c.sinking, 0)));
    ASSERT_EQ(p.contacts, c.contacts);
    if (c.contacts == 0) continue;
    for (int j = 0; j < p.contacts; ++j) {
      ExpectVec(p.forces[j], Vec3(0, c.force, 0), 1e-6);
      EXPECT_NEAR(p.points[j].y, c.height - 75.0, 1e-12);
    }
    ExpectVec(p.shift, Vec3(0, c.lift, 0), 1e-12);
    // The drag opposes the sliding body with half its weight.
    ExpectVec(p.drag, Vec3(0, c.sinking > 0.0 ? 0.5 * kWeight : 0.0, 0), 1e-9);
  }
}

// A body resting on the ground while sliding along x at 3 m/s is dragged
// back along -x.
TEST(BodyGroundContactTest, DragOpposesTheSlide) {
  const BodyGroundPush p = OnFlatGround(Body(74.0, Vec3(3, 0, 0)));
  ASSERT_EQ(p.contacts, 4);
  ExpectVec(p.drag, Vec3(-0.5 * kWeight, 0, 0), 1e-9);
}

}  // namespace
