// Scene files: save/load round trips, links, hooks, load messages and bad input.

#include <gtest/gtest.h>

#include <algorithm>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <vector>

#include "host_animation.h"
#include "host_loader.h"
#include "host_plugin.h"
#include "host_scenefile.h"

namespace {

// ---------------------------------------------------------------- helpers

struct DocPtr {
  BaseDocument* doc = nullptr;
  DocPtr() = default;
  explicit DocPtr(BaseDocument* d) : doc(d) {}
  DocPtr(const DocPtr&) = delete;
  DocPtr& operator=(const DocPtr&) = delete;
  ~DocPtr() { BaseDocument::Free(doc); }
  BaseDocument* operator->() const { return doc; }
  BaseDocument* get() const { return doc; }
};

BaseObject* Add(BaseDocument* doc, LONG type, const char* name, BaseObject* parent = nullptr,
                BaseObject* pred = nullptr) {
  BaseObject* op = BaseObject::Alloc(type);
  op->SetName(name);
  doc->InsertObject(op, parent, pred);
  return op;
}

BaseTag* AddTag(BaseObject* op, LONG type, const char* name) {
  BaseTag* tag = op->MakeTag(type);
  tag->SetName(name);
  return tag;
}

std::string Save(const BaseDocument* doc) {
  std::string text;
  String error;
  EXPECT_TRUE(scenefile::SaveToString(doc, &text, &error)) << error;
  return text;
}

DocPtr Load(const std::string& text) {
  String error;
  BaseDocument* doc = scenefile::LoadFromString(text, &error);
  EXPECT_NE(doc, nullptr) << error;
  return DocPtr(doc);
}

std::string LoadError(const std::string& text) {
  String error;
  BaseDocument* doc = scenefile::LoadFromString(text, &error);
  EXPECT_EQ(doc, nullptr);
  BaseDocument::Free(doc);
  return error;
}

std::uint64_t Bits(Real r) { return std::bit_cast<std::uint64_t>(r); }
// The bits of r as a function of another library returns it. On 32-bit x86
// a returned double passes through the x87 unit, which sets the quiet bit of
// a signalling NaN (the payload stays); the stored value is unchanged.
std::uint64_t ReturnedBits(Real r) {
#if defined(__i386__)
  if (std::isnan(r)) return Bits(r) | 0x0008000000000000u;
#endif
  return Bits(r);
}

// The object at an index path, e.g. {0, 2, 1}.
BaseObject* At(const BaseDocument* doc, std::initializer_list<int> path) {
  BaseObject* op = nullptr;
  for (int i : path) {
    op = op ? op->GetDown() : doc->GetFirstObject();
    while (op && i-- > 0) op = op->GetNext();
  }
  return op;
}

std::string LinkName(const GeData& d, const BaseDocument* doc) {
  BaseList2D* n = d.GetLinkAtom(doc);
  return n ? std::string(n->GetName()) : std::string("<null>");
}

// Containers of two documents hold the same values; links are compared by
// the name of the node they lead to (serials differ between documents).
void ExpectSameContainer(const BaseContainer& a, const BaseDocument* da, const BaseContainer& b,
                         const BaseDocument* db, const std::string& where) {
  EXPECT_EQ(a.GetId(), b.GetId()) << where;
  ASSERT_EQ(a.GetEntryCount(), b.GetEntryCount()) << where;
  for (const auto& [id, va] : a.Entries()) {
    const GeData* vb = b.GetDataPointer(id);
    ASSERT_NE(vb, nullptr) << where << " id " << id;
    ASSERT_EQ(va.GetType(), vb->GetType()) << where << " id " << id;
    if (va.GetType() == DA_ALIASLINK)
      EXPECT_EQ(LinkName(va, da), LinkName(*vb, db)) << where << " id " << id;
    else if (va.GetType() == DA_CONTAINER)
      ExpectSameContainer(*va.GetContainer(), da, *vb->GetContainer(), db, where + "/" + std::to_string(id));
    else
      EXPECT_TRUE(va == *vb) << where << " id " << id;
  }
}

void ExpectSameNode(const BaseList2D* a, const BaseDocument* da, const BaseList2D* b, const BaseDocument* db) {
  const std::string where = a->GetName();
  EXPECT_EQ(a->GetType(), b->GetType()) << where;
  EXPECT_EQ(a->GetName(), b->GetName());
  ExpectSameContainer(*a->GetDataInstance(), da, *b->GetDataInstance(), db, where);
  ASSERT_EQ(a->Tracks().size(), b->Tracks().size()) << where;
  for (size_t i = 0; i < a->Tracks().size(); ++i) {
    const CTrack* ta = a->Tracks()[i];
    const CTrack* tb = b->Tracks()[i];
    EXPECT_TRUE(ta->GetDescriptionID() == tb->GetDescriptionID()) << where;
    ASSERT_EQ(ta->GetCurve()->GetKeyCount(), tb->GetCurve()->GetKeyCount()) << where;
    for (LONG k = 0; k < ta->GetCurve()->GetKeyCount(); ++k) {
      const CKey* ka = ta->GetCurve()->GetKey(k);
      const CKey* kb = tb->GetCurve()->GetKey(k);
      EXPECT_EQ(ka->GetTime().GetNumerator(), kb->GetTime().GetNumerator());
      EXPECT_EQ(ka->GetTime().GetDenominator(), kb->GetTime().GetDenominator());
      EXPECT_EQ(Bits(ka->GetValue()), Bits(kb->GetValue()));
      ASSERT_EQ(ka->GetGeData().GetType(), kb->GetGeData().GetType());
      if (ka->GetGeData().GetType() == DA_ALIASLINK)
        EXPECT_EQ(LinkName(ka->GetGeData(), da), LinkName(kb->GetGeData(), db));
      else
        EXPECT_TRUE(ka->GetGeData() == kb->GetGeData());
    }
  }
}

void ExpectSameObject(const BaseObject* a, const BaseDocument* da, const BaseObject* b, const BaseDocument* db) {
  ExpectSameNode(a, da, b, db);
  EXPECT_EQ(a->GetMl(), b->GetMl()) << a->GetName();
  EXPECT_EQ(a->GetEditorMode(), b->GetEditorMode());
  EXPECT_EQ(a->GetRenderMode(), b->GetRenderMode());
  EXPECT_EQ(a->GetDeformMode(), b->GetDeformMode());
  const BaseTag* ta = a->GetFirstTag();
  const BaseTag* tb = b->GetFirstTag();
  for (; ta && tb; ta = ta->GetNext(), tb = tb->GetNext()) ExpectSameNode(ta, da, tb, db);
  EXPECT_TRUE(!ta && !tb) << "tag count differs under " << a->GetName();
  const BaseObject* ca = a->GetDown();
  const BaseObject* cb = b->GetDown();
  for (; ca && cb; ca = ca->GetNext(), cb = cb->GetNext()) ExpectSameObject(ca, da, cb, db);
  EXPECT_TRUE(!ca && !cb) << "child count differs under " << a->GetName();
}

void ExpectSameDocument(const BaseDocument* a, const BaseDocument* b) {
  EXPECT_EQ(a->GetFps(), b->GetFps());
  for (auto get : {&BaseDocument::GetTime, &BaseDocument::GetMinTime, &BaseDocument::GetMaxTime,
                   &BaseDocument::GetLoopMinTime, &BaseDocument::GetLoopMaxTime}) {
    EXPECT_EQ((a->*get)().GetNumerator(), (b->*get)().GetNumerator());
    EXPECT_EQ((a->*get)().GetDenominator(), (b->*get)().GetDenominator());
  }
  ExpectSameNode(a, a, b, b);
  const BaseObject* oa = a->GetFirstObject();
  const BaseObject* ob = b->GetFirstObject();
  for (; oa && ob; oa = oa->GetNext(), ob = ob->GetNext()) ExpectSameObject(oa, a, ob, b);
  EXPECT_TRUE(!oa && !ob) << "top-level object count differs";
}

// ---------------------------------------------------------------- a custom data type

constexpr LONG kKnotsType = 1099600;

class Knots : public CustomDataType {
 public:
  std::vector<Real> values;
  LONG GetTypeId() const override { return kKnotsType; }
  std::unique_ptr<CustomDataType> Clone() const override { return std::make_unique<Knots>(*this); }
  bool Equals(const CustomDataType& o) const override {
    auto* k = dynamic_cast<const Knots*>(&o);
    return k && k->values == values;
  }
};

// Written as a plain JSON array of numbers; "[]" of anything else is refused.
void RegisterKnots() {
  scenefile::CustomDataIO io;
  io.type_id = kKnotsType;
  io.name = "knots";
  io.to_json = [](const CustomDataType& c) {
    std::ostringstream s;
    s.precision(17);
    s << "[";
    const auto& v = static_cast<const Knots&>(c).values;
    for (size_t i = 0; i < v.size(); ++i) s << (i ? "," : "") << v[i];
    s << "]";
    return s.str();
  };
  io.from_json = [](const std::string& text, String* error) -> std::unique_ptr<CustomDataType> {
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
      *error = "knots must be a list of numbers";
      return nullptr;
    }
    auto k = std::make_unique<Knots>();
    std::istringstream s(text.substr(1, text.size() - 2));
    std::string item;
    while (std::getline(s, item, ',')) {
      Bool ok = false;
      k->values.push_back(String(item).ToReal(&ok));
      if (!ok) {
        *error = "knots must be a list of numbers";
        return nullptr;
      }
    }
    return k;
  };
  scenefile::RegisterCustomDataIO(io);
}

