// The simulation run: start, settle and placement, fixed steps, inputs,
// forces, breaks and the crash reaction.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/engine_globals.h"
#include "sim/model_build.h"
#include "scene/ramps.h"
#include "sim_fixture.h"
#include "sim/sim_run.h"

namespace {

using simtest::VantoTest;

class Run : public VantoTest {
 protected:
  void TearDown() override {
    SetCarModelBuild(nullptr);
    VantoTest::TearDown();
  }
  // Collects and starts a run at frame 1 as the Sim does.
  void Start(BaseObject* sim) {
    Frame(1);
    ASSERT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_RUNNING) << Dialogs();
  }
  static std::string Dialogs() {
    std::string all;
    for (const String& s : hostlog::Dialogs()) all += s + "\n";
    return all;
  }
};

TEST_F(Run, StepCounts) {
  EXPECT_EQ(SettleStepCount(0.001), 4000);  // a summed 4.0 would take 4001
  EXPECT_EQ(SettleStepCount(1.0 / 3000.0), 12000);
  EXPECT_EQ(InputRefreshSteps(0.01, 0.001), 10);
  // Break test for anticipation 1, 0.5 and 0 (look-ahead 0, 1 and 2 s).
  EXPECT_EQ(BreakTestSteps(0.0, 0.16, 0.001), 80);
  EXPECT_EQ(BreakTestSteps(1.0, 0.16, 0.001), 400);
  EXPECT_EQ(BreakTestSteps(2.0, 0.16, 0.001), 720);
}

// At rest on flat ground each spring carries its share of the sprung weight:
// compression = share / 25000 N/m. The sprung 1700 kg have their centre
// 200 * 25 / 1700 cm ahead of the body origin, so the front axle carries
// (z + 125) / 257 of it. The sag is built out: the body rests at the height
// it was placed at.
TEST_F(Run, ACarAtRestSagsByItsWeightAndStandsWhereItWasPlaced) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  Start(sim);
  const CarState& s = State(car);
  const double zc = 200.0 * 25.0 / 1700.0;
  const double front = 1700.0 * 9.81 * (zc - simtest::kRearZ) / (simtest::kFrontZ - simtest::kRearZ) / 2.0;
  const double rear = 1700.0 * 9.81 / 2.0 - front;
  EXPECT_NEAR(s.wheelCompressions[0], front / 25000.0 * 100.0, 0.3);
  EXPECT_NEAR(s.wheelCompressions[3], rear / 25000.0 * 100.0, 0.3);
  EXPECT_NEAR(s.bodyMatrix.off.y, simtest::kBodyY, 0.3);
  // The wheels stand on the plane: the tyre model carries the static wheel
  // load with its own load term, so at rest the hub is one radius up.
  for (int w = 0; w < 4; ++w) EXPECT_NEAR(s.wheelMatrices[w].off.y, simtest::kWheelRadius, 0.1) << w;
  // The rest pose the run shifted for its second build is back.
  const BaseContainer* bc = car->GetDataInstance();
  EXPECT_EQ(bc->GetVector(RIG_REST_BODY), Vector(0.0, simtest::kBodyY, 0.0));
  EXPECT_NEAR(bc->GetVector(RIG_REST_HUB + 2).y, simtest::kWheelRadius - simtest::kBodyY, 1e-9);

  // Five seconds later, with no input, it has not moved.
  const Matrix before = s.bodyMatrix;
  for (LONG f = 2; f <= 151; ++f) Frame(f);
  // Simulated time follows the document to within one step, with no drift
  // from the part of a step each frame overshoots.
  EXPECT_NEAR(s.settings.simTime, 151.0 / 30.0, 0.001);
  EXPECT_NEAR((s.bodyMatrix.off - before.off).GetLength(), 0.0, 0.05);
  EXPECT_NEAR(s.speed, 0.0, 1e-3);
  EXPECT_TRUE(hostlog::Dialogs().empty()) << Dialogs();
}

