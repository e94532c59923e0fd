// The collision-shape tag: start-up, the shape of cubes, cylinders and closed
// splines, and the tag's life in a document.
#include <gtest/gtest.h>

#include <cmath>

#include "plugin_in_process.h"
#include "host_description.h"
#include "host_draw.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_services.h"
#include "carsim/link_message.h"
#include "tkolvaris.h"

extern "C" LONG c4d_main(LONG action, void* p1, void* p2, void* p3);

namespace {

void ExpectVec(const Vector& got, const Vector& want, double tol = 1e-9) {
  EXPECT_NEAR(got.x, want.x, tol);
  EXPECT_NEAR(got.y, want.y, tol);
  EXPECT_NEAR(got.z, want.z, tol);
}

class KolvarisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlog::SetQuiet(true);
    blocksAtStart = hostmem::LiveBlocks();
    ASSERT_NO_FATAL_FAILURE(testsupport::HandOver(CARSIM_SOURCE_DIR "/kolvaris"));
    ASSERT_TRUE(PluginStart());
    doc = BaseDocument::Alloc();
    InitCollisionShape(shape);
  }
  void TearDown() override {
    hostmem::FailAllocation(0);
    FreeCollisionShapeCache(shape);
    BaseDocument::Free(doc);
    hostregistry::RemoveModule(String());
    EXPECT_EQ(hostmem::LiveBlocks(), blocksAtStart);
  }

  BaseObject* Add(LONG type) {
    BaseObject* op = BaseObject::Alloc(type);
    EXPECT_NE(op, nullptr);
    doc->InsertObject(op, nullptr, nullptr);
    return op;
  }
  SplineObject* AddSquare(Real half, bool closed) {
    SplineObject* sp = SplineObject::Alloc(4, SPLINETYPE_LINEAR);
    doc->InsertObject(sp, nullptr, nullptr);
    sp->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, closed);
    const Vector p[4] = {Vector(-half, 0, half), Vector(half, 0, half), Vector(half, 0, -half), Vector(-half, 0, -half)};
    for (int i = 0; i < 4; ++i) sp->GetPointW()[i] = p[i];
    return sp;
  }
  BaseTag* TagOn(BaseObject* op) {
    BaseTag* tag = op->MakeTag(ID_KOLVARIS);
    EXPECT_NE(tag, nullptr);
    return tag;
  }
  static CollisionShape* ShapeOf(BaseTag* tag) {
    SimLinkMessage msg{SIMLINK_GET_RECORD, nullptr};
    EXPECT_TRUE(tag->Message(MSG_SIMLINK, &msg));
    return static_cast<CollisionShape*>(msg.payload);
  }
  void EvaluateAt(Real seconds, Bool animation = true) {
    doc->SetTime(BaseTime(seconds));
    doc->ExecutePasses(nullptr, animation, true, false);
  }

  long blocksAtStart = 0;
  BaseDocument* doc = nullptr;
  CollisionShape shape;
};

// ---------------------------------------------------------------- frame

TEST_F(KolvarisTest, RegistersTheTag) {
  const BasePlugin* p = FindPlugin(ID_KOLVARIS, PLUGINTYPE_TAG);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->name, GeLoadString(IDS_KOLVARIS));
  EXPECT_FALSE(p->name.empty());
  EXPECT_EQ(p->info, 9);
  EXPECT_EQ(p->description, "Tkolvaris");
  EXPECT_TRUE(PluginMessage(0, nullptr));
  EXPECT_FALSE(PluginMessage(1001188, nullptr));
  EXPECT_EQ(c4d_main(PLUGINACTION_VERSION, nullptr, nullptr, nullptr), 5);
}

TEST_F(KolvarisTest, DescriptionResourceLoads) {
  hostdesc::AddResourceFolder(Filename(CARSIM_SOURCE_DIR "/kolvaris/res/description"));
  Description desc;
  const Bool loaded = desc.LoadDescription(ID_KOLVARIS);
  hostdesc::ClearResourceFolders();
  ASSERT_TRUE(loaded) << desc.GetError();
  EXPECT_NE(desc.Find(DescID(KOLVARIS_IMPACT_SCALE)), nullptr);
  EXPECT_NE(desc.Find(DescID(KOLVARIS_IMPACT_VECTOR)), nullptr);
}

