#include "scene/outline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "car/car_params.h"
#include "carsim/polygon_geometry.h"
#include "host_geometry.h"
#include "host_services.h"

namespace {

constexpr Real kNaN = std::numeric_limits<Real>::quiet_NaN();
constexpr Real kInf = std::numeric_limits<Real>::infinity();

void ExpectVec(const Vector& got, const Vector& want, Real tol = 1e-9) {
  EXPECT_NEAR(got.x, want.x, tol);
  EXPECT_NEAR(got.y, want.y, tol);
  EXPECT_NEAR(got.z, want.z, tol);
}

// The outline record keeps engine vectors in host order.
void ExpectVec(const Vec3& got, const Vector& want, Real tol = 1e-9) { ExpectVec(HostOrderToVector(got), want, tol); }

Real SignedArea(const Vec3* p, int32 n) {
  Real s = 0.0;
  for (int32 i = 0; i < n; ++i) s += p[i].x * p[(i + 1) % n].z - p[(i + 1) % n].x * p[i].z;
  return s;
}

class OutlineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    blocksAtStart = hostmem::LiveBlocks();
    doc = BaseDocument::Alloc();
    ASSERT_NE(doc, nullptr);
    car = std::make_unique<CarState>();
    car->settings.unitsPerMetre = 100.0;
    car->bodySize = Vector(400.0, 150.0, 900.0);
    // Force curve: 0 -> 100 % over the first half of the zone, then flat,
    // on the 0..100 x range the presets use.
    SplineData curve;
    curve.SetRange(0.0, 100.0, 1.0, 0.0, 100.0, 1.0);
    curve.InsertKnot(0.0, 0.0);
    curve.InsertKnot(50.0, 100.0);
    curve.InsertKnot(100.0, 100.0);
    curve.SetAllInterpolation(SPLINEKNOT_LINEAR);
    bc.SetData(CAR_FORCE_CURVE, GeData(curve));
    bc.SetReal(CAR_COUNTERFORCE_FRONT, 50.0);
    bc.SetReal(CAR_COUNTERFORCE_SIDE, 30.0);
    bc.SetReal(CAR_COUNTERFORCE_REAR, 40.0);
    bc.SetReal(CAR_CRUMPLE_FRONT, 60.0);
    bc.SetReal(CAR_CRUMPLE_SIDE, 20.0);
    bc.SetReal(CAR_CRUMPLE_REAR, 50.0);
  }
  void TearDown() override {
    hostmem::FailAllocation(0);
    FreeCollisionOutline(Outline());
    BaseDocument::Free(doc);
    EXPECT_EQ(hostmem::LiveBlocks(), blocksAtStart);
  }

  CollisionOutline& Outline() { return car->collisionOutline; }
  int32 Build() { return BuildCollisionOutline(doc, bc, *car); }

  BaseObject* Insert(BaseObject* op, BaseObject* parent = nullptr) {
    EXPECT_NE(op, nullptr);
    if (parent)
      op->InsertUnderLast(parent);
    else
      doc->InsertObject(op, nullptr, nullptr);
    return op;
  }
  PolygonObject* PointObjectWith(const std::vector<Vector>& pts) {
    PolygonObject* op = PolygonObject::Alloc(static_cast<LONG>(pts.size()), 0);
    Insert(op);
    for (size_t i = 0; i < pts.size(); ++i) op->GetPointW()[i] = pts[i];
    return op;
  }

  long blocksAtStart = 0;
  BaseDocument* doc = nullptr;
  std::unique_ptr<CarState> car;
  BaseContainer bc;
};

// ---------------------------------------------------------------- default outline

