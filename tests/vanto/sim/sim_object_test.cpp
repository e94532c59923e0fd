// The Sim object: its run states along the document time, its error boxes,
// the collection of cars and obstacles, its messages, buttons and enabling.
#include <cmath>

#include "host_description.h"
#include "carsim/link_message.h"
#include "sim_fixture.h"
#include "tags/tag_commands.h"
#include "tags/tag_ground.h"
#include "tags/tag_route.h"

namespace {

using simtest::VantoTest;

// Stands in for the crumple-zone add-on's tag: answers command 2 with its shape.
class FakeCrumpleTag : public TagData {
 public:
  Bool Message(GeListNode*, LONG type, void* data) override {
    if (type == MSG_SIMLINK && data) {
      auto* msg = static_cast<SimLinkMessage*>(data);
      if (msg->command == SIMLINK_GET_RECORD) msg->payload = &shape;
    }
    return true;
  }
  CollisionShape shape;
};

class SimObject : public VantoTest {
 protected:
  BaseContainer* Params(BaseObject* sim) { return sim->GetDataInstance(); }
  LONG RunState(BaseObject* sim) { return Params(sim)->GetLong(SIM_RUN_STATE); }
  static void RegisterCrumpleTag() {
    ASSERT_TRUE(RegisterTagPlugin(ID_KOLVARIS, "Crumple", TAG_VISIBLE,
                                  [] { return static_cast<NodeData*>(new FakeCrumpleTag); }, "", nullptr, 0));
    DetectAddOns();
  }
};

TEST_F(SimObject, StateTable) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  SimSettings& s = SimData(sim)->Settings();
  const double frame = 1.0 / 30.0;

  sim->SetRelPos(Vector(5, 5, 5));
  Frame(0);  // before the start: reset, switched off, back at the origin
  EXPECT_EQ(RunState(sim), SIMSTATE_RESET);
  EXPECT_FALSE(Params(sim)->GetBool(SIM_RUNNING));
  EXPECT_EQ(sim->GetMg(), Matrix());

  Frame(1);  // the first frame only starts the run
  EXPECT_EQ(RunState(sim), SIMSTATE_RUNNING);
  EXPECT_TRUE(Params(sim)->GetBool(SIM_RUNNING));
  EXPECT_DOUBLE_EQ(s.simTime, frame);
  EXPECT_DOUBLE_EQ(State(car).settings.simTime, frame);
  EXPECT_DOUBLE_EQ(s.stepDt, 0.001);
  EXPECT_DOUBLE_EQ(s.gravity, 9.81);

  Frame(1);  // same time: nothing
  EXPECT_DOUBLE_EQ(s.simTime, frame);

  Frame(3);  // advances by two frames, to within one step
  EXPECT_NEAR(s.simTime, 3 * frame, 0.001);
  EXPECT_GE(s.simTime, 3 * frame);
  const double at3 = s.simTime;

  Params(sim)->SetReal(SIM_TIME_SCALE, 2.0);
  Frame(4);  // one frame at double speed
  EXPECT_NEAR(s.simTime, at3 + 2 * frame, 0.001);
  const double at4 = s.simTime;

  Frame(2);  // scrubbing back between the start and the latest time: nothing
  EXPECT_EQ(s.simTime, at4);
  EXPECT_DOUBLE_EQ(s.lastDocTime, 4 * frame);
  Frame(4);
  EXPECT_EQ(s.simTime, at4);
  Frame(5);
  EXPECT_NEAR(s.simTime, at4 + 2 * frame, 0.001);
  EXPECT_NEAR(State(car).settings.simTime, s.simTime, 1e-9);

  Frame(0);
  EXPECT_EQ(RunState(sim), SIMSTATE_RESET);
  EXPECT_TRUE(hostlog::Dialogs().empty());
}

