#include "track_rig.h"

#include <algorithm>
#include <cmath>

#include "host_plugin.h"
#include "scene_build/object_builders.h"
#include "rotelix_ids.h"

namespace {

const Vector kSide1Turn{pi, 0.0, 0.0};

String Str(LONG id) { return GeLoadString(id); }

// A Null appended as the parent's last child; it gets the name only when
// there is one.
BaseObject* AppendNull(BaseDocument* doc, BaseObject* parent, const String& name) {
  BaseObject* op = BaseObject::Alloc(Onull);
  if (!op) return nullptr;
  if (!name.empty()) op->SetName(name);
  BaseObject* last = parent->GetDownLast();
  if (doc)
    doc->InsertObject(op, parent, last, false);
  else if (last)
    op->InsertAfter(last);
  else
    op->InsertUnder(parent);
  op->Message(MSG_UPDATE);
  return op;
}

// A Null inserted as the parent's first child.
BaseObject* PrependNull(BaseDocument* doc, BaseObject* parent, const String& name) {
  BaseObject* op = BaseObject::Alloc(Onull);
  if (!op) return nullptr;
  if (!name.empty()) op->SetName(name);
  if (doc)
    doc->InsertObject(op, parent, nullptr, false);
  else
    op->InsertUnder(parent);
  op->Message(MSG_UPDATE);
  return op;
}

// The rig folder under the car's body; null without a body.
BaseObject* RigFolder(BaseDocument* doc, BaseObject* car) {
  if (!car) return nullptr;
  BaseObject* body = car->GetDataInstance()->GetObjectLink(RIG_BODY, doc);
  return body ? FindOrCreateNullChild(doc, body, IDS_RIG_FOLDER) : nullptr;
}

Real ReferenceX(const BaseObject* car) { return car->GetDataInstance()->GetVector(kRestReference).x; }

void Hand(BaseObject* a, BaseObject* b, BaseObject** first, BaseObject** second) {
  if (first) *first = a;
  if (second) *second = b;
}

}  // namespace

void PlaceRigObject(BaseObject* op, const Vector& pos, const Vector& rot) {
  op->SetRelPos(pos);
  op->SetRelRot(rot);
  op->Message(MSG_UPDATE);
}

BaseObject* FindOrCreateNullChild(BaseDocument* doc, BaseObject* parent, LONG string_id) {
  if (!parent) return nullptr;
  const String name = Str(string_id);
  for (BaseObject* c = parent->GetDown(); c; c = c->GetNext())
    if (c->GetName() == name) return c;
  return AppendNull(doc, parent, name);
}

SplineObject* CreateClosedSpline(BaseDocument* doc, BaseObject* parent, String name, LONG n, const Vector& colour) {
  SplineObject* sp = SplineObject::Alloc(std::max(n, LONG(0)), SPLINETYPE_BEZIER);
  if (!sp) return nullptr;
  sp->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, true);
  if (Segment* seg = sp->GetSegmentW()) *seg = Segment{n, true};
  if (!name.empty()) sp->SetName(name);
  if (doc)
    doc->InsertObject(sp, parent, nullptr, false);
  else if (parent)
    sp->InsertUnder(parent);
  if (colour.x >= 0.0) SetDisplayColor(sp, colour);
  sp->Message(MSG_UPDATE);
  return sp;
}

BaseObject* CreateInstanceOf(BaseDocument* doc, BaseObject* source) {
  if (!source) return nullptr;
  BaseObject* inst = BaseObject::Alloc(Oinstance);
  if (!inst) return nullptr;
  inst->SetName(source->GetName());
  if (doc)
    doc->InsertObject(inst, source->GetUp(), source, false);
  else
    inst->InsertAfter(source);
  inst->GetDataInstance()->SetLink(INSTANCEOBJECT_LINK, source);
  inst->SetMg(source->GetMg());
  return inst;
}

