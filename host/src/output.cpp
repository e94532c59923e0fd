#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "host_output.h"

namespace hostoutput {
namespace {
std::string Reason(int err) { return std::strerror(err); }
}  // namespace

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& path, bool allow_devices, std::string* error) {
  Abandon();
  auto fail = [&](const std::string& why) {
    if (error) *error = "cannot write '" + path + "': " + why;
    return false;
  };
  if (path.empty()) return fail("no file name");
  path_ = path;
  struct stat st {};
  mode_t mode = 0;
  if (::lstat(path.c_str(), &st) == 0) {
    if (allow_devices && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
      file_ = std::fopen(path.c_str(), "w");
      if (!file_) return fail(Reason(errno));
      in_place_ = true;
      return true;
    }
    if (!S_ISREG(st.st_mode)) return fail("it exists and is not a regular file");
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return fail(Reason(errno));
  } else {
    // A new file gets the permissions the user's umask gives.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::filesystem::path p(path);
  const std::string dir = p.has_parent_path() ? p.parent_path().string() : std::string(".");
  std::string leaf = ".";
  leaf += p.filename().string();
  leaf += ".XXXXXX";
  std::string pattern = (std::filesystem::path(dir) / leaf).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return fail(Reason(errno));
  tmp_ = pattern;
  if (::fchmod(fd, mode) != 0 || !(file_ = ::fdopen(fd, "w"))) {
    const int err = errno;
    if (!file_) ::close(fd);
    file_ = nullptr;
    Abandon();
    return fail(Reason(err));
  }
  return true;
}

bool OutputFile::Commit(std::string* error) {
  if (!file_) {
    if (error) *error = "cannot write '" + path_ + "': not open";
    return false;
  }
  const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  int err = errno;
  const bool closed = std::fclose(file_) == 0;
  if (written && !closed) err = errno;
  file_ = nullptr;
  bool ok = written && closed;
  if (ok && !in_place_ && std::rename(tmp_.c_str(), path_.c_str()) != 0) {
    err = errno;
    ok = false;
  }
  if (!ok) {
    if (error) *error = "cannot write '" + path_ + "': " + Reason(err ? err : EIO);
    Abandon();
    return false;
  }
  tmp_.clear();
  in_place_ = false;
  return true;
}

void OutputFile::Abandon() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!tmp_.empty()) ::unlink(tmp_.c_str());
  tmp_.clear();
  in_place_ = false;
}

bool WriteWhole(const std::string& path, const std::string& text, std::string* error) {
  OutputFile out;
  if (!out.Open(path, false, error)) return false;
  std::fwrite(text.data(), 1, text.size(), out.Stream());
  return out.Commit(error);
}

}  // namespace hostoutput
