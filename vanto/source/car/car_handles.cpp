#include "car/car_handles.h"

#include <algorithm>
#include <initializer_list>

#include "car/car_params.h"
#include "car/rig.h"

namespace {

struct HandleSpec {
  Vector position;
  Vector direction;
  LONG type = HANDLECONSTRAINTTYPE_LINEAR;
};

// Handle i from the container and the state's body size and roof corners.
HandleSpec ComputeHandle(const BaseContainer& bc, const CarState& s, LONG i) {
  const Vector v = bc.GetVector(RIG_REST_BODY);
  const Vector V1 = bc.GetVector(RIG_REST_HUB + 1), V3 = bc.GetVector(RIG_REST_HUB + 3);
  const Real w = s.bodySize.x, h = s.bodySize.y, l = s.bodySize.z;
  // The front corner on +x, and a rear corner.
  const Vector& c1 = s.roofCorners[1];
  const Vector& c2 = s.roofCorners[2];
  const Real d1 = bc.GetReal(CAR_WHEEL_DIAMETER_FRONT), d2 = bc.GetReal(CAR_WHEEL_DIAMETER_REAR);
  const Real b1 = bc.GetReal(CAR_WHEEL_WIDTH_FRONT), b2 = bc.GetReal(CAR_WHEEL_WIDTH_REAR);
  const Vector X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);
  switch (i) {
    case kHandleBodyWidth: return {Vector(w / 2, v.y, 0), X};
    case kHandleBodyHeight: return {Vector(0, v.y + h / 2, 0), Y};
    case kHandleBodyLength: return {Vector(0, v.y, l / 2), Z};
    case kHandleBodyBottom: return {Vector(v.x, v.y - h / 2, v.z), Y};
    case kHandleRoofWidth: return {Vector(c1.x, v.y + c1.y, bc.GetReal(CAR_ROOF_Z)), X};
    case kHandleRoofFront: return {Vector(0, v.y + c1.y, c1.z), X, HANDLECONSTRAINTTYPE_PLANAR};
    case kHandleRoofRear: return {Vector(0, v.y + c1.y, c2.z), Vector(-1, 0, 0), HANDLECONSTRAINTTYPE_PLANAR};
    case kHandleWheelWidth1: return {Vector(V1.x + b1 / 2, d1 / 2, V1.z), X};
    case kHandleWheelDiameter1: return {Vector(V1.x + b1 / 2, d1, V1.z), Y};
    case kHandleWheelWidth2: return {Vector(V3.x + b2 / 2, d2 / 2, V3.z), X};
    case kHandleWheelDiameter2: return {Vector(V3.x + b2 / 2, d2, V3.z), Y};
    case kHandleTrack0: return {Vector(V1.x, d1 / 2, V1.z), X};
    case kHandleAxle0: return {Vector(V1.x, 0, V1.z), Z};
    case kHandleTrack1: return {Vector(V3.x, d2 / 2, V3.z), X};
    case kHandleAxle1: return {Vector(V3.x, 0, V3.z), Z};
    default: {
      const Vector E = bc.GetVector(RIG_REST_HUB + 5 + 2 * (i - kHandleExtraAxle));
      return {Vector(E.x, 0, E.z), Z};
    }
  }
}

void RefreshGeometry(const BaseContainer& bc, CarState& s) {
  s.bodySize = bc.GetVector(CAR_BODY_SIZE);
  ComputeRoofCorners(bc, s);
}

void Recompute(const BaseContainer& bc, const CarState& s, Vector* cache, std::initializer_list<LONG> handles) {
  for (LONG i : handles) cache[i] = ComputeHandle(bc, s, i).position;
}

void MoveLinked(BaseObject* op, const BaseContainer& bc, LONG link, const Vector& pos) {
  if (BaseObject* target = bc.GetObjectLink(link, op->GetDocument())) target->SetRelPos(pos);
}

// The roof edited from one edge: its height from the edge's y, its length
// from the edge's z to the other edge, which stays. A roof shorter than the
// smallest size or sunk into the body is held at that limit.
void SetRoofEdge(BaseContainer& bc, const CarState& s, const Vector& p, bool front) {
  const Vector v = bc.GetVector(RIG_REST_BODY);
  Vector roof = bc.GetVector(CAR_ROOF_SIZE);
  roof.y = std::max(p.y - v.y - s.bodySize.y / 2, kHandleMinRoofHeight);
  const Real other = front ? s.roofCorners[2].z : s.roofCorners[0].z;
  roof.z = std::max(front ? p.z - other : other - p.z, kHandleMinSize);
  bc.SetVector(CAR_ROOF_SIZE, roof);
  bc.SetReal(CAR_ROOF_Z, front ? other + roof.z / 2 : other - roof.z / 2);
}

}  // namespace

LONG CarHandleCount(const CarState& state) {
  const LONG wheels = std::clamp<LONG>(state.wheelCount, 0, kMaxWheels);
  return kCarBaseHandles + (wheels - 4) / 2;
}

void GetCarHandle(BaseObject* op, CarState& state, Vector* cache, LONG i, HandleInfo& info) {
  if (!op || !cache || i < 0 || i >= CarHandleCount(state)) return;
  const BaseContainer& bc = *op->GetDataInstance();
  RefreshGeometry(bc, state);
  const HandleSpec h = ComputeHandle(bc, state, i);
  cache[i] = h.position;
  info.position = h.position;
  info.direction = h.direction;
  info.type = h.type;
}

