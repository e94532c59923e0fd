// A Car's parameters and rig objects turned into its physical model.
#pragma once

#include "scene/carstate.h"
#include "scene/run_state.h"

class BaseDocument;
class BaseObject;

// Run statuses besides kStatusOk and kStatusNotFinite (run_state.h): the
// model build returns some, the run the others.
enum : int32 {
  kStatusBodyMissing = -3000,     // a car's body object (link 5600) is missing
  kStatusPartMissing = -3000,     // its engine or a wheel object is missing
  kStatusModelSetUp = -2000,      // the vehicle model refused the car
  kStatusTorqueSpline = 1000,     // the car has no torque curve
  kStatusOutlineFailed = 2000,    // the collision outline could not be built
  kStatusBadSettings = kStatusFailed,  // step, scale or target time not usable (start)
  kStatusBadAdvance = -kStatusFailed,  // the same found while advancing
};

// Reads the car's container and the positions of its body, engine and wheel
// objects (state.wheelCount wheels, at most 20), writes body size, bounding
// radius, total mass and weight, wheel matrices, tyre constants, aero factors
// and the slip switches into the record, and sets the model up. u is 1 /
// scene units per metre. The rig is put back to its rest pose first.
// 0; kStatusPartMissing (engine or wheel object missing); kStatusTorqueSpline
// (no torque curve); kStatusModelSetUp (the model refused the values).
int32 BuildCarModel(BaseDocument* doc, BaseObject* car, CarState& state, double u);
