#include "engine/vmath.h"

#include "engine/engine_constants.h"

int32 InvertMat3(Mat3& R, const Mat3& A) {
  const double det = DeterminantMat3(A);
  if (!(std::fabs(det) >= 1e-20)) return kStatusFailed;
  const double s = 1.0 / det;
  const double* m = A.m;
  R = Mat3((m[4] * m[8] - m[5] * m[7]) * s, (m[2] * m[7] - m[1] * m[8]) * s, (m[1] * m[5] - m[2] * m[4]) * s,
           (m[5] * m[6] - m[3] * m[8]) * s, (m[0] * m[8] - m[2] * m[6]) * s, (m[2] * m[3] - m[0] * m[5]) * s,
           (m[3] * m[7] - m[4] * m[6]) * s, (m[1] * m[6] - m[0] * m[7]) * s, (m[0] * m[4] - m[1] * m[3]) * s);
  return kStatusOk;
}

void Mat3Exp(Mat3& R, const Mat3& A) {
  Mat3 term;  // T_0 = I
  Mat3 sum;   // I
  for (int n = 1; n <= 100; ++n) {
    Mat3 next;
    MulMat3(next, term, A);
    const double inv = 1.0 / n;
    for (double& v : next.m) v *= inv;
    term = next;
    for (int i = 0; i < 9; ++i) sum.m[i] += term.m[i];
  }
  R = sum;
}

void RotationMat3(Mat3& R, Axis axis, double a) {
  const double c = std::cos(a), s = std::sin(a);
  switch (axis) {
    case Axis::X: R = Mat3(1, 0, 0, 0, c, -s, 0, s, c); break;
    case Axis::Y: R = Mat3(c, 0, s, 0, 1, 0, -s, 0, c); break;
    case Axis::Z: R = Mat3(c, -s, 0, s, c, 0, 0, 0, 1); break;
  }
}

void EulerMat3(Mat3& R, double a, double b, double c) {
  Mat3 rx, ry, rz, t;
  RotationMat3(rx, Axis::X, a);
  RotationMat3(ry, Axis::Y, b);
  RotationMat3(rz, Axis::Z, c);
  MulMat3(t, ry, rx);
  MulMat3(R, rz, t);
}

namespace {
inline void Rotate(double& g, double& h, double s, double rho) {
  const double g0 = g, h0 = h;
  g = g0 - s * (h0 + g0 * rho);
  h = h0 + s * (g0 - h0 * rho);
}
}  // namespace

int32 JacobiEigen3(const Mat3& A, Mat3& V, Vec3& e) {
  // Work on a copy; only the upper triangle is used.
  double a[3][3] = {{A.m[0], A.m[1], A.m[2]}, {0, A.m[4], A.m[5]}, {0, 0, A.m[8]}};
  SetIdentityMat3(V);
  double b[3] = {a[0][0], a[1][1], a[2][2]};
  double d[3] = {b[0], b[1], b[2]};
  double z[3] = {0, 0, 0};
  e = {d[0], d[1], d[2]};
  static constexpr int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (int k = 0; k < 50; ++k) {
    // Converged when the off-diagonal magnitudes are gone. (A signed sum
    // would stop early when entries of opposite sign cancel.)
    const double S = std::fabs(a[0][1]) + std::fabs(a[0][2]) + std::fabs(a[1][2]);
    if (S == 0.0) return kStatusOk;
    const double tau = k < 3 ? S / 9.0 * vanto::kFloatFifth : 0.0;
    for (const auto& pq : kPairs) {
      const int p = pq[0], q = pq[1];
      const double g = 100.0 * std::fabs(a[p][q]);
      if (k >= 5 && std::fabs(d[p]) + g == std::fabs(d[p]) && std::fabs(d[q]) + g == std::fabs(d[q])) {
        a[p][q] = 0.0;
        continue;
      }
      if (!(std::fabs(a[p][q]) > tau)) continue;
      double h = d[q] - d[p];
      double t;
      if (std::fabs(h) + g == std::fabs(h)) {
        t = a[p][q] / h;
      } else {
        const double theta = 0.5 * h / a[p][q];
        t = 1.0 / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        if (theta < 0.0) t = -t;
      }
      const double c = 1.0 / std::sqrt(t * t + 1.0);
      const double s = t * c;
      const double rho = s / (1.0 + c);
      h = t * a[p][q];
      z[p] -= h;
      z[q] += h;
      d[p] -= h;
      d[q] += h;
      a[p][q] = 0.0;
      for (int j = 0; j < p; ++j) Rotate(a[j][p], a[j][q], s, rho);
      for (int j = p + 1; j < q; ++j) Rotate(a[p][j], a[j][q], s, rho);
      for (int j = q + 1; j < 3; ++j) Rotate(a[p][j], a[q][j], s, rho);
      for (int j = 0; j < 3; ++j) Rotate(V.m[3 * j + p], V.m[3 * j + q], s, rho);
    }
    for (int i = 0; i < 3; ++i) {
      b[i] += z[i];
      d[i] = b[i];
      z[i] = 0.0;
    }
    e = {d[0], d[1], d[2]};
  }
  return kStatusFailed;
}

void Mat3ToQuat(Quat& q, const Mat3& M) {
  const double* m = M.m;
  const double m00 = m[0], m01 = m[1], m02 = m[2], m10 = m[3], m11 = m[4], m12 = m[5], m20 = m[6],
               m21 = m[7], m22 = m[8];
  const double cw = (m00 + m11 + m22 + 1.0) * 0.25;
  const double cx = cw - (m11 + m22) * 0.5;
  const double cy = cw - (m00 + m22) * 0.5;
  const double cz = cw - (m00 + m11) * 0.5;
  // Ties go to the later candidate of each comparison.
  char pick;
  if (cw > cx) {
    if (cw > cy && cw > cz) pick = 'w';
    else if (cy >= cw && cy > cz) pick = 'y';
    else pick = 'z';
  } else {
    if (cx > cy && cx > cz) pick = 'x';
    else if (cy >= cx && cy > cz) pick = 'y';
    else pick = 'z';
  }
  double x, y, z, w;
  switch (pick) {
    case 'w': {
      w = std::sqrt(cw);
      const double f = 0.25 / w;
      x = (m21 - m12) * f; y = (m02 - m20) * f; z = (m10 - m01) * f;
      break;
    }
    case 'x': {
      x = std::sqrt(cx);
      const double f = 0.25 / x;
      w = (m21 - m12) * f; y = (m10 + m01) * f; z = (m20 + m02) * f;
      break;
    }
    case 'y': {
      y = std::sqrt(cy);
      const double f = 0.25 / y;
      w = (m02 - m20) * f; x = (m10 + m01) * f; z = (m21 + m12) * f;
      break;
    }
    default: {
      z = std::sqrt(cz);
      const double f = 0.25 / z;
      w = (m10 - m01) * f; x = (m20 + m02) * f; y = (m21 + m12) * f;
      break;
    }
  }
  if (pick != 'w' && w < 0.0) {
    x = -x; y = -y; z = -z; w = -w;
  }
  q.x = x; q.y = y; q.z = z; q.w = w;
  NormalizeQuat(q);
}
