// Tyre model: profiles, load and contact, slip rates, the Magic Formula and
// the transient slip states.
#include "engine_test_support.h"

namespace {

class TyreTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_EQ(BuildTyreProfiles(0, r, w, p1, p2, p3, 20, 6.0), 0);
    tyre.radialStiffness = 400000.0;
    tyre.radius = r;
    FlatGround().GroundAt(Vec3(), ground);
  }

  int32 Force(const Vec3& hub, const Vec3& vel, const Vec3& axle, double spin, double A, double B) {
    slip = {A, B, 0.0, 0.0};
    return ComputeTyreForce(tyre, profiles, hub, vel, axle, spin, ground, contact, force, set, shared, out, slip, W);
  }

  const double r = 0.3, w = 0.2, W = 4000.0;
  SampledCurve p1, p2, p3;
  const SampledCurve* const profiles[3] = {&p1, &p2, &p3};
  TyreBlock tyre;
  GroundHit ground;
  const double set[7] = {75000, 60000, 1.2, -0.2, 1.5, 5e-5, 1.0};
  const double shared[5] = {0.1, 0.1, 10.0, 6.0, 3.0};
  Vec3 contact, force{7, 7, 7};
  TyreOutput out;
  TyreSlipIO slip;
};

}  // namespace

TEST_F(TyreTest, ProfileEnds) {
  // Upright (u = 0): offset 0, radial and profile distance the radius; axle
  // along the normal (u = 1): half the width inward, half the width down.
  EXPECT_NEAR(EvaluateSampledCurve(p1, 0.0), 0.0, 1e-15);
  EXPECT_NEAR(EvaluateSampledCurve(p2, 0.0), r, 1e-15);
  EXPECT_NEAR(EvaluateSampledCurve(p3, 0.0), r, 1e-15);
  EXPECT_NEAR(p1.values[19], -0.1, 1e-15);
  EXPECT_NEAR(p2.values[19], 0.1, 1e-15);
  EXPECT_NEAR(p3.values[19], 0.1, 1e-15);
  EXPECT_EQ(BuildTyreProfiles(2, r, w, p1, p2, p3, 20, 6.0), 20);
  EXPECT_EQ(BuildTyreProfiles(1, r, w, p1, p2, p3, 21, 6.0), 20);
  SampledCurve a, b;
  EXPECT_EQ(BuildTyreProfilesTwoCurve(1, r, w, a, b, 5, 6.0), 0);
  EXPECT_NEAR(b.values[2], (1 - std::pow(0.5, 6.0)) * 0.2 + 0.1, 1e-15);
  // A wheel narrower in radius than half its width is reported.
  EXPECT_EQ(assertCount, 0);
  EXPECT_EQ(BuildTyreProfiles(1, 0.05, w, a, b, p3, 5, 6.0), 0);
  EXPECT_EQ(assertCount, 1);
}

TEST_F(TyreTest, UprightWheelLoadAndContactPoint) {
  const Vec3 axle(0, 1, 0);
  // Hub one radius up: the load is the static wheel load.
  ASSERT_EQ(Force(Vec3(2, 3, r), Vec3(), axle, 0, 0, 0), 1);
  EXPECT_NEAR(force.z, W, 1e-9);
  EXPECT_NEAR(contact.x, 2.0, 1e-15);
  EXPECT_NEAR(contact.z, 0.0, 1e-15);
  // 1 cm lower: 4000 N more.
  ASSERT_EQ(Force(Vec3(0, 0, r - 0.01), Vec3(), axle, 0, 0, 0), 1);
  EXPECT_NEAR(force.z, W + 4000.0, 1e-6);
  EXPECT_EQ(out.contact, 1);
  EXPECT_NEAR(out.frictionLimit, 1.5 * std::exp(-8000 * 5e-5) * 8000, 1e-9);
  // A = B = 0: no in-plane force, no skid.
  EXPECT_NEAR(force.x, 0.0, 1e-12);
  EXPECT_NEAR(force.y, 0.0, 1e-12);
  EXPECT_EQ(out.skidIntensity, 0.0);
  EXPECT_EQ(out.sliding, 0);
}

