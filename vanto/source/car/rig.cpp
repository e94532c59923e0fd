#include "car/rig.h"

#include <algorithm>

#include "host_plugin.h"
#include "car/add_ons.h"
#include "engine/autopilot.h"
#include "scene_build/object_builders.h"

namespace {

BaseObject* FindChildNamed(const BaseObject* parent, const String& name) {
  if (!parent) return nullptr;
  for (BaseObject* c = parent->GetDown(); c; c = c->GetNext())
    if (c->GetName() == name) return c;
  return nullptr;
}

// A guide point of the rig (suspension top or bottom).
BaseObject* MakeGuide(BaseDocument* doc, BaseObject* parent, BaseObject* pred, const String& name, Real radius) {
  return CreateNullObject(doc, parent, pred, name, 1, 1, radius, 1.0, kRigColour, 0);
}

BaseObject* MakePlain(BaseDocument* doc, BaseObject* parent, BaseObject* pred, const String& name) {
  return CreateNullObject(doc, parent, pred, name, 0, 0, 0.0, 1.0, kNoColour, 0);
}

void TakeOut(BaseDocument* doc, BaseObject* op) {
  if (!op) return;
  if (!op->GetDown()) {
    BaseObject::Free(op);
    return;
  }
  // The user's objects under it survive at the top level of the document.
  BaseDocument* home = doc ? doc : op->GetDocument();
  if (!home) return;
  op->Remove();
  home->InsertObject(op, nullptr, nullptr);
}

}  // namespace

LONG RigWheelCount(const BaseObject* car) { return 4 + 2 * ExtraAxleCount(car); }

LONG ExtraAxleCount(const BaseObject* car) {
  const BaseContainer* tag = GetTagContainer(car, ID_ROTELIX);
  return tag ? std::clamp<LONG>(tag->GetLong(ROTELIX_AXLE_COUNT), 0, kMaxExtraAxles) : 0;
}

// ---------------------------------------------------------------- default rig and extra axles

Bool BuildDefaultRig(BaseDocument* doc, BaseObject* car) {
  if (!car) return false;
  BaseContainer* bc = car->GetDataInstance();
  BaseObject* body = CreateNullObject(doc, car, nullptr, GeLoadString(10005), 0, 0, 0.0, 1.0, kNoColour, 0);
  if (!body) return false;
  bc->SetLink(RIG_BODY, body);
  BaseObject* engine = MakePlain(doc, body, nullptr, GeLoadString(10006));
  if (!engine) return false;
  bc->SetLink(RIG_ENGINE, engine);
  BaseObject* prev = engine;
  for (LONG k = 0; k < 4; ++k) {
    prev = MakeGuide(doc, body, prev, GeLoadString(10007 + k), 20.0);
    if (!prev) return false;
    bc->SetLink(RIG_SUSPENSION_TOP + k, prev);
  }
  for (LONG w = 0; w < 4; ++w) {
    BaseObject* hub = MakePlain(doc, body, prev, GeLoadString(10011 + w));
    if (!hub) return false;
    bc->SetLink(RIG_HUB + w, hub);
    prev = hub;
    BaseObject* spinner = MakePlain(doc, hub, nullptr, GeLoadString(10016));
    if (!spinner) return false;
    bc->SetLink(RIG_SPINNER + w, spinner);
    BaseObject* bottom = MakeGuide(doc, hub, nullptr, GeLoadString(10015), 20.0);
    if (!bottom) return false;
    bc->SetLink(RIG_SUSPENSION_BOTTOM + w, bottom);
  }
  return true;
}

