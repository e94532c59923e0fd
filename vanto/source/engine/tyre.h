// Tyre model: a cross-section profile pressed into the ground plane gives
// the radial load; two transient slip states with relaxation lengths and a
// load-dependent friction coefficient give the in-plane force through a
// normalised Magic Formula, scaled by the ground's grip.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>

#include "engine/car_dynamics.h"
#include "engine/elementary.h"
#include "engine/engine_constants.h"
#include "engine/sampled_curve.h"

// Profile curves of one axle group over u = cos(axle, ground normal) in
// [0, 1]: P1 contact offset along the axle, P2 radial distance hub to
// contact, P3 profile distance hub to ground along the normal. 20 when the
// group or the point count (3..20) is out of range.
int32 BuildTyreProfiles(int32 group, double radius, double width, SampledCurve& p1, SampledCurve& p2,
                        SampledCurve& p3, int32 pointCount, double exponent);
// The same P1, and P2 without the division by the cosine.
int32 BuildTyreProfilesTwoCurve(int32 group, double radius, double width, SampledCurve& p1, SampledCurve& p2,
                                int32 pointCount, double exponent);

double MagicFormula(double s, double C, double E);

struct TyreSlipIO {
  double lateral = 0.0;      // A, working value
  double longitudinal = 0.0;  // B, working value
  double lateralRate = 0.0;   // out A'
  double longitudinalRate = 0.0;  // out B'
};

// One wheel. `profiles` are P1, P2, P3 of the wheel's group; `set` the seven
// Magic Formula constants (Ca, Ck, C, E, mu0, kmu, muY); `shared` the five
// shared ones (Lk, La, vSoft, skidScale, slideLimit). Returns 1 on contact.
// The slip rates are always written; the force only on contact.
int32 ComputeTyreForce(const TyreBlock& tyre, const SampledCurve* const profiles[3], const Vec3& hub,
                       const Vec3& hubVelocity, const Vec3& axle, double spinRate, const GroundHit& ground,
                       Vec3& contactPoint, Vec3& force, const double* set, const double* shared, TyreOutput& out,
                       TyreSlipIO& slip, double staticLoad);

// Up to four wheels for the tyre model at once, one array per quantity, so
// that the stages of the model run as vector arithmetic across the wheels.
// Plain arrays without initialisers: the force pass fills them every time.
struct TyreLanes {
  static constexpr int32 kWidth = 4;
  int32 count;  // wheels filled in, 1..kWidth
  // Inputs per wheel.
  const SampledCurve* profiles[3][kWidth];  // P1, P2, P3 of the wheel's group
  const GroundHit* ground[kWidth];
  double hub[3][kWidth], velocity[3][kWidth], axle[3][kWidth];  // world
  double rolling[kWidth];                                       // spin rate x wheel radius
  double stiffness[kWidth];                                     // radial stiffness
  double staticLoad[kWidth];
  double lateralSlip[kWidth], wheelSlip[kWidth];  // working A and B
  TyreOutput* output[kWidth];
  // Results per wheel; the force only on contact.
  double contactPoint[3][kWidth], force[3][kWidth];
  double lateralRate[kWidth], wheelRate[kWidth];
  int32 contact[kWidth];
  // Set by PrepareTyreLanes.
  int32 filled;  // count within 0..kWidth
  double groundNormal[3][kWidth], groundOffset[kWidth], groundGrip[kWidth];
  bool sharedSampling;  // each wheel's three curves share their sampling; then:
  double curveStart[kWidth], curveEnd[kWidth], curveScale[kWidth], curveLast[kWidth];
  // Each curve's table (BuildTyreCurveTable): given by the caller or built
  // by PrepareTyreLanes into tableStore, wheels sharing curves sharing one.
  const double* curveTable[3][kWidth];
  double tableStore[kWidth][3][kMaxCurveSamples + 2];
};

// A curve's values with its missing end neighbours extrapolated in front
// and behind as the curve's own evaluation does, so that the four points of
// segment i are the four values from table + i on. For 2..20 samples.
void BuildTyreCurveTable(const SampledCurve& curve, double (&table)[kMaxCurveSamples + 2]);

