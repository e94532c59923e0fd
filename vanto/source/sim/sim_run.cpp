#include "sim/sim_run.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "car/car_params.h"
#include "engine/collision_pairs.h"
#include "engine/engine_globals.h"
#include "scene/collisions.h"
#include "scene/frames.h"
#include "scene/ground.h"
#include "host_scene.h"
#include "host_services.h"
#include "car/add_ons.h"
#include "sim/model_build.h"
#include "scene/outline.h"
#include "scene/ramps.h"
#include "car/rig.h"
#include "engine/rigid_body.h"
#include "scene/autopilot.h"
#include "scene/markers.h"
#include "scene/scene_links.h"

using collision::ClipPointsToOutline;
using collision::CollideCars;
using collision::CollideCarWithObstacle;
using groundcontact::PrepareGround;
using groundcontact::ReadWheelGroundTags;

namespace {

// A car cannot move further back than this many spacing steps.
constexpr int32 kMaxSpacingMoves = 100000;

CarModelBuildFn gModelBuild = &BuildCarModel;

bool UsableStep(double dt) { return dt >= kMinStep && dt <= kMaxStep; }

bool UsableScale(double upm) { return upm > 0.0 && std::isfinite(upm); }

int32 UsableWheels(const CarState& car) {
  return car.wheelCount >= 4 && car.wheelCount <= kMaxWheels ? car.wheelCount : 0;
}

Vec3 ToDynamics(const Vector& v, double scale) {
  Vec3 out;
  HostToDynamicsAxes(v, out);
  ScaleVec3InPlace(out, scale);
  return out;
}

// While it lives, failed consistency checks are reported once for this car.
class ReportOnceFor {
 public:
  explicit ReportOnceFor(CarState& car) { gEngine.reportOnce = &car.dynamics.consistencyReported; }
  ~ReportOnceFor() { gEngine.reportOnce = nullptr; }
  ReportOnceFor(const ReportOnceFor&) = delete;
  ReportOnceFor& operator=(const ReportOnceFor&) = delete;
};

// One run step of the model as n equal internal steps (InternalStepCount):
// a step longer than the model integrates stably (a low step rate, a stiff
// clutch) is divided; inputs and external forces hold over all of them, so a
// force still gives the impulse of one run step. The count depends on the
// model's build constants alone, so callers work it out once per model and
// step length rather than every step.
void StepModel(CarDynamics& d, int32 n, double dt, double steer, double throttle, double brake, double handbrake,
               double reverse) {
  const double h = dt / n;
  for (int32 k = 0; k < n; ++k) StepCarDynamics(d, h, steer, throttle, brake, handbrake, reverse);
}

// Settles the model with zero inputs for round(4 s / dt) steps.
void Settle(CarState& car) {
  const double dt = car.settings.stepDt;
  const int32 n = SettleStepCount(dt);
  SetGravity(car.settings.gravity);
  const ReportOnceFor once(car);
  const int32 internal = InternalStepCount(car.dynamics, dt);
  for (int32 k = 0; k < n; ++k) StepModel(car.dynamics, internal, dt, 0.0, 0.0, 0.0, 0.0, 0.0);
}

// Copies of one car model start their first settle from the same state (the
// body where the rig holds it, upright, every wheel on the default ground) and
// so end it in the same state: a run start settles each model once and hands
// the result to the copies. An entry matches on the bytes of everything the
// settle reads, so a match cannot give a result the steps would not.
class SettleCache {
 public:
  // True when `car` matched a settle made before; its dynamics are then the
  // settled ones and the step constants what that settle left.
  bool Recall(CarState& car) {
    MakeInput(car, *scratch_);
    for (const auto& e : entries_) {
      if (std::memcmp(&e->input, scratch_.get(), sizeof(Input)) != 0) continue;
      SetGravity(car.settings.gravity);
      const GroundPointers grounds = Grounds(car.dynamics);
      std::memcpy(static_cast<void*>(&car.dynamics), &e->settled, sizeof car.dynamics);
      std::copy(std::begin(grounds.p), std::end(grounds.p), car.dynamics.wheelGround);
      gEngine.h = e->h[0], gEngine.h2 = e->h[1], gEngine.h4 = e->h[2], gEngine.h6 = e->h[3];
      return true;
    }
    return false;
  }
  // After a settle that missed: keeps what the last Recall saw and the
  // outcome. A settle that printed a consistency report is not kept, so a
  // copy still prints its own.
  void Remember(const CarState& car) {
    if (car.dynamics.consistencyReported != scratch_->dynamics.consistencyReported) return;
    if (entries_.size() >= kMaxEntries) entries_.erase(entries_.begin());
    auto e = std::make_unique<Entry>();
    std::memcpy(static_cast<void*>(&e->input), scratch_.get(), sizeof(Input));
    std::memcpy(static_cast<void*>(&e->settled), &car.dynamics, sizeof car.dynamics);
    e->h[0] = gEngine.h, e->h[1] = gEngine.h2, e->h[2] = gEngine.h4, e->h[3] = gEngine.h6;
    entries_.push_back(std::move(e));
  }

