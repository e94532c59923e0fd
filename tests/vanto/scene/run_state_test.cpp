// The model/record boundary: results, the finite guard, resets, axis
// conversions, the ground seam, record copies and the body-only set-up.
#include <cstring>
#include <limits>
#include <random>

#include "scene/car_body.h"
#include "../engine/engine_test_support.h"
#include "host_container.h"
#include "host_scene.h"

namespace {

using RunStateTest = EngineTest;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double Det(const Matrix& m) { return Dot(m.v1, Cross(m.v2, m.v3)); }

std::unique_ptr<CarState> SettledCar() {
  auto car = MakeCarOnGround(ReferenceCarParams());
  Settle(*car, 0.5);
  EXPECT_EQ(StoreDynamicsResults(*car, 1, 1), 0);
  return car;
}

}  // namespace

TEST_F(RunStateTest, AxisConversionsRoundTrip) {
  Vec3 d;
  HostToDynamicsAxes(Vector(1, 2, 3), d);
  EXPECT_EQ(d, Vec3(3, 1, 2));
  Vector h;
  DynamicsToHostAxes(h, d);
  EXPECT_EQ(h, Vector(1, 2, 3));

  std::mt19937 rng(9);
  std::uniform_real_distribution<double> a(-3, 3);
  for (int k = 0; k < 20; ++k) {
    Mat3 m, back;
    EulerMat3(m, a(rng), a(rng) * 0.5, a(rng));
    Matrix host;
    Mat3ToHostMatrix(host, m);
    EXPECT_NEAR(Det(host), 1.0, 1e-12);
    HostMatrixToMat3(host, back);
    EXPECT_EQ(back, m);
    // The host matrix maps host vectors as m maps the same engine vectors.
    const Vector hv(0.3, -1.2, 2.0);
    Vec3 dv, dm;
    HostToDynamicsAxes(hv, dv);
    MulMat3Vec3(dm, m, dv);
    Vector expect;
    DynamicsToHostAxes(expect, dm);
    const Vector got = host * hv;
    EXPECT_NEAR(got.x, expect.x, 1e-12);
    EXPECT_NEAR(got.y, expect.y, 1e-12);
    EXPECT_NEAR(got.z, expect.z, 1e-12);
  }
  // A heading about the engine's up axis is the host's heading.
  Mat3 rz;
  RotationMat3(rz, Axis::Z, 0.4);
  Matrix host;
  Mat3ToHostMatrix(host, rz);
  const Matrix hpb = HPBToMatrix(Vector(-0.4, 0, 0));
  EXPECT_NEAR(host.v3.x, hpb.v3.x, 1e-12);
  EXPECT_NEAR(host.v3.z, hpb.v3.z, 1e-12);
}

TEST_F(RunStateTest, ResultsInHostAxesAndSceneUnits) {
  auto car = SettledCar();
  const CarDynamics& d = car->dynamics;
  const Vec3 origin = ModelOrigin(d);
  EXPECT_NEAR(car->bodyMatrix.off.y, origin.z * 100.0, 1e-9);
  EXPECT_NEAR(car->bodyMatrix.off.z, origin.x * 100.0, 1e-9);
  EXPECT_NEAR(Det(car->bodyMatrix), 1.0, 1e-12);
  for (int w = 0; w < 4; ++w) {
    EXPECT_NEAR(Det(car->wheelMatrices[w]), 1.0, 1e-12);
    EXPECT_NEAR(Det(car->wheelHubMatrices[w]), 1.0, 1e-12);
    EXPECT_NEAR(Det(car->wheelSteerFreeMatrices[w]), 1.0, 1e-12);
    // Upright and straight: the hub frame's first axis points out of the
    // car, its second up, its third forward (backward on the mirrored odd
    // side); the hub one radius above the ground.
    const double side = (w & 1) ? -1.0 : 1.0;
    EXPECT_NEAR(car->wheelHubMatrices[w].v1.x, side, 1e-6);
    EXPECT_NEAR(car->wheelHubMatrices[w].v2.y, 1.0, 1e-6);
    EXPECT_NEAR(car->wheelHubMatrices[w].v3.z, side, 1e-6);
    EXPECT_NEAR(car->wheelHubMatrices[w].off.y, 30.0, 0.05);
    // Compressions in scene units.
    EXPECT_NEAR(car->wheelCompressions[w], d.wheels[w].compression * 100.0, 1e-12);
  }
  // Wheel 0 sits on the +y engine side, the host's +x.
  EXPECT_NEAR(car->wheelMatrices[0].off.x, 75.0, 1e-6);
  EXPECT_NEAR(car->wheelMatrices[1].off.x, -75.0, 1e-6);
  EXPECT_NEAR(car->wheelMatrices[0].off.z, 130.0, 1e-6);
}

