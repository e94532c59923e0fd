// Whole-car runs on the flat plane: standing still, braking, turning.
#include "engine_test_support.h"

namespace {

using VehicleDriveTest = EngineTest;

// Load on each wheel of the symmetric reference car at rest: g * 1700 kg / 4.
constexpr double kWheelLoad = kG * 1700.0 / 4.0;

}  // namespace

// A car at rest on the plane settles onto its springs (compression W / k)
// and then neither creeps nor jitters.
TEST_F(VehicleDriveTest, CarAtRestStaysAtRest) {
  auto car = MakeCarOnGround(ReferenceCarParams());
  Settle(*car, 4.0);
  const Vec3 start = ModelOrigin(car->dynamics);
  double fastest = 0.0;
  for (int i = 0; i < 10000; ++i) {
    StepOnGround(*car, 0.0, 0.0, 0.0);
    if (i >= 5000) fastest = std::fmax(fastest, LengthVec3(car->dynamics.body.velocity));
  }
  const Vec3 end = ModelOrigin(car->dynamics);
  EXPECT_NEAR(end.x, start.x, 1e-9);
  EXPECT_NEAR(end.y, start.y, 1e-9);
  EXPECT_LT(fastest, 1e-4);
  for (int w = 0; w < 4; ++w) {
    EXPECT_NEAR(car->dynamics.wheels[w].compression, kWheelLoad / 25000.0, 1e-5) << w;
    EXPECT_NEAR(car->dynamics.wheels[w].spinRate, 0.0, 1e-9) << w;
    EXPECT_EQ(car->dynamics.tyreOutput[w].contact, 1);
  }
  // The hubs rest one radius above the ground: origin 0.6 m minus the sag.
  EXPECT_NEAR(end.z, kReferenceRideHeight - kWheelLoad / 25000.0, 1e-5);
  EXPECT_EQ(car->dynamics.gear, 1);
  EXPECT_EQ(assertCount, 0);
}

// Full throttle up to 100 km/h through the gears, then full brakes. The
// deceleration cannot exceed mu(W) g: the tyre friction mu0 exp(-k Fz) Fz
// is concave in the load and the loads add up to the weight, so whatever
// the load transfer the car needs at least v^2 / (2 mu(W) g). With locked
// wheels the Magic Formula still gives 0.95 of the peak, so it stops within
// v^2 / (2 * 0.9 mu(W) g).
TEST_F(VehicleDriveTest, FullThrottleThenFullBrakeFrom100) {
  CarDynamicsParams p = ReferenceCarParams();
  p.brakeTorques[0] = p.brakeTorques[1] = 5000.0;  // enough to reach the friction limit
  auto car = MakeCarOnGround(p);
  Settle(*car, 4.0);
  const double v0 = 100.0 / 3.6;
  int shifts = 0, lastGear = car->dynamics.gear;
  double t = 0.0;
  while (car->dynamics.body.velocity.x < v0 && t < 30.0) {
    StepOnGround(*car, 0.0, 1.0, 0.0);
    if (car->dynamics.gear != lastGear) ++shifts;
    lastGear = car->dynamics.gear;
    t += 0.001;
  }
  ASSERT_LT(t, 30.0);
  EXPECT_GE(car->dynamics.gear, 2);
  EXPECT_EQ(shifts, car->dynamics.gear - 1) << "every shift goes up, none hunts";

  const double v = car->dynamics.body.velocity.x;
  const double x0 = ModelOrigin(car->dynamics).x;
  double tb = 0.0;
  while (car->dynamics.body.velocity.x > 0.0 && tb < 10.0) {
    StepOnGround(*car, 0.0, 0.0, 1.0);
    tb += 0.001;
  }
  const double distance = ModelOrigin(car->dynamics).x - x0;
  const double muW = 1.5 * std::exp(-5e-5 * kWheelLoad);
  EXPECT_GE(distance, v * v / (2 * muW * kG));
  EXPECT_LE(distance, v * v / (2 * 0.9 * muW * kG));
  EXPECT_NEAR(car->dynamics.body.velocity.y, 0.0, 1e-6);
  EXPECT_EQ(car->dynamics.engagedGear, 0) << "full brake opens the clutch";
  EXPECT_EQ(assertCount, 0);
}

