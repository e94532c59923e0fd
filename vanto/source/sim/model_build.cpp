#include "sim/model_build.h"

#include <cmath>

#include "car/car_params.h"
#include "car/car_settings.h"
#include "engine/engine_constants.h"
#include "host_geometry.h"
#include "car/rig.h"
#include "scene/run_state.h"

namespace {

// Host vector into the engine's axes, scaled.
Vec3 Dyn(const Vector& v, double u) {
  Vec3 out;
  HostToDynamicsAxes(v, out);
  ScaleVec3InPlace(out, u);
  return out;
}

// Free travel of a suspension between its top and bottom points, m.
double SuspensionTravel(const BaseContainer& bc, BaseDocument* doc, LONG wheel, double u) {
  const BaseObject* top = bc.GetObjectLink(RIG_SUSPENSION_TOP + wheel, doc);
  const BaseObject* bottom = bc.GetObjectLink(RIG_SUSPENSION_BOTTOM + wheel, doc);
  if (!top || !bottom) return 9999.0 - 0.001;
  return (top->GetMg().off - bottom->GetMg().off).GetLength() * u - 0.001;
}

// The tyre model's constants: a front set, a rear set, five shared values.
void SetTyreConstants(const BaseContainer& bc, CarDynamics& d) {
  const double shape[5] = {1.2, -0.2, 1.5, 0.00005, 1.0};
  double* c = d.tyreConstants;
  c[kTyreCa] = bc.GetReal(CAR_CORNERING_FRONT);
  c[kTyreCk] = bc.GetReal(CAR_LONGITUDINAL_FRONT);
  c[kTyreCa2] = bc.GetReal(CAR_CORNERING_REAR);
  c[kTyreCk2] = bc.GetReal(CAR_LONGITUDINAL_REAR);
  for (int k = 0; k < 5; ++k) c[kTyreC + k] = c[kTyreC2 + k] = shape[k];
  c[kTyreLk] = 0.1;
  c[kTyreLa] = 0.1;
  c[kTyreVSoft] = 10.0;
  c[kTyreSkidScale] = 6.0;
  c[kTyreSlideLimit] = 3.0;
}

}  // namespace

