#include <cmath>
#include <cstddef>
#include <cstring>

#include "engine/car_dynamics.h"
#include "engine/engine_constants.h"
#include "engine/elementary.h"
#include "engine/engine_globals.h"
#include "engine/tyre.h"

namespace {

inline bool Positive(double v) { return v > 0.0 && std::isfinite(v); }

// Loops over the wheels and axles of a step take their count from these:
// kWheels 0 reads the car's, and a car of four wheels on two axles (nearly
// every car) runs a version whose loops have a count known when compiled.
template <int32 kWheels>
inline int32 WheelsOf(const CarDynamics& d) {
  return kWheels > 0 ? kWheels : d.wheelCount;
}
template <int32 kWheels>
inline int32 AxlesOf(const CarDynamics& d) {
  return kWheels > 0 ? kWheels / 2 : d.axleCount;
}

// Ratio of forward gear g, 0 for a gear the box does not have.
inline double ForwardRatio(const CarDynamics& d, int32 g) {
  return g >= 1 && g <= d.gearCount ? d.gearRatio[g - 1] : 0.0;
}

// Wheel frame (body axes) for axle direction a: first column along the
// axle (reversed for odd wheels), third column as close to up as the axle
// allows.
void BuildWheelFrame(Mat3& f, const Vec3& a, bool odd) {
  double L = std::sqrt(a.x * a.x + a.y * a.y);
  if (L < 1e-12) L = 1e-12;  // a vertical axle has no rolling plane; keep it finite
  const double iL = 1.0 / L;
  if (!odd) {
    f = Mat3(a.x, -a.y * iL, -a.x * a.z * iL,  //
             a.y, a.x * iL, -a.y * a.z * iL,   //
             a.z, 0.0, L);
  } else {
    f = Mat3(-a.x, a.y * iL, -a.x * a.z * iL,  //
             -a.y, -a.x * iL, -a.y * a.z * iL,  //
             -a.z, 0.0, L);
  }
}

}  // namespace

// ---------------------------------------------------------------- set-up

int32 SetUpTwoBoxBody(CarDynamics& d, const Vec3& box1, double mass1, const Vec3& box2, double mass2,
                      double offsetX, double offsetZ, double gravity) {
  // A body needs mass; a weightless engine box just adds nothing.
  if (!Positive(mass1) || !(mass2 >= 0.0) || !std::isfinite(mass2)) return kStatusFailed;
  SetGravity(gravity);
  RigidBody& b = d.body;
  SetBoxInertia(b, box1.x * 0.5, box1.y * 0.5, box1.z * 0.5, mass1);
  RigidBody second;
  SetBoxInertia(second, box2.x * 0.5, box2.y * 0.5, box2.z * 0.5, mass2);
  MergeRigidBody(b, second, Mat3(), Vec3(offsetX, 0.0, offsetZ));
  FinishRigidBodyMass(b);
  d.bodySize[0] = box1.y;
  d.bodySize[1] = box1.x;
  d.bodySize[2] = box1.z;
  // Flat boxes give a zero principal moment, which the step divides by.
  for (int i = 0; i < 3; ++i)
    if (!Positive(b.principalInertia[2 * i])) return kStatusFailed;
  return kStatusOk;
}

int32 SetUpBodyAndWheels(CarDynamics& d, const CarDynamicsParams& p, double gravity) {
  const int32 axles = p.axleCount;
  if (axles < 2 || axles > kMaxAxles) return kStatusFailed;  // 4 to 20 wheels
  for (int g = 0; g < 2; ++g)
    if (!Positive(p.wheelRadius[g]) || !Positive(p.wheelMass[g])) return kStatusFailed;
  for (int32 a = 0; a < axles; ++a) {
    if (!DecodeAxleWord(p.axleType[a]).Known()) return kStatusFailed;
  }
  if (SetUpTwoBoxBody(d, p.bodyBoxSize, p.bodyMass, p.engineBoxSize, p.engineMass, p.engineOffset[0],
                      p.engineOffset[1], gravity) != kStatusOk)
    return kStatusFailed;
  d.axleCount = axles;
  d.wheelCount = 2 * axles;

  Vec3 axleDir[2] = {p.wheelAxis[0], p.wheelAxis[1]};
  Vec3 suspDir[2] = {p.suspensionAxis[0], p.suspensionAxis[1]};
  Vec3 steerAxis = p.steerAxis;
  for (int g = 0; g < 2; ++g) {
    if (NormalizeVec3(axleDir[g]) != kStatusOk || NormalizeVec3(suspDir[g]) != kStatusOk) return kStatusFailed;
    // An axle along the vertical has no rolling direction.
    if (axleDir[g].x * axleDir[g].x + axleDir[g].y * axleDir[g].y < 1e-12) return kStatusFailed;
  }
  if (NormalizeVec3(steerAxis) != kStatusOk) return kStatusFailed;

  const Mat3& PA = d.body.principalAxes;
  const Vec3& ref = d.body.referenceOffset;
  for (int32 i = 0; i < d.wheelCount; ++i) {
    const int32 a = i / 2;
    const bool odd = (i & 1) != 0;
    const AxleWord word = DecodeAxleWord(p.axleType[a]);
    const int32 g = word.group;
    WheelState& w = d.wheels[i];
    Vec3 ad = axleDir[g], sd = suspDir[g], pos = p.axlePosition[a];
    if (odd) {
      ad = {-ad.x, ad.y, -ad.z};
      sd.y = -sd.y;
      pos.y = -pos.y;
    }
    w.axleGroup = g;
    w.steered = word.steered ? 1 : 0;
    MulMat3Vec3(w.suspensionDirection, PA, sd);
    MulMat3Vec3(w.mountPoint, PA, pos);
    AddToVec3(w.mountPoint, ref);
    MulMat3Vec3(w.axleDirection, PA, ad);
    w.baseAxleDirection = w.axleDirection;
  }
  d.steeringValid = 0;
  // The first axle always steers, the second never does.
  d.wheels[0].steered = d.wheels[1].steered = 1;
  d.wheels[2].steered = d.wheels[3].steered = 0;

  // Steering reference line: mean x of the unsteered axles after the first.
  double sumX = 0.0;
  int32 unsteered = 0;
  for (int32 a = 1; a < axles; ++a)
    if (!d.wheels[2 * a].steered) {
      sumX += p.axlePosition[a].x;
      ++unsteered;
    }
  const double X = sumX / unsteered;  // axle 1 never steers, so unsteered >= 1
  const double x0 = p.axlePosition[0].x;
  if (!(std::fabs(x0 - X) > 1e-9)) return kStatusFailed;
  d.maxSteerAngle = p.steeringLock;
  for (int32 a = 0; a < axles; ++a) {
    const double xa = p.axlePosition[a].x, ya = p.axlePosition[a].y;
    d.steerRatio[a] = (xa - X) / (x0 - X);
    d.ackermannFactor[a] = 0.0;
    if (a == 1) continue;
    const bool steered = d.wheels[2 * a].steered != 0;
    if (!(std::fabs(xa - X) > 1e-9)) {
      // A steered axle on the reference line would need an infinite correction.
      if (steered) return kStatusFailed;
      continue;
    }
    d.ackermannFactor[a] = ya / (xa - X);
    if (steered) {
      // At full lock the inner wheel's correction t / (1 - k) must stay finite.
      const double lock = std::fabs(d.maxSteerAngle * d.steerRatio[a]);
      if (!(lock < 1.5707963267948966)) return kStatusFailed;
      if (!(std::fabs(std::tan(lock) * d.ackermannFactor[a]) < 1.0)) return kStatusFailed;
    }
  }
  for (int32 a = axles; a < kMaxAxles; ++a) d.steerRatio[a] = d.ackermannFactor[a] = 0.0;

  for (int32 i = 0; i < d.wheelCount; ++i) {
    WheelState& w = d.wheels[i];
    const int32 a = i / 2;
    Vec3 s = steerAxis;
    if (i & 1) s.y = -s.y;
    s.x *= d.steerRatio[a];
    Vec3 sb, sd;
    MulMat3Vec3(sb, PA, s);
    CrossVec3(sd, sb, w.baseAxleDirection);
    if (NormalizeVec3(sd) != kStatusOk && w.steered) return kStatusFailed;
    w.steerDirection = sd;

    const int32 g = w.axleGroup;
    w.wheelMass = p.wheelMass[g];
    w.radius = p.wheelRadius[g];
    w.width = p.wheelWidth[g];
    w.maxCompression = p.suspensionTravel[g];
    w.wheelInertia = w.wheelMass * w.radius * w.radius * 0.5;
    w.inverseMass = 1.0 / w.wheelMass;
    w.inverseInertia = 1.0 / w.wheelInertia;
    BuildWheelFrame(w.wheelFrame, w.axleDirection, (i & 1) != 0);
  }

  // Torque split over the powered axles.
  d.tractionLayout = p.poweredWheels;
  int32 powered = 0;
  for (int32 a = 0; a < axles; ++a)
    if (p.poweredWheels == 2 || d.wheels[2 * a].axleGroup == p.poweredWheels) ++powered;
  if (powered == 0) return kStatusFailed;
  for (int32 a = 0; a < kMaxAxles; ++a) {
    const bool on = a < axles && (p.poweredWheels == 2 || d.wheels[2 * a].axleGroup == p.poweredWheels);
    d.torqueSplit[a] = on ? 1.0 / (2 * powered) : 0.0;
  }
  return kStatusOk;
}

