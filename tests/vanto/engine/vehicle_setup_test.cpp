// Vehicle set-up: validation, gear slots, wheels, steering geometry.
#include "engine_test_support.h"
#include "expect_vec.h"

namespace {

using VehicleSetUpTest = EngineTest;

int32 SetUpModel(const CarDynamicsParams& p, void (*tweakRecord)(CarDynamics&) = nullptr) {
  auto d = std::make_unique<CarDynamics>();
  WriteReferenceTyreConstants(*d);
  if (tweakRecord) tweakRecord(*d);
  return SetUpCarDynamics(*d, p, kG);
}

CarDynamicsParams ThreeAxleParams() {
  CarDynamicsParams p = ReferenceCarParams();
  p.axleCount = 3;
  p.axleType[2] = 1;  // rear group, steered (bit 8 clear)
  p.axlePosition[0] = Vec3(2.0, 0.8, -0.3);
  p.axlePosition[1] = Vec3(-0.5, 0.8, -0.3);
  p.axlePosition[2] = Vec3(-1.8, 0.8, -0.3);
  return p;
}

}  // namespace

// Every car the model cannot simulate is refused with 20 instead of
// producing infinities or NaN later.
TEST_F(VehicleSetUpTest, RefusesCarsItCannotSimulate) {
  struct Case {
    const char* name;
    void (*tweak)(CarDynamicsParams&);
    void (*tweakRecord)(CarDynamics&);
    int32 status;
  };
  const Case cases[] = {
      {"reference", [](CarDynamicsParams&) {}, nullptr, 0},
      {"19 gears", [](CarDynamicsParams& p) { p.gearCount = 19; for (double& r : p.gearRatios) r = 1.0; }, nullptr, 0},
      {"20 gears", [](CarDynamicsParams& p) { p.gearCount = 20; }, nullptr, 20},
      {"no gear", [](CarDynamicsParams& p) { p.gearCount = 0; }, nullptr, 20},
      {"negative gear count", [](CarDynamicsParams& p) { p.gearCount = -3; }, nullptr, 20},
      {"one axle", [](CarDynamicsParams& p) { p.axleCount = 1; }, nullptr, 20},
      {"eleven axles", [](CarDynamicsParams& p) { p.axleCount = 11; }, nullptr, 20},
      {"ten axles", [](CarDynamicsParams& p) {
         p.axleCount = 10;
         for (int a = 2; a < 10; ++a) {
           p.axleType[a] = 1 | kAxleNotSteered;
           p.axlePosition[a] = Vec3(-1.3 - 0.1 * a, 0.75, -0.3);
         }
       }, nullptr, 0},
      {"no powered axle", [](CarDynamicsParams& p) { p.poweredWheels = 3; }, nullptr, 20},
      {"front axle on the reference line", [](CarDynamicsParams& p) { p.axlePosition[0].x = -1.3; }, nullptr, 20},
      {"steered third axle on the reference line", [](CarDynamicsParams& p) {
         p.axleCount = 3;
         p.axleType[2] = 1;
         p.axlePosition[2] = p.axlePosition[1];
       }, nullptr, 20},
      {"unsteered third axle on the reference line", [](CarDynamicsParams& p) {
         p.axleCount = 3;
         p.axleType[2] = 1 | kAxleNotSteered;
         p.axlePosition[2] = p.axlePosition[1];
       }, nullptr, 0},
      // k = tan(lock) * y / (x0 - X) = tan(1.2) * 0.75 / 2.6 = 0.74: fine;
      // a track of 2.6 m per side reaches 2.57 >= 1.
      {"Ackermann factor reaching 1", [](CarDynamicsParams& p) { p.steeringLock = 1.2; p.axlePosition[0].y = 2.6; }, nullptr, 20},
      {"lock of a quarter turn", [](CarDynamicsParams& p) { p.steeringLock = 1.5707963267948966; }, nullptr, 20},
      {"Ca zero", [](CarDynamicsParams&) {}, [](CarDynamics& d) { d.tyreConstants[kTyreCa] = 0.0; }, 20},
      {"Ck negative", [](CarDynamicsParams&) {}, [](CarDynamics& d) { d.tyreConstants[kTyreCk] = -1.0; }, 20},
      {"profile with 2 points", [](CarDynamicsParams& p) { p.profilePointCount[1] = 2; }, nullptr, 20},
      {"profile with 21 points", [](CarDynamicsParams& p) { p.profilePointCount[0] = 21; }, nullptr, 20},
      {"profile with 3 points", [](CarDynamicsParams& p) { p.profilePointCount[0] = 3; }, nullptr, 0},
      {"body mass 0", [](CarDynamicsParams& p) { p.bodyMass = 0.0; }, nullptr, 20},
      {"engine mass -1", [](CarDynamicsParams& p) { p.engineMass = -1.0; }, nullptr, 20},
      {"weightless engine box", [](CarDynamicsParams& p) { p.engineMass = 0.0; }, nullptr, 0},
      {"wheel mass 0", [](CarDynamicsParams& p) { p.wheelMass[1] = 0.0; }, nullptr, 20},
      {"wheel radius 0", [](CarDynamicsParams& p) { p.wheelRadius[0] = 0.0; }, nullptr, 20},
      {"engine inertia 0", [](CarDynamicsParams& p) { p.engineInertia = 0.0; }, nullptr, 20},
      {"flat body box", [](CarDynamicsParams& p) {
         p.bodyBoxSize = Vec3(4.0, 0.0, 0.0);
         p.engineBoxSize = Vec3(0.0, 0.0, 0.0);
       }, nullptr, 20},
      {"torque curve of 2 samples", [](CarDynamicsParams& p) { p.torqueCurve.count = 2; }, nullptr, 20},
      {"axle group 2", [](CarDynamicsParams& p) { p.axleType[1] = 2; }, nullptr, 20},
      {"zero axle direction", [](CarDynamicsParams& p) { p.wheelAxis[0] = Vec3(); }, nullptr, 20},
      {"vertical axle", [](CarDynamicsParams& p) { p.wheelAxis[1] = Vec3(0, 0, 1); }, nullptr, 20},
  };
  for (const Case& c : cases) {
    CarDynamicsParams p = ReferenceCarParams();
    c.tweak(p);
    EXPECT_EQ(SetUpModel(p, c.tweakRecord), c.status) << c.name;
  }
}

