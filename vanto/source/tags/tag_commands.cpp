#include "tags/tag_commands.h"

#include <algorithm>
#include <cmath>

#include "host_draw.h"
#include "host_geometry.h"
#include "scene_build/object_builders.h"

namespace {

constexpr LONG kEndKnotFlags = 0x20;
constexpr Real kCurveXStep = 0.05;
constexpr LONG kCurveSamples = 10;  // intervals: 11 samples over the curve

// Knot interpolation the old unit-square curves are brought into.
constexpr LONG kMigratedInterpolation = SPLINEKNOT_CUBIC;

// A new curve of that range with a knot at each end of x (heights y0, y1).
void StoreNewCurve(BaseContainer* bc, LONG id, Real xmax, Real ymin, Real ymax, Real ystep, Real y0, Real y1) {
  SplineData* curve = SplineData::Alloc();
  // Without curves the tag still keeps its other parameters.
  if (!curve) return;
  curve->SetRange(0.0, xmax, kCurveXStep, ymin, ymax, ystep);
  curve->ResetKnots(-1);
  curve->InsertKnot(0.0, y0, kEndKnotFlags);
  curve->InsertKnot(xmax, y1, kEndKnotFlags);
  bc->SetData(id, GeData(*curve));
  SplineData::Free(curve);
}

// Sets the curve's range to x 0 .. duration and scales its knots' x along.
// Null when the parameter holds no curve. A duration that is not positive
// would fold every knot onto x = 0 for good, so such a curve is left as it
// is; a curve whose old range is empty cannot be scaled and only takes the
// new range.
SplineData* FitCurve(BaseContainer* bc, LONG id, Real duration, Real ymin, Real ymax, Real ystep) {
  auto* curve = static_cast<SplineData*>(bc->GetCustomDataType(id, CUSTOMDATATYPE_SPLINE));
  if (!curve) return nullptr;
  if (!(duration > 0.0) || !std::isfinite(duration)) return curve;
  Real old_max = 0.0;
  curve->GetRange(nullptr, &old_max, nullptr, nullptr, nullptr, nullptr);
  curve->SetRange(0.0, duration, kCurveXStep, ymin, ymax, ystep);
  if (old_max > 0.0 && std::isfinite(old_max)) {
    const Real f = duration / old_max;
    for (LONG i = 0; i < curve->GetKnotCount(); ++i) curve->GetKnot(i)->pos.x *= f;
  }
  return curve;
}

// The curve's values at 11 evenly spaced points of its duration, / 100.
template <class Fn>
void SampleCurve(const SplineData& curve, Real duration, Fn&& take) {
  for (LONG i = 0; i <= kCurveSamples; ++i) {
    const Real t = static_cast<Real>(i) / kCurveSamples;
    take(curve.GetPoint(t * duration).y * 0.01);
  }
}

Vector Rgb(double r, double g, double b) { return Vector(r / 255.0, g / 255.0, b / 255.0); }

void Fill(BaseDraw* bd, std::initializer_list<Vector> points, const Vector& colour) {
  const Vector* p = points.begin();
  const bool quad = points.size() == 4;
  const Vector colours[4] = {colour, colour, colour, colour};
  bd->DrawPolygon(p, colours, quad);
}

}  // namespace

NodeData* VantoCommands::Alloc() { return new VantoCommands; }