Bool AddExtraAxle(BaseDocument* doc, BaseObject* car, LONG axle, LONG axle_type, Real size) {
  // Beyond axle 7 the link blocks would run into the next wheel block.
  if (!car || axle < 0 || axle >= kMaxExtraAxles) return false;
  BaseContainer* bc = car->GetDataInstance();
  BaseObject* body = LinkedObject(doc, *car->GetDataInstance(), RIG_BODY);
  BaseObject* prev_top = LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_TOP + 3 + 2 * axle);
  BaseObject* prev_hub = LinkedObject(doc, *car->GetDataInstance(), RIG_HUB + 3 + 2 * axle);
  if (!body || !prev_top || !prev_hub) return false;

  const String top_name = GeLoadString(10007), wheel_name = GeLoadString(10011);
  const String number = LongToString(axle + 3);
  const String top_base = top_name.Left(top_name.GetLength() - 2) + number;
  const String wheel_base = wheel_name.Left(wheel_name.GetLength() - 2) + number;
  const String side[2] = {wheel_name.Right(1), GeLoadString(10012).Right(1)};
  const Real radius = size * 0.2;

  for (LONG s = 0; s < 2; ++s) {
    prev_top = MakeGuide(doc, prev_top->GetUp(), prev_top, top_base + side[s], radius);
    if (!prev_top) return false;
    bc->SetLink(RIG_SUSPENSION_TOP + 4 + 2 * axle + s, prev_top);
  }
  for (LONG s = 0; s < 2; ++s) {
    prev_hub = MakePlain(doc, prev_hub->GetUp(), prev_hub, wheel_base + side[s]);
    if (!prev_hub) return false;
    bc->SetLink(RIG_HUB + 4 + 2 * axle + s, prev_hub);
    BaseObject* spinner = MakePlain(doc, prev_hub, nullptr, GeLoadString(10016));
    if (!spinner) return false;
    bc->SetLink(RIG_SPINNER + 4 + 2 * axle + s, spinner);
    BaseObject* bottom = MakeGuide(doc, prev_hub, nullptr, GeLoadString(10015), radius);
    if (!bottom) return false;
    bc->SetLink(RIG_SUSPENSION_BOTTOM + 4 + 2 * axle + s, bottom);
  }
  bc->SetLong(RIG_AXLE_TYPE + 2 + axle, axle_type);
  return true;
}

void RemoveExtraAxle(BaseDocument* doc, BaseObject* car, LONG axle) {
  if (!car || axle < 0 || axle >= kMaxExtraAxles) return;
  BaseContainer* bc = car->GetDataInstance();
  for (LONG s = 0; s < 2; ++s) {
    const LONG w = 4 + 2 * axle + s;
    for (LONG base : {RIG_SUSPENSION_TOP, RIG_SUSPENSION_BOTTOM, RIG_SPINNER, RIG_HUB}) {
      TakeOut(doc, LinkedObject(doc, *car->GetDataInstance(), base + w));
      bc->RemoveData(base + w);
    }
  }
  bc->RemoveData(RIG_AXLE_TYPE + 2 + axle);
}

// ---------------------------------------------------------------- rig objects

Bool BuildCarRig(BaseDocument* doc, BaseObject* car, BaseContainer* bc, Real units_per_metre) {
  if (!car || !bc) return false;
  const Real wheel_width = bc->GetReal(CAR_WHEEL_WIDTH_FRONT);
  // Link first, then a child of that name, then a new object.
  auto ensure = [&](LONG link, BaseObject* parent, LONG name_id, bool guide, Real radius) -> BaseObject* {
    if (BaseObject* op = bc->GetObjectLink(link, doc)) return op;
    const String name = GeLoadString(name_id);
    BaseObject* op = FindChildNamed(parent, name);
    if (!op) op = guide ? MakeGuide(doc, parent, nullptr, name, radius) : MakePlain(doc, parent, nullptr, name);
    if (op) bc->SetLink(link, op);
    return op;
  };
  BaseObject* body = ensure(RIG_BODY, car, 10005, false, 0.0);
  if (!body || !ensure(RIG_ENGINE, body, 10006, false, 0.0)) return false;
  for (LONG i = 0; i < 4; ++i)
    if (!ensure(RIG_SUSPENSION_TOP + i, body, 10007 + i, true, 0.2 * units_per_metre)) return false;
  for (LONG i = 0; i < 4; ++i) {
    BaseObject* hub = ensure(RIG_HUB + i, body, 10011 + i, false, 0.0);
    if (!hub || !ensure(RIG_SUSPENSION_BOTTOM + i, hub, 10015, true, 0.5 * wheel_width) ||
        !ensure(RIG_SPINNER + i, hub, 10016, false, 0.0))
      return false;
  }
  bc->SetLong(RIG_AXLE_TYPE, 0);
  bc->SetLong(RIG_AXLE_TYPE + 1, 1);
  ResetRigPose(doc, car);
  return true;
}

