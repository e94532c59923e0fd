// The built-in shapes of the crumple-zone force curve.
#pragma once

#include "host_container.h"

enum ForceCurvePreset : LONG {
  FORCEPRESET_CONSTANT = 1,
  FORCEPRESET_LINEAR = 2,
  FORCEPRESET_HYPERBOLA = 3,
  FORCEPRESET_STAIRS = 4,
  FORCEPRESET_MEASURED = 5,
};

// Replaces the car's force curve (spline 1880) with the shape its LONG 1860
// chooses: counterforce over deformation, both 0..100. Any other preset
// value stores an empty curve over that range; when the curve cannot be
// allocated nothing changes.
void ApplyForceCurvePreset(BaseContainer* bc);
