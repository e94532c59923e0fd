// The Rotelix tag: turns the Car it sits on into a caterpillar-track vehicle
// and gives it up to eight extra axles, built by the Car on the tag's
// request (SimLinkMessage with a RigCommand).
#pragma once

#include "host_plugin.h"
#include "carsim/link_message.h"
#include "track_wheels.h"

// What the host hands over with a parameter-set message: a pointer to the
// parameter's description ID first.
struct PostSetParameterData {
  const DescID* descid;
};

class Rotelix : public TagData {
 public:
  static NodeData* Alloc();

  Bool Init(GeListNode* node) override;
  Bool Message(GeListNode* node, LONG type, void* data) override;
  Bool GetDDescription(GeListNode* node, Description* description, LONG& flags) override;
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, LONG flags,
                    const BaseContainer* itemdesc) override;
  Bool Draw(BaseTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh) override;
  EXECUTIONRESULT Execute(BaseTag* tag, BaseDocument* doc, BaseObject* op, BaseThread* bt, LONG priority,
                          LONG flags) override;

  WheelRigState& State() { return state_; }

 private:
  WheelRigState state_;
};

// The axle code the Car stores for extra axle e: its wheel template, with
// bit 0x100 while the axle's switch is off (EncodeAxleWord).
LONG AxleCode(const BaseContainer& tag, LONG axle);

// Sends a rig command to the car; false when there is no car or the car
// refused.
Bool SendRigCommand(BaseObject* car, RigCommand& cmd);

// Whether the tag may sit on that object: a Car with a version above 1.5.
Bool AcceptsHost(const BaseObject* op);

// Draws the rig guides (end wheels, rollers, tensioner travel, tread links).
void DrawWheelRig(BaseTag* tag, BaseObject* car, BaseDraw* bd, BaseDrawHelp* bh, const WheelRigState& state);

Bool RegisterRotelix();
