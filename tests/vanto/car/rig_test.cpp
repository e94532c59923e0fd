// The car's rig: default rig, extra axles, rest pose, snapshots in the car's
// container, the linked-object check and the damage and skid-mark reset.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "host_loader.h"
#include "host_plugin.h"
#include "host_services.h"
#include "frame/plugin_main.h"
#include "scene_build/object_builders.h"
#include "plugin_in_process.h"
#include "car/rig.h"
#include "scene_checks.h"

namespace {

class Rig : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlog::SetQuiet(true);
    ASSERT_NO_FATAL_FAILURE(testsupport::HandOver(CARSIM_PLUGIN_ROOT "/vanto"));
    // A stand-in for the wheel-rig tag: only its type and container matter here.
    ASSERT_TRUE(RegisterTagPlugin(ID_ROTELIX, "wheel rig", 0, [] { return static_cast<NodeData*>(new TagData); }, "",
                                  nullptr, 0));
    doc = BaseDocument::Alloc();
    car = BaseObject::Alloc(Onull);
    doc->InsertObject(car, nullptr, nullptr);
    bc = car->GetDataInstance();
  }
  void TearDown() override {
    hostmem::FailAllocation(0);
    BaseDocument::Free(doc);
    hostregistry::RemoveModule(String());
  }
  BaseObject* L(LONG id) const { return bc->GetObjectLink(id, doc); }
  BaseContainer* AddWheelRigTag(LONG axles) {
    BaseTag* tag = car->MakeTag(ID_ROTELIX);
    tag->GetDataInstance()->SetLong(ROTELIX_AXLE_COUNT, axles);
    return tag->GetDataInstance();
  }
  BaseDocument* doc = nullptr;
  BaseObject* car = nullptr;
  BaseContainer* bc = nullptr;
};

// ---------------------------------------------------------------- default rig and extra axles

TEST_F(Rig, DefaultRigHierarchyAndLinks) {
  ASSERT_TRUE(BuildDefaultRig(doc, car));
  BaseObject* body = L(RIG_BODY);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->GetUp(), car);
  EXPECT_EQ(body->GetName(), GeLoadString(10005));
  ASSERT_NE(L(RIG_ENGINE), nullptr);
  EXPECT_EQ(L(RIG_ENGINE)->GetName(), GeLoadString(10006));
  // Under the body: engine, four tops, four hubs, in that order.
  BaseObject* c = body->GetDown();
  EXPECT_EQ(c, L(RIG_ENGINE));
  for (LONG k = 0; k < 4; ++k) {
    c = c->GetNext();
    ASSERT_EQ(c, L(RIG_SUSPENSION_TOP + k));
    EXPECT_EQ(c->GetName(), GeLoadString(10007 + k));
    EXPECT_EQ(c->GetDataInstance()->GetLong(NULLOBJECT_DISPLAY), 1);
    EXPECT_EQ(c->GetDataInstance()->GetReal(NULLOBJECT_RADIUS), 20.0);
    EXPECT_EQ(GetColorProperties(c).color, kRigColour);
  }
  for (LONG w = 0; w < 4; ++w) {
    c = c->GetNext();
    ASSERT_EQ(c, L(RIG_HUB + w));
    EXPECT_EQ(c->GetName(), GeLoadString(10011 + w));
    // Under each hub: its suspension bottom, then its spinner.
    EXPECT_EQ(c->GetDown(), L(RIG_SUSPENSION_BOTTOM + w));
    EXPECT_EQ(c->GetDown()->GetName(), GeLoadString(10015));
    EXPECT_EQ(c->GetDown()->GetNext(), L(RIG_SPINNER + w));
    EXPECT_EQ(L(RIG_SPINNER + w)->GetName(), GeLoadString(10016));
    EXPECT_EQ(L(RIG_SPINNER + w)->GetDataInstance()->GetLong(NULLOBJECT_DISPLAY), 0);
  }
  EXPECT_EQ(c->GetNext(), nullptr);
}

TEST_F(Rig, DefaultRigStopsAtAFailedAllocation) {
  hostmem::FailAllocation(3);  // body and engine, then nothing
  EXPECT_FALSE(BuildDefaultRig(doc, car));
  hostmem::FailAllocation(0);
  EXPECT_NE(L(RIG_BODY), nullptr);
  EXPECT_NE(L(RIG_ENGINE), nullptr);
  EXPECT_EQ(L(RIG_SUSPENSION_TOP), nullptr);
}

