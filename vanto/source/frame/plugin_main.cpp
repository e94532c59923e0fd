#include "frame/plugin_main.h"

#include "engine/engine_globals.h"
#include "scene/host_print.h"

LONG AddOnFlags = 0;

void DetectAddOns() {
  AddOnFlags = 0;
  if (FindPlugin(ID_KOLVARIS, PLUGINTYPE_TAG)) AddOnFlags |= 1;
}

Bool PluginStart() {
  if (!HostVersionAtLeast(130)) return false;
  // The engine's consistency messages go to the host's console.
  SetSimulationPrint(&PrintToHostConsole);
  Bool (*const registrars[])() = {RegisterSim, RegisterCar, RegisterVantoRoute,
                                  RegisterVantoCommands, RegisterVantoGround, RegisterHelpCommand};
  for (auto reg : registrars)
    if (!reg()) return false;
  return true;
}

Bool PluginMessage(LONG id, void*) {
  if (id == 1001188) return true;
  return StandardPluginMessage(id);
}

void PluginEnd() {}
