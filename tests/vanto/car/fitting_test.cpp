// Fitting a car's rig to a model made of separate polygon objects: sorting
// the selection into body and wheels, hanging them under the rig, and the
// geometry parameters measured from them.
#include <cmath>

#include "../car/car_test_support.h"
#include "car/fitting.h"
#include "host_geometry.h"
#include "car/rig.h"
#include "scene_checks.h"

namespace {

constexpr double kDeg = pi / 180.0;

class FitTest : public CarTest {
 protected:
  void SetUp() override {
    CarTest::SetUp();
    hostlog::Clear();
    car = NewCar();
    ASSERT_TRUE(car->Message(MSG_MENUPREPARE, nullptr));
    bc = car->GetDataInstance();
  }
  void TearDown() override {
    hostgeo::FailModelingCommand(0);
    CarTest::TearDown();
  }

  // A closed box of polygons, half-size half around its own origin, placed
  // at pos (under parent, or last at the top level).
  PolygonObject* Box(const char* name, const Vector& pos, const Vector& half, BaseObject* parent = nullptr) {
    PolygonObject* op = PolygonObject::Alloc(8, 6);
    EXPECT_NE(op, nullptr);
    Vector* p = op->GetPointW();
    for (LONG i = 0; i < 8; ++i)
      p[i] = Vector(i & 1 ? half.x : -half.x, i & 2 ? half.y : -half.y, i & 4 ? half.z : -half.z);
    CPolygon* f = op->GetPolygonW();
    f[0] = CPolygon(0, 1, 3, 2);
    f[1] = CPolygon(4, 6, 7, 5);
    f[2] = CPolygon(0, 4, 5, 1);
    f[3] = CPolygon(2, 3, 7, 6);
    f[4] = CPolygon(0, 2, 6, 4);
    f[5] = CPolygon(1, 5, 7, 3);
    op->SetName(name);
    if (parent) {
      doc->InsertObject(op, parent, parent->GetDownLast());
    } else {
      BaseObject* last = doc->GetFirstObject();
      while (last && last->GetNext()) last = last->GetNext();
      doc->InsertObject(op, nullptr, last);
    }
    op->SetRelPos(pos);
    return op;
  }
  // A wheel: 64 high, 24 wide, standing on the ground at (x, z).
  PolygonObject* Wheel(const char* name, Real x, Real z) { return Box(name, Vector(x, 32, z), Vector(12, 32, 32)); }

  // A body from y = 20 to 80, 160 wide and 420 long around z = bz, with a
  // roof 120 wide and 180 long from y = 80 to 130, centred at z = bz - 30.
  PolygonObject* Body(Real bz = 0.0) {
    PolygonObject* body = Box("body", Vector(0, 50, bz), Vector(80, 30, 210));
    Box("roof", Vector(0, 55, -30), Vector(60, 25, 90), body);
    return body;
  }
  void Select(std::initializer_list<BaseObject*> ops) {
    doc->SetActiveObject(nullptr);
    for (BaseObject* op : ops) doc->SetActiveObject(op, SELECTION_ADD);
  }
  BaseObject* L(LONG id) const { return bc->GetObjectLink(id, doc); }