// ---------------------------------------------------------------- the fixture

// Every value type, links into objects and tags, tracks, nested hierarchy.
BaseDocument* MakeFixture() {
  BaseDocument* doc = BaseDocument::Alloc();
  doc->SetName("fixture");
  doc->SetFps(25);
  doc->SetTime(BaseTime(12.0, 25.0));
  doc->SetMinTime(BaseTime(-5.0, 25.0));
  doc->SetMaxTime(BaseTime(250.0, 25.0));
  doc->SetLoopMinTime(BaseTime(25.0, 25.0));
  doc->SetLoopMaxTime(BaseTime(200.0, 25.0));
  doc->GetDataInstance()->SetLong(3, 33);

  BaseObject* root = Add(doc, Onull, "Root");
  Matrix m = HPBToMatrix(Vector(0.3, -0.2, 0.1));
  m.off = Vector(1.5, -2.0, 1.0 / 3.0);
  m.v2 = m.v2 * 2.5;  // scaled axis
  root->SetMl(m);
  root->SetEditorMode(MODE_OFF);
  root->SetRenderMode(MODE_ON);
  root->SetDeformMode(false);
  BaseObject* top2 = Add(doc, Ocube, "Top2", nullptr, root);

  BaseObject* a = Add(doc, Ocube, "A", root);
  BaseObject* b = Add(doc, Onull, "B", root, a);
  BaseObject* c = Add(doc, Ocube, "C", root, b);
  BaseObject* b1 = Add(doc, Onull, "B1", b);
  b1->SetRelPos(Vector(0.1, 0.2, 0.3));
  (void)c;

  BaseTag* p0 = AddTag(a, Tpoint, "p0");
  BaseTag* p1 = AddTag(a, Tpoint, "p1");
  AddTag(b1, Tpoint, "q");

  BaseContainer* bc = a->GetDataInstance();
  bc->SetId(1234);
  bc->SetBool(1, true);
  bc->SetLong(2, -2147483647 - 1);
  bc->SetLLong(3, std::numeric_limits<LLONG>::max());
  bc->SetReal(4, 0.1);
  bc->SetReal(5, 1.0 / 3.0);
  bc->SetReal(6, -0.0);
  bc->SetVector(7, Vector(1e-300, -1e300, 5e-324));
  bc->SetMatrix(8, m);
  bc->SetString(9, "Grüße \"quoted\" \\ tab\t");
  bc->SetString(10, String(std::string("nul\0inside", 10)));
  bc->SetString(11, String(std::string("\xff\xfe latin1 \xe9")));  // not UTF-8
  bc->SetTime(12, BaseTime(7.0, 0.0));
  bc->SetFilename(13, Filename("tex/wheel.png"));
  bc->SetData(14, GeData());
  bc->SetLink(50, b1);
  bc->SetLink(51, p1);
  bc->SetLink(52, nullptr);
  BaseContainer sub(77);
  sub.SetLink(1, root);
  sub.SetString(2, "inner");
  BaseContainer subsub;
  subsub.SetReal(1, 2.5);
  sub.SetContainer(3, subsub);
  bc->SetContainer(60, sub);
  Knots knots;
  knots.values = {0.0, 0.25, 1.0};
  bc->SetData(70, GeData(knots));

  p0->GetDataInstance()->SetLink(1, top2);
  p0->GetDataInstance()->SetReal(2, 9.5);

  auto* track = new CTrack(a, DescID(DescLevel(ID_BASEOBJECT_REL_POSITION, DA_VECTOR, 0), DescLevel(VECTOR_X, DA_REAL, 0)));
  CKey k0;
  k0.SetTime(BaseTime(0.0, 25.0));
  k0.SetValue(1.5);
  CKey k1;
  k1.SetTime(BaseTime(10.0, 25.0));
  k1.SetValue(-0.0);
  k1.SetGeData(GeData(static_cast<const BaseList2D*>(b)));
  track->GetCurve()->Keys() = {k0, k1};
  a->Tracks().push_back(track);
  auto* points = new CTrack(a, DescID(ID_POINTLEVEL_TRACK));
  CKey pk;
  pk.SetTime(BaseTime(5.0, 25.0));
  pk.SetGeData(GeData(PointLevelData({Vector(1, 2, 3), Vector(-1, 0.5, 1e-7)})));
  points->GetCurve()->Keys() = {pk};
  a->Tracks().push_back(points);
  doc->Tracks().push_back(new CTrack(doc, DescID(DescLevel(3, DA_LONG, 0))));

  doc->SetActiveObject(b);
  doc->SetActiveTag(p1);
  return doc;
}

class SceneFileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterKnots(); }
  static void TearDownTestSuite() { scenefile::UnregisterCustomDataIO(kKnotsType); }
};

// ---------------------------------------------------------------- round trips

TEST_F(SceneFileTest, SaveLoadSaveGivesTheSameTextAndTheSameDocument) {
  DocPtr doc(MakeFixture());
  const std::string first = Save(doc.get());
  DocPtr back = Load(first);
  ASSERT_NE(back.get(), nullptr);
  EXPECT_EQ(first, Save(back.get()));
  ExpectSameDocument(doc.get(), back.get());
}

