#include "engine_globals.h"

#include <cstdio>

void PrintToStandardError(const String& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

void ResetEngineGlobals() { gEngine = EngineGlobalState(); }

void SetSimulationPrint(SimulationPrintFn fn) { gEngine.print = fn ? fn : &PrintToStandardError; }

void SetWheelGroundQuery(WheelGroundQueryFn fn) { gEngine.wheelGroundQuery = fn ? fn : &QueryFlatGround; }