TEST_F(OutlineTest, DefaultOutlineOfA400By900Body) {
  ASSERT_EQ(Build(), 1);
  const CollisionOutline& o = Outline();
  ASSERT_EQ(o.deformPointCount, 130);  // step 20: 20 + 45 + 20 + 45
  ExpectVec(o.deformPoints[0], Vector(-190, 0, 450));
  ExpectVec(o.deformPoints[19], Vector(190, 0, 450));
  ExpectVec(o.deformPoints[20], Vector(200, 0, 440));
  ExpectVec(o.deformPoints[64], Vector(200, 0, -440));
  ExpectVec(o.deformPoints[65], Vector(190, 0, -450));
  ExpectVec(o.deformPoints[85], Vector(-200, 0, -440));
  ExpectVec(o.deformPoints[129], Vector(-200, 0, 440));
  for (int32 i = 0; i < 130; ++i) EXPECT_EQ(o.deformPoints[130 + i], o.deformPoints[i]);
  EXPECT_LT(SignedArea(o.deformPoints, 130), 0.0);  // clockwise seen from above
  EXPECT_LT(WindingNumberXZ(o.deformPoints, 130, Vec3()), 0);
  const Vector corners[4] = {{-200, 0, 450}, {200, 0, 450}, {200, 0, -450}, {-200, 0, -450}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(HostOrderToVector(o.localFootprint[i]), corners[i]);
    EXPECT_EQ(HostOrderToVector(o.footprint[i]), corners[i]);
  }
  EXPECT_EQ(o.outlineHeight, 0.0);
  EXPECT_EQ(o.deformNeighbourCount, 0);
  EXPECT_EQ(o.attachedPartCount, 0);
}

// Counts that come out of odd body sizes: never an outline without points
// (its indexes would be -1), never a negative or runaway count.
TEST_F(OutlineTest, DefaultOutlineForOddBodySizes) {
  struct Case {
    Real x, z;
    int32 result, points;
  };
  const Case cases[] = {
      {5.0, 900.0, 1, 180},   // narrower than a step: only the two long sides
      {400.0, 5.0, 1, 40},    // shorter than a step: only front and rear
      {5.0, 5.0, 1, 4},       // both below the step: one point a side
      {0.0, 0.0, 1, 4},
      {10.0, 1e9, 1, 2 * 1000},  // extreme ratio: bounded (and narrower than a step)
      {-400.0, 900.0, 0, 0},
      {400.0, -900.0, 0, 0},
      {kNaN, 900.0, 0, 0},
      {400.0, kInf, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << " x " << c.z);
    FreeCollisionOutline(Outline());
    car->bodySize = Vector(c.x, 100.0, c.z);
    EXPECT_EQ(Build(), c.result);
    const CollisionOutline& o = Outline();
    EXPECT_EQ(o.deformPointCount, c.points);
    EXPECT_EQ(o.deformPoints != nullptr, c.points > 0);
    for (int32 i = 0; i < 2 * o.deformPointCount; ++i) {
      EXPECT_TRUE(std::isfinite(o.deformPoints[i].x) && std::isfinite(o.deformPoints[i].z));
      EXPECT_LE(std::fabs(o.deformPoints[i].x), c.x / 2);
      EXPECT_LE(std::fabs(o.deformPoints[i].z), c.z / 2);
    }
    if (c.result == 1) {
      EXPECT_GE(NearestOutlinePoint(o, Vec3(1, 0, 1)), 0);
    }
  }
}

// ---------------------------------------------------------------- parameters

