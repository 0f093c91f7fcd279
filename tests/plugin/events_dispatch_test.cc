#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sdk/binding/type_builder.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/plugin/plugin_base.h"
#include "tests/plugin/events_fake_host.h"

namespace Kelp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

struct Member {
  std::string puuid;
  std::int32_t volume = -1;
};

struct Unregistered {
  int value = 0;
};

class EventPlugin : public PluginBase {
 public:
  EventPlugin() {
    names_.shortName = "events";
    TypeBuilder<Member>(registry(), "TestMember")
        .Field("puuid", &Member::puuid)
        .Field("volume", &Member::volume);
  }
};

// What a typed handler saw, as one line per call.
std::string Seen(const char* tag, const ResourceEvent<Member>& event) {
  return std::string(tag) + " " + event.uri + " " + std::to_string(static_cast<int>(event.eventType)) +
         " " + event.value.puuid + " " + std::to_string(event.value.volume);
}

std::string Event(const std::string& uri, const std::string& type, const std::string& data) {
  return R"({"uri":")" + uri + R"(","eventType":")" + type + R"(","data":)" + data + "}";
}

class EventsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host.Init(plugin)); }

  void Listen(const std::string& path, const char* tag) {
    plugin.AddResourceHandler<Member>(
        path, [this, tag](const ResourceEvent<Member>& event) { seen.push_back(Seen(tag, event)); });
  }

  testing::FakeHost host;
  EventPlugin plugin;
  std::vector<std::string> seen;
};

TEST_F(EventsTest, InitSubscribesToTheServiceProxyEvents) {
  ASSERT_EQ(host.subscribed.size(), 3u);
  const char* kNames[] = {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent",
                          "OnServiceProxyAsyncEvent"};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(kNames[i]);
    EXPECT_EQ(host.subscribed[i].name, kNames[i]);
    EXPECT_EQ(host.subscribed[i].flags, 1u);
    EXPECT_EQ(host.subscribed[i].hostHandle, 7u);
    EXPECT_EQ(host.subscribed[i].context, static_cast<void*>(&plugin));
  }
}

TEST_F(EventsTest, PathsOfOneChannelShareOneHostSubscription) {
  host.subscribed.clear();
  plugin.Subscribe("/tav-lobby/v2/lobby");
  plugin.Subscribe("/tav-lobby/v2/lobby/members");
  ASSERT_EQ(host.subscribed.size(), 1u);
  EXPECT_EQ(host.subscribed[0].name, "OnJsonApiEvent_tav-lobby_v2_lobby");
  EXPECT_EQ(host.subscribed[0].flags, 0u);
  EXPECT_EQ(plugin.eventSubscriptions().count("OnJsonApiEvent_tav-lobby_v2_lobby"), 2u);

  plugin.Unsubscribe("/tav-lobby/v2/lobby/members");
  EXPECT_THAT(host.unsubscribed, IsEmpty());
  plugin.Unsubscribe("/tav-lobby/v2/lobby");
  EXPECT_THAT(host.unsubscribed, ElementsAre(Pair("OnJsonApiEvent_tav-lobby_v2_lobby", 7u)));
  EXPECT_FALSE(plugin.eventSubscriptions().HasHandler("OnJsonApiEvent_tav-lobby_v2_lobby"));
  plugin.Unsubscribe("/tav-lobby/v2/lobby");  // nothing left to release
  EXPECT_EQ(host.unsubscribed.size(), 1u);
}

TEST_F(EventsTest, EventsReachExactAndPatternHandlers) {
  Listen("/x/a/y", "exact");
  Listen("/x/*/y", "pattern");
  Listen("/x/*", "short");
  Listen("/x/b/y", "other");
  const char* kChannel = "OnJsonApiEvent_x_a_y";
  ASSERT_EQ(host.DeliverJson(kChannel, Event("/x/a/y", "Update", R"({"puuid":"p1","volume":5})")),
            1);
  // Without its leading "/" the uri is repaired before the lookup.
  ASSERT_EQ(host.DeliverJson(kChannel, Event("x/a/y", "Create", R"({"puuid":"p2"})")), 1);
  EXPECT_THAT(seen, ElementsAre("exact /x/a/y 1 p1 5", "pattern /x/a/y 1 p1 5",
                                "exact /x/a/y 0 p2 -1", "pattern /x/a/y 0 p2 -1"));
  seen.clear();
  // Every subscribed channel dispatches by uri; "/x/*" subscribed "OnJsonApiEvent_x_*".
  ASSERT_EQ(host.DeliverJson("OnJsonApiEvent_x_*", Event("/x/q", "Update", R"({"puuid":"p3"})")),
            1);
  EXPECT_THAT(seen, ElementsAre("short /x/q 1 p3 -1"));
  EXPECT_THAT(host.logged, IsEmpty());
}

TEST_F(EventsTest, DeleteEventsCarryADefaultValue) {
  Listen("/x/a", "h");
  host.DeliverJson("OnJsonApiEvent_x_a", Event("/x/a", "Delete", R"("not a member")"));
  host.DeliverJson("OnJsonApiEvent_x_a", Event("/x/a", "Delete", "null"));
  EXPECT_THAT(seen, ElementsAre("h /x/a 2  -1", "h /x/a 2  -1"));
}

