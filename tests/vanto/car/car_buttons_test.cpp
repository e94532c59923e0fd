// The Car's parameter buttons: what each press builds, where it hangs it,
// which link records it, the undo it leaves, and the presses that must build
// nothing.
#include <cmath>
#include <vector>

#include "../car/car_test_support.h"
#include "car/car_buttons.h"
#include "car/car_messages.h"
#include "car/car_publish.h"
#include "host_file.h"
#include "host_geometry.h"
#include "scene_build/object_builders.h"
#include "car/rig.h"
#include "scene_checks.h"

namespace {

class ButtonTest : public CarTest {
 protected:
  void SetUp() override {
    CarTest::SetUp();
    hostlog::Clear();
    hostevents::Reset();
    hostdialog::ClearScript();
  }
  void TearDown() override {
    hostlog::SetQuestionAnswer(false);
    CarTest::TearDown();
  }
  // A top-level car with its default rig, as a user gets it.
  BaseObject* CarWithRig(BaseObject* parent = nullptr) {
    BaseObject* car = NewCar(parent);
    EXPECT_TRUE(car->Message(MSG_MENUPREPARE, nullptr));
    EXPECT_NE(Link(car, RIG_BODY), nullptr);
    return car;
  }
  static void Press(BaseObject* car, LONG id) {
    DescID button(id);
    EXPECT_TRUE(car->Message(MSG_DESCRIPTION_COMMAND, &button));
  }
  static BaseObject* Link(BaseObject* car, LONG id) {
    return car->GetDataInstance()->GetObjectLink(id, car->GetDocument());
  }
  static BaseObject* Child(const BaseObject* parent, LONG name_id) {
    for (BaseObject* c = parent ? parent->GetDown() : nullptr; c; c = c->GetNext())
      if (c->GetName() == GeLoadString(name_id)) return c;
    return nullptr;
  }
  // The serials the undo log records as new objects since `from`.
  std::vector<std::uint64_t> NewUndo(size_t from = 0) const {
    std::vector<std::uint64_t> out;
    const auto& log = doc->UndoLog();
    for (size_t i = from; i < log.size(); ++i)
      if (log[i].kind == UNDOTYPE_NEW) out.push_back(log[i].serial);
    return out;
  }
  bool RecordedNew(const BaseObject* op) const {
    for (std::uint64_t s : NewUndo())
      if (op && s == op->GetSerial()) return true;
    return false;
  }
};

// ---------------------------------------------------------------- instruments

TEST_F(ButtonTest, InstrumentsHangUnderTheBodyAsTabled) {
  BaseObject* car = CarWithRig();
  const Vector size = car->GetDataInstance()->GetVector(CAR_BODY_SIZE);
  const Real w = size.x, h = size.y, l = size.z, u = 100.0;
  const Vector red(228.0 / 255, 45.0 / 255, 45.0 / 255);
  const struct {
    LONG button, link, name;
    Real radius, aspect;
    Vector colour, pos, rot;
  } cases[] = {
      {2032, 2030, 10027, 0.25 * u, 1.0, Vector(0, 0.2, 0.6), Vector(-0.25 * w, 0.5 * h, 0), Vector(0, -pi / 6, 0)},
      {2037, 2035, 10028, 0.05 * u, 4.0, Vector(45.0 / 255, 223.0 / 255, 23.0 / 255),
       Vector(0.15 * u - 0.25 * w, -0.5 * h, 0.2 * l), Vector(0, pi / 3, 0)},
      {2042, 2040, 10029, 0.05 * u, 4.0, red, Vector(-0.25 * w, 0.25 * u - 0.5 * h, 0.2 * l + 10.0),
       Vector(0, -2 * pi / 3, 0)},
      // The hand brake stands on the floor like the brake pedal, inside the body.
      {2047, 2045, 10030, 0.1 * u, 4.0, red, Vector(0, 0.25 * u - 0.5 * h, 0), Vector(0, 0, 0)},
      {2052, 2050, 10031, 0.2 * u, 0.5, red, Vector(0, 0, -0.5 * l), Vector(0, 0, 0)},
  };
  BaseObject* body = Link(car, RIG_BODY);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    Press(car, c.button);
    BaseObject* null = Link(car, c.link);
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(null->GetUp(), body);
    EXPECT_EQ(body->GetDownLast(), null);
    EXPECT_EQ(null->GetName(), GeLoadString(c.name));
    const BaseContainer* nc = null->GetDataInstance();
    EXPECT_EQ(nc->GetLong(NULLOBJECT_DISPLAY), 2);
    EXPECT_DOUBLE_EQ(nc->GetReal(NULLOBJECT_RADIUS), c.radius);
    EXPECT_DOUBLE_EQ(nc->GetReal(NULLOBJECT_ASPECTRATIO), c.aspect);
    ExpectNear(GetColorProperties(null).color, c.colour);
    ExpectNear(null->GetRelPos(), c.pos);
    ExpectNear(null->GetRelRot(), c.rot);
    EXPECT_TRUE(RecordedNew(null));
    // The hand brake must sit inside the body's height.
    EXPECT_LE(std::abs(null->GetRelPos().y), h);
  }
  EXPECT_EQ(doc->UndoGroupsClosed(), 5);
}

