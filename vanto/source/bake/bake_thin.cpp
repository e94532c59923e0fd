#include "bake/bake_thin.h"

#include <cmath>
#include <optional>
#include <vector>

#include "bake/bake_keys.h"
#include "car/car_params.h"
#include "host_description.h"
#include "host_geometry.h"

namespace {

// The value curve of the node's track for id; never creates either.
CCurve* ExistingCurve(BaseList2D* node, const DescID& id) {
  CTrack* track = node ? node->FindCTrack(id) : nullptr;
  return track ? track->GetCurve(CCURVE_CURVE, false) : nullptr;
}

const PointLevelData* PointsOf(const GeData& d) {
  return static_cast<const PointLevelData*>(d.GetCustomDataType(CUSTOMDATATYPE_POINTLEVEL));
}

bool SamePoints(const PointLevelData* a, const PointLevelData* b) {
  if (!a || !b || a->GetPointCount() != b->GetPointCount()) return false;
  return PointsEqual(a->GetPointR(), b->GetPointR(), a->GetPointCount());
}

// Key i equals the reference by the rule of the reference's data type.
bool KeyEquals(const CKey& ref, const CKey& key) {
  const GeData& a = ref.GetGeData();
  const GeData& b = key.GetGeData();
  const LONG type = a.GetType();
  if (b.GetType() != type) return false;
  switch (type) {
    case DA_LONG:
      return a.GetLong() == b.GetLong();
    case DA_REAL:
      return std::fabs(a.GetReal() - b.GetReal()) < kThinRealTolerance;
    case DA_VECTOR: {
      const Vector va = a.GetVector(), vb = b.GetVector();
      return std::fabs(va.x - vb.x) < kThinVectorTolerance && std::fabs(va.y - vb.y) < kThinVectorTolerance &&
             std::fabs(va.z - vb.z) < kThinVectorTolerance;
    }
    case DA_STRING:
      return a.GetString() == b.GetString();
    default:
      if (PointsOf(a) || PointsOf(b)) return SamePoints(PointsOf(a), PointsOf(b));
      return std::fabs(ref.GetValue() - key.GetValue()) < kThinRealTolerance;
  }
}

// The walk of ThinTransformKeys and ThinPointKeys. read(i) gives key i's
// value, or nothing when it cannot be read; same(a, b) compares two values.
// Key i goes when it and the key after it both equal the reference (the last
// key that changed the value); a key that differs becomes the reference. An
// unreadable key i ends the walk; an unreadable key i + 1 lets key i go, or,
// with nextStops, ends the walk as well.
template <class Read, class Same>
void ThinByReference(CCurve* curve, bool nextStops, Read&& read, Same&& same) {
  if (!curve) return;
  LONG n = curve->GetKeyCount();
  if (n < 2 || !read(0)) return;
  LONG ref = 0;  // always before the keys deleted, so its index stays valid
  for (LONG i = 1; i < n;) {
    const auto r = read(ref);
    const auto k = read(i);
    if (!r || !k) return;
    if (!same(*r, *k)) {
      ref = i++;
      continue;
    }
    bool drop = i == n - 1;
    if (!drop) {
      const auto next = read(i + 1);
      if (!next && nextStops) return;
      drop = !next || same(*r, *next);
    }
    if (drop) {
      curve->DelKey(i);
      --n;
    } else {
      ++i;
    }
  }
}

// A point-level key's points, or null when the key holds none.
const PointLevelData* KeyPoints(const CKey* key) {
  GeData probe;
  if (!key || !key->GetParameter(DescID(DescLevel(ID_CKEY_POINTLEVEL_DATA, CUSTOMDATATYPE_POINTLEVEL, 0)), probe))
    return nullptr;
  return PointsOf(key->GetGeData());
}

template <class Fn>
void ForEachUserDataId(BaseList2D* node, Fn&& fn) {
  DynamicDescription* dd = node ? node->GetDynamicDescription() : nullptr;
  if (!dd) return;
  void* walk = dd->BrowseInit();
  if (!walk) return;
  // The ids first: the callbacks change the node's tracks, not its user data,
  // but the walk is released before any of them runs.
  std::vector<DescID> ids;
  DescID id;
  const BaseContainer* settings = nullptr;
  while (dd->BrowseGetNext(walk, &id, &settings)) ids.push_back(id);
  dd->BrowseFree(walk);
  for (const DescID& each : ids) fn(each);
}

}  // namespace

Bool PointsEqual(const Vector* a, const Vector* b, LONG n) {
  if (n < 1) return true;
  if (!a || !b) return false;
  for (LONG k = 0; k < n; ++k) {
    if (!(std::fabs(a[k].x - b[k].x) < kThinPointTolerance) || !(std::fabs(a[k].y - b[k].y) < kThinPointTolerance) ||
        !(std::fabs(a[k].z - b[k].z) < kThinPointTolerance))
      return false;
  }
  return true;
}

