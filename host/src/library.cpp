// Kept apart from the host's other code: the system headers of Windows
// define macros that clash with the host interface's names.
#include "library.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>

const char* const hostlib::kModuleSuffix = ".dll";

void* hostlib::Open(const std::string& path, std::string* why) {
  HMODULE handle = LoadLibraryA(path.c_str());
  if (!handle && why) *why = "system error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(handle);
}

void* hostlib::Symbol(void* handle, const char* name) {
  FARPROC fn = GetProcAddress(reinterpret_cast<HMODULE>(handle), name);
  void* p = nullptr;
  std::memcpy(&p, &fn, sizeof p);
  return p;
}

void hostlib::Close(void* handle) { FreeLibrary(reinterpret_cast<HMODULE>(handle)); }

#else
#include <dlfcn.h>

const char* const hostlib::kModuleSuffix = ".so";

void* hostlib::Open(const std::string& path, std::string* why) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle && why) {
    const char* e = dlerror();
    *why = e ? e : "unknown error";
  }
  return handle;
}

void* hostlib::Symbol(void* handle, const char* name) { return dlsym(handle, name); }

void hostlib::Close(void* handle) { dlclose(handle); }
#endif
