// A whole car standing on ground objects through the per-step wheel query:
// on a polygon ground it settles exactly as on the flat ground, shifted by
// the ground's height, in both contact modes.
#include "../engine/engine_test_support.h"
#include "ground_fixture.h"

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

}  // namespace
}  // namespace groundtest