namespace {

enum class Placed { kDone, kNoHub, kNoTemplate };

// Lays extra axle a out from its template axle (wheels 0 and 1 for a front,
// 2 and 3 for a rear one); its hubs keep their own z.
Placed PlaceExtraAxle(BaseDocument* doc, BaseObject* car, LONG a) {
  const LONG t = RigAxleWord(*car->GetDataInstance(), 2 + a).Rear() ? 2 : 0;
  Vector p;
  Real z_template = 0.0;
  for (LONG s = 1; s >= 0; --s) {
    BaseObject* templ = LinkedObject(doc, *car->GetDataInstance(), RIG_HUB + t + s);
    BaseObject* hub = LinkedObject(doc, *car->GetDataInstance(), RIG_HUB + 4 + 2 * a + s);
    if (!hub) return Placed::kNoHub;
    if (!templ) return Placed::kNoTemplate;
    if (s == 1) {
      p = templ->GetRelPos();
      z_template = p.z;
      p.z = hub->GetRelPos().z;
    } else {
      p.x = -p.x;
    }
    hub->SetRelPos(p);
    hub->SetRelRot(templ->GetRelRot());
    if (BaseObject* spinner = LinkedObject(doc, *car->GetDataInstance(), RIG_SPINNER + 4 + 2 * a + s)) {
      spinner->SetRelPos(Vector());
      spinner->SetRelRot(Vector());
    }
    BaseObject* bottom = LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_BOTTOM + t + s);
    BaseObject* top = LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_TOP + t + s);
    if (bottom && top) {
      if (BaseObject* nb = LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_BOTTOM + 4 + 2 * a + s)) {
        nb->SetRelPos(bottom->GetRelPos());
        nb->SetRelRot(bottom->GetRelRot());
      }
      if (BaseObject* nt = LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_TOP + 4 + 2 * a + s)) {
        Vector up = top->GetRelPos();
        up.z += p.z - z_template;
        nt->SetRelPos(up);
        nt->SetRelRot(top->GetRelRot());
      }
    }
  }
  return Placed::kDone;
}

// The rest positions of wheels first .. end - 1 from their objects.
Bool StoreWheelRestPositions(BaseDocument* doc, BaseObject* car, LONG first, LONG end) {
  BaseContainer* bc = car->GetDataInstance();
  for (LONG i = first; i < end; ++i) {
    BaseObject* hub = LinkedObject(doc, *car->GetDataInstance(), RIG_HUB + i);
    if (!hub) return false;
    bc->SetVector(RIG_REST_HUB + i, hub->GetRelPos());
    if (BaseObject* b = LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_BOTTOM + i)) bc->SetVector(RIG_REST_SUSPENSION_BOTTOM + i, b->GetRelPos());
    if (BaseObject* t = LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_TOP + i)) bc->SetVector(RIG_REST_SUSPENSION_TOP + i, t->GetRelPos());
  }
  return true;
}

}  // namespace

void PlaceExtraAxles(BaseDocument* doc, BaseObject* car, CarState& state) {
  state.wheelCount = 4;
  if (!car) return;
  BaseContainer* tag = GetTagContainer(car, ID_ROTELIX);
  if (!tag) return;
  LONG n = ExtraAxleCount(car);
  for (LONG a = 0; a < n; ++a) {
    const Placed placed = PlaceExtraAxle(doc, car, a);
    if (placed == Placed::kDone) continue;
    // The axle's objects are gone: the tag counts only the axles before it.
    if (placed == Placed::kNoHub) tag->SetLong(ROTELIX_AXLE_COUNT, a);
    n = a;
    break;
  }
  state.wheelCount = 4 + 2 * n;
}

