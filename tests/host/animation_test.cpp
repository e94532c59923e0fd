// Animation tracks, curves and keys, and the animation pass that plays them.
#include <gtest/gtest.h>

#include <map>

#include "host_animation.h"
#include "host_description.h"
#include "host_geometry.h"
#include "host_scenefile.h"

namespace {

BaseTime Sec(Real s) { return BaseTime(s * 30.0, 30.0); }

DescID Component(LONG param, LONG c) { return DescID(DescLevel(param, DA_VECTOR, 0), DescLevel(c, DA_REAL, 0)); }

// What a recorder does: find or create the track, add a key at t, fill it.
CKey* WriteKey(BaseDocument* doc, BaseList2D* node, const BaseTime& t, const DescID& id) {
  CTrack* tr = node->FindCTrack(id);
  if (!tr) {
    tr = CTrack::Alloc(node, id);
    if (!tr || !node->InsertTrackSorted(tr)) return nullptr;
  }
  CKey* key = tr->GetCurve()->AddKey(t);
  if (!key || !tr->FillKey(doc, node, key)) return nullptr;
  return key;
}

struct Scene : ::testing::Test {
  BaseDocument* doc = BaseDocument::Alloc();
  BaseObject* op = BaseObject::Alloc(Onull);
  void SetUp() override {
    doc->SetFps(30);
    doc->InsertObject(op, nullptr, nullptr);
  }
  void TearDown() override {
    hostanim::SetPointAccess({});
    BaseDocument::Free(doc);
  }
  void PlayAt(Real seconds) {
    doc->SetTime(Sec(seconds));
    doc->ExecutePasses(nullptr, true, false, false);
  }
};

TEST(Curve, KeysStaySortedAndUniquePerTime) {
  CCurve c;
  for (Real s : {2.0, 0.0, 1.0}) c.AddKey(Sec(s))->SetValue(s * 10);
  ASSERT_EQ(c.GetKeyCount(), 3);
  for (LONG i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(c.GetKey(i)->GetValue(), i * 10.0);

  // A key at an existing time (also written as another fraction) is that key.
  LONG idx = -1;
  CKey* again = c.AddKey(BaseTime(1.0, 1.0), &idx);
  EXPECT_EQ(idx, 1);
  EXPECT_DOUBLE_EQ(again->GetValue(), 10.0);
  EXPECT_EQ(c.GetKeyCount(), 3);

  // Deleting moves the later keys down.
  EXPECT_TRUE(c.DelKey(0));
  EXPECT_DOUBLE_EQ(c.GetKey(0)->GetValue(), 10.0);
  EXPECT_DOUBLE_EQ(c.GetKey(1)->GetValue(), 20.0);
  EXPECT_FALSE(c.DelKey(2));
  EXPECT_FALSE(c.DelKey(-1));
  EXPECT_EQ(c.GetKey(2), nullptr);
  EXPECT_EQ(c.GetKey(-1), nullptr);
}

TEST(Curve, ValueIsLinearBetweenKeysAndHeldOutside) {
  CCurve c;
  EXPECT_DOUBLE_EQ(c.GetValue(Sec(1)), 0.0);
  c.AddKey(Sec(1))->SetValue(10);
  c.AddKey(Sec(3))->SetValue(30);
  EXPECT_DOUBLE_EQ(c.GetValue(Sec(0)), 10.0);
  EXPECT_DOUBLE_EQ(c.GetValue(Sec(1)), 10.0);
  EXPECT_DOUBLE_EQ(c.GetValue(Sec(2)), 20.0);
  EXPECT_DOUBLE_EQ(c.GetValue(Sec(3)), 30.0);
  EXPECT_DOUBLE_EQ(c.GetValue(Sec(9)), 30.0);
}

TEST(Key, ValueAndDataFollowEachOther) {
  CKey k;
  k.SetValue(2.5);
  EXPECT_EQ(k.GetGeData().GetType(), DA_REAL);
  k.SetGeData(GeData(3));
  EXPECT_EQ(k.GetGeData().GetType(), DA_LONG);
  EXPECT_DOUBLE_EQ(k.GetValue(), 3.0);
  k.SetValue(4.0);  // stays a LONG key
  EXPECT_EQ(k.GetGeData().GetType(), DA_LONG);
  EXPECT_EQ(k.GetGeData().GetLong(), 4);
  k.SetGeData(GeData(String("text")));
  k.SetValue(7.0);  // a text key keeps its text
  EXPECT_EQ(k.GetGeData().GetString(), "text");
  GeData out;
  EXPECT_FALSE(k.GetParameter(DescID(ID_CKEY_POINTLEVEL_DATA), out));
}

TEST_F(Scene, TracksAreFoundByIdsAloneAndKeptSorted) {
  CTrack* z = CTrack::Alloc(op, Component(ID_BASEOBJECT_REL_POSITION, VECTOR_Z));
  CTrack* vis = CTrack::Alloc(op, DescID(ID_BASEOBJECT_VISIBILITY_EDITOR));
  CTrack* x = CTrack::Alloc(op, Component(ID_BASEOBJECT_REL_POSITION, VECTOR_X));
  for (CTrack* t : {z, vis, x}) ASSERT_TRUE(op->InsertTrackSorted(t));
  ASSERT_EQ(op->Tracks().size(), 3u);
  EXPECT_EQ(op->Tracks()[0], vis);
  EXPECT_EQ(op->Tracks()[1], x);
  EXPECT_EQ(op->Tracks()[2], z);
  // Lookups name the levels with data type 0.
  EXPECT_EQ(op->FindCTrack(DescID(DescLevel(ID_BASEOBJECT_REL_POSITION), DescLevel(VECTOR_X))), x);
  EXPECT_EQ(op->FindCTrack(DescID(ID_BASEOBJECT_REL_POSITION)), nullptr);
  EXPECT_EQ(op->FindCTrack(Component(ID_BASEOBJECT_REL_SCALE, VECTOR_X)), nullptr);

  // A second track for the same parameter is refused, the caller keeps it.
  CTrack* dup = CTrack::Alloc(op, Component(ID_BASEOBJECT_REL_POSITION, VECTOR_X));
  EXPECT_FALSE(op->InsertTrackSorted(dup));
  CTrack::Free(dup);
  EXPECT_EQ(op->Tracks().size(), 3u);

  // Free detaches an attached track.
  CTrack::Free(vis);
  EXPECT_EQ(vis, nullptr);
  EXPECT_EQ(op->FindCTrack(DescID(ID_BASEOBJECT_VISIBILITY_EDITOR)), nullptr);
  EXPECT_EQ(op->Tracks().size(), 2u);

  EXPECT_EQ(CTrack::Alloc(nullptr, DescID(1000)), nullptr);
  EXPECT_EQ(CTrack::Alloc(op, DescID()), nullptr);
  EXPECT_EQ(x->GetCurve(2, true), nullptr);
}

TEST_F(Scene, FillKeyTakesTheParameterAsItIsNow) {
  op->SetRelPos(Vector(5, 6, 7));
  op->SetEditorMode(MODE_OFF);
  op->GetDataInstance()->SetReal(2035, 1.5);
  CKey* k = WriteKey(doc, op, Sec(0), Component(ID_BASEOBJECT_REL_POSITION, VECTOR_Y));
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->GetGeData().GetType(), DA_REAL);
  EXPECT_DOUBLE_EQ(k->GetValue(), 6.0);

  k = WriteKey(doc, op, Sec(0), DescID(ID_BASEOBJECT_VISIBILITY_EDITOR));
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->GetGeData().GetType(), DA_LONG);
  EXPECT_EQ(k->GetGeData().GetLong(), MODE_OFF);

