// Geometry of the host: point, polygon, spline and line objects, their data
// tags, the primitives, arc length of splines, spline curves (custom data) and
// the modelling commands.
//
// Points, polygons, segments, tangents and vertex-map values live in tags of
// the object (types Tpoint, Tpolygon, Tsegment, Ttangent, Tvertexmap), one
// array per tag. An object without a point tag has no points.
//
// Spline interpolation (LONG SPLINEOBJECT_TYPE of the spline's container):
//   SPLINETYPE_LINEAR  straight spans between consecutive points.
//   SPLINETYPE_CUBIC   uniform Catmull-Rom through the points; an open
//                      segment continues its end spans straight (phantom end
//                      points 2 P0 - P1 and 2 Pn-1 - Pn-2).
//   SPLINETYPE_BEZIER  cubic Bezier spans P_k, P_k + vr_k, P_k+1 + vl_k+1,
//                      P_k+1 with the handles of the tangent tag (relative to
//                      their point).
// A segment of n points has n - 1 spans when open and n when closed (the last
// span runs back to the first point). The spline's closed flag (Bool
// SPLINEOBJECT_CLOSED, 1002) closes every segment. The natural parameter t in
// [0, 1] runs over the spans of one segment at an even pace per span: span k
// covers t in [k / spans, (k + 1) / spans]. GetSplinePoint, GetSplineTangent,
// GetLineObject and SplineLengthData all use this one parameterisation.
#pragma once

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "host_scene.h"

// ---------------------------------------------------------------- ids

enum : LONG {
  Oline = 5137,
  Osplinecircle = 5181,
  Osplinehelix = Ohelix,
};

// Tags without data of their own that the builders attach.
enum : LONG {
  Tphong = 5612,
  Tcompositing = 5637,
};

// Spline object parameters.
enum : LONG {
  SPLINEOBJECT_TYPE = 1000,
  SPLINEOBJECT_CLOSED = 1002,
};
enum : LONG {
  SPLINETYPE_LINEAR = 0,
  SPLINETYPE_CUBIC = 1,
  SPLINETYPE_BEZIER = 4,
};

// Primitive parameters and their defaults (set by BaseObject::Alloc).
enum : LONG {
  // Null (5140): display 0 (dot), radius 10, aspect 1, orientation 0.
  NULLOBJECT_DISPLAY = 1000,
  NULLOBJECT_RADIUS = 1001,
  NULLOBJECT_ASPECTRATIO = 1002,
  NULLOBJECT_ORIENTATION = 1003,
  // Cube (5159): size (200, 200, 200).
  PRIM_CUBE_LEN = 1100,
  // Cylinder (5170): radius 50, height 200, 4 height segments, 1 cap
  // segment, 36 rotation segments; axis +Y.
  PRIM_CYLINDER_RADIUS = 5000,
  PRIM_CYLINDER_HSUB = 5001,
  PRIM_CYLINDER_HEIGHT = 5005,
  PRIM_CYLINDER_CAPS_SUB = 5006,
  PRIM_CYLINDER_SEG = 5008,
  // Axis of cylinders (5170) and plane of circles (5181).
  PRIM_AXIS = 1300,
  // Landscape (5169): size (1000, 100, 1000), 20 x 20 segments, seed 0.
  PRIM_LANDSCAPE_SIZE = 1240,
  PRIM_LANDSCAPE_SUBX = 1241,
  PRIM_LANDSCAPE_SUBZ = 1242,
  PRIM_LANDSCAPE_SEED = 1243,
  // Relief (5173): size (1000, 100, 1000), 20 x 20 segments.
  PRIM_RELIEF_SIZE = 1260,
  PRIM_RELIEF_SUBX = 1261,
  PRIM_RELIEF_SUBZ = 1262,
  // Generated spline primitives: the largest angle one span may cover (rad,
  // default pi / 4; below pi / 64 counts as pi / 64).
  PRIM_SPLINE_ANGLE = 1004,
  // Circle (5181): radius 200, plane XY.
  PRIM_CIRCLE_RADIUS = 2012,
  // Helix (5185): start and end angle (0, 4 pi), start and end radius
  // (200, 200), height 200, plane XZ (axis along y).
  PRIM_HELIX_START = 2031,
  PRIM_HELIX_END = 2032,
  PRIM_HELIX_RADIUS1 = 2033,
  PRIM_HELIX_RADIUS2 = 2034,
  PRIM_HELIX_HEIGHT = 2035,
  PRIM_HELIX_PLANE = 2300,
  // FFD (5108): grid size (300, 300, 300), 3 x 3 x 3 grid points.
  FFDOBJECT_SIZE = 1000,
  FFDOBJECT_SUBX = 1001,
  FFDOBJECT_SUBY = 1002,
  FFDOBJECT_SUBZ = 1003,
  // Instance (5126): the object it shows.
  INSTANCEOBJECT_LINK = 1001,
};
// PRIM_AXIS values (cylinder: the direction of its height).
enum : LONG { PRIM_AXIS_XP = 0, PRIM_AXIS_XN = 1, PRIM_AXIS_YP = 2, PRIM_AXIS_YN = 3, PRIM_AXIS_ZP = 4, PRIM_AXIS_ZN = 5 };
// Plane of a circle or helix (PRIM_AXIS of circles, PRIM_HELIX_PLANE).
enum : LONG { PRIM_PLANE_XY = 0, PRIM_PLANE_ZY = 1, PRIM_PLANE_XZ = 2 };

