// The car's viewport drawing: handles and guides, rig overlays, run overlays
// and the dashboard panel.
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include "draw_fixture.h"
#include "scene_build/draw_prims.h"
#include "host_services.h"
#include "scene/markers.h"

namespace {

using Pixel = std::pair<LONG, LONG>;

class CarDrawingTest : public CarDrawTest {
 protected:
  // Panel of car 0 in a 640 x 480 view.
  static constexpr Real kX = 10, kY = 479 - 94;

  static std::set<Pixel> PointsIn(const BaseDraw& bd, const Vector& colour, Real x0, Real y0, Real x1, Real y1) {
    std::set<Pixel> out;
    for (const DrawCall& c : Of(bd, DrawCall::kPoint2D, colour)) {
      const Vector& p = c.points[0];
      if (p.x >= x0 && p.x < x1 && p.y >= y0 && p.y < y1)
        out.insert({static_cast<LONG>(p.x), static_cast<LONG>(p.y)});
    }
    return out;
  }
  static std::set<Pixel> TextPixels(const String& text, Real x, Real y) {
    BaseDraw scratch;
    Vector at(x, y, 0);
    DrawBitmapText(text, at, &scratch);
    std::set<Pixel> out;
    for (const DrawCall& c : scratch.Calls())
      if (c.kind == DrawCall::kPoint2D) out.insert({static_cast<LONG>(c.points[0].x), static_cast<LONG>(c.points[0].y)});
    return out;
  }
  // The row of text at (x, y) in that colour reads exactly text.
  static void ExpectRow(const BaseDraw& bd, const String& text, Real x, Real y, const Vector& colour) {
    EXPECT_EQ(PointsIn(bd, colour, x, y, 640, y + 8), TextPixels(text, x, y)) << "\"" << text << "\"";
  }
  // x of every bar line drawn on that row, in drawing order.
  static std::vector<Real> BarLines(const BaseDraw& bd, Real row) {
    std::vector<Real> xs;
    for (const DrawCall& c : Of(bd, DrawCall::kLine2D))
      if (c.points[0].y == row) {
        EXPECT_EQ(c.points[0].x, c.points[1].x);
        EXPECT_EQ(c.points[1].y, row + 9);
        xs.push_back(c.points[0].x);
      }
    return xs;
  }
  static Vector Plus(const Vector& c, Real d) { return c + Vector(d, d, d); }
};

TEST_F(CarDrawingTest, SetUpTimeShowsHandlesRunTimeShowsTheRun) {
  bc->SetBool(CAR_DRAW_SECTOR, true);
  bc->SetReal(CAR_GAP_DISTANCE, 500);
  At(0.0);
  BaseDraw handles = Draw(DRAWPASS_HANDLES);
  EXPECT_EQ(handles.CountCalls(DrawCall::kHandle), 15);
  BaseDraw object = Draw(DRAWPASS_OBJECT);
  EXPECT_EQ(Of(object, DrawCall::kLine, kSuspensionCyan).size(), 4u);  // two axles, both sides
  EXPECT_EQ(Of(object, DrawCall::kLine, kCrumpleGreen).size(), 2u);    // the first axle's caster
  EXPECT_EQ(object.CountCalls(DrawCall::kPoint2D) + object.CountCalls(DrawCall::kLine2D), 0);
  EXPECT_EQ(Of(object, DrawCall::kCircle).size(), 8u);

  At(1.0);
  EXPECT_EQ(Draw(DRAWPASS_HANDLES).Calls().size(), 0u);
  object = Draw(DRAWPASS_OBJECT);
  EXPECT_EQ(Of(object, DrawCall::kLine, kSuspensionCyan).size(), 0u);
  EXPECT_EQ(Of(object, DrawCall::kLine, kCrumpleGreen).size(), 0u);
  EXPECT_GT(object.CountCalls(DrawCall::kPoint2D), 0);
  EXPECT_EQ(Of(object, DrawCall::kCircle).size(), 8u);

  // Passes other than the object and handle pass draw nothing.
  EXPECT_EQ(Draw(DRAWPASS_BOX).Calls().size(), 0u);
  EXPECT_EQ(Draw(DRAWPASS_HIGHLIGHTS).Calls().size(), 0u);
}

TEST_F(CarDrawingTest, HiddenCarOrParentDrawsNothing) {
  for (int hide_parent = 0; hide_parent < 2; ++hide_parent) {
    BaseObject* group = NewObject(Onull);
    if (hide_parent) {
      car->Remove();
      doc->InsertObject(car, group, nullptr);
      group->SetEditorMode(MODE_OFF);
      car->SetEditorMode(MODE_ON);
    } else {
      car->SetEditorMode(MODE_OFF);
    }
    for (Real t : {0.0, 1.0}) {
      At(t);
      EXPECT_EQ(Draw(DRAWPASS_OBJECT).Calls().size(), 0u) << hide_parent << " " << t;
      EXPECT_EQ(Draw(DRAWPASS_HANDLES).Calls().size(), 0u) << hide_parent << " " << t;
    }
  }
}

TEST_F(CarDrawingTest, NoBodyLinkNoRigOverlaysButTheDashboardStays) {
  bc->SetLink(RIG_BODY, nullptr);
  At(0.0);
  EXPECT_EQ(Draw(DRAWPASS_HANDLES).Calls().size(), 0u);
  EXPECT_EQ(Draw(DRAWPASS_OBJECT).CountCalls(DrawCall::kLine), 0);
  At(1.0);
  BaseDraw bd = Draw(DRAWPASS_OBJECT);
  EXPECT_EQ(bd.CountCalls(DrawCall::kLine), 0);
  EXPECT_GT(bd.CountCalls(DrawCall::kPoint2D), 0);
}

TEST(CarDashboardPanel, OriginInTheFrame) {
  const struct {
    LONG left, top, right, bottom, index;
    Bool shown;
    LONG x, y;
  } cases[] = {
      {0, 0, 639, 479, 0, true, 10, 385},
      {0, 0, 639, 479, 2, true, 370, 385},
      {0, 0, 639, 479, 3, true, 10, 291},     // 550 > 459: second row
      {0, 0, 999, 479, 5, true, 10, 291},     // 910 > 819: second row from its start
      {20, 10, 1019, 489, 4, true, 750, 395},
      {0, 0, 999, 479, 11, false, 0, 0},      // past the second row's end
      {0, 0, 179, 479, 0, false, 0, 0},       // narrower than a panel
      {0, 0, 639, 479, -1, false, 0, 0},      // no slot
      {0, 0, 639, 150, 3, false, 0, 0},       // the second row would start above the top
  };
  for (const auto& c : cases) {
    LONG x = -1, y = -1;
    EXPECT_EQ(DashboardPanelOrigin(c.left, c.top, c.right, c.bottom, c.index, x, y), c.shown) << c.index;
    if (c.shown) {
      EXPECT_EQ(x, c.x) << c.index;
      EXPECT_EQ(y, c.y) << c.index;
    }
  }
}

TEST_F(CarDrawingTest, BarsGrowWithTheirValues) {
  const Real nan = std::numeric_limits<Real>::quiet_NaN();
  const struct {
    Real throttle, brake, steer;
    LONG throttle_lines, brake_lines, steer_lines;
    Real steer_last;  // x of the last steering line
  } cases[] = {
      {0.0, 0.0, 0.0, 1, 1, 1, kX + 110},
      {1.0, 0.5, -0.5, 101, 51, 26, kX + 85},
      {0.25, 1.0, 0.5, 26, 101, 26, kX + 135},
      {0.009, 0.0, 1.0, 1, 1, 51, kX + 160},
      // Stored outputs out of range (or not numbers) are held to the range.
      {1e9, -3.0, -7.0, 101, 1, 51, kX + 60},
      {nan, nan, nan, 1, 1, 1, kX + 110},
  };
  At(1.0);
  for (const auto& c : cases) {
    bc->SetReal(2504, c.throttle);
    bc->SetReal(2505, c.brake);
    bc->SetReal(2507, c.steer);
    BaseDraw bd = Draw(DRAWPASS_OBJECT);
    const std::vector<Real> t = BarLines(bd, kY + 48), b = BarLines(bd, kY + 60), s = BarLines(bd, kY + 72);
    ASSERT_EQ(static_cast<LONG>(t.size()), c.throttle_lines) << c.throttle;
    ASSERT_EQ(static_cast<LONG>(b.size()), c.brake_lines) << c.brake;
    ASSERT_EQ(static_cast<LONG>(s.size()), c.steer_lines) << c.steer;
    EXPECT_EQ(t.front(), kX + 160);
    EXPECT_EQ(t.back(), kX + 160 - (c.throttle_lines - 1));
    EXPECT_EQ(b.front(), kX + 160);
    EXPECT_EQ(s.front(), kX + 110);
    EXPECT_EQ(s.back(), c.steer_last);
  }
}

TEST_F(CarDrawingTest, RowsShowSpeedRpmAndGear) {
  const struct {
    LONG gear;
    const char* shown;
  } cases[] = {{0, "    N"}, {-1, "    R"}, {-3, "    R"}, {4, "    4"}, {12, "   12"}};
  At(1.0);
  bc->SetReal(2500, 87.9);
  bc->SetLong(2502, 4250);
  for (const auto& c : cases) {
    bc->SetLong(2503, c.gear);
    BaseDraw bd = Draw(DRAWPASS_OBJECT);
    const Vector white(1, 1, 1);
    ExpectRow(bd, Data(car)->Labels().row[0] + "   87", kX, kY + 12, white);
    ExpectRow(bd, Data(car)->Labels().row[1] + " 4250", kX, kY + 24, white);
    ExpectRow(bd, Data(car)->Labels().row[2] + c.shown, kX, kY + 36, white);
  }
}

TEST_F(CarDrawingTest, TitleIsTheNameInCapitalsCutTo27) {
  const struct {
    const char* name;
    const char* shown;
  } cases[] = {
      {"Red car 2", "RED CAR 2"},
      {"a very long car name for the dashboard panel", "A VERY LONG CAR NAME FOR TH"},
  };
  At(1.0);
  for (const auto& c : cases) {
    car->SetName(c.name);
    BaseDraw bd = Draw(DRAWPASS_OBJECT);
    ExpectRow(bd, c.shown, kX, kY, Vector(0, 0, 0));
  }
}

TEST_F(CarDrawingTest, BarLabelsShowWhoDrives) {
  const struct {
    const char* what;
    LONG direct;
    int32 slot, mode;
    Real end;
    const char* labels[3];
    Real boost[3];
  } cases[] = {
      {"route", 0, kSlotPedal, -1, 0.0, {"R7", "R7", "R7"}, {0, 0, 0}},
      {"direct throttle", 2, kSlotPedal, -1, 0.0, {"DC", "R7", "R7"}, {0.3, 0, 0}},
      {"direct brake and steering", 4 | 1, kSlotPedal, -1, 0.0, {"R7", "DC", "DC"}, {0, 0.3, 0.3}},
      {"brake curve", 0, kSlotPedal, kCommandBrakeCurve, 5.0, {"R7", "M1", "R7"}, {0, 0.15, 0}},
      {"reverse curve", 0, kSlotPedal, kCommandReverseCurve, 5.0, {"M1", "R7", "R7"}, {0.15, 0, 0}},
      {"aiming the pedals", 0, kSlotPedal, kCommandAimForward, 5.0, {"M1", "M1", "R7"}, {0.15, 0.15, 0}},
      {"steering curve", 0, kSlotSteer, kCommandSteerCurve, 5.0, {"R7", "R7", "M1"}, {0, 0, 0.15}},
      {"direct input wins", 2, kSlotPedal, kCommandThrottleCurve, 5.0, {"DC", "R7", "R7"}, {0.3, 0, 0}},
      {"window over", 0, kSlotPedal, kCommandThrottleCurve, -1.0, {"R7", "R7", "R7"}, {0, 0, 0}},
      // An idle slot with an end time left from an earlier run drives nothing.
      {"idle slot", 0, kSlotPedal, kCommandIdle, 5.0, {"R7", "R7", "R7"}, {0, 0, 0}},
  };
  const Vector base[3] = {kThrottleBar, kBrakeBar, kSteerBar};
  At(1.0);
  s->autopilot.routeLabel = "R7";
  s->commands.markerLabel = "M1";
  for (const auto& c : cases) {
    bc->SetLong(9900, c.direct);
    for (CommandSlot& slot : s->commands.slots) slot = CommandSlot();
    s->commands.slots[c.slot].mode = c.mode;
    s->commands.slots[c.slot].curveEnd = c.end;
    BaseDraw bd = Draw(DRAWPASS_OBJECT);
    for (int b = 0; b < 3; ++b) {
      const Real row = kY + 48 + 12 * b;
      // The row's caption shares the band with the bar's label.
      std::set<Pixel> expected = TextPixels(Data(car)->Labels().row[3 + b], kX, row);
      for (const Pixel& p : TextPixels(c.labels[b], kX + 60, row)) expected.insert(p);
      EXPECT_EQ(PointsIn(bd, Vector(1, 1, 1), kX, row, 640, row + 8), expected) << c.what << " bar " << b;
      size_t coloured = 0;
      for (const DrawCall& line : Of(bd, DrawCall::kLine2D, Plus(base[b], c.boost[b])))
        if (line.points[0].y == row) ++coloured;
      EXPECT_EQ(coloured, 1u) << c.what << " bar " << b;  // one line at rest
    }
  }
}

TEST_F(CarDrawingTest, SlipIndicatorsLightWhileTheyAct) {
  const struct {
    LONG cut;
    int32 on;
    const char* white;
    bool dark;
  } cases[] = {{1, 0, "   TC", false}, {1, 1, "   TC", false}, {0, 1, "", true}, {0, 0, "", false}};
  At(1.0);
  const Real tc_x = kX + 22 * 6;
  for (const auto& c : cases) {
    bc->SetLong(2508, c.cut);
    bc->SetLong(2509, c.cut);
    s->dynamics.tractionControl = c.on;
    s->dynamics.brakeSlipControl = c.on;
    BaseDraw bd = Draw(DRAWPASS_OBJECT);
    ExpectRow(bd, Data(car)->Labels().row[3] + c.white, kX, kY + 48, Vector(1, 1, 1));
    ExpectRow(bd, Data(car)->Labels().row[4] + (c.cut ? "  ABS" : ""), kX, kY + 60, Vector(1, 1, 1));
    EXPECT_EQ(PointsIn(bd, Vector(0, 0, 0), tc_x, kY + 48, 640, kY + 56),
              c.dark ? TextPixels("   TC", tc_x, kY + 48) : std::set<Pixel>());
    EXPECT_EQ(PointsIn(bd, Vector(0, 0, 0), tc_x, kY + 60, 640, kY + 68),
              c.dark ? TextPixels("  ABS", tc_x, kY + 60) : std::set<Pixel>());
  }
}

TEST_F(CarDrawingTest, SixWheelsAddAHandleWithItsGuide) {
  s->wheelCount = 6;
  bc->SetVector(RIG_REST_HUB + 5, Vector(80, 33, -300));
  At(0.0);
  BaseDraw bd = Draw(DRAWPASS_HANDLES);
  const std::vector<DrawCall> handles = Of(bd, DrawCall::kHandle);
  ASSERT_EQ(handles.size(), 16u);
  for (size_t i = 0; i < handles.size(); ++i) {
    EXPECT_EQ(handles[i].color, i < 7 ? kHandleOrange : kHandleYellow) << i;
    EXPECT_EQ(handles[i].size, DRAWHANDLE_MIDDLE);
  }
  ExpectNear(handles[15].points[0], Vector(80, 0, -300), "extra axle handle");
  bool guide = false;
  for (const DrawCall& c : Of(bd, DrawCall::kLine, kHandleYellow))
    guide = guide || (c.points[0] == Vector(80, 0, -300) && c.points[1] == Vector(80, 0, 0));
  EXPECT_TRUE(guide);
}

TEST_F(CarDrawingTest, HighlightedHandleIsRedrawnWhite) {
  At(0.0);
  BaseDraw bd;
  bd.SetHighlightHandle(kHandleRoofFront);
  DrawInto(bd, DRAWPASS_HANDLES);
  const std::vector<DrawCall> handles = Of(bd, DrawCall::kHandle);
  ASSERT_EQ(handles.size(), 16u);
  EXPECT_EQ(handles.back().color, Vector(1, 1, 1));
  ExpectNear(handles.back().points[0], Vector(0, 130, 34), "roof front edge");

  BaseDraw beyond;
  beyond.SetHighlightHandle(40);
  DrawInto(beyond, DRAWPASS_HANDLES);
  EXPECT_EQ(beyond.CountCalls(DrawCall::kHandle), 15);
}

TEST_F(CarDrawingTest, BodyBoxColourTellsTheCarsState) {
  const struct {
    Real t;
    bool marker, crashed;
    Vector colour;
  } cases[] = {
      {0.0, false, false, Vector(1, 1, 1)}, {1.0, true, false, kHandleYellow}, {0.0, true, false, Vector(1, 1, 1)},
      {1.0, true, true, kAlertRed},         {0.0, false, true, kAlertRed},
  };
  BaseObject* marker = NewObject(Onull);
  for (const auto& c : cases) {
    At(c.t);
    s->commands.lastMarker = c.marker ? marker : nullptr;
    s->dynamics.crashFlag = c.crashed;
    BaseDraw bd = Draw(DRAWPASS_OBJECT);
    const std::vector<DrawCall> lines = Of(bd, DrawCall::kLine);
    ASSERT_GE(lines.size(), 24u);
    // The box, then the three cabin outlines, all in the box's colour.
    for (size_t k = 0; k < 24; ++k) EXPECT_EQ(lines[k].color, c.colour) << k;
  }
  s->commands.lastMarker = nullptr;
}

TEST_F(CarDrawingTest, CrumpleBoxOnlyWithTheTag) {
  At(1.0);
  EXPECT_EQ(Of(Draw(DRAWPASS_OBJECT), DrawCall::kLine, kCrumpleGreen).size(), 0u);
  s->flags = CARFLAG_CRUMPLE_TAG;
  bc->SetReal(CAR_CRUMPLE_FRONT, 60);
  bc->SetReal(CAR_CRUMPLE_REAR, 40);
  bc->SetReal(CAR_CRUMPLE_SIDE, 30);
  BaseDraw bd = Draw(DRAWPASS_OBJECT);
  const std::vector<DrawCall> box = Of(bd, DrawCall::kLine, kCrumpleGreen);
  ASSERT_EQ(box.size(), 12u);
  // Width 180 - 60, length 450 - 100, shifted 10 towards the rear.
  const Matrix M = Linked(RIG_BODY)->GetMg();
  Vector lo(1e9, 1e9, 1e9), hi(-1e9, -1e9, -1e9);
  for (const DrawCall& c : box)
    for (const Vector& p : c.points) {
      const Vector q = Invert(M) * p;
      lo = Vector(std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z));
      hi = Vector(std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z));
    }
  ExpectNear(lo, Vector(-60, -40, -185), "low corner", 1e-6);
  ExpectNear(hi, Vector(60, 40, 165), "high corner", 1e-6);
}