TEST_F(Rig, ExtraAxleNamesLinksAndPlaceInTheTree) {
  ASSERT_TRUE(BuildDefaultRig(doc, car));
  ASSERT_TRUE(AddExtraAxle(doc, car, 0, 1, 100.0));
  const String top = GeLoadString(10007), wheel = GeLoadString(10011);
  const String l = wheel.Right(1), r = GeLoadString(10012).Right(1);
  const String top3 = top.Left(top.GetLength() - 2) + "3", wheel3 = wheel.Left(wheel.GetLength() - 2) + "3";
  EXPECT_EQ(L(5666)->GetName(), top3 + l);
  EXPECT_EQ(L(5667)->GetName(), top3 + r);
  EXPECT_EQ(L(5606)->GetName(), wheel3 + l);
  EXPECT_EQ(L(5607)->GetName(), wheel3 + r);
  EXPECT_EQ(L(5666)->GetDataInstance()->GetReal(NULLOBJECT_RADIUS), 20.0);  // 0.2 x units per metre
  // The new tops follow the last base top, the new hubs the last base hub.
  EXPECT_EQ(L(5665)->GetNext(), L(5666));
  EXPECT_EQ(L(5666)->GetNext(), L(5667));
  EXPECT_EQ(L(5605)->GetNext(), L(5606));
  EXPECT_EQ(L(5607)->GetUp(), L(RIG_BODY));
  EXPECT_EQ(L(5646)->GetUp(), L(5606));
  EXPECT_EQ(L(5627)->GetUp(), L(5607));
  EXPECT_EQ(bc->GetLong(6624), 1);

  ASSERT_TRUE(AddExtraAxle(doc, car, 1, 0, 100.0));
  EXPECT_EQ(L(5668)->GetName(), top.Left(top.GetLength() - 2) + "4" + l);
  EXPECT_EQ(L(5667)->GetNext(), L(5668));
  EXPECT_EQ(L(5607)->GetNext(), L(5608));
}

TEST_F(Rig, ExtraAxleNeedsItsPredecessorAndAValidIndex) {
  ASSERT_TRUE(BuildDefaultRig(doc, car));
  const LONG before = CountChildren(L(RIG_BODY));
  EXPECT_FALSE(AddExtraAxle(doc, car, 1, 0, 100.0));  // axle 0 was never added
  EXPECT_EQ(CountChildren(L(RIG_BODY)), before);
  // A ninth axle would land on wheel 0's spinner and the first axle types.
  BaseObject* spinner0 = L(RIG_SPINNER);
  for (LONG a : {8, 9, -1}) EXPECT_FALSE(AddExtraAxle(doc, car, a, 1, 100.0));
  EXPECT_EQ(L(RIG_SPINNER), spinner0);
  EXPECT_EQ(bc->GetType(6632), DA_NIL);
  RemoveExtraAxle(doc, car, 8);
  EXPECT_EQ(L(RIG_SPINNER), spinner0);
  EXPECT_EQ(CountChildren(L(RIG_BODY)), before);
}

TEST_F(Rig, RemovingAnAxleKeepsTheUsersObjects) {
  ASSERT_TRUE(BuildDefaultRig(doc, car));
  ASSERT_TRUE(AddExtraAxle(doc, car, 0, 1, 100.0));
  BaseObject* tyre = BaseObject::Alloc(Ocube);
  tyre->SetName("tyre");
  tyre->InsertUnder(L(5627));  // the user's wheel under the odd spinner
  BaseObject* body = L(RIG_BODY);
  RemoveExtraAxle(doc, car, 0);
  for (LONG id : {5606, 5607, 5626, 5627, 5646, 5647, 5666, 5667, 6624}) EXPECT_EQ(bc->GetType(id), DA_NIL) << id;
  EXPECT_EQ(CountChildren(body), 9);  // the base rig again
  // The spinner carrying the tyre moved to the top level with it.
  BaseObject* kept = doc->SearchObject("tyre");
  ASSERT_NE(kept, nullptr);
  ASSERT_NE(kept->GetUp(), nullptr);
  EXPECT_EQ(kept->GetUp()->GetUp(), nullptr);
  EXPECT_EQ(kept->GetUp()->GetName(), GeLoadString(10016));
}