// Without a body object nothing of the body's set-ups is built, and nothing
// is recorded.
TEST_F(ButtonTest, ButtonsNeedingTheBodyBuildNothingWithoutIt) {
  BaseObject* car = CarWithRig();
  car->GetDataInstance()->SetLink(RIG_BODY, nullptr);
  const LONG groups = doc->UndoGroupsClosed();
  for (LONG id : {1856, 2032, 2037, 2042, 2047, 2052, 2102, 2103, 2116}) {
    SCOPED_TRACE(id);
    Press(car, id);
  }
  for (LONG link : {1855, 2030, 2035, 2040, 2045, 2050, 2100, 2115}) EXPECT_EQ(Link(car, link), nullptr) << link;
  EXPECT_EQ(doc->UndoGroupsClosed(), groups);
  EXPECT_TRUE(NewUndo().empty());
}

TEST_F(ButtonTest, AFailedBuilderLeavesTheLinkAndAddsNoUndo) {
  BaseObject* car = CarWithRig();
  hostmem::FailAllocation(1);
  Press(car, 2032);
  hostmem::FailAllocation(0);
  EXPECT_EQ(Link(car, 2030), nullptr);
  EXPECT_TRUE(NewUndo().empty());
}

// ---------------------------------------------------------------- springs and skid marks

TEST_F(ButtonTest, SpringsAreBuiltOncePerSuspension) {
  BaseObject* car = CarWithRig();
  BaseContainer* bc = car->GetDataInstance();
  bc->SetReal(CAR_WHEEL_DIAMETER_FRONT, 60.0);
  bc->SetReal(CAR_WHEEL_DIAMETER_REAR, 70.0);
  bc->SetReal(CAR_SPRING_COIL_RADIUS, 6.0);
  Press(car, 2064);
  for (LONG k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    const Real r = k < 2 ? 60.0 : 70.0;
    BaseObject* helix = Link(car, 2060 + k);
    ASSERT_NE(helix, nullptr);
    EXPECT_EQ(helix->GetType(), Ohelix);
    EXPECT_EQ(helix->GetName(), "Helix");
    const BaseContainer* hc = helix->GetDataInstance();
    EXPECT_DOUBLE_EQ(hc->GetReal(PRIM_HELIX_RADIUS1), 6.0);
    EXPECT_DOUBLE_EQ(hc->GetReal(PRIM_HELIX_HEIGHT), 0.5 * r);
    EXPECT_DOUBLE_EQ(hc->GetReal(PRIM_HELIX_END), 37.69911184307752);
    BaseObject* sweep = helix->GetUp();
    ASSERT_NE(sweep, nullptr);
    EXPECT_EQ(sweep->GetType(), Osweep);
    EXPECT_EQ(sweep->GetName(), GeLoadString(10032));
    EXPECT_EQ(sweep->GetUp(), Link(car, RIG_SUSPENSION_BOTTOM + k));
    ExpectNear(sweep->GetRelPos(), Vector(0, 0.375 * r, 0));
    EXPECT_TRUE(RecordedNew(sweep));
  }
  // A second press builds only where a spring is missing.
  BaseObject* bottom2 = Link(car, RIG_SUSPENSION_BOTTOM + 2);
  bc->SetLink(2062, nullptr);
  Press(car, 2064);
  EXPECT_EQ(CountChildren(Link(car, RIG_SUSPENSION_BOTTOM + 0)), 1);
  EXPECT_EQ(CountChildren(bottom2), 2);
  EXPECT_EQ(Link(car, 2062)->GetUp()->GetUp(), bottom2);
  EXPECT_EQ(NewUndo().size(), 5u);
}

