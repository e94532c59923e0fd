#include "car/car_draw.h"

#include <algorithm>
#include <cmath>

#include "car/car_handles.h"
#include "car/car_params.h"
#include "car/car_status.h"
#include "scene_build/draw_prims.h"
#include "scene/markers.h"
#include "car/rig.h"
#include "scene/run_state.h"
#include "scene_build/object_builders.h"

namespace {

constexpr Vector kWhite{1.0, 1.0, 1.0};
constexpr Vector kBlack{0.0, 0.0, 0.0};

// The direct-input switches of the car.
enum : LONG {
  CAR_DIRECT_INPUT = 9900,
};
// Direct-input bits of LONG 9900 per bar.
constexpr LONG kDirectSteer = 1, kDirectThrottle = 2, kDirectBrake = 12;

struct Ctx {
  BaseObject* op;
  CarState& s;
  const BaseContainer& bc;
  BaseDocument* doc;
  BaseDraw* bd;
  BaseDrawHelp* bh;
  Real t;
  BaseObject* body;

  // A car drawn outside a document shows no rig.
  BaseObject* Linked(LONG id) const { return doc ? LinkedObject(doc, bc, id) : nullptr; }
};

bool HiddenInEditor(const BaseObject* op) {
  for (const BaseObject* o = op; o; o = o->GetUp())
    if (o->GetEditorMode() == MODE_OFF) return true;
  return false;
}

LONG Wheels(const CarState& s) { return std::clamp<LONG>(s.wheelCount, 0, kMaxWheels); }

void Line(BaseDraw* bd, const Vector& a, const Vector& b) { bd->DrawLine(a, b, NOCLIP_D); }
Vector MirrorX(const Vector& p) { return Vector(-p.x, p.y, p.z); }

// A value read from the scene, held to its range; NaN counts as 0.
Real Held(Real v, Real lo, Real hi) { return std::clamp(v == v ? v : 0.0, lo, hi); }

// ---------------------------------------------------------------- handles

void DrawHandles(const Ctx& c, Vector* cache) {
  BaseDraw* bd = c.bd;
  bd->SetMatrix_Matrix(nullptr, c.bh->GetMg());
  const LONG count = CarHandleCount(c.s);
  bd->SetPen(kHandleOrange, 0);
  for (LONG i = 0; i < count; ++i) {
    if (i == kHandleWheelWidth1) bd->SetPen(kHandleYellow, 0);
    HandleInfo info;
    GetCarHandle(c.op, c.s, cache, i, info);
    bd->DrawHandle(cache[i], DRAWHANDLE_MIDDLE, 1);
  }
  const Vector* H = cache;
  const Vector v = c.bc.GetVector(RIG_REST_BODY);
  bd->SetPen(kHandleOrange, 0);
  for (LONG i : {kHandleBodyWidth, kHandleBodyHeight, kHandleBodyLength}) Line(bd, H[i], Vector(0, v.y, 0));
  Line(bd, H[kHandleBodyBottom], Vector());
  Line(bd, H[kHandleRoofWidth], Vector(0, v.y + c.s.roofCorners[1].y, c.bc.GetReal(CAR_ROOF_Z)));
  Line(bd, H[kHandleRoofFront], H[kHandleRoofRear]);

  bd->SetPen(kHandleYellow, 0);
  auto wheel_guides = [&](LONG width, LONG diameter, LONG track, LONG axle) {
    Line(bd, H[width], H[diameter]);
    Line(bd, H[width], H[track]);
    Line(bd, H[track], Vector(0, H[track].y, H[track].z));
    Line(bd, H[axle], Vector(H[axle].x, H[axle].y, 0));
  };
  wheel_guides(kHandleWheelWidth1, kHandleWheelDiameter1, kHandleTrack0, kHandleAxle0);
  wheel_guides(kHandleWheelWidth2, kHandleWheelDiameter2, kHandleTrack1, kHandleAxle1);
  for (LONG i = kHandleExtraAxle; i < count; ++i) Line(bd, H[i], Vector(H[i].x, H[i].y, 0));

  const LONG hot = BaseObject::GetHighlightHandle(c.op, bd);
  if (hot >= 0 && hot < count) {
    bd->SetPen(kWhite, 0);
    bd->DrawHandle(H[hot], DRAWHANDLE_MIDDLE, 1);
  }
}

// ---------------------------------------------------------------- rig overlays

void DrawBody(const Ctx& c, const Matrix& M) {
  BaseDraw* bd = c.bd;
  const CarState& s = c.s;
  const Real w = s.bodySize.x, h = s.bodySize.y, l = s.bodySize.z;
  const Real u = s.settings.unitsPerMetre;
  Vector colour = kWhite;
  if (s.commands.lastMarker && c.t > 0.0) colour = kHandleYellow;
  if (s.dynamics.crashFlag) colour = kAlertRed;
  DrawWireBox(s.bodySize, M, bd, colour);

  // The cabin: bonnet, roof and boot as three closed outlines.
  const Vector A[8] = {Vector(-w / 2, h / 2, l / 2), Vector(w / 2, h / 2, l / 2), s.roofCorners[1], s.roofCorners[0],
                       s.roofCorners[2],             s.roofCorners[3],           Vector(w / 2, h / 2, -l / 2),
                       Vector(-w / 2, h / 2, -l / 2)};
  for (int q = 0; q < 3; ++q) {
    const Vector* Q = A + 2 * q;
    for (int k = 0; k < 4; ++k) Line(bd, M * Q[k], M * Q[(k + 1) % 4]);
  }

  // Centre of mass.
  bd->SetPen(kHandleYellow, 0);
  Vector ref;
  DynamicsToHostAxes(ref, s.dynamics.body.referenceOffset);
  const Vector p = M * (ref * -u);
  for (const Vector& a : {M.v1, M.v2, M.v3}) Line(bd, p - a * (0.2 * u), p + a * (0.2 * u));

  if (s.flags & CARFLAG_CRUMPLE_TAG) {
    const Real front = c.bc.GetReal(CAR_CRUMPLE_FRONT), rear = c.bc.GetReal(CAR_CRUMPLE_REAR);
    const Real side = c.bc.GetReal(CAR_CRUMPLE_SIDE);
    Matrix inner = M;
    inner.off = M.off + M.v3 * ((rear - front) * 0.5);
    DrawWireBox(Vector(w - 2 * side, h, l - front - rear), inner, bd, s.dynamics.crashFlag ? kAlertRed : kCrumpleGreen);
  }
}

void DrawWheels(const Ctx& c) {
  BaseDraw* bd = c.bd;
  const LONG wheels = Wheels(c.s);
  bd->SetPen(kWheelBlue, 0);
  for (LONG w = 0; w < wheels; ++w) {
    if (w == 4) bd->SetPen(kExtraWheelBlue, 0);
    const bool second = RigAxleWord(c.bc, w / 2).Rear();
    const Real r = c.bc.GetReal(second ? CAR_WHEEL_DIAMETER_REAR : CAR_WHEEL_DIAMETER_FRONT) / 2;
    const Real b = c.bc.GetReal(second ? CAR_WHEEL_WIDTH_REAR : CAR_WHEEL_WIDTH_FRONT) / 2;
    BaseObject* wheel = c.Linked(RIG_SPINNER + w);
    if (!wheel) continue;
    const Matrix W = wheel->GetMg();
    const Vector o1 = W.off + W.v1 * b, o2 = W.off - W.v1 * b;
    for (const Vector& o : {o1, o2}) bd->DrawCircle(Matrix(o, W.v3 * r, W.v2 * r, W.v3));
    bd->SetMatrix_Matrix(nullptr, Matrix());
    Line(bd, o2 + W.v2 * r, o2 - W.v2 * r);
    Line(bd, o2 + W.v3 * r, o2 - W.v3 * r);
    for (const Vector& q : {W.v2 * r, W.v3 * r, W.v2 * -r, W.v3 * -r}) Line(bd, o1 + q, o2 + q);
  }
}

void DrawSuspensionAndCaster(const Ctx& c) {
  BaseDraw* bd = c.bd;
  const LONG axles = Wheels(c.s) / 2;
  bd->SetPen(kSuspensionCyan, 0);
  for (LONG a = 0; a < axles; ++a) {
    BaseObject* lower = c.Linked(RIG_SUSPENSION_BOTTOM + 2 * a);
    BaseObject* upper = c.Linked(RIG_SUSPENSION_TOP + 2 * a);
    if (!lower || !upper) continue;
    const Vector p = lower->GetMg().off, q = upper->GetMg().off;
    Line(bd, p, q);
    Line(bd, MirrorX(p), MirrorX(q));
  }

  // Caster: the first two axles set the scale for the extra axles, whose
  // caster grows with their distance from the second axle.
  bd->SetPen(kCrumpleGreen, 0);
  const Real u = c.s.settings.unitsPerMetre;
  const Real caster = c.bc.GetReal(CAR_CASTER);
  BaseObject* hub0 = c.Linked(RIG_HUB);
  BaseObject* hub1 = axles > 1 ? c.Linked(RIG_HUB + 2) : nullptr;
  const Real z0 = hub0 ? hub0->GetMg().off.z : 0.0, z1 = hub1 ? hub1->GetMg().off.z : 0.0;
  const bool scaled = hub0 && hub1 && z0 != z1;
  for (LONG a = 0; a < axles; ++a) {
    if (a == 1) continue;
    BaseObject* hub = c.Linked(RIG_HUB + 2 * a);
    if (!hub) continue;
    const Vector P = hub->GetMg().off;
    Real scale = 1.0;
    if (a >= 2) {
      if (!scaled) continue;
      scale = (P.z - z1) / (z0 - z1);
    }
    const Real angle = caster * scale;
    const Vector Q = P + Vector(0, 0.5 * u * std::cos(angle), -0.5 * u * std::sin(angle));
    Line(bd, P, Q);
    Line(bd, MirrorX(P), MirrorX(Q));
  }
}

// ---------------------------------------------------------------- run overlays

void DrawFollowingSector(const Ctx& c, const Matrix& M) {
  const Real D = c.bc.GetReal(CAR_GAP_DISTANCE);
  if (!(D > 0.0)) return;
  BaseDraw* bd = c.bd;
  const LONG level = c.s.autopilot.gapZone;
  bd->SetPen(level <= 0 ? kWhite : level == 1 ? kHandleYellow : level == 2 ? kHandleOrange : kAlertRed, 0);
  const Real A = c.bc.GetReal(CAR_GAP_ANGLE) / 2, k = c.bc.GetReal(CAR_GAP_MARGIN);
  const Real z0 = c.s.bodySize.z / 2;
  const Real far = D * (1 + k), near = D * (1 - k);
  const Vector P0(0, 0, z0), P1(0, 0, z0 + far);
  const Vector P2(far * std::sin(A), 0, z0 + far * std::cos(A)), P3(-far * std::sin(A), 0, z0 + far * std::cos(A));
  Line(bd, M * P0, M * P2);
  Line(bd, M * P0, M * P3);
  Line(bd, M * P1, M * P2);
  Line(bd, M * P1, M * P3);
  const Vector Q1(0, 0, z0 + near);
  const Vector Q2(near * std::sin(A), 0, z0 + near * std::cos(A)), Q3(-near * std::sin(A), 0, z0 + near * std::cos(A));
  Line(bd, M * Q1, M * Q2);
  Line(bd, M * Q1, M * Q3);
}

void DrawCollisionOutline(const Ctx& c, const Matrix& M) {
  const CollisionOutline& o = c.s.collisionOutline;
  const LONG n = o.deformPointCount;
  if (n <= 0 || !o.deformPoints) return;
  BaseDraw* bd = c.bd;
  // Green fades to red as the impact grows.
  bd->SetPen(Vector(228.0 / 255.0, Held(1.0 - c.s.impactValue, 0.0, 1.0), 45.0 / 255.0), 0);
  for (LONG i = 1; i < n; ++i) {
    const Vector p = M * HostOrderToVector(o.deformPoints[i]);
    Line(bd, M * HostOrderToVector(o.deformPoints[i - 1]), p);
    bd->DrawHandle(p, DRAWHANDLE_SMALL, 1);
  }
  const Vector p0 = M * HostOrderToVector(o.deformPoints[0]);
  Line(bd, M * HostOrderToVector(o.deformPoints[n - 1]), p0);
  bd->DrawHandle(p0, DRAWHANDLE_SMALL, 1);
}

// ---------------------------------------------------------------- dashboard

// A number right-aligned in five places.
String Five(Real v) {
  String text = String::RealToString(v, 0);
  if (text.GetLength() < 5) text.insert(0, static_cast<size_t>(5 - text.GetLength()), ' ');
  return text;
}

void Text(BaseDraw* bd, const String& text, Real x, Real y) {
  Vector at(x, y, 0.0);
  DrawBitmapText(text, at, bd);
}

bool CommandDrives(const CommandSlot& slot, bool (*mode_matches)(int32)) {
  // An idle slot (mode -1) has every bit set; it drives nothing.
  return slot.curveEnd > 0.0 && slot.mode >= 0 && (mode_matches(slot.mode) || (slot.mode & 16));
}

void DrawDashboard(const Ctx& c, const HudLabels& labels) {
  BaseDraw* bd = c.bd;
  LONG left = 0, top = 0, right = 0, bottom = 0;
  bd->GetFrame(&left, &top, &right, &bottom);
  LONG x0 = 0, y0 = 0;
  if (!DashboardPanelOrigin(left, top, right, bottom, c.s.carIndex, x0, y0)) return;
  const Real x = x0, y = y0;
  const BaseContainer& bc = c.bc;
  const CarState& s = c.s;

  // Who drives each bar: direct input, the current command marker, or the
  // route.
  const LONG direct = bc.GetLong(CAR_DIRECT_INPUT);
  struct Bar {
    Vector colour;
    String label;
  } bars[3] = {{kThrottleBar, s.autopilot.routeLabel},
               {kBrakeBar, s.autopilot.routeLabel},
               {kSteerBar, s.autopilot.routeLabel}};
  const CommandSlot& pedal = s.commands.slots[kSlotPedal];
  const CommandSlot& steer = s.commands.slots[kSlotSteer];
  const bool by_command[3] = {
      CommandDrives(pedal, [](int32 m) { return m == kCommandThrottleCurve || m == kCommandReverseCurve; }),
      CommandDrives(pedal, [](int32 m) { return m == kCommandBrakeCurve || m == kCommandHandbrakeCurve; }),
      CommandDrives(steer, [](int32 m) { return m == kCommandSteerCurve; })};
  const LONG direct_bits[3] = {kDirectThrottle, kDirectBrake, kDirectSteer};
  for (int b = 0; b < 3; ++b) {
    if (direct & direct_bits[b]) {
      bars[b].colour = bars[b].colour + Vector(0.3, 0.3, 0.3);
      bars[b].label = "DC";
    } else if (by_command[b]) {
      bars[b].colour = bars[b].colour + Vector(0.15, 0.15, 0.15);
      bars[b].label = s.commands.markerLabel;
    }
  }

  // The panel's text rows, 12 pixels apart below the title.
  enum PanelRow { kRowTitle, kRowSpeed, kRowRpm, kRowGear, kRowThrottle, kRowBrake, kRowSteer };
  auto row_y = [&](PanelRow r) { return y + 12 * static_cast<Real>(r); };

  // Throttle and brake grow leftwards from x + 160, steering either way
  // from x + 110. Values are held to their ranges: a stored output is never
  // trusted to size a loop.
  for (int b = 0; b < 2; ++b) {
    const Real row = row_y(b == 0 ? kRowThrottle : kRowBrake);
    const LONG n = static_cast<LONG>(std::floor(Held(bc.GetReal(b == 0 ? CAR_OUTPUT_THROTTLE : CAR_OUTPUT_BRAKE), 0.0, 1.0) * 100));
    bd->SetPen(bars[b].colour, 0);
    for (LONG k = 0; k <= n; ++k) bd->DrawLine2D(Vector(x + 160 - k, row, 0), Vector(x + 160 - k, row + 9, 0));
    bd->SetPen(kWhite, 0);
    Text(bd, bars[b].label, x + 60, row);
  }
  const LONG v = static_cast<LONG>(std::floor(Held(bc.GetReal(CAR_OUTPUT_STEER), -1.0, 1.0) * 50));
  bd->SetPen(bars[2].colour, 0);
  for (LONG k = 0; k <= std::abs(v); ++k) {
    const Real px = v >= 0 ? x + 110 + k : x + 110 - k;
    bd->DrawLine2D(Vector(px, row_y(kRowSteer), 0), Vector(px, row_y(kRowSteer) + 9, 0));
  }
  bd->SetPen(kWhite, 0);
  Text(bd, bars[2].label, x + 60, row_y(kRowSteer));

  bd->SetPen(kBlack, 0);
  Text(bd, FitToWidth(HudUpperCase(c.op->GetName()), kPanelTitleChars), x, row_y(kRowTitle));

  bd->SetPen(kWhite, 0);
  Text(bd, labels.row[0] + Five(std::floor(bc.GetReal(CAR_OUTPUT_SPEED_KMH))), x, row_y(kRowSpeed));
  Text(bd, labels.row[1] + Five(bc.GetLong(CAR_OUTPUT_ENGINE_RPM)), x, row_y(kRowRpm));
  const LONG gear = bc.GetLong(CAR_OUTPUT_GEAR);
  Text(bd, labels.row[2] + (gear == 0 ? String("    N") : gear < 0 ? String("    R") : Five(gear)), x, row_y(kRowGear));
  // The wheel-slip switches: lit while they act, dark while merely on.
  auto indicator = [&](const String& caption, LONG acting, int32 on, const char* mark, Real row) {
    if (acting) {
      Text(bd, caption + mark, x, row);
      return;
    }
    Text(bd, caption, x, row);
    if (on) {
      bd->SetPen(kBlack, 0);
      Text(bd, String(std::string(kHudLabelWidth, ' ')) + mark, x, row);
      bd->SetPen(kWhite, 0);
    }
  };
  indicator(labels.row[3], bc.GetLong(CAR_OUTPUT_TRACTION_CUT), s.dynamics.tractionControl, "   TC", row_y(kRowThrottle));
  indicator(labels.row[4], bc.GetLong(CAR_OUTPUT_BRAKE_RELEASE), s.dynamics.brakeSlipControl, "  ABS", row_y(kRowBrake));
  Text(bd, labels.row[5], x, row_y(kRowSteer));
}

}  // namespace

