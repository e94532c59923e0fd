#include "tags/tag_route.h"

#include "scene_build/draw_prims.h"

#include <algorithm>
#include <cmath>

#include "host_description.h"
#include "host_draw.h"
#include "host_geometry.h"
#include "scene_build/pair_sort.h"

static_assert(kRouteTagType == ID_VANTOROUTE);

namespace {

enum : LONG {
  IDS_ROUTE_SPEED = 10096,
  IDS_ROUTE_POSITION = 10097,
  CUSTOMGUI_REALSLIDER = 1000489,
  // Sweep parameters a route needs (their meaning is the sweep's).
  SWEEP_FIRST_SETTING = 1005,
  SWEEP_LAST_SETTING = 1012,
};

// Stored counts outside the table's range read as the nearest end.
LONG EntryCount(const BaseContainer& bc) { return std::max<LONG>(bc.GetLong(ROUTETAG_COUNT), 0); }

bool RouteHost(const BaseObject* op) { return op && (op->GetType() == Ospline || op->GetType() == Osweep); }

}  // namespace

// ---------------------------------------------------------------- drawing

// ---------------------------------------------------------------- table

SplineObject* RouteTagSpline(BaseObject* host) {
  if (!host) return nullptr;
  if (host->GetType() == Ospline) return dynamic_cast<SplineObject*>(host);
  if (host->GetType() != Osweep) return nullptr;
  BaseObject* first = host->GetDown();
  BaseObject* second = first ? first->GetNext() : nullptr;
  return second && second->GetType() == Ospline ? dynamic_cast<SplineObject*>(second) : nullptr;
}

void SortRouteEntries(BaseContainer& bc) {
  const LONG m = std::min(EntryCount(bc), kMaxRouteEntries);
  RealPair pairs[kMaxRouteEntries];
  for (LONG i = 0; i < m; ++i)
    pairs[i] = RealPair{bc.GetReal(ROUTETAG_SPEED + 2 * i), bc.GetReal(ROUTETAG_POSITION + 2 * i)};
  SortRealPairs(pairs, m);
  for (LONG i = 0; i < m; ++i) {
    bc.SetReal(ROUTETAG_SPEED + 2 * i, pairs[i].value);
    bc.SetReal(ROUTETAG_POSITION + 2 * i, pairs[i].key);
  }
}

void RescaleRoutePositions(BaseContainer& bc, Real factor) {
  const LONG n = std::min(EntryCount(bc), kMaxRouteRows);
  for (LONG i = 0; i < n; ++i)
    bc.SetReal(ROUTETAG_POSITION + 2 * i, std::min(bc.GetReal(ROUTETAG_POSITION + 2 * i) * factor, 1.0));
}

// ---------------------------------------------------------------- the tag

Bool VantoRoute::Init(GeListNode* node) {
  auto* tag = static_cast<BaseTag*>(node);
  if (!tag) return false;
  tag->GetDataInstance()->SetReal(ROUTETAG_GRIP, 0.98);
  markerSize_ = 200.0;
  drawnLength_ = 0.0;
  return true;
}

Bool VantoRoute::Draw(BaseTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp*) {
  if (!tag || !bd) return true;
  const BaseContainer& bc = *tag->GetDataInstance();
  const LONG n = std::min(EntryCount(bc), kMaxRouteRows);
  if (n <= 0) return true;
  SplineObject* spline = RouteTagSpline(op);
  if (!spline) return true;
  SplineLengthData* arc = SplineLengthData::Alloc();
  if (!arc) return true;
  if (!arc->Init(spline, 0)) {
    SplineLengthData::Free(arc);
    return true;
  }
  const Matrix M = spline->GetMg();
  bd->SetMatrix_Matrix(spline, Matrix());
  const Real size = markerSize_;
  const Vector blue = Vector(0.0, 51.0, 153.0) / 255.0;
  for (LONG i = 0; i < n; ++i) {
    const Real v = bc.GetReal(ROUTETAG_SPEED + 2 * i);
    const Real t = arc->UniformToNatural(bc.GetReal(ROUTETAG_POSITION + 2 * i));
    const Vector p = spline->GetSplinePoint(t, 0);
    const Vector d = spline->GetSplineTangent(t, 0);
    Matrix marker = HPBToMatrix(VectorToHPB(M.TransformDirection(d)), ROTATIONORDER_HPB);
    marker.off = M * p;
    DrawFanShape(size, marker, bd, blue);
    Matrix label = marker;
    label.off.y += 5.0;
    // Speeds beyond what a LONG holds are no number to show.
    const LONG digits = std::isfinite(v) && std::fabs(v) < 2.0e9 ? static_cast<LONG>(v) : 0;
    DrawVectorNumber(digits, 1.4 * size, 0.5 * size, v < 100.0 ? -0.25 * size : -0.5 * size, -0.375 * size, label,
                    bd, Vector(1.0, 1.0, 1.0));
  }
  drawnLength_ = arc->GetLength();
  SplineLengthData::Free(arc);
  return true;
}