 private:
  static_assert(std::is_trivially_copyable_v<CarDynamics> && std::is_trivially_copyable_v<GroundHit>,
                "the settle cache copies and compares the model as bytes");
  static constexpr size_t kMaxEntries = 8;

  struct GroundPointers {
    const GroundHit* p[kMaxWheels];
  };
  static GroundPointers Grounds(const CarDynamics& d) {
    GroundPointers g;
    std::copy(std::begin(d.wheelGround), std::end(d.wheelGround), g.p);
    return g;
  }
  // The settle's input with the ground records in place of the pointers to
  // them (each car points at its own). Zeroed first so that padding compares.
  struct Input {
    CarDynamics dynamics;
    GroundHit ground[kMaxWheels];
    int32 hasGround[kMaxWheels];
    double gravity, dt;
    int32 wide;
  };
  static void MakeInput(const CarState& car, Input& in) {
    std::memset(static_cast<void*>(&in), 0, sizeof in);
    std::memcpy(static_cast<void*>(&in.dynamics), &car.dynamics, sizeof car.dynamics);
    for (int32 w = 0; w < kMaxWheels; ++w) {
      in.dynamics.wheelGround[w] = nullptr;
      if (const GroundHit* g = car.dynamics.wheelGround[w]) {
        std::memcpy(static_cast<void*>(&in.ground[w]), g, sizeof *g);
        in.hasGround[w] = 1;
      }
    }
    in.gravity = car.settings.gravity;
    in.dt = car.settings.stepDt;
    in.wide = gEngine.wideRegisters ? 1 : 0;
  }
  struct Entry {
    Input input;
    CarDynamics settled;
    double h[4];
  };

