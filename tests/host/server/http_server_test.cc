#include "host/server/http_server.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/standins/json_file.h"
#include "sdk/binding/memory.h"
#include "tests/host/fake_plugin.h"
#include "tests/host/server/socket_client.h"

namespace Kelp::Host {
namespace {

using Testing::FakePlugin;
using ::testing::HasSubstr;
using Testing::HttpReply;
using ::testing::Not;
using Testing::SocketClient;

FakePlugin* plugin = nullptr;

// Publishes a resource event and logs a line, then answers like Echo.
void KELP_CDECL PublishAndEcho(InvokeResponse* response, const InvokeRequest* request) {
  plugin->Publish("OnJsonApiEvent_fake_v1_volume",
                  MakeObject({{"uri", "/fake/v1/volume"},
                              {"eventType", "Update"},
                              {"data", MakeObject({{"volume", 40}})}}));
  plugin->Log(3, "volume set");
  FakePlugin::Echo(response, request);
}

// Publishes an event of 32 KiB.
void KELP_CDECL PublishBig(InvokeResponse* response, const InvokeRequest* request) {
  plugin->Publish("OnBig", HostValue(std::string(32 * 1024, 'x')));
  FakePlugin::Echo(response, request);
}

// Publishes three events of 32 KiB in one call.
void KELP_CDECL PublishBurst(InvokeResponse* response, const InvokeRequest* request) {
  for (int i = 0; i < 3; ++i) plugin->Publish("OnBig", HostValue(std::string(32 * 1024, 'x')));
  FakePlugin::Echo(response, request);
}

// Waits up to a second for `done`.
template <typename Condition>
bool Eventually(Condition done) {
  for (int i = 0; i < 100 && !done(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// The fake plugin behind a server on a free port, run by a thread of its
// own; the test talks to it only through sockets until it is stopped.
class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin = &plugin_;
    plugin_.AddEndpoint("GetThing", HTTP_METHOD_GET, "/fake/v1/things/{id}");
    plugin_.AddEndpoint("PutVolume", HTTP_METHOD_PUT, "/fake/v1/volume", &PublishAndEcho);
    plugin_.AddEndpoint("Refuse", HTTP_METHOD_POST, "/fake/v1/refuse", &FakePlugin::Fail);
    ASSERT_TRUE(host_.Load().ok());
    ASSERT_TRUE(host_.Init(1));
    api_ = std::make_unique<WebApi>(host_, "");
    plugin_.AddEndpoint("PutBig", HTTP_METHOD_PUT, "/fake/v1/big", &PublishBig);
    plugin_.AddEndpoint("PutBurst", HTTP_METHOD_PUT, "/fake/v1/burst", &PublishBurst);
    feed_ = std::make_unique<EventFeed>(host_);
    server_ = std::make_unique<HttpServer>(*api_, *feed_, Limits());
    std::string error;
    ASSERT_TRUE(server_->Listen(0, error)) << error;
    runner_ = std::thread(
        [this] { server_->Run([this](double seconds) { host_.AdvanceClock(seconds); }, false); });
  }
  void TearDown() override { Stop(); }
  virtual ServerLimits Limits() const { return {}; }

  void Stop() {
    if (!runner_.joinable()) return;
    server_->Stop();
    runner_.join();
  }

  // A request as a command-line client on this machine sends it: Host names
  // the server, no Origin.
  std::string Request(const std::string& method, const std::string& target,
                      const std::string& body = "", const std::string& extraHeaders = "") const {
    std::string text = method + " " + target +
                       " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server_->port()) + "\r\n" +
                       extraHeaders;
    if (!body.empty()) {
      text += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\n";
    }
    return text + "\r\n" + body;
  }

  std::string Upgrade(const std::string& target = "/events",
                      const std::string& extraHeaders = "") const {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server_->port()) +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
           extraHeaders + "\r\n";
  }

  std::optional<HttpReply> Exchange(const std::string& request) {
    SocketClient client(server_->port());
    if (!client.connected() || !client.Send(request)) return std::nullopt;
    return client.ReadHttpReply();
  }

  FakePlugin plugin_;
  ReferenceHost host_{&FakePlugin::Load};
  std::unique_ptr<WebApi> api_;
  std::unique_ptr<EventFeed> feed_;
  std::unique_ptr<HttpServer> server_;
  std::thread runner_;
};

TEST_F(HttpServerTest, AnswersRoutesErrorsAndBadRequestsWithStatusAndJson) {
  const struct {
    const char* name;
    std::string request;
    int status;
    const char* bodyHas;
  } kRows[] = {
      {"route", Request("GET", "/fake/v1/things/7?verbose=1"), 200,
       R"({"function":"GetThing","path":"/fake/v1/things/7"})"},
      {"plugin failure", Request("POST", "/fake/v1/refuse", "{}"), 409,
       R"({"message":"bad thing","status":409})"},
      {"unknown path", Request("GET", "/fake/v2/nothing"), 404,
       R"("message":"No function for GET /fake/v2/nothing")"},
      {"malformed request line", "GARBAGE\r\n\r\n", 400, "malformed HTTP request"},
      {"broken header", "GET / HTTP/1.1\r\nNo colon here\r\n\r\n", 400, "malformed HTTP request"},
      {"body over 1 MiB", Request("PUT", "/fake/v1/volume", std::string((1 << 20) + 1, ' ')), 413,
       "larger than 1048576 bytes"},
      {"help in both formats", Request("GET", "/help"), 200, R"({"full":{"functions":[{"name":)"},
      {"epytext help", Request("GET", "/help?format=epytext"), 200, R"("GetThing":"")"},
      {"unknown help format", Request("GET", "/help?format=xml"), 400, "unknown help format"},
      {"OpenAPI", Request("GET", "/openapi.json"), 200,
       R"("paths":{"/fake/v1/things/{id}":{"get":{"operationId":"GetThing",)"},
      {"panel without files", Request("GET", "/"), 404, "no panel file index.html"},
      {"broken query escape", Request("GET", "/fake/v1/things/7?a=%zz"), 400, "broken %-escape"},
      {"websocket elsewhere", Upgrade("/other"), 404, "/events"},
      {"bytes that are no UTF-8 in the path", Request("GET", "/fake/\xC3\xA9\xFF\xC0\xAF/x"), 404,
       "{\"message\":\"No function for GET /fake/\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD/"
       "x\",\"status\":404}"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const auto reply = Exchange(row.request);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->status, row.status);
    EXPECT_THAT(reply->body, HasSubstr(row.bodyHas));
    EXPECT_THAT(reply->headers, HasSubstr("Content-Type: application/json"));
  }
  Stop();
  // Only the two well-formed plugin routes reached the plugin; the query
  // argument travelled as a named text.
  ASSERT_EQ(plugin_.requests.size(), 2u);
  ASSERT_EQ(plugin_.requests[0].arguments.size(), 1u);
  EXPECT_EQ(plugin_.requests[0].arguments[0].name, "verbose");
  EXPECT_EQ(plugin_.requests[0].arguments[0].value, HostValue("1"));
  EXPECT_EQ(plugin_.requests[1].body, "{}");
}

TEST_F(HttpServerTest, OtherPagesAndOtherHostNamesAreRefusedBeforeThePlugin) {
  const std::string port = std::to_string(server_->port());
  const std::string own = "Origin: http://127.0.0.1:" + port + "\r\n";
  const std::string foreign = "Origin: http://evil.example\r\n";
  const struct {
    const char* name;
    std::string request;
    int status;
    const char* bodyHas;
  } kRows[] = {
      {"change from the server's page", Request("PUT", "/fake/v1/volume", "1", own), 200, ""},
      {"change from another page", Request("PUT", "/fake/v1/volume", "2", foreign), 403,
       R"({"message":"changes are refused to other pages: Origin 'http://evil.example' is not )"},
      {"text/plain form post from another page",
       "POST /fake/v1/refuse HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n" + foreign +
           "Content-Type: text/plain\r\nContent-Length: 2\r\n\r\nhi",
       403, R"("status":403)"},
      {"read from another page", Request("GET", "/fake/v1/things/3", "", foreign), 200, ""},
      {"rebound host name",
       "GET /fake/v1/things/4 HTTP/1.1\r\nHost: evil.example:" + port + "\r\n\r\n", 403,
       "the Host header must be 127.0.0.1:"},
      {"no host", "GET /fake/v1/things/5 HTTP/1.0\r\n\r\n", 403, "the Host header is missing"},
      {"event stream for another page", Upgrade("/events", foreign), 403,
       "event streams are refused to other pages"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const auto reply = Exchange(row.request);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->status, row.status);
    EXPECT_THAT(reply->body, HasSubstr(row.bodyHas));
    EXPECT_THAT(reply->headers, HasSubstr("Content-Type: application/json"));
  }
  EXPECT_EQ(server_->listeners(), 0u);
  Stop();
  // Only the change from the server's own page and the read reached the
  // plugin.
  ASSERT_EQ(plugin_.requests.size(), 2u);
  EXPECT_EQ(plugin_.requests[0].body, "1");
  EXPECT_EQ(plugin_.requests[1].path, "/fake/v1/things/3");
}

TEST_F(HttpServerTest, AnswersHttp10InItsOwnVersionAndKeepsTheConnectionOnlyWhenAsked) {
  const std::string request =
      "GET /fake/v1/things/1 HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server_->port()) +
      "\r\n";
  SocketClient kept(server_->port());
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(kept.Send(request + "Connection: keep-alive\r\n\r\n"));
    const auto reply = kept.ReadHttpReply();
    ASSERT_TRUE(reply.has_value());
    EXPECT_THAT(reply->headers, ::testing::StartsWith("HTTP/1.0 200 OK\r\n"));
    EXPECT_THAT(reply->headers, HasSubstr("Connection: keep-alive\r\n"));
  }
  EXPECT_FALSE(kept.ClosedByServer(200));

