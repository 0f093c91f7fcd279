// The push-to-talk key, the mic test, the capture devices and the game
// telemetry through the whole client.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/integration/voice_settings_world.h"

namespace Kelp::Host::Testing {
namespace {

using VoiceControlsTest = VoiceSettingsWorld;

const std::string kInputSettings(GameSettingsStandIn::kInputSettingsPath);
const std::string kPushToTalk(VoiceChatStandIn::kPushToTalkPath);
constexpr const char* kMicTest = "/tav-premade-voice/v1/mic-test";
constexpr const char* kDevices = "/tav-premade-voice/v1/capturedevices";

HostValue AccountWithKey(std::string key) {
  return MakeObject({{"schemaVersion", 1u},
                     {"data", MakeObject({{"autoJoin", true},
                                          {"muteOnConnect", false},
                                          {"inputMode", "pushToTalk"},
                                          {"pushToTalkKey", std::move(key)},
                                          {"showFirstExperienceInZEB", false},
                                          {"showFirstExperienceInGame", false}})}});
}

TEST_F(VoiceControlsTest, PushToTalkKeyFollowsTheAccountOutOfGameAndTheGameInGame) {
  world().SignIn();
  const std::size_t accountWrites = Bodies(HTTP_METHOD_PATCH, kAccount).size();

  // Changed in the account (another client): written to the game client,
  // whose change event ends the exchange.
  ASSERT_TRUE(world().settings().Replace(kAccount, AccountWithKey("F")));
  world().Settle();
  ASSERT_EQ(Bodies(HTTP_METHOD_PATCH, kInputSettings).size(), 1u);
  EXPECT_EQ(Bodies(HTTP_METHOD_PATCH, kInputSettings)[0].ToJson(),
            R"({"GameEvents":{"evtPushToTalk":"F"}})");
  EXPECT_EQ(world().gameSettings().pushToTalkKey(), "F");
  EXPECT_EQ(world().voiceChat().pushToTalk().ToJson(),
            R"({"pttEnabled":true,"pttKeyBinding":"F"})");

  // Changed in the game client while no game runs: the account's key wins.
  world().gameSettings().SetPushToTalkKey("G");
  world().Settle();
  EXPECT_EQ(Bodies(HTTP_METHOD_PATCH, kInputSettings).size(), 2u);
  EXPECT_EQ(world().gameSettings().pushToTalkKey(), "F");

  // While a game runs the game client's key wins, by event and by route.
  world().StartGame();
  world().gameSettings().SetPushToTalkKey("H");
  world().Settle();
  EXPECT_EQ(Stored(kAccount, "pushToTalkKey"), R"("H")");
  ASSERT_FALSE(
      Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/gameClientUpdatedPTTKey", R"("J")").failed);
  world().Settle();
  EXPECT_EQ(Stored(kAccount, "pushToTalkKey"), R"("J")");
  EXPECT_EQ(Bodies(HTTP_METHOD_PATCH, kAccount).size(), accountWrites + 2);
  EXPECT_EQ(Bodies(HTTP_METHOD_PATCH, kInputSettings).size(), 2u);
  EXPECT_EQ(world().voiceChat().pushToTalk().ToJson(),
            R"({"pttEnabled":true,"pttKeyBinding":"J"})");

  // An empty key switches push-to-talk off in the engine, without a binding.
  world().EndGame();
  const std::size_t pushes = Bodies(HTTP_METHOD_PUT, kPushToTalk).size();
  ASSERT_TRUE(world().settings().Replace(kAccount, AccountWithKey("")));
  world().Settle();
  EXPECT_EQ(world().voiceChat().pushToTalk().ToJson(), R"({"pttEnabled":false})");
  EXPECT_EQ(Call(HTTP_METHOD_GET, "/tav-premade-voice/v1/settings").value.Find("pttKey")->ToJson(),
            R"("")");
  // Events that change nothing for the engine send it nothing.
  host().DeliverResourceEvent(kInputSettings, "Delete", HostValue());
  world().Settle();
  EXPECT_EQ(Bodies(HTTP_METHOD_PUT, kPushToTalk).size(), pushes + 1);
}

TEST_F(VoiceControlsTest, ThePlaceholderNeverErasesTheGameClientsKey) {
  for (const bool gameKeyFirst : {true, false}) {
    SCOPED_TRACE(gameKeyFirst ? "game key before the account" : "account before the game key");
    Restart(false);
    if (gameKeyFirst) world().gameSettings().SetPushToTalkKey("G");
    world().SignIn();
    if (!gameKeyFirst) world().gameSettings().SetPushToTalkKey("G");
    world().Settle();
    EXPECT_EQ(Stored(kAccount, "pushToTalkKey"), R"("G")");
    EXPECT_EQ(world().gameSettings().pushToTalkKey(), "G");
    EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kInputSettings).empty());
  }
  // A reset stores the placeholder again, and the game client's key wins.
  ASSERT_FALSE(Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/settings/reset").failed);
  world().Settle();
  EXPECT_EQ(Stored(kAccount, "pushToTalkKey"), R"("G")");
  EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kInputSettings).empty());
}

