// Scene-object builders and helpers: parameters, insertion, allocation
// failures, the generated geometry and the mesh fitting. The objects take
// their names from the module's string table, so these run in vanto's suite
// with its strings loaded.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "host_description.h"
#include "host_plugin.h"
#include "host_services.h"
#include "frame/plugin_main.h"
#include "scene_build/object_builders.h"
#include "plugin_in_process.h"
#include "scene_checks.h"

namespace {

class Builders : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlog::SetQuiet(true);
    ASSERT_NO_FATAL_FAILURE(testsupport::HandOver(CARSIM_PLUGIN_ROOT "/vanto"));
    doc = BaseDocument::Alloc();
    root = BaseObject::Alloc(Onull);
    doc->InsertObject(root, nullptr, nullptr);
  }
  void TearDown() override {
    hostmem::FailAllocation(0);
    BaseDocument::Free(doc);
  }
  BaseDocument* doc = nullptr;
  BaseObject* root = nullptr;
};

const Vector* Points(const BaseObject* op) { return static_cast<const Vector*>(op->GetTagDataR(Tpoint)); }

// ---------------------------------------------------------------- primitives

TEST_F(Builders, NullSetsDisplayOnlyWhenAsked) {
  BaseObject* plain = CreateNullObject(doc, root, nullptr, "plain", 0, 3, 55.0, 2.0, kNoColour, 0);
  ASSERT_NE(plain, nullptr);
  const BaseContainer* bc = plain->GetDataInstance();
  EXPECT_EQ(bc->GetLong(NULLOBJECT_DISPLAY), 0);
  EXPECT_EQ(bc->GetReal(NULLOBJECT_RADIUS), 10.0);  // host defaults kept
  EXPECT_EQ(bc->GetReal(NULLOBJECT_ASPECTRATIO), 1.0);
  EXPECT_EQ(GetColorProperties(plain).usecolor, ID_BASEOBJECT_USECOLOR_OFF);
  EXPECT_EQ(plain->GetFirstTag(), nullptr);

  BaseObject* guide = CreateNullObject(doc, root, plain, "guide", 1, 1, 20.0, 1.5, kRigColour, Tphong);
  ASSERT_NE(guide, nullptr);
  bc = guide->GetDataInstance();
  EXPECT_EQ(bc->GetLong(NULLOBJECT_DISPLAY), 1);
  EXPECT_EQ(bc->GetLong(NULLOBJECT_ORIENTATION), 1);
  EXPECT_EQ(bc->GetReal(NULLOBJECT_RADIUS), 20.0);
  EXPECT_EQ(bc->GetReal(NULLOBJECT_ASPECTRATIO), 1.5);
  const ObjectColorProperties cp = GetColorProperties(guide);
  EXPECT_EQ(cp.usecolor, ID_BASEOBJECT_USECOLOR_ALWAYS);
  EXPECT_EQ(cp.color, kRigColour);
  EXPECT_FALSE(cp.xray);
  ASSERT_NE(guide->GetFirstTag(), nullptr);
  EXPECT_EQ(guide->GetFirstTag()->GetType(), Tphong);
  // After its predecessor, under the parent; an empty name stays empty.
  EXPECT_EQ(plain->GetNext(), guide);
  EXPECT_EQ(guide->GetUp(), root);
  BaseObject* unnamed = CreateNullObject(doc, root, nullptr, "", 0, 0, 0.0, 1.0, kNoColour, 0);
  EXPECT_EQ(unnamed->GetName(), "");
  EXPECT_EQ(root->GetDown(), unnamed);
}

