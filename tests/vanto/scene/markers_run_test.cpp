// Command markers in a Sim run: a car that starts at the first marker of its
// group takes that marker's pedal curve and output curve.
#include <cmath>

#include "../sim/sim_fixture.h"
#include "scene/markers.h"

namespace {

using simtest::VantoTest;

class MarkerRun : public VantoTest {
 protected:
  static void SetCurve(BaseContainer& bc, LONG id, Real xmax, Real y) {
    SplineData* s = SplineData::Alloc();
    s->SetRange(0.0, xmax, 0.05, 0.0, 100.0, 1.0);
    s->InsertKnot(0.0, y, 0x20);
    s->InsertKnot(xmax, y, 0x20);
    bc.SetData(id, GeData(*s));
    SplineData::Free(s);
  }
};

TEST_F(MarkerRun, ACarStartingAtItsFirstMarkerDrivesOffWithItsCommands) {
  BaseObject* sim = AddSim();
  BaseObject* car = AddCar(sim);
  BaseObject* group = Null(doc, nullptr, "Markers", Vector());
  BaseObject* start = Null(doc, group, "Start", Vector(400.0, 0.0, 300.0));
  start->GetDataInstance()->SetReal(kMarkerRadiusParam, 500.0);
  BaseContainer& tag = *start->MakeTag(ID_VANTOCOMMANDS)->GetDataInstance();
  tag.SetBool(CMD_PEDAL_ON, true);
  tag.SetReal(CMD_PEDAL_LEAD_IN, 0.2);
  tag.SetReal(CMD_PEDAL_DURATION, 3.0);
  SetCurve(tag, CMD_PEDAL_CURVE, 3.0, 60.0);
  tag.SetBool(CMD_OUTPUT_ON, true);
  tag.SetReal(CMD_OUTPUT_DURATION, 3.0);
  SetCurve(tag, CMD_OUTPUT_CURVE, 3.0, 42.0);
  BaseContainer* bc = car->GetDataInstance();
  bc->SetLink(CAR_COMMAND_GROUP, group);
  bc->SetLong(CAR_START_MODE, 2);

  Frame(1);
  ASSERT_EQ(sim->GetDataInstance()->GetLong(SIM_RUN_STATE), SIMSTATE_RUNNING);
  const CarState& s = State(car);
  EXPECT_NEAR(s.bodyMatrix.off.x, 400.0, 1.0);
  EXPECT_NEAR(s.bodyMatrix.off.z, 300.0, 1.0);
  for (LONG f = 2; f <= 31; ++f) Frame(f);
  EXPECT_EQ(s.commands.lastMarker, start);
  EXPECT_NEAR(s.ramps[kRampThrottle].current, 0.6, 1e-6);
  EXPECT_GT(s.bodyMatrix.off.z, 310.0);  // driven forward (+z)
  EXPECT_NEAR(s.bodyMatrix.off.x, 400.0, 5.0);
  EXPECT_EQ(s.commandOutput, 42.0);
  EXPECT_EQ(s.commands.markerName, String("Start"));
}

}  // namespace
