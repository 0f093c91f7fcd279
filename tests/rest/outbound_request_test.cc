#include "sdk/rest/outbound_request.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "sdk/plugin/load_handshake.h"
#include "sdk/runtime/telemetry_sender.h"
#include "tests/rest/fake_plugin.h"

namespace Kelp {
namespace {

using test::FakePlugin;

class RequestPlugin : public PluginBase {};

void KELP_CDECL LoadRequestPlugin(PluginLoadRecord* record) {
  LoadHandshake::Run(*new RequestPlugin(), *record, "requests");
}

// Requests answered by the reference host's stand-in routes.
class HostedRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Load().ok());
    ASSERT_TRUE(host.Init());
    plugin = static_cast<PluginBase*>(host.context());
  }

  Host::ReferenceHost host{&LoadRequestPlugin};
  PluginBase* plugin = nullptr;
};

TEST_F(HostedRequestTest, ErrorResponseCarriesStatusAndText) {
  host.Route(HTTP_METHOD_GET, "/x",
             [](const Host::OutboundRequest&) { return Host::HostAnswer::Failure(404, "not found"); });
  const std::int64_t unreleased = Host::HostResponsesAwaitingRelease();
  const RemotingResult result = SendRequest(*plugin, HttpMethod::Get, "/x");
  EXPECT_EQ(result.error, 1);
  EXPECT_EQ(result.statusCode, 404u);
  EXPECT_EQ(result.message, "Error response for GET /x: not found");
  EXPECT_EQ(result.detail["errorCode_int"].GetSigned(), 404);
  EXPECT_EQ(Host::HostResponsesAwaitingRelease(), unreleased);
  ASSERT_EQ(host.sentRequests().size(), 1u);
  EXPECT_EQ(host.sentRequests()[0].method, 2u);
  EXPECT_TRUE(host.sentRequests()[0].arguments.empty());
}

TEST_F(HostedRequestTest, UnconvertibleParametersNeverReachTheHost) {
  ConversionResult parameters;
  parameters.SetError("Value x for 'volume' of type int32 is in an incorrect format");
  const RemotingResult result =
      SendConvertedRequest(*plugin, HttpMethod::Put, "/v/1", &parameters, nullptr, nullptr);
  EXPECT_EQ(result.statusCode, 400u);
  EXPECT_EQ(result.message,
            "Request not sent: Error converting parameters for PUT /v/1: Value x for 'volume' "
            "of type int32 is in an incorrect format");
  EXPECT_EQ(result.detail["errorCode_int"].GetSigned(), 400);
  EXPECT_TRUE(host.sentRequests().empty());
}

TEST(OutboundRequestTest, MessagesExpandPlaceholdersOnce) {
  EXPECT_EQ(FormatRequestMessage("{method} {url}: {error}", "GET", "/a/{error}", "{url}"),
            "GET /a/{error}: {url}");
}

TEST_F(HostedRequestTest, ResponseValueIsTakenFromTheRecord) {
  host.Route(HTTP_METHOD_GET, "/n",
             [](const Host::OutboundRequest&) { return Host::HostAnswer::Success(-7); });
  BindingProperty value;
  const RemotingResult result =
      SendConvertedRequest(*plugin, HttpMethod::Get, "/n", nullptr, nullptr, &value);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(value.GetSigned(), -7);
}

TEST(OutboundRequestTest, ResponseValueThatCannotBeReadFails) {
  FakePlugin plugin;
  plugin.answer = [](InvokeResponse& response) {
    response.result.value.kind = 42;  // no such tag
  };
  BindingProperty value;
  const RemotingResult result =
      SendConvertedRequest(plugin, HttpMethod::Get, "/n", nullptr, nullptr, &value);
  EXPECT_EQ(result.error, 1);
  EXPECT_EQ(result.statusCode, 0u);
  EXPECT_EQ(result.message.rfind("Error converting response for GET /n: ", 0), 0u)
      << result.message;
}

