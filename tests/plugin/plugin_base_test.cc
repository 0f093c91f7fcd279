#include "sdk/plugin/plugin_base.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/reference_host.h"
#include "sdk/binding/binding_value.h"
#include "sdk/plugin/load_handshake.h"

namespace Kelp {
namespace {

class TestPlugin : public PluginBase {
 public:
  bool startResult = true;
  int registrations = 0;
  int starts = 0;
  void RegisterEndpoints() override { ++registrations; }
  bool Start() override {
    ++starts;
    return startResult;
  }
};

bool nextStartResult = true;

void KELP_CDECL LoadTestPlugin(PluginLoadRecord* record) {
  auto* plugin = new TestPlugin();
  plugin->startResult = nextStartResult;
  LoadHandshake::Run(*plugin, *record, "tav-premade-voice");
}

PluginLoadRecord HostRecord(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
  PluginLoadRecord record{};
  record.major = major;
  record.minor = minor;
  record.patch = patch;
  return record;
}

TEST(LoadHandshakeTest, FillsTheRecordAndNamesThePlugin) {
  auto* plugin = new TestPlugin();
  PluginLoadRecord record = HostRecord(18, 3, 7);
  LoadHandshake::Run(*plugin, record, "tav-premade-voice");

  EXPECT_EQ(record.major, 18u);
  EXPECT_EQ(record.minor, 0u);
  EXPECT_EQ(record.patch, 0u);
  EXPECT_EQ(record.entryTable, plugin->entryTable());
  EXPECT_EQ(record.context, plugin);
  EXPECT_STREQ(record.name, "tav-premade-voice");
  EXPECT_EQ(record.apiDescriptor, plugin->apiDescriptor());
  // Fifteen builtin types and seven plugin-manager types; the builtin event
  // and five plugin-manager events. This plugin registers no endpoint.
  EXPECT_EQ(record.apiDescriptor->typeCount, 22u);
  EXPECT_EQ(record.apiDescriptor->eventCount, 6u);
  EXPECT_EQ(record.apiDescriptor->functionCount, 0u);
  ASSERT_NE(record.apiDescriptor->events, nullptr);
  EXPECT_STREQ(record.apiDescriptor->events[1].name, "OnJsonApiEvent");
  EXPECT_EQ(plugin->registrations, 1);
  EXPECT_EQ(plugin->names().fullName, "ucx-be-tav-premade-voice");
  EXPECT_EQ(plugin->identifierStem(), "TavPremadeVoice");
  EXPECT_EQ(plugin->documentationTags(),
            (std::vector<std::string>{"Plugins", "Plugin tav-premade-voice"}));
  EXPECT_EQ(plugin->hostVersion().ToString(), "18.3.7");

  record.entryTable->shutdown(record.context);  // destroys the plugin
}

TEST(LoadHandshakeDeathTest, IncompatibleHostEndsTheProcessWithAnAssertionReport) {
  for (const auto& version : {HostRecord(17, 9, 9), HostRecord(19, 0, 0)}) {
    EXPECT_DEATH(
        {
          TestPlugin plugin;
          PluginLoadRecord record = version;
          LoadHandshake::Run(plugin, record, "tav-premade-voice");
        },
        "Assertion failed!\n\nExpression: ALE-EECF0606");
  }
}

TEST(PluginBaseTest, InitBuildsTheUserAgentAndReturnsStartsResult) {
  for (bool startResult : {true, false}) {
    SCOPED_TRACE(startResult);
    nextStartResult = startResult;
    Host::ReferenceHost host(&LoadTestPlugin);
    ASSERT_TRUE(host.Load(18, 2, 1).ok());
    EXPECT_EQ(host.Init(77), startResult);
    const auto* plugin = static_cast<const TestPlugin*>(host.context());
    EXPECT_EQ(plugin->hostHandle(), 77u);
    EXPECT_EQ(plugin->userAgent(), "KelpClient/18.2.1 (tav-premade-voice)");
  }
}

TEST(PluginBaseTest, EntriesIgnoreNullArguments) {
  TestPlugin plugin;
  const PluginEntryTable& entries = *plugin.entryTable();
  EXPECT_EQ(entries.init(&plugin, nullptr), 0);
  EXPECT_EQ(entries.init(nullptr, nullptr), 0);
  entries.getMemoryStats(&plugin, nullptr);
  entries.shutdown(nullptr);
  EXPECT_EQ(plugin.starts, 0);
}

TEST(PluginBaseTest, MemoryStatsEndWithAZeroWord) {
  TestPlugin plugin;
  MemoryStats stats;
  std::memset(&stats, 0xAB, sizeof stats);
  plugin.entryTable()->getMemoryStats(&plugin, &stats);
  EXPECT_EQ(stats.reserved, 0u);
  EXPECT_GE(stats.allocationCount, stats.freeCount);
  EXPECT_GE(stats.bytesAllocated, stats.bytesFreed);
}

TEST(PluginBaseTest, WaitEntersYieldsAndLeavesThroughTheHost) {
  nextStartResult = true;
  Host::ReferenceHost host(&LoadTestPlugin);
  ASSERT_TRUE(host.Load().ok());
  ASSERT_TRUE(host.Init());
  auto* plugin = static_cast<TestPlugin*>(host.context());
  // The host's leaveWait answers 1, 2, ...: the plugin hands on what it got.
  EXPECT_EQ(plugin->Wait(), 1u);
  EXPECT_EQ(plugin->Wait(), 2u);
  std::vector<std::string> calls;
  for (const Host::SlotCall& call : host.calls()) {
    if (call.slot != "log") calls.push_back(call.slot + " " + call.arguments);
  }
  const std::vector<std::string> once = {"enterWait \"Wait: yield\"", "yield ", "leaveWait "};
  ASSERT_GE(calls.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(calls.end() - 6, calls.end() - 3), once);
  EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()), once);
  EXPECT_TRUE(host.problems().empty());
}

TEST(PluginBaseTest, RequestsBeforeInitFailInsteadOfReachingNoHost) {
  TestPlugin plugin;
  InvokeResponse response{};
  InvokeRequest request{};
  plugin.HostSendRequest(&response, &request);
  // The record is packed: read its fields by value.
  const std::uint8_t failed = response.result.failed;
  const char* error = response.result.error;
  const InvokeResponseRelease release = response.release;
  EXPECT_EQ(failed, 1);
  EXPECT_STREQ(error, "Plugin is not connected to a host");
  ASSERT_NE(release, nullptr);
  release(&response);
  const char* released = response.result.error;
  EXPECT_EQ(released, nullptr);
  EXPECT_EQ(plugin.HostLeaveWait(), 0u);
}

}  // namespace
}  // namespace Kelp