TEST_F(Builders, PrimitiveParameters) {
  BaseObject* cube = CreateCubeObject(doc, root, "box", Vector(10, 20, 30), Vector(1, 0, 0), 0);
  ASSERT_NE(cube, nullptr);
  EXPECT_EQ(cube->GetType(), Ocube);
  EXPECT_EQ(cube->GetDataInstance()->GetVector(PRIM_CUBE_LEN), Vector(10, 20, 30));
  EXPECT_EQ(cube->GetName(), "box");

  BaseObject* cyl = CreateCylinderObject(doc, root, "cyl", Vector(7, 40, 0), PRIM_AXIS_XP, kNoColour, 0);
  ASSERT_NE(cyl, nullptr);
  const BaseContainer* c = cyl->GetDataInstance();
  EXPECT_EQ(c->GetReal(PRIM_CYLINDER_RADIUS), 7.0);
  EXPECT_EQ(c->GetReal(PRIM_CYLINDER_HEIGHT), 40.0);
  EXPECT_EQ(c->GetLong(PRIM_CYLINDER_HSUB), 1);
  EXPECT_EQ(c->GetLong(PRIM_CYLINDER_CAPS_SUB), 1);
  EXPECT_EQ(c->GetLong(PRIM_CYLINDER_SEG), 36);
  EXPECT_EQ(c->GetReal(5007), 1.0);
  EXPECT_EQ(c->GetLong(PRIM_AXIS), PRIM_AXIS_XP);
  const BaseContainer* phong = GetTagContainer(cyl, Tphong);
  ASSERT_NE(phong, nullptr);
  EXPECT_TRUE(phong->GetBool(PHONGTAG_PHONG_ANGLELIMIT));
  EXPECT_DOUBLE_EQ(phong->GetReal(PHONGTAG_PHONG_ANGLE), Rad(89.0));

  BaseObject* helix = CreateHelixSpline(doc, root, nullptr, "Helix", 5.0, 30.0, 12 * pi);
  ASSERT_NE(helix, nullptr);
  const BaseContainer* h = helix->GetDataInstance();
  EXPECT_EQ(h->GetReal(PRIM_HELIX_START), 0.0);
  EXPECT_EQ(h->GetReal(PRIM_HELIX_END), 12 * pi);
  EXPECT_EQ(h->GetReal(PRIM_HELIX_RADIUS1), 5.0);
  EXPECT_EQ(h->GetReal(PRIM_HELIX_RADIUS2), 5.0);
  EXPECT_EQ(h->GetReal(PRIM_HELIX_HEIGHT), 30.0);
  EXPECT_EQ(h->GetLong(PRIM_HELIX_PLANE), 2);
  EXPECT_EQ(h->GetReal(PRIM_SPLINE_ANGLE), pi / 4);

  BaseObject* circle = CreateCircleSpline(doc, helix, "Circle", 3.0, PRIM_PLANE_XZ);
  ASSERT_NE(circle, nullptr);
  EXPECT_EQ(circle->GetUp(), helix);
  EXPECT_EQ(circle->GetDataInstance()->GetReal(PRIM_CIRCLE_RADIUS), 3.0);
  EXPECT_EQ(circle->GetDataInstance()->GetLong(PRIM_AXIS), PRIM_PLANE_XZ);

  BaseObject* sweep = CreateSweepObject(doc, root, nullptr, "sw", Tcompositing);
  ASSERT_NE(sweep, nullptr);
  const BaseContainer* s = sweep->GetDataInstance();
  EXPECT_FALSE(s->GetBool(1005));
  EXPECT_TRUE(s->GetBool(1006) && s->GetBool(1007) && s->GetBool(1008) && s->GetBool(1012));
  EXPECT_FALSE(s->GetBool(1009) || s->GetBool(1010) || s->GetBool(1011));
  // Each tag goes in first: the compositing tag (shadows off) ahead of the Phong tag.
  BaseTag* first = sweep->GetFirstTag();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetType(), Tcompositing);
  EXPECT_EQ(first->GetDataInstance()->GetType(1000), DA_LONG);
  EXPECT_FALSE(first->GetDataInstance()->GetBool(1000));
  ASSERT_NE(first->GetNext(), nullptr);
  EXPECT_EQ(first->GetNext()->GetType(), Tphong);
}

TEST_F(Builders, InstanceTakesNameLinkAndPlaceOfItsSource) {
  BaseObject* src = CreateCubeObject(doc, root, "wheel", Vector(1, 1, 1), kNoColour, 0);
  src->SetRelPos(Vector(5, 6, 7));
  root->SetRelPos(Vector(100, 0, 0));
  BaseObject* inst = CreateInstanceObject(doc, nullptr, src);
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(inst->GetName(), "wheel");
  EXPECT_EQ(inst->GetDataInstance()->GetObjectLink(INSTANCEOBJECT_LINK, doc), src);
  ExpectNear(inst->GetMg().off, Vector(105, 6, 7));
  EXPECT_EQ(CreateInstanceObject(doc, nullptr, nullptr), nullptr);
}

