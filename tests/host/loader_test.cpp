// Loading modules through c4d_main: version gate, refusals, resources first.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "host_loader.h"
#include "host_services.h"

namespace {

class Loader : public ::testing::Test {
 protected:
  void SetUp() override { hostlog::SetQuiet(true); }
  void TearDown() override {
    PluginHost::Get().UnloadAll();
    PluginHost::Get().SetHostVersion(13000);
  }
  static std::vector<LONG> IdsOf(const char* module) {
    std::vector<LONG> ids;
    for (const BasePlugin* p : hostregistry::All())
      if (p->module == module) ids.push_back(p->id);
    return ids;
  }
};

TEST_F(Loader, VantoRegistersItsPluginsInOrder) {
  String error;
  ASSERT_TRUE(PluginHost::Get().LoadModule(Filename(CARSIM_PLUGIN_ROOT "/vanto"), &error)) << error;
  EXPECT_EQ(IdsOf("vanto"), (std::vector<LONG>{1011582, 1019402, 1019403, 1019404, 1019405, 1034669}));
  BasePlugin* sim = FindPlugin(1011582, PLUGINTYPE_OBJECT);
  ASSERT_NE(sim, nullptr);
  EXPECT_EQ(sim->name.substr(0, 4), "#$1 ");
  EXPECT_EQ(sim->info, 0x8000);
  EXPECT_EQ(sim->description, "Osim");
  BasePlugin* help = FindPlugin(1034669, PLUGINTYPE_COMMAND);
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->info, 0x8000000);
  EXPECT_EQ(FindPlugin(1019405, PLUGINTYPE_TAG)->info, 9);
}

TEST_F(Loader, VersionGate) {
  struct Case {
    LONG version;
    bool loads;
  } cases[] = {{12999, false}, {13000, true}, {15037, true}, {0, false}};
  for (const auto& c : cases) {
    PluginHost::Get().SetHostVersion(c.version);
    String error;
    EXPECT_EQ(PluginHost::Get().LoadModule(Filename(CARSIM_PLUGIN_ROOT "/vanto"), &error), c.loads) << c.version;
    EXPECT_EQ(IdsOf("vanto").empty(), !c.loads) << c.version;
    if (!c.loads) {
      EXPECT_NE(error.find("refused"), std::string::npos) << error;
    }
    PluginHost::Get().UnloadAll();
  }
}

TEST_F(Loader, RefusingModuleIsUnloadedAndItsRegistrationsWithdrawn) {
  std::vector<String> errors;
  LONG loaded = PluginHost::Get().LoadFolder(Filename(CARSIM_TEST_PLUGIN_ROOT), &errors);
  EXPECT_EQ(loaded, 1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("refuser"), std::string::npos);
  // The refuser had registered 990002 before failing: nothing of it stays.
  EXPECT_EQ(FindPlugin(990002, PLUGINTYPE_ANY), nullptr);
  ASSERT_EQ(PluginHost::Get().Modules().size(), 1u);
  EXPECT_EQ(PluginHost::Get().Modules()[0].name, "probe");
}

TEST_F(Loader, ResourcesAreReadBeforeTheStart) {
  // The probe refuses to start unless the resource message came first, and
  // names its tag from the string table.
  String error;
  ASSERT_TRUE(PluginHost::Get().LoadModule(Filename(CARSIM_TEST_PLUGIN_ROOT "/probe"), &error)) << error;
  BasePlugin* p = FindPlugin(990001, PLUGINTYPE_TAG);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->name, "Probe");
  EXPECT_EQ(p->module, "probe");
}

TEST_F(Loader, MissingFolderOrLibraryIsReported) {
  String error;
  EXPECT_FALSE(PluginHost::Get().LoadModule(Filename("/nonexistent/vanto"), &error));
  EXPECT_NE(error.find("no library"), std::string::npos);
  std::vector<String> errors;
  EXPECT_EQ(PluginHost::Get().LoadFolder(Filename("/nonexistent"), &errors), 0);
  EXPECT_FALSE(errors.empty());
}

// A copy of the probe module under another name, with resources of our own.
std::filesystem::path ModuleCopy(const std::string& name, const std::string& strings, const std::string& description) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "loader_modules" / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "res" / "strings_us");
  std::filesystem::copy_file(CARSIM_TEST_PLUGIN_ROOT "/probe/probe.so", dir / (name + ".so"));
  std::ofstream(dir / "res" / "strings_us" / "c4d_strings.str") << strings;
  if (!description.empty()) {
    std::filesystem::create_directories(dir / "res" / "description");
    std::ofstream(dir / "res" / "description" / "Tprobe.json") << description;
  }
  return dir;
}

TEST_F(Loader, BrokenResourcesAreReportedWithModuleAndFile) {
  const std::string strings = "STRINGTABLE\n{\n  IDS_PROBE 10000 \"Probe\";\n}\n";
  struct Case {
    const char* name;
    std::string strings, description;
    std::string error;  // empty: loads
  };
  const Case cases[] = {
      {"fine", strings, R"({"entries": [{"id": 1, "type": "long", "default": 3}]})", ""},
      {"nodesc", strings, "", ""},
      {"emptystrings", "", "", "module emptystrings: its string table %/res/strings_us/c4d_strings.str holds no strings"},
      {"baddesc", strings, R"({"entries": [{"id": 1, "type": "lnog"}]})",
       "module baddesc: description resource %/res/description/Tprobe.json: entry 1: unknown type \"lnog\""},
      {"bigdefault", strings, R"({"entries": [{"id": 1, "type": "long", "default": 1e300}]})",
       "module bigdefault: description resource %/res/description/Tprobe.json: entry 1: the default is beyond the integer range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path dir = ModuleCopy(c.name, c.strings, c.description);
    String error;
    const bool loaded = PluginHost::Get().LoadModule(Filename(String(dir.string())), &error);
    EXPECT_EQ(loaded, c.error.empty()) << error;
    std::string expected = c.error;
    if (const size_t at = expected.find('%'); at != std::string::npos) expected.replace(at, 1, dir.string());
    EXPECT_EQ(std::string(error), expected);
    // A refused module leaves no registration behind.
    EXPECT_EQ(FindPlugin(990001, PLUGINTYPE_ANY) != nullptr, loaded);
    PluginHost::Get().UnloadAll();
  }
}

TEST(Resources, ParsesNumbersTextsAndEscapes) {
  std::vector<std::pair<LONG, String>> table;
  ASSERT_TRUE(GeResource::ParseFile(Filename(CARSIM_SOURCE_DIR "/tests/modules/res/strings_us/c4d_strings.str"), table));
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0], (std::pair<LONG, String>{10000, "Probe"}));
  EXPECT_EQ(table[1].second, "Caf\xc3\xa9 #1");
}

}  // namespace
