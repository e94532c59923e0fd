// Every number stored in a Car's container, in its rig links and in the
// add-on tags' containers that more than one module reads, each under one
// name. Scene files and the modules (built apart) meet on these values, so
// they never change; a neighbour is derived from its base rather than typed
// again, and the asserts at the end pin the values the modules share.
// Stand-alone: needs nothing of the host.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------- the Car's container

enum CarParam : std::int32_t {
  CAR_VERSION = 998,  // String, "VANTO! 1.70.4"

  // object, display and start
  CAR_LINK_PAIRS = 1001,
  CAR_DRAW_SECTOR = 1002,
  CAR_DRAW_RIG = 1003,
  CAR_DRAW_DASHBOARD = 1004,
  CAR_DRAW_OUTLINE = 1005,
  CAR_START_MODE = 1006,  // 1 route, 2 first command marker, else the position below
  CAR_START_POSITION = 1007,
  CAR_START_HEADING = 1008,
  CAR_START_DELAY = 1009,
  CAR_BODY_SIZE = 1013,
  CAR_ENGINE_SIZE = 1014,
  CAR_ROOF_SIZE = 1018,
  CAR_ROOF_Z = 1019,
  CAR_WHEEL_DIAMETER_FRONT = 1020,
  CAR_WHEEL_DIAMETER_REAR = 1021,
  CAR_WHEEL_WIDTH_FRONT = 1022,
  CAR_WHEEL_WIDTH_REAR = 1023,
  CAR_SAVE_SETTINGS = 1030,
  CAR_DESCRIPTION = 1031,
  CAR_AUTHOR = 1032,
  CAR_LOAD_SETTINGS = 1035,
  CAR_LOAD_GEOMETRY = 1036,
  CAR_LOAD_MASS = 1038,
  CAR_LOAD_DRIVE = 1040,
  CAR_LOAD_SUSPENSION = 1042,
  CAR_LOAD_CRUMPLE = 1044,
  CAR_FIT_RIG = 1050,
  CAR_BUILD_RIG = 1051,

  // masses, aerodynamics, brakes and tyres
  CAR_MASS_BODY = 1100,
  CAR_MASS_ENGINE = 1101,
  CAR_MASS_WHEEL_FRONT = 1102,
  CAR_MASS_WHEEL_REAR = 1103,
  CAR_DRAG = 1110,
  CAR_DOWNFORCE_FRONT = 1114,
  CAR_DOWNFORCE_REAR = 1115,
  CAR_BRAKE_FRONT = 1120,
  CAR_BRAKE_REAR = 1121,
  CAR_HANDBRAKE = 1122,
  CAR_CORNERING_FRONT = 1150,
  CAR_CORNERING_REAR = 1151,
  CAR_LONGITUDINAL_FRONT = 1152,
  CAR_LONGITUDINAL_REAR = 1153,

  // power train and gears
  CAR_DRIVE = 1500,  // 1 front, 2 rear, 3 all four
  CAR_MAX_RPM = 1510,
  CAR_MAX_TORQUE = 1511,
  CAR_TORQUE_CURVE = 1600,
  CAR_GEAR_COUNT = 1690,
  CAR_GEAR_GROUP = 1699,
  CAR_GEAR_REVERSE = 1700,  // 1700 + i: forward gear i
  CAR_GEAR_FINAL = 1720,
  CAR_CLUTCH = 1721,
  CAR_SHIFT_DOWN = 1750,
  CAR_SHIFT_UP = 1751,
  CAR_TRACTION_CONTROL = 1760,
  CAR_TRACTION_THRESHOLD = 1761,
  CAR_ANTILOCK = 1762,
  CAR_ANTILOCK_THRESHOLD = 1763,