TEST_F(Builders, AllocationFailureGivesNullAndInsertsNothing) {
  using Build = std::function<BaseObject*()>;
  const std::vector<std::pair<const char*, Build>> builders = {
      {"null", [&] { return CreateNullObject(doc, root, nullptr, "n", 1, 1, 1, 1, kRigColour, 0); }},
      {"cube", [&] { return CreateCubeObject(doc, root, "c", Vector(1), kNoColour, 0); }},
      {"cylinder", [&] { return CreateCylinderObject(doc, root, "c", Vector(1), 2, kNoColour, 0); }},
      {"spline", [&] { return CreateSplineFromPoints(doc, root, nullptr, "s", Vector(), Vector(1), kNoColour, 0); }},
      {"helix", [&] { return CreateHelixSpline(doc, root, nullptr, "h", 1, 2, 3); }},
      {"circle", [&] { return CreateCircleSpline(doc, root, "c", 1, 0); }},
      {"sweep", [&] { return CreateSweepObject(doc, root, nullptr, "s", 0); }},
      {"grid", [&] { return CreatePolygonObject(doc, root, nullptr, "g", 10, 10, 2, 0); }},
      {"instance", [&] { return CreateInstanceObject(doc, root, root); }},
      {"polygon spline", [&] { return CreateRegularPolygonSpline(doc, root, "p", 1, 5, kNoColour, 0); }},
      {"ffd", [&] { return CreateFfdObject(doc, root, Vector(10)); }},
      {"binder", [&] { return CreateMeshBinder(doc, root, nullptr, nullptr, 1.0); }},
      {"output", [&] { return CreateOutputObject(doc, root, BaseContainer()); }},
      {"skid marks", [&] { return BuildSkidMarkSweep(doc, root, 0, 10.0, true); }},
  };
  for (const auto& [what, build] : builders) {
    SCOPED_TRACE(what);
    hostmem::FailAllocation(1);
    EXPECT_EQ(build(), nullptr);
    hostmem::FailAllocation(0);
    EXPECT_EQ(root->GetDown(), nullptr);
  }
  Vector size(10, 10, 10);
  hostmem::FailAllocation(1);
  EXPECT_EQ(CreateFootprintOutline(doc, root, nullptr, "o", size, 2, 2, kNoColour, 0, nullptr), nullptr);
}

TEST_F(Builders, SplineFromPointsWithoutDocumentStaysUninserted) {
  SplineObject* sp = CreateSplineFromPoints(nullptr, root, nullptr, "profile", Vector(-1, 0, 0), Vector(1, 0, 0),
                                            kNoColour, 0);
  ASSERT_NE(sp, nullptr);
  EXPECT_EQ(sp->GetUp(), nullptr);
  EXPECT_EQ(sp->GetDocument(), nullptr);
  EXPECT_EQ(root->GetDown(), nullptr);
  ASSERT_EQ(sp->GetPointCount(), 2);
  EXPECT_EQ(sp->GetPointR()[1], Vector(1, 0, 0));
  ASSERT_EQ(sp->GetSegmentCount(), 1);
  EXPECT_EQ(sp->GetSegmentR()[0], (Segment{2, false}));
  EXPECT_FALSE(sp->IsClosed());
  BaseObject* op = sp;
  BaseObject::Free(op);
}

