#include "scene_build/object_builders.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "carsim/car_param_ids.h"
#include "carsim/polygon_geometry.h"
#include "host_container.h"
#include "host_description.h"
#include "host_file.h"
#include "host_plugin.h"
#include "host_services.h"

namespace {

constexpr Real kSplineAngle = 0.7853981633974483;  // pi / 4
constexpr Real kPhongAngle = 1.5533430342749535;   // 89 degrees
constexpr LONG kTriangleBufferStart = 3000;
constexpr LONG kTriangleBufferStep = 300;

// Puts a new object into the scene: through the document when there is one,
// otherwise straight into the parent's (or predecessor's) list.
void Place(BaseDocument* doc, BaseObject* op, BaseObject* parent, BaseObject* pred, Bool checknames) {
  if (doc) {
    doc->InsertObject(op, parent, pred, checknames);
  } else if (pred && pred->GetUp() == parent) {
    op->InsertAfter(pred);
  } else if (parent) {
    op->InsertUnder(parent);
  }
}

// The shared tail of every builder: colour, optional tag, update.
void Finish(BaseObject* op, const Vector& colour, LONG tag_type) {
  if (colour.x >= 0.0) SetDisplayColor(op, colour);
  if (tag_type > 0) AttachNewTag(op, tag_type);
  op->Message(MSG_UPDATE);
}

void Name(BaseObject* op, const String& name) {
  if (!name.empty()) op->SetName(name);
}

// An empty open spline (no points, no segments).
SplineObject* CreateEmptySpline(BaseDocument* doc, BaseObject* parent, const String& name) {
  SplineObject* sp = SplineObject::Alloc(0, SPLINETYPE_LINEAR);
  if (!sp) return nullptr;
  sp->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, false);
  Name(sp, name);
  Place(doc, sp, parent, nullptr, false);
  sp->Message(MSG_UPDATE);
  return sp;
}

// Grows the triangle buffer; the old buffer stays valid when that fails.
Bool GrowBuffer(Vector*& buffer, LONG& capacity, LONG count) {
  const LONG grown = capacity + kTriangleBufferStep;
  auto* fresh = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<std::size_t>(grown)));
  if (!fresh) return false;
  if (buffer && count > 0) std::memcpy(static_cast<void*>(fresh), buffer, sizeof(Vector) * static_cast<std::size_t>(count));
  GeFree(buffer);
  buffer = fresh;
  capacity = grown;
  return true;
}

}  // namespace

// ---------------------------------------------------------------- helpers

BaseObject* LinkedObject(BaseDocument* doc, const BaseContainer& bc, LONG id) { return bc.GetObjectLink(id, doc); }

void GetWorldPoints(const BaseObject* op, Vector* out, LONG count) {
  if (!op || !out) return;
  const Matrix m = op->GetMg();
  const auto* p = static_cast<const Vector*>(op->GetTagDataR(Tpoint));
  const LONG n = std::min(count, op->GetTagDataCount(Tpoint));
  for (LONG i = 0; i < n; ++i) out[i] = m * p[i];
}

Matrix MultiplyByInverseMatrix(const Matrix& a, const Matrix& b) {
  const Matrix inv = Invert(a);
  return Matrix(inv * b.off, inv.TransformDirection(b.v1), inv.TransformDirection(b.v2), inv.TransformDirection(b.v3));
}

String MakePanelLabel(const String& name) {
  const LONG dot = name.FindFirst(".");
  String label = dot >= 0 ? name.Left(std::min<LONG>(dot, 3)) + name.SubStr(dot + 1, name.GetLength()) : name.Left(3);
  for (char& ch : label) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return label;
}