// ---------------------------------------------------------------- display

// The mesh binder: an object that carries a deformed copy of a mesh's points
// (link 2000 the original mesh, link 2001 the deformed one, Real 2002 its
// strength). It has no behaviour of its own in this host.
enum : LONG { Omeshbinder = 1008982 };
enum : LONG { MESHBINDER_ORIGINAL = 2000, MESHBINDER_DEFORMED = 2001, MESHBINDER_STRENGTH = 2002 };

// Editor display colour of an object, kept in its container (so it is saved
// and copied with it).
enum : LONG { ID_BASEOBJECT_USECOLOR = 907, ID_BASEOBJECT_COLOR = 908, ID_BASEOBJECT_XRAY = 909 };
enum : LONG { ID_BASEOBJECT_USECOLOR_OFF = 0, ID_BASEOBJECT_USECOLOR_AUTOMATIC = 1, ID_BASEOBJECT_USECOLOR_ALWAYS = 2 };
struct ObjectColorProperties {
  LONG usecolor = ID_BASEOBJECT_USECOLOR_OFF;
  Vector color;  // RGB, 0 .. 1
  Bool xray = false;
};
// Null objects are ignored.
void SetColorProperties(BaseObject* op, const ObjectColorProperties& props);
// Off, black and no x-ray for an object that never had them set.
ObjectColorProperties GetColorProperties(const BaseObject* op);

// Phong shading of an object: its Phong tag (Tphong) with the angle limit
// switch (Bool 1000) and the limit angle in radians (Real 1001).
enum : LONG { PHONGTAG_PHONG_ANGLELIMIT = 1000, PHONGTAG_PHONG_ANGLE = 1001 };
// on: finds or appends the Phong tag and sets both values; off: removes every
// Phong tag. False for a null object or when the tag cannot be allocated.
Bool SetPhong(BaseObject* op, Bool on, Bool anglelimit, Real angle);

// ---------------------------------------------------------------- tag records

// A polygon: four point indices; a triangle repeats its third one (c == d).
struct CPolygon {
  LONG a = 0, b = 0, c = 0, d = 0;
  CPolygon() = default;
  CPolygon(LONG ia, LONG ib, LONG ic) : a(ia), b(ib), c(ic), d(ic) {}
  CPolygon(LONG ia, LONG ib, LONG ic, LONG id) : a(ia), b(ib), c(ic), d(id) {}
  bool operator==(const CPolygon& o) const { return a == o.a && b == o.b && c == o.c && d == o.d; }
};

// One run of consecutive spline points.
struct Segment {
  LONG cnt = 0;
  Bool closed = false;
  bool operator==(const Segment& o) const { return cnt == o.cnt && closed == o.closed; }
};

// Bezier handles of one spline point, both relative to the point.
struct Tangent {
  Vector vl, vr;
  bool operator==(const Tangent& o) const { return vl == o.vl && vr == o.vr; }
};

// ---------------------------------------------------------------- tags

// A tag holding one array: points (Vector), polygons (CPolygon), segments
// (Segment), tangents (Tangent) or vertex-map values (Real, one per point).
class VariableTag : public BaseTag {
 public:
  // A tag of one of the five types with count zeroed elements; null for any
  // other type, a negative count or when the allocation fails.
  static VariableTag* Alloc(LONG type, LONG count);

  LONG GetDataCount() const;
  // Bytes of one element.
  LONG GetDataSize() const;
  // Null when the array is empty.
  const void* GetDataAddressR() const;
  void* GetDataAddressW();
  // Keeps the first elements; new ones are zero. False for a negative count.
  Bool Resize(LONG count);
  // Changes on every write access (a write pointer handed out, a resize, a
  // copy), never repeats within the process: what is cached from the data is
  // valid while the version stays.
  std::uint64_t GetVersion() const { return version_; }

