// A vanto registered in-process, a document with a Sim and cars whose rig is
// laid out by hand (units: 100 per metre).
//
// The test car: body 180 x 80 x 450 at y = 50 in the car; four wheels of
// radius 32 under the body at y = -18, x = +-76, z = 132 (front) and -125
// (rear), so that the tyres just touch y = 0 with the springs unloaded;
// suspension tops 20 above the wheel centres; 1500 kg body, 200 kg engine,
// 30 kg wheels, springs 25000 N/m.
#pragma once

#include <gtest/gtest.h>

#include "plugin_in_process.h"
#include "car/car_params.h"
#include "host_description.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "frame/plugin_main.h"
#include "car/car_object.h"
#include "sim/sim_object.h"
#include "car/rig.h"

namespace simtest {

inline constexpr double kBodyY = 50.0;
inline constexpr double kWheelRadius = 32.0;
inline constexpr double kFrontZ = 132.0, kRearZ = -125.0, kTrackX = 76.0;

class VantoTest : public testsupport::PluginDocumentTest {
 protected:
  VantoTest() : PluginDocumentTest(CARSIM_PLUGIN_ROOT "/vanto") {}
  void SetUp() override {
    hostlog::Clear();
    ASSERT_NO_FATAL_FAILURE(PluginDocumentTest::SetUp());
    doc->SetFps(30);
  }
  void TearDown() override {
    PluginDocumentTest::TearDown();
    BaseThread::RequestBreak(false);
  }

  BaseObject* AddSim() {
    BaseObject* sim = BaseObject::Alloc(ID_SIM);
    doc->InsertObject(sim, nullptr, nullptr);
    return sim;
  }
  static Sim* SimData(BaseObject* sim) { return sim->GetNodeData<Sim>(); }
  static CarState& State(BaseObject* car) { return car->GetNodeData<Car>()->State(); }

  static BaseObject* Null(BaseDocument* d, BaseObject* parent, const char* name, const Vector& pos) {
    BaseObject* op = BaseObject::Alloc(Onull);
    op->SetName(name);
    d->InsertObject(op, parent, parent ? parent->GetDownLast() : nullptr);
    op->SetRelPos(pos);
    return op;
  }

  // A car under parent (appended as its last child) at start position z.
  BaseObject* AddCar(BaseObject* parent, double startZ = 0.0) {
    BaseObject* car = BaseObject::Alloc(ID_CAR);
    doc->InsertObject(car, parent, parent ? parent->GetDownLast() : nullptr);
    BaseContainer* bc = car->GetDataInstance();
    bc->SetVector(CAR_BODY_SIZE, Vector(180.0, 80.0, 450.0));
    bc->SetVector(CAR_ENGINE_SIZE, Vector(100.0, 50.0, 120.0));
    bc->SetReal(CAR_WHEEL_DIAMETER_FRONT, 2 * kWheelRadius);
    bc->SetReal(CAR_WHEEL_DIAMETER_REAR, 2 * kWheelRadius);
    bc->SetReal(CAR_WHEEL_WIDTH_FRONT, 28.0);
    bc->SetReal(CAR_WHEEL_WIDTH_REAR, 28.0);
    bc->SetLong(CAR_MAX_RPM, 6000);
    bc->SetLong(CAR_MAX_TORQUE, 600);
    bc->SetLong(CAR_START_MODE, 0);
    bc->SetVector(CAR_START_POSITION, Vector(0.0, 0.0, startZ));
    SetTorqueCurve(bc);
    bc->SetLong(RIG_AXLE_TYPE, 0);
    bc->SetLong(RIG_AXLE_TYPE + 1, 1);

    auto rest = [&](LONG id, BaseObject* op, const Vector& pos) {
      op->SetRelPos(pos);
      bc->SetVector(id, pos);
    };
    BaseObject* body = Null(doc, car, "Body", Vector());
    rest(RIG_REST_BODY, body, Vector(0.0, kBodyY, 0.0));
    bc->SetLink(RIG_BODY, body);
    BaseObject* engine = Null(doc, body, "Engine", Vector());
    rest(RIG_REST_ENGINE, engine, Vector(0.0, -20.0, 25.0));
    bc->SetLink(RIG_ENGINE, engine);
    for (LONG w = 0; w < 4; ++w) {
      const double x = (w & 1) ? kTrackX : -kTrackX, z = w < 2 ? kFrontZ : kRearZ;
      BaseObject* top = Null(doc, body, "Top", Vector());
      rest(RIG_REST_SUSPENSION_TOP + w, top, Vector(x, kWheelRadius - kBodyY + 20.0, z));
      bc->SetLink(RIG_SUSPENSION_TOP + w, top);
    }
    for (LONG w = 0; w < 4; ++w) {
      const double x = (w & 1) ? kTrackX : -kTrackX, z = w < 2 ? kFrontZ : kRearZ;
      BaseObject* hub = Null(doc, body, "Wheel", Vector());
      rest(RIG_REST_HUB + w, hub, Vector(x, kWheelRadius - kBodyY, z));
      bc->SetLink(RIG_HUB + w, hub);
      BaseObject* bottom = Null(doc, hub, "Bottom", Vector());
      rest(RIG_REST_SUSPENSION_BOTTOM + w, bottom, Vector());
      bc->SetLink(RIG_SUSPENSION_BOTTOM + w, bottom);
      BaseObject* spinner = Null(doc, hub, "Spin", Vector());
      bc->SetLink(RIG_SPINNER + w, spinner);
    }
    State(car).wheelCount = 4;
    return car;
  }

  static void SetTorqueCurve(BaseContainer* bc) {
    SplineData* s = SplineData::Alloc();
    s->SetRange(0.0, 6000.0, 100.0, 0.0, 600.0, 10.0);
    const double knots[][2] = {{0.0, 300.0}, {1500.0, 420.0}, {3500.0, 530.0}, {4500.0, 540.0}, {6000.0, 400.0}};
    for (const auto& k : knots) s->InsertKnot(k[0], k[1]);
    s->SetAllInterpolation(SPLINEKNOT_LINEAR);
    bc->SetData(CAR_TORQUE_CURVE, GeData(*s));
    SplineData::Free(s);
  }

  // Evaluates the document at frame f as playback does (flag 2 set).
  void Frame(LONG f, BaseThread* bt = nullptr, Bool animation = true) {
    doc->SetTime(BaseTime(static_cast<Real>(f), 30.0));
    doc->ExecutePasses(bt, animation, true, false);
  }
};

}  // namespace simtest
