#include "car/car_settings.h"

#include <algorithm>
#include <cmath>

#include "car/car_params.h"
#include "scene/carstate.h"
#include "car/crumple_presets.h"
#include "host_geometry.h"
#include "host_scene.h"
#include "car/add_ons.h"
#include "car/rig.h"

CarSettings DefaultCarSettings;

void SetBuiltInCarSettings(CarSettings& s) {
  const int32_t front_axles = s.frontAxleCount;
  const int32_t rear_axles = s.rearAxleCount;
  s = CarSettings();
  s.frontAxleCount = front_axles;
  s.rearAxleCount = rear_axles;

  s.bodySize = Vector(1.8, 0.8, 4.5);
  s.bodyPosition = Vector(0.0, 0.72, 0.0);
  s.engineSize = Vector(1.0, 0.5, 1.2);
  s.enginePosition = Vector(0.0, -0.2, 0.25);
  s.roofSize = Vector(1.44, 0.4, 1.8);
  s.roofZ = -0.5625;
  for (int a = 0; a < 2; ++a) {
    s.wheelRadius[a] = 0.32;
    s.wheelWidth[a] = 0.28;
    s.wheelX[a] = 0.76;
    s.suspensionTopX[a] = 0.07;
    s.suspensionTopY[a] = 0.2;
    s.suspensionBottomX[a] = 0.06;
    s.suspensionBottomY[a] = 0.0;
  }
  s.frontAxleZ[0] = 1.32;
  s.rearAxleZ[0] = -1.25;
  s.rpmCount = 4.0;
  s.torqueCount = 4.0;
  const TorquePoint torque[] = {{1500.0, 420.0}, {3500.0, 530.0}, {4500.0, 540.0}, {6000.0, 400.0}};
  for (int k = 0; k < 4; ++k) s.torqueCurve[k] = torque[k];
  const double constants[kCarModelConstants] = {25.0, 5.0, 3000.0, 50.0, 400000.0, 10.0, 0.0};
  for (int k = 0; k < kCarModelConstants; ++k) s.modelConstants[k] = constants[k];
  s.forceCurvePreset = 2;
  for (int k = 0; k < 3; ++k) s.maxCounterforce[k] = 1000.0;
  s.crumpleLength[0] = 0.65;
  s.crumpleLength[1] = 0.65;
  s.crumpleLength[2] = 0.3;
}

double UsableUnitsPerMetre(const CarState& state) {
  const double u = state.settings.unitsPerMetre;
  // A scale of zero would fold every length onto the origin, a negative one
  // would mirror the car; neither is a unit system.
  return std::isfinite(u) && u > 0.0 ? u : 100.0;
}

