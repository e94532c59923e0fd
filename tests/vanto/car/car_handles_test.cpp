// The car's geometry handles: where they are, and what dragging them changes.
#include "draw_fixture.h"

namespace {

using CarHandlesTest = CarDrawTest;

TEST_F(CarHandlesTest, CountFollowsTheAxles) {
  const struct {
    int32 wheels;
    LONG handles;
  } cases[] = {{2, 14}, {4, 15}, {6, 16}, {20, 23}, {0, 13}, {40, 23}, {-8, 13}};
  for (const auto& c : cases) {
    s->wheelCount = c.wheels;
    EXPECT_EQ(Data(car)->GetHandleCount(car), c.handles) << c.wheels << " wheels";
  }
}

TEST_F(CarHandlesTest, PositionsDirectionsAndConstraints) {
  const Vector X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);
  const struct {
    LONG i;
    Vector position, direction;
    LONG type;
  } cases[] = {
      {0, {90, 50, 0}, X, 0},         {1, {0, 90, 0}, Y, 0},          {2, {0, 50, 225}, Z, 0},
      {3, {0, 10, 0}, Y, 0},          {4, {72, 130, -56}, X, 0},      {5, {0, 130, 34}, X, 1},
      {6, {0, 130, -146}, -1 * X, 1}, {7, {94, 32, 140}, X, 0},       {8, {94, 64, 140}, Y, 0},
      {9, {95, 35, -130}, X, 0},      {10, {95, 70, -130}, Y, 0},     {11, {80, 32, 140}, X, 0},
      {12, {80, 0, 140}, Z, 0},       {13, {80, 35, -130}, X, 0},     {14, {80, 0, -130}, Z, 0},
  };
  for (const auto& c : cases) {
    const HandleInfo info = Handle(c.i);
    ExpectNear(info.position, c.position, ("position " + std::to_string(c.i)).c_str());
    ExpectNear(info.direction, c.direction, ("direction " + std::to_string(c.i)).c_str());
    EXPECT_EQ(info.type, c.type) << c.i;
  }
}

TEST_F(CarHandlesTest, GetHandleReadsTheContainerNotAStaleState) {
  s->bodySize = Vector(1, 1, 1);
  bc->SetVector(CAR_BODY_SIZE, Vector(200, 80, 450));
  ExpectNear(Handle(0).position, Vector(100, 50, 0), "width handle");
  EXPECT_EQ(s->bodySize, Vector(200, 80, 450));
}

TEST_F(CarHandlesTest, HandlesOutsideTheCountAreLeftAlone) {
  for (LONG i : {-1, 15, 23, 1000}) {
    HandleInfo info = Handle(i);
    EXPECT_EQ(info.type, -1) << i;
    const Vector before = bc->GetVector(CAR_BODY_SIZE);
    Drag(i, Vector(1000, 1000, 1000));
    EXPECT_EQ(bc->GetVector(CAR_BODY_SIZE), before);
  }
  for (const Vector& v : cache) EXPECT_EQ(v, Vector());
}

TEST_F(CarHandlesTest, BodyDragsAreClampedNeverRefused) {
  Drag(kHandleBodyWidth, Vector(0.3, 50, 0));
  EXPECT_EQ(bc->GetVector(CAR_BODY_SIZE).x, 1.0);
  ExpectNear(cache[kHandleBodyWidth], Vector(0.5, 50, 0), "width handle");

  Drag(kHandleBodyLength, Vector(0, 50, -5));
  EXPECT_EQ(bc->GetVector(CAR_BODY_SIZE).z, 1.0);

  // Taller body, same roof top: until the roof would sink below 10 units.
  Drag(kHandleBodyHeight, Vector(0, 100, 0));
  EXPECT_EQ(bc->GetVector(CAR_BODY_SIZE).y, 100.0);
  EXPECT_EQ(bc->GetVector(CAR_ROOF_SIZE).y, 30.0);  // top at 50 + 50 + 30, as before
  ExpectNear(cache[kHandleBodyHeight], Vector(0, 100, 0), "height handle");
  Drag(kHandleBodyHeight, Vector(0, 200, 0));
  EXPECT_EQ(bc->GetVector(CAR_ROOF_SIZE).y, 10.0);

  // The bottom handle moves the body object, not the stored rest point.
  Drag(kHandleBodyBottom, Vector(0, -20, 0));
  EXPECT_EQ(Linked(RIG_BODY)->GetRelPos(), Vector(0, 150, 0));  // half the 300 height above 0
  EXPECT_EQ(bc->GetVector(RIG_REST_BODY), Vector(0, 50, 0));
  ExpectNear(cache[kHandleBodyBottom], Vector(0, 0, 0), "bottom handle");
}

