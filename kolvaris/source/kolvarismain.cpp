// The kolvaris plug-in frame: start-up, host messages and the registration
// of its one tag.
#include "tkolvaris.h"

Bool RegisterKolvaris() {
  return RegisterNodePlugin(PLUGINTYPE_TAG, ID_KOLVARIS, nullptr, IDS_KOLVARIS, TAG_VISIBLE | TAG_EXPRESSION,
                            &Kolvaris::Alloc, "Tkolvaris", "kolvaris.tif");
}

Bool PluginStart() {
  if (!HostVersionAtLeast(130)) return false;
  return RegisterKolvaris();
}

Bool PluginMessage(LONG id, void*) { return StandardPluginMessage(id); }

void PluginEnd() {}