TEST_F(Builders, RegularPolygonCornersLieOnTheCircle) {
  SplineObject* sq = CreateRegularPolygonSpline(doc, root, "square", 10.0, 4, kNoColour, 0);
  ASSERT_NE(sq, nullptr);
  ASSERT_EQ(sq->GetPointCount(), 4);
  const Vector expected[] = {{0, 0, 10}, {10, 0, 0}, {0, 0, -10}, {-10, 0, 0}};
  for (int i = 0; i < 4; ++i) ExpectNear(sq->GetPointR()[i], expected[i]);
  EXPECT_TRUE(sq->IsClosed());
  EXPECT_EQ(sq->GetSegmentR()[0], (Segment{4, true}));

  // 360 / 7 is no whole number: the corners must still close the circle evenly.
  SplineObject* hept = CreateRegularPolygonSpline(doc, root, "seven", 1.0, 7, kNoColour, 0);
  ASSERT_NE(hept, nullptr);
  ExpectNear(hept->GetPointR()[1], Vector(std::sin(2 * pi / 7), 0, std::cos(2 * pi / 7)));
  ExpectNear(hept->GetPointR()[6], Vector(std::sin(12 * pi / 7), 0, std::cos(12 * pi / 7)));

  for (LONG n : {2, 0, -5}) EXPECT_EQ(CreateRegularPolygonSpline(doc, root, "bad", 1.0, n, kNoColour, 0), nullptr);
}

TEST_F(Builders, PolygonGrid) {
  PolygonObject* one = CreatePolygonObject(doc, root, nullptr, "g1", 20.0, 10.0, 1, 0);
  ASSERT_NE(one, nullptr);
  ASSERT_EQ(one->GetPointCount(), 4);
  ASSERT_EQ(one->GetPolygonCount(), 1);
  EXPECT_EQ(one->GetPolygonR()[0], CPolygon(0, 1, 3, 2));
  EXPECT_EQ(one->GetPointR()[0], Vector(-10, 0, 5));
  EXPECT_EQ(one->GetPointR()[3], Vector(10, 0, -5));

  PolygonObject* two = CreatePolygonObject(doc, root, nullptr, "g2", 20.0, 10.0, 2, 0);
  ASSERT_EQ(two->GetPointCount(), 9);
  EXPECT_EQ(two->GetPointR()[4], Vector(0, 0, 0));
  EXPECT_EQ(two->GetPolygonR()[3], CPolygon(4, 5, 8, 7));

  // No divisions at all still gives one finite cell.
  PolygonObject* none = CreatePolygonObject(doc, root, nullptr, "g0", 20.0, 10.0, 0, 0);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->GetPointCount(), 4);
  for (LONG i = 0; i < 4; ++i) EXPECT_TRUE(std::isfinite(none->GetPointR()[i].x));
}

// ---------------------------------------------------------------- outline and fitting

TEST_F(Builders, FootprintOutlineRunsRoundTheBody) {
  const Vector size(200, 100, 400);
  SplineObject* o = CreateFootprintOutline(doc, root, nullptr, "outline", size, 2, 4, kRigColour, 0, nullptr);
  ASSERT_NE(o, nullptr);
  ASSERT_EQ(o->GetPointCount(), 12);
  const Vector expected[12] = {{-50, 0, 200},  {50, 0, 200},   {100, 0, 150},  {100, 0, 50},
                               {100, 0, -50},  {100, 0, -150}, {50, 0, -200},  {-50, 0, -200},
                               {-100, 0, -150}, {-100, 0, -50}, {-100, 0, 50}, {-100, 0, 150}};
  for (int i = 0; i < 12; ++i) ExpectNear(o->GetPointR()[i], expected[i]);
  EXPECT_TRUE(o->IsClosed());
  EXPECT_EQ(o->GetSegmentR()[0], (Segment{12, true}));
  EXPECT_EQ(GetColorProperties(o).color, kRigColour);

  Vector flat(200, 100, 400);
  SplineObject* degenerate = CreateFootprintOutline(doc, root, nullptr, "o", flat, 0, 0, kNoColour, 0, nullptr);
  ASSERT_NE(degenerate, nullptr);
  ASSERT_EQ(degenerate->GetPointCount(), 4);
  for (LONG i = 0; i < 4; ++i) {
    EXPECT_TRUE(std::isfinite(degenerate->GetPointR()[i].x));
    EXPECT_TRUE(std::isfinite(degenerate->GetPointR()[i].z));
  }
}

