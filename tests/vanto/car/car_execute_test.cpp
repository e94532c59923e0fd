// The Car's evaluation: which path it takes by the Sim's run state, the edit
// layout at time 0 and the reset after a run, the rig moved from the
// simulated state, and the clean-up after the last bake frame.
#include <cmath>

#include "car_test_support.h"
#include "car/car_execute.h"
#include "car/rig.h"
#include "scene_checks.h"
#include "carsim/link_message.h"

namespace {

class CarExecuteTest : public CarTest {
 protected:
  BaseObject* CarWithRig(BaseObject* sim) {
    BaseObject* car = NewCar(sim);
    EXPECT_TRUE(car->Message(MSG_MENUPREPARE, nullptr));
    return car;
  }
  void Eval(BaseObject* car, double t, LONG flags = 0) {
    doc->SetTime(BaseTime(t));
    EXPECT_EQ(Data(car)->Execute(car, doc, nullptr, EXECUTIONPRIORITY_EXPRESSION, flags), EXECUTIONRESULT_OK);
  }
  static BaseObject* Link(BaseObject* car, LONG id) {
    return car->GetDataInstance()->GetObjectLink(id, car->GetDocument());
  }
  // A laid-out car under a running Sim.
  BaseObject* RunningCar(BaseObject*& sim) {
    sim = NewSim(SIMSTATE_RESET, false);
    BaseObject* car = CarWithRig(sim);
    Eval(car, 0.0);
    sim->GetDataInstance()->SetLong(SIM_RUN_STATE, SIMSTATE_RUNNING);
    sim->GetDataInstance()->SetBool(SIM_RUNNING, true);
    CarState& s = Data(car)->State();
    s.wheelCount = 4;
    s.settings.lastDocTime = 0.0;
    s.settings.timeScale = 1.0;
    return car;
  }
};

TEST_F(CarExecuteTest, EditLayoutAtTimeZeroStoresTheRestPose) {
  BaseObject* sim = NewSim(SIMSTATE_RESET, false);
  BaseObject* car = CarWithRig(sim);
  BaseContainer* bc = car->GetDataInstance();
  // A hand-made mess: body off centre, a front wheel too far in and behind
  // the front limit, the rear wheel in front of the car's middle.
  Link(car, RIG_BODY)->SetRelPos(Vector(30, 70, 20));
  Link(car, RIG_BODY)->SetRelRot(Vector(0.3, 0, 0));
  Link(car, RIG_HUB + 1)->SetRelPos(Vector(1, 0, 5));
  Link(car, RIG_HUB + 3)->SetRelPos(Vector(80, 0, 40));
  car->SetRelPos(Vector(9, 9, 9));
  Eval(car, 0.0);

  EXPECT_EQ(car->GetMg(), Matrix());
  EXPECT_TRUE(bc->GetBool(CAR_SETTINGS_APPLIED));
  EXPECT_EQ(Data(car)->State().carIndex, -1);
  BaseObject* body = Link(car, RIG_BODY);
  EXPECT_EQ(body->GetRelPos(), Vector(0, 70, 0));
  EXPECT_EQ(body->GetRelRot(), Vector());
  const Real rf = bc->GetReal(CAR_WHEEL_DIAMETER_FRONT) / 2, wf = bc->GetReal(CAR_WHEEL_WIDTH_FRONT);
  const Vector fr = Link(car, RIG_HUB + 1)->GetRelPos();
  EXPECT_EQ(fr, Vector(wf / 2, rf - 70, 2 * rf));
  EXPECT_EQ(Link(car, RIG_HUB + 0)->GetRelPos(), Vector(-fr.x, fr.y, fr.z));
  EXPECT_EQ(Link(car, RIG_HUB + 3)->GetRelPos().z, 0.0);
  EXPECT_EQ(Link(car, RIG_HUB + 1)->GetRelRot().x, pi);
  // The mounts of a strut share one frame whose y axis runs along it.
  const Matrix lo = Link(car, RIG_SUSPENSION_BOTTOM + 1)->GetMg(), up = Link(car, RIG_SUSPENSION_TOP + 1)->GetMg();
  ExpectNear(lo.v2, (up.off - lo.off).GetNormalized());
  ExpectNear(up.v1, lo.v1);
  EXPECT_NEAR(Dot(lo.v1, lo.v2), 0.0, 1e-12);
  const Matrix lo_left = Link(car, RIG_SUSPENSION_BOTTOM + 0)->GetMg();
  EXPECT_NEAR(lo_left.off.x, -lo.off.x, 1e-9);
  // Rest positions are what the layout left.
  for (LONG w = 0; w < 4; ++w) EXPECT_EQ(bc->GetVector(RIG_REST_HUB + w), Link(car, RIG_HUB + w)->GetRelPos());
  EXPECT_EQ(Data(car)->State().bodySize, bc->GetVector(CAR_BODY_SIZE));
}

TEST_F(CarExecuteTest, OutsideARunNothingMovesAtOtherTimes) {
  BaseObject* car = CarWithRig(nullptr);
  Eval(car, 0.0);
  Link(car, RIG_HUB + 1)->SetRelPos(Vector(1, 2, 3));
  Data(car)->State().carIndex = 5;
  Eval(car, 1.0 / 3.0);
  EXPECT_EQ(Link(car, RIG_HUB + 1)->GetRelPos(), Vector(1, 2, 3));
  EXPECT_EQ(Data(car)->State().carIndex, -1);
  Eval(car, 0.0);
  EXPECT_NE(Link(car, RIG_HUB + 1)->GetRelPos(), Vector(1, 2, 3));
}

TEST_F(CarExecuteTest, ResetAtTimeZeroOnlyOnce) {
  BaseObject* car = CarWithRig(nullptr);
  CarState& s = Data(car)->State();
  Eval(car, 0.0);  // lays out; Bool 5000 on
  s.settings.inputPeriod = 0.0;  // a copy no Sim wrote
  s.speed = 7.0;
  s.settings.simTime = 0.0;
  Eval(car, 0.0);
  EXPECT_EQ(s.speed, 0.0);
  EXPECT_EQ(s.settings.inputPeriod, 0.01);
  s.speed = 7.0;
  Eval(car, 0.0);
  EXPECT_EQ(s.speed, 7.0);  // nothing to reset any more
  s.settings.simTime = 3.0;  // after a run
  Eval(car, 0.0);
  EXPECT_EQ(s.speed, 0.0);
  EXPECT_EQ(s.settings.simTime, 0.0);
}

TEST_F(CarExecuteTest, RunStatesOtherThanRunning) {
  // Editor mode off: never moved.
  BaseObject* sim = NewSim(SIMSTATE_RESET, false);
  BaseObject* car = CarWithRig(sim);
  NewCar(sim);  // goes in first
  car->SetEditorMode(MODE_OFF);
  Link(car, RIG_HUB + 1)->SetRelPos(Vector(1, 2, 3));
  Eval(car, 0.0);
  EXPECT_EQ(Link(car, RIG_HUB + 1)->GetRelPos(), Vector(1, 2, 3));
  EXPECT_FALSE(car->GetDataInstance()->GetBool(CAR_SETTINGS_APPLIED));
  car->SetEditorMode(MODE_UNDEF);

  // Baked: only the car's place among its siblings.
  sim->GetDataInstance()->SetLong(SIM_RUN_STATE, SIMSTATE_BAKED);
  Eval(car, 0.0);
  EXPECT_EQ(Data(car)->State().carIndex, 1);
  EXPECT_EQ(Link(car, RIG_HUB + 1)->GetRelPos(), Vector(1, 2, 3));

  // Stopped on an error: back to rest at any time.
  sim->GetDataInstance()->SetLong(SIM_RUN_STATE, SIMSTATE_ERROR);
  Eval(car, 2.0);
  EXPECT_EQ(Link(car, RIG_HUB + 1)->GetRelPos(), car->GetDataInstance()->GetVector(RIG_REST_HUB + 1));
}

TEST_F(CarExecuteTest, RunPathCopiesTheSimulatedMatrices) {
  BaseObject* sim = nullptr;
  BaseObject* car = RunningCar(sim);
  CarState& s = Data(car)->State();
  s.bodyMatrix = Matrix(Vector(10, 60, 500), Vector(0, 0, -1), Vector(0, 1, 0), Vector(1, 0, 0));
  for (LONG w = 0; w < 4; ++w) {
    const Vector off(w & 1 ? 80 : -80, 30, w < 2 ? 630 : 370);
    s.wheelHubMatrices[w] = Matrix(off, Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
    s.wheelMatrices[w] = Matrix(off, Vector(1, 0, 0), Vector(0, 0.6, 0.8), Vector(0, -0.8, 0.6));
    s.wheelSteerFreeMatrices[w] = s.wheelHubMatrices[w];
  }
  Eval(car, 1.0, EXECUTIONFLAGS_ANIMATION);
  EXPECT_EQ(Link(car, RIG_BODY)->GetMg(), s.bodyMatrix);  // exactly
  for (LONG w = 0; w < 4; ++w) {
    const Matrix hub = Link(car, RIG_HUB + w)->GetMg(), spin = Link(car, RIG_SPINNER + w)->GetMg();
    ExpectNear(hub.off, s.wheelHubMatrices[w].off);
    ExpectNear(hub.v3, s.wheelHubMatrices[w].v3);
    ExpectNear(spin.v2, s.wheelMatrices[w].v2);
    // The strut runs from the bottom mount (offset along the wheel axis) to the top.
    const Matrix lo = Link(car, RIG_SUSPENSION_BOTTOM + w)->GetMg(), up = Link(car, RIG_SUSPENSION_TOP + w)->GetMg();
    const Real r = car->GetDataInstance()->GetVector(RIG_REST_SUSPENSION_BOTTOM + w).x;
    ExpectNear(lo.off, s.wheelSteerFreeMatrices[w].off + Vector(r, 0, 0));
    ExpectNear(lo.v2, (up.off - lo.off).GetNormalized());
    ExpectNear(Cross(lo.v1, lo.v2), lo.v3);
  }
  // The car stays at the origin and its outputs are written.
  EXPECT_EQ(car->GetMg(), Matrix());
}

// Before the start time a run keeps the deformer off and takes the learnt
// speed targets; from the start time on, while the document time stands
// still, cached group members that left their group are dropped.
TEST_F(CarExecuteTest, RunBeforeTheStartAndWhileTimeStandsStill) {
  BaseObject* sim = nullptr;
  BaseObject* car = RunningCar(sim);
  CarState& s = Data(car)->State();
  BaseContainer* bc = car->GetDataInstance();
  BaseObject* deformer = NewObject(Offd);
  deformer->SetDeformMode(true);
  bc->SetLink(CAR_DEFORMER_LINK, deformer);
  bc->SetBool(CAR_DEFORMER_ANIMATED, true);
  bc->SetLong(CAR_SPEED_TARGET_COUNT, 1);
  bc->SetReal(20001, 4.5);
  s.settings.startTime = 2.0;
  s.settings.lastDocTime = 1.0;
  BaseObject* stray = NewObject(Onull);  // in no ground group
  s.wheelGroundRecords[0].groundObject = stray;

  Eval(car, 1.0, EXECUTIONFLAGS_ANIMATION);
  EXPECT_FALSE(deformer->GetDeformMode());
  EXPECT_EQ(s.autopilot.speedQueueCount, 1);
  EXPECT_EQ(s.autopilot.speedQueue[0].deltaSpeed, 4.5);
  EXPECT_EQ(s.wheelGroundRecords[0].groundObject, stray);  // before the start: not checked

  // From the start on: time moving on keeps the cache, time standing still checks it.
  deformer->SetDeformMode(true);
  s.settings.startTime = 0.0;
  s.autopilot.speedQueueCount = 0;
  Eval(car, 2.0, EXECUTIONFLAGS_ANIMATION);
  EXPECT_TRUE(deformer->GetDeformMode());
  EXPECT_EQ(s.autopilot.speedQueueCount, 0);
  EXPECT_EQ(s.wheelGroundRecords[0].groundObject, stray);
  s.settings.lastDocTime = 2.0;
  Eval(car, 2.0, EXECUTIONFLAGS_ANIMATION);
  EXPECT_EQ(s.wheelGroundRecords[0].groundObject, nullptr);
}

// A car whose settings are not applied (Bool 5000 off) takes no part in a
// running Sim's evaluation: it is not moved from the simulated state and is
// laid out at time 0 instead.
TEST_F(CarExecuteTest, SettingsNotAppliedDuringARun) {
  BaseObject* sim = nullptr;
  BaseObject* car = RunningCar(sim);
  CarState& s = Data(car)->State();
  BaseContainer* bc = car->GetDataInstance();
  bc->SetBool(CAR_SETTINGS_APPLIED, false);
  s.carIndex = 3;
  s.bodyMatrix = Matrix(Vector(10, 60, 500), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  const Matrix before = Link(car, RIG_BODY)->GetMg();
  Eval(car, 1.0, EXECUTIONFLAGS_ANIMATION);
  EXPECT_EQ(Link(car, RIG_BODY)->GetMg(), before);
  EXPECT_EQ(s.carIndex, -1);
  EXPECT_FALSE(bc->GetBool(CAR_SETTINGS_APPLIED));
  Eval(car, 0.0, EXECUTIONFLAGS_ANIMATION);
  EXPECT_TRUE(bc->GetBool(CAR_SETTINGS_APPLIED));
}

TEST_F(CarExecuteTest, MissingWheelStopsTheUpdateThere) {
  BaseObject* sim = nullptr;
  BaseObject* car = RunningCar(sim);
  CarState& s = Data(car)->State();
  s.wheelCount = 6;  // no extra axle objects
  for (LONG w = 0; w < 6; ++w) s.wheelHubMatrices[w] = Matrix(Vector(w, 1, 2), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  s.bodyMatrix = Matrix(Vector(0, 50, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  Eval(car, 1.0);
  ExpectNear(Link(car, RIG_HUB + 3)->GetMg().off, Vector(3, 1, 2));
  // Suspension is not placed after the stop: the mounts keep their layout.
  const Matrix lo = Link(car, RIG_SUSPENSION_BOTTOM + 0)->GetMg();
  EXPECT_NE(lo.off, s.wheelSteerFreeMatrices[0].off + Vector(car->GetDataInstance()->GetVector(RIG_REST_SUSPENSION_BOTTOM).x, 0, 0));
}

// The rig is found anew every frame: an object linked in between frames is
// placed, the one it replaced is left where it was, and a rig object freed
// between frames is neither touched nor in the way of the others.
TEST_F(CarExecuteTest, RigLinksChangedBetweenFramesArePickedUp) {
  BaseObject* sim = nullptr;
  BaseObject* car = RunningCar(sim);
  CarState& s = Data(car)->State();
  auto place = [&](double x) {
    s.bodyMatrix = Matrix(Vector(x, 50, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
    for (LONG w = 0; w < 4; ++w) {
      s.wheelHubMatrices[w] = Matrix(Vector(x + w, 20, 7), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
      s.wheelMatrices[w] = s.wheelSteerFreeMatrices[w] = s.wheelHubMatrices[w];
    }
  };
  place(100.0);
  Eval(car, 1.0, EXECUTIONFLAGS_ANIMATION);
  BaseObject* oldHub = Link(car, RIG_HUB + 2);
  ExpectNear(oldHub->GetMg().off, Vector(102, 20, 7));
  const Matrix oldHubLocal = oldHub->GetMl();

  // The user points the hub link at another object and deletes a spinner.
  BaseObject* newHub = BaseObject::Alloc(Onull);
  doc->InsertObject(newHub, Link(car, RIG_BODY), nullptr);
  car->GetDataInstance()->SetLink(RIG_HUB + 2, newHub);
  BaseObject* spinner = Link(car, RIG_SPINNER + 1);
  BaseObject::Free(spinner);
  place(300.0);
  Eval(car, 2.0, EXECUTIONFLAGS_ANIMATION);
  ExpectNear(newHub->GetMg().off, Vector(302, 20, 7));
  EXPECT_EQ(oldHub->GetMl(), oldHubLocal);  // left alone
  EXPECT_EQ(Link(car, RIG_SPINNER + 1), nullptr);
  ExpectNear(Link(car, RIG_HUB + 3)->GetMg().off, Vector(303, 20, 7));  // the wheels after it are placed
  ExpectNear(Link(car, RIG_SPINNER + 3)->GetMg().off, Vector(303, 20, 7));

  // A link to an object of another document is no rig object.
  BaseDocument* other = BaseDocument::Alloc();
  BaseObject* stranger = BaseObject::Alloc(Onull);
  other->InsertObject(stranger, nullptr, nullptr);
  car->GetDataInstance()->SetLink(RIG_HUB + 3, stranger);
  place(500.0);
  Eval(car, 3.0, EXECUTIONFLAGS_ANIMATION);
  EXPECT_EQ(stranger->GetMg(), Matrix());
  ExpectNear(newHub->GetMg().off, Vector(502, 20, 7));
  BaseDocument::Free(other);
}

// The bake ends whether or not the rig could be placed on its last frame.
TEST_F(CarExecuteTest, LastBakeFrameCleansUpWithOrWithoutABody) {
  for (const bool withBody : {false, true}) {
    SCOPED_TRACE(withBody);
    BaseObject* sim = nullptr;
    BaseObject* car = RunningCar(sim);
    CarState& s = Data(car)->State();
    CollisionOutline& o = s.collisionOutline;
    o.deformPoints = static_cast<Vec3*>(GeAlloc(4 * sizeof(Vec3)));
    o.deformPointCount = 2;
    o.deformNeighbours = static_cast<int32*>(GeAlloc(2 * sizeof(int32)));
    o.deformNeighbourCount = 2;
    s.dynamics.crashFlag = 1;
    Data(car)->Labels().row[0] = "X";
    if (!withBody) {
      BaseObject* body = Link(car, RIG_BODY);
      BaseObject::Free(body);
    }
    std::int32_t phase = BAKEPHASE_LAST;
    SimLinkMessage msg{SIMLINK_BAKE_PHASE, &phase};
    car->Message(MSG_SIMLINK, &msg);
    Eval(car, 1.0);
    EXPECT_EQ(o.deformPoints, nullptr);
    EXPECT_EQ(o.deformNeighbours, nullptr);
    EXPECT_EQ(o.deformPointCount + o.deformNeighbourCount, 0);
    EXPECT_EQ(s.dynamics.crashFlag, 0);
    EXPECT_EQ(Data(car)->Labels().row[0].size(), 22u);
  }
}

}  // namespace
