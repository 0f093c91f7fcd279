#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sdk/plugin/plugin_base.h"
#include "tests/plugin/events_fake_host.h"

namespace Kelp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

class ProxyPlugin : public PluginBase {
 public:
  ProxyPlugin() { names_.shortName = "proxy"; }
};

std::string Response(const char* uuid, const char* service, const char* method,
                     const char* payload) {
  return std::string(R"({"uuid":")") + uuid + R"(","serviceName":")" + service +
         R"(","methodName":")" + method + R"(","payload":")" + payload +
         R"(","status":"OK","error":""})";
}

class ServiceProxyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host.Init(plugin)); }

  ServiceProxy::Callback Record() {
    return [this](const PluginServiceProxyResponse& response) {
      seen.push_back(response.uuid + "/" + response.payload);
    };
  }

  testing::FakeHost host;
  ProxyPlugin plugin;
  std::vector<std::string> seen;
};

TEST_F(ServiceProxyTest, ResponsesMeetTheirRequestsInEitherOrder) {
  plugin.serviceProxy().AddPendingRequest("u1", Record());
  ASSERT_EQ(host.DeliverJson("OnServiceProxyUuidEvent", Response("u1", "s", "m", "first")), 1);
  EXPECT_THAT(seen, ElementsAre("u1/first"));

  // A response without a request waits for one.
  host.DeliverJson("OnServiceProxyMethodEvent", Response("u2", "chat", "send", "second"));
  EXPECT_EQ(plugin.serviceProxy().storedResponses(), 1u);
  plugin.serviceProxy().AddPendingRequest("chat.send", Record());
  EXPECT_THAT(seen, ElementsAre("u1/first", "u2/second"));
  EXPECT_EQ(plugin.serviceProxy().storedResponses(), 0u);

  // Each request is fulfilled once.
  host.DeliverJson("OnServiceProxyUuidEvent", Response("u1", "s", "m", "again"));
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_THAT(host.logged, ElementsAre(Pair(3, "proxy: Fulfilled service proxy request: u1"),
                                       Pair(3, "proxy: Fulfilled service proxy request: chat.send")));
}

TEST_F(ServiceProxyTest, AsyncResponsesGoToTheirHandler) {
  plugin.serviceProxy().SetAsyncHandler("chat.typing", Record());
  host.DeliverJson("OnServiceProxyAsyncEvent", Response("a1", "chat", "typing", "x"));
  host.DeliverJson("OnServiceProxyAsyncEvent", Response("a2", "chat", "typing", "y"));
  host.DeliverJson("OnServiceProxyAsyncEvent", Response("a3", "chat", "other", "z"));
  EXPECT_THAT(seen, ElementsAre("a1/x", "a2/y"));
  EXPECT_THAT(host.logged,
              ElementsAre(Pair(2, "proxy: Could not find registered handler for async service "
                                  "proxy event chat.other")));
}

TEST_F(ServiceProxyTest, MalformedResponsesAndShutdown) {
  plugin.serviceProxy().AddPendingRequest("u1", Record());
  host.DeliverJson("OnServiceProxyUuidEvent", R"({"uuid":["not","text"]})");
  host.DeliverJson("OnServiceProxyUuidEvent", "17");
  EXPECT_THAT(seen, IsEmpty());
  host.DeliverJson("OnServiceProxyUuidEvent", Response("u9", "s", "m", "kept"));
  plugin.Shutdown();
  EXPECT_EQ(plugin.serviceProxy().storedResponses(), 0u);
  plugin.serviceProxy().AddPendingRequest("u9", Record());
  EXPECT_THAT(seen, IsEmpty());
  EXPECT_THAT(host.logged, IsEmpty());
}

}  // namespace
}  // namespace Kelp