TEST_F(KolvarisTest, AnEmptyNameRegistersNothing) {
  hostregistry::RemoveModule(String());
  HostTable table = HostTables(13000, "/nonexistent");
  ASSERT_EQ(c4d_main(PLUGINACTION_HANDOVER, &table, nullptr, nullptr), 1);
  EXPECT_FALSE(PluginMessage(PLUGINMSG_RESOURCES, nullptr));
  EXPECT_TRUE(PluginStart());
  EXPECT_EQ(FindPlugin(ID_KOLVARIS, PLUGINTYPE_TAG), nullptr);
}

// ---------------------------------------------------------------- shape

TEST_F(KolvarisTest, CubeShape) {
  BaseObject* cube = Add(Ocube);
  cube->GetDataInstance()->SetVector(PRIM_CUBE_LEN, Vector(200, 100, 400));
  ASSERT_TRUE(BuildCollisionShape(shape, doc, cube));
  EXPECT_EQ(shape.sourceObject, cube);
  EXPECT_EQ(shape.objectType, Ocube);
  EXPECT_NEAR(shape.radius, std::sqrt(100.0 * 100 + 50 * 50 + 200 * 200), 1e-9);
  const Vector rect[4] = {Vector(-100, 0, 200), Vector(100, 0, 200), Vector(100, 0, -200), Vector(-100, 0, -200)};
  for (int i = 0; i < 4; ++i) ExpectVec(shape.middleRect[i], rect[i]);
  ASSERT_EQ(shape.pointCount, 8);
  ExpectVec(shape.points[0], Vector(-100, 50, 200));
  ExpectVec(shape.points[4], Vector(-100, -50, 200));
  ExpectVec(shape.points[6], Vector(100, -50, -200));
  EXPECT_EQ(shape.impactSum, Vector());

  // Moved and scaled: world corners, and a sphere that still holds them.
  cube->SetRelPos(Vector(10, 20, 30));
  cube->SetRelScale(Vector(2, 2, 2));
  shape.impactSum = Vector(5, 0, 0);
  ASSERT_TRUE(RefreshCollisionShape(shape, doc, cube));
  ExpectVec(shape.points[0], Vector(-190, 120, 430));
  ExpectVec(shape.centre, Vector(10, 20, 30));
  for (int i = 0; i < 8; ++i) EXPECT_LE((shape.points[i] - shape.centre).GetLength(), shape.radius + 1e-9);
  EXPECT_EQ(shape.impactSum, Vector(5, 0, 0));  // a refresh keeps the impact
}

TEST_F(KolvarisTest, CylinderStandsAlongItsYAxisBeforeItIsMeasured) {
  BaseObject* cyl = Add(Ocylinder);
  BaseContainer* bc = cyl->GetDataInstance();
  bc->SetLong(PRIM_AXIS, PRIM_AXIS_XP);
  bc->SetReal(PRIM_CYLINDER_RADIUS, 50);
  bc->SetReal(PRIM_CYLINDER_HEIGHT, 300);
  ASSERT_TRUE(BuildCollisionShape(shape, doc, cyl));
  EXPECT_EQ(bc->GetLong(PRIM_AXIS), PRIM_AXIS_YP);
  ASSERT_EQ(shape.pointCount, 1);
  EXPECT_EQ(shape.points[0], Vector(50, 300, 50));
  // The footprint is the standing cylinder's, not the lying one's.
  ExpectVec(shape.middleRect[1], Vector(50, 0, 50));
}

