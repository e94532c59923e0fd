// The car object: its parameters, rig, run-time record and dashboard captions.
#pragma once

#include "scene/carstate.h"
#include "car/add_ons.h"
#include "car/car_status.h"

inline constexpr LONG kCarHandleCount = 23;

class Car : public ObjectData {
 public:
  static NodeData* Alloc() { return new Car; }

  Bool Init(GeListNode* node) override;
  void Free(GeListNode* node) override;
  Bool Message(GeListNode* node, LONG type, void* data) override;
  Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, LONG flags, AliasTrans* trn) override;
  Bool GetDDescription(GeListNode* node, Description* description, LONG& flags) override;
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, LONG flags,
                    const BaseContainer* itemdesc) override;
  Bool AddToExecution(BaseObject* op, PriorityList* list) override;
  EXECUTIONRESULT Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, LONG priority, LONG flags) override;
  DRAWRESULT Draw(BaseObject* op, LONG drawpass, BaseDraw* bd, BaseDrawHelp* bh) override;
  LONG GetHandleCount(BaseObject* op) override;
  void GetHandle(BaseObject* op, LONG i, HandleInfo& info) override;
  void SetHandle(BaseObject* op, LONG i, Vector p, const HandleInfo& info) override;

  CarState& State() { return state_; }
  const CarState& State() const { return state_; }
  HudLabels& Labels() { return hudLabels_; }
  const HudLabels& Labels() const { return hudLabels_; }
  LONG GetBakePhase() const { return bakePhase_; }

 private:
  CarState state_;
  HudLabels hudLabels_;
  // Set by the Sim while it bakes: 3 first frame, 1 inside, 2 last, 0 none.
  LONG bakePhase_ = 0;
  // Geometry handle positions, filled when the handles are asked for.
  Vector handleCache_[kCarHandleCount];
};