TEST_F(EventsTest, BadEventsAreDroppedSilently) {
  Listen("/x/a", "h");
  const struct {
    const char* name;
    const char* channel;
    std::string payload;
  } kRows[] = {
      {"data of the wrong type", "OnJsonApiEvent_x_a",
       Event("/x/a", "Update", R"({"puuid":"p","volume":"loud"})")},
      {"unknown event type", "OnJsonApiEvent_x_a", Event("/x/a", "Moved", "{}")},
      {"payload not a record", "OnJsonApiEvent_x_a", "[1,2,3]"},
      {"no handler for the path", "OnJsonApiEvent_x_a", Event("/x/a/b", "Update", "{}")},
      {"no handler for the name", "OnJsonApiEvent_x_b", Event("/x/a", "Update", "{}")},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    host.DeliverJson(row.channel, row.payload);
  }
  // A record the host never meant for us reaches no handler either.
  EventRecord stray{"OnJsonApiEvent_unknown", {}, 0, &plugin};
  EventSubscriptions::Callback(&stray);
  EXPECT_THAT(seen, IsEmpty());
  EXPECT_THAT(host.logged, IsEmpty());
}

TEST_F(EventsTest, PayloadsNestedTooDeeplyAreRefused) {
  Listen("/x/a", "h");
  // A collection nested past the limit, built by hand as a host could.
  const int depth = kMaxNestingDepth + 8;
  std::vector<BindingValue> levels(depth);
  for (int i = 0; i + 1 < depth; ++i) {
    levels[i].kind = BINDING_VALUE_COLLECTION;
    levels[i].payload.collection = {&levels[i + 1], 1};
  }
  EXPECT_EQ(host.Deliver("OnJsonApiEvent_x_a", levels[0]), 1);
  EXPECT_THAT(seen, IsEmpty());
  EXPECT_THAT(host.logged, IsEmpty());
}

TEST_F(EventsTest, AThrowingHandlerIsLoggedAndStopsAtTheCallback) {
  plugin.AddResourceHandler<Member>(
      "/x/a", [](const ResourceEvent<Member>&) { throw std::runtime_error("handler failed"); });
  EXPECT_EQ(host.DeliverJson("OnJsonApiEvent_x_a", Event("/x/a", "Update", "{}")), 1);
  EXPECT_THAT(host.logged,
              ElementsAre(Pair(2, "event callback stopped on an exception: handler failed")));
}

TEST_F(EventsTest, AHandlerMayUnsubscribeItsOwnChannel) {
  plugin.AddResourceHandler<Member>("/x/a", [this](const ResourceEvent<Member>& event) {
    plugin.Unsubscribe("/x/a");
    seen.push_back(event.uri);
  });
  EXPECT_EQ(host.DeliverJson("OnJsonApiEvent_x_a", Event("/x/a", "Update", "{}")), 1);
  EXPECT_THAT(seen, ElementsAre("/x/a"));
  EXPECT_THAT(host.unsubscribed, ElementsAre(Pair("OnJsonApiEvent_x_a", 7u)));
}

TEST_F(EventsTest, ShutdownUnsubscribesEveryHandledEventOnce) {
  Listen("/tav-lobby/v2/lobby", "a");
  Listen("/tav-lobby/v2/lobby/members", "b");
  Listen("/voice/v1/*", "c");
  plugin.Shutdown();
  std::vector<std::string> names;
  for (const auto& [name, handle] : host.unsubscribed) {
    EXPECT_EQ(handle, 7u);
    names.push_back(name);
  }
  EXPECT_THAT(names, ::testing::UnorderedElementsAre(
                         "OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent",
                         "OnServiceProxyAsyncEvent", "OnJsonApiEvent_tav-lobby_v2_lobby",
                         "OnJsonApiEvent_voice_v1_*"));
  EXPECT_TRUE(plugin.resourceHandlers().empty());
  plugin.Shutdown();
  EXPECT_EQ(host.unsubscribed.size(), 5u);
}

TEST_F(EventsTest, PublishingSendsOnTheChannelAndOnTheCatchAll) {
  const RemotingResult sent =
      PublishResourceEvent(plugin, "/tav-premade-voice/v1/session", Member{"p1", 40});
  EXPECT_TRUE(sent.ok());
  const std::string payload =
      R"({"data":{"puuid":"p1","volume":40},"eventType":"Update","uri":"/tav-premade-voice/v1/session"})";
  EXPECT_THAT(host.published,
              ElementsAre(Pair("OnJsonApiEvent_tav-premade-voice_v1_session", payload),
                          Pair("OnJsonApiEvent", payload)));

  host.published.clear();
  EXPECT_TRUE(PublishResourceEvent(plugin, "/", Member{}).ok());
  ASSERT_EQ(host.published.size(), 1u);
  EXPECT_EQ(host.published[0].first, "OnJsonApiEvent");
}

TEST_F(EventsTest, APublicationThatDoesNotConvertSendsNothing) {
  const RemotingResult sent = PublishResourceEvent(plugin, "/x/y", Unregistered{});
  EXPECT_FALSE(sent.ok());
  EXPECT_EQ(sent.message, "Couldn't convert native value because it's an unregistered structure.");
  EXPECT_THAT(host.published, IsEmpty());
}

}  // namespace
}  // namespace Kelp