// Gear g takes ratio g of the record times the final ratio; every slot the
// count allows is filled, none beyond it.
TEST_F(VehicleSetUpTest, EveryGearHasItsRatio) {
  CarDynamicsParams p = ReferenceCarParams();
  p.gearCount = 19;
  for (int g = 0; g < 19; ++g) p.gearRatios[g] = 1.0 + g;
  auto d = std::make_unique<CarDynamics>();
  WriteReferenceTyreConstants(*d);
  ASSERT_EQ(SetUpCarDynamics(*d, p, kG), 0);
  EXPECT_EQ(d->gearCount, 19);
  for (int g = 1; g <= 19; ++g) EXPECT_EQ(d->gearRatio[g - 1], (1.0 + (g - 1)) * 2.0) << g;
  EXPECT_EQ(d->reverseRatio, -3.42 * 2.0);

  p.gearCount = 4;
  ASSERT_EQ(SetUpCarDynamics(*d, p, kG), 0);
  EXPECT_EQ(d->gearRatio[3], 4.0 * 2.0);
  EXPECT_EQ(d->gearRatio[4], 0.0);
}

TEST_F(VehicleSetUpTest, WheelsMirrorAndSplitTheTorque) {
  CarDynamicsParams p = ThreeAxleParams();
  p.poweredWheels = 1;  // axles 1 and 2 are the rear group
  auto d = std::make_unique<CarDynamics>();
  WriteReferenceTyreConstants(*d);
  ASSERT_EQ(SetUpCarDynamics(*d, p, kG), 0);
  EXPECT_EQ(d->wheelCount, 6);
  EXPECT_EQ(d->torqueSplit[0], 0.0);
  EXPECT_EQ(d->torqueSplit[1], 0.25);
  EXPECT_EQ(d->torqueSplit[2], 0.25);
  // Steering flags: axle 0 always, axle 1 never, axle 2 from its word.
  const int steered[6] = {1, 1, 0, 0, 1, 1};
  for (int w = 0; w < 6; ++w) EXPECT_EQ(d->wheels[w].steered, steered[w]) << w;

  // Hubs in the model frame: the odd wheel mirrors y.
  Vec3 hubs[kMaxWheels];
  Mat3 frames[kMaxWheels];
  ResetCarDynamics(*d, Vec3(), Quat());
  GetWheelFrames(*d, hubs, frames, 0);
  for (int w = 0; w < 6; ++w) {
    const Vec3& a = p.axlePosition[w / 2];
    EXPECT_NEAR(hubs[w].x, a.x, 1e-12);
    EXPECT_NEAR(hubs[w].y, (w & 1) ? -a.y : a.y, 1e-12);
    EXPECT_NEAR(hubs[w].z, a.z, 1e-12);
    EXPECT_NEAR(DeterminantMat3(frames[w]), 1.0, 1e-12);
  }
  // Inertia of a wheel: m r^2 / 2.
  EXPECT_NEAR(d->wheels[0].wheelInertia, 30.0 * 0.09 * 0.5, 1e-12);
  // Static load per wheel: g * body mass / wheel count.
  EXPECT_NEAR(d->staticWheelLoad[0], kG * 1700.0 / 6, 1e-9);
}