// The reset form of the sag shift (a stored marker y below 0): the rest
// pose becomes the settled one, x and z of the body's rest position go to
// 0 and the marker is cleared. Without the marker the rest pose is kept.
TEST_F(Run, ANegativeSagMarkerResetsTheRestPose) {
  for (bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "reset" : "kept");
    TearDown();
    SetUp();
    BaseObject* sim = AddSim();
    BaseObject* car = AddCar(sim);
    BaseContainer* bc = car->GetDataInstance();
    bc->SetVector(RIG_REST_BODY, Vector(5.0, simtest::kBodyY, 7.0));
    if (reset) bc->SetVector(6599, Vector(0.0, -1.0, 0.0));
    Start(sim);
    const Vector body = bc->GetVector(RIG_REST_BODY);
    const double hubY = bc->GetVector(RIG_REST_HUB).y;
    EXPECT_EQ(bc->GetVector(6599), Vector());
    if (reset) {
      // The body sank by dy on its springs; the wheels' rest moved up by dy.
      const double dy = simtest::kBodyY - body.y;
      EXPECT_GT(dy, 0.5);
      EXPECT_EQ(body.x, 0.0);
      EXPECT_EQ(body.z, 0.0);
      EXPECT_NEAR(hubY, simtest::kWheelRadius - simtest::kBodyY + dy, 1e-9);
    } else {
      EXPECT_EQ(body, Vector(5.0, simtest::kBodyY, 7.0));
      EXPECT_NEAR(hubY, simtest::kWheelRadius - simtest::kBodyY, 1e-9);
    }
  }
}

// The start pose: heading from Real 1008, pitch and bank from the ground
// heights under the wheels (a 10 % slope up along z, then along x).
TEST_F(Run, TheStartPoseTakesTheHeadingAndTheSlopeOfTheGround) {
  struct Case {
    double heading, slopeX, slopeZ;
  } cases[] = {{pi / 2, 0.0, 0.0}, {0.0, 0.0, 0.4}, {0.0, 0.4, 0.0}, {0.0, 0.3, 0.3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.heading << " " << c.slopeX << " " << c.slopeZ);
    TearDown();
    SetUp();
    BaseObject* sim = AddSim();
    BaseObject* car = AddCar(sim);
    BaseContainer* bc = car->GetDataInstance();
    bc->SetReal(CAR_START_HEADING, c.heading);
    BaseObject* grounds = Null(doc, nullptr, "grounds", Vector());
    PolygonObject* slope = PolygonObject::Alloc(4, 1);
    auto y = [&](double x, double z) { return 200.0 + c.slopeX * x + c.slopeZ * z; };
    const double e = 2000.0;
    const Vector pts[4] = {Vector(-e, y(-e, -e), -e), Vector(-e, y(-e, e), e), Vector(e, y(e, e), e),
                           Vector(e, y(e, -e), -e)};
    for (int k = 0; k < 4; ++k) slope->GetPointW()[k] = pts[k];
    slope->GetPolygonW()[0] = CPolygon(0, 1, 2, 3);
    doc->InsertObject(slope, grounds, nullptr);
    bc->SetLink(CAR_GROUND_GROUP, grounds);
    // Placed level on a 40 % slope the wheels on one side would start deep
    // in the ground and the car would be thrown about while it settles;
    // placed along the slope it settles upright, at its ride height above
    // the ground under it, having slid sideways only a little.
    Start(sim);
    const Matrix& m = State(car).bodyMatrix;
    const Vector ahead = m.v3.GetNormalized();
    EXPECT_NEAR(std::atan2(-ahead.x, ahead.z), c.heading, 0.01);  // a positive heading turns +z toward -x
    EXPECT_GT(m.v2.GetNormalized().y, 0.9);
    EXPECT_NEAR(m.off.y - y(m.off.x, m.off.z), simtest::kBodyY, 15.0);
    EXPECT_LT(std::fabs(m.off.x), 100.0);  // it may roll down along z, not slide sideways
  }
}

TEST_F(Run, ACarWaitsForItsStartDelay) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  car->GetDataInstance()->SetTime(CAR_START_DELAY, BaseTime(1.0));
  Start(sim);
  const CarState& s = State(car);
  EXPECT_DOUBLE_EQ(s.startDelay, 1.0);
  const double carTime = s.settings.simTime;
  for (LONG f = 2; f <= 30; ++f) Frame(f);  // up to 1 s: still waiting
  EXPECT_EQ(s.settings.simTime, carTime);
  for (LONG f = 31; f <= 45; ++f) Frame(f);
  // Its own time runs from the moment the run reached start + delay.
  EXPECT_NEAR(s.settings.simTime, carTime + (45.0 - 31.0) / 30.0, 0.002);
}

