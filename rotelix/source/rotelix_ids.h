// Numbers of the wheel-rig add-on alone: its limits and the ids of its
// string resources. The tag's parameter ids and the Car's that it reads are
// carsim/car_param_ids.h, shared with vanto.
#pragma once

#include "carsim/car_param_ids.h"
#include "carsim/plugin_ids.h"
#include "host_types.h"

// The Car's rig as the tag reads it: the hubs of car axle 1 drive the
// tracks (+ side), and wheel 3's rest x is the rig's side offset.
inline constexpr LONG kSprocketHub = RIG_HUB + 2;
inline constexpr LONG kRestReference = RIG_REST_HUB + 3;

inline constexpr LONG kMaxRollerPairs = 8;
// Bools 1160 + n and 1450 + n start on for every index that can occur.
inline constexpr LONG kSwitchDefaults = 10;

// String resources.
enum : LONG {
  IDS_ROTELIX = 10000,
  IDS_AXLE = 10100,
  IDS_AXLE_WHEELS = 10101,
  IDS_AXLE_WHEELS_FIRST = 10102,
  IDS_AXLE_WHEELS_SECOND = 10103,
  IDS_AXLE_SWITCH = 10104,
  IDS_SKID_MARKS = 10105,
  IDS_SPRING = 10106,
  IDS_ROLLER = 10107,
  IDS_BUILD = 10108,
  IDS_SELECT = 10109,
  IDS_RIG_FOLDER = 10110,
  IDS_FRONT = 10111,
  IDS_REAR = 10112,
  IDS_SIDE0 = 10113,
  IDS_SIDE1 = 10114,
  IDS_END_WHEEL = 10115,
  IDS_RETURN_ROLLER = 10116,
  IDS_TRACK = 10117,
  IDS_TREAD_LINK = 10118,
  IDS_TRACK_NEEDS_WHEELS = 10119,  // the track buttons' message: too few wheels
};

inline constexpr const char* kRotelixVersion = "Rotelix 1.01.0";
