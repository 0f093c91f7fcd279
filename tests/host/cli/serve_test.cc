// The served plugin with its stand-ins, end to end through real sockets:
// the stand-in routes form a party, a route of the plugin changes a volume,
// and the event stream carries the plugin's event and the stand-in's note.
#include <algorithm>
#include <iterator>
#include <malloc.h>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/cli/plugin_session.h"
#include "host/server/http_server.h"
#include "host/server/world_actions.h"
#include "host/standins/json_file.h"
#include "tests/host/server/socket_client.h"

namespace Kelp::Host {
namespace {

using ::testing::HasSubstr;
using Testing::HttpReply;
using Testing::SocketClient;

std::string Request(std::uint16_t port, const std::string& method, const std::string& target,
                    const std::string& body = "") {
  return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
         "\r\nContent-Type: application/json\r\n" +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(ServeTest, StandInRoutesPluginRoutesAndTheEventStreamWorkTogether) {
  std::string error;
  auto session = PluginSession::Start({}, error);
  ASSERT_NE(session, nullptr) << error;
  ReferenceHost& host = session->host();
  WebApi api(host, "");
  EventFeed feed(host);
  AddWorldRoutes(api, session->world());
  WorldNoteForwarder notes(session->world(), feed);
  api.set_after_request([&notes] { notes.Forward(); });
  HttpServer server(api, feed);
  ASSERT_TRUE(server.Listen(0, error)) << error;
  std::thread runner(
      [&] { server.Run([&host](double seconds) { host.AdvanceClock(seconds); }, false); });

  SocketClient client(server.port());
  const auto exchange = [&](const std::string& request) {
    EXPECT_TRUE(client.Send(request));
    const auto reply = client.ReadHttpReply();
    return reply ? *reply : HttpReply{};
  };
  EXPECT_EQ(
      exchange(Request(server.port(), "POST", "/host/world/form-party", R"({"size": 3})")).status,
      200);
  const HttpReply joined =
      exchange(Request(server.port(), "POST", "/host/world/join-voice", R"({"player": 1})"));
  EXPECT_EQ(joined.status, 200);
  EXPECT_THAT(
      joined.body,
      HasSubstr(R"("puuid":"puuid-1","displayName":"Bram","role":"MEMBER","inVoice":true)"));
  const HttpReply refused =
      exchange(Request(server.port(), "POST", "/host/world/speak", R"({"player": 0})"));
  EXPECT_EQ(refused.status, 400);
  EXPECT_THAT(refused.body, HasSubstr("speak: 'player' must be a whole number from 1 to 9"));
  EXPECT_EQ(exchange(Request(server.port(), "POST", "/host/world/dance")).status, 404);

  SocketClient listener(server.port());
  ASSERT_TRUE(listener.Send(
      "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
      "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n"));
  ASSERT_EQ(listener.ReadHttpReply()->status, 101);
  for (int i = 0; i < 100 && server.listeners() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(exchange(Request(server.port(), "PUT",
                             "/tav-premade-voice/v1/participants/puuid-1/volume", "30"))
                .status,
            200);

  // A query argument that names the body parameter is the body.
  EXPECT_EQ(exchange(Request(server.port(), "PUT",
                             "/tav-premade-voice/v1/participants/puuid-1/mute?muted=1"))
                .status,
            200);

  // The recent messages come first; read until the change shows.
  bool sawEvent = false;
  bool sawNote = false;
  for (int i = 0; i < 500 && !(sawEvent && sawNote); ++i) {
    const auto message = listener.ReadWebSocketText();
    if (!message) break;
    const HostValue value = ReadJsonText(*message).value;
    const HostValue* uri = value.Find("uri");
    const HostValue* data = value.Find("data");
    if (uri != nullptr && *uri == HostValue("/tav-premade-voice/v1/participants") &&
        data != nullptr && data->kind() == HostValue::Kind::Array && data->AsArray().size() == 2 &&
        *data->AsArray()[1].Find("volume") == HostValue(30u)) {
      sawEvent = true;
    }
    if (message->find(R"("kind":"standin")") != std::string::npos &&
        message->find("puuid-1 volume 30, muted") != std::string::npos) {
      sawNote = true;
    }
  }
  EXPECT_TRUE(sawEvent);
  EXPECT_TRUE(sawNote);

  server.Stop();
  runner.join();
  const VoiceParticipant* bram =
      session->world().voiceChat().Participant(ClientWorld::kPartyId, "puuid-1");
  ASSERT_NE(bram, nullptr);
  EXPECT_EQ(bram->volume, 30u);
  EXPECT_TRUE(bram->isMuted);
  EXPECT_THAT(host.problems(), ::testing::IsEmpty());
}

// The client mistakes of the voice plugin's own routes, bound by the SDK:
// each is the client's (400) with the binder's message, while a failure of
// a stand-in without a status stays the server's.
TEST(ServeTest, RequestsThePluginCannotBindAnswer400AndStatuslessPeerFailures500) {
  std::string error;
  auto session = PluginSession::Start({}, error);
  ASSERT_NE(session, nullptr) << error;
  WebApi api(session->host(), "");
  AddWorldRoutes(api, session->world());
  const std::string voice = "/tav-premade-voice/v1";
  const struct {
    const char* name;
    WebRequest request;
    unsigned status;
    const char* message;
  } kRows[] = {
      {"bad JSON",
       {"PUT", voice + "/self/micLevel", "{bad", "application/json"},
       400,
       "Couldn't deserialize JSON value for parameter 'micLevel' of "
       "'PutTavPremadeVoiceV1SelfMicLevel': Error: Missing a name for object member. at offset 1."},
      {"wrong type",
       {"PUT", voice + "/self/micLevel", R"({"a":1})", "application/json"},
       400,
       "Couldn't assign value to 'micLevel' of type int32 because the input is of an invalid type "
       "structure."},
      {"out of range",
       {"PUT", voice + "/self/micLevel", "99999999999", "application/json"},
       400,
       "Value 99999999999 for 'micLevel' of type int32 is out of range"},
      {"text for a number",
       {"PUT", voice + "/self/micLevel?micLevel=loud", "", ""},
       400,
       "Value loud for 'micLevel' of type int32 is in an incorrect format"},
      {"missing body",
       {"PUT", voice + "/self/micLevel", "", ""},
       400,
       "A value for 'micLevel' is required."},
      {"bad enumerator",
       {"PUT", voice + "/self/inputMode", R"("SHOUT")", "application/json"},
       400,
       "SHOUT is not a valid TavPremadeVoiceInputMode enumeration value for 'inputMode'."},
      {"unsupported content type",
       {"PUT", voice + "/self/micLevel", "30", "text/xml"},
       400,
       "Unsupported body content type"},
      {"unknown query argument",
       {"GET", voice + "/availability?bogus=1", "", ""},
       400,
       "Unknown argument 'bogus' for 'GetTavPremadeVoiceV1Availability'."},
      {"accepted", {"PUT", voice + "/self/micLevel", "30", "application/json"}, 200, ""},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const WebAnswer answer = api.Handle(row.request);
    EXPECT_EQ(answer.status, row.status) << answer.body;
    if (row.status == 200) continue;
    const HostValueResult body = ReadJsonText(answer.body);
    ASSERT_TRUE(body.ok()) << answer.body;
    EXPECT_EQ(body.value, MakeObject({{"message", row.message}, {"status", row.status}}));
  }

  // The voice chat refuses the mic test's settings without a status, in
  // words that look like a binding failure: the plugin passes that on, and
  // it is no client mistake.
  ASSERT_TRUE(session->world().Fail("voice-chat", 0, "Unknown argument 'x' for 'y'."));
  const WebAnswer refused = api.Handle({"POST", voice + "/mic-test", "", ""});
  EXPECT_EQ(refused.status, 500u) << refused.body;
  EXPECT_THAT(refused.body, HasSubstr("Unknown argument 'x' for 'y'."));
}

// Heap bytes in use, as the allocator counts them; 0 where it does not.
std::size_t HeapInUse() {
#if defined(__GLIBC__)
  return mallinfo2().uordblks;
#else
  return 0;
#endif
}

// What serve keeps of its journals stays bounded however many changes
// arrive, and the host's heap grows by little more than the stand-ins'
// own state per request.
TEST(ServeTest, ManyChangeRequestsKeepTheHostsJournalsBounded) {
  constexpr std::size_t kLimit = 100;
  SessionOptions options;
  options.journalLimit = kLimit;
  std::string error;
  auto session = PluginSession::Start(options, error);
  ASSERT_NE(session, nullptr) << error;
  ReferenceHost& host = session->host();
  WebApi api(host, "");
  EventFeed feed(host);
  AddWorldRoutes(api, session->world());
  ASSERT_EQ(api.Handle({"POST", "/host/world/form-party", R"({"size": 3})", ""}).status, 200u);
  ASSERT_EQ(api.Handle({"POST", "/host/world/join-voice", R"({"player": 1})", ""}).status, 200u);
  const auto change = [&](std::size_t i) {
    const WebRequest request{"PUT", "/tav-premade-voice/v1/participants/puuid-1/volume",
                             std::to_string(i % 101), "application/json"};
    return api.Handle(request).status;
  };

  constexpr std::size_t kWarmUp = 1000;
  constexpr std::size_t kChanges = 5000;
  for (std::size_t i = 0; i < kWarmUp; ++i) ASSERT_EQ(change(i), 200u);
  const std::size_t before = HeapInUse();
  for (std::size_t i = 0; i < kChanges; ++i) ASSERT_EQ(change(i), 200u);
  const std::size_t after = HeapInUse();

  const auto kept = [](const auto& journal) {
    return static_cast<std::size_t>(std::distance(journal.begin(), journal.end()));
  };
  EXPECT_EQ(kept(host.calls()), kLimit);
  EXPECT_EQ(kept(host.logLines()), std::min(kLimit, host.logLines().size()));
  EXPECT_EQ(kept(host.published()), kLimit);
  EXPECT_EQ(kept(host.sentRequests()), kLimit);
  EXPECT_EQ(kept(session->world().journal().notes()), kLimit);
  EXPECT_GE(session->world().journal().notes().size(), kWarmUp + kChanges);
  EXPECT_GE(host.published().size(), kWarmUp + kChanges);
  EXPECT_GE(host.sentRequests().size(), kWarmUp + kChanges);
  // The newest entries are the ones kept: the last change is there.
  EXPECT_THAT(host.published().back().payload.ToJson(),
              HasSubstr(R"("volume":)" + std::to_string((kChanges - 1) % 101)));
  // Unbounded, each of these requests kept about 10 KB.
  EXPECT_LT(after > before ? after - before : 0, kChanges * 64)
      << "heap grew from " << before << " to " << after << " bytes";
  EXPECT_THAT(host.problems(), ::testing::IsEmpty());
}

}  // namespace
}  // namespace Kelp::Host
