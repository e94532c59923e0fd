#include "scene/scene_links.h"

#include "carsim/car_param_ids.h"
#include "host_container.h"
#include "host_scene.h"
#include "carsim/plugin_ids.h"

namespace {

bool CarriesSettings(const BaseObject* marker, const BaseContainer* settings) {
  const BaseTag* tag = marker->GetTag(ID_VANTOCOMMANDS);
  return tag && tag->GetDataInstance() == settings;
}

// A slot's settings belong to the first commands tag of a marker that is
// still in the group.
bool SettingsStillInGroup(const BaseObject* group, const BaseContainer* settings) {
  if (!group || !settings) return false;
  for (const BaseObject* child = group->GetDown(); child; child = child->GetNext())
    if (CarriesSettings(child, settings)) return true;
  return false;
}

void RefreshRoute(const BaseObject* routes, AutopilotState& ap) {
  if (!ap.routeObject && !ap.routeSpline) return;
  // The spline is checked only once its piece is known to be live.
  const bool live = IsDirectChild(ap.routeObject, routes) &&
                    (ap.routeSpline == ap.routeObject || IsDirectChild(ap.routeSpline, ap.routeObject));
  if (!live) {
    ap.routeObject = ap.routeSpline = ap.routeProfile = ap.routeGuide = nullptr;
    ap.routeIsGround = 0;
    ap.sweepRoute = 0;
    return;
  }
  if (ap.routeProfile && !IsDirectChild(ap.routeProfile, ap.routeObject)) {
    // Without its profile a sweep has no road surface left to stand on.
    ap.routeProfile = nullptr;
    ap.routeIsGround = 0;
  }
  if (ap.routeGuide && !IsDirectChild(ap.routeGuide, ap.routeObject)) ap.routeGuide = nullptr;
}

}  // namespace

Bool IsDirectChild(const BaseObject* child, const BaseObject* parent) {
  if (!child || !parent) return false;
  for (const BaseObject* c = parent->GetDown(); c; c = c->GetNext())
    if (c == child) return true;
  return false;
}

void RefreshSceneLinks(BaseDocument* doc, const BaseContainer& bc, CarState& car) {
  const BaseObject* grounds = bc.GetObjectLink(CAR_GROUND_GROUP, doc);
  if (car.defaultGround.groundObject && !IsDirectChild(car.defaultGround.groundObject, grounds))
    car.defaultGround.groundObject = nullptr;
  for (SceneGroundHit& g : car.wheelGroundRecords)
    if (g.groundObject && !IsDirectChild(g.groundObject, grounds)) g.groundObject = nullptr;

  RefreshRoute(bc.GetObjectLink(CAR_ROUTE_GROUP, doc), car.autopilot);

  CommandState& cs = car.commands;
  const BaseObject* markers = bc.GetObjectLink(CAR_COMMAND_GROUP, doc);
  if (cs.lastMarker && !IsDirectChild(cs.lastMarker, markers)) cs.lastMarker = nullptr;
  for (int32 i = 0; i < kCommandSlots; ++i) {
    if (cs.slots[i].mode < 0 && !cs.slotSettings[i]) continue;
    if (!SettingsStillInGroup(markers, cs.slotSettings[i])) {
      cs.slots[i].mode = kCommandIdle;
      cs.slotSettings[i] = nullptr;
    }
  }
}
