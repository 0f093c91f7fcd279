#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "sdk/plugin/load_handshake.h"
#include "sdk/plugin/plugin_base.h"

namespace Kelp {
namespace {

using Host::HostValue;
using Host::MakeObject;
using Host::ReferenceHost;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

class ProxyPlugin : public PluginBase {};

void KELP_CDECL LoadProxyPlugin(PluginLoadRecord* record) {
  LoadHandshake::Run(*new ProxyPlugin(), *record, "proxy");
}

HostValue Response(const char* uuid, const char* service, const char* method,
                   const char* payload) {
  return MakeObject({{"uuid", uuid},
                     {"serviceName", service},
                     {"methodName", method},
                     {"payload", payload},
                     {"status", "OK"},
                     {"error", ""}});
}

class ServiceProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Load().ok());
    ASSERT_TRUE(host.Init(7));
    plugin = static_cast<ProxyPlugin*>(host.context());
  }

  ServiceProxy::Callback Record() {
    return [this](const PluginServiceProxyResponse& response) {
      seen.push_back(response.uuid + "/" + response.payload);
    };
  }
  std::vector<std::pair<int, std::string>> Logged() const {
    std::vector<std::pair<int, std::string>> lines;
    for (const Host::LogLine& line : host.logLines()) lines.emplace_back(line.level, line.text);
    return lines;
  }

  ReferenceHost host{&LoadProxyPlugin};
  ProxyPlugin* plugin = nullptr;
  std::vector<std::string> seen;
};

TEST_F(ServiceProxyTest, ResponsesMeetTheirRequestsInEitherOrder) {
  plugin->serviceProxy().AddPendingRequest("u1", Record());
  ASSERT_EQ(host.DeliverEvent("OnServiceProxyUuidEvent", Response("u1", "s", "m", "first")), 1u);
  EXPECT_THAT(seen, ElementsAre("u1/first"));

  // A response without a request waits for one.
  host.DeliverEvent("OnServiceProxyMethodEvent", Response("u2", "chat", "send", "second"));
  EXPECT_EQ(plugin->serviceProxy().storedResponses(), 1u);
  plugin->serviceProxy().AddPendingRequest("chat.send", Record());
  EXPECT_THAT(seen, ElementsAre("u1/first", "u2/second"));
  EXPECT_EQ(plugin->serviceProxy().storedResponses(), 0u);

  // Each request is fulfilled once.
  host.DeliverEvent("OnServiceProxyUuidEvent", Response("u1", "s", "m", "again"));
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_THAT(Logged(), ElementsAre(Pair(3, "proxy: Fulfilled service proxy request: u1"),
                                    Pair(3, "proxy: Fulfilled service proxy request: chat.send")));
}

TEST_F(ServiceProxyTest, AsyncResponsesGoToTheirHandler) {
  plugin->serviceProxy().SetAsyncHandler("chat.typing", Record());
  host.DeliverEvent("OnServiceProxyAsyncEvent", Response("a1", "chat", "typing", "x"));
  host.DeliverEvent("OnServiceProxyAsyncEvent", Response("a2", "chat", "typing", "y"));
  host.DeliverEvent("OnServiceProxyAsyncEvent", Response("a3", "chat", "other", "z"));
  EXPECT_THAT(seen, ElementsAre("a1/x", "a2/y"));
  EXPECT_THAT(Logged(), ElementsAre(Pair(2, "proxy: Could not find registered handler for async "
                                            "service proxy event chat.other")));
}

TEST_F(ServiceProxyTest, MalformedResponsesAndShutdown) {
  plugin->serviceProxy().AddPendingRequest("u1", Record());
  host.DeliverEvent("OnServiceProxyUuidEvent", MakeObject({{"uuid", Host::HostArray{"not", "text"}}}));
  host.DeliverEvent("OnServiceProxyUuidEvent", 17);
  EXPECT_THAT(seen, IsEmpty());
  host.DeliverEvent("OnServiceProxyUuidEvent", Response("u9", "s", "m", "kept"));
  plugin->Shutdown();
  EXPECT_EQ(plugin->serviceProxy().storedResponses(), 0u);
  plugin->serviceProxy().AddPendingRequest("u9", Record());
  EXPECT_THAT(seen, IsEmpty());
  EXPECT_THAT(Logged(), IsEmpty());
}

PluginServiceProxyResponse Uuid(std::string uuid, std::string service = "s",
                                std::string method = "m") {
  PluginServiceProxyResponse response;
  response.uuid = std::move(uuid);
  response.serviceName = std::move(service);
  response.methodName = std::move(method);
  return response;
}

TEST_F(ServiceProxyTest, OnlyTheLatestUnmatchedResponsesAreKept) {
  for (int i = 0; i < 10000; ++i) plugin->serviceProxy().OnUuidResponse(Uuid(std::to_string(i)));
  EXPECT_EQ(plugin->serviceProxy().storedResponses(), ServiceProxy::kMaxStoredResponses);
  plugin->serviceProxy().AddPendingRequest("0", Record());
  plugin->serviceProxy().AddPendingRequest("9999", Record());
  EXPECT_THAT(seen, ElementsAre("9999/"));
}

// Callbacks and handlers run without the tables' lock, so they may use them.
TEST_F(ServiceProxyTest, CallbacksMayRegisterRequestsAndHandlers) {
  ServiceProxy& proxy = plugin->serviceProxy();
  proxy.AddPendingRequest("first", [&](const PluginServiceProxyResponse&) {
    seen.push_back("first");
    proxy.AddPendingRequest("second", Record());
  });
  proxy.SetAsyncHandler("chat.typing", [&](const PluginServiceProxyResponse&) {
    seen.push_back("async");
    proxy.SetAsyncHandler("chat.typing", Record());
  });
  proxy.OnUuidResponse(Uuid("second"));
  proxy.OnUuidResponse(Uuid("first"));
  proxy.OnAsyncResponse(Uuid("a1", "chat", "typing"));
  proxy.OnAsyncResponse(Uuid("a2", "chat", "typing"));
  EXPECT_THAT(seen, ElementsAre("first", "second/", "async", "a2/"));
  // "second" was stored before its request came from inside a callback.
  EXPECT_EQ(proxy.storedResponses(), 0u);
}

}  // namespace
}  // namespace Kelp
