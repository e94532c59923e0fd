// Output files of the host program (scenes, CSV tables): written whole or not
// at all.
#pragma once

#include <cstdio>
#include <string>

namespace hostoutput {

// Writes into a uniquely named temporary beside the destination and renames
// it over the destination on Commit, so that a failed or abandoned write
// leaves an existing file as it was and no stray file behind. An existing
// destination that is not a regular file (a link, a device, a folder) is
// refused, unless devices are allowed: then a character device or a pipe is
// written in place (standard output, /dev/null) and every write is checked.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Abandons an uncommitted file.
  ~OutputFile();

  // False with the reason in error when the destination cannot be written.
  bool Open(const std::string& path, bool allow_devices, std::string* error);
  // The stream to write to while open.
  std::FILE* Stream() const { return file_; }
  // Flushes, checks every write so far, closes and puts the file in place.
  bool Commit(std::string* error);
  // Closes and removes the temporary; the destination stays as it was.
  void Abandon();

 private:
  std::string path_, tmp_;
  std::FILE* file_ = nullptr;
  bool in_place_ = false;
};

// Writes text to path through an OutputFile (no devices).
bool WriteWhole(const std::string& path, const std::string& text, std::string* error);

}  // namespace hostoutput
