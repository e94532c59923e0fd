#pragma once

#include "carsim/car_param_ids.h"
#include "scene/carstate.h"

class BaseContainer;
class BaseDocument;

// Builds only the body of the car's model (body box from `bodySize`, engine
// box from the car's parameters at the engine object's local position).
// Nothing happens when the engine object is missing or its link does not
// resolve in `doc`.
void SetUpCarBody(BaseDocument* doc, const BaseContainer& bc, CarState& car);
