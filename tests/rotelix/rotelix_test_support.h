// A document with the Rotelix tag registered in-process and a stand-in Car
// that records the rig commands it gets, for the wheel-rig tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "plugin_in_process.h"
#include "host_description.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_services.h"
#include "rotelix_ids.h"
#include "scene_checks.h"
#include "track_anim.h"
#include "track_rig.h"
#include "track_tag.h"

// Answers rig commands the way the test asks and keeps each request.
class FakeCar : public ObjectData {
 public:
  static NodeData* Alloc() { return new FakeCar; }
  Bool Message(GeListNode*, LONG type, void* data) override {
    if (type != MSG_SIMLINK || !data) return true;
    auto* msg = static_cast<SimLinkMessage*>(data);
    if (msg->command != SIMLINK_RIG_COMMAND || !msg->payload) return true;
    auto& cmd = *static_cast<RigCommand*>(msg->payload);
    log.push_back(cmd);
    if (cmd.kind == RIGCOMMAND_ADD_AXLE) cmd.kind = addResult;
    if (cmd.kind == RIGCOMMAND_SKID_MARKS || cmd.kind == RIGCOMMAND_SPRINGS) {
      if (result0) cmd.result0 = result0;
      if (result1) cmd.result1 = result1;
    }
    return answer;
  }

  static inline std::vector<RigCommand> log;
  static inline Bool answer = true;
  static inline LONG addResult = 1;
  static inline BaseObject* result0 = nullptr;
  static inline BaseObject* result1 = nullptr;
  static void Reset() {
    log.clear();
    answer = true;
    addResult = 1;
    result0 = result1 = nullptr;
  }
};

class RotelixTest : public testsupport::PluginDocumentTest {
 protected:
  RotelixTest() : PluginDocumentTest(kPluginFolder) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(PluginDocumentTest::SetUp());
    ASSERT_TRUE(RegisterObjectPlugin(ID_CAR, "Car", 0, FakeCar::Alloc, "", nullptr, 0));
    FakeCar::Reset();
  }
  void TearDown() override {
    PluginDocumentTest::TearDown();
    FakeCar::Reset();
  }

  struct Axle {
    Real y, z;
  };

  // A car whose body carries one hub per wheel (spinner and suspension
  // bottom under it) at the rest positions given, hubs at -x / +x of xref.
  // Both wheel sizes are 2 r across.
  BaseObject* NewCar(std::vector<Axle> axles = {{30.0, 150.0}, {30.0, -120.0}}, Real xref = 80.0, Real r = 30.0) {
    BaseObject* car = BaseObject::Alloc(ID_CAR);
    EXPECT_NE(car, nullptr);
    if (!car) return nullptr;
    doc->InsertObject(car, nullptr, nullptr);
    BaseContainer* bc = car->GetDataInstance();
    bc->SetString(CAR_VERSION, "VANTO! 1.70.4");
    bc->SetBool(CAR_DRAW_RIG, true);
    bc->SetReal(CAR_WHEEL_DIAMETER_FRONT, 2.0 * r);
    bc->SetReal(CAR_WHEEL_DIAMETER_REAR, 2.0 * r);
    bc->SetReal(CAR_WHEEL_WIDTH_REAR, 25.0);
    BaseObject* body = NewNull(car, "Body");
    bc->SetLink(RIG_BODY, body);
    bc->SetVector(RIG_REST_BODY, Vector(0.0, 50.0, 0.0));
    for (size_t i = 0; i < axles.size(); ++i) {
      bc->SetLong(RIG_AXLE_TYPE + static_cast<LONG>(i), i == 0 ? 0 : 1);
      for (LONG s = 0; s < 2; ++s) {
        const LONG w = 2 * static_cast<LONG>(i) + s;
        const Vector pos((s == 0 ? -1.0 : 1.0) * xref, axles[i].y, axles[i].z);
        BaseObject* hub = NewNull(body, "Hub");
        hub->SetRelPos(pos);
        bc->SetLink(RIG_HUB + w, hub);
        bc->SetLink(RIG_SUSPENSION_BOTTOM + w, NewNull(hub, "Bottom"));
        bc->SetLink(RIG_SPINNER + w, NewNull(hub, "Spinner"));
        bc->SetVector(RIG_REST_HUB + w, pos);
      }
    }
    return car;
  }

  BaseObject* NewNull(BaseObject* parent, const char* name) {
    BaseObject* op = BaseObject::Alloc(Onull);
    EXPECT_NE(op, nullptr);
    op->SetName(name);
    doc->InsertObject(op, parent, parent ? parent->GetDownLast() : nullptr);
    return op;
  }

  static BaseTag* NewTag(BaseObject* car) {
    BaseTag* tag = car->MakeTag(ID_ROTELIX);
    EXPECT_NE(tag, nullptr);
    return tag;
  }
  static Rotelix* Data(BaseTag* tag) { return tag->GetNodeData<Rotelix>(); }
  static WheelRigState& State(BaseTag* tag) { return Data(tag)->State(); }
  static BaseContainer& Bc(BaseTag* tag) { return *tag->GetDataInstance(); }

  static void Press(BaseTag* tag, LONG id) {
    DescID d(id);
    tag->Message(MSG_DESCRIPTION_COMMAND, &d);
  }
  static void Set(BaseTag* tag, LONG id, const GeData& value) {
    tag->GetDataInstance()->SetData(id, value);
    DescID d(id);
    PostSetParameterData data{&d};
    tag->Message(MSG_DESCRIPTION_POSTSETPARAMETER, &data);
  }
  BaseObject* Link(BaseTag* tag, LONG id) { return Bc(tag).GetObjectLink(id, doc); }
  SplineObject* Track(BaseTag* tag, LONG side) { return GetTrackSpline(Bc(tag), ROTELIX_TRACK_LINK + side, doc); }

  void Evaluate(BaseTag* tag, Real seconds) {
    doc->SetTime(BaseTime(seconds * 30.0, 30.0));
    Data(tag)->Execute(tag, doc, tag->GetObject(), nullptr, EXECUTIONPRIORITY_EXPRESSION, 0);
  }

  // Switches the rig on and builds both end pairs, `rollers` roller pairs,
  // the tracks and the tread links through the tag's buttons.
  void BuildRig(BaseTag* tag, LONG rollers = 0) {
    Bc(tag).SetBool(ROTELIX_ON, true);
    Press(tag, ROTELIX_BUILD_FRONT);
    Press(tag, ROTELIX_BUILD_REAR);
    for (LONG k = 0; k < rollers; ++k) Press(tag, ROTELIX_ADD_ROLLER);
    Press(tag, ROTELIX_BUILD_TRACKS);
    Press(tag, ROTELIX_BUILD_TREADS);
  }

  static constexpr const char* kPluginFolder = CARSIM_SOURCE_DIR "/rotelix";
};
