// The car's geometry handles: body size and height above the ground, roof
// width and its front and rear edges, width and diameter of the two wheel
// sizes, track and position of the first two axles, and the position of every
// extra axle. Positions are in the car object's frame, scene units. Dragging
// a handle writes the car's parameters or moves the rig object it stands for;
// values beyond their limits are clamped, never refused.
#pragma once

#include "scene/carstate.h"
#include "host_draw.h"

inline constexpr LONG kCarBaseHandles = 15;
// 15 handles for four wheels, one more for every extra axle.
inline constexpr LONG kCarMaxHandles = kCarBaseHandles + (kMaxWheels - 4) / 2;

// Handle numbers (extra axle e is kHandleExtraAxle + e).
enum CarHandle : LONG {
  kHandleBodyWidth = 0,
  kHandleBodyHeight,
  kHandleBodyLength,
  kHandleBodyBottom,
  kHandleRoofWidth,
  kHandleRoofFront,
  kHandleRoofRear,
  kHandleWheelWidth1,
  kHandleWheelDiameter1,
  kHandleWheelWidth2,
  kHandleWheelDiameter2,
  kHandleTrack0,
  kHandleAxle0,
  kHandleTrack1,
  kHandleAxle1,
  kHandleExtraAxle,
};

// Smallest sizes a drag leaves, scene units: body, roof and wheel sizes,
// and the roof's height above the body top.
inline constexpr Real kHandleMinSize = 1.0;
inline constexpr Real kHandleMinRoofHeight = 10.0;

// 15 + (wheelCount - 4) / 2, the wheel count taken within 0 .. 20.
LONG CarHandleCount(const CarState& state);

// Refreshes the state's body size and roof corners from the car's container,
// computes handle i and stores its position in cache[i] (cache holds
// kCarMaxHandles entries). A handle number outside the count leaves info and
// the cache alone.
void GetCarHandle(BaseObject* op, CarState& state, Vector* cache, LONG i, HandleInfo& info);

// Applies the dragged position p of handle i (object frame) and updates the
// cache entries of the handles it moves. Links are resolved in the car's own
// document; a link that does not resolve leaves its object alone.
void SetCarHandle(BaseObject* op, CarState& state, Vector* cache, LONG i, const Vector& p);
