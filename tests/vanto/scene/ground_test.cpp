// Ground contact: the start-of-run preparation, the per-advance grip
// refresh, the wheel and point queries over polygon objects, landscapes,
// routes and the default ground, and the polygon walking helpers.
#include <cmath>

#include "ground_fixture.h"

namespace groundtest {
namespace {

void AddVertexMap(BaseObject* op, std::initializer_list<double> values) {
  VariableTag* tag = VariableTag::Alloc(Tvertexmap, static_cast<LONG>(values.size()));
  ASSERT_NE(tag, nullptr);
  auto* v = static_cast<Real*>(tag->GetDataAddressW());
  for (double x : values) *v++ = x;
  op->InsertTag(tag);
}

void ExpectNear(const Vector& a, const Vector& b) {
  EXPECT_NEAR(a.x, b.x, 1e-12);
  EXPECT_NEAR(a.y, b.y, 1e-12);
  EXPECT_NEAR(a.z, b.z, 1e-12);
}

class GroundContactTest : public GroundTest {
 protected:
  void SetUp() override {
    GroundTest::SetUp();
    group = NewObject(Onull);
    bc.SetLink(CAR_GROUND_GROUP, group);
    bc.SetReal(CAR_GROUND_HEIGHT, 0.0);
    bc.SetReal(CAR_GROUND_GRIP, 0.9);
    car = MakeCar(0.3);  // r = 30 scene units
    groundcontact::PrepareGround(doc, bc, *car, 0);
    groundcontact::ReadWheelGroundTags(*car, bc);
  }
  SceneGroundHit& Wheel(int w = 0) { return car->wheelGroundRecords[w]; }
  const SceneGroundHit& Query(const Vector& p, int w = 0, const Matrix* axes = nullptr) {
    QueryGround(doc, bc, p, w, *car, axes);
    return car->wheelGroundRecords[w];
  }
  // Height above the record's plane of a host point (scene units), as the
  // tyres see it.
  static double Above(const SceneGroundHit& g, const Vector& p) {
    return (g.normal.x * p.z + g.normal.y * p.x + g.normal.z * p.y) / 100.0 + g.planeOffset;
  }
  void ExpectDefaultGround(const SceneGroundHit& g, const Vector& p) {
    EXPECT_EQ(g.groundObject, nullptr);
    EXPECT_EQ(g.hostNormal, Vector(0, 1, 0));
    EXPECT_EQ(g.planeOffset, car->defaultGround.planeOffset);
    EXPECT_EQ(g.friction, car->defaultGround.friction);
    EXPECT_EQ(g.lastPoint, p);
    // The height is in scene units, like the plane's (the skid marks read it).
    EXPECT_DOUBLE_EQ(g.height, -g.planeOffset * 100.0);
  }

