// The help command: which manual page its dialog shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "plugin_in_process.h"
#include "frame/help.h"
#include "host_loader.h"

namespace {

const std::string kPluginFolder = CARSIM_PLUGIN_ROOT "/vanto";

class Help : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlog::SetQuiet(true);
    Start("strings_us");
    ASSERT_TRUE(PluginStart());
    // Stand-ins for the add-on tags, which another module registers.
    for (LONG id : std::initializer_list<LONG>{ID_KOLVARIS, ID_ROTELIX, kOtherTag})
      ASSERT_TRUE(RegisterTagPlugin(id, "T", 9, [] { return static_cast<NodeData*>(new TagData); }, "", nullptr, 0));
    doc_ = BaseDocument::Alloc();
    sim_ = BaseObject::Alloc(ID_SIM);
    car_ = BaseObject::Alloc(ID_CAR);
    null_ = BaseObject::Alloc(Onull);
    ASSERT_TRUE(sim_ && car_ && null_);
    doc_->InsertObject(sim_, nullptr, nullptr);
    doc_->InsertObject(car_, sim_, nullptr);
    doc_->InsertObject(null_, nullptr, nullptr);
    SetActiveDocument(doc_);
  }
  void TearDown() override {
    hostdialog::SetHtmlViewerAvailable(true);
    BaseDocument::Free(doc_);
    hostregistry::RemoveModule(String());
    HostSetLanguageFolder("strings_us");
  }
  static void Start(const char* language_folder) {
    HostSetLanguageFolder(language_folder);
    ASSERT_NO_FATAL_FAILURE(testsupport::HandOver(kPluginFolder.c_str()));
  }
  void Select(BaseObject* op, BaseTag* tag) {
    doc_->SetActiveObject(op);
    doc_->SetActiveTag(tag);
  }
  // Joined as the system joins paths ('\\' on Windows).
  static std::string Page(const char* language) {
    return (std::filesystem::path(kPluginFolder) / "manual" / "pages" / (std::string("index_") + language + ".html"))
        .string();
  }

  static constexpr LONG kOtherTag = 1099999;
  BaseDocument* doc_ = nullptr;
  BaseObject *sim_ = nullptr, *car_ = nullptr, *null_ = nullptr;
};

TEST_F(Help, TheSelectionPicksTheTopic) {
  BaseTag* kv = car_->MakeTag(ID_KOLVARIS);
  BaseTag* rx = car_->MakeTag(ID_ROTELIX);
  BaseTag* other = sim_->MakeTag(kOtherTag);
  ASSERT_TRUE(kv && rx && other);
  struct Case {
    BaseObject* op;
    BaseTag* tag;
    const char* query;
  };
  const Case cases[] = {
      {car_, kv, "?c=kv"},     // the tag wins over its Car
      {car_, rx, "?c=rx"},
      {nullptr, kv, "?c=kv"},
      {sim_, other, "?c=sim"},  // another tag does not stop the search
      {car_, other, "?c=car"},
      {sim_, nullptr, "?c=sim"},
      {car_, nullptr, "?c=car"},
      {null_, nullptr, ""},
      {nullptr, nullptr, ""},
      {null_, other, ""},
  };
  for (const Case& c : cases) {
    Select(c.op, c.tag);
    EXPECT_EQ(HelpPageAddress(doc_), Page("en") + c.query) << c.query;
  }
  EXPECT_EQ(HelpPageAddress(nullptr), Page("en"));
}

