// The sprung mass of a car: one rigid body with full 3D rotation, assembled
// from solid primitives and moved by fixed classical fourth-order
// Runge-Kutta steps. State is kept in principal axes with the origin at the
// centre of mass; callers see it in the car's model frame through
// `principalAxes` and `referenceOffset`.
//
// Engine axes: x forward (host z), y sideways (host x), z up (host y);
// gravity acts along -z. SI units throughout.
#pragma once

#include "engine/vmath.h"

struct RigidBodyStartState {
  Vec3 position;
  Vec3 velocity;
  Vec3 angularVelocity;  // body axes
  Quat orientation;
  Mat3 rotation;
};

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