// A car in the collisions is placed in the world by the run start, so a car
// still waiting for its start delay can be hit where it stands.
TEST_F(Run, TheRunStartPutsTheFootprintIntoTheWorld) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim, 800.0);
  car->GetDataInstance()->SetTime(CAR_START_DELAY, BaseTime(5.0));
  CarState& s = State(car);
  s.flags = 1;  // takes part in collisions
  CarEntry entry{car, &s, 0};
  SimSettings settings;
  ASSERT_EQ(InitSimulationRun(doc, sim, settings, &entry, 1), kStatusOk);
  const CollisionOutline& o = s.collisionOutline;
  ASSERT_GT(o.deformPointCount, 0);
  for (int i = 0; i < 4; ++i) {
    const Vector want = s.bodyMatrix * HostOrderToVector(o.localFootprint[i]);
    EXPECT_NEAR((HostOrderToVector(o.footprint[i]) - want).GetLength(), 0.0, 1e-9) << i;
  }
  // Front-left corner of the 180 x 450 body, 800 along z from the origin.
  EXPECT_NEAR(o.footprint[0].x, -90.0, 1.0);
  EXPECT_NEAR(o.footprint[0].z, 800.0 + 225.0, 1.0);
}

TEST_F(Run, CarsWithTheSameStartAreSpacedAlongTheirHeading) {
  BaseObject* sim = AddSim();
  BaseObject* a = AddCar(sim);
  BaseObject* b = AddCar(sim);
  Start(sim);
  const double r = State(a).boundingRadius;  // 0.5 * |(180, 80, 450)|
  const Vector pa = State(a).bodyMatrix.off, pb = State(b).bodyMatrix.off;
  // Moved back (-z) in steps of 1.1 r until the two radii fit: two steps.
  EXPECT_NEAR(pb.z - pa.z, -2.2 * r, 0.5);
  EXPECT_NEAR(pb.y, pa.y, 0.1);
}

TEST_F(Run, SpacingAlwaysMoves) {
  CarState other;
  other.boundingRadius = 100.0;
  BaseObject* op = Null(doc, nullptr, "other", Vector());
  CarEntry earlier[2] = {{op, &other, 1}, {nullptr, nullptr, 1}};
  Vector P;
  KeepClearOfEarlierCars(P, Vector(0, 0, 1), 0.0, earlier, 2);  // no radius of its own
  EXPECT_GE(std::fabs(P.z), 100.0);
  Vector Q;
  other.boundingRadius = INFINITY;
  KeepClearOfEarlierCars(Q, Vector(0, 0, 1), 0.0, earlier, 1);  // returns
  earlier[0].ready = 0;
  Vector R;
  other.boundingRadius = 100.0;
  KeepClearOfEarlierCars(R, Vector(0, 0, 1), 50.0, earlier, 1);
  EXPECT_EQ(R, Vector());  // a car not set up is not in the way
}

// A sweep route used as ground, banked by its guide spline so far that the
// road's up points along +x: the start placement's ground normal has no
// height component, so it has no height to divide out of it and keeps the
// wheels' own.
TEST_F(Run, AGroundNormalWithoutHeightNeverDivides) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  BaseObject* routes = Null(doc, nullptr, "routes", Vector());
  BaseObject* sweep = BaseObject::Alloc(Osweep);
  doc->InsertObject(sweep, routes, nullptr);
  auto spline = [&](std::initializer_list<Vector> pts) {
    SplineObject* sp = SplineObject::Alloc(static_cast<LONG>(pts.size()), SPLINETYPE_LINEAR);
    LONG i = 0;
    for (const Vector& p : pts) sp->GetPointW()[i++] = p;
    doc->InsertObject(sp, sweep, sweep->GetDownLast());
  };
  spline({Vector(400, 0, 0), Vector(0, 0, 0), Vector(-400, 0, 0)});  // profile
  spline({Vector(0, 0, 0), Vector(0, 0, 10000)});                      // rail
  spline({Vector(1, 0, 0), Vector(1, 0, 0)});                          // guide: up along +x
  BaseContainer* bc = car->GetDataInstance();
  bc->SetLink(CAR_ROUTE_GROUP, routes);
  bc->SetLong(CAR_START_MODE, 1);
  Frame(1);
  const CarState& s = State(car);
  ASSERT_EQ(s.autopilot.routeIsGround, 1);
  EXPECT_EQ(s.wheelGroundRecords[0].hostNormal.y, 0.0) << "the real query gave a normal without height";
  EXPECT_TRUE(hostlog::Dialogs().empty()) << Dialogs();
  EXPECT_TRUE(std::isfinite(s.bodyMatrix.off.y));
  EXPECT_TRUE(std::isfinite(s.wheelGroundRecords[0].height));
}