TEST_F(OutlineTest, ZonesForcesCrashReactionAndWheelCorners) {
  bc.SetLong(CAR_CRASH_FRONT_MODE, 1);
  bc.SetTime(CAR_CRASH_FRONT_MODE + 1, BaseTime(3.0, 2.0));
  bc.SetReal(CAR_CRASH_FRONT_MODE + 2, 0.4);
  bc.SetLong(CAR_CRASH_SIDE_MODE, 2);
  bc.SetTime(CAR_CRASH_SIDE_MODE + 1, BaseTime(5.0, 0.0));  // no denominator: 0 s
  bc.SetReal(CAR_CRASH_SIDE_MODE + 2, 0.7);
  bc.SetTime(CAR_CRASH_REAR_MODE + 1, BaseTime(0.25));
  bc.SetVector(6602, Vector(80, 30, 140));
  bc.SetVector(6604, Vector(80, 30, -130));
  bc.SetReal(CAR_WHEEL_DIAMETER_FRONT, 64.0);
  bc.SetReal(CAR_WHEEL_DIAMETER_REAR, 70.0);
  bc.SetReal(CAR_WHEEL_WIDTH_FRONT, 20.0);
  bc.SetReal(CAR_WHEEL_WIDTH_REAR, 24.0);
  ASSERT_EQ(Build(), 1);

  const CrashReaction& r = car->crashReaction;
  EXPECT_EQ(r.mode[0], 1);
  EXPECT_EQ(r.mode[1], 2);
  EXPECT_EQ(r.mode[2], 0);
  EXPECT_DOUBLE_EQ(r.holdTime[0], 1.5);
  EXPECT_EQ(r.holdTime[1], 0.0);
  EXPECT_DOUBLE_EQ(r.holdTime[2], 0.25);
  EXPECT_EQ(r.brakeStrength[0], 0.4);
  EXPECT_EQ(r.brakeStrength[1], 0.7);

  const CollisionOutline& o = Outline();
  const double force[4] = {50000, 30000, 40000, 30000};
  const double zone[4] = {0.6, 0.2, 0.5, 0.2};
  for (int i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(o.counterForce[i], force[i]);
    EXPECT_DOUBLE_EQ(o.zoneLength[i], zone[i]);
  }
  // Rising to 1.0 at half the zone, flat after it.
  EXPECT_NEAR(o.forceCurveTable[0], 0.0, 1e-12);
  EXPECT_NEAR(o.forceCurveTable[10], 0.2, 1e-12);
  EXPECT_NEAR(o.forceCurveTable[25], 0.5, 1e-12);
  EXPECT_NEAR(o.forceCurveTable[50], 1.0, 1e-12);
  EXPECT_NEAR(o.forceCurveTable[99], 1.0, 1e-12);

  const Vector inner[4] = {{-180, 0, 390}, {180, 0, 390}, {180, 0, -400}, {-180, 0, -400}};
  for (int i = 0; i < 4; ++i) ExpectVec(o.innerCorners[i], inner[i]);

  ExpectVec(car->trackedPoints[0], Vector(90, 0, 172));
  ExpectVec(car->trackedPoints[1], Vector(-90, 0, 172));
  ExpectVec(car->trackedPoints[2], Vector(92, 0, -165));
  ExpectVec(car->trackedPoints[3], Vector(-92, 0, -165));
}

TEST_F(OutlineTest, NoForceCurveFailsAfterTheCrashReaction) {
  ASSERT_EQ(Build(), 1);
  Vec3* before = Outline().deformPoints;
  bc.SetReal(CAR_CRUMPLE_FRONT, 10.0);
  bc.SetLong(CAR_CRASH_REAR_MODE, 2);
  bc.RemoveData(CAR_FORCE_CURVE);
  EXPECT_EQ(Build(), 0);
  EXPECT_EQ(car->crashReaction.mode[2], 2);
  EXPECT_EQ(Outline().deformPoints, before);  // the last outline stays
  EXPECT_EQ(Outline().deformPointCount, 130);
  EXPECT_DOUBLE_EQ(Outline().zoneLength[0], 0.6);

  bc.SetReal(CAR_FORCE_CURVE, 1.0);  // a value of another type
  EXPECT_EQ(Build(), 0);
}

TEST_F(OutlineTest, UnusableSceneScaleFails) {
  for (Real u : {0.0, -100.0, kNaN}) {
    car->settings.unitsPerMetre = u;
    EXPECT_EQ(Build(), 0);
    EXPECT_EQ(Outline().deformPoints, nullptr);
    for (Real z : Outline().zoneLength) EXPECT_FALSE(std::isnan(z) || std::isinf(z));
  }
}

// ---------------------------------------------------------------- linked outline