// A closed box of half extents h around its own origin.
PolygonObject* MakeBox(const Vector& h) {
  PolygonObject* box = PolygonObject::Alloc(8, 6);
  Vector* p = box->GetPointW();
  for (int i = 0; i < 8; ++i) p[i] = Vector(i & 1 ? h.x : -h.x, i & 2 ? h.y : -h.y, i & 4 ? h.z : -h.z);
  CPolygon* q = box->GetPolygonW();
  q[0] = CPolygon(0, 1, 3, 2);
  q[1] = CPolygon(4, 6, 7, 5);
  q[2] = CPolygon(0, 4, 5, 1);
  q[3] = CPolygon(2, 3, 7, 6);
  q[4] = CPolygon(0, 2, 6, 4);
  q[5] = CPolygon(1, 5, 7, 3);
  return box;
}

TEST_F(Builders, OutlineFitsOntoTheMeshSides) {
  PolygonObject* box = MakeBox(Vector(150, 50, 250));
  doc->InsertObject(box, nullptr, nullptr);
  box->SetRelPos(Vector(0, 50, 0));
  Vector size(200, 400, 400);  // a band tall enough to take in the whole box
  SplineObject* o = CreateFootprintOutline(doc, root, nullptr, "fit", size, 2, 4, kNoColour, 0, box);
  ASSERT_NE(o, nullptr);
  // Each point slides outward along its own direction to the box's side.
  ExpectNear(o->GetPointR()[0], Vector(-62.5, 0, 250), 1e-6);
  ExpectNear(o->GetPointR()[2], Vector(150, 0, 225), 1e-6);
  ExpectNear(o->GetPointR()[3], Vector(150, 0, 75), 1e-6);
  EXPECT_EQ(o->GetRelPos(), Vector());
}

TEST_F(Builders, FittingWithoutTrianglesInTheBandChangesNothing) {
  PolygonObject* box = MakeBox(Vector(150, 10, 250));
  doc->InsertObject(box, nullptr, nullptr);
  SplineObject* sp = CreateSplineFromPoints(doc, root, nullptr, "s", Vector(0, 0, 0), Vector(10, 0, 0), kNoColour, 0);
  // The band is y in [975, 1025]: the box lies far below.
  BaseObject* far_mesh = BaseObject::Alloc(Onull);
  doc->InsertObject(far_mesh, nullptr, nullptr);
  far_mesh->SetRelPos(Vector(0, 1000, 0));
  box->InsertUnder(far_mesh);
  box->SetRelPos(Vector(0, -1000, 0));
  EXPECT_FALSE(FitOutlineToMesh(sp, far_mesh, Vector(0, 100, 0)));
  EXPECT_EQ(sp->GetPointR()[1], Vector(10, 0, 0));

  // A switched-off child is not collected; a point at the origin never moves.
  box->SetRelPos(Vector(0, 0, 0));
  box->SetEditorMode(MODE_OFF);
  EXPECT_FALSE(FitOutlineToMesh(sp, far_mesh, Vector(0, 100, 0)));
  box->SetEditorMode(MODE_UNDEF);
  EXPECT_TRUE(FitOutlineToMesh(sp, far_mesh, Vector(0, 100, 0)));
  EXPECT_EQ(sp->GetPointR()[0], Vector(0, 0, 0));
  ExpectNear(sp->GetPointR()[1], Vector(150, 0, 0), 1e-6);
}

TEST_F(Builders, FailedBufferGrowthKeepsTheOldBuffer) {
  PolygonObject* box = MakeBox(Vector(1, 1, 1));
  doc->InsertObject(box, nullptr, nullptr);
  LONG capacity = 16, count = 0;
  auto* buffer = static_cast<Vector*>(GeAlloc(sizeof(Vector) * capacity));
  ASSERT_NE(buffer, nullptr);
  Vector* original = buffer;
  hostmem::FailAllocation(1);
  EXPECT_FALSE(CollectBandTriangles(box, buffer, capacity, count, -5, 5, MODE_UNDEF));
  hostmem::FailAllocation(0);
  EXPECT_EQ(buffer, original);  // still the caller's, still valid
  EXPECT_EQ(capacity, 16);
  EXPECT_EQ(count, 12);  // two quadrangles fit before the buffer ran full
  EXPECT_EQ(buffer[2], Vector(1, 1, -1));
  // Growing works: all six sides as twelve triangles.
  count = 0;
  EXPECT_TRUE(CollectBandTriangles(box, buffer, capacity, count, -5, 5, MODE_UNDEF));
  EXPECT_EQ(count, 36);
  EXPECT_GT(capacity, 36);
  GeFree(buffer);
}

