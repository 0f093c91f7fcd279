// The plugin base's events, timers and logging as the reference host sees
// them.
#include <cmath>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "sdk/binding/binding_property.h"
#include "sdk/binding/memory.h"
#include "sdk/binding/type_builder.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/plugin/load_handshake.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/runtime/logger.h"

namespace Kelp {
namespace {

using Host::HostValue;
using Host::MakeObject;
using Host::ReferenceHost;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Member {
  std::string puuid;
  std::int32_t volume = 0;
};

// Reads the host's virtual clock, so that delays come out exact.
const ReferenceHost* clockHost = nullptr;
std::int64_t HostClock() { return std::llround(clockHost->NowSeconds() * 1e9); }

class HostTestPlugin : public PluginBase {
 public:
  std::vector<std::string> seen;

  void RegisterEndpoints() override {
    TypeBuilder<Member>(registry(), "HostTestMember")
        .Field("puuid", &Member::puuid)
        .Field("volume", &Member::volume);
  }
  bool Start() override {
    scheduledCalls().SetClock(&HostClock);
    AddResourceHandler<Member>("/tav-lobby/v2/comms/members",
                               [this](const ResourceEvent<Member>& event) {
                                 seen.push_back(event.uri + " " + event.value.puuid);
                               });
    return true;
  }
};

void KELP_CDECL LoadHostTestPlugin(PluginLoadRecord* record) {
  auto* plugin = new HostTestPlugin();
  LoadHandshake::Run(*plugin, *record, "host-test");
}

class EventsHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clockHost = &host;
    ASSERT_TRUE(host.Load().ok());
    ASSERT_TRUE(host.Init(7));
    plugin = static_cast<HostTestPlugin*>(host.context());
  }
  void TearDown() override {
    host.Shutdown();
    EXPECT_THAT(host.problems(), IsEmpty());
  }

  ReferenceHost host{&LoadHostTestPlugin};
  HostTestPlugin* plugin = nullptr;
};

TEST_F(EventsHostTest, InitSubscribesToTheServiceProxyEventsWithFlagOne) {
  for (const char* name :
       {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"}) {
    SCOPED_TRACE(name);
    const auto subscribers = host.SubscribersOf(name);
    ASSERT_EQ(subscribers.size(), 1u);
    EXPECT_EQ(subscribers[0].flags, 1u);
    EXPECT_EQ(subscribers[0].hostHandle, 7u);
    EXPECT_EQ(subscribers[0].context, static_cast<void*>(plugin));
  }
  const auto lobby = host.SubscribersOf("OnJsonApiEvent_tav-lobby_v2_comms");
  ASSERT_EQ(lobby.size(), 1u);
  EXPECT_EQ(lobby[0].flags, 0u);
}

TEST_F(EventsHostTest, LogLinesReachTheHostExceptExtraOnes) {
  Log(LogLevel::Always, kLogDbg, "Joined channel %s", "party-1");
  Log(LogLevel::Always, kLogXtr, "extra detail");
  Log(LogLevel::Okay, kLogGen, "general");
  ASSERT_EQ(host.logLines().size(), 2u);
  EXPECT_EQ(host.logLines()[0].level, 3);
  EXPECT_EQ(host.logLines()[0].text, "Joined channel party-1");
  EXPECT_EQ(host.logLines()[1].level, 0);
  EXPECT_EQ(host.logLines()[1].text, "general");
}

TEST_F(EventsHostTest, EventsRoutedByTheHostReachTheTypedHandler) {
  const HostValue event = MakeObject({{"uri", "tav-lobby/v2/comms/members"},
                                      {"eventType", "Update"},
                                      {"data", MakeObject({{"puuid", "p1"}, {"volume", 3}})}});
  EXPECT_EQ(host.DeliverEvent("OnJsonApiEvent_tav-lobby_v2_comms", event), 1u);
  EXPECT_THAT(plugin->seen, ElementsAre("/tav-lobby/v2/comms/members p1"));
}

TEST_F(EventsHostTest, PublicationsGoOutTwice) {
  ASSERT_TRUE(PublishResourceEvent(*plugin, "/host-test/v1/session", Member{"p2", 9}).ok());
  const auto onChannel = host.PublishedOn("OnJsonApiEvent_host-test_v1_session");
  const auto catchAll = host.PublishedOn("OnJsonApiEvent");
  ASSERT_EQ(onChannel.size(), 1u);
  ASSERT_EQ(catchAll.size(), 1u);
  EXPECT_EQ(onChannel[0].error, "");
  EXPECT_EQ(onChannel[0].payload, catchAll[0].payload);
  const HostValue* data = onChannel[0].payload.Find("data");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Find("puuid")->AsString(), "p2");
  EXPECT_EQ(onChannel[0].payload.Find("eventType")->AsString(), "Update");

  // A path without a channel of its own goes out on the catch-all only.
  ASSERT_TRUE(PublishResourceEvent(*plugin, "/", Member{}).ok());
  EXPECT_EQ(host.published().size(), 3u);
  EXPECT_EQ(host.published().back().name, "OnJsonApiEvent");
}

