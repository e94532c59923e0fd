#include "osim.h"

Bool Sim::Init(GeListNode*) {
  DetectAddOns();
  return true;
}

Bool Sim::AddToExecution(BaseObject* op, PriorityList* list) {
  list->Add(op, EXECUTIONPRIORITY_EXPRESSION, 0);
  return true;
}

Bool RegisterSim() {
  return RegisterNodePlugin(PLUGINTYPE_OBJECT, ID_SIM, "#$1 ", 10000, OBJECT_CALL_ADDEXECUTION, Sim::Alloc, "Osim",
                            "vanto.tif");
}
