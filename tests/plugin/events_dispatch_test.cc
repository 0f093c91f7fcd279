#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "sdk/binding/type_builder.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/plugin/load_handshake.h"
#include "sdk/plugin/plugin_base.h"

namespace Kelp {
namespace {

using Host::HostValue;
using Host::MakeObject;
using Host::ReferenceHost;
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
    TypeBuilder<Member>(registry(), "TestMember")
        .Field("puuid", &Member::puuid)
        .Field("volume", &Member::volume);
  }
};

void KELP_CDECL LoadEventPlugin(PluginLoadRecord* record) {
  LoadHandshake::Run(*new EventPlugin(), *record, "events");
}

// What a typed handler saw, as one line per call.
std::string Seen(const char* tag, const ResourceEvent<Member>& event) {
  return std::string(tag) + " " + event.uri + " " + std::to_string(static_cast<int>(event.eventType)) +
         " " + event.value.puuid + " " + std::to_string(event.value.volume);
}

HostValue Event(const char* uri, const char* type, HostValue data) {
  return MakeObject({{"uri", uri}, {"eventType", type}, {"data", std::move(data)}});
}

class EventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Load().ok());
    ASSERT_TRUE(host.Init(7));
    plugin = static_cast<EventPlugin*>(host.context());
  }

  void Listen(const std::string& path, const char* tag) {
    plugin->AddResourceHandler<Member>(
        path, [this, tag](const ResourceEvent<Member>& event) { seen.push_back(Seen(tag, event)); });
  }
  std::vector<std::string> Arguments(std::string_view slot) const {
    std::vector<std::string> arguments;
    for (const Host::SlotCall& call : host.CallsTo(slot)) arguments.push_back(call.arguments);
    return arguments;
  }
  std::vector<std::pair<int, std::string>> Logged() const {
    std::vector<std::pair<int, std::string>> lines;
    for (const Host::LogLine& line : host.logLines()) lines.emplace_back(line.level, line.text);
    return lines;
  }

  ReferenceHost host{&LoadEventPlugin};
  EventPlugin* plugin = nullptr;
  std::vector<std::string> seen;
};

TEST_F(EventsTest, PathsOfOneChannelShareOneHostSubscription) {
  const std::size_t before = host.CallsTo("subscribe").size();
  plugin->Subscribe("/tav-lobby/v2/lobby");
  plugin->Subscribe("/tav-lobby/v2/lobby/members");
  EXPECT_EQ(host.CallsTo("subscribe").size(), before + 1);
  const auto subscribers = host.SubscribersOf("OnJsonApiEvent_tav-lobby_v2_lobby");
  ASSERT_EQ(subscribers.size(), 1u);
  EXPECT_EQ(subscribers[0].flags, 0u);
  EXPECT_EQ(plugin->eventSubscriptions().count("OnJsonApiEvent_tav-lobby_v2_lobby"), 2u);

  plugin->Unsubscribe("/tav-lobby/v2/lobby/members");
  EXPECT_THAT(Arguments("unsubscribe"), IsEmpty());
  plugin->Unsubscribe("/tav-lobby/v2/lobby");
  EXPECT_THAT(Arguments("unsubscribe"),
              ElementsAre("\"OnJsonApiEvent_tav-lobby_v2_lobby\" handle=7"));
  EXPECT_FALSE(plugin->eventSubscriptions().HasHandler("OnJsonApiEvent_tav-lobby_v2_lobby"));
  plugin->Unsubscribe("/tav-lobby/v2/lobby");  // nothing left to release
  EXPECT_EQ(Arguments("unsubscribe").size(), 1u);
}

TEST_F(EventsTest, EventsReachExactAndPatternHandlers) {
  Listen("/x/a/y", "exact");
  Listen("/x/*/y", "pattern");
  Listen("/x/*", "short");
  Listen("/x/b/y", "other");
  const char* kChannel = "OnJsonApiEvent_x_a_y";
  ASSERT_EQ(host.DeliverEvent(kChannel, Event("/x/a/y", "Update", MakeObject({{"puuid", "p1"}, {"volume", 5}}))),
            1u);
  // Without its leading "/" the uri is repaired before the lookup.
  ASSERT_EQ(host.DeliverEvent(kChannel, Event("x/a/y", "Create", MakeObject({{"puuid", "p2"}}))), 1u);
  EXPECT_THAT(seen, ElementsAre("exact /x/a/y 1 p1 5", "pattern /x/a/y 1 p1 5",
                                "exact /x/a/y 0 p2 -1", "pattern /x/a/y 0 p2 -1"));
  seen.clear();
  // Every subscribed channel dispatches by uri; "/x/*" subscribed "OnJsonApiEvent_x_*".
  ASSERT_EQ(host.DeliverEvent("OnJsonApiEvent_x_*", Event("/x/q", "Update", MakeObject({{"puuid", "p3"}}))),
            1u);
  EXPECT_THAT(seen, ElementsAre("short /x/q 1 p3 -1"));
  EXPECT_THAT(Logged(), IsEmpty());
}