  SocketClient closed(server_->port());
  ASSERT_TRUE(closed.Send(request + "\r\n"));
  const auto reply = closed.ReadHttpReply();
  ASSERT_TRUE(reply.has_value());
  EXPECT_THAT(reply->headers, ::testing::StartsWith("HTTP/1.0 200 OK\r\n"));
  EXPECT_THAT(reply->headers, Not(HasSubstr("keep-alive")));
  EXPECT_TRUE(closed.ClosedByServer());
}

TEST_F(HttpServerTest, WebSocketStreamsTheEventAndLogLineAChangeCaused) {
  SocketClient listener(server_->port());
  ASSERT_TRUE(listener.Send(Upgrade()));
  const auto upgraded = listener.ReadHttpReply();
  ASSERT_TRUE(upgraded.has_value());
  ASSERT_EQ(upgraded->status, 101);

  // The listener is registered once the handshake is through on the server
  // side; a request on another connection comes after it.
  for (int i = 0; i < 100 && server_->listeners() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const auto reply = Exchange(Request("PUT", "/fake/v1/volume", "40"));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->status, 200);

  const auto event = listener.ReadWebSocketText();
  ASSERT_TRUE(event.has_value());
  const HostValueResult parsed = ReadJsonText(*event);
  ASSERT_TRUE(parsed.ok()) << *event;
  EXPECT_EQ(*parsed.value.Find("kind"), HostValue("event"));
  EXPECT_EQ(*parsed.value.Find("name"), HostValue("OnJsonApiEvent_fake_v1_volume"));
  EXPECT_EQ(*parsed.value.Find("uri"), HostValue("/fake/v1/volume"));
  EXPECT_EQ(*parsed.value.Find("type"), HostValue("Update"));
  EXPECT_EQ(*parsed.value.Find("data"), MakeObject({{"volume", 40u}}));

  const auto log = listener.ReadWebSocketText();
  ASSERT_TRUE(log.has_value());
  EXPECT_THAT(*log, HasSubstr(R"("kind":"log")"));
  EXPECT_THAT(*log, HasSubstr(R"("level":"ALWAYS","text":"volume set")"));
}

TEST_F(HttpServerTest, AReturningListenerIsReplayedOnlyWhatItMissed) {
  // Each change is an event and a log line: messages 1 to 6.
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Exchange(Request("PUT", "/fake/v1/volume", "1"))->status, 200);
  }
  // The numbers of the messages a listener joining with `target` is sent
  // before anything new happens.
  std::string feed;
  const auto replayed = [&](const std::string& target) {
    SocketClient listener(server_->port());
    EXPECT_TRUE(listener.Send(Upgrade(target)));
    EXPECT_EQ(listener.ReadHttpReply()->status, 101);
    std::vector<std::uint64_t> numbers;
    while (const auto message = listener.ReadWebSocketText(300)) {
      const HostValue value = ReadJsonText(*message).value;
      feed = value.Find("feed")->AsString();
      numbers.push_back(value.Find("seq")->AsUnsigned());
    }
    return numbers;
  };
  using ::testing::ElementsAre;
  EXPECT_THAT(replayed("/events"), ElementsAre(1u, 2u, 3u, 4u, 5u, 6u));
  const std::string id = feed;
  ASSERT_EQ(id.size(), 16u);

  ASSERT_EQ(Exchange(Request("PUT", "/fake/v1/volume", "2"))->status, 200);
  const struct {
    std::string target;
    std::vector<std::uint64_t> numbers;
  } kRows[] = {
      {"/events?feed=" + id + "&after=6", {7, 8}},
      {"/events?after=7&feed=" + id, {8}},
      {"/events?feed=" + id + "&after=8", {}},
      // Another server's feed, or no usable number: everything kept.
      {"/events?feed=0123456789abcdef&after=6", {1, 2, 3, 4, 5, 6, 7, 8}},
      {"/events?feed=" + id + "&after=6x", {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.target);
    EXPECT_EQ(replayed(row.target), row.numbers);
    EXPECT_EQ(feed, id);
  }
}

