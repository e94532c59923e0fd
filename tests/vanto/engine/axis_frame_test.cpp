// The four-vector frame: a point through a frame and back, products, the
// inverse of a singular frame, and normalising the zero vector.
#include "engine/axis_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/engine_globals.h"
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

// Many points at once, in either build, give FramePoint's bits: a rotated,
// scaled frame far from the origin, with points that round differently
// in each sum, a negative zero and values that are not finite.
TEST(AxisFrameTest, ManyPointsGiveEachPointsBits) {
  AxisFrame f;
  f.off = Vec3(1.0e7 + 0.1, -3.3, 2.0e-9);
  f.v1 = Vec3(0.6, 0.1, -0.8);
  f.v2 = Vec3(-0.1, 1.3, 0.7);
  f.v3 = Vec3(0.8, -0.2, 0.6);
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<Vec3> in = {Vec3(1, 2, 3), Vec3(-0.0, 0.0, -0.0), Vec3(1e-300, 1e300, -7.5), Vec3(inf, 1, 2),
                          Vec3(std::nan(""), 0, 0)};
  for (int i = 0; i < 40; ++i) in.push_back(Vec3(0.1 * i - 1.7, 1.0 / (i + 3), -2.9e5 + 13.7 * i));
  for (const bool wide : {true, false}) {
    gEngine.wideRegisters = wide;
    std::vector<Vec3> out(in.size());
    FramePoints(f, in.data(), static_cast<int32>(in.size()), out.data());
    for (size_t i = 0; i < in.size(); ++i) {
      const Vec3 one = FramePoint(f, in[i]);
      EXPECT_EQ(std::memcmp(&one, &out[i], sizeof one), 0) << "point " << i << (wide ? " wide" : " plain");
    }
  }
  ResetEngineGlobals();
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