Bool CreateEndWheelPair(BaseDocument* doc, BaseObject* car, BaseContainer& tag, LONG side, BaseObject** first,
                        BaseObject** second) {
  BaseObject* folder = RigFolder(doc, car);
  if (!folder) return false;
  const Bool front = side >= 1;
  const Real radius = tag.GetReal(front ? ROTELIX_FRONT_RADIUS : ROTELIX_REAR_RADIUS);
  const String base = Str(IDS_END_WHEEL) + " " + Str(front ? IDS_FRONT : IDS_REAR);
  BaseObject* a = AppendNull(doc, folder, base + Str(IDS_SIDE0));
  BaseObject* b = AppendNull(doc, folder, base + Str(IDS_SIDE1));
  if (!a || !b) return false;

  // Beyond the outermost car axle by one diameter.
  const BaseContainer& cbc = *car->GetDataInstance();
  Real z = 0.0;
  for (LONG i = 0; i <= std::clamp(tag.GetLong(ROTELIX_AXLE_COUNT), LONG(0), kMaxExtraAxles) + 1; ++i)
    z = std::max(z, std::fabs(cbc.GetVector(RIG_REST_HUB + 2 * i).z));
  z += 2.0 * radius;
  if (!front) z = -z;
  const Real x = ReferenceX(car);
  tag.SetVector(front ? ROTELIX_FRONT_REST : ROTELIX_REAR_REST, Vector(x, 0.0, z));
  PlaceRigObject(b, Vector(x, 0.0, z), kSide1Turn);
  PlaceRigObject(a, Vector(-x, 0.0, z), Vector());
  Hand(a, b, first, second);
  return true;
}

Bool CreateReturnRollerPair(BaseDocument* doc, BaseObject* car, BaseContainer& tag, LONG pair, BaseObject** first,
                            BaseObject** second) {
  BaseObject* folder = RigFolder(doc, car);
  if (!folder) return false;
  BaseObject* a = AppendNull(doc, folder, Str(IDS_RETURN_ROLLER) + " " + Str(IDS_SIDE0));
  BaseObject* b = AppendNull(doc, folder, Str(IDS_RETURN_ROLLER) + " " + Str(IDS_SIDE1));
  if (!a || !b) return false;
  // Each new pair 2.5 roller radii further forward than the one before.
  Real y = 0.0, z = 0.0;
  if (pair > 0)
    if (BaseObject* prev = tag.GetObjectLink(ROTELIX_ROLLER_LINK + 2 * (pair - 1), doc)) {
      y = prev->GetRelPos().y;
      z = prev->GetRelPos().z + 2.5 * tag.GetReal(ROTELIX_ROLLER_RADIUS);
    }
  const Real x = ReferenceX(car);
  PlaceRigObject(b, Vector(x, y, z), kSide1Turn);
  PlaceRigObject(a, Vector(-x, y, z), Vector());
  Hand(a, b, first, second);
  return true;
}

Bool CreateTrackSplines(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& /*state*/,
                        BaseObject** first, BaseObject** second) {
  BaseObject* folder = RigFolder(doc, car);
  if (!folder) return false;
  const LONG n = std::clamp(tag.GetLong(ROTELIX_AXLE_COUNT), LONG(0), kMaxExtraAxles) + 2;
  const Real x = ReferenceX(car);
  SplineObject* b = CreateClosedSpline(doc, folder, Str(IDS_TRACK) + " " + Str(IDS_SIDE1), n, kTrackColour);
  if (!b) return false;
  PlaceRigObject(b, Vector(x, 0.0, 0.0), Vector());
  SplineObject* a = CreateClosedSpline(doc, folder, Str(IDS_TRACK) + " " + Str(IDS_SIDE0), n, kTrackColour);
  if (!a) return false;
  PlaceRigObject(a, Vector(-x, 0.0, 0.0), Vector());
  Hand(a, b, first, second);
  return true;
}

Bool CreateTreadLinks(BaseDocument* doc, BaseObject* /*car*/, BaseContainer& tag, WheelRigState& /*state*/,
                      BaseObject** first, BaseObject** second) {
  BaseObject* track0 = tag.GetObjectLink(ROTELIX_TRACK_LINK, doc);
  BaseObject* track1 = tag.GetObjectLink(ROTELIX_TRACK_LINK + 1, doc);
  if (!track0 || !track1) return false;
  BaseObject* a = PrependNull(doc, track0, Str(IDS_TREAD_LINK));
  BaseObject* b = PrependNull(doc, track1, Str(IDS_TREAD_LINK));
  if (!a || !b) return false;
  Hand(a, b, first, second);
  return true;
}
