// Run settings of a Sim, copied whole into every collected car. In a car's
// copy `simTime` is the car's own time and the two countdowns are the car's.
#pragma once

#include <cstdint>

struct SimSettings {
  double gravity = 9.81;          // m/s^2
  double unitsPerMetre = 100.0;   // scene units per metre
  double startTime = 0.0;         // s
  double simTime = 0.0;           // s
  double timeScale = 1.0;         // simulated seconds per document second
  double lastDocumentTime = 0.0;  // s
  double dt = 0.001;              // s, the fixed step
  std::int32_t inputCountdown = 0;  // steps to the next input refresh
  double inputPeriod = 0.01;        // s
  std::int32_t breakCountdown = 0;  // steps to the next break test
  double breakPeriod = 0.16;        // s
};
