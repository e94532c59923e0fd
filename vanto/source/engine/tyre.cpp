#include "engine/tyre.h"

#include <cmath>
#include <cstring>

#include "engine/elementary.h"
#include "engine/engine_constants.h"
#include "engine/engine_globals.h"

namespace {

int32 StageProfiles(int32 group, double r, double w, int32 n, double e, bool divideByCosine) {
  if (group < 0 || group > 1 || n < 3 || n > kMaxCurveSamples) return kStatusFailed;
  const double h = w * 0.5;
  const double ri = r - h;
  SimulationAssert(ri >= 0.0);
  double(&s)[3][2][20] = gEngine.tyreProfileStaging;
  for (int32 k = 0; k < n; ++k) {
    const double u = static_cast<double>(k) / (n - 1);
    const double c = std::sqrt(1.0 - u * u);
    s[0][group][k] = -(u * h);
    if (k < n - 1) {
      const double rounded = (1.0 - std::pow(u, e)) * ri;
      s[1][group][k] = (divideByCosine ? rounded / c : rounded) + h;
    } else {
      s[1][group][k] = h;
    }
    s[2][group][k] = c * ri + h;
  }
  return kStatusOk;
}

}  // namespace

int32 BuildTyreProfiles(int32 group, double r, double w, SampledCurve& p1, SampledCurve& p2, SampledCurve& p3,
                        int32 n, double e) {
  if (StageProfiles(group, r, w, n, e, true) != kStatusOk) return kStatusFailed;
  const double(&s)[3][2][20] = gEngine.tyreProfileStaging;
  if (BuildSampledCurve(p1, n, s[0][group], 0.0, 1.0) != kStatusOk) return kStatusFailed;
  if (BuildSampledCurve(p2, n, s[1][group], 0.0, 1.0) != kStatusOk) return kStatusFailed;
  if (BuildSampledCurve(p3, n, s[2][group], 0.0, 1.0) != kStatusOk) return kStatusFailed;
  return kStatusOk;
}

int32 BuildTyreProfilesTwoCurve(int32 group, double r, double w, SampledCurve& p1, SampledCurve& p2, int32 n,
                                double e) {
  if (StageProfiles(group, r, w, n, e, false) != kStatusOk) return kStatusFailed;
  const double(&s)[3][2][20] = gEngine.tyreProfileStaging;
  if (BuildSampledCurve(p1, n, s[0][group], 0.0, 1.0) != kStatusOk) return kStatusFailed;
  if (BuildSampledCurve(p2, n, s[1][group], 0.0, 1.0) != kStatusOk) return kStatusFailed;
  return kStatusOk;
}

void BuildTyreCurveTable(const SampledCurve& c, double (&table)[kMaxCurveSamples + 2]) {
  const int32 n = c.count;
  if (n < 2 || n > kMaxCurveSamples) return;
  table[0] = 2.0 * c.values[0] - c.values[1];
  std::memcpy(table + 1, c.values, sizeof c.values);  // a fixed size copies fastest
  table[n + 1] = 2.0 * c.values[n - 1] - c.values[n - 2];
}

double MagicFormula(double s, double C, double E) {
  const double x = s / C;
  return vanto::FastSin(C * vanto::FastAtan(x - E * (x - vanto::FastAtan(x))));
}

