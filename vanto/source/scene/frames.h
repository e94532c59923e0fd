// The one place where host axes and scene units meet the engine's axes and
// metres. Host: y up, scene units. Engine: x = host z (forward),
// y = host x, z = host y (up), metres. A host vector (x, y, z) enters as
// (z, x, y) and leaves as (y, z, x).
#pragma once

#include "host_math.h"
#include "engine/axis_frame.h"
#include "engine/vmath.h"

inline void DynamicsToHostAxes(Vector& out, const Vec3& v) { out = Vector(v.y, v.z, v.x); }
inline void HostToDynamicsAxes(const Vector& v, Vec3& out) { out = Vec3(v.z, v.x, v.y); }
// The same for an engine vector kept in host order (velocities of the car record).
inline Vec3 DynamicsToHostOrder(const Vec3& v) { return Vec3(v.y, v.z, v.x); }
// An engine vector already in host order and units (car-coordinate outline
// geometry) and the host vector with the same components. Engine arithmetic
// that does not care which way is up runs on these, so its sums go in the
// host's order and results match it bit for bit.
inline Vector HostOrderToVector(const Vec3& v) { return Vector(v.x, v.y, v.z); }
inline Vec3 VectorToHostOrder(const Vector& v) { return Vec3(v.x, v.y, v.z); }
// A host matrix and the engine frame with the same components.
inline AxisFrame MatrixToAxisFrame(const Matrix& m) {
  return AxisFrame{VectorToHostOrder(m.off), VectorToHostOrder(m.v1), VectorToHostOrder(m.v2), VectorToHostOrder(m.v3)};
}
inline Matrix AxisFrameToMatrix(const AxisFrame& f) {
  return Matrix(HostOrderToVector(f.off), HostOrderToVector(f.v1), HostOrderToVector(f.v2), HostOrderToVector(f.v3));
}

inline double MetresToScene(double metres, double unitsPerMetre) { return metres * unitsPerMetre; }
// A host point (scene units) in engine axes and metres, and back.
inline Vec3 HostPointToDynamics(const Vector& p, double unitsPerMetre) {
  Vec3 out;
  HostToDynamicsAxes(p / unitsPerMetre, out);
  return out;
}
inline Vector DynamicsPointToHost(const Vec3& p, double unitsPerMetre) {
  Vector out;
  DynamicsToHostAxes(out, p);
  return out * unitsPerMetre;
}
// A host-order engine vector in engine axes.
inline Vec3 HostOrderToDynamicsAxes(const Vec3& v) {
  Vec3 out;
  HostToDynamicsAxes(HostOrderToVector(v), out);
  return out;
}

// Rotation only; the offset is zero.
inline void Mat3ToHostMatrix(Matrix& out, const Mat3& m) {
  out.off = Vector();
  out.v1 = Vector(m(1, 1), m(2, 1), m(0, 1));
  out.v2 = Vector(m(1, 2), m(2, 2), m(0, 2));
  out.v3 = Vector(m(1, 0), m(2, 0), m(0, 0));
}

inline void HostMatrixToMat3(const Matrix& in, Mat3& m) {
  m = Mat3(in.v3.z, in.v1.z, in.v2.z,  //
           in.v3.x, in.v1.x, in.v2.x,  //
           in.v3.y, in.v1.y, in.v2.y);
}

// A wheel frame f (engine axes) in the form of the published wheel matrices:
// the frame's first column, its third, and its second negated. Offset zero.
inline Matrix WheelFrameToHostAxes(const Mat3& f) {
  return Matrix(Vector(), Vector(f(1, 0), f(2, 0), f(0, 0)), Vector(f(1, 2), f(2, 2), f(0, 2)),
                Vector(-f(1, 1), -f(2, 1), -f(0, 1)));
}
