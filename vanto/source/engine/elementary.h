// Four-wide double arithmetic, and exponential, arc tangent and sine for
// the tyre force.
//
// The kernels are templates over double and Double4, free of branches and
// table look-ups, so that four wheels go through them side by side; the
// polynomial evaluation order (powers of z built side by side instead of
// one long Horner chain) keeps their dependency chains short. They agree
// with the C library to two units in the last place (the tests measure it),
// and a Double4 gives in each element exactly the double result. Each
// kernel states the range it is valid on; the Fast* wrappers hand
// everything else to the C library.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

// The kernels round through plain double arithmetic (the 1.5 * 2^52 shift,
// constants split into exact parts). Evaluated in extended precision, as the
// x87 unit does on 32-bit x86 unless the build asks for SSE2 maths
// (-msse2 -mfpmath=sse), they return wrong values; such a build must not pass.
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must not be evaluated in extended precision");

// Everything that takes or returns four-wide values is always inlined:
// routines built in a wide-register version next to the plain one (see
// target_clones) would otherwise call it with a different convention for
// passing such values than it was built with (so the compiler's note on
// that convention, -Wpsabi, is turned off where these are used).
#define VANTO_LANE_INLINE inline __attribute__((always_inline))

// Marks the version of a routine built for four-wide registers (AVX2, and
// no fused multiply-add, so that its results are those of the plain one).
#if defined(__x86_64__) || defined(__i386__)
#define VANTO_HAS_WIDE_VERSION 1
#define VANTO_WIDE_VERSION __attribute__((target("avx2")))
#else
#define VANTO_HAS_WIDE_VERSION 0
#define VANTO_WIDE_VERSION
#endif