// A scripted stream: each read delivers the next chunk.
struct Chunk {
  std::uint32_t size;     // bytes written into the buffer
  std::uint32_t claimed;  // count reported back (0: same as size)
  bool more;
  bool fails;
};

struct Stream {
  std::vector<Chunk> chunks;
  std::string source;  // the bytes handed out, in order
  std::size_t next = 0;
  std::size_t offset = 0;
  int closes = 0;

  static std::uint8_t KELP_CDECL Read(void* context, std::uint8_t* buffer, std::uint32_t* count,
                                      std::uint8_t* more) {
    auto* self = static_cast<Stream*>(context);
    if (*count != kStreamReadSize || self->next >= self->chunks.size()) return 0;
    const Chunk& chunk = self->chunks[self->next++];
    if (chunk.fails) return 0;
    std::memcpy(buffer, self->source.data() + self->offset, chunk.size);
    self->offset += chunk.size;
    *count = chunk.claimed != 0 ? chunk.claimed : chunk.size;
    *more = chunk.more ? 1 : 0;
    return 1;
  }
  static void KELP_CDECL Close(void* context) { ++static_cast<Stream*>(context)->closes; }
};

// A JSON string of exactly `size` bytes: "aaa...".
std::string JsonText(std::size_t size) { return "\"" + std::string(size - 2, 'a') + "\""; }

TEST(OutboundRequestTest, ReadsStreamsInChunks) {
  const struct {
    const char* name;
    std::vector<Chunk> chunks;
    int waits;
    const char* error;  // empty: success
  } kRows[] = {
      {"full chunks then a short last one",
       {{4096, 0, true, false}, {4096, 0, true, false}, {10, 0, false, false}},
       0,
       ""},
      {"short chunk with more to come waits",
       {{100, 0, true, false}, {50, 0, true, false}, {4096, 0, true, false}, {2, 0, false, false}},
       2,
       ""},
      {"read fails at once",
       {{0, 0, false, true}},
       0,
       "Error reading streamed response for GET /s: Stream read error"},
      {"read fails later",
       {{4096, 0, true, false}, {0, 0, false, true}},
       0,
       "Error reading streamed response for GET /s: Stream read error"},
      {"claimed count past the buffer is clamped",
       {{4096, 9000, true, false}, {4, 0, false, false}},
       0,
       ""},
      {"text that is not JSON",
       {{3, 0, false, false}},
       0,
       "Error reading streamed response for GET /s: Error: Invalid value. at offset 0."},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    Stream stream;
    stream.chunks = row.chunks;
    std::size_t total = 0;
    for (const Chunk& chunk : row.chunks) total += chunk.size;
    // The delivered bytes form one JSON string, except in the row about bad text.
    const bool badText = row.chunks.size() == 1 && row.chunks[0].size == 3;
    stream.source = badText || total < 2 ? std::string(total, 'x') : JsonText(total);
    FakePlugin plugin;
    plugin.answer = [&stream](InvokeResponse& response) {
      response.streamRead = Stream::Read;
      response.streamClose = Stream::Close;
      response.streamContext = &stream;
      response.streamExpectedSize = 0xFFFFFFFFu;  // a hint only; never reserved in full
    };
    BindingProperty value;
    const RemotingResult result =
        SendConvertedRequest(plugin, HttpMethod::Get, "/s", nullptr, nullptr, &value);
    EXPECT_EQ(stream.closes, 1);
    EXPECT_EQ(plugin.waits, row.waits);
    EXPECT_EQ(result.message, row.error);
    if (row.error[0] == '\0') {
      EXPECT_EQ(value.GetString().size(), total - 2);
    } else {
      EXPECT_EQ(result.statusCode, 0u);
      EXPECT_EQ(result.detail.Find("errorCode_int"), nullptr);
    }
  }
}

