#include "host/reference_host.h"

#include <cstring>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/fake_plugin.h"

namespace Kelp::Host {
namespace {

using ::testing::ElementsAre;
using Testing::FakePlugin;
using ::testing::IsEmpty;
using Testing::Unpacked;

// A fake plugin loaded and initialised with handle 7.
class ReferenceHostTest : public ::testing::Test {
 protected:
  void Start() {
    ASSERT_TRUE(host_.Load(18, 2, 1).ok());
    ASSERT_TRUE(host_.Init(7));
  }
  std::vector<std::string> Slots() const {
    std::vector<std::string> slots;
    for (const SlotCall& call : host_.calls()) slots.push_back(call.slot + " " + call.arguments);
    return slots;
  }

  FakePlugin plugin_;
  ReferenceHost host_{&FakePlugin::Load};
};

TEST_F(ReferenceHostTest, LoadInitAndShutdownFollowTheEntryTable) {
  Start();
  EXPECT_EQ(plugin_.hostVersion, (std::vector<std::uint32_t>{18, 2, 1}));
  EXPECT_EQ(host_.loadRecord().major, 18u);
  EXPECT_EQ(host_.name(), "fake");
  EXPECT_EQ(host_.context(), &plugin_);
  ASSERT_NE(plugin_.host, nullptr);
  EXPECT_EQ(plugin_.host->functions, host_.functions());
  EXPECT_EQ(plugin_.host->hostHandle, 7u);
  EXPECT_EQ(host_.GetMemoryStats()->bytesAllocated, 300u);

  EXPECT_EQ(host_.Load().error, "the plugin is loaded already");
  EXPECT_FALSE(host_.Init(7));
  host_.Shutdown();
  host_.Shutdown();
  EXPECT_EQ(plugin_.shutdowns, 1);
  EXPECT_FALSE(host_.GetMemoryStats().has_value());
  EXPECT_THAT(host_.problems(), ElementsAre("Init called twice"));
}

TEST(ReferenceHostLoadTest, RefusedOrMissingEntryIsAnError) {
  FakePlugin plugin;
  plugin.refuseLoad = true;
  ReferenceHost refused(&FakePlugin::Load);
  EXPECT_EQ(refused.Load(19, 0, 0).error, "the plugin filled no entry table");
  EXPECT_FALSE(refused.Init());
  ReferenceHost missing(nullptr);
  EXPECT_EQ(missing.Load().error, "no entry function");
}

TEST_F(ReferenceHostTest, EventsReachOnlyTheChannelsSubscribers) {
  plugin_.onInit = [&] {
    plugin_.Subscribe("A", "a1");
    plugin_.Subscribe("B", "b", 1);
  };
  Start();
  ASSERT_EQ(host_.Subscriptions().size(), 2u);
  EXPECT_EQ(host_.SubscribersOf("B")[0].flags, 1u);
  EXPECT_EQ(host_.SubscribersOf("B")[0].hostHandle, 7u);

  EXPECT_EQ(host_.DeliverEvent("A", MakeObject({{"uri", "/x"}})), 1u);
  EXPECT_EQ(host_.DeliverEvent("C", 1), 0u);
  ASSERT_EQ(plugin_.received.size(), 1u);
  EXPECT_EQ(plugin_.received[0].tag, "a1");
  EXPECT_EQ(plugin_.received[0].channel, "A");
  EXPECT_EQ(plugin_.received[0].payload.ToJson(), R"({"uri":"/x"})");

  plugin_.Unsubscribe("A");
  EXPECT_FALSE(host_.IsSubscribed("A"));
  EXPECT_EQ(host_.DeliverEvent("A", 2), 0u);
  plugin_.Unsubscribe("A");
  EXPECT_THAT(host_.problems(), ElementsAre("unsubscribe \"A\" handle=7 without a subscription"));
  host_.Shutdown();
  EXPECT_EQ(host_.problems().back(), "subscription left after shutdown: B");
}

TEST_F(ReferenceHostTest, SubscriberRemovedDuringADeliveryIsSkipped) {
  plugin_.onInit = [&] {
    plugin_.Subscribe("A", "first", 0,
                      [&] { plugin_.Table().unsubscribe(plugin_.host->functions, "A", 8); });
    // A second subscription to the same channel needs another handle; the
    // same handle again replaces the first.
    plugin_.Table().subscribe(
        plugin_.host->functions, "A", 8,
        [](EventRecord*) { FAIL() << "called after unsubscription"; }, nullptr, 0);
  };
  Start();
  ASSERT_EQ(host_.SubscribersOf("A").size(), 2u);
  EXPECT_EQ(host_.DeliverEvent("A", 1), 1u);
  EXPECT_THAT(host_.problems(), ElementsAre("subscribe \"A\" with handle 8 instead of 7"));

  plugin_.Subscribe("A", "again");
  EXPECT_EQ(host_.DeliverEvent("A", 2), 1u);
  EXPECT_EQ(plugin_.received.back().tag, "again");
  EXPECT_EQ(host_.problems().back(), "subscribe \"A\" twice");
}

TEST_F(ReferenceHostTest, PublishedEventsAreCopiedAndDeliveredFromTheLoop) {
  plugin_.onInit = [&] {
    plugin_.Subscribe("OnJsonApiEvent_x", "own");
    plugin_.Publish("OnJsonApiEvent_x", MakeObject({{"data", HostArray{1, "two"}}}));
    // Not delivered inside publishEvent: the publisher is still running.
    EXPECT_THAT(plugin_.received, IsEmpty());
  };
  Start();
  // The plugin freed its payload right after publishing; the copy stands.
  ASSERT_EQ(host_.published().size(), 1u);
  EXPECT_EQ(host_.published()[0].payload.ToJson(), R"({"data":[1,"two"]})");
  EXPECT_EQ(host_.RunReady(), 1u);
  ASSERT_EQ(plugin_.received.size(), 1u);
  EXPECT_EQ(plugin_.received[0].payload, host_.published()[0].payload);

  EventRecord odd{};
  odd.name = "odd";
  odd.reserved = 5;
  odd.payload.kind = 42;
  plugin_.Table().publishEvent(plugin_.host->functions, &odd);
  plugin_.Table().publishEvent(plugin_.host->functions, nullptr);
  EXPECT_EQ(host_.PublishedOn("odd")[0].error, "unknown value kind 42");
  EXPECT_THAT(host_.problems(),
              ElementsAre("publishEvent \"odd\": unknown value kind 42",
                          "publishEvent \"odd\": reserved word or context not zero",
                          "publishEvent with a null record"));
}

TEST_F(ReferenceHostTest, ScheduledCallsRunInDueOrderOnTheVirtualClock) {
  Start();
  std::vector<std::string> ran;
  auto note = [&](std::string name) {
    return [&, name] { ran.push_back(name + "@" + HostValue(host_.NowSeconds()).ToJson()); };
  };
  plugin_.Schedule("late", 1.5, note("late"));
  plugin_.Schedule("soon", 0.25, [&] {
    ran.push_back("soon");
    plugin_.Schedule("chained", 0.25, note("chained"));
  });
  plugin_.Schedule("past", -2, note("past"));
  plugin_.Schedule("now", 0, note("now"));

  EXPECT_EQ(host_.RunReady(), 2u);
  EXPECT_EQ(host_.AdvanceClock(1), 2u);
  EXPECT_EQ(host_.AdvanceClock(1), 1u);
  EXPECT_THAT(ran, ElementsAre("past@0", "now@0", "soon", "chained@0.5", "late@1.5"));
  ASSERT_EQ(host_.scheduled().size(), 5u);
  EXPECT_EQ(host_.scheduled()[2].delaySeconds, -2);
  EXPECT_EQ(host_.scheduled()[4].dueSeconds, 0.5);
  EXPECT_THAT(host_.problems(), ElementsAre("schedule \"past\" with delay -2"));
}

TEST_F(ReferenceHostTest, ShutdownDropsThePluginsPendingCalls) {
  Start();
  int ran = 0;
  plugin_.Schedule("timer", 5, [&] { ++ran; });
  host_.Post("stand-in", 5, [&] { ran += 10; });
  host_.Shutdown();
  host_.AdvanceClock(10);
  EXPECT_EQ(ran, 10);
}

TEST_F(ReferenceHostTest, WaitsYieldAndLogAreRecorded) {
  Start();
  int ran = 0;
  plugin_.Schedule("during wait", 0, [&] { ++ran; });
  const HostFunctionTable& table = plugin_.Table();
  table.enterWait(plugin_.host->functions, "Wait: yield", 0);
  EXPECT_THAT(host_.openWaits(), ElementsAre("Wait: yield"));
  table.yield(plugin_.host->functions);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(table.leaveWait(plugin_.host->functions), 1u);
  EXPECT_EQ(table.leaveWait(plugin_.host->functions), 2u);
  plugin_.Log(3, "Joined channel %s");
  table.log(plugin_.host->functions, 9, nullptr);

  ASSERT_EQ(host_.logLines().size(), 2u);
  EXPECT_EQ(host_.logLines()[0].text, "Joined channel %s");
  EXPECT_TRUE(host_.Logged("channel"));
  EXPECT_THAT(Slots(), ElementsAre("schedule \"during wait\" delay=0", "enterWait \"Wait: yield\"",
                                   "yield ", "leaveWait ", "leaveWait ",
                                   "log ALWAYS \"Joined channel %s\"", "log LEVEL? null"));
  EXPECT_THAT(host_.problems(), ElementsAre("leaveWait without enterWait",
                                            "log with a null message", "log with level 9"));
}

TEST_F(ReferenceHostTest, OutboundRequestsGoToTheirHandlers) {
  Start();
  host_.Route(HTTP_METHOD_GET, "/lobby/v2/party", [](const OutboundRequest& request) {
    EXPECT_NE(request.record, nullptr);
    return HostAnswer::Success(MakeObject({{"id", "p1"}, {"args", request.arguments.size()}}));
  });
  host_.RoutePrefix(HTTP_METHOD_POST, "/voice/",
                    [](const OutboundRequest&) { return HostAnswer::Success("short prefix"); });
  host_.RoutePrefix(HTTP_METHOD_POST, "/voice/sessions/", [](const OutboundRequest& request) {
    return HostAnswer::Success(request.path);
  });
  const HostValue token = MakeObject({{"token", "t"}});

  const struct {
    std::uint32_t method;
    const char* path;
    std::string value;
    std::uint32_t status;
    const char* error;
  } kRows[] = {
      {HTTP_METHOD_GET, "/lobby/v2/party", R"({"id":"p1","args":1})", 200, nullptr},
      {HTTP_METHOD_GET, "/lobby/v2/party/x", "null", 404, "No handler for GET /lobby/v2/party/x"},
      {HTTP_METHOD_PUT, "/lobby/v2/party", "null", 404, "No handler for PUT /lobby/v2/party"},
      {HTTP_METHOD_POST, "/voice/sessions/abc", R"("/voice/sessions/abc")", 200, nullptr},
      {HTTP_METHOD_POST, "/voice/other", R"("short prefix")", 200, nullptr},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.path);
    InvokeResponse response = plugin_.Send(row.method, row.path, &token);
    EXPECT_EQ(Unpacked(response.status), row.status);
    EXPECT_EQ(Unpacked(response.result.failed), row.error != nullptr);
    EXPECT_STREQ(response.result.error, row.error);
    BindingValue value;
    std::memcpy(&value, &response.result.value, sizeof value);
    EXPECT_EQ(FromBinding(value).value.ToJson(), row.value);
    EXPECT_STREQ(response.contentType, "");
    EXPECT_EQ(HostResponsesAwaitingRelease(), 1);
    ASSERT_NE(Unpacked(response.release), nullptr);
    response.release(&response);
    static const InvokeResponse kZero{};
    EXPECT_EQ(std::memcmp(&response, &kZero, sizeof response), 0);
    EXPECT_EQ(HostResponsesAwaitingRelease(), 0);
  }
  ASSERT_EQ(host_.sentRequests().size(), 5u);
  const OutboundRequest& first = host_.sentRequests()[0];
  EXPECT_EQ(first.MethodText(), "GET");
  EXPECT_EQ(first.senderHandle, 7u);
  EXPECT_EQ(first.record, nullptr);
  EXPECT_EQ(first.arguments, (std::vector<HostArgument>{{std::nullopt, token}}));
  EXPECT_THAT(host_.problems(), IsEmpty());
}

TEST_F(ReferenceHostTest, AnswersCarryContentTypeHeadersAndHandsOverOwnedValues) {
  Start();
  host_.Route(HTTP_METHOD_GET, "/x", [](const OutboundRequest&) {
    HostAnswer answer = HostAnswer::Success(MakeObject({{"list", HostArray{"a", HostBlob{1}}}}));
    answer.contentType = "application/json";
    answer.headers = {{"ETag", "1"}, {"X", ""}};
    return answer;
  });
  InvokeResponse response = plugin_.Send(HTTP_METHOD_GET, "/x");
  EXPECT_STREQ(response.contentType, "application/json");
  ASSERT_EQ(Unpacked(response.headerCount), 2u);
  EXPECT_STREQ(response.headers[0].name, "ETag");
  EXPECT_STREQ(response.headers[1].value, "");
  BindingValue value;
  std::memcpy(&value, &response.result.value, sizeof value);
  ASSERT_EQ(value.kind, static_cast<std::uint32_t>(BINDING_VALUE_STRUCTURE));
  EXPECT_EQ(Unpacked(value.payload.structure.entries[0].ownsKey), 1);
  EXPECT_EQ(Unpacked(value.payload.structure.entries[0].value.payload.collection.elements[1].kind),
            static_cast<std::uint32_t>(BINDING_VALUE_BLOB_OWNED));
  response.release(&response);
  EXPECT_EQ(HostResponsesAwaitingRelease(), 0);
}

TEST_F(ReferenceHostTest, MalformedOutboundRecordsAreProblemsNotCrashes) {
  Start();
  const HostFunctionTable& table = plugin_.Table();
  InvokeResponse response{};
  InvokeRequest request{};
  request.method = HTTP_METHOD_GET;
  request.argumentCount = 2;  // with no array
  request.senderHandle = 3;
  response.status = 99;  // not zeroed
  table.sendRequest(plugin_.host->functions, &response, &request);
  EXPECT_STREQ(response.result.error, "No handler for GET ");
  response.release(&response);
  table.sendRequest(plugin_.host->functions, nullptr, &request);
  EXPECT_THAT(host_.problems(), ElementsAre("sendRequest GET : null argument array with count 2",
                                            "sendRequest GET  with handle 3 instead of 7",
                                            "sendRequest GET : response record not zeroed",
                                            "sendRequest with a null response or request record"));
}

TEST_F(ReferenceHostTest, AStandInThatThrowsAnswers500) {
  Start();
  host_.Route(HTTP_METHOD_GET, "/boom",
              [](const OutboundRequest&) -> HostAnswer { throw std::runtime_error("boom"); });
  InvokeResponse response = plugin_.Send(HTTP_METHOD_GET, "/boom");
  EXPECT_EQ(Unpacked(response.status), 500u);
  EXPECT_STREQ(response.result.error, "stand-in failed: boom");
  response.release(&response);
  EXPECT_THAT(host_.problems(), ElementsAre("stand-in for /boom threw: boom"));
}

// Reads a streamed response the way the SDK does, with a buffer of `size`.
std::string ReadAll(const InvokeResponse& response, std::uint32_t size, int* reads, bool* failed) {
  std::string text;
  std::vector<std::uint8_t> buffer(size);
  std::uint8_t more = 1;
  *reads = 0;
  *failed = false;
  while (more != 0) {
    std::uint32_t count = size;
    ++*reads;
    if (response.streamRead(response.streamContext, buffer.data(), &count, &more) == 0) {
      *failed = true;
      break;
    }
    text.append(reinterpret_cast<const char*>(buffer.data()), count);
  }
  return text;
}

TEST_F(ReferenceHostTest, StreamedAnswersHonourBufferAndChunkSizes) {
  Start();
  const std::string body = R"({"sessions":[1,2,3]})";  // 20 bytes
  const struct {
    std::uint32_t chunk;
    std::uint32_t buffer;
    int failAt;
    int reads;
    bool failed;
  } kRows[] = {
      {0, 4096, -1, 1, false}, {0, 8, -1, 3, false}, {6, 4096, -1, 4, false},
      {5, 5, -1, 4, false},    {0, 8, 0, 1, true},   {0, 8, 2, 3, true},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::to_string(row.chunk) + "/" + std::to_string(row.buffer) + "/" +
                 std::to_string(row.failAt));
    host_.Route(HTTP_METHOD_GET, "/stream", [&](const OutboundRequest&) {
      HostAnswer answer;
      answer.stream = StreamedBody{body, row.chunk, row.failAt};
      return answer;
    });
    InvokeResponse response = plugin_.Send(HTTP_METHOD_GET, "/stream");
    ASSERT_NE(Unpacked(response.streamRead), nullptr);
    EXPECT_EQ(Unpacked(response.streamExpectedSize), body.size());
    int reads = 0;
    bool failed = false;
    const std::string text = ReadAll(response, row.buffer, &reads, &failed);
    EXPECT_EQ(reads, row.reads);
    EXPECT_EQ(failed, row.failed);
    if (!row.failed) {
      EXPECT_EQ(text, body);
    }
    const HostStream* stream = host_.streams().back();
    EXPECT_FALSE(stream->closed());
    response.streamClose(response.streamContext);
    EXPECT_TRUE(stream->closed());
    response.release(&response);
  }
  EXPECT_EQ(HostResponsesAwaitingRelease(), 0);
  EXPECT_THAT(host_.problems(), IsEmpty());
}