// ---------------------------------------------------------------- rest pose

void MessUp(BaseObject* op) {
  op->SetRelPos(Vector(999, 999, 999));
  op->SetRelRot(Vector(1, 1, 1));
}

TEST_F(Rig, ResetRigPoseWithAndWithoutADocument) {
  ASSERT_TRUE(BuildDefaultRig(doc, car));
  AddWheelRigTag(1);
  ASSERT_TRUE(AddExtraAxle(doc, car, 0, 1, 100.0));
  bc->SetVector(RIG_REST_BODY, Vector(0, 30, 0));
  bc->SetVector(RIG_REST_ENGINE, Vector(0, 0, 80));
  for (LONG i = 0; i < 6; ++i) {
    bc->SetVector(RIG_REST_HUB + i, Vector(i, 1, 2));
    bc->SetVector(RIG_REST_SUSPENSION_BOTTOM + i, Vector(0, i, 0));
    bc->SetVector(RIG_REST_SUSPENSION_TOP + i, Vector(i, 0, 5));
  }
  bc->SetLong(RIG_AXLE_TYPE, 0);
  bc->SetLong(RIG_AXLE_TYPE + 1, 1);
  bc->SetReal(CAR_CAMBER_FRONT, 0.1);
  bc->SetReal(CAR_CAMBER_REAR, 0.2);

  for (BaseDocument* d : {doc, static_cast<BaseDocument*>(nullptr)}) {
    SCOPED_TRACE(d ? "links" : "tree walk");
    car->SetRelPos(Vector(5, 5, 5));
    for (LONG id = 5600; id < 5668; ++id)
      if (BaseObject* op = L(id)) MessUp(op);
    if (!d) car->Remove();  // a car not yet in a document
    EXPECT_TRUE(ResetRigPose(d, car));
    if (!d) doc->InsertObject(car, nullptr, nullptr);
    EXPECT_EQ(car->GetMg(), Matrix());
    EXPECT_EQ(L(RIG_BODY)->GetRelPos(), Vector(0, 30, 0));
    EXPECT_EQ(L(RIG_BODY)->GetRelRot(), Vector());
    EXPECT_EQ(L(RIG_ENGINE)->GetRelPos(), Vector(0, 0, 80));
    for (LONG i = 0; i < 6; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(L(RIG_SUSPENSION_TOP + i)->GetRelPos(), Vector(i, 0, 5));
      EXPECT_EQ(L(RIG_HUB + i)->GetRelPos(), Vector(i, 1, 2));
      const Real camber = i < 2 ? 0.1 : 0.2;  // axles 1 and the extra rear-type axle take the rear camber
      ExpectNear(L(RIG_HUB + i)->GetRelRot(), Vector(i & 1 ? pi : 0.0, 0, camber));
      EXPECT_EQ(L(RIG_SUSPENSION_BOTTOM + i)->GetRelPos(), Vector(0, i, 0));
      EXPECT_EQ(L(RIG_SPINNER + i)->GetMl(), Matrix());
    }
  }
}

TEST_F(Rig, ResetRigPoseStopsAtAShortHierarchy) {
  BaseObject* body = BaseObject::Alloc(Onull);
  body->InsertUnder(car);
  BaseObject* engine = BaseObject::Alloc(Onull);
  engine->InsertUnder(body);
  bc->SetVector(RIG_REST_ENGINE, Vector(1, 2, 3));
  car->Remove();
  EXPECT_FALSE(ResetRigPose(nullptr, car));
  EXPECT_EQ(engine->GetRelPos(), Vector(1, 2, 3));  // what came before the gap was reset
  doc->InsertObject(car, nullptr, nullptr);
  EXPECT_FALSE(ResetRigPose(doc, car));  // no links at all
}

