// Engine arithmetic: vectors, matrices, the eigen-solver and quaternions.
#include <random>

#include "engine_test_support.h"
#include "engine/vmath.h"

namespace {

void ExpectMatNear(const Mat3& a, const Mat3& b, double tol) {
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(a.m[i], b.m[i], tol) << "element " << i;
}

Mat3 RandomRotation(std::mt19937& rng) {
  std::uniform_real_distribution<double> ang(-3.1, 3.1);
  Mat3 r;
  EulerMat3(r, ang(rng), ang(rng) * 0.5, ang(rng));
  return r;
}

}  // namespace

TEST(Vec3Normalize, RefusesTinyVectorsAndLeavesThemAlone) {
  struct Case {
    Vec3 in;
    int32 status;
    Vec3 out;
  };
  const Case cases[] = {
      {{1e-6, 0, 0}, 20, {1e-6, 0, 0}},  // |a|^2 = 1e-12 < 1e-10
      {{1e-4, 0, 0}, 0, {1, 0, 0}},      // |a|^2 = 1e-8
      {{3, 0, 4}, 0, {0.6, 0, 0.8}},
      {{0, 0, 0}, 20, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    Vec3 a = c.in;
    EXPECT_EQ(NormalizeVec3(a), c.status);
    EXPECT_NEAR(a.x, c.out.x, 1e-15);
    EXPECT_NEAR(a.z, c.out.z, 1e-15);
    Vec3 r(7, 7, 7);
    EXPECT_EQ(NormalizedVec3(r, c.in), c.status);
    if (c.status != 0) {
      EXPECT_EQ(r, Vec3(7, 7, 7)) << "not written on failure";
    }
  }
}

TEST(Mat3Invert, SingularIsRefusedAndNothingWritten) {
  Mat3 tiny(1e-7, 0, 0, 0, 1e-7, 0, 0, 0, 1e-7);  // det 1e-21
  Mat3 r(2, 2, 2, 2, 2, 2, 2, 2, 2);
  const Mat3 before = r;
  EXPECT_EQ(InvertMat3(r, tiny), 20);
  EXPECT_EQ(r, before);

  EXPECT_EQ(InvertMat3(r, Mat3()), 0);
  EXPECT_EQ(r, Mat3());

  const Mat3 a(2, 1, 0, -1, 3, 2, 0.5, 0, 4);
  Mat3 inv, prod;
  ASSERT_EQ(InvertMat3(inv, a), 0);
  MulMat3(prod, a, inv);
  ExpectMatNear(prod, Mat3(), 1e-14);
}

TEST(Mat3Products, TransposedFormsAgreeWithExplicitTransposes) {
  std::mt19937 rng(3);
  const Mat3 a = RandomRotation(rng), b(1, 2, 3, 4, 5, 6, 7, 8, 10);
  Mat3 bt, at, r1, r2;
  TransposeMat3(bt, b);
  TransposeMat3(at, a);
  MulMat3Transposed(r1, a, b);
  MulMat3(r2, a, bt);
  ExpectMatNear(r1, r2, 1e-12);
  MulMat3TransposedLeft(r1, a, b);
  MulMat3(r2, at, b);
  ExpectMatNear(r1, r2, 1e-12);
  Mat3 t = b;
  TransposeMat3InPlace(t);
  EXPECT_EQ(t, bt);
  // Transform round trip for an orthonormal matrix.
  const Vec3 v(1, -2, 0.5), off(10, 20, 30);
  Vec3 w, back;
  TransformToWorld(w, a, v, off);
  TransformToLocal(back, a, w, off);
  EXPECT_NEAR(back.x, v.x, 1e-12);
  EXPECT_NEAR(back.y, v.y, 1e-12);
  EXPECT_NEAR(back.z, v.z, 1e-12);
}

TEST(Mat3Rotations, EulerIsZYXAndProper) {
  const double a = 0.3, b = -0.7, c = 1.1;
  Mat3 rx, ry, rz, t, expect, e;
  RotationMat3(rx, Axis::X, a);
  RotationMat3(ry, Axis::Y, b);
  RotationMat3(rz, Axis::Z, c);
  MulMat3(t, ry, rx);
  MulMat3(expect, rz, t);
  EulerMat3(e, a, b, c);
  ExpectMatNear(e, expect, 1e-15);
  EXPECT_NEAR(DeterminantMat3(e), 1.0, 1e-14);
  // Rz(90 deg) takes x to y.
  Vec3 v;
  RotationMat3(rz, Axis::Z, 1.5707963267948966);
  MulMat3Vec3(v, rz, Vec3(1, 0, 0));
  EXPECT_NEAR(v.y, 1.0, 1e-15);
}

TEST(Mat3Exp, OfASkewMatrixIsTheRotation) {
  // exp([theta z]x) is the rotation by theta about z (Rodrigues).
  for (double theta : {0.0, 0.5, 2.0, -3.0}) {
    Mat3 s, r, rz;
    SkewMat3(s, Vec3(0, 0, theta));
    Mat3Exp(r, s);
    RotationMat3(rz, Axis::Z, theta);
    ExpectMatNear(r, rz, 1e-13);
  }
  Mat3 s;
  SkewMat3(s, Vec3(1, 2, 3));
  Vec3 u;
  MulMat3Vec3(u, s, Vec3(-1, 0.5, 2));
  Vec3 cross;
  CrossVec3(cross, Vec3(1, 2, 3), Vec3(-1, 0.5, 2));
  EXPECT_EQ(u, cross);
}

TEST(JacobiEigen3, DiagonalInputIsReturnedUnsortedAtOnce) {
  Mat3 V(9, 9, 9, 9, 9, 9, 9, 9, 9);
  Vec3 e;
  EXPECT_EQ(JacobiEigen3(Mat3(3, 0, 0, 0, 1, 0, 0, 0, 2), V, e), 0);
  EXPECT_EQ(V, Mat3());
  EXPECT_EQ(e, Vec3(3, 1, 2));
}

TEST(JacobiEigen3, SingleRotationCase) {
  Mat3 V;
  Vec3 e;
  EXPECT_EQ(JacobiEigen3(Mat3(2, 1, 0, 1, 2, 0, 0, 0, 5), V, e), 0);
  EXPECT_NEAR(e.x, 1.0, 1e-15);
  EXPECT_NEAR(e.y, 3.0, 1e-15);
  EXPECT_NEAR(e.z, 5.0, 1e-15);
  const double r = std::sqrt(0.5);
  ExpectMatNear(V, Mat3(r, r, 0, -r, r, 0, 0, 0, 1), 1e-15);
}

// Cancelling off-diagonal entries (1 + -1 + 0 = 0) must not stop the solver
// before it has started, nor must any other symmetric input give a wrong
// decomposition: A V = V diag(e) with V orthonormal.
TEST(JacobiEigen3, DecomposesEverySymmetricMatrix) {
  std::vector<Mat3> inputs = {
      Mat3(2, 1, -1, 1, 3, 0, -1, 0, 4),   // a01 + a02 + a12 = 0
      Mat3(1, 2, -2, 2, 1, 0, -2, 0, 1),   // likewise, with a repeated diagonal
      Mat3(5, 0.5, 0.5, 0.5, 5, 0.5, 0.5, 0.5, 5),
      Mat3(1e-3, 0, 1e-3, 0, 2, 0, 1e-3, 0, 1e-3),
  };
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-5, 5);
  for (int k = 0; k < 20; ++k) {
    const double a = u(rng), b = u(rng), c = u(rng);
    inputs.push_back(Mat3(u(rng), a, b, a, u(rng), c, b, c, u(rng)));
  }
  for (const Mat3& A : inputs) {
    Mat3 V;
    Vec3 e;
    ASSERT_EQ(JacobiEigen3(A, V, e), 0);
    const double ev[3] = {e.x, e.y, e.z};
    Mat3 AV, VtV;
    MulMat3(AV, A, V);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(AV(r, c), V(r, c) * ev[c], 1e-12);
    MulMat3TransposedLeft(VtV, V, V);
    ExpectMatNear(VtV, Mat3(), 1e-13);
  }
}

