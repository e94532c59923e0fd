// What the run calls of the ground, command-marker, autopilot, collision,
// baking and name-switch code. Each of those parts owns its function; the
// ones that have not arrived yet are defined in run_hooks.cpp with the
// behaviour a car on flat default ground without markers, route, crumple
// zone or bake needs, and are removed from there when their part lands.
#pragma once

#include "bakekeys.h"
#include "carstate.h"
#include "collisionshape.h"
#include "simbake.h"
#include "autopilot.h"
#include "markers.h"

class BaseContainer;
class BaseDocument;
class BaseObject;
struct CarEntry;

// ---- ground: ground.h (namespace groundcontact)

// ---- command markers: markers.h

// ---- route autopilot: autopilot.h

// ---- collisions: collisions.h (namespace collision)

// ---- the Sim's neighbours
// Baking and rebuilding: simbake.h; the baked-car test HasTransformTrack:
// bakekeys.h.
// Switches the names of the Sim's objects to the interface language.
void TranslateObjectNames(BaseDocument* doc, BaseObject* sim);
