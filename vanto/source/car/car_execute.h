// The car's evaluation: in a run it moves its rig from the simulated state,
// publishes the rest of the state and records bake keys; outside a run, at
// document time 0 only, it resets after a run and lays its rig out in the
// edit form (body centred, wheels and suspension symmetric and clamped),
// then stores the rest pose.
#pragma once

#include "carstate.h"
#include "host_scene.h"

// One evaluation of the car op. bakePhase is the Car's current bake phase;
// flags are the host's execution flags (only EXECUTIONFLAGS_ANIMATION is
// looked at). Always EXECUTIONRESULT_OK.
EXECUTIONRESULT ExecuteCar(CarState& state, LONG bakePhase, BaseObject* op, BaseDocument* doc, LONG flags);

// Moves body, wheels, spinners and suspension mounts to the simulated
// matrices. False when the body or a wheel hub is missing (the wheels after
// a missing one stay where they are).
Bool PlaceRigFromState(BaseDocument* doc, BaseObject* op, const CarState& state);

// The edit layout at time 0 (after the reset of a car that has run).
void LayOutCarRig(BaseDocument* doc, BaseObject* op, CarState& state);