TEST_F(ButtonTest, SpringsSkipWheelsWithoutSuspension) {
  BaseObject* car = CarWithRig();
  car->GetDataInstance()->SetLink(RIG_SUSPENSION_BOTTOM + 1, nullptr);
  Press(car, 2064);
  EXPECT_NE(Link(car, 2060), nullptr);
  EXPECT_EQ(Link(car, 2061), nullptr);
  EXPECT_NE(Link(car, 2062), nullptr);
  EXPECT_NE(Link(car, 2063), nullptr);
}

TEST_F(ButtonTest, SkidMarksGoUnderTheirGroupAtTheOrigin) {
  BaseObject* car = CarWithRig();
  BaseContainer* bc = car->GetDataInstance();
  bc->SetReal(CAR_WHEEL_WIDTH_FRONT, 20.0);
  bc->SetReal(CAR_WHEEL_WIDTH_REAR, 30.0);
  bc->SetBool(CAR_SKID_TWO_RAILS, true);
  // A group the user moved away is put back.
  BaseObject* group = FindOrCreateChild(doc, car, 10033);
  group->SetRelPos(Vector(5, 6, 7));
  Press(car, 2089);
  EXPECT_EQ(Child(car, 10033), group);
  ExpectNear(group->GetRelPos(), Vector());
  for (LONG i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    BaseObject* sweep = Link(car, 2080 + i);
    ASSERT_NE(sweep, nullptr);
    EXPECT_EQ(sweep->GetUp(), group);
    EXPECT_EQ(sweep->GetName(), GeLoadString(10034 + i));
    SplineObject* second = nullptr;
    ASSERT_NE(GetSweepRail(sweep, &second), nullptr);
    EXPECT_NE(second, nullptr);
    const auto* profile = dynamic_cast<PointObject*>(sweep->GetDown());
    ASSERT_NE(profile, nullptr);
    const Real width = i < 2 ? 20.0 : 30.0;
    EXPECT_DOUBLE_EQ(std::abs(profile->GetPointR()[1].x - profile->GetPointR()[0].x), width);
    EXPECT_TRUE(RecordedNew(sweep));
  }
}

TEST_F(ButtonTest, SkidMarkGroupIsMadeWhenMissing) {
  BaseObject* car = CarWithRig();
  Press(car, 2089);
  BaseObject* group = Child(car, 10033);
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(CountChildren(group), 4);
  EXPECT_TRUE(RecordedNew(group));
  SplineObject* second = nullptr;
  GetSweepRail(Link(car, 2080), &second);
  EXPECT_EQ(second, nullptr);  // one rail unless Bool 2090 asks for two
}

// ---------------------------------------------------------------- route, markers, ground

TEST_F(ButtonTest, RoutePiecesChainFromTheLastOne) {
  BaseObject* car = CarWithRig();
  Press(car, 1901);
  BaseObject* route = Link(car, 1900);
  ASSERT_NE(route, nullptr);
  EXPECT_EQ(route->GetName(), GeLoadString(10021));
  EXPECT_EQ(route->GetUp(), nullptr);
  EXPECT_EQ(car->GetNext(), route);  // beside the car
  auto* first = dynamic_cast<SplineObject*>(route->GetDown());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetName(), GeLoadString(10022));
  ASSERT_EQ(first->GetPointCount(), 2);
  ExpectNear(first->GetPointR()[0], Vector());
  ExpectNear(first->GetPointR()[1], Vector(0, 0, 2000));
  ExpectNear(GetColorProperties(first).color, Vector(0, 0.2, 0.6));
  ASSERT_NE(first->GetTag(ID_VANTOROUTE), nullptr);
  EXPECT_EQ(doc->GetActiveObject(), first);
  EXPECT_EQ(doc->GetActiveTag(), first->GetTag(ID_VANTOROUTE));
  EXPECT_TRUE(RecordedNew(route));
  EXPECT_TRUE(RecordedNew(first));
  EXPECT_EQ(doc->UndoGroupsClosed(), 2);  // the group on its own, then the piece

  // The next piece starts where the last one ends, wherever that was moved.
  first->SetRelPos(Vector(100, 0, 50));
  Press(car, 1901);
  BaseObject* second = route->GetDownLast();
  ASSERT_NE(second, first);
  EXPECT_EQ(second->GetPred(), first);
  ExpectNear(second->GetRelPos(), Vector(100, 0, 2050));
  EXPECT_EQ(Link(car, 1900), route);
  EXPECT_EQ(doc->UndoGroupsClosed(), 3);
}