TEST_F(SimObject, ErrorsAreReportedOnceUntilTheTimeGoesBack) {
  struct Case {
    const char* what;
    LONG spoil;  // parameter removed from the car
    String box;
    bool engine;
  } cases[] = {
      {"body missing", RIG_BODY, GeLoadString(10099, "-3000"), true},
      {"torque curve missing", CAR_TORQUE_CURVE, GeLoadString(10100, "1000"), false},
  };
  for (const Case& c : cases) {
    hostlog::Clear();
    BaseDocument::Free(doc);
    doc = BaseDocument::Alloc();
    BaseObject* sim = AddSim();
    BaseObject* car = AddCar(sim);
    car->GetDataInstance()->RemoveData(c.spoil);
    Frame(1);
    ASSERT_EQ(hostlog::Dialogs().size(), 1u) << c.what;
    EXPECT_EQ(hostlog::Dialogs()[0], c.box) << c.what;
    EXPECT_EQ(RunState(sim), SIMSTATE_ERROR) << c.what;
    EXPECT_FALSE(Params(sim)->GetBool(SIM_RUNNING)) << c.what;
    EXPECT_EQ(Params(sim)->GetType(SIM_ENGINE_OK) != DA_NIL && !Params(sim)->GetBool(SIM_ENGINE_OK), c.engine)
        << c.what;
    Frame(2);
    Frame(3);
    EXPECT_EQ(hostlog::Dialogs().size(), 1u) << c.what;
    EXPECT_DOUBLE_EQ(SimData(sim)->Settings().lastDocTime, 3.0 / 30.0) << c.what;
    Frame(0);
    EXPECT_EQ(RunState(sim), SIMSTATE_RESET) << c.what;
  }
}

TEST_F(SimObject, AnOutlineThatCannotBeBuiltStopsTheStart) {
  RegisterCrumpleTag();
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  car->MakeTag(ID_KOLVARIS)->GetDataInstance()->SetLong(999, ID_CAR);
  car->GetDataInstance()->RemoveData(1880);  // no force curve
  Frame(0);  // the car notices its tag
  Frame(1);
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_EQ(hostlog::Dialogs()[0], GeLoadString(10100, "2000"));
  EXPECT_EQ(RunState(sim), SIMSTATE_ERROR);
}

TEST_F(SimObject, ASimWithoutChildrenRunsNothing) {
  BaseObject* sim = AddSim();
  Frame(1);
  Frame(2);
  EXPECT_EQ(RunState(sim), SIMSTATE_RUNNING);
  EXPECT_EQ(SimData(sim)->CarCount(), 0);
  EXPECT_TRUE(hostlog::Dialogs().empty());
}

TEST_F(SimObject, StepsPerSecondAreHeldInRange) {
  struct Case {
    LONG steps;
    double dt;
  } cases[] = {{0, 1.0}, {-5, 1.0}, {2000, 0.0005}, {1000000000, 1e-5}};
  for (const Case& c : cases) {
    BaseObject* sim = AddSim();
    Params(sim)->SetLong(SIM_STEPS_PER_SECOND, c.steps);
    Frame(1);
    EXPECT_DOUBLE_EQ(SimData(sim)->Settings().stepDt, c.dt) << c.steps;
    BaseObject::Free(sim);
  }
}

TEST_F(SimObject, ASwitchedOffCarKeepsItsNumber) {
  BaseObject* sim = AddSim();
  BaseObject* off = AddCar(sim);
  BaseObject* on = AddCar(sim);
  off->SetEditorMode(MODE_OFF);
  AddCar(Null(doc, sim, "not a car", Vector()));  // grandchildren never count
  ASSERT_EQ(SimData(sim)->CollectCars(doc, sim), 1);
  ASSERT_EQ(SimData(sim)->CarCount(), 1);
  EXPECT_EQ(SimData(sim)->Cars()[0].object, on);
  EXPECT_EQ(SimData(sim)->Cars()[0].state, &State(on));
  EXPECT_EQ(State(on).carIndex, 1);
  BaseObject* empty = AddSim();
  EXPECT_EQ(SimData(empty)->CollectCars(doc, empty), 0);
}