  BaseObject* car = nullptr;
  BaseContainer* bc = nullptr;
};

// ---------------------------------------------------------------- the whole fit

TEST_F(FitTest, FiveObjectsBecomeBodyAndWheels) {
  BaseObject* fl = Wheel("fl", -80, 120);
  BaseObject* fr = Wheel("fr", 80, 120);
  BaseObject* body = Body();
  BaseObject* rl = Wheel("rl", -80, -120);
  BaseObject* rr = Wheel("rr", 80, -120);
  Select({rr, body, fl, rl, fr});
  ASSERT_TRUE(FitRigToSelection(doc, car, true));
  EXPECT_TRUE(hostlog::Dialogs().empty());

  const BaseObject* wheels[] = {fl, fr, rl, rr};
  const Vector centres[] = {Vector(-80, 32, 120), Vector(80, 32, 120), Vector(-80, 32, -120), Vector(80, 32, -120)};
  for (LONG i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(wheels[i]->GetUp(), L(RIG_SPINNER + i));
    // The model keeps its place in the world; the hub stands at its centre.
    ExpectNear(wheels[i]->GetMg().off - L(RIG_HUB + i)->GetMg().off, Vector(), 1e-9);
    EXPECT_NEAR(L(RIG_HUB + i)->GetMg().off.x, centres[i].x, 1e-9);
    EXPECT_NEAR(L(RIG_HUB + i)->GetMg().off.z, centres[i].z, 1e-9);
    // Suspension tops just inside their wheel.
    EXPECT_NEAR(L(RIG_SUSPENSION_TOP + i)->GetMg().off.x, 0.95 * L(RIG_SUSPENSION_BOTTOM + i)->GetMg().off.x, 1e-9);
  }
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_WHEEL_DIAMETER_FRONT), 64.0);
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_WHEEL_DIAMETER_REAR), 64.0);
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_WHEEL_WIDTH_FRONT), 24.0);
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_WHEEL_WIDTH_REAR), 24.0);
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_CAMBER_FRONT), 0.0);
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_CAMBER_REAR), 0.0);

  // Body: width from the right front hub and the wheel width, 0.66 of the
  // model's height, its length; the body object sits at the body's middle.
  EXPECT_EQ(body->GetUp(), L(RIG_BODY));
  const Real b = 0.66 * 110.0;
  ExpectNear(bc->GetVector(CAR_BODY_SIZE), Vector(2 * 80 + 24, b, 420));
  ExpectNear(L(RIG_BODY)->GetMg().off, Vector(0, 20 + b / 2, 0));
  ExpectNear(body->GetMg().off, Vector(0, 50, 0));

  // Roof: sampled 99 times along and across, so within one step of the model.
  const Real along = 420.0 / 99, across = 184.0 / 99;
  EXPECT_NEAR(bc->GetReal(CAR_ROOF_Z), -30.0, along);
  const Vector roof = bc->GetVector(CAR_ROOF_SIZE);
  EXPECT_NEAR(roof.x, 120.0, 2 * across);
  EXPECT_NEAR(roof.y, 110.0 - b, 1e-9);
  EXPECT_NEAR(roof.z, 180.0, 2 * along);
}

TEST_F(FitTest, TheModelIsCentredAlongTheCar) {
  BaseObject* fl = Wheel("fl", -80, 130);
  BaseObject* fr = Wheel("fr", 80, 130);
  BaseObject* rl = Wheel("rl", -80, -110);
  BaseObject* rr = Wheel("rr", 80, -110);
  BaseObject* body = Body(10.0);
  const Real top_z = L(RIG_SUSPENSION_TOP + 3)->GetMg().off.z;
  Select({fl, fr, rl, rr, body});
  ASSERT_TRUE(FitRigToSelection(doc, car, false));
  // Everything moved back by the body's centre, 10 along z.
  EXPECT_NEAR(body->GetMg().off.z, 0.0, 1e-9);
  EXPECT_NEAR(fl->GetMg().off.z, 120.0, 1e-9);
  EXPECT_NEAR(rr->GetMg().off.z, -120.0, 1e-9);
  EXPECT_NEAR(L(RIG_SUSPENSION_TOP + 3)->GetMg().off.z, top_z - 10.0, 1e-9);
  EXPECT_NEAR(bc->GetReal(CAR_ROOF_Z), -30.0, 420.0 / 99);
}

TEST_F(FitTest, FewerThanFiveObjectsChangeNothing) {
  BaseObject* a = Wheel("a", -80, 120);
  BaseObject* b = Wheel("b", 80, 120);
  BaseObject* body = Body();
  BaseObject* c = Wheel("c", -80, -120);
  const BaseContainer before = *bc;
  const Matrix hub = L(RIG_HUB)->GetMg();
  Select({a, b, body, c});
  EXPECT_FALSE(FitRigToSelection(doc, car, true));
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_EQ(hostlog::Dialogs()[0], GeLoadString(10102));
  EXPECT_EQ(a->GetUp(), nullptr);
  EXPECT_TRUE(*bc == before);
  EXPECT_EQ(L(RIG_HUB)->GetMg(), hub);
  hostlog::Clear();
  EXPECT_FALSE(FitRigToSelection(doc, car, false));
  EXPECT_TRUE(hostlog::Dialogs().empty());
}

// ---------------------------------------------------------------- sorting