TEST_F(ReferenceHostTest, AStreamLeftOpenIsAProblemAtShutdown) {
  Start();
  host_.Route(HTTP_METHOD_GET, "/stream", [](const OutboundRequest&) {
    HostAnswer answer;
    answer.stream = StreamedBody{"abc"};
    return answer;
  });
  InvokeResponse response = plugin_.Send(HTTP_METHOD_GET, "/stream");
  response.release(&response);
  host_.Shutdown();
  EXPECT_THAT(host_.problems(), ElementsAre("stream of GET /stream never closed"));
}

// Where each journal stands: entries ever added, the first position kept,
// how many are kept, and the newest one as text.
struct JournalState {
  std::size_t size;
  std::size_t first;
  std::size_t kept;
  std::string newest;
  bool operator==(const JournalState&) const = default;
};

template <typename T, typename Describe>
JournalState StateOf(const Journal<T>& journal, Describe describe) {
  std::size_t kept = 0;
  for (auto it = journal.begin(); it != journal.end(); ++it) ++kept;
  return {journal.size(), journal.first(), kept,
          journal.empty() ? "" : describe(journal[journal.size() - 1])};
}

void PrintTo(const JournalState& state, std::ostream* out) {
  *out << "{size " << state.size << ", first " << state.first << ", kept " << state.kept << ", "
       << state.newest << "}";
}

