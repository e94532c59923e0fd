// Scene objects a running car borrows (route piece, ground object, marker,
// commands tag) deleted between two frames of playback: the next frames
// must not read them (AddressSanitizer reports any such read) and the car
// drives on without them.
#include <functional>

#include "route_fixture.h"
#include "scene/markers.h"
#include "tags/tag_ground.h"

namespace {

using routetest::RouteTest;

class BorrowedDeleted : public RouteTest {
 public:
  void SetUp() override {
    RouteTest::SetUp();
    if (HasFatalFailure()) return;
    sim = AddSim();
    routes = Null(doc, nullptr, "routes", Vector());
    road = Spline(routes, {Vector(0, 0, 0), Vector(0, 0, 60000)});
    Tag(road, {{36, 0.2}, {36, 1.0}});
    sweep = SweepRoute(routes, {Vector(0, 0, 60000), Vector(0, 0, 90000)});

    grounds = Null(doc, nullptr, "grounds", Vector());
    quad = PolygonObject::Alloc(4, 1);
    const Vector corners[4] = {Vector(-5000, 0, -5000), Vector(-5000, 0, 95000), Vector(5000, 0, 95000),
                               Vector(5000, 0, -5000)};
    for (int k = 0; k < 4; ++k) quad->GetPointW()[k] = corners[k];
    quad->GetPolygonW()[0] = CPolygon(0, 1, 2, 3);
    doc->InsertObject(quad, grounds, nullptr);
    quad->MakeTag(ID_VANTOGROUND);

    markers = Null(doc, nullptr, "markers", Vector());
    marker = Null(doc, markers, "start", Vector());
    marker->GetDataInstance()->SetReal(kMarkerRadiusParam, 1000.0);
    BaseContainer& tag = *marker->MakeTag(ID_VANTOCOMMANDS)->GetDataInstance();
    tag.SetBool(CMD_PEDAL_ON, true);
    tag.SetLong(CMD_PEDAL_CHANNEL, 1);
    tag.SetReal(CMD_PEDAL_DURATION, 5.0);
    SplineData* s = SplineData::Alloc();
    s->SetRange(0.0, 5.0, 0.05, 0.0, 100.0, 1.0);
    s->InsertKnot(0.0, 40.0, 0x20);
    s->InsertKnot(5.0, 40.0, 0x20);
    tag.SetData(CMD_PEDAL_CURVE, GeData(*s));
    SplineData::Free(s);

    car = AddCar(sim);
    BaseContainer* bc = car->GetDataInstance();
    bc->SetLink(CAR_ROUTE_GROUP, routes);
    bc->SetLong(CAR_START_MODE, 1);
    bc->SetLink(CAR_GROUND_GROUP, grounds);
    bc->SetLink(CAR_COMMAND_GROUP, markers);
  }

  static void Delete(BaseObject* op) {
    op->Remove();
    BaseObject::Free(op);
  }

  BaseObject *sim = nullptr, *routes = nullptr, *road = nullptr, *sweep = nullptr;
  BaseObject *grounds = nullptr, *markers = nullptr, *marker = nullptr, *car = nullptr;
  PolygonObject* quad = nullptr;
};

TEST_F(BorrowedDeleted, EachKindIsDroppedBeforeTheNextStep) {
  struct Case {
    const char* what;
    std::function<void(BorrowedDeleted&)> remove;
    std::function<void(const CarState&)> check;
  };
  const Case cases[] = {
      {"route piece", [](BorrowedDeleted& t) { Delete(t.road); },
       [](const CarState& s) {
         EXPECT_EQ(s.autopilot.routeObject, nullptr);
         EXPECT_EQ(s.autopilot.routeSpline, nullptr);
       }},
      {"ground object", [](BorrowedDeleted& t) { Delete(t.quad); },
       [](const CarState& s) {
         for (int w = 0; w < 4; ++w) EXPECT_EQ(s.wheelGroundRecords[w].groundObject, nullptr) << w;
       }},
      {"marker tag", [](BorrowedDeleted& t) { t.marker->KillTag(ID_VANTOCOMMANDS); },
       [](const CarState& s) {
         for (const BaseContainer* settings : s.commands.slotSettings) EXPECT_EQ(settings, nullptr);
       }},
      {"marker group", [](BorrowedDeleted& t) { Delete(t.markers); },
       [](const CarState& s) {
         EXPECT_EQ(s.commands.lastMarker, nullptr);
         for (const BaseContainer* settings : s.commands.slotSettings) EXPECT_EQ(settings, nullptr);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    for (LONG f = 1; f <= 15; ++f) Frame(f);
    const CarState& s = State(car);
    ASSERT_EQ(s.autopilot.routeSpline, road);
    ASSERT_EQ(s.wheelGroundRecords[0].groundObject, quad);
    ASSERT_EQ(s.commands.lastMarker, marker);
    ASSERT_EQ(s.commands.slots[kSlotPedal].mode, kCommandThrottleCurve);
    c.remove(*this);
    for (LONG f = 16; f <= 30; ++f) Frame(f);
    c.check(s);
    EXPECT_GT(s.speed, 0.5);
    EXPECT_TRUE(hostlog::Dialogs().empty());
  }
}

// The rail of a sweep route deleted while the car drives on it.
TEST_F(BorrowedDeleted, ASweepsRailDeletedUnderTheCar) {
  car->GetDataInstance()->SetLink(CAR_ROUTE_GROUP, routes);
  Delete(road);  // the sweep is now the first piece
  for (LONG f = 1; f <= 15; ++f) Frame(f);
  const CarState& s = State(car);
  ASSERT_EQ(s.autopilot.routeObject, sweep);
  BaseObject* rail = sweep->GetDown()->GetNext();
  ASSERT_EQ(s.autopilot.routeSpline, rail);
  Delete(rail);
  for (LONG f = 16; f <= 30; ++f) Frame(f);
  EXPECT_EQ(s.autopilot.routeSpline, nullptr);
  EXPECT_EQ(s.autopilot.routeIsGround, 0);
}

}  // namespace
