// Host vector and matrix arithmetic.
//
// Scene axes: y up, z forward (the car's front), x to the side.
// A Matrix is an offset and three axis vectors v1, v2, v3: the images of the
// unit x, y and z axes. M * p = off + v1 * p.x + v2 * p.y + v3 * p.z, and a
// product A * B applies B first.
//
// Rotations are heading, pitch and bank in radians. For rotation order HPB (6)
//   M = Ry(H) * Rx(P) * Rz(B)      (bank applied first)
// with the axes (v1, v2, v3) of each factor
//   Rx(w): (1,0,0), (0,cos w,-sin w), (0,sin w,cos w)
//   Ry(w): (cos w,0,sin w), (0,1,0), (-sin w,0,cos w)
//   Rz(w): (cos w,-sin w,0), (sin w,cos w,0), (0,0,1)
// so M maps +z to (-cos P sin H, sin P, cos P cos H), and
//   VectorToHPB(v) = (atan2(-v.x, v.z), atan2(v.y, sqrt(v.x^2 + v.z^2)), 0).
#pragma once

#include <cmath>

using Real = double;

struct Vector {
  Real x = 0.0, y = 0.0, z = 0.0;

  constexpr Vector() = default;
  constexpr Vector(Real ax, Real ay, Real az) : x(ax), y(ay), z(az) {}
  constexpr explicit Vector(Real a) : x(a), y(a), z(a) {}

  constexpr Vector operator+(const Vector& o) const { return {x + o.x, y + o.y, z + o.z}; }
  constexpr Vector operator-(const Vector& o) const { return {x - o.x, y - o.y, z - o.z}; }
  constexpr Vector operator-() const { return {-x, -y, -z}; }
  constexpr Vector operator*(Real s) const { return {x * s, y * s, z * s}; }
  constexpr Vector operator/(Real s) const { return {x / s, y / s, z / s}; }
  Vector& operator+=(const Vector& o) { x += o.x; y += o.y; z += o.z; return *this; }
  Vector& operator-=(const Vector& o) { x -= o.x; y -= o.y; z -= o.z; return *this; }
  Vector& operator*=(Real s) { x *= s; y *= s; z *= s; return *this; }
  Vector& operator/=(Real s) { x /= s; y /= s; z /= s; return *this; }
  constexpr bool operator==(const Vector& o) const { return x == o.x && y == o.y && z == o.z; }
  constexpr bool operator!=(const Vector& o) const { return !(*this == o); }

  Real GetLength() const { return std::sqrt(x * x + y * y + z * z); }
  Real GetSquaredLength() const { return x * x + y * y + z * z; }
  // The zero vector stays zero rather than turning into NaN.
  Vector GetNormalized() const {
    Real l = GetLength();
    return l > 0.0 ? *this / l : Vector();
  }
};

inline constexpr Vector operator*(Real s, const Vector& v) { return v * s; }
inline constexpr Real Dot(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline constexpr Vector Cross(const Vector& a, const Vector& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline Real Len(const Vector& v) { return v.GetLength(); }

struct Matrix {
  Vector off{0, 0, 0};
  Vector v1{1, 0, 0};
  Vector v2{0, 1, 0};
  Vector v3{0, 0, 1};

  constexpr Matrix() = default;
  constexpr Matrix(const Vector& o, const Vector& a, const Vector& b, const Vector& c)
      : off(o), v1(a), v2(b), v3(c) {}

  // The rotation part only (no offset).
  constexpr Vector TransformDirection(const Vector& p) const { return v1 * p.x + v2 * p.y + v3 * p.z; }
  constexpr Vector operator*(const Vector& p) const { return off + TransformDirection(p); }
  constexpr Matrix operator*(const Matrix& b) const {
    return {*this * b.off, TransformDirection(b.v1), TransformDirection(b.v2), TransformDirection(b.v3)};
  }
  constexpr bool operator==(const Matrix& o) const {
    return off == o.off && v1 == o.v1 && v2 == o.v2 && v3 == o.v3;
  }
  constexpr bool operator!=(const Matrix& o) const { return !(*this == o); }

  Real Determinant() const { return Dot(v1, Cross(v2, v3)); }
};

// General affine inverse; a singular matrix gives the identity.
Matrix Invert(const Matrix& m);
inline Matrix operator!(const Matrix& m) { return Invert(m); }

// The axes normalised (scale removed), offset kept.
Matrix Normalized(const Matrix& m);

enum ROTATIONORDER {
  ROTATIONORDER_YXZGLOBAL = 0,
  ROTATIONORDER_HPB = 6,
};

Matrix HPBToMatrix(const Vector& hpb, ROTATIONORDER order = ROTATIONORDER_HPB);
Vector MatrixToHPB(const Matrix& m, ROTATIONORDER order = ROTATIONORDER_HPB);
Vector VectorToHPB(const Vector& v);

Matrix MatrixRotX(Real w);
Matrix MatrixRotY(Real w);
Matrix MatrixRotZ(Real w);
Matrix MatrixMove(const Vector& t);
Matrix MatrixScale(const Vector& s);

inline constexpr Real pi = 3.14159265358979323846;
inline Real Rad(Real deg) { return deg * pi / 180.0; }
inline Real Deg(Real rad) { return rad * 180.0 / pi; }