TEST_F(SimObject, AFailedGrowthKeepsTheListGatheredSoFar) {
  BaseObject* sim = AddSim();
  BaseObject* first = AddCar(sim);
  AddCar(sim);
  AddCar(sim);
  hostmem::FailAllocation(2);  // the second car's growth
  EXPECT_EQ(SimData(sim)->CollectCars(doc, sim), -1);
  hostmem::FailAllocation(0);
  ASSERT_EQ(SimData(sim)->CarCount(), 1);
  EXPECT_EQ(SimData(sim)->Cars()[0].object, first);

  // In a run it is the collection error.
  hostmem::FailAllocation(1);
  Frame(1);
  hostmem::FailAllocation(0);
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_EQ(hostlog::Dialogs()[0], GeLoadString(10100, "2000"));
  EXPECT_EQ(RunState(sim), SIMSTATE_ERROR);
}

TEST_F(SimObject, PlaybackReusesTheCollectionWhileTheChildrenStay) {
  BaseObject* sim = AddSim();
  BaseObject* a = AddCar(sim);
  BaseObject* b = AddCar(sim);
  Frame(1);
  Frame(2);
  // A collection would overwrite the car's settings copy.
  State(b).settings.inputPeriod = 0.5;
  Frame(3);
  EXPECT_EQ(State(b).settings.inputPeriod, 0.5);
  Frame(4, nullptr, false);  // an evaluation outside playback collects
  EXPECT_EQ(State(b).settings.inputPeriod, 0.01);

  // A car deleted during playback is never written through.
  BaseObject::Free(a);
  Frame(5);
  ASSERT_EQ(SimData(sim)->CarCount(), 1);
  EXPECT_EQ(SimData(sim)->Cars()[0].object, b);
  EXPECT_NEAR(State(b).settings.simTime, 5.0 / 30.0, 0.001);
}

TEST_F(SimObject, ObstaclesNeedABuiltShape) {
  RegisterCrumpleTag();
  BaseObject* sim = AddSim();
  AddCar(sim);
  BaseObject* built = Null(doc, sim, "wall", Vector());
  BaseObject* fresh = Null(doc, sim, "new wall", Vector());
  BaseObject* hidden = Null(doc, sim, "hidden wall", Vector());
  auto shape = [](BaseObject* op) -> CollisionShape& {
    BaseTag* tag = op->MakeTag(ID_KOLVARIS);
    return tag->GetNodeData<FakeCrumpleTag>()->shape;
  };
  CollisionShape& s = shape(built);
  s.sourceObject = built;
  s.impactSum = Vector(3, 4, 5);
  s.impactPoint = Vector(1, 1, 1);
  CollisionShape& f = shape(fresh);  // nothing built yet
  shape(hidden).sourceObject = hidden;
  hidden->SetEditorMode(MODE_OFF);

  Frame(1);
  ASSERT_EQ(SimData(sim)->ObstacleCount(), 1);
  EXPECT_EQ(SimData(sim)->Obstacles()[0], &s);
  Frame(2);
  EXPECT_EQ(s.impactSum, Vector());  // cleared at every advance
  EXPECT_EQ(s.impactPoint, Vector());

  // A shape built later in the run (its tag runs after the Sim) joins at
  // the next frame during playback.
  f.sourceObject = fresh;
  Frame(3);
  EXPECT_EQ(SimData(sim)->ObstacleCount(), 2);

  // A removed tag is noticed during playback like a removed child.
  built->KillTag(ID_KOLVARIS);
  fresh->KillTag(ID_KOLVARIS);
  Frame(4);
  EXPECT_EQ(SimData(sim)->ObstacleCount(), 0);
}

TEST_F(SimObject, Quantisation) {
  struct Case {
    BaseTime t;
    Real fps;
    Real frames;
  } cases[] = {
      {BaseTime(1.5, 30.0), 30.0, 1.0},  {BaseTime(2.0, 1.0), 25.0, 50.0}, {BaseTime(7.0, 60.0), 30.0, 3.0},
      {BaseTime(1.0, 0.5), 30.0, 60.0},  {BaseTime(1.0, 0.0), 30.0, 0.0},  {BaseTime(3.0, 1.0), 0.0, 3.0},
  };
  for (const Case& c : cases) {
    const BaseTime q = QuantizeToFrames(c.t, c.fps);
    EXPECT_EQ(q.GetNumerator(), c.frames) << c.t.GetNumerator() << "/" << c.t.GetDenominator();
    EXPECT_EQ(q.GetDenominator(), c.fps >= 1.0 ? c.fps : 1.0);
  }
}

