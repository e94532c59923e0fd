// The car's collision outline: a closed polyline of the body seen from above
// (car coordinates, scene units, y = 0), its footprint rectangle, the
// crumple-zone settings, the links from the body deformer's grid and from
// attached parts to outline points, and the outer wheel corners.
//
// The outline is stored twice in `deformPoints`: entries 0..n-1 are the
// current outline, which collisions press in; entries n..2n-1 the rest
// outline as built. Every outline runs clockwise seen from above (x to the
// right, z up the page: along +x at the front, then along -z on the +x
// side), so its vertex normals point outward.
//
// This side reads the document and fills the record; the record and its
// queries (engine/collision_outline.h) and the geometry (outline_shape.h)
// need no scene.
#pragma once

#include "scene/carstate.h"
#include "engine/outline_shape.h"

class BaseContainer;
class BaseDocument;

// Most attached parts one car links to its outline.
inline constexpr int32 kMaxAttachedParts = 500;

// Fills the car's collision outline, crash reaction and wheel corners from
// its parameters and linked objects (outline object 1855, deformer 2100,
// attached-parts group 2115). 1 when built, 0 on failure: no force curve at
// 1880, a scale (units per metre) that is not a positive number, a body size
// that is negative or not finite (with no outline object), or an allocation
// that failed. Moves the outline, FFD or mesh object to (0, its height, 0)
// with zero rotation.
int32 BuildCollisionOutline(BaseDocument* doc, const BaseContainer& bc, CarState& car);

// Releases the outline's buffers (the contact tests' scratch too) and
// zeroes their counts.
void FreeCollisionOutline(CollisionOutline& outline);

// The contact tests' scratch for n outline points: kept from an earlier
// test when large enough, made otherwise. False when it cannot be had; the
// outline then holds none.
bool ReserveOutlineWork(CollisionOutline& outline, int32 n);

// The footprint in world coordinates: localFootprint through bodyMatrix.
void PlaceFootprintInWorld(CarState& car);