int32 BuildCarModel(BaseDocument* doc, BaseObject* car, CarState& state, double u) {
  CarDynamicsParams p;
  BaseContainer& bc = *car->GetDataInstance();
  CarDynamics& d = state.dynamics;
  const double* model = DefaultCarSettings.modelConstants;

  ResetRigPose(doc, car);
  ResetCarRunState(state);
  ResetDamageAndSkidMarks(doc, car, state);

  // Body.
  state.bodySize = bc.GetVector(CAR_BODY_SIZE);
  state.boundingRadius = 0.5 * state.bodySize.GetLength();
  p.bodyBoxSize = Dyn(state.bodySize, u);
  p.bodyMass = bc.GetReal(CAR_MASS_BODY);
  ComputeRoofCorners(bc, state);

  // Engine box and the wheel sizes.
  const BaseObject* engine = bc.GetObjectLink(RIG_ENGINE, doc);
  if (!engine) return kStatusPartMissing;
  p.engineBoxSize = Dyn(bc.GetVector(CAR_ENGINE_SIZE), u);
  p.engineMass = bc.GetReal(CAR_MASS_ENGINE);
  const Vector at = engine->GetRelPos();
  p.engineOffset[0] = at.z * u;
  p.engineOffset[1] = at.y * u;
  p.wheelRadius[0] = bc.GetReal(CAR_WHEEL_DIAMETER_FRONT) * 0.5 * u;
  p.wheelRadius[1] = bc.GetReal(CAR_WHEEL_DIAMETER_REAR) * 0.5 * u;
  p.wheelWidth[0] = bc.GetReal(CAR_WHEEL_WIDTH_FRONT) * u;
  p.wheelWidth[1] = bc.GetReal(CAR_WHEEL_WIDTH_REAR) * u;
  p.wheelMass[0] = bc.GetReal(CAR_MASS_WHEEL_FRONT);
  p.wheelMass[1] = bc.GetReal(CAR_MASS_WHEEL_REAR);
  state.totalMass = p.bodyMass + p.engineMass;

  for (int g = 0; g < 2; ++g) {
    const double camber = bc.GetReal(g == 0 ? CAR_CAMBER_FRONT : CAR_CAMBER_REAR);
    p.wheelAxis[g] = Vec3(0.0, std::cos(camber), -std::sin(camber));
  }

  // Wheels: two per axle, at most 20.
  int32 wheels = state.wheelCount < kMaxWheels ? state.wheelCount : kMaxWheels;
  wheels &= ~1;
  for (int32 w = 0; w < wheels; ++w) {
    const BaseObject* wheel = bc.GetObjectLink(RIG_HUB + w, doc);
    if (!wheel) return kStatusPartMissing;
    state.wheelMatrices[w] = wheel->GetMg();
    const int32 a = w / 2;
    if ((w & 1) == 0) {
      p.axlePosition[a] = Dyn(wheel->GetRelPos(), u);
      p.axleType[a] = bc.GetLong(RIG_AXLE_TYPE + a);
    }
    // Anything but front or rear would index past the per-group values.
    const AxleWord word = DecodeAxleWord(p.axleType[a]);
    if (!word.Known()) return kStatusModelSetUp;
    state.totalMass += p.wheelMass[word.group];
  }
  p.axleType[0] = 0;
  p.axleType[1] = 1;
  p.axleCount = wheels / 2;
  state.totalWeight = state.settings.gravity * state.totalMass;

  // Steering, power train and gears.
  p.suspensionAxis[0] = p.suspensionAxis[1] = Vec3(0.0, 0.0, 1.0);
  const double caster = bc.GetReal(CAR_CASTER);
  p.steerAxis = Vec3(std::sin(caster), 0.0, std::cos(caster));
  p.steeringLock = bc.GetReal(CAR_STEERING_LOCK);
  p.poweredWheels = bc.GetLong(CAR_DRIVE) - 1;
  p.clutchStiffness = bc.GetReal(CAR_CLUTCH);
  p.gearCount = bc.GetLong(CAR_GEAR_COUNT);
  // A count beyond the gearbox is refused by the set-up; only real slots are read.
  for (int32 g = 0; g < p.gearCount && g < kMaxGears; ++g) p.gearRatios[g] = bc.GetReal(CAR_GEAR_REVERSE + 1 + g);
  p.finalRatio = bc.GetReal(CAR_GEAR_FINAL);
  p.reverseRatio = -bc.GetReal(CAR_GEAR_REVERSE);
  p.upShiftSpeed = bc.GetLong(CAR_SHIFT_UP) * vanto::kTwoPi / 60.0;
  p.downShiftSpeed = bc.GetLong(CAR_SHIFT_DOWN) * vanto::kTwoPi / 60.0;

  // Torque curve: 20 samples from 0 to the top engine speed. The curve on
  // the Car shows torque over rpm from 0 to LONG 1510; sample i stands at
  // i / 19 of the top speed, so it is read at i / 19 of the top rpm.
  const LONG topRpm = bc.GetLong(CAR_MAX_RPM);
  SampledCurve& tc = p.torqueCurve;
  tc.count = kMaxCurveSamples;
  tc.x0 = 0.0;
  tc.xMax = topRpm * vanto::kTwoPi / 60.0 - 0.001;
  tc.scale = (kMaxCurveSamples - 1) / tc.xMax;
  const auto* spline = static_cast<const SplineData*>(bc.GetCustomDataType(CAR_TORQUE_CURVE, CUSTOMDATATYPE_SPLINE));
  if (!spline) return kStatusTorqueSpline;
  for (int32 i = 0; i < kMaxCurveSamples; ++i)
    tc.values[i] = spline->GetPoint(static_cast<double>(i) * topRpm / (kMaxCurveSamples - 1)).y;

  // Engine, brakes, suspension, tyres.
  p.engineFrictionCap = model[0];
  p.engineFriction = model[1];
  p.engineInertia = 0.1;
  p.brakeValue = model[2];
  p.brakeTorques[0] = bc.GetReal(CAR_BRAKE_FRONT);
  p.brakeTorques[1] = bc.GetReal(CAR_BRAKE_REAR);
  p.brakeTorques[2] = bc.GetReal(CAR_HANDBRAKE);
  p.pedalThreshold = 0.9;
  for (int g = 0; g < 2; ++g) {
    p.springRates[g] = bc.GetReal(CAR_SPRING_FRONT + g);
    p.damperRates[g] = bc.GetReal(CAR_DAMPER_FRONT + g);
    const double roll = bc.GetReal(CAR_ANTIROLL_FRONT + g);
    p.antiRollRates[g] = roll > 1.0 ? roll : 1.0;
    p.suspensionTravel[g] = SuspensionTravel(bc, doc, 2 * g, u);
    p.profilePointCount[g] = 20;
    p.profileExponent[g] = 6.0;
    p.tyreRadialStiffness[g] = bc.GetReal(CAR_DOWNFORCE_FRONT + g) * 400000.0 + model[4];
    p.tyreValueA[g] = model[5];
    p.tyreValueB[g] = model[6];
  }

  // Values the model takes straight from the car.
  SetTyreConstants(bc, d);
  d.frontLiftFactor = bc.GetReal(CAR_DOWNFORCE_FRONT) * 0.5 * 1.29;
  d.rearLiftFactor = bc.GetReal(CAR_DOWNFORCE_REAR) * 0.5 * 1.29;
  d.dragFactor = bc.GetReal(CAR_DRAG) * 0.5 * p.bodyBoxSize.y * p.bodyBoxSize.z * 1.29;  // air: 1.29 kg/m^3
  d.tractionControl = bc.GetBool(CAR_TRACTION_CONTROL) ? 1 : 0;
  d.tractionSlipLimit = bc.GetReal(CAR_TRACTION_THRESHOLD);
  d.brakeSlipControl = bc.GetBool(CAR_ANTILOCK) ? 1 : 0;
  d.brakeSlipLimit = bc.GetReal(CAR_ANTILOCK_THRESHOLD);

  if (SetUpCarDynamics(d, p, state.settings.gravity) != kStatusOk) return kStatusModelSetUp;
  return kStatusOk;
}