TEST(Quaternions, KnownMatricesGiveKnownQuaternions) {
  Quat q;
  Mat3ToQuat(q, Mat3());
  EXPECT_EQ(q, Quat(1, 0, 0, 0));
  Mat3ToQuat(q, Mat3(1, 0, 0, 0, -1, 0, 0, 0, -1));  // pi about x
  EXPECT_NEAR(q.x, 1.0, 1e-15);
  EXPECT_NEAR(q.w, 0.0, 1e-15);
  // Any length: (0, 0, 0, 2) with n = 4 is the identity.
  Mat3 r;
  QuatToMat3(r, Quat(2, 0, 0, 0), 4.0);
  EXPECT_EQ(r, Mat3());
  // Constructor order w, x, y, z; storage x, y, z, w.
  const Quat c(4, 1, 2, 3);
  EXPECT_EQ(c.x, 1);
  EXPECT_EQ(c.w, 4);
}

TEST(Quaternions, RoundTripAndProductMatchRotations) {
  std::mt19937 rng(5);
  std::vector<Mat3> rotations;
  for (int k = 0; k < 30; ++k) rotations.push_back(RandomRotation(rng));
  // Near half turns about each axis, where the largest-candidate choice matters.
  for (Axis ax : {Axis::X, Axis::Y, Axis::Z}) {
    Mat3 r;
    RotationMat3(r, ax, 3.14159);
    rotations.push_back(r);
    RotationMat3(r, ax, -3.14159);
    rotations.push_back(r);
  }
  for (size_t i = 0; i < rotations.size(); ++i) {
    const Mat3& R = rotations[i];
    Quat q;
    Mat3ToQuat(q, R);
    EXPECT_GE(q.w, 0.0);
    EXPECT_NEAR(QuatNormSquared(q), 1.0, 1e-14);
    Mat3 back;
    QuatToMat3(back, q, QuatNormSquared(q));
    ExpectMatNear(back, R, 1e-12);

    const Mat3& S = rotations[(i + 7) % rotations.size()];
    Quat qs, qr;
    Mat3ToQuat(qs, S);
    MulQuat(qr, q, qs);
    Mat3 RS, fromQ;
    MulMat3(RS, R, S);
    QuatToMat3(fromQ, qr, QuatNormSquared(qr));
    ExpectMatNear(fromQ, RS, 1e-12);
  }
}
