#include "run_hooks.h"

#include "host_container.h"
#include "simrun.h"

// ---- command markers: none yet.

void ResetCommandState(CarState& car) {
  car.commands.lastMarker = nullptr;
  for (CommandSlot& s : car.commands.slots) s.mode = -1;
}

void EvaluateCommandTag(BaseDocument*, const BaseContainer&, CarState&) {}

// ---- route autopilot: no route is bound yet.

int32 InitAutopilot(BaseDocument*, const BaseContainer&, CarState&) { return 0; }
void StepAutopilot(BaseDocument*, const BaseContainer&, CarState&) {}
void KeepGapToCars(CarState&, const CarEntry*, int32) {}
void LoadRouteSpeedTable(AutopilotState&, int32) {}

// ---- baking: not yet (the name switch lives in namelang.cpp).

Bool HasTransformTrack(BaseObject*) { return false; }
void BakeSimulation(BaseDocument*, BaseObject*) {}
void RebuildCars(BaseDocument*, BaseObject*) {}
