// Process-wide values of the engine, kept together so that a test can put
// them back to their start values (ResetEngineGlobals) and no test depends
// on what an earlier one left behind.
//
// The engine steps one car at a time on the host's evaluation thread, so
// gravity and the step constants are shared by all bodies and set at the
// start of each car step; nothing here is guarded.
#pragma once

#include <string>

// Console output of the engine's consistency check.
using SimulationPrintFn = void (*)(const std::string& text);

void PrintToStandardError(const std::string& text);
// True when the processor has four-wide vector registers (AVX2).
bool ProcessorHasWideRegisters();

struct EngineGlobalState {
  // Magnitude of gravity, m/s^2 (acts along -z of the engine axes).
  double gravity = 9.81;
  // Runge-Kutta step constants h, h/2, h/4 and h/6 (s).
  double h = 0.0, h2 = 0.0, h4 = 0.0, h6 = 0.0;
  // Staging rows of the tyre profile build: [curve P1..P3][axle group][point].
  double tyreProfileStaging[3][2][20] = {};
  SimulationPrintFn print = &PrintToStandardError;
  // Whether the tyre pass runs its version built for four-wide registers;
  // both versions give the same results, and a test may run either.
  bool wideRegisters = ProcessorHasWideRegisters();
  // While a run steps a car: that car's "already reported" mark. Null
  // outside a run: every failed check is printed.
  int* reportOnce = nullptr;
};

inline EngineGlobalState gEngine;

// Back to the start values (gravity 9.81, no step, stderr print,
// wide registers where the processor has them).
void ResetEngineGlobals();

// Where "Simulation Error -4" goes; null restores the stderr default.
void SetSimulationPrint(SimulationPrintFn fn);

// The engine's internal consistency check: on a false condition it prints
// "Simulation Error -4" (once per car and run while a run steps a car) and
// the run goes on.
inline void SimulationAssert(bool condition) {
  if (condition) return;
  if (int* once = gEngine.reportOnce) {
    if (*once) return;
    *once = 1;
  }
  gEngine.print(std::string("Simulation Error -4"));
}
