#include <algorithm>
#include <cmath>

#include "geometry_internal.h"

// ---------------------------------------------------------------- primitives

Bool PrimitiveObject::IsPrimitiveType(LONG type) {
  switch (type) {
    case Onull: case Ocube: case Ocylinder: case Olandscape: case Orelief: case Ohelix: case Osplinecircle:
    case Osweep: case Oinstance:
      return true;
    default:
      return false;
  }
}

PrimitiveObject::PrimitiveObject(LONG type) : BaseObject(type) {
  BaseContainer* bc = GetDataInstance();
  switch (type) {
    case Onull:
      bc->SetLong(NULLOBJECT_DISPLAY, 0);
      bc->SetReal(NULLOBJECT_RADIUS, 10.0);
      bc->SetReal(NULLOBJECT_ASPECTRATIO, 1.0);
      bc->SetLong(NULLOBJECT_ORIENTATION, 0);
      break;
    case Ocube: bc->SetVector(PRIM_CUBE_LEN, Vector(200, 200, 200)); break;
    case Ocylinder:
      bc->SetReal(PRIM_CYLINDER_RADIUS, 50.0);
      bc->SetReal(PRIM_CYLINDER_HEIGHT, 200.0);
      bc->SetLong(PRIM_CYLINDER_HSUB, 4);
      bc->SetLong(PRIM_CYLINDER_CAPS_SUB, 1);
      bc->SetLong(PRIM_CYLINDER_SEG, 36);
      bc->SetLong(PRIM_AXIS, PRIM_AXIS_YP);
      break;
    case Olandscape:
      bc->SetVector(PRIM_LANDSCAPE_SIZE, Vector(1000, 100, 1000));
      bc->SetLong(PRIM_LANDSCAPE_SUBX, 20);
      bc->SetLong(PRIM_LANDSCAPE_SUBZ, 20);
      bc->SetLong(PRIM_LANDSCAPE_SEED, 0);
      break;
    case Orelief:
      bc->SetVector(PRIM_RELIEF_SIZE, Vector(1000, 100, 1000));
      bc->SetLong(PRIM_RELIEF_SUBX, 20);
      bc->SetLong(PRIM_RELIEF_SUBZ, 20);
      break;
    case Ohelix:
      bc->SetReal(PRIM_SPLINE_ANGLE, pi / 4);
      bc->SetReal(PRIM_HELIX_START, 0.0);
      bc->SetReal(PRIM_HELIX_END, 4 * pi);
      bc->SetReal(PRIM_HELIX_RADIUS1, 200.0);
      bc->SetReal(PRIM_HELIX_RADIUS2, 200.0);
      bc->SetReal(PRIM_HELIX_HEIGHT, 200.0);
      bc->SetLong(PRIM_HELIX_PLANE, PRIM_PLANE_XZ);
      break;
    case Osplinecircle:
      bc->SetReal(PRIM_SPLINE_ANGLE, pi / 4);
      bc->SetReal(PRIM_CIRCLE_RADIUS, 200.0);
      bc->SetLong(PRIM_AXIS, PRIM_PLANE_XY);
      break;
    default: break;
  }
}

BaseList2D* PrimitiveObject::Create(LONG type) {
  if (!IsPrimitiveType(type) || !geo::AllocationAllowed()) return nullptr;
  return new PrimitiveObject(type);
}