  std::unique_ptr<Input> scratch_ = std::make_unique<Input>();
  std::vector<std::unique_ptr<Entry>> entries_;
};

void AimWheelsAtDefaultGround(CarState& car) {
  for (int32 w = 0; w < kMaxWheels; ++w) car.dynamics.wheelGround[w] = &car.defaultGround;
}

// Sets one car up for the run; `earlier` are the cars set up before it.
int32 SetUpCar(BaseDocument* doc, const SimSettings& settings, CarEntry& entry, const CarEntry* earlier,
               int32 earlierCount, SettleCache& cache) {
  CarState& car = *entry.state;
  BaseContainer& bc = *entry.object->GetDataInstance();
  const double upm = car.settings.unitsPerMetre;
  const int32 wheels = car.wheelCount;

  car.settings.simTime = settings.startTime;
  car.settings.breakCountdown = 0;
  car.settings.inputCountdown = 0;
  car.settings.inputPeriod = 0.01;
  car.settings.breakPeriod = 0.16;
  car.startDelay = bc.GetTime(CAR_START_DELAY).Get();
  car.dynamics.consistencyReported = 0;

  // Forces queued in an earlier run must not act while settling.
  bc.SetVector(CAR_FORCE, Vector());
  bc.SetVector(CAR_FORCE_POINT, Vector());
  ClearForceSlots(car);

  PrepareGround(doc, bc, car, 1);
  AimWheelsAtDefaultGround(car);
  int32 status = gModelBuild(doc, entry.object, car, 1.0 / upm);
  if (status != kStatusOk) return status;

  BaseObject* body = bc.GetObjectLink(RIG_BODY, doc);
  if (!body) return kStatusBodyMissing;
  Vector p = body->GetRelPos();
  ResetCarDynamics(car.dynamics, ToDynamics(p, 1.0 / upm), Quat());
  if (!cache.Recall(car)) {
    Settle(car);
    cache.Remember(car);
  }
  status = StoreDynamicsResults(car, 1, 0);
  if (status < 0) return status;

  // Sag: build the model again with the body raised against the wheels by
  // what it sank, so that it comes to rest where the user placed it.
  const double dy = p.y - car.bodyMatrix.off.y;
  auto shift_wheels = [&](double by) {
    for (int32 w = 0; w < wheels; ++w) {
      Vector r = bc.GetVector(RIG_REST_HUB + w);
      r.y += by;
      bc.SetVector(RIG_REST_HUB + w, r);
    }
  };
  if (bc.GetVector(RIG_SAG_RESET_MARK).y < 0.0) {
    bc.SetVector(RIG_SAG_RESET_MARK, Vector());
    p = Vector(0.0, car.bodyMatrix.off.y, 0.0);
    bc.SetVector(RIG_REST_BODY, p);
    shift_wheels(dy);
  }
  // The rest pose is put back from copies: adding and taking away dy again
  // need not give the stored values back to the last bit.
  Vector restHubs[kMaxWheels];
  for (int32 w = 0; w < wheels; ++w) restHubs[w] = bc.GetVector(RIG_REST_HUB + w);
  const Vector restBody = p;
  p.y += dy;
  bc.SetVector(RIG_REST_BODY, p);
  shift_wheels(-dy);
  auto restore_rest_pose = [&] {
    bc.SetVector(RIG_REST_BODY, restBody);
    for (int32 w = 0; w < wheels; ++w) bc.SetVector(RIG_REST_HUB + w, restHubs[w]);
  };

  PrepareGround(doc, bc, car, 0);
  AimWheelsAtDefaultGround(car);
  status = gModelBuild(doc, entry.object, car, 1.0 / upm);
  restore_rest_pose();
  if (status != kStatusOk) return status;

  ReadWheelGroundTags(car, bc);
  ResetCommandState(doc, bc, car);
  ClearDirectInputs(bc, car);
  ClearForceSlots(car);

  if ((car.flags & 1) && !BuildCollisionOutline(doc, bc, car)) return kStatusOutlineFailed;

  // Start pose.
  Vector hpb(bc.GetReal(CAR_START_HEADING), 0.0, 0.0);
  Vector P = bc.GetVector(CAR_START_POSITION);
  const LONG mode = bc.GetLong(CAR_START_MODE);
  if (InitAutopilot(doc, bc, car) && mode == 1) {
    hpb = VectorToHPB(HostOrderToVector(car.autopilot.routeTangent));
    P = HostOrderToVector(car.autopilot.routePoint);
  } else if (mode == 2) {
    const BaseObject* group = bc.GetObjectLink(CAR_COMMAND_GROUP, doc);
    const BaseObject* marker = group ? group->GetDown() : nullptr;
    if (marker && marker->GetTag(ID_VANTOCOMMANDS)) {
      const Matrix m = marker->GetMg();
      P = m.off;
      hpb = VectorToHPB(m.v3);
    }
  }
  Matrix R = HPBToMatrix(hpb, ROTATIONORDER_HPB);

  KeepClearOfEarlierCars(P, R.v3, car.boundingRadius, earlier, earlierCount);

  // The ground under each wheel at the start pose. The start position's
  // height is not used, so the query looks down from above every ground
  // object: a start under a raised ramp stands on the ramp, not inside it.
  const double top = HighestGroundTop(doc, bc);
  Vector q[kMaxWheels];
  double y[kMaxWheels] = {};
  double ySum = 0.0;
  for (int32 w = 0; w < wheels; ++w) {
    SceneGroundHit& hit = car.wheelGroundRecords[w];
    hit.height = 0.0;
    q[w] = P + R.TransformDirection(car.wheelMatrices[w].off);
    const Vector from(q[w].x, std::max(q[w].y, top + 1.0), q[w].z);
    QueryGround(doc, bc, from, w, car);
    car.dynamics.wheelGround[w] = &hit;
    const Vector& n = hit.hostNormal;
    // A vertical plane has no height to offer: the wheel stays where it is.
    y[w] = std::fabs(n.y) > 1e-9 ? -(hit.planeOffset * upm + n.x * q[w].x + n.z * q[w].z) / n.y : q[w].y;
    hit.height = y[w];
    ySum += y[w];
  }

  // Pitch from the front and rear axle, bank from the two sides.
  auto mean = [&](int32 a, int32 b) {
    return Vector((q[a].x + q[b].x) * 0.5, (y[a] + y[b]) * 0.5, (q[a].z + q[b].z) * 0.5);
  };
  const Vector d1 = mean(0, 1) - mean(2, 3);
  const Vector d2 = mean(0, 2) - mean(1, 3);
  const Vector h1 = VectorToHPB(d1), h2 = VectorToHPB(d2);
  R = HPBToMatrix(Vector(h1.x, h1.y, h2.y), ROTATIONORDER_HPB);

  const Vector start(P.x + p.x, p.y + ySum / wheels, P.z + p.z);
  Mat3 m;
  HostMatrixToMat3(R, m);
  Quat orientation;
  Mat3ToQuat(orientation, m);
  ResetCarDynamics(car.dynamics, ToDynamics(start, 1.0 / upm), orientation);
  Settle(car);
  status = StoreDynamicsResults(car, 1, 1);
  if (status < 0) return status;
  // A car still waiting for its start delay takes no step that would place
  // its footprint, yet others can hit it where it stands.
  if (car.flags & 1) PlaceFootprintInWorld(car);
  entry.ready = 1;
  return kStatusOk;
}

enum class StepResult { kStepped, kBreak, kFailed };

// A car's links into the scene, resolved once per advance call: nothing
// edits the scene while the cars step.
struct CarLinks {
  const BaseObject* groundGroup = nullptr;
  const BaseObject* commandGroup = nullptr;
  // The last ground query of this call found the default ground alone.
  bool onDefaultGround = false;
  // Internal steps of one run step: nothing rebuilds the model while it steps.
  int32 internalSteps = 1;
  // The direct-input parameters the car's bits select.
  DirectInputValues direct;
};

// Without a ground group, a ground object under a wheel or a route that acts
// as ground or grip, every wheel's ground record is the default ground's
// plane wherever the wheel is; only the query point it keeps moves, and that
// is read only while a ground object is set.
bool DefaultGroundOnly(const CarState& car, const CarLinks& links) {
  if (links.groundGroup || car.autopilot.routeIsGround || car.autopilot.routeObject) return false;
  const int32 n = std::clamp<int32>(car.dynamics.wheelCount, 0, kMaxWheels);
  for (int32 w = 0; w < n; ++w)
    if (car.wheelGroundRecords[w].groundObject) return false;
  return true;
}

// One fixed step of one car: kBreak when the host asked for a break,
// kFailed when the step left a state that cannot be stored (the record keeps
// the last good one).
// `lastStep`: the call ends after this step.
StepResult StepCar(BaseDocument* doc, BaseThread* bt, CarEntry& entry, CarLinks& links, bool lastStep,
                   GapSights& sights) {
  CarState& car = *entry.state;
  const BaseContainer& bc = *entry.object->GetDataInstance();
  SimSettings& s = car.settings;
  CarDynamics& d = car.dynamics;
  const double dt = s.stepDt;

  if (s.inputCountdown <= 0) {
    s.inputCountdown = InputRefreshSteps(s.inputPeriod, dt);
    const int32 bits = car.directInputBits;
    // Without a command group the tag has nothing to evaluate.
    if (bits == 0) {
      if (links.commandGroup) EvaluateCommandTag(doc, bc, car);
      StepAutopilot(doc, bc, car);
      KeepGapToCars(car, sights);
    } else {
      ApplyDirectInputs(bits, links.direct, car);
      if ((bits & 7) != 7) {
        if (links.commandGroup) EvaluateCommandTag(doc, bc, car);
        StepAutopilot(doc, bc, car);
      }
    }
  }
  if (s.breakCountdown <= 0) {
    s.breakCountdown = BreakTestSteps(car.autopilot.lookAheadTime, s.breakPeriod, dt);
    if (bt && bt->TestBreak()) return StepResult::kBreak;
  }

  // On the default ground alone the query would give the records they hold;
  // the last step still queries so that they end with the last query point.
  // Only a query writes the records' objects, so after one that found them
  // all empty only the route can end the shortcut: the records (a cache line
  // each) stay unread.
  const bool flat = links.onDefaultGround ? !(car.autopilot.routeIsGround || car.autopilot.routeObject)
                                          : DefaultGroundOnly(car, links);
  if (!(flat && links.onDefaultGround) || lastStep) {
    QueryGroundUnderWheels(links.groundGroup, car);
    links.onDefaultGround = flat && DefaultGroundOnly(car, links);
  }

  // The slip switches act on this step only; the ramps keep their values.
  car.tractionCutFlag = 0;
  double throttle = car.ramps[kRampThrottle].current;
  if (d.tractionControl && throttle > 0.0) {
    for (int32 w = 0; w < d.wheelCount; ++w)
      if (d.wheelSlip.saved[w] > d.tractionSlipLimit) {
        throttle = 0.0;
        car.tractionCutFlag = 1;
        break;
      }
  }
  car.brakeReleaseFlag = 0;
  double brake = car.ramps[kRampBrake].current;
  if (d.brakeSlipControl && brake > 0.0) {
    for (int32 w = 0; w < d.wheelCount; ++w)
      if (d.wheelSlip.saved[w] < -d.brakeSlipLimit) {
        brake = 0.0;
        car.brakeReleaseFlag = 1;
        break;
      }
  }

  SetGravity(s.gravity);
  {
    const ReportOnceFor once(car);
    StepModel(d, links.internalSteps, dt, car.ramps[kRampSteer].current, throttle, brake,
              car.ramps[kRampHandbrake].current, car.ramps[kRampReverse].current);
  }
  AdvanceControlRamps(car);
  const int32 stored = StoreDynamicsResults(car, 1, 0);
  ClearForceSlots(car);
  --s.inputCountdown;
  --s.breakCountdown;
  s.simTime += dt;
  if (stored < 0) return StepResult::kFailed;

  if (car.flags & 1) PlaceFootprintInWorld(car);
  if (car.bodyGroundContactOn) {
    const collision::BodyPointGround ground(links.groundGroup, car);
    collision::ResolveBodyGroundContact(car, &ground);
  }
  return StepResult::kStepped;
}

bool Usable(const CarEntry& e) { return e.ready && e.object && e.state; }

}  // namespace