  // suspension and steering
  CAR_SPRING_FRONT = 1800,
  CAR_SPRING_REAR = 1801,
  CAR_DAMPER_FRONT = 1802,
  CAR_DAMPER_REAR = 1803,
  CAR_ANTIROLL_FRONT = 1804,
  CAR_ANTIROLL_REAR = 1805,
  CAR_CAMBER_FRONT = 1812,
  CAR_CAMBER_REAR = 1813,
  CAR_STEERING_LOCK = 1820,
  CAR_CASTER = 1821,
  CAR_STEERING_RATE = 1822,

  // crumple zone (needs the crumple-zone tag)
  CAR_OUTLINE_LINK = 1855,
  CAR_OUTLINE_BUILD = 1856,
  CAR_FORCE_PRESET = 1860,
  CAR_COUNTERFORCE_FRONT = 1864,
  CAR_CRUMPLE_FRONT = 1865,
  CAR_COUNTERFORCE_REAR = 1866,
  CAR_CRUMPLE_REAR = 1867,
  CAR_COUNTERFORCE_SIDE = 1868,
  CAR_CRUMPLE_SIDE = 1869,
  CAR_FORCE_CURVE = 1880,
  CAR_CRASH_FRONT_MODE = 1890,  // then hold time and brake strength; sides 1893.., rear 1896..
  CAR_CRASH_SIDE_MODE = 1893,
  CAR_CRASH_REAR_MODE = 1896,

  // autopilot, commands and ground
  CAR_ROUTE_GROUP = 1900,
  CAR_ROUTE_ADD = 1901,
  CAR_ROUTE_WRAP = 1902,
  CAR_ANTICIPATION = 1903,
  CAR_SPEED_LEARNING = 1904,
  CAR_SPEED_CLEAR = 1905,
  CAR_GAP_DISTANCE = 1906,
  CAR_LATERAL_OFFSET = 1907,
  CAR_SPEED_SCALE = 1908,
  CAR_GAP_MARGIN = 1911,
  CAR_GAP_ANGLE = 1912,
  CAR_GAP_SAME_ROUTE = 1913,
  CAR_COMMAND_GROUP = 1920,
  CAR_COMMAND_LEVEL = 1922,
  CAR_GROUND_GROUP = 1940,
  CAR_GROUND_HEIGHT = 1942,
  CAR_GROUND_GRIP = 1943,
  CAR_BODY_CONTACT = 1944,

  // instruments, springs, skid marks and deformation
  CAR_OUTPUT_OBJECT = 2000,  // link: the null mirroring the outputs
  CAR_NEEDLE_STEER_LINK = 2030,
  CAR_NEEDLE_STEER = 2031,
  CAR_NEEDLE_THROTTLE_LINK = 2035,
  CAR_NEEDLE_THROTTLE = 2036,
  CAR_NEEDLE_BRAKE_LINK = 2040,
  CAR_NEEDLE_BRAKE = 2041,
  CAR_NEEDLE_HANDBRAKE_LINK = 2045,
  CAR_NEEDLE_HANDBRAKE = 2046,
  CAR_BRAKE_LIGHT_LINK = 2050,
  CAR_BRAKE_LIGHT_LEVEL = 2051,
  CAR_SPRING_LINKS = 2060,  // + i: spring helix of base wheel i < 4
  CAR_SPRING_COIL_RADIUS = 2065,
  CAR_SKID_LINKS = 2080,  // + i: skid-mark sweep of base wheel i < 4
  CAR_SKID_MAX_POINTS = 2084,
  CAR_SKID_SLIP_BAND = 2085,
  CAR_SKID_SLIP_HIGH = 2086,
  CAR_SKID_SLIP_LOW = 2087,
  CAR_SKID_CONTACT_ONLY = 2088,
  CAR_SKID_TWO_RAILS = 2090,
  CAR_DEFORMER_LINK = 2100,
  CAR_DEFORMER_BUILD_A = 2102,
  CAR_DEFORMER_BUILD_B = 2103,
  CAR_OUTLINE_SUBDIVISIONS = 2104,
  CAR_FFD_GRID = 2105,
  CAR_DEFORMER_ANIMATED = 2108,
  CAR_DEFORMATION_FACTOR = 2109,
  CAR_FFD_LIFT = 2110,
  CAR_PARTS_LINK = 2115,
  CAR_PARTS_FIND = 2116,
  CAR_PARTS_FACTOR_A = 2117,
  CAR_PARTS_FACTOR_B = 2118,
  CAR_IMPULSE_SCALE = 2120,