namespace {

// Grid counts of landscapes and reliefs: 1 .. 1000.
void SurfaceParams(LONG type, const BaseContainer& bc, Vector* size, LONG* nx, LONG* nz) {
  const LONG base = type == Orelief ? PRIM_RELIEF_SIZE : PRIM_LANDSCAPE_SIZE;
  *size = bc.GetVector(base);
  *nx = std::clamp<LONG>(bc.GetLong(base + 1), 1, 1000);
  *nz = std::clamp<LONG>(bc.GetLong(base + 2), 1, 1000);
}

// Maps the upright (+Y) form of a cylinder onto its axis.
Vector AxisMap(LONG axis, const Vector& p) {
  switch (axis) {
    case PRIM_AXIS_XP: return Vector(p.y, -p.x, p.z);
    case PRIM_AXIS_XN: return Vector(-p.y, p.x, p.z);
    case PRIM_AXIS_YN: return Vector(p.x, -p.y, -p.z);
    case PRIM_AXIS_ZP: return Vector(p.x, -p.z, p.y);
    case PRIM_AXIS_ZN: return Vector(p.x, p.z, -p.y);
    default: return p;
  }
}

// A point of a circle or helix: angle a in the plane, height h along the
// plane's normal axis.
Vector PlanePoint(LONG plane, Real x, Real y, Real h) {
  switch (plane) {
    case PRIM_PLANE_ZY: return Vector(h, y, x);
    case PRIM_PLANE_XZ: return Vector(x, h, y);
    default: return Vector(x, y, h);
  }
}

Real SpanAngle(const BaseContainer& bc) {
  Real a = bc.GetReal(PRIM_SPLINE_ANGLE, pi / 4);
  if (!(a >= pi / 64)) a = pi / 64;
  return a;
}

PolygonObject* MakeCube(const BaseContainer& bc) {
  Vector h = bc.GetVector(PRIM_CUBE_LEN) * 0.5;
  PolygonObject* op = PolygonObject::Alloc(8, 6);
  if (!op) return nullptr;
  Vector* p = op->GetPointW();
  for (LONG i = 0; i < 8; ++i) p[i] = Vector(i & 1 ? h.x : -h.x, i & 2 ? h.y : -h.y, i & 4 ? h.z : -h.z);
  // Each face (a, b, c, d) with (b - a) x (d - a) pointing outwards.
  auto idx = [](int x, int y, int z) { return (x ? 1 : 0) + (y ? 2 : 0) + (z ? 4 : 0); };
  CPolygon* v = op->GetPolygonW();
  v[0] = CPolygon(idx(1, 0, 0), idx(1, 1, 0), idx(1, 1, 1), idx(1, 0, 1));  // +x: e1 = +y, e2 = +z
  v[1] = CPolygon(idx(0, 0, 0), idx(0, 0, 1), idx(0, 1, 1), idx(0, 1, 0));  // -x
  v[2] = CPolygon(idx(0, 1, 0), idx(0, 1, 1), idx(1, 1, 1), idx(1, 1, 0));  // +y: e1 = +z, e2 = +x
  v[3] = CPolygon(idx(0, 0, 0), idx(1, 0, 0), idx(1, 0, 1), idx(0, 0, 1));  // -y
  v[4] = CPolygon(idx(0, 0, 1), idx(1, 0, 1), idx(1, 1, 1), idx(0, 1, 1));  // +z: e1 = +x, e2 = +y
  v[5] = CPolygon(idx(0, 0, 0), idx(0, 1, 0), idx(1, 1, 0), idx(1, 0, 0));  // -z
  return op;
}

PolygonObject* MakeCylinder(const BaseContainer& bc) {
  const Real r = bc.GetReal(PRIM_CYLINDER_RADIUS), h = bc.GetReal(PRIM_CYLINDER_HEIGHT);
  const LONG S = std::clamp<LONG>(bc.GetLong(PRIM_CYLINDER_SEG), 3, 1000);
  const LONG H = std::clamp<LONG>(bc.GetLong(PRIM_CYLINDER_HSUB), 1, 1000);
  const LONG axis = bc.GetLong(PRIM_AXIS, PRIM_AXIS_YP);
  const LONG rings = (H + 1) * S;
  PolygonObject* op = PolygonObject::Alloc(rings + 2, H * S + 2 * S);
  if (!op) return nullptr;
  Vector* p = op->GetPointW();
  for (LONG j = 0; j <= H; ++j)
    for (LONG i = 0; i < S; ++i) {
      Real a = 2 * pi * i / S;
      p[j * S + i] = AxisMap(axis, Vector(r * std::sin(a), -h / 2 + h * j / H, r * std::cos(a)));
    }
  const LONG bottom = rings, top = rings + 1;
  p[bottom] = AxisMap(axis, Vector(0, -h / 2, 0));
  p[top] = AxisMap(axis, Vector(0, h / 2, 0));
  CPolygon* v = op->GetPolygonW();
  LONG n = 0;
  for (LONG j = 0; j < H; ++j)
    for (LONG i = 0; i < S; ++i) {
      LONG i1 = (i + 1) % S;
      v[n++] = CPolygon(j * S + i, j * S + i1, (j + 1) * S + i1, (j + 1) * S + i);
    }
  for (LONG i = 0; i < S; ++i) {
    LONG i1 = (i + 1) % S;
    v[n++] = CPolygon(top, H * S + i, H * S + i1);
    v[n++] = CPolygon(bottom, i1, i);
  }
  return op;
}

PolygonObject* MakeSurface(LONG type, const BaseContainer& bc) {
  Vector size;
  LONG nx, nz;
  SurfaceParams(type, bc, &size, &nx, &nz);
  PolygonObject* op = PolygonObject::Alloc((nx + 1) * (nz + 1), nx * nz);
  if (!op) return nullptr;
  Vector* p = op->GetPointW();
  // Rows along z, nx + 1 points per row along x.
  for (LONG r = 0; r <= nz; ++r)
    for (LONG c = 0; c <= nx; ++c)
      p[r * (nx + 1) + c] =
          Vector(-size.x / 2 + c * size.x / nx, LandscapeHeight(type, bc, c, r), -size.z / 2 + r * size.z / nz);
  CPolygon* v = op->GetPolygonW();
  for (LONG r = 0; r < nz; ++r)
    for (LONG c = 0; c < nx; ++c) {
      LONG k = r * (nx + 1) + c;
      v[r * nx + c] = CPolygon(k, k + nx + 1, k + nx + 2, k + 1);  // facing up
    }
  return op;
}

// A closed or open Bezier spline through points on a curve, with handles
// from the curve's derivative (per unit of the curve parameter).
template <class PointFn, class DerivFn>
SplineObject* MakeCurve(LONG spans, Real a0, Real a1, bool closed, PointFn point, DerivFn deriv) {
  const LONG n = closed ? spans : spans + 1;
  SplineObject* op = SplineObject::Alloc(n, SPLINETYPE_BEZIER);
  if (!op) return nullptr;
  op->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, closed);
  op->GetSegmentW()[0].closed = closed;
  Vector* p = op->GetPointW();
  Tangent* t = op->GetTangentW();
  const Real step = spans > 0 ? (a1 - a0) / spans : 0.0;
  for (LONG i = 0; i < n; ++i) {
    Real a = a0 + step * i;
    p[i] = point(a);
    Vector d = deriv(a) * (step / 3.0);
    t[i].vl = -d;
    t[i].vr = d;
  }
  return op;
}

