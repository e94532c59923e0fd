// The sprung mass of a car: one rigid body with full 3D rotation, assembled
// from solid primitives and moved by fixed classical fourth-order
// Runge-Kutta steps. State is kept in principal axes with the origin at the
// centre of mass; callers see it in the car's model frame through
// `principalAxes` and `referenceOffset`.
//
// Engine axes: x forward (host z), y sideways (host x), z up (host y);
// gravity acts along -z. SI units throughout.
#pragma once

#include <cstring>

#include "engine/engine_constants.h"
#include "engine/engine_globals.h"
#include "engine/vmath.h"

struct RigidBodyStartState {
  Vec3 position;
  Vec3 velocity;
  Vec3 angularVelocity;  // body axes
  Quat orientation;
  Mat3 rotation;
};

// One Runge-Kutta stage. The first stage's velocities are those of the
// start state, which the step reads there instead of a copy.
struct RigidBodyStage {
  Vec3 velocity;
  Vec3 angularVelocity;
  Vec3 velocityIncrement;
  Vec3 angularVelocityIncrement;
};

struct RigidBody {
  RigidBodyStartState startState;
  RigidBodyStage stageRecord[3];
  double mass = 0.0;
  double inverseMass = 0.0;
  double weightForce = 0.0;  // -mass * gravity, fixed when the mass is finished
  Vec3 centreOfMass;         // model frame, while assembling
  double firstMoment[3] = {};      // sums of m x, m y, m z about the model origin
  double inertiaDiagonal[3] = {};  // Ixx, Iyy, Izz about the model origin
  double inertiaProducts[3] = {};  // Pxy, Pyz, Pxz (the tensor holds -P off the diagonal)
  Mat3 principalAxes;              // rows: principal axes in model coordinates
  Vec3 referenceOffset;            // model origin seen from the centre of mass, principal axes
  double principalInertia[6] = {};   // I1, 1/I1, I2, 1/I2, I3, 1/I3
  double eulerCoefficients[3] = {};  // (I2-I3)/I1, (I3-I1)/I2, (I1-I2)/I3
  double linearDamping = 0.0;        // -(coefficient * mass)
  double angularDamping[3] = {};     // -(coefficient * Ii)
  Vec3 position;         // world position of the centre of mass
  Vec3 velocity;         // world velocity of the centre of mass
  Mat3 rotation;         // world-from-body
  Quat orientation;      // the same rotation
  Vec3 angularVelocity;  // body axes
  Vec3 force;            // accumulator, world axes
  Vec3 torque;           // accumulator, body axes
};

// ---- mass assembly ----
void SetBoxInertia(RigidBody& b, double halfX, double halfY, double halfZ, double mass);
int32 SetCylinderInertia(RigidBody& b, double radius, double length, double mass);
int32 SetSphereInertia(RigidBody& b, double radius, double mass);
void ClearRigidBodyMass(RigidBody& b);
// Adds `other`, placed at rotation R and offset t in b's model frame.
void MergeRigidBody(RigidBody& b, const RigidBody& other, const Mat3& R, const Vec3& t);
// Moves the origin to the centre of mass and finds the principal axes.
// Gravity must be set first (weightForce is fixed here).
void FinishRigidBodyMass(RigidBody& b);

// ---- process-wide values ----
void SetGravity(double g);
double GetGravity();
void SetStepSize(double h);

// ---- placing and loads ----
// p, v: model origin position and velocity (world); q: model orientation;
// w: angular velocity in model axes; cl, ca: damping coefficients.
void SetRigidBodyState(RigidBody& b, const Vec3& p, const Vec3& v, const Quat& q, const Vec3& w, double cl,
                       double ca);
void ApplyWorldForceAtPoint(RigidBody& b, const Vec3& F, const Vec3& P);
void ApplyBodyForceAtPoint(RigidBody& b, const Vec3& F, const Vec3& P);
void ApplyWorldTorque(RigidBody& b, const Vec3& T);
void ApplyWorldForceAtBodyPoint(RigidBody& b, const Vec3& F, const Vec3& P);
void BodyPointVelocity(const RigidBody& b, const Vec3& P, Vec3& out);
void WorldPointVelocity(const RigidBody& b, const Vec3& P, Vec3& out);
void BodyPointPositionAndVelocity(const RigidBody& b, const Vec3& P, Vec3& outPos, Vec3& outVel);
double RigidBodyEnergy(const RigidBody& b);
void RigidBodyMomenta(const RigidBody& b, Vec3& linear, Vec3& angular);

// ---- integration ----
void BeginBodyStep(RigidBody& b);
void IntegrateBodyStage1(RigidBody& b);
void IntegrateBodyStage2(RigidBody& b);
void IntegrateBodyStage3(RigidBody& b);
void FinishBodyStep(RigidBody& b);
void RestoreRigidBody(RigidBody& b);
void EulerBodyStep(RigidBody& b);

// The stages, always inline so that a caller stepping a body (a car's step)
// keeps them in its own routine, built for the registers it is built for;
// the functions above are the same.
#define VANTO_BODY_INLINE inline __attribute__((always_inline))

