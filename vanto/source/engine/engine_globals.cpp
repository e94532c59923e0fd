#include "engine/engine_globals.h"

#include <cstdio>

void PrintToStandardError(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

bool ProcessorHasWideRegisters() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();  // this may run before the compiler's own start-up code has
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

void ResetEngineGlobals() { gEngine = EngineGlobalState(); }

void SetSimulationPrint(SimulationPrintFn fn) { gEngine.print = fn ? fn : &PrintToStandardError; }
