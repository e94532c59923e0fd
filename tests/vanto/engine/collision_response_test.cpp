// A collision's response in engine terms: the force curve of a crumple
// zone, two bodies closing along a normal, and the force slots.
#include "engine/collision_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// A force curve whose fraction equals the compression: linear between the
// entries, nothing for a compression that is not a positive number, the last
// entry past the end.
TEST(CollisionResponse, ZoneForceCurve) {
  double curve[100];
  for (int k = 0; k < 100; ++k) curve[k] = k / 100.0;
  EXPECT_NEAR(ZoneForceFraction(curve, 0.255), 0.255, 1e-12);  // between two table entries
  EXPECT_EQ(ZoneForceFraction(curve, -1.0), 0.0);
  EXPECT_EQ(ZoneForceFraction(curve, std::nan("")), 0.0);
  EXPECT_EQ(ZoneForceFraction(curve, 2.0), 0.99);
  // A 0.5 m zone of 100 kN pressed in 0.25 m pushes with half; past its end
  // with all of it.
  EXPECT_NEAR(ZoneResistance(curve, 0.5, 100000.0, 0.25), 50000.0, 1e-6);
  EXPECT_EQ(ZoneResistance(curve, 0.5, 100000.0, 0.6), 100000.0);
}

// Along the normal only, closing parts only; the limit stops the approach of
// the reduced mass within the step.
TEST(CollisionResponse, ClosingContactOfTwoBodies) {
  const Vec3 n(1, 0, 0);
  ClosingContact c;
  ClosingContactAlong(c, n, Vec3(10, 7, 0), Vec3(-5, 0, 3), 1000.0, 500.0, 0.001);
  EXPECT_EQ(c.approachA, Vec3(10, 0, 0));
  EXPECT_EQ(c.approachB, Vec3(-5, 0, 0));
  EXPECT_DOUBLE_EQ(c.stoppingForce, 10.0 * 1000.0 / 0.001 + 5.0 * 500.0 / 0.001);
  EXPECT_DOUBLE_EQ(c.closingSpeed, 15.0);
  EXPECT_DOUBLE_EQ(c.forceLimit, 1000.0 * 500.0 / 1500.0 * 15.0 / 0.001);
  // Moving apart: nothing closes, nothing may push.
  ClosingContactAlong(c, n, Vec3(-3, 0, 0), Vec3(2, 0, 0), 1000.0, 500.0, 0.001);
  EXPECT_EQ(c.approachA, Vec3());
  EXPECT_EQ(c.stoppingForce, 0.0);
  EXPECT_EQ(c.forceLimit, 0.0);
  // One body chasing the other: only the chaser closes.
  ClosingContactAlong(c, n, Vec3(8, 0, 0), Vec3(2, 0, 0), 1000.0, 1000.0, 0.5);
  EXPECT_EQ(c.approachA, Vec3(8, 0, 0));
  EXPECT_EQ(c.approachB, Vec3());
  EXPECT_DOUBLE_EQ(c.forceLimit, 500.0 * 8.0 / 0.5);
  // Massless bodies leave the force unbounded.
  ClosingContactAlong(c, n, Vec3(1, 0, 0), Vec3(-1, 0, 0), 0.0, 0.0, 0.001);
  EXPECT_EQ(c.forceLimit, HUGE_VAL);
}

// A slot is free below 1 N; a full set drops the force and leaves every slot.
TEST(CollisionResponse, ForceTakesTheFirstFreeSlot) {
  auto d = std::make_unique<CarDynamics>();
  d->externalForces[0] = Vec3(0.0, 0.0, 1.0);  // exactly 1 N: taken
  d->externalForces[1] = Vec3(0.6, 0.6, 0.0);  // 0.85 N: free
  EXPECT_EQ(QueueExternalForce(*d, Vec3(5, 0, 0), Vec3(1, 2, 3)), 1);
  EXPECT_EQ(d->externalForces[1], Vec3(5, 0, 0));
  EXPECT_EQ(d->externalForcePoints[1], Vec3(1, 2, 3));
  for (int32 s = 2; s < kForceSlots; ++s) EXPECT_EQ(QueueExternalForce(*d, Vec3(0, s, 0), Vec3(s, 0, 0)), s);
  EXPECT_EQ(QueueExternalForce(*d, Vec3(9, 9, 9), Vec3(7, 7, 7)), -1);
  EXPECT_EQ(d->externalForces[0], Vec3(0, 0, 1));
  for (int32 s = 2; s < kForceSlots; ++s) {
    EXPECT_EQ(d->externalForces[s], Vec3(0, s, 0));
    EXPECT_EQ(d->externalForcePoints[s], Vec3(s, 0, 0));
  }
}

}  // namespace
