// The scene's half of a car's autopilot record: the engine's route-following
// state (engine/autopilot.h) with the route objects it is bound to, the names
// shown for them and the road surface a sweep route lays down. The links are
// borrowed from the document and re-checked before every advance.
// Host axes, scene units.
#pragma once

#include "engine/autopilot.h"
#include "host_math.h"
#include "host_types.h"

class BaseObject;

// Samples of a sweep route's cross-section.
inline constexpr int32 kRouteSectionSamples = 50;

struct AutopilotState : RouteFollowState {
  BaseObject* routeObject = nullptr;   // borrowed
  String routeName;
  String routeLabel;
  BaseObject* routeSpline = nullptr;   // the spline followed
  BaseObject* routeProfile = nullptr;  // a sweep route's profile, or null
  BaseObject* routeGuide = nullptr;    // a sweep route's third child spline, or null
  Matrix routeFrame;                   // the road at the car's place: x across, y up, z along
  Vector routeSection[kRouteSectionSamples][2];  // the road's cross-section in routeFrame: point, normal
};