TEST_F(CarDrawingTest, CollisionOutlineWhileRunning) {
  s->flags = CARFLAG_CRUMPLE_TAG;
  CollisionOutline& o = s->collisionOutline;
  o.deformPoints = static_cast<Vec3*>(GeAlloc(8 * sizeof(Vec3)));
  ASSERT_NE(o.deformPoints, nullptr);
  o.deformPointCount = 4;
  const Vector square[4] = {Vector(-90, 0, 225), Vector(90, 0, 225), Vector(90, 0, -225), Vector(-90, 0, -225)};
  for (int i = 0; i < 4; ++i) o.deformPoints[i] = o.deformPoints[i + 4] = VectorToHostOrder(square[i]);
  const Matrix M = Linked(RIG_BODY)->GetMg();
  const struct {
    Real impact, green;
  } cases[] = {{0.0, 1.0}, {0.25, 0.75}, {3.0, 0.0}, {-2.0, 1.0}};
  At(1.0);
  for (const auto& c : cases) {
    s->impactValue = c.impact;
    BaseDraw bd = Draw(DRAWPASS_OBJECT);
    const Vector pen(228.0 / 255.0, c.green, 45.0 / 255.0);
    const std::vector<DrawCall> lines = Of(bd, DrawCall::kLine, pen), handles = Of(bd, DrawCall::kHandle, pen);
    ASSERT_EQ(lines.size(), 4u) << c.impact;
    ASSERT_EQ(handles.size(), 4u);
    for (int i = 0; i < 4; ++i) {
      ExpectNear(lines[i].points[1], M * square[(i + 1) % 4], "outline");
      EXPECT_EQ(handles[i].size, DRAWHANDLE_SMALL);
    }
  }
  bc->SetBool(CAR_DRAW_OUTLINE, false);
  EXPECT_EQ(Draw(DRAWPASS_OBJECT).CountCalls(DrawCall::kHandle), 0);
  At(0.0);
  bc->SetBool(CAR_DRAW_OUTLINE, true);
  EXPECT_EQ(Draw(DRAWPASS_OBJECT).CountCalls(DrawCall::kHandle), 0);
}

