// The vanto plug-in frame: start-up, registration and shared helpers.
#pragma once

#include "host_plugin.h"
#include "host_services.h"

// Plug-in IDs.
enum : LONG {
  ID_SIM = 1011582,
  ID_CAR = 1019402,
  ID_VANTOROUTE = 1019403,
  ID_VANTOCOMMANDS = 1019404,
  ID_VANTOGROUND = 1019405,
  ID_VANTOHELP = 1034669,
  ID_KOLVARIS = 1025778,
  ID_ROTELIX = 1026470,
};

// Bit 0: the Kolvaris tag plug-in is registered. Filled by DetectAddOns,
// which only Sim::Init calls.
extern LONG AddOnFlags;
void DetectAddOns();

// Registrars, in the order start-up calls them.
Bool RegisterSim();
Bool RegisterCar();
Bool RegisterVantoRoute();
Bool RegisterVantoCommands();
Bool RegisterVantoGround();
Bool RegisterHelpCommand();

#include "sortpairs.h"
