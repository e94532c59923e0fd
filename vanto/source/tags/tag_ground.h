// The VantoGround tag: marks an object as ground for the cars, with its grip
// factor and contact mode. On a landscape or relief primitive it answers the
// engine's grid queries (SimLinkMessage command 4) from a cached copy of the
// primitive's points; on a polygon object it offers the button that lifts
// the object's points onto a surface (a road laid onto a terrain).
#pragma once

#include "scene/ground.h"
#include "car/add_ons.h"

// The cached surface of a landscape or relief primitive: (nx + 1) x (nz + 1)
// points in the primitive's own coordinates, rows along z of nx + 1 points
// along x, and the size and counts they were built for. Never saved or
// copied.
struct GroundGrid {
  Vector* points = nullptr;  // host allocator; null while empty
  Vector size;
  LONG nx = 0;
  LONG nz = 0;
};

class VantoGround : public TagData {
 public:
  static NodeData* Alloc();

  Bool Init(GeListNode* node) override;
  void Free(GeListNode* node) override;
  Bool Message(GeListNode* node, LONG type, void* data) override;
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, LONG flags,
                    const BaseContainer* itemdesc) override;

  const GroundGrid& Grid() const { return grid_; }

 private:
  // Command 4: the grid triangle under the point in buffer[0..2], written
  // as three points into buffer[0..8].
  Bool AnswerGridQuery(BaseTag* tag, BaseObject* host, double* buffer);
  Bool RebuildGrid(BaseDocument* doc, BaseObject* host, const Vector& size, LONG nx, LONG nz);
  void FreeGrid();

  GroundGrid grid_;
};

// The highest of the point's own y and the heights, at its x and z, of the
// polygons of the surface's direct polygon-object children that contain it
// on the x-z plane (world coordinates).
Real GroundHeightUnder(const BaseObject* surface, const Vector& point);

// Moves every point of target up onto the highest surface under it (the
// direct polygon-object children of surface); points above every surface
// stay. One undo step; nothing happens to an object without points.
void LiftOntoGround(BaseDocument* doc, BaseObject* target, const BaseObject* surface);
