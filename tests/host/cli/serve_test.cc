// The served plugin with its stand-ins, end to end through real sockets:
// the stand-in routes form a party, a route of the plugin changes a volume,
// and the event stream carries the plugin's event and the stand-in's note.
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

}  // namespace
}  // namespace Kelp::Host