// The three published wheel matrices of a steered, spinning wheel on a
// tilted body: with spin, without spin, and with the wheels set straight,
// each the model's own frame at the same hub; storing leaves the model
// steered straight.
TEST_F(RunStateTest, WheelMatricesWithAndWithoutSpinAndSteering) {
  auto car = SettledCar();
  CarDynamics& d = car->dynamics;
  Quat tilt(0.97, 0.1, -0.12, 0.2);
  NormalizeQuat(tilt);
  ResetCarDynamics(d, Vec3(1.0, -2.0, 0.7), tilt);
  for (int w = 0; w < 4; ++w) {
    d.wheels[w].compression = 0.01 * (w + 1);
    d.wheels[w].rotationAngle = 0.3 * (w + 1);
  }
  ApplySteering(d, 0.5);
  CarState model = *car;
  ASSERT_EQ(StoreDynamicsResults(*car, 1, 1), 0);
  const Matrix* published[3] = {car->wheelMatrices, car->wheelHubMatrices, car->wheelSteerFreeMatrices};
  for (int mode : {1, 0, -1}) {
    Vec3 hubs[kMaxWheels];
    Mat3 frames[kMaxWheels];
    GetWheelFrames(model.dynamics, hubs, frames, mode);
    for (int w = 0; w < 4; ++w) {
      Matrix expect = WheelFrameToHostAxes(frames[w]);
      expect.off = DynamicsPointToHost(hubs[w], 100.0);
      EXPECT_EQ(published[1 - mode][w], expect) << "mode " << mode << " wheel " << w;
    }
  }
  // Steering shows: the front wheels' hub frames are turned, the straight
  // ones are not; the hub is the same in all three.
  EXPECT_NE(car->wheelHubMatrices[0].v3, car->wheelSteerFreeMatrices[0].v3);
  EXPECT_EQ(car->wheelHubMatrices[0].off, car->wheelSteerFreeMatrices[0].off);
  EXPECT_EQ(car->wheelMatrices[0].off, car->wheelSteerFreeMatrices[0].off);
  for (int w = 0; w < 4; ++w)
    EXPECT_EQ(std::memcmp(d.wheels[w].wheelFrame.m, model.dynamics.wheels[w].wheelFrame.m, sizeof(Mat3)), 0) << w;
}

// A spinning body whose principal axes differ from the model axes: the
// stored angular velocity is in the model axes (host order).
TEST_F(RunStateTest, AngularVelocityIsStoredInModelAxes) {
  auto car = std::make_unique<CarState>();
  // Engine box ahead and above: the principal axes tilt about y.
  ASSERT_EQ(SetUpTwoBoxBody(car->dynamics, Vec3(4, 2, 1), 1000, Vec3(1, 1, 1), 800, 1.5, 0.8, 9.81), 0);
  ASSERT_GT(std::fabs(car->dynamics.body.principalAxes(0, 2)) + std::fabs(car->dynamics.body.principalAxes(2, 0)),
            0.01);
  const Vec3 w(0.3, -0.2, 0.5);  // model axes
  SetRigidBodyState(car->dynamics.body, Vec3(), Vec3(), Quat(), w, 0, 0);
  ASSERT_EQ(StoreDynamicsResults(*car, 1, 0), 0);
  EXPECT_NEAR(car->angularVelocity.x, w.y, 1e-12);
  EXPECT_NEAR(car->angularVelocity.y, w.z, 1e-12);
  EXPECT_NEAR(car->angularVelocity.z, w.x, 1e-12);
}

