// The engine's own arithmetic: Vec3, Mat3 (row-major) and Quat (x, y, z, w)
// in double precision, with free functions that write their result through
// the first argument. Operations that can fail return 0 on success and 20
// on failure. Nothing here allocates, keeps state or calls the host.
#pragma once

#include <cmath>
#include <cstdint>

using int32 = std::int32_t;

inline constexpr int32 kStatusOk = 0;
inline constexpr int32 kStatusFailed = 20;

struct Vec3 {
  double x = 0.0, y = 0.0, z = 0.0;
  constexpr Vec3() = default;
  constexpr Vec3(double ax, double ay, double az) : x(ax), y(ay), z(az) {}
  constexpr bool operator==(const Vec3&) const = default;
};

struct Mat3 {
  // Element (row r, column c) at index 3r + c.
  double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  constexpr Mat3() = default;
  constexpr Mat3(double m00, double m01, double m02, double m10, double m11, double m12, double m20,
                 double m21, double m22)
      : m{m00, m01, m02, m10, m11, m12, m20, m21, m22} {}
  constexpr double operator()(int r, int c) const { return m[3 * r + c]; }
  constexpr double& operator()(int r, int c) { return m[3 * r + c]; }
  constexpr bool operator==(const Mat3&) const = default;
};

struct Quat {
  double x = 0.0, y = 0.0, z = 0.0, w = 1.0;
  constexpr Quat() = default;
  // Arguments in the order w, x, y, z; stored as x, y, z, w.
  constexpr Quat(double aw, double ax, double ay, double az) : x(ax), y(ay), z(az), w(aw) {}
  constexpr bool operator==(const Quat&) const = default;
};

