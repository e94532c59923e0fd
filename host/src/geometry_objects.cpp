#include <algorithm>
#include <cmath>

#include "geometry_internal.h"
#include "host_loader.h"
#include "host_plugin.h"
#include "node_factory.h"

// ---------------------------------------------------------------- VariableTag

Bool VariableTag::IsVariableType(LONG type) {
  return type == Tpoint || type == Tpolygon || type == Tsegment || type == Ttangent || type == Tvertexmap;
}

namespace {
std::uint64_t NextDataVersion() {
  static std::uint64_t last = 0;
  return ++last;
}
}  // namespace

void VariableTag::Touch() {
  version_ = NextDataVersion();
  if (BaseObject* op = GetObject()) op->SetDirty();
}

VariableTag::VariableTag(LONG type) : BaseTag(type), version_(NextDataVersion()) {
  switch (type) {
    case Tpolygon: data_ = std::vector<CPolygon>(); break;
    case Tsegment: data_ = std::vector<Segment>(); break;
    case Ttangent: data_ = std::vector<Tangent>(); break;
    case Tvertexmap: data_ = std::vector<Real>(); break;
    default: data_ = std::vector<Vector>(); break;
  }
}

VariableTag* VariableTag::Create(LONG type) {
  if (!IsVariableType(type) || !geo::AllocationAllowed()) return nullptr;
  return new VariableTag(type);
}

VariableTag* VariableTag::Alloc(LONG type, LONG count) {
  if (count < 0) return nullptr;
  VariableTag* tag = Create(type);
  if (tag) tag->Resize(count);
  return tag;
}

LONG VariableTag::GetDataCount() const {
  return std::visit([](const auto& v) { return static_cast<LONG>(v.size()); }, data_);
}

LONG VariableTag::GetDataSize() const {
  return std::visit([](const auto& v) { return static_cast<LONG>(sizeof(v[0])); }, data_);
}

const void* VariableTag::GetDataAddressR() const {
  return std::visit([](const auto& v) -> const void* { return v.empty() ? nullptr : v.data(); }, data_);
}

void* VariableTag::GetDataAddressW() {
  Touch();
  return std::visit([](auto& v) -> void* { return v.empty() ? nullptr : v.data(); }, data_);
}

Bool VariableTag::Resize(LONG count) {
  if (count < 0) return false;
  std::visit([count](auto& v) { v.resize(static_cast<size_t>(count)); }, data_);
  Touch();
  return true;
}

void VariableTag::CopyOwnTo(BaseList2D* dst) const {
  BaseTag::CopyOwnTo(dst);
  if (auto* t = dynamic_cast<VariableTag*>(dst)) {
    t->data_ = data_;
    t->Touch();
  }
}

// ---------------------------------------------------------------- BaseObject tag data

LONG BaseObject::GetTagDataCount(LONG type) const {
  auto* t = dynamic_cast<const VariableTag*>(GetTag(type));
  return t ? t->GetDataCount() : 0;
}

const void* BaseObject::GetTagDataR(LONG type) const {
  auto* t = dynamic_cast<const VariableTag*>(GetTag(type));
  return t ? t->GetDataAddressR() : nullptr;
}

void* BaseObject::GetTagDataW(LONG type) {
  auto* t = dynamic_cast<VariableTag*>(GetTag(type));
  return t ? t->GetDataAddressW() : nullptr;
}

// ---------------------------------------------------------------- PointObject

LONG PointObject::GetPointCount() const { return GetTagDataCount(Tpoint); }
const Vector* PointObject::GetPointR() const { return static_cast<const Vector*>(GetTagDataR(Tpoint)); }
Vector* PointObject::GetPointW() { return static_cast<Vector*>(GetTagDataW(Tpoint)); }

VariableTag* PointObject::EnsureTag(LONG type) {
  if (auto* t = dynamic_cast<VariableTag*>(GetTag(type))) return t;
  return static_cast<VariableTag*>(MakeTag(type));
}

Bool PointObject::ResizePoints(LONG count) {
  if (count < 0) return false;
  VariableTag* t = EnsureTag(Tpoint);
  return t && t->Resize(count);
}

namespace {
void ScanPointBox(const Vector* p, LONG n, Vector* mp, Vector* rad) {
  if (!p || n <= 0) {
    *mp = Vector();
    *rad = Vector();
    return;
  }
  Vector lo = p[0], hi = p[0];
  for (LONG i = 1; i < n; ++i) {
    lo = Vector(std::min(lo.x, p[i].x), std::min(lo.y, p[i].y), std::min(lo.z, p[i].z));
    hi = Vector(std::max(hi.x, p[i].x), std::max(hi.y, p[i].y), std::max(hi.z, p[i].z));
  }
  *mp = (lo + hi) * 0.5;
  *rad = (hi - lo) * 0.5;
}
}  // namespace