// Any non-finite component of the body state is refused before anything is
// written.
TEST_F(RunStateTest, NonFiniteBodyStateIsRefused) {
  struct Case {
    const char* name;
    void (*spoil)(RigidBody&);
  };
  const Case cases[] = {
      {"velocity x", [](RigidBody& b) { b.velocity.x = kNaN; }},
      {"velocity z", [](RigidBody& b) { b.velocity.z = std::numeric_limits<double>::infinity(); }},
      {"angular velocity y", [](RigidBody& b) { b.angularVelocity.y = kNaN; }},
      {"angular velocity z", [](RigidBody& b) { b.angularVelocity.z = -std::numeric_limits<double>::infinity(); }},
      {"position y", [](RigidBody& b) { b.position.y = kNaN; }},
      {"rotation", [](RigidBody& b) { b.rotation(2, 1) = kNaN; }},
  };
  for (const Case& c : cases) {
    auto car = SettledCar();
    const Matrix before = car->bodyMatrix;
    const Vec3 velocity = car->velocity;
    c.spoil(car->dynamics.body);
    EXPECT_EQ(StoreDynamicsResults(*car, 1, 1), -1000) << c.name;
    EXPECT_EQ(car->bodyMatrix, before) << c.name;
    EXPECT_EQ(car->velocity, velocity) << c.name;
  }
  // The largest finite values pass, however many of them: the test must not
  // add them up where they would overflow.
  auto car = SettledCar();
  const double big = std::numeric_limits<double>::max();
  car->dynamics.body.velocity = Vec3(big, big, -big);
  EXPECT_EQ(StoreDynamicsResults(*car, 1, 0), 0);
  EXPECT_EQ(car->velocity, DynamicsToHostOrder(Vec3(big, big, -big)));
}

TEST_F(RunStateTest, EngineSpeedIsRangeCheckedBeforeConversion) {
  struct Case {
    const char* name;
    double engineSpeed;
    int32 previousRpm;
    int32 status;
  };
  const double perRpm = vanto::kTwoPi / 60.0;
  const Case cases[] = {
      {"normal", 300.0, 2800, 0},
      {"NaN", kNaN, 0, -1000},
      {"beyond int32", 1e12, 0, -1000},
      {"jump of more than 100000 rpm", 100001.0 * perRpm, 0, -1000},
      {"large but steady", 150000.0 * perRpm, 120000, 0},
      {"negative", -50.0, 0, 0},
  };
  for (const Case& c : cases) {
    auto car = SettledCar();
    car->engineRpm = c.previousRpm;
    car->wheelSpinRates[0] = 123.0;
    car->dynamics.engine.engineSpeed = c.engineSpeed;
    car->dynamics.wheels[0].spinRate = 7.0;
    EXPECT_EQ(StoreDynamicsResults(*car, 1, 1), c.status) << c.name;
    if (c.status == 0) {
      EXPECT_EQ(car->engineRpm, static_cast<int32>(c.engineSpeed * 60.0 / vanto::kTwoPi)) << c.name;
      EXPECT_EQ(car->wheelSpinRates[0], 7.0);
    } else {
      EXPECT_EQ(car->engineRpm, c.previousRpm) << c.name;
      EXPECT_EQ(car->wheelSpinRates[0], 123.0) << "not written";
    }
  }
  // The first store after a reset compares with 0.
  auto car = SettledCar();
  ResetCarRunState(*car);
  car->dynamics.engine.engineSpeed = 100001.0 * perRpm;
  EXPECT_EQ(StoreDynamicsResults(*car, 1, 1), -1000);
}