TEST_F(HttpServerTest, BrokenInputClosesItsConnectionAndTheServerGoesOn) {
  // WebSocket clients sending a frame with reserved bits and a reserved
  // opcode, and a frame claiming 2^40 bytes: the server answers each with a
  // close frame (1002 protocol error, 1009 too big) and allocates nothing
  // near the claimed size: the process's heap, which every operator new of
  // this program counts, grows by less than 1 MiB meanwhile.
  const struct {
    const char* name;
    std::string frame;
    std::string closeFrame;
  } kFrames[] = {
      {"reserved bits", std::string("\xF3\x80\x01\x02\x03\x04", 6),
       std::string("\x88\x02\x03\xEA", 4)},
      {"huge claimed length",
       std::string("\x81\xFF\x00\x00\x01\x00\x00\x00\x00\x00\x01\x02\x03\x04", 14),
       std::string("\x88\x02\x03\xF1", 4)},
  };
  for (const auto& row : kFrames) {
    SCOPED_TRACE(row.name);
    const MemoryStats before = ReadMemoryStats();
    SocketClient broken(server_->port());
    ASSERT_TRUE(broken.Send(Upgrade()));
    ASSERT_TRUE(broken.ReadHttpReply().has_value());
    ASSERT_TRUE(broken.Send(row.frame));
    ASSERT_TRUE(broken.Fill(4));
    EXPECT_EQ(broken.buffered().substr(0, 4), row.closeFrame);
    EXPECT_TRUE(broken.ClosedByServer(2000));
    EXPECT_LT(ReadMemoryStats().bytesAllocated - before.bytesAllocated, 1u << 20);
  }

  // A client that leaves in the middle of a request's body.
  {
    SocketClient leaving(server_->port());
    ASSERT_TRUE(leaving.Send("PUT /fake/v1/volume HTTP/1.1\r\nContent-Length: 100\r\n\r\n{\"vol"));
  }
  // A client whose request ends with the connection.
  {
    SocketClient half(server_->port());
    ASSERT_TRUE(half.Send("GET /fake/v1/thi"));
  }

  const auto reply = Exchange(Request("GET", "/fake/v1/things/9"));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->status, 200);
}