TEST_F(ButtonTest, GroupsOfACarUnderASimStayBesideIt) {
  BaseObject* sim = NewSim(SIMSTATE_RESET, false);
  BaseObject* car = CarWithRig(sim);
  Press(car, 1921);
  BaseObject* markers = Link(car, 1920);
  ASSERT_NE(markers, nullptr);
  EXPECT_EQ(markers->GetUp(), sim);
  EXPECT_EQ(markers->GetPred(), car);
}

TEST_F(ButtonTest, CommandMarkersCarryTheirTag) {
  BaseObject* car = CarWithRig();
  Press(car, 1921);
  Press(car, 1921);
  BaseObject* markers = Link(car, 1920);
  ASSERT_NE(markers, nullptr);
  EXPECT_EQ(markers->GetName(), GeLoadString(10023));
  ASSERT_EQ(CountChildren(markers), 2);
  BaseObject* last = markers->GetDownLast();
  EXPECT_EQ(last->GetName(), GeLoadString(10024));
  EXPECT_NE(last->GetTag(ID_VANTOCOMMANDS), nullptr);
  ExpectNear(GetColorProperties(last).color, Vector(240.0 / 255, 229.0 / 255, 47.0 / 255));
  EXPECT_EQ(doc->GetActiveObject(), last);
  EXPECT_EQ(NewUndo().size(), 3u);
}

TEST_F(ButtonTest, GroundPieceHasARaisedMiddle) {
  BaseObject* car = CarWithRig();
  Press(car, 1941);
  BaseObject* grounds = Link(car, 1940);
  ASSERT_NE(grounds, nullptr);
  EXPECT_EQ(grounds->GetName(), GeLoadString(10025));
  auto* piece = dynamic_cast<PolygonObject*>(grounds->GetDown());
  ASSERT_NE(piece, nullptr);
  EXPECT_EQ(piece->GetName(), GeLoadString(10026));
  EXPECT_NE(piece->GetTag(ID_VANTOGROUND), nullptr);
  ASSERT_EQ(piece->GetPointCount(), 16);
  for (LONG i = 0; i < 16; ++i) {
    const bool raised = i == 5 || i == 6 || i == 9 || i == 10;
    EXPECT_DOUBLE_EQ(piece->GetPointR()[i].y, raised ? 40.0 : 0.0) << i;
  }
  ExpectNear(piece->GetRelPos(), Vector(0, 0, 1000));
  EXPECT_EQ(doc->GetActiveObject(), piece);
  EXPECT_TRUE(RecordedNew(piece));
}

// ---------------------------------------------------------------- outline, deformers, parts

TEST_F(ButtonTest, CollisionOutlineFromTheBodySize) {
  BaseObject* car = CarWithRig();
  AddTag(car, ID_KOLVARIS, ID_CAR);
  BaseContainer* bc = car->GetDataInstance();
  bc->SetVector(CAR_BODY_SIZE, Vector(185, 80, 452));
  BaseObject* ffd = NewObject(Offd);
  bc->SetLink(CAR_DEFORMER_LINK, ffd);
  Press(car, 1856);
  BaseObject* group = Child(Link(car, RIG_BODY), 10017);
  ASSERT_NE(group, nullptr);
  auto* outline = dynamic_cast<SplineObject*>(Link(car, 1855));
  ASSERT_NE(outline, nullptr);
  EXPECT_EQ(outline->GetUp(), group);
  EXPECT_EQ(outline->GetName(), GeLoadString(10020));
  EXPECT_EQ(outline->GetPointCount(), 2 * (18 + 45));
  EXPECT_TRUE(outline->IsClosed());
  ExpectNear(GetColorProperties(outline).color, Vector(240.0 / 255, 229.0 / 255, 47.0 / 255));
  EXPECT_FALSE(ffd->GetDeformMode());
  EXPECT_TRUE(RecordedNew(outline));
  EXPECT_TRUE(RecordedNew(group));
  // The run's outline is rebuilt from it at once.
  EXPECT_EQ(Data(car)->State().collisionOutline.deformPointCount, outline->GetPointCount());
  EXPECT_EQ(hostevents::LastMouseMode(), MOUSE_NORMAL);
  EXPECT_GE(hostevents::ShowMouseCount(), 2);
}