void SetCarModelBuild(CarModelBuildFn fn) { gModelBuild = fn ? fn : &BuildCarModel; }

void KeepClearOfEarlierCars(Vector& P, const Vector& heading, double radius, const CarEntry* earlier, int32 count) {
  for (int32 j = 0; j < count; ++j) {
    if (!earlier[j].ready || !earlier[j].object || !earlier[j].state) continue;
    const double rj = earlier[j].state->boundingRadius;
    const Vector other = earlier[j].state->bodyMatrix.off;
    double step = 1.1 * radius;
    if (!(step > 0.0)) step = 1.1 * (radius + rj);
    // Tested once each, in order; the move count only guards against radii
    // that are not numbers a distance can exceed.
    for (int32 k = 0; k < kMaxSpacingMoves && (P - other).GetLength() < radius + rj; ++k) P -= heading * step;
  }
}

int32 SettleStepCount(double dt) {
  const double n = std::floor(kSettleTime / dt + 0.5);
  return n >= 1.0 && n < 2147483647.0 ? static_cast<int32>(n) : 1;
}

int32 InputRefreshSteps(double inputPeriod, double dt) {
  const double n = std::floor(inputPeriod / dt + 0.5);
  return n >= 0.0 && n < 2147483647.0 ? static_cast<int32>(n) : 0;
}

