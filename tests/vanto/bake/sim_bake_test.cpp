// The Sim's bake and rebuild buttons over a simulated car.
#include "bake/car_bake.h"
#include "bake_fixture.h"
#include "bake/sim_bake.h"
#include "carsim/link_message.h"

using namespace baketest;

namespace {

const DescID kPosY = VectorComponentTrackId(ID_BASEOBJECT_REL_POSITION, 1);

class SimBake : public BakeFixture {};

// The phase each frame's evaluation sees, as runs of (first, last, phase).
struct PhaseRun {
  LONG first, last, phase;
  bool operator==(const PhaseRun& o) const { return first == o.first && last == o.last && phase == o.phase; }
};
std::vector<PhaseRun> Runs() {
  std::vector<PhaseRun> out;
  for (const Recorded& r : Log().seen) {
    if (!out.empty() && out.back().phase == r.phase && out.back().last + 1 == r.frame)
      out.back().last = r.frame;
    else
      out.push_back({r.frame, r.frame, r.phase});
  }
  return out;
}
std::string Show(const std::vector<PhaseRun>& runs) {
  std::string s;
  for (const PhaseRun& r : runs)
    s += std::to_string(r.first) + "-" + std::to_string(r.last) + ":" + std::to_string(r.phase) + " ";
  return s;
}

TEST_F(SimBake, PhasesOverTheRangeThenTheSimPlaysKeys) {
  BaseObject* sim = SimAt(25, 1, 25, 50);
  BaseObject* car = AddCar(sim);
  Record(car);
  PressBake(sim);

  const std::vector<PhaseRun> expected = {{1, 24, 0}, {25, 25, 3}, {26, 50, 1}, {51, 51, 2}};
  EXPECT_EQ(Runs(), expected) << Show(Runs());
  EXPECT_EQ(car->GetNodeData<Car>()->GetBakePhase(), 0);
  EXPECT_EQ(SimData(sim)->GetBakePhase(), 0);

  const BaseContainer* bc = sim->GetDataInstance();
  EXPECT_EQ(bc->GetLong(SIM_RUN_STATE), SIMSTATE_BAKED);
  EXPECT_FALSE(bc->GetBool(SIM_RUNNING));
  EXPECT_EQ(doc->GetTime().Get(), 0.0);
  // The host's busy cursor (3) over every baked frame, its normal one (2) after.
  for (const Recorded& r : Log().seen) EXPECT_EQ(r.cursor, 3) << "frame " << r.frame;
  EXPECT_EQ(hostevents::LastMouseMode(), 2);
  EXPECT_TRUE(hostlog::Dialogs().empty());

  // The hubs keep a key on every recorded frame, from the bake start on.
  const CCurve* hub = Curve(Link(car, RIG_HUB), kPosY);
  ASSERT_NE(hub, nullptr);
  ASSERT_EQ(hub->GetKeyCount(), 26);
  EXPECT_EQ(hub->GetKey(0)->GetTime(), At(25, 25));
  EXPECT_EQ(hub->GetKey(25)->GetTime(), At(50, 25));
  BaseObject* body = Link(car, RIG_BODY);
  EXPECT_TRUE(HasTransformTrack(body));

  // Loaded again, the Sim sees a baked car and stays out of the way.
  sim->GetDataInstance()->SetLong(SIM_RUN_STATE, SIMSTATE_RESET);
  sim->Message(MSG_MULTI_DOCUMENTIMPORTED);
  EXPECT_EQ(bc->GetLong(SIM_RUN_STATE), SIMSTATE_BAKED);
}

TEST_F(SimBake, RangeEdges) {
  struct Case {
    LONG simStart, bakeStart, bakeEnd;
    std::vector<PhaseRun> runs;
  };
  const Case cases[] = {
      // A bake start before the simulation start never meets a frame.
      {5, 2, 8, {{5, 8, 1}, {9, 9, 2}}},
      // A bake end before the simulation start: one frame, the last.
      {5, 5, 3, {{5, 5, 2}}},
      {1, 1, 1, {{1, 1, 3}, {2, 2, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.runs));
    BaseObject* sim = SimAt(30, c.simStart, c.bakeStart, c.bakeEnd);
    Record(AddCar(sim));
    PressBake(sim);
    EXPECT_EQ(Runs(), c.runs) << Show(Runs());
    EXPECT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_BAKED);
    BaseObject::Free(sim);
  }
}

// Escape seen at frame k: k is the last frame, and the cars then hear 0.
TEST_F(SimBake, EscapeEndsTheBakeInOrder) {
  BaseObject* sim = SimAt(30, 1, 3, 60);
  BaseObject* car = AddCar(sim);
  Record(car);
  hostinput::PressEscapeAfter(10);  // asked once a frame from frame 1 on
  PressBake(sim);
  const std::vector<PhaseRun> expected = {{1, 2, 0}, {3, 3, 3}, {4, 9, 1}, {10, 10, 2}};
  EXPECT_EQ(Runs(), expected) << Show(Runs());
  EXPECT_EQ(car->GetNodeData<Car>()->GetBakePhase(), 0);
  EXPECT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_BAKED);
  EXPECT_EQ(KeyCount(Link(car, RIG_HUB), kPosY), 7);  // frames 3 .. 9
}

