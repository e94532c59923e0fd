// One car stepping on the flat plane at 1000 steps per simulated second.
// The "realtime" counter is simulated seconds per wall-clock second.
//
// Each benchmark runs ten times and reports mean, median and spread: on a
// shared machine single runs vary by tens of percent.
#include <benchmark/benchmark.h>

#include <memory>

#include "engine/car_dynamics.h"
#include "scene/carstate.h"
#include "engine/engine_constants.h"
#include "engine/engine_globals.h"
#include "scene/ground.h"
#include "engine/ground_hit.h"
#include "engine/tyre.h"
#include "host_container.h"
#include "reference_car.h"
#include "scene/run_state.h"

namespace {

constexpr double kDt = 0.001;

#define CARSIM_BENCHMARK(fn) BENCHMARK(fn)->Repetitions(10)->ReportAggregatesOnly(true)

std::unique_ptr<CarState> MakeCar() {
  CarDynamicsParams p = ReferenceCarParams();
  auto car = std::make_unique<CarState>();
  car->settings.stepDt = kDt;
  car->settings.unitsPerMetre = 100.0;
  car->wheelCount = 4;
  WriteReferenceTyreConstants(car->dynamics);
  car->dynamics.dragFactor = 0.3 * 0.5 * 1.7 * 1.2 * 1.29;
  if (SetUpCarDynamics(car->dynamics, p, 9.81) != 0) return nullptr;
  ResetCarDynamics(car->dynamics, Vec3(0.0, 0.0, 0.6), Quat());
  // Outside a scene the run's ground query puts the wheels on the default
  // ground: flat at 0 with full grip.
  SetFlatGroundHit(car->defaultGround, 0.0, 1.0, car->settings.unitsPerMetre);
  return car;
}

// The run's ground query with no ground objects.
void QueryGroundHere(CarState& car) {
  static const BaseContainer kNoScene;
  QueryGroundUnderWheels(nullptr, kNoScene, car);
}

// The per-step work of the run for one car: ground under the wheels, the
// model step, the body results.
void RunStep(CarState& car, double steer, double throttle) {
  QueryGroundHere(car);
  StepCarDynamics(car.dynamics, kDt, steer, throttle, 0.0, 0.0, 0.0);
  StoreDynamicsResults(car, 1, 0);
}

// MakeCar with the wheels on the default ground; null, and the benchmark
// marked as failed, when the car cannot be set up.
std::unique_ptr<CarState> CarOnTheGround(benchmark::State& state) {
  auto car = MakeCar();
  if (!car) {
    state.SkipWithError("car set-up failed");
    return nullptr;
  }
  QueryGroundHere(*car);
  return car;
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
CARSIM_BENCHMARK(BM_CarStepOnFlatGround);

void BM_ModelStepOnly(benchmark::State& state) {
  auto car = CarOnTheGround(state);
  if (!car) return;
  for (auto _ : state) {
    StepCarDynamics(car->dynamics, kDt, 0.1, 0.5, 0.0, 0.0, 0.0);
    benchmark::DoNotOptimize(car->dynamics.body.position);
  }
  state.counters["realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * kDt,
                                                  benchmark::Counter::kIsRate);
}
CARSIM_BENCHMARK(BM_ModelStepOnly);

// The same with the tyre pass built for processors without four-wide
// registers.
void BM_ModelStepOnlyPlainRegisters(benchmark::State& state) {
  gEngine.wideRegisters = false;
  BM_ModelStepOnly(state);
  ResetEngineGlobals();
}
CARSIM_BENCHMARK(BM_ModelStepOnlyPlainRegisters);

// The car's four wheels as model lanes, prepared, writing into `outputs`.
void FillLanes(CarDynamics& d, TyreLanes& t, TyreOutput* outputs) {
  t.count = 4;
  for (int l = 0; l < 4; ++l) {
    Vec3 hub, velocity, axle;
    double spin;
    GetWheelContactFrame(d, l, hub, velocity, axle, spin);
    for (int k = 0; k < 3; ++k) t.profiles[k][l] = &d.tyreProfiles[k][d.tyreBlock[l].profileGroup];
    t.ground[l] = d.wheelGround[l];
    const Vec3* from[3] = {&hub, &velocity, &axle};
    double(*to[3])[4] = {t.hub, t.velocity, t.axle};
    for (int q = 0; q < 3; ++q) to[q][0][l] = from[q]->x, to[q][1][l] = from[q]->y, to[q][2][l] = from[q]->z;
    t.rolling[l] = spin * d.tyreBlock[l].radius;
    t.stiffness[l] = d.tyreBlock[l].radialStiffness;
    t.staticLoad[l] = d.staticWheelLoad[l / 2];
    t.lateralSlip[l] = d.lateralSlip.saved[l];
    t.wheelSlip[l] = d.wheelSlip.saved[l];
    t.output[l] = &outputs[l];
  }
  PrepareTyreLanes(t);
}

// The tyre model alone for the reference car's four wheels on the ground,
// each pass waiting for the last as the passes of a step do. With 2, two
// such chains of passes run one after the other in each iteration, neither
// waiting for the other: against 1 it shows how far the processor overlaps
// passes that do not depend on each other.
void BM_TyreModelPass(benchmark::State& state) {
  auto car = CarOnTheGround(state);
  if (!car) return;
  CarDynamics& d = car->dynamics;
  for (int i = 0; i < 200; ++i) StepCarDynamics(d, kDt, 0.1, 0.5, 0.0, 0.0, 0.0);
  const int chains = static_cast<int>(state.range(0));
  TyreLanes lanes[2];
  TyreOutput outputs[2][4];
  for (int k = 0; k < chains; ++k) FillLanes(d, lanes[k], outputs[k]);
  const double* c = d.tyreConstants;
  for (auto _ : state) {
    for (int k = 0; k < chains; ++k) {
      TyreLanes& t = lanes[k];
      RunTyreLanes(t, &c[kTyreCa], &c[kTyreLk]);
      // The chain's next pass has hubs that depend on this one's forces
      // (times zero).
      for (int l = 0; l < 4; ++l) t.hub[2][l] += t.force[2][l] * 0.0;
    }
  }
  for (int k = 0; k < chains; ++k) benchmark::DoNotOptimize(lanes[k].force);
}
BENCHMARK(BM_TyreModelPass)->Arg(1)->Arg(2)->Repetitions(10)->ReportAggregatesOnly(true);

void BM_StoreAllResults(benchmark::State& state) {
  auto car = MakeCar();
  if (!car) {
    state.SkipWithError("car set-up failed");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(StoreDynamicsResults(*car, 1, 1));
}
CARSIM_BENCHMARK(BM_StoreAllResults);

}  // namespace

BENCHMARK_MAIN();
