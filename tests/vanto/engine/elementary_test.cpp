// The tyre model's exponential, arc tangent and sine against the C library,
// and the four-wide versions against the scalar ones.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "engine/elementary.h"

namespace {

// Distance in units of the last place of `exact`.
double UlpError(double got, double exact) {
  if (got == exact || (std::isnan(got) && std::isnan(exact))) return 0.0;
  const double a = std::fabs(exact);
  return std::fabs(got - exact) / (std::nextafter(a, std::numeric_limits<double>::infinity()) - a);
}

struct Range {
  const char* name;
  double (*fast)(double);
  double (*exact)(double);
  double lo, hi;
};

double Exp(double x) { return std::exp(x); }
double Atan(double x) { return std::atan(x); }
double Sin(double x) { return std::sin(x); }

TEST(Elementary, AgreesWithTheCLibraryToTwoUnitsInTheLastPlace) {
  const Range ranges[] = {
      {"exp", vanto::FastExp, Exp, -700.0, 700.0},   {"exp near 0", vanto::FastExp, Exp, -1.0, 1.0},
      {"atan", vanto::FastAtan, Atan, -4.0, 4.0},    {"atan wide", vanto::FastAtan, Atan, -1e8, 1e8},
      {"sin", vanto::FastSin, Sin, -4.0, 4.0},
#ifndef _WIN32
      // mingw's sin reduces wide arguments with the x87 unit's short pi (off
      // by up to 2.5e5 units in the last place): no reference there.
      {"sin wide", vanto::FastSin, Sin, -9e4, 9e4},
#endif
      {"atan tiny", vanto::FastAtan, Atan, -1e-9, 1e-9},
  };
  std::mt19937_64 random(7);
  for (const Range& r : ranges) {
    std::uniform_real_distribution<double> pick(r.lo, r.hi);
    double worst = 0.0;
    for (int i = 0; i < 200000; ++i) {
      const double x = pick(random);
      worst = std::max(worst, UlpError(r.fast(x), r.exact(x)));
    }
    EXPECT_LE(worst, 2.0) << r.name;
  }
}

TEST(Elementary, EdgesAndValuesOutsideTheKernelsGoToTheCLibrary) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  EXPECT_EQ(vanto::FastAtan(inf), std::atan(inf));
  EXPECT_EQ(vanto::FastAtan(-inf), std::atan(-inf));
  EXPECT_TRUE(std::isnan(vanto::FastAtan(nan)));
  EXPECT_TRUE(std::signbit(vanto::FastAtan(-0.0)));
  EXPECT_EQ(vanto::FastExp(0.0), 1.0);
  EXPECT_EQ(vanto::FastExp(-1000.0), 0.0);
  EXPECT_EQ(vanto::FastExp(1000.0), inf);
  EXPECT_TRUE(std::isnan(vanto::FastExp(nan)));
  EXPECT_EQ(vanto::FastSin(0.0), 0.0);
  EXPECT_EQ(vanto::FastSin(1e7), std::sin(1e7));
  EXPECT_TRUE(std::isnan(vanto::FastSin(inf)));
  // Quadrant boundaries of the sine's reduction.
  for (int k = -8; k <= 8; ++k) {
    const double x = k * 1.5707963267948966;
    EXPECT_NEAR(vanto::FastSin(x), std::sin(x), 1e-15) << k;
  }
}

TEST(Elementary, FourWideKernelsGiveTheScalarResultsBitForBit) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 20000; ++i) {
    double e[4], a[4], s[4];
    for (int l = 0; l < 4; ++l) {
      e[l] = unit(random) * 700.0;
      a[l] = std::ldexp(unit(random), static_cast<int>(random() % 60) - 30);
      s[l] = unit(random) * 1e4;
    }
    const vanto::Double4 ev = vanto::ExpKernel(vanto::Load4(e)), av = vanto::AtanKernel(vanto::Load4(a)),
                         sv = vanto::SinKernel(vanto::Load4(s));
    for (int l = 0; l < 4; ++l) {
      ASSERT_EQ(ev[l], vanto::ExpKernel(e[l])) << e[l];
      ASSERT_EQ(av[l], vanto::AtanKernel(a[l])) << a[l];
      ASSERT_EQ(sv[l], vanto::SinKernel(s[l])) << s[l];
    }
  }
}

}  // namespace