TEST_F(CarHandlesTest, RoofEdgesKeepTheOtherEdge) {
  Drag(kHandleRoofFront, Vector(0, 140, 60));
  EXPECT_EQ(bc->GetVector(CAR_ROOF_SIZE), Vector(144, 50, 206));
  EXPECT_EQ(bc->GetReal(CAR_ROOF_Z), -43.0);
  ExpectNear(cache[kHandleRoofFront], Vector(0, 140, 60), "front edge");
  ExpectNear(cache[kHandleRoofRear], Vector(0, 140, -146), "rear edge");
  ExpectNear(cache[kHandleRoofWidth], Vector(72, 140, -43), "roof width");

  Drag(kHandleRoofRear, Vector(0, 130, -100));
  EXPECT_EQ(bc->GetVector(CAR_ROOF_SIZE), Vector(144, 40, 160));
  EXPECT_EQ(bc->GetReal(CAR_ROOF_Z), -20.0);
  ExpectNear(cache[kHandleRoofFront], Vector(0, 130, 60), "front edge stays");

  Drag(kHandleRoofWidth, Vector(-4, 0, 0));
  EXPECT_EQ(bc->GetVector(CAR_ROOF_SIZE).x, 1.0);
}

TEST_F(CarHandlesTest, RoofEdgeCannotCrossTheOtherOrSinkIntoTheBody) {
  // Front edge dragged behind the rear edge at -146, and down into the body.
  Drag(kHandleRoofFront, Vector(0, 0, -300));
  const Vector roof = bc->GetVector(CAR_ROOF_SIZE);
  EXPECT_EQ(roof.z, 1.0);
  EXPECT_EQ(roof.y, 10.0);
  EXPECT_EQ(bc->GetReal(CAR_ROOF_Z), -145.5);
  Drag(kHandleRoofRear, Vector(0, 0, 500));
  EXPECT_EQ(bc->GetVector(CAR_ROOF_SIZE).z, 1.0);
  EXPECT_EQ(bc->GetReal(CAR_ROOF_Z), -145.5);
}

TEST_F(CarHandlesTest, WheelSizesFollowEachOtherWhenPaired) {
  const struct {
    Bool paired;
    LONG handle;
    Vector p;
    Real front_d, rear_d, front_w, rear_w;
  } cases[] = {
      {true, kHandleWheelDiameter2, {95, 80, -130}, 80, 80, 28, 30},
      {false, kHandleWheelDiameter2, {95, 80, -130}, 64, 80, 28, 30},
      {true, kHandleWheelWidth1, {100, 32, 140}, 64, 70, 40, 40},
      {false, kHandleWheelWidth2, {100, 35, -130}, 64, 70, 28, 40},
      {false, kHandleWheelWidth1, {60, 32, 140}, 64, 70, 1, 30},
      {false, kHandleWheelDiameter1, {94, -3, 140}, 1, 70, 28, 30},
  };
  for (const auto& c : cases) {
    bc->SetReal(CAR_WHEEL_DIAMETER_FRONT, 64);
    bc->SetReal(CAR_WHEEL_DIAMETER_REAR, 70);
    bc->SetReal(CAR_WHEEL_WIDTH_FRONT, 28);
    bc->SetReal(CAR_WHEEL_WIDTH_REAR, 30);
    bc->SetBool(CAR_LINK_PAIRS, c.paired);
    Drag(c.handle, c.p);
    EXPECT_EQ(bc->GetReal(CAR_WHEEL_DIAMETER_FRONT), c.front_d) << c.handle;
    EXPECT_EQ(bc->GetReal(CAR_WHEEL_DIAMETER_REAR), c.rear_d) << c.handle;
    EXPECT_EQ(bc->GetReal(CAR_WHEEL_WIDTH_FRONT), c.front_w) << c.handle;
    EXPECT_EQ(bc->GetReal(CAR_WHEEL_WIDTH_REAR), c.rear_w) << c.handle;
    if (c.paired && c.handle == kHandleWheelDiameter2) {
      EXPECT_EQ(cache[kHandleWheelDiameter1].y, 80.0);
      EXPECT_EQ(cache[kHandleWheelDiameter2].y, 80.0);
    }
  }
}