TEST_F(SceneFileTest, LoadedDocumentHoldsTheValuesLinksAndOrder) {
  DocPtr src(MakeFixture());
  DocPtr doc = Load(Save(src.get()));
  ASSERT_NE(doc.get(), nullptr);

  EXPECT_EQ(doc->GetName(), "fixture");
  EXPECT_EQ(doc->GetFps(), 25);
  EXPECT_EQ(doc->GetTime().GetNumerator(), 12.0);
  EXPECT_EQ(doc->GetTime().GetDenominator(), 25.0);
  EXPECT_EQ(doc->GetMinTime().GetNumerator(), -5.0);
  EXPECT_EQ(doc->GetLoopMaxTime().GetNumerator(), 200.0);
  EXPECT_EQ(doc->GetDataInstance()->GetLong(3), 33);

  // Order of top-level objects, children and tags.
  BaseObject* root = At(doc.get(), {0});
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->GetName(), "Root");
  EXPECT_EQ(At(doc.get(), {1})->GetName(), "Top2");
  EXPECT_EQ(At(doc.get(), {1})->GetType(), Ocube);
  EXPECT_EQ(At(doc.get(), {2}), nullptr);
  EXPECT_EQ(At(doc.get(), {0, 0})->GetName(), "A");
  EXPECT_EQ(At(doc.get(), {0, 1})->GetName(), "B");
  EXPECT_EQ(At(doc.get(), {0, 2})->GetName(), "C");
  EXPECT_EQ(At(doc.get(), {0, 1, 0})->GetName(), "B1");
  BaseObject* a = At(doc.get(), {0, 0});
  ASSERT_NE(a->GetFirstTag(), nullptr);
  EXPECT_EQ(a->GetFirstTag()->GetName(), "p0");
  EXPECT_EQ(a->GetFirstTag()->GetNext()->GetName(), "p1");
  EXPECT_EQ(a->GetFirstTag()->GetNext()->GetNext(), nullptr);

  // Matrix bit for bit, modes, and the derived global matrix.
  EXPECT_EQ(root->GetMl(), src->GetFirstObject()->GetMl());
  EXPECT_EQ(root->GetEditorMode(), MODE_OFF);
  EXPECT_EQ(root->GetRenderMode(), MODE_ON);
  EXPECT_FALSE(root->GetDeformMode());
  EXPECT_EQ(At(doc.get(), {0, 1, 0})->GetMg(), At(src.get(), {0, 1, 0})->GetMg());

  // Value types as stored.
  const BaseContainer* bc = a->GetDataInstance();
  EXPECT_EQ(bc->GetId(), 1234);
  EXPECT_EQ(bc->GetType(1), DA_LONG);  // Bool is a LONG
  EXPECT_TRUE(bc->GetBool(1));
  EXPECT_EQ(bc->GetLong(2), -2147483647 - 1);
  EXPECT_EQ(bc->GetType(3), DA_LLONG);
  EXPECT_EQ(bc->GetLLong(3), std::numeric_limits<LLONG>::max());
  EXPECT_EQ(Bits(bc->GetReal(6)), Bits(-0.0));
  EXPECT_EQ(bc->GetString(10), String(std::string("nul\0inside", 10)));
  EXPECT_EQ(bc->GetString(11), String(std::string("\xff\xfe latin1 \xe9")));
  EXPECT_EQ(bc->GetTime(12).GetDenominator(), 0.0);
  EXPECT_EQ(bc->GetFilename(13).GetString(), "tex/wheel.png");
  EXPECT_EQ(bc->GetType(14), DA_NIL);
  EXPECT_NE(bc->GetDataPointer(14), nullptr);  // an explicit nil entry stays an entry
  const auto* knots = static_cast<const Knots*>(bc->GetCustomDataType(70, kKnotsType));
  ASSERT_NE(knots, nullptr);
  EXPECT_EQ(knots->values, (std::vector<Real>{0.0, 0.25, 1.0}));

  // Links into objects, into a tag, null, and from nested containers and tags.
  EXPECT_EQ(bc->GetObjectLink(50, doc.get()), At(doc.get(), {0, 1, 0}));
  EXPECT_EQ(bc->GetTagLink(51, doc.get()), a->GetFirstTag()->GetNext());
  EXPECT_EQ(bc->GetType(52), DA_ALIASLINK);
  EXPECT_EQ(bc->GetLink(52, doc.get()), nullptr);
  BaseContainer sub = bc->GetContainer(60);
  EXPECT_EQ(sub.GetId(), 77);
  EXPECT_EQ(sub.GetObjectLink(1, doc.get()), root);
  EXPECT_EQ(sub.GetContainer(3).GetReal(1), 2.5);
  EXPECT_EQ(a->GetFirstTag()->GetDataInstance()->GetObjectLink(1, doc.get()), At(doc.get(), {1}));

  // Tracks: description levels, keys and a link inside a key.
  ASSERT_EQ(a->Tracks().size(), 2u);
  const CTrack* track = a->Tracks()[0];
  EXPECT_EQ(track->GetObject(), a);
  ASSERT_EQ(track->GetDescriptionID().GetDepth(), 2);
  EXPECT_EQ(track->GetDescriptionID()[0].id, ID_BASEOBJECT_REL_POSITION);
  EXPECT_EQ(track->GetDescriptionID()[0].dtype, DA_VECTOR);
  EXPECT_EQ(track->GetDescriptionID()[1].id, VECTOR_X);
  ASSERT_EQ(track->GetCurve()->GetKeyCount(), 2);
  EXPECT_EQ(track->GetCurve()->GetKey(1)->GetTime().GetNumerator(), 10.0);
  EXPECT_EQ(Bits(track->GetCurve()->GetKey(1)->GetValue()), Bits(-0.0));
  EXPECT_EQ(track->GetCurve()->GetKey(1)->GetGeData().GetLinkAtom(doc.get()), At(doc.get(), {0, 1}));
  const auto* pl = static_cast<const PointLevelData*>(
      a->Tracks()[1]->GetCurve()->GetKey(0)->GetGeData().GetCustomDataType(CUSTOMDATATYPE_POINTLEVEL));
  ASSERT_NE(pl, nullptr);
  EXPECT_EQ(pl->Points(), (std::vector<Vector>{Vector(1, 2, 3), Vector(-1, 0.5, 1e-7)}));
  ASSERT_EQ(doc->Tracks().size(), 1u);
  EXPECT_EQ(doc->Tracks()[0]->GetDescriptionID()[0].id, 3);

  EXPECT_EQ(doc->GetActiveObject(), At(doc.get(), {0, 1}));
  EXPECT_EQ(doc->GetActiveTag(), a->GetFirstTag()->GetNext());
}