int32 BreakTestSteps(double lookAhead, double breakPeriod, double dt) {
  const double n = std::floor((2.0 * lookAhead + 0.5) * breakPeriod / dt + 0.5);
  return n >= 0.0 && n < 2147483647.0 ? static_cast<int32>(n) : 0;
}

void ClearForceSlots(CarState& car) {
  CarDynamics& d = car.dynamics;
  for (int32 k = 0; k < kForceSlots; ++k) d.externalForces[k] = d.externalForcePoints[k] = Vec3();
  d.singleForce = d.singleForcePoint = Vec3();
}

void ClearDirectInputs(BaseContainer& bc, CarState& car) {
  bc.SetLong(kParamDirectBits, 0);
  car.directInputDirection = 1;
}

void ResetAdvanceOutputs(CarState& car) {
  car.advanceStartTime = car.settings.simTime;
  car.advanceStartSpeed = LengthVec3(car.velocity);
  for (int32 w = 0; w < kMaxWheels; ++w) {
    car.wheelContactAtAdvance[w] = car.dynamics.tyreOutput[w].contact;
    car.wheelSlipAtAdvance[w] = car.dynamics.wheelSlip.saved[w];
  }
  for (int k = 0; k < 4; ++k) car.sideContactPoints[k] = car.sideImpulse[k] = Vector();
  car.impactValue = 0.0;
  car.collisionPointCount = 0;
  car.commandOutput = 0.0;
}

