// The VantoCommands tag: sits on a command marker (a child of the group a
// Car links) and keeps what the car does when it reaches the marker: pedal
// and steering curves, aiming at a target, the wheel-slip switches and an
// output curve. The tag never runs itself; the run reads its parameters
// (markers.h). It keeps the curves' ranges in step with their durations and
// draws a symbol of the marker.
#pragma once

#include "car/add_ons.h"
#include "scene/markers.h"

class VantoCommands : public TagData {
 public:
  static NodeData* Alloc();

  Bool Init(GeListNode* node) override;
  Bool Message(GeListNode* node, LONG type, void* data) override;
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, LONG flags,
                    const BaseContainer* itemdesc) override;
  Bool Draw(BaseTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh) override;
};

// Fits the pedal, steering and output curves to their durations (the knots'
// x scale along) and the output curve to its y bounds, and refreshes the
// curve extremes the marker symbol is drawn from (4031, 4130, 4131). Stops
// at the first curve parameter that holds no curve.
void FitCommandCurves(BaseContainer* bc);
