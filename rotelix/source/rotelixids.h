// Numbers the wheel-rig add-on shares with the host and with the Car: the
// tag's parameter ids, the Car's parameters and rig links that the tag reads,
// and the ids of its string resources. The values are stored in scene files
// and read across the two plug-ins, so they never change.
#pragma once

#include "host_types.h"

enum : LONG {
  ID_ROTELIX_TAG = 1026470,
  ID_CAR_OBJECT = 1019402,
};

// The tag's container.
enum RotelixParam : LONG {
  ROTELIX_VERSION = 998,    // String
  ROTELIX_OWNER = 999,      // LONG: the plug-in type this tag belongs to
  ROTELIX_ADD_AXLE = 1050,  // button
  ROTELIX_REMOVE_AXLE = 1051,
  ROTELIX_ON = 1090,            // Bool: the rig follows the car
  ROTELIX_SPROCKET_MODE = 1091, // LONG
  ROTELIX_AXLE_GROUP = 1100,    // + e, dynamic group
  ROTELIX_AXLE_TEMPLATE = 1140, // + e, LONG 0/1
  ROTELIX_AXLE_SWITCH = 1160,   // + e, Bool
  ROTELIX_SKID_LINK = 1200,     // + 2e + side
  ROTELIX_SPRING_LINK = 1250,   // + 2e + side
  ROTELIX_BUILD_SKIDS = 1300,   // + e, button
  ROTELIX_BUILD_SPRINGS = 1320, // + e, button
  ROTELIX_SELECT_ROLLER = 1380, // + k, button
  ROTELIX_ROLLER_LINK = 1400,   // + 2k + side
  ROTELIX_TRACK_AXLE = 1450,    // + car axle i, Bool
  ROTELIX_FRONT_LINK = 1500,    // + side
  ROTELIX_FRONT_RADIUS = 1502,
  ROTELIX_FRONT_TRAVEL = 1503,
  ROTELIX_FRONT_TENSIONER = 1504,
  ROTELIX_BUILD_FRONT = 1505,
  ROTELIX_REAR_LINK = 1510,  // + side
  ROTELIX_REAR_RADIUS = 1512,
  ROTELIX_REAR_TRAVEL = 1513,
  ROTELIX_REAR_TENSIONER = 1514,
  ROTELIX_BUILD_REAR = 1515,
  ROTELIX_ADD_ROLLER = 1530,
  ROTELIX_REMOVE_ROLLER = 1531,
  ROTELIX_ROLLER_RADIUS = 1532,
  ROTELIX_TRACK_LINK = 1550,  // + side
  ROTELIX_BUILD_TRACKS = 1552,
  ROTELIX_TREAD_LINK = 1600,  // + side: first tread link of the track
  ROTELIX_TREAD_LENGTH = 1602,
  ROTELIX_TRACK_INSET = 1603,
  ROTELIX_TREAD_OFFSET = 1604,
  ROTELIX_BUILD_TREADS = 1605,
  ROTELIX_AXLE_COUNT = 2000,  // LONG, extra axles 0 .. 8 (the Car reads it too)
  ROTELIX_FRONT_REST = 2001,  // Vector
  ROTELIX_REAR_REST = 2002,   // Vector
  ROTELIX_ROLLER_COUNT = 2100,
  // Groups of the static description.
  ROTELIX_GROUP_AXLES = 5000,
  ROTELIX_GROUP_TRACK_AXLES = 5009,
  ROTELIX_GROUP_ROLLERS = 5011,
};

inline constexpr LONG kMaxExtraAxleCount = 8;
inline constexpr LONG kMaxRollerPairs = 8;
// Bools 1160 + n and 1450 + n start on for every index that can occur.
inline constexpr LONG kSwitchDefaults = 10;

// What the tag reads of its Car.
enum CarLink : LONG {
  CARP_VERSION = 998,            // String "VANTO! 1.70.4"
  CARP_DRAW_RIG = 1003,          // Bool: draw the rig guides
  CARP_WHEEL_DIAMETER_FRONT = 1020,
  CARP_WHEEL_DIAMETER_REAR = 1021,
  CARP_WHEEL_WIDTH_REAR = 1023,
  CARP_BODY = 5600,              // link
  CARP_HUB = 5602,               // + wheel
  CARP_SPROCKET = 5604,          // + side: the hubs of car axle 1
  CARP_SPINNER = 5622,           // + wheel
  CARP_SUSPENSION_BOTTOM = 5642, // + wheel
  CARP_REST_BODY = 6600,         // Vector
  CARP_REST_HUB = 6602,          // + wheel, Vector
  CARP_REST_REFERENCE = 6605,    // Vector: wheel 3, whose x is the rig's side offset
  CARP_AXLE_TYPE = 6622,         // + car axle, LONG
};

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
