// Every test process gets a temporary folder of its own: ctest runs the
// cases of one suite in parallel processes, and fixed file names under the
// shared temporary folder would collide between them.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {
struct UniqueTemporaryFolder {
  std::filesystem::path path;
  UniqueTemporaryFolder() {
    std::error_code ec;
    path = std::filesystem::temp_directory_path(ec) / ("carsim-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path, ec);
#ifdef _WIN32
    if (!ec) _putenv_s("TMP", path.string().c_str());
#else
    if (!ec) ::setenv("TMPDIR", path.c_str(), 1);
#endif
  }
  ~UniqueTemporaryFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
} g_folder;
}  // namespace