// The axle lines of the two wheels of a steered axle meet on the steering
// reference line (the mean x of the unsteered axles).
TEST_F(VehicleSetUpTest, AckermannLinesMeetOnTheReferenceLine) {
  struct Case {
    const char* name;
    CarDynamicsParams params;
    double referenceX;
  };
  const Case cases[] = {
      {"two axles", ReferenceCarParams(), -1.3},
      {"three axles, third steered", ThreeAxleParams(), -0.5},
  };
  for (const Case& c : cases) {
    auto d = std::make_unique<CarDynamics>();
    WriteReferenceTyreConstants(*d);
    ASSERT_EQ(SetUpCarDynamics(*d, c.params, kG), 0) << c.name;
    ResetCarDynamics(*d, Vec3(), Quat());
    for (double steer : {-1.0, -0.4, 0.25, 1.0}) {
      ApplySteering(*d, steer);
      Vec3 hubs[kMaxWheels];
      GetWheelFrames(*d, hubs, nullptr, 0);
      for (int a = 0; a < d->axleCount; ++a) {
        if (!d->wheels[2 * a].steered) continue;
        double yAtReference[2];
        for (int s = 0; s < 2; ++s) {
          const int w = 2 * a + s;
          Vec3 axle;
          MulMat3Vec3(axle, d->body.rotation, d->wheels[w].axleDirection);
          ASSERT_GT(std::fabs(axle.x), 1e-6);
          const double lambda = (c.referenceX - hubs[w].x) / axle.x;
          yAtReference[s] = hubs[w].y + lambda * axle.y;
        }
        EXPECT_NEAR(yAtReference[0], yAtReference[1], 1e-9) << c.name << " steer " << steer << " axle " << a;
        // Positive steer turns toward -y: the turning centre lies there.
        if (a == 0) {
          EXPECT_LT(yAtReference[0] * steer, 0.0);
        }
      }
    }
    // Straight ahead the axles are their base directions again.
    ApplySteering(*d, 0.0);
    for (int w = 0; w < d->wheelCount; ++w) EXPECT_EQ(d->wheels[w].axleDirection, d->wheels[w].baseAxleDirection);
  }
}

TEST_F(VehicleSetUpTest, SteerFreeFramesStayStraightUntilTheNextSteering) {
  auto car = MakeCarOnGround(ReferenceCarParams());
  CarDynamics& d = car->dynamics;
  ApplySteering(d, 0.8);
  const Vec3 steered = d.wheels[0].axleDirection;
  EXPECT_NE(steered, d.wheels[0].baseAxleDirection);
  Mat3 frames[kMaxWheels];
  GetWheelFrames(d, nullptr, frames, -1);
  EXPECT_EQ(d.wheels[0].axleDirection, d.wheels[0].baseAxleDirection);
  ApplySteering(d, 0.8);
  EXPECT_EQ(d.wheels[0].axleDirection, steered);
}

