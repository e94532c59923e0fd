// The physical model of one car: a rigid body on up to 20 wheels (two per
// axle, at most 10 axles) with suspension, engine, clutch, automatic
// gearbox, brakes, tyres, aerodynamics and external force slots. Engine
// axes (x forward, y sideways, z up) and SI units throughout.
//
// Wheel 2a is the first (even) wheel of axle a, at the position the set-up
// gives; wheel 2a + 1 mirrors it in y.
#pragma once

#include "carsim/axle_word.h"
#include "engine/ground_hit.h"
#include "engine/rigid_body.h"
#include "engine/sampled_curve.h"
#include "engine/vmath.h"

inline constexpr int32 kMaxWheels = 20;
inline constexpr int32 kMaxAxles = 10;
inline constexpr int32 kMaxGears = 19;
inline constexpr int32 kForceSlots = 16;

struct WheelStage {
  double compressionRate = 0.0;
  double compressionRateIncrement = 0.0;
  double spinRate = 0.0;
  double spinRateIncrement = 0.0;
};

struct WheelState {
  int32 axleGroup = 0;  // 0 front group, 1 rear group
  int32 steered = 0;    // 1 when the wheel turns with the steering
  double width = 0.0;
  double radius = 0.0;
  Vec3 axleDirection;        // current unit axle direction, body axes
  Vec3 baseAxleDirection;    // with the steering straight
  Vec3 steerDirection;       // the way steering turns the axle
  Vec3 mountPoint;           // hub at zero compression, body axes from the centre of mass
  Vec3 suspensionDirection;  // positive compression moves the hub along it
  double maxCompression = 0.0;
  double wheelMass = 0.0;
  double wheelInertia = 0.0;
  double inverseMass = 0.0;
  double inverseInertia = 0.0;
  Mat3 wheelFrame;  // body axes; first column along the axle (reversed for odd wheels)
  // Integrated states.
  double compression = 0.0;
  double compressionRate = 0.0;
  double rotationAngle = 0.0;
  double spinRate = 0.0;
  // Accumulators of the current stage.
  double suspensionForce = 0.0;  // N along the suspension direction
  double axleTorque = 0.0;       // N m about the axle
  // States at the start of the step.
  double startCompression = 0.0;
  double startCompressionRate = 0.0;
  double startRotationAngle = 0.0;
  double startSpinRate = 0.0;
  WheelStage stage[3];
};

struct EngineState {
  double frictionCap = 0.0;       // N m
  double frictionPerSpeed = 0.0;  // N m per rad/s
  double inertia = 0.0;           // kg m^2
  SampledCurve torqueCurve;       // full-throttle torque (N m) over engine speed (rad/s)
  double inverseInertia = 0.0;
  double throttle = 0.0;    // 0..1, of the step in progress
  double speedLimit = 0.0;  // rad/s: the end of the torque curve
  double engineSpeed = 0.0;
  double startSpeed = 0.0;
  double stageSpeed[3] = {};
  double stageIncrement[3] = {};
};

// Per-wheel tyre descriptor; the profile curves are those of its axle group.
struct TyreBlock {
  double radialStiffness = 0.0;  // N/m
  double radius = 0.0;           // m
  int32 profileGroup = 0;        // which column of CarDynamics::tyreProfiles
};

struct TyreOutput {
  double frictionLimit = 0.0;
  double lateralForce = 0.0;
  double longitudinalForce = 0.0;
  double skidIntensity = 0.0;
  int32 sliding = 0;
  int32 contact = 0;
};

// Indices into CarDynamics::tyreConstants.
enum TyreConstant : int32 {
  kTyreCa = 0, kTyreCk, kTyreC, kTyreE, kTyreMu0, kTyreKmu, kTyreMuY,                  // first set
  kTyreCa2, kTyreCk2, kTyreC2, kTyreE2, kTyreMu02, kTyreKmu2, kTyreMuY2,               // second set
  kTyreLk, kTyreLa, kTyreVSoft, kTyreSkidScale, kTyreSlideLimit, kTyreConstantCount,   // shared
};

// Transient slip state of every wheel through the Runge-Kutta step.
struct SlipStateArrays {
  double saved[kMaxWheels] = {};      // the state between steps
  double stage1Rate[kMaxWheels] = {};
  double working[kMaxWheels] = {};    // the stage value the force pass sees
  double rate[kMaxWheels] = {};       // written by the tyre model
  double stage2Rate[kMaxWheels] = {};
  double stage23Sum[kMaxWheels] = {};
};