  // description groups hidden without the crumple-zone tag
  CAR_GROUP_CRUMPLE = 10006,
  CAR_GROUP_DEFORMATION = 10055,

  // read-only outputs; "+ i" for wheel i < 4, "+ 2j" for side j < 4
  CAR_OUTPUT_SPEED_KMH = 2500,
  CAR_OUTPUT_FIRST = CAR_OUTPUT_SPEED_KMH,
  CAR_OUTPUT_SPEED_MS = 2501,
  CAR_OUTPUT_ENGINE_RPM = 2502,
  CAR_OUTPUT_GEAR = 2503,
  CAR_OUTPUT_THROTTLE = 2504,
  CAR_OUTPUT_BRAKE = 2505,
  CAR_OUTPUT_HANDBRAKE = 2506,
  CAR_OUTPUT_STEER = 2507,
  CAR_OUTPUT_TRACTION_CUT = 2508,
  CAR_OUTPUT_BRAKE_RELEASE = 2509,
  CAR_OUTPUT_WHEEL_SPIN = 2510,
  CAR_OUTPUT_WHEEL_SLIP = 2514,
  CAR_OUTPUT_LONGITUDINAL_FORCE = 2518,
  CAR_OUTPUT_LATERAL_FORCE = 2522,
  CAR_OUTPUT_SLIDING = 2526,
  CAR_OUTPUT_CONTACT = 2530,
  CAR_OUTPUT_COMPRESSION = 2534,
  CAR_OUTPUT_ROUTE = 2538,
  CAR_OUTPUT_MARKER = 2539,
  CAR_OUTPUT_GROUND = 2540,
  CAR_OUTPUT_SIDE_CONTACT = 2544,
  CAR_OUTPUT_SIDE_IMPULSE = 2545,
  CAR_OUTPUT_IMPACT_TIME = 2552,
  CAR_OUTPUT_COMMAND = 2553,
  CAR_OUTPUT_LAST = CAR_OUTPUT_COMMAND,

  CAR_SETTINGS_APPLIED = 5000,
  CAR_SPEED_TARGET_COUNT = 20000,
};

// Gears the model can take; LONG 1690 is clamped to this for the parameter
// entries, so a stored count never reaches the final ratio 1720.
inline constexpr std::int32_t kCarMaxForwardGears = 19;

// ---------------------------------------------------------------- the rig, in the Car's container

// Link ids (wheel i = 0 .. 19; extra axle a = 0 .. 7 owns wheels 4 + 2a and
// 5 + 2a): body, engine, then per wheel hub, spinner, suspension bottom and
// top; the rest positions follow the same pattern 1000 higher; LONG
// RIG_AXLE_TYPE + k is axle k's word (carsim/axle_word.h).
enum : std::int32_t {
  RIG_BODY = 5600,
  RIG_ENGINE = RIG_BODY + 1,
  RIG_HUB = RIG_BODY + 2,
  RIG_SPINNER = 5622,
  RIG_SUSPENSION_BOTTOM = 5642,
  RIG_SUSPENSION_TOP = 5662,
  RIG_REST_BODY = RIG_BODY + 1000,
  RIG_REST_ENGINE = RIG_ENGINE + 1000,
  RIG_REST_HUB = RIG_HUB + 1000,
  RIG_AXLE_TYPE = 6622,
  RIG_REST_SUSPENSION_BOTTOM = RIG_SUSPENSION_BOTTOM + 1000,
  RIG_REST_SUSPENSION_TOP = RIG_SUSPENSION_TOP + 1000,
  RIG_PART_MATRICES = 6000,
  // Vector: y below 0 asks the next run start for the reset form of the sag
  // shift (set when an old rig layout is brought up to date).
  RIG_SAG_RESET_MARK = RIG_REST_BODY - 1,
};