TEST_F(Rig, StoreRigPositions) {
  ASSERT_TRUE(BuildDefaultRig(doc, car));
  L(RIG_BODY)->SetRelPos(Vector(0, 40, 0));
  L(RIG_HUB + 3)->SetRelPos(Vector(80, 0, -120));
  L(RIG_SUSPENSION_TOP + 3)->SetRelPos(Vector(70, 30, -120));
  L(RIG_SUSPENSION_BOTTOM + 3)->SetRelPos(Vector(0, 5, 0));
  BaseObject* parts = CreateNullObject(doc, L(RIG_BODY), nullptr, "parts", 0, 0, 0, 1, kNoColour, 0);
  bc->SetLink(CAR_PARTS_LINK, parts);
  for (int j = 0; j < 600; ++j) {
    BaseObject* p = BaseObject::Alloc(Onull);
    p->InsertUnderLast(parts);
    p->SetRelPos(Vector(j, 0, 0));
  }
  ASSERT_TRUE(StoreRigPositions(doc, car));
  EXPECT_EQ(bc->GetVector(RIG_REST_BODY), Vector(0, 40, 0));
  EXPECT_EQ(bc->GetVector(RIG_REST_HUB + 3), Vector(80, 0, -120));
  EXPECT_EQ(bc->GetVector(RIG_REST_SUSPENSION_TOP + 3), Vector(70, 30, -120));
  EXPECT_EQ(bc->GetVector(RIG_REST_SUSPENSION_BOTTOM + 3), Vector(0, 5, 0));
  EXPECT_EQ(bc->GetMatrix(6499).off, Vector(499, 0, 0));
  EXPECT_EQ(bc->GetType(6500), DA_NIL);  // 500 at most

  // The rest pose comes back after a run moved everything.
  L(RIG_HUB + 3)->SetRelPos(Vector());
  parts->GetDown()->SetRelPos(Vector(7, 7, 7));
  auto state = std::make_unique<CarState>();
  state->wheelCount = 4;
  EXPECT_TRUE(ResetRigPose(doc, car));
  ResetDamageAndSkidMarks(doc, car, *state);
  EXPECT_EQ(L(RIG_HUB + 3)->GetRelPos(), Vector(80, 0, -120));
  EXPECT_EQ(parts->GetDown()->GetRelPos(), Vector(0, 0, 0));

  // Without the engine: the body is stored, then false.
  BaseObject* engine = L(RIG_ENGINE);
  BaseObject::Free(engine);
  L(RIG_BODY)->SetRelPos(Vector(0, 41, 0));
  EXPECT_FALSE(StoreRigPositions(doc, car));
  EXPECT_EQ(bc->GetVector(RIG_REST_BODY), Vector(0, 41, 0));
}

// ---------------------------------------------------------------- rig objects

TEST_F(Rig, BuildCarRigLinksExistingObjectsByName) {
  ASSERT_TRUE(BuildDefaultRig(doc, car));
  BaseContainer links = *bc;
  for (LONG id = 5600; id < 5666; ++id) bc->RemoveData(id);
  LONG objects = 0;
  doc->ForEachObject([&](BaseObject*) { ++objects; });
  ASSERT_TRUE(BuildCarRig(doc, car, bc, 100.0));
  LONG after = 0;
  doc->ForEachObject([&](BaseObject*) { ++after; });
  EXPECT_EQ(after, objects);  // nothing new
  for (LONG id = 5600; id < 5666; ++id) EXPECT_EQ(bc->GetObjectLink(id, doc), links.GetObjectLink(id, doc)) << id;
  EXPECT_EQ(bc->GetLong(RIG_AXLE_TYPE), 0);
  EXPECT_EQ(bc->GetLong(RIG_AXLE_TYPE + 1), 1);

  // A missing hub is made again with its two children.
  BaseObject* hub = L(RIG_HUB + 2);
  BaseObject::Free(hub);
  bc->SetReal(CAR_WHEEL_WIDTH_FRONT, 30.0);
  ASSERT_TRUE(BuildCarRig(doc, car, bc, 100.0));
  ASSERT_NE(L(RIG_HUB + 2), nullptr);
  EXPECT_EQ(L(RIG_SUSPENSION_BOTTOM + 2)->GetUp(), L(RIG_HUB + 2));
  EXPECT_EQ(L(RIG_SUSPENSION_BOTTOM + 2)->GetDataInstance()->GetReal(NULLOBJECT_RADIUS), 15.0);
  EXPECT_EQ(L(RIG_SPINNER + 2)->GetUp(), L(RIG_HUB + 2));
}