// With the Car's default shift points (up 4000, down 3000 rpm) an upshift
// from first at 4000 rpm would land at 4000 x 2.86 / 4.38 = 2612 rpm, below
// the down point. The box must never shift straight back: accelerating
// only shifts up, braking only shifts down, and every shift lands inside
// [down, up].
TEST_F(VehicleDriveTest, TheDefaultShiftPointsDoNotHunt) {
  CarDynamicsParams p = ReferenceCarParams();
  const double rpm = vanto::kTwoPi / 60.0;
  p.upShiftSpeed = 4000.0 * rpm;
  p.downShiftSpeed = 3000.0 * rpm;
  auto car = MakeCarOnGround(p);
  Settle(*car, 1.0);
  CarDynamics& d = car->dynamics;
  struct Phase {
    double throttle, brake, seconds;
    int sense;  // +1 only upshifts, -1 only downshifts
  };
  int shifts[2] = {};
  for (const Phase& ph : {Phase{1.0, 0.0, 20.0, 1}, Phase{0.0, 0.25, 15.0, -1}}) {
    int gear = d.gear;
    for (int i = 0; i < static_cast<int>(ph.seconds / 0.001); ++i) {
      StepOnGround(*car, 0.0, ph.throttle, ph.brake);
      if (d.gear == gear) continue;
      EXPECT_EQ(d.gear - gear, ph.sense) << "at step " << i;
      // The step after the shift has already moved the engine a little.
      EXPECT_GE(d.engine.engineSpeed, 0.99 * p.downShiftSpeed);
      EXPECT_LE(d.engine.engineSpeed, 1.01 * p.upShiftSpeed);
      ++shifts[ph.sense > 0 ? 0 : 1];
      gear = d.gear;
    }
    if (ph.sense > 0) {
      EXPECT_GE(d.gear, 4) << "the car did go up through the box";
    }
  }
  EXPECT_GE(shifts[1], 2) << "and came down again";
  EXPECT_EQ(assertCount, 0);
}

// Air drag k v^2 acts against the motion: coasting from 30 m/s for 1 s,
// a car with k = 0.5 loses k v^2 / m x 1 s = 450 / 1820 m/s more than the
// same car without (v hardly changes over that second).
TEST_F(VehicleDriveTest, AirDragSlowsTheCarByKV2) {
  double lost[2] = {};
  for (int withDrag : {0, 1}) {
    auto car = MakeCarOnGround(ReferenceCarParams());
    Settle(*car, 0.5);
    CarDynamics& d = car->dynamics;
    d.dragFactor = withDrag ? 0.5 : 0.0;
    d.body.velocity.x = 30.0;
    for (int w = 0; w < d.wheelCount; ++w) d.wheels[w].spinRate = 30.0 / d.wheels[w].radius;
    for (int i = 0; i < 1000; ++i) StepOnGround(*car, 0.0, 0.0, 0.0);
    lost[withDrag] = 30.0 - d.body.velocity.x;
  }
  const double expected = 0.5 * 30.0 * 30.0 / 1820.0;
  EXPECT_NEAR(lost[1] - lost[0], expected, 0.1 * expected);
}

// Steering left and right by the same amount gives paths that are mirror
// images, also with cambered wheels (left and right tyres see mirrored
// profiles).
TEST_F(VehicleDriveTest, MirroredSteeringGivesMirroredPaths) {
  CarDynamicsParams p = ReferenceCarParams();
  for (int g = 0; g < 2; ++g) p.wheelAxis[g] = Vec3(0.0, std::cos(0.05), -std::sin(0.05));
  p.steerAxis = Vec3(std::sin(0.087), 0.0, std::cos(0.087));  // with caster
  auto left = MakeCarOnGround(p);
  auto right = MakeCarOnGround(p);
  Settle(*left, 1.0);
  Settle(*right, 1.0);
  for (int i = 0; i < 6000; ++i) {
    const double t = i * 0.001;
    const double steer = 0.6 * std::fmin(t, 1.0);
    StepOnGround(*left, steer, 0.7, 0.0);
    StepOnGround(*right, -steer, 0.7, 0.0);
  }
  const Vec3 a = ModelOrigin(left->dynamics), b = ModelOrigin(right->dynamics);
  EXPECT_GT(std::fabs(a.y), 5.0) << "the car really turned";
  EXPECT_NEAR(a.x, b.x, 1e-6);
  EXPECT_NEAR(a.y, -b.y, 1e-6);
  EXPECT_NEAR(a.z, b.z, 1e-6);
  EXPECT_NEAR(left->dynamics.body.velocity.y, -right->dynamics.body.velocity.y, 1e-6);
  for (int w = 0; w < 4; w += 2) {
    EXPECT_NEAR(left->dynamics.wheels[w].compression, right->dynamics.wheels[w + 1].compression, 1e-7);
  }
}

// The traction layout decides which wheels the engine drives.
TEST_F(VehicleDriveTest, OnlyThePoweredAxleIsDriven) {
  for (int layout : {0, 1, 2}) {
    CarDynamicsParams p = ReferenceCarParams();
    p.poweredWheels = layout;
    auto car = MakeCarOnGround(p);
    Settle(*car, 0.5);
    for (int i = 0; i < 300; ++i) StepOnGround(*car, 0.0, 1.0, 0.0);
    const CarDynamics& d = car->dynamics;
    const double frontSlip = d.wheelSlip.saved[0], rearSlip = d.wheelSlip.saved[2];
    // A driven wheel spins ahead of the ground (positive slip); a free one
    // is dragged along (small negative slip).
    EXPECT_EQ(frontSlip > 1e-3, layout != 1) << layout;
    EXPECT_EQ(rearSlip > 1e-3, layout != 0) << layout;
    EXPECT_GT(d.body.velocity.x, 0.5) << layout;
  }
}
