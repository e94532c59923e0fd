// The vanto plug-in frame: start-up, registration and shared helpers.
#pragma once

#include "carsim/plugin_ids.h"
#include "host_plugin.h"
#include "host_services.h"

#include "car/add_ons.h"

// Registrars, in the order start-up calls them.
Bool RegisterSim();
Bool RegisterCar();
Bool RegisterVantoRoute();
Bool RegisterVantoCommands();
Bool RegisterVantoGround();
Bool RegisterHelpCommand();

#include "scene_build/pair_sort.h"
