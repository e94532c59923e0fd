#include "car/car_messages.h"

#include <cctype>

#include "car/car_params.h"
#include "host_plugin.h"
#include "host_services.h"
#include "scene_build/object_builders.h"
#include "car/rig.h"

namespace {

// Old parameter ids that only the migration reads.
enum : LONG {
  OLD_BODY_LENGTH = 1010,
  OLD_BODY_WIDTH = 1011,
  OLD_BODY_HEIGHT = 1012,
  OLD_ENGINE_LENGTH = 1015,
  OLD_ENGINE_WIDTH = 1016,
  OLD_ENGINE_HEIGHT = 1017,
  OLD_SUSPENSION_BOTTOM = 5612,
  OLD_SUSPENSION_TOP = 5632,
  OLD_REST_BOTTOM = 6612,
  OLD_REST_TOP = 6632,
  OLD_TRACTION_CONTROL = 1960,  // .. 1963, moved to 1760 .. 1763
};

// Spline knot interpolation the curves are brought to.
constexpr LONG kCurveInterpolation = 2;
// Most forward gears an old scene stored.
constexpr LONG kOldMaxGears = 8;

// Front/rear pairs: an entry at an even position pairs with the next one.
constexpr LONG kPairedParameters[] = {1020, 1021, 1022, 1023, 1102, 1103, 1114, 1115, 1120, 1121, 1150,
                                      1151, 1152, 1153, 1800, 1801, 1802, 1803, 1804, 1805, 1812, 1813};

void MoveOldSuspensionLinks(BaseDocument* doc, BaseContainer& bc) {
  if (LinkedObject(doc, bc, RIG_SUSPENSION_BOTTOM)) return;
  for (LONG i = 0; i < 4; ++i) {
    if (BaseObject* b = LinkedObject(doc, bc, OLD_SUSPENSION_BOTTOM + i)) {
      bc.SetLink(RIG_SUSPENSION_BOTTOM + i, b);
      bc.SetVector(RIG_REST_SUSPENSION_BOTTOM + i, bc.GetVector(OLD_REST_BOTTOM + i));
    }
    if (BaseObject* t = LinkedObject(doc, bc, OLD_SUSPENSION_TOP + i)) {
      bc.SetLink(RIG_SUSPENSION_TOP + i, t);
      bc.SetVector(RIG_REST_SUSPENSION_TOP + i, bc.GetVector(OLD_REST_TOP + i));
    }
  }
  bc.SetLong(RIG_AXLE_TYPE, 0);
  bc.SetLong((RIG_AXLE_TYPE + 1), 1);
}

// Before wheel parents existed a wheel's own children spun with it: they
// move under a new spinner Null. False when the Null cannot be made.
Bool AddWheelSpinners(BaseDocument* doc, BaseContainer& bc) {
  for (LONG k = 0; k < kMaxWheels; ++k) {
    BaseObject* wheel = LinkedObject(doc, bc, RIG_HUB + k);
    if (!wheel) break;
    BaseObject* spinner =
        CreateNullObject(doc, wheel, nullptr, GeLoadString(10016), 0, 0, 0.0, 1.0, kNoColour, 0);
    if (!spinner) return false;
    const BaseObject* bottom = LinkedObject(doc, bc, RIG_SUSPENSION_BOTTOM + k);
    const BaseObject* old_spinner = LinkedObject(doc, bc, RIG_SPINNER + k);
    // The next sibling is taken before a child moves: moving it changes its
    // siblings.
    BaseObject* next = nullptr;
    for (BaseObject* c = wheel->GetDown(); c; c = next) {
      next = c->GetNext();
      if (c == spinner || c == bottom || c == old_spinner) continue;
      c->Remove();
      c->InsertUnder(spinner);
    }
    bc.SetLink(RIG_SPINNER + k, spinner);
  }
  return true;
}

}  // namespace

LONG CarVersionNumber(const String& text) {
  const String padded = text + "000";
  LONG v = 0;
  for (LONG pos : {7, 9, 10, 12}) {
    if (pos >= padded.GetLength()) break;
    const char c = padded[static_cast<std::size_t>(pos)];
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    v = v * 10 + (c - '0');
  }
  return v;
}