SplineObject* MakeCircle(const BaseContainer& bc) {
  const Real r = bc.GetReal(PRIM_CIRCLE_RADIUS);
  const LONG plane = bc.GetLong(PRIM_AXIS, PRIM_PLANE_XY);
  const LONG spans = std::max<LONG>(4, static_cast<LONG>(std::ceil(2 * pi / SpanAngle(bc) - 1e-9)));
  // Handles of length 4/3 tan(span / 4) r put the midpoints of the spans on
  // the circle.
  const Real k = 4.0 / 3.0 * std::tan(2 * pi / spans / 4) / (2 * pi / spans / 3.0);
  return MakeCurve(
      spans, 0.0, 2 * pi, true, [&](Real a) { return PlanePoint(plane, r * std::cos(a), r * std::sin(a), 0.0); },
      [&](Real a) { return PlanePoint(plane, -r * std::sin(a), r * std::cos(a), 0.0) * k; });
}

SplineObject* MakeHelix(const BaseContainer& bc) {
  const Real a0 = bc.GetReal(PRIM_HELIX_START), a1 = bc.GetReal(PRIM_HELIX_END);
  const Real r0 = bc.GetReal(PRIM_HELIX_RADIUS1), r1 = bc.GetReal(PRIM_HELIX_RADIUS2);
  const Real h = bc.GetReal(PRIM_HELIX_HEIGHT);
  const LONG plane = bc.GetLong(PRIM_HELIX_PLANE, PRIM_PLANE_XZ);
  if (!std::isfinite(a0) || !std::isfinite(a1)) return nullptr;
  const Real sweep = a1 - a0;
  const LONG spans = std::clamp<LONG>(static_cast<LONG>(std::ceil(std::abs(sweep) / SpanAngle(bc) - 1e-9)), 1, 100000);
  const Real dr = sweep != 0.0 ? (r1 - r0) / sweep : 0.0;
  const Real dh = sweep != 0.0 ? h / sweep : 0.0;
  auto radius = [&](Real a) { return r0 + (a - a0) * dr; };
  // A span this short is drawn a little outside the helix; the correction
  // factor is the circle's one for the span's angle.
  const Real span = sweep / spans;
  const Real k = span != 0.0 ? 4.0 / 3.0 * std::tan(span / 4) / (span / 3.0) : 1.0;
  return MakeCurve(
      spans, a0, a1, false,
      [&](Real a) { return PlanePoint(plane, radius(a) * std::cos(a), radius(a) * std::sin(a), (a - a0) * dh); },
      [&](Real a) {
        Real R = radius(a);
        return PlanePoint(plane, (dr * std::cos(a) - R * std::sin(a)) * k, (dr * std::sin(a) + R * std::cos(a)) * k, dh);
      });
}

