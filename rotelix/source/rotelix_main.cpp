// The rotelix plug-in frame: start-up, messages and the tag's registration.
#include "host_plugin.h"
#include "rotelix_ids.h"
#include "track_tag.h"

Bool RegisterRotelix() {
  return RegisterNodePlugin(PLUGINTYPE_TAG, ID_ROTELIX, nullptr, IDS_ROTELIX, TAG_VISIBLE | TAG_EXPRESSION,
                            Rotelix::Alloc, "Trotelix", "rotelix.tif");
}

Bool PluginStart() {
  if (!HostVersionAtLeast(130)) return false;
  return RegisterRotelix();
}

Bool PluginMessage(LONG id, void*) { return StandardPluginMessage(id); }

void PluginEnd() {}
