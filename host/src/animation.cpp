#include <algorithm>

#include "host_animation.h"
#include "host_geometry.h"
#include "node_factory.h"

// ---------------------------------------------------------------- point-level data

namespace hostanim {
namespace {
// The host's point objects: keys hold their points; playing a key of another
// point count resizes the object to it.
PointAccess DefaultAccess() {
  PointAccess a;
  a.read = [](BaseList2D* node, std::vector<Vector>& out) -> Bool {
    auto* po = dynamic_cast<PointObject*>(node);
    if (!po) return false;
    const Vector* p = po->GetPointR();
    out.assign(p, p + (p ? po->GetPointCount() : 0));
    return true;
  };
  a.write = [](BaseList2D* node, const std::vector<Vector>& in) -> Bool {
    auto* po = dynamic_cast<PointObject*>(node);
    if (!po) return false;
    if (po->GetPointCount() != static_cast<LONG>(in.size()) && !po->ResizePoints(static_cast<LONG>(in.size())))
      return false;
    if (Vector* p = po->GetPointW()) std::copy(in.begin(), in.end(), p);
    po->Message(MSG_UPDATE);
    return true;
  };
  return a;
}
PointAccess& Access() {
  static PointAccess access = DefaultAccess();
  return access;
}
}  // namespace
void SetPointAccess(const PointAccess& access) { Access() = access.read || access.write ? access : DefaultAccess(); }
const PointAccess& GetPointAccess() { return Access(); }
}  // namespace hostanim

static bool IsPointTrack(const DescID& id) { return id.GetDepth() >= 1 && id[0].id == ID_POINTLEVEL_TRACK; }

// ---------------------------------------------------------------- CKey

static bool IsNumeric(LONG type) { return type == DA_REAL || type == DA_LONG || type == DA_LLONG; }

void CKey::SetValue(Real v) {
  value_ = v;
  switch (data_.GetType()) {
    case DA_NIL:
    case DA_REAL: data_ = GeData(v); break;
    case DA_LONG: data_ = GeData(static_cast<int>(std::lround(v))); break;
    case DA_LLONG: data_ = GeData(static_cast<LLONG>(std::llround(v))); break;
    default: break;
  }
}

void CKey::SetGeData(const GeData& d) {
  data_ = d;
  if (IsNumeric(d.GetType())) value_ = d.GetReal();
}

Bool CKey::GetParameter(const DescID& id, GeData& out) const {
  if (id.GetDepth() < 1 || id[0].id != ID_CKEY_POINTLEVEL_DATA) return false;
  if (!data_.GetCustomDataType(CUSTOMDATATYPE_POINTLEVEL)) return false;
  out = data_;
  return true;
}

// ---------------------------------------------------------------- CCurve

LONG CCurve::FindKeyBefore(const BaseTime& t) const {
  // Keys are sorted: the first key after t, minus one.
  auto it = std::upper_bound(keys_.begin(), keys_.end(), t,
                             [](const BaseTime& time, const CKey& k) { return time < k.GetTime(); });
  return static_cast<LONG>(it - keys_.begin()) - 1;
}

CKey* CCurve::FindKey(const BaseTime& time, LONG* idx) {
  LONG i = FindKeyBefore(time);
  if (i >= 0 && keys_[static_cast<size_t>(i)].GetTime() == time) {
    if (idx) *idx = i;
    return &keys_[static_cast<size_t>(i)];
  }
  return nullptr;
}

CKey* CCurve::AddKey(const BaseTime& time, LONG* idx) {
  if (CKey* k = FindKey(time, idx)) return k;
  LONG at = FindKeyBefore(time) + 1;
  CKey key;
  key.SetTime(time);
  auto it = keys_.insert(keys_.begin() + at, key);
  if (idx) *idx = at;
  return &*it;
}

Bool CCurve::DelKey(LONG idx) {
  if (idx < 0 || idx >= GetKeyCount()) return false;
  keys_.erase(keys_.begin() + idx);
  return true;
}

static Real Fraction(const CKey& a, const CKey& b, const BaseTime& t) {
  Real ta = a.GetTime().Get(), tb = b.GetTime().Get();
  if (!(tb > ta)) return 0.0;
  return std::clamp((t.Get() - ta) / (tb - ta), 0.0, 1.0);
}

Real CCurve::GetValue(const BaseTime& t) const {
  if (keys_.empty()) return 0.0;
  LONG i = FindKeyBefore(t);
  if (i < 0) return keys_.front().GetValue();
  if (i >= GetKeyCount() - 1) return keys_.back().GetValue();
  const CKey& a = keys_[static_cast<size_t>(i)];
  const CKey& b = keys_[static_cast<size_t>(i) + 1];
  return a.GetValue() + (b.GetValue() - a.GetValue()) * Fraction(a, b, t);
}