void SetCarHandle(BaseObject* op, CarState& state, Vector* cache, LONG i, const Vector& p) {
  if (!op || !cache || i < 0 || i >= CarHandleCount(state)) return;
  BaseContainer& bc = *op->GetDataInstance();
  // The host asks for the handles before a drag, but the container is the
  // truth: start from it.
  RefreshGeometry(bc, state);
  const Vector v = bc.GetVector(RIG_REST_BODY);
  const Vector V1 = bc.GetVector(RIG_REST_HUB + 1), V3 = bc.GetVector(RIG_REST_HUB + 3);
  const bool paired = bc.GetBool(CAR_LINK_PAIRS);
  Vector body = state.bodySize;
  switch (i) {
    case kHandleBodyWidth:
      body.x = std::max(2 * p.x, kHandleMinSize);
      bc.SetVector(CAR_BODY_SIZE, body);
      break;
    case kHandleBodyHeight: {
      body.y = std::max(2 * (p.y - v.y), kHandleMinSize);
      bc.SetVector(CAR_BODY_SIZE, body);
      // The roof top stays where it was.
      Vector roof = bc.GetVector(CAR_ROOF_SIZE);
      roof.y = std::max(state.roofCorners[0].y - body.y / 2, kHandleMinRoofHeight);
      bc.SetVector(CAR_ROOF_SIZE, roof);
      break;
    }
    case kHandleBodyLength:
      body.z = std::max(2 * p.z, kHandleMinSize);
      bc.SetVector(CAR_BODY_SIZE, body);
      break;
    case kHandleBodyBottom: {
      const Real y = std::max(p.y, 0.0);
      MoveLinked(op, bc, RIG_BODY, Vector(v.x, y + body.y / 2, v.z));
      cache[i] = Vector(v.x, y, v.z);
      return;
    }
    case kHandleRoofWidth: {
      Vector roof = bc.GetVector(CAR_ROOF_SIZE);
      roof.x = std::max(2 * p.x, kHandleMinSize);
      bc.SetVector(CAR_ROOF_SIZE, roof);
      break;
    }
    case kHandleRoofFront:
    case kHandleRoofRear:
      SetRoofEdge(bc, state, p, i == kHandleRoofFront);
      break;
    case kHandleWheelWidth1:
    case kHandleWheelWidth2: {
      const bool first = i == kHandleWheelWidth1;
      const Real width = std::max(2 * (p.x - (first ? V1.x : V3.x)), kHandleMinSize);
      bc.SetReal(first ? CAR_WHEEL_WIDTH_FRONT : CAR_WHEEL_WIDTH_REAR, width);
      if (paired) bc.SetReal(first ? CAR_WHEEL_WIDTH_REAR : CAR_WHEEL_WIDTH_FRONT, width);
      break;
    }
    case kHandleWheelDiameter1:
    case kHandleWheelDiameter2: {
      const bool first = i == kHandleWheelDiameter1;
      const Real diameter = std::max(p.y, kHandleMinSize);
      bc.SetReal(first ? CAR_WHEEL_DIAMETER_FRONT : CAR_WHEEL_DIAMETER_REAR, diameter);
      if (paired) bc.SetReal(first ? CAR_WHEEL_DIAMETER_REAR : CAR_WHEEL_DIAMETER_FRONT, diameter);
      break;
    }
    case kHandleTrack0:
    case kHandleTrack1: {
      const bool first = i == kHandleTrack0;
      const Vector& V = first ? V1 : V3;
      const Real x = std::max(p.x, 0.0);
      MoveLinked(op, bc, RIG_HUB + (first ? 1 : 3), Vector(x, V.y, V.z));
      // At the wheel centre's height, where the handle is drawn.
      const Real d = bc.GetReal(first ? CAR_WHEEL_DIAMETER_FRONT : CAR_WHEEL_DIAMETER_REAR);
      cache[i] = Vector(x, d / 2, V.z);
      return;
    }
    case kHandleAxle0: {
      const Real z = std::max(p.z, bc.GetReal(CAR_WHEEL_DIAMETER_FRONT));
      MoveLinked(op, bc, RIG_HUB + 1, Vector(V1.x, V1.y, z));
      cache[i] = Vector(V1.x, 0, z);
      return;
    }
    case kHandleAxle1: {
      const Real z = std::min(p.z, 0.0);
      MoveLinked(op, bc, RIG_HUB + 3, Vector(V3.x, V3.y, z));
      cache[i] = Vector(V3.x, 0, z);
      return;
    }
    default: {
      const LONG wheel = 5 + 2 * (i - kHandleExtraAxle);
      const Vector E = bc.GetVector(RIG_REST_HUB + wheel);
      MoveLinked(op, bc, RIG_HUB + wheel, Vector(E.x, E.y, p.z));
      cache[i] = Vector(E.x, 0, p.z);
      return;
    }
  }

  // A parameter changed: the state follows it, and so do the handles it moves.
  RefreshGeometry(bc, state);
  switch (i) {
    case kHandleRoofFront:
    case kHandleRoofRear: Recompute(bc, state, cache, {kHandleRoofWidth, kHandleRoofFront, kHandleRoofRear}); break;
    case kHandleWheelWidth1:
    case kHandleWheelWidth2:
      if (paired)
        Recompute(bc, state, cache, {kHandleWheelWidth1, kHandleWheelWidth2});
      else
        Recompute(bc, state, cache, {i});
      break;
    case kHandleWheelDiameter1:
    case kHandleWheelDiameter2:
      if (paired)
        Recompute(bc, state, cache, {kHandleWheelDiameter1, kHandleWheelDiameter2});
      else
        Recompute(bc, state, cache, {i});
      break;
    default: Recompute(bc, state, cache, {i}); break;
  }
}
