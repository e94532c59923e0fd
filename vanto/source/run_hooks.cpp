#include "run_hooks.h"

#include "host_container.h"
#include "simrun.h"

// ---- command markers: markers.cpp.

// ---- route autopilot: autopilot.cpp.

// ---- baking: simbake.cpp; the name switch lives in namelang.cpp.
