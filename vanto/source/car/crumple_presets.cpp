#include "car/crumple_presets.h"

#include "car/car_params.h"
#include "host_geometry.h"

namespace {

struct Knot {
  double x, y;
};

// Some values are the doubles next to the whole numbers rather than the whole
// numbers themselves; curves stored in scenes were made from exactly these.
constexpr Knot kConstant[] = {{0, 21.5}, {100, 21.5}};
constexpr Knot kLinear[] = {{0, 1}, {100, 45.5}};
constexpr Knot kHyperbola[] = {{0, 7.000000000000001}, {80, 30}, {100, 100}};
constexpr Knot kStairs[] = {{0, 10}, {25, 10}, {26, 30}, {100, 30}};
constexpr Knot kMeasured[] = {{0, 1},
                              {3, 4},
                              {6, 2},
                              {9, 4},
                              {11, 3},
                              {21, 15},
                              {27, 4},
                              {33, 10},
                              {36, 20},
                              {47, 4},
                              {52, 7.000000000000001},
                              {55.00000000000001, 5},
                              {56.99999999999999, 10},
                              {60, 10},
                              {67, 28.999999999999996},
                              {71, 56.00000000000001},
                              {79, 63},
                              {86, 41},
                              {93, 38},
                              {100, 100}};

// The host attaches this flag to the end knots of a curve.
constexpr LONG kEndKnotFlag = 0x20;

template <size_t N>
void InsertKnots(SplineData& curve, const Knot (&knots)[N]) {
  for (size_t i = 0; i < N; ++i)
    curve.InsertKnot(knots[i].x, knots[i].y, i == 0 || i + 1 == N ? kEndKnotFlag : 0);
}

}  // namespace

void ApplyForceCurvePreset(BaseContainer* bc) {
  if (!bc) return;
  SplineData* curve = SplineData::Alloc();
  if (!curve) return;
  curve->SetRange(0.0, 100.0, 1.0, 0.0, 100.0, 1.0);
  curve->ResetKnots(-1);
  switch (bc->GetLong(CAR_FORCE_PRESET)) {
    case FORCEPRESET_CONSTANT:
      InsertKnots(*curve, kConstant);
      curve->SetAllInterpolation(SPLINEKNOT_LINEAR);
      break;
    case FORCEPRESET_LINEAR:
      InsertKnots(*curve, kLinear);
      curve->SetAllInterpolation(SPLINEKNOT_LINEAR);
      break;
    case FORCEPRESET_HYPERBOLA:
      InsertKnots(*curve, kHyperbola);
      if (SplineKnot* k = curve->GetKnot(1)) {
        k->tangent_left = Vector(-6.25, -10.75, 0.0);
        k->tangent_right = Vector(6.25, 10.75, 0.0);
      }
      if (SplineKnot* k = curve->GetKnot(2)) {
        k->tangent_left = Vector(-3.4, -30.8, 0.0);
        k->tangent_right = Vector(3.4, 30.8, 0.0);
      }
      break;
    case FORCEPRESET_STAIRS:
      InsertKnots(*curve, kStairs);
      curve->SetAllInterpolation(SPLINEKNOT_LINEAR);
      break;
    case FORCEPRESET_MEASURED:
      InsertKnots(*curve, kMeasured);
      break;
    default:
      break;
  }
  bc->SetData(CAR_FORCE_CURVE, GeData(*curve));
  SplineData::Free(curve);
}
