// Tests for common/scene_build/text_line.cpp: where a long line is cut when
// its text is broken or uses four-byte characters. The ordinary reading and
// writing cases are in tests/vanto/car/textline_test.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host_services.h"
#include "scene_build/text_line.h"

namespace {

std::vector<String> ReadAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  BaseFile* f = BaseFile::Alloc();
  EXPECT_TRUE(f->Open(Filename(path.string()), FILEOPEN_READ));
  std::vector<String> lines;
  for (int i = 0; i < 10; ++i) {
    lines.push_back(ReadTextLine(f));
    if (lines.back() == "EOF") break;
  }
  BaseFile::Free(f);
  std::filesystem::remove(path);
  return lines;
}

TEST(TextLineCut, NeverSplitsACharacterAndNeverLosesABrokenOne) {
  hostlog::SetQuiet(true);
  const std::string emoji = "\xf0\x9f\x9a\x97";  // four bytes
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<String> lines;
  } const cases[] = {
      // 253 + 4 bytes: the sign would need bytes 254 .. 257, so all four move on.
      {"four-byte sign at the cut", std::string(253, 'a') + emoji + "bc\n",
       {String(253, 'a'), String(emoji + "bc"), "EOF"}},
      {"four-byte sign just fits", std::string(251, 'a') + emoji + "bc\n",
       {String(251, 'a') + String(emoji), "bc", "EOF"}},
      // Stray continuation bytes have no lead to keep them with: cut plainly.
      {"stray continuation bytes", std::string(253, 'a') + "\x80\x80" + "bc\n",
       {String(std::string(253, 'a') + "\x80\x80"), "bc", "EOF"}},
      // A lead byte without its continuation is cut off and starts the next line.
      {"lead byte last", std::string(254, 'a') + "\xc3" + "bcd\n", {String(254, 'a'), "\xc3" "bcd", "EOF"}},
      // A line of nothing but continuation bytes is handed out whole.
      {"only continuation bytes", std::string(255, '\x80') + "bcd\n", {String(std::string(255, '\x80')), "bcd", "EOF"}},
  };
  const auto path = std::filesystem::temp_directory_path() / "carsim_text_line_cut_test.txt";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadAll(path, c.bytes), c.lines);
  }
}

}  // namespace