Bool VantoCommands::Init(GeListNode* node) {
  auto* tag = static_cast<BaseTag*>(node);
  if (!tag) return false;
  BaseContainer* bc = tag->GetDataInstance();
  for (LONG id : {CMD_PEDAL_ON, CMD_STEER_ON, CMD_TRACTION_ON, CMD_ABS_ON, CMD_AIM_ON, CMD_OUTPUT_ON})
    bc->SetBool(id, false);
  bc->SetLong(CMD_PEDAL_CHANNEL, 1);
  bc->SetLong(CMD_AIM_PARTS, 3);
  bc->SetLong(CMD_AIM_DIRECTION, 1);

  bc->SetReal(CMD_PEDAL_LEAD_IN, 0.5);
  bc->SetReal(CMD_PEDAL_DURATION, 4.0);
  bc->SetReal(CMD_PEDAL_RETURN, 2.0);
  bc->SetReal(CMD_STEER_LEAD_IN, 1.0);
  bc->SetReal(CMD_STEER_DURATION, 1.0);
  bc->SetReal(CMD_STEER_RETURN, 1.0);
  bc->SetReal(CMD_AIM_DURATION, 10.0);
  bc->SetReal(CMD_AIM_STOP_DISTANCE, 100.0);
  bc->SetReal(CMD_AIM_STOP_BRAKE, 0.1);
  bc->SetReal(CMD_AIM_COAST_DISTANCE, 200.0);
  bc->SetReal(CMD_AIM_PEDAL, 0.1);
  bc->SetReal(CMD_OUTPUT_DURATION, 2.0);
  bc->SetReal(CMD_OUTPUT_MIN, 0.0);
  bc->SetReal(CMD_OUTPUT_MAX, 100.0);
  bc->SetReal(CMD_DRAW_PEDAL_MAX, 0.5);
  bc->SetReal(CMD_DRAW_STEER_MIN, 0.0);
  bc->SetReal(CMD_DRAW_STEER_MAX, 0.0);

  StoreNewCurve(bc, CMD_PEDAL_CURVE, 4.0, 0.0, 100.0, 5.0, 50.0, 50.0);
  StoreNewCurve(bc, CMD_STEER_CURVE, 1.0, -100.0, 100.0, 5.0, 0.0, 0.0);
  StoreNewCurve(bc, CMD_OUTPUT_CURVE, 2.0, 0.0, 100.0, 1.0, 0.0, 0.0);
  return true;
}

Bool VantoCommands::Message(GeListNode* node, LONG type, void*) {
  auto* tag = static_cast<BaseTag*>(node);
  if (!tag) return true;
  BaseContainer* bc = tag->GetDataInstance();
  switch (type) {
    case MSG_MULTI_DOCUMENTIMPORTED:
      // Curves of older scenes were kept in the unit square.
      NormalizeSplineCurve(bc, CMD_PEDAL_CURVE, 0.0, bc->GetReal(CMD_PEDAL_DURATION), kCurveXStep, 0.0, 100.0, 5.0,
                           kMigratedInterpolation);
      NormalizeSplineCurve(bc, CMD_STEER_CURVE, 0.0, bc->GetReal(CMD_STEER_DURATION), kCurveXStep, -100.0, 100.0,
                           5.0, kMigratedInterpolation);
      break;
    case MSG_DESCRIPTION_VALIDATE: {
      const Real stop = bc->GetReal(CMD_AIM_STOP_DISTANCE);
      if (stop + 10.0 > bc->GetReal(CMD_AIM_COAST_DISTANCE)) bc->SetReal(CMD_AIM_COAST_DISTANCE, stop + 10.0);
      const Real low = bc->GetReal(CMD_OUTPUT_MIN);
      if (low > bc->GetReal(CMD_OUTPUT_MAX)) bc->SetReal(CMD_OUTPUT_MAX, low);
      FitCommandCurves(bc);
      break;
    }
    default: break;
  }
  return true;
}

void FitCommandCurves(BaseContainer* bc) {
  if (!bc) return;

  const Real pedal_duration = bc->GetReal(CMD_PEDAL_DURATION);
  const SplineData* pedal = FitCurve(bc, CMD_PEDAL_CURVE, pedal_duration, 0.0, 100.0, 5.0);
  if (!pedal) return;
  Real pedal_max = 0.0;
  SampleCurve(*pedal, pedal_duration, [&](Real v) { pedal_max = std::max(pedal_max, v); });
  bc->SetReal(CMD_DRAW_PEDAL_MAX, pedal_max);

  const Real steer_duration = bc->GetReal(CMD_STEER_DURATION);
  const SplineData* steer = FitCurve(bc, CMD_STEER_CURVE, steer_duration, -100.0, 100.0, 5.0);
  if (!steer) return;
  Real steer_min = 1.0, steer_max = -1.0;
  SampleCurve(*steer, steer_duration, [&](Real v) {
    steer_min = std::min(steer_min, v);
    steer_max = std::max(steer_max, v);
  });
  bc->SetReal(CMD_DRAW_STEER_MIN, steer_min);
  bc->SetReal(CMD_DRAW_STEER_MAX, steer_max);

  FitCurve(bc, CMD_OUTPUT_CURVE, bc->GetReal(CMD_OUTPUT_DURATION), bc->GetReal(CMD_OUTPUT_MIN),
           bc->GetReal(CMD_OUTPUT_MAX), 1.0);
}

