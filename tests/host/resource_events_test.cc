#include "host/resource_events.h"

#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "tests/host/fake_plugin.h"

namespace Kelp::Host {
namespace {

TEST(ResourceEventsTest, ChannelKeepsTheFirstPartsOfThePath) {
  const struct {
    const char* path;
    const char* channel;
  } kRows[] = {
      {"/tav-lobby/v2/lobby/members", "OnJsonApiEvent_tav-lobby_v2_lobby"},
      {"/tav-lobby/v2/comms/members", "OnJsonApiEvent_tav-lobby_v2_comms"},
      {"tav-lobby//v2/lobby", "OnJsonApiEvent_tav-lobby_v2_lobby"},
      {"/voice-chat/v2", "OnJsonApiEvent_voice-chat_v2"},
      {"/tav-platform-config/v1/namespaces/Voice/Enabled",
       "OnJsonApiEvent_tav-platform-config_v1_namespaces_Voice_Enabled"},
      {"/tav-platform-config/v1/namespaces/Voice/Enabled/x",
       "OnJsonApiEvent_tav-platform-config_v1_namespaces_Voice_Enabled"},
      {"/", "OnJsonApiEvent"},
      {"", "OnJsonApiEvent"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(EventChannelOf(row.path), row.channel);
  }
}

TEST(ResourceEventsTest, DeliveredOnThePathsChannel) {
  Testing::FakePlugin plugin;
  plugin.onInit = [&] { plugin.Subscribe("OnJsonApiEvent_tav-lobby_v2_comms", "comms"); };
  ReferenceHost host(&Testing::FakePlugin::Load);
  ASSERT_TRUE(host.Load().ok());
  ASSERT_TRUE(host.Init());
  EXPECT_EQ(host.DeliverResourceEvent("/tav-lobby/v2/comms/members", "Update",
                                      MakeObject({{"partyId", "p"}})),
            1u);
  ASSERT_EQ(plugin.received.size(), 1u);
  EXPECT_EQ(plugin.received[0].payload.ToJson(),
            R"({"uri":"/tav-lobby/v2/comms/members","eventType":"Update","data":{"partyId":"p"}})");
}

}  // namespace
}  // namespace Kelp::Host