TEST_F(RunStateTest, BodyOnlyStoreLeavesWheelOutputs) {
  auto car = SettledCar();
  car->speed = -1.0;
  car->engineRpm = 77;
  car->wheelCompressions[2] = -5.0;
  car->wheelMatrices[1].off = Vector(9, 9, 9);
  car->dynamics.wheels[2].compression = 0.05;
  EXPECT_EQ(StoreDynamicsResults(*car, 1, 0), 0);
  EXPECT_EQ(car->speed, -1.0);
  EXPECT_EQ(car->engineRpm, 77);
  EXPECT_EQ(car->wheelCompressions[2], -5.0);
  EXPECT_EQ(car->wheelMatrices[1].off, Vector(9, 9, 9));
  EXPECT_EQ(StoreDynamicsResults(*car, 1, 1), 0);
  EXPECT_NEAR(car->wheelCompressions[2], 5.0, 1e-12);  // 0.05 m at 100 units per metre
  EXPECT_NEAR(car->speed, LengthVec3(car->velocity), 1e-15);
}

TEST_F(RunStateTest, ResetClearsRunOutputsButNotPriorityLevels) {
  auto car = SettledCar();
  car->settings.simTime = 12.5;
  car->ramps[2] = ControlRamp{1, 2, 3, 4};
  car->pedalRampLevel = 0.6;
  car->steerRampLevel = 0.7;
  car->engagedGear = 3;
  car->engineRpm = 4000;
  car->tractionCutFlag = car->brakeReleaseFlag = 1;
  car->sideImpulse[3] = Vector(1, 2, 3);
  car->sideContactPoints[0] = Vector(1, 2, 3);
  car->impactValue = 0.5;
  car->impactTimeMs = 30;
  car->collisionPointCount = 4;
  car->dynamics.crashFlag = 1;
  ResetCarRunState(*car);
  EXPECT_EQ(car->ramps[2].current, 0.0);
  EXPECT_EQ(car->ramps[2].remaining, 0.0);
  EXPECT_EQ(car->pedalRampLevel, 0.6);
  EXPECT_EQ(car->steerRampLevel, 0.7);
  EXPECT_EQ(car->advanceStartTime, 12.5);
  EXPECT_EQ(car->engagedGear, 0);
  EXPECT_EQ(car->engineRpm, 0);
  EXPECT_EQ(car->tractionCutFlag + car->brakeReleaseFlag, 0);
  EXPECT_EQ(car->sideImpulse[3], Vector());
  EXPECT_EQ(car->sideContactPoints[0], Vector());
  EXPECT_EQ(car->impactValue + car->impactTimeMs, 0.0);
  EXPECT_EQ(car->collisionPointCount, 0);
  EXPECT_EQ(car->dynamics.crashFlag, 0);
  EXPECT_EQ(car->wheelCompressions[0], 0.0);
}

// Outside a scene the wheels stand on the car's default ground: raised to
// 0.5 m with a third of the grip, the settled hubs stand 0.5 m higher.
TEST_F(RunStateTest, OutsideASceneTheWheelsStandOnTheDefaultGround) {
  auto car = MakeCarOnGround(ReferenceCarParams());
  QueryGroundOutsideScene(*car);
  EXPECT_EQ(car->dynamics.wheelGround[3], &car->wheelGroundRecords[3]);
  EXPECT_EQ(car->wheelGroundRecords[3].normal, Vec3(0, 0, 1));
  EXPECT_EQ(car->wheelGroundRecords[3].friction, 1.0);

  SetFlatGroundHit(car->defaultGround, 0.5, 0.33, car->settings.unitsPerMetre);
  PlaceCarBody(car->dynamics, Vec3(0, 0, kReferenceRideHeight + 0.5), Quat());
  Settle(*car, 3.0);
  EXPECT_EQ(car->wheelGroundRecords[0].friction, 0.33);
  Vec3 hubs[kMaxWheels];
  GetWheelFrames(car->dynamics, hubs, nullptr, 0);
  EXPECT_NEAR(hubs[0].z, 0.8, 1e-3);
  EXPECT_EQ(car->wheelGroundRecords[0].planeOffset, -0.5);
}