Bool VantoRoute::Message(GeListNode* node, LONG type, void* data) {
  auto* tag = static_cast<BaseTag*>(node);
  BaseObject* host = tag ? tag->GetObject() : nullptr;
  if (!host) return true;
  BaseContainer& bc = *tag->GetDataInstance();
  if (type == MSG_POINTS_CHANGED) {
    if (drawnLength_ < 0.1 || host->GetType() != Ospline) return true;
    SplineLengthData* arc = SplineLengthData::Alloc();
    if (!arc) return true;
    const Real L = arc->Init(static_cast<SplineObject*>(host), 0) ? arc->GetLength() : 0.0;
    SplineLengthData::Free(arc);
    if (L > 0.0 && std::isfinite(L)) {
      RescaleRoutePositions(bc, drawnLength_ / L);
      // Several changes before the next draw must not scale the table again
      // against the old length.
      drawnLength_ = L;
    }
    return true;
  }
  if (type != MSG_DESCRIPTION_COMMAND || !data) return true;
  const LONG n = EntryCount(bc);
  switch (static_cast<const DescID*>(data)->operator[](0).id) {
    case ROUTETAG_SETUP_SWEEP:
      if (host->GetType() == Osweep) {
        BaseContainer& sc = *host->GetDataInstance();
        for (LONG id = SWEEP_FIRST_SETTING; id <= SWEEP_LAST_SETTING; ++id) sc.SetBool(id, false);
        sc.SetBool(1006, true);
        sc.SetBool(1008, true);
        sc.SetBool(1010, true);
        host->Message(MSG_UPDATE);
      }
      break;
    case ROUTETAG_APPEND:
      if (n >= kMaxRouteEntries) break;
      if (n == 0) {
        bc.SetReal(ROUTETAG_SPEED, 50.0);
        bc.SetReal(ROUTETAG_POSITION, 1.0);
      } else {
        bc.SetReal(ROUTETAG_SPEED + 2 * n, bc.GetReal(ROUTETAG_SPEED + 2 * (n - 1)));
        bc.SetReal(ROUTETAG_POSITION + 2 * n, bc.GetReal(ROUTETAG_POSITION + 2 * (n - 1)));
      }
      bc.SetLong(ROUTETAG_COUNT, n + 1);
      break;
    case ROUTETAG_REMOVE:
      if (n > 0) bc.SetLong(ROUTETAG_COUNT, n - 1);
      break;
    case ROUTETAG_SORT:
      SortRouteEntries(bc);
      break;
    default:
      break;
  }
  return true;
}

Bool VantoRoute::GetDEnabling(GeListNode* node, const DescID& id, const GeData&, LONG, const BaseContainer*) {
  auto* tag = static_cast<BaseTag*>(node);
  const BaseObject* host = tag ? tag->GetObject() : nullptr;
  if (!RouteHost(host)) return false;
  const LONG n = tag->GetDataInstance()->GetLong(ROUTETAG_COUNT);
  switch (id[0].id) {
    case ROUTETAG_SETUP_SWEEP: return host->GetType() == Osweep;
    case ROUTETAG_APPEND: return n < kMaxRouteEntries;
    case ROUTETAG_REMOVE: return n > 0;
    case ROUTETAG_SORT: return n > 1;
    default: return true;
  }
}

Bool VantoRoute::GetDDescription(GeListNode* node, Description* description, LONG& flags) {
  if (!node || !description) return false;
  if (!description->LoadDescription(ID_VANTOROUTE)) return false;
  const BaseContainer& bc = *static_cast<BaseList2D*>(node)->GetDataInstance();
  const String speedName = GeLoadString(IDS_ROUTE_SPEED);
  const String positionName = GeLoadString(IDS_ROUTE_POSITION);
  const DescID rows = DescID(DescLevel(ROUTETAG_ROWS, 0, 0));
  const LONG n = std::min(EntryCount(bc), kMaxRouteRows);
  for (LONG i = 0; i < n; ++i) {
    BaseContainer speed = GetCustomDataTypeDefault(DA_REAL);
    speed.SetString(DESC_NAME, speedName);
    speed.SetReal(DESC_MIN, 0.0);
    speed.SetReal(DESC_MAX, 1000.0);
    speed.SetReal(DESC_STEP, 5.0);
    speed.SetLong(DESC_UNIT, DESC_UNIT_REAL);
    speed.SetLong(DESC_ANIMATE, DESC_ANIMATE_OFF);
    speed.SetBool(DESC_SCALEH, false);
    if (!description->SetParameter(DescID(DescLevel(ROUTETAG_SPEED + 2 * i, DA_REAL, 0)), speed, rows))
      return false;
    BaseContainer position = GetCustomDataTypeDefault(DA_REAL);
    position.SetLong(DESC_CUSTOMGUI, CUSTOMGUI_REALSLIDER);
    position.SetString(DESC_NAME, positionName);
    position.SetReal(DESC_MIN, 0.01);
    position.SetReal(DESC_MAX, 1.0);
    position.SetReal(DESC_STEP, 0.001);
    position.SetLong(DESC_UNIT, DESC_UNIT_PERCENT);
    position.SetLong(DESC_ANIMATE, DESC_ANIMATE_OFF);
    position.SetBool(DESC_SCALEH, true);
    if (!description->SetParameter(DescID(DescLevel(ROUTETAG_POSITION + 2 * i, DA_REAL, 0)), position, rows))
      return false;
  }
  flags |= DESCFLAGS_DESC_LOADED;
  return TagData::GetDDescription(node, description, flags);
}

Bool RegisterVantoRoute() {
  return RegisterNodePlugin(PLUGINTYPE_TAG, ID_VANTOROUTE, nullptr, 10002, TAG_VISIBLE | TAG_EXPRESSION, VantoRoute::Alloc,
                            "TvantoRouteexp", "vantoRoute.tif");
}