TEST_F(CarDrawingTest, WheelsUseTheirAxlesSize) {
  s->wheelCount = 6;
  for (LONG w = 4; w < 6; ++w) bc->SetLink(RIG_SPINNER + w, NewObject(Onull));
  // The extra axle's group picks its size; whether it steers does not matter.
  for (const LONG word : {0, 1, 256, 257}) {
    SCOPED_TRACE(word);
    bc->SetLong(RIG_AXLE_TYPE + 2, word);
    At(1.0);
    const std::vector<DrawCall> circles = Of(Draw(DRAWPASS_OBJECT), DrawCall::kCircle);
    ASSERT_EQ(circles.size(), 12u);
    for (size_t k = 0; k < circles.size(); ++k) {
      const LONG wheel = static_cast<LONG>(k / 2);
      const bool rear = wheel / 2 == 1 || (wheel / 2 == 2 && (word & 1));
      const Real r = rear ? 35.0 : 32.0;
      EXPECT_NEAR(circles[k].matrix.v1.GetLength(), r, 1e-9) << wheel;
      EXPECT_NEAR(circles[k].matrix.v2.GetLength(), r, 1e-9) << wheel;
      EXPECT_EQ(circles[k].color, wheel < 4 ? kWheelBlue : kExtraWheelBlue) << wheel;
    }
  }
}