  k = WriteKey(doc, op, Sec(0), DescID(2035));
  ASSERT_NE(k, nullptr);
  EXPECT_DOUBLE_EQ(k->GetValue(), 1.5);

  // Keying again at the same time overwrites with the value of that moment.
  op->SetRelPos(Vector(5, 60, 7));
  k = WriteKey(doc, op, Sec(0), Component(ID_BASEOBJECT_REL_POSITION, VECTOR_Y));
  EXPECT_DOUBLE_EQ(k->GetValue(), 60.0);
  EXPECT_EQ(op->FindCTrack(Component(ID_BASEOBJECT_REL_POSITION, VECTOR_Y))->GetCurve()->GetKeyCount(), 1);

  // A parameter the node does not have cannot fill a key.
  CTrack* missing = CTrack::Alloc(op, DescID(4242));
  CKey key;
  EXPECT_FALSE(missing->FillKey(doc, op, &key));
  CTrack::Free(missing);
}

TEST_F(Scene, AnimationPassPlaysTracksAtAndBetweenKeys) {
  BaseTag* tag = op->MakeTag(Tpoint);
  ASSERT_NE(tag, nullptr);
  // Position x 0 -> 100, heading 0 -> pi/2, editor visibility off -> on, a
  // container Real on the tag 1 -> 3, all over frames 0 .. 30.
  struct Frame {
    Real t, x, h;
    LONG vis;
    Real tagv;
  };
  for (const Frame& f : {Frame{0, 0, 0, MODE_OFF, 1}, Frame{1, 100, pi / 2, MODE_ON, 3}}) {
    op->SetRelPos(Vector(f.x, 0, 0));
    op->SetRelRot(Vector(f.h, 0, 0));
    op->SetEditorMode(f.vis);
    tag->GetDataInstance()->SetReal(1001, f.tagv);
    for (const DescID& id : {Component(ID_BASEOBJECT_REL_POSITION, VECTOR_X),
                             Component(ID_BASEOBJECT_REL_ROTATION, VECTOR_X), DescID(ID_BASEOBJECT_VISIBILITY_EDITOR)})
      ASSERT_NE(WriteKey(doc, op, Sec(f.t), id), nullptr);
    ASSERT_NE(WriteKey(doc, tag, Sec(f.t), DescID(1001)), nullptr);
  }
  op->SetRelPos(Vector(-1, -1, -1));

  struct Case {
    Real t, x, h;
    LONG vis;
    Real tagv;
  };
  for (const Case& c : {Case{-1, 0, 0, MODE_OFF, 1}, Case{0, 0, 0, MODE_OFF, 1},
                        Case{0.5, 50, pi / 4, MODE_OFF, 2}, Case{1, 100, pi / 2, MODE_ON, 3},
                        Case{2, 100, pi / 2, MODE_ON, 3}}) {
    SCOPED_TRACE(c.t);
    PlayAt(c.t);
    EXPECT_NEAR(op->GetRelPos().x, c.x, 1e-9);
    EXPECT_DOUBLE_EQ(op->GetRelPos().y, -1.0);  // untracked components stay
    EXPECT_NEAR(op->GetRelRot().x, c.h, 1e-9);
    EXPECT_NEAR(op->GetMl().v3.x, -std::sin(c.h), 1e-9);  // the matrix follows the rotation
    EXPECT_EQ(op->GetEditorMode(), c.vis);
    EXPECT_NEAR(tag->GetDataInstance()->GetReal(1001), c.tagv, 1e-9);
  }

  // The pass is off when the evaluation asks for no animation.
  op->SetRelPos(Vector(7, 0, 0));
  doc->SetTime(Sec(0));
  doc->ExecutePasses(nullptr, false, false, false);
  EXPECT_DOUBLE_EQ(op->GetRelPos().x, 7.0);
}