// Keys that are unknown, the placeholder of a category that lacks one, or
// written while the other side refused: none of them ever replaces the key
// the player bound.
TEST_F(VoiceControlsTest, AKeyNobodyBoundNeverReplacesARealOne) {
  // A game runs before the game client has said which key it has: the
  // account's key is applied and stays, and nothing is written.
  world().StartGame();
  ASSERT_TRUE(world().settings().Replace(kAccount, AccountWithKey("F")));
  world().Settle();
  EXPECT_EQ(Call(HTTP_METHOD_GET, "/tav-premade-voice/v1/settings").value.Find("pttKey")->ToJson(),
            R"("F")");
  EXPECT_EQ(Stored(kAccount, "pushToTalkKey"), R"("F")");
  EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kAccount).empty());
  EXPECT_TRUE(Bodies(HTTP_METHOD_PATCH, kInputSettings).empty());

  // A category stored without most members: they keep their defaults, and
  // the placeholder key gives way to the game client's.
  Restart(false);
  world().gameSettings().SetPushToTalkKey("G");
  ASSERT_TRUE(world().settings().Replace(
      kAccount,
      MakeObject({{"schemaVersion", 1u}, {"data", MakeObject({{"inputMode", "pushToTalk"}})}})));
  world().SignIn();
  const HostValue settings = Call(HTTP_METHOD_GET, "/tav-premade-voice/v1/settings").value;
  EXPECT_EQ(settings.Find("autoJoin")->ToJson(), "true");
  EXPECT_EQ(settings.Find("pttKey")->ToJson(), R"("G")");
  EXPECT_EQ(Stored(kAccount, "pushToTalkKey"), R"("G")");
  EXPECT_EQ(world().gameSettings().pushToTalkKey(), "G");
  EXPECT_EQ(Call(HTTP_METHOD_GET, "/tav-premade-voice/v1/first-experience").value.ToJson(),
            R"({"showFirstExperienceInGame":true,"showFirstExperienceInZEB":true})");

  // The game client's new key could not be stored: the next account write
  // carries it instead of bringing the old key back.
  world().StartGame();
  world().settings().Fail(503, "settings store busy", HTTP_METHOD_PATCH);
  world().BindGameKey("H");
  world().settings().Heal();
  ASSERT_FALSE(Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/inputMode", R"("voiceActivity")")
                   .failed);
  world().Settle();
  EXPECT_EQ(Stored(kAccount, "pushToTalkKey"), R"("H")");
  EXPECT_EQ(Stored(kAccount, "inputMode"), R"("voiceActivity")");
  EXPECT_EQ(world().gameSettings().pushToTalkKey(), "H");
}