Bool BuildAndPlaceExtraAxle(BaseDocument* doc, BaseObject* car, LONG axle, LONG axle_word, Real size) {
  if (!AddExtraAxle(doc, car, axle, axle_word, size)) return false;
  // A scene saved before the next layout keeps the new axle where it stands.
  PlaceExtraAxle(doc, car, axle);
  StoreWheelRestPositions(doc, car, 4 + 2 * axle, 6 + 2 * axle);
  return true;
}

BaseObject* FindOrCreateChild(BaseDocument* doc, BaseObject* parent, LONG string_id) {
  if (!parent) return nullptr;
  const String name = GeLoadString(string_id);
  if (BaseObject* found = FindChildNamed(parent, name)) return found;
  return CreateNullObject(doc, parent, parent->GetDownLast(), name, 0, 0, 0.0, 1.0, kNoColour, 0);
}

void CheckLinkedObjects(BaseDocument* doc, BaseObject* car, CarState& state) {
  if (car) RefreshSceneLinks(doc, *car->GetDataInstance(), state);
}

// ---------------------------------------------------------------- snapshots

void LoadSpeedTargets(const BaseContainer& bc, CarState& state) {
  AutopilotState& ap = state.autopilot;
  ap.speedQueueCount = std::clamp<LONG>(bc.GetLong(CAR_SPEED_TARGET_COUNT), 0, kSpeedTargets);
  for (LONG i = 0; i < ap.speedQueueCount; ++i) {
    SpeedTarget& e = ap.speedQueue[i];
    e.deltaSpeed = bc.GetReal(20001 + 4 * i);
    e.changeDistance = bc.GetReal(20002 + 4 * i);
    e.gain = bc.GetReal(20004 + 4 * i);
    e.entryFlags = 0;  // not stored: a loaded entry starts unmarked, whatever the last run left
  }
}

void SaveSpeedTargets(BaseContainer& bc, CarState& state) {
  if (state.leadingWord != kSpeedTargetChangedWord) return;
  AutopilotState& ap = state.autopilot;
  const LONG n = std::clamp<LONG>(ap.speedQueueCount, 0, kSpeedTargets);
  bc.SetLong(CAR_SPEED_TARGET_COUNT, n);
  for (LONG i = 0; i < n; ++i) {
    const SpeedTarget& e = ap.speedQueue[i];
    bc.SetReal(20001 + 4 * i, e.deltaSpeed);
    bc.SetReal(20002 + 4 * i, e.changeDistance);
    bc.SetReal(20004 + 4 * i, e.gain);
  }
  state.leadingWord = 0;
}

void ClearSpeedTargets(BaseContainer& bc, CarState& state) {
  state.leadingWord = 0;
  state.autopilot.speedQueueCount = 0;
  state.autopilot.speedQueue[0].entryFlags = 0;
  state.autopilot.speedQueue[0].gain = 0.0;
  bc.SetLong(CAR_SPEED_TARGET_COUNT, 0);
}

Vector LastSplinePointWorld(const BaseObject* op) {
  if (!op) return Vector();
  const LONG n = op->GetTagDataCount(Tpoint);
  const auto* p = static_cast<const Vector*>(op->GetTagDataR(Tpoint));
  if (n <= 0 || !p) return Vector();
  return op->GetMl() * p[n - 1];
}

void RescaleTorqueCurve(BaseContainer& bc) {
  auto* curve = static_cast<SplineData*>(bc.GetCustomDataType(CAR_TORQUE_CURVE, CUSTOMDATATYPE_SPLINE));
  if (!curve) return;
  const Real rpm = bc.GetLong(CAR_MAX_RPM), torque = bc.GetLong(CAR_MAX_TORQUE);
  Real x0, x1, xs, y0, y1, ys;
  curve->GetRange(&x0, &x1, &xs, &y0, &y1, &ys);
  curve->SetRange(0.0, rpm, 100.0, 0.0, torque, 10.0);
  // An empty present range gives no scale: the knots keep that coordinate.
  const Real fx = x1 != 0.0 ? rpm / x1 : 1.0;
  const Real fy = y1 != 0.0 ? torque / y1 : 1.0;
  for (LONG i = 0; i < curve->GetKnotCount(); ++i) {
    SplineKnot* k = curve->GetKnot(i);
    if (!k) continue;
    k->pos.x *= fx;
    k->pos.y *= fy;
  }
}