void ThinTrack(BaseList2D* node, const DescID& id) {
  CCurve* curve = ExistingCurve(node, id);
  if (!curve) return;
  LONG n = curve->GetKeyCount();
  if (n < 2 || !curve->GetKey(0)) return;
  // Keys are copied: deleting a key moves the others in memory.
  CKey ref = *curve->GetKey(0);
  for (LONG i = 1; i < n;) {
    const CKey* key = curve->GetKey(i);
    if (!key) return;
    const CKey* next = i < n - 1 ? curve->GetKey(i + 1) : nullptr;
    if (KeyEquals(ref, *key) && (!next || KeyEquals(ref, *next))) {
      curve->DelKey(i);
      --n;
    } else {
      ref = *key;
      ++i;
    }
  }
}

void ThinTransformKeys(BaseObject* op) {
  if (!op) return;
  for (LONG param : {ID_BASEOBJECT_REL_POSITION, ID_BASEOBJECT_REL_ROTATION}) {
    for (LONG c = 0; c < 3; ++c) {
      CCurve* curve = ExistingCurve(op, VectorComponentTrackId(param, c));
      ThinByReference(
          curve, false,
          [curve](LONG i) {
            const CKey* key = curve->GetKey(i);
            return key ? std::optional<Real>(key->GetValue()) : std::nullopt;
          },
          [](Real a, Real b) { return std::fabs(a - b) < kThinRealTolerance; });
    }
  }
}

void ThinPointKeys(BaseObject* op) {
  CCurve* curve = ExistingCurve(op, PointLevelTrackId());
  ThinByReference(
      curve, true,
      [curve](LONG i) {
        const PointLevelData* points = KeyPoints(curve->GetKey(i));
        return points ? std::optional<const PointLevelData*>(points) : std::nullopt;
      },
      [](const PointLevelData* a, const PointLevelData* b) { return SamePoints(a, b); });
}

void RewriteSkidMarkKeys(BaseDocument* doc, BaseObject* rail) {
  auto* spline = dynamic_cast<PointObject*>(rail);
  if (!spline) return;
  CTrack* track = rail->FindCTrack(PointLevelTrackId());
  CCurve* curve = track ? track->GetCurve(CCURVE_CURVE, false) : nullptr;
  if (!curve) return;
  const LONG n = curve->GetKeyCount();
  if (n < 2) return;
  const LONG pc = spline->GetPointCount();
  Vector* pts = spline->GetPointW();
  if (pc < 2 || !pts) return;
  for (LONG k = n - 2, j = pc - 1; k >= 0; --k, --j) {
    CKey* key = curve->GetKey(k);
    if (!key) return;
    const Vector p = pts[j - 1];
    for (LONG m = j; m < pc; ++m) pts[m] = Vector(p.x, p.y - 0.001 * static_cast<Real>(m - j + 1), p.z);
    rail->Message(MSG_UPDATE);
    if (!track->FillKey(doc, rail, key)) return;
    if (j - 2 < 0) return;
  }
}

void ThinVisibilityKeys(BaseObject* op) {
  ThinTrack(op, ParameterTrackId(ID_BASEOBJECT_VISIBILITY_EDITOR));
  ThinTrack(op, ParameterTrackId(ID_BASEOBJECT_VISIBILITY_RENDER));
}

void ThinParameter906Keys(BaseObject* op) { ThinTrack(op, ParameterTrackId(ID_BASEOBJECT_GENERATOR_FLAG)); }

void ThinParameterKeys(BaseList2D* node, LONG id) { ThinTrack(node, ParameterTrackId(id)); }

void ThinOutputKeys(BaseObject* car) {
  for (LONG id = CAR_OUTPUT_FIRST; id <= CAR_OUTPUT_LAST; ++id) ThinTrack(car, ParameterTrackId(id));
}

void ThinUserDataKeys(BaseList2D* node) {
  ForEachUserDataId(node, [node](const DescID& id) { ThinTrack(node, id); });
}

void DeleteTrack(BaseList2D* node, const DescID& id) {
  if (!node) return;
  CTrack* track = node->FindCTrack(id);
  if (!track) return;
  track->Remove();
  CTrack::Free(track);
}

void DeleteTransformTracks(BaseObject* op) {
  for (LONG param : {ID_BASEOBJECT_REL_POSITION, ID_BASEOBJECT_REL_ROTATION})
    for (LONG c = 0; c < 3; ++c) DeleteTrack(op, VectorComponentTrackId(param, c));
}

void DeleteVisibilityTracks(BaseObject* op) {
  DeleteTrack(op, ParameterTrackId(ID_BASEOBJECT_VISIBILITY_EDITOR));
  DeleteTrack(op, ParameterTrackId(ID_BASEOBJECT_VISIBILITY_RENDER));
}

void DeleteParameter906Track(BaseObject* op) { DeleteTrack(op, ParameterTrackId(ID_BASEOBJECT_GENERATOR_FLAG)); }

void DeleteParameterTrack(BaseList2D* node, LONG id) { DeleteTrack(node, ParameterTrackId(id)); }

void DeleteOutputTracks(BaseObject* car) {
  for (LONG id = CAR_OUTPUT_FIRST; id <= CAR_OUTPUT_LAST; ++id) DeleteTrack(car, ParameterTrackId(id));
}

void DeleteUserDataTracks(BaseList2D* node) {
  ForEachUserDataId(node, [node](const DescID& id) { DeleteTrack(node, id); });
}

void DeletePointTrack(BaseObject* op) { DeleteTrack(op, PointLevelTrackId()); }