TEST_F(Run, ACarWithFewerThanFourWheelsIsSkippedAndTheNextStillRuns) {
  BaseObject* sim = AddSim();
  BaseObject* a = AddCar(sim);
  BaseObject* b = AddCar(sim);
  State(a).wheelCount = 2;
  Start(sim);
  const double skippedTime = State(a).settings.simTime;
  const CarEntry* cars = SimData(sim)->Cars();
  ASSERT_EQ(SimData(sim)->CarCount(), 2);
  EXPECT_EQ(cars[0].ready, 0);
  EXPECT_EQ(cars[1].ready, 1);
  EXPECT_NEAR(State(b).bodyMatrix.off.y, simtest::kBodyY, 0.3);
  Frame(2);
  EXPECT_EQ(State(a).settings.simTime, skippedTime);  // never stepped
  EXPECT_NEAR(State(b).settings.simTime, 2.0 / 30.0, 0.001);
}

TEST_F(Run, ACarAddedDuringARunWaitsForTheNextStart) {
  BaseObject* sim = AddSim();
  AddCar(sim);
  Start(sim);
  Frame(2);
  BaseObject* late = AddCar(sim);
  const Matrix untouched = State(late).bodyMatrix;
  Frame(3);  // the changed children are collected again
  ASSERT_EQ(SimData(sim)->CarCount(), 2);
  EXPECT_EQ(SimData(sim)->Cars()[1].ready, 0);
  EXPECT_EQ(State(late).bodyMatrix, untouched);
  // Back before the start and forward again: a new run sets it up.
  Frame(0);
  Frame(1);
  EXPECT_EQ(SimData(sim)->Cars()[1].ready, 1);
}

int gBuildCalls = 0;

int32 FailSecondBuild(BaseDocument* doc, BaseObject* car, CarState& state, double u) {
  const int32 status = BuildCarModel(doc, car, state, u);
  return ++gBuildCalls == 2 ? kStatusModelSetUp : status;
}

TEST_F(Run, AFailedSecondBuildRestoresTheRestPose) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  const BaseContainer* bc = car->GetDataInstance();
  std::vector<Vector> rest;
  for (LONG id = RIG_REST_BODY; id <= RIG_REST_HUB + 3; ++id) rest.push_back(bc->GetVector(id));
  gBuildCalls = 0;
  SetCarModelBuild(&FailSecondBuild);
  Frame(1);
  EXPECT_EQ(gBuildCalls, 2);
  EXPECT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_ERROR);
  for (LONG id = RIG_REST_BODY; id <= RIG_REST_HUB + 3; ++id)
    EXPECT_EQ(bc->GetVector(id), rest[static_cast<size_t>(id - RIG_REST_BODY)]) << id;
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_EQ(hostlog::Dialogs()[0], GeLoadString(10099, "-2000"));
}