void NormalizeSplineCurve(BaseContainer* bc, LONG id, Real xmin, Real xmax, Real xstep, Real ymin, Real ymax,
                          Real ystep, LONG interpolation) {
  if (!bc) return;
  const auto* old = static_cast<const SplineData*>(bc->GetCustomDataType(id, CUSTOMDATATYPE_SPLINE));
  if (!old) return;
  Real x0, x1, xs, y0, y1, ys;
  old->GetRange(&x0, &x1, &xs, &y0, &y1, &ys);
  if (!(y0 >= 0.0 && y1 <= 1.0)) return;
  constexpr LONG kMaxKnots = 50;
  Vector kept[kMaxKnots];
  const LONG n = std::min(old->GetKnotCount(), kMaxKnots);
  for (LONG i = 0; i < n; ++i) {
    const SplineKnot* k = old->GetKnot(i);
    if (!k) return;
    kept[i] = k->pos;
  }
  // The new curve is complete before the old one is replaced.
  SplineData* fresh = SplineData::Alloc();
  if (!fresh) return;
  fresh->SetRange(xmin, xmax, xstep, ymin, ymax, ystep);
  fresh->DeleteAllKnots();
  for (LONG i = 0; i < n; ++i)
    fresh->InsertKnot((xmax - xmin) * kept[i].x + xmin, (ymax - ymin) * kept[i].y + ymin,
                      (i == 0 || i == n - 1) ? 0x20 : 0);
  fresh->SetAllInterpolation(interpolation);
  bc->SetData(id, GeData(*fresh));
  SplineData::Free(fresh);
}

BaseContainer* GetTagContainer(const BaseObject* op, LONG tag_type) {
  if (!op) return nullptr;
  BaseTag* tag = op->GetTag(tag_type);
  return tag ? tag->GetDataInstance() : nullptr;
}

BaseTag* AttachNewTag(BaseObject* op, LONG tag_type) {
  if (!op) return nullptr;
  BaseTag* tag = BaseTag::Alloc(tag_type);
  if (tag) op->InsertTag(tag, nullptr);
  return tag;
}

void SetDisplayColor(BaseObject* op, const Vector& colour) {
  ObjectColorProperties props;
  props.usecolor = ID_BASEOBJECT_USECOLOR_ALWAYS;
  props.color = colour;
  props.xray = false;
  SetColorProperties(op, props);
}

// ---------------------------------------------------------------- primitive builders

BaseObject* CreateNullObject(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name, LONG display,
                             LONG second_mode, Real radius, Real aspect, const Vector& colour, LONG tag_type) {
  BaseObject* op = BaseObject::Alloc(Onull);
  if (!op) return nullptr;
  if (display > 0) {
    BaseContainer* bc = op->GetDataInstance();
    bc->SetLong(NULLOBJECT_DISPLAY, display);
    bc->SetLong(NULLOBJECT_ORIENTATION, second_mode);
    bc->SetReal(NULLOBJECT_RADIUS, radius);
    bc->SetReal(NULLOBJECT_ASPECTRATIO, aspect);
  }
  Name(op, name);
  Place(doc, op, parent, pred, true);
  Finish(op, colour, tag_type);
  return op;
}

BaseObject* CreateCubeObject(BaseDocument* doc, BaseObject* parent, String name, const Vector& size,
                             const Vector& colour, LONG tag_type) {
  BaseObject* op = BaseObject::Alloc(Ocube);
  if (!op) return nullptr;
  op->GetDataInstance()->SetVector(PRIM_CUBE_LEN, size);
  Name(op, name);
  Place(doc, op, parent, nullptr, false);
  Finish(op, colour, tag_type);
  return op;
}

BaseObject* CreateCylinderObject(BaseDocument* doc, BaseObject* parent, String name, const Vector& size, LONG axis,
                                 const Vector& colour, LONG tag_type) {
  BaseObject* op = BaseObject::Alloc(Ocylinder);
  if (!op) return nullptr;
  BaseContainer* bc = op->GetDataInstance();
  bc->SetReal(PRIM_CYLINDER_RADIUS, size.x);
  bc->SetReal(PRIM_CYLINDER_HEIGHT, size.y);
  bc->SetLong(PRIM_CYLINDER_HSUB, 1);
  bc->SetLong(PRIM_CYLINDER_CAPS_SUB, 1);
  bc->SetLong(PRIM_CYLINDER_SEG, 36);
  bc->SetReal(5007, 1.0);
  bc->SetLong(PRIM_AXIS, axis);
  SetPhong(op, true, true, kPhongAngle);
  Name(op, name);
  Place(doc, op, parent, nullptr, false);
  Finish(op, colour, tag_type);
  return op;
}

