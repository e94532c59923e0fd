// The Sim's bake and rebuild buttons.
//
// Baking steps the document one frame at a time from the simulation start to
// the bake end, tells every collected car the frame's bake phase, lets the
// host evaluate the scene (the Sim advances its run, each car writes keys)
// and at the end switches the Sim off (run state 2) so that the keys play
// back. Escape stops it early in the same orderly way. Rebuilding clears the
// recorded keys of every car child, puts its rig back to rest and resets the
// Sim.
#pragma once

#include "host_scene.h"

class SimRunView;

// Text of the box that refuses a bake over keys already baked.
enum : LONG { IDS_SIM_ALREADY_BAKED = 10110 };

// sim is the Sim object and run its run; the cars are those its last
// collection gathered (re-read on every frame). A Sim already baked (run
// state 2) is not baked again: a message box says so and its keys stay.
void BakeSimulation(BaseDocument* doc, BaseObject* sim, SimRunView& run);
void RebuildCars(BaseDocument* doc, BaseObject* sim);