TEST_F(SimBake, WithoutCarsTheDocumentIsStillStepped) {
  BaseObject* sim = SimAt(30, 1, 1, 10);
  BakeSimulation(doc, sim, *SimData(sim));
  EXPECT_EQ(hostevents::SyncMessageCount(EVMSG_TIMECHANGED), 11);  // frames 1 .. 11
  EXPECT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_BAKED);
  EXPECT_EQ(doc->GetTime().Get(), 0.0);
}

// Baking a baked Sim would step the range, record nothing and leave the user
// guessing: it is refused with a message and the keys stay as they are.
TEST_F(SimBake, ABakedSimIsNotBakedAgain) {
  BaseObject* sim = SimAt(30, 1, 1, 10);
  BaseObject* car = AddCar(sim);
  PressBake(sim);
  BaseObject* body = Link(car, RIG_BODY);
  const LONG tracks = AllTracks();
  const LONG bodyKeys = KeyCount(body, kPosY);
  ASSERT_GT(tracks, 0);
  const LONG steps = hostevents::SyncMessageCount(EVMSG_TIMECHANGED);

  PressBake(sim);
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_EQ(hostlog::Dialogs()[0], GeLoadString(IDS_SIM_ALREADY_BAKED));
  EXPECT_FALSE(hostlog::Dialogs()[0].empty());
  EXPECT_EQ(hostevents::SyncMessageCount(EVMSG_TIMECHANGED), steps);
  EXPECT_EQ(AllTracks(), tracks);
  EXPECT_EQ(KeyCount(body, kPosY), bodyKeys);
  EXPECT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_BAKED);
}

// A nested evaluation that collects the cars again frees the array the bake
// started with; the bake reads the new one (a stale read shows under the
// address sanitizer).
TEST_F(SimBake, CarsCollectedAgainMidBake) {
  BaseObject* sim = SimAt(30, 1, 1, 12);
  BaseObject* car = AddCar(sim);
  Record(car);
  Log().actAtFrame = 5;
  Log().act = [](BaseDocument* d, BaseObject* c) {
    BaseObject* extra = BaseObject::Alloc(Onull);
    d->InsertObject(extra, c->GetUp(), c);  // the Sim's children changed
  };
  PressBake(sim);
  const std::vector<PhaseRun> expected = {{1, 1, 3}, {2, 12, 1}, {13, 13, 2}};
  EXPECT_EQ(Runs(), expected) << Show(Runs());
  EXPECT_EQ(KeyCount(Link(car, RIG_HUB), kPosY), 12);
}

// The last frame drops the car's damage buffers and their counts together.
TEST_F(SimBake, TheLastFrameClearsTheDamageBuffers) {
  BaseObject* sim = SimAt(30, 1, 1, 4);
  BaseObject* car = AddCar(sim);
  CollisionOutline& o = State(car).collisionOutline;
  o.deformPoints = static_cast<Vec3*>(GeAlloc(sizeof(Vec3) * 10));
  o.deformPointCount = 5;
  o.deformNeighbours = static_cast<int32*>(GeAlloc(sizeof(int32) * 3));
  o.deformNeighbourCount = 3;
  State(car).dynamics.crashFlag = 1;
  PressBake(sim);
  EXPECT_EQ(o.deformPoints, nullptr);
  EXPECT_EQ(o.deformPointCount, 0);
  EXPECT_EQ(o.deformNeighbours, nullptr);
  EXPECT_EQ(o.deformNeighbourCount, 0);
  EXPECT_EQ(State(car).dynamics.crashFlag, 0);
}

