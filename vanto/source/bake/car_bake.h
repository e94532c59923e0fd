// The car's side of a bake: what one recorded frame writes on the car's rig,
// gauges, outputs, springs, skid marks and deformed meshes, the thinning
// after the last frame, and the clearing on a rebuild. The car's evaluation
// calls the first two by bake phase; the rebuild message calls the third.
#pragma once

#include "scene/carstate.h"

class BaseDocument;
class BaseObject;

// The Sim's recording switches (Bools 1300 .. 1306) and the output groups
// each one adds to the recorded outputs.
enum : LONG {
  SIM_RECORD_GAUGES = 1300,     // needles and light; outputs 0x01
  SIM_RECORD_DRIVE = 1301,      // outputs 0x02
  SIM_RECORD_WHEELS = 1302,     // outputs 0x04
  SIM_RECORD_SPRINGS = 1303,    // spring helices; outputs 0x08
  SIM_RECORD_SKIDS = 1304,      // skid-mark rails; (no outputs)
  SIM_RECORD_DEFORM = 1305,     // deformation and attached parts; outputs 0x20
  SIM_RECORD_COMMANDS = 1306,   // outputs 0x40
};

// Keys of one bake frame at the document's current time. sim is the Sim
// whose switches select the groups (none without one); skidMask has bit
// 0x10 << i for every skid-mark rail i that grew this frame. Nothing is
// written without the body link; a missing wheel hub ends the frame there.
// True when every key was written.
Bool WriteBakeKeys(BaseDocument* doc, BaseObject* car, BaseObject* sim, CarState& state, LONG skidMask);

// Thins what the bake wrote (skid-mark rails are rewritten to grow key by
// key instead). Nothing is done without the body link.
void ThinBakeKeys(BaseDocument* doc, BaseObject* car, CarState& state);

// Deletes every track a bake writes on the car's rig. The wheels walked are
// those of the run and those the rig has now (4 + 2 per extra axle of the
// wheel-rig tag), whichever are more, so a car just loaded is cleared whole.
void ClearRecordedAnimation(BaseDocument* doc, BaseObject* car, CarState& state);
