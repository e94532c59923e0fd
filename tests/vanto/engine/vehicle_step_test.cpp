// Vehicle step: power train and gearbox, force pass, wheel states.
#include "engine_test_support.h"

namespace {

using VehicleStepTest = EngineTest;

// A reference car with no ground under its wheels (in the air).
std::unique_ptr<CarDynamics> MakeAirborneCar(CarDynamicsParams p = ReferenceCarParams()) {
  auto d = std::make_unique<CarDynamics>();
  WriteReferenceTyreConstants(*d);
  EXPECT_EQ(SetUpCarDynamics(*d, p, kG), 0);
  ResetCarDynamics(*d, Vec3(0, 0, 10), Quat());
  return d;
}

double RatioOf(const CarDynamics& d, int g) { return d.gearRatio[g - 1]; }

}  // namespace

TEST_F(VehicleStepTest, GearboxClutchAndPedals) {
  struct Case {
    const char* name;
    int gear;
    double speedOverUp;    // engine speed relative to the shift points, rad/s
    bool nearDown;         // measured from the down-shift speed instead
    double T, B, H, V;
    int crash;
    int expectGear;
    int expectEngaged;
    double throttleSeen;   // the throttle the engine integrates
  };
  const Case cases[] = {
      {"up-shift", 2, 1.0, false, 0, 1, 0, 0, 0, 3, 0, 0.0},
      {"no up-shift in top gear", 6, 1.0, false, 0, 1, 0, 0, 0, 6, 0, 0.0},
      {"down-shift", 3, -1.0, true, 0, 1, 0, 0, 0, 2, 0, 0.0},
      {"no down-shift from first", 1, -1.0, true, 0, 1, 0, 0, 0, 1, 0, 0.0},
      {"reverse input selects reverse", 3, -50.0, false, 0.4, 1, 0, 0.5, 0, -1, 0, 0.5},
      {"throttle leaves reverse", -1, -50.0, false, 0.3, 1, 0, 0, 0, 1, 0, 0.3},
      {"reverse throttle in reverse", -1, -50.0, false, 0, 1, 0, 0.7, 0, -1, 0, 0.7},
      {"brake above the threshold opens the clutch", 2, -50.0, false, 0, 0.95, 0, 0, 0, 2, 0, 0.0},
      {"brake at the threshold keeps it closed", 2, -50.0, false, 0, 0.9, 0, 0, 0, 2, 2, 0.0},
      {"hand brake opens the clutch", 2, -50.0, false, 0, 0, 0.95, 0, 0, 2, 0, 0.0},
      {"crash: no throttle, clutch open", 2, -50.0, false, 1.0, 0, 0, 0, 1, 2, 0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto d = MakeAirborneCar();
    d->gear = c.gear;
    d->crashFlag = c.crash;
    const double w0 = (c.nearDown ? d->downShiftSpeed : d->upShiftSpeed) + c.speedOverUp;
    d->engine.engineSpeed = w0;
    // The body moves at the speed the wheels roll at in this gear.
    if (c.gear >= 1) d->body.velocity.x = w0 / RatioOf(*d, c.gear) * d->wheels[0].radius;
    StepCarDynamics(*d, 0.001, 0, c.T, c.B, c.H, c.V);
    EXPECT_EQ(d->gear, c.expectGear);
    EXPECT_EQ(d->engagedGear, c.expectEngaged);
    // With the clutch open the engine sees only its torque and friction
    // over the step: (T(w) * throttle - min(5 w, 25)) / 0.1 * dt.
    double w = w0;
    if (c.gear >= 1 && c.expectGear == c.gear + 1) w = w0 * RatioOf(*d, c.gear + 1) / RatioOf(*d, c.gear);
    if (c.gear >= 2 && c.expectGear == c.gear - 1) w = w0 * RatioOf(*d, c.gear - 1) / RatioOf(*d, c.gear);
    if (c.expectEngaged == 0) {
      const double dw = (EvaluateSampledCurve(d->engine.torqueCurve, w) * c.throttleSeen - 25.0) / 0.1 * 0.001;
      EXPECT_NEAR(d->engine.engineSpeed, w + dw, 0.01);
    }
    if (c.crash) {
      EXPECT_EQ(d->brakeTorque[0], 750.0);
      EXPECT_EQ(d->brakeTorque[1], 375.0);
    }
  }
}

TEST_F(VehicleStepTest, BrakeLimitsPerAxleGroup) {
  auto d = MakeAirborneCar();
  StepCarDynamics(*d, 0.001, 0, 0, 0.5, 0.25, 0);
  EXPECT_EQ(d->brakeTorque[0], 0.5 * 1500.0);
  EXPECT_EQ(d->brakeTorque[1], 0.5 * 750.0 + 0.25 * 4000.0);
}

// A free wheel spinning at 10 rad/s against full brakes: the brake torque
// is the spin times 3000 limited to 1500 N m, so the wheel stops in
// I w / 1500 s and then stays (the torque fades linearly near zero).
TEST_F(VehicleStepTest, BrakesStopAFreeWheel) {
  auto d = MakeAirborneCar();
  d->wheels[0].spinRate = 10.0;
  const double I = d->wheels[0].wheelInertia;  // 1.35
  for (int i = 0; i < 5; ++i) StepCarDynamics(*d, 0.001, 0, 0, 1.0, 0, 0);
  EXPECT_NEAR(d->wheels[0].spinRate, 10.0 - 1500.0 / I * 0.005, 1e-6);
  for (int i = 0; i < 100; ++i) StepCarDynamics(*d, 0.001, 0, 0, 1.0, 0, 0);
  EXPECT_NEAR(d->wheels[0].spinRate, 0.0, 1e-9);
}

// Force slots count from a squared length above 1 N^2; in the air the car
// gets 1 % of its weight against its motion.
TEST_F(VehicleStepTest, ForcePassSlotsAndAirDrag) {
  struct Case {
    const char* name;
    Vec3 slotForce;
    Vec3 single;
    Vec3 expectExtra;
  };
  const Case cases[] = {
      {"slot below 1 N is free", Vec3(0.9, 0, 0), Vec3(), Vec3()},
      {"slot above 1 N acts", Vec3(1.1, 0, 0), Vec3(), Vec3(1.1, 0, 0)},
      {"single force acts", Vec3(), Vec3(0, 0, 300), Vec3(0, 0, 300)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto d = MakeAirborneCar();
    d->body.velocity = Vec3(3, 4, 0);
    d->externalForces[5] = c.slotForce;
    d->externalForcePoints[5] = d->body.position;
    d->singleForce = c.single;
    d->singleForcePoint = d->body.position;
    d->body.referenceOffset = Vec3(0.3, -0.1, 0.2);  // a model origin off the centre of mass
    SetStepSize(0.001);
    BeginDynamicsStep(*d);
    ComputeCarForces(*d);
    const double weight = d->body.mass * kG;
    EXPECT_NEAR(d->body.force.x, -0.01 * weight * 0.6 + c.expectExtra.x, 1e-9);
    EXPECT_NEAR(d->body.force.y, -0.01 * weight * 0.8 + c.expectExtra.y, 1e-9);
    EXPECT_NEAR(d->body.force.z, -weight + c.expectExtra.z, 1e-9);
    for (int w = 0; w < d->wheelCount; ++w) EXPECT_EQ(d->tyreOutput[w].contact, 0);
    // The drag acts at the model origin: its moment (body axes) is the only
    // torque, the other forces acting at the centre of mass.
    Vec3 origin, arm, moment, expected;
    Mat3 rotation;
    GetBodyTransform(*d, origin, rotation);
    SubtractVec3(arm, origin, d->body.position);
    ASSERT_GT(LengthVec3(arm), 0.01);
    CrossVec3(moment, arm, Vec3(-0.01 * weight * 0.6, -0.01 * weight * 0.8, 0.0));
    MulMat3TransposedVec3(expected, d->body.rotation, moment);
    EXPECT_NEAR(d->body.torque.x, expected.x, 1e-9);
    EXPECT_NEAR(d->body.torque.y, expected.y, 1e-9);
    EXPECT_NEAR(d->body.torque.z, expected.z, 1e-9);
  }
}

// Lift pushes along the body's own down axis, also when heading, pitch and
// roll combine.
TEST_F(VehicleStepTest, LiftActsAlongTheBodyDownAxis) {
  CarDynamicsParams p = ReferenceCarParams();
  auto d = MakeAirborneCar(p);
  d->frontLiftFactor = 2.0;
  d->rearLiftFactor = 3.0;
  Mat3 R;
  EulerMat3(R, 0.3, -0.4, 0.7);
  Quat q;
  Mat3ToQuat(q, R);
  PlaceCarBody(*d, Vec3(0, 0, 10), q);
  d->body.velocity = Vec3(10, 0, 0);
  SetStepSize(0.001);
  BeginDynamicsStep(*d);
  ComputeCarForces(*d);
  const double weight = d->body.mass * kG;
  const Vec3 down(-R(0, 2), -R(1, 2), -R(2, 2));
  const double lift = (2.0 + 3.0) * 100.0;
  EXPECT_NEAR(d->body.force.x, -0.01 * weight + lift * down.x, 1e-9);
  EXPECT_NEAR(d->body.force.y, lift * down.y, 1e-9);
  EXPECT_NEAR(d->body.force.z, -weight + lift * down.z, 1e-9);
  // The row-based direction differs here, so the check above tells them apart.
  const Vec3 row(R(2, 0), R(2, 1), -R(2, 2));
  EXPECT_GT(LengthVec3(Vec3(row.x - down.x, row.y - down.y, row.z - down.z)), 0.1);
}

TEST_F(VehicleStepTest, WheelAngleIsReducedAndCompressionCapped) {
  auto d = MakeAirborneCar();
  d->wheels[0].rotationAngle = 7.0;
  d->wheels[1].rotationAngle = -7.0;
  d->wheels[2].compression = 0.5;   // above the 0.3 m travel
  d->wheels[3].compression = -0.1;  // no lower clamp
  StepCarDynamics(*d, 0.001, 0, 0, 0, 0, 0);
  EXPECT_NEAR(d->wheels[0].rotationAngle, 7.0 - 6.2831853071794, 1e-12);
  EXPECT_NEAR(d->wheels[1].rotationAngle, -7.0 + 6.2831853071794, 1e-12);
  EXPECT_EQ(d->wheels[2].compression, 0.3);
  EXPECT_NEAR(d->wheels[3].compression, -0.1, 1e-3);
  EXPECT_EQ(assertCount, 0);
  d->wheels[0].rotationAngle = 700.0;  // a hundred turns: a blown-up state
  StepCarDynamics(*d, 0.001, 0, 0, 0, 0, 0);
  EXPECT_EQ(assertCount, 1);
  EXPECT_NEAR(d->wheels[0].rotationAngle, std::fmod(700.0, 6.2831853071794), 1e-9);
}

// One corner's suspension in the air is a damped oscillator of the wheel
// mass: m c'' = -k c - d c' (both wheels alike), or with k + 2 k_roll when
// the two wheels of the axle move against each other.
TEST_F(VehicleStepTest, SpringDamperCornerMatchesTheClosedForm) {
  struct Case {
    const char* name;
    double right;  // right wheel start compression relative to the left
    double stiffness;
  };
  const Case cases[] = {{"together", 1.0, 25000.0}, {"against each other", -1.0, 25000.0 + 2 * 10000.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CarDynamicsParams p = ReferenceCarParams();
    p.damperRates[0] = p.damperRates[1] = 600.0;
    auto d = MakeAirborneCar(p);
    const double c0 = 0.05, m = 30.0, k = c.stiffness, damping = 600.0;
    d->wheels[0].compression = c0;
    d->wheels[1].compression = c.right * c0;
    const double w0 = std::sqrt(k / m), zeta = damping / (2 * m * w0), wd = w0 * std::sqrt(1 - zeta * zeta);
    double worst = 0.0;
    for (int i = 1; i <= 300; ++i) {
      StepCarDynamics(*d, 0.001, 0, 0, 0, 0, 0);
      const double t = i * 0.001;
      const double expect = c0 * std::exp(-zeta * w0 * t) * (std::cos(wd * t) + zeta * w0 / wd * std::sin(wd * t));
      worst = std::fmax(worst, std::fabs(d->wheels[0].compression - expect));
      EXPECT_NEAR(d->wheels[1].compression, c.right * d->wheels[0].compression, 1e-15);
    }
    EXPECT_LT(worst, 1e-8);
  }
}

// With the clutch open and a flat torque curve T, I w' = T - f w, so the
// engine runs up to T / f as T/f (1 - exp(-f t / I)); with the friction
// capped it runs on to the limiter.
TEST_F(VehicleStepTest, EngineSpinsUpTowardsTorqueOverFriction) {
  EngineState e;
  const double T = 100.0, f = 5.0, I = 0.1;
  ASSERT_EQ(SetUpEngine(e, 1e9, f, I, FlatTorqueCurve(6000.0, T)), 0);
  SetStepSize(0.001);
  auto step = [&e] {
    BeginEngineStep(e, 1.0);
    IntegrateEngineStage1(e, 0.0);
    IntegrateEngineStage2(e, 0.0);
    IntegrateEngineStage3(e, 0.0);
    FinishEngineStep(e, 0.0);
  };
  for (int i = 1; i <= 200; ++i) {
    step();
    if (i % 20 == 0) {
      const double t = i * 0.001;
      EXPECT_NEAR(e.engineSpeed, T / f * (1 - std::exp(-f * t / I)), 1e-6) << t;
    }
  }
  ASSERT_EQ(SetUpEngine(e, 25.0, f, I, FlatTorqueCurve(6000.0, T)), 0);
  e.engineSpeed = 0.0;
  for (int i = 0; i < 1500; ++i) step();  // (100 - 25) / 0.1 = 750 rad/s^2
  EXPECT_GE(e.engineSpeed, e.speedLimit);
  EXPECT_LE(e.engineSpeed, e.speedLimit + 750.0 * 0.001 * (1 + 1e-6));
  EXPECT_EQ(assertCount, 0);
}

TEST_F(VehicleStepTest, RestoreReturnsBodyWheelsAndEngine) {
  auto d = MakeAirborneCar();
  d->wheels[0].spinRate = 3.0;
  d->engine.engineSpeed = 100.0;
  StepCarDynamics(*d, 0.001, 0.5, 1.0, 0, 0, 0);
  const CarDynamics before = *d;
  StepCarDynamics(*d, 0.001, 0.5, 1.0, 0, 0, 0);
  RestoreDynamicsState(*d);
  EXPECT_EQ(d->body.position, before.body.position);
  EXPECT_EQ(d->wheels[0].spinRate, before.wheels[0].spinRate);
  EXPECT_EQ(d->engine.engineSpeed, before.engine.engineSpeed);
}

// A gear whose ratio is 0 carries no engine speed across a shift: the
// engine keeps its speed instead of dividing by zero.
TEST_F(VehicleStepTest, ZeroRatioGearNeverDividesAShift) {
  CarDynamicsParams p = ReferenceCarParams();
  p.gearRatios[1] = 0.0;
  auto d = MakeAirborneCar(p);
  d->gear = 2;
  d->engine.engineSpeed = d->upShiftSpeed + 1.0;
  d->body.velocity.x = 50.0;  // fast enough for third gear
  StepCarDynamics(*d, 0.001, 0, 0, 1.0, 0, 0);  // brake: clutch open
  EXPECT_EQ(d->gear, 3);
  EXPECT_NEAR(d->engine.engineSpeed, d->upShiftSpeed + 1.0 - 0.25, 0.01);
  EXPECT_TRUE(std::isfinite(d->engine.engineSpeed));
}

TEST_F(VehicleStepTest, FlipTurnsTheBodyOverAndLiftsIt) {
  auto d = MakeAirborneCar();
  Vec3 o0, o1;
  Mat3 q0, q1;
  GetBodyTransform(*d, o0, q0);
  const double z0 = d->body.position.z;
  FlipCarBody(*d);
  GetBodyTransform(*d, o1, q1);
  EXPECT_NEAR(d->body.position.z, z0 + 2.0, 1e-12);
  // Model rotation times diag(1, -1, -1): upside down, still facing forward.
  EXPECT_NEAR(q1(0, 0), 1.0, 1e-12);
  EXPECT_NEAR(q1(1, 1), -1.0, 1e-12);
  EXPECT_NEAR(q1(2, 2), -1.0, 1e-12);
}

// The force pass takes the wheels on the ground four at a time; body and
// wheels get what the per-wheel operations give one wheel after the other.
// Six wheels, one of them without a ground record, so that one block is full
// and one is not.
TEST_F(VehicleStepTest, TyrePassMatchesThePerWheelOperations) {
  CarDynamicsParams p = ReferenceCarParams();
  p.axleCount = 3;
  p.axleType[2] = 1 | 0x100;
  p.axlePosition[2] = Vec3(-2.1, 0.75, -0.3);
  auto car = MakeCarOnGround(p);
  Settle(*car, 0.2);
  for (int i = 0; i < 300; ++i) StepOnGround(*car, 0.4, 0.8, 0.0);  // turning under power
  CarDynamics& d = car->dynamics;
  d.wheelGround[4] = nullptr;
  // Every force source but the tyres off, so the pass leaves only theirs.
  d.dragFactor = d.frontLiftFactor = d.rearLiftFactor = 0.0;
  d.engagedGear = 0;
  d.brakeTorque[0] = d.brakeTorque[1] = 0.0;
  for (int g = 0; g < 2; ++g) d.springStiffness[g] = d.damperCoefficient[g] = d.antiRollStiffness[g] = 0.0;

  CarDynamics one = d;  // the same state, wheel by wheel
  ComputeCarForces(d);
  for (int i = 0; i < one.wheelCount; ++i) {
    if (!one.wheelGround[i]) continue;
    Vec3 hub, vel, axle, cp, F;
    double spin;
    GetWheelContactFrame(one, i, hub, vel, axle, spin);
    const TyreBlock& tb = one.tyreBlock[i];
    const SampledCurve* const curves[3] = {&one.tyreProfiles[0][tb.profileGroup], &one.tyreProfiles[1][tb.profileGroup],
                                           &one.tyreProfiles[2][tb.profileGroup]};
    TyreSlipIO io{one.lateralSlip.working[i], one.wheelSlip.working[i], 0.0, 0.0};
    if (ComputeTyreForce(tb, curves, hub, vel, axle, spin, *one.wheelGround[i], cp, F, &one.tyreConstants[kTyreCa],
                         &one.tyreConstants[kTyreLk], one.tyreOutput[i], io, one.staticWheelLoad[i / 2]))
      ApplyTyreForceToBody(one, i, cp, F);
    EXPECT_EQ(d.lateralSlip.rate[i], io.lateralRate) << i;
    EXPECT_EQ(d.wheelSlip.rate[i], io.longitudinalRate) << i;
  }
  ASSERT_GT(LengthVec3(d.body.force), 1000.0);
  EXPECT_EQ(d.body.force, one.body.force);
  EXPECT_EQ(d.body.torque, one.body.torque);
  for (int i = 0; i < d.wheelCount; ++i) {
    EXPECT_EQ(d.wheels[i].axleTorque, one.wheels[i].axleTorque) << i;
    EXPECT_EQ(d.wheels[i].suspensionForce, one.wheels[i].suspensionForce) << i;
    if (d.wheelGround[i]) {
      EXPECT_EQ(d.tyreOutput[i].lateralForce, one.tyreOutput[i].lateralForce) << i;
    }
  }
  EXPECT_EQ(d.tyreOutput[4].contact, 0);
  EXPECT_EQ(d.lateralSlip.rate[4], 0.0);
}

// The tyre pass built for four-wide registers and the plain one drive a car
// along the same path to the last bit.
TEST_F(VehicleStepTest, WideAndPlainTyrePassesAgree) {
  if (!ProcessorHasWideRegisters()) GTEST_SKIP() << "no four-wide registers here";
  CarDynamicsParams p = ReferenceCarParams();
  std::unique_ptr<CarState> cars[2];
  for (int wide = 0; wide < 2; ++wide) {
    gEngine.wideRegisters = wide == 1;
    cars[wide] = MakeCarOnGround(p);
    Settle(*cars[wide], 0.2);
    for (int i = 0; i < 1500; ++i) StepOnGround(*cars[wide], i < 700 ? 0.5 : -0.3, 0.9, 0.0);
  }
  const CarDynamics &plain = cars[0]->dynamics, &wide = cars[1]->dynamics;
  ASSERT_GT(LengthVec3(wide.body.velocity), 2.0);
  EXPECT_EQ(wide.body.position, plain.body.position);
  EXPECT_EQ(wide.body.orientation, plain.body.orientation);
  EXPECT_EQ(wide.body.angularVelocity, plain.body.angularVelocity);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(wide.wheels[i].spinRate, plain.wheels[i].spinRate) << i;
    EXPECT_EQ(wide.wheelSlip.saved[i], plain.wheelSlip.saved[i]) << i;
  }
}

// A car on four wheels steps through its own versions of the passes; they
// must give the bits of the general passes, run here one by one as a step runs
// them, with drag, lift, a force slot, steering and both pedals at work.
// Each step starts both from the same state; steps that shift gear (which
// the general passes do not cover) are only carried over.
TEST_F(VehicleStepTest, FourWheelStepMatchesTheGeneralPassesBitForBit) {
  // Both builds of the four-wheel step: with and without four-wide registers.
  for (bool wide : {false, true}) {
    if (wide && !ProcessorHasWideRegisters()) continue;
    gEngine.wideRegisters = wide;
    SCOPED_TRACE(wide ? "four-wide" : "plain");
    auto car = MakeCarOnGround(ReferenceCarParams());
    CarDynamics& d = car->dynamics;
    d.dragFactor = 0.4;
    d.frontLiftFactor = 0.05;
    d.rearLiftFactor = 0.08;
    d.externalForces[3] = Vec3(200.0, -150.0, 40.0);
    d.externalForcePoints[3] = Vec3(1.0, 0.5, 0.8);
    Settle(*car, 0.5);
    auto general = std::make_unique<CarDynamics>();
    int compared = 0;
    double topSpeed = 0.0;
    for (int step = 0; step < 600; ++step) {
      const double steer = 0.6 * std::sin(step * 0.02);
      const double throttle = step < 400 ? 0.9 : 0.0;
      const double brake = step < 400 ? 0.0 : 0.7;
      QueryGroundOutsideScene(*car);
      *general = d;
      const int32 gear = d.gear;
      StepCarDynamics(d, car->settings.stepDt, steer, throttle, brake, 0.0, 0.0);
      topSpeed = std::fmax(topSpeed, LengthVec3(d.body.velocity));
      if (d.gear != gear) continue;

      CarDynamics& g = *general;
      ApplySteering(g, steer);
      g.engagedGear = d.engagedGear;
      g.brakeTorque[0] = d.brakeTorque[0];
      g.brakeTorque[1] = d.brakeTorque[1];
      BeginDynamicsStep(g);
      BeginEngineStep(g.engine, throttle);
      BeginWheelsStep(g);
      ComputeCarForces(g);
      DynamicsStage1(g);
      IntegrateEngineStage1(g.engine, g.clutchTorque);
      IntegrateWheelsStage1(g);
      ComputeCarForces(g);
      DynamicsStage2(g);
      IntegrateEngineStage2(g.engine, g.clutchTorque);
      IntegrateWheelsStage2(g);
      ComputeCarForces(g);
      DynamicsStage3(g);
      IntegrateEngineStage3(g.engine, g.clutchTorque);
      IntegrateWheelsStage3(g);
      ComputeCarForces(g);
      FinishDynamicsStep(g);
      FinishEngineStep(g.engine, g.clutchTorque);
      FinishWheelsStep(g);

      SCOPED_TRACE(step);
      ++compared;
      ASSERT_EQ(g.body.position, d.body.position);
      ASSERT_EQ(g.body.velocity, d.body.velocity);
      ASSERT_EQ(g.body.angularVelocity, d.body.angularVelocity);
      ASSERT_EQ(g.body.orientation, d.body.orientation);
      ASSERT_EQ(g.body.rotation, d.body.rotation);
      ASSERT_EQ(g.engine.engineSpeed, d.engine.engineSpeed);
      ASSERT_EQ(g.clutchTorque, d.clutchTorque);
      for (int w = 0; w < 4; ++w) {
        SCOPED_TRACE(w);
        const WheelState &a = g.wheels[w], &b = d.wheels[w];
        ASSERT_EQ(a.compression, b.compression);
        ASSERT_EQ(a.compressionRate, b.compressionRate);
        ASSERT_EQ(a.rotationAngle, b.rotationAngle);
        ASSERT_EQ(a.spinRate, b.spinRate);
        ASSERT_EQ(g.lateralSlip.saved[w], d.lateralSlip.saved[w]);
        ASSERT_EQ(g.wheelSlip.saved[w], d.wheelSlip.saved[w]);
      }
    }
    // Most steps keep their gear; the car did drive, steer and brake.
    EXPECT_GT(compared, 550);
    EXPECT_GT(topSpeed, 0.5);
    EXPECT_LT(LengthVec3(d.body.velocity), topSpeed);
  }
}

// An undriven wheel in the air keeps its spin (no brake, no tyre): over
// 0.5 s it turns through the spin rate times the time, reduced to a turn.
// Every stage of the step sees the same rate, so the step's weights must
// add up to exactly one step.
TEST_F(VehicleStepTest, AFreeWheelTurnsThroughItsSpinTimesTheTime) {
  for (bool wide : {false, true}) {
    if (wide && !ProcessorHasWideRegisters()) continue;
    gEngine.wideRegisters = wide;
    SCOPED_TRACE(wide ? "four-wide" : "plain");
    auto d = MakeAirborneCar();  // the rear axle is driven, the front one free
    d->wheels[0].spinRate = 30.0;
    d->wheels[1].spinRate = -4.0;
    for (int step = 0; step < 500; ++step) StepCarDynamics(*d, 0.001, 0, 0, 0, 0, 0);
    EXPECT_EQ(d->wheels[0].spinRate, 30.0);
    EXPECT_EQ(d->wheels[1].spinRate, -4.0);
    EXPECT_NEAR(d->wheels[0].rotationAngle, 15.0 - 2 * 6.2831853071794, 1e-9);
    EXPECT_NEAR(d->wheels[1].rotationAngle, -2.0, 1e-9);
  }
}