TEST_F(FitTest, WheelsStartFiveUnitsOffTheMiddle) {
  const struct {
    Real x;
    bool wheel;
  } cases[] = {{5.0, true}, {-5.0, true}, {4.99, false}, {-4.99, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.x);
    BaseObject* fl = Wheel("fl", -80, 120);
    BaseObject* fr = Wheel("fr", 80, 120);
    BaseObject* rl = Wheel("rl", -80, -120);
    BaseObject* rr = Wheel("rr", 80, -120);
    BaseObject* odd = Box("odd", Vector(c.x, 10, 100), Vector(2, 2, 2));
    Select({fl, fr, rl, rr, odd});
    ASSERT_TRUE(FitRigToSelection(doc, car, false));
    // As the last wheel of its corner it takes the hub; as the only body
    // candidate it becomes the body.
    const LONG corner = RIG_HUB + (c.x < 0 ? 0 : 1);
    EXPECT_EQ(odd->GetUp(), c.wheel ? L(corner + 20) : L(RIG_BODY));
    if (c.wheel) {
      EXPECT_NEAR(L(corner)->GetMg().off.x, c.x, 1e-9);
    }
    for (BaseObject* op : {fl, fr, rl, rr, odd}) BaseObject::Free(op);
  }
}

TEST_F(FitTest, OnlyTheLastBodyCandidateIsFitted) {
  BaseObject* first = Box("first", Vector(0, 50, 0), Vector(80, 30, 200));
  BaseObject* fl = Wheel("fl", -80, 120);
  BaseObject* fr = Wheel("fr", 80, 120);
  BaseObject* rl = Wheel("rl", -80, -120);
  BaseObject* rr = Wheel("rr", 80, -120);
  BaseObject* second = Box("second", Vector(0, 60, 0), Vector(80, 40, 210));
  Select({first, fl, fr, rl, rr, second});
  ASSERT_TRUE(FitRigToSelection(doc, car, false));
  EXPECT_EQ(first->GetUp(), nullptr);
  ExpectNear(first->GetMg().off, Vector(0, 50, 0));
  EXPECT_EQ(second->GetUp(), L(RIG_BODY));
  EXPECT_NEAR(bc->GetVector(CAR_BODY_SIZE).z, 420.0, 1e-9);
}

TEST_F(FitTest, TwoWheelsOnOneCornerShareTheSpinner) {
  BaseObject* a = Wheel("a", -80, 120);
  BaseObject* b = Box("b", Vector(-90, 35, 125), Vector(10, 35, 35));
  BaseObject* rl = Wheel("rl", -80, -120);
  BaseObject* rr = Wheel("rr", 80, -120);
  BaseObject* helper = NewObject(Onull);  // no polygons: counted, not fitted
  Select({a, b, rl, rr, helper});
  ASSERT_TRUE(FitRigToSelection(doc, car, false));
  EXPECT_EQ(a->GetUp(), L(RIG_SPINNER));
  EXPECT_EQ(b->GetUp(), L(RIG_SPINNER));
  ExpectNear(L(RIG_HUB)->GetMg().off, Vector(-90, 35, 125));
  ExpectNear(b->GetMg().off, Vector(-90, 35, 125));
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_WHEEL_DIAMETER_FRONT), 70.0);
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_WHEEL_WIDTH_FRONT), 20.0);
}

TEST_F(FitTest, TheSimHoldingTheCarIsNeverPartOfTheModel) {
  // The Sim holds the car and an obstacle, and comes last in the scene: as a
  // body candidate it would have to hang inside its own car.
  BaseObject* sim = NewSim(SIMSTATE_RESET, false);
  car->Remove();
  doc->InsertObject(car, sim, nullptr);
  Box("wall", Vector(0, 50, 900), Vector(100, 50, 5), sim);
  BaseObject* fl = Wheel("fl", -80, 120);
  BaseObject* fr = Wheel("fr", 80, 120);
  BaseObject* rl = Wheel("rl", -80, -120);
  BaseObject* rr = Wheel("rr", 80, -120);
  BaseObject* body = Body();
  sim->Remove();
  doc->InsertObject(sim, nullptr, body);
  Select({fl, fr, rl, rr, body, sim});
  ASSERT_TRUE(FitRigToSelection(doc, car, false));
  EXPECT_EQ(sim->GetUp(), nullptr);
  EXPECT_EQ(car->GetUp(), sim);
  EXPECT_EQ(body->GetUp(), L(RIG_BODY));
  ExpectNear(bc->GetVector(CAR_BODY_SIZE), Vector(184, 0.66 * 110, 420));
}