TEST_F(HttpServerTest, RequestsAreAnsweredWhileAsManyWebSocketsAsTheLimitAreOpen) {
  constexpr std::size_t kWebSockets = ServerLimits{}.webSockets;
  std::vector<std::unique_ptr<SocketClient>> listeners;
  for (std::size_t i = 0; i < kWebSockets; ++i) {
    listeners.push_back(std::make_unique<SocketClient>(server_->port()));
    ASSERT_TRUE(listeners.back()->Send(Upgrade()));
    const auto upgraded = listeners.back()->ReadHttpReply();
    ASSERT_TRUE(upgraded.has_value()) << i;
    ASSERT_EQ(upgraded->status, 101) << i;
  }
  ASSERT_TRUE(Eventually([&] { return server_->listeners() == kWebSockets; }));

  const auto read = Exchange(Request("GET", "/fake/v1/things/1"));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->status, 200);
  const auto refused = Exchange(Upgrade());
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->status, 503);
  EXPECT_THAT(refused->body, HasSubstr("the server has 64 WebSockets open"));

  // One leaves; its place is free again.
  listeners.pop_back();
  ASSERT_TRUE(Eventually([&] { return server_->listeners() == kWebSockets - 1; }));
  SocketClient late(server_->port());
  ASSERT_TRUE(late.Send(Upgrade()));
  const auto upgraded = late.ReadHttpReply();
  ASSERT_TRUE(upgraded.has_value());
  EXPECT_EQ(upgraded->status, 101);
}