TEST_F(VoiceControlsTest, MicTestRelaysEnergyAndEndsByDeleteOrAfterTenSeconds) {
  world().SignIn();
  host().DeliverResourceEvent(VoiceChatStandIn::kAudioPropertiesPath, "Update",
                              MakeObject({{"isLoopbackEnabled", true}, {"micEnergy", 9u}}));
  EXPECT_TRUE(Published(kMicTest).empty());

  ASSERT_FALSE(Call(HTTP_METHOD_POST, kMicTest).failed);
  EXPECT_EQ(world().voiceChat().settings().Find("loopbackEnabled")->ToJson(), "true");
  ASSERT_TRUE(world().voiceChat().SetMicEnergy(40));
  world().Settle();
  EXPECT_EQ(Call(HTTP_METHOD_GET, kMicTest).value.ToJson(),
            R"({"isLoopbackEnabled":true,"micEnergy":40})");

  ASSERT_FALSE(Call(HTTP_METHOD_DELETE, kMicTest).failed);
  world().Settle();
  EXPECT_EQ(Published(kMicTest).back().ToJson(), R"({"isLoopbackEnabled":false,"micEnergy":0})");
  EXPECT_EQ(world().voiceChat().settings().Find("loopbackEnabled")->ToJson(), "false");
  const InvokeResult again = Call(HTTP_METHOD_DELETE, kMicTest);
  EXPECT_EQ(again.status, 404u);
  EXPECT_EQ(again.error, "Mic test is not in progress");
  host().AdvanceClock(10.5);  // the cancelled timer does not end anything
  EXPECT_EQ(LogCount("Ending mic test"), 1u);

  ASSERT_FALSE(Call(HTTP_METHOD_POST, kMicTest).failed);
  host().AdvanceClock(9.5);
  EXPECT_EQ(LogCount("Ending mic test"), 1u);
  host().AdvanceClock(1.0);
  EXPECT_EQ(LogCount("Ending mic test"), 2u);
  EXPECT_EQ(world().voiceChat().settings().Find("loopbackEnabled")->ToJson(), "false");
  EXPECT_FALSE(world().voiceChat().SetMicEnergy(40));

  // Shut down with the timer armed: a host that still fires it reaches no
  // plugin memory and no plugin code.
  ASSERT_FALSE(Call(HTTP_METHOD_POST, kMicTest).failed);
  const std::size_t armed = host().scheduled().size() - 1;
  EXPECT_EQ(host().scheduled()[armed].name, "Timer: PREMADE-VOICE.MIC.TEST");
  host().Shutdown();
  // The test ended with the plugin: the engine plays no loopback.
  EXPECT_EQ(world().voiceChat().settings().Find("loopbackEnabled")->ToJson(), "false");
  const std::size_t requests = host().sentRequests().size();
  EXPECT_TRUE(host().FireScheduled(armed));
  EXPECT_EQ(host().sentRequests().size(), requests);
}

TEST_F(VoiceControlsTest, AFailedMicTestStartLeavesLoopbackOff) {
  world().SignIn();
  world().DropVoiceServer();
  const InvokeResult started = Call(HTTP_METHOD_POST, kMicTest);
  EXPECT_TRUE(started.failed);
  EXPECT_EQ(started.status, 400u);
  EXPECT_EQ(started.error, "The mic test cannot start while voice chat is not connected");
  EXPECT_EQ(Call(HTTP_METHOD_GET, "/tav-premade-voice/v1/settings")
                .value.Find("loopbackEnabled")
                ->ToJson(),
            "false");
  world().ConnectVoiceServer();
  EXPECT_EQ(world().voiceChat().settings().Find("loopbackEnabled")->ToJson(), "false");
  EXPECT_EQ(Call(HTTP_METHOD_DELETE, kMicTest).status, 404u);
}