TEST_F(FitTest, ObjectsWithoutPolygonsAreLeftOut) {
  BaseObject* null = NewObject(Onull);
  null->SetRelPos(Vector(0, 0, 0));
  BaseObject* fl = Wheel("fl", -80, 120);
  BaseObject* fr = Wheel("fr", 80, 120);
  BaseObject* rl = Wheel("rl", -80, -120);
  BaseObject* rr = Wheel("rr", 80, -120);
  const Vector size = bc->GetVector(CAR_BODY_SIZE);
  Select({null, fl, fr, rl, rr});
  ASSERT_TRUE(FitRigToSelection(doc, car, false));
  EXPECT_EQ(null->GetUp(), nullptr);
  EXPECT_EQ(bc->GetVector(CAR_BODY_SIZE), size);
  EXPECT_EQ(fl->GetUp(), L(RIG_SPINNER));
}

// ---------------------------------------------------------------- one wheel

TEST_F(FitTest, CamberFromTheWheelsLean) {
  const struct {
    LONG link;
    Real bank_deg;
    Real camber;  // -1: left as it was
  } cases[] = {
      {RIG_HUB, 93.0, 3.0 * kDeg},     {RIG_HUB + 3, 87.0, 3.0 * kDeg}, {RIG_HUB + 1, 102.0, -1.0},
      {RIG_HUB + 2, 0.0, 0.0},          {RIG_HUB, 90.0, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bank_deg);
    const LONG camber_id = c.link <= RIG_HUB + 1 ? CAR_CAMBER_FRONT : CAR_CAMBER_REAR;
    bc->SetReal(camber_id, 0.5);
    // The wheel's own y axis is its axle until it is turned onto its side.
    BaseObject* wheel = Box("w", Vector(-80, 32, 120), Vector(32, 12, 32));
    wheel->SetRelRot(Vector(0, 0, c.bank_deg * kDeg));
    FitRigPart(doc, car, wheel, c.link, PolygonBoundingBox(wheel, PolygonBox()));
    EXPECT_NEAR(bc->GetReal(camber_id), c.camber < 0 ? 0.5 : c.camber, 1e-9);
    BaseObject::Free(wheel);
  }
}

TEST_F(FitTest, PartsThatAreNotRoundSteerButDoNotSpin) {
  BaseObject* wheel = Wheel("w", -80, 120);
  BaseObject* rim = Box("rim", Vector(0, 0, 0), Vector(5, 20, 20), wheel);
  BaseObject* calliper = Box("calliper", Vector(0, 10, 0), Vector(3, 5, 10), wheel);
  BaseObject* cap = Box("cap", Vector(0, 0, 0), Vector(2, 4, 4), wheel);
  const Matrix calliper_mg = calliper->GetMg();
  FitRigPart(doc, car, wheel, RIG_HUB, PolygonBoundingBox(wheel, PolygonBox()));
  EXPECT_EQ(wheel->GetUp(), L(RIG_SPINNER));
  EXPECT_EQ(rim->GetUp(), wheel);
  EXPECT_EQ(cap->GetUp(), wheel);
  EXPECT_EQ(calliper->GetUp(), L(RIG_HUB));
  ExpectNear(calliper->GetMg().off, calliper_mg.off);
}

TEST_F(FitTest, AWheelWithoutSpinnerStaysWhereItIs) {
  bc->SetLink(RIG_SPINNER + 2, nullptr);
  BaseObject* wheel = Box("w", Vector(-70, 30, -100), Vector(10, 30, 30));
  FitRigPart(doc, car, wheel, RIG_HUB + 2, PolygonBoundingBox(wheel, PolygonBox()));
  EXPECT_EQ(wheel->GetUp(), nullptr);
  ExpectNear(L(RIG_HUB + 2)->GetMg().off, Vector(-70, 30, -100));
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_WHEEL_DIAMETER_REAR), 60.0);
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_WHEEL_WIDTH_REAR), 20.0);
}

