#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host_description.h"
#include "host_loader.h"
#include "host_services.h"

PluginHost& PluginHost::Get() {
  static PluginHost host;
  return host;
}

static LONG CallMain(C4DMainFn* fn, LONG action, void* p1 = nullptr, void* p2 = nullptr) {
  return fn(action, p1, p2, nullptr);
}

namespace {
// The string table a module reads: the interface language's, else English.
Filename StringTable(const Filename& folder) {
  const Filename res = folder + Filename("res");
  Filename file = res + Filename(HostGetLanguageFolder()) + Filename("c4d_strings.str");
  if (!file.FileExists()) file = res + Filename("strings_us") + Filename("c4d_strings.str");
  return file;
}

// What a started module would otherwise only show later and elsewhere: an
// empty string table leaves its plug-ins unnamed and so unregistered, and a
// broken description resource leaves its parameters without types. Empty
// when all is well.
String CheckResources(const String& module, const Filename& folder, const Filename& strings) {
  std::vector<std::pair<LONG, String>> table;
  if (GeResource::ParseFile(strings, table) && table.empty())
    return "its string table " + strings.GetString() + " holds no strings";
  for (const BasePlugin* p : hostregistry::All()) {
    if (p->module != module || p->description.empty()) continue;
    const Filename file = folder + Filename("res") + Filename("description") + Filename(p->description + ".json");
    std::ifstream in(file.GetString(), std::ios::binary);
    if (!in) continue;  // none: the plug-in describes itself
    std::ostringstream text;
    text << in.rdbuf();
    Description d;
    String error;
    if (!d.LoadFromText(text.str(), &error)) return "description resource " + file.GetString() + ": " + error;
  }
  return String();
}
}  // namespace

Bool PluginHost::LoadModule(const Filename& folder, String* error) {
  String name = folder.GetFile().GetString();
  Filename file = folder + Filename(name + ".so");
  auto fail = [&](const String& why) {
    if (error) *error = "module " + name + ": " + why;
    return false;
  };
  for (const auto& m : modules_)
    if (m.name == name) return fail("already loaded");
  if (!file.FileExists()) return fail("no library " + file.GetString());
  void* handle = dlopen(file.GetString().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* e = dlerror();
    return fail(String("cannot be opened: ") + (e ? e : "unknown error"));
  }
  auto* fn = reinterpret_cast<C4DMainFn*>(dlsym(handle, "c4d_main"));
  if (!fn) {
    dlclose(handle);
    return fail("exports no c4d_main");
  }
  hostregistry::SetCurrentModule(name);
  std::string path = std::filesystem::absolute(folder.GetString()).lexically_normal().string();
  HostTable table{version_, path.c_str()};
  String why;
  const Filename strings = StringTable(folder);
  if (!CallMain(fn, PLUGINACTION_HANDOVER, &table)) {
    why = "refused the host (version " + LongToString(version_) + ")";
  } else if (!CallMain(fn, PLUGINACTION_MESSAGE, reinterpret_cast<void*>(static_cast<std::intptr_t>(PLUGINMSG_RESOURCES)))) {
    why = "its string resources cannot be read (" + strings.GetString() + ")";
  } else if (!CallMain(fn, PLUGINACTION_START)) {
    why = "failed to start";
  } else {
    why = CheckResources(name, folder, strings);
  }
  if (!why.empty()) {
    // Nothing of a refused module may stay behind: its allocators would
    // point into unloaded code.
    hostregistry::RemoveModule(name);
    hostregistry::SetCurrentModule(String());
    dlclose(handle);
    return fail(why);
  }
  CallMain(fn, PLUGINACTION_VERSION);
  hostregistry::SetCurrentModule(String());
  modules_.push_back(LoadedModule{name, folder, file, handle, fn});
  return true;
}

LONG PluginHost::LoadFolder(const Filename& root, std::vector<String>* errors) {
  std::error_code ec;
  std::vector<std::filesystem::path> folders;
  for (const auto& e : std::filesystem::directory_iterator(root.GetString(), ec))
    if (e.is_directory()) folders.push_back(e.path());
  if (ec && errors) errors->push_back("plug-in folder " + root.GetString() + " cannot be read: " + String(ec.message()));
  // A stable order: the same registry on every run.
  std::sort(folders.begin(), folders.end());
  LONG loaded = 0;
  for (const auto& f : folders) {
    if (!std::filesystem::exists(f / (f.filename().string() + ".so"))) continue;
    String err;
    if (LoadModule(Filename(String(f.string())), &err))
      ++loaded;
    else if (errors)
      errors->push_back(err);
  }
  return loaded;
}

void PluginHost::UnloadAll() {
  while (!modules_.empty()) {
    LoadedModule m = modules_.back();
    modules_.pop_back();
    CallMain(m.main, PLUGINACTION_END);
    hostregistry::RemoveModule(m.name);
    dlclose(m.handle);
  }
}
