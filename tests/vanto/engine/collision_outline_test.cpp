// The outline record: a copy never shares its buffers, and the zone class
// and nearest point of a small outline.
#include "engine/collision_outline.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/outline_shape.h"

namespace {

TEST(CollisionOutlineTest, ACopyKeepsTheSettingsButNotTheBuffers) {
  Vec3 points[4];
  int32 links[2];
  CollisionOutline o;
  o.deformPoints = points;
  o.deformPointCount = 2;
  o.deformNeighbours = links;
  o.deformNeighbourCount = 2;
  o.attachedPartCount = 3;
  o.counterForce[2] = 5.0;
  o.forceCurveTable[99] = 0.7;
  o.footprint[1] = Vec3(1, 2, 3);
  o.innerCorners[3] = Vec3(4, 5, 6);
  o.outlineHeight = 25.0;
  const CollisionOutline copy(o);
  EXPECT_EQ(copy.deformPoints, nullptr);
  EXPECT_EQ(copy.deformPointCount, 0);
  EXPECT_EQ(copy.deformNeighbours, nullptr);
  EXPECT_EQ(copy.deformNeighbourCount, 0);
  EXPECT_EQ(copy.attachedParts, nullptr);
  EXPECT_EQ(copy.attachedPartCount, 0);
  EXPECT_EQ(copy.counterForce[2], 5.0);
  EXPECT_EQ(copy.forceCurveTable[99], 0.7);
  EXPECT_EQ(copy.footprint[1], Vec3(1, 2, 3));
  EXPECT_EQ(copy.innerCorners[3], Vec3(4, 5, 6));
  EXPECT_EQ(copy.outlineHeight, 25.0);
  // Assigned to itself, a record keeps what it has.
  CollisionOutline& same = o;
  o = same;
  EXPECT_EQ(o.deformPoints, points);
  EXPECT_EQ(o.deformPointCount, 2);
}

// Inner rectangle x -80..80, z -150..150; point 1 pressed from (100, 0, 0)
// to (90, 0, 0) stays in the +x zone.
TEST(CollisionOutlineTest, ClassAndNearestPoint) {
  Vec3 points[6] = {Vec3(0, 0, 200), Vec3(90, 0, 0), Vec3(0, 0, -200), Vec3(0, 0, 200), Vec3(100, 0, 0),
                    Vec3(0, 0, -200)};
  CollisionOutline o;
  o.innerCorners[0] = Vec3(-80, 0, 150);
  o.innerCorners[2] = Vec3(80, 0, -150);
  o.deformPoints = points;
  o.deformPointCount = 3;
  Vec3 d;
  EXPECT_EQ(ClassifyOutlinePoint(o, 0, d), kZoneFront);
  EXPECT_EQ(d, Vec3());
  EXPECT_EQ(ClassifyOutlinePoint(o, 1, d), kZonePlusX);
  EXPECT_EQ(d, Vec3(-10, 0, 0));
  d = Vec3(1, 2, 3);
  EXPECT_EQ(ClassifyOutlinePoint(o, 3, d), 0);  // past the current outline
  EXPECT_EQ(d, Vec3());
  double distance = -1.0;
  EXPECT_EQ(NearestOutlinePoint(o, Vec3(60, 500, 0), &distance), 1);  // the height does not count
  EXPECT_NEAR(distance, 30.0, 1e-12);
  // Equally near to points 0 and 2: the lower index.
  EXPECT_EQ(NearestOutlinePoint(o, Vec3(-300, 0, 0)), 0);
  o.deformPoints = nullptr;
  o.deformPointCount = 0;
  EXPECT_EQ(NearestOutlinePoint(o, Vec3()), -1);
}

}  // namespace