TEST_F(Run, ForcesFromAnEarlierRunNeverActAndTheOneOffForceActsOnce) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  BaseContainer* bc = car->GetDataInstance();
  CarState& s = State(car);
  // Left over from a run that ended mid-step.
  s.dynamics.externalForces[7] = Vec3(1e7, 0, 0);
  s.dynamics.singleForce = Vec3(0, 1e7, 0);
  bc->SetVector(2600, Vector(1e7, 0, 0));
  Start(sim);
  EXPECT_NEAR(s.bodyMatrix.off.y, simtest::kBodyY, 0.3);
  EXPECT_NEAR(s.bodyMatrix.off.x, 0.0, 0.3);
  EXPECT_EQ(bc->GetVector(2600), Vector());

  // 2000 N sideways for one step of 1 ms: an impulse of 2 N s on 1820 kg.
  bc->SetVector(2600, Vector(2000.0, 0.0, 0.0));
  bc->SetVector(2601, s.bodyMatrix.off);
  Frame(2);
  EXPECT_EQ(bc->GetVector(2600), Vector());
  EXPECT_EQ(bc->GetVector(2601), Vector());
  EXPECT_EQ(s.dynamics.singleForce, Vec3());
  // The tyres take the push up at once; what is left must be far below what
  // a force acting all frame long (2000 N for 1/30 s) would give.
  EXPECT_LT(std::fabs(s.velocity.x), 2000.0 / 30.0 / 1820.0 * 0.25);

  // Along the heading nothing holds the rolling car: one step of 2000 N
  // gives it 2 N s / 1820 kg, a frame's worth 33 times that, none nothing.
  bc->SetVector(2600, Vector(0.0, 0.0, 2000.0));
  bc->SetVector(2601, s.bodyMatrix.off);
  const double v0 = s.velocity.z;
  Frame(3);
  const double dv = s.velocity.z - v0;
  EXPECT_GT(dv, 0.7 * 2.0 / 1820.0);
  EXPECT_LT(dv, 1.3 * 2.0 / 1820.0);
}

// A step that leaves a state that cannot be stored stops that car at that
// step: it takes no further steps in the frame, and the run reports it.
TEST_F(Run, ABlownUpCarStopsAtTheFailingStep) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  BaseObject* other = AddCar(sim, 2000.0);
  Start(sim);
  Frame(2);
  CarState& s = State(car);
  const double before = s.settings.simTime;
  const Matrix at = s.bodyMatrix;
  s.dynamics.body.velocity.z = std::nan("");  // the model blows up in the next step
  Frame(3);
  EXPECT_EQ(s.settings.simTime, before + s.settings.stepDt);
  EXPECT_EQ(s.bodyMatrix, at);
  EXPECT_FALSE(Dialogs().empty()) << "the failure is reported";
  EXPECT_TRUE(std::isfinite(State(other).bodyMatrix.off.y));
}

// The start position lies at y = 0 under a slab 1 m up: the car is placed
// on the slab (its body at the slab's height plus the body's own), not
// inside it on the ground below.
TEST_F(Run, AStartUnderARaisedGroundStandsOnIt) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  BaseObject* grounds = Null(doc, nullptr, "grounds", Vector());
  PolygonObject* slab = PolygonObject::Alloc(4, 1);
  const Vector c[4] = {Vector(-1000, 100, -1000), Vector(-1000, 100, 1000), Vector(1000, 100, 1000),
                       Vector(1000, 100, -1000)};
  for (int k = 0; k < 4; ++k) slab->GetPointW()[k] = c[k];
  slab->GetPolygonW()[0] = CPolygon(0, 1, 2, 3);
  doc->InsertObject(slab, grounds, nullptr);
  car->GetDataInstance()->SetLink(CAR_GROUND_GROUP, grounds);
  Start(sim);
  for (LONG f = 2; f <= 30; ++f) Frame(f);
  const CarState& s = State(car);
  EXPECT_NEAR(s.bodyMatrix.off.y, 100.0 + simtest::kBodyY, 2.0);
  EXPECT_EQ(s.wheelGroundRecords[0].groundObject, slab);
  EXPECT_LT(s.speed, 0.05);
}

TEST_F(Run, ABreakRequestStopsTheAdvanceWhereItIs) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  Start(sim);
  const double carTime = State(car).settings.simTime;
  const Matrix at = State(car).bodyMatrix;
  BaseThread thread;
  BaseThread::RequestBreak(true);
  Frame(2, &thread);
  // The first step of the call tests the break, before anything moved.
  EXPECT_EQ(State(car).settings.simTime, carTime);
  EXPECT_EQ(State(car).bodyMatrix, at);
  EXPECT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_RUNNING);
  BaseThread::RequestBreak(false);
}

