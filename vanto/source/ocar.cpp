#include "ocar.h"

Bool Car::AddToExecution(BaseObject* op, PriorityList* list) {
  list->Add(op, EXECUTIONPRIORITY_EXPRESSION, 0);
  return true;
}

Bool RegisterCar() {
  return RegisterNodePlugin(PLUGINTYPE_OBJECT, ID_CAR, "#$2 ", 10001, OBJECT_CALL_ADDEXECUTION, Car::Alloc, "Ocar",
                            "car.tif");
}