TEST_F(TyreTest, BelowOneNewtonThereIsNoContactButTheRatesAreWritten) {
  TyreOutput full{1, 2, 3, 4, 1, 1};
  out = full;
  // Fz = (r - h) k + W = 0.9 N.
  const double h = r + (W - 0.9) / 400000.0;
  EXPECT_EQ(Force(Vec3(0, 0, h), Vec3(20, 0, 0), Vec3(0, 1, 0), 0, 0.1, 0.0), 0);
  EXPECT_EQ(out.contact, 0);
  EXPECT_EQ(out.sliding, 0);
  EXPECT_EQ(out.lateralForce, 0.0);
  EXPECT_EQ(out.longitudinalForce, 0.0);
  EXPECT_EQ(out.frictionLimit, 0.0);
  EXPECT_EQ(out.skidIntensity, 0.0);
  EXPECT_EQ(force, Vec3(7, 7, 7)) << "not written";
  EXPECT_NEAR(slip.lateralRate, (0 - 20 * 0.1) / 0.1, 1e-12);
  EXPECT_NEAR(slip.longitudinalRate, (0 - 20) / 0.1, 1e-12);
}

TEST_F(TyreTest, SoftenedSpeedKeepsStandstillRatesFinite) {
  // vx = 0: vs = vSoft / 2 = 5 m/s.
  Force(Vec3(0, 0, r), Vec3(0, 0, 0), Vec3(0, 1, 0), 0, 0.2, -0.4);
  EXPECT_NEAR(slip.lateralRate, -5 * 0.2 / 0.1, 1e-12);
  EXPECT_NEAR(slip.longitudinalRate, 5 * 0.4 / 0.1, 1e-12);
  // Spin gives longitudinal slip: omega r - vx.
  Force(Vec3(0, 0, r), Vec3(12, 0, 0), Vec3(0, 1, 0), 50.0, 0, 0);
  EXPECT_NEAR(slip.longitudinalRate, (50 * r - 12) / 0.1, 1e-12);
}

// The lateral force always opposes A, on both sides of the small-slip limit;
// at large slip the in-plane force tends to sin(C pi / 2) mu Fz.
TEST_F(TyreTest, MagicFormulaDirectionAndSaturation) {
  const Vec3 hub(0, 0, r), axle(0, 1, 0);
  for (double A : {1e-9, 1e-3, 0.05, 0.5}) {
    Force(hub, Vec3(10, 0, 0), axle, 10 / r, A, 0);
    EXPECT_GT(force.y, 0.0) << A;  // e3 = -y: the force points along -e3
    EXPECT_LT(out.lateralForce, 0.0) << A;
    Force(hub, Vec3(10, 0, 0), axle, 10 / r, -A, 0);
    EXPECT_LT(force.y, 0.0) << A;
  }
  // Small slip: the linear forces Ca A and Ck B.
  Force(hub, Vec3(10, 0, 0), axle, 10 / r, 1e-9, 2e-9);
  EXPECT_NEAR(force.y, 75000 * 1e-9, 1e-12);
  EXPECT_NEAR(force.x, 60000 * 2e-9, 1e-12);
  // Large slip.
  Force(hub, Vec3(10, 0, 0), axle, 10 / r, 0, 1e4);
  const double mu = 1.5 * std::exp(-W * 5e-5);
  const double s = 60000.0 * 1e4 / (mu * W);
  EXPECT_NEAR(force.x, MagicFormula(s, 1.2, -0.2) * mu * W, 1e-6);
  EXPECT_NEAR(MagicFormula(1e9, 1.2, -0.2), std::sin(1.2 * 3.14159265358979 / 2), 1e-6);
  EXPECT_EQ(out.sliding, 1);
  EXPECT_NEAR(out.skidIntensity, s / (s + 6.0) * W, 1e-6);
  // Ground grip scales the in-plane force only.
  ground.friction = 0.5;
  Vec3 before = force;
  Force(hub, Vec3(10, 0, 0), axle, 10 / r, 0, 1e4);
  EXPECT_NEAR(force.x, 0.5 * before.x, 1e-9);
  EXPECT_NEAR(force.z, before.z, 1e-9);
}