TEST_F(CarDrawingTest, FollowingSectorColourAndReach) {
  bc->SetBool(CAR_DRAW_SECTOR, true);
  bc->SetReal(CAR_GAP_DISTANCE, 1000);
  bc->SetReal(CAR_GAP_MARGIN, 0.25);
  bc->SetReal(CAR_GAP_ANGLE, 0.5);
  const Vector colours[5] = {Vector(1, 1, 1), kHandleYellow, kHandleOrange, kAlertRed, kAlertRed};
  const Matrix M = Linked(RIG_BODY)->GetMg();
  At(1.0);
  for (int level = 0; level < 5; ++level) {
    s->autopilot.gapZone = level;
    BaseDraw bd = Draw(DRAWPASS_OBJECT);
    std::vector<DrawCall> lines;
    for (const DrawCall& c : Of(bd, DrawCall::kLine, colours[level]))
      if ((Invert(M) * c.points[1]).z > 225 + 1) lines.push_back(c);
    ASSERT_EQ(lines.size(), 6u) << level;
    // The outer outline reaches D (1 + k) beyond the front, the chevron D (1 - k).
    ExpectNear(Invert(M) * lines[2].points[0], Vector(0, 0, 225 + 1250), "far tip", 1e-6);
    ExpectNear(Invert(M) * lines[4].points[0], Vector(0, 0, 225 + 750), "near tip", 1e-6);
  }
  bc->SetReal(CAR_GAP_DISTANCE, 0);
  EXPECT_EQ(Of(Draw(DRAWPASS_OBJECT), DrawCall::kLine, kAlertRed).size(), 0u);
}

}  // namespace