// ---- vectors ----
inline void AddToVec3(Vec3& a, const Vec3& b) { a.x += b.x; a.y += b.y; a.z += b.z; }
inline void AddVec3(Vec3& r, const Vec3& a, const Vec3& b) { r = {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline void SubtractFromVec3(Vec3& a, const Vec3& b) { a.x -= b.x; a.y -= b.y; a.z -= b.z; }
inline void SubtractVec3(Vec3& r, const Vec3& a, const Vec3& b) { r = {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline void ScaleVec3(Vec3& r, double s, const Vec3& a) { r = {s * a.x, s * a.y, s * a.z}; }
inline void ScaleVec3InPlace(Vec3& a, double s) { a.x *= s; a.y *= s; a.z *= s; }
inline void AddScaledVec3(Vec3& r, const Vec3& a, double s, const Vec3& b) {
  r = {a.x + s * b.x, a.y + s * b.y, a.z + s * b.z};
}
inline void AccumulateScaledVec3(Vec3& a, double s, const Vec3& b) { a.x += s * b.x; a.y += s * b.y; a.z += s * b.z; }
inline void AddTwoScaledVec3(Vec3& r, const Vec3& a, double s, const Vec3& b, double t, const Vec3& c) {
  r = {a.x + s * b.x + t * c.x, a.y + s * b.y + t * c.y, a.z + s * b.z + t * c.z};
}
inline void LerpVec3(Vec3& r, const Vec3& a, const Vec3& b, double t) {
  r = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}
inline void NegateVec3(Vec3& a) { a = {-a.x, -a.y, -a.z}; }
inline double LengthSquaredVec3(const Vec3& a) { return a.x * a.x + a.y * a.y + a.z * a.z; }
inline double LengthVec3(const Vec3& a) { return std::sqrt(LengthSquaredVec3(a)); }
inline double DistanceSquaredVec3(const Vec3& a, const Vec3& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
  return dx * dx + dy * dy + dz * dz;
}
inline double DotVec3(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline void CrossVec3(Vec3& r, const Vec3& a, const Vec3& b) {
  r = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// |a|^2 < 1e-10 fails and leaves a unchanged.
inline int32 NormalizeVec3(Vec3& a) {
  const double l2 = LengthSquaredVec3(a);
  if (!(l2 >= 1e-10)) return kStatusFailed;
  ScaleVec3InPlace(a, 1.0 / std::sqrt(l2));
  return kStatusOk;
}
// The same test on a; on failure r is not written.
inline int32 NormalizedVec3(Vec3& r, const Vec3& a) {
  const double l2 = LengthSquaredVec3(a);
  if (!(l2 >= 1e-10)) return kStatusFailed;
  ScaleVec3(r, 1.0 / std::sqrt(l2), a);
  return kStatusOk;
}

// ---- matrix and vector ----
inline void MulMat3Vec3(Vec3& r, const Mat3& M, const Vec3& v) {
  const double* m = M.m;
  r = {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
       m[6] * v.x + m[7] * v.y + m[8] * v.z};
}
inline void MulMat3TransposedVec3(Vec3& r, const Mat3& M, const Vec3& v) {
  const double* m = M.m;
  r = {m[0] * v.x + m[3] * v.y + m[6] * v.z, m[1] * v.x + m[4] * v.y + m[7] * v.z,
       m[2] * v.x + m[5] * v.y + m[8] * v.z};
}
// A point of a body frame (rotation M, origin t) in the outer frame.
inline void TransformToWorld(Vec3& r, const Mat3& M, const Vec3& v, const Vec3& t) {
  MulMat3Vec3(r, M, v);
  AddToVec3(r, t);
}
// Inverse of TransformToWorld for an orthonormal M.
inline void TransformToLocal(Vec3& r, const Mat3& M, const Vec3& v, const Vec3& t) {
  Vec3 d;
  SubtractVec3(d, v, t);
  MulMat3TransposedVec3(r, M, d);
}

// ---- matrices ----
inline void SetIdentityMat3(Mat3& M) { M = Mat3(); }
inline void TransposeMat3InPlace(Mat3& M) {
  double* m = M.m;
  double t;
  t = m[1]; m[1] = m[3]; m[3] = t;
  t = m[2]; m[2] = m[6]; m[6] = t;
  t = m[5]; m[5] = m[7]; m[7] = t;
}
inline void TransposeMat3(Mat3& R, const Mat3& A) {
  const double* a = A.m;
  R = Mat3(a[0], a[3], a[6], a[1], a[4], a[7], a[2], a[5], a[8]);
}
inline void MulMat3(Mat3& R, const Mat3& A, const Mat3& B) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      R.m[3 * r + c] = A.m[3 * r] * B.m[c] + A.m[3 * r + 1] * B.m[3 + c] + A.m[3 * r + 2] * B.m[6 + c];
}
// R = A B^T
inline void MulMat3Transposed(Mat3& R, const Mat3& A, const Mat3& B) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      R.m[3 * r + c] =
          A.m[3 * r] * B.m[3 * c] + A.m[3 * r + 1] * B.m[3 * c + 1] + A.m[3 * r + 2] * B.m[3 * c + 2];
}
// R = A^T B
inline void MulMat3TransposedLeft(Mat3& R, const Mat3& A, const Mat3& B) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      R.m[3 * r + c] = A.m[r] * B.m[c] + A.m[3 + r] * B.m[3 + c] + A.m[6 + r] * B.m[6 + c];
}
inline double DeterminantMat3(const Mat3& A) {
  const double* m = A.m;
  return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
         m[2] * (m[3] * m[7] - m[4] * m[6]);
}
int32 InvertMat3(Mat3& R, const Mat3& A);
void Mat3Exp(Mat3& R, const Mat3& A);
enum class Axis { X, Y, Z };
void RotationMat3(Mat3& R, Axis axis, double angle);
// R = Rz(c) Ry(b) Rx(a)
void EulerMat3(Mat3& R, double a, double b, double c);
inline void SkewMat3(Mat3& R, const Vec3& v) { R = Mat3(0, -v.z, v.y, v.z, 0, -v.x, -v.y, v.x, 0); }
// Eigen-decomposition of a symmetric matrix (only the diagonal and the upper
// entries are read). Columns of V are the eigenvectors; eigenvalue k (in e)
// belongs to column k, unsorted. 20 when 50 sweeps do not converge.
int32 JacobiEigen3(const Mat3& A, Mat3& V, Vec3& e);

// ---- quaternions ----
inline double QuatNormSquared(const Quat& q) { return q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w; }
inline void NormalizeQuat(Quat& q) {
  const double s = 1.0 / std::sqrt(QuatNormSquared(q));
  q.x *= s; q.y *= s; q.z *= s; q.w *= s;
}
// Hamilton product r = a b.
inline void MulQuat(Quat& r, const Quat& a, const Quat& b) {
  r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
  r.x = a.w * b.x + b.w * a.x + (a.y * b.z - a.z * b.y);
  r.y = a.w * b.y + b.w * a.y + (a.z * b.x - a.x * b.z);
  r.z = a.w * b.z + b.w * a.z + (a.x * b.y - a.y * b.x);
}
// Rotation matrix of q, given its squared norm n (any non-zero length).
inline void QuatToMat3(Mat3& R, const Quat& q, double n) {
  const double s = 2.0 / n;
  const double x = q.x, y = q.y, z = q.z, w = q.w;
  R = Mat3(1 - (y * y + z * z) * s, (x * y - w * z) * s, (x * z + w * y) * s,  //
           (x * y + w * z) * s, 1 - (x * x + z * z) * s, (y * z - w * x) * s,  //
           (x * z - w * y) * s, (y * z + w * x) * s, 1 - (x * x + y * y) * s);
}
// Unit quaternion of a rotation matrix, with w >= 0.
void Mat3ToQuat(Quat& q, const Mat3& M);