TEST_F(HttpServerTest, AWebSocketClientThatReadsTooSlowlyIsClosedAloneWithACloseFrame) {
  SocketClient slow(server_->port(), 4096);
  SocketClient reader(server_->port());
  for (SocketClient* client : {&slow, &reader}) {
    ASSERT_TRUE(client->Send(Upgrade()));
    ASSERT_EQ(client->ReadHttpReply()->status, 101);
  }
  ASSERT_TRUE(Eventually([&] { return server_->listeners() == 2; }));

  // 32 KiB events until the slow client's backlog passes 4 MiB twice (a gap
  // first, then the close): the kernel buffers hold a few MiB before writes
  // to it stall. The reader reads each event as it comes.
  int changes = 0;
  for (; changes < 1000 && server_->listeners() == 2; ++changes) {
    ASSERT_EQ(Exchange(Request("PUT", "/fake/v1/big", "1"))->status, 200);
    const auto event = reader.ReadWebSocketText();
    ASSERT_TRUE(event.has_value()) << changes;
    EXPECT_THAT(*event, HasSubstr(R"("name":"OnBig")"));
  }
  ASSERT_EQ(server_->listeners(), 1u) << changes << " changes";

  // The slow client gets what was under way, then 1008 with the reason.
  while (slow.ReadWebSocketText(2000)) {
  }
  ASSERT_GE(slow.closeFrame().size(), 2u);
  EXPECT_EQ(slow.closeFrame().substr(0, 2), std::string("\x03\xF0", 2));
  EXPECT_THAT(slow.closeFrame(), HasSubstr("reading too slowly"));

  // The reader goes on.
  ASSERT_EQ(Exchange(Request("PUT", "/fake/v1/volume", "5"))->status, 200);
  bool sawVolume = false;
  while (const auto message = reader.ReadWebSocketText(1000)) {
    if (message->find("OnJsonApiEvent_fake_v1_volume") != std::string::npos) sawVolume = true;
    if (sawVolume) break;
  }
  EXPECT_TRUE(sawVolume);
  EXPECT_TRUE(reader.closeFrame().empty());
}

// Small limits, to reach them.
class HttpServerLimitsTest : public HttpServerTest {
 protected:
  ServerLimits Limits() const override {
    ServerLimits limits;
    limits.httpConnections = 2;
    limits.idleTimeout = std::chrono::milliseconds(300);
    return limits;
  }
};