void MigrateCar(BaseDocument* doc, BaseObject* op, CarState& state) {
  if (!op) return;
  BaseContainer& bc = *op->GetDataInstance();
  MoveOldSuspensionLinks(doc, bc);
  if (bc.GetReal(CAR_CLUTCH) < 10.0) bc.SetReal(CAR_CLUTCH, 10.0);

  const LONG v = CarVersionNumber(bc.GetString(CAR_VERSION));
  if (v >= 1000 && v < 1500) {
    const Vector body(bc.GetReal(OLD_BODY_WIDTH), bc.GetReal(OLD_BODY_HEIGHT), bc.GetReal(OLD_BODY_LENGTH));
    bc.SetVector(CAR_BODY_SIZE, body);
    state.bodySize = body;
    bc.SetVector(CAR_ENGINE_SIZE,
                 Vector(bc.GetReal(OLD_ENGINE_WIDTH), bc.GetReal(OLD_ENGINE_HEIGHT), bc.GetReal(OLD_ENGINE_LENGTH)));
    bc.SetLong(CAR_START_MODE, 1);
  }
  if ((v >= 1000 && v <= 1514) || bc.GetLong(CAR_GEAR_COUNT) < 1) {
    LONG gears = 0;
    while (gears < kOldMaxGears && bc.GetReal(CAR_GEAR_REVERSE + 1 + gears) > 0.0) ++gears;
    bc.SetLong(CAR_GEAR_COUNT, gears);
  }
  if (v >= 1000 && v <= 1599) {
    // Without a spinner the wheels stay as they are; the values below are
    // plain moves and go on regardless.
    AddWheelSpinners(doc, bc);
    bc.SetReal(CAR_GAP_MARGIN, 0.25);
    bc.SetReal(CAR_SPEED_SCALE, 1.0);
    bc.SetLong(CAR_COMMAND_LEVEL, 6);
    bc.SetVector(RIG_SAG_RESET_MARK, Vector(-1.0, -1.0, -1.0));
    bc.SetBool(CAR_TRACTION_CONTROL, bc.GetBool(OLD_TRACTION_CONTROL));
    bc.SetReal(CAR_TRACTION_THRESHOLD, bc.GetReal(OLD_TRACTION_CONTROL + 1));
    bc.SetBool(CAR_ANTILOCK, bc.GetBool(OLD_TRACTION_CONTROL + 2));
    bc.SetReal(CAR_ANTILOCK_THRESHOLD, bc.GetReal(OLD_TRACTION_CONTROL + 3));
  }
  NormalizeSplineCurve(&bc, CAR_TORQUE_CURVE, 0.0, bc.GetLong(CAR_MAX_RPM), 100.0, 0.0, bc.GetLong(CAR_MAX_TORQUE),
                       10.0, kCurveInterpolation);
  NormalizeSplineCurve(&bc, CAR_FORCE_CURVE, 0.0, 100.0, 1.0, 0.0, 100.0, 1.0, kCurveInterpolation);

  bc.SetString(CAR_VERSION, String(kCarVersionText));
  state.bodySize = bc.GetVector(CAR_BODY_SIZE);
  ComputeRoofCorners(bc, state);
  ResetRigPose(doc, op);
  PlaceExtraAxles(doc, op, state);
}

LONG PairedParameter(LONG id) {
  constexpr LONG n = sizeof kPairedParameters / sizeof kPairedParameters[0];
  for (LONG k = 0; k < n; ++k)
    if (kPairedParameters[k] == id) return kPairedParameters[k ^ 1];
  return 0;
}

Bool CopyPairedParameter(BaseContainer& bc, LONG id) {
  if (id == CAR_MAX_RPM || id == CAR_MAX_TORQUE) {
    RescaleTorqueCurve(bc);
    return false;
  }
  Bool copy = bc.GetBool(CAR_LINK_PAIRS);
  BaseContainer input;
  if (GetInputState(BFM_INPUT_MOUSE, BFM_INPUT_QUALIFIER, input) && input.GetLong(BFM_INPUT_QUALIFIER) == QUALIFIER_CTRL)
    copy = !copy;
  const LONG partner = PairedParameter(id);
  if (!copy || !partner) return false;
  bc.SetReal(partner, bc.GetReal(id));
  return true;
}