  BaseObject* group = nullptr;
  BaseContainer bc;
  std::unique_ptr<CarState> car;
};

// ---------------------------------------------------------------- helpers

TEST(GroundHelpers, HalfCircleProfileFansFromAheadToBehind) {
  double p[kMaxGroundProfile][3] = {};
  HalfCircleProfile(p, 5);
  const double r = std::sqrt(0.5);
  const double expected[5][3] = {{0, 0, 1}, {0, -r, r}, {0, -1, 0}, {0, -r, -r}, {0, 0, -1}};
  for (int k = 0; k < 5; ++k)
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[k][i], expected[k][i], 1e-15) << k << " " << i;
}

TEST(GroundHelpers, ProfileRayCountIsOddAndLimited) {
  const double r = 30.0;
  struct Case {
    double edge;
    int rays;
  } cases[] = {
      {pi * r, 5},         // an edge of half the circumference
      {10.0, 39},          // 37.7 -> 37 -> 38 -> 39
      {pi * r / 2.0, 9},   // 8 -> 9 -> 8 -> 9
      {0.5, 51},           // a fine mesh
      {0.0, 51},           // no edge at all
      {1e9, 5},            // a huge polygon
  };
  for (const Case& c : cases) EXPECT_EQ(ProfileRayCount(r, c.edge), c.rays) << c.edge;
}

TEST_F(GroundTest, VertexMapWeights) {
  PolygonObject* tri = NewMesh(nullptr, {Vector(0, 0, 0), Vector(0, 0, 1), Vector(1, 0, 1)}, {CPolygon(0, 1, 2)});
  EXPECT_EQ(VertexMapFriction(tri, tri->GetPolygonR(), 0, 3), 1.0);  // no map
  AddVertexMap(tri, {1, 1, 1});
  EXPECT_DOUBLE_EQ(VertexMapFriction(tri, tri->GetPolygonR(), 0, 3), 0.9999);
  EXPECT_EQ(VertexMapFriction(tri, tri->GetPolygonR(), 0, 4), 1.0);  // map does not fit the points

  PolygonObject* quad = NewSlope(nullptr, 0, 1, 0, 1, 0, 0, 0);
  AddVertexMap(quad, {0.2, 0.4, 0.6, 0.8});
  EXPECT_DOUBLE_EQ(VertexMapFriction(quad, quad->GetPolygonR(), 0, 4), 0.5);
}

TEST_F(GroundTest, PolygonWalking) {
  // Three cells in a row along x over [-15, 15] (cell 1 is [-5, 5]), z in [-5, 5].
  PolygonObject* strip = NewGrid(nullptr, 3, 1, 10, 0);
  std::vector<Vector> p(strip->GetPointR(), strip->GetPointR() + strip->GetPointCount());
  const CPolygon* q = strip->GetPolygonR();
  EXPECT_EQ(FindPolygonWithEdge(q[1].a, q[1].b, q, 3, 1), 0);
  EXPECT_EQ(FindPolygonWithEdge(q[1].c, q[1].d, q, 3, 1), 2);
  EXPECT_EQ(FindPolygonWithEdge(q[0].a, q[0].b, q, 3, 0), -1);

  double f = -1.0;
  // From the middle of cell 1 across x = 5 (halfway) and x = -5 (a quarter).
  EXPECT_EQ(WalkPolygonEdge(p.data(), q, 1, 3, Vector(0, 0, 0), Vector(10, 0, 0), f), 2);
  EXPECT_DOUBLE_EQ(f, 0.5);
  EXPECT_EQ(WalkPolygonEdge(p.data(), q, 1, 3, Vector(0, 0, 0), Vector(-20, 0, 0), f), 0);
  EXPECT_DOUBLE_EQ(f, 0.25);
  // Staying inside, and leaving through an outer edge.
  EXPECT_EQ(WalkPolygonEdge(p.data(), q, 1, 3, Vector(0, 0, 0), Vector(2, 0, 1), f), -1);
  f = -1.0;
  EXPECT_EQ(WalkPolygonEdge(p.data(), q, 1, 3, Vector(0, 0, 0), Vector(0, 0, 10), f), -1);
  EXPECT_DOUBLE_EQ(f, 0.5);
  // A polygon index outside the array.
  EXPECT_EQ(WalkPolygonEdge(p.data(), q, 3, 3, Vector(0, 0, 0), Vector(10, 0, 0), f), -1);
}

// ---------------------------------------------------------------- run start and advance

TEST_F(GroundContactTest, PrepareLowersTheDefaultGroundAndDropsTagCaches) {
  bc.SetReal(CAR_GROUND_HEIGHT, 5.0);
  NewSlope(group, -100, 100, -100, 100, 10, 0, 0);
  BaseObject* land = NewLandscape(group, Vector(1000, 100, 1000), 10, 10);
  land->SetRelPos(Vector(0, -40, 0));
  BaseTag* tag = AddGroundTag(land);
  ASSERT_TRUE(AskGrid(tag, 0, 0, 0).ok);
  ASSERT_NE(TagData(tag)->Grid().points, nullptr);
  Wheel(2).profileCount = 13;  // left from an earlier run

  // The settling call leaves the group alone.
  groundcontact::PrepareGround(doc, bc, *car, 1);
  EXPECT_EQ(bc.GetReal(CAR_GROUND_HEIGHT), 5.0);
  EXPECT_NE(TagData(tag)->Grid().points, nullptr);
  EXPECT_EQ(car->defaultGround.planeOffset, 0.0);

  groundcontact::PrepareGround(doc, bc, *car, 0);
  // The landscape's lowest corner: -40 (its box starts at its own y = 0).
  EXPECT_EQ(bc.GetReal(CAR_GROUND_HEIGHT), -40.0);
  EXPECT_EQ(TagData(tag)->Grid().points, nullptr);
  const SceneGroundHit& g = car->defaultGround;
  EXPECT_EQ(g.groundObject, nullptr);
  EXPECT_EQ(g.hostNormal, Vector(0, 1, 0));
  EXPECT_EQ(g.normal, Vec3(0, 0, 1));
  EXPECT_DOUBLE_EQ(g.planeOffset, 0.4);
  EXPECT_DOUBLE_EQ(g.height, -40.0);  // scene units, as every ground record
  EXPECT_DOUBLE_EQ(g.friction, 0.9);
  EXPECT_DOUBLE_EQ(g.gripFactor, 0.9);
  EXPECT_EQ(g.contactMode, 1);
  // Every wheel starts with a 5-ray profile, its count included.
  double five[kMaxGroundProfile][3] = {};
  HalfCircleProfile(five, 5);
  for (const SceneGroundHit& w : car->wheelGroundRecords) {
    EXPECT_EQ(w.groundObject, nullptr);
    EXPECT_EQ(w.profileCount, 5);
    // Near, not equal: cos(pi/2) is 6.1e-17 by the compiler's own folding
    // but not quite that by every C library (mingw's).
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(w.profile[k][1], five[k][1], 1e-15);
  }
  // A ground above the default height does not raise it.
  bc.SetReal(CAR_GROUND_HEIGHT, -100.0);
  groundcontact::PrepareGround(doc, bc, *car, 0);
  EXPECT_EQ(bc.GetReal(CAR_GROUND_HEIGHT), -100.0);
}

TEST_F(GroundContactTest, AdvanceReadsGripAndModeOfTheObjectUnderEachWheel) {
  BaseObject* a = NewSlope(group, -100, 100, -100, 100, 0, 0, 0);
  AddGroundTag(a, 0.5, 2);
  BaseObject* b = NewSlope(group, 200, 300, -100, 100, 0, 0, 0);
  Wheel(0).groundObject = a;
  Wheel(1).groundObject = a;
  Wheel(2).groundObject = b;
  Wheel(3).groundObject = nullptr;
  bc.SetReal(CAR_GROUND_HEIGHT, 25.0);
  bc.SetReal(CAR_GROUND_GRIP, 0.7);
  groundcontact::ReadWheelGroundTags(*car, bc);
  EXPECT_DOUBLE_EQ(car->defaultGround.planeOffset, -0.25);
  EXPECT_DOUBLE_EQ(car->defaultGround.friction, 0.7);
  const double grip[4] = {0.5, 0.5, 1.0, 1.0};
  const int32 mode[4] = {2, 2, 1, 1};
  for (int w = 0; w < 4; ++w) {
    EXPECT_DOUBLE_EQ(Wheel(w).gripFactor, grip[w]) << w;
    EXPECT_EQ(Wheel(w).contactMode, mode[w]) << w;
  }
  // An object that left the group (or was deleted) is forgotten, not read.
  b->Remove();
  BaseObject::Free(a);
  RefreshSceneLinks(doc, bc, *car);
  groundcontact::ReadWheelGroundTags(*car, bc);
  for (int w = 0; w < 3; ++w) {
    EXPECT_EQ(Wheel(w).groundObject, nullptr);
    EXPECT_EQ(Wheel(w).gripFactor, 1.0);
  }
  BaseObject::Free(b);
}

// ---------------------------------------------------------------- the wheel query

TEST_F(GroundContactTest, WheelOverATiltedPlane) {
  // Height 10 + 0.5 x: normal (-1, 2, 0) / sqrt 5.
  BaseObject* slope = NewSlope(group, -100, 100, -100, 100, 10, 0.5, 0);
  const Vector p(20, 100, 30);
  const SceneGroundHit& g = Query(p);
  EXPECT_EQ(g.groundObject, slope);
  EXPECT_EQ(g.polygonIndex, 0);
  EXPECT_DOUBLE_EQ(g.height, 20.0);
  const double s5 = std::sqrt(5.0);
  EXPECT_NEAR(g.hostNormal.x, -1 / s5, 1e-15);
  EXPECT_NEAR(g.hostNormal.y, 2 / s5, 1e-15);
  EXPECT_EQ(g.hostNormal.z, 0.0);
  EXPECT_EQ(g.normal, Vec3(g.hostNormal.z, g.hostNormal.x, g.hostNormal.y));
  // The tyres' height above the plane: 0.8 m straight down, 0.8 * 2 / sqrt 5 along the normal.
  EXPECT_NEAR(Above(g, p), 1.6 / s5, 1e-12);
  EXPECT_NEAR(Above(g, Vector(-60, -20, 77)), 0.0, 1e-12);
  EXPECT_EQ(g.lastPoint, Vector(20, 70, 30));  // lowered by the radius
  EXPECT_EQ(g.gripFactor, 1.0);                // no tag
  EXPECT_EQ(g.friction, 1.0);
}

TEST_F(GroundContactTest, WheelTakesTheHighestPlaneBelowIt) {
  NewSlope(group, -100, 100, -100, 100, 10, 0, 0);
  BaseObject* middle = NewSlope(group, -100, 100, -100, 100, 40, 0, 0);
  NewSlope(group, -100, 100, -100, 100, 150, 0, 0);  // above the wheel
  EXPECT_EQ(Query(Vector(0, 100, 0)).groundObject, middle);
  EXPECT_DOUBLE_EQ(Wheel().height, 40.0);

  // Below every plane, or beside all of them: the default ground.
  struct Case {
    Vector p;
  } fallbacks[] = {{Vector(0, 5, 0)}, {Vector(150, 100, 0)}};
  for (const Case& c : fallbacks) {
    groundcontact::PrepareGround(doc, bc, *car, 0);
    ExpectDefaultGround(Query(c.p), c.p);
  }
  // A car on a route takes the route's grip there.
  BaseObject* route = NewObject(Onull);
  car->autopilot.routeObject = route;
  car->autopilot.routeGrip = 0.6;
  EXPECT_EQ(Query(Vector(150, 100, 0)).friction, 0.6);
  EXPECT_EQ(Wheel().gripFactor, 0.6);
}

TEST_F(GroundContactTest, SinglePointContactWeighsTheVertexMapOnEntryOnly) {
  // Two cells: x in [-100, 0] and [0, 100], z in [-50, 50]; tag grip 0.5.
  PolygonObject* grid = NewGrid(group, 2, 1, 100, 0);
  AddGroundTag(grid, 0.5, 1);
  // Points 0 1 2 on z = -50, 3 4 5 on z = 50: cell 0 weighs 0.8, cell 1 0.6.
  AddVertexMap(grid, {0.8, 0.8, 0.4, 0.8, 0.8, 0.4});

  // Entering from nothing: the search, with the object's own grip at once.
  EXPECT_EQ(Query(Vector(-50, 20, 0)).polygonIndex, 0);
  EXPECT_DOUBLE_EQ(Wheel().friction, 0.8 * 0.5);
  EXPECT_DOUBLE_EQ(Wheel().gripFactor, 0.5);
  EXPECT_EQ(Wheel().contactMode, 1);
  // Staying: the tag's factor alone.
  EXPECT_EQ(Query(Vector(-20, 20, 0)).polygonIndex, 0);
  EXPECT_DOUBLE_EQ(Wheel().friction, 0.5);
  EXPECT_EQ(Wheel().lastPoint, Vector(-20, 20, 0));
  // Rolling over the edge onto the neighbour: walked, weighed again, the
  // last point stays where the walk started.
  EXPECT_EQ(Query(Vector(5, 20, 0)).polygonIndex, 1);
  EXPECT_DOUBLE_EQ(Wheel().friction, 0.6 * 0.5);
  EXPECT_EQ(Wheel().lastPoint, Vector(-20, 20, 0));
  EXPECT_DOUBLE_EQ(Wheel().height, 0.0);
  // A jump further than the radius: found again by the search.
  EXPECT_EQ(Query(Vector(-90, 20, 0)).polygonIndex, 0);
  EXPECT_EQ(Wheel().lastPoint, Vector(-90, -10, 0));
}

TEST_F(GroundContactTest, ProfileContactFollowsTheRaysAndKeepsItsWeight) {
  // 8 x 8 cells of 10 units over the origin; cell (4, 4) is polygon 36.
  PolygonObject* grid = NewGrid(group, 8, 8, 10, 0);
  AddGroundTag(grid, 0.5, 2);
  VariableTag* map = VariableTag::Alloc(Tvertexmap, 81);
  auto* v = static_cast<Real*>(map->GetDataAddressW());
  for (LONG i = 0; i < 81; ++i) v[i] = i == 40 ? 0.6 : 1.0;  // a corner of cells 27, 28, 35 and 36
  grid->InsertTag(map);
  const Matrix axes;  // axle along x, up along y, ahead along z

  EXPECT_EQ(Query(Vector(1, 25, 1), 0, &axes).polygonIndex, 36);
  EXPECT_EQ(Wheel().contactMode, 2);
  EXPECT_EQ(Wheel().profileCount, 39);
  EXPECT_DOUBLE_EQ(Wheel().friction, 0.9 * 0.5);
  EXPECT_EQ(Wheel().lastPoint, Vector(1, -5, 1));
  // The same cell: the straight-down ray decides, the weight stays.
  EXPECT_EQ(Query(Vector(2, 25, 3), 0, &axes).polygonIndex, 36);
  ExpectNear(Wheel().lastPoint, Vector(2, 0, 3));
  groundcontact::ReadWheelGroundTags(*car, bc);
  EXPECT_EQ(Query(Vector(2, 25, 4), 0, &axes).polygonIndex, 36);
  EXPECT_DOUBLE_EQ(Wheel().friction, 0.9 * 0.5);
  // Ahead into the next row: found by walking, not by the search.
  EXPECT_EQ(Query(Vector(2, 25, 12), 0, &axes).polygonIndex, 44);
  ExpectNear(Wheel().lastPoint, Vector(2, 0, 12));
  EXPECT_DOUBLE_EQ(Wheel().friction, 0.5);
  // An odd wheel mirrors its axes and finds the same.
  EXPECT_EQ(Query(Vector(2, 25, 12), 1, &axes).polygonIndex, 44);
  // A hub sunk below the surface (a hard landing): the rays meet the grid
  // only behind their origin, which is no contact; the wheel must not jump
  // to the cell those hits lie in.
  const SceneGroundHit& sunk = Query(Vector(2, -5, 13), 0, &axes);
  if (sunk.groundObject == grid) {
    EXPECT_EQ(sunk.polygonIndex, 44);
  }
  EXPECT_LE(std::fabs(sunk.hitPoint.z - 13.0), 30.0);
}

TEST_F(GroundContactTest, SwitchedOffObjectsAreKeptButNotSearched) {
  BaseObject* slope = NewSlope(group, -100, 100, -100, 100, 10, 0, 0);
  slope->SetEditorMode(MODE_OFF);
  ExpectDefaultGround(Query(Vector(0, 50, 0)), Vector(0, 50, 0));
  slope->SetEditorMode(MODE_ON);
  EXPECT_EQ(Query(Vector(0, 50, 0)).groundObject, slope);
  slope->SetEditorMode(MODE_OFF);
  EXPECT_EQ(Query(Vector(1, 50, 0)).groundObject, slope);
  EXPECT_DOUBLE_EQ(Wheel().height, 10.0);
}

// Deleted objects are dropped at the start of every advance call, before
// any query.
TEST_F(GroundContactTest, ADeletedGroundObjectIsNeverTouched) {
  BaseObject* slope = NewSlope(group, -100, 100, -100, 100, 10, 0, 0);
  ASSERT_EQ(Query(Vector(0, 50, 0)).groundObject, slope);
  BaseObject::Free(slope);
  RefreshSceneLinks(doc, bc, *car);
  ExpectDefaultGround(Query(Vector(1, 50, 0)), Vector(1, 50, 0));
  // The group link itself gone: the default ground as well.
  ASSERT_EQ(Query(Vector(1, 50, 0)).groundObject, nullptr);
  BaseObject* other = NewSlope(group, -100, 100, -100, 100, 10, 0, 0);
  ASSERT_EQ(Query(Vector(0, 50, 0)).groundObject, other);
  BaseObject::Free(group);
  RefreshSceneLinks(doc, bc, *car);
  ExpectDefaultGround(Query(Vector(2, 50, 0)), Vector(2, 50, 0));
}

TEST_F(GroundContactTest, BrokenMeshesAreSkipped) {
  // Corners that point past the points, and a quad whose first three
  // corners lie on a line (no plane).
  NewMesh(group, {Vector(-100, 10, -100), Vector(-100, 10, 100), Vector(100, 10, 100)}, {CPolygon(0, 1, 9)});
  NewMesh(group, {Vector(-100, 20, -100), Vector(-100, 20, 0), Vector(-100, 20, 100), Vector(100, 20, 100)},
          {CPolygon(0, 1, 2, 3)});
  ExpectDefaultGround(Query(Vector(-50, 50, 0)), Vector(-50, 50, 0));
  // The search's point buffer cannot be had: that object is skipped (the
  // third buffer of the search is the slope's).
  BaseObject* slope = NewSlope(group, -100, 100, -100, 100, 10, 0, 0);
  hostmem::FailAllocation(3);
  ExpectDefaultGround(Query(Vector(-50, 50, 0)), Vector(-50, 50, 0));
  EXPECT_EQ(Query(Vector(-50, 50, 0)).groundObject, slope);
}

TEST_F(GroundContactTest, LandscapeAnswersThroughItsTag) {
  BaseObject* land = NewLandscape(group, Vector(1000, 100, 1000), 10, 10);
  land->SetRelPos(Vector(0, 30, 0));
  AddGroundTag(land, 0.7);
  BaseObject* s = hostgeo::CurrentState(land);
  const Vector* pts = static_cast<const Vector*>(s->GetTagDataR(Tpoint));
  const double y60 = pts[60].y, y71 = pts[71].y, y72 = pts[72].y;
  BaseObject::Free(s);

  // (10, 20) lies 0.1 and 0.2 of a cell from corner 60 of cell (5, 5).
  const Vector p(10, 500, 20);
  const SceneGroundHit& g = Query(p);
  EXPECT_EQ(g.groundObject, land);
  EXPECT_EQ(g.polygonIndex, 0);
  EXPECT_NEAR(g.height, 30 + y60 + 0.1 * (y72 - y71) + 0.2 * (y71 - y60), 1e-9);
  EXPECT_NEAR(Above(g, Vector(10, g.height, 20)), 0.0, 1e-12);
  EXPECT_DOUBLE_EQ(g.friction, 0.7);
  // The next step asks the tag again without a search.
  const SceneGroundHit& h = Query(Vector(12, 500, 20));
  EXPECT_EQ(h.groundObject, land);
  EXPECT_EQ(h.lastPoint, Vector(12, 500, 20));
  // Below the landscape the tag's plane is refused: the search goes on to
  // what lies under the point instead of leaving a stale plane.
  BaseObject* under = NewSlope(group, -500, 500, -500, 500, -200, 0, 0);
  const SceneGroundHit& u = Query(Vector(12, -100, 20));
  EXPECT_EQ(u.groundObject, under);
  EXPECT_DOUBLE_EQ(u.height, -200.0);
  EXPECT_NEAR(Above(u, Vector(12, -200, 20)), 0.0, 1e-12);
  // A switched-off (disabled) landscape gives nothing.
  land->SetDeformMode(false);
  under->SetEditorMode(MODE_OFF);
  groundcontact::PrepareGround(doc, bc, *car, 0);
  ExpectDefaultGround(Query(p), p);
}

TEST_F(GroundContactTest, ALandscapeAboveTheWheelDoesNotClaimIt) {
  BaseObject* slope = NewSlope(group, -100, 100, -100, 100, 0, 0, 0);
  BaseObject* land = NewLandscape(group, Vector(1000, 100, 1000), 10, 10);
  land->SetRelPos(Vector(0, 200, 0));
  AddGroundTag(land);
  const SceneGroundHit& g = Query(Vector(10, 50, 20));
  EXPECT_EQ(g.groundObject, slope);
  EXPECT_EQ(g.polygonIndex, 0);
  EXPECT_EQ(g.height, 0.0);
  EXPECT_EQ(g.hostNormal, Vector(0, 1, 0));
}

TEST_F(GroundContactTest, RouteSurfaceServesAsGround) {
  BaseObject* route = NewObject(Onull);
  AutopilotState& ap = car->autopilot;
  ap.routeObject = ap.routeSpline = ap.routeProfile = route;
  ap.routeIsGround = 1;
  ap.routeGrip = 0.6;
  ap.routeFrame = MatrixMove(Vector(0, 10, 500));
  // Across the road from x = -200 to 200: height 0.1 x, normal (-0.1, 1, 0).
  for (int k = 0; k < kRouteSectionSamples; ++k) {
    const double x = -200.0 + 400.0 * k / (kRouteSectionSamples - 1);
    ap.routeSection[k][0] = Vector(x, 0.1 * x, 0);
    ap.routeSection[k][1] = Vector(-0.1, 1, 0);
  }
  const Vector p(50, 40, 500);
  const SceneGroundHit& g = Query(p);
  EXPECT_EQ(g.groundObject, nullptr);
  EXPECT_EQ(g.lastPoint, p);
  EXPECT_NEAR(g.height, 15.0, 1e-12);
  EXPECT_NEAR(g.hostNormal.x, -0.1 / std::sqrt(1.01), 1e-15);
  EXPECT_NEAR(Above(g, Vector(50, 15, 500)), 0.0, 1e-12);
  EXPECT_EQ(g.friction, 0.6);
  // Beside the road: the default ground, with the route's grip.
  const Vector off(300, 40, 500);
  EXPECT_EQ(Query(off).hostNormal, Vector(0, 1, 0));
  EXPECT_EQ(Wheel().friction, 0.6);
  EXPECT_EQ(Wheel().planeOffset, car->defaultGround.planeOffset);

  // Driving 1 m to the side of the rail: the frame stands at the offset, the
  // section about the rail. At 1.5 m from the rail the road is 15 + 10 high,
  // and the plane passes through that point.
  ap.lateralOffset = 100.0;
  ap.routeFrame = MatrixMove(Vector(100, 10, 500));
  const Vector q(150, 40, 500);
  const SceneGroundHit& h = Query(q);
  EXPECT_NEAR(h.height, 25.0, 1e-12);
  EXPECT_NEAR(Above(h, Vector(150, 25, 500)), 0.0, 1e-12);
}

// ---------------------------------------------------------------- the point query

TEST_F(GroundContactTest, PointQueryLeavesGripAndProfileAlone) {
  BaseObject* slope = NewSlope(group, -100, 100, -100, 100, 10, 0.5, 0);
  AddGroundTag(slope, 0.5, 2);
  SceneGroundHit hit;
  hit.friction = 0.77;
  hit.profileCount = 7;
  const Vector p(20, 100, 30);
  QueryGroundPoint(doc, bc, p, hit, *car);
  EXPECT_EQ(hit.groundObject, slope);
  EXPECT_DOUBLE_EQ(hit.height, 20.0);
  EXPECT_EQ(hit.lastPoint, p);  // not lowered
  EXPECT_EQ(hit.friction, 0.77);
  EXPECT_EQ(hit.profileCount, 7);
  EXPECT_NEAR(Above(hit, p), 1.6 / std::sqrt(5.0), 1e-12);
  // Nothing below: the whole default ground.
  QueryGroundPoint(doc, bc, Vector(0, -50, 0), hit, *car);
  EXPECT_EQ(hit.groundObject, nullptr);
  EXPECT_EQ(hit.friction, car->defaultGround.friction);
  EXPECT_EQ(hit.profileCount, 7);
}

}  // namespace
}  // namespace groundtest
