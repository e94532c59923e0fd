// Files with injected errors, the scripted file selector and question box,
// dialogs and the counted interface services.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "host_file.h"
#include "host_services.h"

namespace {

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("file_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    hostlog::SetQuiet(true);
  }
  void TearDown() override {
    hostfile::ResetFailures();
    hostdialog::ClearScript();
    hostdialog::ClearRecords();
    hostlog::SetQuiet(false);
    std::filesystem::remove_all(dir_);
  }
  Filename Path(const char* name) const { return Filename((dir_ / name).string().c_str()); }
  std::filesystem::path dir_;
};

TEST_F(Files, BytesWrittenAreReadBack) {
  BaseFile* f = BaseFile::Alloc();
  ASSERT_TRUE(f->Open(Path("a.bin"), FILEOPEN_WRITE, FILEDIALOG_NONE, BYTEORDER_INTEL, 0x54455854, 0x43344431));
  ASSERT_TRUE(f->WriteBytes("hello\r\n", 7));
  EXPECT_EQ(f->GetLength(), 7);
  char none[1];
  EXPECT_EQ(f->ReadBytes(none, 1), 0);  // a file open for writing cannot be read
  EXPECT_EQ(f->GetError(), FILEERROR_READ);
  ASSERT_TRUE(f->Close());
  EXPECT_EQ(hostfile::TypeOf(Path("a.bin")).type, 0x54455854);
  EXPECT_EQ(hostfile::TypeOf(Path("a.bin")).creator, 0x43344431);

  ASSERT_TRUE(f->Open(Path("a.bin"), FILEOPEN_APPEND));
  ASSERT_TRUE(f->WriteBytes("x", 1));
  ASSERT_TRUE(f->Open(Path("a.bin"), FILEOPEN_READ));  // reopening closes first
  char buf[16] = {};
  EXPECT_EQ(f->ReadBytes(buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(f->GetPosition(), 5);
  EXPECT_FALSE(f->WriteBytes("y", 1));
  EXPECT_EQ(f->GetError(), FILEERROR_WRITE);
  f->SetError(FILEERROR_NONE);
  // A short read at the end: just-try mode reports it only by the count.
  EXPECT_EQ(f->ReadBytes(buf, 10, true), 3);
  EXPECT_EQ(f->GetError(), FILEERROR_NONE);
  EXPECT_EQ(f->ReadBytes(buf, 1), 0);
  EXPECT_EQ(f->GetError(), FILEERROR_READ);
  EXPECT_TRUE(f->Seek(0));
  EXPECT_EQ(f->ReadBytes(buf, 8), 8);
  EXPECT_EQ(std::string(buf, 8), "hello\r\nx");
  BaseFile::Free(f);
  EXPECT_EQ(f, nullptr);
}

TEST_F(Files, InjectedAndRealErrorsAreReported) {
  BaseFile* f = BaseFile::Alloc();
  EXPECT_FALSE(f->Open(Path("missing.txt"), FILEOPEN_READ));
  EXPECT_EQ(f->GetError(), FILEERROR_OPEN);
  EXPECT_FALSE(f->Open(Filename(), FILEOPEN_WRITE));
  EXPECT_FALSE(f->Open(Path("a.txt"), 99));
  EXPECT_EQ(f->GetError(), FILEERROR_INVALID);

  hostfile::FailOpenAfter(2);
  EXPECT_TRUE(f->Open(Path("a.txt"), FILEOPEN_WRITE));
  EXPECT_FALSE(f->Open(Path("a.txt"), FILEOPEN_WRITE));
  EXPECT_EQ(f->GetError(), FILEERROR_OPEN);
  EXPECT_TRUE(f->Open(Path("a.txt"), FILEOPEN_WRITE));

  // The disk fills up after 4 bytes: the write fails, what fitted stays.
  hostfile::FailWriteAfterBytes(4);
  EXPECT_TRUE(f->WriteBytes("ab", 2));
  EXPECT_FALSE(f->WriteBytes("cdef", 4));
  EXPECT_EQ(f->GetError(), FILEERROR_WRITE);
  f->Close();
  hostfile::ResetFailures();
  EXPECT_EQ(std::filesystem::file_size(dir_ / "a.txt"), 4u);

  // A read error in the middle of the file.
  ASSERT_TRUE(f->Open(Path("a.txt"), FILEOPEN_READ));
  hostfile::FailReadAfterBytes(3);
  char buf[4];
  EXPECT_EQ(f->ReadBytes(buf, 2), 2);
  EXPECT_EQ(f->ReadBytes(buf, 2), 1);
  EXPECT_EQ(f->GetError(), FILEERROR_READ);
  EXPECT_EQ(f->ReadBytes(buf, 1, true), 0);
  BaseFile::Free(f);
}

TEST_F(Files, FileSelectorsAndQuestionsFollowTheScript) {
  hostdialog::PushFileAnswer(Path("car"));
  hostdialog::PushCancel();
  Filename name("Car");
  ASSERT_TRUE(name.FileSelect(FILESELECTTYPE_ANYTHING, FILESELECT_SAVE, "Save settings", "ini"));
  EXPECT_EQ(name.GetString(), Path("car.ini").GetString());  // the forced suffix
  Filename other("untouched");
  EXPECT_FALSE(other.FileSelect(FILESELECTTYPE_ANYTHING, FILESELECT_LOAD, "Load settings"));
  EXPECT_EQ(other.GetString(), "untouched");
  EXPECT_FALSE(other.FileSelect(FILESELECTTYPE_ANYTHING, FILESELECT_LOAD, "Nothing queued"));
  ASSERT_EQ(hostdialog::SelectorCalls().size(), 3u);
  EXPECT_EQ(hostdialog::SelectorCalls()[0].title, "Save settings");
  EXPECT_EQ(hostdialog::SelectorCalls()[0].flags, FILESELECT_SAVE);
  EXPECT_TRUE(hostdialog::SelectorCalls()[0].answered);
  EXPECT_FALSE(hostdialog::SelectorCalls()[1].answered);

  // A script file; a question answer is not taken by a selector.
  std::ofstream(dir_ / "answers.txt") << "# test\n\nno\nfile " << (dir_ / "x.ini").string() << "\r\n  yes\n";
  String error;
  ASSERT_TRUE(hostdialog::LoadScript(Path("answers.txt"), &error)) << error;
  EXPECT_EQ(hostdialog::PendingAnswers(), 3);
  Filename f;
  EXPECT_FALSE(f.FileSelect(0, FILESELECT_LOAD, "early"));
  hostlog::SetQuestionAnswer(true);
  EXPECT_FALSE(QuestionDialog("Clear?"));
  ASSERT_TRUE(f.FileSelect(0, FILESELECT_LOAD, "load"));
  EXPECT_EQ(f.GetString(), (dir_ / "x.ini").string());
  EXPECT_TRUE(QuestionDialog("Sure?"));
  EXPECT_TRUE(QuestionDialog("Default"));  // nothing left: the default answer

  std::ofstream(dir_ / "bad.txt") << "yes\nmaybe\n";
  EXPECT_FALSE(hostdialog::LoadScript(Path("bad.txt"), &error));
  EXPECT_NE(error.find(":2: not an answer: maybe"), std::string::npos) << error;
  EXPECT_EQ(hostdialog::PendingAnswers(), 0);  // nothing of a bad script is queued
  EXPECT_FALSE(hostdialog::LoadScript(Path("none.txt"), &error));
}

class Viewer : public GeDialog {
 public:
  Bool CreateLayout() override {
    auto* g = static_cast<HtmlViewerCustomGui*>(
        AddCustomGui(1001, CUSTOMGUI_HTMLVIEWER, "Viewer", BFH_SCALEFIT | BFV_SCALEFIT, 900, 200, BaseContainer()));
    g->SetUrl("file:///manual/index_en.html?c=sim");
    return true;
  }
};

TEST(Dialogs, OpenAndRestoreBuildTheLayoutAndAreRecorded) {
  Viewer dlg;
  EXPECT_FALSE(dlg.IsOpen());
  ASSERT_TRUE(dlg.Open(DLG_TYPE_ASYNC, 1034669, -1, -1, 1024, 768, 0));
  ASSERT_EQ(dlg.Gadgets().size(), 1u);
  auto* viewer = dynamic_cast<HtmlViewerCustomGui*>(dlg.Gadgets()[0]);
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->GetUrl(), "file:///manual/index_en.html?c=sim");
  EXPECT_EQ(viewer->minw, 900);
  ASSERT_TRUE(dlg.RestoreLayout(1034669, 0, nullptr));
  EXPECT_EQ(dlg.Gadgets().size(), 1u);  // rebuilt, not doubled
  ASSERT_EQ(dlg.OpenCalls().size(), 2u);
  EXPECT_EQ(dlg.OpenCalls()[0].w, 1024);
  EXPECT_TRUE(dlg.OpenCalls()[1].restored);
  EXPECT_TRUE(dlg.Close());
  EXPECT_FALSE(dlg.IsOpen());
}

TEST(Dialogs, InterfaceServicesAreCounted) {
  hostevents::Reset();
  EventAdd();
  EventAdd(EVENT_ANIMATE);
  GeSyncMessage(EVMSG_TIMECHANGED);
  GeShowMouse(MOUSE_BUSY);
  EXPECT_EQ(hostevents::EventAddCount(), 2);
  EXPECT_EQ(hostevents::LastEventFlags(), EVENT_ANIMATE);
  EXPECT_EQ(hostevents::SyncMessageCount(EVMSG_TIMECHANGED), 1);
  EXPECT_EQ(hostevents::SyncMessageCount(1), 0);
  EXPECT_EQ(hostevents::ShowMouseCount(), 1);
  EXPECT_EQ(hostevents::LastMouseMode(), MOUSE_BUSY);
  hostevents::Reset();
  EXPECT_EQ(hostevents::EventAddCount(), 0);
}

}  // namespace