TEST_F(TyreTest, AxleAlongTheNormalSeesNoSlipVelocity) {
  Force(Vec3(0, 0, 0.1), Vec3(5, 5, 0), Vec3(0, 0, 1), 0, 0, 0);
  EXPECT_NEAR(slip.lateralRate, 0.0, 1e-15);
  EXPECT_NEAR(slip.longitudinalRate, 0.0, 1e-15);
}

// A cambered wheel and its mirror image in y (the axle mirrored and
// reversed, as the odd wheel of an axle is built) carry the same load and
// mirrored forces and contact points.
TEST_F(TyreTest, MirroredWheelsSeeMirroredForces) {
  const double camber = 0.08;
  const Vec3 a(0, std::cos(camber), -std::sin(camber));
  const Vec3 aMirror(-a.x, a.y, -a.z);  // the odd wheel's axle
  const Vec3 hub(0.4, 0.75, r - 0.004), hubMirror(0.4, -0.75, r - 0.004);
  const Vec3 v(15, 1.5, 0), vMirror(15, -1.5, 0);
  Force(hub, v, a, 48.0, 0.03, 0.02);
  const Vec3 f1 = force, c1 = contact;
  const double rateA = slip.lateralRate, rateB = slip.longitudinalRate;
  Force(hubMirror, vMirror, aMirror, 48.0, -0.03, 0.02);
  EXPECT_NEAR(force.x, f1.x, 1e-9);
  EXPECT_NEAR(force.y, -f1.y, 1e-9);
  EXPECT_NEAR(force.z, f1.z, 1e-9);
  EXPECT_NEAR(contact.y, -c1.y, 1e-15);
  EXPECT_NEAR(contact.z, c1.z, 1e-15);
  EXPECT_NEAR(slip.lateralRate, -rateA, 1e-9);
  EXPECT_NEAR(slip.longitudinalRate, rateB, 1e-9);
  // The camber changes the load against an upright wheel (the profile is
  // read at |u|, not clamped to the upright value on one side).
  Force(hub, v, Vec3(0, 1, 0), 48.0, 0.03, 0.02);
  EXPECT_GT(std::fabs(force.z - f1.z), 1.0);
}

// With the wheel rolling freely at a fixed speed, both slip states relax
// as exp(-v t / L) through the Runge-Kutta stages of the model: per step
// exactly by the fourth-order factor R(z) = 1 + z + z^2/2 + z^3/6 + z^4/24,
// z = -v h / L, which is exp(z) to 3e-6 at z = -0.2.
TEST_F(TyreTest, SlipRelaxesExponentially) {
  auto d = std::make_unique<CarDynamics>();
  d->wheelCount = 1;
  const double v = 20.0, A0 = 0.2, B0 = -0.1, h = 0.001;
  d->lateralSlip.saved[0] = A0;
  d->wheelSlip.saved[0] = B0;
  SetStepSize(h);
  auto pass = [&] {
    Force(Vec3(0, 0, r), Vec3(v, 0, 0), Vec3(0, 1, 0), v / r, d->lateralSlip.working[0], d->wheelSlip.working[0]);
    d->lateralSlip.rate[0] = slip.lateralRate;
    d->wheelSlip.rate[0] = slip.longitudinalRate;
  };
  for (int i = 1; i <= 30; ++i) {
    BeginWheelsStep(*d);
    pass();
    IntegrateWheelsStage1(*d);
    pass();
    IntegrateWheelsStage2(*d);
    pass();
    IntegrateWheelsStage3(*d);
    pass();
    FinishWheelsStep(*d);
    const double z = -v * h / 0.1;
    const double rk4 = std::pow(1 + z + z * z / 2 + z * z * z / 6 + z * z * z * z / 24, i);
    EXPECT_NEAR(d->lateralSlip.saved[0], A0 * rk4, 1e-13) << i;
    EXPECT_NEAR(d->wheelSlip.saved[0], B0 * rk4, 1e-13) << i;
    const double decay = std::exp(z * i);
    EXPECT_NEAR(d->lateralSlip.saved[0] / (A0 * decay), 1.0, 4e-6 * i) << i;
  }
}