TEST_F(ButtonTest, CollisionOutlineOfAnOddBodySize) {
  const struct {
    Vector size;
    LONG points;  // 0: nothing built
  } cases[] = {
      {Vector(5, 80, 5), 4},                        // below one step: one point a side
      {Vector(1e9, 80, 1e9), 4 * 1000},             // at most what the run's outline holds
      {Vector(std::nan(""), 80, 450), 0},
      {Vector(-180, 80, 450), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.points);
    BaseObject* car = CarWithRig();
    car->GetDataInstance()->SetVector(CAR_BODY_SIZE, c.size);
    Press(car, 1856);
    auto* outline = dynamic_cast<SplineObject*>(Link(car, 1855));
    if (c.points == 0) {
      EXPECT_EQ(outline, nullptr);
    } else {
      ASSERT_NE(outline, nullptr);
      EXPECT_EQ(outline->GetPointCount(), c.points);
    }
  }
}

TEST_F(ButtonTest, MeshDeformerBindsTwoOutlines) {
  BaseObject* car = CarWithRig();
  BaseContainer* bc = car->GetDataInstance();
  bc->SetLong(CAR_OUTLINE_SUBDIVISIONS, 4);
  bc->SetLong(CAR_FFD_GRID, 6);
  const Vector size = bc->GetVector(CAR_BODY_SIZE);
  Press(car, 2102);
  BaseObject* group = Child(Child(Link(car, RIG_BODY), 10017), 10018);
  ASSERT_NE(group, nullptr);
  BaseObject* binder = Link(car, CAR_DEFORMER_LINK);
  ASSERT_NE(binder, nullptr);
  EXPECT_EQ(binder->GetType(), Omeshbinder);
  EXPECT_EQ(binder->GetUp(), group);
  EXPECT_FALSE(binder->GetDeformMode());
  EXPECT_EQ(doc->GetActiveObject(), binder);
  const BaseContainer* mc = binder->GetDataInstance();
  auto* original = dynamic_cast<SplineObject*>(mc->GetObjectLink(MESHBINDER_ORIGINAL, doc));
  auto* deformed = dynamic_cast<SplineObject*>(mc->GetObjectLink(MESHBINDER_DEFORMED, doc));
  ASSERT_NE(original, nullptr);
  ASSERT_NE(deformed, nullptr);
  EXPECT_EQ(original->GetName(), GeLoadString(10020) + " Original");
  EXPECT_EQ(deformed->GetName(), GeLoadString(10020) + " Deformer");
  EXPECT_EQ(original->GetPointCount(), 2 * (4 + 6));
  EXPECT_EQ(deformed->GetPointCount(), 2 * (4 + 6));
  EXPECT_EQ(GetColorProperties(original).usecolor, ID_BASEOBJECT_USECOLOR_OFF);
  EXPECT_DOUBLE_EQ(mc->GetReal(MESHBINDER_STRENGTH), 0.75 * size.y);
  EXPECT_TRUE(RecordedNew(original));
  EXPECT_TRUE(RecordedNew(deformed));
  EXPECT_TRUE(RecordedNew(binder));
  EXPECT_EQ(hostevents::LastMouseMode(), MOUSE_NORMAL);
}