int32 SetUpEngine(EngineState& e, double frictionCap, double frictionPerSpeed, double inertia,
                  const SampledCurve& curve) {
  if (!Positive(inertia)) return kStatusFailed;
  if (curve.count < 3 || curve.count > kMaxCurveSamples) return kStatusFailed;
  if (!std::isfinite(curve.x0) || !std::isfinite(curve.xMax) || !(curve.xMax > curve.x0) ||
      !Positive(curve.scale))
    return kStatusFailed;
  e.frictionCap = frictionCap;
  e.frictionPerSpeed = frictionPerSpeed;
  e.inertia = inertia;
  CopySampledCurve(e.torqueCurve, curve);
  e.inverseInertia = 1.0 / inertia;
  e.speedLimit = curve.xMax;
  return kStatusOk;
}

void InitTyreBlock(TyreBlock& t, const double* groupValues, int32 group) {
  t.radialStiffness = groupValues[0];
  t.radius = groupValues[1];
  t.profileGroup = group;
}

int32 SetUpCarDynamics(CarDynamics& d, const CarDynamicsParams& p, double gravity) {
  if (!Positive(d.tyreConstants[kTyreCa]) || !Positive(d.tyreConstants[kTyreCk])) return kStatusFailed;
  if (SetUpBodyAndWheels(d, p, gravity) != kStatusOk) return kStatusFailed;
  if (SetUpEngine(d.engine, p.engineFrictionCap, p.engineFriction, p.engineInertia, p.torqueCurve) != kStatusOk)
    return kStatusFailed;

  d.clutchStiffness = p.clutchStiffness;
  d.upShiftSpeed = p.upShiftSpeed;
  d.downShiftSpeed = p.downShiftSpeed;
  // The count is checked before any ratio is read, and every gear it allows
  // has its slot.
  if (p.gearCount < 1 || p.gearCount > kMaxGears) return kStatusFailed;
  d.gearCount = p.gearCount;
  for (int32 g = 0; g < kMaxGears; ++g) d.gearRatio[g] = g < p.gearCount ? p.gearRatios[g] * p.finalRatio : 0.0;
  d.reverseRatio = p.reverseRatio;

  d.brakeSpinCoefficient = p.brakeValue;
  d.frontBrakeTorque = p.brakeTorques[0];
  d.rearBrakeTorque = p.brakeTorques[1];
  d.handbrakeTorque = p.brakeTorques[2];
  d.pedalThreshold = p.pedalThreshold;
  for (int g = 0; g < 2; ++g) {
    d.springStiffness[g] = p.springRates[g];
    d.damperCoefficient[g] = p.damperRates[g];
    d.antiRollStiffness[g] = p.antiRollRates[g];
  }

  for (int32 g = 0; g < 2; ++g) {
    if (BuildTyreProfiles(g, p.wheelRadius[g], p.wheelWidth[g], d.tyreProfiles[0][g], d.tyreProfiles[1][g],
                          d.tyreProfiles[2][g], p.profilePointCount[g], p.profileExponent[g]) != kStatusOk)
      return kStatusFailed;
    for (int32 k = 0; k < 3; ++k) BuildTyreCurveTable(d.tyreProfiles[k][g], d.tyreCurveTables[g][k]);
    d.tyreGroupValues[g][0] = p.tyreRadialStiffness[g];
    d.tyreGroupValues[g][1] = p.wheelRadius[g];
    d.tyreGroupValues[g][2] = p.tyreValueA[g];
    d.tyreGroupValues[g][3] = p.tyreValueB[g];
  }
  for (int32 i = 0; i < d.wheelCount; ++i) {
    const int32 g = d.wheels[i].axleGroup;
    InitTyreBlock(d.tyreBlock[i], d.tyreGroupValues[g], g);
  }
  for (int32 a = 0; a < kMaxAxles; ++a) d.staticWheelLoad[a] = gravity * d.body.mass / d.wheelCount;
  return kStatusOk;
}

// ---------------------------------------------------------------- placing

void PlaceCarBody(CarDynamics& d, const Vec3& position, const Quat& orientation) {
  SetRigidBodyState(d.body, position, Vec3(), orientation, Vec3(), 0.0, 0.0);
  for (WheelState& w : d.wheels) {
    w.compression = w.compressionRate = w.rotationAngle = w.spinRate = 0.0;
  }
}

void ResetCarDynamics(CarDynamics& d, const Vec3& position, const Quat& orientation) {
  PlaceCarBody(d, position, orientation);
  d.engine.engineSpeed = 0.0;
  ApplySteering(d, 0.0);
  d.gear = 1;
  d.lateralSlip = SlipStateArrays();
  d.wheelSlip = SlipStateArrays();
  for (TyreOutput& o : d.tyreOutput) o = TyreOutput();
  d.crashFlag = 0;
  d.singleForce = Vec3();
  d.singleForcePoint = Vec3();
}

void FlipCarBody(CarDynamics& d) {
  RigidBody& b = d.body;
  Mat3 model, flipped;
  MulMat3(model, b.rotation, b.principalAxes);
  const Mat3 D(1, 0, 0, 0, -1, 0, 0, 0, -1);
  MulMat3(flipped, model, D);
  Vec3 origin;
  TransformToWorld(origin, b.rotation, b.referenceOffset, b.position);
  MulMat3Transposed(b.rotation, flipped, b.principalAxes);
  Mat3ToQuat(b.orientation, b.rotation);
  QuatToMat3(b.rotation, b.orientation, QuatNormSquared(b.orientation));
  b.position.z += 2.0;
}

// ---------------------------------------------------------------- steering

void ApplySteering(CarDynamics& d, double u) {
  // The turn is computed afresh from the straight directions each time, so
  // the same input gives the same bits and need not be computed again.
  std::uint64_t bits;
  std::memcpy(&bits, &u, sizeof bits);
  if (d.steeringValid && bits == d.steeredFor) return;
  d.steeredFor = bits;
  d.steeringValid = 1;
  for (int32 a = 0; a < d.axleCount; ++a) {
    if (a == 1) continue;
    WheelState& even = d.wheels[2 * a];
    WheelState& odd = d.wheels[2 * a + 1];
    if (a >= 2 && !even.steered) continue;
    const double ratio = a == 0 ? 1.0 : d.steerRatio[a];
    const double t = std::tan(-(u * ratio * d.maxSteerAngle));
    const double k = t * d.ackermannFactor[a];
    const double ve = t / (1.0 - k), vo = t / (1.0 + k);
    AddScaledVec3(even.axleDirection, even.baseAxleDirection, ve, even.steerDirection);
    AddScaledVec3(odd.axleDirection, odd.baseAxleDirection, vo, odd.steerDirection);
    NormalizeVec3(even.axleDirection);
    NormalizeVec3(odd.axleDirection);
    BuildWheelFrame(even.wheelFrame, even.axleDirection, false);
    BuildWheelFrame(odd.wheelFrame, odd.axleDirection, true);
  }
}