TEST_F(SimObject, Messages) {
  BaseObject* sim = AddSim();
  BaseContainer* bc = Params(sim);
  EXPECT_EQ(bc->GetString(SIM_VERSION), "VANTO! 1.70.4");
  EXPECT_EQ(bc->GetTime(SIM_START), BaseTime(1.0, 30.0));

  bc->SetVector(SIM_CYLINDER_SIZE, Vector(100, 200, 300));
  bc->SetTime(SIM_START, BaseTime(0.0));
  bc->SetTime(SIM_BAKE_START, BaseTime(0.0));
  sim->Message(MSG_DESCRIPTION_VALIDATE);
  EXPECT_EQ(bc->GetVector(SIM_CYLINDER_SIZE), Vector(100, 200, 100));
  EXPECT_EQ(bc->GetTime(SIM_START), BaseTime(1.0, 30.0));
  EXPECT_EQ(bc->GetTime(SIM_BAKE_START), BaseTime(1.0, 30.0));
  bc->SetTime(SIM_START, BaseTime(11.0, 60.0));  // 5.5 frames: down to 5
  sim->Message(MSG_DESCRIPTION_VALIDATE);
  EXPECT_EQ(bc->GetTime(SIM_START), BaseTime(5.0, 30.0));
  EXPECT_EQ(bc->GetTime(SIM_BAKE_START), BaseTime(5.0, 30.0));  // raised to the start

  bc->SetBool(SIM_RUNNING, true);
  sim->Message(MSG_MENUPREPARE);
  EXPECT_FALSE(bc->GetBool(SIM_RUNNING));
  // Outside a document only the host's active document lets it act.
  BaseObject* loose = BaseObject::Alloc(ID_SIM);
  loose->GetDataInstance()->SetBool(SIM_RUNNING, true);
  loose->Message(MSG_MENUPREPARE);
  EXPECT_TRUE(loose->GetDataInstance()->GetBool(SIM_RUNNING));
  SetActiveDocument(doc);
  loose->Message(MSG_MENUPREPARE);
  EXPECT_FALSE(loose->GetDataInstance()->GetBool(SIM_RUNNING));
  SetActiveDocument(nullptr);
  BaseObject::Free(loose);

  bc->SetLong(SIM_RUN_STATE, SIMSTATE_ERROR);
  bc->SetBool(SIM_RUNNING, true);
  bc->SetString(SIM_VERSION, "old");
  // Message 13 also brings the names below the Sim into the interface
  // language (English here), keeping a side suffix.
  BaseObject* german = Null(doc, sim, "Crash-Zylinder 2L", Vector());
  BaseObject* grandchild = Null(doc, german, "Auto", Vector());
  sim->Message(MSG_MULTI_DOCUMENTIMPORTED);
  EXPECT_EQ(bc->GetString(SIM_VERSION), "VANTO! 1.70.4");
  EXPECT_EQ(RunState(sim), SIMSTATE_RESET);
  EXPECT_FALSE(bc->GetBool(SIM_RUNNING));
  EXPECT_EQ(german->GetName(), "Crash Cylinder 2L");
  EXPECT_EQ(grandchild->GetName(), "Car");

  doc->SetLoopMinTime(BaseTime(0.0));
  doc->SetLoopMaxTime(BaseTime(3.0));
  const DescID range(SIM_BAKE_RANGE);
  sim->Message(MSG_DESCRIPTION_COMMAND, const_cast<DescID*>(&range));
  EXPECT_EQ(bc->GetTime(SIM_BAKE_START), BaseTime(1.0, 30.0));
  EXPECT_EQ(bc->GetTime(SIM_BAKE_END), BaseTime(3.0));
}

