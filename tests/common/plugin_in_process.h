// Starts the plug-in module linked into a test program the way the host
// loads it: the host table with the plug-in folder, the resource message,
// then the start; the folder's description resources join the host's.
#pragma once

#include <gtest/gtest.h>

#include "host_description.h"
#include "host_geometry.h"
#include "host_loader.h"
#include "host_plugin.h"
#include "host_services.h"

extern "C" LONG c4d_main(LONG action, void* p1, void* p2, void* p3);

namespace testsupport {

// The host table and the string resources only.
inline void HandOver(const char* folder) {
  HostTable table = HostTables(13000, folder);
  ASSERT_EQ(c4d_main(PLUGINACTION_HANDOVER, &table, nullptr, nullptr), 1);
  ASSERT_TRUE(PluginMessage(PLUGINMSG_RESOURCES, nullptr));
}

// Handed over, started and its descriptions known; the log kept quiet.
inline void StartPlugin(const char* folder) {
  hostlog::SetQuiet(true);
  ASSERT_NO_FATAL_FAILURE(HandOver(folder));
  ASSERT_TRUE(PluginStart());
  hostdesc::AddResourceFolder(Filename(folder) + Filename("res") + Filename("description"));
}

// The plug-in of folder started and an empty document. Afterwards the
// document goes, every failure the test asked of the host is called off and
// the registrations leave, so that the next test starts clean.
class PluginDocumentTest : public ::testing::Test {
 protected:
  explicit PluginDocumentTest(const char* folder) : folder_(folder) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StartPlugin(folder_));
    doc = BaseDocument::Alloc();
    ASSERT_NE(doc, nullptr);
  }
  void TearDown() override {
    BaseDocument::Free(doc);
    hostdesc::ClearResourceFolders();
    hostdesc::FailSetParameterAfter(0);
    hostmem::FailAllocation(0);
    hostgeo::FailModelingCommand(0);
    hostregistry::RemoveModule(String());
  }

  BaseDocument* doc = nullptr;

 private:
  const char* folder_;
};

}  // namespace testsupport
