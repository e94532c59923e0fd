// Command markers, the scene's half: the children of the object a Car links
// as its command group (LONG 1920). Each marker carries a VantoCommands tag
// whose blocks start when the car's body comes within the marker's radius.
// This file finds the marker the car reaches, reads its tag into the
// engine's records and answers the slots' questions about curves and aim
// targets; the engine (engine/commands.h) plays the slots: steering, pedals,
// aiming, the wheel-slip switches and an output curve, through the ramp
// setters at the car's command level.
#pragma once

#include "scene/carstate.h"

class BaseContainer;
class BaseDocument;

// Parameters of the VantoCommands tag that the run reads (the tag sets them
// up; see tvantocommands.h).
enum CommandTagParam : LONG {
  CMD_PEDAL_ON = 1000,            // Bool
  CMD_PEDAL_CHANNEL = 1001,       // LONG: 1 throttle, 2 brake, 3 handbrake, 4 reverse
  CMD_PEDAL_LEAD_IN = 1020,       // Real, s
  CMD_PEDAL_DURATION = 1021,      // Real, s: x range of the pedal curve
  CMD_PEDAL_RETURN = 1022,        // Real, s
  CMD_PEDAL_CURVE = 1030,         // SplineData, y in percent
  CMD_STEER_ON = 1100,            // Bool
  CMD_STEER_LEAD_IN = 1120,       // Real, s
  CMD_STEER_DURATION = 1121,      // Real, s: x range of the steering curve
  CMD_STEER_RETURN = 1122,        // Real, s
  CMD_STEER_CURVE = 1130,         // SplineData, y in percent, steering is -y / 100
  CMD_TRACTION_ON = 1200,         // Bool: set the traction control ...
  CMD_TRACTION_VALUE = 1201,      // Bool: ... to this
  CMD_ABS_ON = 1250,              // Bool: set the brake-slip control ...
  CMD_ABS_VALUE = 1251,           // Bool: ... to this
  CMD_AIM_ON = 1300,              // Bool
  CMD_AIM_DURATION = 1311,        // Real, s
  CMD_AIM_TARGET = 1320,          // link
  CMD_AIM_ANIMATE_TARGET = 1321,  // Bool: play the target's animation along
  CMD_AIM_PARTS = 1325,           // LONG bits: 2 steering, 1 pedals
  CMD_AIM_DIRECTION = 1330,       // LONG: 1 forward, 4 backward
  CMD_AIM_STOP_DISTANCE = 1340,   // Real, scene units
  CMD_AIM_STOP_BRAKE = 1341,      // Real, fraction of full brake
  CMD_AIM_COAST_DISTANCE = 1350,  // Real, scene units, at least stop + 10
  CMD_AIM_PEDAL = 1351,           // Real, fraction
  CMD_AIM_PROPORTIONAL = 1352,    // Bool
  CMD_OUTPUT_ON = 1400,           // Bool
  CMD_OUTPUT_DURATION = 1421,     // Real, s: x range of the output curve
  CMD_OUTPUT_MIN = 1425,          // Real
  CMD_OUTPUT_MAX = 1426,          // Real, at least the minimum
  CMD_OUTPUT_CURVE = 1430,        // SplineData, y unscaled
  CMD_CONDITION = 2000,           // LONG: 0 always, 1 standing, 2 not reversing, 3 not in a forward gear
  CMD_DRAW_PEDAL_MAX = 4031,      // Real, derived for drawing
  CMD_DRAW_STEER_MIN = 4130,      // Real, derived for drawing
  CMD_DRAW_STEER_MAX = 4131,      // Real, derived for drawing
};

// Radius of a marker: the marker object's own Real 1001 (a Null's display
// radius).
inline constexpr LONG kMarkerRadiusParam = 1001;
// Start of a run: no marker applied, three idle slots, no output, and the
// command level from the Car's LONG 1922 (× 0.1). The Car's output
// parameter 2553 is cleared. Returns true.
Bool ResetCommandState(BaseDocument* doc, BaseContainer& bc, CarState& car);
// The same without the Car's container: the level is then taken from the
// container at the first refresh.
void ResetCommandState(CarState& car);

// One input refresh: the marker search (which may apply a marker), then the
// three slots in order. Without a command group nothing happens.
void EvaluateCommandTag(BaseDocument* doc, const BaseContainer& bc, CarState& car);