void ReactToCollision(CarState& car) {
  if (car.pedalRampLevel > 0.6) return;
  static constexpr int32 kGroupOfSide[4] = {0, 1, 2, 1};
  const CrashReaction& r = car.crashReaction;
  for (int32 side = 0; side < 4; ++side) {
    const Vector& f = car.sideImpulse[side];
    // Opposite components must not cancel into "no hit".
    if (f.x == 0.0 && f.y == 0.0 && f.z == 0.0) continue;
    const int32 g = kGroupOfSide[side];
    if (r.mode[g] == 1) {
      ControlRamp& t = car.ramps[kRampThrottle];
      t.current = t.target = t.ratePerStep = 0.0;
      t.remaining = r.holdTime[g];
      car.pedalHoldRemaining = r.holdTime[g];
      car.pedalRampLevel = 0.6;
    } else if (r.mode[g] == 2) {
      ControlRamp& b = car.ramps[kRampBrake];
      b.current = b.target = r.brakeStrength[g];
      b.ratePerStep = 0.0;
      b.remaining = r.holdTime[g];
      car.pedalRampLevel = 0.6;
    }
  }
}

int32 InitSimulationRun(BaseDocument* doc, BaseObject*, SimSettings& settings, CarEntry* cars, int32 count) {
  if (!cars) return kStatusOk;
  if (!UsableStep(settings.stepDt) || !std::isfinite(settings.startTime)) return kStatusBadSettings;
  settings.simTime = settings.startTime;
  settings.lastDocTime = settings.startTime;
  for (int32 i = 0; i < count; ++i) cars[i].ready = 0;
  SettleCache cache;
  for (int32 i = 0; i < count; ++i) {
    CarEntry& e = cars[i];
    if (!e.object || !e.state) continue;
    // Fewer than 4 wheels cannot be simulated; the cars after it still can.
    if (!UsableWheels(*e.state)) continue;
    if (!UsableStep(e.state->settings.stepDt) || !UsableScale(e.state->settings.unitsPerMetre))
      return kStatusBadSettings;
    const int32 status = SetUpCar(doc, settings, e, cars, i, cache);
    if (status != kStatusOk) return status;
  }
  return kStatusOk;
}