// ---------------------------------------------------------------- skid marks, grids, deformers

TEST_F(Builders, SkidMarkSweepChildrenAndNames) {
  BaseObject* s0 = BuildSkidMarkSweep(doc, root, 0, 20.0, true);
  ASSERT_NE(s0, nullptr);
  EXPECT_EQ(s0->GetName(), GeLoadString(10034));
  ASSERT_EQ(CountChildren(s0), 3);
  BaseObject* profile = s0->GetDown();
  EXPECT_EQ(profile->GetName(), "Profile");
  EXPECT_EQ(Points(profile)[0], Vector(-10, 0, 0));
  EXPECT_EQ(profile->GetNext()->GetName(), s0->GetName());
  EXPECT_EQ(profile->GetNext()->GetNext()->GetName(), "Rail");
  EXPECT_EQ(profile->GetNext()->GetTagDataCount(Tpoint), 0);
  ASSERT_NE(GetTagContainer(s0, Tcompositing), nullptr);

  SplineObject* second = nullptr;
  EXPECT_EQ(GetSweepRail(s0, &second), profile->GetNext());
  EXPECT_EQ(second, profile->GetNext()->GetNext());

  BaseObject* s5 = BuildSkidMarkSweep(doc, root, 5, 20.0, false);
  ASSERT_NE(s5, nullptr);
  ASSERT_EQ(CountChildren(s5), 2);
  EXPECT_EQ(Points(s5->GetDown())[0], Vector(10, 0, 0));  // right-hand wheels run the profile the other way
  const String base = GeLoadString(10035);
  EXPECT_EQ(s5->GetName(), base.Left(base.GetLength() - 1) + "3" + base.Right(1));
  EXPECT_EQ(BuildSkidMarkSweep(doc, root, 2, 20.0, false)->GetName(), GeLoadString(10036));
  EXPECT_EQ(GetSweepRail(s5, &second), s5->GetDown()->GetNext());
  EXPECT_EQ(second, nullptr);
}

TEST_F(Builders, HalfBuiltSkidMarkSweepIsRemoved) {
  // Whichever allocation fails, the parent ends up with a complete sweep or nothing.
  for (long k = 1; k <= 40; ++k) {
    SCOPED_TRACE(k);
    hostmem::FailAllocation(k);
    BaseObject* sweep = BuildSkidMarkSweep(doc, root, 1, 20.0, true);
    hostmem::FailAllocation(0);
    if (sweep) {
      EXPECT_EQ(CountChildren(sweep), 3);
      BaseObject::Free(sweep);
    }
    EXPECT_EQ(root->GetDown(), nullptr);
  }
}

TEST_F(Builders, SweepRailLookup) {
  EXPECT_EQ(GetSweepRail(nullptr, nullptr), nullptr);
  SplineObject* sp = CreateSplineFromPoints(doc, root, nullptr, "s", Vector(), Vector(1), kNoColour, 0);
  SplineObject* second = sp;
  EXPECT_EQ(GetSweepRail(sp, &second), sp);
  EXPECT_EQ(second, nullptr);
  BaseObject* sweep = CreateSweepObject(doc, root, nullptr, "only profile", 0);
  CreateSplineFromPoints(doc, sweep, nullptr, "Profile", Vector(), Vector(1), kNoColour, 0);
  EXPECT_EQ(GetSweepRail(sweep, &second), nullptr);
  EXPECT_EQ(GetSweepRail(CreateCubeObject(doc, root, "c", Vector(1), kNoColour, 0), &second), nullptr);
}

