// A whole car standing on ground objects through the per-step wheel query:
// on a polygon ground it settles exactly as on the flat ground, shifted by
// the ground's height, in both contact modes.
#include "../engine/engine_test_support.h"
#include "ground_fixture.h"

#include <cstring>
#include <string>

namespace groundtest {
namespace {

class GroundCarTest : public GroundTest {
 protected:
  void SetUp() override {
    GroundTest::SetUp();
    group = NewObject(Onull);
    bc.SetLink(CAR_GROUND_GROUP, group);
    bc.SetReal(CAR_GROUND_HEIGHT, 0.0);
    bc.SetReal(CAR_GROUND_GRIP, 1.0);
  }
  // The reference car settled for `seconds` on the ground group, started
  // `lift` metres above its ride height over z = 0.
  std::unique_ptr<CarState> SettleOnGroup(double lift, double seconds) {
    auto car = MakeCarOnGround(ReferenceCarParams());
    ResetCarDynamics(car->dynamics, Vec3(0.0, 0.0, kReferenceRideHeight + lift), Quat());
    groundcontact::PrepareGround(doc, bc, *car, 0);
    groundcontact::ReadWheelGroundTags(*car, bc);
    const int n = static_cast<int>(seconds / car->settings.stepDt + 0.5);
    for (int i = 0; i < n; ++i) {
      QueryGroundUnderWheels(doc, bc, *car);
      StepCarDynamics(car->dynamics, car->settings.stepDt, 0.0, 0.0, 0.0, 0.0, 0.0);
      StoreDynamicsResults(*car, 1, 0);
    }
    return car;
  }
  static Vec3 FlatOrigin(double seconds) {
    auto flat = MakeCarOnGround(ReferenceCarParams());
    Settle(*flat, seconds);
    return ModelOrigin(flat->dynamics);
  }

