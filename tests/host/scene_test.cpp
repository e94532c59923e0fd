// The scene graph: tree edits, local and global matrices, HPB rotations.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "host_scene.h"
#include "host_scenefile.h"
#include "scene_checks.h"

namespace {

void ExpectNear(const Matrix& a, const Matrix& b, double eps = 1e-9) {
  ExpectNear(a.off, b.off, eps);
  ExpectNear(a.v1, b.v1, eps);
  ExpectNear(a.v2, b.v2, eps);
  ExpectNear(a.v3, b.v3, eps);
}

TEST(Hpb, HeadingPitchAndBankFollowTheSceneAxes) {
  // +z goes to (-cos P sin H, sin P, cos P cos H).
  const double h = 0.7, p = -0.3, b = 1.1;
  Matrix m = HPBToMatrix(Vector(h, p, b));
  ExpectNear(m.v3, Vector(-std::cos(p) * std::sin(h), std::sin(p), std::cos(p) * std::cos(h)));
  EXPECT_NEAR(m.Determinant(), 1.0, 1e-12);
  // A pure heading of 90 degrees turns +z to -x.
  ExpectNear(HPBToMatrix(Vector(pi / 2, 0, 0)).v3, Vector(-1, 0, 0));
  // Bank alone leaves +z where it is.
  ExpectNear(HPBToMatrix(Vector(0, 0, 0.5)).v3, Vector(0, 0, 1));
}

TEST(Hpb, RoundTrips) {
  const Vector cases[] = {{0, 0, 0}, {0.5, 0.2, -0.3}, {-2.5, 1.2, 3.0}, {3.0, -1.5, 0.1}, {1, 0, 2}};
  for (const Vector& hpb : cases) {
    Matrix m = HPBToMatrix(hpb);
    ExpectNear(HPBToMatrix(MatrixToHPB(m)), m);
    Vector dir = m.v3 * 3.0;
    Vector hp = VectorToHPB(dir);
    ExpectNear(HPBToMatrix(hp).v3, m.v3);
    EXPECT_EQ(hp.z, 0.0);
  }
}

TEST(Matrix, InverseAndProducts) {
  Matrix a = MatrixMove(Vector(1, 2, 3)) * HPBToMatrix(Vector(0.3, 0.2, 0.1)) * MatrixScale(Vector(2, 3, 4));
  ExpectNear(a * Invert(a), Matrix());
  ExpectNear(Invert(a) * (a * Vector(5, -1, 2)), Vector(5, -1, 2));
  // A singular matrix gives the identity instead of NaN.
  EXPECT_EQ(Invert(MatrixScale(Vector(0, 1, 1))), Matrix());
}

class SceneTree : public ::testing::Test {
 protected:
  void SetUp() override {
    doc = BaseDocument::Alloc();
    parent = BaseObject::Alloc(Onull);
    child = BaseObject::Alloc(Onull);
    doc->InsertObject(parent, nullptr, nullptr);
    doc->InsertObject(child, parent, nullptr);
  }
  void TearDown() override { BaseDocument::Free(doc); }
  BaseDocument* doc;
  BaseObject* parent;
  BaseObject* child;
};

TEST_F(SceneTree, GlobalIsParentGlobalTimesLocal) {
  parent->SetMl(MatrixMove(Vector(100, 0, 0)) * HPBToMatrix(Vector(pi / 2, 0, 0)));
  child->SetRelPos(Vector(0, 0, 10));
  // The parent's +z points to -x: the child sits 10 units along it.
  ExpectNear(child->GetMg().off, Vector(90, 0, 0));
  Matrix target = MatrixMove(Vector(5, 6, 7)) * HPBToMatrix(Vector(0.4, -0.2, 0.3));
  child->SetMg(target);
  ExpectNear(child->GetMg(), target);
  ExpectNear(child->GetMl(), Invert(parent->GetMg()) * target);
  // Moving the parent carries the child: the global matrix is never stale.
  parent->SetRelPos(Vector(0, 50, 0));
  ExpectNear(child->GetMg().off, (parent->GetMg() * child->GetMl()).off);
}

// The global matrix as the product down the tree, worked out afresh in the
// order GetMg multiplies: from the top, each local matrix on the right.
Matrix ChainProduct(const BaseObject* op) {
  std::vector<const BaseObject*> path;
  for (const BaseObject* o = op; o; o = o->GetUp()) path.push_back(o);
  Matrix m;
  for (auto it = path.rbegin(); it != path.rend(); ++it) m = m * (*it)->GetMl();
  return m;
}

// A global matrix read once is not read stale after any change above it:
// every way of editing an ancestor's local matrix, and every move in the
// tree, of the object or of an ancestor.
TEST_F(SceneTree, GlobalFollowsEveryChangeAboveIt) {
  BaseObject* grand = BaseObject::Alloc(Onull);
  BaseObject* other = BaseObject::Alloc(Onull);
  ASSERT_NE(grand, nullptr);
  ASSERT_NE(other, nullptr);
  doc->InsertObject(grand, child, nullptr);  // parent > child > grand
  doc->InsertObject(other, nullptr, nullptr);
  parent->SetRelPos(Vector(100, 0, 0));
  child->SetRelPos(Vector(0, 20, 0));
  grand->SetRelPos(Vector(0, 0, 3));
  other->SetMl(MatrixMove(Vector(0, 0, -1000)) * HPBToMatrix(Vector(pi / 2, 0, 0)));
  EXPECT_EQ(grand->GetMg().off, Vector(100, 20, 3));
  EXPECT_EQ(grand->GetUpMg().off, Vector(100, 20, 0));

  const DescID posY{DescLevel(ID_BASEOBJECT_REL_POSITION), DescLevel(VECTOR_Y)};
  const DescID rotX{DescLevel(ID_BASEOBJECT_REL_ROTATION), DescLevel(VECTOR_X)};
  const DescID scaleZ{DescLevel(ID_BASEOBJECT_REL_SCALE), DescLevel(VECTOR_Z)};
  struct Step {
    const char* name;
    std::function<void()> edit;
  } steps[] = {
      {"parent moved", [&] { parent->SetRelPos(Vector(50, 0, 0)); }},
      {"parent turned", [&] { parent->SetRelRot(Vector(0.3, 0.1, 0.2)); }},
      {"parent scaled", [&] { parent->SetRelScale(Vector(2, 1, 1)); }},
      {"parent's local set", [&] { parent->SetMl(MatrixMove(Vector(7, 8, 9))); }},
      {"parent's position parameter", [&] { parent->SetParameter(posY, GeData(-30.0)); }},
      {"parent placed in the world", [&] { parent->SetMg(HPBToMatrix(Vector(-0.4, 0, 0.2))); }},
      {"child's angle parameter", [&] { child->SetParameter(rotX, GeData(0.7)); }},
      {"child's scale parameter", [&] { child->SetParameter(scaleZ, GeData(3.0)); }},
      {"child's angles restored", [&] { child->RestorePSR(MatrixMove(Vector(1, 1, 1)), Vector(), Vector(1, 1, 1)); }},
      {"child under another parent", [&] { child->InsertUnder(other); }},
      {"child back, last", [&] { child->InsertUnderLast(parent); }},
      {"parent under another", [&] { parent->InsertUnder(other); }},
      {"parent to the top, before it", [&] { parent->InsertBefore(other); }},
      {"child beside its parent", [&] { child->InsertAfter(parent); }},
      {"child under the other by the document", [&] { doc->InsertObject(child, other, nullptr); }},
      {"grand taken out of the tree", [&] { grand->Remove(); }},
      {"grand back under child", [&] { grand->InsertUnder(child); }},
      {"the other, now an ancestor, moved", [&] { other->SetRelPos(Vector(0, -5, 0)); }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const Matrix before = grand->GetMg();
    (void)child->GetMg();
    step.edit();
    const Matrix after = grand->GetMg();
    EXPECT_NE(after, before) << "the step must move grand for the check to count";
    EXPECT_EQ(after, ChainProduct(grand));
    EXPECT_EQ(child->GetMg(), ChainProduct(child));
    EXPECT_EQ(grand->GetUpMg(), grand->GetUp() ? ChainProduct(grand->GetUp()) : Matrix());
    // A placement is made against the parent's current global matrix.
    const Matrix target = MatrixMove(Vector(1, 2, 3));
    grand->SetMg(target);
    ExpectNear(grand->GetMg(), target);
    grand->SetMl(MatrixMove(Vector(0, 0, 3)));
  }
}

TEST_F(SceneTree, RelativePositionRotationAndScaleStayConsistent) {
  child->SetRelPos(Vector(1, 2, 3));
  child->SetRelRot(Vector(0.5, 0.25, -0.1));
  child->SetRelScale(Vector(2, 2, 2));
  Matrix expected = MatrixMove(Vector(1, 2, 3)) * HPBToMatrix(Vector(0.5, 0.25, -0.1)) * MatrixScale(Vector(2, 2, 2));
  ExpectNear(child->GetMl(), expected);
  GeData d;
  ASSERT_TRUE(child->GetParameter(DescID(DescLevel(ID_BASEOBJECT_REL_ROTATION), DescLevel(VECTOR_Y)), d));
  EXPECT_DOUBLE_EQ(d.GetReal(), 0.25);
  ASSERT_TRUE(child->SetParameter(DescID(DescLevel(ID_BASEOBJECT_REL_POSITION), DescLevel(VECTOR_X)), GeData(9.0)));
  EXPECT_EQ(child->GetRelPos(), Vector(9, 2, 3));
  child->SetMl(expected);
  ExpectNear(child->GetRelRot(), Vector(0.5, 0.25, -0.1));
  ExpectNear(child->GetRelScale(), Vector(2, 2, 2));
}

// Every way of reading or editing the angles and scale after a global
// placement sees those of the local matrix the placement made, as if it had
// been set as local.
TEST_F(SceneTree, AnglesAndScaleFollowAGlobalPlacement) {
  parent->SetMl(MatrixMove(Vector(100, 0, 0)) * HPBToMatrix(Vector(pi / 2, 0, 0)));
  const Matrix target =
      MatrixMove(Vector(5, 6, 7)) * HPBToMatrix(Vector(0.4, -0.2, 0.3)) * MatrixScale(Vector(2, 3, 0.5));
  auto placed = [&] {
    child->SetRelRot(Vector(1, 1, 1));  // angles the placement must replace
    child->SetMg(target);
    return child;
  };
  BaseObject* reference = BaseObject::Alloc(Onull);
  ASSERT_NE(reference, nullptr);
  reference->SetMl(Invert(parent->GetMg()) * target);
  const Vector hpb = reference->GetRelRot(), scale = reference->GetRelScale();
  // The parent's quarter turn of heading comes off the target's.
  ExpectNear(hpb, Vector(0.4 - pi / 2, -0.2, 0.3));
  ExpectNear(scale, Vector(2, 3, 0.5));

  EXPECT_EQ(placed()->GetRelRot(), hpb);
  EXPECT_EQ(placed()->GetRelScale(), scale);
  GeData d;
  ASSERT_TRUE(placed()->GetParameter(DescID(DescLevel(ID_BASEOBJECT_REL_SCALE), DescLevel(VECTOR_Y)), d));
  EXPECT_EQ(d.GetReal(), scale.y);
  // A new position leaves the angles alone.
  placed()->SetRelPos(Vector(-4, 0, 9));
  EXPECT_EQ(child->GetRelRot(), hpb);
  // A new angle keeps the scale, a new scale keeps the angles.
  placed()->SetRelRot(Vector(0, 0.5, 0));
  EXPECT_EQ(child->GetRelScale(), scale);
  placed()->SetRelScale(Vector(1, 1, 1));
  EXPECT_EQ(child->GetRelRot(), hpb);
  ASSERT_TRUE(placed()->SetParameter(DescID(DescLevel(ID_BASEOBJECT_REL_ROTATION), DescLevel(VECTOR_Z)), GeData(0.0)));
  EXPECT_EQ(child->GetRelScale(), scale);
  // A copy carries them along.
  placed();
  auto* copy = static_cast<BaseObject*>(child->GetClone());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetRelRot(), hpb);
  EXPECT_EQ(copy->GetRelScale(), scale);
  BaseObject::Free(copy);
  BaseObject::Free(reference);
}

TEST_F(SceneTree, TreeEdits) {
  BaseObject* second = BaseObject::Alloc(Onull);
  doc->InsertObject(second, parent, child);  // after child
  EXPECT_EQ(parent->GetDown(), child);
  EXPECT_EQ(parent->GetDownLast(), second);
  EXPECT_EQ(second->GetPred(), child);
  EXPECT_EQ(second->GetUp(), parent);
  EXPECT_EQ(second->GetDocument(), doc);
  second->Remove();
  EXPECT_EQ(second->GetDocument(), nullptr);
  EXPECT_EQ(child->GetNext(), nullptr);
  // A node never goes under itself or its descendants.
  parent->InsertUnder(child);
  EXPECT_EQ(parent->GetUp(), nullptr);
  EXPECT_EQ(doc->GetFirstObject(), parent);
  BaseObject::Free(second);
  EXPECT_EQ(second, nullptr);
}

TEST_F(SceneTree, TagsAndClones) {
  BaseTag* t1 = child->MakeTag(Tpoint);
  BaseTag* t2 = child->MakeTag(Tsegment);
  ASSERT_NE(t1, nullptr);
  ASSERT_NE(t2, nullptr);
  EXPECT_EQ(child->GetFirstTag(), t1);
  EXPECT_EQ(t1->GetNext(), t2);
  EXPECT_EQ(child->GetTag(Tsegment), t2);
  EXPECT_EQ(t2->GetObject(), child);
  EXPECT_EQ(t2->GetDocument(), doc);
  EXPECT_EQ(BaseTag::Alloc(Onull), nullptr);     // an object type is no tag
  EXPECT_EQ(BaseObject::Alloc(123456), nullptr);  // unknown type
  child->SetName("wheel");
  child->GetDataInstance()->SetReal(1000, 2.5);
  child->SetRelPos(Vector(1, 2, 3));
  auto* copy = static_cast<BaseObject*>(parent->GetClone());
  ASSERT_NE(copy, nullptr);
  BaseObject* cc = copy->GetDown();
  ASSERT_NE(cc, nullptr);
  EXPECT_EQ(cc->GetName(), "wheel");
  EXPECT_EQ(cc->GetDataInstance()->GetReal(1000), 2.5);
  EXPECT_EQ(cc->GetRelPos(), Vector(1, 2, 3));
  ASSERT_NE(cc->GetTag(Tsegment), nullptr);
  EXPECT_NE(cc->GetTag(Tsegment), t2);
  BaseObject::Free(copy);
  EXPECT_EQ(doc->SearchObject("wheel"), child);
}

}  // namespace

