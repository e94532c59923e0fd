// A vanto registered in-process, a document with a command group of markers,
// and a bare car record driven the way the run drives it: one marker refresh
// every 0.01 s of car time, the ramps advanced every 1 ms step.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>

#include "plugin_in_process.h"
#include "car/car_params.h"
#include "scene/carstate.h"
#include "host_description.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_services.h"
#include "frame/plugin_main.h"
#include "scene/markers.h"
#include "scene/ramps.h"
#include "scene/scene_links.h"
#include "tags/tag_commands.h"

namespace markertest {

class MarkerTest : public testsupport::PluginDocumentTest {
 protected:
  MarkerTest() : PluginDocumentTest(kPluginFolder) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(PluginDocumentTest::SetUp());
    group = NewNull(nullptr, Vector(), 0.0);
    carObject = BaseObject::Alloc(Onull);
    doc->InsertObject(carObject, nullptr, nullptr);
    carBc = carObject->GetDataInstance();
    carBc->SetLink(CAR_COMMAND_GROUP, group);
    carBc->SetLong(CAR_COMMAND_LEVEL, 6);
    car = std::make_unique<CarState>();
    car->settings.stepDt = 0.001;
    car->settings.inputPeriod = 0.01;
    car->settings.simTime = 10.0;
    car->wheelCount = 4;
    PlaceCar(Vector(0.0, 50.0, -1000.0));
    ResetCommandState(doc, *carBc, *car);
  }
  void TearDown() override {
    car.reset();
    PluginDocumentTest::TearDown();
  }

  BaseObject* NewNull(BaseObject* parent, const Vector& pos, Real radius) {
    BaseObject* op = BaseObject::Alloc(Onull);
    EXPECT_NE(op, nullptr);
    doc->InsertObject(op, parent, parent ? parent->GetDownLast() : nullptr);
    op->SetRelPos(pos);
    op->GetDataInstance()->SetReal(kMarkerRadiusParam, radius);
    return op;
  }

  // A marker of that radius at pos (x, 0, z) in the group, with a commands
  // tag at its defaults.
  BaseObject* NewMarker(const char* name, const Vector& pos, Real radius = 100.0) {
    BaseObject* m = NewNull(group, pos, radius);
    m->SetName(name);
    EXPECT_NE(m->MakeTag(ID_VANTOCOMMANDS), nullptr);
    return m;
  }
  static BaseContainer& Tag(BaseObject* marker) { return *marker->GetTag(ID_VANTOCOMMANDS)->GetDataInstance(); }

  // A curve with linear spans through the knots, over x 0 .. xmax.
  static void SetCurve(BaseContainer& bc, LONG id, Real xmax, std::initializer_list<std::pair<Real, Real>> knots,
                       Real ymin = -100.0, Real ymax = 100.0) {
    SplineData* s = SplineData::Alloc();
    s->SetRange(0.0, xmax, 0.05, ymin, ymax, 1.0);
    for (const auto& k : knots) s->InsertKnot(k.first, k.second, 0x20);
    s->SetAllInterpolation(SPLINEKNOT_LINEAR);
    bc.SetData(id, GeData(*s));
    SplineData::Free(s);
  }
  static const SplineData* Curve(const BaseContainer& bc, LONG id) {
    return static_cast<const SplineData*>(bc.GetCustomDataType(id, CUSTOMDATATYPE_SPLINE));
  }

  // Body at p heading +z; wheels 0/1 at the front (z + 130), 2/3 at the rear.
  void PlaceCar(const Vector& p) {
    car->bodyMatrix = Matrix(p, Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
    for (int w = 0; w < 4; ++w)
      car->wheelMatrices[w].off = p + Vector((w & 1) ? 76.0 : -76.0, -18.0, w < 2 ? 130.0 : -125.0);
  }

  // One input period of the run: the refresh, then ten steps of the ramps.
  void Tick(int periods = 1) {
    for (int i = 0; i < periods; ++i) {
      EvaluateCommandTag(doc, *carBc, *car);
      for (int k = 0; k < 10; ++k) {
        AdvanceControlRamps(*car);
        car->settings.simTime += car->settings.stepDt;
      }
    }
  }
  // Ticks until the car's time reaches t (s).
  void TickUntil(double t) {
    while (car->settings.simTime < t - 1e-9) Tick();
  }

  double Ramp(int channel) const { return car->ramps[channel].current; }
  const CommandSlot& Slot(int i) const { return car->commands.slots[i]; }

  static constexpr const char* kPluginFolder = CARSIM_SOURCE_DIR "/vanto";
  BaseObject* group = nullptr;
  BaseObject* carObject = nullptr;
  BaseContainer* carBc = nullptr;
  std::unique_ptr<CarState> car;
};

}  // namespace markertest
