#include "sdk/rest/outbound_request.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sdk/runtime/telemetry_sender.h"
#include "tests/rest/fake_plugin.h"

namespace Kelp {
namespace {

using test::FakePlugin;

TEST(OutboundRequestTest, ErrorResponseCarriesStatusAndText) {
  FakePlugin plugin;
  plugin.answer = [](InvokeResponse& response) {
    SetResultError(response.result, "not found");
    response.status = 404;
  };
  test::releaseCount = 0;
  const RemotingResult result = SendRequest(plugin, HttpMethod::Get, "/x");
  EXPECT_EQ(result.error, 1);
  EXPECT_EQ(result.statusCode, 404u);
  EXPECT_EQ(result.message, "Error response for GET /x: not found");
  EXPECT_EQ(result.detail["errorCode_int"].GetSigned(), 404);
  EXPECT_EQ(test::releaseCount, 1);
  ASSERT_EQ(plugin.sent.size(), 1u);
  EXPECT_EQ(plugin.sent[0].method, 2u);
  EXPECT_EQ(plugin.sent[0].argumentCount, 0u);
}

TEST(OutboundRequestTest, UnconvertibleParametersNeverReachTheHost) {
  FakePlugin plugin;
  ConversionResult parameters;
  parameters.SetError("Value x for 'volume' of type int32 is in an incorrect format");
  const RemotingResult result =
      SendConvertedRequest(plugin, HttpMethod::Put, "/v/1", &parameters, nullptr, nullptr);
  EXPECT_EQ(result.statusCode, 400u);
  EXPECT_EQ(result.message,
            "Request not sent: Error converting parameters for PUT /v/1: Value x for 'volume' "
            "of type int32 is in an incorrect format");
  EXPECT_EQ(result.detail["errorCode_int"].GetSigned(), 400);
  EXPECT_TRUE(plugin.sent.empty());
}

TEST(OutboundRequestTest, MessagesExpandPlaceholdersOnce) {
  EXPECT_EQ(FormatRequestMessage("{method} {url}: {error}", "GET", "/a/{error}", "{url}"),
            "GET /a/{error}: {url}");
}

TEST(OutboundRequestTest, ResponseValueIsTakenFromTheRecord) {
  FakePlugin plugin;
  plugin.answer = [](InvokeResponse& response) { SetSigned(response.result.value, -7); };
  BindingProperty value;
  const RemotingResult result =
      SendConvertedRequest(plugin, HttpMethod::Get, "/n", nullptr, nullptr, &value);
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

TEST(TelemetrySenderTest, PostsPropertiesAsOneStructure) {
  FakePlugin plugin;
  TelemetrySender sender(plugin);
  auto future = sender.SendEvent("premade-voice-game-start", {{"b", "2"}, {"a", "1"}});
  ASSERT_EQ(future.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_TRUE(future.get().ok());
  future = sender.SendEvent("empty", {});
  EXPECT_TRUE(future.get().ok());

  ASSERT_EQ(plugin.sent.size(), 2u);
  EXPECT_EQ(plugin.sent[0].method, 6u);
  EXPECT_EQ(plugin.sent[0].path, "/telemetry/v1/events/premade-voice-game-start");
  ASSERT_EQ(plugin.sent[0].argumentCount, 1u);
  EXPECT_FALSE(plugin.sent[0].argumentNamed);
  EXPECT_EQ(plugin.sent[0].argument["a"].GetString(), "1");
  EXPECT_EQ(plugin.sent[0].argument["b"].GetString(), "2");
  ASSERT_EQ(plugin.sent[1].argumentCount, 1u);
  EXPECT_EQ(plugin.sent[1].argument.kind(), BindingPropertyKind::Structure);
  EXPECT_EQ(plugin.sent[1].argument.size(), 0u);
}

TEST(TelemetrySenderTest, FailureLandsInTheFuture) {
  FakePlugin plugin;
  plugin.answer = [](InvokeResponse& response) {
    SetResultError(response.result, "down");
    response.status = 503;
  };
  TelemetrySender sender(plugin);
  const RemotingResult result = sender.SendEvent("x", {}).get();
  EXPECT_EQ(result.error, 1);
  EXPECT_EQ(result.statusCode, 503u);
  EXPECT_EQ(result.message, "Error response for POST /telemetry/v1/events/x: down");
}

}  // namespace
}  // namespace Kelp
