// Scene-object builders and small object helpers shared by the car, the
// simulation object, the tags and the wheel-rig add-on. Plain functions over
// host objects in host axes and scene units. Nothing here knows the Car
// object or the engine, only the stored ids of carsim/car_param_ids.h; built
// once in carsim_common.
//
// Builders take the name by value and consume it. A colour whose x is below 0
// means "no colour"; a tag type of 0 or less means "no tag". Without a
// document a builder still hangs its object under the given parent (or after
// the predecessor); with neither, the caller owns the uninserted object.
#pragma once

#include "host_geometry.h"
#include "host_types.h"

inline constexpr Vector kNoColour{-1.0, 0.0, 0.0};
// Display colour of the rig's guide points.
inline constexpr Vector kRigColour{49.0 / 255.0, 207.0 / 255.0, 246.0 / 255.0};

// ---------------------------------------------------------------- helpers

// The object linked at id in bc, resolved in doc: null for an empty or stale
// link, for an object of another document and for a link to anything but an
// object. Without a document the link resolves wherever its object lives.
BaseObject* LinkedObject(BaseDocument* doc, const BaseContainer& bc, LONG id);

// out[i] := the object's global matrix applied to its point i. At most the
// object's own point count is written.
void GetWorldPoints(const BaseObject* op, Vector* out, LONG count);

// inverse(a) x b: b expressed in a's frame.
Matrix MultiplyByInverseMatrix(const Matrix& a, const Matrix& b);

// The dashboard label of a route or marker name: up to three characters
// before the first ".", everything after it, in upper case.
String MakePanelLabel(const String& name);

// Rescales a curve parameter that is still in unit values (y within 0 .. 1)
// into the given range; any other value is left alone.
void NormalizeSplineCurve(BaseContainer* bc, LONG id, Real xmin, Real xmax, Real xstep, Real ymin, Real ymax,
                          Real ystep, LONG interpolation);

// The container of the object's first tag of that type, or null.
BaseContainer* GetTagContainer(const BaseObject* op, LONG tag_type);

// A new tag of that type inserted as the object's first tag, or null.
BaseTag* AttachNewTag(BaseObject* op, LONG tag_type);

// Colour mode "always", the colour, x-ray off.
void SetDisplayColor(BaseObject* op, const Vector& colour);

// ---------------------------------------------------------------- primitive builders

// Null (5140). Display, second mode, radius and aspect are set only for a
// display above 0.
BaseObject* CreateNullObject(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name, LONG display,
                             LONG second_mode, Real radius, Real aspect, const Vector& colour, LONG tag_type);
BaseObject* CreateCubeObject(BaseDocument* doc, BaseObject* parent, String name, const Vector& size,
                             const Vector& colour, LONG tag_type);
// size.x is the radius, size.y the height.
BaseObject* CreateCylinderObject(BaseDocument* doc, BaseObject* parent, String name, const Vector& size, LONG axis,
                                 const Vector& colour, LONG tag_type);
// An open spline of exactly two points. Inserted only when a document is
// given; otherwise the caller owns it.
SplineObject* CreateSplineFromPoints(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name,
                                     const Vector& p0, const Vector& p1, const Vector& colour, LONG tag_type);
// Helix from angle 0 to end_angle (rad) of constant radius.
BaseObject* CreateHelixSpline(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name, Real radius,
                              Real height, Real end_angle);
BaseObject* CreateCircleSpline(BaseDocument* doc, BaseObject* parent, String name, Real radius, LONG plane);
// A sweep with a Phong tag and, optionally, one more tag (a compositing tag
// gets its Bool 1000 switched off).
BaseObject* CreateSweepObject(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name, LONG tag_type);
// A flat grid of n x n quadrangles in the XZ plane (n below 1 counts as 1).
PolygonObject* CreatePolygonObject(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name, Real width,
                                   Real depth, LONG n, LONG tag_type);
// An instance of source, named and placed like it; null without a source.
BaseObject* CreateInstanceObject(BaseDocument* doc, BaseObject* parent, BaseObject* source);
// A closed spline of n corners on a circle in the XZ plane, corner 0 on +z;
// null for n below 3.
SplineObject* CreateRegularPolygonSpline(BaseDocument* doc, BaseObject* parent, String name, Real radius, LONG n,
                                         const Vector& colour, LONG tag_type);

// ---------------------------------------------------------------- mesh and skid-mark builders

// Closed outline of a body footprint: nx points along the front and rear
// edges, nz along the sides (counts below 1 count as 1), spanning size. With
// a mesh the outline is then fitted to it.
SplineObject* CreateFootprintOutline(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name,
                                     const Vector& size, LONG nx, LONG nz, const Vector& colour, LONG tag_type,
                                     const BaseObject* mesh);

// Pushes every outline point outward along its direction from the mesh's
// vertical axis onto the mesh's farthest triangle in the mid height band.
// False (spline unchanged) when memory fails or no triangle lies in the band.
Bool FitOutlineToMesh(SplineObject* spline, const BaseObject* mesh, const Vector& size);

// Appends the world triangles of op and its children whose corners reach the
// height band [ymin, ymax] to buffer, growing it in steps of 300 Vectors.
// The buffer stays the caller's (GeFree) also when growing fails (false).
Bool CollectBandTriangles(const BaseObject* op, Vector*& buffer, LONG& capacity, LONG& count, Real ymin, Real ymax,
                          LONG inherited_mode);

BaseObject* CreateMeshBinder(BaseDocument* doc, BaseObject* parent, BaseObject* original, BaseObject* deformed,
                             Real value);
BaseObject* CreateFfdObject(BaseDocument* doc, BaseObject* parent, const Vector& size);

// A null whose user data mirrors the car's read-only outputs 2500 .. 2552.
BaseObject* CreateOutputObject(BaseDocument* doc, BaseObject* parent, const BaseContainer& car_settings);

// The skid-mark sweep of wheel i: profile (width w), main rail and, with
// second_rail, a "Rail". A sweep that cannot be completed is removed again.
BaseObject* BuildSkidMarkSweep(BaseDocument* doc, BaseObject* parent, LONG wheel, Real width, Bool second_rail);

// The rail of a skid-mark object: a spline itself, or a sweep's second child
// (its third child, when a spline, through second).
SplineObject* GetSweepRail(BaseObject* op, SplineObject** second);

// nx x ny x nz grid points spanning size around the origin, x fastest. An
// axis with one point puts it at the centre; nothing is written when a count
// is below 1.
void FillPointGrid(Vector* points, const Vector& size, LONG nx, LONG ny, LONG nz);