namespace {

// What stays fixed while the same wheels go through the model again on the
// same ground: the spare lanes of those inputs, the ground's values as
// vectors, and whether (and how) the curves share their sampling.
VANTO_LANE_INLINE void PrepareModel(TyreLanes& t, bool tablesGiven) {
  constexpr int32 kLanes = TyreLanes::kWidth;
  const int32 n = t.count < 1 ? 0 : (t.count > kLanes ? kLanes : t.count);
  t.filled = n;
  if (n == 0) return;
  // Spare lanes repeat the last wheel; their results are not used.
  for (int32 l = n; l < kLanes; ++l) {
    for (int32 k = 0; k < 3; ++k) t.profiles[k][l] = t.profiles[k][n - 1];
    t.ground[l] = t.ground[n - 1];
    t.stiffness[l] = t.stiffness[n - 1];
    t.staticLoad[l] = t.staticLoad[n - 1];
  }
  using vanto::Double4;
  using vanto::Store4;
  const GroundHit* const(&ground)[kLanes] = t.ground;
#define VANTO_GROUNDS(value) Double4{ground[0]->value, ground[1]->value, ground[2]->value, ground[3]->value}
  Store4(t.groundNormal[0], VANTO_GROUNDS(normal.x));
  Store4(t.groundNormal[1], VANTO_GROUNDS(normal.y));
  Store4(t.groundNormal[2], VANTO_GROUNDS(normal.z));
  Store4(t.groundOffset, VANTO_GROUNDS(planeOffset));
  Store4(t.groundGrip, VANTO_GROUNDS(friction));
#undef VANTO_GROUNDS
  bool alike[kLanes];
  for (int32 l = 0; l < kLanes; ++l) {
    // The wheels of one axle group share their curves: checked once.
    const bool sameAsLast = l > 0 && t.profiles[0][l] == t.profiles[0][l - 1] &&
                            t.profiles[1][l] == t.profiles[1][l - 1] && t.profiles[2][l] == t.profiles[2][l - 1];
    alike[l] = sameAsLast ? alike[l - 1] : ShareSampling(*t.profiles[0][l], *t.profiles[1][l], *t.profiles[2][l]);
  }
  t.sharedSampling = alike[0] && alike[1] && alike[2] && alike[3];
  if (!t.sharedSampling) return;
  const SampledCurve* const(&c)[kLanes] = t.profiles[0];
#define VANTO_CURVES(value) Double4{c[0]->value, c[1]->value, c[2]->value, c[3]->value}
  Store4(t.curveStart, VANTO_CURVES(x0));
  Store4(t.curveEnd, VANTO_CURVES(xMax));
  Store4(t.curveScale, VANTO_CURVES(scale));
  Store4(t.curveLast, VANTO_CURVES(count - 2.0));
#undef VANTO_CURVES
  if (tablesGiven) {
    for (int32 l = n; l < kLanes; ++l)
      for (int32 k = 0; k < 3; ++k) t.curveTable[k][l] = t.curveTable[k][n - 1];
    return;
  }
  for (int32 l = 0; l < kLanes; ++l) {
    const bool sameAsLast = l > 0 && t.profiles[0][l] == t.profiles[0][l - 1] &&
                            t.profiles[1][l] == t.profiles[1][l - 1] && t.profiles[2][l] == t.profiles[2][l - 1];
    for (int32 k = 0; k < 3; ++k) {
      if (!sameAsLast) BuildTyreCurveTable(*t.profiles[k][l], t.tableStore[l][k]);
      t.curveTable[k][l] = sameAsLast ? t.curveTable[k][l - 1] : t.tableStore[l][k];
    }
  }
}

// The four wheels go through the model side by side as four-wide values, so
// that their long dependency chains (load, friction, slip, two arc
// tangents, a sine) overlap. PrepareModel has been run on the lanes.
VANTO_LANE_INLINE void RunModel(TyreLanes& t, const double* set, const double* shared) {
  constexpr int32 kLanes = TyreLanes::kWidth;
  const double Lk = shared[0], La = shared[1], vSoft = shared[2], skidScale = shared[3], slideLimit = shared[4];
  const double Ca = set[0], Ck = set[1], C = set[2], E = set[3], mu0 = set[4], kmu = set[5], muY = set[6];
  // Divisions are the slowest arithmetic here: the constant divisors are
  // turned into factors once, four of them in one vector division.
  const vanto::Double4 per = 1.0 / vanto::Double4{Lk, La, vSoft, C};
  const double perLk = per[0], perLa = per[1], perVSoft = per[2], perC = per[3], perMuY = 1.0 / muY;
  const int32 n = t.filled;
  if (n == 0) return;

  // Spare lanes repeat the last wheel; their results are not used.
  for (int32 l = n; l < kLanes; ++l) {
    for (int32 k = 0; k < 3; ++k) {
      t.hub[k][l] = t.hub[k][n - 1];
      t.velocity[k][l] = t.velocity[k][n - 1];
      t.axle[k][l] = t.axle[k][n - 1];
    }
    t.rolling[l] = t.rolling[n - 1];
    t.lateralSlip[l] = t.lateralSlip[n - 1];
    t.wheelSlip[l] = t.wheelSlip[n - 1];
  }
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
  const Double4 ax = Load4(t.axle[0]), ay = Load4(t.axle[1]), az = Load4(t.axle[2]);
  const Double4 ua = ax * nx + ay * ny + az * nz;

  // The profile P1 (offset along the axle), P2 (radial distance) and P3
  // (profile distance), read at |u| with the side carried by the sign, so
  // that a wheel and its mirror image see the same load and contact offset.
  // When each wheel's three curves share their sampling (as built), the
  // segments are looked up for all four wheels at once and their points go
  // straight into vectors; otherwise wheel by wheel. Either way they are
  // weighted for all four at once, with the curves' own weights.
  const Double4 au = Select(ua < 0.0, -ua, ua);
  Double4 f;
  Double4 points[3][4];  // per profile curve the segment's four points
  if (t.sharedSampling) {
    const Double4 last = Load4(t.curveLast);
    vanto::Index4 i;
    sampled_curve_detail::LookUpSegmentOf(Load4(t.curveStart), Load4(t.curveEnd), Load4(t.curveScale), last, au, i,
                                          f);
    // Per curve, each wheel's four points in one read, turned into the
    // four points across the wheels.
    for (int32 k = 0; k < 3; ++k) {
      const double* const(&table)[kLanes] = t.curveTable[k];
      vanto::Transpose4(vanto::LoadUnaligned4(table[0] + i[0]), vanto::LoadUnaligned4(table[1] + i[1]),
                        vanto::LoadUnaligned4(table[2] + i[2]), vanto::LoadUnaligned4(table[3] + i[3]),
                        points[k]);
    }
  } else {
    // Curve by curve; at f = 0 the weighting gives the second point, the
    // curve's own value.
    f = Broadcast<Double4>(0.0);
    double value[3][kLanes];
    for (int32 k = 0; k < 3; ++k)
      for (int32 l = 0; l < kLanes; ++l) value[k][l] = EvaluateSampledCurve(*t.profiles[k][l], au[l]);
    for (int32 k = 0; k < 3; ++k) {
      points[k][0] = points[k][2] = points[k][3] = zero;
      points[k][1] = Double4{value[k][0], value[k][1], value[k][2], value[k][3]};
    }
  }
  const sampled_curve_detail::CatmullRomWeightsOf<Double4> w(f);
  Double4 profile[3];
  for (int32 k = 0; k < 3; ++k)
    profile[k] = (points[k][0] * w.w0 + points[k][1] * w.w1 + points[k][2] * w.w2 + points[k][3] * w.w3) * 0.5;
  const Double4 profileOffset = profile[0], p2 = profile[1], p3 = profile[2];

  // Load; a wheel off the ground goes through the rest with a harmless one.
  const Double4 hx = Load4(t.hub[0]), hy = Load4(t.hub[1]), hz = Load4(t.hub[2]);
  const Double4 load =
      (p3 - (hx * nx + hy * ny + hz * nz + offset)) * Load4(t.stiffness) + Load4(t.staticLoad);
  const Double4 fz = Select(load >= 1.0, load, one);

  // e1 = a x n rolling direction, e2 = a x e1 toward the contact patch,
  // e3 = e1 x n lateral.
  const Double4 rx = ay * nz - az * ny, ry = az * nx - ax * nz, rz = ax * ny - ay * nx;
  const Double4 qx = ay * rz - az * ry, qy = az * rx - ax * rz, qz = ax * ry - ay * rx;
  const Double4 lx = ry * nz - rz * ny, ly = rz * nx - rx * nz, lz = rx * ny - ry * nx;
  const Double4 side = Select(ua < 0.0, -one, one) * profileOffset;
  Store4(t.contactPoint[0], hx + p2 * qx + side * ax);
  Store4(t.contactPoint[1], hy + p2 * qy + side * ay);
  Store4(t.contactPoint[2], hz + p2 * qz + side * az);

  // An axle nearly along the normal leaves the directions unscaled and sees
  // no slip velocity.
  const auto along = au > 0.9999;
  const Double4 inv = Select(along, one, 1.0 / Sqrt(1.0 - ua * ua));
  const Double4 e1x = rx * inv, e1y = ry * inv, e1z = rz * inv;
  const Double4 e3x = lx * inv, e3y = ly * inv, e3z = lz * inv;
  const Double4 vx = Load4(t.velocity[0]), vy = Load4(t.velocity[1]), vz = Load4(t.velocity[2]);
  const Double4 forward = Select(along, zero, vx * e1x + vy * e1y + vz * e1z);
  const Double4 lateral = Select(along, zero, vx * e3x + vy * e3y + vz * e3z);
  // Softened speed: |forward| outside the band of half-width vSoft.
  const Double4 fast = Select(forward < 0.0, -forward, forward);
  const Double4 vs = Select(fast > vSoft, fast, (forward * forward * perVSoft + vSoft) * 0.5);
  const Double4 A = Load4(t.lateralSlip), B = Load4(t.wheelSlip);
  Store4(t.lateralRate, (lateral - vs * A) * perLa);
  Store4(t.wheelRate, (Load4(t.rolling) - forward - vs * B) * perLk);

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
  Store4(t.force[0], fx * e1x + fy * e3x + fz * nx);
  Store4(t.force[1], fx * e1y + fy * e3y + fz * ny);
  Store4(t.force[2], fx * e1z + fy * e3z + fz * nz);
  // The output records; no force on a wheel off the ground. Their values
  // are worked out for all four wheels at once and then only copied.
  double limit[kLanes], skid[kLanes], Fx[kLanes], Fy[kLanes];
  Store4(limit, friction * fz);
  Store4(skid, slip / (slip + skidScale) * fz);
  Store4(Fx, fx);
  Store4(Fy, fy);
  const vanto::Mask4 onGround = load >= 1.0, sliding = slip > slideLimit;
  for (int32 l = 0; l < n; ++l) {
    TyreOutput& out = *t.output[l];
    if (!onGround[l]) {
      t.contact[l] = 0;
      out = TyreOutput();
      continue;
    }
    t.contact[l] = 1;
    out.frictionLimit = limit[l];
    out.sliding = sliding[l] ? 1 : 0;
    out.lateralForce = Fy[l];
    out.longitudinalForce = Fx[l];
    out.skidIntensity = skid[l];
    out.contact = 1;
  }
}

// Built once for four-wide registers and once without; gEngine.wideRegisters
// picks one.
VANTO_WIDE_VERSION void TyreModelWide(TyreLanes& t, const double* set, const double* shared) {
  PrepareModel(t, false);
  RunModel(t, set, shared);
}

void TyreModelPlain(TyreLanes& t, const double* set, const double* shared) {
  PrepareModel(t, false);
  RunModel(t, set, shared);
}

VANTO_WIDE_VERSION void PrepareModelWide(TyreLanes& t, bool tablesGiven) { PrepareModel(t, tablesGiven); }

void PrepareModelPlain(TyreLanes& t, bool tablesGiven) { PrepareModel(t, tablesGiven); }

VANTO_WIDE_VERSION void RunModelWide(TyreLanes& t, const double* set, const double* shared) {
  RunModel(t, set, shared);
}

void RunModelPlain(TyreLanes& t, const double* set, const double* shared) { RunModel(t, set, shared); }

}  // namespace