namespace body_step {

// Force and torque start every stage with gravity and the damping terms.
VANTO_BODY_INLINE void ResetAccumulators(RigidBody& b) {
  ScaleVec3(b.force, b.linearDamping, b.velocity);
  b.force.z += b.weightForce;
  b.torque = {b.angularDamping[0] * b.angularVelocity.x, b.angularDamping[1] * b.angularVelocity.y,
              b.angularDamping[2] * b.angularVelocity.z};
}

// Euler's equations in principal axes.
VANTO_BODY_INLINE Vec3 AngularAcceleration(const RigidBody& b) {
  const Vec3& w = b.angularVelocity;
  const double* ec = b.eulerCoefficients;
  const double* pi = b.principalInertia;
  return {w.y * w.z * ec[0] + b.torque.x * pi[1], w.x * w.z * ec[1] + b.torque.y * pi[3],
          w.x * w.y * ec[2] + b.torque.z * pi[5]};
}

VANTO_BODY_INLINE Vec3 LinearAcceleration(const RigidBody& b) {
  Vec3 a;
  ScaleVec3(a, b.inverseMass, b.force);
  return a;
}

// Four doubles side by side (a quaternion's x, y, z and w): arithmetic
// element by element, exactly the double operations written.
using QuatLanes = double __attribute__((vector_size(32)));
static_assert(sizeof(Quat) == sizeof(QuatLanes));

// q = q0 + (q0 (x) (0, w)) * f from the start orientation q0, renormalised,
// and the rotation rebuilt. Each element of the product is two products
// added and a third taken away, for w added and the sum negated.
VANTO_BODY_INLINE void AdvanceOrientation(RigidBody& b, const Vec3& w, double f) {
  QuatLanes q0;
  std::memcpy(&q0, &b.startState.orientation, sizeof q0);
  const QuatLanes v{w.x, w.y, w.z, 0.0};
  const QuatLanes first = __builtin_shufflevector(q0, q0, 3, 3, 3, 0) * __builtin_shufflevector(v, v, 0, 1, 2, 0);
  const QuatLanes second = __builtin_shufflevector(q0, q0, 1, 2, 0, 1) * __builtin_shufflevector(v, v, 2, 0, 1, 1);
  const QuatLanes third = __builtin_shufflevector(q0, q0, 2, 0, 1, 2) * __builtin_shufflevector(v, v, 1, 2, 0, 2);
  const QuatLanes dq = (first + second + third * QuatLanes{-1.0, -1.0, -1.0, 1.0}) * QuatLanes{1.0, 1.0, 1.0, -1.0};
  QuatLanes q = q0 + dq * f;
  QuatLanes squares = q * q;
  double n = squares[0] + squares[1] + squares[2] + squares[3];  // QuatNormSquared
  // First-order renormalisation, only once the norm has drifted.
  if (n < 0.9999 || n > 1.0001) {
    const double s = (n + 1.0) / (2.0 * n);
    q = q * s;
    squares = q * q;
    n *= s * s;
  }
  b.orientation = Quat(q[3], q[0], q[1], q[2]);

  // The rotation as QuatToMat3 builds it: the diagonal from the squares,
  // the rest from the sums and differences of two products, three of a
  // kind side by side, then laid out row by row.
  const double s = 2.0 / n;
  const QuatLanes products = __builtin_shufflevector(q, q, 0, 1, 0, 0) * __builtin_shufflevector(q, q, 1, 2, 2, 2);
  const QuatLanes withW = __builtin_shufflevector(q, q, 3, 3, 3, 3) * __builtin_shufflevector(q, q, 2, 0, 1, 1);
  const QuatLanes minus = (products - withW) * s;  // R01, R12, R20
  const QuatLanes plus = (products + withW) * s;   // R10, R21, R02
  const QuatLanes diagonal =
      1.0 - (__builtin_shufflevector(squares, squares, 1, 0, 0, 0) + __builtin_shufflevector(squares, squares, 2, 2, 1, 1)) * s;
  const QuatLanes diagonalMinus = __builtin_shufflevector(diagonal, minus, 0, 4, 1, 5);  // R00, R01, R11, R12
  const QuatLanes row0 = __builtin_shufflevector(diagonalMinus, plus, 0, 1, 6, 6);
  const QuatLanes row1 = __builtin_shufflevector(plus, diagonalMinus, 0, 6, 7, 7);
  const QuatLanes row2 = __builtin_shufflevector(minus, plus, 2, 5, 5, 5);
  double* m = b.rotation.m;
  std::memcpy(m, &row0, 3 * sizeof(double));
  std::memcpy(m + 3, &row1, 3 * sizeof(double));
  std::memcpy(m + 6, &row2, 2 * sizeof(double));
  m[8] = diagonal[2];
}

VANTO_BODY_INLINE void ApplyWorldForceAtPoint(RigidBody& b, const Vec3& F, const Vec3& P) {
  AddToVec3(b.force, F);
  Vec3 arm, m, mb;
  SubtractVec3(arm, P, b.position);
  CrossVec3(m, arm, F);
  MulMat3TransposedVec3(mb, b.rotation, m);
  AddToVec3(b.torque, mb);
}

VANTO_BODY_INLINE void Begin(RigidBody& b) {
  b.startState = {b.position, b.velocity, b.angularVelocity, b.orientation, b.rotation};
  ResetAccumulators(b);
}

VANTO_BODY_INLINE void Stage1(RigidBody& b) {
  const RigidBodyStartState& s = b.startState;
  RigidBodyStage& st = b.stageRecord[0];
  ScaleVec3(st.velocityIncrement, gEngine.h2, LinearAcceleration(b));
  ScaleVec3(st.angularVelocityIncrement, gEngine.h2, AngularAcceleration(b));
  AddScaledVec3(b.position, s.position, gEngine.h2, s.velocity);
  AdvanceOrientation(b, s.angularVelocity, gEngine.h4);
  AddVec3(b.velocity, s.velocity, st.velocityIncrement);
  AddVec3(b.angularVelocity, s.angularVelocity, st.angularVelocityIncrement);
  ResetAccumulators(b);
}

// Stages 2 and 3 start from the last stage's velocities; `h` is the stage's
// step and `hOrient` the orientation's.
VANTO_BODY_INLINE void LaterStage(RigidBody& b, RigidBodyStage& st, double h, double hOrient) {
  const RigidBodyStartState& s = b.startState;
  st.velocity = b.velocity;
  st.angularVelocity = b.angularVelocity;
  ScaleVec3(st.velocityIncrement, h, LinearAcceleration(b));
  ScaleVec3(st.angularVelocityIncrement, h, AngularAcceleration(b));
  AddScaledVec3(b.position, s.position, h, st.velocity);
  AdvanceOrientation(b, st.angularVelocity, hOrient);
  AddVec3(b.velocity, s.velocity, st.velocityIncrement);
  AddVec3(b.angularVelocity, s.angularVelocity, st.angularVelocityIncrement);
  ResetAccumulators(b);
}

VANTO_BODY_INLINE void Stage2(RigidBody& b) { LaterStage(b, b.stageRecord[1], gEngine.h2, gEngine.h4); }

VANTO_BODY_INLINE void Stage3(RigidBody& b) { LaterStage(b, b.stageRecord[2], gEngine.h, gEngine.h2); }

VANTO_BODY_INLINE void Finish(RigidBody& b) {
  const RigidBodyStartState& s = b.startState;
  const RigidBodyStage* st = b.stageRecord;
  const Vec3 &v1 = s.velocity, &w1 = s.angularVelocity;
  const Vec3 v4 = b.velocity, w4 = b.angularVelocity;
  const Vec3 a4 = LinearAcceleration(b), e4 = AngularAcceleration(b);
  const double h2 = gEngine.h2, h6 = gEngine.h6, third = vanto::kFloatThird;

  b.position = {s.position.x + (v1.x + 2.0 * st[1].velocity.x + 2.0 * st[2].velocity.x + v4.x) * h6,
                s.position.y + (v1.y + 2.0 * st[1].velocity.y + 2.0 * st[2].velocity.y + v4.y) * h6,
                s.position.z + (v1.z + 2.0 * st[1].velocity.z + 2.0 * st[2].velocity.z + v4.z) * h6};
  const Vec3 wMean{(w1.x + w4.x) * 0.5 + st[1].angularVelocity.x + st[2].angularVelocity.x,
                   (w1.y + w4.y) * 0.5 + st[1].angularVelocity.y + st[2].angularVelocity.y,
                   (w1.z + w4.z) * 0.5 + st[1].angularVelocity.z + st[2].angularVelocity.z};
  AdvanceOrientation(b, wMean, h6);
  const Vec3 &dv1 = st[0].velocityIncrement, &dv2 = st[1].velocityIncrement, &dv3 = st[2].velocityIncrement;
  const Vec3 &dw1 = st[0].angularVelocityIncrement, &dw2 = st[1].angularVelocityIncrement,
             &dw3 = st[2].angularVelocityIncrement;
  b.velocity = {s.velocity.x + (dv1.x + 2.0 * dv2.x + dv3.x + a4.x * h2) * third,
                s.velocity.y + (dv1.y + 2.0 * dv2.y + dv3.y + a4.y * h2) * third,
                s.velocity.z + (dv1.z + 2.0 * dv2.z + dv3.z + a4.z * h2) * third};
  b.angularVelocity = {s.angularVelocity.x + (dw1.x + 2.0 * dw2.x + dw3.x + e4.x * h2) * third,
                       s.angularVelocity.y + (dw1.y + 2.0 * dw2.y + dw3.y + e4.y * h2) * third,
                       s.angularVelocity.z + (dw1.z + 2.0 * dw2.z + dw3.z + e4.z * h2) * third};
}

}  // namespace body_step

#undef VANTO_BODY_INLINE
