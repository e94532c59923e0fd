// The scene's half of a car's command record: the engine's slots
// (engine/command_track.h) with the marker last applied, the names shown for
// it and, per slot, the settings of the tag it plays. The links are borrowed
// from the document and re-checked before every advance.
#pragma once

#include "engine/command_track.h"
#include "host_types.h"

class BaseContainer;
class BaseObject;

struct CommandState : CommandTrackState {
  BaseObject* lastMarker = nullptr;  // borrowed
  String markerName;
  String markerLabel;
  const BaseContainer* slotSettings[kCommandSlots] = {};  // settings of the tag each slot plays
};