void StorePartMatrices(BaseDocument* doc, BaseContainer& bc) {
  BaseObject* group = bc.GetObjectLink(CAR_PARTS_LINK, doc);
  if (!group) return;
  LONG j = 0;
  for (BaseObject* c = group->GetDown(); c && j < kMaxPartMatrices; c = c->GetNext(), ++j)
    bc.SetMatrix(RIG_PART_MATRICES + j, c->GetMl());
}

Bool StoreRigPositions(BaseDocument* doc, BaseObject* car) {
  if (!car) return false;
  BaseContainer* bc = car->GetDataInstance();
  BaseObject* body = LinkedObject(doc, *car->GetDataInstance(), RIG_BODY);
  if (!body) return false;
  bc->SetVector(RIG_REST_BODY, body->GetRelPos());
  BaseObject* engine = LinkedObject(doc, *car->GetDataInstance(), RIG_ENGINE);
  if (!engine) return false;
  bc->SetVector(RIG_REST_ENGINE, engine->GetRelPos());
  if (!StoreWheelRestPositions(doc, car, 0, RigWheelCount(car))) return false;
  StorePartMatrices(doc, *bc);
  return true;
}

// ---------------------------------------------------------------- resets

void ComputeRoofCorners(const BaseContainer& bc, CarState& state) {
  const Vector r = bc.GetVector(1018);
  const Real z0 = bc.GetReal(1019);
  const Real y = state.bodySize.y * 0.5 + r.y;
  state.roofCorners[0] = Vector(-r.x / 2, y, z0 + r.z / 2);
  state.roofCorners[1] = Vector(r.x / 2, y, z0 + r.z / 2);
  state.roofCorners[2] = Vector(-r.x / 2, y, z0 - r.z / 2);
  state.roofCorners[3] = Vector(r.x / 2, y, z0 - r.z / 2);
}

Bool ResetRigPose(BaseDocument* doc, BaseObject* car) {
  if (!car) return false;
  const BaseContainer* bc = car->GetDataInstance();
  car->SetMg(Matrix());
  const LONG n = RigWheelCount(car);
  // Without a document the links cannot be resolved: a car just built is
  // walked in the order the default rig is built (body, engine, the tops,
  // the hubs; under each hub its bottom, then its spinner).
  BaseObject* body = doc ? LinkedObject(doc, *car->GetDataInstance(), RIG_BODY) : car->GetDown();
  if (!body) return false;
  body->SetMl(Matrix());
  body->SetRelPos(bc->GetVector(RIG_REST_BODY));
  body->SetRelRot(Vector());
  BaseObject* engine = doc ? LinkedObject(doc, *car->GetDataInstance(), RIG_ENGINE) : body->GetDown();
  if (!engine) return false;
  engine->SetRelPos(bc->GetVector(RIG_REST_ENGINE));
  BaseObject* walk = engine;
  for (LONG i = 0; i < n; ++i) {
    BaseObject* top = doc ? LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_TOP + i) : (walk = walk ? walk->GetNext() : nullptr);
    if (!top) return false;
    top->SetMl(Matrix());
    top->SetRelPos(bc->GetVector(RIG_REST_SUSPENSION_TOP + i));
  }
  for (LONG i = 0; i < n; ++i) {
    BaseObject* hub = doc ? LinkedObject(doc, *car->GetDataInstance(), RIG_HUB + i) : (walk = walk ? walk->GetNext() : nullptr);
    if (!hub) return false;
    hub->SetMl(Matrix());
    hub->SetRelPos(bc->GetVector(RIG_REST_HUB + i));
    const Real camber = bc->GetReal(RigAxleWord(*bc, i / 2).Rear() ? CAR_CAMBER_REAR : CAR_CAMBER_FRONT);
    hub->SetRelRot(Vector(i & 1 ? pi : 0.0, 0.0, camber));
    BaseObject* bottom = doc ? LinkedObject(doc, *car->GetDataInstance(), RIG_SUSPENSION_BOTTOM + i) : hub->GetDown();
    if (!bottom) return false;
    bottom->SetMl(Matrix());
    bottom->SetRelPos(bc->GetVector(RIG_REST_SUSPENSION_BOTTOM + i));
    BaseObject* spinner = doc ? LinkedObject(doc, *car->GetDataInstance(), RIG_SPINNER + i) : bottom->GetNext();
    if (!spinner) return false;
    spinner->SetMl(Matrix());
  }
  return true;
}