struct CarDynamics {
  RigidBody body;
  WheelState wheels[kMaxWheels];
  double ackermannFactor[kMaxAxles] = {};
  double steerRatio[kMaxAxles] = {};
  double maxSteerAngle = 0.0;
  // The steering input the axle directions were last turned for, as bits: a
  // step with the same input leaves them as they are. The set-up clears it.
  std::uint64_t steeredFor = 0;
  int32 steeringValid = 0;
  int32 tractionLayout = 0;  // powered axle group: 0 front, 1 rear, 2 all
  double torqueSplit[kMaxAxles] = {};
  double bodySize[3] = {};  // first box: second, first, third size
  int32 axleCount = 0;
  int32 wheelCount = 0;
  EngineState engine;
  double clutchStiffness = 0.0;
  double upShiftSpeed = 0.0;    // engine rad/s
  double downShiftSpeed = 0.0;  // engine rad/s
  int32 gearCount = 0;
  double gearRatio[kMaxGears] = {};  // gear g (1..gearCount) at index g - 1; final ratio included
  double reverseRatio = 0.0;
  double brakeSpinCoefficient = 0.0;
  double frontBrakeTorque = 0.0;
  double rearBrakeTorque = 0.0;
  double handbrakeTorque = 0.0;
  double pedalThreshold = 0.0;
  double springStiffness[2] = {};
  double damperCoefficient[2] = {};
  double antiRollStiffness[2] = {};
  int32 tractionControl = 0;
  int32 brakeSlipControl = 0;
  double tractionSlipLimit = 0.0;
  double brakeSlipLimit = 0.0;
  // 1 once this car's run reported a failed consistency check: a check that
  // keeps failing is reported once per car and run, not once per step.
  int32 consistencyReported = 0;
  TyreBlock tyreBlock[kMaxWheels];
  SampledCurve tyreProfiles[3][2];  // [P1 offset, P2 radial, P3 profile][axle group]
  double tyreGroupValues[2][5] = {};  // per group: radial stiffness, radius, three spare values
  double tyreConstants[kTyreConstantCount] = {};
  double frontLiftFactor = 0.0;
  double rearLiftFactor = 0.0;
  double dragFactor = 0.0;
  double staticWheelLoad[kMaxAxles] = {};
  TyreOutput tyreOutput[kMaxWheels];
  SlipStateArrays lateralSlip;  // A: tangent of the slip angle
  SlipStateArrays wheelSlip;    // B: longitudinal slip ratio (saved = the value the run tests)
  const GroundHit* wheelGround[kMaxWheels] = {};  // null: no ground under the wheel
  double clutchTorque = 0.0;
  double brakeTorque[2] = {};  // current brake limits, front and rear group
  Vec3 singleForce;
  Vec3 singleForcePoint;
  Vec3 externalForces[kForceSlots];
  Vec3 externalForcePoints[kForceSlots];
  int32 gear = 0;         // -1 reverse, 1..gearCount forward
  int32 engagedGear = 0;  // the gear the clutch transmits through; 0 = open
  int32 crashFlag = 0;    // 1 after a crash: the car stops itself
  // tyreProfiles[k][g] padded for the tyre model (BuildTyreCurveTable), built
  // with them at set-up.
  double tyreCurveTables[2][3][kMaxCurveSamples + 2] = {};
};

// The input record of a model set-up, SI units and engine axes.
struct CarDynamicsParams {
  Vec3 bodyBoxSize;  // full sizes
  double bodyMass = 0.0;
  Vec3 engineBoxSize;
  double engineMass = 0.0;
  double engineOffset[2] = {};  // engine box centre: x and z
  int32 axleCount = 0;
  double wheelRadius[2] = {};  // per axle group
  double wheelWidth[2] = {};
  double wheelMass[2] = {};
  int32 axleType[kMaxAxles] = {};  // axle word, see DecodeAxleWord
  Vec3 axlePosition[kMaxAxles];    // even wheel of each axle, model frame
  Vec3 wheelAxis[2];               // per group
  Vec3 suspensionAxis[2];          // per group
  Vec3 steerAxis;
  double steeringLock = 0.0;  // rad at steer input 1
  int32 poweredWheels = 0;    // 0 front group, 1 rear group, 2 all
  double clutchStiffness = 0.0;
  int32 gearCount = 0;
  double gearRatios[kMaxGears] = {};
  double finalRatio = 0.0;
  double reverseRatio = 0.0;
  double upShiftSpeed = 0.0;
  double downShiftSpeed = 0.0;
  double engineFrictionCap = 0.0;
  double engineFriction = 0.0;
  double engineInertia = 0.0;
  SampledCurve torqueCurve;
  double brakeValue = 0.0;       // brake torque per rad/s of wheel spin
  double brakeTorques[3] = {};   // front, rear, hand brake
  double pedalThreshold = 0.0;
  double springRates[2] = {};
  double damperRates[2] = {};
  double antiRollRates[2] = {};
  double suspensionTravel[2] = {};
  int32 profilePointCount[2] = {};
  double profileExponent[2] = {};
  double tyreRadialStiffness[2] = {};
  double tyreValueA[2] = {};
  double tyreValueB[2] = {};
};

