// The scene objects a car's record borrows during a run: the ground object
// under each wheel, the bound route piece (its spline, profile and guide),
// the last command marker and the commands tag a running slot plays. The
// user may delete or move any of them between two frames, so every advance
// call first re-checks them against the live groups linked from the Car and
// drops what is gone. A dropped pointer is compared by address only, never
// read.
#pragma once

#include "scene/carstate.h"

class BaseContainer;
class BaseDocument;
class BaseObject;

// True when `child` is one of `parent`'s direct children (addresses only).
Bool IsDirectChild(const BaseObject* child, const BaseObject* parent);

// Drops every borrowed scene pointer of `car` that left its group: ground
// objects not under the ground group (link 1940), a route piece not under
// the route group (1900) or whose spline, profile or guide left it, a last
// marker not under the commands group (1920), and the slots whose tag no
// longer sits on a marker of that group.
void RefreshSceneLinks(BaseDocument* doc, const BaseContainer& bc, CarState& car);