TEST_F(Rig, PlaceExtraAxlesFollowsTheTemplateAxle) {
  ASSERT_TRUE(BuildDefaultRig(doc, car));
  BaseContainer* tag = AddWheelRigTag(1);
  ASSERT_TRUE(AddExtraAxle(doc, car, 0, 1, 100.0));
  L(5605)->SetRelPos(Vector(80, 30, -120));  // wheel 3, the rear template's side 1
  L(5605)->SetRelRot(Vector(pi, 0, 0.05));
  L(5604)->SetRelRot(Vector(0, 0, 0.05));
  L(5665)->SetRelPos(Vector(70, 60, -110));
  L(5645)->SetRelPos(Vector(0, 10, 0));
  L(5607)->SetRelPos(Vector(0, 0, -250));  // the new axle's own place along the car
  auto owned = std::make_unique<CarState>();
  CarState& state = *owned;
  PlaceExtraAxles(doc, car, state);
  EXPECT_EQ(state.wheelCount, 6);
  EXPECT_EQ(L(5607)->GetRelPos(), Vector(80, 30, -250));
  EXPECT_EQ(L(5606)->GetRelPos(), Vector(-80, 30, -250));
  ExpectNear(L(5607)->GetRelRot(), Vector(pi, 0, 0.05));
  EXPECT_EQ(L(5647)->GetRelPos(), Vector(0, 10, 0));
  EXPECT_EQ(L(5667)->GetRelPos(), Vector(70, 60, -240));  // moved with the axle by -130

  // A vanished hub cuts the count back to the axles before it.
  tag->SetLong(ROTELIX_AXLE_COUNT, 3);
  PlaceExtraAxles(doc, car, state);
  EXPECT_EQ(state.wheelCount, 6);
  EXPECT_EQ(tag->GetLong(ROTELIX_AXLE_COUNT), 1);

  // An absurd count is held to eight axles, and a missing template hub stops
  // the placement without touching it.
  tag->SetLong(ROTELIX_AXLE_COUNT, 50);
  BaseObject* templ = L(5605);
  BaseObject::Free(templ);
  PlaceExtraAxles(doc, car, state);
  EXPECT_EQ(state.wheelCount, 4);
  EXPECT_EQ(ExtraAxleCount(car), 8);

  car->KillTag(ID_ROTELIX);
  state.wheelCount = 9;
  PlaceExtraAxles(doc, car, state);
  EXPECT_EQ(state.wheelCount, 4);
}

TEST_F(Rig, FindOrCreateChild) {
  BaseObject* first = CreateNullObject(doc, car, nullptr, "other", 0, 0, 0, 1, kNoColour, 0);
  BaseObject* made = FindOrCreateChild(doc, car, 10033);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetName(), GeLoadString(10033));
  EXPECT_EQ(first->GetNext(), made);  // appended last
  EXPECT_EQ(FindOrCreateChild(doc, car, 10033), made);
  EXPECT_EQ(FindOrCreateChild(doc, nullptr, 10033), nullptr);
}