TEST_F(SceneFileTest, RealsReadBackBitExact) {
  const Real payload_nan = std::bit_cast<Real>(std::uint64_t{0x7ff0000000000123});
  const Real values[] = {0.1,
                         1.0 / 3.0,
                         -0.0,
                         1e21,
                         123456789012345678.0,
                         std::numeric_limits<Real>::denorm_min(),
                         std::numeric_limits<Real>::min(),
                         std::numeric_limits<Real>::max(),
                         -std::numeric_limits<Real>::max(),
                         std::nextafter(1.0, 2.0),
                         std::numeric_limits<Real>::infinity(),
                         -std::numeric_limits<Real>::infinity(),
                         std::numeric_limits<Real>::quiet_NaN(),
                         -std::numeric_limits<Real>::quiet_NaN(),
                         payload_nan};
  for (Real v : values) {
    SCOPED_TRACE(testing::Message() << "bits " << std::hex << Bits(v));
    DocPtr doc(BaseDocument::Alloc());
    BaseObject* op = Add(doc.get(), Onull, "n");
    op->SetMl(Matrix(Vector(v, 1, 2), Vector(1, v, 0), Vector(0, 1, 0), Vector(0, 0, v)));
    op->GetDataInstance()->SetReal(1, v);
    op->GetDataInstance()->SetVector(2, Vector(v, -v, v));
    op->GetDataInstance()->SetTime(3, BaseTime(v, v));
    const std::string text = Save(doc.get());
    DocPtr back = Load(text);
    ASSERT_NE(back.get(), nullptr);
    BaseObject* b = back->GetFirstObject();
    EXPECT_EQ(Bits(b->GetMl().off.x), Bits(v));
    EXPECT_EQ(Bits(b->GetMl().v1.y), Bits(v));
    EXPECT_EQ(Bits(b->GetMl().v3.z), Bits(v));
    EXPECT_EQ(Bits(b->GetDataInstance()->GetReal(1)), ReturnedBits(v));
    EXPECT_EQ(Bits(b->GetDataInstance()->GetVector(2).y), Bits(-v));
    EXPECT_EQ(Bits(b->GetDataInstance()->GetTime(3).GetDenominator()), Bits(v));
    EXPECT_EQ(Save(back.get()), text);
  }
}

TEST_F(SceneFileTest, NamesKeepAnyBytes) {
  const std::string names[] = {"", "Ünïcödé ✓ 車", std::string("a\0b", 3), "\xc3\x28 broken", "\xed\xa0\x80 surrogate",
                               "line\nbreak \"q\""};
  for (const std::string& name : names) {
    DocPtr doc(BaseDocument::Alloc());
    Add(doc.get(), Onull, "x")->SetName(String(name));
    DocPtr back = Load(Save(doc.get()));
    ASSERT_NE(back.get(), nullptr);
    EXPECT_EQ(std::string(back->GetFirstObject()->GetName()), name);
  }
}

TEST_F(SceneFileTest, LinksToNodesGoneOrElsewhereAreSavedAsNull) {
  DocPtr doc(BaseDocument::Alloc());
  DocPtr other(BaseDocument::Alloc());
  BaseObject* holder = Add(doc.get(), Onull, "holder");
  BaseObject* doomed = Add(doc.get(), Ocube, "doomed", nullptr, holder);
  BaseTag* doomed_tag = AddTag(doomed, Tpoint, "t");
  BaseObject* foreign = Add(other.get(), Onull, "foreign");
  BaseObject* loose = BaseObject::Alloc(Onull);  // in no document
  holder->GetDataInstance()->SetLink(1, doomed);
  holder->GetDataInstance()->SetLink(2, doomed_tag);
  holder->GetDataInstance()->SetLink(3, foreign);
  holder->GetDataInstance()->SetLink(4, loose);
  BaseObject::Free(doomed);
  BaseObject::Free(loose);

  const std::string text = Save(doc.get());
  DocPtr back = Load(text);
  ASSERT_NE(back.get(), nullptr);
  const BaseContainer* bc = back->GetFirstObject()->GetDataInstance();
  for (LONG id : {1, 2, 3, 4}) {
    EXPECT_EQ(bc->GetType(id), DA_ALIASLINK) << id;
    EXPECT_EQ(bc->GetLink(id, nullptr), nullptr) << id;
  }
  EXPECT_EQ(back->GetFirstObject()->GetNext(), nullptr);
  EXPECT_EQ(Save(back.get()), text);
}

TEST_F(SceneFileTest, AnEmptyDocumentRoundTrips) {
  DocPtr doc(BaseDocument::Alloc());
  const std::string text = Save(doc.get());
  DocPtr back = Load(text);
  ASSERT_NE(back.get(), nullptr);
  EXPECT_EQ(back->GetFirstObject(), nullptr);
  EXPECT_EQ(back->GetFps(), doc->GetFps());
  EXPECT_EQ(Save(back.get()), text);
}

// A hand-written file may leave out the lists and modes; containers hold the
// values exactly as written.
TEST_F(SceneFileTest, AMinimalHandWrittenFileLoads) {
  DocPtr doc = Load(R"({"format": "simhost scene", "version": 1, "fps": 30,
    "time": {"num": 0, "den": 1}, "min_time": {"num": 0, "den": 1}, "max_time": {"num": 3, "den": 1},
    "loop_min_time": {"num": 0, "den": 1}, "loop_max_time": {"num": 3, "den": 1},
    "objects": [{"type": 5140, "name": "N",
                 "matrix": {"off": [1, 2, 3], "v1": [1, 0, 0], "v2": [0, 1, 0], "v3": [0, 0, 1]},
                 "container": {"5": {"type": "real", "value": 2}, "6": {"type": "real", "value": "-inf"}}}]})");
  ASSERT_NE(doc.get(), nullptr);
  BaseObject* op = doc->GetFirstObject();
  EXPECT_EQ(op->GetRelPos(), Vector(1, 2, 3));
  EXPECT_EQ(op->GetDataInstance()->GetType(5), DA_REAL);
  EXPECT_EQ(op->GetDataInstance()->GetReal(5), 2.0);
  EXPECT_EQ(op->GetDataInstance()->GetReal(6), -std::numeric_limits<Real>::infinity());
  EXPECT_EQ(op->GetFirstTag(), nullptr);
  EXPECT_EQ(op->GetEditorMode(), MODE_UNDEF);
}

// ---------------------------------------------------------------- bad input

// A valid document around the given object list.
std::string DocWith(const std::string& objects, const std::string& extra = "") {
  return R"({"format": "simhost scene", "version": 1, "fps": 30, "time": {"num": 0, "den": 1},
    "min_time": {"num": 0, "den": 1}, "max_time": {"num": 3, "den": 1},
    "loop_min_time": {"num": 0, "den": 1}, "loop_max_time": {"num": 3, "den": 1}, )" +
         extra + R"("objects": )" + objects + "}";
}