  static Bool IsVariableType(LONG type);
  static VariableTag* Create(LONG type);  // host factory

 protected:
  explicit VariableTag(LONG type);
  void CopyOwnTo(BaseList2D* dst) const override;

 private:
  using Data = std::variant<std::vector<Vector>, std::vector<CPolygon>, std::vector<Segment>, std::vector<Tangent>,
                            std::vector<Real>>;
  // Marks the data as changed: a new version, and the owning object dirty.
  void Touch();

  Data data_;
  std::uint64_t version_ = 0;
};

// ---------------------------------------------------------------- objects

// An object whose geometry is an array of points (polygon, spline, line and
// FFD objects). The bounding box is that of the points.
class PointObject : public BaseObject {
 public:
  LONG GetPointCount() const;
  // Null when the object has no points.
  const Vector* GetPointR() const;
  Vector* GetPointW();
  // Sets the point count, keeping the first points; new points are zero.
  Bool ResizePoints(LONG count);

  Vector GetMp() const override;
  Vector GetRad() const override;

 protected:
  explicit PointObject(LONG type) : BaseObject(type) {}
  VariableTag* EnsureTag(LONG type);

 private:
  // The box of the points, scanned again only when the point tag or its
  // version changed.
  void PointBox(Vector* mp, Vector* rad) const;
  mutable const VariableTag* box_tag_ = nullptr;
  mutable std::uint64_t box_version_ = 0;
  mutable Vector box_mp_, box_rad_;
};

class PolygonObject : public PointObject {
 public:
  // A polygon object with pcnt zero points and vcnt zero polygons; null when
  // a count is negative or the allocation fails.
  static PolygonObject* Alloc(LONG pcnt, LONG vcnt);

  LONG GetPolygonCount() const;
  const CPolygon* GetPolygonR() const;
  CPolygon* GetPolygonW();
  // Keeps the first points and polygons; new ones are zero.
  Bool ResizeObject(LONG pcnt, LONG vcnt);

  static BaseList2D* Create(LONG type);

 protected:
  explicit PolygonObject(LONG type) : PointObject(type) {}
};

class LineObject;

class SplineObject : public PointObject {
 public:
  // A spline of pcnt zero points with one segment (when pcnt > 0), open, of
  // the given interpolation type; null for an unknown type, a negative count
  // or when the allocation fails.
  static SplineObject* Alloc(LONG pcnt, LONG type);

  LONG GetInterpolationType() const;
  Bool IsClosed() const;

  // Segments as evaluated: the segment tag's records, or one segment of all
  // points when there is no segment record.
  LONG GetSegmentCount() const;
  // First point index and point count of a segment; false when out of range.
  Bool GetSegmentRange(LONG segment, LONG* first, LONG* count) const;
  const Segment* GetSegmentR() const;
  Segment* GetSegmentW();
  LONG GetTangentCount() const;
  const Tangent* GetTangentR() const;
  Tangent* GetTangentW();

  // Sets pcnt points (with as many tangents) and scnt segment records,
  // keeping the existing ones. With scnt == 1 the one segment covers all
  // points; otherwise new records have count 0 for the caller to fill.
  Bool ResizeObject(LONG pcnt, LONG scnt);

  // Point and unit tangent of a segment at natural parameter t (clamped to
  // [0, 1]). padr, when given, replaces the spline's points (same count).
  // An empty or unknown segment gives the zero vector.
  Vector GetSplinePoint(Real t, LONG segment = 0, const Vector* padr = nullptr) const;
  Vector GetSplineTangent(Real t, LONG segment = 0, const Vector* padr = nullptr) const;

  // The spline as polylines: a new line object with one segment per spline
  // segment (linear spans as they are; curved spans cut into
  // clamp(round(16 lod), 1, 256) straight pieces). The caller owns the
  // result and frees it with BaseObject::Free. Null when the spline has no
  // points or the allocation fails. doc and thread are not needed.
  LineObject* GetLineObject(BaseDocument* doc, Real lod, BaseThread* thread = nullptr) const;

  Vector GetMp() const override;
  Vector GetRad() const override;

  static BaseList2D* Create(LONG type);

 protected:
  explicit SplineObject(LONG type) : PointObject(type) {}
};