TEST_F(Builders, PointGrid) {
  Vector pts[8];
  FillPointGrid(pts, Vector(2, 4, 6), 2, 2, 2);
  EXPECT_EQ(pts[0], Vector(-1, -2, -3));
  EXPECT_EQ(pts[1], Vector(1, -2, -3));
  EXPECT_EQ(pts[2], Vector(-1, 2, -3));
  EXPECT_EQ(pts[7], Vector(1, 2, 3));
  // One point on an axis sits at its centre instead of dividing by zero.
  Vector line[3];
  Vector s2(4, 4, 4);
  FillPointGrid(line, s2, 3, 1, 1);
  EXPECT_EQ(line[0], Vector(-2, 0, 0));
  EXPECT_EQ(line[1], Vector(0, 0, 0));
  EXPECT_EQ(line[2], Vector(2, 0, 0));
  Vector untouched[1] = {Vector(9, 9, 9)};
  Vector s3(1, 1, 1);
  FillPointGrid(untouched, s3, 1, 1, 0);
  EXPECT_EQ(untouched[0], Vector(9, 9, 9));
}

TEST_F(Builders, MeshBinderAndFfd) {
  BaseObject* a = CreateCubeObject(doc, root, "a", Vector(1), kNoColour, 0);
  BaseObject* b = CreateCubeObject(doc, root, "b", Vector(1), kNoColour, 0);
  BaseObject* binder = CreateMeshBinder(doc, root, a, b, 0.0);
  ASSERT_NE(binder, nullptr);
  EXPECT_EQ(binder->GetType(), 1008982);
  EXPECT_EQ(binder->GetDataInstance()->GetObjectLink(2000, doc), a);
  EXPECT_EQ(binder->GetDataInstance()->GetObjectLink(2001, doc), b);
  EXPECT_EQ(binder->GetDataInstance()->GetType(2002), DA_NIL);  // only a positive value is stored
  EXPECT_EQ(CreateMeshBinder(doc, root, a, b, 0.5)->GetDataInstance()->GetReal(2002), 0.5);

  BaseObject* ffd = CreateFfdObject(doc, root, Vector(10, 20, 30));
  ASSERT_NE(ffd, nullptr);
  EXPECT_EQ(ffd->GetDataInstance()->GetVector(FFDOBJECT_SIZE), Vector(10, 20, 30));
  EXPECT_EQ(ffd->GetTagDataCount(Tpoint), 27);
}

TEST_F(Builders, OutputObjectMirrorsTheCarsOutputs) {
  BaseContainer car;
  car.SetReal(2500, 1.0);
  car.SetVector(2502, Vector());
  car.SetLong(2503, 4);
  car.SetString(2504, "x");
  car.SetMatrix(2505, Matrix());  // not a mirrored type
  car.SetReal(2553, 1.0);         // beyond the range
  BaseObject* out = CreateOutputObject(doc, root, car);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->GetName(), GeLoadString(10041));
  DynamicDescription* dd = out->GetDynamicDescription();
  ASSERT_EQ(dd->GetCount(), 4);
  std::vector<LONG> ids;
  void* h = dd->BrowseInit();
  DescID id;
  const BaseContainer* s = nullptr;
  while (dd->BrowseGetNext(h, &id, &s)) {
    ids.push_back(s->GetLong(20));
    EXPECT_FALSE(s->GetBool(26));
    EXPECT_EQ(s->GetString(DESC_NAME), GeLoadString(s->GetLong(20) + 7542));
    if (s->GetLong(20) == 2500) {
      EXPECT_EQ(s->GetLong(DESC_UNIT), DESC_UNIT_PERCENT);  // a name without a unit
    }
    if (s->GetLong(20) == 2503) {  // integers keep the host's own unit
      EXPECT_EQ(s->GetLong(DESC_UNIT), GetCustomDataTypeDefault(DA_LONG).GetLong(DESC_UNIT));
    }
  }
  dd->BrowseFree(h);
  EXPECT_EQ(ids, (std::vector<LONG>{2500, 2502, 2503, 2504}));
}

// ---------------------------------------------------------------- helpers

TEST_F(Builders, PanelLabels) {
  const std::pair<const char*, const char*> cases[] = {
      {"Route.North", "ROUNORTH"}, {"ab.c", "ABC"}, {"Marker", "MAR"}, {".x", "X"},
      {"", ""},                    {"A.B.C", "AB.C"}, {"ok", "OK"},
  };
  for (auto [name, label] : cases) EXPECT_EQ(MakePanelLabel(name), label) << name;
}

