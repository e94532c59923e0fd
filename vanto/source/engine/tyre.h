// Tyre model: a cross-section profile pressed into the ground plane gives
// the radial load; two transient slip states with relaxation lengths and a
// load-dependent friction coefficient give the in-plane force through a
// normalised Magic Formula, scaled by the ground's grip.
#pragma once

#include "engine/car_dynamics.h"

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
