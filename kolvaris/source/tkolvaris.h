// The Kolvaris tag: on a cube, cylinder or closed spline under a Sim it keeps
// the object's collision shape in world space and hands its address to the
// Sim; on a Car it only marks the car for its crumple zone.
//
// The shape itself (carsim/collision_shape.h) is shared with vanto as raw memory;
// the operations that build and refresh it live here.
#pragma once

#include "carsim/car_param_ids.h"
#include "carsim/collision_shape.h"
#include "carsim/plugin_ids.h"
#include "host_plugin.h"

inline constexpr const char* kKolvarisVersionText = "KOLVARIS 1.00.5";

enum KolvarisParam : LONG {
  KOLVARIS_IMPACT_SCALE = 1950,  // Real: scale of the published impact vector
  KOLVARIS_IMPACT_POINT = 2000,  // Vector, output: latest contact point
  KOLVARIS_IMPACT_VECTOR = 2001, // Vector, output: summed impact force times the scale
  KOLVARIS_FIRST_OUTPUT = KOLVARIS_IMPACT_POINT,
};

enum : LONG { IDS_KOLVARIS = 10000 };

// ---------------------------------------------------------------- shape

// BoxCorners flags: transform the corners by the matrix; only the four
// corners of the horizontal rectangle through the centre (height 0).
enum : LONG { BOXCORNERS_TRANSFORM = 1, BOXCORNERS_MIDDLE = 2 };

// Invalid, no cache, identity matrix, zero impact vectors.
void InitCollisionShape(CollisionShape& shape);
// Releases the point cache (count 0).
void FreeCollisionShapeCache(CollisionShape& shape);
// The corners of a box of that size round the origin, top four (+y) first:
// (-x,+y,+z) (+x,+y,+z) (+x,+y,-z) (-x,+y,-z), then (-x,-y,+z) (-x,-y,-z)
// (+x,-y,-z) (+x,-y,+z). With BOXCORNERS_MIDDLE only the first four, at
// height 0.
void BoxCorners(const Matrix& m, const Vector& size, Vector* out, LONG flags);
// Rebuilds the shape from op (world space). True when the shape is valid,
// or when op is a Car (the shape then only records it). False leaves the
// shape invalid: an unsupported type, an open spline, no memory.
Bool BuildCollisionShape(CollisionShape& shape, BaseDocument* doc, BaseObject* op);
// Updates a valid shape in place after its object moved. False (and the
// shape invalid) when the cache no longer fits the object.
Bool RefreshCollisionShape(CollisionShape& shape, BaseDocument* doc, BaseObject* op);
// All twelve components equal; any NaN makes them differ.
Bool MatrixEqual(const Matrix& a, const Matrix& b);
// m turned about the world Y axis only: Y straight up, Z the old Z laid
// flat (or, when Z pointed straight up or down, X laid flat), unit axes,
// the offset kept.
Matrix StandUpright(const Matrix& m);

// ---------------------------------------------------------------- tag

class Kolvaris : public TagData {
 public:
  Kolvaris();
  ~Kolvaris() override;
  static NodeData* Alloc() { return new Kolvaris; }

  Bool Init(GeListNode* node) override;
  void Free(GeListNode* node) override;
  Bool Message(GeListNode* node, LONG type, void* data) override;
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, LONG flags,
                    const BaseContainer* itemdesc) override;
  Bool Draw(BaseTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh) override;
  EXECUTIONRESULT Execute(BaseTag* tag, BaseDocument* doc, BaseObject* op, BaseThread* bt, LONG priority,
                          LONG flags) override;
  Bool AddToExecution(BaseTag* tag, PriorityList* list) override;

  CollisionShape& Shape() { return shape_; }
  const CollisionShape& Shape() const { return shape_; }

 private:
  CollisionShape shape_;
};

Bool RegisterKolvaris();
