// A Car's parameters and rig objects turned into its physical model.
#pragma once

#include "carstate.h"

class BaseDocument;
class BaseObject;

// Reads the car's container and the positions of its body, engine and wheel
// objects (state.wheelCount wheels, at most 20), writes body size, bounding
// radius, total mass and weight, wheel matrices, tyre constants, aero factors
// and the slip switches into the record, and sets the model up. u is 1 /
// scene units per metre. The rig is put back to its rest pose first.
// 0; kStatusPartMissing (engine or wheel object missing); kStatusTorqueSpline
// (no torque curve); kStatusModelSetUp (the model refused the values).
int32 BuildCarModel(BaseDocument* doc, BaseObject* car, CarState& state, double u);