void PointObject::PointBox(Vector* mp, Vector* rad) const {
  const auto* tag = dynamic_cast<const VariableTag*>(GetTag(Tpoint));
  if (!tag) {
    ScanPointBox(nullptr, 0, mp, rad);
    return;
  }
  if (tag != box_tag_ || tag->GetVersion() != box_version_) {
    ScanPointBox(static_cast<const Vector*>(tag->GetDataAddressR()), tag->GetDataCount(), &box_mp_, &box_rad_);
    box_tag_ = tag;
    box_version_ = tag->GetVersion();
  }
  *mp = box_mp_;
  *rad = box_rad_;
}

Vector PointObject::GetMp() const {
  Vector mp, rad;
  PointBox(&mp, &rad);
  return mp;
}

Vector PointObject::GetRad() const {
  Vector mp, rad;
  PointBox(&mp, &rad);
  return rad;
}

// ---------------------------------------------------------------- PolygonObject

BaseList2D* PolygonObject::Create(LONG type) {
  if (!geo::AllocationAllowed()) return nullptr;
  return new PolygonObject(type);
}

PolygonObject* PolygonObject::Alloc(LONG pcnt, LONG vcnt) {
  if (pcnt < 0 || vcnt < 0) return nullptr;
  auto* op = static_cast<PolygonObject*>(BaseObject::Alloc(Opolygon));
  if (!op) return nullptr;
  if (!op->ResizeObject(pcnt, vcnt)) {
    BaseObject* b = op;
    BaseObject::Free(b);
    return nullptr;
  }
  return op;
}

LONG PolygonObject::GetPolygonCount() const { return GetTagDataCount(Tpolygon); }
const CPolygon* PolygonObject::GetPolygonR() const { return static_cast<const CPolygon*>(GetTagDataR(Tpolygon)); }
CPolygon* PolygonObject::GetPolygonW() { return static_cast<CPolygon*>(GetTagDataW(Tpolygon)); }

Bool PolygonObject::ResizeObject(LONG pcnt, LONG vcnt) {
  if (pcnt < 0 || vcnt < 0) return false;
  VariableTag* pt = EnsureTag(Tpoint);
  VariableTag* vt = EnsureTag(Tpolygon);
  if (!pt || !vt) return false;
  pt->Resize(pcnt);
  vt->Resize(vcnt);
  SetDirty();
  return true;
}

// ---------------------------------------------------------------- SplineObject

BaseList2D* SplineObject::Create(LONG type) {
  if (!geo::AllocationAllowed()) return nullptr;
  auto* op = new SplineObject(type);
  op->GetDataInstance()->SetLong(SPLINEOBJECT_TYPE, SPLINETYPE_LINEAR);
  op->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, false);
  return op;
}

SplineObject* SplineObject::Alloc(LONG pcnt, LONG type) {
  if (pcnt < 0 || (type != SPLINETYPE_LINEAR && type != SPLINETYPE_CUBIC && type != SPLINETYPE_BEZIER))
    return nullptr;
  auto* op = static_cast<SplineObject*>(BaseObject::Alloc(Ospline));
  if (!op) return nullptr;
  op->GetDataInstance()->SetLong(SPLINEOBJECT_TYPE, type);
  if (!op->ResizeObject(pcnt, pcnt > 0 ? 1 : 0)) {
    BaseObject* b = op;
    BaseObject::Free(b);
    return nullptr;
  }
  return op;
}

LONG SplineObject::GetInterpolationType() const {
  LONG t = GetDataInstance()->GetLong(SPLINEOBJECT_TYPE, SPLINETYPE_LINEAR);
  return (t == SPLINETYPE_CUBIC || t == SPLINETYPE_BEZIER) ? t : SPLINETYPE_LINEAR;
}

Bool SplineObject::IsClosed() const { return GetDataInstance()->GetBool(SPLINEOBJECT_CLOSED); }

const Segment* SplineObject::GetSegmentR() const { return static_cast<const Segment*>(GetTagDataR(Tsegment)); }
Segment* SplineObject::GetSegmentW() { return static_cast<Segment*>(GetTagDataW(Tsegment)); }
LONG SplineObject::GetTangentCount() const { return GetTagDataCount(Ttangent); }
const Tangent* SplineObject::GetTangentR() const { return static_cast<const Tangent*>(GetTagDataR(Ttangent)); }
Tangent* SplineObject::GetTangentW() { return static_cast<Tangent*>(GetTagDataW(Ttangent)); }