TEST_F(KolvarisTest, SplineMustBeClosedAndKeepItsPointCount) {
  SplineObject* sp = AddSquare(100, false);
  EXPECT_FALSE(BuildCollisionShape(shape, doc, sp));
  EXPECT_EQ(shape.sourceObject, nullptr);
  EXPECT_EQ(shape.objectType, 0);
  EXPECT_EQ(shape.points, nullptr);

  sp->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, true);
  sp->SetRelPos(Vector(0, 0, 500));
  ASSERT_TRUE(BuildCollisionShape(shape, doc, sp));
  ASSERT_EQ(shape.pointCount, 4);
  ExpectVec(shape.points[1], Vector(100, 0, 600));

  sp->ResizeObject(5, 1);
  EXPECT_FALSE(RefreshCollisionShape(shape, doc, sp));
  EXPECT_EQ(shape.sourceObject, nullptr);
  EXPECT_EQ(shape.objectType, 0);
}

TEST_F(KolvarisTest, OnACarTheShapeOnlyRecordsIt) {
  // The Car lives in the other deliverable; an object plug-in of its id stands in.
  ASSERT_TRUE(RegisterObjectPlugin(ID_CAR, "Car", 0, [] { return static_cast<NodeData*>(new ObjectData); },
                                   "", nullptr, 0));
  BaseObject* car = Add(ID_CAR);
  car->SetRelPos(Vector(5, 0, 0));
  shape.impactSum = Vector(1, 2, 3);
  shape.impactPoint = Vector(4, 5, 6);
  ASSERT_TRUE(BuildCollisionShape(shape, doc, car));
  EXPECT_EQ(shape.sourceObject, car);
  EXPECT_EQ(shape.objectType, ID_CAR);
  EXPECT_EQ(shape.points, nullptr);
  EXPECT_EQ(shape.pointCount, 0);
  EXPECT_EQ(shape.impactSum, Vector(1, 2, 3));
  EXPECT_EQ(shape.impactPoint, Vector(4, 5, 6));
  EXPECT_TRUE(RefreshCollisionShape(shape, doc, car));

  BaseObject* other = Add(Olandscape);
  EXPECT_FALSE(BuildCollisionShape(shape, doc, other));  // unsupported
  EXPECT_EQ(shape.sourceObject, nullptr);
  EXPECT_EQ(shape.impactSum, Vector());  // zeroed all the same
}

TEST_F(KolvarisTest, StandUprightKeepsPositionAndHeading) {
  const Matrix tilted = MatrixMove(Vector(5, 6, 7)) * HPBToMatrix(Vector(0.5, 0.3, 0.2)) * MatrixScale(Vector(2, 3, 4));
  const Matrix up = StandUpright(tilted);
  ExpectVec(up.off, tilted.off);
  ExpectVec(up.v2, Vector(0, 1, 0));
  ExpectVec(up.v3, HPBToMatrix(Vector(0.5, 0, 0)).v3);
  ExpectVec(up.v1, HPBToMatrix(Vector(0.5, 0, 0)).v1);
  // Z pointing straight up: the frame comes from X, it does not collapse.
  const Matrix pitched = HPBToMatrix(Vector(0.4, -pi / 2, 0));
  const Matrix fixed = StandUpright(pitched);
  EXPECT_NEAR(fixed.v1.GetLength(), 1.0, 1e-12);
  EXPECT_NEAR(fixed.v3.GetLength(), 1.0, 1e-12);
  EXPECT_NEAR(fixed.Determinant(), 1.0, 1e-12);
  EXPECT_FALSE(MatrixEqual(Matrix(), Matrix(Vector(std::nan(""), 0, 0), Vector(1, 0, 0), Vector(0, 1, 0),
                                            Vector(0, 0, 1))));
  EXPECT_TRUE(MatrixEqual(tilted, tilted));
}

// ---------------------------------------------------------------- tag