TEST_F(CarHandlesTest, AxleDragsMoveTheHubsWithinTheirLimits) {
  const struct {
    LONG handle;
    Vector p;
    LONG hub;
    Vector moved, handle_at;
  } cases[] = {
      {kHandleTrack0, {95, 32, 140}, 1, {95, 32, 140}, {95, 32, 140}},
      {kHandleTrack0, {-20, 32, 140}, 1, {0, 32, 140}, {0, 32, 140}},
      {kHandleAxle0, {80, 0, 10}, 1, {80, 32, 64}, {80, 0, 64}},   // not behind the wheel's diameter
      {kHandleAxle0, {80, 0, 170}, 1, {80, 32, 170}, {80, 0, 170}},
      {kHandleTrack1, {-5, 35, -130}, 3, {0, 35, -130}, {0, 35, -130}},
      {kHandleAxle1, {80, 0, 50}, 3, {80, 35, 0}, {80, 0, 0}},     // not forward of z = 0
      {kHandleAxle1, {80, 0, -150}, 3, {80, 35, -150}, {80, 0, -150}},
  };
  for (const auto& c : cases) {
    Drag(c.handle, c.p);
    EXPECT_EQ(Linked(RIG_HUB + c.hub)->GetRelPos(), c.moved) << c.handle;
    ExpectNear(cache[c.handle], c.handle_at, "handle");
  }
  // The stored rest points follow the objects elsewhere, not here.
  EXPECT_EQ(bc->GetVector(RIG_REST_HUB + 1), Vector(80, 32, 140));
}

TEST_F(CarHandlesTest, ExtraAxleHandleMovesItsHub) {
  s->wheelCount = 6;
  bc->SetVector(RIG_REST_HUB + 5, Vector(80, 33, -300));
  EXPECT_EQ(Data(car)->GetHandleCount(car), 16);
  ExpectNear(Handle(kHandleExtraAxle).position, Vector(80, 0, -300), "extra axle handle");

  // Without its hub object the drag still moves the handle.
  Drag(kHandleExtraAxle, Vector(80, 0, -320));
  ExpectNear(cache[kHandleExtraAxle], Vector(80, 0, -320), "unlinked");

  BaseObject* hub = NewObject(Onull);
  bc->SetLink(RIG_HUB + 5, hub);
  Drag(kHandleExtraAxle, Vector(80, 0, -350));
  EXPECT_EQ(hub->GetRelPos(), Vector(80, 33, -350));
  ExpectNear(cache[kHandleExtraAxle], Vector(80, 0, -350), "linked");
}

TEST_F(CarHandlesTest, CarSetHandleWritesTheCar) {
  Data(car)->SetHandle(car, kHandleBodyWidth, Vector(120, 50, 0), HandleInfo());
  EXPECT_EQ(bc->GetVector(CAR_BODY_SIZE).x, 240.0);
  EXPECT_EQ(s->bodySize.x, 240.0);
}

}  // namespace
