// The simulation object: the parent of the cars it runs.
#pragma once

#include "main.h"

class Sim : public ObjectData {
 public:
  static NodeData* Alloc() { return new Sim; }
  Bool Init(GeListNode* node) override;
  Bool AddToExecution(BaseObject* op, PriorityList* list) override;
};