// ---- set-up and placing ----
// Full set-up; 20 for a car that cannot be simulated (see vehicle.cpp).
// The tyre constants, aero factors and slip switches are written into
// `d` by the caller before this call.
int32 SetUpCarDynamics(CarDynamics& d, const CarDynamicsParams& p, double gravity);
int32 SetUpBodyAndWheels(CarDynamics& d, const CarDynamicsParams& p, double gravity);
// Body only (two boxes), for a car shown outside a run.
int32 SetUpTwoBoxBody(CarDynamics& d, const Vec3& box1, double mass1, const Vec3& box2, double mass2,
                      double offsetX, double offsetZ, double gravity);
int32 SetUpEngine(EngineState& e, double frictionCap, double frictionPerSpeed, double inertia,
                  const SampledCurve& torqueCurve);
void InitTyreBlock(TyreBlock& t, const double* groupValues, int32 group);
void ResetCarDynamics(CarDynamics& d, const Vec3& position, const Quat& orientation);
void PlaceCarBody(CarDynamics& d, const Vec3& position, const Quat& orientation);

// ---- stepping ----
void StepCarDynamics(CarDynamics& d, double dt, double steer, double throttle, double brake, double handbrake,
                     double reverse);
void ComputeCarForces(CarDynamics& d);
// The model is built and checked at 1 ms steps; no internal step is longer.
inline constexpr double kLongestModelStep = 0.001;
// The longest step the model integrates stably: at most kLongestModelStep,
// shorter for a clutch so stiff that coupling the engine to the driven
// wheels in the lowest gear (or reverse) decays faster than the
// integrator can follow.
double LongestStableStep(const CarDynamics& d);
// Equal internal steps a step of dt is divided into so that none is longer
// than LongestStableStep (1 when dt already is; at most 1000000).
int32 InternalStepCount(const CarDynamics& d, double dt);
void ApplySteering(CarDynamics& d, double steer);

// ---- queries ----
void GetBodyTransform(const CarDynamics& d, Vec3& origin, Mat3& rotation);
// Hub positions and wheel frames, world axes. mode >= 1: with the spin
// angle; 0: without; < 0: steering set straight first (stays so until the
// next ApplySteering).
void GetWheelFrames(CarDynamics& d, Vec3* positions, Mat3* frames, int32 mode);
inline double GetWheelSpinRate(const CarDynamics& d, int32 w) { return d.wheels[w].spinRate; }
inline double GetWheelAngle(const CarDynamics& d, int32 w) { return d.wheels[w].rotationAngle; }
inline void GetWheelCompression(const CarDynamics& d, int32 w, double& compression, double& rate) {
  compression = d.wheels[w].compression;
  rate = d.wheels[w].compressionRate;
}
inline void AddWheelTorque(CarDynamics& d, int32 w, double t) { d.wheels[w].axleTorque += t; }
inline void AddSuspensionForce(CarDynamics& d, int32 w, double f) { d.wheels[w].suspensionForce += f; }
double MeanPoweredWheelSpin(const CarDynamics& d);
// Spin (rad/s) the driven wheels would have rolling without slip at the
// body's speed.
double RollingDriveSpin(const CarDynamics& d);
void AddAxleTorque(CarDynamics& d, double torque);
void GetWheelContactFrame(const CarDynamics& d, int32 w, Vec3& hub, Vec3& hubVelocity, Vec3& axle,
                          double& spinRate);
void ApplyTyreForceToBody(CarDynamics& d, int32 w, const Vec3& contactPoint, const Vec3& force);

// ---- stage passes ----
void BeginDynamicsStep(CarDynamics& d);
void DynamicsStage1(CarDynamics& d);
void DynamicsStage2(CarDynamics& d);
void DynamicsStage3(CarDynamics& d);
void FinishDynamicsStep(CarDynamics& d);
void RestoreBodyAndWheels(CarDynamics& d);
void RestoreDynamicsState(CarDynamics& d);

void BeginEngineStep(EngineState& e, double throttle);
void IntegrateEngineStage1(EngineState& e, double clutchTorque);
void IntegrateEngineStage2(EngineState& e, double clutchTorque);
void IntegrateEngineStage3(EngineState& e, double clutchTorque);
void FinishEngineStep(EngineState& e, double clutchTorque);
void RestoreEngineState(EngineState& e);

void BeginWheelsStep(CarDynamics& d);
void IntegrateWheelsStage1(CarDynamics& d);
void IntegrateWheelsStage2(CarDynamics& d);
void IntegrateWheelsStage3(CarDynamics& d);
void FinishWheelsStep(CarDynamics& d);

// ---- extras the run does not call ----
void FlipCarBody(CarDynamics& d);
void ApplyVelocityDrag(CarDynamics& d, double k);