TEST_F(VehicleSetUpTest, TwoBoxBodyAlone) {
  auto d = std::make_unique<CarDynamics>();
  EXPECT_EQ(SetUpTwoBoxBody(*d, Vec3(4, 2, 1), 1000, Vec3(1, 1, 1), 1000, 2.0, 0.0, 9.81), 0);
  // Centre of mass halfway between the box centres.
  Vec3 com;
  MulMat3TransposedVec3(com, d->body.principalAxes, d->body.referenceOffset);
  EXPECT_NEAR(com.x, -1.0, 1e-12);
  EXPECT_EQ(d->bodySize[0], 2.0);
  EXPECT_EQ(d->bodySize[1], 4.0);
  EXPECT_EQ(d->bodySize[2], 1.0);
  EXPECT_EQ(SetUpTwoBoxBody(*d, Vec3(4, 2, 1), -5, Vec3(1, 1, 1), 1000, 2.0, 0.0, 9.81), 20);
}

// The frames and points the run reads turn with the body: the body
// transform is the body rotation times the principal axes, a hub is its
// mount point moved along the suspension and carried by the body, and a
// wheel frame is the body rotation times the wheel's own frame. They are
// worked out as the plain matrix products do, to the bit (the recorded runs
// depend on it), on a car tilted about all three axes with compressed,
// steered and turned wheels.
TEST_F(VehicleSetUpTest, FramesAndHubsTurnWithTheBody) {
  auto d = std::make_unique<CarDynamics>();
  WriteReferenceTyreConstants(*d);
  ASSERT_EQ(SetUpCarDynamics(*d, ThreeAxleParams(), kG), 0);
  Quat q(0.9, 0.2, -0.3, 0.25);
  NormalizeQuat(q);
  ResetCarDynamics(*d, Vec3(3.0, -2.0, 0.7), q);
  ApplySteering(*d, 0.6);
  for (int w = 0; w < d->wheelCount; ++w) {
    d->wheels[w].compression = 0.01 * (w + 1) - 0.03;
    d->wheels[w].rotationAngle = 0.7 * w - 1.0;
  }
  const RigidBody& b = d->body;
  // Both builds: with and without four-wide registers.
  for (bool wide : {false, true}) {
    if (wide && !ProcessorHasWideRegisters()) continue;
    gEngine.wideRegisters = wide;
    SCOPED_TRACE(wide ? "four-wide" : "plain");

    Vec3 origin, wantOrigin;
    Mat3 rotation, wantRotation;
    GetBodyTransform(*d, origin, rotation);
    MulMat3(wantRotation, b.rotation, b.principalAxes);
    TransformToWorld(wantOrigin, b.rotation, b.referenceOffset, b.position);
    EXPECT_EQ(rotation, wantRotation);
    EXPECT_EQ(origin, wantOrigin);
    // The model frame turned back by the orientation it was placed with is
    // the identity, and its origin is where it was placed.
    Mat3 placed, back;
    QuatToMat3(placed, q, 1.0);
    MulMat3TransposedLeft(back, placed, rotation);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(back(r, c), r == c ? 1.0 : 0.0, 1e-12) << r << c;
    ExpectVec(origin, Vec3(3.0, -2.0, 0.7));

    for (int mode : {0, 1}) {
      Vec3 hubs[kMaxWheels];
      Mat3 frames[kMaxWheels];
      GetWheelFrames(*d, hubs, frames, mode);
      for (int w = 0; w < d->wheelCount; ++w) {
        const WheelState& s = d->wheels[w];
        Vec3 local, hub;
        AddScaledVec3(local, s.mountPoint, s.compression, s.suspensionDirection);
        TransformToWorld(hub, b.rotation, local, b.position);
        EXPECT_EQ(hubs[w], hub) << "mode " << mode << " wheel " << w;
        Mat3 own = s.wheelFrame, frame;
        if (mode == 1) {
          Mat3 spin;
          RotationMat3(spin, Axis::X, (w & 1) ? -s.rotationAngle : s.rotationAngle);
          MulMat3(own, s.wheelFrame, spin);
        }
        MulMat3(frame, b.rotation, own);
        EXPECT_EQ(frames[w], frame) << "mode " << mode << " wheel " << w;
        // The first column lies along the (steered) axle in the world,
        // reversed for odd wheels; spinning the wheel about it leaves it.
        Vec3 axle;
        MulMat3Vec3(axle, b.rotation, s.axleDirection);
        if (w & 1) NegateVec3(axle);
        ExpectVec(Vec3(frames[w](0, 0), frames[w](1, 0), frames[w](2, 0)), axle);
        EXPECT_NEAR(DeterminantMat3(frames[w]), 1.0, 1e-12);
      }
    }
  }
}
