// The Car's messages: migration of older scenes, paired parameters, the
// parameter limits, the default rig of a new car, and the link commands
// (rebuild and the wheel-rig tag's requests).
#include <cmath>

#include "car_test_support.h"
#include "car/car_messages.h"
#include "host_geometry.h"
#include "scene_build/object_builders.h"
#include "car/rig.h"
#include "carsim/link_message.h"

namespace {

class CarMessageTest : public CarTest {
 protected:
  void TearDown() override {
    hostinput::SetQualifier(QUALIFIER_NONE);
    CarTest::TearDown();
  }
  // A car under a Sim with its default rig, laid out as a user gets it.
  BaseObject* CarWithRig() {
    BaseObject* sim = NewSim(SIMSTATE_RESET, false);
    BaseObject* car = NewCar(sim);
    EXPECT_TRUE(car->Message(MSG_MENUPREPARE, nullptr));
    return car;
  }
  static BaseObject* Link(BaseObject* car, LONG id) {
    return car->GetDataInstance()->GetObjectLink(id, car->GetDocument());
  }
  static void Changed(BaseObject* car, LONG id) {
    DescID did(id);
    DescriptionCheckUpdate update;
    update.doc = car->GetDocument();
    update.descid = &did;
    EXPECT_TRUE(car->Message(MSG_DESCRIPTION_CHECKUPDATE, &update));
  }
};

TEST(CarVersion, ReadsDigitsOnlyAndNeverPastTheText) {
  const struct {
    const char* text;
    LONG v;
  } cases[] = {
      {"VANTO! 1.70.4", 1704}, {"", 0},          {"VANTO! 1.5", 1500}, {"VANTO! 1.514", 1510},
      {"VANTO!", 0},           {"VANTO! x.99", 0}, {"VANTO! 1.6", 1600}, {"VANTO! 1.4x", 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CarVersionNumber(String(c.text)), c.v);
  }
}

TEST_F(CarMessageTest, MigrationByVersionText) {
  struct Case {
    const char* version;
    bool bodyFromOldIds;  // 1000 <= v < 1500
    bool gearsRecounted;  // 1000 <= v <= 1514 (LONG 1690 is 6 here)
    bool spinners;        // 1000 <= v <= 1599
  } cases[] = {
      {"", false, false, false},          {"VANTO! 1.4", true, true, true},  {"VANTO! 1.514", false, true, true},
      {"VANTO! 1.515", false, true, true},  // reads 1510
      {"VANTO! 1.52", false, false, true}, {"VANTO! 1.70.4", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    BaseObject* car = CarWithRig();
    BaseContainer* bc = car->GetDataInstance();
    bc->SetString(CAR_VERSION, String(c.version));
    bc->SetReal(1010, 400.0);  // old length, width, height
    bc->SetReal(1011, 170.0);
    bc->SetReal(1012, 90.0);
    const Vector body = bc->GetVector(CAR_BODY_SIZE);
    for (LONG g = 1; g <= 8; ++g) bc->SetReal(CAR_GEAR_REVERSE + g, g <= 4 ? 1.0 : 0.0);
    bc->SetReal(CAR_CLUTCH, 5.0);
    BaseObject* hub = Link(car, RIG_HUB);
    BaseObject* bottom = Link(car, RIG_SUSPENSION_BOTTOM);
    BaseObject* old_spinner = Link(car, RIG_SPINNER);
    // Two of the user's objects straight under the wheel, side by side.
    BaseObject* rim = NewObject(Onull, hub);
    BaseObject* tyre = NewObject(Onull, hub);

    EXPECT_TRUE(car->Message(MSG_MULTI_DOCUMENTIMPORTED, nullptr));

    EXPECT_EQ(bc->GetString(CAR_VERSION), "VANTO! 1.70.4");
    EXPECT_EQ(bc->GetReal(CAR_CLUTCH), 10.0);
    EXPECT_EQ(bc->GetVector(CAR_BODY_SIZE), c.bodyFromOldIds ? Vector(170, 90, 400) : body);
    EXPECT_EQ(Data(car)->State().bodySize, bc->GetVector(CAR_BODY_SIZE));
    EXPECT_EQ(bc->GetLong(CAR_GEAR_COUNT), c.gearsRecounted ? 4 : 6);
    BaseObject* spinner = Link(car, RIG_SPINNER);
    if (c.spinners) {
      ASSERT_NE(spinner, old_spinner);
      EXPECT_EQ(spinner->GetUp(), hub);
      // Both user objects moved, the suspension and the old spinner stayed.
      EXPECT_EQ(rim->GetUp(), spinner);
      EXPECT_EQ(tyre->GetUp(), spinner);
      EXPECT_EQ(bottom->GetUp(), hub);
      EXPECT_EQ(old_spinner->GetUp(), hub);
      EXPECT_EQ(bc->GetReal(CAR_GAP_MARGIN), 0.25);
      EXPECT_EQ(bc->GetVector(6599), Vector(-1, -1, -1));
    } else {
      EXPECT_EQ(spinner, old_spinner);
      EXPECT_EQ(rim->GetUp(), hub);
    }
  }
}

// A spinner that cannot be made stops the spinner step where it is: the
// wheel keeps its children and its old spinner link; the rest goes on.
TEST_F(CarMessageTest, MigrationStopsTheSpinnerStepWhenANullCannotBeMade) {
  BaseObject* car = CarWithRig();
  BaseContainer* bc = car->GetDataInstance();
  bc->SetString(CAR_VERSION, String("VANTO! 1.52"));
  BaseObject* hub = Link(car, RIG_HUB);
  BaseObject* old_spinner = Link(car, RIG_SPINNER);
  BaseObject* second_spinner = Link(car, RIG_SPINNER + 1);
  BaseObject* rim = NewObject(Onull, hub);
  const LONG children = [&] {
    LONG n = 0;
    for (BaseObject* c = hub->GetDown(); c; c = c->GetNext()) ++n;
    return n;
  }();
  hostmem::FailAllocation(1);  // the first wheel's spinner
  EXPECT_TRUE(car->Message(MSG_MULTI_DOCUMENTIMPORTED, nullptr));
  hostmem::FailAllocation(0);
  EXPECT_EQ(Link(car, RIG_SPINNER), old_spinner);
  EXPECT_EQ(Link(car, RIG_SPINNER + 1), second_spinner);  // the step ended at the first wheel
  EXPECT_EQ(rim->GetUp(), hub);
  LONG after = 0;
  for (BaseObject* c = hub->GetDown(); c; c = c->GetNext()) ++after;
  EXPECT_EQ(after, children);
  EXPECT_EQ(bc->GetReal(CAR_GAP_MARGIN), 0.25);
  EXPECT_EQ(bc->GetString(CAR_VERSION), "VANTO! 1.70.4");
}

TEST_F(CarMessageTest, MigrationMovesTheOldSuspensionLinksAndCountsGearsWhenUnset) {
  BaseObject* car = NewCar();
  BaseContainer* bc = car->GetDataInstance();
  BaseObject* a = NewObject(Onull);
  BaseObject* b = NewObject(Onull);
  bc->SetLink(5612 + 2, a);
  bc->SetVector(6612 + 2, Vector(1, 2, 3));
  bc->SetLink(5632 + 1, b);
  bc->SetVector(6632 + 1, Vector(4, 5, 6));
  bc->SetString(CAR_VERSION, String());
  bc->SetLong(CAR_GEAR_COUNT, 0);
  for (LONG g = 1; g <= 8; ++g) bc->SetReal(CAR_GEAR_REVERSE + g, 1.0);  // never more than 8
  car->Message(MSG_MULTI_DOCUMENTIMPORTED, nullptr);
  EXPECT_EQ(bc->GetObjectLink(RIG_SUSPENSION_BOTTOM + 2, doc), a);
  EXPECT_EQ(bc->GetVector(RIG_REST_SUSPENSION_BOTTOM + 2), Vector(1, 2, 3));
  EXPECT_EQ(bc->GetObjectLink(RIG_SUSPENSION_TOP + 1, doc), b);
  EXPECT_EQ(bc->GetVector(RIG_REST_SUSPENSION_TOP + 1), Vector(4, 5, 6));
  EXPECT_EQ(bc->GetLong(RIG_AXLE_TYPE + 1), 1);
  EXPECT_EQ(bc->GetLong(CAR_GEAR_COUNT), 8);
}

TEST_F(CarMessageTest, MigrationScalesUnitCurves) {
  BaseObject* car = NewCar();
  BaseContainer* bc = car->GetDataInstance();
  SplineData* unit = SplineData::Alloc();
  unit->InsertKnot(0.0, 0.5);
  unit->InsertKnot(1.0, 1.0);
  bc->SetData(1880, GeData(*unit));
  SplineData::Free(unit);
  car->Message(MSG_MULTI_DOCUMENTIMPORTED, nullptr);
  const auto* curve = static_cast<const SplineData*>(bc->GetCustomDataType(1880, CUSTOMDATATYPE_SPLINE));
  ASSERT_NE(curve, nullptr);
  ASSERT_EQ(curve->GetKnotCount(), 2);
  EXPECT_DOUBLE_EQ(curve->GetKnot(0)->pos.y, 50.0);
  EXPECT_DOUBLE_EQ(curve->GetKnot(1)->pos.x, 100.0);
}

TEST_F(CarMessageTest, PairedParametersFollowTheSwitchAndTheQualifier) {
  const struct {
    Bool pairs;
    LONG qualifier;
    LONG id, partner;
    bool copied;
  } cases[] = {
      {true, QUALIFIER_NONE, 1150, 1151, true},  {true, QUALIFIER_CTRL, 1150, 1151, false},
      {false, QUALIFIER_NONE, 1813, 1812, false}, {false, QUALIFIER_CTRL, 1813, 1812, true},
      {true, QUALIFIER_NONE, 1021, 1020, true},  {true, QUALIFIER_NONE, 1100, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    BaseObject* car = NewCar();
    BaseContainer* bc = car->GetDataInstance();
    bc->SetBool(CAR_LINK_PAIRS, c.pairs);
    hostinput::SetQualifier(c.qualifier);
    bc->SetReal(c.id, 123.5);
    const Real before = c.partner ? bc->GetReal(c.partner) : 0.0;
    Changed(car, c.id);
    EXPECT_EQ(PairedParameter(c.id), c.partner);
    if (c.partner) {
      EXPECT_EQ(bc->GetReal(c.partner), c.copied ? 123.5 : before);
    }
  }
}

TEST_F(CarMessageTest, TorqueRangeChangeCopiesNothing) {
  BaseObject* car = NewCar();
  BaseContainer* bc = car->GetDataInstance();
  const BaseContainer before = *bc;
  bc->SetLong(CAR_MAX_RPM, 7000);
  Changed(car, CAR_MAX_RPM);
  const auto* curve = static_cast<const SplineData*>(bc->GetCustomDataType(CAR_TORQUE_CURVE, CUSTOMDATATYPE_SPLINE));
  ASSERT_NE(curve, nullptr);
  Real x0, x1, xs, y0, y1, ys;
  curve->GetRange(&x0, &x1, &xs, &y0, &y1, &ys);
  EXPECT_EQ(x1, 7000.0);
  EXPECT_EQ(bc->GetReal(1021), before.GetReal(1021));
}

TEST_F(CarMessageTest, ValidationClampTable) {
  BaseObject* car = NewCar();
  BaseContainer* bc = car->GetDataInstance();
  const Real u = 100.0, f = 0.10000000149011612;
  bc->SetVector(CAR_BODY_SIZE, Vector(200, 100, 400));
  bc->SetVector(CAR_ROOF_SIZE, Vector(1.0, 500.0, 1000.0));  // x too small, y and z too large
  bc->SetReal(CAR_ROOF_Z, 500.0);
  bc->SetVector(CAR_ENGINE_SIZE, Vector(1.0, 100.0, 500.0));
  bc->SetReal(CAR_CRUMPLE_SIDE, 500.0);
  bc->SetReal(CAR_CRUMPLE_FRONT, 0.0);
  bc->SetReal(CAR_CRUMPLE_REAR, 500.0);
  bc->SetLong(CAR_MAX_RPM, 3500);
  bc->SetLong(CAR_SHIFT_UP, 4000);
  bc->SetLong(CAR_SHIFT_DOWN, 3300);
  bc->SetReal(CAR_GEAR_REVERSE + 2, bc->GetReal(CAR_GEAR_REVERSE + 1));  // second equals first
  bc->SetBool(CAR_ROUTE_WRAP, true);
  bc->SetReal(CAR_GROUND_HEIGHT, 50.0);
  bc->SetReal(CAR_GROUND_GRIP, 0.7);
  EXPECT_TRUE(car->Message(MSG_DESCRIPTION_VALIDATE, nullptr));

  EXPECT_EQ(bc->GetVector(CAR_ROOF_SIZE), Vector(f * 200, 200, 400));
  EXPECT_EQ(bc->GetReal(CAR_ROOF_Z), 0.0);  // (l - roof z) / 2 = 0
  EXPECT_EQ(bc->GetVector(CAR_ENGINE_SIZE), Vector(0.1 * u, 100, 0.9 * 200));
  EXPECT_EQ(bc->GetReal(CAR_CRUMPLE_SIDE), 90.0);
  EXPECT_EQ(bc->GetReal(CAR_CRUMPLE_FRONT), 1.0);
  EXPECT_EQ(bc->GetReal(CAR_CRUMPLE_REAR), 190.0);
  EXPECT_EQ(bc->GetLong(CAR_SHIFT_UP), 3500);
  EXPECT_EQ(bc->GetLong(CAR_SHIFT_DOWN), 3000);
  EXPECT_DOUBLE_EQ(bc->GetReal(CAR_GEAR_REVERSE + 2), bc->GetReal(CAR_GEAR_REVERSE + 1) - 0.1);
  const CarState& s = Data(car)->State();
  EXPECT_EQ(s.bodySize, Vector(200, 100, 400));
  EXPECT_EQ(s.autopilot.wrapRoute, 1);
  EXPECT_EQ(s.defaultGround.planeOffset, -0.5);
  EXPECT_EQ(s.defaultGround.friction, 0.7);
  EXPECT_EQ(s.defaultGround.gripFactor, 0.7);
}

TEST_F(CarMessageTest, CrossedBoundsKeepTheLowerOne) {
  EXPECT_EQ(ClampLowerWins(5.0, 1.0, 3.0), 3.0);
  EXPECT_EQ(ClampLowerWins(0.0, 1.0, 3.0), 1.0);
  for (Real v : {0.0, 2.0, 4.0, 9.0}) EXPECT_EQ(ClampLowerWins(v, 3.0, 1.0), 3.0);
  // A narrow car: 0.5 w - 10 lies below the lower bound 1.0.
  BaseObject* car = NewCar();
  BaseContainer* bc = car->GetDataInstance();
  bc->SetVector(CAR_BODY_SIZE, Vector(15, 100, 400));
  bc->SetReal(CAR_CRUMPLE_SIDE, 30.0);
  car->Message(MSG_DESCRIPTION_VALIDATE, nullptr);
  EXPECT_EQ(bc->GetReal(CAR_CRUMPLE_SIDE), 1.0);
}

TEST_F(CarMessageTest, GearClampStopsAtTheLastGear) {
  BaseObject* car = NewCar();
  BaseContainer* bc = car->GetDataInstance();
  bc->SetLong(CAR_GEAR_COUNT, 40);
  for (LONG g = 1; g <= 19; ++g) bc->SetReal(CAR_GEAR_REVERSE + g, 5.0);
  bc->SetReal(CAR_GEAR_FINAL, 3.0);
  bc->SetReal(1721, 30.0);
  car->Message(MSG_DESCRIPTION_VALIDATE, nullptr);
  EXPECT_NEAR(bc->GetReal(CAR_GEAR_REVERSE + 19), 5.0 - 18 * 0.1, 1e-12);
  EXPECT_EQ(bc->GetReal(CAR_GEAR_FINAL), 3.0);  // the final ratio is no gear
}

TEST_F(CarMessageTest, ClutchWarningOncePerCar) {
  hostlog::Clear();
  BaseObject* car = NewCar();
  BaseContainer* bc = car->GetDataInstance();
  bc->SetReal(CAR_GEAR_REVERSE + 1, 4.0);
  bc->SetReal(CAR_GEAR_FINAL, 3.0);
  bc->SetReal(CAR_CLUTCH, 40.0);
  car->Message(MSG_DESCRIPTION_VALIDATE, nullptr);
  car->Message(MSG_DESCRIPTION_VALIDATE, nullptr);
  EXPECT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_TRUE(bc->GetBool(CAR_CLUTCH_WARNED));
}

TEST_F(CarMessageTest, NewCarBuildsItsDefaultRigAtRest) {
  BaseObject* car = CarWithRig();
  const BaseContainer* bc = car->GetDataInstance();
  BaseObject* body = Link(car, RIG_BODY);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(body->GetRelPos(), bc->GetVector(RIG_REST_BODY));
  for (LONG w = 0; w < 4; ++w) {
    BaseObject* hub = Link(car, RIG_HUB + w);
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(hub->GetRelPos(), bc->GetVector(RIG_REST_HUB + w));
  }
  // The outputs are published (at rest).
  EXPECT_EQ(bc->GetReal(2500), 0.0);
  EXPECT_EQ(bc->GetType(2553), DA_REAL);

  // Outside a document the document comes with the message; without one nothing is built.
  BaseObject* loose = BaseObject::Alloc(ID_CAR);
  EXPECT_TRUE(loose->Message(MSG_MENUPREPARE, nullptr));
  EXPECT_EQ(loose->GetDown(), nullptr);
  EXPECT_TRUE(loose->Message(MSG_MENUPREPARE, doc));
  EXPECT_NE(loose->GetDown(), nullptr);
  BaseObject::Free(loose);
}

TEST_F(CarMessageTest, RebuildPutsTheRigBackToRestAndEmptiesTheSkidMarks) {
  BaseObject* car = CarWithRig();
  BaseContainer* bc = car->GetDataInstance();
  Data(car)->State().wheelCount = 4;
  Link(car, RIG_BODY)->SetRelPos(Vector(5, 6, 7));
  Link(car, RIG_HUB + 2)->SetRelPos(Vector(1, 1, 1));
  SplineObject* rail = SplineObject::Alloc(3, SPLINETYPE_LINEAR);
  doc->InsertObject(rail, nullptr, nullptr);
  bc->SetLink(2080, rail);
  SimLinkMessage msg{SIMLINK_REBUILD, nullptr};
  EXPECT_TRUE(car->Message(MSG_SIMLINK, &msg));
  EXPECT_EQ(Link(car, RIG_BODY)->GetRelPos(), bc->GetVector(RIG_REST_BODY));
  EXPECT_EQ(Link(car, RIG_HUB + 2)->GetRelPos(), bc->GetVector(RIG_REST_HUB + 2));
  EXPECT_EQ(rail->GetPointCount(), 0);

  SimLinkMessage free_cache{SIMLINK_FREE_CACHE, nullptr};  // not the car's
  EXPECT_TRUE(car->Message(MSG_SIMLINK, &free_cache));
}

TEST_F(CarMessageTest, RigCommandsWithGoodAndBadAxles) {
  for (std::int32_t index : {-1, 0, 7, 8}) {
    SCOPED_TRACE(index);
    const bool good = index >= 0 && index < 8;
    BaseObject* car = CarWithRig();
    BaseContainer* bc = car->GetDataInstance();
    // Axles before this one exist so that "add" has its template.
    for (std::int32_t a = 0; a < index && a < 8; ++a) {
      RigCommand add{RIGCOMMAND_ADD_AXLE, a, 0, 0, nullptr, nullptr};
      SimLinkMessage msg{SIMLINK_RIG_COMMAND, &add};
      car->Message(MSG_SIMLINK, &msg);
      ASSERT_EQ(add.kind, 1);
    }

    RigCommand add{RIGCOMMAND_ADD_AXLE, index, 1, 0, nullptr, nullptr};
    SimLinkMessage msg{SIMLINK_RIG_COMMAND, &add};
    EXPECT_TRUE(car->Message(MSG_SIMLINK, &msg));
    EXPECT_EQ(add.kind, good ? 1 : RIGCOMMAND_ADD_AXLE);
    const LONG w = 4 + 2 * index;
    if (good) {
      EXPECT_NE(bc->GetObjectLink(RIG_HUB + w, doc), nullptr);
      EXPECT_NE(bc->GetObjectLink(RIG_SUSPENSION_BOTTOM + w + 1, doc), nullptr);
      // Laid out from its rear template and its rest pose stored at once: a
      // scene saved before the next layout keeps the wheels where they are.
      BaseObject* hub = bc->GetObjectLink(RIG_HUB + w + 1, doc);
      EXPECT_EQ(hub->GetRelPos().x, bc->GetObjectLink(RIG_HUB + 3, doc)->GetRelPos().x);
      EXPECT_EQ(bc->GetVector(RIG_REST_HUB + w + 1), hub->GetRelPos());
    }

    RigCommand type{RIGCOMMAND_SET_AXLE_TYPE, index, 7, 0, nullptr, nullptr};
    msg.payload = &type;
    car->Message(MSG_SIMLINK, &msg);
    if (good) {
      EXPECT_EQ(bc->GetLong(RIG_AXLE_TYPE + 2 + index), 7);
    }
    EXPECT_EQ(bc->GetType(RIG_AXLE_TYPE + 2 + 8), DA_NIL);  // never past the last axle
    EXPECT_EQ(bc->GetLong(RIG_AXLE_TYPE + 1), 1);           // never over the main rear axle

    BaseObject* sentinel = NewObject(Onull);
    RigCommand skids{RIGCOMMAND_SKID_MARKS, index, 1, 0, sentinel, sentinel};
    msg.payload = &skids;
    const size_t undo = doc->UndoLog().size();
    car->Message(MSG_SIMLINK, &msg);
    if (good) {
      ASSERT_NE(skids.result0, sentinel);
      ASSERT_NE(skids.result1, sentinel);
      EXPECT_EQ(skids.result0->GetType(), Osweep);
      EXPECT_EQ(skids.result0->GetUp()->GetUp(), car);
      EXPECT_EQ(skids.result0->GetUp()->GetRelPos(), Vector());
      EXPECT_EQ(doc->UndoLog().size(), undo + 2);
    } else {
      EXPECT_EQ(skids.result0, sentinel);
      EXPECT_EQ(skids.result1, sentinel);
    }

    RigCommand springs{RIGCOMMAND_SPRINGS, index, 0, 0, nullptr, nullptr};
    msg.payload = &springs;
    car->Message(MSG_SIMLINK, &msg);
    if (good) {
      ASSERT_NE(springs.result0, nullptr);
      ASSERT_NE(springs.result1, nullptr);
      EXPECT_EQ(springs.result0->GetType(), Ohelix);
      const BaseContainer* hc = springs.result0->GetDataInstance();
      EXPECT_EQ(hc->GetReal(PRIM_HELIX_RADIUS1), bc->GetReal(CAR_SPRING_COIL_RADIUS));
      EXPECT_EQ(hc->GetReal(PRIM_HELIX_HEIGHT), 0.5 * bc->GetReal(CAR_WHEEL_DIAMETER_FRONT));
      EXPECT_EQ(hc->GetReal(PRIM_HELIX_END), 37.69911184307752);
      BaseObject* sweep = springs.result0->GetUp();
      EXPECT_EQ(sweep->GetUp(), bc->GetObjectLink(RIG_SUSPENSION_BOTTOM + w, doc));
      EXPECT_EQ(sweep->GetRelPos(), Vector(0, 0.375 * bc->GetReal(CAR_WHEEL_DIAMETER_FRONT), 0));
    } else {
      EXPECT_EQ(springs.result0, nullptr);
    }

    RigCommand remove{RIGCOMMAND_REMOVE_AXLE, index, 0, 0, nullptr, nullptr};
    msg.payload = &remove;
    car->Message(MSG_SIMLINK, &msg);
    if (good) {
      EXPECT_EQ(bc->GetObjectLink(RIG_HUB + w, doc), nullptr);
    }
    EXPECT_NE(bc->GetObjectLink(RIG_HUB + 3, doc), nullptr);  // the base wheels stay

    // Unknown kinds and null payloads do nothing.
    RigCommand odd{99, 0, 0, 0, nullptr, nullptr};
    msg.payload = &odd;
    EXPECT_TRUE(car->Message(MSG_SIMLINK, &msg));
    EXPECT_EQ(odd.kind, 99);
    msg.payload = nullptr;
    EXPECT_TRUE(car->Message(MSG_SIMLINK, &msg));
  }
}

}  // namespace
