// The route tag: its table buttons, the sort, the rescale when the spline's
// length changes, its markers and the run-time rows of its description.
#include <cmath>

#include "scene_build/draw_prims.h"
#include "host_draw.h"
#include "../scene/route_fixture.h"

namespace {

using routetest::RouteTest;

class RouteTag : public RouteTest {
 protected:
  static double Speed(const BaseTag* tag, LONG i) { return tag->GetDataInstance()->GetReal(ROUTETAG_SPEED + 2 * i); }
  static double Position(const BaseTag* tag, LONG i) {
    return tag->GetDataInstance()->GetReal(ROUTETAG_POSITION + 2 * i);
  }
  static LONG Count(const BaseTag* tag) { return tag->GetDataInstance()->GetLong(ROUTETAG_COUNT); }
  static bool Enabled(BaseTag* tag, LONG id) { return hostdesc::IsEnabled(tag, DescID(id)); }

  // Draws the tag and returns the recorded polygons.
  std::vector<DrawCall> DrawTag(BaseTag* tag, BaseObject* host) {
    BaseDraw bd;
    BaseDrawHelp bh(&bd, doc, host);
    EXPECT_TRUE(tag->GetNodeData<VantoRoute>()->Draw(tag, host, &bd, &bh));
    std::vector<DrawCall> polys;
    for (const DrawCall& c : bd.Calls())
      if (c.kind == DrawCall::kPolygon) polys.push_back(c);
    return polys;
  }
};

// Init sets the grip and leaves the count unset (it reads as 0): a new tag
// straight from the host, not through the fixture's table writer.
TEST_F(RouteTag, NewTagHasItsGripAndNoEntries) {
  BaseTag* tag = Spline(nullptr, {Vector(), Vector(0, 0, 1000)})->MakeTag(ID_VANTOROUTE);
  ASSERT_NE(tag, nullptr);
  EXPECT_DOUBLE_EQ(tag->GetDataInstance()->GetReal(ROUTETAG_GRIP), 0.98);
  EXPECT_EQ(tag->GetDataInstance()->GetType(ROUTETAG_COUNT), DA_NIL);
  EXPECT_EQ(Count(tag), 0);
  EXPECT_EQ(tag->GetNodeData<VantoRoute>()->MarkerSize(), 200.0);
  EXPECT_EQ(tag->GetNodeData<VantoRoute>()->DrawnLength(), 0.0);
}

TEST_F(RouteTag, AppendAndRemoveButtonsKeepTheCountWithinTheTable) {
  BaseTag* tag = Tag(Spline(nullptr, {Vector(), Vector(0, 0, 1000)}));
  EXPECT_TRUE(Enabled(tag, ROUTETAG_APPEND));
  EXPECT_FALSE(Enabled(tag, ROUTETAG_REMOVE));
  Press(tag, ROUTETAG_REMOVE);  // nothing to remove
  EXPECT_EQ(Count(tag), 0);

  Press(tag, ROUTETAG_APPEND);  // 50 km/h at the spline's end
  EXPECT_EQ(Count(tag), 1);
  EXPECT_EQ(Speed(tag, 0), 50.0);
  EXPECT_EQ(Position(tag, 0), 1.0);
  tag->GetDataInstance()->SetReal(ROUTETAG_SPEED, 70.0);
  tag->GetDataInstance()->SetReal(ROUTETAG_POSITION, 0.4);
  Press(tag, ROUTETAG_APPEND);  // copies the last entry
  EXPECT_EQ(Count(tag), 2);
  EXPECT_EQ(Speed(tag, 1), 70.0);
  EXPECT_EQ(Position(tag, 1), 0.4);
  EXPECT_TRUE(Enabled(tag, ROUTETAG_SORT));

  for (int k = 0; k < 120; ++k) Press(tag, ROUTETAG_APPEND);
  EXPECT_EQ(Count(tag), 100);
  EXPECT_FALSE(Enabled(tag, ROUTETAG_APPEND));
  Press(tag, ROUTETAG_REMOVE);
  EXPECT_EQ(Count(tag), 99);
  EXPECT_EQ(Speed(tag, 99), 70.0);  // left in the container, not counted

  // A count stored below zero counts as an empty table: appending starts the
  // table rather than writing below its first row.
  tag->GetDataInstance()->SetLong(ROUTETAG_COUNT, -3);
  tag->GetDataInstance()->SetReal(ROUTETAG_SPEED - 6, 123.0);
  Press(tag, ROUTETAG_APPEND);
  EXPECT_EQ(Count(tag), 1);
  EXPECT_EQ(Speed(tag, 0), 50.0);
  EXPECT_EQ(tag->GetDataInstance()->GetReal(ROUTETAG_SPEED - 6), 123.0);
}

TEST_F(RouteTag, SortOrdersTheEntriesByPosition) {
  BaseTag* tag = Tag(Spline(nullptr, {Vector(), Vector(0, 0, 1000)}), {{30, 0.8}, {60, 0.2}, {90, 0.5}});
  Press(tag, ROUTETAG_SORT);
  const double want[3][2] = {{60, 0.2}, {90, 0.5}, {30, 0.8}};
  for (LONG i = 0; i < 3; ++i) {
    EXPECT_EQ(Speed(tag, i), want[i][0]) << i;
    EXPECT_EQ(Position(tag, i), want[i][1]) << i;
  }
}

TEST_F(RouteTag, EnablingFollowsTheHost) {
  BaseObject* null = BaseObject::Alloc(Onull);
  doc->InsertObject(null, nullptr, nullptr);
  BaseTag* onNull = Tag(null, {{50, 1.0}, {50, 1.0}});
  for (LONG id : {LONG(ROUTETAG_GRIP), LONG(ROUTETAG_APPEND), LONG(ROUTETAG_SORT), LONG(ROUTETAG_SETUP_SWEEP)})
    EXPECT_FALSE(Enabled(onNull, id)) << id;

  BaseTag* onSpline = Tag(Spline(nullptr, {Vector(), Vector(0, 0, 1000)}));
  EXPECT_FALSE(Enabled(onSpline, ROUTETAG_SETUP_SWEEP));
  EXPECT_TRUE(Enabled(onSpline, ROUTETAG_GRIP));

  BaseObject* sweep = SweepRoute(nullptr, {Vector(), Vector(0, 0, 1000)});
  BaseTag* onSweep = Tag(sweep);
  EXPECT_TRUE(Enabled(onSweep, ROUTETAG_SETUP_SWEEP));
  Press(onSweep, ROUTETAG_SETUP_SWEEP);
  const BaseContainer* sc = sweep->GetDataInstance();
  const bool want[] = {false, true, false, true, false, true, false, false};  // 1005 .. 1012
  for (LONG id = 1005; id <= 1012; ++id) {
    EXPECT_EQ(sc->GetType(id), DA_LONG) << id;
    EXPECT_EQ(sc->GetBool(id), want[id - 1005]) << id;
  }
}

// The positions stay where they were in scene units: a spline drawn at
// length 1000 that becomes 2000 long halves them, one that becomes 500 long
// doubles them up to the end.
TEST_F(RouteTag, PositionsFollowTheSplinesLength) {
  SplineObject* sp = Spline(nullptr, {Vector(), Vector(0, 0, 1000)});
  BaseTag* tag = Tag(sp, {{50, 0.2}, {60, 0.6}});
  tag->Message(MSG_POINTS_CHANGED, nullptr);  // nothing drawn yet: no length to compare with
  EXPECT_EQ(Position(tag, 0), 0.2);

  DrawTag(tag, sp);
  EXPECT_DOUBLE_EQ(tag->GetNodeData<VantoRoute>()->DrawnLength(), 1000.0);
  sp->GetPointW()[1] = Vector(0, 0, 2000);
  tag->Message(MSG_POINTS_CHANGED, nullptr);
  EXPECT_DOUBLE_EQ(Position(tag, 0), 0.1);
  EXPECT_DOUBLE_EQ(Position(tag, 1), 0.3);
  // A second change notice before the next draw must not halve them again.
  tag->Message(MSG_POINTS_CHANGED, nullptr);
  EXPECT_DOUBLE_EQ(Position(tag, 0), 0.1);

  DrawTag(tag, sp);
  sp->GetPointW()[1] = Vector(0, 0, 500);
  tag->Message(MSG_POINTS_CHANGED, nullptr);
  EXPECT_DOUBLE_EQ(Position(tag, 0), 0.4);
  EXPECT_DOUBLE_EQ(Position(tag, 1), 1.0);  // 1.2 capped at the end
}

TEST_F(RouteTag, MarkersShowTheSpeedAtEachEntry) {
  SplineObject* sp = Spline(nullptr, {Vector(0, 0, 0), Vector(0, 0, 1000)});
  sp->SetRelPos(Vector(100, 0, 0));
  BaseTag* tag = Tag(sp, {{45.9, 0.5}, {120.0, 1.0}});
  const std::vector<DrawCall> polys = DrawTag(tag, sp);
  // Each marker: a disc of 12 triangles, then its digits in the shared
  // vector digits.
  auto triangles = [](const char* digits) {
    size_t n = 0;
    for (const char* c = digits; *c; ++c) n += VectorDigitStart()[*c - '0' + 1] - VectorDigitStart()[*c - '0'];
    return n;
  };
  ASSERT_EQ(polys.size(), 12u + triangles("45") + 12u + triangles("120"));
  const double size = 200.0;
  // The first disc lies around the entry's place, radius = marker size, flat.
  for (int k = 0; k < 12; ++k) {
    EXPECT_EQ(polys[k].world[2], Vector(100, 0, 500));
    EXPECT_NEAR((polys[k].world[0] - Vector(100, 0, 500)).GetLength(), size, 1e-4 * size);  // the shared disc table has 5 digits
    EXPECT_NEAR(polys[k].world[0].y, 0.0, 1e-9);
    EXPECT_EQ(polys[k].colors.at(0), Vector(0, 51, 153) / 255.0);
  }
  // Digits of 45 (45.9 truncated): white, raised by 5 above the marker, the
  // two-digit number placed about the entry (the marker of a spline heading
  // along +z has its x axis along world +x); 120, three digits, reaches
  // further to both sides.
  auto extent = [&](size_t from, size_t to, double Vector::*axis) {
    double lo = 1e300, hi = -1e300;
    for (size_t k = from; k < to; ++k)
      for (const Vector& p : polys[k].world) {
        lo = std::min(lo, p.*axis);
        hi = std::max(hi, p.*axis);
      }
    return std::pair(lo, hi);
  };
  const DrawCall& digit = polys[12];
  EXPECT_EQ(digit.colors.at(0), Vector(1, 1, 1));
  EXPECT_NEAR(digit.world[0].y, 5.0, 1e-9);
  const size_t first_end = 12 + triangles("45");
  const auto [lo45, hi45] = extent(12, first_end, &Vector::x);
  EXPECT_LT(lo45, 100.0);
  EXPECT_GT(hi45, 100.0);
  const size_t second = first_end + 12;
  const auto [lo120, hi120] = extent(second, polys.size(), &Vector::x);
  EXPECT_LT(lo120, lo45);
  EXPECT_GT(hi120 - lo120, hi45 - lo45);
  // The digits stand on the line 0.375 marker sizes before the entry.
  const auto [zlo, zhi] = extent(second, polys.size(), &Vector::z);
  EXPECT_NEAR(zlo, 1000 - 0.375 * size, 0.05 * size);
  EXPECT_GT(zhi, zlo);
}

TEST_F(RouteTag, OnASweepTheMarkersFollowItsRail) {
  BaseObject* sweep = SweepRoute(nullptr, {Vector(0, 0, 0), Vector(0, 0, 400)});
  BaseTag* tag = Tag(sweep, {{10, 0.25}});
  const std::vector<DrawCall> polys = DrawTag(tag, sweep);
  ASSERT_EQ(polys.size(), 12u + (VectorDigitStart()[2] - VectorDigitStart()[0]));  // "10"
  EXPECT_EQ(polys[0].world[2], Vector(0, 0, 100));

  // Without a rail, or with nothing to draw, nothing is drawn.
  BaseObject* rail = sweep->GetDown()->GetNext();
  BaseObject::Free(rail);
  EXPECT_TRUE(DrawTag(tag, sweep).empty());
  BaseTag* empty = Tag(Spline(nullptr, {Vector(), Vector(0, 0, 1)}));
  EXPECT_TRUE(DrawTag(empty, empty->GetObject()).empty());
}

TEST_F(RouteTag, DescriptionHasTwoRowsPerEntry) {
  BaseTag* tag = Tag(Spline(nullptr, {Vector(), Vector(0, 0, 1000)}), {{30, 0.8}, {60, 0.2}});
  Description desc;
  ASSERT_TRUE(hostdesc::GetNodeDescription(tag, &desc));
  ASSERT_NE(desc.Find(DescID(ROUTETAG_GRIP)), nullptr);
  for (LONG id : {LONG(ROUTETAG_SPEED), LONG(ROUTETAG_POSITION), LONG(ROUTETAG_SPEED + 2), LONG(ROUTETAG_POSITION + 2)}) {
    const DescEntry* e = desc.Find(DescID(id));
    ASSERT_NE(e, nullptr) << id;
    EXPECT_EQ(e->dtype, DA_REAL);
    EXPECT_EQ(e->parent, DescID(ROUTETAG_ROWS));
    EXPECT_EQ(e->settings.GetLong(DESC_ANIMATE), DESC_ANIMATE_OFF);
  }
  const BaseContainer& speed = desc.Find(DescID(ROUTETAG_SPEED))->settings;
  EXPECT_EQ(speed.GetString(DESC_NAME), GeLoadString(10096));
  EXPECT_EQ(speed.GetReal(DESC_MAX), 1000.0);
  EXPECT_EQ(speed.GetReal(DESC_STEP), 5.0);
  const BaseContainer& pos = desc.Find(DescID(ROUTETAG_POSITION))->settings;
  EXPECT_EQ(pos.GetString(DESC_NAME), GeLoadString(10097));
  EXPECT_EQ(pos.GetReal(DESC_MIN), 0.01);
  EXPECT_EQ(pos.GetLong(DESC_UNIT), DESC_UNIT_PERCENT);
  EXPECT_EQ(pos.GetLong(DESC_CUSTOMGUI), 1000489);
  EXPECT_EQ(desc.Find(DescID(ROUTETAG_SPEED + 4)), nullptr);

  // A stored count far beyond the table shows rows only up to the count's
  // own parameter, which keeps its type and place.
  tag->GetDataInstance()->SetLong(ROUTETAG_COUNT, 100000);
  Description big;
  ASSERT_TRUE(hostdesc::GetNodeDescription(tag, &big));
  EXPECT_NE(big.Find(DescID(1999)), nullptr);
  const DescEntry* count = big.Find(DescID(ROUTETAG_COUNT));
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->dtype, DA_LONG);

  // A refused row fails the description.
  tag->GetDataInstance()->SetLong(ROUTETAG_COUNT, 2);
  Description refused;
  LONG flags = 0;
  hostdesc::FailSetParameterAfter(2);
  EXPECT_FALSE(tag->GetNodeData<VantoRoute>()->GetDDescription(tag, &refused, flags));
  hostdesc::FailSetParameterAfter(0);
}

}  // namespace