TEST_F(HttpServerLimitsTest, PastTheHttpLimitNewConnectionsGet503AndIdleOnesAreClosed) {
  SocketClient first(server_->port());
  SocketClient second(server_->port());
  ASSERT_TRUE(first.Send(Request("GET", "/fake/v1/things/1")));
  ASSERT_EQ(first.ReadHttpReply()->status, 200);
  ASSERT_TRUE(second.connected());

  // Both places are taken, by a kept-alive connection and an idle one.
  const auto refused = Exchange(Request("GET", "/fake/v1/things/2"));
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->status, 503);
  EXPECT_THAT(refused->body, HasSubstr("the server has 2 HTTP connections open"));

  // Neither sends anything more: both are closed, and the places are free.
  EXPECT_TRUE(first.ClosedByServer(2000));
  EXPECT_TRUE(second.ClosedByServer(2000));
  const auto answered = Exchange(Request("GET", "/fake/v1/things/3"));
  ASSERT_TRUE(answered.has_value());
  EXPECT_EQ(answered->status, 200);
  Stop();
  // The refused request never reached the plugin.
  ASSERT_EQ(plugin_.requests.size(), 2u);
  EXPECT_EQ(plugin_.requests[1].path, "/fake/v1/things/3");
}

// A backlog of 80 KiB: two events of 32 KiB (and their JSON) fit, a third
// does not.
class HttpServerBacklogTest : public HttpServerTest {
 protected:
  ServerLimits Limits() const override {
    ServerLimits limits;
    limits.webSocketBacklog = 80 * 1024;
    return limits;
  }
};

TEST_F(HttpServerBacklogTest, ABurstPastTheBacklogBecomesAGapAndTheClientStays) {
  SocketClient reader(server_->port());
  ASSERT_TRUE(reader.Send(Upgrade()));
  ASSERT_EQ(reader.ReadHttpReply()->status, 101);
  ASSERT_TRUE(Eventually([&] { return server_->listeners() == 1; }));

  // The first event is under way when the third comes: the second and the
  // third are dropped for a gap.
  ASSERT_EQ(Exchange(Request("PUT", "/fake/v1/burst", "1"))->status, 200);
  const auto first = reader.ReadWebSocketText();
  ASSERT_TRUE(first.has_value());
  EXPECT_THAT(*first, HasSubstr(R"("name":"OnBig")"));
  const auto gap = reader.ReadWebSocketText();
  ASSERT_TRUE(gap.has_value());
  EXPECT_EQ(*gap, R"({"kind":"gap","missed":2})");

  // The client stays, and gets what comes next.
  ASSERT_EQ(Exchange(Request("PUT", "/fake/v1/volume", "3"))->status, 200);
  const auto next = reader.ReadWebSocketText();
  ASSERT_TRUE(next.has_value());
  EXPECT_THAT(*next, HasSubstr(R"("name":"OnJsonApiEvent_fake_v1_volume")"));
  EXPECT_EQ(server_->listeners(), 1u);
  EXPECT_TRUE(reader.closeFrame().empty());
}

TEST_F(HttpServerTest, StopEndsRunAndClosesOpenConnections) {
  SocketClient listener(server_->port());
  ASSERT_TRUE(listener.Send(Upgrade()));
  ASSERT_TRUE(listener.ReadHttpReply().has_value());
  // A connection that was answered and waits for its next request.
  SocketClient idle(server_->port());
  ASSERT_TRUE(idle.Send(Request("GET", "/fake/v1/things/1")));
  const auto answered = idle.ReadHttpReply();
  ASSERT_TRUE(answered.has_value());
  ASSERT_EQ(answered->status, 200);

  const auto started = std::chrono::steady_clock::now();
  Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_TRUE(listener.ClosedByServer(2000));
  EXPECT_TRUE(idle.ClosedByServer(2000));
  // Nothing listens any more.
  SocketClient late(server_->port());
  EXPECT_FALSE(late.connected());
}

}  // namespace
}  // namespace Kelp::Host