// Straight polylines, as SplineObject::GetLineObject gives them: points and
// segments (a closed segment's last point joins its first).
class LineObject : public PointObject {
 public:
  static LineObject* Alloc(LONG pcnt, LONG scnt);
  LONG GetSegmentCount() const;
  const Segment* GetSegmentR() const;
  Segment* GetSegmentW();
  static BaseList2D* Create(LONG type);

 protected:
  explicit LineObject(LONG type) : PointObject(type) {}
};

// The FFD deformer: a grid of FFDOBJECT_SUBX x SUBY x SUBZ points, x fastest,
// then y, then z, spanning its size around the origin. MSG_UPDATE (and the
// cache pass) lays out the regular grid whenever the point count does not
// match the grid counts; matching (possibly deformed) points are kept.
class FfdObject : public PointObject {
 public:
  // Sizes the point array to the grid counts, filling the regular grid when
  // the count changed. Counts below 2 are taken as 2.
  void UpdateGrid();
  // The regular grid for the current parameters.
  void ResetGrid();
  Bool Message(LONG type, void* data = nullptr) override;
  Vector GetMp() const override { return Vector(); }
  Vector GetRad() const override;
  static BaseList2D* Create(LONG type);

 protected:
  explicit FfdObject(LONG type) : PointObject(type) {}
};

// The host's parametric objects (null, cube, cylinder, landscape, relief,
// circle, helix, sweep, instance). Their geometry follows from their
// parameters; SendModelingCommand(MCOMMAND_CURRENTSTATETOOBJECT) turns them
// into a polygon or spline object.
class PrimitiveObject : public BaseObject {
 public:
  Vector GetMp() const override;
  Vector GetRad() const override;
  static BaseList2D* Create(LONG type);
  static Bool IsPrimitiveType(LONG type);

 protected:
  explicit PrimitiveObject(LONG type);
};

// Landscape and relief heights: the height (0 .. size.y) at the grid point
// of column c (0 .. nx) and row r (0 .. nz). Deterministic: the same
// parameters always give the same surface.
Real LandscapeHeight(LONG type, const BaseContainer& bc, LONG c, LONG r);

// ---------------------------------------------------------------- arc length

// Arc length of one spline segment and the map from a fraction of that
// length (uniform parameter) to the natural parameter. Lengths are computed
// by adaptive Gauss-Legendre quadrature to a relative error below 1e-9 of
// the segment's length (for curves without cusps); UniformToNatural inverts
// them to the same tolerance.
class SplineLengthData {
 public:
  // Null when the allocation fails (injectable through hostmem).
  static SplineLengthData* Alloc();
  static void Free(SplineLengthData*& p);

  // False for a null spline, an unknown segment or a segment without points.
  // padr, when given, replaces the spline's points (same count). The data
  // holds a copy of what it needs: the spline may change afterwards.
  Bool Init(const SplineObject* op, LONG segment = 0, const Vector* padr = nullptr);
  Real GetLength() const { return total_; }
  // u is clamped to [0, 1]. Monotone. Before a successful Init, or for a
  // segment of length 0, the result is u itself.
  Real UniformToNatural(Real u) const;
  Real NaturalToUniform(Real t) const;

  SplineLengthData() = default;
  static void* operator new(std::size_t size) noexcept;
  static void operator delete(void* p);

 private:
  struct Span {
    Vector p0, c1, c2, p3;  // cubic Bezier form of the span
  };
  Real LengthOn(LONG span, Real a, Real b) const;
  std::vector<Span> spans_;
  std::vector<Real> cumulative_;  // length before each sample step
  LONG steps_per_span_ = 16;
  Real total_ = 0.0;
};

// ---------------------------------------------------------------- spline curve

enum : LONG { CUSTOMDATATYPE_SPLINE = 1009060 };

// Interpolation of the span that starts at a knot.
enum : LONG {
  SPLINEKNOT_BEZIER = 0,  // cubic Bezier with the knots' tangents
  SPLINEKNOT_LINEAR = 1,
  SPLINEKNOT_CUBIC = 2,  // Hermite cubic with slopes from the neighbouring knots
};

struct SplineKnot {
  Vector pos;            // x, y (z unused)
  Vector tangent_left;   // relative to pos
  Vector tangent_right;  // relative to pos
  LONG flags = 0;        // kept as given (the host attaches no meaning)
  LONG interpolation = SPLINEKNOT_BEZIER;
  bool operator==(const SplineKnot& o) const;
};