TEST_F(Run, UnusableStepsAreRefusedNotLoopedOn) {
  SimSettings settings;
  CarEntry none{};
  for (double dt : {0.0, -0.001, std::nan(""), 2.0}) {
    settings.stepDt = dt;
    EXPECT_EQ(InitSimulationRun(doc, nullptr, settings, &none, 1), kStatusBadSettings) << dt;
    EXPECT_EQ(AdvanceSimulation(doc, nullptr, 1.0, nullptr, settings, &none, 1, nullptr, 0), kStatusBadAdvance)
        << dt;
  }
  settings.stepDt = 0.001;
  EXPECT_EQ(AdvanceSimulation(doc, nullptr, INFINITY, nullptr, settings, &none, 1, nullptr, 0), kStatusBadAdvance);
  // A null list is a run of nothing.
  EXPECT_EQ(InitSimulationRun(doc, nullptr, settings, nullptr, 3), kStatusOk);
  EXPECT_EQ(AdvanceSimulation(doc, nullptr, 1.0, nullptr, settings, nullptr, 3, nullptr, 0), kStatusOk);
}

TEST_F(Run, CrashReaction) {
  struct Case {
    const char* what;
    int side;
    Vector impulse;
    double level;
    bool throttleHeld, brakeHeld;
  } cases[] = {
      {"front brakes", 0, Vector(5, 0, 0), 0.0, false, true},
      {"opposite components still hit", 1, Vector(5, -5, 0), 0.0, true, false},
      {"side 3 shares the side setting", 3, Vector(0, 0, 1), 0.0, true, false},
      {"rear does nothing", 2, Vector(1, 1, 1), 0.0, false, false},
      {"a higher level wins", 0, Vector(5, 0, 0), 0.7, false, false},
      {"no impulse", 1, Vector(), 0.0, false, false},
  };
  for (const Case& c : cases) {
    CarState car;
    car.crashReaction.mode[0] = 2;
    car.crashReaction.brakeStrength[0] = 0.8;
    car.crashReaction.holdTime[0] = 1.5;
    car.crashReaction.mode[1] = 1;
    car.crashReaction.holdTime[1] = 2.0;
    car.ramps[kRampThrottle] = {0.7, 0.7, 0.0, 0.0};
    car.pedalRampLevel = c.level;
    car.sideImpulse[c.side] = c.impulse;
    ReactToCollision(car);
    EXPECT_EQ(car.ramps[kRampThrottle].current == 0.0 && car.ramps[kRampThrottle].remaining == 2.0,
              c.throttleHeld)
        << c.what;
    EXPECT_EQ(car.ramps[kRampBrake].current == 0.8 && car.ramps[kRampBrake].remaining == 1.5, c.brakeHeld)
        << c.what;
    if (c.throttleHeld || c.brakeHeld) {
      EXPECT_EQ(car.pedalRampLevel, 0.6) << c.what;
    }
  }
}

// Body matrices and wheel states of every car after a run, as raw bits.
std::vector<std::uint64_t> Fingerprint(const std::vector<BaseObject*>& cars) {
  std::vector<std::uint64_t> bits;
  auto add = [&](double v) { bits.push_back(std::bit_cast<std::uint64_t>(v)); };
  for (BaseObject* car : cars) {
    const CarState& s = car->GetNodeData<Car>()->State();
    for (const Vector* v : {&s.bodyMatrix.off, &s.bodyMatrix.v1, &s.bodyMatrix.v2, &s.bodyMatrix.v3})
      for (double c : {v->x, v->y, v->z}) add(c);
    for (int w = 0; w < 4; ++w) add(s.wheelSpinRates[w]), add(s.wheelCompressions[w]);
    add(s.engineRpm);
  }
  return bits;
}

TEST_F(Run, TwoIdenticalRunsGiveBitIdenticalResults) {
  std::vector<std::uint64_t> results[2];
  for (auto& result : results) {
    BaseDocument::Free(doc);
    doc = BaseDocument::Alloc();
    BaseObject* sim = AddSim();
    BaseObject* a = AddCar(sim);
    BaseObject* b = AddCar(sim, 800.0);
    Start(sim);
    // Throttle and a little steering for the first car, direct input.
    BaseContainer* bc = a->GetDataInstance();
    bc->SetLong(kParamDirectBits, kDirectThrottle | kDirectSteer);
    bc->SetReal(kParamDirectThrottle, 0.6);
    bc->SetReal(kParamDirectSteer, 0.2);
    for (LONG f = 2; f <= 60; ++f) Frame(f);
    EXPECT_GT(State(a).speed, 1.0);
    result = Fingerprint({a, b});
  }
  EXPECT_EQ(results[0], results[1]);
}