// ---------------------------------------------------------------- CTrack

CTrack* CTrack::Alloc(BaseList2D* node, const DescID& id) {
  if (!node || id.GetDepth() < 1) return nullptr;
  return new CTrack(node, id);
}

void CTrack::Free(CTrack*& track) {
  if (!track) return;
  track->Remove();
  delete track;
  track = nullptr;
}

void CTrack::Remove() {
  if (!owner_) return;
  auto& list = owner_->Tracks();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

CCurve* CTrack::GetCurve(LONG type, Bool) { return type == CCURVE_CURVE ? &curve_ : nullptr; }

Bool CTrack::FillKey(BaseDocument*, BaseList2D* node, CKey* key) {
  if (!node || !key) return false;
  if (IsPointTrack(id_)) {
    const auto& access = hostanim::GetPointAccess();
    std::vector<Vector> points;
    if (!access.read || !access.read(node, points)) return false;
    key->SetGeData(GeData(PointLevelData(std::move(points))));
    return true;
  }
  GeData value;
  if (!node->GetParameter(id_, value, 0) || value.IsNil()) return false;
  key->SetGeData(value);
  return true;
}

Bool CTrack::Animate(BaseList2D* node, const BaseTime& t) {
  if (!node || curve_.Keys().empty()) return false;
  const auto& keys = curve_.Keys();
  LONG i = curve_.FindKeyBefore(t);
  const CKey& a = keys[static_cast<size_t>(std::max<LONG>(i, 0))];
  const bool between = i >= 0 && i < curve_.GetKeyCount() - 1;
  const CKey* b = between ? &keys[static_cast<size_t>(i) + 1] : nullptr;
  const Real f = b ? Fraction(a, *b, t) : 0.0;
  const GeData& da = a.GetGeData();

  if (IsPointTrack(id_)) {
    const auto& access = hostanim::GetPointAccess();
    auto* pa = static_cast<const PointLevelData*>(da.GetCustomDataType(CUSTOMDATATYPE_POINTLEVEL));
    if (!access.write || !pa) return false;
    std::vector<Vector> points = pa->Points();
    auto* pb = b ? static_cast<const PointLevelData*>(b->GetGeData().GetCustomDataType(CUSTOMDATATYPE_POINTLEVEL))
                 : nullptr;
    if (pb && pb->GetPointCount() == pa->GetPointCount())
      for (size_t k = 0; k < points.size(); ++k) points[k] += (pb->Points()[k] - points[k]) * f;
    return access.write(node, points);
  }

  GeData value;
  switch (da.GetType()) {
    case DA_NIL:
    case DA_REAL:
      value = GeData(b ? a.GetValue() + (b->GetValue() - a.GetValue()) * f : a.GetValue());
      break;
    case DA_VECTOR: {
      Vector va = da.GetVector();
      value = GeData(b && b->GetGeData().GetType() == DA_VECTOR ? va + (b->GetGeData().GetVector() - va) * f : va);
      break;
    }
    default:
      value = da;  // switches, texts and links hold until the next key
      break;
  }
  return node->SetParameter(id_, value, 0);
}

// ---------------------------------------------------------------- BaseList2D

CTrack* BaseList2D::FindCTrack(const DescID& id) const {
  for (CTrack* t : tracks_)
    if (t->GetDescriptionID() == id) return t;
  return nullptr;
}

Bool BaseList2D::InsertTrackSorted(CTrack* track) {
  if (!track) return false;
  if (track->owner_ == this && std::find(tracks_.begin(), tracks_.end(), track) != tracks_.end()) return true;
  if (FindCTrack(track->GetDescriptionID())) return false;
  track->Remove();
  track->owner_ = this;
  auto at = std::upper_bound(tracks_.begin(), tracks_.end(), track, [](const CTrack* a, const CTrack* b) {
    return a->GetDescriptionID() < b->GetDescriptionID();
  });
  tracks_.insert(at, track);
  return true;
}

namespace hostanim {
void AnimateNode(BaseList2D* node, const BaseTime& t) {
  if (!node) return;
  if (!node->Tracks().empty()) {
    // A copy: a parameter set may not add or remove tracks, but be safe if it does.
    std::vector<CTrack*> tracks = node->Tracks();
    for (CTrack* tr : tracks) tr->Animate(node, t);
  }
  if (auto* op = HostNodeFactory::AsObject(node))
    for (BaseTag* tag = op->GetFirstTag(); tag; tag = tag->GetNext()) AnimateNode(tag, t);
}
}  // namespace hostanim