void ComputeTyreLanes(TyreLanes& t, const double* set, const double* shared) {
  if (VANTO_HAS_WIDE_VERSION && gEngine.wideRegisters) TyreModelWide(t, set, shared);
  else TyreModelPlain(t, set, shared);
}

void PrepareTyreLanes(TyreLanes& t, bool tablesGiven) {
  if (VANTO_HAS_WIDE_VERSION && gEngine.wideRegisters) PrepareModelWide(t, tablesGiven);
  else PrepareModelPlain(t, tablesGiven);
}

void RunTyreLanes(TyreLanes& t, const double* set, const double* shared) {
  if (VANTO_HAS_WIDE_VERSION && gEngine.wideRegisters) RunModelWide(t, set, shared);
  else RunModelPlain(t, set, shared);
}

int32 ComputeTyreForce(const TyreBlock& tyre, const SampledCurve* const profiles[3], const Vec3& P, const Vec3& V,
                       const Vec3& a, double omega, const GroundHit& ground, Vec3& contactPoint, Vec3& force,
                       const double* set, const double* shared, TyreOutput& out, TyreSlipIO& slip, double W) {
  TyreLanes t;
  t.count = 1;
  for (int32 k = 0; k < 3; ++k) t.profiles[k][0] = profiles[k];
  t.ground[0] = &ground;
  t.hub[0][0] = P.x, t.hub[1][0] = P.y, t.hub[2][0] = P.z;
  t.velocity[0][0] = V.x, t.velocity[1][0] = V.y, t.velocity[2][0] = V.z;
  t.axle[0][0] = a.x, t.axle[1][0] = a.y, t.axle[2][0] = a.z;
  t.rolling[0] = omega * tyre.radius;
  t.stiffness[0] = tyre.radialStiffness;
  t.staticLoad[0] = W;
  t.lateralSlip[0] = slip.lateral;
  t.wheelSlip[0] = slip.longitudinal;
  t.output[0] = &out;
  ComputeTyreLanes(t, set, shared);
  contactPoint = {t.contactPoint[0][0], t.contactPoint[1][0], t.contactPoint[2][0]};
  if (t.contact[0]) force = {t.force[0][0], t.force[1][0], t.force[2][0]};
  slip.lateralRate = t.lateralRate[0];
  slip.longitudinalRate = t.wheelRate[0];
  return t.contact[0];
}