TEST_F(Builders, NormalizeSplineCurve) {
  BaseContainer bc;
  SplineData unit;
  unit.InsertKnot(0.0, 0.0);
  unit.InsertKnot(0.5, 1.0);
  unit.InsertKnot(1.0, 0.25);
  bc.SetData(7, GeData(unit));
  NormalizeSplineCurve(&bc, 7, 0.0, 100.0, 1.0, -10.0, 10.0, 0.5, SPLINEKNOT_LINEAR);
  const auto* c = static_cast<const SplineData*>(bc.GetCustomDataType(7, CUSTOMDATATYPE_SPLINE));
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->GetKnotCount(), 3);
  EXPECT_EQ(c->GetKnot(1)->pos, Vector(50, 10, 0));
  EXPECT_EQ(c->GetKnot(2)->pos, Vector(100, -5, 0));
  EXPECT_EQ(c->GetKnot(0)->flags, 0x20);
  EXPECT_EQ(c->GetKnot(1)->flags, 0);
  EXPECT_EQ(c->GetKnot(2)->flags, 0x20);
  EXPECT_EQ(c->GetKnot(1)->interpolation, SPLINEKNOT_LINEAR);
  Real x0, x1, xs, y0, y1, ys;
  c->GetRange(&x0, &x1, &xs, &y0, &y1, &ys);
  EXPECT_EQ(x1, 100.0);
  EXPECT_EQ(y0, -10.0);

  // Once out of unit values a second call changes nothing.
  const BaseContainer once = bc;
  NormalizeSplineCurve(&bc, 7, 0.0, 5.0, 1.0, 0.0, 5.0, 1.0, SPLINEKNOT_CUBIC);
  EXPECT_EQ(bc, once);

  // More than 50 knots: the first 50 survive.
  SplineData many;
  for (int i = 0; i < 60; ++i) many.InsertKnot(i / 60.0, 0.5);
  bc.SetData(8, GeData(many));
  NormalizeSplineCurve(&bc, 8, 0.0, 60.0, 1.0, 0.0, 1.0, 0.1, SPLINEKNOT_LINEAR);
  c = static_cast<const SplineData*>(bc.GetCustomDataType(8, CUSTOMDATATYPE_SPLINE));
  ASSERT_EQ(c->GetKnotCount(), 50);
  EXPECT_NEAR(c->GetKnot(49)->pos.x, 49.0, 1e-9);

  // A curve that cannot be rebuilt is kept as it was.
  bc.SetData(9, GeData(unit));
  const BaseContainer before = bc;
  hostmem::FailAllocation(1);
  NormalizeSplineCurve(&bc, 9, 0.0, 100.0, 1.0, 0.0, 100.0, 1.0, SPLINEKNOT_LINEAR);
  hostmem::FailAllocation(0);
  EXPECT_EQ(bc, before);
  NormalizeSplineCurve(&bc, 10, 0.0, 100.0, 1.0, 0.0, 100.0, 1.0, SPLINEKNOT_LINEAR);  // absent: nothing
  EXPECT_EQ(bc, before);
}

TEST_F(Builders, WorldPointsAndInverseProduct) {
  SplineObject* sp = CreateSplineFromPoints(doc, root, nullptr, "s", Vector(1, 0, 0), Vector(0, 0, 2), kNoColour, 0);
  root->SetRelPos(Vector(10, 0, 0));
  sp->SetRelRot(Vector(pi / 2, 0, 0));  // heading: +x turns to +z, +z to -x
  Vector out[3] = {Vector(7), Vector(7), Vector(7)};
  GetWorldPoints(sp, out, 3);  // asks for more than there are
  ExpectNear(out[0], Vector(10, 0, 1));
  ExpectNear(out[1], Vector(8, 0, 0));
  EXPECT_EQ(out[2], Vector(7));

  const Matrix a = MatrixMove(Vector(1, 2, 3)) * MatrixRotY(0.3);
  const Matrix b = MatrixMove(Vector(4, 5, 6)) * MatrixRotX(0.2);
  const Matrix expected = Invert(a) * b;
  const Matrix out_m = MultiplyByInverseMatrix(a, b);
  ExpectNear(out_m.off, expected.off);
  ExpectNear(out_m.v2, expected.v2);
}

}  // namespace