PolygonObject* MakeSweep(const BaseObject* sweep) {
  auto* profile = dynamic_cast<const SplineObject*>(sweep->GetDown());
  auto* rail = profile ? dynamic_cast<const SplineObject*>(profile->GetNext()) : nullptr;
  if (!profile || !rail) return nullptr;
  LineObject* pl = profile->GetLineObject(nullptr, 1.0);
  LineObject* rl = rail->GetLineObject(nullptr, 1.0);
  PolygonObject* op = nullptr;
  const LONG np = pl ? pl->GetPointCount() : 0, nr = rl ? rl->GetPointCount() : 0;
  if (np >= 2 && nr >= 2) {
    const bool pclosed = profile->IsClosed(), rclosed = rail->IsClosed();
    const LONG pq = pclosed ? np : np - 1, rq = rclosed ? nr : nr - 1;
    op = PolygonObject::Alloc(np * nr, pq * rq);
    if (op) {
      const Matrix rm = rail->GetMl();
      std::vector<Vector> rp(static_cast<size_t>(nr));
      for (LONG i = 0; i < nr; ++i) rp[static_cast<size_t>(i)] = rm * rl->GetPointR()[i];
      Vector* p = op->GetPointW();
      for (LONG i = 0; i < nr; ++i) {
        LONG prev = i > 0 ? i - 1 : (rclosed ? nr - 1 : 0), next = i + 1 < nr ? i + 1 : (rclosed ? 0 : nr - 1);
        Vector z = (rp[static_cast<size_t>(next)] - rp[static_cast<size_t>(prev)]).GetNormalized();
        Vector up = std::abs(z.y) > 0.999 ? Vector(1, 0, 0) : Vector(0, 1, 0);
        Vector x = Cross(up, z).GetNormalized();
        Vector y = Cross(z, x);
        for (LONG j = 0; j < np; ++j) {
          Vector q = pl->GetPointR()[j];
          p[i * np + j] = rp[static_cast<size_t>(i)] + x * q.x + y * q.y + z * q.z;
        }
      }
      CPolygon* v = op->GetPolygonW();
      LONG n = 0;
      for (LONG i = 0; i < rq; ++i)
        for (LONG j = 0; j < pq; ++j) {
          LONG i1 = (i + 1) % nr, j1 = (j + 1) % np;
          v[n++] = CPolygon(i * np + j, i1 * np + j, i1 * np + j1, i * np + j1);
        }
    }
  }
  BaseObject* a = pl;
  BaseObject* b = rl;
  BaseObject::Free(a);
  BaseObject::Free(b);
  return op;
}

