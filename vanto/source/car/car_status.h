// What a Car learns of its surroundings: its add-on tags, its parent Sim's
// run state, its place among its sibling cars, and its dashboard captions.
#pragma once

#include "host_scene.h"

struct CarState;

// Parameters of the Sim that a car reads.
enum : LONG {
  SIM_RUNNING = 1001,    // Bool: the Sim runs its cars
  SIM_DISPLAY = 1003,    // Bool: instruments and display parts follow the run
  SIM_RUN_STATE = 5002,  // LONG, below
};

// The Sim's run state; a car sees CARSTATUS_DISPLAY added while the Sim's
// Bool 1003 is on.
enum : LONG {
  SIMSTATE_RESET = 0,
  SIMSTATE_RUNNING = 1,
  SIMSTATE_BAKED = 2,
  SIMSTATE_ERROR = 0x1000,
  CARSTATUS_DISPLAY = 0x100,
};

// Bits of CarState::flags.
enum : LONG {
  CARFLAG_CRUMPLE_TAG = 1,  // a crumple-zone tag made for a car sits on it
  CARFLAG_RIG_TAG = 2,      // likewise a wheel-rig tag
};

// Rebuilds the add-on bits of state.flags from op's tags. Under a Sim: status
// is its run state (plus CARSTATUS_DISPLAY) and the result the Sim, or null
// when the Sim is not running its cars (status still holds the run state).
// Without a Sim parent status is 0 and the result null.
BaseObject* QueryCarStatus(CarState& state, BaseObject* op, LONG& status);

// The number of Car objects before op under the same parent.
LONG CountPrecedingCars(BaseObject* op);

// The dashboard's row captions: upper case, padded or cut to this many
// characters. The Car keeps them beside its run record, which never reads
// them; empty until loaded.
inline constexpr LONG kHudLabelWidth = 22;
inline constexpr LONG kHudLabelCount = 6;
struct HudLabels {
  String row[kHudLabelCount];  // speed, rpm, gear, throttle, brake, steering
};
void LoadHudLabels(HudLabels& labels);

// Upper case for the dashboard font: ASCII letters and the Latin-1 letters
// of two-byte UTF-8 sequences; everything else is kept.
String HudUpperCase(const String& text);
// Cuts or pads (with blanks) text to exactly width characters, never
// splitting a UTF-8 sequence.
String FitToWidth(const String& text, LONG width);