TEST_F(OutlineTest, LinkedOutlineIsFlattenedAndStoredClockwise) {
  const std::vector<Vector> ccwAroundOrigin = {{-100, 5, -50}, {100, 7, -50}, {100, -3, 50}, {-100, 1, 60}};
  const std::vector<Vector> cwAroundOrigin = {{-100, 0, 60}, {100, 0, 50}, {100, 0, -50}, {-100, 0, -50}};
  // Beside the origin: the winding about the origin is 0, the area decides.
  const std::vector<Vector> ccwBeside = {{300, 0, 100}, {500, 0, 100}, {500, 0, 200}, {300, 0, 200}};
  struct Case {
    const std::vector<Vector>* pts;
    bool reversed;
    Real halfX, halfZ;
  };
  const Case cases[] = {{&ccwAroundOrigin, true, 100, 60}, {&cwAroundOrigin, false, 100, 60}, {&ccwBeside, true, 500, 200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reversed);
    PolygonObject* op = PointObjectWith(*c.pts);
    op->SetRelPos(Vector(30, 25, -40));
    op->SetRelRot(Vector(0.3, 0.1, 0.0));
    bc.SetLink(CAR_OUTLINE_LINK, op);
    ASSERT_EQ(Build(), 1);

    EXPECT_EQ(op->GetRelPos(), Vector(0, 25, 0));
    EXPECT_EQ(op->GetRelRot(), Vector(0, 0, 0));
    const CollisionOutline& o = Outline();
    EXPECT_EQ(o.outlineHeight, 25.0);
    ASSERT_EQ(o.deformPointCount, 4);
    for (int32 i = 0; i < 4; ++i) {
      const Vector& src = (*c.pts)[c.reversed ? 3 - i : i];
      EXPECT_EQ(HostOrderToVector(o.deformPoints[i]), Vector(src.x, 0, src.z));
      EXPECT_EQ(o.deformPoints[4 + i], o.deformPoints[i]);
    }
    EXPECT_LT(SignedArea(o.deformPoints, 4), 0.0);
    EXPECT_EQ(HostOrderToVector(o.localFootprint[1]), Vector(c.halfX, 0, c.halfZ));
    EXPECT_EQ(HostOrderToVector(o.footprint[3]), Vector(-c.halfX, 0, -c.halfZ));
  }

  // Unlinked again: the default outline at height 0.
  bc.RemoveData(CAR_OUTLINE_LINK);
  ASSERT_EQ(Build(), 1);
  EXPECT_EQ(Outline().deformPointCount, 130);
  EXPECT_EQ(Outline().outlineHeight, 0.0);
}

TEST_F(OutlineTest, LinkedObjectWithoutPointsGivesTheDefaultOutline) {
  BaseObject* null = Insert(BaseObject::Alloc(Onull));
  null->SetRelPos(Vector(5, 6, 7));
  bc.SetLink(CAR_OUTLINE_LINK, null);
  ASSERT_EQ(Build(), 1);
  EXPECT_EQ(Outline().deformPointCount, 130);
  EXPECT_EQ(null->GetRelPos(), Vector(5, 6, 7));  // not moved
}

// ---------------------------------------------------------------- classes and nearest points

TEST_F(OutlineTest, ClassifyOutlinePointZones) {
  ASSERT_EQ(Build(), 1);  // inner rectangle x -180..180, z -400..390
  CollisionOutline& o = Outline();
  struct Case {
    Vector p;
    int32 zone;
  };
  const Case cases[] = {
      {{-190, 0, 0}, 1},    {{190, 0, 0}, 2},      {{0, 0, 395}, 8},     {{0, 0, -410}, 4},
      {{-190, 0, 395}, 9},  {{190, 0, -410}, 6},   {{-180, 0, 390}, 0},  // on the inner rectangle: no zone
      {{0, 0, 0}, 128},     {{134, 0, 311}, 128},  {{-150, 0, 0}, 0},    // between the zones and the core
      {{0, 0, 350}, 0},     {{135, 0, 0}, 0},      {{0, 0, -320}, 0},
  };
  const Vector rest = HostOrderToVector(o.deformPoints[o.deformPointCount + 7]);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.p.x << ", " << c.p.z);
    o.deformPoints[7] = VectorToHostOrder(c.p);
    Vec3 d;
    EXPECT_EQ(ClassifyOutlinePoint(o, 7, d), c.zone);
    EXPECT_EQ(HostOrderToVector(d), c.p - rest);
  }
  Vec3 d(1, 2, 3);
  EXPECT_EQ(ClassifyOutlinePoint(o, -1, d), 0);
  EXPECT_EQ(d, Vec3());
  EXPECT_EQ(ClassifyOutlinePoint(o, o.deformPointCount, d), 0);
}

TEST_F(OutlineTest, NearestOutlinePointTiesGoToTheLowerIndex) {
  ASSERT_EQ(Build(), 1);
  const CollisionOutline& o = Outline();
  Real d = -1.0;
  // Halfway between points 3 (-130, 450) and 4 (-110, 450); its height is not used.
  EXPECT_EQ(NearestOutlinePoint(o, Vec3(-120, 500, 460), &d), 3);
  EXPECT_NEAR(d, std::sqrt(200.0), 1e-12);
  EXPECT_EQ(NearestOutlinePoint(o, Vec3(-119.9, 0, 460)), 4);
  // The corner region: (-200, 440) is point 129, (-190, 450) point 0; equally near.
  EXPECT_EQ(NearestOutlinePoint(o, Vec3(-195, 0, 445)), 0);

  CollisionOutline empty;
  EXPECT_EQ(NearestOutlinePoint(empty, Vec3()), -1);
}

