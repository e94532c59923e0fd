// The kolvaris plug-in frame: start-up, host messages and the registration
// of its one tag.
#include "tkolvaris.h"

Bool RegisterKolvaris() {
  const String name = GeLoadString(IDS_KOLVARIS);
  if (name.empty()) return true;
  AutoBitmap icon{String("kolvaris.tif")};
  return RegisterTagPlugin(kKolvarisTagId, name, TAG_VISIBLE | TAG_EXPRESSION, &Kolvaris::Alloc, "Tkolvaris", icon, 0);
}

Bool PluginStart() {
  if (!HostVersionAtLeast(130)) return false;
  return RegisterKolvaris();
}

Bool PluginMessage(LONG id, void*) {
  switch (id) {
    case 0:
      return true;
    case PLUGINMSG_RESOURCES:
      return InitPluginResources();
    default:
      return false;
  }
}

void PluginEnd() {}