TEST_F(EventsTest, DeleteEventsCarryADefaultValue) {
  Listen("/x/a", "h");
  host.DeliverEvent("OnJsonApiEvent_x_a", Event("/x/a", "Delete", "not a member"));
  host.DeliverEvent("OnJsonApiEvent_x_a", Event("/x/a", "Delete", HostValue()));
  EXPECT_THAT(seen, ElementsAre("h /x/a 2  -1", "h /x/a 2  -1"));
}

TEST_F(EventsTest, BadEventsAreDroppedSilently) {
  Listen("/x/a", "h");
  const struct {
    const char* name;
    const char* channel;
    HostValue payload;
  } kRows[] = {
      {"data of the wrong type", "OnJsonApiEvent_x_a",
       Event("/x/a", "Update", MakeObject({{"puuid", "p"}, {"volume", "loud"}}))},
      {"unknown event type", "OnJsonApiEvent_x_a", Event("/x/a", "Moved", MakeObject({}))},
      {"payload not a record", "OnJsonApiEvent_x_a", Host::HostArray{1, 2, 3}},
      {"no handler for the path", "OnJsonApiEvent_x_a", Event("/x/a/b", "Update", MakeObject({}))},
      {"no handler for the name", "OnJsonApiEvent_x_b", Event("/x/a", "Update", MakeObject({}))},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    host.DeliverEvent(row.channel, row.payload);
  }
  // A record the host never meant for us reaches no handler either.
  EventRecord stray{"OnJsonApiEvent_unknown", {}, 0, plugin};
  EventSubscriptions::Callback(&stray);
  EXPECT_THAT(seen, IsEmpty());
  EXPECT_THAT(Logged(), IsEmpty());
}

TEST_F(EventsTest, PayloadsNestedTooDeeplyAreRefused) {
  Listen("/x/a", "h");
  // An array nested past the limit, as a host could send it.
  HostValue nested;
  for (int i = 0; i < kMaxNestingDepth + 8; ++i) nested = Host::HostArray{std::move(nested)};
  EXPECT_EQ(host.DeliverEvent("OnJsonApiEvent_x_a", nested), 1u);
  EXPECT_THAT(seen, IsEmpty());
  EXPECT_THAT(Logged(), IsEmpty());
}

TEST_F(EventsTest, AThrowingHandlerIsLoggedAndStopsAtTheCallback) {
  plugin->AddResourceHandler<Member>(
      "/x/a", [](const ResourceEvent<Member>&) { throw std::runtime_error("handler failed"); });
  EXPECT_EQ(host.DeliverEvent("OnJsonApiEvent_x_a", Event("/x/a", "Update", MakeObject({}))), 1u);
  EXPECT_THAT(Logged(),
              ElementsAre(Pair(2, "event callback stopped on an exception: handler failed")));
}

TEST_F(EventsTest, AHandlerMayUnsubscribeItsOwnChannel) {
  plugin->AddResourceHandler<Member>("/x/a", [this](const ResourceEvent<Member>& event) {
    plugin->Unsubscribe("/x/a");
    seen.push_back(event.uri);
  });
  EXPECT_EQ(host.DeliverEvent("OnJsonApiEvent_x_a", Event("/x/a", "Update", MakeObject({}))), 1u);
  EXPECT_THAT(seen, ElementsAre("/x/a"));
  EXPECT_THAT(Arguments("unsubscribe"), ElementsAre("\"OnJsonApiEvent_x_a\" handle=7"));
}

TEST_F(EventsTest, APublicationThatDoesNotConvertSendsNothing) {
  const RemotingResult sent = PublishResourceEvent(*plugin, "/x/y", Unregistered{});
  EXPECT_FALSE(sent.ok());
  EXPECT_EQ(sent.message, "Couldn't convert native value because it's an unregistered structure.");
  EXPECT_THAT(host.published(), IsEmpty());
}

}  // namespace
}  // namespace Kelp