Bool VantoCommands::GetDEnabling(GeListNode* node, const DescID& id, const GeData&, LONG, const BaseContainer*) {
  auto* tag = static_cast<BaseTag*>(node);
  if (!tag) return false;
  const BaseContainer* bc = tag->GetDataInstance();
  const LONG i = id[0].id;
  if (i >= 1001 && i <= 1099) return bc->GetBool(CMD_PEDAL_ON);
  if (i >= 1101 && i <= 1199) return bc->GetBool(CMD_STEER_ON);
  if (i == CMD_TRACTION_VALUE) return bc->GetBool(CMD_TRACTION_ON);
  if (i == CMD_ABS_VALUE) return bc->GetBool(CMD_ABS_ON);
  if (i >= 1301 && i <= 1329) return bc->GetBool(CMD_AIM_ON);
  if (i >= 1330 && i <= 1399) return bc->GetBool(CMD_AIM_ON) && (bc->GetLong(CMD_AIM_PARTS) & 1);
  if (i >= 1401 && i <= 1999) return bc->GetBool(CMD_OUTPUT_ON);
  return true;
}

Bool VantoCommands::Draw(BaseTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh) {
  if (!tag || !op || !bd || !bh) return true;
  const BaseContainer* oc = op->GetDataInstance();
  if (!oc) return true;
  const Real r = oc->GetReal(kMarkerRadiusParam);
  if (!(r >= 0.1)) return true;
  const BaseContainer* bc = tag->GetDataInstance();
  const Real s = 0.1 * r;
  const Matrix mg = bh->GetMg();
  const Vector o = mg.off, X = mg.v1, Z = mg.v3;
  bd->SetMatrix_Matrix(nullptr, Matrix());

  const Vector yellow = Rgb(240, 229, 47), green = Rgb(45, 223, 23), red = Rgb(228, 45, 45), blue = Rgb(0, 51, 153);

  // Heading.
  Fill(bd, {o + 1.1 * r * Z, o + s * X + r * Z, o - s * X + r * Z}, yellow);

  if (bc->GetBool(CMD_TRACTION_ON))
    Fill(bd, {o - s * X + s * Z, o + s * X + s * Z, o + s * X, o - s * X},
         green * (bc->GetBool(CMD_TRACTION_VALUE) ? 0.75 : 0.25));
  if (bc->GetBool(CMD_ABS_ON))
    Fill(bd, {o - s * X, o + s * X, o + s * X - s * Z, o - s * X - s * Z},
         red * (bc->GetBool(CMD_ABS_VALUE) ? 0.75 : 0.25));

  if (bc->GetBool(CMD_PEDAL_ON)) {
    const Real k = std::max(bc->GetReal(CMD_DRAW_PEDAL_MAX) * 0.9 * r, 0.01);
    const LONG channel = bc->GetLong(CMD_PEDAL_CHANNEL);
    // Throttle and brake ahead of the marker, the others behind it.
    const Vector dir = channel == 1 || channel == 2 ? Z : -Z;
    Fill(bd, {o - s * X + (s + k) * dir, o + s * X + (s + k) * dir, o + s * X + s * dir, o - s * X + s * dir},
         channel == 1 || channel == 4 ? green : red);
  }

  if (bc->GetBool(CMD_STEER_ON)) {
    const Real right = bc->GetReal(CMD_DRAW_STEER_MAX) * 0.9 * r;
    if (right > 0.0)
      Fill(bd, {o + s * Z + s * X, o - s * Z + s * X, o - s * Z + (s + right) * X, o + s * Z + (s + right) * X}, blue);
    const Real left = bc->GetReal(CMD_DRAW_STEER_MIN) * 0.9 * r;
    if (left < 0.0)
      Fill(bd, {o - s * Z - s * X, o + s * Z - s * X, o + s * Z - s * X + left * X, o - s * Z - s * X + left * X},
           blue);
  }

  if (bc->GetBool(CMD_AIM_ON)) {
    const Real t = 0.2 * r;
    const Real d = bc->GetLong(CMD_AIM_DIRECTION) == 1 ? 1.0 : -1.0;
    Fill(bd, {o - t * X, o + t * X, o + d * t * Z}, yellow);
    Fill(bd, {o - 0.5 * t * X, o + 0.5 * t * X, o + 0.5 * t * X - d * t * Z, o - 0.5 * t * X - d * t * Z}, yellow);
  }
  return true;
}

Bool RegisterVantoCommands() {
  return RegisterNodePlugin(PLUGINTYPE_TAG, ID_VANTOCOMMANDS, nullptr, 10003, TAG_VISIBLE | TAG_EXPRESSION,
                            VantoCommands::Alloc, "TvantoCommandsexp", "vantoCommands.tif");
}
