// One car stepping on the flat plane at 1000 steps per simulated second.
// The "realtime" counter is simulated seconds per wall-clock second.
#include <benchmark/benchmark.h>

#include <memory>

#include "car_dynamics.h"
#include "carstate.h"
#include "engine_constants.h"
#include "run_state.h"

namespace {

constexpr double kDt = 0.001;

std::unique_ptr<CarState> MakeCar() {
  CarDynamicsParams p;
  p.bodyBoxSize = Vec3(4.0, 1.7, 1.2);
  p.bodyMass = 1500.0;
  p.engineBoxSize = Vec3(0.6, 0.6, 0.5);
  p.engineMass = 200.0;
  p.engineOffset[0] = 1.2;
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
  }
  p.axleType[1] = 1;
  p.axlePosition[0] = Vec3(1.3, 0.75, -0.3);
  p.axlePosition[1] = Vec3(-1.3, 0.75, -0.3);
  p.steerAxis = Vec3(0.087, 0.0, 1.0);
  p.steeringLock = 0.5236;
  p.poweredWheels = 1;
  p.clutchStiffness = 50.0;
  p.gearCount = 6;
  const double ratios[6] = {4.38, 2.86, 1.92, 1.37, 1.0, 0.82};
  for (int g = 0; g < 6; ++g) p.gearRatios[g] = ratios[g];
  p.finalRatio = 2.0;
  p.reverseRatio = -6.84;
  p.upShiftSpeed = 5000.0 * vanto::kTwoPi / 60.0;
  p.downShiftSpeed = 2000.0 * vanto::kTwoPi / 60.0;
  p.engineFrictionCap = 25.0;
  p.engineFriction = 5.0;
  p.engineInertia = 0.1;
  SampledCurve& c = p.torqueCurve;
  c.count = 20;
  for (int i = 0; i < 20; ++i) c.values[i] = 150.0 + 100.0 * i / 19.0 * (1.0 - i / 38.0);
  c.xMax = 6000.0 * vanto::kTwoPi / 60.0 - 0.001;
  c.scale = 19.0 / c.xMax;
  p.brakeValue = 3000.0;
  p.brakeTorques[0] = 1500.0;
  p.brakeTorques[1] = 750.0;
  p.brakeTorques[2] = 4000.0;
  p.pedalThreshold = 0.9;

  auto car = std::make_unique<CarState>();
  car->settings.dt = kDt;
  car->wheelCount = 4;
  const double k[19] = {75000, 75000, 1.2, -0.2, 1.5, 5e-5, 1.0, 75000, 75000, 1.2,
                        -0.2,  1.5,   5e-5, 1.0, 0.1, 0.1, 10.0, 6.0, 3.0};
  for (int i = 0; i < 19; ++i) car->dynamics.tyreConstants[i] = k[i];
  car->dynamics.dragFactor = 0.3 * 0.5 * 1.7 * 1.2 * 1.29;
  if (SetUpCarDynamics(car->dynamics, p, 9.81) != 0) return nullptr;
  ResetCarDynamics(car->dynamics, Vec3(0.0, 0.0, 0.6), Quat());
  return car;
}

// The per-step work of the run for one car: ground under the wheels, the
// model step, the body results.
void RunStep(CarState& car, double steer, double throttle) {
  QueryWheelGrounds(car);
  StepCarDynamics(car.dynamics, kDt, steer, throttle, 0.0, 0.0, 0.0);
  StoreDynamicsResults(car, 1, 0);
}

void BM_CarStepOnFlatGround(benchmark::State& state) {
  auto car = MakeCar();
  if (!car) {
    state.SkipWithError("car set-up failed");
    return;
  }
  for (int i = 0; i < 2000; ++i) RunStep(*car, 0.0, 0.0);  // settled on its springs
  long step = 0;
  for (auto _ : state) {
    // Driving in a slow weave so that steering, tyres and gearbox all work.
    const double t = (step++ % 20000) * kDt;
    RunStep(*car, t < 10.0 ? 0.3 : -0.3, 0.6);
    benchmark::DoNotOptimize(car->bodyMatrix);
  }
  state.counters["realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * kDt,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CarStepOnFlatGround);

void BM_ModelStepOnly(benchmark::State& state) {
  auto car = MakeCar();
  if (!car) {
    state.SkipWithError("car set-up failed");
    return;
  }
  QueryWheelGrounds(*car);
  for (auto _ : state) {
    StepCarDynamics(car->dynamics, kDt, 0.1, 0.5, 0.0, 0.0, 0.0);
    benchmark::DoNotOptimize(car->dynamics.body.position);
  }
  state.counters["realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * kDt,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ModelStepOnly);

void BM_StoreAllResults(benchmark::State& state) {
  auto car = MakeCar();
  if (!car) {
    state.SkipWithError("car set-up failed");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(StoreDynamicsResults(*car, 1, 1));
}
BENCHMARK(BM_StoreAllResults);

}  // namespace

BENCHMARK_MAIN();
