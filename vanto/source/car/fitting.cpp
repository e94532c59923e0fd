#include "car/fitting.h"

#include <cmath>

#include "scene/autopilot.h"
#include "car/car_params.h"
#include "host_geometry.h"
#include "host_plugin.h"
#include "host_services.h"
#include "scene_build/object_builders.h"
#include "car/rig.h"

namespace {

enum : LONG {
  IDS_FIT_NEEDS_SELECTION = 10102,
  kProfileSamples = 99,
};

// Roof samples lower than this are ground, not roof (scene units).
constexpr Real kRoofMinHeight = 1.0;
// A wheel leaning further than this from the vertical is not cambered but
// modelled lying down: its camber is left alone (degrees).
constexpr Real kMaxCamberDegrees = 10.0;

// op itself or one of its descendants.
Bool Contains(const BaseObject* op, const BaseObject* other) {
  for (const BaseObject* up = other; up; up = up->GetUp())
    if (up == op) return true;
  return false;
}

// One of the objects of the car's rig (they hold no part of a model).
Bool IsRigObject(BaseDocument* doc, const BaseObject* car, const BaseObject* op) {
  if (op == LinkedObject(doc, *car->GetDataInstance(), RIG_BODY) || op == LinkedObject(doc, *car->GetDataInstance(), RIG_ENGINE)) return true;
  for (LONG i = 0; i < kMaxWheels; ++i)
    for (LONG base : {RIG_HUB, RIG_SPINNER, RIG_SUSPENSION_BOTTOM, RIG_SUSPENSION_TOP})
      if (op == LinkedObject(doc, *car->GetDataInstance(), base + i)) return true;
  return false;
}

// Hangs op first under parent and gives it the global matrix mg. Refused when
// parent lies inside op: the tree would loop.
Bool HangUnder(BaseDocument* doc, BaseObject* op, BaseObject* parent, const Matrix& mg) {
  if (!op || !parent || Contains(op, parent)) return false;
  op->Remove();
  if (doc)
    doc->InsertObject(op, parent, nullptr, false);
  else
    op->InsertUnder(parent);
  op->SetMg(mg);
  return true;
}

void SetGlobalOffset(BaseObject* op, const Vector& off) {
  Matrix m = op->GetMg();
  m.off = off;
  op->SetMg(m);
}

// The first sample above the threshold and the first later one below it,
// both standing on something (at least kRoofMinHeight high).
Bool FindRoofEdges(const Vector* profile, LONG n, Real threshold, Vector& a, Vector& b) {
  LONG i = 0;
  while (i < n && !(profile[i].y > threshold)) ++i;
  if (i >= n || profile[i].y < kRoofMinHeight) return false;
  a = profile[i];
  ++i;
  while (i < n && !(profile[i].y < threshold)) ++i;
  if (i >= n || profile[i].y < kRoofMinHeight) return false;
  b = profile[i];
  return true;
}

void FitWheel(BaseDocument* doc, BaseObject* car, BaseObject* op, LONG link, const PolygonBox& box) {
  BaseObject* hub = LinkedObject(doc, *car->GetDataInstance(), link);
  if (!hub) return;
  BaseContainer* bc = car->GetDataInstance();
  const Matrix m = op->GetMg();
  // The model's axis that stands most upright: for a wheel turned onto its
  // side it is the axis through the tyre's tread, whose lean is the camber.
  Vector v;
  if (std::abs(m.v1.y) > std::abs(m.v2.y)) v = m.v1;
  if (std::abs(m.v3.y) > std::abs(v.y)) v = m.v3;
  if (v.y < 0.0) v = -v;

  SetGlobalOffset(hub, box.centre);

  const Real angle = AngleBetween(Vector(0.0, 1.0, 0.0), v);
  const Real degrees = angle * 180.0 / pi;
  const bool front = link == RIG_HUB || link == RIG_HUB + 1;
  if (degrees > -kMaxCamberDegrees && degrees < kMaxCamberDegrees)
    bc->SetReal(front ? CAR_CAMBER_FRONT : CAR_CAMBER_REAR, angle);
  // The wheel stands on y = 0: its diameter is twice its centre's height.
  bc->SetReal(front ? CAR_WHEEL_DIAMETER_FRONT : CAR_WHEEL_DIAMETER_REAR, 2.0 * box.centre.y);
  bc->SetReal(front ? CAR_WHEEL_WIDTH_FRONT : CAR_WHEEL_WIDTH_REAR, 2.0 * box.half.x);

  BaseObject* spinner = LinkedObject(doc, *car->GetDataInstance(), link + (RIG_SPINNER - RIG_HUB));
  if (!spinner || !HangUnder(doc, op, spinner, m)) return;

  // Parts that are not round about the axle (callipers, mudguards) steer
  // with the wheel but must not spin: they go under the hub.
  BaseObject* next = nullptr;
  for (BaseObject* part = op->GetDown(); part; part = next) {
    next = part->GetNext();
    const Matrix pm = part->GetMg();
    const Vector r = part->GetRad();
    const Vector t = pm.v1 * r.x + pm.v2 * r.y + pm.v3 * r.z;
    // Without depth along z a part is round only when it has no height
    // either (a point-like helper stays with the wheel).
    const bool round = t.z != 0.0 ? (std::abs(t.y / t.z) >= 0.8 && std::abs(t.y / t.z) <= 1.2) : t.y == 0.0;
    if (!round) HangUnder(doc, part, hub, pm);
  }
}

void FitBody(BaseDocument* doc, BaseObject* car, BaseObject* op, const PolygonBox& box) {
  BaseObject* body = LinkedObject(doc, *car->GetDataInstance(), RIG_BODY);
  BaseObject* right_front = LinkedObject(doc, *car->GetDataInstance(), RIG_HUB + 1);
  if (!body || !right_front) return;
  BaseContainer* bc = car->GetDataInstance();
  const Vector c = box.centre;
  const Real l = 2.0 * box.half.z;
  const Real model_height = 2.0 * box.half.y;
  const Real w = 2.0 * right_front->GetMg().off.x + bc->GetReal(CAR_WHEEL_WIDTH_FRONT);
  const Real b = 0.66 * model_height;
  bc->SetVector(CAR_BODY_SIZE, Vector(w, b, l));

  // Taken before the body moves: a model already hanging under it (a second
  // fit) keeps its place.
  Matrix mg = op->GetMg();
  mg.off.z -= c.z;
  SetGlobalOffset(body, Vector(0.0, box.min.y + b / 2.0, 0.0));
  HangUnder(doc, op, body, mg);

  // The wheels and suspension follow the model to z = 0; the suspension tops
  // sit just inside the wheels.
  for (LONG i = 0; i < 4; ++i) {
    BaseObject* hub = LinkedObject(doc, *car->GetDataInstance(), RIG_HUB + i);
    if (!hub) return;
    Vector off = hub->GetMg().off;
    off.z -= c.z;
    SetGlobalOffset(hub, off);
    BaseObject* bottom = LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_BOTTOM + i);
    if (!bottom) return;
    const Real x_bottom = bottom->GetMg().off.x;
    BaseObject* top = LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_TOP + i);
    if (!top) return;
    off = top->GetMg().off;
    off.z -= c.z;
    off.x = 0.95 * x_bottom;
    SetGlobalOffset(top, off);
  }

  // The roof: where the model stands higher than just below its top, first
  // along the car's length, then across it at the roof's middle.
  const Real threshold = box.max.y - 0.05 * b;
  Vector a, e;
  Vector* profile = MakeProfileSpline(doc, Vector(0.0, 0.0, -l / 2.0), Vector(0.0, 0.0, l / 2.0), kProfileSamples);
  if (!profile) return;
  const Bool along = FindRoofEdges(profile, kProfileSamples, threshold, a, e);
  GeFree(profile);
  if (!along) return;
  const Real roof_length = e.z - a.z;
  const Real roof_z = (a.z + e.z) / 2.0;
  bc->SetReal(CAR_ROOF_Z, roof_z);

  profile = MakeProfileSpline(doc, Vector(-w / 2.0, 0.0, roof_z), Vector(w / 2.0, 0.0, roof_z), kProfileSamples);
  if (!profile) return;
  const Bool across = FindRoofEdges(profile, kProfileSamples, threshold, a, e);
  GeFree(profile);
  if (!across) return;
  bc->SetVector(CAR_ROOF_SIZE, Vector(e.x - a.x, model_height - b, roof_length));
}

}  // namespace