int32 AdvanceSimulation(BaseDocument* doc, BaseObject*, double target, BaseThread* bt, SimSettings& settings,
                        CarEntry* cars, int32 count, CollisionShape* const* obstacles, int32 obstacleCount) {
  if (!cars) return kStatusOk;
  if (!UsableStep(settings.stepDt) || !std::isfinite(target) || !std::isfinite(settings.simTime))
    return kStatusBadAdvance;
  for (int32 i = 0; i < count; ++i)
    if (Usable(cars[i]) && !UsableStep(cars[i].state->settings.stepDt)) return kStatusBadAdvance;

  // Links resolved once for the whole call: nothing edits the scene while
  // the cars step.
  std::vector<CarLinks> links(static_cast<size_t>(std::max<int32>(count, 0)));
  for (int32 i = 0; i < count; ++i) {
    if (!Usable(cars[i])) continue;
    CarState& car = *cars[i].state;
    BaseContainer& bc = *cars[i].object->GetDataInstance();
    const double upm = car.settings.unitsPerMetre;
    car.directInputBits = bc.GetLong(kParamDirectBits);
    car.dynamics.singleForce = ToDynamics(bc.GetVector(CAR_FORCE), 1.0);
    car.dynamics.singleForcePoint = ToDynamics(bc.GetVector(CAR_FORCE_POINT), 1.0 / upm);
    bc.SetVector(CAR_FORCE, Vector());
    bc.SetVector(CAR_FORCE_POINT, Vector());
    // Anything borrowed from the scene may have been deleted since the last frame.
    RefreshSceneLinks(doc, bc, car);
    AutopilotState& ap = car.autopilot;
    ReadAutopilotSettings(bc, ap);
    LoadRouteSpeedTable(ap, 0);
    ReadWheelGroundTags(car, bc);
    links[i].groundGroup = bc.GetObjectLink(CAR_GROUND_GROUP, doc);
    links[i].commandGroup = bc.GetObjectLink(CAR_COMMAND_GROUP, doc);
    car.bodyGroundContactOn = bc.GetBool(CAR_BODY_CONTACT) ? 1 : 0;
    links[i].internalSteps = InternalStepCount(car.dynamics, car.settings.stepDt);
    links[i].direct = ReadDirectInputs(car.directInputBits, bc);
    ResetAdvanceOutputs(car);
  }
  // Gap keeping looks over every car at each input refresh; it reads the
  // copies, which follow each car's steps. Only a car without direct inputs
  // keeps a gap, and the bits hold for the whole call: without such a car
  // nothing reads the copies.
  bool gapKeeping = false;
  for (int32 i = 0; i < count; ++i)
    if (Usable(cars[i]) && cars[i].state->directInputBits == 0) gapKeeping = true;
  GapSights sights;
  if (gapKeeping) sights.Reset(cars, count);
  for (int32 k = 0; k < obstacleCount; ++k) {
    if (!obstacles || !obstacles[k]) continue;
    obstacles[k]->impactSum = Vector();
    obstacles[k]->impactPoint = Vector();
  }

  bool collided = false;
  int32 failed = kStatusOk;
  // Only pairs whose bounding circles may meet are tried, in the same order.
  const size_t n = static_cast<size_t>(std::max<int32>(count, 0));
  std::vector<Vec3> centres(n);
  std::vector<double> radii(n);
  std::vector<char> taking(n);
  CollisionPairs pairs;
  while (settings.simTime < target) {
    const double next = settings.simTime + settings.stepDt;
    const bool lastStep = !(next < target) || !(next > settings.simTime);
    for (int32 i = 0; i < count; ++i) {
      taking[i] = 0;
      if (!Usable(cars[i])) continue;
      if (cars[i].state->startDelay + settings.startTime <= settings.simTime) {
        const StepResult r = StepCar(doc, bt, cars[i], links[i], lastStep, sights);
        if (r == StepResult::kBreak) return kStatusOk;
        if (r == StepResult::kFailed) {
          // A blown-up body stops here: it neither steps on nor collides with
          // its stale matrices; the run reports it at the end of the call.
          cars[i].ready = 0;
          if (failed == kStatusOk) failed = kStatusNotFinite;
        }
        if (gapKeeping) sights.Update(cars, i);
        if (r == StepResult::kFailed) continue;
      }
      // Read for the broad phase while the car is still in the cache: the
      // later cars' steps change nothing of it.
      const CarState& car = *cars[i].state;
      taking[i] = (car.flags & 1) ? 1 : 0;
      if (!taking[i]) continue;
      HostToDynamicsAxes(car.bodyMatrix.off, centres[i]);
      radii[i] = car.boundingRadius;
    }
    pairs.Build(centres.data(), radii.data(), taking.data(), count);
    // The contacts change neither a car's readiness nor its flags.
    for (int32 i = 0; i < count; ++i) {
      if (!taking[i]) continue;
      for (int32 j : pairs.Partners(i))
        if (CollideCars(*cars[i].state, *cars[j].state)) collided = true;
      for (int32 k = 0; k < obstacleCount; ++k)
        if (obstacles && obstacles[k] && CollideCarWithObstacle(*cars[i].state, *obstacles[k])) collided = true;
    }
    const double before = settings.simTime;
    settings.simTime += settings.stepDt;
    if (!(settings.simTime > before)) break;  // time too large for the step to count
  }

  int32 status = kStatusOk;
  for (int32 i = 0; i < count; ++i) {
    if (!Usable(cars[i])) continue;
    CarState& car = *cars[i].state;
    status = StoreDynamicsResults(car, 1, 1);
    if (status < 0) return status;
    if (car.impactValue > 0.0) {
      ClipPointsToOutline(car);
      ReactToCollision(car);
    } else if (car.dynamics.crashFlag) {
      ClipPointsToOutline(car);
    }
    if (!collided) car.impactTimeMs = 0.0;
  }
  return failed != kStatusOk ? failed : status;
}