std::string Obj(LONG type, const std::string& container = "{}", const std::string& extra = "") {
  return R"({"type": )" + std::to_string(type) + R"(, "name": "o", )" +
         R"("matrix": {"off": [0, 0, 0], "v1": [1, 0, 0], "v2": [0, 1, 0], "v3": [0, 0, 1]}, )" + extra +
         R"("container": )" + container + "}";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string Entry(const std::string& value) { return R"({"9": )" + value + "}"; }

TEST_F(SceneFileTest, BadInputGivesOneErrorNamingThePlace) {
  const std::string ok = Obj(Onull);
  const std::string tree =  // the faulty value lies in objects[0].children[2]
      "[" + Obj(Onull, "{}", R"("children": [)" + ok + "," + ok + "," +
                                 Obj(Ocube, R"({"1013": {"type": "vector", "value": [1, 2]}})") + "],") +
      "]";
  struct Case {
    const char* what;
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"broken JSON", R"({"format": "simhost scene", )", "not valid JSON: parse error at line 1"},
      {"number beyond a double", "{\"format\": \"simhost scene\",\n \"version\": 1e400}",
       "line 2, column 13: the number 1e400 is outside the range of a double"},
      {"negative number beyond a double", DocWith("[" + Obj(Onull, Entry(R"({"type": "real", "value": -1e309})")) + "]"),
       "the number -1e309 is outside the range of a double"},
      {"not an object", "[1, 2]", "expected an object"},
      {"other format", R"({"format": "image", "version": 1})", "format: not a scene file"},
      {"newer version", R"({"format": "simhost scene", "version": 2})", "version: version 2 is not supported"},
      {"missing field", R"({"format": "simhost scene", "version": 1, "fps": 30})", "missing field \"time\""},
      {"frame rate", Replace(DocWith("[]"), "\"fps\": 30", "\"fps\": 0"), "fps: expected a positive frame rate"},
      {"time not a time", Replace(DocWith("[]"), "\"time\": {\"num\": 0, \"den\": 1}", "\"time\": 3"),
       "time: expected an object"},
      {"time part not a number", R"({"format": "simhost scene", "version": 1, "fps": 30, "time": {"num": 0, "den": 1},
        "min_time": {"num": 0, "den": 1}, "max_time": {"num": 3, "den": 1},
        "loop_min_time": {"num": 0, "den": 1}, "loop_max_time": {"num": 3, "den": "x"}, "objects": []})",
       "loop_max_time.den: expected a number"},
      {"objects not a list", DocWith("{}"), "objects: expected an array"},
      {"unknown type", DocWith("[" + Obj(424242) + "]"), "objects[0].type: unknown object type 424242"},
      {"tag type as object", DocWith("[" + Obj(Tpoint) + "]"), "objects[0].type: type 5600 (Point) is not an object type"},
      {"object type as tag", DocWith("[" + Obj(Onull, "{}", R"("tags": [{"type": 5140, "name": "t", "container": {}}],)") + "]"),
       "objects[0].tags[0].type: type 5140 (Null) is not a tag type"},
      {"wrong value deep in the tree", DocWith(tree), "objects[0].children[2].container[\"1013\"]: expected a vector of 3 numbers"},
      {"missing name", DocWith(R"([{"type": 5140}])"), "objects[0]: missing field \"name\""},
      {"missing container", DocWith(R"([{"type": 5140, "name": "n", "matrix": {"off": [0,0,0], "v1": [1,0,0], "v2": [0,1,0], "v3": [0,0,1]}}])"),
       "objects[0]: missing field \"container\""},
      {"matrix axis", DocWith(R"([{"type": 5140, "name": "n", "matrix": {"off": [0,0,0], "v1": [1,0,0], "v2": "up", "v3": [0,0,1]}, "container": {}}])"),
       "objects[0].matrix.v2: expected a vector of 3 numbers"},
      {"name not text", DocWith(R"([{"type": 5140, "name": 5}])"), "objects[0].name: expected a string"},
      {"bad byte text", DocWith(R"([{"type": 5140, "name": {"bytes": "4g"}}])"), "objects[0].name: expected a string"},
      {"link to nothing", DocWith("[" + Obj(Onull, Entry(R"({"type": "link", "value": {"object": [0, 3]}})")) + "]"),
       "objects[0].container[\"9\"]: link to nothing: no object at [0,3]"},
      {"link to no tag", DocWith("[" + Obj(Onull, Entry(R"({"type": "link", "value": {"object": [0], "tag": 0}})")) + "]"),
       "objects[0].container[\"9\"]: link to nothing: the object at [0] has no tag 0"},
      {"negative link index", DocWith("[" + Obj(Onull, Entry(R"({"type": "link", "value": {"object": [-1]}})")) + "]"),
       "link to nothing"},
      {"malformed link", DocWith("[" + Obj(Onull, Entry(R"({"type": "link", "value": [0]})")) + "]"),
       "objects[0].container[\"9\"]: expected a link"},
      {"unknown value type", DocWith("[" + Obj(Onull, Entry(R"({"type": "vec", "value": [0, 0, 0]})")) + "]"),
       "objects[0].container[\"9\"]: unknown value type \"vec\""},
      {"untyped value", DocWith("[" + Obj(Onull, Entry("5")) + "]"), "objects[0].container[\"9\"]: expected a typed value"},
      {"value missing", DocWith("[" + Obj(Onull, Entry(R"({"type": "long"})")) + "]"),
       "objects[0].container[\"9\"]: missing field \"value\""},
      {"long too big", DocWith("[" + Obj(Onull, Entry(R"({"type": "long", "value": 2147483648})")) + "]"),
       "container[\"9\"]: expected a 32-bit integer"},
      {"long as fraction", DocWith("[" + Obj(Onull, Entry(R"({"type": "long", "value": 1.5})")) + "]"),
       "container[\"9\"]: expected a 32-bit integer"},
      {"llong too big", DocWith("[" + Obj(Onull, Entry(R"({"type": "llong", "value": 9223372036854775808})")) + "]"),
       "container[\"9\"]: expected a 64-bit integer"},
      {"real as text", DocWith("[" + Obj(Onull, Entry(R"({"type": "real", "value": "1.5"})")) + "]"),
       "container[\"9\"]: expected a number"},
      {"string as number", DocWith("[" + Obj(Onull, Entry(R"({"type": "string", "value": 1})")) + "]"),
       "container[\"9\"]: expected a string"},
      {"time without den", DocWith("[" + Obj(Onull, Entry(R"({"type": "time", "value": {"num": 1}})")) + "]"),
       "container[\"9\"]: missing field \"den\""},
      {"nested value", DocWith("[" + Obj(Onull, Entry(R"({"type": "container", "id": 0, "value": {"3": {"type": "real", "value": null}}})")) + "]"),
       "objects[0].container[\"9\"][\"3\"]: expected a number"},
      {"id not canonical", DocWith("[" + Obj(Onull, R"({"09": {"type": "nil"}})") + "]"),
       "objects[0].container: \"09\" is not a decimal container id"},
      {"id not a number", DocWith("[" + Obj(Onull, R"({"x": {"type": "nil"}})") + "]"),
       "objects[0].container: \"x\" is not a decimal container id"},
      {"unknown custom type", DocWith("[" + Obj(Onull, Entry(R"({"type": "custom", "id": 990099, "value": []})")) + "]"),
       "objects[0].container[\"9\"]: unknown custom data type 990099"},
      {"custom value refused", DocWith("[" + Obj(Onull, Entry(R"({"type": "custom", "id": 1099600, "value": {"a": 1}})")) + "]"),
       "objects[0].container[\"9\"]: knots must be a list of numbers"},
      {"mode", DocWith("[" + Obj(Onull, "{}", R"("editor_mode": 7,)") + "]"), "objects[0].editor_mode: expected a mode"},
      {"deform flag", DocWith("[" + Obj(Onull, "{}", R"("deform_mode": 1,)") + "]"), "objects[0].deform_mode: expected true or false"},
      {"key without time", DocWith("[" + Obj(Onull, "{}", R"("tracks": [{"id": [[903, 23, 0]], "keys": [{"value": 1}]}],)") + "]"),
       "objects[0].tracks[0].keys[0]: missing field \"time\""},
      {"description too deep", DocWith("[" + Obj(Onull, "{}", R"("tracks": [{"id": [[1,0,0],[2,0,0],[3,0,0],[4,0,0]], "keys": []}],)") + "]"),
       "objects[0].tracks[0].id: expected 1 to 3 levels"},
      {"two tracks of one parameter", DocWith("[" + Obj(Onull, "{}", R"("tracks": [{"id": [[903, 23, 0]], "keys": []}, {"id": [[903, 0, 0]], "keys": []}],)") + "]"),
       "objects[0].tracks[1].id: a second track for the same parameter"},
      {"keys out of order", DocWith("[" + Obj(Onull, "{}", R"("tracks": [{"id": [[903, 23, 0]], "keys": [{"time": {"num": 2, "den": 1}, "value": 0}, {"time": {"num": 1, "den": 1}, "value": 0}]}],)") + "]"),
       "objects[0].tracks[0].keys[1].time: not after the time of the key before"},
      {"data without reader", DocWith("[" + Obj(Onull, "{}", R"("data": {"points": []},)") + "]"),
       "objects[0].data: no reader for the data of type 5140 (Null)"},
      {"active object is a tag", DocWith("[" + Obj(Onull, "{}", R"("tags": [{"type": 5600, "name": "t", "container": {}}],)") + "]",
                                         R"("active_object": {"object": [0], "tag": 0}, )"),
       "active_object: the link names a tag, not an object"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string error = LoadError(c.text);
    EXPECT_NE(error.find(c.error), std::string::npos) << "got: " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
  }
}