SplineObject* CreateSplineFromPoints(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name,
                                     const Vector& p0, const Vector& p1, const Vector& colour, LONG tag_type) {
  SplineObject* sp = SplineObject::Alloc(2, SPLINETYPE_LINEAR);
  if (!sp) return nullptr;
  sp->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, false);
  if (!sp->ResizeObject(2, 1)) {
    BaseObject* op = sp;
    BaseObject::Free(op);
    return nullptr;
  }
  Segment* seg = sp->GetSegmentW();
  if (seg) *seg = Segment{2, false};
  Vector* p = sp->GetPointW();
  p[0] = p0;
  p[1] = p1;
  Name(sp, name);
  if (doc) doc->InsertObject(sp, parent, pred, false);
  Finish(sp, colour, tag_type);
  return sp;
}

BaseObject* CreateHelixSpline(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name, Real radius,
                              Real height, Real end_angle) {
  BaseObject* op = BaseObject::Alloc(Osplinehelix);
  if (!op) return nullptr;
  BaseContainer* bc = op->GetDataInstance();
  bc->SetReal(PRIM_SPLINE_ANGLE, kSplineAngle);
  bc->SetReal(PRIM_HELIX_START, 0.0);
  bc->SetReal(PRIM_HELIX_END, end_angle);
  bc->SetReal(PRIM_HELIX_RADIUS1, radius);
  bc->SetReal(PRIM_HELIX_RADIUS2, radius);
  bc->SetReal(PRIM_HELIX_HEIGHT, height);
  bc->SetLong(PRIM_HELIX_PLANE, PRIM_PLANE_XZ);
  Name(op, name);
  Place(doc, op, parent, pred, false);
  Finish(op, kNoColour, 0);
  return op;
}

BaseObject* CreateCircleSpline(BaseDocument* doc, BaseObject* parent, String name, Real radius, LONG plane) {
  BaseObject* op = BaseObject::Alloc(Osplinecircle);
  if (!op) return nullptr;
  BaseContainer* bc = op->GetDataInstance();
  bc->SetReal(PRIM_SPLINE_ANGLE, kSplineAngle);
  bc->SetBool(2010, false);
  bc->SetBool(2011, false);
  bc->SetReal(PRIM_CIRCLE_RADIUS, radius);
  bc->SetReal(2013, 0.0);
  bc->SetReal(2014, 0.0);
  bc->SetLong(PRIM_AXIS, plane);
  Name(op, name);
  Place(doc, op, parent, nullptr, false);
  Finish(op, kNoColour, 0);
  return op;
}

BaseObject* CreateSweepObject(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name, LONG tag_type) {
  BaseObject* op = BaseObject::Alloc(Osweep);
  if (!op) return nullptr;
  BaseContainer* bc = op->GetDataInstance();
  bc->SetBool(1005, false);
  for (LONG id : {1006, 1007, 1008}) bc->SetBool(id, true);
  for (LONG id : {1009, 1010, 1011}) bc->SetBool(id, false);
  bc->SetBool(1012, true);
  Name(op, name);
  Place(doc, op, parent, pred, false);
  AttachNewTag(op, Tphong);
  if (tag_type > 0) {
    BaseTag* tag = AttachNewTag(op, tag_type);
    if (tag && tag_type == Tcompositing) tag->GetDataInstance()->SetBool(1000, false);
  }
  op->Message(MSG_UPDATE);
  return op;
}

PolygonObject* CreatePolygonObject(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name, Real width,
                                   Real depth, LONG n, LONG tag_type) {
  n = std::max<LONG>(n, 1);
  const LONG row = n + 1;
  PolygonObject* op = PolygonObject::Alloc(row * row, n * n);
  if (!op) return nullptr;
  Vector* p = op->GetPointW();
  for (LONG r = 0; r <= n; ++r)
    for (LONG c = 0; c <= n; ++c)
      p[r * row + c] = Vector(-width / 2 + c * width / n, 0.0, depth / 2 - r * depth / n);
  CPolygon* poly = op->GetPolygonW();
  for (LONG r = 0; r < n; ++r)
    for (LONG c = 0; c < n; ++c) {
      const LONG k = r * row + c;
      poly[r * n + c] = CPolygon(k, k + 1, k + n + 2, k + n + 1);
    }
  Name(op, name);
  Place(doc, op, parent, pred, false);
  Finish(op, kNoColour, tag_type);
  return op;
}