PolygonBox PolygonBoundingBox(const BaseObject* op, PolygonBox box) {
  if (!op) return box;
  // A polygon object without points has no extent to add.
  if (op->GetType() == Opolygon && op->GetTagDataCount(Tpoint) > 0) {
    const Matrix m = op->GetMg();
    const Vector c = op->GetMp(), r = op->GetRad();
    const Vector ext(std::abs(m.v1.x * r.x + m.v2.x * r.y + m.v3.x * r.z),
                     std::abs(m.v1.y * r.x + m.v2.y * r.y + m.v3.y * r.z),
                     std::abs(m.v1.z * r.x + m.v2.z * r.y + m.v3.z * r.z));
    const Vector g = m * c;
    const Vector lo = g - ext, hi = g + ext;
    if (box.IsEmpty()) {
      box.min = lo;
      box.max = hi;
    } else {
      box.min = Vector(std::min(box.min.x, lo.x), std::min(box.min.y, lo.y), std::min(box.min.z, lo.z));
      box.max = Vector(std::max(box.max.x, hi.x), std::max(box.max.y, hi.y), std::max(box.max.z, hi.z));
    }
    box.centre = (box.min + box.max) * 0.5;
    const Vector d = box.max - box.centre;
    box.half = Vector(std::abs(d.x), std::abs(d.y), std::abs(d.z));
  }
  for (const BaseObject* child = op->GetDown(); child; child = child->GetNext()) box = PolygonBoundingBox(child, box);
  return box;
}

