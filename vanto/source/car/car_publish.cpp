#include "car/car_publish.h"

#include <algorithm>
#include <cmath>

#include "car/car_params.h"
#include "carsim/polygon_geometry.h"
#include "host_description.h"
#include "host_geometry.h"
#include "car/add_ons.h"
#include "scene_build/object_builders.h"
#include "car/rig.h"

namespace {

// Largest FFD grid side the deformation writes into.
constexpr LONG kMaxFfdSide = 1000;

// Wheel i's object of a per-wheel link block: the car's own links for the
// four base wheels, the wheel-rig tag's for the extra axles (none without it).
BaseObject* WheelLink(BaseDocument* doc, const BaseContainer& bc, const BaseContainer* rig_tag, LONG car_base,
                      LONG tag_base, LONG i) {
  if (i < 4) return LinkedObject(doc, bc, car_base + i);
  return rig_tag ? rig_tag->GetObjectLink(tag_base + i, doc) : nullptr;
}

// Sets one angle of the needle behind link `link` to angle(factor), the
// needle's factor read only for a needle that is there.
template <class Angle>
void SetNeedle(BaseDocument* doc, const BaseContainer& bc, LONG link, LONG factor, int component, Angle angle) {
  BaseObject* op = LinkedObject(doc, bc, link);
  if (!op) return;
  const Real value = angle(bc.GetReal(factor));
  Vector r = op->GetRelRot();
  (component == 1 ? r.y : r.z) = value;
  op->SetRelRot(r);
}

void PublishNeedles(BaseDocument* doc, const BaseContainer& bc, const CarState& s) {
  const Real steer = s.ramps[kRampSteer].current;
  const Real throttle = s.engagedGear < 0 ? s.ramps[kRampReverse].current : s.ramps[kRampThrottle].current;
  const Real brake = s.ramps[kRampBrake].current, handbrake = s.ramps[kRampHandbrake].current;
  SetNeedle(doc, bc, CAR_NEEDLE_STEER_LINK, CAR_NEEDLE_STEER, 2, [&](Real k) { return -(k * steer); });
  SetNeedle(doc, bc, CAR_NEEDLE_THROTTLE_LINK, CAR_NEEDLE_THROTTLE, 1, [&](Real k) { return pi / 3.0 - k * throttle; });
  SetNeedle(doc, bc, CAR_NEEDLE_BRAKE_LINK, CAR_NEEDLE_BRAKE, 1, [&](Real k) { return k * brake - 2.0 * pi / 3.0; });
  SetNeedle(doc, bc, CAR_NEEDLE_HANDBRAKE_LINK, CAR_NEEDLE_HANDBRAKE, 1, [&](Real k) { return k * handbrake; });
}

void PublishSprings(BaseDocument* doc, const BaseContainer& bc, const BaseContainer* rig_tag, LONG wheels) {
  for (LONG i = 0; i < wheels; ++i) {
    BaseObject* spring = WheelLink(doc, bc, rig_tag, CAR_SPRING_LINKS, WHEELRIG_SPRINGS, i);
    if (!spring || spring->GetType() != Ohelix) continue;
    BaseObject* top = LinkedObject(doc, bc, RIG_SUSPENSION_TOP + i);
    if (!top) continue;
    const Vector local = Invert(top->GetMg()) * spring->GetMg().off;
    spring->GetDataInstance()->SetReal(PRIM_HELIX_HEIGHT, Len(local));
    spring->Message(MSG_UPDATE);
  }
}

// Appends point p to rail as the new last point of its segment s (1-based
// count); the last segment takes every point the others do not hold.
void AppendRailPoint(SplineObject* rail, LONG n, LONG segments, const Vector& p) {
  if (!rail->ResizeObject(n + 1, segments)) return;
  rail->GetPointW()[n] = p;
  Segment* seg = rail->GetSegmentW();
  if (seg && segments > 0) {
    LONG held = 0;
    for (LONG k = 0; k < segments - 1; ++k) held += seg[k].cnt;
    seg[segments - 1].cnt = std::max<LONG>(n + 1 - held, 0);
  }
  rail->Message(MSG_UPDATE);
}

LONG PublishSkidMarks(BaseDocument* doc, const BaseContainer& bc, const BaseContainer* rig_tag, const CarState& s,
                      LONG wheels) {
  LONG mask = 0;
  // The settings are read at the first wheel with marks: most cars have none.
  bool read = false;
  LONG max_points = 0;
  Bool contact_only = false, slip_band = false;
  Real band_high = 0.0, band_low = 0.0;
  auto in_band = [&](Real slip) { return band_low < slip && slip < band_high; };

  for (LONG i = 0; i < wheels; ++i) {
    BaseObject* marks = WheelLink(doc, bc, rig_tag, CAR_SKID_LINKS, WHEELRIG_SKID_MARKS, i);
    SplineObject* second = nullptr;
    SplineObject* rail = GetSweepRail(marks, &second);
    if (!rail) continue;
    if (!read) {
      read = true;
      max_points = bc.GetLong(CAR_SKID_MAX_POINTS);
      contact_only = bc.GetBool(CAR_SKID_CONTACT_ONLY);
      slip_band = bc.GetBool(CAR_SKID_SLIP_BAND);
      band_high = bc.GetReal(CAR_SKID_SLIP_HIGH);
      band_low = -bc.GetReal(CAR_SKID_SLIP_LOW);
    }
    const LONG n = rail->GetPointCount();
    if (n >= max_points) continue;
    LONG segments = rail->GetTagDataCount(Tsegment);

    LONG c = 1;
    if (contact_only) {
      if (!s.dynamics.tyreOutput[i].contact) continue;
      c = s.wheelContactAtAdvance[i];
    }
    if (!slip_band) {
      if (c == 0)
        ++segments;
      else
        segments = std::max<LONG>(segments, 1);
    } else {
      if (in_band(s.dynamics.wheelSlip.saved[i])) continue;
      if (in_band(s.wheelSlipAtAdvance[i]) || c == 0)
        ++segments;
      else
        segments = std::max<LONG>(segments, 1);  // a new rail starts its first segment
    }

    const bool rear = RigAxleWord(bc, i / 2).Rear();
    const Real radius = bc.GetReal(rear ? CAR_WHEEL_DIAMETER_REAR : CAR_WHEEL_DIAMETER_FRONT) / 2.0;
    const Real width = bc.GetReal(rear ? CAR_WHEEL_WIDTH_REAR : CAR_WHEEL_WIDTH_FRONT);
    const Matrix& H = s.wheelHubMatrices[i];
    Vector P = contact_only ? H.off - H.v2 * radius : Vector(H.off.x, s.wheelGroundRecords[i].height, H.off.z);
    if (second) {
      AppendRailPoint(second, n, segments, P - H.v1 * (width / 2.0));
      P += H.v1 * (width / 2.0);
    }
    AppendRailPoint(rail, n, segments, P);
    mask |= 0x10 << i;
  }
  return mask;
}

// The FFD grid follows the crash outline along the top layer's perimeter.
void DeformFfd(PointObject* ffd, const CarState& s, Real k, Real lift_factor) {
  const BaseContainer* fc = ffd->GetDataInstance();
  const Vector size = fc->GetVector(FFDOBJECT_SIZE);
  const LONG nx = fc->GetLong(FFDOBJECT_SUBX), ny = fc->GetLong(FFDOBJECT_SUBY), nz = fc->GetLong(FFDOBJECT_SUBZ);
  if (nx < 1 || ny < 1 || nz < 1 || nx > kMaxFfdSide || ny > kMaxFfdSide || nz > kMaxFfdSide) return;
  const LONG count = nx * ny * nz;
  // Written only into a point array of the grid's own size.
  if (ffd->GetPointCount() != count && !ffd->ResizePoints(count)) return;
  Vector* pts = ffd->GetPointW();
  if (!pts) return;
  FillPointGrid(pts, size, nx, ny, nz);

  const CollisionOutline& o = s.collisionOutline;
  const LONG ring = 2 * (nx + nz - 2);
  if (ring > 0 && o.deformNeighbourCount == ring && o.deformPoints && o.deformNeighbours) {
    auto at = [&](LONG x, LONG y, LONG z) -> Vector& { return pts[x + nx * (y + ny * z)]; };
    LONG x = 0, z = 0;
    for (LONG e = 0; e < ring; ++e) {
      const LONG m = o.deformNeighbours[e];
      if (m >= 0 && m < o.deformPointCount)
        at(x, ny - 1, z) += HostOrderToVector(axes::Sub(o.deformPoints[m], o.deformPoints[o.deformPointCount + m])) * k;
      if (e < nz - 1)
        ++z;
      else if (e < nx + nz - 2)
        ++x;
      else if (e < 2 * nz + nx - 3)
        --z;
      else
        --x;
      x = std::clamp<LONG>(x, 0, nx - 1);
      z = std::clamp<LONG>(z, 0, nz - 1);
    }

    // Layers pushed closer than a minimum gap keep it and buckle upward.
    if (nz > 1) {
      const Real dz = size.z / (nz - 1);
      const Real gap = 0.4 * dz;
      const LONG inner = (nz - 1) / 2;
      for (LONG xi = 0; xi < nx; ++xi) {
        Real lift = lift_factor * dz;
        for (LONG t = 1; t <= inner; ++t) {
          Vector& p = at(xi, ny - 1, nz - 1 - t);
          const Vector& outer = at(xi, ny - 1, nz - t);
          if (outer.z - p.z < gap) {
            p.z = outer.z - gap;
            p.y += lift;
            lift *= 0.9;
          } else {
            lift = 0.0;
          }
        }
        lift = lift_factor * dz;
        for (LONG t = 1; t <= inner; ++t) {
          Vector& p = at(xi, ny - 1, t);
          const Vector& outer = at(xi, ny - 1, t - 1);
          if (p.z - outer.z < gap) {
            p.z = outer.z + gap;
            p.y += lift;
            lift *= 0.9;
          } else {
            lift = 0.0;
          }
        }
      }
    }
    // Each column hangs evenly from its top point down to the box's bottom.
    if (ny > 1) {
      for (LONG xi = 0; xi < nx; ++xi)
        for (LONG zi = 0; zi < nz; ++zi) {
          const Vector top = at(xi, ny - 1, zi);
          const Real step = (size.y / 2.0 + top.y) / (ny - 1);
          for (LONG yi = 0; yi < ny - 1; ++yi) at(xi, yi, zi) = Vector(top.x, top.y - (ny - 1 - yi) * step, top.z);
        }
    }
  }
  ffd->Message(MSG_UPDATE);
}

void DeformMeshBinder(BaseDocument* doc, BaseObject* binder, const CarState& s, Real k) {
  const BaseContainer* dc = binder->GetDataInstance();
  BaseObject* original = dc->GetObjectLink(MESHBINDER_ORIGINAL, doc);
  auto* deformed = dynamic_cast<PointObject*>(dc->GetObjectLink(MESHBINDER_DEFORMED, doc));
  if (!original || !deformed) return;
  const CollisionOutline& o = s.collisionOutline;
  const LONG n = deformed->GetPointCount();
  if (n != original->GetTagDataCount(Tpoint) || n != o.deformNeighbourCount || n <= 0) return;
  if (!o.deformPoints || !o.deformNeighbours) return;
  const auto* src = static_cast<const Vector*>(original->GetTagDataR(Tpoint));
  Vector* dst = deformed->GetPointW();
  for (LONG m = 0; m < n; ++m) {
    const LONG q = o.deformNeighbours[m];
    // A neighbour outside the outline leaves its point undeformed.
    dst[m] = (q >= 0 && q < o.deformPointCount)
                 ? src[m] + HostOrderToVector(axes::Sub(o.deformPoints[q], o.deformPoints[o.deformPointCount + q])) * k
                 : src[m];
  }
  deformed->Message(MSG_UPDATE);
}

void PublishDeformation(BaseDocument* doc, const BaseContainer& bc, const CarState& s, LONG flags) {
  BaseObject* deformer = LinkedObject(doc, bc, CAR_DEFORMER_LINK);
  if (!deformer) return;
  if (bc.GetBool(CAR_DEFORMER_ANIMATED) && (flags & PUBLISH_ANIMATION)) deformer->SetDeformMode(true);
  const Real k = bc.GetReal(CAR_DEFORMATION_FACTOR);
  if (deformer->GetType() == Omeshbinder) {
    DeformMeshBinder(doc, deformer, s, k);
  } else if (deformer->GetType() == Offd) {
    if (auto* ffd = dynamic_cast<PointObject*>(deformer)) DeformFfd(ffd, s, k, bc.GetReal(CAR_FFD_LIFT));
  }
}

void PublishAttachedParts(BaseDocument* doc, const BaseContainer& bc, const CarState& s) {
  BaseObject* group = LinkedObject(doc, bc, CAR_PARTS_LINK);
  const CollisionOutline& o = s.collisionOutline;
  if (!group || !o.deformPoints || !o.attachedParts) return;
  const Real k1 = bc.GetReal(CAR_PARTS_FACTOR_A), k2 = bc.GetReal(CAR_PARTS_FACTOR_B);
  LONG j = 0;
  for (BaseObject* c = group->GetDown(); c && j < o.attachedPartCount; c = c->GetNext(), ++j) {
    const AttachedPart& part = o.attachedParts[j];
    if (part.object != c || part.outlineIndex < 0 || part.outlineIndex >= o.deformPointCount) break;
    const Matrix M0 = bc.GetMatrix(RIG_PART_MATRICES + j, Matrix());
    AxisFrame F;
    GetPolylineFrame(F, o.deformPoints, o.deformPointCount, part.outlineIndex, Vec3(0.0, 1.0, 0.0));
    const Matrix W = AxisFrameToMatrix(F) * AxisFrameToMatrix(part.relativeMatrix);
    Matrix m;
    m.off = M0.off + (W.off - M0.off) * (k1 * part.weight);
    m.v1 = (M0.v1 + W.v1 * (k2 * part.weight)).GetNormalized();
    m.v2 = (M0.v2 + W.v2 * (k2 * part.weight)).GetNormalized();
    m.v3 = (M0.v3 + W.v3 * (k2 * part.weight)).GetNormalized();
    c->SetMl(m);
  }
}

// The names of the ground objects the run found under the wheels, "-"
// where there is none. The pointers are only compared until they are found
// in the document, so an object deleted since the run looked is never
// read; one walk serves all four wheels.
void GroundNames(BaseDocument* doc, const CarState& s, String names[4]) {
  const BaseObject* wanted[4] = {};
  bool any = false;
  for (LONG i = 0; i < 4; ++i) {
    names[i] = String("-");
    wanted[i] = doc ? s.wheelGroundRecords[i].groundObject : nullptr;
    any = any || wanted[i];
  }
  if (!any) return;
  const BaseObject* found[4] = {};
  doc->ForEachObject([&](BaseObject* op) {
    for (LONG i = 0; i < 4; ++i)
      if (op == wanted[i]) found[i] = op;
  });
  for (LONG i = 0; i < 4; ++i)
    if (found[i]) names[i] = found[i]->GetName();
}

void PublishOutputs(BaseDocument* doc, BaseContainer& bc, const CarState& s, LONG flags) {
  const double f = ForwardSpeed(s);
  bc.SetReal(CAR_OUTPUT_SPEED_KMH, std::floor(f * 3.6 * 10.0) * 0.1);
  bc.SetReal(CAR_OUTPUT_SPEED_MS, std::floor(f * 100.0) * 0.01);
  bc.SetLong(CAR_OUTPUT_ENGINE_RPM, s.engineRpm);
  bc.SetLong(CAR_OUTPUT_GEAR, s.engagedGear);
  bc.SetReal(CAR_OUTPUT_THROTTLE, s.engagedGear < 0 ? s.ramps[kRampReverse].current : s.ramps[kRampThrottle].current);
  bc.SetReal(CAR_OUTPUT_BRAKE, s.ramps[kRampBrake].current);
  bc.SetReal(CAR_OUTPUT_HANDBRAKE, s.ramps[kRampHandbrake].current);
  bc.SetReal(CAR_OUTPUT_STEER, s.ramps[kRampSteer].current);
  bc.SetLong(CAR_OUTPUT_TRACTION_CUT, s.tractionCutFlag);
  bc.SetLong(CAR_OUTPUT_BRAKE_RELEASE, s.brakeReleaseFlag);
  for (LONG i = 0; i < 4; ++i) {
    const TyreOutput& t = s.dynamics.tyreOutput[i];
    bc.SetReal(CAR_OUTPUT_WHEEL_SPIN + i, s.wheelSpinRates[i]);
    bc.SetReal(CAR_OUTPUT_WHEEL_SLIP + i, s.dynamics.wheelSlip.saved[i]);
    bc.SetReal(CAR_OUTPUT_LONGITUDINAL_FORCE + i, t.longitudinalForce);
    bc.SetReal(CAR_OUTPUT_LATERAL_FORCE + i, t.lateralForce);
    bc.SetLong(CAR_OUTPUT_SLIDING + i, t.sliding);
    bc.SetLong(CAR_OUTPUT_CONTACT + i, t.contact);
    bc.SetReal(CAR_OUTPUT_COMPRESSION + i, s.wheelCompressions[i]);
  }
  if (flags & PUBLISH_ANIMATION) {
    bc.SetString(CAR_OUTPUT_ROUTE, s.autopilot.routeObject ? s.autopilot.routeName : String("-"));
    bc.SetString(CAR_OUTPUT_MARKER, s.commands.lastMarker ? s.commands.markerName : String("-"));
    String names[4];
    GroundNames(doc, s, names);
    for (LONG i = 0; i < 4; ++i) bc.SetString(CAR_OUTPUT_GROUND + i, names[i]);
  }
  const Real impulse_scale = bc.GetReal(CAR_IMPULSE_SCALE);
  for (LONG j = 0; j < 4; ++j) {
    bc.SetVector(CAR_OUTPUT_SIDE_CONTACT + 2 * j, s.sideContactPoints[j]);
    bc.SetVector(CAR_OUTPUT_SIDE_IMPULSE + 2 * j, s.sideImpulse[j] * impulse_scale);
  }
  bc.SetReal(CAR_OUTPUT_IMPACT_TIME, s.impactTimeMs);
  bc.SetReal(CAR_OUTPUT_COMMAND, s.commandOutput);
}

void PublishOutputObject(BaseDocument* doc, const BaseContainer& bc) {
  BaseObject* out = LinkedObject(doc, bc, CAR_OUTPUT_OBJECT);
  if (!out) return;
  DynamicDescription* dd = out->GetDynamicDescription();
  if (!dd) return;
  void* handle = dd->BrowseInit();
  DescID id;
  const BaseContainer* settings = nullptr;
  while (dd->BrowseGetNext(handle, &id, &settings)) {
    if (!settings) continue;
    const LONG source = settings->GetLong(20);
    switch (bc.GetType(source)) {
      case DA_LONG:
      case DA_REAL:
      case DA_VECTOR:
      case DA_STRING:
        out->SetParameter(id, bc.GetData(source));
        break;
      default:
        break;
    }
  }
  dd->BrowseFree(handle);
}

}  // namespace

