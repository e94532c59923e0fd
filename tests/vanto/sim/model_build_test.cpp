// A Car's parameters and rig turned into its physical model.
#include <cmath>

#include "car/car_settings.h"
#include "engine/engine_constants.h"
#include "sim/model_build.h"
#include "sim_fixture.h"
#include "sim/sim_run.h"

namespace {

using simtest::VantoTest;

class ModelBuild : public VantoTest {
 protected:
  int32 Build(BaseObject* car) { return BuildCarModel(doc, car, State(car), 0.01); }
};

TEST_F(ModelBuild, WorkedValues) {
  BaseObject* car = AddCar(AddSim());
  BaseContainer* bc = car->GetDataInstance();
  bc->SetVector(CAR_BODY_SIZE, Vector(300.0, 150.0, 400.0));
  bc->SetReal(CAR_MASS_WHEEL_REAR, 40.0);
  bc->SetReal(CAR_ANTIROLL_FRONT, 0.5);
  bc->SetReal(CAR_ANTIROLL_REAR, 1.5);
  bc->SetReal(CAR_DRAG, 0.3);
  bc->SetReal(CAR_DOWNFORCE_REAR, 0.25);
  ASSERT_EQ(Build(car), kStatusOk);
  const CarState& s = State(car);
  const CarDynamics& d = s.dynamics;

  EXPECT_NEAR(s.boundingRadius, 261.0077, 5e-5);
  EXPECT_EQ(s.bodySize, Vector(300.0, 150.0, 400.0));
  // 1500 + 200 + two front wheels of 30 kg and two rear ones of 40 kg.
  EXPECT_DOUBLE_EQ(s.totalMass, 1840.0);
  EXPECT_DOUBLE_EQ(s.totalWeight, 1840.0 * 9.81);

  const SampledCurve& tc = d.engine.torqueCurve;
  EXPECT_EQ(tc.count, 20);
  EXPECT_NEAR(tc.xMax, 628.3175307179586, 1e-9);
  EXPECT_DOUBLE_EQ(tc.scale, 19.0 / tc.xMax);
  // Sample i stands for i / 19 of 6000 rpm and carries the curve's torque there.
  EXPECT_DOUBLE_EQ(tc.values[0], 300.0);
  EXPECT_NEAR(tc.values[19], 400.0, 1e-9);
  EXPECT_NEAR(tc.values[5], 420.0 + (5 * 6000.0 / 19 - 1500.0) / 2000.0 * 110.0, 1e-9);

  const double tyre[19] = {75000, 75000, 1.2, -0.2, 1.5, 0.00005, 1.0, 75000, 75000, 1.2,
                           -0.2,  1.5,   0.00005, 1.0, 0.1, 0.1, 10.0, 6.0, 3.0};
  for (int k = 0; k < 19; ++k) EXPECT_DOUBLE_EQ(d.tyreConstants[k], tyre[k]) << k;

  EXPECT_DOUBLE_EQ(d.antiRollStiffness[0], 1.0);
  EXPECT_DOUBLE_EQ(d.antiRollStiffness[1], 1.5);
  EXPECT_DOUBLE_EQ(d.dragFactor, 0.3 * 0.5 * 3.0 * 1.5 * 1.29);
  EXPECT_DOUBLE_EQ(d.rearLiftFactor, 0.25 * 0.5 * 1.29);
  // Tyre radial stiffness: the rear downforce value feeds it too.
  EXPECT_DOUBLE_EQ(d.tyreGroupValues[1][0], 0.25 * 400000.0 + 400000.0);
  // Suspension travel: tops 20 above the wheel centres, bottoms at them.
  EXPECT_NEAR(d.wheels[0].maxCompression, 0.2 - 0.001, 1e-9);
  EXPECT_EQ(d.wheelCount, 4);
  // Wheel matrices are the wheel objects' global ones.
  EXPECT_NEAR(s.wheelMatrices[3].off.x, simtest::kTrackX, 1e-9);
  EXPECT_NEAR(s.wheelMatrices[3].off.y, simtest::kWheelRadius, 1e-9);
}

TEST_F(ModelBuild, AxleTypesAsReadCountForTheMass) {
  BaseObject* car = AddCar(AddSim());
  BaseContainer* bc = car->GetDataInstance();
  bc->SetReal(CAR_MASS_WHEEL_REAR, 40.0);
  bc->SetLong(RIG_AXLE_TYPE, 1);
  bc->SetLong(RIG_AXLE_TYPE + 1, 0);
  ASSERT_EQ(Build(car), kStatusOk);
  // Summed with the types read (rear 40 at the front axle) ...
  EXPECT_DOUBLE_EQ(State(car).totalMass, 1700.0 + 2 * 40.0 + 2 * 30.0);
  // ... while the model's first axle is the front one.
  EXPECT_EQ(State(car).dynamics.wheels[0].axleGroup, 0);
  EXPECT_EQ(State(car).dynamics.wheels[2].axleGroup, 1);
}

// An extra axle's word decides its group (sizes, camber, template, wheel
// mass) and, by bit 8, whether it steers, the same way at every step.
TEST_F(ModelBuild, ExtraAxleWordMeansTheSameEverywhere) {
  ASSERT_TRUE(RegisterTagPlugin(ID_ROTELIX, "rig", TAG_VISIBLE, [] { return static_cast<NodeData*>(new TagData); }, "",
                                nullptr, 0));
  const struct {
    LONG word;
    bool rear, steered;
  } cases[] = {{0, false, true}, {1, true, true}, {256, false, false}, {257, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    BaseObject* car = AddCar(AddSim());
    BaseContainer* bc = car->GetDataInstance();
    bc->SetReal(CAR_MASS_WHEEL_REAR, 40.0);
    bc->SetReal(CAR_CAMBER_FRONT, 0.01);
    bc->SetReal(CAR_CAMBER_REAR, 0.03);
    // Templates told apart by their track: front 76, rear 90.
    for (LONG s = 0; s < 2; ++s) {
      BaseObject* rear_hub = bc->GetObjectLink(RIG_HUB + 2 + s, doc);
      rear_hub->SetRelPos(Vector(s ? 90.0 : -90.0, simtest::kWheelRadius - simtest::kBodyY, simtest::kRearZ));
      bc->SetVector(RIG_REST_HUB + 2 + s, rear_hub->GetRelPos());
    }
    BaseTag* tag = car->MakeTag(ID_ROTELIX);
    ASSERT_NE(tag, nullptr);

    // Built: laid out from its template at once, and the rest pose stored.
    ASSERT_TRUE(BuildAndPlaceExtraAxle(doc, car, 0, c.word, 100.0));
    tag->GetDataInstance()->SetLong(ROTELIX_AXLE_COUNT, 1);
    const double track = c.rear ? 90.0 : 76.0;
    EXPECT_EQ(bc->GetVector(RIG_REST_HUB + 5), Vector(track, simtest::kWheelRadius - simtest::kBodyY, 0.0));
    EXPECT_EQ(bc->GetVector(RIG_REST_HUB + 4), Vector(-track, simtest::kWheelRadius - simtest::kBodyY, 0.0));

    // Layout keeps the axle's own z and takes the template's track.
    BaseObject* hub = bc->GetObjectLink(RIG_HUB + 5, doc);
    hub->SetRelPos(Vector(0.0, 0.0, c.rear ? -300.0 : 300.0));
    PlaceExtraAxles(doc, car, State(car));
    EXPECT_EQ(State(car).wheelCount, 6);
    EXPECT_EQ(hub->GetRelPos(), Vector(track, simtest::kWheelRadius - simtest::kBodyY, c.rear ? -300.0 : 300.0));

    // The rest pose turns the wheel by its group's camber.
    bc->SetVector(RIG_REST_HUB + 5, hub->GetRelPos());
    ASSERT_TRUE(ResetRigPose(doc, car));
    EXPECT_DOUBLE_EQ(hub->GetRelRot().z, c.rear ? 0.03 : 0.01);

    // The model: group, steering and the wheel mass of the group.
    State(car).wheelCount = 6;
    ASSERT_EQ(Build(car), kStatusOk);
    const CarDynamics& d = State(car).dynamics;
    EXPECT_EQ(d.wheels[4].axleGroup, c.rear ? 1 : 0);
    EXPECT_EQ(d.wheels[5].steered, c.steered ? 1 : 0);
    EXPECT_DOUBLE_EQ(State(car).totalMass, 1700.0 + 2 * 30.0 + 2 * 40.0 + 2 * (c.rear ? 40.0 : 30.0));
  }
}

TEST_F(ModelBuild, MissingSuspensionTopGivesUnlimitedTravel) {
  BaseObject* car = AddCar(AddSim());
  car->GetDataInstance()->SetLink(RIG_SUSPENSION_TOP, nullptr);
  ASSERT_EQ(Build(car), kStatusOk);
  EXPECT_DOUBLE_EQ(State(car).dynamics.wheels[0].maxCompression, 9999.0 - 0.001);
  EXPECT_NEAR(State(car).dynamics.wheels[2].maxCompression, 0.199, 1e-9);
}

TEST_F(ModelBuild, Failures) {
  struct Case {
    const char* what;
    void (*spoil)(BaseContainer*);
    int32 status;
  } cases[] = {
      {"engine link", [](BaseContainer* bc) { bc->SetLink(RIG_ENGINE, nullptr); }, kStatusPartMissing},
      {"third wheel", [](BaseContainer* bc) { bc->SetLink(RIG_HUB + 2, nullptr); }, kStatusPartMissing},
      {"torque curve", [](BaseContainer* bc) { bc->RemoveData(CAR_TORQUE_CURVE); }, kStatusTorqueSpline},
      {"25 gears", [](BaseContainer* bc) { bc->SetLong(CAR_GEAR_COUNT, 25); }, kStatusModelSetUp},
      {"axle type 5", [](BaseContainer* bc) { bc->SetLong(RIG_AXLE_TYPE + 1, 5); }, kStatusModelSetUp},
      {"no top speed", [](BaseContainer* bc) { bc->SetLong(CAR_MAX_RPM, 0); }, kStatusModelSetUp},
  };
  for (const Case& c : cases) {
    BaseObject* car = AddCar(AddSim());
    c.spoil(car->GetDataInstance());
    EXPECT_EQ(Build(car), c.status) << c.what;
  }
}

TEST_F(ModelBuild, TheModelConstantsComeFromTheDefaultSettings) {
  BaseObject* car = AddCar(AddSim());
  const CarSettings saved = DefaultCarSettings;
  DefaultCarSettings.modelConstants[0] = 30.0;  // friction cap
  DefaultCarSettings.modelConstants[4] = 500000.0;
  ASSERT_EQ(Build(car), kStatusOk);
  DefaultCarSettings = saved;
  EXPECT_DOUBLE_EQ(State(car).dynamics.engine.frictionCap, 30.0);
  EXPECT_DOUBLE_EQ(State(car).dynamics.tyreGroupValues[0][0], 500000.0);
}

}  // namespace