TEST_F(Rig, CheckLinkedObjectsDropsWhatLeftItsGroup) {
  BaseObject* grounds = CreateNullObject(doc, nullptr, nullptr, "grounds", 0, 0, 0, 1, kNoColour, 0);
  BaseObject* routes = CreateNullObject(doc, nullptr, nullptr, "routes", 0, 0, 0, 1, kNoColour, 0);
  BaseObject* markers = CreateNullObject(doc, nullptr, nullptr, "markers", 0, 0, 0, 1, kNoColour, 0);
  bc->SetLink(1940, grounds);
  bc->SetLink(1900, routes);
  bc->SetLink(1920, markers);
  BaseObject* g0 = CreateCubeObject(doc, grounds, "g0", Vector(1), kNoColour, 0);
  BaseObject* g1 = CreateCubeObject(doc, grounds, "g1", Vector(1), kNoColour, 0);
  BaseObject* sweep = CreateSweepObject(doc, routes, nullptr, "route", 0);
  BaseObject* rail = CreateSplineFromPoints(doc, sweep, nullptr, "rail", Vector(), Vector(1), kNoColour, 0);
  BaseObject* marker = CreateNullObject(doc, markers, nullptr, "m", 0, 0, 0, 1, kNoColour, 0);

  auto state = std::make_unique<CarState>();
  state->wheelCount = 4;
  state->wheelGroundRecords[0].groundObject = g0;
  state->wheelGroundRecords[1].groundObject = g1;
  state->autopilot.routeObject = sweep;
  state->autopilot.routeSpline = rail;
  state->commands.lastMarker = marker;
  CheckLinkedObjects(doc, car, *state);
  EXPECT_EQ(state->wheelGroundRecords[0].groundObject, g0);
  EXPECT_EQ(state->autopilot.routeSpline, rail);  // the rail of the bound sweep
  EXPECT_EQ(state->commands.lastMarker, marker);

  // A deleted ground object is dropped without being read.
  BaseObject::Free(g1);
  rail->InsertUnder(routes);  // no longer the sweep's rail
  marker->InsertUnder(car);
  state->autopilot.routeProfile = rail;
  CheckLinkedObjects(doc, car, *state);
  EXPECT_EQ(state->wheelGroundRecords[0].groundObject, g0);
  EXPECT_EQ(state->wheelGroundRecords[1].groundObject, nullptr);
  EXPECT_EQ(state->autopilot.routeObject, nullptr);
  EXPECT_EQ(state->autopilot.routeSpline, nullptr);
  EXPECT_EQ(state->autopilot.routeProfile, nullptr);
  EXPECT_EQ(state->commands.lastMarker, nullptr);

  // A spline route bound to itself stays; an empty group link clears its members.
  state->autopilot.routeObject = state->autopilot.routeSpline = rail;
  state->wheelGroundRecords[0].groundObject = g0;
  bc->RemoveData(1940);
  CheckLinkedObjects(doc, car, *state);
  EXPECT_EQ(state->autopilot.routeObject, rail);
  EXPECT_EQ(state->wheelGroundRecords[0].groundObject, nullptr);
}

// ---------------------------------------------------------------- snapshots

TEST_F(Rig, SpeedTargetsSaveOnlyAfterAChange) {
  auto state = std::make_unique<CarState>();
  AutopilotState& ap = state->autopilot;
  ap.speedQueueCount = 10;
  for (int i = 0; i < 10; ++i) ap.speedQueue[i] = SpeedTarget{-1.0 * i, 10.0 + i, 3, 0.5 + i};
  SaveSpeedTargets(*bc, *state);  // marker 0: nothing
  EXPECT_EQ(bc->GetType(CAR_SPEED_TARGET_COUNT), DA_NIL);

  state->leadingWord = kSpeedTargetChangedWord;
  SaveSpeedTargets(*bc, *state);
  EXPECT_EQ(state->leadingWord, 0);
  EXPECT_EQ(bc->GetLong(CAR_SPEED_TARGET_COUNT), 10);
  EXPECT_EQ(bc->GetReal(20001 + 4 * 9), -9.0);
  EXPECT_EQ(bc->GetReal(20002 + 4 * 9), 19.0);
  EXPECT_EQ(bc->GetReal(20004 + 4 * 9), 9.5);
  EXPECT_EQ(bc->GetType(20003), DA_NIL);

  // Three over ten: the count drops, only the first three entries change.
  ap.speedQueueCount = 3;
  ap.speedQueue[0].deltaSpeed = 42.0;
  state->leadingWord = kSpeedTargetChangedWord;
  SaveSpeedTargets(*bc, *state);
  EXPECT_EQ(bc->GetLong(CAR_SPEED_TARGET_COUNT), 3);
  EXPECT_EQ(bc->GetReal(20001), 42.0);
  EXPECT_EQ(bc->GetReal(20001 + 4 * 9), -9.0);

  // Loading over a queue that a run has marked leaves no stale marks.
  auto loaded = std::make_unique<CarState>();
  loaded->autopilot.speedQueue[1].entryFlags = 3;
  LoadSpeedTargets(*bc, *loaded);
  EXPECT_EQ(loaded->autopilot.speedQueue[1].entryFlags, 0);
  EXPECT_EQ(loaded->autopilot.speedQueueCount, 3);
  EXPECT_EQ(loaded->autopilot.speedQueue[0].deltaSpeed, 42.0);
  EXPECT_EQ(loaded->autopilot.speedQueue[2].changeDistance, 12.0);
  EXPECT_EQ(loaded->autopilot.speedQueue[2].gain, 2.5);

  ClearSpeedTargets(*bc, *state);
  EXPECT_EQ(bc->GetLong(CAR_SPEED_TARGET_COUNT), 0);
  EXPECT_EQ(ap.speedQueueCount, 0);
  EXPECT_EQ(ap.speedQueue[0].entryFlags, 0);
  SaveSpeedTargets(*bc, *state);
  EXPECT_EQ(bc->GetLong(CAR_SPEED_TARGET_COUNT), 0);
}

