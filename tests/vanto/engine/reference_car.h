// A reference car for the engine tests and benchmarks (no test framework
// needed here).
#pragma once

#include "engine/car_dynamics.h"
#include "engine/engine_constants.h"

inline constexpr double kG = 9.81;

// A torque curve as the model build makes it: 20 samples from 0 to the top
// engine speed.
inline SampledCurve MakeTorqueCurve(double topRpm, const double (&values)[20]) {
  SampledCurve c;
  c.count = 20;
  for (int i = 0; i < 20; ++i) c.values[i] = values[i];
  c.x0 = 0.0;
  c.xMax = topRpm * vanto::kTwoPi / 60.0 - 0.001;
  c.scale = 19.0 / c.xMax;
  return c;
}

inline SampledCurve FlatTorqueCurve(double topRpm, double torque) {
  double v[20];
  for (double& x : v) x = torque;
  return MakeTorqueCurve(topRpm, v);
}

// A two-axle, rear-driven car of 1700 kg sprung mass (body box 4.0 x 1.7 x
// 1.2 m, engine box centred above the body centre so the body stays
// symmetric front to rear), wheels of 0.3 m radius at x = +-1.3 m, y =
// +-0.75 m, 0.3 m below the body centre.
inline CarDynamicsParams ReferenceCarParams() {
  CarDynamicsParams p;
  p.bodyBoxSize = Vec3(4.0, 1.7, 1.2);
  p.bodyMass = 1500.0;
  p.engineBoxSize = Vec3(0.6, 0.6, 0.5);
  p.engineMass = 200.0;
  p.engineOffset[0] = 0.0;
  p.engineOffset[1] = 0.0;
  p.axleCount = 2;
  for (int g = 0; g < 2; ++g) {
    p.wheelRadius[g] = 0.3;
    p.wheelWidth[g] = 0.2;
    p.wheelMass[g] = 30.0;
    p.wheelAxis[g] = Vec3(0.0, 1.0, 0.0);
    p.suspensionAxis[g] = Vec3(0.0, 0.0, 1.0);
    p.springRates[g] = 25000.0;
    p.damperRates[g] = 15000.0;
    p.antiRollRates[g] = 10000.0;
    p.suspensionTravel[g] = 0.3;
    p.profilePointCount[g] = 20;
    p.profileExponent[g] = 6.0;
    p.tyreRadialStiffness[g] = 400000.0;
    p.tyreValueA[g] = 10.0;
    p.tyreValueB[g] = 0.0;
  }
  p.axleType[0] = 0;
  p.axleType[1] = 1;
  p.axlePosition[0] = Vec3(1.3, 0.75, -0.3);
  p.axlePosition[1] = Vec3(-1.3, 0.75, -0.3);
  p.steerAxis = Vec3(0.0, 0.0, 1.0);
  p.steeringLock = 0.5235987755982988;
  p.poweredWheels = 1;
  p.clutchStiffness = 50.0;
  p.gearCount = 6;
  const double ratios[6] = {4.38, 2.86, 1.92, 1.37, 1.0, 0.82};
  for (int g = 0; g < 6; ++g) p.gearRatios[g] = ratios[g];
  p.finalRatio = 2.0;
  p.reverseRatio = -3.42 * 2.0;
  p.upShiftSpeed = 5000.0 * vanto::kTwoPi / 60.0;
  p.downShiftSpeed = 2000.0 * vanto::kTwoPi / 60.0;
  p.engineFrictionCap = 25.0;
  p.engineFriction = 5.0;
  p.engineInertia = 0.1;
  const double torque[20] = {150, 170, 190, 210, 225, 240, 250, 258, 262, 265,
                             265, 262, 258, 250, 240, 228, 214, 198, 180, 160};
  p.torqueCurve = MakeTorqueCurve(6000.0, torque);
  p.brakeValue = 3000.0;
  p.brakeTorques[0] = 1500.0;
  p.brakeTorques[1] = 750.0;
  p.brakeTorques[2] = 4000.0;
  p.pedalThreshold = 0.9;
  return p;
}

// The values the model build writes into the record before the set-up.
inline void WriteReferenceTyreConstants(CarDynamics& d) {
  const double k[19] = {75000, 75000, 1.2, -0.2, 1.5, 5e-5, 1.0, 75000, 75000, 1.2,
                        -0.2,  1.5,   5e-5, 1.0, 0.1, 0.1, 10.0, 6.0, 3.0};
  for (int i = 0; i < 19; ++i) d.tyreConstants[i] = k[i];
  d.frontLiftFactor = d.rearLiftFactor = d.dragFactor = 0.0;
}