TEST_F(SceneFileTest, LinksIntoAWideTreeFindTheirNodes) {
  // Many siblings, each linking to the last top-level object, to a child
  // and to a tag of the last one.
  constexpr int kCount = 3000;
  const std::string last = std::to_string(kCount - 1);
  const std::string links = R"({"1": {"type": "link", "value": {"object": [)" + last + R"(]}},
    "2": {"type": "link", "value": {"object": [)" + last + R"(, 1]}},
    "3": {"type": "link", "value": {"object": [)" + last + R"(], "tag": 1}}})";
  const std::string tags = R"("tags": [{"type": 5600, "name": "t0", "container": {}}, {"type": 5600, "name": "t1", "container": {}}],)";
  std::string objects;
  for (int i = 0; i < kCount; ++i) {
    const std::string name = std::string("n").append(std::to_string(i));
    if (i) objects += ",";
    objects += Replace(Obj(Onull, links, tags + R"("children": [)" + Obj(Onull) + "," + Obj(Onull) + "],"),
                       R"("name": "o")", "\"name\": \"" + name + "\"");
  }
  DocPtr doc = Load(DocWith("[" + objects + "]"));
  ASSERT_NE(doc.get(), nullptr);
  BaseObject* target = At(doc.get(), {kCount - 1});
  ASSERT_NE(target, nullptr);
  ASSERT_EQ(target->GetName(), "n" + last);
  for (BaseObject* op = doc->GetFirstObject(); op; op = op->GetNext()) {
    const BaseContainer* bc = op->GetDataInstance();
    ASSERT_EQ(bc->GetLink(1, doc.get()), target);
    ASSERT_EQ(bc->GetLink(2, doc.get()), target->GetDown()->GetNext());
    ASSERT_EQ(bc->GetLink(3, doc.get()), target->GetFirstTag()->GetNext());
  }
}

TEST_F(SceneFileTest, HostileNestingIsRefusedNotOverflowed) {
  std::string objects = Obj(Onull);
  for (int i = 0; i < 1100; ++i) objects = Obj(Onull, "{}", R"("children": [)" + objects + "],");
  EXPECT_NE(LoadError(DocWith("[" + objects + "]")).find("nested deeper than"), std::string::npos);

  std::string value = R"({"type": "nil"})";
  for (int i = 0; i < 1100; ++i) value = R"({"type": "container", "id": 0, "value": {"1": )" + value + "}}";
  EXPECT_NE(LoadError(DocWith("[" + Obj(Onull, Entry(value)) + "]")).find("nested deeper than"), std::string::npos);

  // Node data and custom values are read by the plug-ins' own code: the same
  // limit holds for any value of the file, long before the stack runs out.
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  const std::string deep_object = [] {
    std::string s;
    for (int i = 0; i < 100000; ++i) s += "{\"a\":";
    return s + "1" + std::string(100000, '}');
  }();
  for (const std::string& text :
       {DocWith("[" + Obj(Onull, "{}", "\"data\": " + deep + ",") + "]"),
        DocWith("[" + Obj(Onull, Entry(R"({"type": "custom", "id": 1099600, "value": )" + deep_object + "}")) + "]"),
        deep}) {
    const std::string error = LoadError(text);
    EXPECT_NE(error.find("values nested deeper than 4000 levels"), std::string::npos) << error.substr(0, 200);
    EXPECT_EQ(error.rfind("line ", 0), 0u) << error.substr(0, 200);
  }
}

// ---------------------------------------------------------------- plug-in nodes

constexpr LONG kProbeObject = 1099501;
constexpr LONG kProbeTag = 1099502;
constexpr LONG kRefusingObject = 1099503;

struct ProbeLog {
  static inline std::vector<std::string> imported;  // names, in the order message 13 arrived
  static inline int live = 0;
};

// Init sets defaults and makes a tag; message 13 is logged and, when asked to
// by the node's LONG 20, frees the node's next sibling or adds a new object.
class ProbeObject : public ObjectData {
 public:
  ProbeObject() { ++ProbeLog::live; }
  ~ProbeObject() override { --ProbeLog::live; }
  static NodeData* Alloc() { return new ProbeObject; }
  Bool Init(GeListNode* node) override {
    auto* op = static_cast<BaseObject*>(node);
    op->GetDataInstance()->SetLong(10, 7);
    op->GetDataInstance()->SetString(11, "init");
    op->MakeTag(Tpoint)->SetName("made by init");
    return true;
  }
  Bool Message(GeListNode* node, LONG type, void*) override {
    auto* op = static_cast<BaseObject*>(node);
    if (type != MSG_MULTI_DOCUMENTIMPORTED) return true;
    ProbeLog::imported.push_back(op->GetName());
    const LONG action = op->GetDataInstance()->GetLong(20);
    if (action == 1 && op->GetNext()) {
      BaseObject* next = op->GetNext();
      BaseObject::Free(next);
    } else if (action == 2) {
      BaseObject* made = BaseObject::Alloc(kProbeObject);
      made->SetName("made on import");
      op->GetDocument()->InsertObject(made, nullptr, nullptr);
    }
    return true;
  }
};

class ProbeTag : public TagData {
 public:
  ProbeTag() { ++ProbeLog::live; }
  ~ProbeTag() override { --ProbeLog::live; }
  static NodeData* Alloc() { return new ProbeTag; }
  Bool Message(GeListNode* node, LONG type, void*) override {
    if (type == MSG_MULTI_DOCUMENTIMPORTED) ProbeLog::imported.push_back(static_cast<BaseTag*>(node)->GetName());
    return true;
  }
};

class Refusing : public ObjectData {
 public:
  static NodeData* Alloc() { return new Refusing; }
  Bool Init(GeListNode*) override { return false; }
};

class SceneFilePluginTest : public SceneFileTest {
 protected:
  static void SetUpTestSuite() {
    hostregistry::SetCurrentModule("scenefile_test");
    ASSERT_TRUE(RegisterObjectPlugin(kProbeObject, "Probe", 0, &ProbeObject::Alloc, "Oprobe", nullptr, 0));
    ASSERT_TRUE(RegisterTagPlugin(kProbeTag, "Probe Tag", TAG_VISIBLE, &ProbeTag::Alloc, "Tprobe", nullptr, 0));
    ASSERT_TRUE(RegisterObjectPlugin(kRefusingObject, "Refusing", 0, &Refusing::Alloc, "Orefusing", nullptr, 0));
    hostregistry::SetCurrentModule("");
  }
  static void TearDownTestSuite() { hostregistry::RemoveModule("scenefile_test"); }
  void SetUp() override {
    ProbeLog::imported.clear();
    ProbeLog::live = 0;
  }
};

