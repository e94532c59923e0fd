#include "engine/rigid_body.h"

#include "engine/engine_constants.h"
#include "engine/engine_globals.h"

namespace {

void SetPrimitive(RigidBody& b, double mass, double ixx, double iyy, double izz) {
  b.mass = mass;
  b.centreOfMass = {};
  for (int i = 0; i < 3; ++i) {
    b.firstMoment[i] = 0.0;
    b.inertiaProducts[i] = 0.0;
  }
  b.inertiaDiagonal[0] = ixx;
  b.inertiaDiagonal[1] = iyy;
  b.inertiaDiagonal[2] = izz;
}

}  // namespace

void SetBoxInertia(RigidBody& b, double a, double bb, double c, double m) {
  SetPrimitive(b, m, m / 3.0 * (bb * bb + c * c), m / 3.0 * (a * a + c * c), m / 3.0 * (a * a + bb * bb));
}

int32 SetCylinderInertia(RigidBody& b, double r, double l, double m) {
  const double across = m * (3.0 * r * r + l * l) / 12.0;
  SetPrimitive(b, m, m * r * r / 2.0, across, across);
  return kStatusOk;
}

int32 SetSphereInertia(RigidBody& b, double r, double m) {
  const double i = 0.4 * m * r * r;
  SetPrimitive(b, m, i, i, i);
  return kStatusOk;
}

void ClearRigidBodyMass(RigidBody& b) { SetPrimitive(b, 0.0, 0.0, 0.0, 0.0); }

void MergeRigidBody(RigidBody& A, const RigidBody& B, const Mat3& R, const Vec3& t) {
  const double total = A.mass + B.mass;
  Vec3 cB;
  TransformToWorld(cB, R, B.centreOfMass, t);
  if (total != 0.0) {
    ScaleVec3(A.centreOfMass, A.mass / total, A.centreOfMass);
    AccumulateScaledVec3(A.centreOfMass, B.mass / total, cB);
  }
  A.mass = total;

  const Vec3 fB{B.firstMoment[0], B.firstMoment[1], B.firstMoment[2]};
  Vec3 rf;
  MulMat3Vec3(rf, R, fB);
  A.firstMoment[0] += rf.x + B.mass * t.x;
  A.firstMoment[1] += rf.y + B.mass * t.y;
  A.firstMoment[2] += rf.z + B.mass * t.z;

  // Second moments of B about its own origin.
  const double* I = B.inertiaDiagonal;
  const double* P = B.inertiaProducts;  // xy, yz, xz
  const Mat3 S((I[1] + I[2] - I[0]) * 0.5, P[0], P[2],  //
               P[0], (I[0] + I[2] - I[1]) * 0.5, P[1],  //
               P[2], P[1], (I[0] + I[1] - I[2]) * 0.5);
  Mat3 RS, Sp;
  MulMat3(RS, R, S);
  MulMat3Transposed(Sp, RS, R);
  const double rfv[3] = {rf.x, rf.y, rf.z};
  const double tv[3] = {t.x, t.y, t.z};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) Sp(r, c) += rfv[r] * tv[c] + tv[r] * rfv[c] + B.mass * tv[r] * tv[c];

  A.inertiaDiagonal[0] += Sp(1, 1) + Sp(2, 2);
  A.inertiaDiagonal[1] += Sp(0, 0) + Sp(2, 2);
  A.inertiaDiagonal[2] += Sp(0, 0) + Sp(1, 1);
  A.inertiaProducts[0] += Sp(0, 1);
  A.inertiaProducts[1] += Sp(1, 2);
  A.inertiaProducts[2] += Sp(0, 2);
}

void FinishRigidBodyMass(RigidBody& b) {
  const double invM = 1.0 / b.mass;
  const Vec3 c{-b.firstMoment[0] * invM, -b.firstMoment[1] * invM, -b.firstMoment[2] * invM};
  const RigidBody copy = b;
  ClearRigidBodyMass(b);
  MergeRigidBody(b, copy, Mat3(), c);

  const double* I = b.inertiaDiagonal;
  const double* P = b.inertiaProducts;
  const Mat3 tensor(I[0], -P[0], -P[2],  //
                    -P[0], I[1], -P[1],  //
                    -P[2], -P[1], I[2]);
  Mat3 V;
  Vec3 e;
  JacobiEigen3(tensor, V, e);  // converges for any symmetric 3x3 in a few sweeps
  TransposeMat3(b.principalAxes, V);
  MulMat3Vec3(b.referenceOffset, b.principalAxes, c);

  b.inverseMass = 1.0 / b.mass;
  const double i1 = e.x, i2 = e.y, i3 = e.z;
  b.principalInertia[0] = i1;
  b.principalInertia[1] = 1.0 / i1;
  b.principalInertia[2] = i2;
  b.principalInertia[3] = 1.0 / i2;
  b.principalInertia[4] = i3;
  b.principalInertia[5] = 1.0 / i3;
  b.eulerCoefficients[0] = (i2 - i3) / i1;
  b.eulerCoefficients[1] = (i3 - i1) / i2;
  b.eulerCoefficients[2] = (i1 - i2) / i3;
  b.weightForce = -b.mass * gEngine.gravity;
}

void SetGravity(double g) { gEngine.gravity = g; }
double GetGravity() { return gEngine.gravity; }

