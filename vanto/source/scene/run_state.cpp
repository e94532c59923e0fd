#include "scene/run_state.h"

#include <cmath>

#include "engine/engine_constants.h"
#include "engine/engine_globals.h"
#include "engine/wheel_hub.h"

namespace {

// Whether many values are all finite, without a branch for each: v * 0 is
// a zero for every finite v and NaN for NaN and the infinities, and a sum
// of zeros stays a zero.
inline void AddFiniteTest(double& sum, double v) { sum += v * 0.0; }
inline void AddFiniteTest(double& sum, const Vec3& v) {
  AddFiniteTest(sum, v.x);
  AddFiniteTest(sum, v.y);
  AddFiniteTest(sum, v.z);
}

// Wheel frame f (engine axes) as host axes: the frame's first column, its
// third, and its second negated.
void WheelFrameToHostMatrix(Matrix& out, const Mat3& f, const Vec3& hub, double unitsPerMetre) {
  Vector off;
  DynamicsToHostAxes(off, hub);
  out = WheelFrameToHostAxes(f);
  out.off = off * unitsPerMetre;
}

}  // namespace

int32 StoreDynamicsResults(CarState& car, int32 body, int32 wheels) {
  CarDynamics& d = car.dynamics;
  const double upm = car.settings.unitsPerMetre;
  if (body) {
    Vec3 origin;
    Mat3 Q;
    GetBodyTransform(d, origin, Q);
    // The body integrates its spin in principal axes; the record holds it in
    // the model axes the body matrix uses.
    Vec3 wModel;
    MulMat3TransposedVec3(wModel, d.body.principalAxes, d.body.angularVelocity);
    double test = 0.0;
    AddFiniteTest(test, d.body.velocity);
    AddFiniteTest(test, wModel);
    AddFiniteTest(test, origin);
    for (double v : Q.m) AddFiniteTest(test, v);
    if (!(test == 0.0)) return kStatusNotFinite;

    Mat3ToHostMatrix(car.bodyMatrix, Q);
    Vector off;
    DynamicsToHostAxes(off, origin);
    car.bodyMatrix.off = off * upm;
    car.velocity = DynamicsToHostOrder(d.body.velocity);
    car.angularVelocity = DynamicsToHostOrder(wModel);
  }
  if (wheels) {
    car.speed = LengthVec3(car.velocity);
    Vec3 hubs[kMaxWheels];
    Mat3 frames[kMaxWheels];
    const int32 n = d.wheelCount < kMaxWheels ? d.wheelCount : kMaxWheels;
    GetWheelFrames(d, hubs, frames, 1);
    for (int32 w = 0; w < n; ++w) {
      car.wheelAngles[w] = GetWheelAngle(d, w);
      WheelFrameToHostMatrix(car.wheelMatrices[w], frames[w], hubs[w], upm);
    }
    // The hubs do not move with spin or steering: only the frames are
    // worked out again, without spin and then with the wheels set straight.
    Mat3 frame;
    for (int32 w = 0; w < n; ++w) {
      GetWheelHubFrame(d, w, frame);
      WheelFrameToHostMatrix(car.wheelHubMatrices[w], frame, hubs[w], upm);
    }
    ApplySteering(d, 0.0);
    for (int32 w = 0; w < n; ++w) {
      GetWheelHubFrame(d, w, frame);
      WheelFrameToHostMatrix(car.wheelSteerFreeMatrices[w], frame, hubs[w], upm);
    }
    car.engagedGear = d.engagedGear;

    // Checked as a double before any integer conversion: NaN, a value that
    // does not fit an int32 and a jump of more than 100000 rpm are refused.
    const double rpm = d.engine.engineSpeed * 60.0 / vanto::kTwoPi;
    if (!(std::fabs(rpm) < 2147483647.0)) return kStatusNotFinite;
    if (std::fabs(rpm - static_cast<double>(car.engineRpm)) > 100000.0) return kStatusNotFinite;
    car.engineRpm = static_cast<int32>(rpm);
    for (int32 w = 0; w < n; ++w) {
      double c, rate;
      GetWheelCompression(d, w, c, rate);
      car.wheelSpinRates[w] = GetWheelSpinRate(d, w);
      car.wheelCompressions[w] = c * upm;
    }
  }
  return kStatusOk;
}

void ResetCarRunState(CarState& car) {
  for (ControlRamp& r : car.ramps) r = ControlRamp();
  car.pedalHoldRemaining = 0.0;
  car.engagedGear = 0;
  car.engineRpm = 0;
  car.speed = 0.0;
  car.advanceStartTime = car.settings.simTime;
  car.advanceStartSpeed = 0.0;
  car.tractionCutFlag = 0;
  car.brakeReleaseFlag = 0;
  for (int32 w = 0; w < kMaxWheels; ++w) {
    car.wheelSpinRates[w] = 0.0;
    car.wheelCompressions[w] = 0.0;
  }
  for (int i = 0; i < 4; ++i) {
    car.sideContactPoints[i] = Vector();
    car.sideImpulse[i] = Vector();
  }
  car.impactValue = 0.0;
  car.impactTimeMs = 0.0;
  car.collisionPointCount = 0;
  car.dynamics.crashFlag = 0;
}