namespace vanto {

// Four doubles as one value: arithmetic and comparisons work element by
// element, a comparison giving a mask of all-ones or all-zero elements.
// Where the processor has no four-wide registers the compiler splits every
// operation into two on pairs.
using Double4 = double __attribute__((vector_size(32)));
using Bits4 = uint64_t __attribute__((vector_size(32)));
using Mask4 = int64_t __attribute__((vector_size(32)));

// Four lanes from an array and back. (Loading four values just stored one
// by one waits for all four stores to reach the cache; such values are
// better built into a vector from their scalars.)
VANTO_LANE_INLINE Double4 Load4(const double (&v)[4]) {
  Double4 x;
  std::memcpy(&x, v, sizeof x);
  return x;
}
VANTO_LANE_INLINE void Store4(double (&v)[4], const Double4& x) { std::memcpy(v, &x, sizeof x); }
// Four consecutive values from anywhere.
VANTO_LANE_INLINE Double4 LoadUnaligned4(const double* v) {
  Double4 x;
  std::memcpy(&x, v, sizeof x);
  return x;
}

VANTO_LANE_INLINE void StoreUnaligned4(void* v, const Double4& x) { std::memcpy(v, &x, sizeof x); }

// Rows a, b, c, d into columns: out[j] = {a[j], b[j], c[j], d[j]}.
VANTO_LANE_INLINE void Transpose4(Double4 a, Double4 b, Double4 c, Double4 d, Double4 (&out)[4]) {
  const Double4 ab0 = __builtin_shufflevector(a, b, 0, 4, 2, 6), ab1 = __builtin_shufflevector(a, b, 1, 5, 3, 7);
  const Double4 cd0 = __builtin_shufflevector(c, d, 0, 4, 2, 6), cd1 = __builtin_shufflevector(c, d, 1, 5, 3, 7);
  out[0] = __builtin_shufflevector(ab0, cd0, 0, 1, 4, 5);
  out[1] = __builtin_shufflevector(ab1, cd1, 0, 1, 4, 5);
  out[2] = __builtin_shufflevector(ab0, cd0, 2, 3, 6, 7);
  out[3] = __builtin_shufflevector(ab1, cd1, 2, 3, 6, 7);
}

// `v` in every element of T (double or Double4).
template <class T>
VANTO_LANE_INLINE T Broadcast(double v) {
  if constexpr (std::is_same_v<T, double>) return v;
  else return T{v, v, v, v};
}

// c ? a : b element by element (one blend instruction with four-wide
// registers; without them the compiler takes the elements one by one).
VANTO_LANE_INLINE double Select(bool c, double a, double b) { return c ? a : b; }
VANTO_LANE_INLINE Double4 Select(Mask4 c, Double4 a, Double4 b) { return c ? a : b; }

// True when every element of the mask is set.
VANTO_LANE_INLINE bool AllOf(Mask4 c) {
  const Mask4 pairs = c & __builtin_shufflevector(c, c, 2, 3, 0, 1);
  return (pairs & __builtin_shufflevector(pairs, pairs, 1, 0, 3, 2))[0] != 0;
}

// True when any element of the mask is set.
VANTO_LANE_INLINE bool AnyOf(Mask4 c) {
  const Mask4 pairs = c | __builtin_shufflevector(c, c, 2, 3, 0, 1);
  return (pairs | __builtin_shufflevector(pairs, pairs, 1, 0, 3, 2))[0] != 0;
}

// Truncation to a table index (the value must be in the int32 range) and
// back, element by element.
using Index4 = int32_t __attribute__((vector_size(16)));
VANTO_LANE_INLINE int32_t ToIndex(double x) { return static_cast<int32_t>(x); }
VANTO_LANE_INLINE Index4 ToIndex(Double4 x) { return __builtin_convertvector(x, Index4); }
VANTO_LANE_INLINE double FromIndex(int32_t i) { return i; }
VANTO_LANE_INLINE Double4 FromIndex(Index4 i) { return __builtin_convertvector(i, Double4); }

VANTO_LANE_INLINE Double4 Sqrt(Double4 x) {
  return Double4{std::sqrt(x[0]), std::sqrt(x[1]), std::sqrt(x[2]), std::sqrt(x[3])};
}

namespace elementary_detail {

// The bits of a double (or of each element) as an unsigned integer, and back.
VANTO_LANE_INLINE uint64_t AsBits(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}
VANTO_LANE_INLINE Bits4 AsBits(Double4 x) { return (Bits4)x; }
VANTO_LANE_INLINE double FromBits(uint64_t b) {
  double x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}
VANTO_LANE_INLINE Double4 FromBits(Bits4 b) { return (Double4)b; }

// 1.5 * 2^52: adding and subtracting it rounds a double below 2^51 in
// magnitude to the nearest integer (ties to even). Exact under IEEE
// arithmetic, which the build keeps (no fast-math).
inline constexpr double kRoundShift = 6755399441055744.0;

template <class T>
VANTO_LANE_INLINE T RoundToInteger(T x) {
  return (x + kRoundShift) - kRoundShift;
}

// sin r and cos r for |r| <= pi/4 by their Taylor series, whose first
// dropped term is below 1e-17 there.
template <class T>
VANTO_LANE_INLINE T SinTaylor(T r) {
  const T z = r * r, z2 = z * z, z4 = z2 * z2, z8 = z4 * z4;
  const T q0 = -1.0 / 6 + z * (1.0 / 120);
  const T q1 = -1.0 / 5040 + z * (1.0 / 362880);
  const T q2 = -1.0 / 39916800 + z * (1.0 / 6227020800.0);
  const T q3 = -1.0 / 1307674368000.0 + z * (1.0 / 355687428096000.0);
  const T p = ((q0 + z2 * q1) + z4 * (q2 + z2 * q3)) + z8 * (-1.0 / 121645100408832000.0);
  return r + r * z * p;
}

template <class T>
VANTO_LANE_INLINE T CosTaylor(T r) {
  const T z = r * r, z2 = z * z, z4 = z2 * z2;
  const T q0 = 1.0 / 24 + z * (-1.0 / 720);
  const T q1 = 1.0 / 40320 + z * (-1.0 / 3628800);
  const T q2 = 1.0 / 479001600.0 + z * (-1.0 / 87178291200.0);
  const T q3 = 1.0 / 20922789888000.0 + z * (-1.0 / 6402373705728000.0);
  const T p = (q0 + z2 * q1) + z4 * (q2 + z2 * q3);
  const T h = 0.5 * z;
  const T w = 1.0 - h;
  // The rounding of 1 - z/2 is carried into the small terms.
  return w + (((1.0 - w) - h) + z2 * p);
}

}  // namespace elementary_detail

// e^x for -708 < x < 709 (a meaningless finite value elsewhere).
template <class T>
VANTO_LANE_INLINE T ExpKernel(T x) {
  using namespace elementary_detail;
  constexpr double kLog2e = 1.4426950408889634;
  constexpr double kLn2Hi = 0.6931471806019545;  // ln 2 to 32 bits: exact times k
  constexpr double kLn2Lo = -4.2009150726810846e-11;
  // k = round(x / ln 2) sits in the low bits of `shifted`.
  const T shifted = x * kLog2e + kRoundShift;
  const T k = shifted - kRoundShift;
  const T r = (x - k * kLn2Hi) - k * kLn2Lo;  // |r| <= ln2/2
  // Taylor series of e^r to degree 13: the first dropped term is below 1e-17.
  const T r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
  const T q0 = 1.0 + r;
  const T q1 = 1.0 / 2 + r * (1.0 / 6);
  const T q2 = 1.0 / 24 + r * (1.0 / 120);
  const T q3 = 1.0 / 720 + r * (1.0 / 5040);
  const T q4 = 1.0 / 40320 + r * (1.0 / 362880);
  const T q5 = 1.0 / 3628800 + r * (1.0 / 39916800);
  const T q6 = 1.0 / 479001600.0 + r * (1.0 / 6227020800.0);
  const T p = ((q0 + r2 * q1) + r4 * (q2 + r2 * q3)) + r8 * ((q4 + r2 * q5) + r4 * q6);
  // 2^k from the exponent field; unsigned arithmetic, so a lane outside the
  // range gives a wrong value but never undefined behaviour.
  const auto scale = (AsBits(shifted) - AsBits(kRoundShift) + 1023) << 52;
  return p * FromBits(scale);
}

// atan x for every x, infinities and NaN included.
template <class T>
VANTO_LANE_INLINE T AtanKernel(T x) {
  using namespace elementary_detail;
  // t = |x|; the sign goes back on at the end, so atan(-0) is -0.
  constexpr uint64_t kSign = 0x8000000000000000u;
  const T t = FromBits(AsBits(x) & ~kSign);
  // Reduce to |r| <= tan(pi/8) with one division:
  //   t <= tan(pi/8):  atan t = atan t
  //   t <= tan(3pi/8): atan t = pi/4 + atan((t - 1)/(t + 1))
  //   otherwise:       atan t = pi/2 + atan(-1/t)
  constexpr double kTanPi8 = 0.41421356237309503;
  constexpr double kTan3Pi8 = 2.414213562373095;
  constexpr double kPi4 = 0.7853981633974483;
  constexpr double kPi2 = 1.5707963267948966;
  const auto steep = t > kTan3Pi8, middle = t > kTanPi8;
  const T one = Broadcast<T>(1.0);
  const T num = Select(steep, -one, Select(middle, t - 1.0, t));
  const T den = Select(steep, t, Select(middle, t + 1.0, one));
  const T base = Select(steep, Broadcast<T>(kPi2), Select(middle, Broadcast<T>(kPi4), Broadcast<T>(0.0)));
  const T r = num / den;
  // (atan r - r)/r^3 as a polynomial in z = r^2, fitted on the reduced range.
  const T z = r * r, z2 = z * z, z4 = z2 * z2, z8 = z4 * z4;
  const T q0 = -0.333333333333333301597 + z * 0.199999999999955206778;
  const T q1 = -0.142857142846665429225 + z * 0.111111110152563617275;
  const T q2 = -0.0909090457812390189048 + z * 0.0769218319082608656369;
  const T q3 = -0.066645114473819480001 + z * 0.0585814891280220988165;
  const T q4 = -0.0508544973794025986132 + z * 0.0392316582955871913028;
  const T p = ((q0 + z2 * q1) + z4 * (q2 + z2 * q3)) + z8 * (q4 + z2 * -0.0191768871190622589893);
  const T a = base + (r + r * z * p);
  return FromBits(AsBits(a) | (AsBits(x) & kSign));
}

// sin x for |x| < 1e5 (a meaningless value elsewhere).
template <class T>
VANTO_LANE_INLINE T SinKernel(T x) {
  using namespace elementary_detail;
  constexpr double k2OverPi = 0.6366197723675814;
  constexpr double kPio2A = 1.5707963267341256;  // pi/2 in three parts, the first
  constexpr double kPio2B = 6.077100506303966e-11;  // two of 33 bits: exact times k
  constexpr double kPio2C = 2.0222662487959506e-21;
  const T k = RoundToInteger(x * k2OverPi);
  const T r = ((x - k * kPio2A) - k * kPio2B) - k * kPio2C;  // |r| <= pi/4
  // Quadrant j = k mod 4, kept in floating point: floor(k/4) is the nearest
  // integer to k/4 - 3/8, which is never half-way for an integer k.
  const T j = k - 4.0 * RoundToInteger(k * 0.25 - 0.375);
  const T s = SinTaylor(r), c = CosTaylor(r);
  const T v = Select((j == 1.0) | (j == 3.0), c, s);
  return Select(j >= 2.0, -v, v);
}

inline bool InExpKernelRange(double x) { return x > -708.0 && x < 709.0; }
inline bool InSinKernelRange(double x) { return std::fabs(x) < 1e5; }

inline double FastExp(double x) { return InExpKernelRange(x) ? ExpKernel(x) : std::exp(x); }
inline double FastAtan(double x) { return AtanKernel(x); }
inline double FastSin(double x) { return InSinKernelRange(x) ? SinKernel(x) : std::sin(x); }

}  // namespace vanto