// ---------------------------------------------------------------- queries

namespace {

// Two doubles side by side, one register where the processor has them: each
// element gets exactly the double operations of the scalar formula.
using Double2 = double __attribute__((vector_size(16)));

VANTO_LANE_INLINE Double2 Load2(const double* p) {
  Double2 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
VANTO_LANE_INLINE void Store2(double* p, const Double2& v) { std::memcpy(p, &v, sizeof v); }
VANTO_LANE_INLINE Double2 Both(double v) { return Double2{v, v}; }

// A rotation about to turn several frames and points, its elements laid
// out for pairs: `each` every element twice (a row of a product is the sum
// of the right factor's rows weighted by them), `column` the first two rows
// of each column (the x and y of a turned point).
struct PairedRotation {
  Double2 each[9];
  Double2 column[3];
  double m[9];
};

VANTO_LANE_INLINE PairedRotation Paired(const Mat3& M) {
  PairedRotation p;
  for (int k = 0; k < 9; ++k) {
    p.each[k] = Both(M.m[k]);
    p.m[k] = M.m[k];
  }
  for (int k = 0; k < 3; ++k) p.column[k] = Double2{M.m[k], M.m[3 + k]};
  return p;
}

// R = A B, as MulMat3 computes it.
VANTO_LANE_INLINE void MulPaired(Mat3& R, const PairedRotation& a, const Mat3& B) {
  const double* b = B.m;
  const Double2 b0 = Load2(b), b1 = Load2(b + 3), b2 = Load2(b + 6);
  const double b02 = b[2], b12 = b[5], b22 = b[8];
  for (int r = 0; r < 3; ++r) {
    Store2(R.m + 3 * r, a.each[3 * r] * b0 + a.each[3 * r + 1] * b1 + a.each[3 * r + 2] * b2);
    R.m[3 * r + 2] = a.m[3 * r] * b02 + a.m[3 * r + 1] * b12 + a.m[3 * r + 2] * b22;
  }
}

// r = A v + t, as TransformToWorld computes it.
VANTO_LANE_INLINE void TransformPaired(Vec3& r, const PairedRotation& a, const Vec3& v, const Vec3& t) {
  const Double2 xy = a.column[0] * v.x + a.column[1] * v.y + a.column[2] * v.z + Load2(&t.x);
  Store2(&r.x, xy);
  r.z = a.m[6] * v.x + a.m[7] * v.y + a.m[8] * v.z + t.z;
}

VANTO_LANE_INLINE void BodyTransformOf(const CarDynamics& d, Vec3& origin, Mat3& rotation) {
  const PairedRotation R = Paired(d.body.rotation);
  MulPaired(rotation, R, d.body.principalAxes);
  TransformPaired(origin, R, d.body.referenceOffset, d.body.position);
}

VANTO_LANE_INLINE void WheelFramesOf(const CarDynamics& d, Vec3* positions, Mat3* frames, int32 mode) {
  const RigidBody& b = d.body;
  const PairedRotation R = Paired(b.rotation);
  for (int32 i = 0; i < d.wheelCount; ++i) {
    const WheelState& w = d.wheels[i];
    Vec3 hub;
    AddScaledVec3(hub, w.mountPoint, w.compression, w.suspensionDirection);
    if (positions) TransformPaired(positions[i], R, hub, b.position);
    if (!frames) continue;
    if (mode >= 1) {
      Mat3 spin, turned;
      RotationMat3(spin, Axis::X, (i & 1) ? -w.rotationAngle : w.rotationAngle);
      MulMat3(turned, w.wheelFrame, spin);
      MulPaired(frames[i], R, turned);
    } else {
      MulPaired(frames[i], R, w.wheelFrame);
    }
  }
}

// Built once for four-wide registers (whose instructions also do pairs in
// fewer steps) and once without; gEngine.wideRegisters picks one.
void BodyTransformPlain(const CarDynamics& d, Vec3& origin, Mat3& rotation) { BodyTransformOf(d, origin, rotation); }
VANTO_WIDE_VERSION void BodyTransformWide(const CarDynamics& d, Vec3& origin, Mat3& rotation) {
  BodyTransformOf(d, origin, rotation);
}
void WheelFramesPlain(const CarDynamics& d, Vec3* positions, Mat3* frames, int32 mode) {
  WheelFramesOf(d, positions, frames, mode);
}
VANTO_WIDE_VERSION void WheelFramesWide(const CarDynamics& d, Vec3* positions, Mat3* frames, int32 mode) {
  WheelFramesOf(d, positions, frames, mode);
}

}  // namespace

void GetBodyTransform(const CarDynamics& d, Vec3& origin, Mat3& rotation) {
  if (VANTO_HAS_WIDE_VERSION && gEngine.wideRegisters) BodyTransformWide(d, origin, rotation);
  else BodyTransformPlain(d, origin, rotation);
}

void GetWheelFrames(CarDynamics& d, Vec3* positions, Mat3* frames, int32 mode) {
  if (mode < 0) {
    ApplySteering(d, 0.0);
    mode = 0;
  }
  if (VANTO_HAS_WIDE_VERSION && gEngine.wideRegisters) WheelFramesWide(d, positions, frames, mode);
  else WheelFramesPlain(d, positions, frames, mode);
}

namespace {
template <int32 kWheels>
VANTO_LANE_INLINE double MeanPoweredWheelSpinOf(const CarDynamics& d) {
  double sum = 0.0;
  for (int32 a = 0; a < AxlesOf<kWheels>(d); ++a)
    sum += d.torqueSplit[a] * (d.wheels[2 * a].spinRate + d.wheels[2 * a + 1].spinRate);
  return sum;
}

template <int32 kWheels>
VANTO_LANE_INLINE void AddAxleTorqueOf(CarDynamics& d, double torque) {
  for (int32 a = 0; a < AxlesOf<kWheels>(d); ++a) {
    const double t = torque * d.torqueSplit[a];
    d.wheels[2 * a].axleTorque += t;
    d.wheels[2 * a + 1].axleTorque += t;
  }
}
}  // namespace

double MeanPoweredWheelSpin(const CarDynamics& d) { return MeanPoweredWheelSpinOf<0>(d); }

double LongestStableStep(const CarDynamics& d) {
  // The clutch mode: the engine and the driven wheels pulled together by
  // k (we - r wm) decay at rate k (1 / Ie + r^2 sum 2 s^2 / Iw). The
  // classic fourth-order Runge-Kutta step stays stable for rate x h up to
  // about 2.78; 2.0 leaves room for the tyres acting on the same wheels.
  double wheels = 0.0;
  for (int32 a = 0; a < d.axleCount && a < kMaxAxles; ++a) {
    const double s = d.torqueSplit[a];
    for (int32 i = 2 * a; i <= 2 * a + 1; ++i) wheels += s * s * d.wheels[i].inverseInertia;
  }
  double r2 = d.reverseRatio * d.reverseRatio;
  for (int32 g = 0; g < d.gearCount && g < kMaxGears; ++g) r2 = std::fmax(r2, d.gearRatio[g] * d.gearRatio[g]);
  const double rate = std::fabs(d.clutchStiffness) * (d.engine.inverseInertia + r2 * wheels);
  const double h = rate > 0.0 ? 2.0 / rate : kLongestModelStep;
  return std::isfinite(h) && h < kLongestModelStep ? h : kLongestModelStep;
}

int32 InternalStepCount(const CarDynamics& d, double dt) {
  // A step a rounding error longer than the limit is not divided.
  const double n = std::ceil(dt / LongestStableStep(d) * (1.0 - 1e-12));
  if (!(n > 1.0)) return 1;
  return n < 1e6 ? static_cast<int32>(n) : 1000000;
}

double RollingDriveSpin(const CarDynamics& d) {
  double radius = 0.0;
  for (int32 a = 0; a < d.axleCount && a < kMaxAxles; ++a)
    radius += d.torqueSplit[a] * (d.wheels[2 * a].radius + d.wheels[2 * a + 1].radius);
  return radius > 0.0 ? LengthVec3(d.body.velocity) / radius : 0.0;
}

void AddAxleTorque(CarDynamics& d, double torque) { AddAxleTorqueOf<0>(d, torque); }

namespace {

// A vector of wheel quantities: T is double for one wheel, Double4 for four
// side by side.
template <class T>
struct Triple {
  T x, y, z;
};

template <class T>
VANTO_LANE_INLINE Triple<T> Rotate(const Mat3& M, const Triple<T>& v) {
  const double* R = M.m;
  return {R[0] * v.x + R[1] * v.y + R[2] * v.z, R[3] * v.x + R[4] * v.y + R[5] * v.z,
          R[6] * v.x + R[7] * v.y + R[8] * v.z};
}

template <class T>
VANTO_LANE_INLINE Triple<T> RotateBack(const Mat3& M, const Triple<T>& v) {
  const double* R = M.m;
  return {R[0] * v.x + R[3] * v.y + R[6] * v.z, R[1] * v.x + R[4] * v.y + R[7] * v.z,
          R[2] * v.x + R[5] * v.y + R[8] * v.z};
}

template <class T>
VANTO_LANE_INLINE Triple<T> Cross(const Triple<T>& a, const Triple<T>& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

template <class T>
VANTO_LANE_INLINE T Dot(const Triple<T>& a, const Triple<T>& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// One wheel's mounting, in body axes from the centre of mass.
template <class T>
struct WheelMount {
  Triple<T> hub;          // at the current compression
  Triple<T> suspension;   // direction of travel
  T compressionRate;
  Triple<T> axle;         // axle direction
};

inline WheelMount<double> MountOf(const WheelState& w) {
  const Vec3 &m = w.mountPoint, &s = w.suspensionDirection, &a = w.axleDirection;
  const double c = w.compression;
  return {{m.x + c * s.x, m.y + c * s.y, m.z + c * s.z}, {s.x, s.y, s.z}, w.compressionRate, {a.x, a.y, a.z}};
}

// World hub position, hub velocity and axle direction.
template <class T>
VANTO_LANE_INLINE void ContactFrame(const RigidBody& b, const WheelMount<T>& w, Triple<T>& hub, Triple<T>& hubVelocity,
                                    Triple<T>& axle) {
  const Vec3& o = b.angularVelocity;
  const Triple<T>& l = w.hub;
  const T c = w.compressionRate;
  const Triple<T> rel{o.y * l.z - o.z * l.y + c * w.suspension.x, o.z * l.x - o.x * l.z + c * w.suspension.y,
                      o.x * l.y - o.y * l.x + c * w.suspension.z};
  const Triple<T> v = Rotate(b.rotation, rel);
  hubVelocity = {v.x + b.velocity.x, v.y + b.velocity.y, v.z + b.velocity.z};
  const Triple<T> h = Rotate(b.rotation, l);
  hub = {h.x + b.position.x, h.y + b.position.y, h.z + b.position.z};
  axle = Rotate(b.rotation, w.axle);
}

// What a tyre force (world) at a contact point (world) does: its moment
// about the hub along the axle turns the wheel, its part along the
// suspension loads the spring, and the whole force acts on the body at the
// contact point (the moment in body axes about the centre of mass).
template <class T>
struct TyreLoad {
  T axleTorque, suspensionForce;
  Triple<T> bodyTorque;
};

template <class T>
VANTO_LANE_INLINE TyreLoad<T> LoadOfTyreForce(const RigidBody& b, const WheelMount<T>& w, const Triple<T>& contactPoint,
                                              const Triple<T>& force) {
  const Triple<T> cp = RotateBack(b.rotation, Triple<T>{contactPoint.x - b.position.x, contactPoint.y - b.position.y,
                                                        contactPoint.z - b.position.z});
  const Triple<T> F = RotateBack(b.rotation, force);
  const Triple<T> lever{cp.x - w.hub.x, cp.y - w.hub.y, cp.z - w.hub.z};
  return {Dot(Cross(lever, F), w.axle), Dot(F, w.suspension), Cross(cp, F)};
}

// Adds one wheel's tyre load to the wheel and the body. The world force is
// added to the body's force as it is: turning it into body axes and back
// would only add rounding.
inline void AddTyreLoad(Vec3& bodyTorque, Vec3& bodyForce, WheelState& w, const TyreLoad<double>& load,
                        const Vec3& force) {
  w.axleTorque += load.axleTorque;
  w.suspensionForce += load.suspensionForce;
  bodyTorque.x += load.bodyTorque.x;
  bodyTorque.y += load.bodyTorque.y;
  bodyTorque.z += load.bodyTorque.z;
  AddToVec3(bodyForce, force);
}

// Up to four wheels on the ground for step 4 of the force pass, with what
// stays fixed through the four passes of a step gathered once: the
// wheels' mountings in body axes and the tyre lanes' fixed inputs.
struct TyreBlockLanes {
  int32 wheel[TyreLanes::kWidth];
  int32 count;
  const WheelState* w[TyreLanes::kWidth];  // spare lanes repeat the last wheel
  int32 at[TyreLanes::kWidth];
  // x, y and z of the four wheels (plain arrays: a stack record need not
  // be aligned as a four-wide register is).
  double mountPoint[3][TyreLanes::kWidth], suspension[3][TyreLanes::kWidth], axle[3][TyreLanes::kWidth];
  double radius[TyreLanes::kWidth];
  TyreLanes t;
};

// The wheels on the ground in blocks of four, in wheel order. A wheel
// without a ground record has no contact, and its slips keep their values.
struct TyreBlocks {
  static constexpr int32 kMaxBlocks = (kMaxWheels + TyreLanes::kWidth - 1) / TyreLanes::kWidth;
  int32 count = 0;
  TyreBlockLanes block[kMaxBlocks];
};

// The four wheels' values go straight into vectors, built in registers: a
// wide read of values just stored one by one would wait for all of them.
#define VANTO_WHEELS(value) Double4{b.w[0]->value, b.w[1]->value, b.w[2]->value, b.w[3]->value}

VANTO_LANE_INLINE void PrepareTyreBlock(CarDynamics& d, TyreBlockLanes& b) {
  using vanto::Double4;
  using vanto::Store4;
  constexpr int32 kLanes = TyreLanes::kWidth;
  TyreLanes& t = b.t;
  t.count = b.count;
  const TyreBlock* tb[kLanes];
  for (int32 l = 0; l < kLanes; ++l) {
    const int32 i = b.wheel[l < b.count ? l : b.count - 1];
    b.at[l] = i;
    b.w[l] = &d.wheels[i];
    tb[l] = &d.tyreBlock[i];
    for (int32 k = 0; k < 3; ++k) {
      t.profiles[k][l] = &d.tyreProfiles[k][tb[l]->profileGroup];
      t.curveTable[k][l] = d.tyreCurveTables[tb[l]->profileGroup][k];
    }
    t.ground[l] = d.wheelGround[i];
    t.output[l] = &d.tyreOutput[i];
  }
  const int32(&at)[kLanes] = b.at;
#define VANTO_TYRES(value) Double4{tb[0]->value, tb[1]->value, tb[2]->value, tb[3]->value}
  Store4(b.radius, VANTO_TYRES(radius));
  Store4(t.stiffness, VANTO_TYRES(radialStiffness));
#undef VANTO_TYRES
  Store4(t.staticLoad, Double4{d.staticWheelLoad[at[0] / 2], d.staticWheelLoad[at[1] / 2],
                               d.staticWheelLoad[at[2] / 2], d.staticWheelLoad[at[3] / 2]});
  Store4(b.mountPoint[0], VANTO_WHEELS(mountPoint.x));
  Store4(b.mountPoint[1], VANTO_WHEELS(mountPoint.y));
  Store4(b.mountPoint[2], VANTO_WHEELS(mountPoint.z));
  Store4(b.suspension[0], VANTO_WHEELS(suspensionDirection.x));
  Store4(b.suspension[1], VANTO_WHEELS(suspensionDirection.y));
  Store4(b.suspension[2], VANTO_WHEELS(suspensionDirection.z));
  Store4(b.axle[0], VANTO_WHEELS(axleDirection.x));
  Store4(b.axle[1], VANTO_WHEELS(axleDirection.y));
  Store4(b.axle[2], VANTO_WHEELS(axleDirection.z));
  PrepareTyreLanes(t, true);
}

// Step 4 of the force pass for a prepared block: the wheels' contact
// frames, the tyre model and the forces onto the body, the wheels side by
// side. Returns whether any of them touches the ground.
VANTO_LANE_INLINE bool RunTyreBlock(CarDynamics& d, TyreBlockLanes& b) {
  using vanto::Double4;
  using vanto::Load4;
  using vanto::Store4;
  RigidBody& body = d.body;
  TyreLanes& t = b.t;
  const int32(&at)[TyreLanes::kWidth] = b.at;
#define VANTO_AT(array) Double4{array[at[0]], array[at[1]], array[at[2]], array[at[3]]}
  const Double4 rolling = VANTO_WHEELS(spinRate) * Load4(b.radius);
  const Double4 lateralSlip = VANTO_AT(d.lateralSlip.working), wheelSlip = VANTO_AT(d.wheelSlip.working);
#undef VANTO_AT
  const Double4 compression = VANTO_WHEELS(compression);
  const Triple<Double4> suspension{Load4(b.suspension[0]), Load4(b.suspension[1]), Load4(b.suspension[2])};
  const WheelMount<Double4> m{{Load4(b.mountPoint[0]) + compression * suspension.x,
                               Load4(b.mountPoint[1]) + compression * suspension.y,
                               Load4(b.mountPoint[2]) + compression * suspension.z},
                              suspension,
                              VANTO_WHEELS(compressionRate),
                              {Load4(b.axle[0]), Load4(b.axle[1]), Load4(b.axle[2])}};
  Triple<Double4> hub, velocity, axle;
  ContactFrame(body, m, hub, velocity, axle);

  // The model takes the wheels' values straight from the registers.
  const TyreModelInputs in{{hub.x, hub.y, hub.z},
                           {velocity.x, velocity.y, velocity.z},
                           {axle.x, axle.y, axle.z},
                           rolling,
                           lateralSlip,
                           wheelSlip};
  TyreModelResults out;
  RunTyreModel(t, in, out, &d.tyreConstants[kTyreCa], &d.tyreConstants[kTyreLk]);

  const Triple<Double4> force{out.force[0], out.force[1], out.force[2]};
  bool anyContact = false;
  for (int32 l = 0; l < b.count; ++l) {
    const int32 i = b.wheel[l];
    d.lateralSlip.rate[i] = t.lateralRate[l];
    d.wheelSlip.rate[i] = t.wheelRate[l];
    anyContact = anyContact || t.contact[l];
  }
  // A block in the air puts no load on the wheels or the body.
  if (!anyContact) return false;
  const TyreLoad<Double4> load =
      LoadOfTyreForce(body, m, {out.contactPoint[0], out.contactPoint[1], out.contactPoint[2]}, force);
  // The body's sums are kept in registers over the block, added to in
  // wheel order as one wheel after the other would.
  Vec3 torque = body.torque, bodyForce = body.force;
  for (int32 l = 0; l < b.count; ++l) {
    if (!t.contact[l]) continue;
    const int32 i = b.wheel[l];
    const TyreLoad<double> one{load.axleTorque[l], load.suspensionForce[l],
                               {load.bodyTorque.x[l], load.bodyTorque.y[l], load.bodyTorque.z[l]}};
    AddTyreLoad(torque, bodyForce, d.wheels[i], one, Vec3(force.x[l], force.y[l], force.z[l]));
  }
  body.torque = torque;
  body.force = bodyForce;
  return true;
}

#undef VANTO_WHEELS

// Built once for four-wide registers and once without; gEngine.wideRegisters
// picks one.
VANTO_WIDE_VERSION void PrepareTyreBlockWide(CarDynamics& d, TyreBlockLanes& b) { PrepareTyreBlock(d, b); }

void PrepareTyreBlockPlain(CarDynamics& d, TyreBlockLanes& b) { PrepareTyreBlock(d, b); }

VANTO_WIDE_VERSION bool RunTyreBlockWide(CarDynamics& d, TyreBlockLanes& b) { return RunTyreBlock(d, b); }

bool RunTyreBlockPlain(CarDynamics& d, TyreBlockLanes& b) { return RunTyreBlock(d, b); }

// The wheels on the ground, grouped and prepared for the passes of a step.
void PrepareTyreBlocks(CarDynamics& d, TyreBlocks& blocks) {
  blocks.count = 0;
  int32 pending = 0;
  for (int32 i = 0; i < d.wheelCount; ++i) {
    if (!d.wheelGround[i]) {
      d.tyreOutput[i] = TyreOutput();
      d.lateralSlip.rate[i] = 0.0;
      d.wheelSlip.rate[i] = 0.0;
      continue;
    }
    TyreBlockLanes& b = blocks.block[blocks.count];
    b.wheel[pending++] = i;
    if (pending == TyreLanes::kWidth) {
      b.count = pending;
      pending = 0;
      ++blocks.count;
    }
  }
  if (pending > 0) blocks.block[blocks.count++].count = pending;
  const bool wide = VANTO_HAS_WIDE_VERSION && gEngine.wideRegisters;
  for (int32 k = 0; k < blocks.count; ++k) {
    if (wide) PrepareTyreBlockWide(d, blocks.block[k]);
    else PrepareTyreBlockPlain(d, blocks.block[k]);
  }
}

// Step 4 of the force pass: the blocks' forces onto the body in wheel order.
bool RunTyreBlocks(CarDynamics& d, TyreBlocks& blocks) {
  const bool wide = VANTO_HAS_WIDE_VERSION && gEngine.wideRegisters;
  bool anyContact = false;
  for (int32 k = 0; k < blocks.count; ++k)
    anyContact = (wide ? RunTyreBlockWide(d, blocks.block[k]) : RunTyreBlockPlain(d, blocks.block[k])) || anyContact;
  return anyContact;
}

}  // namespace

void GetWheelContactFrame(const CarDynamics& d, int32 i, Vec3& hub, Vec3& hubVelocity, Vec3& axle,
                          double& spinRate) {
  const WheelState& w = d.wheels[i];
  Triple<double> h, v, a;
  ContactFrame(d.body, MountOf(w), h, v, a);
  hub = {h.x, h.y, h.z};
  hubVelocity = {v.x, v.y, v.z};
  axle = {a.x, a.y, a.z};
  spinRate = w.spinRate;
}

void ApplyTyreForceToBody(CarDynamics& d, int32 i, const Vec3& contactPoint, const Vec3& force) {
  WheelState& w = d.wheels[i];
  const TyreLoad<double> load = LoadOfTyreForce(d.body, MountOf(w), {contactPoint.x, contactPoint.y, contactPoint.z},
                                                {force.x, force.y, force.z});
  AddTyreLoad(d.body.torque, d.body.force, w, load, force);
}

void ApplyVelocityDrag(CarDynamics& d, double k) {
  RigidBody& b = d.body;
  Vec3 dir = b.velocity;
  NormalizeVec3(dir);  // a near-zero velocity is used as it is
  Vec3 F, origin;  // the model origin of GetBodyTransform, without its rotation
  ScaleVec3(F, b.weightForce * k, dir);
  TransformToWorld(origin, b.rotation, b.referenceOffset, b.position);
  body_step::ApplyWorldForceAtPoint(b, F, origin);
}

// ---------------------------------------------------------------- force pass

namespace {

// Whether any external force slot may hold a force. The slots are nearly
// always all zero, which one sweep over their bits tells more cheaply than
// the size test of each.
bool AnyExternalForce(const CarDynamics& d) {
  static_assert(sizeof d.externalForces % sizeof(vanto::Bits4) == 0);
  const char* bytes = reinterpret_cast<const char*>(d.externalForces);
  vanto::Bits4 bits{};
  for (size_t at = 0; at < sizeof d.externalForces; at += sizeof bits) {
    vanto::Bits4 chunk;
    std::memcpy(&chunk, bytes + at, sizeof chunk);
    bits |= chunk << 1;  // zeros of either sign count as zero
  }
  return !vanto::AllOf(bits == 0);
}

// The force pass; `externals` is AnyExternalForce and `tyres` the wheels
// on the ground prepared, which a step, whose slots, wheels and ground do
// not change, works out once for its four passes.
template <int32 kWheels>
VANTO_LANE_INLINE void CarForcesOf(CarDynamics& d, bool externals, TyreBlocks& tyres) {
  RigidBody& b = d.body;
  // 1. Clutch.
  const double w = MeanPoweredWheelSpinOf<kWheels>(d);
  const int32 g = d.engagedGear;
  double wheelTorque = 0.0;
  if (g >= 1) {
    const double r = ForwardRatio(d, g);
    d.clutchTorque = (d.engine.engineSpeed - w * r) * d.clutchStiffness;
    wheelTorque = d.clutchTorque * r;
  } else if (g < 0) {
    d.clutchTorque = (d.engine.engineSpeed - d.reverseRatio * w) * d.clutchStiffness;
    wheelTorque = d.reverseRatio * d.clutchTorque;
  } else {
    d.clutchTorque = 0.0;
  }
  AddAxleTorqueOf<kWheels>(d, wheelTorque);

  // 2. Brakes.
  for (int32 i = 0; i < WheelsOf<kWheels>(d); ++i) {
    WheelState& wh = d.wheels[i];
    const double limit = d.brakeTorque[wh.axleGroup];
    double t = wh.spinRate * d.brakeSpinCoefficient;
    if (t > limit) t = limit;
    else if (t < -limit) t = -limit;
    wh.axleTorque -= t;
  }

  // 3. Springs, dampers and anti-roll bars.
  for (int32 a = 0; a < AxlesOf<kWheels>(d); ++a) {
    WheelState& L = d.wheels[2 * a];
    WheelState& R = d.wheels[2 * a + 1];
    const int32 gL = L.axleGroup, gR = R.axleGroup;
    const double roll = (L.compression - R.compression) * d.antiRollStiffness[gL];
    L.suspensionForce += -(d.springStiffness[gL] * L.compression) - d.damperCoefficient[gL] * L.compressionRate - roll;
    R.suspensionForce += roll - (d.damperCoefficient[gR] * R.compressionRate + d.springStiffness[gR] * R.compression);
  }

  // 4. Tyres: the wheels on the ground four at a time, their forces onto
  // the body in wheel order.
  const bool anyContact = RunTyreBlocks(d, tyres);

  // 5. In the air: 1 % of the weight against the motion.
  if (!anyContact) ApplyVelocityDrag(d, 0.01);

  // 6. Aerodynamics.
  const double speed = LengthVec3(b.velocity);
  if (d.dragFactor > 0.0) {
    Vec3 origin, F;  // the model origin of GetBodyTransform
    TransformToWorld(origin, b.rotation, b.referenceOffset, b.position);
    ScaleVec3(F, -(d.dragFactor * speed), b.velocity);
    body_step::ApplyWorldForceAtPoint(b, F, origin);
  }
  if (d.frontLiftFactor > 0.0 || d.rearLiftFactor > 0.0) {
    // Lift acts along the body's own down axis: minus the third column of
    // the model rotation (rotation x principalAxes) of GetBodyTransform.
    const double* R = b.rotation.m;
    const double* P = b.principalAxes.m;
    const Vec3 down{-(R[0] * P[2] + R[1] * P[5] + R[2] * P[8]), -(R[3] * P[2] + R[4] * P[5] + R[5] * P[8]),
                    -(R[6] * P[2] + R[7] * P[5] + R[8] * P[8])};
    const double u2 = speed * speed;
    auto liftAt = [&](int32 first, double factor) {
      if (!(factor > 0.0) || first + 1 >= d.wheelCount) return;
      Vec3 p0, p1, v, axle, mid, F;
      double spin;
      GetWheelContactFrame(d, first, p0, v, axle, spin);
      GetWheelContactFrame(d, first + 1, p1, v, axle, spin);
      LerpVec3(mid, p0, p1, 0.5);
      ScaleVec3(F, factor * u2, down);
      ApplyWorldForceAtPoint(b, F, mid);
    };
    liftAt(0, d.frontLiftFactor);
    liftAt(2, d.rearLiftFactor);
  }

  // 7., 8. One-off and external forces.
  if (LengthSquaredVec3(d.singleForce) > 1.0) ApplyWorldForceAtPoint(b, d.singleForce, d.singleForcePoint);
  if (!externals) return;
  for (int32 k = 0; k < kForceSlots; ++k)
    if (LengthSquaredVec3(d.externalForces[k]) > 1.0)
      ApplyWorldForceAtPoint(b, d.externalForces[k], d.externalForcePoints[k]);
}

// The force pass once for any car and once for four wheels; the step built
// for four-wide registers has its four passes inline (see IntegrateCarStep).
void CarForces(CarDynamics& d, bool externals, TyreBlocks& tyres) { CarForcesOf<0>(d, externals, tyres); }
void CarForcesFour(CarDynamics& d, bool externals, TyreBlocks& tyres) { CarForcesOf<4>(d, externals, tyres); }

}  // namespace

void ComputeCarForces(CarDynamics& d) {
  TyreBlocks tyres;
  PrepareTyreBlocks(d, tyres);
  CarForces(d, AnyExternalForce(d), tyres);
}

// ---------------------------------------------------------------- stage passes

namespace {
template <int32 kWheels>
VANTO_LANE_INLINE void BeginDynamicsStepOf(CarDynamics& d) {
  body_step::Begin(d.body);
  for (int32 i = 0; i < WheelsOf<kWheels>(d); ++i) {
    WheelState& w = d.wheels[i];
    w.startCompression = w.compression;
    w.startCompressionRate = w.compressionRate;
    w.startRotationAngle = w.rotationAngle;
    w.startSpinRate = w.spinRate;
    w.suspensionForce = w.axleTorque = 0.0;
  }
}

// A wheel's integrated states (compression, its rate, angle, spin rate),
// their start values and a stage record are four doubles in a row each, and
// the two accumulators and the two inverse inertias two: the stage passes
// take them four (or two) at a time, each element with the operations of
// its own formula.
using vanto::Double4;
static_assert(offsetof(WheelState, compressionRate) == offsetof(WheelState, compression) + 8 &&
              offsetof(WheelState, rotationAngle) == offsetof(WheelState, compression) + 16 &&
              offsetof(WheelState, spinRate) == offsetof(WheelState, compression) + 24 &&
              offsetof(WheelState, axleTorque) == offsetof(WheelState, suspensionForce) + 8 &&
              offsetof(WheelState, startCompressionRate) == offsetof(WheelState, startCompression) + 8 &&
              offsetof(WheelState, startRotationAngle) == offsetof(WheelState, startCompression) + 16 &&
              offsetof(WheelState, startSpinRate) == offsetof(WheelState, startCompression) + 24 &&
              offsetof(WheelState, inverseInertia) == offsetof(WheelState, inverseMass) + 8 &&
              sizeof(WheelStage) == 4 * sizeof(double) && offsetof(WheelStage, compressionRateIncrement) == 8 &&
              offsetof(WheelStage, spinRate) == 16 && offsetof(WheelStage, spinRateIncrement) == 24);

VANTO_LANE_INLINE Double4 LoadFour(const double* p) {
  Double4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
VANTO_LANE_INLINE void StoreFour(double* p, const Double4& v) { std::memcpy(p, &v, sizeof v); }

// (compression rate, its increment, spin rate, its increment) over `incH`,
// the increments from the accumulated force and torque.
VANTO_LANE_INLINE Double4 WheelRatesAndIncrements(const WheelState& w, double incH) {
  const Double2 increments = Load2(&w.suspensionForce) * Load2(&w.inverseMass) * incH;
  const Double4 states = LoadFour(&w.compression);
  return Double4{states[1], increments[0], states[3], increments[1]};
}

// Stage k of the wheel states: increments with `incH`, positions from the
// start state with `posH`.
template <int32 kWheels>
VANTO_LANE_INLINE void IntegrateWheelStates(CarDynamics& d, int k, double incH, double posH) {
  const Double4 step{posH, 1.0, posH, 1.0};  // increments are added whole
  for (int32 i = 0; i < WheelsOf<kWheels>(d); ++i) {
    WheelState& w = d.wheels[i];
    const Double4 stage = WheelRatesAndIncrements(w, incH);
    StoreFour(&w.stage[k].compressionRate, stage);
    StoreFour(&w.compression, LoadFour(&w.startCompression) + stage * step);
    w.suspensionForce = w.axleTorque = 0.0;
  }
}

template <int32 kWheels>
VANTO_LANE_INLINE void DynamicsStage1Of(CarDynamics& d) {
  body_step::Stage1(d.body);
  IntegrateWheelStates<kWheels>(d, 0, gEngine.h2, gEngine.h2);
}

template <int32 kWheels>
VANTO_LANE_INLINE void DynamicsStage2Of(CarDynamics& d) {
  body_step::Stage2(d.body);
  IntegrateWheelStates<kWheels>(d, 1, gEngine.h2, gEngine.h2);
}

template <int32 kWheels>
VANTO_LANE_INLINE void DynamicsStage3Of(CarDynamics& d) {
  body_step::Stage3(d.body);
  IntegrateWheelStates<kWheels>(d, 2, gEngine.h, gEngine.h);
}

template <int32 kWheels>
VANTO_LANE_INLINE void FinishDynamicsStepOf(CarDynamics& d) {
  body_step::Finish(d.body);
  const double h2 = gEngine.h2, h6 = gEngine.h6, third = vanto::kFloatThird;
  // Positions (compression, angle) take the stage rates with weights 1, 2,
  // 2 and the last rate over h/6; rates take the increments with weights
  // 1, 2, 1 and the last increment, a third of it, from the first stage's
  // rate.
  const Double4 lastWeight{2.0, 1.0, 2.0, 1.0}, factor{h6, third, h6, third};
  for (int32 i = 0; i < WheelsOf<kWheels>(d); ++i) {
    WheelState& w = d.wheels[i];
    const Double4 s0 = LoadFour(&w.stage[0].compressionRate), s1 = LoadFour(&w.stage[1].compressionRate),
                  s2 = LoadFour(&w.stage[2].compressionRate), last = WheelRatesAndIncrements(w, h2),
                  start = LoadFour(&w.startCompression);
    const Double4 base{start[0], s0[0], start[2], s0[2]};
    const Double4 next = base + (s0 + 2.0 * s1 + lastWeight * s2 + last) * factor;
    w.compression = next[0];
    w.compressionRate = next[1];
    const double angle = next[2];
    w.spinRate = next[3];
    SimulationAssert(std::fabs(angle) < vanto::kWheelAngleLimit);
    // fmod leaves an angle within a turn as it is; only a wrap needs the call.
    w.rotationAngle = std::fabs(angle) < vanto::kWheelAngleTurn ? angle : std::fmod(angle, vanto::kWheelAngleTurn);
    if (w.compression > w.maxCompression) w.compression = w.maxCompression;
  }
}
}  // namespace

void BeginDynamicsStep(CarDynamics& d) { BeginDynamicsStepOf<0>(d); }
void DynamicsStage1(CarDynamics& d) { DynamicsStage1Of<0>(d); }
void DynamicsStage2(CarDynamics& d) { DynamicsStage2Of<0>(d); }
void DynamicsStage3(CarDynamics& d) { DynamicsStage3Of<0>(d); }
void FinishDynamicsStep(CarDynamics& d) { FinishDynamicsStepOf<0>(d); }

void RestoreBodyAndWheels(CarDynamics& d) {
  RestoreRigidBody(d.body);
  for (int32 i = 0; i < d.wheelCount; ++i) {
    WheelState& w = d.wheels[i];
    w.compression = w.startCompression;
    w.compressionRate = w.startCompressionRate;
    w.rotationAngle = w.startRotationAngle;
    w.spinRate = w.startSpinRate;
  }
}

void RestoreDynamicsState(CarDynamics& d) {
  RestoreBodyAndWheels(d);
  RestoreEngineState(d.engine);
}

// ---------------------------------------------------------------- engine

namespace {
// std::fmin without the library call: the smaller value, the second on a
// tie (as the x86-64 library returns it), and the other when one is NaN.
VANTO_LANE_INLINE double Min(double x, double y) { return x < y ? x : (y == y ? y : x); }

VANTO_LANE_INLINE double EngineDerivative(const EngineState& e, double clutchTorque) {
  const double friction = Min(e.engineSpeed * e.frictionPerSpeed, e.frictionCap);
  return (EvaluateSampledCurve(e.torqueCurve, e.engineSpeed) * e.throttle - friction - clutchTorque) *
         e.inverseInertia;
}


VANTO_LANE_INLINE void BeginEngineStepOf(EngineState& e, double throttle) {
  if (e.engineSpeed > e.speedLimit) e.engineSpeed = e.speedLimit;
  e.throttle = throttle;
  e.startSpeed = e.engineSpeed;
}

// Stage k (0..2) with the increment over `incH`.
VANTO_LANE_INLINE void IntegrateEngineStageOf(EngineState& e, int k, double incH, double clutchTorque) {
  e.stageSpeed[k] = e.engineSpeed;
  e.stageIncrement[k] = EngineDerivative(e, clutchTorque) * incH;
  e.engineSpeed = e.startSpeed + e.stageIncrement[k];
}

VANTO_LANE_INLINE void FinishEngineStepOf(EngineState& e, double clutchTorque) {
  const double d4 = EngineDerivative(e, clutchTorque) * gEngine.h2;
  e.engineSpeed =
      e.startSpeed + (e.stageIncrement[0] + 2.0 * e.stageIncrement[1] + e.stageIncrement[2] + d4) * vanto::kFloatThird;
}
}  // namespace

void BeginEngineStep(EngineState& e, double throttle) { BeginEngineStepOf(e, throttle); }
void IntegrateEngineStage1(EngineState& e, double clutchTorque) { IntegrateEngineStageOf(e, 0, gEngine.h2, clutchTorque); }
void IntegrateEngineStage2(EngineState& e, double clutchTorque) { IntegrateEngineStageOf(e, 1, gEngine.h2, clutchTorque); }
void IntegrateEngineStage3(EngineState& e, double clutchTorque) { IntegrateEngineStageOf(e, 2, gEngine.h, clutchTorque); }
void FinishEngineStep(EngineState& e, double clutchTorque) { FinishEngineStepOf(e, clutchTorque); }

void RestoreEngineState(EngineState& e) { e.engineSpeed = e.startSpeed; }

// ---------------------------------------------------------------- slip states

namespace {
template <int32 kWheels>
VANTO_LANE_INLINE void BeginWheelsStepOf(CarDynamics& d) {
  for (int32 i = 0; i < WheelsOf<kWheels>(d); ++i) {
    d.lateralSlip.working[i] = d.lateralSlip.saved[i];
    d.wheelSlip.working[i] = d.wheelSlip.saved[i];
  }
}

template <int32 kWheels, typename F>
VANTO_LANE_INLINE void ForEachSlip(CarDynamics& d, F f) {
  for (int32 i = 0; i < WheelsOf<kWheels>(d); ++i) {
    f(d.lateralSlip, i);
    f(d.wheelSlip, i);
  }
}

template <int32 kWheels>
VANTO_LANE_INLINE void IntegrateWheelsStage1Of(CarDynamics& d) {
  const double h2 = gEngine.h2;
  ForEachSlip<kWheels>(d, [h2](SlipStateArrays& s, int32 i) {
    s.stage1Rate[i] = s.rate[i];
    s.working[i] = s.saved[i] + s.stage1Rate[i] * h2;
  });
}

template <int32 kWheels>
VANTO_LANE_INLINE void IntegrateWheelsStage2Of(CarDynamics& d) {
  const double h2 = gEngine.h2;
  ForEachSlip<kWheels>(d, [h2](SlipStateArrays& s, int32 i) {
    s.stage2Rate[i] = s.rate[i];
    s.working[i] = s.saved[i] + s.stage2Rate[i] * h2;
  });
}

template <int32 kWheels>
VANTO_LANE_INLINE void IntegrateWheelsStage3Of(CarDynamics& d) {
  const double h = gEngine.h;
  ForEachSlip<kWheels>(d, [h](SlipStateArrays& s, int32 i) {
    s.stage23Sum[i] = s.rate[i] + s.stage2Rate[i];
    s.working[i] = s.saved[i] + s.rate[i] * h;
  });
}

template <int32 kWheels>
VANTO_LANE_INLINE void FinishWheelsStepOf(CarDynamics& d) {
  const double h6 = gEngine.h6;
  ForEachSlip<kWheels>(d, [h6](SlipStateArrays& s, int32 i) {
    double x = s.saved[i] + (s.rate[i] + s.stage1Rate[i] + 2.0 * s.stage23Sum[i]) * h6;
    // A diverging slip stays finite.
    if (x > 1e6) x = 1e6;
    else if (x < -1e6) x = -1e6;
    s.saved[i] = x;
  });
}
}  // namespace

void BeginWheelsStep(CarDynamics& d) { BeginWheelsStepOf<0>(d); }
void IntegrateWheelsStage1(CarDynamics& d) { IntegrateWheelsStage1Of<0>(d); }
void IntegrateWheelsStage2(CarDynamics& d) { IntegrateWheelsStage2Of<0>(d); }
void IntegrateWheelsStage3(CarDynamics& d) { IntegrateWheelsStage3Of<0>(d); }
void FinishWheelsStep(CarDynamics& d) { FinishWheelsStepOf<0>(d); }

// ---------------------------------------------------------------- one step

namespace {
// The Runge-Kutta step of the whole car: four force passes, the stages
// between them. A car of four wheels has it built twice, once for four-wide
// registers: the same operations on each double, so the same bits, in
// fewer instructions.
template <int32 kWheels, bool kWide>
VANTO_LANE_INLINE void IntegrateCarStep(CarDynamics& d, double throttle) {
  const bool externals = AnyExternalForce(d);
  TyreBlocks tyres;
  PrepareTyreBlocks(d, tyres);
  // Inline, so that the wide step's passes are built wide as well.
  auto forces = [&d, externals, &tyres]() __attribute__((always_inline)) {
    if constexpr (kWide) CarForcesOf<4>(d, externals, tyres);
    else if constexpr (kWheels == 4) CarForcesFour(d, externals, tyres);
    else CarForces(d, externals, tyres);
  };
  BeginDynamicsStepOf<kWheels>(d);
  BeginEngineStepOf(d.engine, throttle);
  BeginWheelsStepOf<kWheels>(d);

  forces();
  DynamicsStage1Of<kWheels>(d);
  IntegrateEngineStageOf(d.engine, 0, gEngine.h2, d.clutchTorque);
  IntegrateWheelsStage1Of<kWheels>(d);

  forces();
  DynamicsStage2Of<kWheels>(d);
  IntegrateEngineStageOf(d.engine, 1, gEngine.h2, d.clutchTorque);
  IntegrateWheelsStage2Of<kWheels>(d);

  forces();
  DynamicsStage3Of<kWheels>(d);
  IntegrateEngineStageOf(d.engine, 2, gEngine.h, d.clutchTorque);
  IntegrateWheelsStage3Of<kWheels>(d);

  forces();
  FinishDynamicsStepOf<kWheels>(d);
  FinishEngineStepOf(d.engine, d.clutchTorque);
  FinishWheelsStepOf<kWheels>(d);
}

void IntegrateAnyCarStep(CarDynamics& d, double throttle) { IntegrateCarStep<0, false>(d, throttle); }
void IntegrateFourWheelStep(CarDynamics& d, double throttle) { IntegrateCarStep<4, false>(d, throttle); }
VANTO_WIDE_VERSION void IntegrateFourWheelStepWide(CarDynamics& d, double throttle) {
  IntegrateCarStep<4, true>(d, throttle);
}
}  // namespace

void StepCarDynamics(CarDynamics& d, double dt, double steer, double T, double B, double H, double V) {
  ApplySteering(d, steer);
  double throttle;
  if (d.crashFlag) {
    d.engagedGear = 0;
    throttle = 0.0;
    d.brakeTorque[0] = 0.5 * d.frontBrakeTorque;
    d.brakeTorque[1] = 0.5 * d.rearBrakeTorque;
  } else {
    throttle = T;
    if (d.gear == -1) {
      if (T > 0.0) d.gear = 1;
      else throttle = V;
    } else if (V > 0.0) {
      d.gear = -1;
      throttle = V;
    } else {
      const int32 g = d.gear;
      EngineState& e = d.engine;
      // The engine speed the box would have in gear `to`. A zero ratio
      // carries no speed across; the engine keeps its own.
      auto speedIn = [&](int32 to) {
        const double from = ForwardRatio(d, g);
        return from != 0.0 ? e.engineSpeed * ForwardRatio(d, to) / from : e.engineSpeed;
      };
      // A shift whose new engine speed lies beyond the other shift point
      // would be undone on the next step: the box stays until it can land
      // inside [down, up].
      if (g >= 1 && e.engineSpeed > d.upShiftSpeed && g < d.gearCount) {
        const double after = speedIn(g + 1);
        // Spinning driven wheels raise the engine speed only while the low
        // gear's torque keeps them spinning: the new gear is judged by the
        // speed the wheels would roll at as well.
        const double rolling = RollingDriveSpin(d) * ForwardRatio(d, g + 1);
        if (!(after < d.downShiftSpeed) && !(rolling < d.downShiftSpeed)) {
          d.gear = g + 1;
          e.engineSpeed = after;
        }
      } else if (!(e.engineSpeed > d.upShiftSpeed) && e.engineSpeed < d.downShiftSpeed && g >= 2 && g <= d.gearCount) {
        const double after = speedIn(g - 1);
        if (!(after > d.upShiftSpeed)) {
          d.gear = g - 1;
          e.engineSpeed = after;
        }
      }
    }
    d.engagedGear = (B > d.pedalThreshold || H > d.pedalThreshold) ? 0 : d.gear;
    d.brakeTorque[0] = B * d.frontBrakeTorque;
    d.brakeTorque[1] = B * d.rearBrakeTorque + H * d.handbrakeTorque;
  }

  SetStepSize(dt);
  if (d.wheelCount != 4 || d.axleCount != 2) IntegrateAnyCarStep(d, throttle);
  else if (VANTO_HAS_WIDE_VERSION && gEngine.wideRegisters) IntegrateFourWheelStepWide(d, throttle);
  else IntegrateFourWheelStep(d, throttle);
}
