#include "car/car_execute.h"

#include <algorithm>

#include "scene_build/object_builders.h"
#include "scene/car_body.h"
#include "car/car_messages.h"
#include "car/car_params.h"
#include "car/car_publish.h"
#include "car/car_status.h"
#include "host_services.h"
#include "scene/outline.h"
#include "car/rig.h"
#include "scene/run_state.h"
#include "carsim/link_message.h"
#include "scene_build/object_builders.h"

namespace {

// A car whose run-settings copy holds an input period below this has never
// been reset (a copy no Sim wrote holds 0; the reset writes 0.01).
constexpr double kResetInputPeriod = 0.0098;

void SwitchDeformerOff(BaseDocument* doc, const BaseContainer& bc) {
  if (!bc.GetBool(CAR_DEFORMER_ANIMATED)) return;
  if (BaseObject* deformer = LinkedObject(doc, bc, CAR_DEFORMER_LINK)) deformer->SetDeformMode(false);
}

// Axes of a suspension strut along d: v1 across it, v3 completing the frame.
Matrix StrutFrame(const Vector& off, const Vector& d, const Vector& v1) {
  const Vector v3 = Cross(v1, d).GetNormalized();
  return Matrix(off, v1, d, v3);
}

struct AxleLayout {
  LONG rightHub, leftHub;  // wheel indices
  Real radius, width, camber;
  bool front;
};

// One axle of the edit layout. Returns whether the right wheel existed;
// left_ok tells whether the left one did.
bool LayOutAxle(BaseDocument* doc, const BaseContainer& bc, const AxleLayout& a, Real body_y, bool& left_ok) {
  left_ok = false;
  BaseObject* right = LinkedObject(doc, bc, RIG_HUB + a.rightHub);
  if (!right) return false;
  right->SetRelRot(Vector(pi, 0.0, a.camber));
  const Vector own = right->GetRelPos();
  const Real x = std::max(own.x, a.width / 2.0);
  const Real z = a.front ? std::max(own.z, 2.0 * a.radius) : std::min(own.z, 0.0);
  const Real y = a.radius - body_y;
  right->SetRelPos(Vector(x, y, z));
  if (BaseObject* spin = LinkedObject(doc, bc, RIG_SPINNER + a.rightHub)) {
    spin->SetRelPos(Vector());
    spin->SetRelRot(Vector());
  }

  bool strut = false;
  BaseObject* lower = LinkedObject(doc, bc, RIG_SUSPENSION_BOTTOM + a.rightHub);
  BaseObject* upper = LinkedObject(doc, bc, RIG_SUSPENSION_TOP + a.rightHub);
  if (lower && upper) {
    lower->SetRelPos(Vector(lower->GetRelPos().x, 0.0, 0.0));
    const Vector u = upper->GetRelPos();
    const Real zu = a.front ? ClampLowerWins(u.z, z - a.radius, z) : ClampLowerWins(u.z, z, z + a.radius);
    upper->SetRelPos(Vector(u.x, std::max(u.y, y + 1.0), zu));
    const Vector lo = lower->GetMg().off, up = upper->GetMg().off;
    const Vector d = (up - lo).GetNormalized();
    const Vector v1 = Vector(-d.y, d.x, 0.0).GetNormalized();
    lower->SetMg(StrutFrame(lo, d, v1));
    upper->SetMg(StrutFrame(up, d, v1));
    strut = true;
  }

  BaseObject* left = LinkedObject(doc, bc, RIG_HUB + a.leftHub);
  if (!left) return true;
  left_ok = true;
  left->SetRelRot(Vector(0.0, 0.0, a.camber));
  left->SetRelPos(Vector(-x, y, z));
  if (BaseObject* spin = LinkedObject(doc, bc, RIG_SPINNER + a.leftHub)) {
    spin->SetRelPos(Vector());
    spin->SetRelRot(Vector());
  }
  if (strut) {
    auto mirror = [](Matrix m) {
      m.off.x = -m.off.x;
      m.v1.x = -m.v1.x;
      m.v2.x = -m.v2.x;
      m.v3 = -m.v3;
      return m;
    };
    if (BaseObject* l = LinkedObject(doc, bc, RIG_SUSPENSION_BOTTOM + a.leftHub)) l->SetMg(mirror(lower->GetMg()));
    if (BaseObject* u = LinkedObject(doc, bc, RIG_SUSPENSION_TOP + a.leftHub)) u->SetMg(mirror(upper->GetMg()));
  }
  return true;
}

void ResetAfterRun(BaseDocument* doc, BaseObject* op, CarState& state) {
  BaseContainer& bc = *op->GetDataInstance();
  if (bc.GetLong(CAR_SPEED_LEARNING) == 1) SaveSpeedTargets(bc, state);
  ResetRigPose(doc, op);
  ResetDamageAndSkidMarks(doc, op, state);
  ResetCarRunState(state);
  state.settings.simTime = 0.0;
  state.settings.inputPeriod = 0.01;
  SwitchDeformerOff(doc, bc);
  PublishCarState(state, doc, op, 0, 1, 1, 1);
}

void EditPath(BaseDocument* doc, BaseObject* op, CarState& state, double t) {
  state.carIndex = -1;
  // Outside a run the rig is only laid out at the very start of the timeline.
  if (t != 0.0) return;
  const BaseContainer& bc = *op->GetDataInstance();
  if ((state.settings.simTime > 0.0 || state.settings.inputPeriod < kResetInputPeriod) &&
      bc.GetBool(CAR_SETTINGS_APPLIED))
    ResetAfterRun(doc, op, state);
  LayOutCarRig(doc, op, state);
}

void RunPath(BaseDocument* doc, BaseObject* op, BaseObject* sim, CarState& state, LONG status, LONG bakePhase,
             LONG flags, double t, CarBakeFrame& bake) {
  if (!(status & SIMSTATE_RUNNING)) return;
  BaseContainer& bc = *op->GetDataInstance();
  const SimSettings& st = state.settings;
  if (st.startTime <= t) {
    // The time stood still (or went back) since the Sim copied its settings.
    if ((t - st.lastDocTime) * st.timeScale <= 0.0) CheckLinkedObjects(doc, op, state);
  } else {
    SwitchDeformerOff(doc, bc);
    LoadSpeedTargets(bc, state);
  }
  bake.bakeEnded = bakePhase == BAKEPHASE_LAST;
  if (!PlaceRigFromState(doc, op, state)) {
    // Nothing to key or thin without the rig, but the bake still ends.
    if (bakePhase == BAKEPHASE_LAST) FinishBake(state);
    return;
  }

  LONG publish_flags = status;
  if (flags & EXECUTIONFLAGS_ANIMATION) publish_flags |= PUBLISH_ANIMATION;
  bake.skidMask = PublishCarState(state, doc, op, publish_flags, 1, status & CARSTATUS_DISPLAY, 1);
  bake.sim = sim;
  bake.placed = true;
}

}  // namespace