// ---------------------------------------------------------------- deformer links

TEST_F(OutlineTest, FfdRimWalkOrder) {
  ASSERT_EQ(Build(), 1);  // the default outline, to aim grid points at
  std::vector<Vector> outline;
  for (int32 i = 0; i < 130; ++i) outline.push_back(HostOrderToVector(Outline().deformPoints[i]));

  FfdObject* ffd = static_cast<FfdObject*>(Insert(BaseObject::Alloc(Offd)));
  BaseContainer* fbc = ffd->GetDataInstance();
  fbc->SetLong(FFDOBJECT_SUBX, 3);
  fbc->SetLong(FFDOBJECT_SUBY, 2);
  fbc->SetLong(FFDOBJECT_SUBZ, 4);
  ffd->UpdateGrid();
  ASSERT_EQ(ffd->GetPointCount(), 24);
  // Every grid point far away; the rim of the bottom layer (y index 0) on
  // outline points 0, 5, 10, ... in walk order.
  const LONG rim[10] = {0, 6, 12, 18, 19, 20, 14, 8, 2, 1};
  for (LONG g = 0; g < 24; ++g) ffd->GetPointW()[g] = Vector(1e6, 0, 1e6);
  for (int k = 0; k < 10; ++k) ffd->GetPointW()[rim[k]] = outline[5 * k] + Vector(0, -75, 0);
  ffd->SetRelPos(Vector(40, 20, 60));
  ffd->SetRelRot(Vector(0.5, 0, 0));
  bc.SetLink(CAR_DEFORMER_LINK, ffd);

  ASSERT_EQ(Build(), 1);
  EXPECT_EQ(ffd->GetRelPos(), Vector(0, 20, 0));
  EXPECT_EQ(ffd->GetRelRot(), Vector(0, 0, 0));
  ASSERT_EQ(Outline().deformNeighbourCount, 10);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(Outline().deformNeighbours[k], 5 * k) << k;
}

// Grid counts that do not describe the point array (changed without an
// update, or absurd) give no links rather than a walk outside the array.
TEST_F(OutlineTest, FfdCountsThatDoNotFitItsPointsGiveNoLinks) {
  FfdObject* ffd = static_cast<FfdObject*>(Insert(BaseObject::Alloc(Offd)));
  ffd->UpdateGrid();  // 3 x 3 x 3
  bc.SetLink(CAR_DEFORMER_LINK, ffd);
  struct Case {
    LONG a, b, c;
    int32 links;
  };
  const Case cases[] = {
      {3, 3, 3, 8},  {4, 4, 4, 0}, {9, 3, 1, 0}, {3, 1, 9, 0},
      {1000000000, 1000000000, 1000000000, 0}, {-5, 3, 3, 0}, {27, 1, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " " << c.b << " " << c.c);
    ffd->GetDataInstance()->SetLong(FFDOBJECT_SUBX, c.a);
    ffd->GetDataInstance()->SetLong(FFDOBJECT_SUBY, c.b);
    ffd->GetDataInstance()->SetLong(FFDOBJECT_SUBZ, c.c);
    EXPECT_EQ(Build(), 1);
    EXPECT_EQ(Outline().deformNeighbourCount, c.links);
    EXPECT_EQ(Outline().deformNeighbours != nullptr, c.links > 0);
  }
  // Counts below 2 are laid out as 2 by the host, and read the same way here.
  for (LONG id : {FFDOBJECT_SUBX, FFDOBJECT_SUBY, FFDOBJECT_SUBZ}) ffd->GetDataInstance()->SetLong(id, 1);
  ffd->UpdateGrid();
  ASSERT_EQ(ffd->GetPointCount(), 8);
  EXPECT_EQ(Build(), 1);
  EXPECT_EQ(Outline().deformNeighbourCount, 4);
}

