// One comparison of engine vectors for the engine tests, so a failure names
// the component that is off.
#pragma once

#include <gtest/gtest.h>

#include "engine/vmath.h"

inline void ExpectVec(const Vec3& got, const Vec3& want, double tol = 1e-12) {
  EXPECT_NEAR(got.x, want.x, tol);
  EXPECT_NEAR(got.y, want.y, tol);
  EXPECT_NEAR(got.z, want.z, tol);
}
