// The rotelix plug-in frame: start-up, messages and the tag's registration.
#include "host_plugin.h"
#include "rotelixids.h"
#include "trotelix.h"

Bool RegisterRotelix() {
  const String name = GeLoadString(IDS_ROTELIX);
  // Without string resources there is nothing to show: start without the tag.
  if (name.empty()) return true;
  AutoBitmap icon{String("rotelix.tif")};
  return RegisterTagPlugin(ID_ROTELIX_TAG, name, TAG_VISIBLE | TAG_EXPRESSION, Rotelix::Alloc, "Trotelix", icon, 0);
}

Bool PluginStart() {
  if (!HostVersionAtLeast(130)) return false;
  return RegisterRotelix();
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