// A one-off force the next run step applies once, then clears.
enum : std::int32_t {
  CAR_FORCE = 2600,                   // Vector: N, host axes
  CAR_FORCE_POINT = CAR_FORCE + 1,    // Vector: its point, scene units
};

// Extra axles a car's rig can have (the wheel-rig tag's axle count, at most).
inline constexpr std::int32_t kMaxExtraAxles = 8;

// ---------------------------------------------------------------- the add-on tags' containers

// Items every add-on tag (wheel rig, crumple zone) carries.
enum : std::int32_t {
  ADDON_TAG_VERSION = 998,  // String: the tag's own version text
  ADDON_TAG_OWNER = 999,    // LONG: the plug-in the tag was made for (ID_CAR)
};

// The wheel-rig tag.
enum RotelixParam : std::int32_t {
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

// The wheel-rig tag's links by the car's wheel index i >= 4 (wheel 4 + 2e +
// side is extra axle e's side), as the Car walks its wheels.
enum : std::int32_t {
  WHEELRIG_SKID_MARKS = ROTELIX_SKID_LINK - 4,
  WHEELRIG_SPRINGS = ROTELIX_SPRING_LINK - 4,
};

// ---------------------------------------------------------------- stored values

static_assert(CAR_VERSION == 998 && CAR_DRAW_RIG == 1003);
static_assert(CAR_WHEEL_DIAMETER_FRONT == 1020 && CAR_WHEEL_DIAMETER_REAR == 1021 && CAR_WHEEL_WIDTH_REAR == 1023);
static_assert(CAR_ENGINE_SIZE == 1014 && CAR_MASS_BODY == 1100 && CAR_MASS_ENGINE == 1101);
static_assert(CAR_OUTPUT_OBJECT == 2000 && CAR_OUTPUT_FIRST == 2500 && CAR_OUTPUT_IMPACT_TIME == 2552 &&
              CAR_OUTPUT_LAST == 2553);
static_assert(CAR_SPRING_LINKS == 2060 && CAR_SKID_LINKS == 2080 && CAR_SPEED_TARGET_COUNT == 20000);
static_assert(RIG_BODY == 5600 && RIG_ENGINE == 5601 && RIG_HUB == 5602 && RIG_SPINNER == 5622 &&
              RIG_SUSPENSION_BOTTOM == 5642 && RIG_SUSPENSION_TOP == 5662);
static_assert(RIG_REST_BODY == 6600 && RIG_REST_ENGINE == 6601 && RIG_REST_HUB == 6602 && RIG_AXLE_TYPE == 6622 &&
              RIG_SAG_RESET_MARK == 6599 && CAR_FORCE == 2600 && CAR_FORCE_POINT == 2601 &&
              RIG_REST_SUSPENSION_BOTTOM == 6642 && RIG_REST_SUSPENSION_TOP == 6662 && RIG_PART_MATRICES == 6000);
static_assert(ADDON_TAG_VERSION == 998 && ADDON_TAG_OWNER == 999);
static_assert(ROTELIX_SKID_LINK == 1200 && ROTELIX_SPRING_LINK == 1250 && ROTELIX_AXLE_COUNT == 2000);
static_assert(WHEELRIG_SKID_MARKS == 1196 && WHEELRIG_SPRINGS == 1246);
static_assert(CAR_OUTPUT_THROTTLE == 2504 && CAR_OUTPUT_STEER == 2507 && CAR_OUTPUT_GEAR == 2503 &&
              CAR_OUTPUT_TRACTION_CUT == 2508 && CAR_OUTPUT_BRAKE_RELEASE == 2509 && CAR_OUTPUT_WHEEL_SPIN == 2510 &&
              CAR_OUTPUT_COMPRESSION == 2534 && CAR_OUTPUT_ROUTE == 2538 && CAR_OUTPUT_SIDE_CONTACT == 2544);
