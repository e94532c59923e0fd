// Thinning and deleting recorded tracks, and the skid-mark key rewrite.
#include <gtest/gtest.h>

#include <vector>

#include "bake_test_support.h"
#include "bake/bake_keys.h"
#include "bake/bake_thin.h"
#include "host_description.h"
#include "host_geometry.h"
#include "host_services.h"

using namespace baketest;

namespace {

class BakeThin : public NullInDocumentTest {};

const DescID kParam = ParameterTrackId(4100);

TEST_F(BakeThin, TrackOfLongs) {
  struct Case {
    std::vector<GeData> keys;
    std::vector<LONG> left;
  };
  const Case cases[] = {
      {Longs({}), {}},
      {Longs({4}), {4}},
      {Longs({1, 1}), {1}},
      {Longs({1, 2}), {1, 2}},
      {Longs({1, 1, 1, 2, 2}), {1, 1, 2}},
      {Longs({5, 5, 5, 5, 6, 5, 5}), {5, 5, 6, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.left));
    DeleteTrack(op, kParam);
    MakeTrack(op, kParam, c.keys);
    ThinTrack(op, kParam);
    EXPECT_EQ(LongValues(Curve(op, kParam)), c.left);
  }
}

// The kept key becomes the reference under ThinTrack; the transform rule
// keeps the reference until the value has moved past the tolerance.
TEST_F(BakeThin, RealsUnderBothRules) {
  const auto keys = Reals({0.0, 0.0009, 0.0018, 0.0018, 0.0018});
  MakeTrack(op, kParam, keys);
  ThinTrack(op, kParam);
  EXPECT_EQ(Values(Curve(op, kParam)), (std::vector<double>{0.0, 0.0009}));

  const DescID y = VectorComponentTrackId(ID_BASEOBJECT_REL_POSITION, 1);
  MakeTrack(op, y, keys);
  ThinTransformKeys(op);
  EXPECT_EQ(Values(Curve(op, y)), (std::vector<double>{0.0, 0.0009, 0.0018}));

  // A still stretch keeps the keys at its two ends.
  const DescID h = VectorComponentTrackId(ID_BASEOBJECT_REL_ROTATION, 0);
  MakeTrack(op, h, Reals({0.0, 1.0, 1.0, 1.0, 1.0, 2.0}));
  ThinTransformKeys(op);
  EXPECT_EQ(Values(Curve(op, h)), (std::vector<double>{0.0, 1.0, 1.0, 2.0}));
}

TEST_F(BakeThin, TolerancesAreStrict) {
  struct Case {
    GeData a, b;
    bool equal;
  };
  const Case cases[] = {
      {GeData(Vector(0, 0, 0)), GeData(Vector(0.01, 0, 0)), false},
      {GeData(Vector(0, 0, 0)), GeData(Vector(0, 0.0099, -0.0099)), true},
      {GeData(0.0), GeData(0.001), false},
      {GeData(0.0), GeData(-0.0009), true},
      {GeData(String("a")), GeData(String("a")), true},
      {GeData(String("a")), GeData(String("A")), false},
      {GeData(1), GeData(1.0), false},  // another data type never equals
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.equal));
    DeleteTrack(op, kParam);
    MakeTrack(op, kParam, {c.a, c.b});
    ThinTrack(op, kParam);
    EXPECT_EQ(KeyCount(op, kParam), c.equal ? 1 : 2);
  }
}

TEST_F(BakeThin, StringUserDataKeepsEveryChange) {
  DynamicDescription* dd = op->GetDynamicDescription();
  const DescID text = dd->Alloc(GetCustomDataTypeDefault(DA_STRING));
  std::vector<GeData> keys;
  for (const char* s : {"A", "A", "A", "B", "B", "A"}) keys.emplace_back(String(s));
  MakeTrack(op, text, keys);
  ThinUserDataKeys(op);
  std::vector<std::string> left;
  for (const CKey& k : Curve(op, text)->Keys()) left.push_back(k.GetGeData().GetString());
  EXPECT_EQ(left, (std::vector<std::string>{"A", "A", "B", "B", "A"}));
}

TEST_F(BakeThin, PointKeysCompareWholeArrays) {
  SplineObject* s = Rail(doc, nullptr, 3);
  auto points = [](std::vector<Vector> v) { return GeData(PointLevelData(std::move(v))); };
  const std::vector<Vector> a = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  // (moved differs by exactly the tolerance, which counts as different)
  std::vector<Vector> near = a;
  near[2].y += 0.0009;
  std::vector<Vector> moved = a;
  moved[0].z = 0.001;
  const std::vector<Vector> longer = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
  const std::vector<Vector> shorter = {{0, 0, 0}};

  MakeTrack(s, PointLevelTrackId(), {points(a), points(near), points(a), points(moved), points(moved)});
  ThinPointKeys(s);
  ASSERT_EQ(KeyCount(s, PointLevelTrackId()), 3);
  EXPECT_EQ(KeyPoints(Curve(s, PointLevelTrackId()), 1)->Points(), a);
  EXPECT_EQ(KeyPoints(Curve(s, PointLevelTrackId()), 2)->Points(), moved);

  // Arrays of other lengths than the object's are compared as they are:
  // never read past their end, and never equal to an array of another length.
  DeleteTrack(s, PointLevelTrackId());
  MakeTrack(s, PointLevelTrackId(), {points(a), points(shorter), points(longer), points(longer)});
  ThinPointKeys(s);
  EXPECT_EQ(KeyCount(s, PointLevelTrackId()), 3);

  // A key without points ends the walk.
  DeleteTrack(s, PointLevelTrackId());
  MakeTrack(s, PointLevelTrackId(), {points(a), GeData(1.0), points(a), points(a)});
  ThinPointKeys(s);
  EXPECT_EQ(KeyCount(s, PointLevelTrackId()), 4);
}