  BaseObject* group = nullptr;
  BaseContainer bc;
};

TEST_F(GroundCarTest, CarRestsOnAPolygonGroundAsOnTheFlatGround) {
  const Vec3 flat = FlatOrigin(2.0);
  BaseObject* quad = NewSlope(group, -1000, 1000, -1000, 1000, 20, 0, 0);
  auto car = SettleOnGroup(0.2, 2.0);
  const Vec3 o = ModelOrigin(car->dynamics);
  EXPECT_NEAR(o.x, flat.x, 1e-9);
  EXPECT_NEAR(o.y, flat.y, 1e-9);
  EXPECT_NEAR(o.z, flat.z + 0.2, 1e-9);
  for (int w = 0; w < 4; ++w) {
    EXPECT_EQ(car->wheelGroundRecords[w].groundObject, quad) << w;
    EXPECT_EQ(car->dynamics.wheelGround[w], &car->wheelGroundRecords[w]);
  }
}

TEST_F(GroundCarTest, WithoutGroundObjectsTheCarRestsOnTheDefaultHeight) {
  const Vec3 flat = FlatOrigin(2.0);
  bc.SetReal(CAR_GROUND_HEIGHT, 20.0);
  bc.SetReal(CAR_GROUND_GRIP, 1.0);
  auto car = SettleOnGroup(0.2, 2.0);
  EXPECT_NEAR(ModelOrigin(car->dynamics).z, flat.z + 0.2, 1e-9);
  // So does a car whose group link is empty.
  bc.RemoveData(CAR_GROUND_GROUP);
  car = SettleOnGroup(0.2, 2.0);
  EXPECT_NEAR(ModelOrigin(car->dynamics).z, flat.z + 0.2, 1e-9);
  EXPECT_EQ(car->wheelGroundRecords[0].groundObject, nullptr);
}

TEST_F(GroundCarTest, ProfileContactFindsTheCellsUnderTheWheels) {
  const Vec3 flat = FlatOrigin(2.0);
  // 20 x 20 cells of 0.2 m at 0.2 m height.
  PolygonObject* grid = NewGrid(group, 20, 20, 20, 20);
  AddGroundTag(grid, 1.0, 2);
  auto car = SettleOnGroup(0.2, 2.0);
  const Vec3 o = ModelOrigin(car->dynamics);
  EXPECT_NEAR(o.z, flat.z + 0.2, 1e-9);
  Vec3 hubs[kMaxWheels];
  GetWheelFrames(car->dynamics, hubs, nullptr, 0);
  for (int w = 0; w < 4; ++w) {
    const SceneGroundHit& g = car->wheelGroundRecords[w];
    EXPECT_EQ(g.groundObject, grid) << w;
    EXPECT_EQ(g.contactMode, 2);
    EXPECT_EQ(g.profileCount, 19);
    // The last touch is where the straight-down ray meets the ground.
    EXPECT_NEAR(g.lastPoint.y, 20.0, 1e-9) << w;
    EXPECT_NEAR(g.lastPoint.x, hubs[w].y * 100.0, 1e-6) << w;
    EXPECT_NEAR(g.lastPoint.z, hubs[w].x * 100.0, 1e-6) << w;
  }
}

// Every field the same to the bit (doubles compared as bit patterns).
void ExpectSameRecord(const SceneGroundHit& a, const SceneGroundHit& b, const std::string& where) {
  auto same = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
  auto sameV = [&](const Vector& x, const Vector& y) { return same(x.x, y.x) && same(x.y, y.y) && same(x.z, y.z); };
  EXPECT_EQ(a.groundObject, b.groundObject) << where;
  EXPECT_EQ(a.polygonIndex, b.polygonIndex) << where;
  EXPECT_EQ(a.contactMode, b.contactMode) << where;
  EXPECT_EQ(a.profileCount, b.profileCount) << where;
  EXPECT_TRUE(same(a.normal.x, b.normal.x) && same(a.normal.y, b.normal.y) && same(a.normal.z, b.normal.z)) << where;
  EXPECT_TRUE(same(a.planeOffset, b.planeOffset)) << where;
  EXPECT_TRUE(same(a.friction, b.friction) && same(a.frictionWeight, b.frictionWeight) &&
              same(a.gripFactor, b.gripFactor))
      << where;
  EXPECT_TRUE(same(a.height, b.height)) << where;
  EXPECT_TRUE(sameV(a.lastPoint, b.lastPoint)) << where;
  EXPECT_TRUE(sameV(a.hitPoint, b.hitPoint)) << where;
  EXPECT_TRUE(sameV(a.hostNormal, b.hostNormal)) << where;
  EXPECT_EQ(std::memcmp(a.profile, b.profile, sizeof a.profile), 0) << where;
}

// The per-step query works out only what each wheel needs (no frames, no
// search without a ground group); its records must be those of the plain
// query at the hub points with the full wheel axes.
TEST_F(GroundCarTest, PerStepQueryAnswersAsThePointQueryAtTheHubs) {
  PolygonObject* grid = NewGrid(group, 20, 20, 20, 20);
  BaseTag* tag = AddGroundTag(grid, 0.7, 2);
  struct Pose {
    Vec3 at;  // model origin, m
    Quat turn;
    double steer, compression;
  } poses[] = {
      {Vec3(150.0, -42.0, -3.0), Quat(0.9, 0.2, 0.3, -0.2), 0.1, 0.05},  // below the default ground
      {Vec3(0.0, 0.0, kReferenceRideHeight), Quat(), 0.0, 0.0},
      {Vec3(0.3, -0.2, 0.5), Quat(0.98, 0.05, -0.1, 0.15), 0.4, 0.03},
      {Vec3(-1.1, 0.7, 0.9), Quat(0.7, 0.0, 0.0, 0.7), -0.8, -0.02},
  };
  enum Ground { kDefault, kRouteGrip, kRouteGround, kGroupSinglePoint, kGroupProfile };
  for (Ground ground : {kDefault, kRouteGrip, kRouteGround, kGroupSinglePoint, kGroupProfile}) {
    BaseContainer scene = bc;
    if (ground < kGroupSinglePoint) scene.RemoveData(CAR_GROUND_GROUP);
    tag->GetDataInstance()->SetLong(GROUNDTAG_CONTACT_MODE, ground == kGroupProfile ? 2 : 1);
    auto car = MakeCarOnGround(ReferenceCarParams());
    groundcontact::PrepareGround(doc, scene, *car, 0);
    groundcontact::ReadWheelGroundTags(*car, scene);
    BaseObject* route = NewObject(Onull);
    AutopilotState& ap = car->autopilot;
    if (ground == kRouteGrip || ground == kRouteGround) {
      ap.routeObject = route;
      ap.routeGrip = 0.6;
    }
    if (ground == kRouteGround) {
      // A road 1 m wide along the car at 5 cm: the wheels of one side on it,
      // the other side's beside it.
      ap.routeSpline = ap.routeProfile = route;
      ap.routeIsGround = 1;
      ap.routeFrame = MatrixMove(Vector(-50, 5, 0));
      for (int k = 0; k < kRouteSectionSamples; ++k) {
        const double x = -50.0 + 100.0 * k / (kRouteSectionSamples - 1);
        ap.routeSection[k][0] = Vector(x, 0.1 * x, 0);
        ap.routeSection[k][1] = Vector(-0.1, 1, 0);
      }
    }
    int onRoad = 0, besideRoad = 0, onGrid = 0;
    for (const Pose& pose : poses) {
      CarDynamics& d = car->dynamics;
      Quat q = pose.turn;
      NormalizeQuat(q);
      ResetCarDynamics(d, pose.at, q);
      ApplySteering(d, pose.steer);
      for (int w = 0; w < d.wheelCount; ++w) d.wheels[w].compression = pose.compression * (w + 1);
      // The records as the last step left them, on both sides.
      CarState plain = *car;
      QueryGroundUnderWheels(doc, scene, *car);
      Vec3 hubs[kMaxWheels];
      Mat3 frames[kMaxWheels];
      GetWheelFrames(plain.dynamics, hubs, frames, 0);
      for (int w = 0; w < d.wheelCount; ++w) {
        const Matrix axes = WheelFrameToHostAxes(frames[w]);
        QueryGround(doc, scene, DynamicsPointToHost(hubs[w], 100.0), w, plain, &axes);
        const std::string where = "ground " + std::to_string(ground) + " at " + std::to_string(pose.at.x) +
                                  " wheel " + std::to_string(w);
        ExpectSameRecord(car->wheelGroundRecords[w], plain.wheelGroundRecords[w], where);
        EXPECT_EQ(d.wheelGround[w], &car->wheelGroundRecords[w]) << where;
        ++(car->wheelGroundRecords[w].hostNormal.x != 0.0 ? onRoad : besideRoad);
        onGrid += car->wheelGroundRecords[w].groundObject == grid;
      }
    }
    // Each kind of ground was met where it was meant to be.
    if (ground == kRouteGround) {
      EXPECT_GT(onRoad, 0);
      EXPECT_GT(besideRoad, 0);
    }
    if (ground >= kGroupSinglePoint) {
      EXPECT_GE(onGrid, 8);  // every wheel of the two poses over the grid's middle
    }
  }
}

// A query of all wheels meets the same ground objects once per wheel; each
// wheel must still get its own object's plane when the group holds more
// objects, each placed elsewhere, than a query keeps matrices for.
TEST_F(GroundCarTest, EachWheelFindsItsOwnObjectAmongMany) {
  auto car = MakeCarOnGround(ReferenceCarParams());
  groundcontact::PrepareGround(doc, bc, *car, 0);
  groundcontact::ReadWheelGroundTags(*car, bc);
  // Decoys first, so that every wheel's search passes them.
  for (int k = 0; k < 3; ++k) NewSlope(group, -20, 20, -20, 20, 0, 0, 0)->SetRelPos(Vector(1000 + 100 * k, 0, 0));
  Vec3 hubs[kMaxWheels];
  GetWheelFrames(car->dynamics, hubs, nullptr, 0);
  BaseObject* under[4];
  for (int w = 0; w < 4; ++w) {
    // Raised 5 by its placement and 3 w by its own points.
    under[w] = NewSlope(group, -20, 20, -20, 20, 3.0 * w, 0, 0);
    const Vector hub = DynamicsPointToHost(hubs[w], 100.0);
    under[w]->SetRelPos(Vector(hub.x, 5.0, hub.z));
  }
  for (int pass = 0; pass < 2; ++pass) {  // found by the search, then followed
    QueryGroundUnderWheels(doc, bc, *car);
    for (int w = 0; w < 4; ++w) {
      const SceneGroundHit& g = car->wheelGroundRecords[w];
      EXPECT_EQ(g.groundObject, under[w]) << "pass " << pass << " wheel " << w;
      EXPECT_EQ(g.height, 5.0 + 3.0 * w) << "pass " << pass << " wheel " << w;
      EXPECT_EQ(g.planeOffset, -(5.0 + 3.0 * w) / 100.0) << "pass " << pass << " wheel " << w;
    }
  }
}

}  // namespace
}  // namespace groundtest