void ResetDamageAndSkidMarks(BaseDocument* doc, BaseObject* car, CarState& state) {
  if (!car) return;
  const BaseContainer* bc = car->GetDataInstance();
  CollisionOutline& outline = state.collisionOutline;
  if (outline.deformPoints)
    for (LONG k = 0; k < outline.deformPointCount; ++k)
      outline.deformPoints[k] = outline.deformPoints[outline.deformPointCount + k];

  if (BaseObject* deformer = LinkedObject(doc, *car->GetDataInstance(), CAR_DEFORMER_LINK)) {
    if (deformer->GetType() == Omeshbinder) {
      const BaseContainer* dc = deformer->GetDataInstance();
      BaseObject* original = dc->GetObjectLink(MESHBINDER_ORIGINAL, doc);
      auto* deformed = dynamic_cast<PointObject*>(dc->GetObjectLink(MESHBINDER_DEFORMED, doc));
      if (original && deformed && original->GetTagDataCount(Tpoint) == deformed->GetPointCount() &&
          deformed->GetPointCount() > 0) {
        const auto* src = static_cast<const Vector*>(original->GetTagDataR(Tpoint));
        std::copy(src, src + deformed->GetPointCount(), deformed->GetPointW());
        deformed->Message(MSG_UPDATE);
      }
    } else if (auto* ffd = dynamic_cast<PointObject*>(deformer); ffd && deformer->GetType() == Offd) {
      const BaseContainer* fc = deformer->GetDataInstance();
      const Vector size = fc->GetVector(FFDOBJECT_SIZE);
      const LONG nx = fc->GetLong(FFDOBJECT_SUBX), ny = fc->GetLong(FFDOBJECT_SUBY), nz = fc->GetLong(FFDOBJECT_SUBZ);
      // The grid is written only into a point array of its own size.
      if (nx >= 1 && ny >= 1 && nz >= 1 && nx <= 1000 && ny <= 1000 && nz <= 1000 &&
          (ffd->GetPointCount() == nx * ny * nz || ffd->ResizePoints(nx * ny * nz))) {
        FillPointGrid(ffd->GetPointW(), size, nx, ny, nz);
        ffd->Message(MSG_UPDATE);
      }
    }
  }

  if (BaseObject* group = LinkedObject(doc, *car->GetDataInstance(), CAR_PARTS_LINK)) {
    LONG j = 0;
    for (BaseObject* c = group->GetDown(); c && j < kMaxPartMatrices; c = c->GetNext(), ++j)
      c->SetMl(bc->GetMatrix(RIG_PART_MATRICES + j, Matrix()));
  }

  // The rig's own count: after a scene is loaded the run's count is not set yet.
  const BaseContainer* tag = GetTagContainer(car, ID_ROTELIX);
  const LONG wheels = RigWheelCount(car);
  for (LONG i = 0; i < wheels; ++i) {
    BaseObject* marks = nullptr;
    if (i < 4)
      marks = LinkedObject(doc, *car->GetDataInstance(), CAR_SKID_LINKS + i);
    else if (tag)
      marks = tag->GetObjectLink(WHEELRIG_SKID_MARKS + i, doc);
    SplineObject* second = nullptr;
    for (SplineObject* rail : {GetSweepRail(marks, &second), second}) {
      if (!rail) continue;
      rail->ResizeObject(0, 0);
      rail->Message(MSG_UPDATE);
    }
  }
}
