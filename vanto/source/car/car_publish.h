// Publication of a car's simulated state onto the scene: instrument needles,
// the brake light, spring helices, skid-mark rails, body deformation, the
// attached parts, the read-only outputs and the output object. The body,
// wheels and suspension are moved by the car's evaluation before this.
#pragma once

#include "carsim/car_param_ids.h"
#include "scene/carstate.h"
#include "host_scene.h"

// Bits of the publication flags.
enum : LONG {
  PUBLISH_RUNNING = 1,    // the Sim runs: light, skid marks, deformation and parts
  PUBLISH_ANIMATION = 4,  // the host's animation pass
};

// Forward speeds below this lay no skid marks, m/s.
inline constexpr double kSkidMinSpeed = 0.2;

// Publishes the state; see the flags above. publishRig switches needles,
// light, springs, skid marks, deformation and parts; publishOutputs the
// outputs 2500 .. 2553; publishOutputObject (with publishOutputs) the copy
// into the output object. Returns bit 0x10 << i for every skid-mark rail i
// that received a point.
LONG PublishCarState(CarState& state, BaseDocument* doc, BaseObject* op, LONG publishFlags, LONG publishOutputs,
                     LONG publishRig, LONG publishOutputObject);

// The forward speed (m/s) of the body: velocity along the body's z axis, 0
// when negative.
double ForwardSpeed(const CarState& state);
