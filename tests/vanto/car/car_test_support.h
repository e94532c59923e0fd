// A document with vanto registered in-process, for the Car's tests.
#pragma once

#include <gtest/gtest.h>

#include "plugin_in_process.h"
#include "car/car_params.h"
#include "car/car_status.h"
#include "host_description.h"
#include "host_loader.h"
#include "host_services.h"
#include "frame/plugin_main.h"
#include "car/car_object.h"

class CarTest : public testsupport::PluginDocumentTest {
 protected:
  // The source folder: its string tables and descriptions are the current ones.
  CarTest() : PluginDocumentTest(kPluginFolder) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(PluginDocumentTest::SetUp());
    // Stand-ins for the two add-on tags.
    for (LONG id : {LONG(ID_KOLVARIS), LONG(ID_ROTELIX)})
      ASSERT_TRUE(RegisterTagPlugin(id, "addon", TAG_VISIBLE, [] { return static_cast<NodeData*>(new TagData); }, "",
                                    nullptr, 0));
  }

  // A new car inserted under parent (top level when null).
  BaseObject* NewCar(BaseObject* parent = nullptr, BaseObject* pred = nullptr) {
    BaseObject* car = BaseObject::Alloc(ID_CAR);
    EXPECT_NE(car, nullptr);
    if (car) doc->InsertObject(car, parent, pred);
    return car;
  }
  // A Sim in the document with that run state, running its cars or not.
  BaseObject* NewSim(LONG run_state, Bool running = true, Bool display = false) {
    BaseObject* sim = BaseObject::Alloc(ID_SIM);
    EXPECT_NE(sim, nullptr);
    doc->InsertObject(sim, nullptr, nullptr);
    BaseContainer* bc = sim->GetDataInstance();
    bc->SetLong(SIM_RUN_STATE, run_state);
    bc->SetBool(SIM_RUNNING, running);
    bc->SetBool(SIM_DISPLAY, display);
    return sim;
  }
  BaseObject* NewObject(LONG type, BaseObject* parent = nullptr) {
    BaseObject* op = BaseObject::Alloc(type);
    EXPECT_NE(op, nullptr);
    doc->InsertObject(op, parent, nullptr);
    return op;
  }
  // An add-on tag on op made for owner (0: for nobody).
  static BaseTag* AddTag(BaseObject* op, LONG type, LONG owner) {
    BaseTag* tag = op->MakeTag(type);
    EXPECT_NE(tag, nullptr);
    if (tag) tag->GetDataInstance()->SetLong(ADDON_TAG_OWNER, owner);
    return tag;
  }
  static Car* Data(BaseObject* car) { return car->GetNodeData<Car>(); }

  static constexpr const char* kPluginFolder = CARSIM_SOURCE_DIR "/vanto";
};
