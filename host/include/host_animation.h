// Animation tracks, curves and keys.
//
// A track belongs to one node and names one parameter by its DescID. Its
// curve holds keys in ascending time order, at most one key per time. A key
// carries a Real value (what numeric tracks interpolate) and the parameter's
// value as GeData (its type tells how the track is played back):
//   - Real or no data: linear between keys;
//   - Vector: linear per component;
//   - point-level data (the point track): linear per point when both keys
//     hold as many points, else held;
//   - anything else (LONG switches, strings, links): held from a key until
//     the next one.
// Before the first key the first key's value holds, after the last the last.
#pragma once

#include <functional>
#include <vector>

#include "host_scene.h"

// The point-level track: every point of a point object in one key.
enum : LONG {
  ID_POINTLEVEL_TRACK = 100004812,
  CUSTOMDATATYPE_POINTLEVEL = 100004811,
  // The numbers scenes baked by earlier builds carry; read as the two above.
  ID_POINTLEVEL_TRACK_OLD = 1090002,
  CUSTOMDATATYPE_POINTLEVEL_OLD = 1090001,
  // The key parameter that holds a point-level key's points.
  ID_CKEY_POINTLEVEL_DATA = 10003,
};
enum : LONG { CCURVE_CURVE = 1 };

// Points of one point-level key.
class PointLevelData : public CustomDataType {
 public:
  PointLevelData() = default;
  explicit PointLevelData(std::vector<Vector> points) : points_(std::move(points)) {}
  LONG GetTypeId() const override { return CUSTOMDATATYPE_POINTLEVEL; }
  std::unique_ptr<CustomDataType> Clone() const override { return std::make_unique<PointLevelData>(points_); }
  bool Equals(const CustomDataType& other) const override;

  LONG GetPointCount() const { return static_cast<LONG>(points_.size()); }
  const Vector* GetPointR() const { return points_.data(); }
  Vector* GetPointW() { return points_.data(); }
  std::vector<Vector>& Points() { return points_; }
  const std::vector<Vector>& Points() const { return points_; }

 private:
  std::vector<Vector> points_;
};

class CCurve;

class CKey {
 public:
  BaseTime GetTime() const { return time_; }
  void SetTime(const BaseTime& t) { time_ = t; }
  Real GetValue() const { return value_; }
  // Sets the Real value; a key whose data is numeric (or empty) follows it.
  void SetValue(Real v);
  void SetValue(CCurve* /*curve*/, Real v) { SetValue(v); }
  const GeData& GetGeData() const { return data_; }
  // Sets the data; numeric data sets the Real value too.
  void SetGeData(const GeData& d);
  void SetGeData(CCurve* /*curve*/, const GeData& d) { SetGeData(d); }
  // The point-level key's points as ID_CKEY_POINTLEVEL_DATA; false for any
  // other id or when the key holds no point data.
  Bool GetParameter(const DescID& id, GeData& out) const;

 private:
  BaseTime time_;
  Real value_ = 0.0;
  GeData data_;
};

class CCurve {
 public:
  LONG GetKeyCount() const { return static_cast<LONG>(keys_.size()); }
  CKey* GetKey(LONG i) { return i >= 0 && i < GetKeyCount() ? &keys_[static_cast<size_t>(i)] : nullptr; }
  const CKey* GetKey(LONG i) const { return i >= 0 && i < GetKeyCount() ? &keys_[static_cast<size_t>(i)] : nullptr; }
  // The key at exactly that time when there is one (its index in idx), else
  // a new key inserted in time order. Pointers to keys stay valid only until
  // the next key is added or deleted.
  CKey* AddKey(const BaseTime& time, LONG* idx = nullptr);
  // Removes key idx; the later keys move down by one. False out of range.
  Bool DelKey(LONG idx);
  // The key at exactly that time, or null.
  CKey* FindKey(const BaseTime& time, LONG* idx = nullptr);
  void FlushKeys() { keys_.clear(); }
  // The curve's Real value at time t (linear between keys); 0 without keys.
  Real GetValue(const BaseTime& t) const;
  // Index of the last key at or before t, -1 when t lies before every key.
  LONG FindKeyBefore(const BaseTime& t) const;

  // Raw access for the scene file: keys must stay sorted by time.
  std::vector<CKey>& Keys() { return keys_; }
  const std::vector<CKey>& Keys() const { return keys_; }

 private:
  std::vector<CKey> keys_;
};

class CTrack {
 public:
  CTrack(BaseList2D* owner, const DescID& id) : owner_(owner), id_(id) {}
  virtual ~CTrack();
  CTrack(const CTrack&) = delete;
  CTrack& operator=(const CTrack&) = delete;

  // A new track for that node and parameter, not yet attached (see
  // BaseList2D::InsertTrackSorted); null for a null node or an empty id.
  static CTrack* Alloc(BaseList2D* node, const DescID& id);
  // Detaches the track from its node when attached, deletes it, nulls it.
  static void Free(CTrack*& track);

  const DescID& GetDescriptionID() const { return id_; }
  BaseList2D* GetObject() const { return owner_; }
  // The value curve. Every track has exactly one, so create changes nothing;
  // other curve types than CCURVE_CURVE give null.
  CCurve* GetCurve(LONG type = CCURVE_CURVE, Bool create = true);
  const CCurve* GetCurve() const { return &curve_; }

  // Fills key with the node's current value of this track's parameter
  // (the point positions for the point-level track). False when the value
  // cannot be read.
  Bool FillKey(BaseDocument* doc, BaseList2D* node, CKey* key);
  // Sets the node's parameter to the track's value at time t. False when the
  // curve has no key or the node refuses the value.
  Bool Animate(BaseList2D* node, const BaseTime& t);
  // Takes the track off its node's list (the caller then owns it).
  void Remove();

 private:
  friend class BaseList2D;
  BaseList2D* owner_;
  DescID id_;
  CCurve curve_;
};

namespace hostanim {
// How the point-level track reads and writes a node's points. The default
// serves the host's point objects (a key of another point count resizes the
// object); an access without functions restores the default.
struct PointAccess {
  std::function<Bool(BaseList2D*, std::vector<Vector>&)> read;
  std::function<Bool(BaseList2D*, const std::vector<Vector>&)> write;
};
void SetPointAccess(const PointAccess& access);
const PointAccess& GetPointAccess();

// Applies every track of the node (and, for objects, of their tags) at time t.
void AnimateNode(BaseList2D* node, const BaseTime& t);
}  // namespace hostanim
