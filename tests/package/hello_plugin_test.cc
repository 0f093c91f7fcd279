// The hello example as check_package.sh built it from the installed SDK,
// driven through the reference host: what plugin-host's command line cannot
// show (the profile it follows, its timer, hostile input, a clean shutdown).
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/plugin_library.h"
#include "host/reference_host.h"

namespace Kelp::Host {
namespace {

using ::testing::IsEmpty;

constexpr char kProfilePath[] = "/player-profile/v1/current";
constexpr char kGreetingPath[] = "/hello/v1/greeting";

class HelloPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.ok()) << library_.error();
    ASSERT_TRUE(host_.Load().ok());
  }

  void Start() {
    ASSERT_TRUE(host_.Init());
    host_.RunReady();
  }

  // The greeting's text as GET answers it.
  std::string Text() {
    const InvokeResult result = host_.Invoke(HTTP_METHOD_GET, kGreetingPath);
    EXPECT_FALSE(result.failed) << result.error;
    const HostValue* text = result.value.Find("text");
    return text != nullptr && text->kind() == HostValue::Kind::String ? text->AsString() : "?";
  }

  InvokeResult Put(std::string body) {
    InboundRequest request;
    request.method = HTTP_METHOD_PUT;
    request.path = kGreetingPath;
    request.body = std::move(body);
    return host_.Invoke(request);
  }

  PluginLibrary library_{KELP_HELLO_PLUGIN_PATH};
  ReferenceHost host_{library_.entry()};
};

TEST_F(HelloPluginTest, TakesTheNameFromTheProfilePluginAtStart) {
  host_.Route(HTTP_METHOD_GET, kProfilePath, [](const OutboundRequest&) {
    return HostAnswer::Success(MakeObject({{"displayName", "Ana"}, {"level", 30}}));
  });
  Start();
  EXPECT_EQ(Text(), "Hello, Ana!");
  EXPECT_EQ(host_.SentTo(kProfilePath).size(), 1u);
  EXPECT_TRUE(host_.Logged("hello: started, greeting 'Hello, Ana!'"));
  EXPECT_FALSE(host_.Logged("no player profile"));
}

TEST_F(HelloPluginTest, AFailedProfileRequestIsLoggedAndTheDefaultNameKept) {
  host_.Route(HTTP_METHOD_GET, kProfilePath, [](const OutboundRequest&) {
    return HostAnswer::Failure(503, "profile not ready");
  });
  Start();
  EXPECT_EQ(Text(), "Hello, friend!");
  EXPECT_TRUE(host_.Logged("hello: no player profile yet (status 503)"));
}

TEST_F(HelloPluginTest, FollowsTheProfileEventsAndRepublishesOnlyChanges) {
  Start();
  ASSERT_TRUE(host_.IsSubscribed("OnJsonApiEvent_player-profile_v1_current"));
  const struct {
    const char* eventType;
    HostValue data;
    const char* text;
    std::size_t publications;  // each one on the path's channel and OnJsonApiEvent
  } kRows[] = {
      {"Update", MakeObject({{"displayName", "Bo"}}), "Hello, Bo!", 1},
      {"Update", MakeObject({{"displayName", "Bo"}}), "Hello, Bo!", 0},
      {"Create", MakeObject({{"displayName", "Cy"}}), "Hello, Cy!", 1},
      // Data of the wrong shape is dropped before the handler.
      {"Update", MakeObject({{"displayName", MakeObject({{"first", "Di"}})}}), "Hello, Cy!", 0},
      {"Update", HostValue("not a profile"), "Hello, Cy!", 0},
      // An empty name is not a name.
      {"Update", MakeObject({{"displayName", ""}}), "Hello, Cy!", 0},
      {"Delete", HostValue(), "Hello, friend!", 1},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::string(row.eventType) + " " + row.data.ToJson());
    const std::size_t before = host_.PublishedOn("OnJsonApiEvent").size();
    EXPECT_EQ(host_.DeliverResourceEvent(kProfilePath, row.eventType, row.data), 1u);
    EXPECT_EQ(Text(), row.text);
    EXPECT_EQ(host_.PublishedOn("OnJsonApiEvent").size() - before, row.publications);
  }
  EXPECT_EQ(host_.PublishedOn("OnJsonApiEvent_hello_v1_greeting").size(), 3u);
}

TEST_F(HelloPluginTest, SalutationsAreCheckedAndLoggedAsText) {
  Start();
  const std::string longest(64, 'x');
  const std::string kRefused = "salutation must be 1 to 64 bytes of printable text";
  const struct {
    std::string body;
    std::string error;  // empty when accepted
  } kRows[] = {
      {R"({"salutation":"Hi"})", ""},
      {R"({"salutation":"%s%n%x"})", ""},
      {R"({"salutation":")" + longest + R"("})", ""},
      {R"({"salutation":")" + longest + R"(y"})", kRefused},
      {R"({"salutation":"a\nb"})", kRefused},
      {R"({"salutation":""})", kRefused},
      // A missing salutation is an empty one.
      {R"({})", kRefused},
      {R"({"salutation":42})",
       "Couldn't assign value to 'salutation' because the input is not a string."},
      {R"([1,2)",
       "Couldn't deserialize JSON value for parameter 'change' of 'PutHelloV1Greeting': Error: "
       "Missing a comma or ']' after an array element. at offset 4."},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.body);
    const bool accepted = row.error.empty();
    const std::size_t before = host_.published().size();
    const InvokeResult result = Put(row.body);
    EXPECT_TRUE(result.delivered);
    EXPECT_EQ(result.failed, !accepted);
    EXPECT_EQ(result.error, row.error);
    EXPECT_EQ(host_.published().size() - before, accepted ? 2u : 0u);
    EXPECT_THAT(result.problems, IsEmpty());
  }
  EXPECT_TRUE(host_.Logged("hello: salutation is now '%s%n%x'"));
  EXPECT_EQ(Text(), longest + ", friend!");
}

TEST_F(HelloPluginTest, TheHeartbeatCountsUntilShutdown) {
  Start();
  ASSERT_EQ(host_.scheduled().size(), 1u);
  EXPECT_EQ(host_.scheduled()[0].name, "Timer: heartbeat");
  host_.AdvanceClock(4);
  EXPECT_EQ(host_.Invoke(HTTP_METHOD_GET, kGreetingPath).value.Find("heartbeats")->AsUnsigned(),
            0u);
  host_.AdvanceClock(8);  // 12 s: two beats
  EXPECT_EQ(host_.Invoke(HTTP_METHOD_GET, kGreetingPath).value.Find("heartbeats")->AsUnsigned(),
            2u);

  host_.Shutdown();
  EXPECT_THAT(host_.Subscriptions(), IsEmpty());
  EXPECT_THAT(host_.problems(), IsEmpty());
}

}  // namespace
}  // namespace Kelp::Host
