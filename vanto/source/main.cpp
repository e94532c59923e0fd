#include "main.h"

#include "engine_globals.h"

LONG AddOnFlags = 0;

void DetectAddOns() {
  AddOnFlags = 0;
  if (FindPlugin(ID_KOLVARIS, PLUGINTYPE_TAG)) AddOnFlags |= 1;
}

Bool RegisterNodePlugin(LONG plugin_type, LONG id, const char* prefix, LONG name_string, LONG info,
                        DataAllocator* alloc, const char* description, const char* icon) {
  String name = GeLoadString(name_string);
  if (name.empty()) return true;
  AutoBitmap bmp{String(icon)};
  if (prefix) name = String(prefix) + name;
  if (plugin_type == PLUGINTYPE_OBJECT) return RegisterObjectPlugin(id, name, info, alloc, description, bmp, 0);
  return RegisterTagPlugin(id, name, info, alloc, description, bmp, 0);
}

Bool PluginStart() {
  if (!HostVersionAtLeast(130)) return false;
  // The engine's consistency messages go to the host's console.
  SetSimulationPrint(&GePrint);
  Bool (*const registrars[])() = {RegisterSim, RegisterCar, RegisterVantoRoute,
                                  RegisterVantoCommands, RegisterVantoGround, RegisterHelpCommand};
  for (auto reg : registrars)
    if (!reg()) return false;
  return true;
}

Bool PluginMessage(LONG id, void*) {
  switch (id) {
    case 0:
      return true;
    case PLUGINMSG_RESOURCES:
      return InitPluginResources();
    case 1001188:
      return true;
    default:
      return false;
  }
}

void PluginEnd() {}
