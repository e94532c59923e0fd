// The record of host message 23, with which the Sim, the cars, the tags and
// the add-ons hand each other data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host_types.h"

struct SimLinkMessage {
  std::int32_t command;
  void* payload;
};

static_assert(offsetof(SimLinkMessage, command) == 0);
static_assert(offsetof(SimLinkMessage, payload) == alignof(void*) && sizeof(SimLinkMessage) == 2 * sizeof(void*));

enum : std::int32_t {
  SIMLINK_FREE_CACHE = 0,
  SIMLINK_BAKE_PHASE = 1,    // payload: the int32 bake phase
  SIMLINK_GET_RECORD = 2,    // payload out: the receiver's record
  SIMLINK_GROUND_QUERY = 4,  // payload: a ground query
  SIMLINK_REBUILD = 0x20,
  SIMLINK_RIG_COMMAND = 0x400,  // payload: a rig command
};
