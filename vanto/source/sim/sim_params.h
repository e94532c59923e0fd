// The Sim's stored parameters and the frame rounding that its run and its
// bake share.
#pragma once

#include "host_types.h"

// Parameters of the Sim (besides SIM_RUNNING, SIM_DISPLAY and SIM_RUN_STATE
// of car_status.h).
enum SimParam : LONG {
  SIM_VERSION = 998,
  SIM_STEPS_PER_SECOND = 1000,
  SIM_GRAVITY = 1002,
  SIM_START = 1008,  // Time
  SIM_TIME_SCALE = 1009,
  SIM_ADD_CAR = 1020,
  SIM_ADD_CUBE = 1021,
  SIM_ADD_CYLINDER = 1022,
  SIM_ADD_POLYGON = 1023,
  SIM_PROP_TAG = 1030,  // Bool: a new car gets a crumple-zone tag
  SIM_CUBE_SIZE = 1031,
  SIM_CYLINDER_SIZE = 1032,
  SIM_POLYGON_CORNERS = 1033,
  SIM_BAKE = 1200,
  SIM_BAKE_START = 1201,
  SIM_BAKE_END = 1202,
  SIM_BAKE_RANGE = 1203,
  SIM_REBUILD = 1204,
  SIM_RECORD_FIRST = 1300,  // 1300 .. 1306: recording switches
  SIM_RECORD_LAST = 1306,
  SIM_ENGINE_OK = 5001,  // Bool: false after the engine failed
};

// A time rounded down to whole frames at fps (at least 1); the frame number
// is its numerator. A denominator below 1 never divides.
BaseTime QuantizeToFrames(const BaseTime& t, Real fps);