TEST_F(OutlineTest, MeshBinderPointsLinkToTheirNearestOutlinePoints) {
  PolygonObject* mesh = PointObjectWith({{-119, 40, 470}, {205, -10, 0}, {-300, 0, -441}});
  mesh->SetRelPos(Vector(7, 8, 9));
  BaseObject* deformer = Insert(BaseObject::Alloc(Omeshbinder));
  ASSERT_NE(deformer, nullptr);
  deformer->GetDataInstance()->SetLink(MESHBINDER_ORIGINAL, mesh);
  bc.SetLink(CAR_DEFORMER_LINK, deformer);
  ASSERT_EQ(Build(), 1);
  ASSERT_EQ(Outline().deformNeighbourCount, 3);
  EXPECT_EQ(Outline().deformNeighbours[0], 4);   // (-110, 450)
  EXPECT_EQ(Outline().deformNeighbours[1], 42);  // (200, 0): 450 - 10 - 22 * 20
  EXPECT_EQ(Outline().deformNeighbours[2], 85);  // (-200, -440)
  EXPECT_EQ(mesh->GetRelPos(), Vector(0, 8, 0));

  // A deformer without a mesh, or an object of another type: no links.
  deformer->GetDataInstance()->RemoveData(MESHBINDER_ORIGINAL);
  EXPECT_EQ(Build(), 1);
  EXPECT_EQ(Outline().deformNeighbourCount, 0);
  bc.SetLink(CAR_DEFORMER_LINK, mesh);
  EXPECT_EQ(Build(), 1);
  EXPECT_EQ(Outline().deformNeighbourCount, 0);
}

// ---------------------------------------------------------------- attached parts

TEST_F(OutlineTest, AttachedPartsFollowTheirNearestPointByZoneWeight) {
  BaseObject* group = Insert(BaseObject::Alloc(Onull));
  struct Child {
    Vector pos;
    int32 index;
    Real weight;
  };
  const Real cornerZone = std::sqrt(0.2 * 0.2 + 0.6 * 0.6);
  const Child children[] = {
      {{-10, 30, 480}, 9, 0.5},                       // front zone 0.6 m, 0.3 m away
      {{-190, 0, 450}, 0, 1.0},                       // on the front-left corner point
      {{-190, 0, 470}, 0, 1.0 - 0.2 / cornerZone},    // front and side zones together
      {{-10, 0, 600}, 9, 0.0},                        // farther than the zone: not below 0
      {{230, 0, 0}, 42, 0.0},                         // 0.3 m from a 0.2 m side zone
      {{210, 0, 0}, 42, 0.5},                         // side zone 0.2 m, 0.1 m away
  };
  for (const Child& c : children) {
    BaseObject* op = Insert(BaseObject::Alloc(Onull), group);
    op->SetRelPos(c.pos);
    op->SetRelRot(Vector(0.2, 0.0, 0.0));
  }
  bc.SetLink(CAR_PARTS_LINK, group);
  ASSERT_EQ(Build(), 1);

  const CollisionOutline& o = Outline();
  ASSERT_EQ(o.attachedPartCount, 6);
  BaseObject* child = group->GetDown();
  for (int32 i = 0; i < 6; ++i, child = child->GetNext()) {
    SCOPED_TRACE(i);
    const AttachedPart& p = o.attachedParts[i];
    EXPECT_EQ(p.object, child);
    EXPECT_EQ(p.outlineIndex, children[i].index);
    EXPECT_NEAR(p.weight, children[i].weight, 1e-12);
    // The part's matrix is kept in the frame of its outline point.
    AxisFrame frame;
    ASSERT_TRUE(GetPolylineFrame(frame, o.deformPoints, o.deformPointCount, p.outlineIndex, Vec3(0, 1, 0)));
    const Matrix back = AxisFrameToMatrix(frame) * AxisFrameToMatrix(p.relativeMatrix);
    const Matrix ml = child->GetMl();
    ExpectVec(back.off, ml.off);
    ExpectVec(back.v1, ml.v1);
    ExpectVec(back.v3, ml.v3);
  }
}