// Whichever allocation fails, a press leaves the whole set-up or nothing.
TEST_F(ButtonTest, MeshDeformerLeavesNoHalfSetUp) {
  BaseObject* car = CarWithRig();
  Press(car, 2116);  // the groups exist beforehand
  BaseObject* crumple = Child(Link(car, RIG_BODY), 10017);
  Press(car, 2103);  // and the deformation group, with an FFD in it
  BaseObject* group = Child(crumple, 10018);
  ASSERT_NE(group, nullptr);
  bool failed_once = false, built_once = false;
  for (long n = 1; n <= 40; ++n) {
    SCOPED_TRACE(n);
    BaseObject* before = Link(car, CAR_DEFORMER_LINK);
    const LONG children = CountChildren(group);
    hostmem::FailAllocation(n);
    Press(car, 2102);
    hostmem::FailAllocation(0);
    BaseObject* after = Link(car, CAR_DEFORMER_LINK);
    if (after == before) {
      EXPECT_EQ(CountChildren(group), children);
      failed_once = true;
    } else {
      ASSERT_NE(after, nullptr);
      EXPECT_EQ(after->GetType(), Omeshbinder);
      EXPECT_EQ(CountChildren(group), children + 3);
      built_once = true;
    }
  }
  EXPECT_TRUE(failed_once);
  EXPECT_TRUE(built_once);
}

TEST_F(ButtonTest, FfdGridFromTheSubdivisions) {
  const struct {
    LONG sub, grid, nx, nz;
  } cases[] = {{5, 7, 5, 7}, {0, 1, 2, 2}, {1000000, 3, 100, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sub);
    BaseObject* car = CarWithRig();
    BaseContainer* bc = car->GetDataInstance();
    bc->SetLong(CAR_OUTLINE_SUBDIVISIONS, c.sub);
    bc->SetLong(CAR_FFD_GRID, c.grid);
    Press(car, 2103);
    auto* ffd = dynamic_cast<PointObject*>(Link(car, CAR_DEFORMER_LINK));
    ASSERT_NE(ffd, nullptr);
    EXPECT_EQ(ffd->GetType(), Offd);
    EXPECT_EQ(ffd->GetUp(), Child(Child(Link(car, RIG_BODY), 10017), 10018));
    const BaseContainer* fc = ffd->GetDataInstance();
    EXPECT_EQ(fc->GetVector(FFDOBJECT_SIZE), bc->GetVector(CAR_BODY_SIZE));
    EXPECT_EQ(fc->GetLong(FFDOBJECT_SUBX), c.nx);
    EXPECT_EQ(fc->GetLong(FFDOBJECT_SUBY), 2);
    EXPECT_EQ(fc->GetLong(FFDOBJECT_SUBZ), c.nz);
    EXPECT_EQ(ffd->GetPointCount(), c.nx * 2 * c.nz);
    EXPECT_FALSE(ffd->GetDeformMode());
    EXPECT_EQ(doc->GetActiveObject(), ffd);
  }
}

TEST_F(ButtonTest, AttachedPartsGroupIsFoundOrMade) {
  BaseObject* car = CarWithRig();
  Press(car, 2116);
  BaseObject* parts = Link(car, CAR_PARTS_LINK);
  ASSERT_NE(parts, nullptr);
  EXPECT_EQ(parts->GetName(), GeLoadString(10019));
  EXPECT_EQ(parts->GetUp(), Child(Link(car, RIG_BODY), 10017));
  EXPECT_EQ(NewUndo().size(), 2u);  // both groups were new
  // A second press finds the same group and makes nothing.
  car->GetDataInstance()->SetLink(CAR_PARTS_LINK, nullptr);
  Press(car, 2116);
  EXPECT_EQ(Link(car, CAR_PARTS_LINK), parts);
  EXPECT_EQ(NewUndo().size(), 2u);
}

// ---------------------------------------------------------------- settings and rig

TEST_F(ButtonTest, ClearingLearnedSpeedsAsksFirst) {
  BaseObject* car = CarWithRig();
  car->SetName("Red");
  BaseContainer* bc = car->GetDataInstance();
  bc->SetLong(CAR_SPEED_TARGET_COUNT, 3);
  hostdialog::PushQuestionAnswer(false);
  Press(car, 1905);
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_EQ(hostlog::Dialogs()[0], GeLoadString(10101, "Red"));
  EXPECT_NE(hostlog::Dialogs()[0].FindFirst("Red"), -1);
  EXPECT_EQ(bc->GetLong(CAR_SPEED_TARGET_COUNT), 3);
  hostdialog::PushQuestionAnswer(true);
  Press(car, 1905);
  EXPECT_EQ(bc->GetLong(CAR_SPEED_TARGET_COUNT), 0);
}