namespace {

// The wheel-rig tag keeps the group of its extra axle k at this id + k, and
// whether it steers at the second id + k.
constexpr LONG kWheelRigAxleTypes = 1140;
constexpr LONG kWheelRigAxleSteers = 1160;

// Makes the car's extra-axle objects match a set-up of front + rear extra
// axles: missing ones are built, surplus ones taken out (the user's objects
// under them stay in the scene). Gives how many the car has afterwards;
// 0 without a wheel-rig tag, where extra axles cannot live.
LONG TakeExtraAxles(BaseObject* car, LONG front, LONG rear, double u) {
  if (!car || !car->GetTag(ID_ROTELIX)) return 0;
  BaseDocument* doc = car->GetDocument();
  const LONG wanted = front + rear;
  LONG have = ExtraAxleCount(car);
  // Axles the tag counts whose objects are gone are no axles.
  for (LONG a = 0; a < have; ++a)
    if (!car->GetDataInstance()->GetObjectLink(RIG_HUB + 4 + 2 * a, doc) ||
        !car->GetDataInstance()->GetObjectLink(RIG_HUB + 5 + 2 * a, doc)) {
      have = a;
      break;
    }
  while (have > wanted) RemoveExtraAxle(doc, car, --have);
  while (have < wanted) {
    const LONG group = have < front ? kAxleGroupFront : kAxleGroupRear;
    if (!AddExtraAxle(doc, car, have, group, u)) break;
    ++have;
  }
  return have;
}

// The host attaches this flag to the end knots of a curve.
constexpr LONG kEndKnotFlag = 0x20;

// Counts in the record are doubles that a file fills; only 0 .. kCarSettingsPairs
// of them can be used.
int32_t PairCount(double count) {
  if (!(count >= 1.0)) return 0;  // also NaN
  return count >= kCarSettingsPairs ? kCarSettingsPairs : static_cast<int32_t>(count);
}

int32_t AxleCount(int32_t count) { return count < 0 ? 0 : count > kCarSettingsAxles ? kCarSettingsAxles : count; }

void NormalizeGears(BaseContainer& bc) {
  // The car's own count stands unless a slot within it holds no ratio: the
  // 1.0 fill below must not turn into gears on the next application.
  const LONG own = std::clamp<LONG>(bc.GetLong(CAR_GEAR_COUNT), 0, kCarMaxForwardGears);
  LONG g = 0;
  while (g < own && bc.GetReal(CAR_GEAR_REVERSE + 1 + g) > 0.0) ++g;
  bc.SetLong(CAR_GEAR_COUNT, g);
  // Slots after the last gear hold 1.0, so the gear entries offer a sensible
  // ratio when the count is raised by hand.
  for (LONG j = g; j < kCarMaxForwardGears; ++j) bc.SetReal(CAR_GEAR_REVERSE + 1 + j, 1.0);
}

void ApplyGeometry(BaseObject* car, BaseContainer& bc, const CarSettings& s, CarState& state) {
  const double u = UsableUnitsPerMetre(state);
  bc.SetVector(CAR_BODY_SIZE, s.bodySize * u);
  bc.SetVector(RIG_REST_BODY, s.bodyPosition * u);
  bc.SetVector(CAR_ENGINE_SIZE, s.engineSize * u);
  bc.SetVector(RIG_REST_ENGINE, s.enginePosition * u);
  bc.SetVector(CAR_ROOF_SIZE, s.roofSize * u);
  bc.SetReal(CAR_ROOF_Z, s.roofZ * u);
  ComputeRoofCorners(bc, state);
  bc.SetReal(CAR_WHEEL_DIAMETER_FRONT, s.wheelRadius[0] * 2.0 * u);
  bc.SetReal(CAR_WHEEL_DIAMETER_REAR, s.wheelRadius[1] * 2.0 * u);
  bc.SetReal(CAR_WHEEL_WIDTH_FRONT, s.wheelWidth[0] * u);
  bc.SetReal(CAR_WHEEL_WIDTH_REAR, s.wheelWidth[1] * u);

  for (LONG i = 0; i < 4; ++i) {
    const int a = i / 2;
    const double side = i % 2 == 0 ? -1.0 : 1.0;
    const double z = a == 0 ? s.frontAxleZ[0] : s.rearAxleZ[0];
    bc.SetVector(RIG_REST_HUB + i, Vector(side * s.wheelX[a], s.wheelRadius[a] - s.bodyPosition.y, z) * u);
    bc.SetVector(RIG_REST_SUSPENSION_BOTTOM + i,
                 Vector(0.5 * s.wheelWidth[a] + s.suspensionBottomX[a], s.suspensionBottomY[a], 0.0) * u);
    bc.SetVector(RIG_REST_SUSPENSION_TOP + i,
                 Vector(side * (s.wheelX[a] - 0.5 * s.wheelWidth[a] - s.suspensionTopX[a]), s.suspensionTopY[a], z) * u);
  }
  bc.SetLong(RIG_AXLE_TYPE, 0);
  bc.SetLong(RIG_AXLE_TYPE + 1, 1);

  // Extra axles copy the main axle of their side at their own z. The rig has
  // room for kMaxExtraAxles of them (the vectors of a further one would land
  // on the next block of rest positions); fronts are placed first.
  const int32_t front = AxleCount(s.frontAxleCount);
  const int32_t rear = AxleCount(s.rearAxleCount);
  const LONG extra_front = std::min<LONG>(std::max(front - 1, 0), kMaxExtraAxles);
  const LONG extra_rear = std::min<LONG>(std::max(rear - 1, 0), kMaxExtraAxles - extra_front);
  // The car takes as many extra axles as its wheel-rig tag can carry objects
  // for; those it cannot build are left out rather than counted.
  const LONG taken = TakeExtraAxles(car, extra_front, extra_rear, u);
  BaseTag* tag = car ? car->GetTag(ID_ROTELIX) : nullptr;
  auto copy_axle = [&](LONG pair, LONG main_pair, double z, LONG group) {
    for (LONG side = 0; side < 2; ++side) {
      const LONG w = 2 * pair + side, m = 2 * main_pair + side;
      Vector top = bc.GetVector(RIG_REST_SUSPENSION_TOP + m);
      top.z = z * u;
      bc.SetVector(RIG_REST_SUSPENSION_TOP + w, top);
      bc.SetVector(RIG_REST_SUSPENSION_BOTTOM + w, bc.GetVector(RIG_REST_SUSPENSION_BOTTOM + m));
      Vector hub = bc.GetVector(RIG_REST_HUB + m);
      hub.z = z * u;
      bc.SetVector(RIG_REST_HUB + w, hub);
    }
    // The file names the group; whether the axle steers is the tag's switch.
    const Bool steers = !tag || tag->GetDataInstance()->GetBool(kWheelRigAxleSteers + pair - 2, true);
    bc.SetLong(RIG_AXLE_TYPE + pair, EncodeAxleWord(group, steers));
  };
  for (LONG j = 1; j <= extra_front; ++j) copy_axle(1 + j, 0, s.frontAxleZ[j], kAxleGroupFront);
  for (LONG j = 1; j <= extra_rear; ++j) copy_axle(1 + extra_front + j, 1, s.rearAxleZ[j], kAxleGroupRear);

  // The tag counts the axles the car has objects for; the rest positions of
  // the others wait for axles added later.
  if (tag) {
    BaseContainer* tc = tag->GetDataInstance();
    tc->SetLong(ROTELIX_AXLE_COUNT, taken);
    for (LONG k = 0; k < taken; ++k) tc->SetLong(kWheelRigAxleTypes + k, RigAxleWord(bc, 2 + k).group);
  }
}

void ApplyDrive(BaseContainer& bc, CarSettings& s) {
  const double clutch = bc.GetReal(CAR_CLUTCH);
  if (clutch < 10.0) bc.SetReal(CAR_CLUTCH, 10.0);
  if (clutch > 70.0) bc.SetReal(CAR_CLUTCH, 70.0);

  // Without rpm values the set-up has no curve: the car keeps its own and
  // the range that goes with it.
  const int32_t given = PairCount(s.rpmCount);
  if (given < 1) return;
  // The rpm values must rise: the curve ends at the first one that falls.
  double max_rpm = 0.0, max_torque = 0.0;
  for (int32_t k = 1; k <= given; ++k) {
    TorquePoint& p = s.torqueCurve[k - 1];
    if (p.rpm > max_rpm) {
      max_rpm = p.rpm;
    } else if (p.rpm < max_rpm) {
      s.rpmCount = k;
      break;
    }
    if (p.torque > max_torque)
      max_torque = p.torque;
    else if (p.torque < 0.0)
      p.torque = 0.0;
  }
  const double rpm_top = std::floor(max_rpm / 1000.0) * 1000.0;
  const double torque_top = std::floor(max_torque / 100.0) * 100.0;
  bc.SetLong(CAR_MAX_RPM, TruncateToLong(rpm_top));
  bc.SetLong(CAR_MAX_TORQUE, TruncateToLong(torque_top));

  const int32_t n = PairCount(s.rpmCount);
  SplineData* curve = SplineData::Alloc();
  if (!curve) return;  // keep the car's curve rather than store an empty one
  curve->SetRange(0.0, rpm_top, 100.0, 0.0, torque_top, 10.0);
  curve->ResetKnots(-1);
  curve->InsertKnot(0.0, s.torqueCurve[0].torque, kEndKnotFlag);
  // Knots at or past the rounded-down top would run the curve beyond its range.
  for (int32_t k = 1; k <= n - 2; ++k)
    if (s.torqueCurve[k].rpm < rpm_top) curve->InsertKnot(s.torqueCurve[k].rpm, s.torqueCurve[k].torque, 0);
  curve->InsertKnot(rpm_top, 0.5 * s.torqueCurve[n - 1].torque, kEndKnotFlag);
  curve->SetAllInterpolation(SPLINEKNOT_CUBIC);
  bc.SetData(CAR_TORQUE_CURVE, GeData(*curve));
  SplineData::Free(curve);
}

void ApplyCrumpleZone(BaseContainer& bc, const CarSettings& s, const CarState& state) {
  const double u = UsableUnitsPerMetre(state);
  for (LONG k = 0; k < 3; ++k) {
    bc.SetReal(CAR_COUNTERFORCE_FRONT + 2 * k, s.maxCounterforce[k]);
    bc.SetReal(CAR_CRUMPLE_FRONT + 2 * k, s.crumpleLength[k] * u);
  }
  const int32_t m = PairCount(s.deformationCount);
  if (m < 1) {
    ApplyForceCurvePreset(&bc);
    return;
  }
  SplineData* curve = SplineData::Alloc();
  if (!curve) return;
  curve->SetRange(0.0, 100.0, 1.0, 0.0, 100.0, 1.0);
  curve->ResetKnots(-1);
  curve->InsertKnot(0.0, s.forceCurve[0].counterforce, kEndKnotFlag);
  for (int32_t k = 1; k <= m - 2; ++k) curve->InsertKnot(s.forceCurve[k].deformation, s.forceCurve[k].counterforce, 0);
  curve->InsertKnot(100.0, s.forceCurve[m - 1].counterforce, kEndKnotFlag);
  curve->SetAllInterpolation(SPLINEKNOT_LINEAR);
  bc.SetData(CAR_FORCE_CURVE, GeData(*curve));
  SplineData::Free(curve);
}

}  // namespace

LONG TruncateToLong(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return static_cast<LONG>(-2147483647 - 1);
  return static_cast<LONG>(v);  // toward zero
}

void ApplyCarSettings(BaseObject* car, CarSettings& settings, CarState& state, LONG mask) {
  if (!car) return;
  BaseContainer* bc = car->GetDataInstance();
  NormalizeGears(*bc);
  if (mask & CARSETTINGS_GEOMETRY) ApplyGeometry(car, *bc, settings, state);
  if (mask & CARSETTINGS_DRIVE) ApplyDrive(*bc, settings);
  if (mask & CARSETTINGS_CRUMPLE) ApplyCrumpleZone(*bc, settings, state);
}