// Rebuild: every car child (switched off or not) loses its recorded keys and
// is back at rest; other children keep theirs; the Sim starts afresh.
TEST_F(SimBake, RebuildClearsEveryCarChild) {
  BaseObject* sim = SimAt(30, 1, 1, 10);
  BaseObject* first = AddCar(sim, 0.0);
  BaseObject* second = AddCar(sim, 800.0);
  PressBake(sim);
  second->SetEditorMode(MODE_OFF);
  BaseObject* other = Null(doc, sim, "Other", Vector());
  KeyVectorComponents(doc, other, At(1), ID_BASEOBJECT_REL_POSITION, Vector(), 7);
  for (BaseObject* car : {first, second}) {
    ASSERT_TRUE(HasTransformTrack(Link(car, RIG_BODY)));
    Link(car, RIG_BODY)->SetRelPos(Vector(1, 2, 3));
  }

  DescID rebuild(SIM_REBUILD);
  sim->Message(MSG_DESCRIPTION_COMMAND, &rebuild);
  for (BaseObject* car : {first, second}) {
    BaseObject* body = Link(car, RIG_BODY);
    EXPECT_FALSE(HasTransformTrack(body));
    EXPECT_EQ(TrackCount(Link(car, RIG_HUB + 3)), 0);
    EXPECT_EQ(TrackCount(car), 0);
    EXPECT_EQ(body->GetRelPos(), car->GetDataInstance()->GetVector(RIG_REST_BODY));
  }
  EXPECT_EQ(TrackCount(other), 3);
  EXPECT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_RESET);

  // And it bakes again.
  second->SetEditorMode(MODE_ON);
  PressBake(sim);
  EXPECT_TRUE(HasTransformTrack(Link(second, RIG_BODY)));
}

// Played after the bake, with the Sim switched off, the keys put the car
// where the simulation had it on every recorded frame: here a car rolling
// down a slope, so that body and wheels move and turn.
TEST_F(SimBake, KeysPlayTheSimulatedMotion) {
  BaseObject* sim = SimAt(30, 1, 1, 45);
  BaseObject* car = AddCar(sim);
  BaseObject* ground = Null(doc, sim, "Ground", Vector());
  PolygonObject* slope = PolygonObject::Alloc(4, 1);
  auto y = [](double z) { return -0.15 * z; };
  Vector* p = slope->GetPointW();
  p[0] = Vector(-5000, y(-5000), -5000);
  p[1] = Vector(-5000, y(5000), 5000);
  p[2] = Vector(5000, y(5000), 5000);
  p[3] = Vector(5000, y(-5000), -5000);
  slope->GetPolygonW()[0] = CPolygon(0, 1, 2, 3);
  doc->InsertObject(slope, ground, nullptr);
  BaseContainer* bc = car->GetDataInstance();
  bc->SetLink(CAR_GROUND_GROUP, ground);
  bc->SetReal(CAR_GROUND_GRIP, 1.0);

  std::vector<BaseObject*> parts = {Link(car, RIG_BODY), Link(car, RIG_HUB + 1), Link(car, RIG_SPINNER + 2),
                                    Link(car, RIG_SUSPENSION_BOTTOM + 3)};
  // The motion as the simulation makes it: a run without baking.
  Frame(0);
  std::vector<std::vector<Matrix>> simulated(parts.size());
  for (LONG f = 1; f <= 45; ++f) {
    Frame(f);
    for (size_t k = 0; k < parts.size(); ++k) simulated[k].push_back(parts[k]->GetMg());
  }
  ASSERT_GT((simulated[0].back().off - simulated[0].front().off).GetLength(), 20.0) << "the car should roll";
  ASSERT_GT((simulated[2].back().v2 - simulated[2].front().v2).GetLength(), 0.5) << "its wheels should turn";

  Frame(0);
  PressBake(sim);
  ASSERT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_BAKED);
  for (LONG f = 1; f <= 45; ++f) {
    Frame(f);
    for (size_t k = 0; k < parts.size(); ++k) {
      SCOPED_TRACE(::testing::Message() << "frame " << f << ", part " << k);
      const Matrix m = parts[k]->GetMg(), s = simulated[k][static_cast<size_t>(f - 1)];
      // Thinning lets the body's keys stray up to 0.002 from its motion.
      EXPECT_LT((m.off - s.off).GetLength(), 0.01);
      for (const auto& [a, b] : {std::pair{m.v1, s.v1}, std::pair{m.v2, s.v2}, std::pair{m.v3, s.v3}})
        EXPECT_LT((a - b).GetLength(), 0.005);
    }
  }
}

}  // namespace