double ForwardSpeed(const CarState& state) {
  const Vector v(state.velocity.x, state.velocity.y, state.velocity.z);
  Matrix rot = state.bodyMatrix;
  rot.off = Vector();
  const double f = (Invert(rot) * v).z;
  return f > 0.0 ? f : 0.0;
}

LONG PublishCarState(CarState& state, BaseDocument* doc, BaseObject* op, LONG publishFlags, LONG publishOutputs,
                     LONG publishRig, LONG publishOutputObject) {
  if (!op) return 0;
  BaseContainer& bc = *op->GetDataInstance();
  if (!(publishFlags & PUBLISH_ANIMATION)) CheckLinkedObjects(doc, op, state);

  LONG mask = 0;
  const LONG wheels = std::clamp<LONG>(state.wheelCount, 0, kMaxWheels);
  const BaseContainer* rig_tag = GetTagContainer(op, ID_ROTELIX);
  const bool running = (publishFlags & PUBLISH_RUNNING) != 0;
  if (publishRig) {
    PublishNeedles(doc, bc, state);
    if (running) {
      if (BaseObject* light = LinkedObject(doc, bc, CAR_BRAKE_LIGHT_LINK)) {
        const LONG mode = state.ramps[kRampBrake].current < bc.GetReal(CAR_BRAKE_LIGHT_LEVEL) ? MODE_OFF : MODE_ON;
        light->SetEditorMode(mode);
        light->SetRenderMode(mode);
      }
    }
    PublishSprings(doc, bc, rig_tag, wheels);
    if (running && state.speed > kSkidMinSpeed) mask = PublishSkidMarks(doc, bc, rig_tag, state, wheels);
    // Attached parts ride on the deformed body: without a deformer there is
    // none, and they stay where the user put them.
    const bool deform = running && (state.flags & 1) && LinkedObject(doc, bc, CAR_DEFORMER_LINK) &&
                        (state.impactValue > 0.0001 || !(publishFlags & PUBLISH_ANIMATION));
    if (deform) {
      PublishDeformation(doc, bc, state, publishFlags);
      PublishAttachedParts(doc, bc, state);
    }
  }
  if (publishOutputs) {
    PublishOutputs(doc, bc, state, publishFlags);
    if (publishOutputObject) PublishOutputObject(doc, bc);
  }
  return mask;
}