BaseObject* CurrentStateOf(const BaseObject* op, int depth) {
  if (!op || depth > 16) return nullptr;  // an instance chain that loops ends here
  const BaseContainer& bc = *op->GetDataInstance();
  BaseObject* res = nullptr;
  switch (op->GetType()) {
    case Ocube: res = MakeCube(bc); break;
    case Ocylinder: res = MakeCylinder(bc); break;
    case Olandscape:
    case Orelief: res = MakeSurface(op->GetType(), bc); break;
    case Osplinecircle: res = MakeCircle(bc); break;
    case Ohelix: res = MakeHelix(bc); break;
    case Osweep: res = MakeSweep(op); break;
    case Oinstance: {
      BaseObject* src = bc.GetObjectLink(INSTANCEOBJECT_LINK, nullptr);
      res = CurrentStateOf(src, depth + 1);
      break;
    }
    default:
      if (dynamic_cast<const PointObject*>(op)) {
        res = static_cast<BaseObject*>(op->GetClone());
        // Only the object's own geometry: children are not part of it.
        while (res && res->GetDown()) {
          BaseObject* c = res->GetDown();
          BaseObject::Free(c);
        }
      }
      break;
  }
  if (res) {
    res->SetMl(op->GetMl());
    res->SetName(op->GetName());
  }
  return res;
}

Vector Abs(const Vector& v) { return Vector(std::abs(v.x), std::abs(v.y), std::abs(v.z)); }

}  // namespace

Real LandscapeHeight(LONG type, const BaseContainer& bc, LONG c, LONG r) {
  Vector size;
  LONG nx, nz;
  SurfaceParams(type, bc, &size, &nx, &nz);
  const Real u = static_cast<Real>(c) / nx, v = static_cast<Real>(r) / nz;
  Real h;
  if (type == Orelief) {
    // A round hill in the middle falling to 0 at the edges.
    Real d = std::min(1.0, 2.0 * std::sqrt((u - 0.5) * (u - 0.5) + (v - 0.5) * (v - 0.5)));
    h = 0.5 * (1.0 + std::cos(pi * d));
  } else {
    const Real seed = bc.GetLong(PRIM_LANDSCAPE_SEED);
    h = 0.5 + 0.25 * std::sin(2 * pi * 1.5 * u + 0.7 * seed) + 0.25 * std::cos(2 * pi * 1.25 * v + 1.3 * seed);
  }
  return size.y * h;
}

BaseObject* hostgeo::CurrentState(const BaseObject* op) { return CurrentStateOf(op, 0); }

Vector PrimitiveObject::GetMp() const {
  const BaseContainer& bc = *GetDataInstance();
  switch (GetType()) {
    case Olandscape:
    case Orelief: {
      Vector size;
      LONG nx, nz;
      SurfaceParams(GetType(), bc, &size, &nx, &nz);
      return Vector(0, size.y / 2, 0);
    }
    case Ohelix:
    case Osplinecircle:
    case Osweep:
    case Oinstance: {
      BaseObject* s = hostgeo::CurrentState(this);
      Vector mp = s ? s->GetMp() : Vector();
      BaseObject::Free(s);
      return mp;
    }
    default: return Vector();
  }
}

Vector PrimitiveObject::GetRad() const {
  const BaseContainer& bc = *GetDataInstance();
  switch (GetType()) {
    case Ocube: return Abs(bc.GetVector(PRIM_CUBE_LEN)) * 0.5;
    case Ocylinder: {
      Real r = std::abs(bc.GetReal(PRIM_CYLINDER_RADIUS)), h = std::abs(bc.GetReal(PRIM_CYLINDER_HEIGHT));
      return Abs(AxisMap(bc.GetLong(PRIM_AXIS, PRIM_AXIS_YP), Vector(r, h / 2, r)));
    }
    case Olandscape:
    case Orelief: {
      Vector size;
      LONG nx, nz;
      SurfaceParams(GetType(), bc, &size, &nx, &nz);
      return Abs(size) * 0.5;
    }
    case Ohelix:
    case Osplinecircle:
    case Osweep:
    case Oinstance: {
      BaseObject* s = hostgeo::CurrentState(this);
      Vector rad = s ? s->GetRad() : Vector();
      BaseObject::Free(s);
      return rad;
    }
    default: return Vector();
  }
}

