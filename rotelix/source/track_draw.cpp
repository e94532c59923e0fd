#include <algorithm>

#include "host_draw.h"
#include "rotelix_ids.h"
#include "track_rig.h"
#include "track_tag.h"

namespace {

Vector Rgb(Real r, Real g, Real b) { return Vector(r, g, b) / 255.0; }

// A circle of radius r in the object's YZ plane with a cross through it.
void DrawWheelGlyph(BaseDraw* bd, const BaseObject* op, Real r) {
  const Matrix m = op->GetMg();
  bd->DrawCircle(Matrix(m.off, m.v3 * r, m.v2 * r, Vector()));
  bd->DrawLine(m.off + m.v2 * r, m.off - m.v2 * r, NOCLIP_D);
  bd->DrawLine(m.off + m.v3 * r, m.off - m.v3 * r, NOCLIP_D);
}

void WorldFrame(BaseDraw* bd) { bd->SetMatrix_Matrix(nullptr, Matrix()); }

// A pair's glyphs, side 0 first, up to the first missing object.
void DrawPair(BaseDraw* bd, const BaseContainer& tag, LONG link, Real r, BaseDocument* doc, Bool reset_frame) {
  for (LONG s = 0; s < 2; ++s) {
    BaseObject* op = tag.GetObjectLink(link + s, doc);
    if (!op) return;
    DrawWheelGlyph(bd, op, r);
    if (reset_frame) WorldFrame(bd);
  }
}

// The box of one tread link: w wide, h high and l long, hanging below the
// link's origin.
void DrawTreadBox(BaseDraw* bd, const BaseObject* op, Real w, Real h, Real l, const Vector& colour) {
  const Matrix m = op->GetMg();
  bd->DrawBox(Matrix(m.off - m.v2 * (h / 2.0), m.v1 * w, m.v2 * h, m.v3 * l), 0.5, colour, true);
}

}  // namespace

void DrawWheelRig(BaseTag* tag, BaseObject* car, BaseDraw* bd, BaseDrawHelp* bh, const WheelRigState& state) {
  if (!tag || !car || !bd) return;
  const BaseContainer& cbc = *car->GetDataInstance();
  if (!cbc.GetBool(CAR_DRAW_RIG)) return;
  BaseDocument* doc = bh && bh->GetDocument() ? bh->GetDocument() : tag->GetDocument();
  const BaseContainer& bc = *tag->GetDataInstance();

  // End wheels.
  bd->SetPen(Rgb(228, 45, 45), 0);
  WorldFrame(bd);
  DrawPair(bd, bc, ROTELIX_FRONT_LINK, bc.GetReal(ROTELIX_FRONT_RADIUS), doc, false);
  DrawPair(bd, bc, ROTELIX_REAR_LINK, bc.GetReal(ROTELIX_REAR_RADIUS), doc, false);

  // The tensioner's travel range, just outside the track on each side.
  if (BaseObject* body = cbc.GetObjectLink(RIG_BODY, doc)) {
    const Matrix bm = body->GetMg();
    bd->SetPen(Rgb(49, 207, 246), 0);
    WorldFrame(bd);
    const LONG groups = std::clamp(state.groupCount, LONG(0), kMaxWheelGroups);
    for (LONG g = 0; g < groups; ++g) {
      const TrackWheelEntry& e0 = state.wheels[2 * g];
      if (!(e0.tensionerTravel > 0.0)) continue;
      const Vector d = e0.tensionDirection * e0.tensionerTravel;
      for (LONG s = 0; s < 2; ++s) {
        const TrackWheelEntry& e = state.wheels[2 * g + s];
        const Real x = s == 0 ? -state.carReferenceX - 1.0 : state.carReferenceX + 1.0;
        const Vector p(x, e.restPosition.y, e.restPosition.z);
        const Vector plus = bm * (p + d), minus = bm * (p - d), at = bm * p;
        bd->DrawLine(minus, plus, NOCLIP_D);
        bd->DrawHandle(at, DRAWHANDLE_SMALL, NOCLIP_D);
        bd->DrawHandle(plus, DRAWHANDLE_SMALL, NOCLIP_D);
        bd->DrawHandle(minus, DRAWHANDLE_SMALL, NOCLIP_D);
      }
    }
  }

  // Return rollers.
  bd->SetPen(Rgb(239, 129, 129), 0);
  WorldFrame(bd);
  const Real rollerRadius = bc.GetReal(ROTELIX_ROLLER_RADIUS);
  const LONG rollers = std::clamp(bc.GetLong(ROTELIX_ROLLER_COUNT), LONG(0), kMaxRollerPairs);
  for (LONG k = 0; k < rollers; ++k) DrawPair(bd, bc, ROTELIX_ROLLER_LINK + 2 * k, rollerRadius, doc, true);

  // Tread links: the first of each track, then every enabled one after it.
  const Real h = bc.GetReal(ROTELIX_TRACK_INSET), l = bc.GetReal(ROTELIX_TREAD_LENGTH);
  const Real w = cbc.GetReal(CAR_WHEEL_WIDTH_REAR);
  const Vector colour = kTrackColour * 0.5;
  for (LONG j = 0; j < 2; ++j) {
    BaseObject* first = bc.GetObjectLink(ROTELIX_TREAD_LINK + j, doc);
    if (!first) return;
    DrawTreadBox(bd, first, w, h, l, colour);
    for (BaseObject* op = first->GetNext(); op; op = op->GetNext())
      if (op->GetDeformMode()) DrawTreadBox(bd, op, w, h, l, colour);
  }
}