// ComputeTyreForce for the wheels of `lanes`.
void ComputeTyreLanes(TyreLanes& lanes, const double* set, const double* shared);
// ComputeTyreLanes in two parts, for the same wheels run several times (the
// force passes of a step): PrepareTyreLanes takes what stays fixed
// meanwhile (count, profiles, ground, stiffness, static load, outputs, and
// with `tablesGiven` the curve tables of the wheels filled in); RunTyreLanes
// takes the rest and gives the results.
void PrepareTyreLanes(TyreLanes& lanes, bool tablesGiven = false);
void RunTyreLanes(TyreLanes& lanes, const double* set, const double* shared);

// The per-pass inputs and the vector results of RunTyreModel, one vector of
// the four wheels per quantity (x, y, z for the world vectors).
struct TyreModelInputs {
  vanto::Double4 hub[3], velocity[3], axle[3];
  vanto::Double4 rolling, lateralSlip, wheelSlip;
};
struct TyreModelResults {
  vanto::Double4 contactPoint[3], force[3];  // the force only on contact
};

// The four wheels go through the model side by side as four-wide values, so
// that their long dependency chains (load, friction, slip, two arc
// tangents, a sine) overlap. PrepareTyreLanes has been run on the lanes and
// at least one wheel is filled in; spare lanes repeat the last wheel. The
// results besides `out` go into the lanes' arrays and output records.
// Inline, so that a caller working out the inputs in vector registers hands
// them over as they are.
VANTO_LANE_INLINE void RunTyreModel(TyreLanes& t, const TyreModelInputs& in, TyreModelResults& out, const double* set,
                                    const double* shared) {
  constexpr int32 kLanes = TyreLanes::kWidth;
  const double Lk = shared[0], La = shared[1], vSoft = shared[2], skidScale = shared[3], slideLimit = shared[4];
  const double Ca = set[0], Ck = set[1], C = set[2], E = set[3], mu0 = set[4], kmu = set[5], muY = set[6];
  // Divisions are the slowest arithmetic here: the constant divisors are
  // turned into factors once, four of them in one vector division.
  const vanto::Double4 per = 1.0 / vanto::Double4{Lk, La, vSoft, C};
  const double perLk = per[0], perLa = per[1], perVSoft = per[2], perC = per[3], perMuY = 1.0 / muY;
  const int32 n = t.filled;
  using vanto::Broadcast;
  using vanto::Double4;
  using vanto::Load4;
  using vanto::Select;
  using vanto::Sqrt;
  using vanto::Store4;
  static_assert(kLanes == 4);
  const Double4 one = Broadcast<Double4>(1.0), zero = Broadcast<Double4>(0.0);

  // The ground under each wheel.
  const Double4 nx = Load4(t.groundNormal[0]), ny = Load4(t.groundNormal[1]), nz = Load4(t.groundNormal[2]);
  const Double4 offset = Load4(t.groundOffset), grip = Load4(t.groundGrip);
  const Double4 ax = in.axle[0], ay = in.axle[1], az = in.axle[2];
  const Double4 ua = ax * nx + ay * ny + az * nz;

  // The profile P1 (offset along the axle), P2 (radial distance) and P3
  // (profile distance), read at |u| with the side carried by the sign, so
  // that a wheel and its mirror image see the same load and contact offset.
  // When each wheel's three curves share their sampling (as built), the
  // segments are looked up for all four wheels at once and their points go
  // straight into vectors; otherwise wheel by wheel. Either way they are
  // weighted for all four at once, with the curves' own weights.
  const Double4 au = Select(ua < 0.0, -ua, ua);
  using Weights = sampled_curve_detail::CatmullRomWeightsOf<Double4>;
  using sampled_curve_detail::Weigh;
  Double4 profile[3];
  if (t.sharedSampling) {
    vanto::Index4 i;
    Double4 f;
    sampled_curve_detail::LookUpSegmentOf(Load4(t.curveStart), Load4(t.curveEnd), Load4(t.curveScale),
                                          Load4(t.curveLast), au, i, f);
    const Weights w(f);
    // Per curve, each wheel's four points in one read, turned into the
    // four points across the wheels and weighted at once.
    for (int32 k = 0; k < 3; ++k) {
      const double* const(&table)[kLanes] = t.curveTable[k];
      Double4 points[4];
      vanto::Transpose4(vanto::LoadUnaligned4(table[0] + i[0]), vanto::LoadUnaligned4(table[1] + i[1]),
                        vanto::LoadUnaligned4(table[2] + i[2]), vanto::LoadUnaligned4(table[3] + i[3]), points);
      profile[k] = Weigh(points, w);
    }
  } else {
    // Curve by curve; at f = 0 the weighting gives the second point, the
    // curve's own value.
    const Weights w(Broadcast<Double4>(0.0));
    double value[3][kLanes];
    for (int32 k = 0; k < 3; ++k)
      for (int32 l = 0; l < kLanes; ++l) value[k][l] = EvaluateSampledCurve(*t.profiles[k][l], au[l]);
    for (int32 k = 0; k < 3; ++k) {
      const Double4 points[4] = {zero, Double4{value[k][0], value[k][1], value[k][2], value[k][3]}, zero, zero};
      profile[k] = Weigh(points, w);
    }
  }
  const Double4 profileOffset = profile[0], p2 = profile[1], p3 = profile[2];

  // Load; a wheel off the ground goes through the rest with a harmless one.
  const Double4 hx = in.hub[0], hy = in.hub[1], hz = in.hub[2];
  const Double4 load =
      (p3 - (hx * nx + hy * ny + hz * nz + offset)) * Load4(t.stiffness) + Load4(t.staticLoad);
  const Double4 fz = Select(load >= 1.0, load, one);

  // e1 = a x n rolling direction, e2 = a x e1 toward the contact patch,
  // e3 = e1 x n lateral.
  const Double4 rx = ay * nz - az * ny, ry = az * nx - ax * nz, rz = ax * ny - ay * nx;
  const Double4 qx = ay * rz - az * ry, qy = az * rx - ax * rz, qz = ax * ry - ay * rx;
  const Double4 lx = ry * nz - rz * ny, ly = rz * nx - rx * nz, lz = rx * ny - ry * nx;
  const Double4 side = Select(ua < 0.0, -one, one) * profileOffset;
  out.contactPoint[0] = hx + p2 * qx + side * ax;
  out.contactPoint[1] = hy + p2 * qy + side * ay;
  out.contactPoint[2] = hz + p2 * qz + side * az;

  // An axle nearly along the normal leaves the directions unscaled and sees
  // no slip velocity.
  const auto along = au > 0.9999;
  const Double4 inv = Select(along, one, 1.0 / Sqrt(1.0 - ua * ua));
  const Double4 e1x = rx * inv, e1y = ry * inv, e1z = rz * inv;
  const Double4 e3x = lx * inv, e3y = ly * inv, e3z = lz * inv;
  const Double4 vx = in.velocity[0], vy = in.velocity[1], vz = in.velocity[2];
  const Double4 forward = Select(along, zero, vx * e1x + vy * e1y + vz * e1z);
  const Double4 lateral = Select(along, zero, vx * e3x + vy * e3y + vz * e3z);
  // Softened speed: |forward| outside the band of half-width vSoft.
  const Double4 fast = Select(forward < 0.0, -forward, forward);
  const Double4 vs = Select(fast > vSoft, fast, (forward * forward * perVSoft + vSoft) * 0.5);
  const Double4 A = in.lateralSlip, B = in.wheelSlip;
  Store4(t.lateralRate, (lateral - vs * A) * perLa);
  Store4(t.wheelRate, (in.rolling - forward - vs * B) * perLk);

  // The output records are written four doubles at a time, here and below.
  static_assert(offsetof(TyreOutput, lateralForce) == sizeof(double) &&
                offsetof(TyreOutput, longitudinalForce) == 2 * sizeof(double) &&
                offsetof(TyreOutput, skidIntensity) == 3 * sizeof(double));

  // With no wheel on the ground (a car in the air or on its roof) the
  // friction and the slip curve would only give forces nobody applies: the
  // records are zero, as the full model leaves them, and so is the force.
  const vanto::Mask4 onGround = load >= 1.0;
  if (!vanto::AnyOf(onGround)) {
    for (int32 k = 0; k < 3; ++k) out.force[k] = zero;
    for (int32 l = 0; l < n; ++l) {
      TyreOutput& r = *t.output[l];
      vanto::StoreUnaligned4(static_cast<void*>(&r), zero);
      r.sliding = 0;
      r.contact = 0;
      t.contact[l] = 0;
    }
    return;
  }

  // Load-dependent friction and the normalised slips. 1/(mu Fz) is taken
  // as e^(kmu Fz) / (mu0 Fz), so that the division runs beside the
  // exponential instead of after it.
  const Double4 exponent = fz * kmu;
  Double4 friction = mu0 * vanto::ExpKernel(-exponent);
  Double4 perGrip = vanto::ExpKernel(exponent) * (1.0 / (mu0 * fz));
  // (Both exponents within the kernel's range: |kmu Fz| < 708.)
  if (!vanto::AllOf((exponent > -708.0) & (exponent < 708.0)))
    for (int32 l = 0; l < kLanes; ++l)
      if (!vanto::InExpKernelRange(exponent[l]) || !vanto::InExpKernelRange(-exponent[l])) {
        friction[l] = mu0 * std::exp(-exponent[l]);
        perGrip[l] = 1.0 / (friction[l] * fz[l]);
      }
  const Double4 sy = Ca * A * perGrip * perMuY;
  const Double4 sx = Ck * B * perGrip;
  const Double4 s2 = sx * sx + sy * sy;
  const Double4 slip = Sqrt(s2);

  // The Magic Formula m = sin(C atan(x - (x - atan x) E)), x = s/C.
  const Double4 x = slip * perC;
  const Double4 angle = C * vanto::AtanKernel(x - (x - vanto::AtanKernel(x)) * E);
  Double4 m = vanto::SinKernel(angle);
  if (!vanto::AllOf(Select(angle < 0.0, -angle, angle) < 1e5))
    for (int32 l = 0; l < kLanes; ++l)
      if (!vanto::InSinKernelRange(angle[l])) m[l] = std::sin(angle[l]);

  // Combined forces; below the 0.001 combined slip the linear forces, the
  // small-slip limit of the formula.
  const Double4 q = s2 * 0.25;
  const Double4 wy = sy * Ck * (q + 1.0);
  const Double4 wx = (q * Ca + Ck) * sx;
  // (The reciprocal runs beside the Magic Formula; only a product follows.)
  const Double4 g = m * (1.0 / Sqrt(wy * wy + wx * wx));
  const auto formula = slip >= vanto::kFloatMilli;
  const Double4 fx = Select(formula, g * wx * friction * fz, Ck * B) * grip;
  const Double4 fy = Select(formula, -(g * wy) * (friction * muY) * fz, -(Ca * A)) * grip;
  out.force[0] = fx * e1x + fy * e3x + fz * nx;
  out.force[1] = fx * e1y + fy * e3y + fz * ny;
  out.force[2] = fx * e1z + fy * e3z + fz * nz;
  // The output records, zero for a wheel off the ground: the four wheels'
  // values are turned into one vector of the four doubles per record, so
  // that each record takes one store and its two flags.
  const vanto::Mask4 sliding = slip > slideLimit;
  Double4 record[kLanes];
  vanto::Transpose4(Select(onGround, friction * fz, zero), Select(onGround, fy, zero), Select(onGround, fx, zero),
                    Select(onGround, slip / (slip + skidScale) * fz, zero), record);
  const vanto::Mask4 contactFlag = onGround & 1, slidingFlag = onGround & sliding & 1;
  // Written out, so that every lane index is a constant. (A macro, not a
  // lambda: a lambda would be built for one kind of register only.)
#define VANTO_WRITE_RECORD(l)                                         \
  do {                                                                \
    TyreOutput& r = *t.output[l];                                     \
    vanto::StoreUnaligned4(static_cast<void*>(&r), record[l]);        \
    r.sliding = static_cast<int32>(slidingFlag[l]);                   \
    r.contact = static_cast<int32>(contactFlag[l]);                   \
    t.contact[l] = r.contact;                                         \
  } while (false)
  VANTO_WRITE_RECORD(0);
  if (n > 1) VANTO_WRITE_RECORD(1);
  if (n > 2) VANTO_WRITE_RECORD(2);
  if (n > 3) VANTO_WRITE_RECORD(3);
#undef VANTO_WRITE_RECORD
}