void FitRigPart(BaseDocument* doc, BaseObject* car, BaseObject* op, LONG link, const PolygonBox& box) {
  if (!car || !op || box.IsEmpty()) return;
  if (link == RIG_BODY)
    FitBody(doc, car, op, box);
  else if (link >= RIG_HUB && link <= RIG_HUB + 3)
    FitWheel(doc, car, op, link, box);
}

Vector* MakeProfileSpline(BaseDocument* doc, const Vector& start, const Vector& end, LONG n) {
  if (n < 1) return nullptr;
  SplineObject* spline = CreateSplineFromPoints(nullptr, nullptr, nullptr, "profile", start, end, kNoColour, 0);
  if (!spline) return nullptr;
  BaseObject* owned = spline;
  Vector* out = nullptr;
  if (spline->ResizeObject(n, 1)) {
    Vector* p = spline->GetPointW();
    const Vector step = (end - start) * (1.0 / static_cast<Real>(n));
    for (LONG k = 0; k < n; ++k) p[k] = start + step * static_cast<Real>(k);
    out = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<std::size_t>(n)));
  }
  if (out) {
    BaseContainer settings;
    settings.SetReal(2022, 3.0);
    ModelingCommandData cd;
    cd.doc = doc;
    cd.op = spline;
    cd.bc = &settings;
    cd.mode = 0;
    cd.flags = 0;
    if (SendModelingCommand(MCOMMAND_HEIGHTPROFILE, cd)) {
      const Vector* p = spline->GetPointR();
      for (LONG k = 0; k < n; ++k) out[k] = p[k];
    } else {
      GeFree(out);
    }
  }
  BaseObject::Free(owned);
  return out;
}

Bool FitRigToSelection(BaseDocument* doc, BaseObject* car, Bool show_message) {
  if (!doc || !car) return false;
  AtomArray selection;
  doc->GetActiveObjects(selection, GETACTIVEOBJECTFLAGS_NONE);
  if (selection.GetCount() < 5) {
    if (show_message) MessageDialog(GeLoadString(IDS_FIT_NEEDS_SELECTION));
    return false;
  }
  BaseObject* body = nullptr;
  for (LONG i = 0; i < selection.GetCount(); ++i) {
    auto* op = dynamic_cast<BaseObject*>(selection.GetIndex(i));
    // The car (or what holds it) cannot hang inside its own rig, and the
    // rig's own objects are no part of the model.
    if (!op || Contains(op, car) || IsRigObject(doc, car, op)) continue;
    const PolygonBox box = PolygonBoundingBox(op, PolygonBox());
    if (box.IsEmpty()) continue;
    if (std::abs(box.centre.x) >= kWheelSideOffset) {
      const LONG link = RIG_HUB + (box.centre.z > 0.0 ? 0 : 2) + (box.centre.x < 0.0 ? 0 : 1);
      FitRigPart(doc, car, op, link, box);
    } else {
      body = op;
    }
  }
  // The body last: it measures its width from the wheel hubs in place.
  if (body) FitRigPart(doc, car, body, RIG_BODY, PolygonBoundingBox(body, PolygonBox()));
  return true;
}
