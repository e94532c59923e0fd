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

// The model on the lanes' arrays. PrepareModel has been run on the lanes.
VANTO_LANE_INLINE void RunModel(TyreLanes& t, const double* set, const double* shared) {
  constexpr int32 kLanes = TyreLanes::kWidth;
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
  using vanto::Load4;
  using vanto::Store4;
  const TyreModelInputs in{{Load4(t.hub[0]), Load4(t.hub[1]), Load4(t.hub[2])},
                           {Load4(t.velocity[0]), Load4(t.velocity[1]), Load4(t.velocity[2])},
                           {Load4(t.axle[0]), Load4(t.axle[1]), Load4(t.axle[2])},
                           Load4(t.rolling),
                           Load4(t.lateralSlip),
                           Load4(t.wheelSlip)};
  TyreModelResults out;
  RunTyreModel(t, in, out, set, shared);
  for (int32 k = 0; k < 3; ++k) {
    Store4(t.contactPoint[k], out.contactPoint[k]);
    Store4(t.force[k], out.force[k]);
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