TEST(BakePoints, PointsEqual) {
  const Vector a[] = {{0, 0, 0}, {0, 0, 0}};
  const Vector b[] = {{0, 0, 0.0009}, {0, -0.0009, 0}};
  const Vector c[] = {{0, 0, 0}, {0.001, 0, 0}};
  EXPECT_TRUE(PointsEqual(a, b, 2));
  EXPECT_FALSE(PointsEqual(a, c, 2));
  EXPECT_TRUE(PointsEqual(a, c, 1));
  EXPECT_TRUE(PointsEqual(a, c, 0));
  EXPECT_TRUE(PointsEqual(nullptr, nullptr, 0));
}

// Nothing to thin or delete is no work: no track or curve appears.
TEST_F(BakeThin, NothingRecordedIsANoOp) {
  SplineObject* s = Rail(doc, nullptr, 4);
  ThinTransformKeys(op);
  ThinVisibilityKeys(op);
  ThinParameter906Keys(op);
  ThinOutputKeys(op);
  ThinUserDataKeys(op);
  ThinPointKeys(s);
  RewriteSkidMarkKeys(doc, s);
  DeleteTransformTracks(op);
  DeletePointTrack(s);
  ThinTransformKeys(nullptr);
  ThinPointKeys(nullptr);
  RewriteSkidMarkKeys(doc, nullptr);
  EXPECT_EQ(TrackCount(op), 0);
  EXPECT_EQ(TrackCount(s), 0);
  EXPECT_EQ(s->GetPointCount(), 4);
}

// Each earlier key shows the rail one point shorter, the cut points stacked
// 0.001 below the last point kept; the last key is not touched.
TEST_F(BakeThin, SkidMarkKeysGrowKeyByKey) {
  SplineObject* rail = Rail(doc, nullptr, 10);
  const std::vector<Vector> full(rail->GetPointR(), rail->GetPointR() + 10);
  std::vector<GeData> keys;
  for (int k = 0; k < 3; ++k) keys.emplace_back(PointLevelData(full));
  keys[2] = GeData(PointLevelData(std::vector<Vector>(10, Vector(-5, -5, -5))));  // recorded last
  MakeTrack(rail, PointLevelTrackId(), keys);

  RewriteSkidMarkKeys(doc, rail);
  const CCurve* c = Curve(rail, PointLevelTrackId());
  ASSERT_EQ(c->GetKeyCount(), 3);
  EXPECT_EQ(KeyPoints(c, 2)->GetPointR()[0], Vector(-5, -5, -5));

  const std::vector<Vector>& k1 = KeyPoints(c, 1)->Points();
  ASSERT_EQ(k1.size(), 10u);
  for (LONG i = 0; i < 9; ++i) EXPECT_EQ(k1[i], full[i]) << i;
  EXPECT_EQ(k1[9], Vector(8.0, 10.0 - 0.001, 0.0));

  const std::vector<Vector>& k0 = KeyPoints(c, 0)->Points();
  for (LONG i = 0; i < 8; ++i) EXPECT_EQ(k0[i], full[i]) << i;
  EXPECT_EQ(k0[8], Vector(7.0, 10.0 - 0.001, 0.0));
  EXPECT_EQ(k0[9], Vector(7.0, 10.0 - 0.002, 0.0));
  // The rail is left as the last key written shows it.
  EXPECT_EQ(rail->GetPointR()[9], k0[9]);
}

// More keys than points: the rewrite stops once the rail is down to one point.
TEST_F(BakeThin, SkidMarkRewriteStopsAtTheFirstPoint) {
  SplineObject* rail = Rail(doc, nullptr, 3);
  std::vector<GeData> keys;
  for (int k = 0; k < 5; ++k) keys.emplace_back(PointLevelData(std::vector<Vector>(1, Vector(k, 0, 0))));
  MakeTrack(rail, PointLevelTrackId(), keys);
  RewriteSkidMarkKeys(doc, rail);
  const CCurve* c = Curve(rail, PointLevelTrackId());
  EXPECT_EQ(KeyPoints(c, 3)->GetPointCount(), 3);  // rewritten
  EXPECT_EQ(KeyPoints(c, 2)->GetPointCount(), 3);  // rewritten, down to point 0
  EXPECT_EQ(KeyPoints(c, 1)->GetPointCount(), 1);  // as recorded
  EXPECT_EQ(KeyPoints(c, 2)->Points()[2], Vector(0.0, 10.0 - 0.002, 0.0));
}

TEST_F(BakeThin, DeleteRemovesOnlyItsTracks) {
  for (LONG c = 0; c < 3; ++c) {
    MakeTrack(op, VectorComponentTrackId(ID_BASEOBJECT_REL_POSITION, c), Reals({1.0}));
    MakeTrack(op, VectorComponentTrackId(ID_BASEOBJECT_REL_ROTATION, c), Reals({1.0}));
  }
  MakeTrack(op, DescID(DescLevel(ID_BASEOBJECT_REL_SCALE), DescLevel(VECTOR_X)), Reals({1.0}));
  MakeTrack(op, ParameterTrackId(ID_BASEOBJECT_VISIBILITY_EDITOR), Longs({0}));
  MakeTrack(op, ParameterTrackId(2500), Reals({1.0}));
  DeleteTransformTracks(op);
  EXPECT_FALSE(HasTransformTrack(op));
  EXPECT_EQ(TrackCount(op), 3);
  DeleteVisibilityTracks(op);
  DeleteOutputTracks(op);
  EXPECT_EQ(TrackCount(op), 1);  // scale stays
}

}  // namespace
