// What a host sees of the voice plugin before any event: its descriptor and
// the subscriptions made at init.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/descriptor_summary.h"
#include "tests/integration/voice_scenario.h"

namespace Kelp::Host::Scenario {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::IsSupersetOf;

// Before sign-in: signing in adds the run-time subscription to the flag.
class VoiceDescriptorTest : public VoiceScenarioTest {
 protected:
  void SetUp() override { Boot({}, /*signIn=*/false); }
};

const char* const kVoiceTypes[] = {
    "PartyMemberRoleEnum", "VoiceAvailability", "FirstExperience", "DeviceResource",
    "InputMode", "SettingsResource", "SessionStatus", "ParticipantResource",
    "PremadeVoiceParticipantDto", "SessionResource", "StateResource", "AudioPropertiesResource",
    "LocalSettingsCategoryDataResource", "LocalSettingsCategoryResource",
    "AccountSettingsCategoryDataResource", "AccountSettingsCategoryResource", "PlayerDto",
    "PartyDto", "GameEventHotkeys", "GameInputSettings", "GameflowPhase", "GameflowGameClient",
    "GameflowSession", "LoginSession", "EntitlementsToken", "PushToTalkResource", "Summoner",
};

const ApiTypeRecord* FindType(const PluginApiDescriptor* descriptor, const std::string& name) {
  for (std::uint32_t i = 0; i < descriptor->typeCount; ++i) {
    if (name == descriptor->types[i].name) return &descriptor->types[i];
  }
  return nullptr;
}

TEST_F(VoiceDescriptorTest, ListsTheVoiceTypesEventsAndRoutes) {
  const PluginApiDescriptor* descriptor = host().descriptor();
  const DescriptorSummary summary = SummarizeDescriptor(descriptor);
  EXPECT_THAT(summary.problems, IsEmpty());

  std::vector<std::string> voiceTypes;
  for (const std::string& type : summary.types) {
    if (type.starts_with("TavPremadeVoice")) voiceTypes.push_back(type);
  }
  ASSERT_EQ(voiceTypes.size(), std::size(kVoiceTypes));
  for (const char* name : kVoiceTypes) {
    SCOPED_TRACE(name);
    const ApiTypeRecord* type = FindType(descriptor, std::string("TavPremadeVoice") + name);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type->nameSpace, "Kelp::Client::Api");
    EXPECT_STREQ(type->description, "");
    ASSERT_EQ(type->tagCount, 2u);
    EXPECT_STREQ(type->tags[0], "Plugins");
    EXPECT_STREQ(type->tags[1], "Plugin tav-premade-voice");
  }

  // Fields keep their order and kinds; an optional text stays optional.
  const ApiTypeRecord* settings = FindType(descriptor, "TavPremadeVoiceSettingsResource");
  ASSERT_NE(settings, nullptr);
  ASSERT_EQ(settings->count, 12u);
  EXPECT_STREQ(settings->fields[10].name, "inputMode");
  EXPECT_STREQ(settings->fields[10].typeName, "TavPremadeVoiceInputMode");
  EXPECT_STREQ(settings->fields[11].name, "pttKey");
  EXPECT_EQ(settings->fields[11].optional, 1);
  const ApiTypeRecord* phase = FindType(descriptor, "TavPremadeVoiceGameflowPhase");
  ASSERT_NE(phase, nullptr);
  EXPECT_EQ(phase->count, 14u);

  EXPECT_THAT(summary.events,
              IsSupersetOf({"OnJsonApiEvent_tav-premade-voice_v1_availability",
                            "OnJsonApiEvent_tav-premade-voice_v1_participant-records",
                            "OnJsonApiEvent_tav-premade-voice_v1_settings",
                            "OnJsonApiEvent_tav-premade-voice_v1_capturedevices"}));

  std::vector<std::string> routes;
  for (const auto& function : summary.functions) routes.push_back(function.method + " " + function.path);
  // Every route of the service, and nothing else.
  EXPECT_THAT(routes, ::testing::UnorderedElementsAreArray({
                          "GET /tav-premade-voice/v1/availability",
                          "GET /tav-premade-voice/v1/participants",
                          "GET /tav-premade-voice/v1/participant-records",
                          "GET /tav-premade-voice/v1/settings",
                          "POST /tav-premade-voice/v1/settings/reset",
                          "GET /tav-premade-voice/v1/capturedevices",
                          "PUT /tav-premade-voice/v1/capturedevices",
                          "PUT /tav-premade-voice/v1/participants/{puuid}/mute",
                          "PUT /tav-premade-voice/v1/participants/{puuid}/volume",
                          "PUT /tav-premade-voice/v1/self/mute",
                          "PUT /tav-premade-voice/v1/self/micLevel",
                          "PUT /tav-premade-voice/v1/self/inputMode",
                          "PUT /tav-premade-voice/v1/self/activationSensitivity",
                          "POST /tav-premade-voice/v1/gameClientUpdatedPTTKey",
                          "POST /tav-premade-voice/v1/session",
                          "DELETE /tav-premade-voice/v1/session",
                          "GET /tav-premade-voice/v1/mic-test",
                          "POST /tav-premade-voice/v1/mic-test",
                          "DELETE /tav-premade-voice/v1/mic-test",
                          "GET /tav-premade-voice/v1/first-experience",
                          "POST /tav-premade-voice/v1/first-experience/zeb",
                          "POST /tav-premade-voice/v1/first-experience/game",
                          "POST /tav-premade-voice/v1/first-experience/reset",
                      }));
}

TEST_F(VoiceDescriptorTest, InitSubscribesTheServiceProxyThenTheFollowedResourcesInOrder) {
  std::vector<std::string> channels;
  for (const Subscription& subscription : host().Subscriptions()) {
    channels.push_back(subscription.channel);
  }
  EXPECT_THAT(channels, ElementsAreArray({
                            "OnServiceProxyUuidEvent",
                            "OnServiceProxyMethodEvent",
                            "OnServiceProxyAsyncEvent",
                            "OnJsonApiEvent_tav-login_v1_session",
                            "OnJsonApiEvent_tav-settings_v2_ready",
                            "OnJsonApiEvent_tav-settings_v2_account",
                            "OnJsonApiEvent_tav-settings_v2_local",
                            "OnJsonApiEvent_tav-gameflow_v1_session",
                            "OnJsonApiEvent_tav-game-settings_v1_input-settings",
                            "OnJsonApiEvent_entitlements_v1_token",
                            "OnJsonApiEvent_voice-chat_v1_audio-properties",
                            "OnJsonApiEvent_voice-chat_v2_settings",
                            "OnJsonApiEvent_voice-chat_v2_state",
                            "OnJsonApiEvent_voice-chat_v2_devices",
                            "OnJsonApiEvent_tav-lobby_v2_comms",
                            "OnJsonApiEvent_tav-platform-config_v1_initial-configuration-complete",
                            "OnJsonApiEvent_voice-chat_v2_sessions",
                            "OnJsonApiEvent_tav-summoner_v1_current-summoner",
                        }));
}

}  // namespace
}  // namespace Kelp::Host::Scenario
