// The four-vector frame: a point through a frame and back, products, the
// inverse of a singular frame, and normalising the zero vector.
#include "engine/axis_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "expect_vec.h"

namespace {

// Turned a quarter round y (x goes to z, z to -x) and moved to (10, 20, 30).
AxisFrame Turned() {
  AxisFrame f;
  f.off = Vec3(10, 20, 30);
  f.v1 = Vec3(0, 0, 1);
  f.v3 = Vec3(-1, 0, 0);
  return f;
}

TEST(AxisFrameTest, PointsGoThroughAndBack) {
  const AxisFrame f = Turned();
  ExpectVec(FrameDirection(f, Vec3(1, 2, 3)), Vec3(-3, 2, 1));
  ExpectVec(FramePoint(f, Vec3(1, 2, 3)), Vec3(7, 22, 31));
  const AxisFrame inv = InvertFrame(f);
  ExpectVec(FramePoint(inv, Vec3(7, 22, 31)), Vec3(1, 2, 3));
  const AxisFrame one = MulFrames(f, inv);
  ExpectVec(one.off, Vec3());
  ExpectVec(one.v1, Vec3(1, 0, 0));
  ExpectVec(one.v2, Vec3(0, 1, 0));
  ExpectVec(one.v3, Vec3(0, 0, 1));
  // A scaled frame inverts to the reciprocal scale.
  AxisFrame scaled;
  scaled.v2 = Vec3(0, 4, 0);
  ExpectVec(FramePoint(InvertFrame(scaled), Vec3(0, 8, 0)), Vec3(0, 2, 0));
}

TEST(AxisFrameTest, SingularFramesInvertToTheIdentity) {
  AxisFrame flat = Turned();
  flat.v2 = Vec3();
  EXPECT_EQ(InvertFrame(flat), AxisFrame());
  AxisFrame broken = Turned();
  broken.v1.x = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(InvertFrame(broken), AxisFrame());
}

TEST(AxisFrameTest, NormalisedKeepsZeroAtZero) {
  ExpectVec(axes::Normalized(Vec3(3, 0, 4)), Vec3(0.6, 0, 0.8));
  EXPECT_EQ(axes::Normalized(Vec3()), Vec3());
}

}  // namespace
