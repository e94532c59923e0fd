// The run-time record of a caterpillar-track rig: the table of wheels the
// track runs around, in the order the closed track meets them, and the
// writer of the two track splines.
//
// All table geometry lies in the car's YZ plane (x = 0); the two splines
// share one point set and stand at -x / +x of the car. Side 0 is the car's
// -x side, side 1 its +x side; entry 2g + side is wheel group g on that side.
#pragma once

#include "host_geometry.h"

class BaseContainer;

enum TrackWheelFlags : LONG {
  TRACKWHEEL_WRAP = 1,  // the track wraps round it: arrival, arc, departure
  TRACKWHEEL_ROAD = 2,  // a wheel of a car axle
  TRACKWHEEL_END = 4,   // end-wheel pair
  TRACKWHEEL_ROLLER = 8,
  TRACKWHEEL_TENSIONER = 16,
};

struct TrackWheelEntry {
  LONG key;  // >= 0: car axle or roller index; -1 front end pair; -2 rear end pair
  Vector restPosition;
  Vector currentPosition;
  Real radius;
  Real tensionerTravel;  // 0 except on the tensioner
  Vector tensionDirection;
  LONG flags;            // TrackWheelFlags
  LONG departIndex;      // spline point where the track leaves the wheel
  LONG arriveIndex;      // spline point where it arrives (wrapped wheels)
  Vector departPoint;    // both as the rest pass wrote them
  Vector arrivePoint;
  LONG midIndex;  // middle point of the span to the next wheel, where there is one
};

inline constexpr LONG kMaxRoadGroups = 10;
inline constexpr LONG kMaxOtherGroups = 10;
inline constexpr LONG kMaxWheelGroups = kMaxRoadGroups + kMaxOtherGroups;

struct WheelRigState {
  LONG isSetUp;
  LONG isAnimated;
  LONG groupCount;
  LONG pointCount;
  LONG treadLinkCount;
  Real restLength;
  Real sagHalfLengthSum;
  Real carReferenceX;
  Real treadOffset[2];
  Real sprocketAngle[2];
  Vector sprocketPosition[2];
  TrackWheelEntry wheels[2 * kMaxWheelGroups];
};

void InitWheelRigState(WheelRigState& state);

// The outward normal of the outer common tangent from circle (c1, r1) to
// circle (c2, r2) in the YZ plane; zero for coinciding centres.
Vector CommonTangentNormal(const Vector& c1, const Vector& c2, Real r1, Real r2);
Real ClampedAsin(Real x);
// The angle between two vectors in 0 .. pi; 0 when either is zero.
Real AngleBetween(const Vector& a, const Vector& b);

// Fills the table from the car's rest pose and the tag's rig objects. False,
// with the state untouched, when fewer than two road wheels are selected.
Bool BuildTrackWheelTable(BaseDocument* doc, BaseObject* car, const BaseContainer& tag, WheelRigState& state);
// The number of spline points the table needs.
LONG CountTrackPoints(const WheelRigState& state);

enum : LONG { TRACKFILL_REST = 0, TRACKFILL_FRAME = 1 };
// Writes the points and Bezier handles of one track (state.pointCount of
// each). The rest pass records the point indices, the departure and arrival
// points and the sum of the sagging spans' half lengths.
void FillTrackSplinePoints(Vector* points, Tangent* tangents, LONG side, Real inset, LONG mode,
                           WheelRigState& state);

// The tag's link as a spline object; null when it does not resolve or holds
// another kind of object.
SplineObject* GetTrackSpline(const BaseContainer& tag, LONG id, BaseDocument* doc);
