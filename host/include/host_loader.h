// Loading plug-in modules from a plug-in folder (the host side of c4d_main).
#pragma once

#include <functional>
#include <vector>

#include "host_tables.h"

struct LoadedModule {
  String name;        // the module's folder name
  Filename folder;    // its plug-in folder
  Filename file;      // the shared library
  void* handle = nullptr;
  C4DMainFn* main = nullptr;
};

class PluginHost {
 public:
  static PluginHost& Get();

  // Version number handed to the modules at action 1 (13000 by default).
  void SetHostVersion(LONG v) { version_ = v; }
  LONG GetHostVersion() const { return version_; }
  // Lets a test change the table handed over at action 1 (a null entry, a
  // missing path); an empty function hands over the host's own.
  void SetTableEditor(std::function<void(HostTable&)> editor) { table_editor_ = std::move(editor); }

  // Loads every module under root: each sub-folder <name> holding <name>.so.
  // Returns how many started; refusals and errors go to errors.
  LONG LoadFolder(const Filename& root, std::vector<String>* errors);
  // Loads one module (the .so inside a plug-in folder). On refusal the module
  // is unloaded again and every registration it made is withdrawn.
  Bool LoadModule(const Filename& folder, String* error);
  // Action 3 and dlclose for every module, last loaded first. Free every
  // document holding plug-in nodes before this.
  void UnloadAll();

  const std::vector<LoadedModule>& Modules() const { return modules_; }

 private:
  LONG version_ = 13000;
  std::function<void(HostTable&)> table_editor_;
  std::vector<LoadedModule> modules_;
};

namespace hostregistry {
// All registrations in order.
const std::vector<BasePlugin*>& All();
// The module that registrations are attributed to while it starts.
void SetCurrentModule(const String& name);
// Withdraws every registration of that module (and frees its commands).
void RemoveModule(const String& name);
// Host-native types: object and tag types the host itself provides.
using NativeFactory = BaseList2D* (*)(LONG type);
void RegisterNative(LONG id, LONG plugin_type, const String& name, NativeFactory factory);
Bool IsNative(LONG id);
String TypeName(LONG id);
}  // namespace hostregistry