TEST(ReferenceHostJournalTest, ALimitKeepsTheNewestEntriesOfEveryJournalAndCountsThemAll) {
  for (const std::size_t limit : {0u, 3u}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    FakePlugin plugin;
    HostOptions options;
    options.journalLimit = limit;
    ReferenceHost host(&FakePlugin::Load, options);
    ASSERT_TRUE(host.Load().ok());
    ASSERT_TRUE(host.Init(1));
    host.Route(HTTP_METHOD_GET, "/x",
               [](const OutboundRequest& request) { return HostAnswer::Success(request.path); });
    int fired = 0;
    constexpr std::size_t kRounds = 10;
    for (std::size_t i = 0; i < kRounds; ++i) {
      const std::string text = "line " + std::to_string(i);
      plugin.Log(0, text.c_str());
      plugin.Publish("event", HostValue(static_cast<std::uint64_t>(i)));
      const HostValue argument(static_cast<std::uint64_t>(i));
      InvokeResponse response = plugin.Send(HTTP_METHOD_GET, "/x", &argument);
      response.release(&response);
      plugin.Schedule(("timer " + std::to_string(i)).c_str(), 1.0, [&fired] { ++fired; });
    }
    const std::size_t kept = limit == 0 ? kRounds : limit;
    const std::size_t first = kRounds - kept;
    EXPECT_EQ(StateOf(host.logLines(), [](const LogLine& line) { return line.text; }),
              (JournalState{kRounds, first, kept, "line 9"}));
    EXPECT_EQ(StateOf(host.published(),
                      [](const PublishedEvent& event) { return event.payload.ToJson(); }),
              (JournalState{kRounds, first, kept, "9"}));
    EXPECT_EQ(
        StateOf(host.sentRequests(),
                [](const OutboundRequest& request) { return request.FirstArgument()->ToJson(); }),
        (JournalState{kRounds, first, kept, "9"}));
    EXPECT_EQ(StateOf(host.scheduled(), [](const ScheduledCall& call) { return call.name; }),
              (JournalState{kRounds, first, kept, "timer 9"}));
    const std::size_t calls = 4 * kRounds;
    EXPECT_EQ(StateOf(host.calls(), [](const SlotCall& call) { return call.slot; }),
              (JournalState{calls, limit == 0 ? 0 : calls - limit, limit == 0 ? calls : limit,
                            "schedule"}));
    // The oldest kept entry is the one at first(), and what was dropped no
    // longer counts as seen.
    EXPECT_EQ(host.logLines()[first].text, "line " + std::to_string(first));
    EXPECT_EQ(host.Logged("line 0"), limit == 0);
    EXPECT_EQ(host.SentTo("/x").size(), kept);
    // A dropped schedule call can no longer be fired; a kept one can.
    EXPECT_EQ(host.FireScheduled(0), limit == 0);
    EXPECT_TRUE(host.FireScheduled(kRounds - 1));
    EXPECT_EQ(fired, limit == 0 ? 2 : 1);
    // The scheduled runs themselves are not journal entries: all still come.
    host.AdvanceClock(1.0);
    EXPECT_EQ(fired, (limit == 0 ? 2 : 1) + static_cast<int>(kRounds));
    EXPECT_THAT(host.problems(), IsEmpty());
  }
}

}  // namespace
}  // namespace Kelp::Host
