// The car's evaluation: in a run it moves its rig from the simulated state
// and publishes the rest of the state, leaving the bake keys to its caller;
// outside a run, at
// document time 0 only, it resets after a run and lays its rig out in the
// edit form (body centred, wheels and suspension symmetric and clamped),
// then stores the rest pose.
#pragma once

#include "scene/carstate.h"
#include "host_scene.h"

// What one evaluation leaves for the car's bake: placed is set when the run
// moved the rig this frame, with the Sim it runs in and the skid-mark rails
// that grew (bit 0x10 << i for rail i); bakeEnded when the run reached the
// last bake frame, placed or not.
struct CarBakeFrame {
  Bool placed = false;
  BaseObject* sim = nullptr;
  LONG skidMask = 0;
  Bool bakeEnded = false;
};

// One evaluation of the car op. bakePhase is the Car's current bake phase;
// flags are the host's execution flags (only EXECUTIONFLAGS_ANIMATION is
// looked at). Always EXECUTIONRESULT_OK.
EXECUTIONRESULT ExecuteCar(CarState& state, LONG bakePhase, BaseObject* op, BaseDocument* doc, LONG flags,
                           CarBakeFrame& bake);

// After the last bake frame the car's damage buffers and crash flag start
// clean for the next run.
void FinishBake(CarState& state);

// Moves body, wheels, spinners and suspension mounts to the simulated
// matrices. False when the body or a wheel hub is missing (the wheels after
// a missing one stay where they are).
Bool PlaceRigFromState(BaseDocument* doc, BaseObject* op, const CarState& state);

// The edit layout at time 0 (after the reset of a car that has run).
void LayOutCarRig(BaseDocument* doc, BaseObject* op, CarState& state);
