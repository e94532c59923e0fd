// The boundary between the model (SI units, engine axes, Mat3) and the
// car's record (scene units, host axes, host Matrices): results out of the
// model and the run-output reset. The axis conversions are in frames.h.
#pragma once

#include "scene/carstate.h"
#include "scene/frames.h"
#include "engine/vmath.h"

inline constexpr int32 kStatusNotFinite = -1000;

// Copies the model's results into the record: the body (matrix, velocity,
// angular velocity) when `body` is set, the wheels, speed, gear and rpm when
// `wheels` is set. -1000 for a non-finite body state or an engine speed that
// cannot be an rpm value (or jumps by more than 100000 rpm); nothing of the
// refused part is written.
int32 StoreDynamicsResults(CarState& car, int32 body, int32 wheels);

// Clears the run outputs and the run-time inputs before a model is built.
void ResetCarRunState(CarState& car);