// Gap keeping sees the other cars where their last step left them, not
// where they stood when the frame's advance began: a car left standing
// behind one that drives off stops braking for it once it is farther ahead
// than the gap and its margin, within one long advance.
TEST_F(Run, GapKeepingSeesWhereTheCarAheadIsNow) {
  BaseObject* sim = AddSim();
  BaseObject* behind = AddCar(sim);
  BaseObject* ahead = AddCar(sim, 800.0);
  // Neither follows a route: the gap counts for any car.
  behind->GetDataInstance()->SetBool(CAR_GAP_SAME_ROUTE, false);
  Start(sim);
  const CarState& b = State(behind);
  const CarState& a = State(ahead);
  const double G = b.autopilot.gapDistance, M = G * b.autopilot.gapMargin;
  ASSERT_GT(G, 0.0);
  // Front of the one behind to the rear of the one ahead, along z.
  auto gap = [&] { return (a.bodyMatrix.off.z - 225.0) - (b.bodyMatrix.off.z + 225.0); };
  ASSERT_LT(gap(), G - M);
  Frame(2);
  EXPECT_EQ(b.autopilot.gapZone, 3);  // the car ahead stands: full brake
  BaseContainer* bc = ahead->GetDataInstance();
  bc->SetLong(kParamDirectBits, kDirectThrottle);
  bc->SetReal(kParamDirectThrottle, 1.0);
  Frame(120);  // four seconds in one advance
  ASSERT_GT(gap(), G + M + 100.0);
  EXPECT_EQ(b.autopilot.gapZone, 0);
}

// A run start settles copies of one car model once and hands the outcome
// on; a car must start exactly as it would alone, whether the car set up
// before it is a copy of it, a heavier car or a copy with stiffer springs.
TEST_F(Run, ACarStartsAsItWouldAloneWhateverCarWasSetUpBeforeIt) {
  struct Case {
    const char* what;
    LONG id;      // parameter changed on the car set up first; 0: none
    double value;
  };
  const Case cases[] = {
      {"a copy", 0, 0.0},
      {"a heavier body", CAR_MASS_BODY, 1900.0},
      {"stiffer front springs", CAR_SPRING_FRONT, 40000.0},
  };
  auto startOf = [&](const Case* first) {
    BaseDocument::Free(doc);
    doc = BaseDocument::Alloc();
    doc->SetFps(30);
    BaseObject* sim = AddSim();
    if (first) {
      // Far enough behind that the spacing leaves the later car alone.
      BaseObject* a = AddCar(sim, -800.0);
      if (first->id) a->GetDataInstance()->SetReal(first->id, first->value);
    }
    BaseObject* b = AddCar(sim, 800.0);
    Start(sim);
    std::vector<std::uint64_t> bits = Fingerprint({b});
    const RigidBody& body = State(b).dynamics.body;
    for (double v : {body.position.x, body.position.y, body.position.z, body.velocity.z, body.angularVelocity.y})
      bits.push_back(std::bit_cast<std::uint64_t>(v));
    return bits;
  };
  const std::vector<std::uint64_t> alone = startOf(nullptr);
  for (const Case& c : cases) EXPECT_EQ(startOf(&c), alone) << c.what;
}

}  // namespace