TEST_F(Rig, StoredSpeedTargetCountIsHeldToTheQueue) {
  auto state = std::make_unique<CarState>();
  const std::pair<LONG, LONG> cases[] = {{5000, 1000}, {-3, 0}, {1000, 1000}};
  for (auto [stored, expected] : cases) {
    bc->SetLong(CAR_SPEED_TARGET_COUNT, stored);
    LoadSpeedTargets(*bc, *state);
    EXPECT_EQ(state->autopilot.speedQueueCount, expected) << stored;
  }
  state->leadingWord = kSpeedTargetChangedWord;
  state->autopilot.speedQueueCount = 123456;
  SaveSpeedTargets(*bc, *state);
  EXPECT_EQ(bc->GetLong(CAR_SPEED_TARGET_COUNT), 1000);
}

TEST_F(Rig, LastSplinePoint) {
  EXPECT_EQ(LastSplinePointWorld(nullptr), Vector());
  SplineObject* sp = CreateSplineFromPoints(doc, car, nullptr, "s", Vector(1, 2, 3), Vector(4, 5, 6), kNoColour, 0);
  EXPECT_EQ(LastSplinePointWorld(sp), Vector(4, 5, 6));
  sp->SetRelPos(Vector(10, 0, 0));
  car->SetRelPos(Vector(1000, 0, 0));  // the parent's frame: its own place does not count
  EXPECT_EQ(LastSplinePointWorld(sp), Vector(14, 5, 6));
  sp->ResizeObject(0, 0);
  EXPECT_EQ(LastSplinePointWorld(sp), Vector());
}

TEST_F(Rig, TorqueCurveFollowsTheMaximumRpm) {
  SplineData curve;
  curve.SetRange(0.0, 6000.0, 100.0, 0.0, 300.0, 10.0);
  curve.InsertKnot(0.0, 100.0);
  curve.InsertKnot(3000.0, 300.0);
  curve.InsertKnot(6000.0, 150.0);
  bc->SetData(CAR_TORQUE_CURVE, GeData(curve));
  bc->SetLong(CAR_MAX_RPM, 7000);
  bc->SetLong(CAR_MAX_TORQUE, 300);
  RescaleTorqueCurve(*bc);
  const auto* c = static_cast<const SplineData*>(bc->GetCustomDataType(CAR_TORQUE_CURVE, CUSTOMDATATYPE_SPLINE));
  ASSERT_NE(c, nullptr);
  EXPECT_NEAR(c->GetKnot(1)->pos.x, 3500.0, 1e-9);
  EXPECT_NEAR(c->GetKnot(2)->pos.x, 7000.0, 1e-9);
  EXPECT_NEAR(c->GetKnot(1)->pos.y, 300.0, 1e-9);
  Real x0, x1, xs, y0, y1, ys;
  c->GetRange(&x0, &x1, &xs, &y0, &y1, &ys);
  EXPECT_EQ(x0, 0.0);
  EXPECT_EQ(x1, 7000.0);
  EXPECT_EQ(xs, 100.0);
  EXPECT_EQ(y1, 300.0);
  EXPECT_EQ(ys, 10.0);

  // From an empty range nothing is scaled, and nothing turns into NaN.
  SplineData flat;
  flat.SetRange(0.0, 0.0, 1.0, 0.0, 0.0, 1.0);
  flat.InsertKnot(0.5, 0.5);
  bc->SetData(CAR_TORQUE_CURVE, GeData(flat));
  RescaleTorqueCurve(*bc);
  c = static_cast<const SplineData*>(bc->GetCustomDataType(CAR_TORQUE_CURVE, CUSTOMDATATYPE_SPLINE));
  EXPECT_EQ(c->GetKnot(0)->pos, Vector(0.5, 0.5, 0));

  BaseContainer empty;
  RescaleTorqueCurve(empty);
  EXPECT_EQ(empty.GetEntryCount(), 0);
}