Real ClampLowerWins(Real value, Real lo, Real hi) {
  if (value < lo) return lo;
  if (value > hi) return hi < lo ? lo : hi;
  return value;
}

void ValidateCarParameters(BaseContainer& bc, CarState& state) {
  const Vector body = bc.GetVector(CAR_BODY_SIZE);
  state.bodySize = body;
  const Real w = body.x, h = body.y, l = body.z;
  const Real u = state.settings.unitsPerMetre;
  const Real f = 0.10000000149011612;

  Vector roof = bc.GetVector(CAR_ROOF_SIZE);
  roof.x = ClampLowerWins(roof.x, f * w, w);
  roof.y = ClampLowerWins(roof.y, f * u, 2.0 * h);
  roof.z = ClampLowerWins(roof.z, f * w, l);
  bc.SetVector(CAR_ROOF_SIZE, roof);
  const Real roof_room = (l - roof.z) / 2.0;
  bc.SetReal(CAR_ROOF_Z, ClampLowerWins(bc.GetReal(CAR_ROOF_Z), -roof_room, roof_room));

  Vector engine = bc.GetVector(CAR_ENGINE_SIZE);
  engine.x = ClampLowerWins(engine.x, 0.1 * u, 0.9 * w);
  engine.y = ClampLowerWins(engine.y, 0.1 * u, 0.9 * w);
  engine.z = ClampLowerWins(engine.z, 0.1 * u, 0.9 * w);
  bc.SetVector(CAR_ENGINE_SIZE, engine);

  bc.SetReal(CAR_CRUMPLE_SIDE, ClampLowerWins(bc.GetReal(CAR_CRUMPLE_SIDE), 1.0, 0.5 * w - 10.0));
  bc.SetReal(CAR_CRUMPLE_FRONT, ClampLowerWins(bc.GetReal(CAR_CRUMPLE_FRONT), 1.0, 0.5 * l - 10.0));
  bc.SetReal(CAR_CRUMPLE_REAR, ClampLowerWins(bc.GetReal(CAR_CRUMPLE_REAR), 1.0, 0.5 * l - 10.0));

  if (bc.GetLong(CAR_MAX_RPM) < bc.GetLong(CAR_SHIFT_UP)) bc.SetLong(CAR_SHIFT_UP, bc.GetLong(CAR_MAX_RPM));
  if (bc.GetLong(CAR_SHIFT_DOWN) > bc.GetLong(CAR_SHIFT_UP) - 500)
    bc.SetLong(CAR_SHIFT_DOWN, bc.GetLong(CAR_SHIFT_UP) - 500);

  if (!bc.GetBool(CAR_CLUTCH_WARNED) && bc.GetReal(CAR_GEAR_REVERSE + 1) * bc.GetReal(CAR_GEAR_FINAL) > 11.0 &&
      bc.GetReal(CAR_CLUTCH) >= 40.0) {
    MessageDialog(GeLoadString(IDS_CLUTCH_WARNING));
    bc.SetBool(CAR_CLUTCH_WARNED, true);
  }

  // Each gear lower than the one before; the gearbox ends at 19, so a larger
  // stored count never reaches the final ratio's id.
  const LONG gears = bc.GetLong(CAR_GEAR_COUNT) < kCarMaxForwardGears ? bc.GetLong(CAR_GEAR_COUNT) : kCarMaxForwardGears;
  for (LONG i = 2; i <= gears; ++i) {
    const Real upper = bc.GetReal(CAR_GEAR_REVERSE + i - 1) - 0.1;
    bc.SetReal(CAR_GEAR_REVERSE + i, ClampLowerWins(bc.GetReal(CAR_GEAR_REVERSE + i), 0.1, upper));
  }

  state.autopilot.wrapRoute = bc.GetBool(CAR_ROUTE_WRAP) ? 1 : 0;
  if (u > 0.0) state.defaultGround.planeOffset = -bc.GetReal(CAR_GROUND_HEIGHT) / u;
  state.defaultGround.friction = bc.GetReal(CAR_GROUND_GRIP);
  state.defaultGround.gripFactor = bc.GetReal(CAR_GROUND_GRIP);
}