TEST_F(SimObject, NewCarAndPropButtons) {
  BaseObject* sim = AddSim();
  Params(sim)->SetBool(SIM_PROP_TAG, true);
  const DescID add(SIM_ADD_CAR);
  sim->Message(MSG_DESCRIPTION_COMMAND, const_cast<DescID*>(&add));
  BaseObject* car = sim->GetDown();
  ASSERT_NE(car, nullptr);
  EXPECT_EQ(car->GetType(), ID_CAR);
  EXPECT_EQ(doc->GetActiveObject(), car);
  ASSERT_EQ(doc->UndoLog().size(), 1u);
  EXPECT_EQ(doc->UndoLog()[0].kind, UNDOTYPE_NEW);
  EXPECT_EQ(car->GetTag(ID_KOLVARIS), nullptr);  // no add-on, no tag

  // A button without a document does nothing.
  BaseObject* loose = BaseObject::Alloc(ID_SIM);
  loose->Message(MSG_DESCRIPTION_COMMAND, const_cast<DescID*>(&add));
  EXPECT_EQ(loose->GetDown(), nullptr);
  BaseObject::Free(loose);
}

TEST_F(SimObject, PropButtonsWithTheAddOn) {
  RegisterCrumpleTag();
  BaseObject* sim = AddSim();
  EXPECT_TRUE(Params(sim)->GetBool(SIM_PROP_TAG));
  const DescID add(SIM_ADD_CAR), wall(SIM_ADD_POLYGON), cube(SIM_ADD_CUBE);
  sim->Message(MSG_DESCRIPTION_COMMAND, const_cast<DescID*>(&add));
  ASSERT_NE(sim->GetDown(), nullptr);
  EXPECT_NE(sim->GetDown()->GetTag(ID_KOLVARIS), nullptr);

  Params(sim)->SetLong(SIM_POLYGON_CORNERS, 3);
  sim->Message(MSG_DESCRIPTION_COMMAND, const_cast<DescID*>(&wall));
  EXPECT_EQ(sim->GetDown()->GetNext(), nullptr);  // fewer than 4 corners: nothing
  Params(sim)->SetLong(SIM_POLYGON_CORNERS, 8);
  sim->Message(MSG_DESCRIPTION_COMMAND, const_cast<DescID*>(&wall));
  sim->Message(MSG_DESCRIPTION_COMMAND, const_cast<DescID*>(&cube));
  std::vector<BaseObject*> props;
  for (BaseObject* c = sim->GetDown(); c; c = c->GetNext())
    if (c->GetType() != ID_CAR) props.push_back(c);
  ASSERT_EQ(props.size(), 2u);
  BaseObject* w = props[0]->GetType() == Ospline ? props[0] : props[1];
  BaseObject* c = props[0]->GetType() == Ocube ? props[0] : props[1];
  EXPECT_EQ(w->GetRelPos(), Vector(0, 0, 2000));
  EXPECT_EQ(w->GetName(), GeLoadString(10040));
  EXPECT_EQ(c->GetRelPos(), Vector(0, 100, 1000));
  EXPECT_NE(c->GetTag(ID_KOLVARIS), nullptr);
}

// The polygon prop's corner count is held to 100 where it is used: only the
// description limits it, and a scene file can carry any number. The cylinder
// prop stands upright on the ground in front of the cars.
TEST_F(SimObject, PolygonAndCylinderProps) {
  RegisterCrumpleTag();
  BaseObject* sim = AddSim();
  const DescID wall(SIM_ADD_POLYGON), drum(SIM_ADD_CYLINDER);
  Params(sim)->SetLong(SIM_POLYGON_CORNERS, 200000);
  sim->Message(MSG_DESCRIPTION_COMMAND, const_cast<DescID*>(&wall));
  auto* spline = static_cast<SplineObject*>(sim->GetDown());
  ASSERT_NE(spline, nullptr);
  ASSERT_EQ(spline->GetType(), Ospline);
  EXPECT_EQ(spline->GetPointCount(), 100);
  EXPECT_NEAR(spline->GetPointR()[25].x, 400.0, 1e-9);  // a quarter turn round a radius of 400

  Params(sim)->SetVector(SIM_CYLINDER_SIZE, Vector(50, 300, 50));
  sim->Message(MSG_DESCRIPTION_COMMAND, const_cast<DescID*>(&drum));
  BaseObject* cylinder = sim->GetDown();
  ASSERT_NE(cylinder, spline);
  ASSERT_EQ(cylinder->GetType(), Ocylinder);
  const BaseContainer* cbc = cylinder->GetDataInstance();
  EXPECT_EQ(cbc->GetReal(5000), 50.0);  // radius
  EXPECT_EQ(cbc->GetReal(5005), 300.0); // height
  EXPECT_EQ(cbc->GetLong(1300), 2);     // axis +Y
  EXPECT_EQ(cylinder->GetRelPos(), Vector(0, 150, 1500));
  EXPECT_EQ(cylinder->GetName(), GeLoadString(10039));
  EXPECT_NE(cylinder->GetTag(ID_KOLVARIS), nullptr);
  EXPECT_EQ(doc->GetActiveObject(), cylinder);
}

