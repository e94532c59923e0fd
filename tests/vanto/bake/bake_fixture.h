// The Sim-and-car fixture of the run tests, with a stand-in wheel-rig tag and
// a recorder tag that logs, on every evaluation of its car, the frame and the
// bake phase the car holds.
#pragma once

#include <utility>
#include <vector>

#include "../sim/sim_fixture.h"
#include "bake_test_support.h"
#include "host_file.h"
#include "scene_build/object_builders.h"

namespace baketest {

inline constexpr LONG kRecorderTag = 1999501;

struct Recorded {
  LONG frame;
  LONG phase;
  LONG cursor;  // the host's cursor mode while the frame was evaluated
};

// What the recorder saw, and what it does at one frame (once).
struct RecorderLog {
  std::vector<Recorded> seen;
  LONG actAtFrame = -1;
  void (*act)(BaseDocument* doc, BaseObject* car) = nullptr;
};
inline RecorderLog& Log() {
  static RecorderLog log;
  return log;
}

class PhaseRecorder : public TagData {
 public:
  EXECUTIONRESULT Execute(BaseTag*, BaseDocument* doc, BaseObject* op, BaseThread*, LONG, LONG) override {
    if (!op || op->GetType() != ID_CAR) return EXECUTIONRESULT_OK;
    const LONG frame = doc->GetTime().GetFrame(doc->GetFps());
    Log().seen.push_back({frame, op->GetNodeData<Car>()->GetBakePhase(), hostevents::LastMouseMode()});
    if (frame == Log().actAtFrame && Log().act) {
      Log().actAtFrame = -1;
      Log().act(doc, op);
    }
    return EXECUTIONRESULT_OK;
  }
};

class BakeFixture : public simtest::VantoTest {
 protected:
  void SetUp() override {
    VantoTest::SetUp();
    Log() = RecorderLog{};
    hostinput::PressEscapeAfter(0);
    hostevents::Reset();
    ASSERT_TRUE(RegisterTagPlugin(ID_ROTELIX, "rig", TAG_VISIBLE, [] { return static_cast<NodeData*>(new TagData); },
                                  "", nullptr, 0));
    ASSERT_TRUE(RegisterTagPlugin(kRecorderTag, "recorder", TAG_VISIBLE | TAG_EXPRESSION,
                                  [] { return static_cast<NodeData*>(new PhaseRecorder); }, "", nullptr, 0));
  }
  void TearDown() override {
    hostinput::PressEscapeAfter(0);
    VantoTest::TearDown();
  }

  // A Sim at fps with the simulation start, bake start and bake end at these
  // frames, and one test car under it.
  BaseObject* SimAt(LONG fps, LONG simStart, LONG bakeStart, LONG bakeEnd) {
    doc->SetFps(fps);
    BaseObject* sim = AddSim();
    BaseContainer* bc = sim->GetDataInstance();
    bc->SetTime(SIM_START, At(simStart, fps));
    bc->SetTime(SIM_BAKE_START, At(bakeStart, fps));
    bc->SetTime(SIM_BAKE_END, At(bakeEnd, fps));
    return sim;
  }
  static void Record(BaseObject* car) { car->MakeTag(kRecorderTag); }

  // The editor's way: evaluated at time 0, then the bake button.
  void PressBake(BaseObject* sim) {
    doc->SetTime(BaseTime(0.0, 1.0));
    doc->ExecutePasses(nullptr, true, true, false);
    Log().seen.clear();
    DescID bake(SIM_BAKE);
    sim->Message(MSG_DESCRIPTION_COMMAND, &bake);
  }

  static BaseObject* Link(BaseObject* car, LONG id) {
    return car->GetDataInstance()->GetObjectLink(id, car->GetDocument());
  }

  // Tracks on every object of the document (tags excluded).
  LONG AllTracks() const {
    LONG n = 0;
    doc->ForEachObject([&](BaseObject* op) { n += TrackCount(op); });
    return n;
  }
};

}  // namespace baketest
