// The boundary between the model (SI units, engine axes, Mat3) and the
// car's record (scene units, host axes, host Matrices): results out of the
// model, the run-output reset, the body-only set-up for a car outside a run,
// and the axis conversions.
//
// Engine axes: x = host z (forward), y = host x, z = host y (up). A host
// vector (x, y, z) enters as (z, x, y) and leaves as (y, z, x).
#pragma once

#include "carstate.h"
#include "vmath.h"

inline constexpr int32 kStatusNotFinite = -1000;

inline void DynamicsToHostAxes(Vector& out, const Vec3& v) { out = Vector(v.y, v.z, v.x); }
inline void HostToDynamicsAxes(const Vector& v, Vec3& out) { out = Vec3(v.z, v.x, v.y); }
// Rotation only; the offset is zero.
void Mat3ToHostMatrix(Matrix& out, const Mat3& m);
void HostMatrixToMat3(const Matrix& in, Mat3& m);

// Copies the model's results into the record: the body (matrix, velocity,
// angular velocity) when `body` is set, the wheels, speed, gear and rpm when
// `wheels` is set. -1000 for a non-finite body state or an engine speed that
// cannot be an rpm value (or jumps by more than 100000 rpm); nothing of the
// refused part is written.
int32 StoreDynamicsResults(CarState& car, int32 body, int32 wheels);

// Clears the run outputs and the run-time inputs before a model is built.
void ResetCarRunState(CarState& car);
