// The entry of one plug-in module: c4d_main and what belongs to the module
// itself (its folder, the host version it was given, its string resources).
#include <cmath>
#include <cstdint>

#include "host_iface.h"

HostTable hostiface::g_host{};

namespace {
LONG g_host_version = 0;
Filename g_plugin_path;
GeResource g_resource;
constexpr LONG kMinimumHostVersion = 13000;
}  // namespace

extern "C" LONG c4d_main(LONG action, void* p1, void* p2, void* /*p3*/) {
  switch (action) {
    case PLUGINACTION_HANDOVER: {
      auto* table = static_cast<const HostTable*>(p1);
      if (!table || table->version < kMinimumHostVersion || !table->plugin_path || !*table->plugin_path) return 0;
      // The tables live as long as the host; the table itself and the path
      // need not, so both are copied.
      hostiface::g_host = *table;
      hostiface::g_host.plugin_path = nullptr;
      g_host_version = table->version;
      g_plugin_path = Filename(table->plugin_path);
      return 1;
    }
    case PLUGINACTION_START:
      return PluginStart() ? 1 : 0;
    case PLUGINACTION_END:
      PluginEnd();
      return 1;
    case PLUGINACTION_VERSION:
      return kPluginInterfaceVersion;
    case PLUGINACTION_MESSAGE:
      return PluginMessage(static_cast<LONG>(reinterpret_cast<std::intptr_t>(p1)), p2) ? 1 : 0;
    default:
      return 0;
  }
}

LONG GetHostVersion() { return g_host_version; }
Bool HostVersionAtLeast(LONG release) { return std::floor(g_host_version / 100.0) >= release; }
Bool InitPluginResources() { return g_resource.Init(g_plugin_path); }
Filename GeGetPluginPath() { return g_plugin_path; }
GeResource& GetPluginResource() { return g_resource; }

String GeLoadString(LONG id) { return g_resource.LoadString(id); }

String GeLoadString(LONG id, const String& p1, const String& p2, const String& p3, const String& p4) {
  String text = g_resource.LoadString(id);
  const String* args[] = {&p1, &p2, &p3, &p4};
  String out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '#' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '4') {
      out += *args[text[i + 1] - '1'];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

AutoBitmap::AutoBitmap(const String& name) : bmp_(g_plugin_path + Filename("res") + Filename(name)) {}

Bool RegisterNodePlugin(LONG plugin_type, LONG id, const char* prefix, LONG name_string, LONG info,
                        DataAllocator* alloc, const char* description, const char* icon) {
  String name = GeLoadString(name_string);
  if (name.empty()) return true;
  AutoBitmap bmp{String(icon)};
  if (prefix) name = String(prefix) + name;
  if (plugin_type == PLUGINTYPE_OBJECT) return RegisterObjectPlugin(id, name, info, alloc, description, bmp, 0);
  return RegisterTagPlugin(id, name, info, alloc, description, bmp, 0);
}

Bool StandardPluginMessage(LONG id) {
  switch (id) {
    case 0:
      return true;
    case PLUGINMSG_RESOURCES:
      return InitPluginResources();
    default:
      return false;
  }
}
