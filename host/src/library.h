// Opening a module's dynamic library, on each platform.
#pragma once

#include <string>

namespace hostlib {
// The file name ending of a module: ".so", or ".dll" on Windows.
extern const char* const kModuleSuffix;
// Null on failure, with the system's reason in why.
void* Open(const std::string& path, std::string* why);
void* Symbol(void* handle, const char* name);
void Close(void* handle);
}  // namespace hostlib