TEST_F(VoiceControlsTest, DeviceListsArePublishedAndTheFirstCurrentDeviceIsTheDefault) {
  world().SignIn();
  const CaptureDevice a{"mic-a", "Headset", true, false, true};
  const CaptureDevice b{"mic-b", "Desk", true, true, false};
  const CaptureDevice c{"mic-c", "Webcam", false, true, false};
  // Members as the plugin writes them, in name order.
  const std::string kA =
      R"({"handle":"mic-a","is_current_device":false,"is_default":true,"name":"Headset",)"
      R"("usable":true})";
  const std::string kB =
      R"({"handle":"mic-b","is_current_device":true,"is_default":false,"name":"Desk",)"
      R"("usable":true})";
  const std::string kC =
      R"({"handle":"mic-c","is_current_device":true,"is_default":false,"name":"Webcam",)"
      R"("usable":false})";
  const struct {
    std::vector<CaptureDevice> devices;
    std::string published;
  } kRows[] = {
      {{a}, "[" + kA + "]"},
      {{a, b, c}, "[" + kA + "," + kB + "," + kC + "]"},
      {{c}, "[" + kC + "]"},
      {{}, "[]"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.published);
    const std::size_t before = Published(kDevices).size();
    world().voiceChat().SetCaptureDevices(row.devices);
    world().Settle();
    ASSERT_EQ(Published(kDevices).size(), before + 1);
    EXPECT_EQ(Published(kDevices).back().ToJson(), row.published);
    EXPECT_EQ(Call(HTTP_METHOD_GET, kDevices).value.ToJson(), row.published);
  }
  ASSERT_FALSE(Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/settings/reset").failed);
  world().Settle();
  // The first current device ever reported: signing in listed "mic-usb".
  EXPECT_EQ(Stored(kLocal, "currentCaptureDeviceHandle"), R"("mic-usb")");
}

TEST_F(VoiceControlsTest, GameTelemetryCarriesTheVoiceSnapshotOnlyInsideAChannel) {
  world().SignIn();
  world().StartGame();
  world().EndGame();
  EXPECT_TRUE(world().telemetry().events().empty());

  world().FormParty(3);
  world().JoinVoice(1);
  ASSERT_FALSE(
      Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/participants/puuid-1/mute", "1").failed);
  world().Settle();
  const struct {
    std::optional<HostValue> platformId;
    bool loginFails;
    const char* region;
  } kRows[] = {
      {HostValue("EUW1"), false, "EUW1"}, {HostValue(7u), false, "7"},
      {HostValue(-3), false, "-3"},       {HostValue(true), false, "true"},
      {std::nullopt, false, ""},          {HostValue("EUW1"), true, ""},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.region);
    world().login().SetPlatformId(row.platformId);
    if (row.loginFails) world().Fail("login", 500, "login plugin down");
    const std::size_t before = world().telemetry().events().size();
    world().StartGame();
    world().EndGame();
    world().Heal("login");
    ASSERT_EQ(world().telemetry().events().size(), before + 2);
    const TelemetryEvent& start = world().telemetry().events()[before];
    EXPECT_EQ(start.name, "premade-voice-game-start");
    EXPECT_EQ(world().telemetry().events()[before + 1].name, "premade-voice-game-end");
    const std::pair<const char*, const char*> kExpected[] = {{"event", "premade-voice-game-start"},
                                                             {"account_id", "4242"},
                                                             {"voice_channel_id", "party-1"},
                                                             {"premade_size", "3"},
                                                             {"num_in_voice", "2"},
                                                             {"push_to_talk", "false"},
                                                             {"region", row.region},
                                                             {"num_players_muted", "1"}};
    ASSERT_EQ(start.properties.AsObject().size(), std::size(kExpected));
    for (const auto& [key, value] : kExpected) {
      const HostValue* sent = start.properties.Find(key);
      ASSERT_NE(sent, nullptr) << key;
      EXPECT_EQ(sent->ToJson(), HostValue(value).ToJson()) << key;
    }
  }
}

}  // namespace
}  // namespace Kelp::Host::Testing
