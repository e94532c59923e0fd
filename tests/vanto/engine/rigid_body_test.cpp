// Rigid body: mass assembly, placing, loads and the Runge-Kutta step.
#include "engine_test_support.h"
#include "engine/rigid_body.h"

namespace {

using RigidBodyTest = EngineTest;

std::vector<double> SortedMoments(const RigidBody& b) {
  std::vector<double> m = {b.principalInertia[0], b.principalInertia[2], b.principalInertia[4]};
  std::sort(m.begin(), m.end());
  return m;
}

void ExpectMomentsNear(const RigidBody& b, std::vector<double> expect, double tol) {
  std::sort(expect.begin(), expect.end());
  const std::vector<double> got = SortedMoments(b);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], expect[i], tol) << i;
}

// One full step with the loads added by `load` before every stage.
template <typename Load>
void Step(RigidBody& b, Load load) {
  BeginBodyStep(b);
  load(b);
  IntegrateBodyStage1(b);
  load(b);
  IntegrateBodyStage2(b);
  load(b);
  IntegrateBodyStage3(b);
  load(b);
  FinishBodyStep(b);
}

void NoLoad(RigidBody&) {}

}  // namespace

TEST_F(RigidBodyTest, PrimitiveInertias) {
  struct Case {
    const char* name;
    void (*make)(RigidBody&);
    std::vector<double> moments;
  };
  // Box of half sizes 1, 2, 3 and 6 kg: m/3 (b^2 + c^2), ...; cylinder r = 1,
  // l = 2, 12 kg: m r^2 / 2 = 6 and m (3 r^2 + l^2) / 12 = 7; sphere r = 2,
  // 5 kg: 2/5 m r^2 = 8.
  const Case cases[] = {
      {"box", [](RigidBody& b) { SetBoxInertia(b, 1, 2, 3, 6); }, {26, 20, 10}},
      {"cylinder", [](RigidBody& b) { SetCylinderInertia(b, 1, 2, 12); }, {6, 7, 7}},
      {"sphere", [](RigidBody& b) { SetSphereInertia(b, 2, 5); }, {8, 8, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RigidBody b;
    c.make(b);
    FinishRigidBodyMass(b);
    ExpectMomentsNear(b, c.moments, 1e-12);
    EXPECT_NEAR(LengthVec3(b.referenceOffset), 0.0, 1e-15);
    EXPECT_NEAR(b.weightForce, -b.mass * 9.81, 1e-12);
  }
}

// Parallel-axis merge: two half boxes side by side are one box.
TEST_F(RigidBodyTest, TwoHalfBoxesEqualOneBox) {
  RigidBody whole, left, right;
  SetBoxInertia(whole, 2.0, 1.0, 0.5, 10.0);
  FinishRigidBodyMass(whole);

  SetBoxInertia(left, 1.0, 1.0, 0.5, 5.0);
  SetBoxInertia(right, 1.0, 1.0, 0.5, 5.0);
  const Vec3 shift(3.0, -1.0, 2.0);  // anywhere: the origin moves to the centre of mass
  MergeRigidBody(left, right, Mat3(), Vec3(2.0, 0.0, 0.0));
  RigidBody placed;
  ClearRigidBodyMass(placed);
  MergeRigidBody(placed, left, Mat3(), shift);
  FinishRigidBodyMass(placed);

  ExpectMomentsNear(placed, {10.0 / 3 * (1 + 0.25), 10.0 / 3 * (4 + 0.25), 10.0 / 3 * (4 + 1)}, 1e-12);
  EXPECT_NEAR(placed.mass, 10.0, 1e-15);
  // Centre of mass at shift + (1, 0, 0); the model origin seen from it:
  Vec3 offsetModel;
  MulMat3TransposedVec3(offsetModel, placed.principalAxes, placed.referenceOffset);
  EXPECT_NEAR(offsetModel.x, -4.0, 1e-12);
  EXPECT_NEAR(offsetModel.y, 1.0, 1e-12);
  EXPECT_NEAR(offsetModel.z, -2.0, 1e-12);
}

TEST_F(RigidBodyTest, RotatedMergeAndUnequalMasses) {
  // A box turned a quarter turn about z swaps its x and y moments.
  RigidBody a, b, r;
  ClearRigidBodyMass(a);
  SetBoxInertia(b, 2.0, 1.0, 0.5, 3.0);
  Mat3 rz;
  RotationMat3(rz, Axis::Z, 1.5707963267948966);
  MergeRigidBody(a, b, rz, Vec3());
  EXPECT_NEAR(a.inertiaDiagonal[0], 3.0 / 3 * (4 + 0.25), 1e-12);
  EXPECT_NEAR(a.inertiaDiagonal[1], 3.0 / 3 * (1 + 0.25), 1e-12);

  // 3 kg at the origin and 1 kg at x = 4: the centre of mass lies at x = 1.
  SetBoxInertia(r, 0.1, 0.1, 0.1, 3.0);
  RigidBody small;
  SetBoxInertia(small, 0.1, 0.1, 0.1, 1.0);
  MergeRigidBody(r, small, Mat3(), Vec3(4.0, 0.0, 0.0));
  EXPECT_NEAR(r.centreOfMass.x, 1.0, 1e-15);
  FinishRigidBodyMass(r);
  Vec3 offsetModel;
  MulMat3TransposedVec3(offsetModel, r.principalAxes, r.referenceOffset);
  EXPECT_NEAR(offsetModel.x, -1.0, 1e-12);
  // Point masses about the centre: 3 * 1 + 1 * 9 = 12 added about y and z.
  const double self = 4.0 / 3 * 0.02;
  ExpectMomentsNear(r, {self, self + 12.0, self + 12.0}, 1e-12);
}

TEST_F(RigidBodyTest, FreeFallAndConstantForce) {
  RigidBody b;
  SetBoxInertia(b, 1, 1, 1, 2.0);
  FinishRigidBodyMass(b);
  SetRigidBodyState(b, Vec3(0, 0, 100), Vec3(), Quat(), Vec3(), 0, 0);
  SetStepSize(0.01);
  for (int i = 0; i < 300; ++i) Step(b, NoLoad);
  const double t = 3.0, drop = 0.5 * 9.81 * t * t;
  // Exact for constant acceleration but for the single-precision third of
  // the velocity weights (3 * 0.33333334 - 1 = 3e-8).
  EXPECT_NEAR(b.position.z, 100.0 - drop, drop * 1e-7);
  // The final velocity weight is the single-precision third: 1e-7 relative.
  EXPECT_NEAR(b.velocity.z, -9.81 * t, 9.81 * t * 1e-7);
  EXPECT_NEAR(b.position.x, 0.0, 1e-15);

  // A constant sideways force F over one step moves the body F/m h^2/2.
  SetRigidBodyState(b, Vec3(), Vec3(), Quat(), Vec3(), 0, 0);
  const double h = 0.02, F = 50.0;
  SetStepSize(h);
  Step(b, [F](RigidBody& body) { ApplyWorldForceAtPoint(body, Vec3(F, 0, 0), body.position); });
  EXPECT_NEAR(b.position.x, F / 2.0 * h * h / 2.0, 1e-15);
  EXPECT_NEAR(b.velocity.x, F / 2.0 * h, F / 2.0 * h * 1e-7);
}

TEST_F(RigidBodyTest, EulerStepUsesTheStartDerivatives) {
  RigidBody b;
  SetBoxInertia(b, 1, 1, 1, 2.0);
  FinishRigidBodyMass(b);
  SetRigidBodyState(b, Vec3(0, 0, 10), Vec3(1, 0, 0), Quat(), Vec3(), 0, 0);
  SetStepSize(0.1);
  BeginBodyStep(b);
  EulerBodyStep(b);
  EXPECT_NEAR(b.position.x, 0.1, 1e-15);
  EXPECT_NEAR(b.position.z, 10.0, 1e-15);
  EXPECT_NEAR(b.velocity.z, -0.981, 1e-15);
}

TEST_F(RigidBodyTest, PlacingWithSpinGivesTheRotationalVelocity) {
  // Two boxes: the centre of mass sits 1 m ahead of the model origin.
  RigidBody b, front;
  SetBoxInertia(b, 0.5, 0.5, 0.5, 1.0);
  SetBoxInertia(front, 0.5, 0.5, 0.5, 1.0);
  MergeRigidBody(b, front, Mat3(), Vec3(2.0, 0.0, 0.0));
  FinishRigidBodyMass(b);
  SetRigidBodyState(b, Vec3(5, 0, 0), Vec3(1, 2, 3), Quat(), Vec3(), 0, 0);
  EXPECT_EQ(b.velocity, Vec3(1, 2, 3));
  EXPECT_NEAR(b.position.x, 6.0, 1e-15);
  // Spinning about z at 2 rad/s: the centre of mass (r = (1, 0, 0)) gains
  // w x r = (0, 2, 0).
  SetRigidBodyState(b, Vec3(5, 0, 0), Vec3(1, 2, 3), Quat(), Vec3(0, 0, 2), 0, 0);
  EXPECT_NEAR(b.velocity.x, 1.0, 1e-15);
  EXPECT_NEAR(b.velocity.y, 4.0, 1e-15);
  Vec3 origin, vel;
  BodyPointPositionAndVelocity(b, b.referenceOffset, origin, vel);
  EXPECT_NEAR(origin.x, 5.0, 1e-15);
  EXPECT_NEAR(vel.y, 2.0, 1e-15);  // the model origin moves as given
  WorldPointVelocity(b, origin, vel);
  EXPECT_NEAR(vel.y, 2.0, 1e-15);
}

// A spinning asymmetric body without torque keeps its energy and its
// angular momentum over 10^4 steps.
TEST_F(RigidBodyTest, TorqueFreeAsymmetricBodyConservesEnergyAndMomentum) {
  SetGravity(0.0);
  RigidBody b;
  SetBoxInertia(b, 1.5, 0.8, 0.3, 4.0);
  FinishRigidBodyMass(b);
  // Mostly about the intermediate axis, the unstable one: a hard case.
  SetRigidBodyState(b, Vec3(), Vec3(), Quat(), Vec3(0.05, 3.0, 0.1), 0, 0);
  const double e0 = RigidBodyEnergy(b);
  Vec3 p0, l0;
  RigidBodyMomenta(b, p0, l0);
  SetStepSize(0.001);
  for (int i = 0; i < 10000; ++i) Step(b, NoLoad);
  EXPECT_NEAR(RigidBodyEnergy(b) / e0, 1.0, 1e-6);
  Vec3 p1, l1;
  RigidBodyMomenta(b, p1, l1);
  // Momentum is carried by the orientation, which is integrated to second
  // order: a looser bound.
  EXPECT_NEAR(l1.x, l0.x, 1e-3 * LengthVec3(l0));
  EXPECT_NEAR(l1.y, l0.y, 1e-3 * LengthVec3(l0));
  EXPECT_NEAR(l1.z, l0.z, 1e-3 * LengthVec3(l0));
  EXPECT_NEAR(DeterminantMat3(b.rotation), 1.0, 1e-3);
}

// x'' = -k/m x from rest at x = 1: halving the step divides the error at
// t = 1.25 s (a zero crossing, where the phase error shows) by 2^4.
TEST_F(RigidBodyTest, StepHalvingShowsFourthOrderConvergence) {
  SetGravity(0.0);
  const double m = 1.0, k = 4.0 * 3.14159265358979 * 3.14159265358979;  // 1 Hz
  auto errorWith = [&](double h) {
    RigidBody b;
    SetSphereInertia(b, 0.1, m);
    FinishRigidBodyMass(b);
    SetRigidBodyState(b, Vec3(1, 0, 0), Vec3(), Quat(), Vec3(), 0, 0);
    SetStepSize(h);
    const int n = static_cast<int>(1.25 / h + 0.5);
    for (int i = 0; i < n; ++i)
      Step(b, [k](RigidBody& body) { ApplyWorldForceAtPoint(body, Vec3(-k * body.position.x, 0, 0), body.position); });
    return std::fabs(b.position.x - std::cos(std::sqrt(k / m) * 1.25));
  };
  const double e1 = errorWith(0.05), e2 = errorWith(0.025), e3 = errorWith(0.0125);
  EXPECT_GT(e1, 1e-5);
  EXPECT_NEAR(e1 / e2, 16.0, 2.0);
  EXPECT_NEAR(e2 / e3, 16.0, 2.0);
}

TEST_F(RigidBodyTest, OrientationIsRenormalisedOnlyOutsideTheBand) {
  struct Case {
    double normSquared;
    bool rescaled;
  };
  for (const Case& c : {Case{1.00005, false}, Case{1.0002, true}, Case{0.9998, true}}) {
    RigidBody b;
    SetSphereInertia(b, 1, 1);
    FinishRigidBodyMass(b);
    SetRigidBodyState(b, Vec3(), Vec3(), Quat(), Vec3(), 0, 0);
    b.orientation = Quat(std::sqrt(c.normSquared), 0, 0, 0);
    SetStepSize(0.001);
    BeginBodyStep(b);
    IntegrateBodyStage1(b);  // no spin: the orientation only passes the check
    const double n = c.normSquared;
    const double expectW = c.rescaled ? std::sqrt(n) * (n + 1) / (2 * n) : std::sqrt(n);
    EXPECT_NEAR(b.orientation.w, expectW, 1e-15) << n;
    // The rotation is rebuilt with the squared norm that goes with q.
    EXPECT_NEAR(b.rotation(0, 0), 1.0, 1e-12);
  }
}

TEST_F(RigidBodyTest, RestoreReturnsToTheStartOfTheStep) {
  RigidBody b;
  SetBoxInertia(b, 1, 2, 3, 5);
  FinishRigidBodyMass(b);
  SetRigidBodyState(b, Vec3(1, 2, 3), Vec3(4, 5, 6), Quat(), Vec3(0.1, 0.2, 0.3), 0, 0);
  const RigidBody before = b;
  SetStepSize(0.01);
  Step(b, NoLoad);
  EXPECT_NE(b.position, before.position);
  BeginBodyStep(b);  // the step in progress
  const Vec3 mid = b.position;
  IntegrateBodyStage1(b);
  RestoreRigidBody(b);
  EXPECT_EQ(b.position, mid);
}
