// The Car's parameters: the defaults a new car gets. The container IDs
// themselves are carsim/car_param_ids.h, shared with the add-ons.
#pragma once

#include "carsim/car_param_ids.h"
#include "host_container.h"

inline constexpr const char* kCarVersionText = "VANTO! 1.70.4";

// Sets every container default of a new car (the geometry, torque curve and
// force curve come from the car settings instead).
void SetCarDefaults(BaseContainer& bc);