TEST_F(OutlineTest, AttachedPartOnAPointOutsideEveryZoneWeighsNothing) {
  // A notch in the outline reaches the core (class 128) and the band
  // between zones and core (class 0).
  PolygonObject* outline = PointObjectWith(
      {{-200, 0, 450}, {200, 0, 450}, {200, 0, -450}, {-200, 0, -450}, {-150, 0, -100}, {-100, 0, 0}});
  bc.SetLink(CAR_OUTLINE_LINK, outline);
  BaseObject* group = Insert(BaseObject::Alloc(Onull));
  Insert(BaseObject::Alloc(Onull), group)->SetRelPos(Vector(-100, 0, 1));
  Insert(BaseObject::Alloc(Onull), group)->SetRelPos(Vector(-150, 0, -101));
  bc.SetLink(CAR_PARTS_LINK, group);
  ASSERT_EQ(Build(), 1);
  const CollisionOutline& o = Outline();
  ASSERT_EQ(o.attachedPartCount, 2);
  Vec3 d;
  EXPECT_EQ(ClassifyOutlinePoint(o, o.attachedParts[0].outlineIndex, d), kZoneCore);
  EXPECT_EQ(ClassifyOutlinePoint(o, o.attachedParts[1].outlineIndex, d), 0);
  EXPECT_EQ(o.attachedParts[0].weight, 0.0);
  EXPECT_EQ(o.attachedParts[1].weight, 0.0);
}

TEST_F(OutlineTest, AttachedPartsStopAtFiveHundred) {
  BaseObject* group = Insert(BaseObject::Alloc(Onull));
  BaseObject* last = nullptr;
  for (int i = 0; i < 503; ++i) {
    BaseObject* op = Insert(BaseObject::Alloc(Onull), group);
    if (i == 499) last = op;
  }
  bc.SetLink(CAR_PARTS_LINK, group);
  ASSERT_EQ(Build(), 1);
  ASSERT_EQ(Outline().attachedPartCount, kMaxAttachedParts);
  EXPECT_EQ(Outline().attachedParts[499].object, last);

  // An empty group: none.
  BaseObject* empty = Insert(BaseObject::Alloc(Onull));
  bc.SetLink(CAR_PARTS_LINK, empty);
  ASSERT_EQ(Build(), 1);
  EXPECT_EQ(Outline().attachedPartCount, 0);
  EXPECT_EQ(Outline().attachedParts, nullptr);
}

// ---------------------------------------------------------------- buffers

TEST_F(OutlineTest, FailedAllocationsLeaveNoCountWithoutItsBuffer) {
  FfdObject* ffd = static_cast<FfdObject*>(Insert(BaseObject::Alloc(Offd)));
  ffd->UpdateGrid();
  BaseObject* group = Insert(BaseObject::Alloc(Onull));
  Insert(BaseObject::Alloc(Onull), group);
  bc.SetLink(CAR_DEFORMER_LINK, ffd);
  bc.SetLink(CAR_PARTS_LINK, group);

  struct Case {
    long failAt;  // 1 outline, 2 grid links, 3 attached parts
    bool outline, links, parts;
  };
  const Case cases[] = {{1, false, false, false}, {2, true, false, false}, {3, true, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failAt);
    ASSERT_EQ(Build(), 1);  // a complete outline first
    hostmem::FailAllocation(c.failAt);
    EXPECT_EQ(Build(), 0);
    hostmem::FailAllocation(0);
    const CollisionOutline& o = Outline();
    EXPECT_EQ(o.deformPoints != nullptr, c.outline);
    EXPECT_EQ(o.deformPointCount, c.outline ? 130 : 0);
    EXPECT_EQ(o.deformNeighbours != nullptr, c.links);
    EXPECT_EQ(o.deformNeighbourCount, c.links ? 8 : 0);
    // Parts of the earlier build never outlive the outline they index.
    EXPECT_EQ(o.attachedParts != nullptr, c.parts);
    EXPECT_EQ(o.attachedPartCount, 0);
  }
}

