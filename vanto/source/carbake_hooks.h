// What the car's evaluation calls of the bake recording: one frame of keys
// while the Sim bakes, and the thinning after its last frame. The recording
// lives with the baking code; until it lands these do nothing.
#pragma once

#include "carstate.h"

class BaseDocument;
class BaseObject;

// Writes the keys of one bake frame at the document's current time. sim is
// the Sim whose recording switches (Bools 1300 .. 1306) select the groups;
// skidMask has bit 0x10 << i for every skid-mark rail that grew this frame.
void WriteBakeKeys(BaseDocument* doc, BaseObject* car, BaseObject* sim, CarState& state, LONG skidMask);
// Thins the keys the bake wrote.
void ThinBakeKeys(BaseDocument* doc, BaseObject* car, CarState& state);
// Deletes every animation track a bake wrote on the car's rig.
void ClearRecordedAnimation(BaseDocument* doc, BaseObject* car, CarState& state);