TEST_F(FitTest, OtherLinksFitNothing) {
  BaseObject* wheel = Wheel("w", -80, 120);
  const BaseContainer before = *bc;
  for (LONG link : {LONG(RIG_ENGINE), LONG(RIG_HUB + 4), LONG(RIG_SPINNER), LONG(0)})
    FitRigPart(doc, car, wheel, link, PolygonBoundingBox(wheel, PolygonBox()));
  EXPECT_EQ(wheel->GetUp(), nullptr);
  EXPECT_TRUE(*bc == before);
}

// ---------------------------------------------------------------- the body

TEST_F(FitTest, BodyFitStopsAtAMissingSuspension) {
  BaseObject* body = Body(10.0);
  bc->SetLink(RIG_SUSPENSION_BOTTOM + 1, nullptr);
  const Real roof_z = bc->GetReal(CAR_ROOF_Z);
  const Vector hub2 = L(RIG_HUB + 2)->GetMg().off;
  const Vector hub1 = L(RIG_HUB + 1)->GetMg().off;
  FitRigPart(doc, car, body, RIG_BODY, PolygonBoundingBox(body, PolygonBox()));
  EXPECT_NEAR(bc->GetVector(CAR_BODY_SIZE).z, 420.0, 1e-9);
  EXPECT_EQ(body->GetUp(), L(RIG_BODY));
  // Hub 1 has moved back along z; hub 2 and the roof were not reached.
  EXPECT_NEAR(L(RIG_HUB + 1)->GetMg().off.z, hub1.z - 10.0, 1e-9);
  EXPECT_NEAR(L(RIG_HUB + 2)->GetMg().off.z, hub2.z, 1e-9);
  EXPECT_EQ(bc->GetReal(CAR_ROOF_Z), roof_z);
}

TEST_F(FitTest, ALowModelGivesNoRoof) {
  BaseObject* slab = Box("slab", Vector(0, 0.4, 0), Vector(80, 0.4, 200));
  const Real roof_z = bc->GetReal(CAR_ROOF_Z);
  const Vector roof = bc->GetVector(CAR_ROOF_SIZE);
  FitRigPart(doc, car, slab, RIG_BODY, PolygonBoundingBox(slab, PolygonBox()));
  EXPECT_NEAR(bc->GetVector(CAR_BODY_SIZE).y, 0.66 * 0.8, 1e-9);
  EXPECT_EQ(bc->GetReal(CAR_ROOF_Z), roof_z);
  EXPECT_EQ(bc->GetVector(CAR_ROOF_SIZE), roof);
}

TEST_F(FitTest, AFailedHeightQueryEndsTheRoofScan) {
  BaseObject* body = Body();
  const Real roof_z = bc->GetReal(CAR_ROOF_Z);
  hostgeo::FailModelingCommand(1);
  FitRigPart(doc, car, body, RIG_BODY, PolygonBoundingBox(body, PolygonBox()));
  EXPECT_EQ(bc->GetReal(CAR_ROOF_Z), roof_z);
  EXPECT_NEAR(bc->GetVector(CAR_BODY_SIZE).z, 420.0, 1e-9);
  // The second scan failing keeps the roof place of the first.
  const Vector roof = bc->GetVector(CAR_ROOF_SIZE);
  hostgeo::FailModelingCommand(2);
  FitRigPart(doc, car, body, RIG_BODY, PolygonBoundingBox(body, PolygonBox()));
  EXPECT_NEAR(bc->GetReal(CAR_ROOF_Z), -30.0, 420.0 / 99);
  EXPECT_EQ(bc->GetVector(CAR_ROOF_SIZE), roof);
}

// ---------------------------------------------------------------- boxes and profiles

TEST_F(FitTest, BoundingBoxOfAHierarchy) {
  // Nothing with polygons: the box comes back as it went in.
  BaseObject* group = NewObject(Onull);
  EXPECT_TRUE(PolygonBoundingBox(group, PolygonBox()).IsEmpty());
  EXPECT_TRUE(PolygonBoundingBox(nullptr, PolygonBox()).IsEmpty());
  // An empty polygon object adds nothing either.
  PolygonObject* empty = PolygonObject::Alloc(0, 0);
  doc->InsertObject(empty, group, nullptr);
  empty->SetRelPos(Vector(500, 500, 500));
  EXPECT_TRUE(PolygonBoundingBox(group, PolygonBox()).IsEmpty());

  group->SetRelPos(Vector(0, 0, 100));
  Box("a", Vector(10, 5, 0), Vector(10, 5, 20), group);
  BaseObject* b = Box("b", Vector(-30, 0, 0), Vector(2, 2, 2), group);
  b->SetRelRot(Vector(0, 0, pi / 2));  // a quarter turn about z
  Box("c", Vector(0, 50, 0), Vector(1, 1, 1), b);
  const PolygonBox box = PolygonBoundingBox(group, PolygonBox());
  ASSERT_FALSE(box.IsEmpty());
  // c lies at b's local y = 50, which the turn sends along +x.
  ExpectNear(b->GetMg().v2, Vector(1, 0, 0), 1e-12);
  ExpectNear(box.min, Vector(-32, -2, 80), 1e-9);
  ExpectNear(box.max, Vector(21, 10, 120), 1e-9);
  ExpectNear(box.centre, (box.min + box.max) * 0.5, 1e-9);
  ExpectNear(box.half, (box.max - box.min) * 0.5, 1e-9);
}

