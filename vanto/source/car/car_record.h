// Life-cycle helper of the per-car record: copying it into another car.
// (The outline's buffers are released by FreeCollisionOutline.)
#pragma once

#include "scene/carstate.h"

// Copies src into dst for a duplicated car. dst's own outline buffers are
// released first and the copy gets none (the next outline build makes its
// own). References to scene objects are cleared: they belong to the
// source's scene, and a run binds route, markers and ground again anyway.
void CopyCarState(CarState& dst, const CarState& src);
