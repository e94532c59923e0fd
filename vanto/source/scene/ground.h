// Ground contact: which plane every wheel (or a single body point) stands
// on. The ground is made of the direct children of the car's ground group
// (link 1940): polygon objects, and landscape or relief primitives that
// answer through their ground tag. Where none lies under a point, the car's
// route surface (a sweep route flagged as ground) or the flat default ground
// (height Real 1942, grip Real 1943) takes over.
//
// All points are host world coordinates in scene units; planes in the
// records are kept both in host axes (`hostNormal`, `height`) and in engine
// axes and metres (`normal`, `planeOffset`), which the tyres read.
//
// A wheel's record remembers its object, polygon and last touch point, so
// the next step usually only checks that polygon (or walks to a neighbour)
// instead of searching the whole group. Stored object pointers are checked
// against the live children of the group before use: an object deleted or
// moved out of the group during a run is forgotten, never dereferenced.
#pragma once

#include "scene/carstate.h"
#include "host_geometry.h"

class BaseContainer;
class BaseDocument;
class BaseObject;

// The ground tag plug-in and its parameters.
inline constexpr LONG kGroundTagType = 1019405;
enum : LONG {
  GROUNDTAG_GRIP = 1000,          // Real, default 0.98
  GROUNDTAG_CONTACT_MODE = 1002,  // LONG: 1 single point, 2 tyre profile
  GROUNDTAG_LIFT_SURFACE = 1200,  // link: the object whose children are the surface
  GROUNDTAG_LIFT = 1201,          // button
};

// Height of a point that no search has placed yet (scene units).
inline constexpr double kNoGroundHeight = -1e8;
// Tyre profile sizes.
inline constexpr int32 kMinProfileRays = 5;

namespace groundcontact {

// Start of a run. With `skip` set the ground group is left alone and the
// default ground lies at height 0 (the settling phase). Otherwise Real 1942
// is lowered to the lowest bounding-box corner of the ground objects, every
// ground tag drops its cached surface, and the default ground lies there.
// Every wheel record forgets its object and gets a fresh 5-ray profile.
void PrepareGround(BaseDocument* doc, BaseContainer& bc, CarState& car, int32 skip);

// Start of every advance call: the default ground's height and grip from
// the car's parameters, and each wheel's grip factor and contact mode from
// the ground tag of the object it stands on (1.0 and 1 without a tag).
void ReadWheelGroundTags(CarState& car, const BaseContainer& bc);

// On (the default), large ground meshes are searched through a grid kept
// per mesh; off, every polygon is scanned. Both give the same answers: the
// plain scan is the reference the grid is checked against.
void SetSearchGrid(bool on);

}  // namespace groundcontact

// The ground under wheel `wheel` at `point` (its hub, world, scene units):
// fills the wheel's entry of `wheelGroundRecords`. `wheelAxes` gives the
// wheel's axes without spin (host axes, the published hub matrix form); only
// tyre-profile mode reads them, and without them the last published hub
// matrix of the wheel is used.
void QueryGround(BaseDocument* doc, const BaseContainer& bc, const Vector& point, int32 wheel, CarState& car,
                 const Matrix* wheelAxes = nullptr);

// The ground under every wheel of the car for the coming step: the hub
// points of the model go through QueryGround and the model is pointed at the
// per-wheel records. This is the per-step call of the run.
void QueryGroundUnderWheels(BaseDocument* doc, const BaseContainer& bc, CarState& car);
// The same with the ground group (link 1940) already resolved: the run looks
// it up once per advance call, not for every wheel in every step.
void QueryGroundUnderWheels(const BaseObject* group, CarState& car);

// The same search for any point (body points): no remembered polygon, the
// radius of wheel 0, and an accepted polygon leaves `hit`'s grip alone.
void QueryGroundPoint(BaseDocument* doc, const BaseContainer& bc, const Vector& point, SceneGroundHit& hit,
                      CarState& car);
// The same with the ground group (link 1940) already resolved.
void QueryGroundPoint(const BaseObject* group, const Vector& point, SceneGroundHit& hit, CarState& car);

// The highest point of the bounding boxes of the ground group's switched-on
// objects (scene units, world), or -infinity without any.
double HighestGroundTop(BaseDocument* doc, const BaseContainer& bc);

// A landscape or relief primitive asked through its ground tag for the grid
// triangle under `worldPoint` (`localPoint` the same point in the object's
// frame). 1 when the tag answered (whether or not its plane was taken: it is
// taken only below the point and above `hit.height`), else 0.
int32 QueryGroundTagGrid(BaseDocument* doc, BaseObject* op, const Vector& localPoint, const Vector& worldPoint,
                         SceneGroundHit& hit, const CarState& car);

// The segment start + s * dir (s in (0, 1]) leaves polygon `index` through
// one of its edges: returns the polygon on the other side of the first edge
// it crosses (-1 when it crosses none or nothing lies beyond) and the
// crossing parameter in `fraction`.
int32 WalkPolygonEdge(const Vector* points, const CPolygon* polygons, int32 index, int32 count, const Vector& start,
                      const Vector& dir, double& fraction);

// The first polygon other than `excluded` (in index order) that has both
// point indices among its corners, or -1.
int32 FindPolygonWithEdge(LONG a, LONG b, const CPolygon* polygons, int32 count, int32 excluded);

// Grip weight of a polygon from the object's vertex map: the mean of its
// corners' values (weights 0.3333 for a triangle, 0.25 for a quadrangle);
// 1.0 without a map or when the map does not match the point count.
double VertexMapFriction(const BaseObject* op, const CPolygon* polygons, int32 index, int32 pointCount);

// n ray directions in the wheel frame (x along the axle, y up, z ahead),
// fanning from straight ahead through straight down to straight behind.
void HalfCircleProfile(double (*points)[3], int32 n);

// The tyre-profile ray count for a polygon whose first edge is `edgeLength`
// long under a wheel of radius r (both scene units): odd, 5 to 51.
int32 ProfileRayCount(double radius, double edgeLength);

// The surface of a sweep route that serves as ground, from its
// cross-section in the route frame. 1 when it gave a plane.
int32 QueryRouteGround(const Vector& point, SceneGroundHit& hit, const CarState& car);
