// The add-ons found beside the plug-in, and the registered IDs by which the
// objects and tags know each other without the start-up code.
#pragma once

#include "carsim/plugin_ids.h"
#include "host_plugin.h"

// Bit 0: the Kolvaris tag plug-in is registered. Filled by DetectAddOns,
// which only Sim::Init calls.
extern LONG AddOnFlags;
void DetectAddOns();
