#include "tyre.h"

#include <cmath>

#include "engine_constants.h"
#include "engine_globals.h"

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

double MagicFormula(double s, double C, double E) {
  const double x = s / C;
  return std::sin(C * std::atan(x - E * (x - std::atan(x))));
}

int32 ComputeTyreForce(const TyreBlock& tyre, const SampledCurve* const profiles[3], const Vec3& P, const Vec3& V,
                       const Vec3& a, double omega, const GroundHit& ground, Vec3& contactPoint, Vec3& force,
                       const double* set, const double* shared, TyreOutput& out, TyreSlipIO& slip, double W) {
  const Vec3& n = ground.normal;
  // The profile is read at |u| with the side carried by the sign, so that a
  // wheel and its mirror image see the same load and contact offset.
  const double u = DotVec3(a, n);
  const double ua = std::fabs(u);
  const double sgn = u < 0.0 ? -1.0 : 1.0;
  double prof[3];
  EvaluateSampledCurves3(*profiles[0], *profiles[1], *profiles[2], ua, prof);
  const double p1 = prof[0], p2 = prof[1], p3 = prof[2];

  const double Fz = (p3 - (DotVec3(P, n) + ground.planeOffset)) * tyre.radialStiffness + W;

  Vec3 e1, e2, e3;
  CrossVec3(e1, a, n);   // rolling direction
  CrossVec3(e2, a, e1);  // toward the contact patch
  CrossVec3(e3, e1, n);  // lateral
  AddTwoScaledVec3(contactPoint, P, p2, e2, p1 * sgn, a);

  double vx = 0.0, vy = 0.0;
  if (!(ua > 0.9999)) {
    const double inv = 1.0 / std::sqrt(1.0 - u * u);
    ScaleVec3InPlace(e1, inv);
    ScaleVec3InPlace(e3, inv);
    vx = DotVec3(V, e1);
    vy = DotVec3(V, e3);
  }

  const double Lk = shared[0], La = shared[1], vSoft = shared[2], skidScale = shared[3],
               slideLimit = shared[4];
  double vs;
  if (vx > vSoft) vs = vx;
  else if (vx < -vSoft) vs = -vx;
  else vs = (vx * vx / vSoft + vSoft) * 0.5;

  const double A = slip.lateral, B = slip.longitudinal;
  slip.lateralRate = (vy - vs * A) / La;
  slip.longitudinalRate = (omega * tyre.radius - vx - vs * B) / Lk;

  if (!(Fz >= 1.0)) {
    out = TyreOutput();
    return 0;
  }

  const double Ca = set[0], Ck = set[1], C = set[2], E = set[3], mu0 = set[4], kmu = set[5], muY = set[6];
  const double mu = mu0 * std::exp(-(Fz * kmu));
  const double Fy0 = Ca * A, Fx0 = Ck * B;
  const double sy = Fy0 / (mu * muY * Fz);
  const double sx = Fx0 / (mu * Fz);
  const double s2 = sx * sx + sy * sy;
  const double s = std::sqrt(s2);
  double Fx, Fy;
  if (s >= vanto::kFloatMilli) {
    const double q = s2 * 0.25;
    const double ny = sy * Ck * (q + 1.0);
    const double nx = (q * Ca + Ck) * sx;
    const double x = s / C;
    const double m = std::sin(C * std::atan(x - (x - std::atan(x)) * E));
    const double g = m / std::sqrt(ny * ny + nx * nx);
    Fx = g * nx * mu * Fz;
    Fy = -(g * ny) * (mu * muY) * Fz;
  } else {
    Fx = Fx0;
    Fy = -Fy0;
  }
  Fx *= ground.friction;
  Fy *= ground.friction;

  force = {Fx * e1.x + Fy * e3.x + Fz * n.x, Fx * e1.y + Fy * e3.y + Fz * n.y, Fx * e1.z + Fy * e3.z + Fz * n.z};

  out.frictionLimit = mu * Fz;
  out.sliding = s > slideLimit ? 1 : 0;
  out.lateralForce = Fy;
  out.longitudinalForce = Fx;
  out.skidIntensity = s / (s + skidScale) * Fz;
  out.contact = 1;
  return 1;
}