// Success, nothing delivered, more to come: forever.
struct EndlessStream {
  int reads = 0;
  int closes = 0;
  static std::uint8_t KELP_CDECL Read(void* context, std::uint8_t*, std::uint32_t* count,
                                      std::uint8_t* more) {
    ++static_cast<EndlessStream*>(context)->reads;
    *count = 0;
    *more = 1;
    return 1;
  }
  static void KELP_CDECL Close(void* context) {
    ++static_cast<EndlessStream*>(context)->closes;
  }
};

TEST(OutboundRequestTest, AStreamThatNeverEndsFailsAfterABoundOfEmptyReads) {
  EndlessStream stream;
  FakePlugin plugin;
  plugin.answer = [&stream](InvokeResponse& response) {
    response.streamRead = EndlessStream::Read;
    response.streamClose = EndlessStream::Close;
    response.streamContext = &stream;
  };
  BindingProperty value;
  const RemotingResult result =
      SendConvertedRequest(plugin, HttpMethod::Get, "/s", nullptr, nullptr, &value);
  EXPECT_EQ(result.message,
            "Error reading streamed response for GET /s: Stream delivered nothing in 10000 reads");
  EXPECT_EQ(stream.reads, 10000);
  EXPECT_EQ(stream.closes, 1);
}

TEST(OutboundRequestTest, StreamThatComesWithAnErrorIsClosedUnread) {
  Stream stream;
  stream.chunks = {{4, 0, false, false}};
  stream.source = "\"ab\"";
  FakePlugin plugin;
  plugin.answer = [&stream](InvokeResponse& response) {
    SetResultError(response.result, "busy");
    response.status = 503;
    response.streamRead = Stream::Read;
    response.streamClose = Stream::Close;
    response.streamContext = &stream;
  };
  const RemotingResult result = SendRequest(plugin, HttpMethod::Get, "/s");
  EXPECT_EQ(result.message, "Error response for GET /s: busy");
  EXPECT_EQ(stream.next, 0u);
  EXPECT_EQ(stream.closes, 1);
}

TEST_F(HostedRequestTest, TelemetryPostsPropertiesAsOneStructure) {
  host.RoutePrefix(HTTP_METHOD_POST, "/telemetry/v1/events/",
                   [](const Host::OutboundRequest&) { return Host::HostAnswer::Success(); });
  TelemetrySender sender(*plugin);
  auto future = sender.SendEvent("premade-voice-game-start", {{"b", "2"}, {"a", "1"}});
  ASSERT_EQ(future.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_TRUE(future.get().ok());
  future = sender.SendEvent("empty", {});
  EXPECT_TRUE(future.get().ok());

  const auto& sent = host.sentRequests();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].method, 6u);
  EXPECT_EQ(sent[0].path, "/telemetry/v1/events/premade-voice-game-start");
  ASSERT_EQ(sent[0].arguments.size(), 1u);
  EXPECT_FALSE(sent[0].arguments[0].name.has_value());
  EXPECT_EQ(sent[0].arguments[0].value, Host::MakeObject({{"a", "1"}, {"b", "2"}}));
  ASSERT_EQ(sent[1].arguments.size(), 1u);
  EXPECT_EQ(sent[1].arguments[0].value, Host::MakeObject({}));
  EXPECT_TRUE(host.problems().empty());
}

TEST_F(HostedRequestTest, TelemetryFailureLandsInTheFuture) {
  host.RoutePrefix(HTTP_METHOD_POST, "/telemetry/v1/events/", [](const Host::OutboundRequest&) {
    return Host::HostAnswer::Failure(503, "down");
  });
  TelemetrySender sender(*plugin);
  const RemotingResult result = sender.SendEvent("x", {}).get();
  EXPECT_EQ(result.error, 1);
  EXPECT_EQ(result.statusCode, 503u);
  EXPECT_EQ(result.message, "Error response for POST /telemetry/v1/events/x: down");
}

}  // namespace
}  // namespace Kelp