BaseObject* CreateInstanceObject(BaseDocument* doc, BaseObject* parent, BaseObject* source) {
  if (!source) return nullptr;
  BaseObject* op = BaseObject::Alloc(Oinstance);
  if (!op) return nullptr;
  op->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, source);
  Name(op, source->GetName());
  Place(doc, op, parent, nullptr, false);
  op->SetMg(source->GetMg());
  return op;
}

SplineObject* CreateRegularPolygonSpline(BaseDocument* doc, BaseObject* parent, String name, Real radius, LONG n,
                                         const Vector& colour, LONG tag_type) {
  if (n < 3) return nullptr;
  SplineObject* sp = SplineObject::Alloc(n, SPLINETYPE_BEZIER);
  if (!sp) return nullptr;
  sp->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, true);
  if (Segment* seg = sp->GetSegmentW()) *seg = Segment{n, true};
  Vector* p = sp->GetPointW();
  const Real step = 360.0 / static_cast<Real>(n);
  for (LONG i = 0; i < n; ++i) {
    const Real th = i * step * pi / 180.0;
    p[i] = Vector(radius * std::sin(th), 0.0, radius * std::cos(th));
  }
  Name(sp, name);
  Place(doc, sp, parent, nullptr, false);
  Finish(sp, colour, tag_type);
  return sp;
}

// ---------------------------------------------------------------- mesh and skid-mark builders

SplineObject* CreateFootprintOutline(BaseDocument* doc, BaseObject* parent, BaseObject* pred, String name,
                                     const Vector& size, LONG nx, LONG nz, const Vector& colour, LONG tag_type,
                                     const BaseObject* mesh) {
  nx = std::max<LONG>(nx, 1);
  nz = std::max<LONG>(nz, 1);
  const LONG n = 2 * (nx + nz);
  const Real dx = size.x / nx, dz = size.z / nz;
  const Real hx = size.x * 0.5, hz = size.z * 0.5;
  SplineObject* sp = SplineObject::Alloc(n, SPLINETYPE_BEZIER);
  if (!sp) return nullptr;
  sp->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, true);
  if (Segment* seg = sp->GetSegmentW()) *seg = Segment{n, true};
  Vector* p = sp->GetPointW();
  LONG k = 0;
  for (LONG i = 0; i < nx; ++i) p[k++] = Vector(-hx + dx / 2 + i * dx, 0.0, hz);
  for (LONG i = 0; i < nz; ++i) p[k++] = Vector(hx, 0.0, hz - dz / 2 - i * dz);
  for (LONG i = 0; i < nx; ++i) p[k++] = Vector(hx - dx / 2 - i * dx, 0.0, -hz);
  for (LONG i = 0; i < nz; ++i) p[k++] = Vector(-hx, 0.0, -hz + dz / 2 + i * dz);
  Name(sp, name);
  Place(doc, sp, parent, pred, false);
  Finish(sp, colour, tag_type);
  if (mesh) FitOutlineToMesh(sp, mesh, size);
  return sp;
}

Bool CollectBandTriangles(const BaseObject* op, Vector*& buffer, LONG& capacity, LONG& count, Real ymin, Real ymax,
                          LONG inherited_mode) {
  if (!op) return true;
  LONG mode = op->GetEditorMode();
  if (mode == MODE_UNDEF && inherited_mode != MODE_UNDEF) mode = inherited_mode;
  if (op->GetType() == Opolygon && mode != MODE_OFF) {
    const Matrix m = op->GetMg();
    const LONG pcnt = op->GetTagDataCount(Tpoint);
    const auto* pts = static_cast<const Vector*>(op->GetTagDataR(Tpoint));
    const LONG vcnt = op->GetTagDataCount(Tpolygon);
    const auto* polys = static_cast<const CPolygon*>(op->GetTagDataR(Tpolygon));
    auto inside = [&](LONG i) { return i >= 0 && i < pcnt; };
    for (LONG i = 0; i < vcnt; ++i) {
      const CPolygon& q = polys[i];
      if (!inside(q.a) || !inside(q.b) || !inside(q.c) || !inside(q.d)) continue;  // broken polygon
      const Vector a = m * pts[q.a], b = m * pts[q.b], c = m * pts[q.c], d = m * pts[q.d];
      const Vector g = (a + b + c) * 0.3333;
      bool in_band = false;
      for (const Vector* v : {&a, &b, &c, &d, &g})
        if (v->y >= ymin && v->y <= ymax) {
          in_band = true;
          break;
        }
      if (!in_band) continue;
      if (count >= capacity - 6 && !GrowBuffer(buffer, capacity, count)) return false;
      buffer[count++] = a;
      buffer[count++] = b;
      buffer[count++] = c;
      if (q.c != q.d) {
        buffer[count++] = a;
        buffer[count++] = c;
        buffer[count++] = d;
      }
    }
  }
  for (const BaseObject* child = op->GetDown(); child; child = child->GetNext())
    if (!CollectBandTriangles(child, buffer, capacity, count, ymin, ymax, mode)) return false;
  return true;
}