// Nodes without tracks of their own are no stop for the pass: the tags and
// children under them are played all the same.
TEST_F(Scene, AnimationPassReachesTagsAndChildrenOfUntrackedObjects) {
  BaseObject* child = BaseObject::Alloc(Onull);
  doc->InsertObject(child, op, nullptr);
  BaseTag* plain = op->MakeTag(Tpoint);
  BaseTag* tracked = op->MakeTag(Tpoint);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(tracked, nullptr);
  for (const Real t : {0.0, 1.0}) {
    tracked->GetDataInstance()->SetReal(1001, 10.0 * t);
    child->SetRelPos(Vector(0, 0, 4.0 * t));
    ASSERT_NE(WriteKey(doc, tracked, Sec(t), DescID(1001)), nullptr);
    ASSERT_NE(WriteKey(doc, child, Sec(t), Component(ID_BASEOBJECT_REL_POSITION, VECTOR_Z)), nullptr);
  }
  ASSERT_TRUE(op->Tracks().empty());
  PlayAt(0.5);
  EXPECT_NEAR(tracked->GetDataInstance()->GetReal(1001), 5.0, 1e-12);
  EXPECT_NEAR(child->GetRelPos().z, 2.0, 1e-12);
  EXPECT_EQ(plain->GetDataInstance()->GetType(1001), DA_NIL);
}

