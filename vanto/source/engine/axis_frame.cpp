#include "engine/axis_frame.h"

#include "engine/elementary.h"
#include "engine/engine_globals.h"

AxisFrame InvertFrame(const AxisFrame& f) {
  using namespace axes;
  const double det = Dot(f.v1, Cross(f.v2, f.v3));
  if (det == 0.0 || !std::isfinite(det)) return AxisFrame();
  // Rows of the inverse rotation are the cross products of the axes over det.
  const Vec3 r1 = Div(Cross(f.v2, f.v3), det);
  const Vec3 r2 = Div(Cross(f.v3, f.v1), det);
  const Vec3 r3 = Div(Cross(f.v1, f.v2), det);
  AxisFrame inv;
  inv.v1 = Vec3(r1.x, r2.x, r3.x);
  inv.v2 = Vec3(r1.y, r2.y, r3.y);
  inv.v3 = Vec3(r1.z, r2.z, r3.z);
  inv.off = Neg(FrameDirection(inv, f.off));
  return inv;
}

namespace {

// The three components of a point side by side in one four-wide value (the
// fourth unused): each gets the products and sums of FramePoint in its order.
VANTO_WIDE_VERSION void FramePointsWide(const AxisFrame& f, const Vec3* in, int32 n, Vec3* out) {
  using vanto::Double4;
  const Double4 o{f.off.x, f.off.y, f.off.z, 0.0};
  const Double4 v1{f.v1.x, f.v1.y, f.v1.z, 0.0};
  const Double4 v2{f.v2.x, f.v2.y, f.v2.z, 0.0};
  const Double4 v3{f.v3.x, f.v3.y, f.v3.z, 0.0};
  for (int32 i = 0; i < n; ++i) {
    const Vec3& p = in[i];
    const Double4 r = o + ((v1 * p.x + v2 * p.y) + v3 * p.z);
    out[i] = Vec3(r[0], r[1], r[2]);
  }
}

void FramePointsPlain(const AxisFrame& f, const Vec3* in, int32 n, Vec3* out) {
  for (int32 i = 0; i < n; ++i) out[i] = FramePoint(f, in[i]);
}

}  // namespace

void FramePoints(const AxisFrame& f, const Vec3* in, int32 n, Vec3* out) {
  if (VANTO_HAS_WIDE_VERSION && gEngine.wideRegisters) FramePointsWide(f, in, n, out);
  else FramePointsPlain(f, in, n, out);
}