TEST_F(Help, TheCommandOpensTheViewerDialog) {
  auto* command = dynamic_cast<DialogCommand*>(FindPlugin(ID_VANTOHELP, PLUGINTYPE_COMMAND)->command);
  ASSERT_NE(command, nullptr);
  Select(sim_, nullptr);
  // The page follows the host's active document, whatever the command is
  // handed.
  BaseDocument* other = BaseDocument::Alloc();
  ASSERT_TRUE(command->Execute(other));
  BaseDocument::Free(other);
  HelpDialog& dlg = command->Dialog();
  ASSERT_EQ(dlg.OpenCalls().size(), 1u);
  const GeDialog::OpenRecord& open = dlg.OpenCalls()[0];
  EXPECT_EQ(open.dlgtype, DLG_TYPE_ASYNC);
  EXPECT_EQ(open.pluginid, ID_VANTOHELP);
  EXPECT_EQ(open.xpos, -1);
  EXPECT_EQ(open.ypos, -1);
  EXPECT_EQ(open.w, 1024);
  EXPECT_EQ(open.h, 768);
  EXPECT_EQ(open.subid, 0);
  ASSERT_EQ(dlg.Gadgets().size(), 1u);
  const DialogGadget* g = dlg.Gadgets()[0];
  EXPECT_EQ(g->id, 1001);
  EXPECT_EQ(g->gui, CUSTOMGUI_HTMLVIEWER);
  EXPECT_EQ(g->name, "Viewer");
  EXPECT_EQ(g->flags, 0x3f);
  EXPECT_EQ(g->minw, 900);
  EXPECT_EQ(g->minh, 200);
  ASSERT_EQ(dlg.Viewer(), g);
  EXPECT_EQ(dlg.Viewer()->GetUrl(), Page("en") + "?c=sim");
  EXPECT_TRUE(std::filesystem::exists(Page("en")));

  // The page was chosen when the layout was built.
  Select(car_, nullptr);
  EXPECT_EQ(dlg.Viewer()->GetUrl(), Page("en") + "?c=sim");
  // Opened again, the new selection counts.
  ASSERT_TRUE(command->Execute(nullptr));
  EXPECT_EQ(dlg.Viewer()->GetUrl(), Page("en") + "?c=car");

  // Restored into a saved layout: the topic of the active document's
  // selection.
  Select(null_, car_->MakeTag(ID_ROTELIX));
  ASSERT_TRUE(command->RestoreLayout(nullptr));
  ASSERT_EQ(dlg.OpenCalls().size(), 3u);
  EXPECT_TRUE(dlg.OpenCalls()[2].restored);
  EXPECT_EQ(dlg.OpenCalls()[2].pluginid, ID_VANTOHELP);
  EXPECT_EQ(dlg.OpenCalls()[2].subid, 0);
  ASSERT_EQ(dlg.Gadgets().size(), 1u);
  EXPECT_EQ(dlg.Viewer()->GetUrl(), Page("en") + "?c=rx");

  // With the document gone there is no active one: the index page, nothing
  // read from a freed document.
  BaseDocument::Free(doc_);
  ASSERT_EQ(GetActiveDocument(), nullptr);
  ASSERT_TRUE(command->RestoreLayout(nullptr));
  EXPECT_EQ(dlg.Viewer()->GetUrl(), Page("en"));
}

// Without the host's HTML viewer the dialog opens empty.
TEST_F(Help, WithoutTheViewerTheDialogShowsNoPage) {
  auto* command = dynamic_cast<DialogCommand*>(FindPlugin(ID_VANTOHELP, PLUGINTYPE_COMMAND)->command);
  ASSERT_NE(command, nullptr);
  Select(car_, nullptr);
  hostdialog::SetHtmlViewerAvailable(false);
  EXPECT_TRUE(command->Execute(doc_));
  EXPECT_EQ(command->Dialog().Viewer(), nullptr);
  EXPECT_TRUE(command->Dialog().Gadgets().empty());
  EXPECT_TRUE(command->RestoreLayout(nullptr));
  EXPECT_EQ(command->Dialog().Viewer(), nullptr);
}

TEST_F(Help, TheInterfaceLanguagePicksThePage) {
  Start("strings_de");
  Select(car_, nullptr);
  EXPECT_EQ(HelpPageAddress(doc_), Page("de") + "?c=car");
  EXPECT_TRUE(std::filesystem::exists(Page("de")));
}

TEST(HelpResources, WithoutALanguageStringTheEnglishPageOpens) {
  hostlog::SetQuiet(true);
  auto dir = std::filesystem::temp_directory_path() / "vanto_help_test";
  std::filesystem::create_directories(dir / "res" / "strings_us");
  std::ofstream(dir / "res" / "strings_us" / "c4d_strings.str") << "IDS_HELP 9999 \"Help\";\n";
  const std::string folder = dir.string();
  ASSERT_NO_FATAL_FAILURE(testsupport::HandOver(folder.c_str()));
  EXPECT_EQ(HelpPageAddress(nullptr), (dir / "manual" / "pages" / "index_en.html").string());
  std::filesystem::remove_all(dir);
}

// The shipped pages hold a section for every topic the command asks for.
TEST(HelpPages, EveryTopicHasItsSection) {
  for (const char* language : {"en", "de"}) {
    const std::string path = kPluginFolder + "/manual/pages/index_" + language + ".html";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string page = ss.str();
    for (const char* topic : {"sim", "car", "kv", "rx"})
      EXPECT_NE(page.find(std::string("id=\"") + topic + "\""), std::string::npos) << language << " " << topic;
    EXPECT_NE(page.find("</html>"), std::string::npos) << language;
  }
}

}  // namespace