TEST_F(RunStateTest, SimulationErrorGoesThroughTheSeam) {
  SimulationAssert(true);
  EXPECT_EQ(assertCount, 0);
  SimulationAssert(false);
  EXPECT_EQ(assertCount, 1);
  SetSimulationPrint(nullptr);  // back to stderr
  testing::internal::CaptureStderr();
  SimulationAssert(false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Simulation Error -4\n");
  EXPECT_EQ(assertCount, 1);
}

// A copy of the record stands on its own ground records and shares no
// outline buffer with its source.
TEST_F(RunStateTest, CopiedRecordOwnsItsReferences) {
  auto car = MakeCarOnGround(ReferenceCarParams());
  QueryGroundOutsideScene(*car);
  car->dynamics.wheelGround[1] = &car->defaultGround;
  Vec3 points[4];
  car->collisionOutline.deformPoints = points;
  car->collisionOutline.deformPointCount = 2;
  car->collisionOutline.counterForce[2] = 5.0;

  auto copy = std::make_unique<CarState>(*car);
  EXPECT_EQ(copy->dynamics.wheelGround[0], &copy->wheelGroundRecords[0]);
  EXPECT_EQ(copy->dynamics.wheelGround[1], &copy->defaultGround);
  EXPECT_EQ(copy->collisionOutline.deformPoints, nullptr);
  EXPECT_EQ(copy->collisionOutline.deformPointCount, 0);
  EXPECT_EQ(copy->collisionOutline.counterForce[2], 5.0);

  auto assigned = std::make_unique<CarState>();
  *assigned = *car;
  EXPECT_EQ(assigned->dynamics.wheelGround[2], &assigned->wheelGroundRecords[2]);
  // The copy steps exactly like the original.
  StepOnGround(*car, 0.2, 0.5, 0.0);
  StepOnGround(*copy, 0.2, 0.5, 0.0);
  EXPECT_EQ(car->dynamics.body.position, copy->dynamics.body.position);
  car->collisionOutline.deformPoints = nullptr;
}

TEST_F(RunStateTest, BodySetUpFromTheCarParameters) {
  BaseDocument* doc = BaseDocument::Alloc();
  BaseObject* engine = BaseObject::Alloc(Onull);
  ASSERT_TRUE(doc && engine);
  doc->InsertObject(engine, nullptr, nullptr);
  engine->SetRelPos(Vector(0.0, 40.0, 150.0));  // 1.5 m ahead, 0.4 m up

  auto car = std::make_unique<CarState>();
  car->settings.unitsPerMetre = 100.0;
  car->settings.gravity = 9.81;
  car->bodySize = Vector(180, 120, 400);
  BaseContainer bc;
  bc.SetVector(CAR_ENGINE_SIZE, Vector(60, 50, 60));
  bc.SetReal(CAR_MASS_BODY, 1500.0);
  bc.SetReal(CAR_MASS_ENGINE, 500.0);

  SetUpCarBody(doc, bc, *car);  // no engine link: nothing happens
  EXPECT_EQ(car->dynamics.body.mass, 0.0);

  bc.SetLink(RIG_ENGINE, engine);
  SetUpCarBody(doc, bc, *car);
  const RigidBody& b = car->dynamics.body;
  EXPECT_EQ(b.mass, 2000.0);
  Vec3 com;
  MulMat3TransposedVec3(com, b.principalAxes, b.referenceOffset);
  EXPECT_NEAR(com.x, -1.5 * 500.0 / 2000.0, 1e-12);
  EXPECT_NEAR(com.z, -0.4 * 500.0 / 2000.0, 1e-12);
  EXPECT_NEAR(com.y, 0.0, 1e-12);
  EXPECT_EQ(car->dynamics.bodySize[0], 1.8);  // width, length, height in metres
  EXPECT_EQ(car->dynamics.bodySize[1], 4.0);
  EXPECT_EQ(car->dynamics.bodySize[2], 1.2);
  BaseDocument::Free(doc);
}