TEST_F(FitTest, ProfileSamplesTheSurfaceFromAbove) {
  Box("block", Vector(0, 25, 0), Vector(50, 25, 50));
  const long blocks = hostmem::LiveBlocks();
  Vector* p = MakeProfileSpline(doc, Vector(-100, 0, 0), Vector(100, 0, 0), 5);
  ASSERT_NE(p, nullptr);
  // x = -100, -60, -20, 20, 60: the end itself is not sampled.
  ExpectNear(p[0], Vector(-100, 0, 0));
  ExpectNear(p[1], Vector(-60, 0, 0));
  ExpectNear(p[2], Vector(-20, 50, 0));
  ExpectNear(p[3], Vector(20, 50, 0));
  ExpectNear(p[4], Vector(60, 0, 0));
  GeFree(p);
  EXPECT_EQ(hostmem::LiveBlocks(), blocks);
  EXPECT_EQ(MakeProfileSpline(doc, Vector(), Vector(1, 0, 0), 0), nullptr);
  hostgeo::FailModelingCommand(1);
  EXPECT_EQ(MakeProfileSpline(doc, Vector(), Vector(1, 0, 0), 8), nullptr);
  EXPECT_EQ(hostmem::LiveBlocks(), blocks);
  // Nothing stays in the scene.
  EXPECT_EQ(doc->SearchObject("profile"), nullptr);
}

// The fit takes the selection as the host lists it: in scene order, and a
// selected object inside another selected one only with that one.
TEST_F(FitTest, SelectionAsTheHostListsIt) {
  BaseObject* a = Box("a", Vector(), Vector(1, 1, 1));
  BaseObject* b = Box("b", Vector(), Vector(1, 1, 1));
  BaseObject* inner = Box("inner", Vector(), Vector(1, 1, 1), a);
  doc->SetActiveObject(b);
  doc->SetActiveObject(inner, SELECTION_ADD);
  doc->SetActiveObject(a, SELECTION_ADD);
  AtomArray sel;
  doc->GetActiveObjects(sel, GETACTIVEOBJECTFLAGS_NONE);
  ASSERT_EQ(sel.GetCount(), 2);
  EXPECT_EQ(sel.GetIndex(0), a);
  EXPECT_EQ(sel.GetIndex(1), b);
  doc->GetActiveObjects(sel, GETACTIVEOBJECTFLAGS_CHILDREN | GETACTIVEOBJECTFLAGS_SELECTIONORDER);
  ASSERT_EQ(sel.GetCount(), 3);
  EXPECT_EQ(sel.GetIndex(0), b);
  EXPECT_EQ(sel.GetIndex(1), inner);
  EXPECT_EQ(doc->GetActiveObject(), a);
  // Taken out of the selection, or out of the scene: no longer listed.
  doc->SetActiveObject(a, SELECTION_SUB);
  EXPECT_EQ(doc->GetActiveObject(), inner);
  BaseObject::Free(b);
  doc->GetActiveObjects(sel, GETACTIVEOBJECTFLAGS_NONE);
  ASSERT_EQ(sel.GetCount(), 1);
  EXPECT_EQ(sel.GetIndex(0), inner);
  doc->SetActiveObject(nullptr);
  doc->GetActiveObjects(sel, GETACTIVEOBJECTFLAGS_NONE);
  EXPECT_EQ(sel.GetCount(), 0);
  EXPECT_EQ(doc->GetActiveObject(), nullptr);
}

}  // namespace
