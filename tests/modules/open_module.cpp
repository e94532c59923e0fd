// Opens the modules given on the command line in a process that has nothing
// of the host, resolving every symbol at once, and finds their entry.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    void* handle = dlopen(argv[i], RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::fprintf(stderr, "%s cannot be opened: %s\n", argv[i], dlerror());
      ++failures;
      continue;
    }
    if (!dlsym(handle, "c4d_main")) {
      std::fprintf(stderr, "%s has no c4d_main\n", argv[i]);
      ++failures;
    }
    dlclose(handle);
  }
  return failures == 0 && argc > 1 ? 0 : 1;
}
