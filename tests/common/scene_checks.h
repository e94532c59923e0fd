// Small checks and counts on scene values that the suites share.
#pragma once

#include <gtest/gtest.h>

#include "host_scene.h"

// Each component of a within tol of b's.
inline void ExpectNear(const Vector& a, const Vector& b, double tol = 1e-9) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

// The number of op's direct children.
inline LONG CountChildren(const BaseObject* op) {
  LONG n = 0;
  for (BaseObject* c = op->GetDown(); c; c = c->GetNext()) ++n;
  return n;
}
