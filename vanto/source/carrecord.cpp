#include "carrecord.h"

#include "host_services.h"

void ReleaseCollisionOutline(CollisionOutline& outline) {
  if (outline.deformPoints) GeFree(outline.deformPoints);
  outline.deformPointCount = 0;
  if (outline.deformNeighbours) GeFree(outline.deformNeighbours);
  outline.deformNeighbourCount = 0;
  if (outline.attachedParts) GeFree(outline.attachedParts);
  outline.attachedPartCount = 0;
}

void CopyCarState(CarState& dst, const CarState& src) {
  if (&dst == &src) return;
  ReleaseCollisionOutline(dst.collisionOutline);
  dst = src;

  AutopilotState& ap = dst.autopilot;
  ap.routeObject = nullptr;
  ap.routeSpline = nullptr;
  ap.routeProfile = nullptr;
  ap.routeGuide = nullptr;
  dst.commands.lastMarker = nullptr;
  for (CommandSlot& slot : dst.commands.slots) slot.tagSettings = nullptr;
  dst.defaultGround.groundObject = nullptr;
  for (GroundHit& g : dst.wheelGroundRecords) g.groundObject = nullptr;
}
