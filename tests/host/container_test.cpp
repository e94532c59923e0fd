// Containers, typed values and weak links.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

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

// A large container remembers what its last look-ups found, entries and
// absent IDs: every read must still give what the plain map holds while
// entries are set, removed, added back, merged in, flushed, copied and
// assigned, with IDs that share a remembered slot.
TEST(Container, LargeContainersReadWhatTheyHoldThroughEveryChange) {
  std::mt19937 rng(3);
  // Small IDs, IDs 256 apart and scattered ones, so that many share a slot.
  std::vector<LONG> ids;
  for (LONG k = 0; k < 40; ++k) ids.push_back(1000 + k);
  for (LONG k = 0; k < 40; ++k) ids.push_back(5000 + 256 * k);
  for (LONG k = 0; k < 40; ++k) ids.push_back(static_cast<LONG>(rng() % 100000) - 50000);
  std::map<LONG, Real> model;
  BaseContainer bc;
  BaseContainer copy;
  auto check = [&](const BaseContainer& c, const std::map<LONG, Real>& m, int step) {
    for (LONG id : ids) {
      auto it = m.find(id);
      if (it == m.end()) {
        EXPECT_EQ(c.GetType(id), DA_NIL) << step << " id " << id;
        EXPECT_EQ(c.GetDataPointer(id), nullptr) << step << " id " << id;
      } else {
        EXPECT_EQ(c.GetReal(id), it->second) << step << " id " << id;
      }
    }
    EXPECT_EQ(c.GetEntryCount(), static_cast<LONG>(m.size())) << step;
  };
  std::map<LONG, Real> copied;
  for (int step = 0; step < 3000; ++step) {
    const LONG id = ids[rng() % ids.size()];
    const int op = static_cast<int>(rng() % 100);
    if (op < 55) {
      bc.SetReal(id, step);
      model[id] = step;
    } else if (op < 80) {
      EXPECT_EQ(bc.GetReal(id, -1.0), model.count(id) ? model[id] : -1.0) << step;
    } else if (op < 92) {
      EXPECT_EQ(bc.RemoveData(id), model.erase(id) > 0) << step;
    } else if (op < 94) {
      if (GeData* d = bc.GetDataPointer(id)) {
        *d = GeData(Real(-step));
        model[id] = -step;
      }
    } else if (op < 96) {
      copy = bc;  // the copy reads its own map, then both go their own ways
      copied = model;
      copy.SetReal(ids[0], 0.5);
      copied[ids[0]] = 0.5;
      check(copy, copied, step);
    } else if (op < 97) {
      BaseContainer constructed(bc);
      bc.RemoveData(id);
      model.erase(id);
      std::map<LONG, Real> before = model;
      check(bc, model, step);
      EXPECT_EQ(constructed.GetEntryCount(), static_cast<LONG>(before.size() + (constructed.GetType(id) != DA_NIL)));
    } else if (op < 98) {
      bc = copy;
      model = copied;
    } else if (op < 99 && step % 7 == 0) {
      bc.FlushAll();
      model.clear();
    } else if (op < 99) {
      BaseContainer more;
      for (int k = 0; k < 3; ++k) {
        const LONG added = ids[rng() % ids.size()];
        more.SetReal(added, 1000.0 + k);
        model[added] = 1000.0 + k;
      }
      bc.MergeContainer(more);
    } else {
      check(bc, model, step);
    }
  }
  check(bc, model, -1);
  check(copy, copied, -2);
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

// Links resolve through the table of live nodes by serial: through its
// growth and frees in any order (runs of neighbours, scattered ones, the
// newest first) every live node is found as what it is, and no freed one.
TEST(Links, ResolveEveryLiveNodeAndNoFreedOne) {
  std::mt19937 rng(11);
  BaseDocument* doc = BaseDocument::Alloc();
  struct Made {
    BaseList2D* node;
    std::uint64_t serial;
    bool object;
    bool live;
  };
  std::vector<Made> made;
  BaseContainer bc;
  auto check = [&](int round) {
    for (size_t k = 0; k < made.size(); ++k) {
      const Made& m = made[k];
      const LONG id = static_cast<LONG>(k);
      ASSERT_EQ(BaseList2D::FromSerial(m.serial), m.live ? m.node : nullptr) << round << " node " << k;
      EXPECT_EQ(bc.GetLink(id, doc), m.live ? m.node : nullptr) << round << " node " << k;
      EXPECT_EQ(bc.GetObjectLink(id, doc), m.live && m.object ? m.node : nullptr) << round << " node " << k;
      EXPECT_EQ(bc.GetTagLink(id, doc), m.live && !m.object ? m.node : nullptr) << round << " node " << k;
    }
  };
  for (int round = 0; round < 4; ++round) {
    // Objects, each with a tag now and then, all at the top level.
    for (int k = 0; k < 1500; ++k) {
      BaseObject* op = BaseObject::Alloc(Onull);
      doc->InsertObject(op, nullptr, nullptr);
      bc.SetLink(static_cast<LONG>(made.size()), op);
      made.push_back({op, op->GetSerial(), true, true});
      if (rng() % 3 == 0) {
        BaseTag* tag = op->MakeTag(Tpoint);
        bc.SetLink(static_cast<LONG>(made.size()), tag);
        made.push_back({tag, tag->GetSerial(), false, true});
      }
    }
    check(round);
    // Frees: a run of neighbours, then scattered ones, the newest first.
    auto free_at = [&](size_t k) {
      Made& m = made[k];
      if (!m.live) return;
      if (m.object) {
        // Its tag (made right after it) goes with it.
        if (k + 1 < made.size() && !made[k + 1].object) made[k + 1].live = false;
        auto* op = static_cast<BaseObject*>(m.node);
        BaseObject::Free(op);
      } else {
        auto* tag = static_cast<BaseTag*>(m.node);
        BaseTag::Free(tag);
      }
      m.live = false;
    };
    const size_t start = rng() % (made.size() - 300);
    for (size_t k = start; k < start + 300; ++k) free_at(k);
    for (int k = 0; k < 400; ++k) free_at(rng() % made.size());
    for (size_t k = made.size(); k-- > made.size() - 50;) free_at(k);
    check(round);
  }
  BaseDocument::Free(doc);
  for (Made& m : made) m.live = false;
  check(99);
}

TEST(Time, ZeroDenominatorReadsAsZeroAndComparesByCrossProducts) {
  EXPECT_EQ(BaseTime(5, 0).Get(), 0.0);
  EXPECT_EQ(BaseTime(1, 30), BaseTime(2, 60));
  EXPECT_LT(BaseTime(1, 30), BaseTime(2, 30));
  EXPECT_EQ(BaseTime(7, 30).GetFrame(30), 7);
  EXPECT_EQ(BaseTime(0.5).GetFrame(24), 12);
}

}  // namespace