// A curve y(x) over a range, given by knots kept in ascending x (equal x in
// insertion order). A new curve has the range x 0 .. 1, y 0 .. 1 and no
// knots. GetPoint(x) gives (x, y(x), 0): outside the knots the end knot's y,
// without knots y = 0. Values are not clipped to the y range.
class SplineData : public CustomDataType {
 public:
  // Null when the allocation fails (injectable through hostmem).
  static SplineData* Alloc();
  static void Free(SplineData*& p);

  LONG GetTypeId() const override { return CUSTOMDATATYPE_SPLINE; }
  std::unique_ptr<CustomDataType> Clone() const override;
  bool Equals(const CustomDataType& other) const override;

  void SetRange(Real xmin, Real xmax, Real xstep, Real ymin, Real ymax, Real ystep);
  void GetRange(Real* xmin, Real* xmax, Real* xstep, Real* ymin, Real* ymax, Real* ystep) const;

  LONG GetKnotCount() const { return static_cast<LONG>(knots_.size()); }
  // Null for an index out of range.
  const SplineKnot* GetKnot(LONG i) const;
  SplineKnot* GetKnot(LONG i);
  // Replaces knot i (order is restored when its x moved past a neighbour);
  // false for an index out of range.
  Bool SetKnot(LONG i, const SplineKnot& k);
  // Inserts a knot with zero tangents and Bezier interpolation; returns its
  // index, or -1 for a non-finite position.
  LONG InsertKnot(Real x, Real y, LONG flags = 0);
  Bool DeleteKnot(LONG i);
  void DeleteAllKnots() { knots_.clear(); }
  // count < 1 removes every knot; otherwise count knots evenly spaced along
  // the straight line from (xmin, ymin) to (xmax, ymax) of the range.
  void ResetKnots(LONG count);
  void SetKnotInterpolation(LONG i, LONG interpolation);
  void SetAllInterpolation(LONG interpolation);

  Vector GetPoint(Real x) const;

  const std::vector<SplineKnot>& Knots() const { return knots_; }

  SplineData() = default;

 private:
  void Sort();
  Real xmin_ = 0.0, xmax_ = 1.0, xstep_ = 0.1, ymin_ = 0.0, ymax_ = 1.0, ystep_ = 0.1;
  std::vector<SplineKnot> knots_;
};

// ---------------------------------------------------------------- modelling commands

enum : LONG {
  // Heights along a point object: every point is carried vertically onto the
  // highest surface of the document's polygon objects and primitives at its
  // x and z (world space); a point with no surface below or above keeps its
  // y. Works in place on op (which need not lie in doc); Real 2022 of the
  // settings is read by nothing here.
  MCOMMAND_HEIGHTPROFILE = 115,
  // The object as it shows: a primitive becomes the polygon or spline object
  // it generates, a point object a copy of itself, an instance the current
  // state of what it shows. One new object in result, owned by the caller.
  MCOMMAND_CURRENTSTATETOOBJECT = 245,
};

// A list of nodes (the results of a modelling command). It does not own
// them.
class AtomArray {
 public:
  LONG GetCount() const { return static_cast<LONG>(nodes_.size()); }
  C4DAtom* GetIndex(LONG i) const { return i >= 0 && i < GetCount() ? nodes_[static_cast<size_t>(i)] : nullptr; }
  void Append(C4DAtom* a) { nodes_.push_back(a); }
  void Flush() { nodes_.clear(); }

 private:
  std::vector<C4DAtom*> nodes_;
};

struct ModelingCommandData {
  BaseDocument* doc = nullptr;
  BaseObject* op = nullptr;
  BaseContainer* bc = nullptr;
  LONG mode = 0;
  LONG flags = 0;
  // Filled by commands that make objects; the objects belong to the caller,
  // who frees each with BaseObject::Free.
  AtomArray result_array;
  AtomArray* result = &result_array;

  ModelingCommandData() = default;
  ModelingCommandData(const ModelingCommandData&) = delete;
  ModelingCommandData& operator=(const ModelingCommandData&) = delete;
};

// False (and nothing made or changed) for an unknown command, a missing or
// unsuitable object, or an injected failure.
Bool SendModelingCommand(LONG command, ModelingCommandData& data);

namespace hostgeo {
// Make the n-th modelling command from now fail (1 = the next); 0 switches off.
void FailModelingCommand(long n);
// Registers the geometry node types with the host (called once by the node
// factory) and their scene-file readers and writers.
void RegisterTypes();
// The current state of an object as a new polygon or spline object (null
// when it has none); what MCOMMAND_CURRENTSTATETOOBJECT hands out.
BaseObject* CurrentState(const BaseObject* op);
}  // namespace hostgeo