BaseObject* BuildSpringSweep(BaseDocument* doc, BaseObject* bottom, const BaseContainer& bc, Real diameter,
                             BaseObject** helix) {
  if (helix) *helix = nullptr;
  BaseObject* sweep = CreateSweepObject(doc, bottom, nullptr, GeLoadString(IDS_RIG_SPRING), 0);
  if (!sweep) return nullptr;
  sweep->SetRelPos(Vector(0.0, 0.375 * diameter, 0.0));
  BaseObject* path =
      CreateHelixSpline(doc, sweep, nullptr, "Helix", bc.GetReal(CAR_SPRING_COIL_RADIUS), 0.5 * diameter, 12.0 * pi);
  if (helix) *helix = path;
  CreateCircleSpline(doc, sweep, "Circle", 5.0, PRIM_PLANE_XY);
  return sweep;
}

void HandleRigCommand(BaseDocument* doc, BaseObject* op, CarState& state, RigCommand& cmd) {
  if (!op || cmd.index < 0 || cmd.index >= kRigCommandAxles) return;
  BaseContainer& bc = *op->GetDataInstance();
  const LONG a = cmd.index;
  switch (cmd.kind) {
    case RIGCOMMAND_ADD_AXLE:
      cmd.kind = BuildAndPlaceExtraAxle(doc, op, a, cmd.value, state.settings.unitsPerMetre) ? 1 : 0;
      break;
    case RIGCOMMAND_SET_AXLE_TYPE:
      bc.SetLong(RIG_AXLE_TYPE + 2 + a, cmd.value);
      break;
    case RIGCOMMAND_REMOVE_AXLE:
      RemoveExtraAxle(doc, op, a);
      break;
    case RIGCOMMAND_SKID_MARKS: {
      BaseObject* parent = FindOrCreateChild(doc, op, IDS_RIG_SKIDS_GROUP);
      if (!parent) break;
      parent->SetRelPos(Vector(0.0, 0.0, 0.0));
      const Real width = bc.GetReal(cmd.value ? CAR_WHEEL_WIDTH_REAR : CAR_WHEEL_WIDTH_FRONT);
      const Bool two_rails = bc.GetBool(CAR_SKID_TWO_RAILS);
      BaseObject* left = BuildSkidMarkSweep(doc, parent, 2 * a + 4, width, two_rails);
      BaseObject* right = BuildSkidMarkSweep(doc, parent, 2 * a + 5, width, two_rails);
      if (left) cmd.result0 = left;
      if (right) cmd.result1 = right;
      if (left && right && doc) {
        doc->StartUndo();
        doc->AddUndo(UNDOTYPE_NEW, left);
        doc->AddUndo(UNDOTYPE_NEW, right);
        doc->EndUndo();
      }
      break;
    }
    case RIGCOMMAND_SPRINGS: {
      const Real r = bc.GetReal(cmd.value ? CAR_WHEEL_DIAMETER_REAR : CAR_WHEEL_DIAMETER_FRONT);
      for (LONG s = 0; s < 2; ++s) {
        BaseObject* bottom = LinkedObject(doc, bc, RIG_SUSPENSION_BOTTOM + 4 + 2 * a + s);
        if (!bottom) continue;
        BaseObject* helix = nullptr;
        BaseObject* sweep = BuildSpringSweep(doc, bottom, bc, r, &helix);
        if (!sweep) break;
        if (helix) (s == 0 ? cmd.result0 : cmd.result1) = helix;
        if (doc) {
          doc->StartUndo();
          doc->AddUndo(UNDOTYPE_NEW, sweep);
          doc->EndUndo();
        }
      }
      break;
    }
    default:
      break;
  }
}
