// Small helpers of the bake tests: a document to key, reading back tracks
// and writing keys of known data.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "bake/bake_keys.h"
#include "host_animation.h"
#include "host_geometry.h"
#include "host_services.h"

namespace baketest {

// A document holding one Null, the object the keys are written on.
class NullInDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlog::SetQuiet(true);
    doc = BaseDocument::Alloc();
    op = BaseObject::Alloc(Onull);
    doc->InsertObject(op, nullptr, nullptr);
  }
  void TearDown() override { BaseDocument::Free(doc); }

  BaseDocument* doc = nullptr;
  BaseObject* op = nullptr;
};

inline BaseTime At(LONG f, LONG fps = 30) { return BaseTime(static_cast<Real>(f), static_cast<Real>(fps)); }

// The curve of the node's track for id, or null.
inline const CCurve* Curve(const BaseList2D* node, const DescID& id) {
  const CTrack* t = node ? node->FindCTrack(id) : nullptr;
  return t ? t->GetCurve() : nullptr;
}
inline LONG KeyCount(const BaseList2D* node, const DescID& id) {
  const CCurve* c = Curve(node, id);
  return c ? c->GetKeyCount() : -1;  // -1: no track
}
inline LONG TrackCount(const BaseList2D* node) { return static_cast<LONG>(node->Tracks().size()); }

// A track of keys at frames 0, 1, 2 ... holding data[i].
inline CCurve* MakeTrack(BaseList2D* node, const DescID& id, const std::vector<GeData>& data) {
  CTrack* track = FindOrAttachTrack(node, id);
  CCurve* curve = track->GetCurve();
  for (size_t i = 0; i < data.size(); ++i) curve->AddKey(At(static_cast<LONG>(i)))->SetGeData(data[i]);
  return curve;
}

inline std::vector<GeData> Longs(std::initializer_list<int> v) {
  std::vector<GeData> out;
  for (int x : v) out.emplace_back(x);
  return out;
}
inline std::vector<GeData> Reals(std::initializer_list<double> v) {
  std::vector<GeData> out;
  for (double x : v) out.emplace_back(x);
  return out;
}

// The Real values of a curve's keys.
inline std::vector<double> Values(const CCurve* c) {
  std::vector<double> out;
  if (c)
    for (const CKey& k : c->Keys()) out.push_back(k.GetValue());
  return out;
}
inline std::vector<LONG> LongValues(const CCurve* c) {
  std::vector<LONG> out;
  if (c)
    for (const CKey& k : c->Keys()) out.push_back(k.GetGeData().GetLong());
  return out;
}

// A spline of n points (x = index, y = 10) under parent.
inline SplineObject* Rail(BaseDocument* doc, BaseObject* parent, LONG n) {
  SplineObject* s = SplineObject::Alloc(n, 0);
  doc->InsertObject(s, parent, nullptr);
  Vector* p = s->GetPointW();
  for (LONG i = 0; i < n; ++i) p[i] = Vector(static_cast<Real>(i), 10.0, 0.0);
  return s;
}

inline const PointLevelData* KeyPoints(const CCurve* c, LONG i) {
  const CKey* k = c ? c->GetKey(i) : nullptr;
  return k ? static_cast<const PointLevelData*>(k->GetGeData().GetCustomDataType(CUSTOMDATATYPE_POINTLEVEL))
           : nullptr;
}

}  // namespace baketest
