// The car object: its parameters, rig and run-time record.
#pragma once

#include "main.h"

class Car : public ObjectData {
 public:
  static NodeData* Alloc() { return new Car; }
  Bool AddToExecution(BaseObject* op, PriorityList* list) override;
};
