// The ground tag: defaults, the grid answers of command 4 and their cache,
// the enabling rules, and laying points onto a surface.
#include "../scene/ground_fixture.h"

namespace groundtest {
namespace {

// The points of the primitive's polygon form, as the host makes it.
std::vector<Vector> SurfacePoints(const BaseObject* op) {
  BaseObject* s = hostgeo::CurrentState(op);
  EXPECT_NE(s, nullptr);
  const auto* p = static_cast<const Vector*>(s->GetTagDataR(Tpoint));
  std::vector<Vector> out(p, p + s->GetTagDataCount(Tpoint));
  BaseObject::Free(s);
  return out;
}

TEST_F(GroundTest, NewTagDefaultsAndEmptyCache) {
  BaseObject* op = NewObject(Opolygon);
  BaseTag* tag = op->MakeTag(ID_VANTOGROUND);
  ASSERT_NE(tag, nullptr);
  EXPECT_DOUBLE_EQ(tag->GetDataInstance()->GetReal(GROUNDTAG_GRIP), 0.98);
  EXPECT_EQ(tag->GetDataInstance()->GetLong(GROUNDTAG_CONTACT_MODE), 1);
  const GroundGrid& g = TagData(tag)->Grid();
  EXPECT_EQ(g.points, nullptr);
  EXPECT_EQ(g.nx, 0);
  EXPECT_EQ(g.nz, 0);
  EXPECT_EQ(g.size, Vector());
  // The description the host shows holds the tag's four entries.
  Description d;
  ASSERT_TRUE(hostdesc::GetNodeDescription(tag, &d));
  for (LONG id : {GROUNDTAG_GRIP, GROUNDTAG_CONTACT_MODE, GROUNDTAG_LIFT_SURFACE, GROUNDTAG_LIFT})
    EXPECT_NE(d.Find(DescID(id)), nullptr) << id;
}

TEST_F(GroundTest, GridAnswersTheCellCornersOfTheQueryPoint) {
  for (LONG type : {LONG(Olandscape), LONG(Orelief)}) {
    BaseObject* land = NewLandscape(nullptr, Vector(1000, 100, 1000), 10, 10, type);
    BaseTag* tag = AddGroundTag(land);
    const std::vector<Vector> pts = SurfacePoints(land);
    ASSERT_EQ(pts.size(), 121u);
    struct Case {
      double x, z;
      int p0, p1, p2;
    } cases[] = {
        {0, 0, 60, 71, 72},          // column 5, row 5
        {-499, -499, 0, 11, 12},     // the first cell
        {-450, 350, 88, 99, 100},    // column 0, row 8
        {499.5, 499.5, 108, 119, 120},  // the last cell
    };
    for (const Case& c : cases) {
      const GridAnswer a = AskGrid(tag, c.x, 12345.0, c.z);
      ASSERT_TRUE(a.ok) << c.x << " " << c.z;
      EXPECT_EQ(AnswerPoint(a, 0), pts[c.p0]);
      EXPECT_EQ(AnswerPoint(a, 1), pts[c.p1]);
      EXPECT_EQ(AnswerPoint(a, 2), pts[c.p2]);
      EXPECT_EQ(a.buffer[9], 0.0);  // the rest of a longer block is left alone
    }
    const GroundGrid& g = TagData(tag)->Grid();
    EXPECT_NE(g.points, nullptr);
    EXPECT_EQ(g.nx, 10);
    EXPECT_EQ(g.nz, 10);
    EXPECT_EQ(g.size, Vector(1000, 100, 1000));
  }
}

TEST_F(GroundTest, GridFollowsSizeAndCountsButOtherChangesWaitForCommandZero) {
  BaseObject* land = NewLandscape(nullptr, Vector(1000, 100, 1000), 10, 10);
  BaseTag* tag = AddGroundTag(land);
  const GridAnswer first = AskGrid(tag, 0, 0, 0);
  ASSERT_TRUE(first.ok);

  // Only the height of the size changed: rebuilt, heights double.
  land->GetDataInstance()->SetVector(PRIM_LANDSCAPE_SIZE, Vector(1000, 200, 1000));
  const GridAnswer taller = AskGrid(tag, 0, 0, 0);
  ASSERT_TRUE(taller.ok);
  EXPECT_DOUBLE_EQ(AnswerPoint(taller, 0).y, 2.0 * AnswerPoint(first, 0).y);

  // Another parameter (the seed) changes the surface, but the grid stays ...
  land->GetDataInstance()->SetLong(PRIM_LANDSCAPE_SEED, 7);
  const std::vector<Vector> reseeded = SurfacePoints(land);
  ASSERT_NE(reseeded[60], AnswerPoint(taller, 0));
  EXPECT_EQ(AnswerPoint(AskGrid(tag, 0, 0, 0), 0), AnswerPoint(taller, 0));
  // ... until command 0 drops it.
  SimLinkMessage drop{SIMLINK_FREE_CACHE, nullptr};
  EXPECT_TRUE(tag->Message(MSG_SIMLINK, &drop));
  EXPECT_EQ(TagData(tag)->Grid().points, nullptr);
  EXPECT_EQ(AnswerPoint(AskGrid(tag, 0, 0, 0), 0), reseeded[60]);

  // A new segment count rebuilds as well.
  land->GetDataInstance()->SetLong(PRIM_LANDSCAPE_SUBX, 20);
  const GridAnswer finer = AskGrid(tag, 0, 0, 0);
  ASSERT_TRUE(finer.ok);
  EXPECT_EQ(TagData(tag)->Grid().nx, 20);
  EXPECT_EQ(AnswerPoint(finer, 0), SurfacePoints(land)[5 * 21 + 10]);
}

TEST_F(GroundTest, GridQueryRefusals) {
  BaseObject* land = NewLandscape(nullptr, Vector(1000, 100, 1000), 10, 10);
  BaseTag* tag = AddGroundTag(land);
  ASSERT_TRUE(AskGrid(tag, 0, 0, 0).ok);

  // Null buffer.
  SimLinkMessage null_buffer{SIMLINK_GROUND_QUERY, nullptr};
  EXPECT_FALSE(tag->Message(MSG_SIMLINK, &null_buffer));
  // Other commands are answered and do nothing.
  SimLinkMessage other{SIMLINK_BAKE_PHASE, nullptr};
  EXPECT_TRUE(tag->Message(MSG_SIMLINK, &other));
  EXPECT_NE(TagData(tag)->Grid().points, nullptr);

  // The conversion fails: no answer, empty cache.
  land->GetDataInstance()->SetLong(PRIM_LANDSCAPE_SUBZ, 12);
  hostgeo::FailModelingCommand(1);
  EXPECT_FALSE(AskGrid(tag, 0, 0, 0).ok);
  EXPECT_EQ(TagData(tag)->Grid().points, nullptr);
  // The grid's memory cannot be had: the same.
  hostmem::FailAllocation(1);
  EXPECT_FALSE(AskGrid(tag, 0, 0, 0).ok);
  EXPECT_EQ(TagData(tag)->Grid().points, nullptr);
  EXPECT_TRUE(AskGrid(tag, 0, 0, 0).ok);

  // Points off the grid and grids without cells give no answer (and no
  // read outside the cache).
  struct Case {
    Vector size;
    LONG nx, nz;
    double x, z;
  } refused[] = {
      {Vector(1000, 100, 1000), 10, 12, 501, 0},
      {Vector(1000, 100, 1000), 10, 12, 0, -600},
      {Vector(1000, 100, 1000), 10, 12, 1e300, 0},
      {Vector(1000, 100, 1000), 0, 12, 0, 0},
      {Vector(1000, 100, 1000), 10, -3, 0, 0},
      {Vector(0, 100, 1000), 10, 12, 0, 0},
      // More segments than the host's polygon form has points for.
      {Vector(1000, 100, 1000), 5000, 12, 0, 0},
  };
  for (const Case& c : refused) {
    land->GetDataInstance()->SetVector(PRIM_LANDSCAPE_SIZE, c.size);
    land->GetDataInstance()->SetLong(PRIM_LANDSCAPE_SUBX, c.nx);
    land->GetDataInstance()->SetLong(PRIM_LANDSCAPE_SUBZ, c.nz);
    GridAnswer a = AskGrid(tag, c.x, 0, c.z);
    EXPECT_FALSE(a.ok) << c.nx << " " << c.x << " " << c.z;
    EXPECT_EQ(a.buffer[3], 0.0);
  }
}

TEST_F(GroundTest, GridQueryOnOtherObjectsEmptiesTheCacheAndAnswersTrue) {
  BaseObject* land = NewLandscape(nullptr, Vector(1000, 100, 1000), 10, 10);
  BaseTag* tag = AddGroundTag(land);
  ASSERT_TRUE(AskGrid(tag, 0, 0, 0).ok);
  // The same tag moved onto a cube.
  BaseObject* cube = NewObject(Ocube);
  tag->Remove();
  cube->InsertTag(tag);
  const GridAnswer a = AskGrid(tag, 1, 2, 3);
  EXPECT_TRUE(a.ok);
  EXPECT_EQ(TagData(tag)->Grid().points, nullptr);
  EXPECT_EQ(a.buffer[0], 1.0);
  EXPECT_EQ(a.buffer[3], 0.0);

  // A tag on no object refuses command 23 and button messages.
  BaseTag* loose = BaseTag::Alloc(ID_VANTOGROUND);
  ASSERT_NE(loose, nullptr);
  EXPECT_FALSE(AskGrid(loose, 0, 0, 0).ok);
  DescID button(GROUNDTAG_LIFT);
  EXPECT_FALSE(loose->Message(MSG_DESCRIPTION_COMMAND, &button));
  EXPECT_TRUE(loose->Message(MSG_UPDATE, nullptr));
  BaseTag::Free(loose);
}

TEST_F(GroundTest, ContactModeIsOnlyEnabledOnPolygonObjects) {
  BaseObject* poly = NewObject(Opolygon);
  BaseTag* on_poly = AddGroundTag(poly, 0.5, 2);
  BaseObject* land = NewLandscape(nullptr, Vector(1000, 100, 1000), 10, 10);
  BaseTag* on_land = AddGroundTag(land, 0.5, 2);
  for (LONG id : {GROUNDTAG_CONTACT_MODE, GROUNDTAG_LIFT_SURFACE, GROUNDTAG_LIFT}) {
    EXPECT_TRUE(hostdesc::IsEnabled(on_poly, DescID(id))) << id;
    EXPECT_FALSE(hostdesc::IsEnabled(on_land, DescID(id))) << id;
  }
  EXPECT_TRUE(hostdesc::IsEnabled(on_land, DescID(GROUNDTAG_GRIP)));
  EXPECT_EQ(on_poly->GetDataInstance()->GetLong(GROUNDTAG_CONTACT_MODE), 2);
  EXPECT_EQ(on_land->GetDataInstance()->GetLong(GROUNDTAG_CONTACT_MODE), 1);
}

TEST_F(GroundTest, HeightUnderIsTheHighestContainingPolygon) {
  BaseObject* surface = NewObject(Onull);
  // Height 10 + 0.5 x over [-100, 100]^2, and a flat quad at 30 over x > 0.
  NewSlope(surface, -100, 100, -100, 100, 10, 0.5, 0.0);
  NewSlope(surface, 0, 100, -100, 100, 30, 0.0, 0.0);
  struct Case {
    Vector p;
    double h;
  } cases[] = {
      {Vector(-40, -50, 0), -10},  // the slope alone
      {Vector(20, 0, 5), 30},     // the flat quad is higher than the slope (20)
      {Vector(80, 0, 5), 50},     // the slope is higher (50)
      {Vector(80, 60, 5), 60},    // above both: its own height
      {Vector(150, -5, 0), -5},   // off every polygon
  };
  for (const Case& c : cases) EXPECT_NEAR(GroundHeightUnder(surface, c.p), c.h, 1e-9) << c.p.x;
  EXPECT_EQ(GroundHeightUnder(nullptr, Vector(1, 2, 3)), 2.0);
}

TEST_F(GroundTest, HeightUnderIgnoresWhatIsNoPolygonSurface) {
  BaseObject* surface = NewObject(Onull);
  // A cube, a two-point polygon object, one without polygons, and a slope
  // that is a grandchild: none of them count.
  NewObject(Ocube, surface);
  NewMesh(surface, {Vector(-100, 50, -100), Vector(100, 50, 100)}, {});
  NewMesh(surface, {Vector(-100, 50, -100), Vector(-100, 50, 100), Vector(100, 50, 100)}, {});
  BaseObject* middle = NewObject(Onull, surface);
  NewSlope(middle, -100, 100, -100, 100, 50, 0, 0);
  EXPECT_EQ(GroundHeightUnder(surface, Vector(0, -3, 0)), -3.0);
  // An upright polygon and one whose corners point outside its points.
  NewMesh(surface, {Vector(-100, 0, 0), Vector(-100, 100, 0), Vector(100, 100, 0), Vector(100, 0, 0)},
          {CPolygon(0, 1, 2, 3)});
  NewMesh(surface, {Vector(-100, 80, -100), Vector(-100, 80, 100), Vector(100, 80, 100)}, {CPolygon(0, 1, 7)});
  EXPECT_EQ(GroundHeightUnder(surface, Vector(0, -3, 0)), -3.0);
}

TEST_F(GroundTest, LiftRaisesPointsOntoTheSurfaceButNeverLowersThem) {
  BaseObject* surface = NewObject(Onull);
  NewSlope(surface, -1000, 1000, -1000, 1000, 20, 0, 0);
  // The road: moved and turned, so its points differ from world space.
  PolygonObject* road = NewMesh(nullptr, {Vector(0, -35, 0), Vector(10, 25, 0), Vector(0, 5, 40)}, {CPolygon(0, 1, 2)});
  Matrix m = HPBToMatrix(Vector(0.7, 0, 0));
  m.off = Vector(100, 25, -50);
  road->SetMg(m);
  std::vector<Vector> before;
  for (LONG i = 0; i < 3; ++i) before.push_back(m * road->GetPointR()[i]);
  ASSERT_NEAR(before[0].y, -10, 1e-9);
  ASSERT_NEAR(before[1].y, 50, 1e-9);

  BaseTag* tag = AddGroundTag(road);
  tag->GetDataInstance()->SetLink(GROUNDTAG_LIFT_SURFACE, surface);
  const ULONG dirty = road->GetDirty();
  DescID button(GROUNDTAG_LIFT);
  EXPECT_TRUE(tag->Message(MSG_DESCRIPTION_COMMAND, &button));

  const double expected_y[3] = {20, 50, 30};
  for (LONG i = 0; i < 3; ++i) {
    const Vector w = m * road->GetPointR()[i];
    EXPECT_NEAR(w.x, before[i].x, 1e-9);
    EXPECT_NEAR(w.y, expected_y[i], 1e-9);
    EXPECT_NEAR(w.z, before[i].z, 1e-9);
  }
  EXPECT_GT(road->GetDirty(), dirty);
  ASSERT_EQ(doc->UndoLog().size(), 1u);
  EXPECT_EQ(doc->UndoLog()[0].kind, UNDOTYPE_CHANGE);
  EXPECT_EQ(doc->UndoLog()[0].serial, road->GetSerial());
}

TEST_F(GroundTest, LiftWithoutPointsOrSurfaceLeavesEverythingAlone) {
  BaseObject* surface = NewObject(Onull);
  NewSlope(surface, -1000, 1000, -1000, 1000, 20, 0, 0);
  // No points: no undo step.
  BaseObject* empty = NewObject(Opolygon);
  BaseTag* tag = AddGroundTag(empty);
  tag->GetDataInstance()->SetLink(GROUNDTAG_LIFT_SURFACE, surface);
  DescID button(GROUNDTAG_LIFT);
  EXPECT_TRUE(tag->Message(MSG_DESCRIPTION_COMMAND, &button));
  EXPECT_TRUE(doc->UndoLog().empty());
  // No surface linked: the button does nothing.
  PolygonObject* road = NewMesh(nullptr, {Vector(0, -35, 0), Vector(10, 25, 0), Vector(0, 5, 40)}, {CPolygon(0, 1, 2)});
  BaseTag* road_tag = AddGroundTag(road);
  EXPECT_TRUE(road_tag->Message(MSG_DESCRIPTION_COMMAND, &button));
  EXPECT_EQ(road->GetPointR()[0], Vector(0, -35, 0));
  EXPECT_TRUE(doc->UndoLog().empty());
  // Another button: nothing either.
  road_tag->GetDataInstance()->SetLink(GROUNDTAG_LIFT_SURFACE, surface);
  DescID other(GROUNDTAG_GRIP);
  EXPECT_TRUE(road_tag->Message(MSG_DESCRIPTION_COMMAND, &other));
  EXPECT_EQ(road->GetPointR()[0], Vector(0, -35, 0));
  // An object flattened to nothing cannot be lifted back: left as it is.
  road->SetMg(Matrix(Vector(), Vector(1, 0, 0), Vector(0, 0, 0), Vector(0, 0, 1)));
  LiftOntoGround(doc, road, surface);
  EXPECT_EQ(road->GetPointR()[0], Vector(0, -35, 0));
  EXPECT_TRUE(doc->UndoLog().empty());
}

}  // namespace
}  // namespace groundtest
