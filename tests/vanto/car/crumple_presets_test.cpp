// The five force-curve presets.
#include <gtest/gtest.h>

#include <vector>

#include "car/car_params.h"
#include "car/crumple_presets.h"
#include "host_geometry.h"
#include "host_services.h"

namespace {

struct K {
  double x, y;
};

const SplineData* Curve(const BaseContainer& bc) {
  return static_cast<const SplineData*>(bc.GetCustomDataType(CAR_FORCE_CURVE, CUSTOMDATATYPE_SPLINE));
}

TEST(ForceCurvePreset, KnotsOfEachPreset) {
  struct Case {
    LONG preset;
    std::vector<K> knots;
    LONG interpolation;
  } const cases[] = {
      {1, {{0, 21.5}, {100, 21.5}}, SPLINEKNOT_LINEAR},
      {2, {{0, 1}, {100, 45.5}}, SPLINEKNOT_LINEAR},
      {3, {{0, 7.000000000000001}, {80, 30}, {100, 100}}, SPLINEKNOT_BEZIER},
      {4, {{0, 10}, {25, 10}, {26, 30}, {100, 30}}, SPLINEKNOT_LINEAR},
      {5,
       {{0, 1}, {3, 4}, {6, 2}, {9, 4}, {11, 3}, {21, 15}, {27, 4}, {33, 10}, {36, 20}, {47, 4},
        {52, 7.000000000000001}, {55.00000000000001, 5}, {56.99999999999999, 10}, {60, 10},
        {67, 28.999999999999996}, {71, 56.00000000000001}, {79, 63}, {86, 41}, {93, 38}, {100, 100}},
       SPLINEKNOT_BEZIER},
      {0, {}, 0},
      {6, {}, 0},
      {-1, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.preset);
    BaseContainer bc;
    bc.SetLong(CAR_FORCE_PRESET, c.preset);
    // Twice: the second application replaces the first one's knots.
    ApplyForceCurvePreset(&bc);
    ApplyForceCurvePreset(&bc);
    const SplineData* curve = Curve(bc);
    ASSERT_NE(curve, nullptr);
    Real r[6];
    curve->GetRange(&r[0], &r[1], &r[2], &r[3], &r[4], &r[5]);
    EXPECT_EQ(std::vector<Real>(r, r + 6), (std::vector<Real>{0, 100, 1, 0, 100, 1}));
    ASSERT_EQ(curve->GetKnotCount(), static_cast<LONG>(c.knots.size()));
    for (LONG i = 0; i < curve->GetKnotCount(); ++i) {
      const SplineKnot* k = curve->GetKnot(i);
      EXPECT_EQ(k->pos.x, c.knots[i].x) << i;  // exact doubles, neighbours of whole numbers included
      EXPECT_EQ(k->pos.y, c.knots[i].y) << i;
      const bool end = i == 0 || i + 1 == curve->GetKnotCount();
      EXPECT_EQ(k->flags, end ? 0x20 : 0) << i;
      EXPECT_EQ(k->interpolation, c.interpolation) << i;
    }
  }
}

TEST(ForceCurvePreset, HyperbolaTangents) {
  BaseContainer bc;
  bc.SetLong(CAR_FORCE_PRESET, FORCEPRESET_HYPERBOLA);
  ApplyForceCurvePreset(&bc);
  const SplineData* curve = Curve(bc);
  ASSERT_NE(curve, nullptr);
  EXPECT_EQ(curve->GetKnot(0)->tangent_right, Vector());
  EXPECT_EQ(curve->GetKnot(1)->tangent_left, Vector(-6.25, -10.75, 0));
  EXPECT_EQ(curve->GetKnot(1)->tangent_right, Vector(6.25, 10.75, 0));
  EXPECT_EQ(curve->GetKnot(2)->tangent_left, Vector(-3.4, -30.8, 0));
  EXPECT_EQ(curve->GetKnot(2)->tangent_right, Vector(3.4, 30.8, 0));
}

TEST(ForceCurvePreset, NothingChangesWithoutACurve) {
  BaseContainer bc;
  bc.SetLong(CAR_FORCE_PRESET, FORCEPRESET_STAIRS);
  ApplyForceCurvePreset(&bc);
  bc.SetLong(CAR_FORCE_PRESET, FORCEPRESET_LINEAR);
  hostmem::FailAllocation(1);
  ApplyForceCurvePreset(&bc);
  hostmem::FailAllocation(0);
  ASSERT_NE(Curve(bc), nullptr);
  EXPECT_EQ(Curve(bc)->GetKnotCount(), 4);  // still the stairs
  ApplyForceCurvePreset(nullptr);
}

}  // namespace
