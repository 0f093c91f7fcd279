// What a host sees of the voice plugin before any event: its descriptor and
// the subscriptions made at init.
#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/descriptor_summary.h"
#include "tests/integration/voice_scenario.h"

namespace Kelp::Host::Scenario {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::IsSupersetOf;
using ::testing::UnorderedElementsAreArray;

// Before sign-in: signing in adds the run-time subscription to the flag.
class VoiceDescriptorTest : public VoiceScenarioTest {
 protected:
  void SetUp() override { Boot({}, /*signIn=*/false); }
};

const char* const kVoiceTypes[] = {
    "PartyMemberRoleEnum",
    "VoiceAvailability",
    "FirstExperience",
    "DeviceResource",
    "InputMode",
    "SettingsResource",
    "SessionStatus",
    "ParticipantResource",
    "PremadeVoiceParticipantDto",
    "SessionResource",
    "StateResource",
    "AudioPropertiesResource",
    "LocalSettingsCategoryDataResource",
    "LocalSettingsCategoryResource",
    "AccountSettingsCategoryDataResource",
    "AccountSettingsCategoryResource",
    "PlayerDto",
    "PartyDto",
    "GameEventHotkeys",
    "GameInputSettings",
    "GameflowPhase",
    "GameflowGameClient",
    "GameflowSession",
    "LoginSession",
    "EntitlementsToken",
    "PushToTalkResource",
    "Summoner",
};

const ApiTypeRecord* FindType(const PluginApiDescriptor* descriptor, const std::string& name) {
  for (std::uint32_t i = 0; i < descriptor->typeCount; ++i) {
    if (name == descriptor->types[i].name) return &descriptor->types[i];
  }
  return nullptr;
}

// The boundary's type codes that the records below use.
std::string TypeText(std::uint32_t code, const char* typeName) {
  switch (code) {
    case 1:
      return "bool";
    case 7:
      return "uint32";
    case 12:
      return "string";
    case 16:
      return std::string("enum ") + typeName;
    default:
      return "code " + std::to_string(code) + " " + typeName;
  }
}

// "name: type", with " (optional)" for an optional field, in order.
std::vector<std::string> FieldsOf(const ApiTypeRecord& type) {
  std::vector<std::string> fields;
  for (std::uint32_t i = 0; i < type.count && type.fields != nullptr; ++i) {
    const ApiFieldRecord& field = type.fields[i];
    fields.push_back(std::string(field.name) + ": " + TypeText(field.type, field.typeName) +
                     (field.optional != 0 ? " (optional)" : ""));
  }
  return fields;
}

// "name=value" of each enumerator, by value: the descriptor lists them by
// name.
std::vector<std::string> EnumeratorsOf(const ApiTypeRecord& type) {
  std::vector<const ApiEnumValueRecord*> values;
  for (std::uint32_t i = 0; i < type.count && type.values != nullptr; ++i) {
    values.push_back(&type.values[i]);
  }
  std::ranges::stable_sort(values, {}, &ApiEnumValueRecord::value);
  std::vector<std::string> names;
  for (const ApiEnumValueRecord* value : values) {
    names.push_back(std::string(value->name) + "=" + std::to_string(value->value));
  }
  return names;
}

TEST_F(VoiceDescriptorTest, ListsTheVoiceTypesEventsAndRoutes) {
  const PluginApiDescriptor* descriptor = host().descriptor();
  const DescriptorSummary summary = SummarizeDescriptor(descriptor);
  EXPECT_THAT(summary.problems, IsEmpty());

  // The types a UI can build its records from, each under the plugin's prefix.
  std::vector<std::string> voiceTypes;
  for (const std::string& type : summary.types) {
    if (type.starts_with("TavPremadeVoice")) voiceTypes.push_back(type);
  }
  std::vector<std::string> expectedTypes;
  for (const char* name : kVoiceTypes)
    expectedTypes.push_back(std::string("TavPremadeVoice") + name);
  EXPECT_THAT(voiceTypes, UnorderedElementsAreArray(expectedTypes));

  // Fields keep their names, order and kinds; an optional text stays optional.
  const ApiTypeRecord* settings = FindType(descriptor, "TavPremadeVoiceSettingsResource");
  ASSERT_NE(settings, nullptr);
  EXPECT_THAT(FieldsOf(*settings), ElementsAreArray({
                                       "currentCaptureDeviceHandle: string",
                                       "vadHangoverTime: uint32",
                                       "vadSensitivity: uint32",
                                       "micLevel: uint32",
                                       "localMicMuted: bool",
                                       "loopbackEnabled: bool",
                                       "autoJoin: bool",
                                       "muteOnConnect: bool",
                                       "vadActive: bool",
                                       "pttActive: bool",
                                       "inputMode: enum TavPremadeVoiceInputMode",
                                       "pttKey: string (optional)",
                                   }));
  const ApiTypeRecord* phase = FindType(descriptor, "TavPremadeVoiceGameflowPhase");
  ASSERT_NE(phase, nullptr);
  EXPECT_THAT(EnumeratorsOf(*phase),
              ElementsAreArray({"None=0", "Lobby=1", "Matchmaking=2", "CheckedIntoTournament=3",
                                "ReadyCheck=4", "ChampSelect=5", "GameStart=6", "FailedToLaunch=7",
                                "InProgress=8", "Reconnect=9", "WaitingForStats=10",
                                "PreEndOfGame=11", "EndOfGame=12", "TerminatedInError=13"}));

  EXPECT_THAT(summary.events,
              IsSupersetOf({"OnJsonApiEvent_tav-premade-voice_v1_availability",
                            "OnJsonApiEvent_tav-premade-voice_v1_participant-records",
                            "OnJsonApiEvent_tav-premade-voice_v1_settings",
                            "OnJsonApiEvent_tav-premade-voice_v1_capturedevices"}));

  std::vector<std::string> routes;
  for (const auto& function : summary.functions)
    routes.push_back(function.method + " " + function.path);
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

// The service proxy's three channels come first, the followed resources
// after them in any order.
TEST_F(VoiceDescriptorTest, InitSubscribesTheServiceProxyFirstThenEveryFollowedResource) {
  std::vector<std::string> channels;
  for (const Subscription& subscription : host().Subscriptions()) {
    channels.push_back(subscription.channel);
  }
  ASSERT_GE(channels.size(), 3u);
  EXPECT_THAT(std::vector<std::string>(channels.begin(), channels.begin() + 3),
              ElementsAre("OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent",
                          "OnServiceProxyAsyncEvent"));
  EXPECT_THAT(std::vector<std::string>(channels.begin() + 3, channels.end()),
              UnorderedElementsAreArray({
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
