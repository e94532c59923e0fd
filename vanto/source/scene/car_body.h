#pragma once

#include "carstate.h"

class BaseContainer;
class BaseDocument;

// Car parameters the body set-up reads.
inline constexpr LONG kCarEngineSize = 1014;  // Vector, scene units
inline constexpr LONG kCarBodyMass = 1100;    // Real, kg
inline constexpr LONG kCarEngineMass = 1101;  // Real, kg
inline constexpr LONG kCarEngineLink = 5601;  // the engine object

// Builds only the body of the car's model (body box from `bodySize`, engine
// box from the car's parameters at the engine object's local position).
// Nothing happens when the engine object is missing or its link does not
// resolve in `doc`.
void SetUpCarBody(BaseDocument* doc, const BaseContainer& bc, CarState& car);