// After the last bake frame the car's damage buffers and crash flag start
// clean for the next run.
void FinishBake(CarState& state) {
  CollisionOutline& o = state.collisionOutline;
  if (o.deformPoints) GeFree(o.deformPoints);
  o.deformPointCount = 0;
  if (o.deformNeighbours) GeFree(o.deformNeighbours);
  o.deformNeighbourCount = 0;
  state.dynamics.crashFlag = 0;
}

Bool PlaceRigFromState(BaseDocument* doc, BaseObject* op, const CarState& state) {
  const BaseContainer& bc = *op->GetDataInstance();
  BaseObject* body = LinkedObject(doc, bc, RIG_BODY);
  if (!body) return false;
  const LONG wheels = std::clamp<LONG>(state.wheelCount, 0, kMaxWheels);
  // Every rig link is looked up before anything moves: the look-ups miss the
  // memory cache and, side by side, they wait for memory together. Nothing
  // here deletes or relinks an object, so they stay what they were found.
  BaseObject* hub[kMaxWheels];
  BaseObject* spin[kMaxWheels];
  BaseObject* lower[kMaxWheels];
  BaseObject* upper[kMaxWheels];
  for (LONG i = 0; i < wheels; ++i) {
    hub[i] = LinkedObject(doc, bc, RIG_HUB + i);
    spin[i] = LinkedObject(doc, bc, RIG_SPINNER + i);
    lower[i] = LinkedObject(doc, bc, RIG_SUSPENSION_BOTTOM + i);
    upper[i] = LinkedObject(doc, bc, RIG_SUSPENSION_TOP + i);
  }
  body->SetMg(state.bodyMatrix);
  for (LONG i = 0; i < wheels; ++i) {
    if (!hub[i]) return false;
    hub[i]->SetMg(state.wheelHubMatrices[i]);
    if (spin[i]) spin[i]->SetMg(state.wheelMatrices[i]);
  }
  for (LONG i = 0; i < wheels; ++i) {
    if (!lower[i] || !upper[i]) continue;
    const Matrix& W = state.wheelSteerFreeMatrices[i];
    const Vector P = W.off + W.v1 * bc.GetVector(RIG_REST_SUSPENSION_BOTTOM + i).x;
    const Vector Q = upper[i]->GetMg().off;
    const Vector d = (Q - P).GetNormalized();
    const Vector v1 = Cross(d, W.v3).GetNormalized();
    lower[i]->SetMg(StrutFrame(P, d, v1));
    upper[i]->SetMg(StrutFrame(Q, d, v1));
  }
  return true;
}