// ---------------------------------------------------------------- surfaces

void geo::CollectWorldTriangles(const BaseObject* op, std::vector<Vector>& tris) {
  BaseObject* owned = nullptr;
  const PolygonObject* poly = dynamic_cast<const PolygonObject*>(op);
  if (!poly && PrimitiveObject::IsPrimitiveType(op->GetType())) {
    owned = hostgeo::CurrentState(op);
    poly = dynamic_cast<const PolygonObject*>(owned);
  }
  if (poly) {
    const Matrix mg = op->GetMg();
    const LONG np = poly->GetPointCount(), nv = poly->GetPolygonCount();
    const Vector* p = poly->GetPointR();
    const CPolygon* v = poly->GetPolygonR();
    auto ok = [np](LONG i) { return i >= 0 && i < np; };
    for (LONG i = 0; i < nv; ++i) {
      const CPolygon& q = v[i];
      if (!ok(q.a) || !ok(q.b) || !ok(q.c) || !ok(q.d)) continue;
      for (LONG k : {q.a, q.b, q.c}) tris.push_back(mg * p[k]);
      if (q.c != q.d)
        for (LONG k : {q.a, q.c, q.d}) tris.push_back(mg * p[k]);
    }
  }
  BaseObject::Free(owned);
}

namespace {
// Height of the triangle (a, b, c) at (x, z), when it covers that place.
bool TriangleHeight(const Vector& a, const Vector& b, const Vector& c, Real x, Real z, Real* y) {
  Real d = (b.x - a.x) * (c.z - a.z) - (c.x - a.x) * (b.z - a.z);
  if (std::abs(d) < 1e-12) return false;
  Real u = ((x - a.x) * (c.z - a.z) - (c.x - a.x) * (z - a.z)) / d;
  Real v = ((b.x - a.x) * (z - a.z) - (x - a.x) * (b.z - a.z)) / d;
  const Real eps = 1e-12;
  if (u < -eps || v < -eps || u + v > 1 + eps) return false;
  *y = a.y + u * (b.y - a.y) + v * (c.y - a.y);
  return true;
}

long g_fail_command = 0;

Bool HeightProfile(ModelingCommandData& data) {
  auto* op = dynamic_cast<PointObject*>(data.op);
  if (!op || !data.doc) return false;
  std::vector<Vector> tris;
  data.doc->ForEachObject([&](BaseObject* o) {
    if (o == op || o->GetEditorMode() == MODE_OFF) return;
    geo::CollectWorldTriangles(o, tris);
  });
  const Matrix mg = op->GetMg();
  const Matrix inv = Invert(mg);
  Vector* p = op->GetPointW();
  for (LONG i = 0; i < op->GetPointCount(); ++i) {
    Vector w = mg * p[i];
    bool hit = false;
    Real best = 0.0;
    for (size_t t = 0; t + 2 < tris.size(); t += 3) {
      Real y;
      if (TriangleHeight(tris[t], tris[t + 1], tris[t + 2], w.x, w.z, &y) && (!hit || y > best)) {
        best = y;
        hit = true;
      }
    }
    if (hit) p[i] = inv * Vector(w.x, best, w.z);
  }
  op->Message(MSG_UPDATE);
  return true;
}
}  // namespace

void hostgeo::FailModelingCommand(long n) { g_fail_command = n > 0 ? n : 0; }

Bool SendModelingCommand(LONG command, ModelingCommandData& data) {
  if (g_fail_command > 0 && --g_fail_command == 0) return false;
  switch (command) {
    case MCOMMAND_HEIGHTPROFILE: return HeightProfile(data);
    case MCOMMAND_CURRENTSTATETOOBJECT: {
      if (!data.op || !data.result) return false;
      BaseObject* res = hostgeo::CurrentState(data.op);
      if (!res) return false;
      data.result->Append(res);
      return true;
    }
    default: return false;
  }
}
