#include "bake/sim_bake.h"

#include <cstdint>

#include "car/car_status.h"
#include "host_file.h"
#include "host_services.h"
#include "car/add_ons.h"
#include "sim/sim_params.h"
#include "sim/sim_run.h"
#include "carsim/link_message.h"

namespace {

void SendBakePhase(const SimRunView& run) {
  std::int32_t phase = run.GetBakePhase();
  // Read afresh each time: an evaluation may have collected the cars again.
  for (LONG i = 0; i < run.CarCount(); ++i) {
    BaseObject* car = run.Cars()[i].object;
    if (!car) continue;
    SimLinkMessage msg{SIMLINK_BAKE_PHASE, &phase};
    car->Message(MSG_SIMLINK, &msg);
  }
}

bool EscapePressed() {
  BaseContainer state;
  return GetInputState(BFM_INPUT_KEYBOARD, KEY_ESC, state) && state.GetLong(BFM_INPUT_VALUE) != 0;
}

BaseTime NextFrame(const BaseTime& t, LONG fps) { return BaseTime(t.GetNumerator() + 1.0, static_cast<Real>(fps)); }

}  // namespace

void BakeSimulation(BaseDocument* doc, BaseObject* sim, SimRunView& run) {
  if (!doc || !sim || sim->GetType() != ID_SIM) return;
  BaseContainer* bc = sim->GetDataInstance();
  // Stepping a disabled Sim would run nothing and record nothing over the
  // keys the cars already carry.
  if (bc->GetLong(SIM_RUN_STATE) == SIMSTATE_BAKED) {
    MessageDialog(GeLoadString(IDS_SIM_ALREADY_BAKED));
    return;
  }

  const LONG fps = doc->GetFps();
  const BaseTime start = QuantizeToFrames(bc->GetTime(SIM_BAKE_START), fps);
  BaseTime end = QuantizeToFrames(bc->GetTime(SIM_BAKE_END), fps);
  BaseTime t = QuantizeToFrames(bc->GetTime(SIM_START), fps);

  GeShowMouse(MOUSE_BUSY);
  doc->SetTime(t);
  end = NextFrame(end, fps);
  for (;;) {
    if (EscapePressed()) end = t;
    LONG phase = run.GetBakePhase();
    if (t == start) phase = BAKEPHASE_FIRST;
    if (t > start) phase = BAKEPHASE_INSIDE;
    if (!(t < end)) phase = BAKEPHASE_LAST;
    run.SetBakePhase(phase);
    SendBakePhase(run);

    t = QuantizeToFrames(t, fps);
    doc->SetTime(t);
    doc->ExecutePasses(nullptr, true, true, false, 2);
    GeSyncMessage(EVMSG_TIMECHANGED);
    EventAdd(EVENT_ANIMATE);

    t = NextFrame(t, fps);
    if (t > end) break;
  }
  run.SetBakePhase(BAKEPHASE_NONE);
  SendBakePhase(run);

  bc->SetBool(SIM_RUNNING, false);
  bc->SetLong(SIM_RUN_STATE, SIMSTATE_BAKED);
  doc->SetTime(BaseTime(0.0, static_cast<Real>(fps)));
  GeShowMouse(MOUSE_NORMAL);
  EventAdd(EVENT_FORCEREDRAW);
}

void RebuildCars(BaseDocument*, BaseObject* sim) {
  if (!sim) return;
  for (BaseObject* c = sim->GetDown(); c; c = c->GetNext()) {
    if (c->GetType() != ID_CAR) continue;
    SimLinkMessage msg{SIMLINK_REBUILD, nullptr};
    c->Message(MSG_SIMLINK, &msg);
  }
  sim->GetDataInstance()->SetLong(SIM_RUN_STATE, SIMSTATE_RESET);
}