TEST_F(TyreTest, DivergingSlipIsHeldFinite) {
  auto d = std::make_unique<CarDynamics>();
  d->wheelCount = 1;
  d->wheelSlip.saved[0] = 9e5;
  d->wheelSlip.rate[0] = 1e12;
  SetStepSize(0.001);
  BeginWheelsStep(*d);
  IntegrateWheelsStage1(*d);
  IntegrateWheelsStage2(*d);
  IntegrateWheelsStage3(*d);
  FinishWheelsStep(*d);
  EXPECT_EQ(d->wheelSlip.saved[0], 1e6);
}

// Four wheels through the model together give each wheel exactly what it
// gets alone: on the ground or off it, mirrored, sliding or below the
// small-slip limit, and with a group whose curves are sampled differently.
TEST_F(TyreTest, WheelsTogetherGiveWhatEachGetsAlone) {
  SampledCurve q1, q2, q3;
  ASSERT_EQ(BuildTyreProfiles(1, 0.35, 0.25, q1, q2, q3, 12, 4.0), 0);
  SampledCurve coarse;  // sampled apart from q1 and q3
  const double v[5] = {0.35, 0.34, 0.32, 0.28, 0.2};
  ASSERT_EQ(BuildSampledCurve(coarse, 5, v, 0.0, 1.0), 0);
  const SampledCurve* const odd[3] = {&q1, &coarse, &q3};
  GroundHit raised;
  FlatGround(0.02, 0.8).GroundAt(Vec3(), raised);
  struct Wheel {
    Vec3 hub, vel, axle;
    double spin, A, B;
    const SampledCurve* const* curves;
    const GroundHit* ground;
    double W;
  };
  const Wheel wheels[] = {
      {{0, 0, r - 0.01}, {15, 0.5, 0}, {0, 1, 0}, 48.0, 0.05, -0.02, profiles, &ground, W},       // rolling
      {{1, 0, r - 0.02}, {15, -0.5, 0.1}, {0.1, -0.99, 0.1}, 52.0, -0.3, 0.4, profiles, &ground, W},  // mirrored, sliding
      {{2, 0, r + 0.5}, {3, 0, 0}, {0, 1, 0}, 10.0, 0.1, 0.1, profiles, &ground, W},              // in the air
      {{3, 0, 0.3}, {0.2, 0, 0}, {0, 0.98, 0.2}, 0.5, 1e-5, -2e-5, odd, &raised, 3000.0},        // tiny slip
  };
  TyreLanes lanes;
  lanes.count = 4;
  TyreOutput together[4], alone[4];
  for (int l = 0; l < 4; ++l) {
    const Wheel& wh = wheels[l];
    for (int k = 0; k < 3; ++k) lanes.profiles[k][l] = wh.curves[k];
    lanes.ground[l] = wh.ground;
    const Vec3* v3[3] = {&wh.hub, &wh.vel, &wh.axle};
    double(*dst[3])[4] = {lanes.hub, lanes.velocity, lanes.axle};
    for (int q = 0; q < 3; ++q) {
      dst[q][0][l] = v3[q]->x;
      dst[q][1][l] = v3[q]->y;
      dst[q][2][l] = v3[q]->z;
    }
    lanes.rolling[l] = wh.spin * r;
    lanes.stiffness[l] = tyre.radialStiffness;
    lanes.staticLoad[l] = wh.W;
    lanes.lateralSlip[l] = wh.A;
    lanes.wheelSlip[l] = wh.B;
    lanes.output[l] = &together[l];
  }
  ComputeTyreLanes(lanes, set, shared);
  for (int l = 0; l < 4; ++l) {
    SCOPED_TRACE(l);
    const Wheel& wh = wheels[l];
    TyreSlipIO io{wh.A, wh.B, 0.0, 0.0};
    Vec3 cp, F{7, 7, 7};
    const int32 contact = ComputeTyreForce(tyre, wh.curves, wh.hub, wh.vel, wh.axle, wh.spin, *wh.ground, cp, F, set,
                                           shared, alone[l], io, wh.W);
    EXPECT_EQ(lanes.contact[l], contact);
    EXPECT_EQ(Vec3(lanes.contactPoint[0][l], lanes.contactPoint[1][l], lanes.contactPoint[2][l]), cp);
    if (contact) {
      EXPECT_EQ(Vec3(lanes.force[0][l], lanes.force[1][l], lanes.force[2][l]), F);
    }
    EXPECT_EQ(lanes.lateralRate[l], io.lateralRate);
    EXPECT_EQ(lanes.wheelRate[l], io.longitudinalRate);
    EXPECT_EQ(together[l].lateralForce, alone[l].lateralForce);
    EXPECT_EQ(together[l].longitudinalForce, alone[l].longitudinalForce);
    EXPECT_EQ(together[l].frictionLimit, alone[l].frictionLimit);
    EXPECT_EQ(together[l].skidIntensity, alone[l].skidIntensity);
    EXPECT_EQ(together[l].sliding, alone[l].sliding);
    EXPECT_EQ(together[l].contact, alone[l].contact);
  }
  EXPECT_EQ(lanes.contact[2], 0);
  EXPECT_EQ(alone[1].sliding, 1);
  // The differently sampled curve is read as it is.
  const double u = std::fabs(DotVec3(wheels[3].axle, raised.normal));
  double expected[3] = {EvaluateSampledCurve(q1, u), EvaluateSampledCurve(coarse, u), EvaluateSampledCurve(q3, u)};
  Vec3 e1, e2;
  CrossVec3(e1, wheels[3].axle, raised.normal);
  CrossVec3(e2, wheels[3].axle, e1);
  EXPECT_NEAR(lanes.contactPoint[0][3], wheels[3].hub.x + expected[1] * e2.x + expected[0] * wheels[3].axle.x, 1e-12);
}

