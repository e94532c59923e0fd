// Run settings of a Sim, copied whole into every collected car. In a car's
// copy `simTime` is the car's own time and the two countdowns are the car's.
#pragma once

#include <cstddef>
#include <cstdint>

struct SimSettings {
  double gravity = 9.81;          // m/s^2
  double unitsPerMetre = 100.0;   // scene units per metre
  double startTime = 0.0;         // s
  double simTime = 0.0;           // s
  double timeScale = 1.0;         // simulated seconds per document second
  double lastDocTime = 0.0;       // s, document time of the last accepted evaluation
  double stepDt = 0.001;          // s, the fixed step
  std::int32_t inputCountdown = 0;         // steps to the next input refresh
  alignas(8) double inputPeriod = 0.01;    // s
  std::int32_t breakCountdown = 0;         // steps to the next break test
  alignas(8) double breakPeriod = 0.16;    // s
};

// Eleven 8-byte slots, copied whole into each car: the layout is the block's,
// on 32-bit builds too (where a double alone would align to 4).
static_assert(sizeof(SimSettings) == 88);
static_assert(offsetof(SimSettings, lastDocTime) == 40);
static_assert(offsetof(SimSettings, stepDt) == 48);
static_assert(offsetof(SimSettings, inputCountdown) == 56);
static_assert(offsetof(SimSettings, inputPeriod) == 64);
static_assert(offsetof(SimSettings, breakCountdown) == 72);
static_assert(offsetof(SimSettings, breakPeriod) == 80);
