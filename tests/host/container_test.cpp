// Containers, typed values and weak links.
#include <gtest/gtest.h>

#include "host_scene.h"

namespace {

TEST(Container, AbsentEntriesReadAsZeroAndReportNil) {
  BaseContainer bc;
  EXPECT_EQ(bc.GetType(5), DA_NIL);
  EXPECT_EQ(bc.GetLong(5), 0);
  EXPECT_EQ(bc.GetReal(5), 0.0);
  EXPECT_EQ(bc.GetVector(5), Vector());
  EXPECT_TRUE(bc.GetString(5).empty());
  EXPECT_EQ(bc.GetObjectLink(5, nullptr), nullptr);
  EXPECT_EQ(bc.GetLong(5, 7), 7);
}

TEST(Container, TypedValuesRoundTrip) {
  BaseContainer bc;
  Matrix m(Vector(1, 2, 3), Vector(0, 1, 0), Vector(-1, 0, 0), Vector(0, 0, 1));
  bc.SetBool(1, true);
  bc.SetLong(2, -42);
  bc.SetReal(3, 0.1);
  bc.SetVector(4, Vector(1, 2, 3));
  bc.SetMatrix(5, m);
  bc.SetString(6, "text");
  bc.SetTime(7, BaseTime(3, 30));
  BaseContainer sub;
  sub.SetLong(1, 9);
  bc.SetContainer(8, sub);
  EXPECT_EQ(bc.GetType(1), DA_LONG);
  EXPECT_TRUE(bc.GetBool(1));
  EXPECT_EQ(bc.GetLong(2), -42);
  EXPECT_EQ(bc.GetReal(3), 0.1);
  EXPECT_EQ(bc.GetVector(4), Vector(1, 2, 3));
  EXPECT_EQ(bc.GetMatrix(5), m);
  EXPECT_EQ(bc.GetString(6), "text");
  EXPECT_DOUBLE_EQ(bc.GetTime(7).Get(), 0.1);
  EXPECT_EQ(bc.GetContainer(8).GetLong(1), 9);
  // Copies are deep.
  BaseContainer copy = bc;
  copy.GetContainerInstance(8)->SetLong(1, 10);
  EXPECT_EQ(bc.GetContainer(8).GetLong(1), 9);
  EXPECT_NE(copy, bc);
}

// Overwriting an entry leaves exactly the new value and type, whether the
// old value was of the same kind or not.
TEST(Container, OverwritingTakesTheNewValueAndType) {
  BaseContainer sub;
  sub.SetLong(1, 9);
  const Matrix m(Vector(1, 2, 3), Vector(0, 1, 0), Vector(-1, 0, 0), Vector(0, 0, 1));
  const GeData values[] = {
      GeData(0.25),        GeData(-1.5),           GeData(LONG(7)), GeData(LLONG(7)),     GeData(Bool(true)),
      GeData(Vector(1, 2, 3)), GeData(Vector(4, 5, 6)), GeData(m),  GeData(Matrix()),     GeData(String("a")),
      GeData(String("longer text")), GeData(sub), GeData(BaseTime(1, 30)), GeData()};
  for (const GeData& before : values)
    for (const GeData& after : values) {
      GeData d(before);
      d = after;
      EXPECT_TRUE(d == after);
      EXPECT_EQ(d.GetType(), after.GetType());
    }
  // A container overwritten by a number no longer reads as one.
  BaseContainer bc;
  bc.SetContainer(1, sub);
  bc.SetReal(1, 2.0);
  EXPECT_EQ(bc.GetContainer(1).GetEntryCount(), 0);
  EXPECT_EQ(bc.GetReal(1), 2.0);
  GeData self(String("x"));
  const GeData& alias = self;
  self = alias;
  EXPECT_EQ(self.GetString(), "x");
}

TEST(Container, NumbersOutOfRangeDoNotCastUndefined) {
  BaseContainer bc;
  bc.SetReal(1, std::nan(""));
  bc.SetReal(2, 1e300);
  EXPECT_EQ(bc.GetLong(1), 0);
  EXPECT_EQ(bc.GetLong(2), 0);
}

TEST(Links, AreWeak) {
  BaseDocument* doc = BaseDocument::Alloc();
  BaseDocument* other = BaseDocument::Alloc();
  BaseObject* a = BaseObject::Alloc(Onull);
  BaseObject* b = BaseObject::Alloc(Onull);
  doc->InsertObject(a, nullptr, nullptr);
  other->InsertObject(b, nullptr, nullptr);
  BaseContainer bc;
  bc.SetLink(1, a);
  bc.SetLink(2, b);
  EXPECT_EQ(bc.GetObjectLink(1, doc), a);
  EXPECT_EQ(bc.GetObjectLink(2, doc), nullptr);  // lies in another document
  EXPECT_EQ(bc.GetObjectLink(2, other), b);
  EXPECT_EQ(bc.GetTagLink(1, doc), nullptr);     // not a tag
  BaseObject::Free(a);
  EXPECT_EQ(bc.GetObjectLink(1, doc), nullptr);  // freed: null, never dangling
  EXPECT_EQ(bc.GetObjectLink(1, nullptr), nullptr);
  BaseDocument::Free(other);
  EXPECT_EQ(bc.GetObjectLink(2, nullptr), nullptr);
  BaseDocument::Free(doc);
}

TEST(Time, ZeroDenominatorReadsAsZeroAndComparesByCrossProducts) {
  EXPECT_EQ(BaseTime(5, 0).Get(), 0.0);
  EXPECT_EQ(BaseTime(1, 30), BaseTime(2, 60));
  EXPECT_LT(BaseTime(1, 30), BaseTime(2, 30));
  EXPECT_EQ(BaseTime(7, 30).GetFrame(30), 7);
  EXPECT_EQ(BaseTime(0.5).GetFrame(24), 12);
}

}  // namespace