TEST_F(SceneFilePluginTest, EveryNodeGetsMessage13InPreOrderAfterLinksAreResolved) {
  DocPtr doc(BaseDocument::Alloc());
  BaseObject* a = Add(doc.get(), kProbeObject, "a");
  BaseObject* b = Add(doc.get(), kProbeObject, "b", nullptr, a);
  BaseObject* a1 = Add(doc.get(), kProbeObject, "a1", a);
  Add(doc.get(), kProbeObject, "a2", a, a1);
  AddTag(a, kProbeTag, "a.t0");
  AddTag(a, kProbeTag, "a.t1");
  AddTag(a1, kProbeTag, "a1.t");
  (void)b;
  const std::string text = Save(doc.get());
  ProbeLog::imported.clear();

  DocPtr back = Load(text);
  ASSERT_NE(back.get(), nullptr);
  EXPECT_EQ(ProbeLog::imported,
            (std::vector<std::string>{"a", "a.t0", "a.t1", "a1", "a1.t", "a2", "b"}));
  EXPECT_EQ(Save(back.get()), text);
}

TEST_F(SceneFilePluginTest, FileValuesWinAndInitDefaultsFillTheRest) {
  DocPtr doc = Load(DocWith("[" + Obj(kProbeObject, R"({"11": {"type": "string", "value": "file"}})",
                                      R"("tags": [{"type": 5600, "name": "from file", "container": {}}],)") + "]"));
  ASSERT_NE(doc.get(), nullptr);
  BaseObject* op = doc->GetFirstObject();
  EXPECT_EQ(op->GetDataInstance()->GetLong(10), 7);          // Init's default, absent from the file
  EXPECT_EQ(op->GetDataInstance()->GetString(11), "file");   // the file wins
  ASSERT_NE(op->GetFirstTag(), nullptr);
  EXPECT_EQ(op->GetFirstTag()->GetName(), "from file");      // Init's tag is replaced by the file's
  EXPECT_EQ(op->GetFirstTag()->GetNext(), nullptr);
}

TEST_F(SceneFilePluginTest, HandlersThatEditTheTreeDuringImportAreSafe) {
  DocPtr doc(BaseDocument::Alloc());
  BaseObject* killer = Add(doc.get(), kProbeObject, "killer");
  Add(doc.get(), kProbeObject, "victim", nullptr, killer);
  BaseObject* maker = Add(doc.get(), kProbeObject, "maker", nullptr, killer->GetNext());
  killer->GetDataInstance()->SetLong(20, 1);
  maker->GetDataInstance()->SetLong(20, 2);
  const std::string text = Save(doc.get());
  ProbeLog::imported.clear();

  DocPtr back = Load(text);
  ASSERT_NE(back.get(), nullptr);
  // The victim (and its tag) were freed before their turn; the object made
  // during import gets no message.
  EXPECT_EQ(ProbeLog::imported, (std::vector<std::string>{"killer", "maker"}));
  EXPECT_EQ(back->GetFirstObject()->GetName(), "made on import");
}

TEST_F(SceneFilePluginTest, AFailedLoadLeavesNothingBehindAndSendsNoMessage) {
  const std::string good = Obj(kProbeObject, "{}", R"("tags": [{"type": 1099502, "name": "t", "container": {}}],)");
  struct Case {
    const char* what;
    std::string objects;
    std::string error;
  };
  const Case cases[] = {
      {"unregistered plug-in type", "[" + good + "," + Obj(1099999) + "]", "objects[1].type: unknown object type 1099999"},
      {"Init refuses", "[" + good + "," + Obj(kRefusingObject) + "]",
       "objects[1].type: could not create an object of type 1099503 (Refusing)"},
      {"plug-in tag as object", "[" + good + "," + Obj(kProbeTag) + "]", "objects[1].type: type 1099502 (Probe Tag) is not an object type"},
      {"error after the tree is built",
       "[" + good + "," + Obj(kProbeObject, Entry(R"({"type": "link", "value": {"object": [2]}})")) + "]",
       "objects[1].container[\"9\"]: link to nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string error = LoadError(DocWith(c.objects));
    EXPECT_NE(error.find(c.error), std::string::npos) << "got: " << error;
    EXPECT_EQ(ProbeLog::live, 0);
    EXPECT_TRUE(ProbeLog::imported.empty());
  }
}

// ---------------------------------------------------------------- hooks

// Points of a cube kept beside the scene, as a geometry class would keep them.
std::map<std::uint64_t, std::vector<Vector>>& CubePoints() {
  static std::map<std::uint64_t, std::vector<Vector>> points;
  return points;
}

class SceneFileHookTest : public SceneFileTest {
 protected:
  void SetUp() override {
    CubePoints().clear();
    scenefile::RegisterNodeIO(
        Ocube,
        [](const BaseList2D* node) -> std::string {
          auto it = CubePoints().find(node->GetSerial());
          if (it == CubePoints().end()) return "";
          std::ostringstream s;
          s.precision(17);
          s << "[";
          for (size_t i = 0; i < it->second.size(); ++i)
            s << (i ? "," : "") << it->second[i].x << "," << it->second[i].y << "," << it->second[i].z;
          s << "]";
          return s.str();
        },
        [](BaseList2D* node, const std::string& text, String* error) -> Bool {
          // Runs once the container and links are in place.
          if (node->GetDataInstance()->GetLong(1) != 42) {
            *error = "the container was not read first";
            return false;
          }
          std::istringstream s(text.substr(1, text.size() - 2));
          std::vector<Real> nums;
          std::string item;
          while (std::getline(s, item, ',')) nums.push_back(String(item).ToReal());
          if (nums.size() % 3 != 0) {
            *error = "points come in threes";
            return false;
          }
          auto& pts = CubePoints()[node->GetSerial()];
          for (size_t i = 0; i < nums.size(); i += 3) pts.emplace_back(nums[i], nums[i + 1], nums[i + 2]);
          return true;
        });
  }
  void TearDown() override { scenefile::UnregisterNodeIO(Ocube); }
};

TEST_F(SceneFileHookTest, NodeDataRoundTripsThroughTheHook) {
  DocPtr doc(BaseDocument::Alloc());
  BaseObject* with = Add(doc.get(), Ocube, "with");
  Add(doc.get(), Ocube, "without", nullptr, with);
  with->GetDataInstance()->SetLong(1, 42);
  CubePoints()[with->GetSerial()] = {Vector(1, 2, 3), Vector(-0.5, 0.1, 1e-9)};
  const std::string text = Save(doc.get());
  EXPECT_NE(text.find("\"data\""), std::string::npos);

  DocPtr back = Load(text);
  ASSERT_NE(back.get(), nullptr);
  const auto& pts = CubePoints()[back->GetFirstObject()->GetSerial()];
  EXPECT_EQ(pts, (std::vector<Vector>{Vector(1, 2, 3), Vector(-0.5, 0.1, 1e-9)}));
  EXPECT_EQ(CubePoints().count(back->GetFirstObject()->GetNext()->GetSerial()), 0u);  // nothing written, nothing read
  EXPECT_EQ(Save(back.get()), text);
}

TEST_F(SceneFileHookTest, ARefusingReaderFailsTheLoadAtItsNode) {
  const std::string error = LoadError(DocWith("[" + Obj(Onull, "{}", R"("children": [)" +
                                                                        Obj(Ocube, R"({"1": {"type": "long", "value": 42}})",
                                                                            R"("data": [1, 2],)") +
                                                                        "],") +
                                              "]"));
  EXPECT_EQ(error, "objects[0].children[0].data: points come in threes");
}

TEST_F(SceneFileTest, WriterFaultsFailTheSaveAndKeepTheOldFile) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "scenefile_writer_faults";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "scene.json").string();
  {
    std::ofstream f(path);
    f << "old content";
  }

  struct Unwritable : CustomDataType {
    LONG GetTypeId() const override { return 1099700; }
    std::unique_ptr<CustomDataType> Clone() const override { return std::make_unique<Unwritable>(); }
    bool Equals(const CustomDataType&) const override { return true; }
  };
  DocPtr doc(BaseDocument::Alloc());
  BaseObject* op = Add(doc.get(), Onull, "n");
  op->GetDataInstance()->SetData(5, GeData(Unwritable()));
  String error;
  EXPECT_FALSE(scenefile::Save(doc.get(), Filename(String(path)), &error));
  EXPECT_EQ(error, "objects[0].container[\"5\"]: no writer for custom data type 1099700");
  EXPECT_EQ(scenefile::SaveToString(doc.get()), "");

  // A node writer that gives something other than JSON.
  op->GetDataInstance()->RemoveData(5);
  scenefile::RegisterNodeIO(Onull, [](const BaseList2D*) { return std::string("{not json"); },
                            [](BaseList2D*, const std::string&, String*) { return true; });
  EXPECT_FALSE(scenefile::Save(doc.get(), Filename(String(path)), &error));
  scenefile::UnregisterNodeIO(Onull);
  EXPECT_EQ(error, "objects[0].data: the node data writer gave text that is not JSON");

  {
    // Closed before the folder goes: Windows keeps open files.
    std::ifstream f(path);
    std::string content((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "old content");
  }
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------- files

TEST_F(SceneFileTest, FilesSaveAndLoadWithThePathInErrors) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "scenefile_files";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "fixture.json").string();

  DocPtr doc(MakeFixture());
  String error;
  ASSERT_TRUE(scenefile::Save(doc.get(), Filename(String(path)), &error)) << error;
  BaseDocument* loaded = scenefile::Load(Filename(String(path)), &error);
  ASSERT_NE(loaded, nullptr) << error;
  DocPtr back(loaded);
  ExpectSameDocument(doc.get(), back.get());

  EXPECT_EQ(scenefile::Load(Filename(String((dir / "missing.json").string())), &error), nullptr);
  EXPECT_NE(error.find("cannot read scene file"), std::string::npos) << error;
  EXPECT_NE(error.find("missing.json"), std::string::npos) << error;

  {
    std::ofstream f(path);
    f << DocWith("[" + Obj(424242) + "]");
  }
  EXPECT_EQ(scenefile::Load(Filename(String(path)), &error), nullptr);
  EXPECT_EQ(std::string(error), path + ": objects[0].type: unknown object type 424242");

  EXPECT_FALSE(scenefile::Save(doc.get(), Filename(String((dir / "no_dir" / "x.json").string())), &error));
  EXPECT_NE(error.find("cannot write scene file"), std::string::npos) << error;
  EXPECT_FALSE(scenefile::Save(nullptr, Filename(String(path)), &error));
  std::filesystem::remove_all(dir);
}