TEST_F(ButtonTest, ForcePresetButtonRebuildsTheCurve) {
  BaseObject* car = CarWithRig();
  BaseContainer* bc = car->GetDataInstance();
  bc->SetLong(CAR_FORCE_PRESET, 4);
  bc->RemoveData(CAR_FORCE_CURVE);
  Press(car, 1861);
  const auto* curve = static_cast<const SplineData*>(bc->GetCustomDataType(CAR_FORCE_CURVE, CUSTOMDATATYPE_SPLINE));
  ASSERT_NE(curve, nullptr);
  EXPECT_GT(curve->GetKnotCount(), 2);
}

TEST_F(ButtonTest, RigButtonRelinksTheRigByName) {
  BaseObject* car = CarWithRig();
  BaseContainer* bc = car->GetDataInstance();
  BaseObject* body = Link(car, RIG_BODY);
  BaseObject* hub = Link(car, RIG_HUB + 2);
  bc->SetLink(RIG_BODY, nullptr);
  bc->SetLink(RIG_HUB + 2, nullptr);
  bc->SetLong(RIG_AXLE_TYPE + 1, 0);
  Press(car, 1051);
  EXPECT_EQ(Link(car, RIG_BODY), body);
  EXPECT_EQ(Link(car, RIG_HUB + 2), hub);
  EXPECT_EQ(bc->GetLong(RIG_AXLE_TYPE + 1), 1);
}

TEST_F(ButtonTest, FitButtonAsksForASelection) {
  BaseObject* car = CarWithRig();
  doc->SetActiveObject(car);
  Press(car, 1050);
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_EQ(hostlog::Dialogs()[0], GeLoadString(10102));
  EXPECT_FALSE(GeLoadString(10102).empty());
}

TEST_F(ButtonTest, OutputObjectMirrorsTheOutputs) {
  BaseObject* car = CarWithRig();
  Press(car, 2001);
  BaseObject* out = Link(car, CAR_OUTPUT_OBJECT);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->GetName(), GeLoadString(10041));
  EXPECT_NE(out->GetUp(), car);  // the car's children are its rig
  LONG outputs = 0;
  for (LONG id = 2500; id <= 2552; ++id) {
    const LONG type = car->GetDataInstance()->GetType(id);
    if (type == DA_LONG || type == DA_REAL || type == DA_VECTOR || type == DA_STRING) ++outputs;
  }
  EXPECT_GT(outputs, 0);
  ASSERT_NE(out->GetDynamicDescription(), nullptr);
  EXPECT_EQ(out->GetDynamicDescription()->GetCount(), outputs);
  EXPECT_TRUE(RecordedNew(out));
}

TEST_F(ButtonTest, PressesWithoutADocumentOrOfOtherIdsDoNothing) {
  BaseObject* loose = BaseObject::Alloc(ID_CAR);
  ASSERT_NE(loose, nullptr);
  ASSERT_TRUE(BuildDefaultRig(nullptr, loose));
  DescID button(2032);
  EXPECT_TRUE(loose->Message(MSG_DESCRIPTION_COMMAND, &button));
  EXPECT_EQ(loose->GetDataInstance()->GetObjectLink(2030, nullptr), nullptr);
  EXPECT_FALSE(PressCarButton(nullptr, loose, Data(loose)->State(), 2032));
  BaseObject::Free(loose);

  BaseObject* car = CarWithRig();
  EXPECT_FALSE(PressCarButton(doc, car, Data(car)->State(), 1999));
  Press(car, 1999);
  EXPECT_TRUE(NewUndo().empty());
}

// Every object name the buttons give has a text in both languages, and the
// two tables stay paired.
TEST_F(ButtonTest, ObjectNamesExistInBothLanguages) {
  for (const char* folder : {"strings_us", "strings_de"}) {
    GeResource res;
    ASSERT_TRUE(res.Init(Filename(kPluginFolder), folder));
    for (LONG id = 10017; id <= 10031; ++id) EXPECT_FALSE(res.LoadString(id).empty()) << folder << " " << id;
    for (LONG id : {10101, 10102}) EXPECT_FALSE(res.LoadString(id).empty()) << folder << " " << id;
    EXPECT_NE(res.LoadString(10101).FindFirst("#1"), -1);
  }
}

}  // namespace
