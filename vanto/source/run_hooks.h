// What the run calls of the ground, command-marker, autopilot, collision,
// baking and name-switch code. Each of those parts owns its function; the
// ones that have not arrived yet are defined in run_hooks.cpp with the
// behaviour a car on flat default ground without markers, route, crumple
// zone or bake needs, and are removed from there when their part lands.
#pragma once

#include "carstate.h"
#include "collisionshape.h"

class BaseContainer;
class BaseDocument;
class BaseObject;
struct CarEntry;

// ---- ground: ground.h (namespace groundcontact)

// ---- command markers
void ResetCommandState(CarState& car);
void EvaluateCommandTag(BaseDocument* doc, const BaseContainer& bc, CarState& car);

// ---- route autopilot
// 1 when a route was bound (its start point and direction are then in the
// car's AutopilotState), else 0.
int32 InitAutopilot(BaseDocument* doc, const BaseContainer& bc, CarState& car);
void StepAutopilot(BaseDocument* doc, const BaseContainer& bc, CarState& car);
// Gap keeping against the other cars; entries that are null or not ready
// are no cars to keep a gap to.
void KeepGapToCars(CarState& car, const CarEntry* cars, int32 count);
void LoadRouteSpeedTable(AutopilotState& autopilot, int32 load);

// ---- collisions: collisions.h (namespace collision)

// ---- the Sim's neighbours
// The object carries recorded transform keys (a baked car).
Bool HasTransformTrack(BaseObject* op);
// Switches the names of the Sim's objects to the interface language.
void TranslateObjectNames(BaseDocument* doc, BaseObject* sim);
// The bake button (cars collected) and the rebuild button.
void BakeSimulation(BaseDocument* doc, BaseObject* sim);
void RebuildCars(BaseDocument* doc, BaseObject* sim);