LONG SplineObject::GetSegmentCount() const {
  LONG n = GetTagDataCount(Tsegment);
  if (n > 0) return n;
  return GetPointCount() > 0 ? 1 : 0;
}

Bool SplineObject::GetSegmentRange(LONG segment, LONG* first, LONG* count) const {
  const LONG points = GetPointCount();
  const LONG nseg = GetTagDataCount(Tsegment);
  LONG start = 0, cnt = 0;
  if (nseg == 0) {
    if (segment != 0 || points <= 0) return false;
    cnt = points;
  } else {
    if (segment < 0 || segment >= nseg) return false;
    const Segment* seg = GetSegmentR();
    for (LONG i = 0; i < segment; ++i) start += std::max<LONG>(0, seg[i].cnt);
    // Records that claim more points than there are are cut to what exists.
    cnt = std::max<LONG>(0, std::min<LONG>(seg[segment].cnt, points - start));
    if (start > points) cnt = 0;
  }
  if (first) *first = start;
  if (count) *count = cnt;
  return true;
}

Bool SplineObject::ResizeObject(LONG pcnt, LONG scnt) {
  if (pcnt < 0 || scnt < 0) return false;
  VariableTag* pt = EnsureTag(Tpoint);
  VariableTag* tt = EnsureTag(Ttangent);
  VariableTag* st = EnsureTag(Tsegment);
  if (!pt || !tt || !st) return false;
  pt->Resize(pcnt);
  tt->Resize(pcnt);
  st->Resize(scnt);
  if (scnt == 1) {
    auto* seg = static_cast<Segment*>(st->GetDataAddressW());
    seg[0].cnt = pcnt;
    seg[0].closed = IsClosed();
  }
  SetDirty();
  return true;
}

// ---------------------------------------------------------------- LineObject

BaseList2D* LineObject::Create(LONG type) {
  if (!geo::AllocationAllowed()) return nullptr;
  return new LineObject(type);
}

LineObject* LineObject::Alloc(LONG pcnt, LONG scnt) {
  if (pcnt < 0 || scnt < 0) return nullptr;
  auto* op = static_cast<LineObject*>(BaseObject::Alloc(Oline));
  if (!op) return nullptr;
  VariableTag* pt = op->EnsureTag(Tpoint);
  VariableTag* st = op->EnsureTag(Tsegment);
  if (!pt || !st) {
    BaseObject* b = op;
    BaseObject::Free(b);
    return nullptr;
  }
  pt->Resize(pcnt);
  st->Resize(scnt);
  return op;
}

LONG LineObject::GetSegmentCount() const { return GetTagDataCount(Tsegment); }
const Segment* LineObject::GetSegmentR() const { return static_cast<const Segment*>(GetTagDataR(Tsegment)); }
Segment* LineObject::GetSegmentW() { return static_cast<Segment*>(GetTagDataW(Tsegment)); }

// ---------------------------------------------------------------- FfdObject

BaseList2D* FfdObject::Create(LONG type) {
  if (!geo::AllocationAllowed()) return nullptr;
  auto* op = new FfdObject(type);
  ++geo::LiveFfds();
  BaseContainer* bc = op->GetDataInstance();
  bc->SetVector(FFDOBJECT_SIZE, Vector(300, 300, 300));
  bc->SetLong(FFDOBJECT_SUBX, 3);
  bc->SetLong(FFDOBJECT_SUBY, 3);
  bc->SetLong(FFDOBJECT_SUBZ, 3);
  return op;
}

namespace {
void GridCounts(const BaseContainer* bc, LONG* nx, LONG* ny, LONG* nz) {
  // At least 2 points per axis (the step divides by count - 1); at most 100
  // keeps a mistyped count from asking for gigabytes.
  auto clamp = [](LONG v) { return std::clamp<LONG>(v, 2, 100); };
  *nx = clamp(bc->GetLong(FFDOBJECT_SUBX, 3));
  *ny = clamp(bc->GetLong(FFDOBJECT_SUBY, 3));
  *nz = clamp(bc->GetLong(FFDOBJECT_SUBZ, 3));
}
}  // namespace

void FfdObject::ResetGrid() {
  LONG nx, ny, nz;
  GridCounts(GetDataInstance(), &nx, &ny, &nz);
  if (!ResizePoints(nx * ny * nz)) return;
  Vector size = GetDataInstance()->GetVector(FFDOBJECT_SIZE);
  Vector* p = GetPointW();
  for (LONG iz = 0; iz < nz; ++iz)
    for (LONG iy = 0; iy < ny; ++iy)
      for (LONG ix = 0; ix < nx; ++ix)
        p[ix + nx * (iy + ny * iz)] = Vector(-size.x / 2 + ix * size.x / (nx - 1), -size.y / 2 + iy * size.y / (ny - 1),
                                             -size.z / 2 + iz * size.z / (nz - 1));
}

