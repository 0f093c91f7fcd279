#include "sdk/rest/typed_request.h"

#include <string>

#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "sdk/binding/type_builder.h"
#include "sdk/plugin/load_handshake.h"

namespace Kelp {
namespace {

struct Volume {
  std::string puuid;
  std::int32_t volume = 0;
};

class RequestPlugin : public PluginBase {};

void KELP_CDECL LoadRequestPlugin(PluginLoadRecord* record) {
  LoadHandshake::Run(*new RequestPlugin(), *record, "requests");
}

class TypedRequestTest : public testing::Test {
 protected:
  void SetUp() override {
    TypeBuilder<Volume>(registry_, "TestVolume")
        .Field("puuid", &Volume::puuid)
        .Field("volume", &Volume::volume);
    ASSERT_TRUE(host_.Load().ok());
    ASSERT_TRUE(host_.Init());
    plugin_ = static_cast<RequestPlugin*>(host_.context());
  }
  TypeRegistry registry_;
  Host::ReferenceHost host_{&LoadRequestPlugin};
  RequestPlugin* plugin_ = nullptr;
};

TEST_F(TypedRequestTest, SendsTheRecordAndConvertsTheAnswer) {
  host_.Route(HTTP_METHOD_PUT, "/voice/volume", [](const Host::OutboundRequest&) {
    // Text stands for a number.
    return Host::HostAnswer::Success(Host::MakeObject({{"puuid", "p2"}, {"volume", "0x20"}}));
  });
  const TypedRemotingResult<Volume> result = SendTypedRequest<Volume>(
      *plugin_, registry_, HttpMethod::Put, "/voice/volume", Volume{"p1", 50});
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(result.value.puuid, "p2");
  EXPECT_EQ(result.value.volume, 32);
  ASSERT_EQ(host_.sentRequests().size(), 1u);
  const Host::HostValue* sent = host_.sentRequests()[0].FirstArgument();
  ASSERT_NE(sent, nullptr);
  EXPECT_EQ(*sent, Host::MakeObject({{"puuid", "p1"}, {"volume", 50}}));
}

TEST_F(TypedRequestTest, AnswerThatDoesNotConvertFails) {
  host_.Route(HTTP_METHOD_GET, "/voice/level",
              [](const Host::OutboundRequest&) { return Host::HostAnswer::Success("loud"); });
  const TypedRemotingResult<std::int32_t> result =
      SendTypedRequest<std::int32_t>(*plugin_, registry_, HttpMethod::Get, "/voice/level");
  EXPECT_EQ(result.error, 1);
  EXPECT_EQ(result.statusCode, 0u);
  EXPECT_EQ(result.value, 0);
  EXPECT_EQ(result.message,
            "Error converting response for GET /voice/level: Value loud for '<result>' of type "
            "int32 is in an incorrect format");
}

TEST_F(TypedRequestTest, UnregisteredParametersAreNotSent) {
  struct Unregistered {
    int a = 0;
  };
  const RemotingResult result =
      SendRequest(*plugin_, registry_, HttpMethod::Post, "/x", Unregistered{});
  EXPECT_EQ(result.statusCode, 400u);
  EXPECT_EQ(result.message,
            "Request not sent: Error converting parameters for POST /x: Couldn't convert native "
            "value because it's an unregistered structure.");
  EXPECT_TRUE(host_.sentRequests().empty());
}

}  // namespace
}  // namespace Kelp