// Lanes prepared once and run pass after pass, as a car step runs them, give
// in every pass what a fresh run of the whole model gives: on the ground and
// off it, with three wheels and a spare lane.
TEST_F(TyreTest, PreparedLanesGiveWhatAFreshRunGivesInEveryPass) {
  GroundHit raised;
  FlatGround(0.02, 0.8).GroundAt(Vec3(), raised);
  const GroundHit* grounds[3] = {&ground, &ground, &raised};
  TyreOutput prepared[3], fresh[3];
  TyreLanes kept;
  kept.count = 3;
  for (int l = 0; l < 3; ++l) {
    for (int k = 0; k < 3; ++k) kept.profiles[k][l] = profiles[k];
    kept.ground[l] = grounds[l];
    kept.stiffness[l] = tyre.radialStiffness;
    kept.staticLoad[l] = W;
    kept.output[l] = &prepared[l];
  }
  PrepareTyreLanes(kept);
  // Three passes: the wheels sink, roll and steer; the third wheel leaves
  // the raised ground in the last one.
  for (int pass = 0; pass < 3; ++pass) {
    SCOPED_TRACE(pass);
    for (int l = 0; l < 3; ++l) {
      const double hub[3] = {l * 1.0, 0.01 * pass, r - 0.004 * (pass + l) + (pass == 2 && l == 2 ? 0.5 : 0.0)};
      const double velocity[3] = {12.0 + pass, 0.3 * (l - 1), -0.05 * pass};
      const double axle[3] = {0.05 * pass, l == 1 ? -1.0 : 1.0, 0.02 * l};
      for (int k = 0; k < 3; ++k) kept.hub[k][l] = hub[k], kept.velocity[k][l] = velocity[k], kept.axle[k][l] = axle[k];
      kept.rolling[l] = (11.0 + pass) * (l + 1) * 0.5;
      kept.lateralSlip[l] = 0.02 * (pass - l);
      kept.wheelSlip[l] = -0.03 * (pass + l);
    }
    TyreLanes once = kept;
    for (int l = 0; l < 3; ++l) once.output[l] = &fresh[l];
    RunTyreLanes(kept, set, shared);
    ComputeTyreLanes(once, set, shared);
    for (int l = 0; l < 3; ++l) {
      SCOPED_TRACE(l);
      EXPECT_EQ(kept.contact[l], once.contact[l]);
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(kept.contactPoint[k][l], once.contactPoint[k][l]);
        EXPECT_EQ(kept.force[k][l], once.force[k][l]);
      }
      EXPECT_EQ(kept.lateralRate[l], once.lateralRate[l]);
      EXPECT_EQ(kept.wheelRate[l], once.wheelRate[l]);
      EXPECT_EQ(prepared[l].lateralForce, fresh[l].lateralForce);
      EXPECT_EQ(prepared[l].skidIntensity, fresh[l].skidIntensity);
      EXPECT_EQ(prepared[l].contact, fresh[l].contact);
    }
    EXPECT_EQ(kept.contact[0], 1);
  }
  EXPECT_EQ(kept.contact[2], 0);
}