TEST_F(EventsHostTest, TimersRunOnTheHostsClock) {
  int fires = 0;
  plugin->SetTimer("poll", 0.5, [&] { ++fires; });
  host.AdvanceClock(0.4);
  EXPECT_EQ(fires, 0);
  host.AdvanceClock(0.1);
  EXPECT_EQ(fires, 1);
  host.AdvanceClock(1.0);
  EXPECT_EQ(fires, 3);
  for (const auto& call : host.scheduled()) {
    EXPECT_EQ(call.name, "Timer: poll");
    EXPECT_DOUBLE_EQ(call.delaySeconds, 0.5);
  }
  plugin->CancelTimer("poll");
  host.AdvanceClock(0.5);
  EXPECT_EQ(fires, 3);
  ASSERT_FALSE(host.logLines().empty());
  EXPECT_EQ(host.logLines().back().level, 1);
  EXPECT_EQ(host.logLines().back().text, "host-test: Couldn't find timer named poll");
}

TEST_F(EventsHostTest, ShutdownReturnsTheChunksThatDestroyedTreesLeft) {
  const auto inUse = [] {
    const MemoryStats stats = ReadMemoryStats();
    return static_cast<std::int64_t>(stats.bytesAllocated - stats.bytesFreed);
  };
  {
    BindingProperty tree;
    tree.MakeCollection();
    for (int i = 0; i < 100000; ++i) tree.Append().SetString("text number " + std::to_string(i));
  }
  const std::int64_t kept = inUse();
  host.Shutdown();
  EXPECT_GT(kept - inUse(), std::int64_t{2} << 20);
}

TEST_F(EventsHostTest, ShutdownReleasesEverySubscriptionOnce) {
  plugin->AddResourceHandler<Member>("/tav-lobby/v2/comms", [](const ResourceEvent<Member>&) {});
  plugin->AddResourceHandler<Member>("/voice/v1/*", [](const ResourceEvent<Member>&) {});
  // The plugin's own Shutdown first, then the host's, which calls it again.
  plugin->Shutdown();
  EXPECT_TRUE(plugin->resourceHandlers().empty());
  host.Shutdown();
  EXPECT_THAT(host.Subscriptions(), IsEmpty());
  std::vector<std::string> released;
  for (const Host::SlotCall& call : host.CallsTo("unsubscribe")) released.push_back(call.arguments);
  EXPECT_THAT(released, ::testing::UnorderedElementsAre(
                            "\"OnServiceProxyUuidEvent\" handle=7",
                            "\"OnServiceProxyMethodEvent\" handle=7",
                            "\"OnServiceProxyAsyncEvent\" handle=7",
                            "\"OnJsonApiEvent_tav-lobby_v2_comms\" handle=7",
                            "\"OnJsonApiEvent_voice_v1_*\" handle=7"));
}

}  // namespace
}  // namespace Kelp