TEST_F(SceneFileTest, SavingReplacesOnlyRegularFilesAndLeavesNoTemporary) {
#ifdef _WIN32
  GTEST_SKIP() << "needs symbolic links, which the Windows test runs do not have";
#endif
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "scenefile_outputs";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto read = [](const std::filesystem::path& p) {
    std::ifstream f(p);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  };
  const auto write = [](const std::filesystem::path& p, const std::string& text) { std::ofstream(p) << text; };
  DocPtr doc(MakeFixture());
  String error;

  // The user's own OUT.tmp is neither overwritten nor removed.
  write(dir / "out.json.tmp", "mine");
  ASSERT_TRUE(scenefile::Save(doc.get(), Filename(String((dir / "out.json").string())), &error)) << error;
  EXPECT_EQ(read(dir / "out.json.tmp"), "mine");
  EXPECT_EQ(read(dir / "out.json"), Save(doc.get()));

  // A link, a device and a folder are refused and left as they were.
  write(dir / "target.json", "target");
  std::filesystem::create_symlink(dir / "target.json", dir / "link.json");
  std::filesystem::create_directory(dir / "folder.json");
  for (const std::string& out : {(dir / "link.json").string(), std::string("/dev/null"), (dir / "folder.json").string()}) {
    SCOPED_TRACE(out);
    EXPECT_FALSE(scenefile::Save(doc.get(), Filename(String(out)), &error));
    EXPECT_EQ(std::string(error), "cannot write scene file '" + out + "': it exists and is not a regular file");
  }
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.json"));
  EXPECT_EQ(read(dir / "target.json"), "target");
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

  // Nothing else was left in the folder.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"folder.json", "link.json", "out.json", "out.json.tmp", "target.json"}));

  // A folder given as the scene is a read error, not a JSON error.
  EXPECT_EQ(scenefile::Load(Filename(String(dir.string())), &error), nullptr);
  EXPECT_EQ(std::string(error), "cannot read scene file '" + dir.string() + "': it is a folder");
  std::filesystem::remove_all(dir);
}

// Scenes baked by earlier builds carry the point-level track as 1090002 with
// data 1090001: they load as the host's track and data numbers and are
// written back with those.
TEST_F(SceneFileTest, OldPointLevelNumbersLoadAsTheHostsOwn) {
  DocPtr doc = Load(DocWith("[" + Obj(Onull, "{}", R"("tracks": [{"id": [[1090002, 1090002, 0]], "keys": [
      {"time": {"num": 0, "den": 30}, "value": 0, "data": {"type": "custom", "id": 1090001, "value": [[1, 2, 3]]}}]}],)") + "]"));
  ASSERT_NE(doc.get(), nullptr);
  const BaseObject* op = doc->GetFirstObject();
  ASSERT_EQ(op->Tracks().size(), 1u);
  const DescID& id = op->Tracks()[0]->GetDescriptionID();
  ASSERT_EQ(id.GetDepth(), 1);
  EXPECT_EQ(id[0].id, 100004812);
  EXPECT_EQ(id[0].dtype, 100004812);
  const GeData& data = op->Tracks()[0]->GetCurve()->GetKey(0)->GetGeData();
  EXPECT_EQ(data.GetType(), 100004811);
  const auto* pl = static_cast<const PointLevelData*>(data.GetCustomDataType(100004811));
  ASSERT_NE(pl, nullptr);
  EXPECT_EQ(pl->Points(), std::vector<Vector>{Vector(1, 2, 3)});

  const std::string again = Save(doc.get());
  EXPECT_NE(again.find("100004812"), std::string::npos) << again;
  EXPECT_NE(again.find("100004811"), std::string::npos) << again;
  EXPECT_EQ(again.find("109000"), std::string::npos) << again;
}

}  // namespace
