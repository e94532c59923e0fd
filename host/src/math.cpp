#include "host_math.h"

Matrix Invert(const Matrix& m) {
  Real det = m.Determinant();
  if (det == 0.0 || !std::isfinite(det)) return Matrix();
  // Rows of the inverse rotation are the cross products of the axes over det.
  Vector r1 = Cross(m.v2, m.v3) / det;
  Vector r2 = Cross(m.v3, m.v1) / det;
  Vector r3 = Cross(m.v1, m.v2) / det;
  Matrix inv;
  inv.v1 = Vector(r1.x, r2.x, r3.x);
  inv.v2 = Vector(r1.y, r2.y, r3.y);
  inv.v3 = Vector(r1.z, r2.z, r3.z);
  inv.off = -inv.TransformDirection(m.off);
  return inv;
}

Matrix Normalized(const Matrix& m) {
  return Matrix(m.off, m.v1.GetNormalized(), m.v2.GetNormalized(), m.v3.GetNormalized());
}

Matrix MatrixRotX(Real w) {
  Real c = std::cos(w), s = std::sin(w);
  return Matrix(Vector(), Vector(1, 0, 0), Vector(0, c, -s), Vector(0, s, c));
}
Matrix MatrixRotY(Real w) {
  Real c = std::cos(w), s = std::sin(w);
  return Matrix(Vector(), Vector(c, 0, s), Vector(0, 1, 0), Vector(-s, 0, c));
}
Matrix MatrixRotZ(Real w) {
  Real c = std::cos(w), s = std::sin(w);
  return Matrix(Vector(), Vector(c, -s, 0), Vector(s, c, 0), Vector(0, 0, 1));
}
Matrix MatrixMove(const Vector& t) { return Matrix(t, Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)); }
Matrix MatrixScale(const Vector& s) {
  return Matrix(Vector(), Vector(s.x, 0, 0), Vector(0, s.y, 0), Vector(0, 0, s.z));
}

Matrix HPBToMatrix(const Vector& hpb, ROTATIONORDER) {
  // Only the HPB order is used by the plug-ins; other orders read as HPB.
  return MatrixRotY(hpb.x) * MatrixRotX(hpb.y) * MatrixRotZ(hpb.z);
}

Vector MatrixToHPB(const Matrix& m, ROTATIONORDER) {
  Matrix n = Normalized(m);
  Vector z = n.v3;
  Real h = std::atan2(-z.x, z.z);
  Real p = std::atan2(z.y, std::sqrt(z.x * z.x + z.z * z.z));
  // Undo heading and pitch; what is left is the bank about z.
  Matrix rest = Invert(MatrixRotY(h) * MatrixRotX(p)) * Matrix(Vector(), n.v1, n.v2, n.v3);
  Real b = std::atan2(-rest.v1.y, rest.v1.x);
  return Vector(h, p, b);
}

Vector VectorToHPB(const Vector& v) {
  return Vector(std::atan2(-v.x, v.z), std::atan2(v.y, std::sqrt(v.x * v.x + v.z * v.z)), 0.0);
}
