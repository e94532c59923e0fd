// What one recorded frame writes on a car, the thinning after the last frame
// and the clearing on a rebuild.
#include "bake/car_bake.h"
#include "bake_fixture.h"
#include "bake/bake_thin.h"
#include "car/car_publish.h"
#include "carsim/link_message.h"

using namespace baketest;

namespace {

const DescID kBodyX = VectorComponentTrackId(ID_BASEOBJECT_REL_POSITION, 0);
const DescID kRotB = VectorComponentTrackId(ID_BASEOBJECT_REL_ROTATION, 2);

class BakeCar : public BakeFixture {
 protected:
  void SetUp() override {
    BakeFixture::SetUp();
    sim = AddSim();
    car = AddCar(sim);
    bc = car->GetDataInstance();
    for (LONG id = CAR_OUTPUT_FIRST; id <= CAR_OUTPUT_LAST; ++id) bc->SetReal(id, 0.5 * id);
    doc->SetTime(At(3));
  }

  void Gates(bool on) {
    for (LONG id = SIM_RECORD_FIRST; id <= SIM_RECORD_LAST; ++id) sim->GetDataInstance()->SetBool(id, on);
  }
  BaseObject* Linked(LONG id, LONG type) {
    BaseObject* op = type == Ospline ? Rail(doc, sim, 4) : BaseObject::Alloc(type);
    if (type != Ospline) doc->InsertObject(op, sim, nullptr);
    bc->SetLink(id, op);
    return op;
  }
  LONG OutputTracks() const {
    LONG n = 0;
    for (LONG id = CAR_OUTPUT_FIRST; id <= CAR_OUTPUT_LAST; ++id) n += KeyCount(car, ParameterTrackId(id)) > 0;
    return n;
  }
  Bool Write(LONG skids = 0) { return WriteBakeKeys(doc, car, sim, State(car), skids); }

