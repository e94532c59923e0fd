// Marker commands as the engine plays them: starting a marker's blocks in
// the car's three slots, and advancing each slot through its lead-in ramp,
// its curve (or its aim at a target) and its return ramp. Everything reaches
// the car through the input ramps at the car's command level, so a higher
// source (direct input) wins over it. The marker's tag is asked through
// CommandTag (engine/command_track.h).
//
// Places in host order (x, y, z with y up), scene units; times in s.
#pragma once

#include "engine/command_track.h"
#include "engine/control_ramps.h"
#include "engine/sim_settings.h"
#include "engine/vmath.h"

// The car as its commands read it, and what they drive.
struct CommandCar {
  Vec3 wheels[4];     // centres of the first four wheels: front pair, then rear pair
  Vec3 sideAxis;      // body x axis
  Vec3 forwardAxis;   // body z axis
  double maxSteerAngle = 0.0;  // rad
  double speed = 0.0;          // m/s
  int32 engagedGear = 0;
  const SimSettings& settings;
  InputRamps& inputs;
  int32& tractionControl;
  int32& brakeSlipControl;
  double& output;  // the output curve's value
};

// What starting or advancing did to a slot, so that the scene can link the
// slot to the marker's tag or let go of it.
enum CommandSlotChange : int32 { kSlotKept = 0, kSlotStarted = 1, kSlotStopped = 2 };

// True when a car at `car` is within `radius` of a marker at `marker`
// (across the ground: x and z only).
bool MarkerReaches(const Vec3& marker, double radius, const Vec3& car);

// The block's condition on the car's speed and gear.
bool CommandConditionMet(int32 condition, double speed, int32 engagedGear);

// Starts a marker's blocks in the order aim, steering, pedals, switches,
// output. False when a switched-on block finds no curve: the blocks before it
// stay started, the later ones do not start. `changes` receives, per slot,
// what was done to it last.
bool StartCommands(const CommandBlock& block, const CommandTag& tag, CommandTrackState& cs, CommandCar& car,
                   int32 changes[kCommandSlots]);

// One refresh of slot `index`: kSlotStopped when it stopped for good (its
// curve was removed), else kSlotKept. An idle slot is left alone.
int32 AdvanceCommandSlot(int32 index, CommandTag& tag, CommandTrackState& cs, CommandCar& car);

// Makes a slot idle.
inline void StopCommandSlot(CommandSlot& slot) { slot.mode = kCommandIdle; }
