// Reading and writing text lines on host files, and where a long line is cut
// when its text is broken or uses four-byte characters.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host_services.h"
#include "scene_build/text_line.h"

namespace {

class TextLine : public ::testing::Test {
 protected:
  void SetUp() override { hostlog::SetQuiet(true); }
  void TearDown() override {
    hostfile::ResetFailures();
    hostmem::FailAllocation(0);
    std::filesystem::remove(path_);
  }
  void WriteBytes(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string ReadBytes() {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Every call until two "EOF" in a row (at most 20).
  std::vector<String> ReadAll(const std::string& bytes) {
    WriteBytes(bytes);
    BaseFile* f = BaseFile::Alloc();
    EXPECT_TRUE(f->Open(Filename(path_.string()), FILEOPEN_READ));
    std::vector<String> lines;
    for (int i = 0; i < 20; ++i) {
      lines.push_back(ReadTextLine(f));
      if (lines.size() >= 2 && lines[lines.size() - 1] == "EOF" && lines[lines.size() - 2] == "EOF") break;
    }
    BaseFile::Free(f);
    return lines;
  }
  std::filesystem::path path_ = std::filesystem::temp_directory_path() / "vanto_textline_test.txt";
};

TEST_F(TextLine, Reading) {
  const std::string a255(255, 'a');
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<String> lines;
  } const cases[] = {
      {"CR LF lines", "first\r\nsecond\r\n", {"first", "second", "EOF", "EOF"}},
      {"LF and CR alone", "first\nsecond\rthird\n", {"first", "second", "third", "EOF", "EOF"}},
      {"a short line joins the next", "ab\r\ncdef\r\n", {"abcdef", "EOF", "EOF"}},
      {"blank lines pass over", "abcd\r\n\r\n\n\nefgh\n", {"abcd", "efgh", "EOF", "EOF"}},
      {"tab reads as space", "a\tbcd\r\n", {"a bcd", "EOF", "EOF"}},
      {"300 characters", std::string(300, 'x') + "\r\n", {String(255, 'x'), String(45, 'x'), "EOF", "EOF"}},
      {"exactly 255 characters", a255 + "\r\nnext\r\n", {a255, "next", "EOF", "EOF"}},
      {"no final line end", "first\r\nlast", {"first", "last", "EOF", "EOF"}},
      {"a lone short last line", "ok", {"ok", "EOF", "EOF"}},
      {"empty file", "", {"EOF", "EOF"}},
      {"only line ends", "\r\n\r\n", {"EOF", "EOF"}},
      // The cut never splits a UTF-8 sequence: it goes whole into the next line.
      {"two-byte letter at the cut", std::string(254, 'a') + "\xc3\xa4" + "bcd\n",
       {String(254, 'a'), "\xc3\xa4" "bcd", "EOF", "EOF"}},
      {"three-byte sign at the cut", std::string(253, 'a') + "\xe2\x82\xac" + "bcd\n",
       {String(253, 'a'), "\xe2\x82\xac" "bcd", "EOF", "EOF"}},
      {"three-byte sign just fits", std::string(252, 'a') + "\xe2\x82\xac" + "bcd\n",
       {String(252, 'a') + "\xe2\x82\xac", "bcd", "EOF", "EOF"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadAll(c.bytes), c.lines);
  }
}

TEST_F(TextLine, AReadErrorDropsThePartialLine) {
  WriteBytes("line one\r\nline two\r\n");
  BaseFile* f = BaseFile::Alloc();
  ASSERT_TRUE(f->Open(Filename(path_.string()), FILEOPEN_READ));
  hostfile::FailReadAfterBytes(13);  // inside the second line
  EXPECT_EQ(ReadTextLine(f), "line one");
  EXPECT_EQ(ReadTextLine(f), "EOF");
  BaseFile::Free(f);
  EXPECT_EQ(ReadTextLine(nullptr), "EOF");
}

TEST_F(TextLine, Writing) {
  BaseFile* f = BaseFile::Alloc();
  ASSERT_TRUE(f->Open(Filename(path_.string()), FILEOPEN_WRITE));
  const long blocks = hostmem::LiveBlocks();
  EXPECT_TRUE(WriteTextLine(f, ""));
  EXPECT_TRUE(WriteTextLine(f, "Body Size{0}=1.8000"));
  EXPECT_TRUE(WriteTextLine(f, "Gr\xc3\xb6\xc3\x9f" "e"));
  EXPECT_EQ(hostmem::LiveBlocks(), blocks);
  BaseFile::Free(f);
  EXPECT_EQ(ReadBytes(), "\r\nBody Size{0}=1.8000\r\nGr\xc3\xb6\xc3\x9f" "e\r\n");
}

TEST_F(TextLine, WriteFailures) {
  BaseFile* f = BaseFile::Alloc();
  ASSERT_TRUE(f->Open(Filename(path_.string()), FILEOPEN_WRITE));
  hostmem::FailAllocation(1);
  EXPECT_FALSE(WriteTextLine(f, "abc"));
  EXPECT_EQ(f->GetError(), FILEERROR_OUTOFMEMORY);
  f->SetError(FILEERROR_NONE);
  hostfile::FailWriteAfterBytes(2);
  EXPECT_FALSE(WriteTextLine(f, "abcdef"));
  EXPECT_FALSE(WriteTextLine(nullptr, "abc"));
  BaseFile::Free(f);
  EXPECT_EQ(ReadBytes().find("abc\r\n"), std::string::npos);  // nothing of the first line
}

TEST_F(TextLine, WrittenLinesReadBack) {
  const std::vector<String> lines = {"######", "# comment", "Name{10000}=My car", "Forward{1701}=4.3800,2.8600"};
  BaseFile* f = BaseFile::Alloc();
  ASSERT_TRUE(f->Open(Filename(path_.string()), FILEOPEN_WRITE));
  for (const String& l : lines) ASSERT_TRUE(WriteTextLine(f, l));
  BaseFile::Free(f);
  std::vector<String> expected = lines;
  expected.push_back("EOF");
  expected.push_back("EOF");
  EXPECT_EQ(ReadAll(ReadBytes()), expected);
}

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
