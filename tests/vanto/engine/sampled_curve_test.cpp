// Sampled curves: both evaluations, end handling, capacity and the asserts.
#include <limits>

#include "engine_test_support.h"
#include "engine/sampled_curve.h"

using SampledCurveTest = EngineTest;

TEST_F(SampledCurveTest, LinearSamplesGiveExactlyLinearValues) {
  // y = 3x - 1 sampled at 7 points over [-2, 4]: the extrapolated end
  // neighbours keep the slope, so Catmull-Rom is exact too.
  double v[7];
  for (int i = 0; i < 7; ++i) v[i] = 3.0 * (-2.0 + i) - 1.0;
  SampledCurve c;
  BuildSampledCurve(c, 7, v, -2.0, 4.0);
  EXPECT_DOUBLE_EQ(c.scale, 1.0);
  for (double x : {-2.0, -1.75, -0.3, 0.0, 1.5, 2.999, 3.5, 3.998}) {
    EXPECT_NEAR(EvaluateSampledCurveLinear(c, x), 3.0 * x - 1.0, 1e-12) << x;
    EXPECT_NEAR(EvaluateSampledCurve(c, x), 3.0 * x - 1.0, 1e-12) << x;
  }
  EXPECT_EQ(assertCount, 0);
}

TEST_F(SampledCurveTest, OutsideTheIntervalTheEndValuesHold) {
  const double v[4] = {2.0, 5.0, 4.0, 1.0};
  SampledCurve c;
  BuildSampledCurve(c, 4, v, 0.0, 3.0);
  EXPECT_EQ(EvaluateSampledCurve(c, -10.0), 2.0);
  EXPECT_EQ(EvaluateSampledCurveLinear(c, -10.0), 2.0);
  // Above the end the value at xMax = 3 - 0.001f is held: just short of the
  // last sample.
  const double atMax = EvaluateSampledCurveLinear(c, c.xMax);
  EXPECT_EQ(c.xMax, 3.0 - 0.0010000000474974513);
  EXPECT_EQ(EvaluateSampledCurveLinear(c, 100.0), atMax);
  EXPECT_NEAR(atMax, 1.0 + 3.0 * 0.0010000000474974513, 1e-12);
  EXPECT_EQ(EvaluateSampledCurve(c, 100.0), EvaluateSampledCurve(c, c.xMax));
  // NaN reads as the start of the interval, without an undefined conversion.
  EXPECT_EQ(EvaluateSampledCurve(c, std::numeric_limits<double>::quiet_NaN()), 2.0);
}

TEST_F(SampledCurveTest, ThreeSamplesUseTheExtrapolatedNeighbours) {
  // (0, 1, 0) over [0, 2]. At x = 0.5: p0 = 2*0 - 1 = -1, p1 = 0, p2 = 1,
  // p3 = 0, f = 1/2: -1 * (-1/8)/2 + 1 * (9/8)/2 = 0.625; mirrored at 1.5.
  const double v[3] = {0.0, 1.0, 0.0};
  SampledCurve c;
  BuildSampledCurve(c, 3, v, 0.0, 2.0);
  EXPECT_NEAR(EvaluateSampledCurve(c, 0.5), 0.625, 1e-15);
  EXPECT_NEAR(EvaluateSampledCurve(c, 1.5), 0.625, 1e-15);
  EXPECT_NEAR(EvaluateSampledCurve(c, 1.0), 1.0, 1e-15);
  EXPECT_NEAR(EvaluateSampledCurveLinear(c, 0.5), 0.5, 1e-15);
}

TEST_F(SampledCurveTest, KeepsTwentySamplesAndSpacesThemAsTwenty) {
  double v[25];
  for (int i = 0; i < 25; ++i) v[i] = i * i;
  SampledCurve c;
  BuildSampledCurve(c, 25, v, 0.0, 38.0);
  EXPECT_EQ(c.count, 20);
  EXPECT_DOUBLE_EQ(c.scale, 19.0 / 38.0);
  EXPECT_NEAR(EvaluateSampledCurveLinear(c, 2.0 * 19), 361.0 - 0.0010000000474974513 * 0.5 * 37.0, 1e-9);
  EXPECT_EQ(assertCount, 0);
}

// A curve whose end is reached exactly (the engine speed at its limiter
// gives u = 19.0): linear evaluation reports f = 1, Catmull-Rom returns the
// last sample without complaint.
TEST_F(SampledCurveTest, LimiterEndOfTheTorqueCurve) {
  const SampledCurve c = FlatTorqueCurve(6000.0, 200.0);
  const double u = (c.xMax - c.x0) * c.scale;
  ASSERT_EQ(u, 19.0);
  EXPECT_EQ(EvaluateSampledCurve(c, c.xMax), 200.0);
  EXPECT_EQ(assertCount, 0);
  EXPECT_EQ(EvaluateSampledCurveLinear(c, c.xMax), 200.0);
  EXPECT_EQ(assertCount, 1);
}

TEST_F(SampledCurveTest, DegenerateBuildsAreReportedAndNeverReadOutOfBounds) {
  struct Case {
    int32 n;
    double x1;
    int asserts;
    double expect;  // at x = 0.5
  };
  const double v[3] = {4.0, 6.0, 8.0};
  const Case cases[] = {
      {2, 1.0, 1, 5.0},  // too few samples: reported, still a straight segment
      {1, 1.0, 1, 4.0},  // one sample: that value everywhere
      {0, 1.0, 1, 0.0},  // empty: 0
      {3, 0.0, 1, 4.0},  // reversed interval: reported
  };
  for (const Case& k : cases) {
    assertCount = 0;
    SampledCurve c;
    EXPECT_EQ(BuildSampledCurve(c, k.n, v, 0.0, k.x1), 0);
    EXPECT_EQ(assertCount, k.asserts) << k.n;
    if (k.n < 3) {
      EXPECT_EQ(EvaluateSampledCurve(c, 0.5), k.expect) << k.n;
      EXPECT_EQ(EvaluateSampledCurveLinear(c, 0.5), k.expect) << k.n;
    }
  }
  SampledCurve empty;
  EXPECT_EQ(EvaluateSampledCurve(empty, 3.0), 0.0);
}

TEST_F(SampledCurveTest, CopyKeepsTheDestinationBeyondTheCount) {
  const double v[3] = {1.0, 2.0, 3.0};
  SampledCurve src, dst;
  BuildSampledCurve(src, 3, v, 0.0, 1.0);
  for (double& x : dst.values) x = -1.0;
  EXPECT_EQ(CopySampledCurve(dst, src), 0);
  EXPECT_EQ(dst.count, 3);
  EXPECT_EQ(dst.values[2], 3.0);
  EXPECT_EQ(dst.values[3], -1.0);
  EXPECT_EQ(dst.scale, src.scale);
  EXPECT_EQ(DotXZ(Vec3(1, 100, 2), Vec3(3, 100, 4)), 11.0);
}