// The first and the last segment of a profile read the missing end
// neighbour as the curve itself extrapolates it (2 p1 - p2), for the
// shortest profile and the longest, four wheels in one go.
TEST_F(TyreTest, EndSegmentsOfTheProfilesReadTheExtrapolatedNeighbours) {
  double table[kMaxCurveSamples + 2];
  SampledCurve three;
  const double v[3] = {1.0, 3.0, 4.0};
  ASSERT_EQ(BuildSampledCurve(three, 3, v, 0.0, 1.0), 0);
  BuildTyreCurveTable(three, table);
  const double padded[5] = {-1.0, 1.0, 3.0, 4.0, 5.0};
  for (int j = 0; j < 5; ++j) EXPECT_EQ(table[j], padded[j]) << j;

  SampledCurve s1, s2, s3;  // three samples: segments [0, 0.5) and [0.5, 1)
  ASSERT_EQ(BuildTyreProfiles(1, 0.35, 0.25, s1, s2, s3, 3, 4.0), 0);
  const SampledCurve* const short3[3] = {&s1, &s2, &s3};
  struct Wheel {
    const SampledCurve* const* curves;
    double u;  // cosine of axle and ground normal
  };
  const Wheel wheels[4] = {{profiles, 0.02}, {profiles, -0.97}, {short3, 0.2}, {short3, 0.8}};
  TyreLanes lanes;
  lanes.count = 4;
  TyreOutput outs[4];
  for (int l = 0; l < 4; ++l) {
    for (int k = 0; k < 3; ++k) lanes.profiles[k][l] = wheels[l].curves[k];
    lanes.ground[l] = &ground;
    const double u = wheels[l].u;
    const double hub[3] = {l * 1.0, 0.0, 0.3}, axle[3] = {0.0, std::sqrt(1.0 - u * u), u};
    for (int k = 0; k < 3; ++k) lanes.hub[k][l] = hub[k], lanes.velocity[k][l] = 0.0, lanes.axle[k][l] = axle[k];
    lanes.rolling[l] = 0.0;
    lanes.stiffness[l] = tyre.radialStiffness;
    lanes.staticLoad[l] = W;
    lanes.lateralSlip[l] = lanes.wheelSlip[l] = 0.0;
    lanes.output[l] = &outs[l];
  }
  ComputeTyreLanes(lanes, set, shared);
  for (int l = 0; l < 4; ++l) {
    SCOPED_TRACE(l);
    const double u = wheels[l].u, au = std::fabs(u);
    const Vec3 hub(lanes.hub[0][l], lanes.hub[1][l], lanes.hub[2][l]);
    const Vec3 axle(lanes.axle[0][l], lanes.axle[1][l], lanes.axle[2][l]);
    Vec3 e1, e2;
    CrossVec3(e1, axle, ground.normal);
    CrossVec3(e2, axle, e1);
    const double side = (u < 0.0 ? -1.0 : 1.0) * EvaluateSampledCurve(*wheels[l].curves[0], au);
    const double radial = EvaluateSampledCurve(*wheels[l].curves[1], au);
    EXPECT_NEAR(lanes.contactPoint[0][l], hub.x + radial * e2.x + side * axle.x, 1e-12);
    EXPECT_NEAR(lanes.contactPoint[1][l], hub.y + radial * e2.y + side * axle.y, 1e-12);
    EXPECT_NEAR(lanes.contactPoint[2][l], hub.z + radial * e2.z + side * axle.z, 1e-12);
  }
}
