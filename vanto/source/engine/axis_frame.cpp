#include "engine/axis_frame.h"

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