Bool FitOutlineToMesh(SplineObject* spline, const BaseObject* mesh, const Vector& size) {
  if (!spline || !mesh) return false;
  const Matrix m = mesh->GetMg();
  const LONG n = spline->GetPointCount();
  Vector* pts = spline->GetPointW();
  if (n <= 0 || !pts) return false;
  auto* dir = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<std::size_t>(n)));
  auto* best = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<std::size_t>(n)));
  auto* best_t = static_cast<Real*>(GeAlloc(sizeof(Real) * static_cast<std::size_t>(n)));
  LONG capacity = kTriangleBufferStart, count = 0;
  auto* tris = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<std::size_t>(capacity)));
  auto release = [&] {
    GeFree(dir);
    GeFree(best);
    GeFree(best_t);
    GeFree(tris);
  };
  if (!dir || !best || !best_t || !tris ||
      !CollectBandTriangles(mesh, tris, capacity, count, m.off.y - size.y / 4, m.off.y + size.y / 4, MODE_UNDEF) ||
      count == 0) {
    release();
    return false;
  }
  for (LONG k = 0; k < n; ++k) {
    dir[k] = pts[k].GetNormalized();
    best[k] = Vector(pts[k].x, 0.0, pts[k].z);
    best_t[k] = 0.0;
  }
  Real ys = m.off.y + size.y / 4;
  for (int pass = 0; pass < 10; ++pass, ys -= size.y * 0.05) {
    const Vector origin(m.off.x, ys, m.off.z);
    for (LONG k = 0; k < n; ++k)
      for (LONG i = 0; i + 2 < count; i += 3) {
        Real t = 0.0, u = 0.0, v = 0.0;
        if (IntersectRayTriangle(origin, dir[k], tris[i], tris[i + 1], tris[i + 2], t, u, v, 0) && t > best_t[k]) {
          best_t[k] = t;
          best[k] = dir[k] * t;
        }
      }
  }
  for (LONG k = 0; k < n; ++k) pts[k] = Vector(best[k].x, 0.0, best[k].z);
  spline->SetRelPos(Vector());
  spline->Message(MSG_UPDATE);
  release();
  return true;
}

BaseObject* CreateMeshBinder(BaseDocument* doc, BaseObject* parent, BaseObject* original, BaseObject* deformed,
                             Real value) {
  BaseObject* op = BaseObject::Alloc(Omeshbinder);
  if (!op) return nullptr;
  BaseContainer* bc = op->GetDataInstance();
  bc->SetLink(MESHBINDER_ORIGINAL, original);
  bc->SetLink(MESHBINDER_DEFORMED, deformed);
  if (value > 0.0) bc->SetReal(MESHBINDER_STRENGTH, value);
  Place(doc, op, parent, nullptr, false);
  op->Message(MSG_UPDATE);
  return op;
}

BaseObject* CreateFfdObject(BaseDocument* doc, BaseObject* parent, const Vector& size) {
  BaseObject* op = BaseObject::Alloc(Offd);
  if (!op) return nullptr;
  op->GetDataInstance()->SetVector(FFDOBJECT_SIZE, size);
  Place(doc, op, parent, nullptr, false);
  op->Message(MSG_UPDATE);
  return op;
}