// ---------------------------------------------------------------- resets

TEST_F(Rig, RoofCorners) {
  auto state = std::make_unique<CarState>();
  state->bodySize = Vector(180, 120, 400);
  bc->SetVector(1018, Vector(100, 20, 200));
  bc->SetReal(1019, -10.0);
  ComputeRoofCorners(*bc, *state);
  EXPECT_EQ(state->roofCorners[0], Vector(-50, 80, 90));
  EXPECT_EQ(state->roofCorners[1], Vector(50, 80, 90));
  EXPECT_EQ(state->roofCorners[2], Vector(-50, 80, -110));
  EXPECT_EQ(state->roofCorners[3], Vector(50, 80, -110));
}

TEST_F(Rig, DamageAndSkidMarksReset) {
  auto state = std::make_unique<CarState>();
  Vec3 outline[4] = {Vec3(1, 0, 0), Vec3(2, 0, 0), Vec3(10, 0, 0), Vec3(20, 0, 0)};
  state->collisionOutline.deformPoints = outline;
  state->collisionOutline.deformPointCount = 2;

  // An FFD whose points were pushed about, and whose array is too short for its grid.
  BaseObject* ffd = CreateFfdObject(doc, car, Vector(2, 2, 2));
  ffd->GetDataInstance()->SetLong(FFDOBJECT_SUBX, 3);
  auto* pts = static_cast<PointObject*>(ffd);
  pts->ResizePoints(5);
  bc->SetLink(CAR_DEFORMER_LINK, ffd);

  BaseObject* sweep = BuildSkidMarkSweep(doc, car, 0, 10.0, true);
  bc->SetLink(CAR_SKID_LINKS, sweep);
  SplineObject* second = nullptr;
  SplineObject* rail = GetSweepRail(sweep, &second);
  rail->ResizeObject(7, 1);
  second->ResizeObject(3, 1);
  BaseContainer* tag = AddWheelRigTag(1);
  BaseObject* extra = BuildSkidMarkSweep(doc, car, 5, 10.0, false);
  tag->SetLink(WHEELRIG_SKID_MARKS + 5, extra);
  SplineObject* extra_rail = GetSweepRail(extra, &second);
  extra_rail->ResizeObject(4, 1);
  // A scene just loaded: the run has not counted the wheels yet, the rig's
  // own six count.
  state->wheelCount = 0;

  ResetDamageAndSkidMarks(doc, car, *state);
  EXPECT_EQ(outline[0], Vec3(10, 0, 0));
  EXPECT_EQ(outline[1], Vec3(20, 0, 0));
  ASSERT_EQ(pts->GetPointCount(), 27);
  EXPECT_EQ(pts->GetPointR()[0], Vector(-1, -1, -1));
  EXPECT_EQ(pts->GetPointR()[26], Vector(1, 1, 1));
  EXPECT_EQ(rail->GetPointCount(), 0);
  EXPECT_EQ(rail->GetSegmentCount(), 0);
  EXPECT_EQ(GetSweepRail(sweep, &second)->GetPointCount(), 0);
  EXPECT_EQ(second->GetPointCount(), 0);
  EXPECT_EQ(extra_rail->GetPointCount(), 0);

  // A mesh binder copies the original's points into the deformed mesh.
  PolygonObject* original = CreatePolygonObject(doc, car, nullptr, "orig", 10, 10, 1, 0);
  PolygonObject* deformed = CreatePolygonObject(doc, car, nullptr, "def", 10, 10, 1, 0);
  deformed->GetPointW()[2] = Vector(0, -50, 0);
  bc->SetLink(CAR_DEFORMER_LINK, CreateMeshBinder(doc, car, original, deformed, 0.0));
  ResetDamageAndSkidMarks(doc, car, *state);
  EXPECT_EQ(deformed->GetPointR()[2], original->GetPointR()[2]);
  state->collisionOutline.deformPoints = nullptr;
  // No outline buffer but a count left from before: nothing is read.
  ResetDamageAndSkidMarks(doc, car, *state);
}

}  // namespace
