// The VantoRoute tag: turns a spline (or a sweep whose second child is the
// spline) into a route for the car's autopilot. It carries the route's grip
// factor and its speed table, up to 100 entries of a speed in km/h at a
// position given as a fraction of the spline's arc length; it draws a marker
// with the speed at every entry, keeps the positions where they are in scene
// units when the spline's length changes, and describes the table's rows at
// run time.
#pragma once

#include "scene/autopilot.h"
#include "host_geometry.h"
#include "car/add_ons.h"

// Entries the buttons allow.
inline constexpr LONG kMaxRouteEntries = 100;
// Rows that fit below the count parameter (1210 + 2i must stay below 2000):
// a larger stored count is shown and drawn only this far.
inline constexpr LONG kMaxRouteRows = (ROUTETAG_COUNT - ROUTETAG_SPEED) / 2;

class VantoRoute : public TagData {
 public:
  static NodeData* Alloc() { return new VantoRoute; }

  Bool Init(GeListNode* node) override;
  Bool Message(GeListNode* node, LONG type, void* data) override;
  Bool GetDDescription(GeListNode* node, Description* description, LONG& flags) override;
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, LONG flags,
                    const BaseContainer* itemdesc) override;
  Bool Draw(BaseTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh) override;

  Real MarkerSize() const { return markerSize_; }
  // The spline's length at the last Draw that drew markers (0 before).
  Real DrawnLength() const { return drawnLength_; }

 private:
  Real markerSize_ = 200.0;
  Real drawnLength_ = 0.0;
};

// The spline a route tag on `host` follows: the host itself, or a sweep's
// second child; null when there is none.
SplineObject* RouteTagSpline(BaseObject* host);

// Orders the first (up to 100) entries by position; equal positions keep
// the order the sort gives them.
void SortRouteEntries(BaseContainer& bc);
// Every counted position := min(position x factor, 1).
void RescaleRoutePositions(BaseContainer& bc, Real factor);


