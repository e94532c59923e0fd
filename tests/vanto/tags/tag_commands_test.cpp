// The commands tag: defaults and curves, re-validation and curve fitting,
// migration of old curves, enabling rules and the marker symbol.
#include <cmath>

#include "host_draw.h"
#include "../scene/markers_fixture.h"

namespace markertest {
namespace {

using CommandsTag = MarkerTest;

std::vector<Vector> Knots(const SplineData* s) {
  std::vector<Vector> out;
  for (const SplineKnot& k : s->Knots()) out.push_back(k.pos);
  return out;
}

TEST_F(CommandsTag, DefaultsAndTheirCurves) {
  BaseObject* m = NewMarker("A", Vector());
  const BaseContainer& bc = Tag(m);
  for (LONG id : {CMD_PEDAL_ON, CMD_STEER_ON, CMD_TRACTION_ON, CMD_ABS_ON, CMD_AIM_ON, CMD_OUTPUT_ON})
    EXPECT_FALSE(bc.GetBool(id)) << id;
  EXPECT_EQ(bc.GetLong(CMD_PEDAL_CHANNEL), 1);
  EXPECT_EQ(bc.GetLong(CMD_AIM_PARTS), 3);
  EXPECT_EQ(bc.GetLong(CMD_AIM_DIRECTION), 1);
  EXPECT_EQ(bc.GetLong(CMD_CONDITION), 0);
  EXPECT_DOUBLE_EQ(bc.GetReal(CMD_AIM_COAST_DISTANCE), 200.0);
  EXPECT_DOUBLE_EQ(bc.GetReal(CMD_DRAW_PEDAL_MAX), 0.5);

  struct Case {
    LONG id;
    Real xmax, ymin, ymax, ystep, y;
  } cases[] = {{CMD_PEDAL_CURVE, 4.0, 0.0, 100.0, 5.0, 50.0},
               {CMD_STEER_CURVE, 1.0, -100.0, 100.0, 5.0, 0.0},
               {CMD_OUTPUT_CURVE, 2.0, 0.0, 100.0, 1.0, 0.0}};
  for (const Case& c : cases) {
    const SplineData* s = Curve(bc, c.id);
    ASSERT_NE(s, nullptr) << c.id;
    Real x0, x1, xs, y0, y1, ys;
    s->GetRange(&x0, &x1, &xs, &y0, &y1, &ys);
    EXPECT_EQ(x0, 0.0);
    EXPECT_EQ(x1, c.xmax);
    EXPECT_EQ(xs, 0.05);
    EXPECT_EQ(y0, c.ymin);
    EXPECT_EQ(y1, c.ymax);
    EXPECT_EQ(ys, c.ystep);
    ASSERT_EQ(s->GetKnotCount(), 2) << c.id;
    EXPECT_EQ(s->GetKnot(0)->pos, Vector(0.0, c.y, 0.0));
    EXPECT_EQ(s->GetKnot(1)->pos, Vector(c.xmax, c.y, 0.0));
    EXPECT_EQ(s->GetKnot(0)->flags, 0x20);
  }

  // The description the host shows knows every parameter of the tag.
  Description d;
  ASSERT_TRUE(hostdesc::GetNodeDescription(m->GetTag(ID_VANTOCOMMANDS), &d));
  for (LONG id : {1000, 1001, 1020, 1021, 1022, 1030, 1100, 1120, 1121, 1122, 1130, 1200, 1201, 1250, 1251, 1300,
                  1311, 1320, 1321, 1325, 1330, 1340, 1341, 1350, 1351, 1352, 1400, 1421, 1425, 1426, 1430, 2000})
    EXPECT_NE(d.Find(DescID(id)), nullptr) << id;
}

TEST_F(CommandsTag, RevalidationKeepsDistancesAndBoundsInOrder) {
  struct Case {
    Real stop, coast, low, high;
    Real wantCoast, wantHigh;
  } cases[] = {
      {150.0, 155.0, 0.0, 100.0, 160.0, 100.0},
      {150.0, 500.0, 0.0, 100.0, 500.0, 100.0},
      {100.0, 200.0, 50.0, 20.0, 200.0, 50.0},
  };
  BaseObject* m = NewMarker("A", Vector());
  BaseTag* tag = m->GetTag(ID_VANTOCOMMANDS);
  BaseContainer& bc = Tag(m);
  for (const Case& c : cases) {
    bc.SetReal(CMD_AIM_STOP_DISTANCE, c.stop);
    bc.SetReal(CMD_AIM_COAST_DISTANCE, c.coast);
    bc.SetReal(CMD_OUTPUT_MIN, c.low);
    bc.SetReal(CMD_OUTPUT_MAX, c.high);
    EXPECT_TRUE(tag->Message(MSG_DESCRIPTION_VALIDATE));
    EXPECT_DOUBLE_EQ(bc.GetReal(CMD_AIM_COAST_DISTANCE), c.wantCoast);
    EXPECT_DOUBLE_EQ(bc.GetReal(CMD_OUTPUT_MAX), c.wantHigh);
    Real lo, hi;
    Curve(bc, CMD_OUTPUT_CURVE)->GetRange(nullptr, nullptr, nullptr, &lo, &hi, nullptr);
    EXPECT_EQ(lo, c.low);
    EXPECT_EQ(hi, c.wantHigh);
  }
}

TEST_F(CommandsTag, CurvesFollowTheirDurationsAndGiveTheDrawingExtremes) {
  BaseObject* m = NewMarker("A", Vector());
  BaseTag* tag = m->GetTag(ID_VANTOCOMMANDS);
  BaseContainer& bc = Tag(m);
  SetCurve(bc, CMD_PEDAL_CURVE, 4.0, {{0.0, 20.0}, {1.0, 70.0}, {4.0, 10.0}}, 0.0, 100.0);
  SetCurve(bc, CMD_STEER_CURVE, 1.0, {{0.0, -30.0}, {0.5, 60.0}, {1.0, 0.0}});
  bc.SetReal(CMD_PEDAL_DURATION, 8.0);
  bc.SetReal(CMD_OUTPUT_DURATION, 3.0);
  tag->Message(MSG_DESCRIPTION_VALIDATE);

  // Knot x doubles with the duration, knot y stays.
  const std::vector<Vector> pedal = Knots(Curve(bc, CMD_PEDAL_CURVE));
  ASSERT_EQ(pedal.size(), 3u);
  EXPECT_EQ(pedal[0], Vector(0.0, 20.0, 0.0));
  EXPECT_EQ(pedal[1], Vector(2.0, 70.0, 0.0));
  EXPECT_EQ(pedal[2], Vector(8.0, 10.0, 0.0));
  Real xmax;
  Curve(bc, CMD_PEDAL_CURVE)->GetRange(nullptr, &xmax, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(xmax, 8.0);
  EXPECT_EQ(Knots(Curve(bc, CMD_OUTPUT_CURVE)).back(), Vector(3.0, 0.0, 0.0));
  // Samples every 0.8 s: the largest is at 2.4 s, 70 - 60 * 0.4 / 6.
  EXPECT_NEAR(bc.GetReal(CMD_DRAW_PEDAL_MAX), 0.66, 1e-12);
  EXPECT_NEAR(bc.GetReal(CMD_DRAW_STEER_MIN), -0.3, 1e-12);
  EXPECT_NEAR(bc.GetReal(CMD_DRAW_STEER_MAX), 0.6, 1e-12);

  // A pedal curve at 0 everywhere: the peak is 0.
  SetCurve(bc, CMD_PEDAL_CURVE, 8.0, {{0.0, 0.0}, {8.0, 0.0}}, 0.0, 100.0);
  tag->Message(MSG_DESCRIPTION_VALIDATE);
  EXPECT_EQ(bc.GetReal(CMD_DRAW_PEDAL_MAX), 0.0);
}

TEST_F(CommandsTag, AZeroDurationNeverFoldsTheCurveAway) {
  BaseObject* m = NewMarker("A", Vector());
  BaseTag* tag = m->GetTag(ID_VANTOCOMMANDS);
  BaseContainer& bc = Tag(m);
  SetCurve(bc, CMD_STEER_CURVE, 1.0, {{0.0, 10.0}, {0.5, 40.0}, {1.0, 0.0}});
  bc.SetReal(CMD_STEER_DURATION, 0.0);
  tag->Message(MSG_DESCRIPTION_VALIDATE);
  bc.SetReal(CMD_STEER_DURATION, 2.0);
  tag->Message(MSG_DESCRIPTION_VALIDATE);
  const std::vector<Vector> k = Knots(Curve(bc, CMD_STEER_CURVE));
  ASSERT_EQ(k.size(), 3u);
  EXPECT_EQ(k[1], Vector(1.0, 40.0, 0.0));
  EXPECT_EQ(k[2], Vector(2.0, 0.0, 0.0));
  for (const Vector& p : k) EXPECT_TRUE(std::isfinite(p.x));
}

TEST_F(CommandsTag, FittingStopsAtTheFirstMissingCurve) {
  BaseObject* m = NewMarker("A", Vector());
  BaseContainer& bc = Tag(m);
  bc.RemoveData(CMD_PEDAL_CURVE);
  bc.SetReal(CMD_STEER_DURATION, 3.0);
  bc.SetReal(CMD_DRAW_PEDAL_MAX, 0.77);
  m->GetTag(ID_VANTOCOMMANDS)->Message(MSG_DESCRIPTION_VALIDATE);
  EXPECT_EQ(bc.GetReal(CMD_DRAW_PEDAL_MAX), 0.77);
  EXPECT_EQ(Knots(Curve(bc, CMD_STEER_CURVE)).back().x, 1.0);  // not fitted
  FitCommandCurves(nullptr);  // no container: nothing to do
}

TEST_F(CommandsTag, OldUnitCurvesAreBroughtIntoTheirRange) {
  BaseObject* m = NewMarker("A", Vector());
  BaseContainer& bc = Tag(m);
  SetCurve(bc, CMD_PEDAL_CURVE, 1.0, {{0.0, 0.2}, {1.0, 0.8}}, 0.0, 1.0);
  SetCurve(bc, CMD_STEER_CURVE, 1.0, {{0.0, 0.5}, {1.0, 1.0}}, 0.0, 1.0);
  SetCurve(bc, CMD_OUTPUT_CURVE, 1.0, {{0.0, 0.5}}, 0.0, 1.0);
  bc.SetReal(CMD_PEDAL_DURATION, 4.0);
  bc.SetReal(CMD_STEER_DURATION, 2.0);
  m->GetTag(ID_VANTOCOMMANDS)->Message(MSG_MULTI_DOCUMENTIMPORTED);
  const std::vector<Vector> pedal = Knots(Curve(bc, CMD_PEDAL_CURVE));
  EXPECT_NEAR(pedal[0].y, 20.0, 1e-9);
  EXPECT_NEAR(pedal[1].x, 4.0, 1e-9);
  EXPECT_NEAR(pedal[1].y, 80.0, 1e-9);
  const std::vector<Vector> steer = Knots(Curve(bc, CMD_STEER_CURVE));
  EXPECT_NEAR(steer[0].y, 0.0, 1e-9);
  EXPECT_NEAR(steer[1].x, 2.0, 1e-9);
  EXPECT_NEAR(steer[1].y, 100.0, 1e-9);
  EXPECT_EQ(Knots(Curve(bc, CMD_OUTPUT_CURVE))[0].y, 0.5);  // left alone
}

TEST_F(CommandsTag, EntriesAreEnabledByTheirBlockSwitch) {
  BaseObject* m = NewMarker("A", Vector());
  BaseTag* tag = m->GetTag(ID_VANTOCOMMANDS);
  BaseContainer& bc = Tag(m);
  auto enabled = [&](LONG id) { return tag->GetNodeData<VantoCommands>()->GetDEnabling(tag, DescID(id), GeData(), 0, nullptr); };
  struct Case {
    LONG id, sw;
  } cases[] = {{1001, 1000}, {1030, 1000}, {1099, 1000}, {1120, 1100}, {1130, 1100}, {1201, 1200},
               {1251, 1250}, {1311, 1300}, {1320, 1300}, {1325, 1300}, {1421, 1400}, {1430, 1400}};
  for (const Case& c : cases) {
    bc.SetBool(c.sw, false);
    EXPECT_FALSE(enabled(c.id)) << c.id;
    bc.SetBool(c.sw, true);
    EXPECT_TRUE(enabled(c.id)) << c.id;
  }
  // The pedal part of aiming needs its bit as well.
  bc.SetBool(CMD_AIM_ON, true);
  bc.SetLong(CMD_AIM_PARTS, 2);
  EXPECT_FALSE(enabled(CMD_AIM_DIRECTION));
  EXPECT_FALSE(enabled(CMD_AIM_PROPORTIONAL));
  bc.SetLong(CMD_AIM_PARTS, 1);
  EXPECT_TRUE(enabled(CMD_AIM_COAST_DISTANCE));
  for (LONG id : {1000, 1100, 1200, 1250, 1300, 1400, 2000, 4031}) EXPECT_TRUE(enabled(id)) << id;
}

class MarkerSymbol : public MarkerTest {
 protected:
  // The polygons the tag draws for a marker of radius r at (100, 0, 0).
  std::vector<DrawCall> Draw(BaseObject* m) {
    BaseDraw bd;
    BaseDrawHelp bh(&bd, doc, m);
    EXPECT_TRUE(m->GetTag(ID_VANTOCOMMANDS)->GetNodeData<TagData>()->Draw(m->GetTag(ID_VANTOCOMMANDS), m, &bd, &bh));
    std::vector<DrawCall> out;
    for (const DrawCall& c : bd.Calls())
      if (c.kind == DrawCall::kPolygon) out.push_back(c);
    return out;
  }
};

TEST_F(MarkerSymbol, HeadingAndBlocks) {
  const double r = 100.0;
  BaseObject* m = NewMarker("A", Vector(100.0, 0.0, 0.0), r);
  BaseContainer& bc = Tag(m);
  std::vector<DrawCall> calls = Draw(m);
  ASSERT_EQ(calls.size(), 1u);  // the heading triangle alone
  EXPECT_EQ(calls[0].flags, 0);
  EXPECT_NEAR((calls[0].world[0] - Vector(100.0, 0.0, 110.0)).GetLength(), 0.0, 1e-9);

  // A pedal curve at 0 everywhere still shows a bar 0.01 long.
  bc.SetBool(CMD_PEDAL_ON, true);
  bc.SetReal(CMD_DRAW_PEDAL_MAX, 0.0);
  calls = Draw(m);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_NEAR(calls[1].world[0].z - calls[1].world[2].z, 0.01, 1e-12);
  bc.SetBool(CMD_PEDAL_ON, false);

  // Steering samples from -30 to +60: bars of 0.27 r and 0.54 r.
  bc.SetBool(CMD_STEER_ON, true);
  bc.SetReal(CMD_DRAW_STEER_MIN, -0.3);
  bc.SetReal(CMD_DRAW_STEER_MAX, 0.6);
  calls = Draw(m);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_NEAR(calls[1].world[2].x - calls[1].world[1].x, 0.54 * r, 1e-9);
  EXPECT_NEAR(calls[2].world[2].x - calls[2].world[1].x, -0.27 * r, 1e-9);
  bc.SetBool(CMD_STEER_ON, false);

  // The follow arrow points along +z forwards and along -z backwards.
  bc.SetBool(CMD_AIM_ON, true);
  for (LONG dir : {1, 4}) {
    bc.SetLong(CMD_AIM_DIRECTION, dir);
    calls = Draw(m);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_DOUBLE_EQ(calls[1].world[2].z, dir == 1 ? 0.2 * r : -0.2 * r) << dir;
  }

  // Traction on, ABS off: a bright and a dim quad.
  bc.SetBool(CMD_AIM_ON, false);
  bc.SetBool(CMD_TRACTION_ON, true);
  bc.SetBool(CMD_TRACTION_VALUE, true);
  bc.SetBool(CMD_ABS_ON, true);
  calls = Draw(m);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_NEAR(calls[1].colors[0].y, 223.0 / 255.0 * 0.75, 1e-12);
  EXPECT_NEAR(calls[2].colors[0].x, 228.0 / 255.0 * 0.25, 1e-12);
}

TEST_F(MarkerSymbol, ATinyMarkerDrawsNothing) {
  BaseObject* m = NewMarker("A", Vector(), 0.05);
  Tag(m).SetBool(CMD_PEDAL_ON, true);
  EXPECT_TRUE(Draw(m).empty());
}

}  // namespace
}  // namespace markertest
