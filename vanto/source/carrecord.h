// Life-cycle helpers of the per-car record: releasing its owned buffers and
// copying it into another car.
#pragma once

#include "carstate.h"

// Frees the collision outline's three buffers; every pointer becomes null
// and every count 0. A record without buffers is left alone.
void ReleaseCollisionOutline(CollisionOutline& outline);

// Copies src into dst for a duplicated car. dst's own outline buffers are
// released first and the copy gets none (the next outline build makes its
// own). References to scene objects are cleared: they belong to the
// source's scene, and a run binds route, markers and ground again anyway.
void CopyCarState(CarState& dst, const CarState& src);