TEST_F(KolvarisTest, TagDefaultsMessagesAndEnabling) {
  BaseObject* cube = Add(Ocube);
  BaseTag* tag = TagOn(cube);
  const BaseContainer* bc = tag->GetDataInstance();
  EXPECT_EQ(bc->GetLong(ADDON_TAG_OWNER), ID_CAR);
  EXPECT_EQ(bc->GetReal(KOLVARIS_IMPACT_SCALE), 0.01);
  EXPECT_EQ(bc->GetString(ADDON_TAG_VERSION), "KOLVARIS 1.00.5");
  tag->GetDataInstance()->SetString(ADDON_TAG_VERSION, "old");
  EXPECT_TRUE(tag->Message(MSG_MULTI_DOCUMENTIMPORTED));
  EXPECT_EQ(bc->GetString(ADDON_TAG_VERSION), "KOLVARIS 1.00.5");

  auto* data = tag->GetNodeData<Kolvaris>();
  CollisionShape* s = ShapeOf(tag);
  EXPECT_EQ(s, &data->Shape());
  EXPECT_EQ(s->sourceObject, nullptr);
  EXPECT_FALSE(data->GetDEnabling(tag, DescID(KOLVARIS_IMPACT_SCALE), GeData(), 0, nullptr));

  EXPECT_TRUE(tag->Message(MSG_MENUPREPARE));
  EXPECT_EQ(s->sourceObject, cube);
  EXPECT_TRUE(data->GetDEnabling(tag, DescID(KOLVARIS_IMPACT_SCALE), GeData(), 0, nullptr));
  EXPECT_FALSE(data->GetDEnabling(tag, DescID(KOLVARIS_IMPACT_POINT), GeData(), 0, nullptr));
  // Moved to another object: nothing enabled until it is rebuilt there.
  BaseObject* other = Add(Ocube);
  tag->Remove();
  other->InsertTag(tag);
  EXPECT_FALSE(data->GetDEnabling(tag, DescID(KOLVARIS_IMPACT_SCALE), GeData(), 0, nullptr));
  // A tag on an object outside any document builds in the host's active
  // document; with none it cannot build.
  BaseObject* loose = BaseObject::Alloc(Ocube);
  tag->Remove();
  loose->InsertTag(tag);
  EXPECT_FALSE(tag->Message(MSG_MENUPREPARE));
  SetActiveDocument(doc);
  EXPECT_TRUE(tag->Message(MSG_MENUPREPARE));
  EXPECT_EQ(s->sourceObject, loose);
  SetActiveDocument(nullptr);
  tag->Remove();
  EXPECT_FALSE(tag->Message(MSG_MENUPREPARE));
  BaseTag::Free(tag);
  BaseObject::Free(loose);
}

TEST_F(KolvarisTest, EvaluationBuildsStandsUprightRefreshesAndPublishes) {
  BaseObject* cyl = Add(Ocylinder);
  cyl->SetRelPos(Vector(100, 50, 300));
  cyl->SetRelRot(Vector(0.7, 0.4, 0.1));
  cyl->SetRelScale(Vector(2, 2, 2));
  BaseTag* tag = TagOn(cyl);
  CollisionShape* s = ShapeOf(tag);

  EvaluateAt(0.0);
  ASSERT_EQ(s->sourceObject, cyl);
  const Matrix m = cyl->GetMg();
  ExpectVec(m.off, Vector(100, 50, 300));
  ExpectVec(m.v2, Vector(0, 1, 0));
  EXPECT_NEAR(m.v1.GetLength(), 1.0, 1e-12);
  ExpectVec(m.v3, HPBToMatrix(Vector(0.7, 0, 0)).v3);
  EXPECT_FALSE(MatrixEqual(s->matrix, m));  // built before it stood up; not refreshed at 0 s

  EvaluateAt(0.1);
  EXPECT_TRUE(MatrixEqual(s->matrix, cyl->GetMg()));

  // The run writes the impact; the animation pass publishes it scaled.
  s->impactSum = Vector(100, 0, -50);
  s->impactPoint = Vector(1, 2, 3);
  EvaluateAt(0.2, false);  // outside the animation pass nothing is published
  EXPECT_EQ(tag->GetDataInstance()->GetVector(KOLVARIS_IMPACT_VECTOR), Vector());
  EvaluateAt(0.3);
  ExpectVec(tag->GetDataInstance()->GetVector(KOLVARIS_IMPACT_VECTOR), Vector(1, 0, -0.5), 1e-12);
  EXPECT_EQ(tag->GetDataInstance()->GetVector(KOLVARIS_IMPACT_POINT), Vector(1, 2, 3));

  cyl->SetRelPos(Vector(0, 50, 0));
  EvaluateAt(0.4);
  ExpectVec(s->centre, cyl->GetMg() * cyl->GetMp());
}

