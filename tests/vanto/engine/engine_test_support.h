// Shared fixture and a reference car for the engine tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/car_dynamics.h"
#include "scene/carstate.h"
#include "engine/engine_constants.h"
#include "engine/engine_globals.h"
#include "scene/ground.h"
#include "engine/ground_hit.h"
#include "host_container.h"
#include "scene/run_state.h"
#include "engine/tyre.h"
#include "reference_car.h"

// Every test starts from the engine's start values and counts the
// consistency-check messages instead of printing them.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEngineGlobals();
    assertCount = 0;
    SetSimulationPrint(&CountAssert);
  }
  void TearDown() override { ResetEngineGlobals(); }

  static inline int assertCount = 0;
  static void CountAssert(const std::string& text) {
    EXPECT_EQ(text, "Simulation Error -4");
    ++assertCount;
  }
};

// Height of the model origin that puts the hubs exactly one radius above
// the plane z = 0.
inline constexpr double kReferenceRideHeight = 0.6;

// A car record set up with `p` and placed upright at x = y = 0 with its hubs
// one radius above the flat ground; ground records come from the flat-ground
// query.
inline std::unique_ptr<CarState> MakeCarOnGround(const CarDynamicsParams& p, double dt = 0.001) {
  auto car = std::make_unique<CarState>();
  car->settings.stepDt = dt;
  car->settings.unitsPerMetre = 100.0;
  car->wheelCount = 2 * p.axleCount;
  WriteReferenceTyreConstants(car->dynamics);
  EXPECT_EQ(SetUpCarDynamics(car->dynamics, p, kG), 0);
  ResetCarRunState(*car);
  ResetCarDynamics(car->dynamics, Vec3(0.0, 0.0, kReferenceRideHeight), Quat());
  // Outside a scene the run's ground query finds no ground object and the
  // wheels stand on the default ground: a plane at 0 with full grip.
  SetFlatGroundHit(car->defaultGround, 0.0, 1.0, car->settings.unitsPerMetre);
  return car;
}

// The run's own ground query for a car outside any scene.
inline void QueryGroundOutsideScene(CarState& car) {
  static const BaseContainer kNoScene;
  QueryGroundUnderWheels(nullptr, kNoScene, car);
}

// One step as the run makes it: ground under the wheels, the model step,
// the body results.
inline void StepOnGround(CarState& car, double steer, double throttle, double brake, double handbrake = 0.0,
                         double reverse = 0.0) {
  QueryGroundOutsideScene(car);
  StepCarDynamics(car.dynamics, car.settings.stepDt, steer, throttle, brake, handbrake, reverse);
  StoreDynamicsResults(car, 1, 0);
}

inline void Settle(CarState& car, double seconds) {
  const int n = static_cast<int>(seconds / car.settings.stepDt + 0.5);
  for (int i = 0; i < n; ++i) StepOnGround(car, 0.0, 0.0, 0.0);
}

inline Vec3 ModelOrigin(const CarDynamics& d) {
  Vec3 o;
  Mat3 r;
  GetBodyTransform(d, o, r);
  return o;
}