TEST_F(Scene, UserDataTracksHoldTextsAndInterpolateNumbers) {
  DynamicDescription* dd = op->GetDynamicDescription();
  DescID text = dd->Alloc(GetCustomDataTypeDefault(DA_STRING));
  DescID speed = dd->Alloc(GetCustomDataTypeDefault(DA_REAL));
  DescID dir = dd->Alloc(GetCustomDataTypeDefault(DA_VECTOR));
  struct Frame {
    Real t;
    const char* text;
    Real speed;
    Vector dir;
  };
  for (const Frame& f : {Frame{0, "start", 0, Vector(0, 0, 0)}, Frame{1, "end", 10, Vector(2, 4, 6)}}) {
    ASSERT_TRUE(op->SetParameter(text, GeData(String(f.text))));
    ASSERT_TRUE(op->SetParameter(speed, GeData(f.speed)));
    ASSERT_TRUE(op->SetParameter(dir, GeData(f.dir)));
    for (const DescID& id : {text, speed, dir}) ASSERT_NE(WriteKey(doc, op, Sec(f.t), id), nullptr);
  }
  PlayAt(0.5);
  GeData v;
  ASSERT_TRUE(op->GetParameter(text, v));
  EXPECT_EQ(v.GetString(), "start");
  ASSERT_TRUE(op->GetParameter(speed, v));
  EXPECT_DOUBLE_EQ(v.GetReal(), 5.0);
  ASSERT_TRUE(op->GetParameter(dir, v));
  EXPECT_EQ(v.GetVector(), Vector(1, 2, 3));
  PlayAt(1);
  ASSERT_TRUE(op->GetParameter(text, v));
  EXPECT_EQ(v.GetString(), "end");
}

TEST_F(Scene, PointLevelTrackKeepsAllPointsInOneKey) {
  std::map<BaseList2D*, std::vector<Vector>> points;
  hostanim::SetPointAccess({[&](BaseList2D* n, std::vector<Vector>& out) {
                              auto it = points.find(n);
                              if (it == points.end()) return false;
                              out = it->second;
                              return true;
                            },
                            [&](BaseList2D* n, const std::vector<Vector>& in) {
                              points[n] = in;
                              return true;
                            }});
  const DescID pla(DescLevel(ID_POINTLEVEL_TRACK, ID_POINTLEVEL_TRACK, 0));
  // No points: nothing to fill.
  EXPECT_EQ(WriteKey(doc, op, Sec(0), pla), nullptr);

  points[op] = {Vector(0, 0, 0), Vector(10, 0, 0)};
  ASSERT_NE(WriteKey(doc, op, Sec(0), pla), nullptr);
  points[op] = {Vector(0, 10, 0), Vector(10, 20, 0)};
  CKey* k = WriteKey(doc, op, Sec(1), pla);
  ASSERT_NE(k, nullptr);
  GeData d;
  ASSERT_TRUE(k->GetParameter(DescID(ID_CKEY_POINTLEVEL_DATA), d));
  auto* pts = static_cast<const PointLevelData*>(d.GetCustomDataType(CUSTOMDATATYPE_POINTLEVEL));
  ASSERT_NE(pts, nullptr);
  ASSERT_EQ(pts->GetPointCount(), 2);
  EXPECT_EQ(pts->GetPointR()[1], Vector(10, 20, 0));

  PlayAt(0.5);
  ASSERT_EQ(points[op].size(), 2u);
  EXPECT_EQ(points[op][0], Vector(0, 5, 0));
  EXPECT_EQ(points[op][1], Vector(10, 10, 0));

  // A key with another point count is held, not blended.
  points[op] = {Vector(1, 1, 1)};
  ASSERT_NE(WriteKey(doc, op, Sec(2), pla), nullptr);
  PlayAt(1.5);
  EXPECT_EQ(points[op].size(), 2u);
  PlayAt(2);
  EXPECT_EQ(points[op], std::vector<Vector>{Vector(1, 1, 1)});
}