void SetStepSize(double h) {
  gEngine.h = h;
  gEngine.h2 = h * 0.5;
  gEngine.h4 = h * 0.25;
  gEngine.h6 = h / 6.0;
}

void SetRigidBodyState(RigidBody& b, const Vec3& p, const Vec3& v, const Quat& q, const Vec3& w, double cl,
                       double ca) {
  Mat3 Q;
  QuatToMat3(Q, q, QuatNormSquared(q));
  MulMat3Transposed(b.rotation, Q, b.principalAxes);
  Mat3ToQuat(b.orientation, b.rotation);
  Vec3 ro;
  MulMat3Vec3(ro, b.rotation, b.referenceOffset);
  SubtractVec3(b.position, p, ro);
  MulMat3Vec3(b.angularVelocity, b.principalAxes, w);
  Vec3 r;
  MulMat3TransposedVec3(r, b.principalAxes, b.referenceOffset);
  NegateVec3(r);
  Vec3 wr, qwr;
  CrossVec3(wr, w, r);
  MulMat3Vec3(qwr, Q, wr);
  AddVec3(b.velocity, qwr, v);
  b.linearDamping = -(cl * b.mass);
  b.angularDamping[0] = -(ca * b.principalInertia[0]);
  b.angularDamping[1] = -(ca * b.principalInertia[2]);
  b.angularDamping[2] = -(ca * b.principalInertia[4]);
}

void ApplyWorldForceAtPoint(RigidBody& b, const Vec3& F, const Vec3& P) { body_step::ApplyWorldForceAtPoint(b, F, P); }

void ApplyBodyForceAtPoint(RigidBody& b, const Vec3& F, const Vec3& P) {
  Vec3 m, fw;
  CrossVec3(m, P, F);
  AddToVec3(b.torque, m);
  MulMat3Vec3(fw, b.rotation, F);
  AddToVec3(b.force, fw);
}

void ApplyWorldTorque(RigidBody& b, const Vec3& T) {
  Vec3 tb;
  MulMat3TransposedVec3(tb, b.rotation, T);
  AddToVec3(b.torque, tb);
}

void ApplyWorldForceAtBodyPoint(RigidBody& b, const Vec3& F, const Vec3& P) {
  Vec3 fb, m;
  MulMat3TransposedVec3(fb, b.rotation, F);
  CrossVec3(m, P, fb);
  AddToVec3(b.torque, m);
  AddToVec3(b.force, F);
}

void BodyPointVelocity(const RigidBody& b, const Vec3& P, Vec3& out) {
  Vec3 wp, rw;
  CrossVec3(wp, b.angularVelocity, P);
  MulMat3Vec3(rw, b.rotation, wp);
  AddVec3(out, rw, b.velocity);
}

void WorldPointVelocity(const RigidBody& b, const Vec3& P, Vec3& out) {
  Vec3 ww, arm, v;
  MulMat3Vec3(ww, b.rotation, b.angularVelocity);
  SubtractVec3(arm, P, b.position);
  CrossVec3(v, ww, arm);
  AddVec3(out, v, b.velocity);
}

void BodyPointPositionAndVelocity(const RigidBody& b, const Vec3& P, Vec3& outPos, Vec3& outVel) {
  TransformToWorld(outPos, b.rotation, P, b.position);
  BodyPointVelocity(b, P, outVel);
}

double RigidBodyEnergy(const RigidBody& b) {
  const Vec3& w = b.angularVelocity;
  const double* I = b.principalInertia;
  return 0.5 * (I[0] * w.x * w.x + I[2] * w.y * w.y + I[4] * w.z * w.z +
                b.mass * LengthSquaredVec3(b.velocity)) +
         b.mass * gEngine.gravity * b.position.z;
}

void RigidBodyMomenta(const RigidBody& b, Vec3& linear, Vec3& angular) {
  ScaleVec3(linear, b.mass, b.velocity);
  const double* I = b.principalInertia;
  const Vec3 L{I[0] * b.angularVelocity.x, I[2] * b.angularVelocity.y, I[4] * b.angularVelocity.z};
  MulMat3Vec3(angular, b.rotation, L);
}

void BeginBodyStep(RigidBody& b) { body_step::Begin(b); }
void IntegrateBodyStage1(RigidBody& b) { body_step::Stage1(b); }
void IntegrateBodyStage2(RigidBody& b) { body_step::Stage2(b); }
void IntegrateBodyStage3(RigidBody& b) { body_step::Stage3(b); }
void FinishBodyStep(RigidBody& b) { body_step::Finish(b); }

void RestoreRigidBody(RigidBody& b) {
  const RigidBodyStartState& s = b.startState;
  b.position = s.position;
  b.velocity = s.velocity;
  b.angularVelocity = s.angularVelocity;
  b.orientation = s.orientation;
  b.rotation = s.rotation;
}

void EulerBodyStep(RigidBody& b) {
  using namespace body_step;
  const double h = gEngine.h;
  const Vec3 a = LinearAcceleration(b), e = AngularAcceleration(b);
  AccumulateScaledVec3(b.position, h, b.velocity);
  AccumulateScaledVec3(b.velocity, h, a);
  AdvanceOrientation(b, b.angularVelocity, h * 0.5);
  AccumulateScaledVec3(b.angularVelocity, h, e);
}
