#include "sdk/rest/typed_request.h"

#include <string>

#include <gtest/gtest.h>

#include "sdk/binding/type_builder.h"
#include "tests/rest/fake_plugin.h"

namespace Kelp {
namespace {

struct Volume {
  std::string puuid;
  std::int32_t volume = 0;
};

class TypedRequestTest : public testing::Test {
 protected:
  void SetUp() override {
    TypeBuilder<Volume>(registry_, "TestVolume")
        .Field("puuid", &Volume::puuid)
        .Field("volume", &Volume::volume);
  }
  TypeRegistry registry_;
  test::FakePlugin plugin_;
};

TEST_F(TypedRequestTest, SendsTheRecordAndConvertsTheAnswer) {
  plugin_.answer = [](InvokeResponse& response) {
    BindingProperty answer;
    answer["puuid"].SetString("p2");
    answer["volume"].SetString("0x20");  // text stands for a number
    ASSERT_TRUE(ToBindingValue(answer, nullptr, response.result.value));
  };
  const TypedRemotingResult<Volume> result = SendTypedRequest<Volume>(
      plugin_, registry_, HttpMethod::Put, "/voice/volume", Volume{"p1", 50});
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(result.value.puuid, "p2");
  EXPECT_EQ(result.value.volume, 32);
  ASSERT_EQ(plugin_.sent.size(), 1u);
  EXPECT_EQ(plugin_.sent[0].argument["puuid"].GetString(), "p1");
  EXPECT_EQ(plugin_.sent[0].argument["volume"].GetSigned(), 50);
}

TEST_F(TypedRequestTest, AnswerThatDoesNotConvertFails) {
  plugin_.answer = [](InvokeResponse& response) { SetString(response.result.value, "loud"); };
  const TypedRemotingResult<std::int32_t> result =
      SendTypedRequest<std::int32_t>(plugin_, registry_, HttpMethod::Get, "/voice/level");
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
      SendRequest(plugin_, registry_, HttpMethod::Post, "/x", Unregistered{});
  EXPECT_EQ(result.statusCode, 400u);
  EXPECT_EQ(result.message,
            "Request not sent: Error converting parameters for POST /x: Couldn't convert native "
            "value because it's an unregistered structure.");
  EXPECT_TRUE(plugin_.sent.empty());
}

}  // namespace
}  // namespace Kelp
