// A car with its default rig and known geometry, drawn into a recording view.
#pragma once

#include <vector>

#include "../car/car_test_support.h"
#include "car/car_draw.h"
#include "car/car_handles.h"
#include "car/rig.h"

class CarDrawTest : public CarTest {
 protected:
  void SetUp() override {
    CarTest::SetUp();
    car = NewCar();
    ASSERT_TRUE(car->Message(MSG_MENUPREPARE, nullptr));
    bc = car->GetDataInstance();
    s = &Data(car)->State();
    s->wheelCount = 4;
    s->carIndex = 0;
    // Round numbers, so that every handle can be worked out by hand.
    bc->SetVector(RIG_REST_BODY, Vector(0, 50, 0));
    bc->SetVector(CAR_BODY_SIZE, Vector(180, 80, 450));
    bc->SetVector(CAR_ROOF_SIZE, Vector(144, 40, 180));
    bc->SetReal(CAR_ROOF_Z, -56);
    bc->SetReal(CAR_WHEEL_DIAMETER_FRONT, 64);
    bc->SetReal(CAR_WHEEL_DIAMETER_REAR, 70);
    bc->SetReal(CAR_WHEEL_WIDTH_FRONT, 28);
    bc->SetReal(CAR_WHEEL_WIDTH_REAR, 30);
    bc->SetVector(RIG_REST_HUB + 1, Vector(80, 32, 140));
    bc->SetVector(RIG_REST_HUB + 3, Vector(80, 35, -130));
    s->bodySize = bc->GetVector(CAR_BODY_SIZE);
    ComputeRoofCorners(*bc, *s);
  }

  void At(Real seconds) { doc->SetTime(BaseTime(seconds)); }
  BaseDraw Draw(LONG pass, LONG width = 640, LONG height = 480) {
    BaseDraw bd(width, height);
    DrawInto(bd, pass);
    return bd;
  }
  void DrawInto(BaseDraw& bd, LONG pass) {
    BaseDrawHelp bh(&bd, doc, car);
    EXPECT_EQ(Data(car)->Draw(car, pass, &bd, &bh), DRAWRESULT_OK);
  }
  HandleInfo Handle(LONG i) {
    HandleInfo info;
    info.type = -1;
    Data(car)->GetHandle(car, i, info);
    return info;
  }
  // Drags through the same code as Car::SetHandle, with a cache the test
  // can read.
  void Drag(LONG i, const Vector& p) { SetCarHandle(car, *s, cache, i, p); }
  BaseObject* Linked(LONG id) { return bc->GetObjectLink(id, doc); }

  static std::vector<DrawCall> Of(const BaseDraw& bd, DrawCall::Kind kind) {
    std::vector<DrawCall> out;
    for (const DrawCall& c : bd.Calls())
      if (c.kind == kind) out.push_back(c);
    return out;
  }
  static std::vector<DrawCall> Of(const BaseDraw& bd, DrawCall::Kind kind, const Vector& colour) {
    std::vector<DrawCall> out;
    for (const DrawCall& c : bd.Calls())
      if (c.kind == kind && (c.color - colour).GetLength() < 1e-6) out.push_back(c);
    return out;
  }

  BaseObject* car = nullptr;
  BaseContainer* bc = nullptr;
  CarState* s = nullptr;
  Vector cache[kCarMaxHandles];
};

inline void ExpectNear(const Vector& a, const Vector& b, const char* what, Real eps = 1e-9) {
  EXPECT_NEAR(a.x, b.x, eps) << what;
  EXPECT_NEAR(a.y, b.y, eps) << what;
  EXPECT_NEAR(a.z, b.z, eps) << what;
}
