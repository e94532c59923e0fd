#include "car/car_record.h"

#include "scene/outline.h"

#include "host_services.h"

void CopyCarState(CarState& dst, const CarState& src) {
  if (&dst == &src) return;
  FreeCollisionOutline(dst.collisionOutline);
  dst = src;

  AutopilotState& ap = dst.autopilot;
  ap.routeObject = nullptr;
  ap.routeSpline = nullptr;
  ap.routeProfile = nullptr;
  ap.routeGuide = nullptr;
  dst.commands.lastMarker = nullptr;
  for (const BaseContainer*& settings : dst.commands.slotSettings) settings = nullptr;
  dst.defaultGround.groundObject = nullptr;
  for (SceneGroundHit& g : dst.wheelGroundRecords) g.groundObject = nullptr;
}