// An object of the Car's type that hands back no record is left out; it
// still takes its number, and the cars after it run.
TEST_F(SimObject, ACarWithoutARecordIsLeftOut) {
  struct PlainCar : BaseObject {
    PlainCar() : BaseObject(ID_CAR) {}
  };
  BaseObject* sim = AddSim();
  doc->InsertObject(new PlainCar, sim, nullptr);
  BaseObject* car = AddCar(sim);
  ASSERT_EQ(sim->GetDown()->GetNodeData(), nullptr);
  ASSERT_EQ(SimData(sim)->CollectCars(doc, sim), 1);
  ASSERT_EQ(SimData(sim)->CarCount(), 1);
  EXPECT_EQ(SimData(sim)->Cars()[0].object, car);
  EXPECT_EQ(State(car).carIndex, 1);
  Frame(1);
  Frame(2);
  EXPECT_EQ(RunState(sim), SIMSTATE_RUNNING);
  EXPECT_TRUE(hostlog::Dialogs().empty());
}

// Out of memory the allocators answer null, as the host expects, and
// construct nothing.
TEST_F(SimObject, AllocatorsAnswerNullWhenMemoryFails) {
  for (NodeData* (*alloc)() : {&Sim::Alloc, &VantoRoute::Alloc, &VantoCommands::Alloc, &VantoGround::Alloc}) {
    const long live = hostmem::LiveBlocks();
    hostmem::FailAllocation(1);
    EXPECT_EQ(alloc(), nullptr);
    hostmem::FailAllocation(0);
    EXPECT_EQ(hostmem::LiveBlocks(), live);
    NodeData* made = alloc();
    EXPECT_NE(made, nullptr);
    delete made;
  }
}

TEST_F(SimObject, EnablingAndDescription) {
  BaseObject* sim = AddSim();
  BaseContainer* bc = Params(sim);
  auto enabled = [&](LONG id) { return hostdesc::IsEnabled(sim, DescID(id)); };
  doc->SetTime(BaseTime(0.0));
  EXPECT_TRUE(enabled(SIM_BAKE));
  doc->SetTime(BaseTime(1.0, 30.0));
  EXPECT_FALSE(enabled(SIM_BAKE));
  EXPECT_FALSE(enabled(SIM_ADD_CUBE));  // no add-on
  EXPECT_TRUE(enabled(SIM_GRAVITY));
  bc->SetBool(SIM_RUNNING, true);
  EXPECT_FALSE(enabled(SIM_GRAVITY));
  EXPECT_FALSE(enabled(SIM_ADD_CAR));
  for (LONG id : std::initializer_list<LONG>{SIM_RUNNING, SIM_DISPLAY, SIM_TIME_SCALE, SIM_BAKE_START, SIM_REBUILD})
    EXPECT_TRUE(enabled(id)) << id;

  Description desc;
  ASSERT_TRUE(desc.LoadDescription(ID_SIM)) << desc.GetError();
  const LONG defaults = hostdesc::DefaultDescriptionCalls();
  ASSERT_TRUE(hostdesc::GetNodeDescription(sim, &desc));
  EXPECT_EQ(hostdesc::DefaultDescriptionCalls(), defaults + 1);  // ends with the host's default
  EXPECT_TRUE(desc.IsHidden(DescID(SIM_ADD_CUBE)));
  EXPECT_TRUE(desc.IsHidden(DescID(SIM_PROP_TAG)));
  EXPECT_FALSE(desc.IsHidden(DescID(SIM_ADD_CAR)));
}

}  // namespace
