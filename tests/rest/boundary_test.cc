// A plugin built on the SDK, loaded in-process by the reference host: its
// endpoint is called through the function records and its outbound requests
// are answered by the host's stand-ins.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "sdk/binding/type_builder.h"
#include "sdk/plugin/load_handshake.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/rest/endpoint_registration.h"
#include "sdk/rest/typed_request.h"

namespace Kelp {
namespace {

using Host::HostAnswer;
using Host::HostValue;
using Host::MakeObject;

struct Level {
  std::string name;
  std::int32_t level = 0;
};

class RelayPlugin : public PluginBase {
 public:
  void RegisterEndpoints() override {
    TypeBuilder<Level>(registry(), "TestLevel")
        .Field("name", &Level::name)
        .Field("level", &Level::level);
    const std::string docs = "Relays a level.";
    RegisterEndpoint(*this, HttpMethod::Put, "/relay/v1/levels/{name}", docs,
                     {PathParameter("name", "Level name"), BodyParameter("level", "New level")},
                     [this](const std::string& name, std::int32_t level) -> Reply<Level> {
                       auto sent = SendTypedRequest<Level>(
                           *this, HttpMethod::Post, "/other/v1/levels/" + name, Level{name, level});
                       if (!sent.ok()) return Reply<Level>::Failure(sent.statusCode, sent.message);
                       return sent.value;
                     });
    RegisterEndpoint(*this, HttpMethod::Get, "/relay/v1/list", docs, {},
                     [this]() -> Reply<std::vector<std::int32_t>> {
                       auto sent = SendTypedRequest<std::vector<std::int32_t>>(
                           *this, HttpMethod::Get, "/other/v1/list");
                       if (sent.ok()) return sent.value;
                       return Reply<std::vector<std::int32_t>>::Failure(500, sent.message);
                     });
    RegisterEndpoint(*this, HttpMethod::Post, "/relay/v1/telemetry", docs, {}, [this]() {
      (void)telemetrySender()->SendEvent("relay-used", {{"k", "v"}});
    });
  }
};

void KELP_CDECL LoadRelay(PluginLoadRecord* record) {
  auto* plugin = new RelayPlugin;
  LoadHandshake::Run(*plugin, *record, "relay");
}

class BoundaryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.Load().ok());
    ASSERT_TRUE(host_.Init(77));
  }
  void TearDown() override {
    host_.Shutdown();
    EXPECT_EQ(host_.problems(), std::vector<std::string>());
  }
  Host::InvokeResult Put(const std::string& path, const std::string& body) {
    Host::InboundRequest request;
    request.method = HTTP_METHOD_PUT;
    request.path = path;
    request.body = body;
    return host_.Invoke(request);
  }

  Host::ReferenceHost host_{LoadRelay};
};

TEST_F(BoundaryTest, EndpointRelaysThroughAnOutboundRequest) {
  host_.Route(HTTP_METHOD_POST, "/other/v1/levels/mic", [](const Host::OutboundRequest& request) {
    const HostValue* argument = request.FirstArgument();
    EXPECT_NE(argument, nullptr);
    EXPECT_EQ(request.senderHandle, 77u);
    return HostAnswer::Success(
        MakeObject({{"name", "mic"}, {"level", 2 * argument->Find("level")->AsSigned()}}));
  });
  const Host::InvokeResult result = Put("/relay/v1/levels/mic", "21");
  ASSERT_TRUE(result.delivered);
  EXPECT_EQ(result.functionName, "PutRelayV1LevelsByName");
  EXPECT_FALSE(result.failed) << result.error;
  EXPECT_EQ(result.value, MakeObject({{"level", 42}, {"name", "mic"}}));
  EXPECT_EQ(result.problems, std::vector<std::string>());
  ASSERT_EQ(host_.SentTo("/other/v1/levels/mic").size(), 1u);
  EXPECT_EQ(*host_.SentTo("/other/v1/levels/mic")[0].FirstArgument(),
            MakeObject({{"level", 21}, {"name", "mic"}}));
}

TEST_F(BoundaryTest, FailuresTravelBackWithTheirStatus) {
  host_.Route(HTTP_METHOD_POST, "/other/v1/levels/gone",
              [](const Host::OutboundRequest&) { return HostAnswer::Failure(404, "not found"); });
  const Host::InvokeResult result = Put("/relay/v1/levels/gone", "1");
  EXPECT_TRUE(result.failed);
  EXPECT_EQ(result.status, 404u);
  EXPECT_EQ(result.error, "Error response for POST /other/v1/levels/gone: not found");

  const Host::InvokeResult wrong = Put("/relay/v1/levels/gone", "\"high\"");
  EXPECT_EQ(wrong.error, "Value high for 'level' of type int32 is in an incorrect format");
  EXPECT_EQ(host_.SentTo("/other/v1/levels/gone").size(), 1u);
}

TEST_F(BoundaryTest, StreamedAnswersAreReadWithWaits) {
  std::string text = "[";
  for (int i = 0; i < 3000; ++i) text += std::to_string(i) + ",";
  text += "3000]";
  host_.Route(HTTP_METHOD_GET, "/other/v1/list", [text](const Host::OutboundRequest&) {
    HostAnswer answer;
    answer.stream = Host::StreamedBody{text, 1000, -1};
    return answer;
  });
  const Host::InvokeResult result = host_.Invoke(HTTP_METHOD_GET, "/relay/v1/list");
  ASSERT_FALSE(result.failed) << result.error;
  ASSERT_EQ(result.value.AsArray().size(), 3001u);
  EXPECT_EQ(result.value.AsArray()[3000], HostValue(3000));
  const auto streams = host_.streams();
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_TRUE(streams[0]->closed());
  EXPECT_EQ(streams[0]->bytesDelivered(), text.size());
  // Every short read that left more to come waited once through the host.
  EXPECT_EQ(host_.CallsTo("enterWait").size(), static_cast<std::size_t>(streams[0]->reads() - 1));
  EXPECT_TRUE(host_.openWaits().empty());
}

TEST_F(BoundaryTest, TelemetryIsPosted) {
  host_.RoutePrefix(HTTP_METHOD_POST, "/telemetry/v1/events/",
                    [](const Host::OutboundRequest&) { return HostAnswer::Success(); });
  EXPECT_FALSE(host_.Invoke(HTTP_METHOD_POST, "/relay/v1/telemetry").failed);
  const auto sent = host_.SentTo("/telemetry/v1/events/relay-used");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(*sent[0].FirstArgument(), MakeObject({{"k", "v"}}));
}

}  // namespace
}  // namespace Kelp