namespace {

class StepRate : public Run {};

// The Sim accepts 1 to 100000 steps per second. At low rates (and with a
// stiff clutch even at 1000) a run step is longer than the clutch mode can
// be integrated in: the car must still start and stand still without a
// single consistency message or error box.
TEST_F(StepRate, TheCarStandsStillAtEveryStepRateAndClutch) {
  for (LONG clutch : {50, 100}) {
    for (LONG steps : {1, 60, 600, 1000}) {
      SCOPED_TRACE(testing::Message() << steps << " steps/s, clutch " << clutch);
      TearDown();
      SetUp();
      BaseObject* sim = AddSim();
      sim->GetDataInstance()->SetLong(SIM_STEPS_PER_SECOND, steps);
      BaseObject* car = AddCar(sim);
      car->GetDataInstance()->SetReal(CAR_CLUTCH, static_cast<Real>(clutch));
      Start(sim);
      for (LONG f = 2; f <= 60; ++f) Frame(f);
      const CarState& s = State(car);
      EXPECT_TRUE(hostlog::Console().empty()) << hostlog::Console().size() << " lines, first: "
                                              << (hostlog::Console().empty() ? String() : hostlog::Console()[0]);
      EXPECT_TRUE(hostlog::Dialogs().empty()) << Dialogs();
      EXPECT_LT(s.speed, 0.05);
      EXPECT_NEAR(s.bodyMatrix.off.y, simtest::kBodyY, 2.0);
    }
  }
}

// A check that keeps failing while a run steps a car is reported once for
// that car, not once per step; outside a run every failure is printed.
TEST(ConsistencyReport, OncePerCarWhileARunStepsIt) {
  static int printed = 0;
  printed = 0;
  SetSimulationPrint([](const std::string&) { ++printed; });
  int32 first = 0, second = 0;
  gEngine.reportOnce = &first;
  for (int k = 0; k < 5; ++k) SimulationAssert(false);
  gEngine.reportOnce = &second;
  SimulationAssert(true);
  SimulationAssert(false);
  SimulationAssert(false);
  EXPECT_EQ(printed, 2);
  gEngine.reportOnce = nullptr;
  SimulationAssert(false);
  SimulationAssert(false);
  EXPECT_EQ(printed, 4);
  ResetEngineGlobals();
}

}  // namespace

namespace {

class SlipSwitch : public Run {
 protected:
  // Full throttle from rest for 1.5 s, then full brake for 1.5 s, by direct
  // input, with the two switches as given (threshold 0.05). Returns the
  // largest driven-wheel slip under throttle and the smallest under brake,
  // and whether either switch acted.
  struct Seen {
    double maxSlip = -1e9, minSlip = 1e9;
    bool cut = false, released = false;
  };
  Seen Drive(bool traction, bool antilock) {
    TearDown();
    SetUp();
    BaseObject* sim = AddSim();
    BaseObject* car = AddCar(sim);
    BaseContainer* bc = car->GetDataInstance();
    bc->SetReal(CAR_TRACTION_THRESHOLD, 0.05);
    bc->SetReal(CAR_ANTILOCK_THRESHOLD, 0.05);
    Start(sim);
    const CarState& s = State(car);
    Seen seen;
    bc->SetLong(9906, (traction ? 1 : 0) | (antilock ? 2 : 0));
    for (LONG f = 2; f <= 90; ++f) {
      const bool braking = f > 45;
      bc->SetLong(9900, 2 | 4 | 32);
      bc->SetReal(9902, braking ? 0.0 : 1.0);
      bc->SetReal(9903, braking ? 1.0 : 0.0);
      Frame(f);
      for (int w = 0; w < 4; ++w) {
        const double slip = s.dynamics.wheelSlip.saved[w];
        if (!braking && w >= 2) seen.maxSlip = std::max(seen.maxSlip, slip);
        if (braking && s.speed > 2.0) seen.minSlip = std::min(seen.minSlip, slip);
      }
      seen.cut = seen.cut || s.tractionCutFlag;
      seen.released = seen.released || s.brakeReleaseFlag;
    }
    return seen;
  }
};

// The traction switch takes the throttle away while a wheel spins beyond the
// threshold; the brake-slip switch lets go of the brake while one locks.
TEST_F(SlipSwitch, TractionCutAndBrakeReleaseKeepTheSlipDown) {
  const Seen off = Drive(false, false);
  const Seen on = Drive(true, true);
  EXPECT_FALSE(off.cut);
  EXPECT_FALSE(off.released);
  EXPECT_TRUE(on.cut);
  EXPECT_TRUE(on.released);
  EXPECT_GT(off.maxSlip, 0.1) << "the test car does spin its wheels";
  EXPECT_LT(on.maxSlip, 0.5 * off.maxSlip);
  EXPECT_LT(off.minSlip, -0.2) << "and all but locks them";
  EXPECT_GT(on.minSlip, 0.5 * off.minSlip);
}

}  // namespace