Bool DashboardPanelOrigin(LONG left, LONG top, LONG right, LONG bottom, LONG carIndex, LONG& x, LONG& y) {
  const LLONG width = static_cast<LLONG>(right) - left;
  if (width < kPanelWidth || carIndex < 0) return false;
  LLONG px = left + 10 + static_cast<LLONG>(carIndex) * kPanelWidth;
  LLONG py = static_cast<LLONG>(bottom) - kPanelHeight;
  if (px > static_cast<LLONG>(right) - kPanelWidth) {
    py = static_cast<LLONG>(bottom) - 2 * kPanelHeight;
    px = left + 10 + (carIndex - width / kPanelWidth) * kPanelWidth;
    if (py < top) return false;
  }
  // Only two rows: a panel that starts past the right edge cannot be seen.
  if (px > right) return false;
  x = static_cast<LONG>(px);
  y = static_cast<LONG>(py);
  return true;
}

DRAWRESULT DrawCar(BaseObject* op, CarState& state, const HudLabels& labels, Vector* handleCache, LONG drawpass,
                   BaseDraw* bd, BaseDrawHelp* bh) {
  if (!op || !bd || !bh || !handleCache) return DRAWRESULT_OK;
  if (drawpass != DRAWPASS_OBJECT && drawpass != DRAWPASS_HANDLES) return DRAWRESULT_OK;
  if (HiddenInEditor(op)) return DRAWRESULT_OK;
  BaseDocument* doc = bh->GetDocument();
  const BaseContainer& bc = *op->GetDataInstance();
  Ctx c{op, state, bc, doc, bd, bh, doc ? doc->GetTime().Get() : 0.0, nullptr};
  c.body = c.Linked(RIG_BODY);

  if (drawpass == DRAWPASS_HANDLES) {
    if (c.t == 0.0 && bc.GetBool(CAR_DRAW_RIG) && c.body) DrawHandles(c, handleCache);
    return DRAWRESULT_OK;
  }

  // The rig objects are drawn where they are in the world.
  bd->SetMatrix_Matrix(nullptr, Matrix());
  const Matrix M = c.body ? c.body->GetMg() : Matrix();
  if (bc.GetBool(CAR_DRAW_RIG) && c.body && c.body->GetEditorMode() != MODE_OFF) {
    DrawBody(c, M);
    if (BaseObject* second = c.Linked(RIG_ENGINE))
      DrawWireBox(bc.GetVector(CAR_ENGINE_SIZE), second->GetMg(), bd, kSecondBoxGrey);
    DrawWheels(c);
    if (c.t == 0.0) DrawSuspensionAndCaster(c);
  }
  if (c.t > 0.0 && c.body) {
    if (bc.GetBool(CAR_DRAW_SECTOR)) DrawFollowingSector(c, M);
    if (bc.GetBool(CAR_DRAW_OUTLINE) && (state.flags & CARFLAG_CRUMPLE_TAG)) DrawCollisionOutline(c, M);
  }
  if (c.t > 0.0 && bc.GetBool(CAR_DRAW_DASHBOARD)) DrawDashboard(c, labels);
  return DRAWRESULT_OK;
}
