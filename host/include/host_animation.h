// Animation tracks, curves and keys.
#pragma once

#include <vector>

#include "host_scene.h"

class CKey {
 public:
  BaseTime GetTime() const { return time_; }
  void SetTime(const BaseTime& t) { time_ = t; }
  Real GetValue() const { return value_; }
  void SetValue(Real v) { value_ = v; }
  const GeData& GetGeData() const { return data_; }
  void SetGeData(const GeData& d) { data_ = d; }

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
  std::vector<CKey>& Keys() { return keys_; }
  const std::vector<CKey>& Keys() const { return keys_; }

 private:
  std::vector<CKey> keys_;
};

class CTrack {
 public:
  CTrack(BaseList2D* owner, const DescID& id) : owner_(owner), id_(id) {}
  virtual ~CTrack();
  const DescID& GetDescriptionID() const { return id_; }
  BaseList2D* GetObject() const { return owner_; }
  CCurve* GetCurve() { return &curve_; }
  const CCurve* GetCurve() const { return &curve_; }

 private:
  BaseList2D* owner_;
  DescID id_;
  CCurve curve_;
};
