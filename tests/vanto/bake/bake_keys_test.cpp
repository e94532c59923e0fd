// The key writers of a bake and the baked-object test.
#include <gtest/gtest.h>

#include <vector>

#include "bake_test_support.h"
#include "bake/bake_keys.h"
#include "host_description.h"
#include "host_geometry.h"
#include "host_services.h"

using namespace baketest;

namespace {

class BakeKeys : public NullInDocumentTest {};

TEST_F(BakeKeys, VectorComponentsFollowTheMask) {
  const Vector value(1.5, -2.5, 3.5);
  struct Case {
    LONG mask;
    bool keyed[3];
  };
  for (const Case& c : {Case{0, {false, false, false}}, Case{2, {false, true, false}}, Case{5, {true, false, true}},
                        Case{7, {true, true, true}}}) {
    SCOPED_TRACE(c.mask);
    for (CTrack* t : std::vector<CTrack*>(op->Tracks())) CTrack::Free(t);
    EXPECT_TRUE(KeyVectorComponents(doc, op, At(3), ID_BASEOBJECT_REL_ROTATION, value, c.mask));
    const Real components[3] = {value.x, value.y, value.z};
    for (LONG k = 0; k < 3; ++k) {
      const CCurve* curve = Curve(op, VectorComponentTrackId(ID_BASEOBJECT_REL_ROTATION, k));
      ASSERT_EQ(curve != nullptr, c.keyed[k]) << "component " << k;
      if (!curve) continue;
      ASSERT_EQ(curve->GetKeyCount(), 1);
      EXPECT_EQ(curve->GetKey(0)->GetTime(), At(3));
      EXPECT_DOUBLE_EQ(curve->GetKey(0)->GetValue(), components[k]);
    }
    EXPECT_EQ(TrackCount(op), (c.mask & 1) + ((c.mask >> 1) & 1) + ((c.mask >> 2) & 1));
  }
}

// Keys written over frames play the recorded values back through the host's
// animation pass.
TEST_F(BakeKeys, RecordedTransformPlaysBack) {
  const Vector path[] = {{0, 0, 0}, {10, 1, 0}, {25, 2, 5}};
  for (LONG f = 0; f < 3; ++f) {
    op->SetRelPos(path[f]);
    op->SetRelRot(Vector(0.1 * f, 0.0, -0.2 * f));
    doc->SetTime(At(f));
    KeyVectorComponents(doc, op, doc->GetTime(), ID_BASEOBJECT_REL_POSITION, op->GetRelPos(), 7);
    KeyVectorComponents(doc, op, doc->GetTime(), ID_BASEOBJECT_REL_ROTATION, op->GetRelRot(), 7);
  }
  op->SetMl(Matrix());
  doc->SetTime(At(2));
  hostpass::Animate(doc);
  EXPECT_EQ(op->GetRelPos(), path[2]);
  EXPECT_NEAR(op->GetRelRot().x, 0.2, 1e-12);
  EXPECT_NEAR(op->GetRelRot().z, -0.4, 1e-12);
  EXPECT_TRUE(HasTransformTrack(op));
}

TEST_F(BakeKeys, WriteKeyTwiceAtOneTimeKeepsTheLaterValue) {
  BaseContainer* bc = op->GetDataInstance();
  bc->SetReal(4000, 1.0);
  EXPECT_TRUE(KeyContainerValue(doc, op, At(2), 4000));
  bc->SetReal(4000, 7.0);
  EXPECT_TRUE(KeyContainerValue(doc, op, At(2), 4000));
  const CCurve* c = Curve(op, ParameterTrackId(4000));
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->GetKeyCount(), 1);
  EXPECT_DOUBLE_EQ(c->GetKey(0)->GetValue(), 7.0);
}

// A key that cannot be filled leaves no empty key (it would play back as 0)
// and no empty track (it would make the object look baked).
TEST_F(BakeKeys, UnfillableKeyLeavesNothingBehind) {
  EXPECT_FALSE(KeyContainerValue(doc, op, At(1), 4001));  // no such parameter
  EXPECT_EQ(TrackCount(op), 0);

  op->GetDataInstance()->SetReal(4001, 2.0);
  ASSERT_TRUE(KeyContainerValue(doc, op, At(1), 4001));
  op->GetDataInstance()->RemoveData(4001);
  EXPECT_FALSE(KeyContainerValue(doc, op, At(2), 4001));
  EXPECT_EQ(KeyCount(op, ParameterTrackId(4001)), 1);  // the earlier key stays
}

TEST_F(BakeKeys, VisibilityAndEnabledSwitch) {
  op->SetEditorMode(MODE_OFF);
  op->SetRenderMode(MODE_ON);
  op->SetDeformMode(false);
  EXPECT_TRUE(KeyVisibility(doc, op, At(1)));
  EXPECT_TRUE(KeyParameter906(doc, op, At(1)));
  EXPECT_EQ(LongValues(Curve(op, ParameterTrackId(ID_BASEOBJECT_VISIBILITY_EDITOR))), std::vector<LONG>{MODE_OFF});
  EXPECT_EQ(LongValues(Curve(op, ParameterTrackId(ID_BASEOBJECT_VISIBILITY_RENDER))), std::vector<LONG>{MODE_ON});
  EXPECT_EQ(LongValues(Curve(op, ParameterTrackId(ID_BASEOBJECT_GENERATOR_FLAG))), std::vector<LONG>{0});
  // Only position and rotation make a baked object.
  EXPECT_FALSE(HasTransformTrack(op));
  EXPECT_TRUE(WriteKey(doc, op, At(1), DescID(DescLevel(ID_BASEOBJECT_REL_SCALE), DescLevel(VECTOR_Y))));
  EXPECT_FALSE(HasTransformTrack(op));
  EXPECT_FALSE(HasTransformTrack(nullptr));
}

