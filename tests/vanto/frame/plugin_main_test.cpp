// vanto's start-up: registration order and pattern, add-on detection.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "plugin_in_process.h"
#include "host_loader.h"
#include "frame/plugin_main.h"
#include "sim/sim_object.h"

extern "C" LONG c4d_main(LONG action, void* p1, void* p2, void* p3);

namespace {

std::vector<LONG> RegisteredIds() {
  std::vector<LONG> ids;
  for (const BasePlugin* p : hostregistry::All()) ids.push_back(p->id);
  return ids;
}

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlog::SetQuiet(true);
    Start(CARSIM_PLUGIN_ROOT "/vanto");
  }
  void TearDown() override { hostregistry::RemoveModule(String()); }
  // Hands the host table over and reads the resources, as the loader does.
  static void Start(const char* folder) {
    ASSERT_NO_FATAL_FAILURE(testsupport::HandOver(folder));
  }
};

TEST_F(Frame, RegistersSixPluginsInOrder) {
  ASSERT_TRUE(PluginStart());
  EXPECT_EQ(RegisteredIds(), (std::vector<LONG>{1011582, 1019402, 1019403, 1019404, 1019405, 1034669}));
  EXPECT_EQ(FindPlugin(ID_CAR, PLUGINTYPE_OBJECT)->name, "#$2 " + GeLoadString(10001));
  EXPECT_EQ(FindPlugin(ID_VANTOROUTE, PLUGINTYPE_TAG)->name, GeLoadString(10002));
  EXPECT_EQ(FindPlugin(ID_VANTOCOMMANDS, PLUGINTYPE_TAG)->description, "TvantoCommandsexp");
  EXPECT_EQ(FindPlugin(ID_VANTOHELP, PLUGINTYPE_COMMAND)->help, GeLoadString(9999));
}

TEST_F(Frame, TheFirstRefusedRegistrationEndsStartUp) {
  // The host refuses the Car: its ID is taken already.
  class Dummy : public ObjectData {};
  ASSERT_TRUE(RegisterObjectPlugin(ID_CAR, "taken", 0, [] { return static_cast<NodeData*>(new Dummy); }, "", nullptr, 0));
  EXPECT_FALSE(PluginStart());
  EXPECT_EQ(RegisteredIds(), (std::vector<LONG>{1019402, 1011582}));  // the Sim stays, nothing after the Car
}

TEST_F(Frame, RefusedHelpCommandIsFreedAndFailsStartUp) {
  ASSERT_TRUE(RegisterTagPlugin(ID_VANTOHELP, "taken", 0, [] { return static_cast<NodeData*>(new TagData); }, "",
                                nullptr, 0));
  EXPECT_FALSE(PluginStart());  // LeakSanitizer reports the command if it is not freed
}

TEST_F(Frame, AnEmptyNameSkipsThatPluginOnly) {
  // A plug-in folder whose string table lacks the Sim's name.
  auto dir = std::filesystem::temp_directory_path() / "vanto_frame_test";
  std::filesystem::create_directories(dir / "res" / "strings_us");
  std::ofstream(dir / "res" / "strings_us" / "c4d_strings.str")
      << "IDS_HELP 9999 \"Help\";\nIDS_CAR 10001 \"Car\";\nIDS_R 10002 \"R\";\nIDS_C 10003 \"C\";\nIDS_G 10004 \"G\";\n";
  std::string folder = dir.string();
  Start(folder.c_str());
  EXPECT_TRUE(PluginStart());
  EXPECT_EQ(RegisteredIds(), (std::vector<LONG>{1019402, 1019403, 1019404, 1019405, 1034669}));
  std::filesystem::remove_all(dir);
}

TEST_F(Frame, Messages) {
  EXPECT_TRUE(PluginMessage(0, nullptr));
  EXPECT_TRUE(PluginMessage(1001188, nullptr));
  EXPECT_FALSE(PluginMessage(2, nullptr));
  EXPECT_EQ(c4d_main(PLUGINACTION_VERSION, nullptr, nullptr, nullptr), 5);
  // Resources that cannot be read answer false.
  HostTable table = HostTables(13000, "/nonexistent");
  ASSERT_EQ(c4d_main(PLUGINACTION_HANDOVER, &table, nullptr, nullptr), 1);
  EXPECT_FALSE(PluginMessage(PLUGINMSG_RESOURCES, nullptr));
  HostTable no_path = HostTables(13000, "");
  EXPECT_EQ(c4d_main(PLUGINACTION_HANDOVER, &no_path, nullptr, nullptr), 0);
}

TEST_F(Frame, AddOnFlagsFollowTheRegistry) {
  ASSERT_TRUE(PluginStart());
  BaseObject* sim = BaseObject::Alloc(ID_SIM);  // Sim::Init detects the add-ons
  ASSERT_NE(sim, nullptr);
  EXPECT_EQ(AddOnFlags & 1, 0);
  BaseObject::Free(sim);
  ASSERT_TRUE(RegisterTagPlugin(ID_KOLVARIS, "K", 9, [] { return static_cast<NodeData*>(new TagData); }, "", nullptr, 0));
  sim = BaseObject::Alloc(ID_SIM);
  EXPECT_EQ(AddOnFlags & 1, 1);
  BaseObject::Free(sim);
}

}  // namespace