TEST_F(KolvarisTest, ASplineThatChangesItsPointsIsLostUntilTheTimelineRestarts) {
  SplineObject* sp = AddSquare(100, true);
  BaseTag* tag = TagOn(sp);
  CollisionShape* s = ShapeOf(tag);
  EvaluateAt(0.0);
  ASSERT_EQ(s->sourceObject, sp);
  sp->ResizeObject(6, 1);
  sp->GetPointW()[4] = Vector(0, 0, -300);
  sp->GetPointW()[5] = Vector(0, 0, -400);
  sp->SetRelPos(Vector(0, 0, 10));
  EvaluateAt(0.5);
  EXPECT_EQ(s->sourceObject, nullptr);
  EvaluateAt(0.6);
  EXPECT_EQ(s->sourceObject, nullptr);
  EvaluateAt(0.0);
  EXPECT_EQ(s->sourceObject, sp);
  EXPECT_EQ(s->pointCount, 6);
}

// Out of memory the allocator answers null, as the host expects.
TEST_F(KolvarisTest, AllocAnswersNullWhenMemoryFails) {
  hostmem::FailAllocation(1);
  EXPECT_EQ(Kolvaris::Alloc(), nullptr);
  hostmem::FailAllocation(0);
}

// The tag with a count of its runs.
class CountingKolvaris : public Kolvaris {
 public:
  EXECUTIONRESULT Execute(BaseTag* tag, BaseDocument* doc, BaseObject* op, BaseThread* bt, LONG priority,
                          LONG flags) override {
    priorities.push_back(priority);
    return Kolvaris::Execute(tag, doc, op, bt, priority, flags);
  }
  static inline std::vector<LONG> priorities;
};

// The tag puts itself into the host's list at priority 3000; the host must
// not add it a second time as an ordinary expression: each evaluation runs
// it exactly once.
TEST_F(KolvarisTest, RunsOncePerEvaluation) {
  constexpr LONG kCountingTag = 1999778;
  ASSERT_TRUE(RegisterTagPlugin(kCountingTag, "Counting", TAG_VISIBLE | TAG_EXPRESSION,
                                [] { return static_cast<NodeData*>(new CountingKolvaris); }, "", nullptr, 0));
  BaseObject* cube = Add(Ocube);
  ASSERT_NE(cube->MakeTag(kCountingTag), nullptr);
  CountingKolvaris::priorities.clear();
  doc->ExecutePasses(nullptr, true, true, false);
  EXPECT_EQ(CountingKolvaris::priorities, std::vector<LONG>{3000});
  doc->SetTime(BaseTime(1.0, 30.0));
  doc->ExecutePasses(nullptr, true, true, false);
  EXPECT_EQ(CountingKolvaris::priorities, (std::vector<LONG>{3000, 3000}));
}

TEST_F(KolvarisTest, DrawsOneTickPerEdgeOfTheOutline) {
  SplineObject* sp = AddSquare(100, true);
  BaseTag* tag = TagOn(sp);
  ASSERT_TRUE(tag->Message(MSG_MENUPREPARE));
  BaseDraw bd;
  auto* data = tag->GetNodeData<Kolvaris>();
  EXPECT_TRUE(data->Draw(tag, sp, &bd, nullptr));
  ASSERT_EQ(bd.CountCalls(DrawCall::kLine), 4);
  std::vector<DrawCall> lines;
  for (const DrawCall& c : bd.Calls())
    if (c.kind == DrawCall::kLine) lines.push_back(c);
  // First edge (-100, 0, 100) -> (100, 0, 100): a tick from its middle, 50 long.
  ExpectVec(lines[0].points[0], Vector(0, 0, 100));
  ExpectVec(lines[0].points[1], Vector(0, 0, 50));
  // Hidden or switched off: nothing.
  bd.ClearCalls();
  sp->SetEditorMode(MODE_OFF);
  data->Draw(tag, sp, &bd, nullptr);
  EXPECT_EQ(bd.CountCalls(DrawCall::kLine), 0);
}

}  // namespace