namespace {
TEST(SceneTreeFile, RotationWindingAndMirrorSurviveTheFile) {
  // Saving keeps the angles as set, not only the matrix they give.
  BaseDocument* doc = BaseDocument::Alloc();
  BaseObject* op = BaseObject::Alloc(Onull);
  doc->InsertObject(op, nullptr, nullptr);
  op->SetRelRot(Vector(4.0, 0.1, -0.2));  // beyond +pi
  op->SetRelScale(Vector(-1, 2, 1));
  Matrix before = op->GetMl();
  String error;
  BaseDocument* loaded = scenefile::LoadFromString(scenefile::SaveToString(doc), &error);
  ASSERT_NE(loaded, nullptr) << error;
  BaseObject* back = loaded->GetFirstObject();
  EXPECT_EQ(back->GetRelRot(), Vector(4.0, 0.1, -0.2));
  EXPECT_EQ(back->GetRelScale(), Vector(-1, 2, 1));
  EXPECT_EQ(back->GetMl(), before);
  BaseDocument::Free(loaded);
  BaseObject* copy = BaseObject::Alloc(Onull);
  // Angles that do not describe the matrix are not taken.
  copy->RestorePSR(before, Vector(1, 2, 3), Vector(1, 1, 1));
  EXPECT_NE(copy->GetRelRot(), Vector(1, 2, 3));
  BaseObject::Free(copy);
  BaseDocument::Free(doc);
}
}  // namespace
