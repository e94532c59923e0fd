// Collisions between cars and with obstacles, found on the cars' outlines
// seen from above, and the two companions that keep a crashed car
// believable: wheels that the crumpled body no longer covers are pulled in,
// and a car lying on its body is kept out of the ground.
//
// The response is a force queued into a free external force slot of each
// body (it acts in the next step only), outlines pressed in by the distance
// the bodies close in one step, and a record per side of the car.
//
// Lengths are scene units and host axes (y up) unless marked; velocities are
// m/s, forces N. The functions sit in their own namespace: the run reaches
// them through its hooks of the same names.
#pragma once

#include "scene/carstate.h"
#include "carsim/collision_shape.h"
#include "engine/ground_hit.h"

class BaseContainer;
class BaseDocument;

namespace collision {

// Obstacle shape types (host object types).
enum : LONG { kObstacleSpline = 5101, kObstacleCube = 5159, kObstacleCylinder = 5170 };

// ---------------------------------------------------------------- the tests

// Cars a and b (a listed before b). 1 when they touched in this step; 0 when
// they did not, or when a working buffer could not be had.
int32 CollideCars(CarState& a, CarState& b);
// The car against one obstacle shape (spline outline, cube or cylinder).
// Adds the force on the obstacle to the shape's impact sum and sets its
// impact point on contact.
int32 CollideCarWithObstacle(CarState& car, CollisionShape& shape);
// Wheels whose outer corner the pressed-in outline no longer covers move
// along the car's length onto the outline; the car counts as crashed then.
void ClipPointsToOutline(CarState& car);

// The ground plane under a world point (host axes, scene units): the query
// fills hit's hostNormal and planeOffset. It is handed a copy of the car's
// default ground to start from.
using GroundPointQuery = void (*)(BaseDocument* doc, const BaseContainer& bc, const Vector& point, SceneGroundHit& hit,
                                  CarState& car);
// A car none of whose wheels touches the ground is held out of it by its
// body corners. Without a query the car's default ground is used.
void ResolveBodyGroundContact(BaseDocument* doc, const BaseContainer& bc, CarState& car, GroundPointQuery query);

// ---------------------------------------------------------------- pieces

// Indices (ascending) of the points of P[0..m-1] that lie inside the closed
// outline Q[0..q-1] on XZ, and their mean. list needs m + 1 entries: when
// any point is inside, the first index is repeated after the last.
int32 PointsInsideOutline(const Vector* P, int32 m, const Vector* Q, int32 q, int32* list, Vector& mean);
// 1 when a corner of either rectangle lies inside the other (on XZ).
int32 FootprintsOverlap(const Vector a[4], const Vector b[4]);
// 1 when an edge of one rectangle crosses an edge of the other (on XZ): the
// case of a long footprint laid across a narrower one, no corner inside.
int32 FootprintEdgesCross(const Vector a[4], const Vector b[4]);
// The cheap reject of the collision tests: the footprints share any area,
// by a corner inside or by crossing edges. The footprint is the body before
// it was pressed in, so a car crumpled against a wall thinner than its
// crumple travel carries its footprint clean across it while the pressed-in
// outline is still in contact; a corner test alone would then let go of the
// car and it would drive through.
int32 FootprintsMeet(const Vector a[4], const Vector b[4]);
// Mean of the listed points; zero for a count below 1.
Vector OutlineCentroid(Vector& mean, const Vector* points, const int32* list, int32 count);
// Outward vertex normals of the closed outline in buffer[0..n-1] (the body's
// up axis v2 across each edge) into buffer[n..2n-1]; with a list, only over
// the listed run where that is enough.
void OutlineVertexNormals(Vector* buffer, const Matrix& body, int32 n, const int32* list, int32 k);
// Outline points inside the box of the 8 corners; normal: the normalised sum
// of the outward axes of the faces they entered through.
int32 FindObstacleEntryFace(const Vector* buffer, int32 n, const Vector corners[8], const Matrix& box, int32* list,
                            Vector& mean, Vector& normal);
// Outline points inside the upright cylinder (radius cache[0].x round the
// matrix offset); normal: the normalised sum of their outward directions.
int32 PointsInsideCylinder(const Vector* buffer, int32 n, const Vector* cache, const Matrix& m, int32* list,
                           Vector& mean, Vector& normal);
// The outward normal of the obstacle edges that the listed car points
// crossed on their way in (traced back along ray); zero when none.
Vector CrossedEdgeNormal(const Vector* Q, int32 q, const Vector* W, const int32* list, int32 k, const Vector& ray);
// Resistance (N) of an outline point of zone class zoneClass pressed in by d
// (metres) along the local push direction; side: the car side it counts
// for, -1 when it lies in no zone.
double ImpactSideFactor(const CollisionOutline& outline, int32 zoneClass, const Vector& d, const Vector& push,
                        int32& side);
// Moves the listed outline points (ascending) by push (car coordinates, x
// and z only); up to three neighbours on each side follow by 3/4, 1/2, 1/4.
void PressOutlineIn(CollisionOutline& outline, const int32* list, int32 k, const Vector& push);
// The side of the car (0 front, 1 +x, 2 rear, 3 -x) nearest to a world point.
int32 SideFromContactPoint(const CarState& car, const Vector& worldPoint);
// Velocity (m/s, host axes) of the car's body at a world point.
Vector VelocityAtPoint(const CarState& car, const Vector& worldPoint);

}  // namespace collision