BaseObject* CreateOutputObject(BaseDocument* doc, BaseObject* parent, const BaseContainer& car_settings) {
  BaseObject* op = BaseObject::Alloc(Onull);
  if (!op) return nullptr;
  Name(op, GeLoadString(10041));
  Place(doc, op, parent, nullptr, true);
  DynamicDescription* dd = op->GetDynamicDescription();
  // The outputs up to the impact time; the command output is not mirrored.
  for (LONG id = CAR_OUTPUT_FIRST; id <= CAR_OUTPUT_IMPACT_TIME && dd; ++id) {
    const LONG type = car_settings.GetType(id);
    if (type != DA_LONG && type != DA_REAL && type != DA_VECTOR && type != DA_STRING) continue;
    BaseContainer settings = GetCustomDataTypeDefault(type);
    const String name = GeLoadString(id + 7542);
    settings.SetString(DESC_NAME, name);
    settings.SetLong(20, id);  // the car parameter this entry mirrors
    settings.SetBool(26, false);
    const bool metre = name.FindFirst("[m]") >= 0;
    if (type == DA_REAL) {
      if (name.FindFirst("[") < 0)
        settings.SetLong(DESC_UNIT, DESC_UNIT_PERCENT);
      else if (metre)
        settings.SetLong(DESC_UNIT, DESC_UNIT_METER);
    } else if (type == DA_VECTOR && metre) {
      settings.SetLong(DESC_UNIT, DESC_UNIT_METER);
    }
    dd->Alloc(settings);
  }
  EventAdd(0);
  return op;
}

BaseObject* BuildSkidMarkSweep(BaseDocument* doc, BaseObject* parent, LONG wheel, Real width, Bool second_rail) {
  String name;
  if (wheel < 4) {
    name = GeLoadString(10034 + std::max<LONG>(wheel, 0));
  } else {
    const String base = GeLoadString(10034 + (wheel & 1));
    const LONG cut = std::max<LONG>(base.GetLength() - 1, 0);
    name = base.Left(cut) + LongToString(wheel / 2 + 1) + base.SubStr(cut, 1);
  }
  BaseObject* sweep = CreateSweepObject(doc, parent, nullptr, name, Tcompositing);
  if (!sweep) return nullptr;
  // Children go in at the top: the result reads profile, main rail, "Rail".
  bool ok = !second_rail || CreateEmptySpline(doc, sweep, "Rail");
  ok = ok && CreateEmptySpline(doc, sweep, name);
  if (ok) {
    Vector left(-width / 2, 0.0, 0.0), right(width / 2, 0.0, 0.0);
    if (wheel & 1) std::swap(left, right);
    SplineObject* profile = CreateSplineFromPoints(doc, sweep, nullptr, "Profile", left, right, kNoColour, 0);
    if (profile && !doc) profile->InsertUnder(sweep);
    ok = profile != nullptr;
  }
  if (!ok) {
    // Never leave a sweep without its rail or profile in the scene.
    BaseObject::Free(sweep);
    return nullptr;
  }
  return sweep;
}

SplineObject* GetSweepRail(BaseObject* op, SplineObject** second) {
  if (second) *second = nullptr;
  if (!op) return nullptr;
  if (op->GetType() == Ospline) return dynamic_cast<SplineObject*>(op);
  if (op->GetType() != Osweep) return nullptr;
  BaseObject* first = op->GetDown();
  BaseObject* rail = first ? first->GetNext() : nullptr;
  if (!rail) return nullptr;
  BaseObject* third = rail->GetNext();
  if (second && third && third->GetType() == Ospline) *second = dynamic_cast<SplineObject*>(third);
  return rail->GetType() == Ospline ? dynamic_cast<SplineObject*>(rail) : nullptr;
}

void FillPointGrid(Vector* points, const Vector& size, LONG nx, LONG ny, LONG nz) {
  // A single point on an axis sits at the centre rather than dividing by zero.
  auto step = [](Real len, LONG cnt) { return cnt > 1 ? len / (cnt - 1) : 0.0; };
  const Real sx = step(size.x, nx), sy = step(size.y, ny), sz = step(size.z, nz);
  const Real ox = nx > 1 ? -size.x / 2 : 0.0, oy = ny > 1 ? -size.y / 2 : 0.0, oz = nz > 1 ? -size.z / 2 : 0.0;
  if (!points || nx < 1 || ny < 1 || nz < 1) return;
  for (LONG iz = 0; iz < nz; ++iz)
    for (LONG iy = 0; iy < ny; ++iy)
      for (LONG ix = 0; ix < nx; ++ix) points[ix + nx * (iy + ny * iz)] = Vector(ox + ix * sx, oy + iy * sy, oz + iz * sz);
}