void FfdObject::UpdateGrid() {
  LONG nx, ny, nz;
  GridCounts(GetDataInstance(), &nx, &ny, &nz);
  if (GetPointCount() != nx * ny * nz) ResetGrid();
}

Bool FfdObject::Message(LONG type, void* data) {
  if (type == MSG_UPDATE) UpdateGrid();
  return PointObject::Message(type, data);
}

Vector FfdObject::GetRad() const {
  Vector s = GetDataInstance()->GetVector(FFDOBJECT_SIZE);
  return Vector(std::abs(s.x), std::abs(s.y), std::abs(s.z)) * 0.5;
}

// ---------------------------------------------------------------- display

void SetColorProperties(BaseObject* op, const ObjectColorProperties& props) {
  if (!op) return;
  BaseContainer* bc = op->GetDataInstance();
  bc->SetLong(ID_BASEOBJECT_USECOLOR, props.usecolor);
  bc->SetVector(ID_BASEOBJECT_COLOR, props.color);
  bc->SetBool(ID_BASEOBJECT_XRAY, props.xray);
}

ObjectColorProperties GetColorProperties(const BaseObject* op) {
  ObjectColorProperties p;
  if (!op) return p;
  const BaseContainer* bc = op->GetDataInstance();
  p.usecolor = bc->GetLong(ID_BASEOBJECT_USECOLOR);
  p.color = bc->GetVector(ID_BASEOBJECT_COLOR);
  p.xray = bc->GetBool(ID_BASEOBJECT_XRAY);
  return p;
}

Bool SetPhong(BaseObject* op, Bool on, Bool anglelimit, Real angle) {
  if (!op) return false;
  if (!on) {
    while (op->GetTag(Tphong)) op->KillTag(Tphong);
    return true;
  }
  BaseTag* tag = op->GetTag(Tphong);
  if (!tag) {
    if (!geo::AllocationAllowed()) return false;
    tag = op->MakeTag(Tphong);
    if (!tag) return false;
  }
  BaseContainer* bc = tag->GetDataInstance();
  bc->SetBool(PHONGTAG_PHONG_ANGLELIMIT, anglelimit);
  bc->SetReal(PHONGTAG_PHONG_ANGLE, angle);
  return true;
}

// ---------------------------------------------------------------- registration

void hostgeo::RegisterTypes() {
  using namespace hostregistry;
  RegisterNative(Opolygon, PLUGINTYPE_OBJECT, "Polygon", &PolygonObject::Create);
  RegisterNative(Ospline, PLUGINTYPE_OBJECT, "Spline", &SplineObject::Create);
  RegisterNative(Oline, PLUGINTYPE_OBJECT, "Line", &LineObject::Create);
  RegisterNative(Offd, PLUGINTYPE_OBJECT, "FFD", &FfdObject::Create);
  const std::pair<LONG, const char*> primitives[] = {
      {Onull, "Null"},           {Ocube, "Cube"},     {Ocylinder, "Cylinder"},    {Olandscape, "Landscape"},
      {Orelief, "Relief"},       {Ohelix, "Helix"},   {Osplinecircle, "Circle"},  {Osweep, "Sweep"},
      {Oinstance, "Instance"},
  };
  for (auto& [id, name] : primitives) RegisterNative(id, PLUGINTYPE_OBJECT, name, &PrimitiveObject::Create);
  const std::pair<LONG, const char*> tags[] = {
      {Tpoint, "Point"}, {Tpolygon, "Polygon"}, {Ttangent, "Tangent"}, {Tsegment, "Segment"}, {Tvertexmap, "Vertex Map"},
  };
  for (auto& [id, name] : tags)
    RegisterNative(id, PLUGINTYPE_TAG, name, [](LONG type) -> BaseList2D* { return VariableTag::Create(type); });
  RegisterNative(Tphong, PLUGINTYPE_TAG, "Phong", nullptr);
  RegisterNative(Tcompositing, PLUGINTYPE_TAG, "Compositing", nullptr);
  RegisterNative(Omeshbinder, PLUGINTYPE_OBJECT, "Mesh Binder", [](LONG type) -> BaseList2D* {
    return geo::AllocationAllowed() ? HostNodeFactory::NewPlainObject(type) : nullptr;
  });
  geo::RegisterSceneIO();
}
