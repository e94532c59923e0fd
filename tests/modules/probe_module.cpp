// A test module. It records the order in which the host calls it; the
// refusing build registers one plug-in and then fails its start.
#include "host_plugin.h"

namespace {
bool g_resources_ready = false;

class ProbeTag : public TagData {
 public:
  static NodeData* Alloc() { return new ProbeTag; }
};
}  // namespace

Bool PluginStart() {
  // The host must have sent the resource message before the start.
  if (!g_resources_ready) return false;
#ifdef PROBE_REFUSES
  RegisterTagPlugin(990002, GeLoadString(10000), TAG_VISIBLE, ProbeTag::Alloc, String("Tprobe"), nullptr, 0);
  return false;
#else
  return RegisterTagPlugin(990001, GeLoadString(10000), TAG_VISIBLE | TAG_EXPRESSION, ProbeTag::Alloc,
                           String("Tprobe"), nullptr, 0);
#endif
}

// A message whose answer needs a host function: whether the host writes 42
// as "42".
constexpr LONG kProbeAskHost = 990100;

Bool PluginMessage(LONG id, void*) {
  if (id == kProbeAskHost) return String::LongToString(42) == "42";
  if (id == PLUGINMSG_RESOURCES) {
    g_resources_ready = GetPluginResource().Init(GeGetPluginPath());
    return g_resources_ready;
  }
  return false;
}

void PluginEnd() {}