TEST_F(Scene, PointObjectsArePointLevelAnimatedByDefault) {
  auto* poly = dynamic_cast<PolygonObject*>(BaseObject::Alloc(Opolygon));
  ASSERT_NE(poly, nullptr);
  doc->InsertObject(poly, nullptr, nullptr);
  ASSERT_TRUE(poly->ResizeObject(3, 1));
  const DescID pla(DescLevel(ID_POINTLEVEL_TRACK, ID_POINTLEVEL_TRACK, 0));
  const Vector rest[3] = {Vector(0, 0, 0), Vector(10, 0, 0), Vector(0, 0, 10)};
  std::copy(rest, rest + 3, poly->GetPointW());
  ASSERT_NE(WriteKey(doc, poly, Sec(0), pla), nullptr);
  poly->GetPointW()[1] = Vector(10, 20, 0);
  ASSERT_NE(WriteKey(doc, poly, Sec(1), pla), nullptr);
  EXPECT_EQ(WriteKey(doc, op, Sec(0), pla), nullptr) << "a null is no point object";

  PlayAt(0.25);
  EXPECT_EQ(poly->GetPointR()[1], Vector(10, 5, 0));
  EXPECT_EQ(poly->GetPointR()[2], Vector(0, 0, 10));
}

TEST_F(Scene, TracksSurviveSaveAndLoad) {
  op->SetName("mover");
  op->SetRelPos(Vector(0, 0, 0));
  DescID note = op->GetDynamicDescription()->Alloc(GetCustomDataTypeDefault(DA_STRING));
  ASSERT_TRUE(op->SetParameter(note, GeData(String("a"))));
  for (const DescID& id : {Component(ID_BASEOBJECT_REL_POSITION, VECTOR_Z), note, DescID(ID_BASEOBJECT_GENERATOR_FLAG)})
    ASSERT_NE(WriteKey(doc, op, Sec(0), id), nullptr);
  op->SetRelPos(Vector(0, 0, 40));
  op->SetDeformMode(false);
  ASSERT_TRUE(op->SetParameter(note, GeData(String("b"))));
  for (const DescID& id : {Component(ID_BASEOBJECT_REL_POSITION, VECTOR_Z), note, DescID(ID_BASEOBJECT_GENERATOR_FLAG)})
    ASSERT_NE(WriteKey(doc, op, Sec(2), id), nullptr);

  String error;
  BaseDocument* loaded = scenefile::LoadFromString(scenefile::SaveToString(doc), &error);
  ASSERT_NE(loaded, nullptr) << error;
  BaseObject* back = loaded->SearchObject("mover");
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->Tracks().size(), 3u);
  const CCurve* z = back->FindCTrack(Component(ID_BASEOBJECT_REL_POSITION, VECTOR_Z))->GetCurve();
  ASSERT_EQ(z->GetKeyCount(), 2);
  EXPECT_EQ(z->GetKey(1)->GetTime(), Sec(2));
  EXPECT_DOUBLE_EQ(z->GetKey(1)->GetValue(), 40.0);

  loaded->SetTime(Sec(1));
  loaded->ExecutePasses(nullptr, true, false, false);
  EXPECT_DOUBLE_EQ(back->GetRelPos().z, 20.0);
  EXPECT_TRUE(back->GetDeformMode());
  GeData v;
  ASSERT_TRUE(back->GetParameter(note, v));
  EXPECT_EQ(v.GetString(), "a");
  loaded->SetTime(Sec(2));
  loaded->ExecutePasses(nullptr, true, false, false);
  EXPECT_FALSE(back->GetDeformMode());
  ASSERT_TRUE(back->GetParameter(note, v));
  EXPECT_EQ(v.GetString(), "b");
  BaseDocument::Free(loaded);
}

TEST_F(Scene, ClonesCarryTheirOwnTracks) {
  op->SetRelPos(Vector(3, 0, 0));
  ASSERT_NE(WriteKey(doc, op, Sec(0), Component(ID_BASEOBJECT_REL_POSITION, VECTOR_X)), nullptr);
  auto* copy = static_cast<BaseObject*>(op->GetClone());
  ASSERT_NE(copy, nullptr);
  CTrack* ct = copy->FindCTrack(Component(ID_BASEOBJECT_REL_POSITION, VECTOR_X));
  ASSERT_NE(ct, nullptr);
  EXPECT_EQ(ct->GetObject(), copy);
  EXPECT_DOUBLE_EQ(ct->GetCurve()->GetKey(0)->GetValue(), 3.0);
  CTrack::Free(ct);
  EXPECT_NE(op->FindCTrack(Component(ID_BASEOBJECT_REL_POSITION, VECTOR_X)), nullptr);
  BaseObject::Free(copy);
}

}  // namespace
