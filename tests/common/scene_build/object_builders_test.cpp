// Tests for common/scene_build/object_builders.cpp: the one link resolver and
// the builders' promise to leave their arguments alone. The builders' shapes
// are covered with the plug-in in object_builders_with_vanto_test.cpp.
#include <gtest/gtest.h>

#include <cmath>

#include "host_container.h"
#include "host_geometry.h"
#include "host_scene.h"
#include "host_services.h"
#include "scene_build/object_builders.h"

namespace {

class LinkedObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlog::SetQuiet(true);
    doc = BaseDocument::Alloc();
    other = BaseDocument::Alloc();
    target = BaseObject::Alloc(Onull);
    doc->InsertObject(target, nullptr, nullptr);
  }
  void TearDown() override {
    BaseDocument::Free(doc);
    BaseDocument::Free(other);
  }
  BaseDocument* doc = nullptr;
  BaseDocument* other = nullptr;
  BaseObject* target = nullptr;
};

TEST_F(LinkedObjects, ResolvesOnlyLiveObjectsOfTheDocument) {
  BaseObject* elsewhere = BaseObject::Alloc(Onull);
  other->InsertObject(elsewhere, nullptr, nullptr);
  BaseObject* gone = BaseObject::Alloc(Onull);
  doc->InsertObject(gone, nullptr, nullptr);
  BaseTag* tag = target->MakeTag(Tphong);
  ASSERT_NE(tag, nullptr);

  BaseContainer bc;
  bc.SetLink(1, target);
  bc.SetLink(2, nullptr);
  bc.SetLink(3, tag);  // a link, but not to an object
  bc.SetLink(4, elsewhere);
  bc.SetLink(5, gone);
  bc.SetLong(6, 42);  // not a link at all
  gone->Remove();
  BaseObject::Free(gone);

  struct Case {
    const char* what;
    LONG id;
    BaseObject* expected;
  } const cases[] = {
      {"present", 1, target},          {"empty link", 2, nullptr},
      {"link to a tag", 3, nullptr},   {"object of another document", 4, nullptr},
      {"deleted object", 5, nullptr},  {"a number, not a link", 6, nullptr},
      {"missing id", 7, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(LinkedObject(doc, bc, c.id), c.expected);
  }
  // Without a document the link resolves wherever its object lives, but
  // still only to an object.
  EXPECT_EQ(LinkedObject(nullptr, bc, 4), elsewhere);
  EXPECT_EQ(LinkedObject(nullptr, bc, 3), nullptr);
  EXPECT_EQ(bc.GetLink(3, nullptr), tag);
  EXPECT_EQ(LinkedObject(other, bc, 4), elsewhere);
  EXPECT_EQ(LinkedObject(other, bc, 1), nullptr);
}

// b in a's frame, worked by hand: a is a quarter turn about y (x -> -z,
// z -> x) moved to (1, 2, 3); b sits at (1, 2, 1) with a's own axes, so it
// lies 2 along a's +x (world -z) and shares its orientation.
TEST(ObjectBuilders, InverseProductLeavesItsInputsAlone) {
  const Matrix a(Vector(1, 2, 3), Vector(0, 0, -1), Vector(0, 1, 0), Vector(1, 0, 0));
  const Matrix b(Vector(1, 2, 1), Vector(0, 0, -1), Vector(0, 1, 0), Vector(1, 0, 0));
  const Matrix aBefore = a, bBefore = b;
  const Matrix r = MultiplyByInverseMatrix(a, b);
  const Vector expected[4] = {Vector(2, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1)};
  const Vector got[4] = {r.off, r.v1, r.v2, r.v3};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(got[i].x, expected[i].x, 1e-12);
    EXPECT_NEAR(got[i].y, expected[i].y, 1e-12);
    EXPECT_NEAR(got[i].z, expected[i].z, 1e-12);
  }
  EXPECT_EQ(a, aBefore);
  EXPECT_EQ(b, bBefore);
  // a in its own frame is the identity.
  const Matrix self = MultiplyByInverseMatrix(a, a);
  EXPECT_NEAR(self.off.x, 0.0, 1e-12);
  EXPECT_NEAR(self.v1.x, 1.0, 1e-12);
  EXPECT_NEAR(self.v3.z, 1.0, 1e-12);
}

TEST(ObjectBuilders, GridAndOutlineLeaveTheSizeAlone) {
  const Vector size(2, 4, 6);
  Vector pts[8];
  FillPointGrid(pts, size, 2, 2, 2);
  EXPECT_EQ(size, Vector(2, 4, 6));
  // The grid spans the whole size, centred: corners at +- half of it.
  EXPECT_EQ(pts[0], -size * 0.5);
  EXPECT_EQ(pts[7], size * 0.5);

  SplineObject* outline = CreateFootprintOutline(nullptr, nullptr, nullptr, "o", size, 2, 3, kNoColour, 0, nullptr);
  ASSERT_NE(outline, nullptr);
  EXPECT_EQ(size, Vector(2, 4, 6));
  // 2 (nx + nz) points on the rectangle's edges, none beyond half the size.
  ASSERT_EQ(outline->GetPointCount(), 10);
  const auto* p = static_cast<const Vector*>(outline->GetTagDataR(Tpoint));
  for (LONG i = 0; i < 10; ++i) {
    EXPECT_LE(std::abs(p[i].x), 1.0);
    EXPECT_LE(std::abs(p[i].z), 3.0);
    EXPECT_TRUE(std::abs(p[i].x) == 1.0 || std::abs(p[i].z) == 3.0) << i;
  }
  BaseObject* op = outline;
  BaseObject::Free(op);
}

}  // namespace
