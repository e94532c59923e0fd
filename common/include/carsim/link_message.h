// The record of host message 23, with which the Sim, the cars, the tags and
// the add-ons hand each other data, and the rig command the wheel-rig tag
// sends its car through it.
//
// Both records cross module boundaries as raw memory (vanto, rotelix and
// kolvaris are built apart and meet only through the host), so their layout
// is fixed here once for every module and checked for 64- and 32-bit builds.
// The header needs nothing of the host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "carsim/car_param_ids.h"

class BaseObject;

struct SimLinkMessage {
  std::int32_t command;
  void* payload;  // in or out, by command
};

enum : std::int32_t {
  SIMLINK_FREE_CACHE = 0,       // ground tag: drop its cached ground
  SIMLINK_BAKE_PHASE = 1,       // payload: the int32 bake phase
  SIMLINK_GET_RECORD = 2,       // payload out: the receiver's record
  SIMLINK_GROUND_QUERY = 4,     // payload: a ground query
  SIMLINK_REBUILD = 0x20,       // clear recorded keys, rig back to rest
  SIMLINK_RIG_COMMAND = 0x400,  // payload: a RigCommand
};

// Bake phases carried by SIMLINK_BAKE_PHASE.
enum : std::int32_t { BAKEPHASE_NONE = 0, BAKEPHASE_INSIDE = 1, BAKEPHASE_LAST = 2, BAKEPHASE_FIRST = 3 };

// A request of the wheel-rig tag to its car; the car reads and writes it in
// place.
struct RigCommand {
  std::int32_t kind;   // RIGCOMMAND_*; kind 1 gets its result written back here
  std::int32_t index;  // extra axle, 0 .. 7
  std::int32_t value;  // kinds 1, 2: the value; kinds 10, 11: 0 front sizes, else rear
  std::int32_t reserved;
  BaseObject* result0;  // out (kinds 10, 11): side 0's object
  BaseObject* result1;  // out (kinds 10, 11): side 1's object
};

enum : std::int32_t {
  RIGCOMMAND_ADD_AXLE = 1,
  RIGCOMMAND_SET_AXLE_TYPE = 2,
  RIGCOMMAND_REMOVE_AXLE = 3,
  RIGCOMMAND_SKID_MARKS = 10,
  RIGCOMMAND_SPRINGS = 11,
};

// Extra axles a rig command may address.
inline constexpr std::int32_t kRigCommandAxles = kMaxExtraAxles;

namespace simlink_layout {
inline constexpr bool k64 = sizeof(void*) == 8;
static_assert(sizeof(void*) == 8 || sizeof(void*) == 4, "only 32- and 64-bit builds");
}  // namespace simlink_layout

static_assert(offsetof(SimLinkMessage, command) == 0);
static_assert(offsetof(SimLinkMessage, payload) == (simlink_layout::k64 ? 8 : 4));
static_assert(sizeof(SimLinkMessage) == (simlink_layout::k64 ? 16 : 8));

static_assert(offsetof(RigCommand, kind) == 0);
static_assert(offsetof(RigCommand, index) == 4);
static_assert(offsetof(RigCommand, value) == 8);
static_assert(offsetof(RigCommand, reserved) == 12);
static_assert(offsetof(RigCommand, result0) == 16);
static_assert(offsetof(RigCommand, result1) == (simlink_layout::k64 ? 24 : 20));
static_assert(sizeof(RigCommand) == (simlink_layout::k64 ? 32 : 24));