TEST_F(OutlineTest, RebuildAndFreeReleaseEveryBuffer) {
  FfdObject* ffd = static_cast<FfdObject*>(Insert(BaseObject::Alloc(Offd)));
  ffd->UpdateGrid();
  BaseObject* group = Insert(BaseObject::Alloc(Onull));
  Insert(BaseObject::Alloc(Onull), group);
  bc.SetLink(CAR_DEFORMER_LINK, ffd);
  bc.SetLink(CAR_PARTS_LINK, group);
  ASSERT_EQ(Build(), 1);
  const long blocks = hostmem::LiveBlocks();
  ASSERT_EQ(Build(), 1);
  EXPECT_EQ(hostmem::LiveBlocks(), blocks);

  FreeCollisionOutline(Outline());
  EXPECT_EQ(hostmem::LiveBlocks(), blocks - 3);
  const CollisionOutline& o = Outline();
  EXPECT_EQ(o.deformPoints, nullptr);
  EXPECT_EQ(o.deformPointCount, 0);
  EXPECT_EQ(o.deformNeighbours, nullptr);
  EXPECT_EQ(o.deformNeighbourCount, 0);
  EXPECT_EQ(o.attachedParts, nullptr);
  EXPECT_EQ(o.attachedPartCount, 0);
  FreeCollisionOutline(Outline());  // twice is harmless
}

// The contact tests' scratch: kept while large enough, made larger when
// not, and never shared with a copy of the record.
TEST_F(OutlineTest, ContactScratchGrowsAndStaysWithItsRecord) {
  ASSERT_EQ(Build(), 1);
  CollisionOutline& o = Outline();
  EXPECT_EQ(o.workPoints, nullptr);
  const long blocks = hostmem::LiveBlocks();
  ASSERT_TRUE(ReserveOutlineWork(o, 10));
  EXPECT_EQ(hostmem::LiveBlocks(), blocks + 2);
  Vec3* const points = o.workPoints;
  int32* const list = o.workList;
  EXPECT_TRUE(ReserveOutlineWork(o, 10));
  EXPECT_TRUE(ReserveOutlineWork(o, 4));
  EXPECT_EQ(o.workPoints, points);
  EXPECT_EQ(o.workList, list);
  EXPECT_EQ(o.workCapacity, 10);

  ASSERT_TRUE(ReserveOutlineWork(o, 25));
  EXPECT_EQ(o.workCapacity, 25);
  EXPECT_EQ(hostmem::LiveBlocks(), blocks + 2);
  // The whole of the larger scratch is there (a sanitizer build checks the ends).
  o.workPoints[2 * 25 - 1] = Vec3(1, 2, 3);
  o.workList[25] = 7;

  CollisionOutline copy(o);
  EXPECT_EQ(copy.workPoints, nullptr);
  EXPECT_EQ(copy.workList, nullptr);
  EXPECT_EQ(copy.workCapacity, 0);

  // Growing past what is held, each case from a working scratch.
  struct Case {
    long failAt;  // 1 the points, 2 the list
    int32 points;
  } cases[] = {{1, 30}, {2, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failAt);
    hostmem::FailAllocation(c.failAt);
    EXPECT_FALSE(ReserveOutlineWork(o, c.points));
    hostmem::FailAllocation(0);
    EXPECT_EQ(o.workPoints, nullptr);
    EXPECT_EQ(o.workList, nullptr);
    EXPECT_EQ(o.workCapacity, 0);
    EXPECT_EQ(hostmem::LiveBlocks(), blocks);
    ASSERT_TRUE(ReserveOutlineWork(o, c.points - 5));
  }
  EXPECT_FALSE(ReserveOutlineWork(o, 0));
  ASSERT_TRUE(ReserveOutlineWork(o, 40));
  // A rebuild starts over without it; freeing releases it.
  ASSERT_EQ(Build(), 1);
  EXPECT_EQ(o.workPoints, nullptr);
  EXPECT_EQ(hostmem::LiveBlocks(), blocks);
  ASSERT_TRUE(ReserveOutlineWork(o, 40));
  FreeCollisionOutline(o);
  EXPECT_EQ(o.workPoints, nullptr);
  EXPECT_EQ(o.workList, nullptr);
  EXPECT_EQ(o.workCapacity, 0);
}

TEST_F(OutlineTest, FootprintIntoWorld) {
  ASSERT_EQ(Build(), 1);
  car->bodyMatrix = MatrixMove(Vector(1000, 50, -300)) * MatrixRotY(pi / 2);
  PlaceFootprintInWorld(*car);
  for (int i = 0; i < 4; ++i)
    ExpectVec(Outline().footprint[i], car->bodyMatrix * HostOrderToVector(Outline().localFootprint[i]));
  // Front-left corner (-200, 0, 450) turned a quarter about y.
  ExpectVec(Outline().footprint[0], Vector(1000 - 450, 50, -300 - 200));
}

}  // namespace