  BaseObject* sim = nullptr;
  BaseObject* car = nullptr;
  BaseContainer* bc = nullptr;
};

TEST_F(BakeCar, WithoutABodyNothingIsWritten) {
  bc->RemoveData(RIG_BODY);
  EXPECT_FALSE(Write(0xff0));
  EXPECT_EQ(AllTracks(), 0);
}

// The hubs before a missing one keep their keys; nothing after it is keyed,
// the outputs included.
TEST_F(BakeCar, AMissingHubEndsTheFrame) {
  bc->RemoveData(RIG_HUB + 2);
  EXPECT_FALSE(Write());
  EXPECT_EQ(KeyCount(Link(car, RIG_BODY), kBodyX), 1);
  for (LONG w : {0, 1}) {
    EXPECT_EQ(TrackCount(Link(car, RIG_HUB + w)), 6) << w;
    EXPECT_EQ(TrackCount(Link(car, RIG_SPINNER + w)), 3) << w;  // rotation only
    EXPECT_EQ(TrackCount(Link(car, RIG_SUSPENSION_BOTTOM + w)), 6) << w;
    EXPECT_EQ(TrackCount(Link(car, RIG_SUSPENSION_TOP + w)), 3) << w;  // rotation only
  }
  EXPECT_EQ(TrackCount(Link(car, RIG_HUB + 3)), 0);
  EXPECT_EQ(OutputTracks(), 0);
}

TEST_F(BakeCar, TheSwitchesSelectTheGroups) {
  BaseObject* needle = Linked(CAR_NEEDLE_STEER_LINK, Onull);
  BaseObject* light = Linked(CAR_BRAKE_LIGHT_LINK, Onull);
  BaseObject* spring = Linked(CAR_SPRING_LINKS + 1, Ohelix);
  BaseObject* notSpring = Linked(CAR_SPRING_LINKS + 2, Onull);
  BaseObject* parts = Linked(CAR_PARTS_LINK, Onull);
  BaseObject* part = BaseObject::Alloc(Onull);
  doc->InsertObject(part, parts, nullptr);
  BaseObject* ffd = Linked(CAR_DEFORMER_LINK, Offd);

  Gates(false);
  EXPECT_TRUE(Write());
  // Body and wheels are recorded whatever the switches say; nothing else.
  EXPECT_EQ(TrackCount(Link(car, RIG_BODY)), 6);
  for (BaseObject* op : {needle, light, spring, notSpring, part, ffd}) EXPECT_EQ(TrackCount(op), 0);
  EXPECT_EQ(OutputTracks(), 0);

  Gates(true);
  EXPECT_TRUE(Write());
  EXPECT_EQ(KeyCount(needle, kRotB), 1);
  EXPECT_EQ(TrackCount(needle), 1);
  EXPECT_EQ(TrackCount(light), 2);
  EXPECT_EQ(KeyCount(spring, ParameterTrackId(PRIM_HELIX_HEIGHT)), 1);
  EXPECT_EQ(TrackCount(notSpring), 0);
  EXPECT_EQ(TrackCount(part), 6);
  EXPECT_EQ(KeyCount(ffd, ParameterTrackId(ID_BASEOBJECT_GENERATOR_FLAG)), 1);
  EXPECT_EQ(KeyCount(ffd, PointLevelTrackId()), 1);
  EXPECT_EQ(OutputTracks(), 54);

  // Only the commands switch: its group alone.
  Gates(false);
  sim->GetDataInstance()->SetBool(SIM_RECORD_COMMANDS, true);
  for (LONG id = CAR_OUTPUT_FIRST; id <= CAR_OUTPUT_LAST; ++id) DeleteTrack(car, ParameterTrackId(id));
  EXPECT_TRUE(Write());
  EXPECT_EQ(OutputTracks(), 6);
  EXPECT_EQ(KeyCount(car, ParameterTrackId(2538)), 1);
}

// A wheel turning on and on: its rotation angles flip at every quarter turn,
// the keys carry the turn on in one direction and play it back exactly,
// whatever angles the spinner was left with.
TEST_F(BakeCar, SpinnerKeysFollowTheWholeTurn) {
  BaseObject* spin = Link(car, RIG_SPINNER);
  const double turn[] = {0.0, 1.4, 2.8, 4.2, 5.6, 7.0, 8.4};
  for (LONG f = 0; f < 7; ++f) {
    spin->SetMl(MatrixRotX(turn[f]));
    doc->SetTime(At(f));
    Write();
  }
  EXPECT_NE(spin->GetRelRot().x, 0.0);  // left flipped (heading pi)
  ThinBakeKeys(doc, car, State(car));
  const CCurve* pitch = Curve(spin, VectorComponentTrackId(ID_BASEOBJECT_REL_ROTATION, 1));
  ASSERT_NE(pitch, nullptr);
  ASSERT_EQ(pitch->GetKeyCount(), 7);
  for (LONG f = 0; f < 7; ++f) EXPECT_NEAR(pitch->GetKey(f)->GetValue(), turn[f], 1e-9) << f;
  EXPECT_EQ(KeyCount(spin, VectorComponentTrackId(ID_BASEOBJECT_REL_ROTATION, 0)), 1);
  EXPECT_EQ(KeyCount(spin, VectorComponentTrackId(ID_BASEOBJECT_REL_ROTATION, 2)), 1);

  for (LONG f = 0; f < 7; ++f) {
    doc->SetTime(At(f));
    hostpass::Animate(doc);
    const Matrix m = spin->GetMl(), want = MatrixRotX(turn[f]);
    EXPECT_LT((m.v2 - want.v2).GetLength() + (m.v3 - want.v3).GetLength(), 1e-9) << f;
  }
}

// With an output object the car's own outputs get no keys, whatever the
// switches say; the object's user data does.
TEST_F(BakeCar, AnOutputObjectTakesTheOutputKeys) {
  BaseObject* out = CreateOutputObject(doc, sim, *bc);
  ASSERT_NE(out, nullptr);
  bc->SetLink(CAR_OUTPUT_OBJECT, out);
  Gates(true);
  EXPECT_TRUE(Write());
  EXPECT_EQ(OutputTracks(), 0);
  EXPECT_GT(TrackCount(out), 10);
}

TEST_F(BakeCar, SkidMarksOnlyWhereTheRailGrew) {
  BaseObject* rail0 = Linked(CAR_SKID_LINKS + 0, Ospline);
  BaseObject* rail1 = Linked(CAR_SKID_LINKS + 1, Ospline);
  Gates(true);
  EXPECT_TRUE(Write(0x10 << 1));
  EXPECT_EQ(TrackCount(rail0), 0);
  EXPECT_EQ(KeyCount(rail1, PointLevelTrackId()), 1);
  sim->GetDataInstance()->SetBool(SIM_RECORD_SKIDS, false);
  doc->SetTime(At(4));
  EXPECT_TRUE(Write(0x10 | 0x20));
  EXPECT_EQ(TrackCount(rail0), 0);
  EXPECT_EQ(KeyCount(rail1, PointLevelTrackId()), 1);
}

// Springs and skid marks of wheels 4 and up live on the wheel-rig tag: without
// one they are skipped and the rest of the frame is the same.
TEST_F(BakeCar, ExtraWheelsTakeTheirPartsFromTheWheelRigTag) {
  for (LONG w = 4; w < 6; ++w) {
    BaseObject* hub = Null(doc, Link(car, RIG_BODY), "Wheel", Vector(0, 0, 10.0 * w));
    bc->SetLink(RIG_HUB + w, hub);
  }
  State(car).wheelCount = 6;
  BaseObject* spring = BaseObject::Alloc(Ohelix);
  doc->InsertObject(spring, sim, nullptr);
  BaseObject* rail = Rail(doc, sim, 4);
  Gates(true);

  EXPECT_TRUE(Write(0x10 << 4));
  EXPECT_EQ(TrackCount(Link(car, RIG_HUB + 5)), 6);
  EXPECT_EQ(TrackCount(spring), 0);
  EXPECT_EQ(TrackCount(rail), 0);

  BaseTag* tag = car->MakeTag(ID_ROTELIX);
  ASSERT_NE(tag, nullptr);
  tag->GetDataInstance()->SetLink(WHEELRIG_SPRINGS + 5, spring);
  tag->GetDataInstance()->SetLink(WHEELRIG_SKID_MARKS + 4, rail);
  EXPECT_TRUE(Write(0x10 << 4));
  EXPECT_EQ(KeyCount(spring, ParameterTrackId(PRIM_HELIX_HEIGHT)), 1);
  EXPECT_EQ(KeyCount(rail, PointLevelTrackId()), 1);
}

// The mesh a mesh binder deforms is keyed with its points, so a baked dent
// plays back.
TEST_F(BakeCar, MeshBinderMeshIsKeyed) {
  BaseObject* binder = Linked(CAR_DEFORMER_LINK, Omeshbinder);
  BaseObject* mesh = Rail(doc, sim, 3);
  binder->GetDataInstance()->SetLink(MESHBINDER_DEFORMED, mesh);
  Gates(true);
  EXPECT_TRUE(Write());
  EXPECT_EQ(KeyCount(binder, ParameterTrackId(ID_BASEOBJECT_GENERATOR_FLAG)), 1);
  EXPECT_EQ(TrackCount(binder), 1);
  EXPECT_EQ(KeyCount(mesh, PointLevelTrackId()), 1);
}

TEST_F(BakeCar, ThinningKeepsTheWheelsWhole) {
  BaseObject* body = Link(car, RIG_BODY);
  BaseObject* hub = Link(car, RIG_HUB);
  BaseObject* top = Link(car, RIG_SUSPENSION_TOP);
  Gates(true);
  for (LONG f = 1; f <= 5; ++f) {
    doc->SetTime(At(f));
    Write();
  }
  ThinBakeKeys(doc, car, State(car));
  EXPECT_EQ(KeyCount(body, kBodyX), 1);
  EXPECT_EQ(KeyCount(top, kRotB), 1);
  EXPECT_EQ(KeyCount(hub, kBodyX), 5);
  EXPECT_EQ(KeyCount(car, ParameterTrackId(2500)), 1);

  // Without a body nothing is thinned.
  for (LONG f = 6; f <= 8; ++f) {
    doc->SetTime(At(f));
    Write();
  }
  bc->RemoveData(RIG_BODY);
  ThinBakeKeys(doc, car, State(car));
  EXPECT_EQ(KeyCount(body, kBodyX), 4);
}

// A car just loaded has no run behind it (wheel count 0): clearing still
// reaches every wheel of its rig.
TEST_F(BakeCar, ClearingRemovesEveryRecordedTrack) {
  Linked(CAR_NEEDLE_BRAKE_LINK, Onull);
  Linked(CAR_BRAKE_LIGHT_LINK, Onull);
  Linked(CAR_SPRING_LINKS, Ohelix);
  Linked(CAR_SKID_LINKS + 3, Ospline);
  Linked(CAR_DEFORMER_LINK, Offd);
  BaseObject* parts = Linked(CAR_PARTS_LINK, Onull);
  doc->InsertObject(BaseObject::Alloc(Onull), parts, nullptr);
  BaseObject* other = Null(doc, sim, "Other", Vector());
  KeyVectorComponents(doc, other, At(1), ID_BASEOBJECT_REL_POSITION, Vector(), 7);
  Gates(true);
  EXPECT_TRUE(Write(0x10 << 3));
  ASSERT_GT(AllTracks(), 60);

  State(car).wheelCount = 0;
  ClearRecordedAnimation(doc, car, State(car));
  EXPECT_EQ(AllTracks(), 3);  // only the object the bake never wrote on
  EXPECT_EQ(TrackCount(other), 3);
}

// With an output object the car's own output tracks stay.
TEST_F(BakeCar, ClearingLeavesTheCarsOutputsBesideAnOutputObject) {
  BaseObject* out = CreateOutputObject(doc, sim, *bc);
  KeyOutputParameters(doc, car, At(1), 0x7f);
  KeyUserData(doc, out, At(1));
  bc->SetLink(CAR_OUTPUT_OBJECT, out);

  ClearRecordedAnimation(doc, car, State(car));
  EXPECT_EQ(OutputTracks(), 54);
  EXPECT_EQ(TrackCount(out), 0);
}

}  // namespace