TEST(BakeOutputs, GroupsAreKeyedInTheirOrder) {
  std::vector<LONG> all;
  ForEachOutputId(0x7f, [&](LONG id) { all.push_back(id); });
  std::vector<LONG> expected;
  auto range = [&](LONG a, LONG b) {
    for (LONG id = a; id <= b; ++id) expected.push_back(id);
  };
  range(2504, 2507);
  range(2500, 2503);
  range(2508, 2509);
  range(2510, 2533);
  range(2534, 2537);
  range(2544, 2553);
  range(2538, 2543);
  EXPECT_EQ(all, expected);
  EXPECT_EQ(all.size(), 54u);

  std::vector<LONG> none;
  ForEachOutputId(0x10, [&](LONG id) { none.push_back(id); });
  ForEachOutputId(0, [&](LONG id) { none.push_back(id); });
  EXPECT_TRUE(none.empty());
}

TEST_F(BakeKeys, OutputParametersKeyTheSelectedGroups) {
  BaseContainer* bc = op->GetDataInstance();
  for (LONG id = 2500; id <= 2553; ++id) bc->SetReal(id, id * 0.5);

  EXPECT_TRUE(KeyOutputParameters(doc, op, At(1), 0x10));
  EXPECT_TRUE(KeyOutputParameters(doc, op, At(1), 0));
  EXPECT_EQ(TrackCount(op), 0);

  EXPECT_TRUE(KeyOutputParameters(doc, op, At(1), 0x7f));
  EXPECT_EQ(TrackCount(op), 54);
  for (LONG id = 2500; id <= 2553; ++id) {
    const CCurve* c = Curve(op, ParameterTrackId(id));
    ASSERT_NE(c, nullptr) << id;
    EXPECT_DOUBLE_EQ(c->GetKey(0)->GetValue(), id * 0.5);
  }
}

// One output that cannot be read does not cost the later ones their keys.
TEST_F(BakeKeys, OutputFailureKeysTheRest) {
  BaseContainer* bc = op->GetDataInstance();
  for (LONG id = 2500; id <= 2553; ++id)
    if (id != 2505) bc->SetReal(id, 1.0);
  EXPECT_FALSE(KeyOutputParameters(doc, op, At(1), 0x03));
  EXPECT_EQ(KeyCount(op, ParameterTrackId(2505)), -1);
  for (LONG id : {2504, 2506, 2507, 2500, 2501, 2502, 2503, 2508, 2509}) EXPECT_EQ(KeyCount(op, ParameterTrackId(id)), 1) << id;
  EXPECT_EQ(TrackCount(op), 9);
}

TEST_F(BakeKeys, UserDataEntriesAreKeyed) {
  EXPECT_TRUE(KeyUserData(doc, op, At(1)));  // none: nothing to do
  EXPECT_EQ(TrackCount(op), 0);

  DynamicDescription* dd = op->GetDynamicDescription();
  const DescID speed = dd->Alloc(GetCustomDataTypeDefault(DA_REAL));
  const DescID label = dd->Alloc(GetCustomDataTypeDefault(DA_STRING));
  const DescID button = dd->Alloc(GetCustomDataTypeDefault(DTYPE_BUTTON));  // holds no value
  const DescID gear = dd->Alloc(GetCustomDataTypeDefault(DA_LONG));
  ASSERT_TRUE(op->SetParameter(speed, GeData(12.5)));
  ASSERT_TRUE(op->SetParameter(label, GeData(String("M1"))));
  ASSERT_TRUE(op->SetParameter(gear, GeData(3)));

  // The entry without a value fails the call; the entries after it are keyed
  // all the same.
  EXPECT_FALSE(KeyUserData(doc, op, At(1)));
  EXPECT_EQ(KeyCount(op, button), -1);
  ASSERT_EQ(KeyCount(op, speed), 1);
  EXPECT_DOUBLE_EQ(Curve(op, speed)->GetKey(0)->GetValue(), 12.5);
  ASSERT_EQ(KeyCount(op, label), 1);
  EXPECT_EQ(Curve(op, label)->GetKey(0)->GetGeData().GetString(), "M1");
  ASSERT_EQ(KeyCount(op, gear), 1);
  EXPECT_EQ(Curve(op, gear)->GetKey(0)->GetGeData().GetLong(), 3);
}

TEST_F(BakeKeys, PointPositionsKeyEveryPoint) {
  SplineObject* rail = Rail(doc, nullptr, 5);
  EXPECT_TRUE(KeyPointPositions(doc, rail, At(4)));
  // The host's point-level track: id and data type 100004812.
  const PointLevelData* pts = KeyPoints(Curve(rail, DescID(DescLevel(100004812, 100004812, 0))), 0);
  ASSERT_NE(pts, nullptr);
  ASSERT_EQ(pts->GetPointCount(), 5);
  EXPECT_EQ(pts->GetPointR()[4], Vector(4.0, 10.0, 0.0));
  // A null cannot hold points: no key and no track.
  EXPECT_FALSE(KeyPointPositions(doc, op, At(4)));
  EXPECT_EQ(TrackCount(op), 0);
}

}  // namespace