void LayOutCarRig(BaseDocument* doc, BaseObject* op, CarState& state) {
  BaseContainer& bc = *op->GetDataInstance();
  if (BaseObject* outline = LinkedObject(doc, bc, CAR_OUTLINE_LINK)) {
    outline->SetRelPos(Vector(0.0, outline->GetRelPos().y, 0.0));
    outline->SetRelRot(Vector());
  }
  if (BaseObject* parts = LinkedObject(doc, bc, CAR_PARTS_LINK)) parts->SetMl(Matrix());
  state.bodySize = bc.GetVector(CAR_BODY_SIZE);
  ComputeRoofCorners(bc, state);
  const Real h = state.bodySize.y, l = state.bodySize.z;

  Real body_y = 0.0;
  if (BaseObject* body = LinkedObject(doc, bc, RIG_BODY)) {
    body->SetRelRot(Vector());
    body_y = body->GetRelPos().y;
    body->SetRelPos(Vector(0.0, body_y, 0.0));
  }
  if (BaseObject* engine = LinkedObject(doc, bc, RIG_ENGINE)) {
    engine->SetRelRot(Vector());
    const Vector e = engine->GetRelPos();
    engine->SetRelPos(Vector(0.0, std::max(e.y, -h / 2.0), ClampLowerWins(e.z, -l / 2.0, l / 2.0)));
  }

  bool left = false;
  const AxleLayout front{1, 0, bc.GetReal(CAR_WHEEL_DIAMETER_FRONT) / 2.0, bc.GetReal(CAR_WHEEL_WIDTH_FRONT),
                         bc.GetReal(CAR_CAMBER_FRONT), true};
  if (!LayOutAxle(doc, bc, front, body_y, left) || !left) return;
  const AxleLayout rear{3, 2, bc.GetReal(CAR_WHEEL_DIAMETER_REAR) / 2.0, bc.GetReal(CAR_WHEEL_WIDTH_REAR),
                        bc.GetReal(CAR_CAMBER_REAR), false};
  if (!LayOutAxle(doc, bc, rear, body_y, left) || !left) return;

  PlaceExtraAxles(doc, op, state);
  SetUpCarBody(doc, bc, state);
  PublishCarState(state, doc, op, 0, 0, 1, 0);
  bc.SetBool(CAR_SETTINGS_APPLIED, StoreRigPositions(doc, op));
}

EXECUTIONRESULT ExecuteCar(CarState& state, LONG bakePhase, BaseObject* op, BaseDocument* doc, LONG flags,
                           CarBakeFrame& bake) {
  if (!op || !doc) return EXECUTIONRESULT_OK;
  const double t = doc->GetTime().Get();
  // The car object stays at the world origin; its rig is placed in world space.
  op->SetMg(Matrix());
  if (op->GetEditorMode() == MODE_OFF) return EXECUTIONRESULT_OK;

  LONG status = 0;
  BaseObject* sim = QueryCarStatus(state, op, status);
  if (status & SIMSTATE_BAKED) {
    state.carIndex = CountPrecedingCars(op);
  } else if (status & SIMSTATE_ERROR) {
    ResetRigPose(doc, op);
  } else if (!op->GetDataInstance()->GetBool(CAR_SETTINGS_APPLIED)) {
    op->Message(MSG_UPDATE);
    EditPath(doc, op, state, t);
  } else if (sim) {
    RunPath(doc, op, sim, state, status, bakePhase, flags, t, bake);
  } else {
    EditPath(doc, op, state, t);
  }
  return EXECUTIONRESULT_OK;
}
