// Every request the voice service sends to another plugin, refused once:
// the route that caused it answers the refusal, and once the other plugin
// is healthy again and the clock has run, the service's state is what the
// other plugins hold, and nothing the player chose is lost.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/http_method.h"
#include "host/standins/stand_in.h"
#include "tests/integration/voice_scenario.h"

namespace Kelp::Host::Scenario {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kAccount(SettingsStandIn::kAccountPath);
const std::string kLocal(SettingsStandIn::kLocalPath);
constexpr const char* kSettings = "/tav-premade-voice/v1/settings";
constexpr const char* kRefusal = "service unavailable";

// How the other plugin refuses.
enum class Refusal {
  kStatus,        // 503 with a message, from the failure switch
  kDisconnected,  // voice-chat has lost its server ("not connected ...")
};

class VoiceFailureMatrixTest : public VoiceScenarioTest {
 public:
  // For the rows' actions.
  using VoiceScenarioTest::Call;
  using VoiceScenarioTest::world;
  // A request with a JSON body.
  InvokeResult Send(std::uint32_t method, std::string path, std::string body) {
    InboundRequest request;
    request.method = method;
    request.path = std::move(path);
    request.body = std::move(body);
    InvokeResult result = host().Invoke(request);
    world().Settle();
    return result;
  }

 protected:
  // The session every row starts from: a party of three in its channel,
  // Bram at volume 30, Cleo muted, the microphone at 40.
  void PlayTheUsualSession() {
    world().FormParty(3);
    world().JoinVoice(1);
    world().JoinVoice(2);
    ASSERT_FALSE(Call(HTTP_METHOD_PUT, kParticipants + "/puuid-1/volume", {{"volume", 30}}).failed);
    ASSERT_FALSE(Call(HTTP_METHOD_PUT, kParticipants + "/puuid-2/mute", {{"muted", 1}}).failed);
    ASSERT_FALSE(
        Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", {{"micLevel", 40}}).failed);
  }

  // A member of the stored category's data, or null.
  const HostValue* Stored(const std::string& category, std::string_view key) {
    stored_ = world().settings().Record(category);
    const HostValue* data = stored_.Find("data");
    return data != nullptr ? data->Find(key) : nullptr;
  }

  HostValue Get(const std::string& path) {
    const InvokeResult answer = Call(HTTP_METHOD_GET, path);
    EXPECT_FALSE(answer.failed) << path << ": " << answer.error;
    return answer.value;
  }

  // The service's published and served state agrees with what the other
  // plugins hold. `channel` is the one voice-chat must have the user in
  // ("" for none).
  void ExpectTheServiceShowsTheTruth(const std::string& channel) {
    VoiceChatStandIn& voiceChat = world().voiceChat();
    if (channel.empty()) {
      EXPECT_THAT(voiceChat.JoinedSessions(), IsEmpty());
    } else {
      EXPECT_THAT(voiceChat.JoinedSessions(), ElementsAre(channel));
    }

    // Participants as voice-chat plays them; records with the choices,
    // which voice-chat plays too (the own participant gets no choices).
    const HostValue list = Get(kParticipants);
    const HostValue records = Get(kRecords);
    std::vector<VoiceParticipant> engine;
    if (!channel.empty()) engine = voiceChat.Participants(channel);
    ASSERT_EQ(list.AsArray().size(), engine.size()) << list.ToJson();
    ASSERT_EQ(records.AsArray().size(), engine.size()) << records.ToJson();
    for (std::size_t i = 0; i < engine.size(); ++i) {
      SCOPED_TRACE(engine[i].name);
      const HostValue& entry = list.AsArray()[i];
      EXPECT_EQ(StringOr(entry.Find("participantId"), ""), engine[i].id);
      EXPECT_EQ(UnsignedOr(entry.Find("volume"), 0), engine[i].volume);
      EXPECT_EQ(BoolOr(entry.Find("isMuted"), false), engine[i].isMuted);
      if (engine[i].name == ClientWorld::Puuid(0)) continue;
      const HostValue& record = records.AsArray()[i];
      EXPECT_EQ(UnsignedOr(record.Find("volume"), 0), engine[i].volume);
      EXPECT_EQ(BoolOr(record.Find("isMuted"), false), engine[i].isMuted);
    }

    // Settings: the stored ones as stored, the engine's as the engine has
    // them, and the engine holding the stored ones.
    const HostValue settings = Get(kSettings);
    const HostValue& engineSettings = voiceChat.settings();
    for (const auto& [shown, category, stored] :
         std::vector<std::tuple<const char*, const std::string*, const char*>>{
             {"micLevel", &kLocal, "inputVolume"},
             {"vadSensitivity", &kLocal, "vadSensitivity"},
             {"currentCaptureDeviceHandle", &kLocal, "currentCaptureDeviceHandle"},
             {"autoJoin", &kAccount, "autoJoin"},
             {"muteOnConnect", &kAccount, "muteOnConnect"},
             {"inputMode", &kAccount, "inputMode"},
             {"pttKey", &kAccount, "pushToTalkKey"}}) {
      SCOPED_TRACE(shown);
      const HostValue* value = Stored(*category, stored);
      ASSERT_NE(value, nullptr) << world().settings().Record(*category).ToJson();
      ASSERT_NE(settings.Find(shown), nullptr);
      EXPECT_EQ(*settings.Find(shown), *value);
      if (category == &kLocal) {
        EXPECT_EQ(*engineSettings.Find(shown), *value) << engineSettings.ToJson();
      }
    }
    for (const char* engineOwned : {"localMicMuted", "loopbackEnabled", "vadHangoverTime"}) {
      EXPECT_EQ(*settings.Find(engineOwned), *engineSettings.Find(engineOwned)) << engineOwned;
    }
    // No mic test runs, so the engine plays no loopback.
    EXPECT_FALSE(voiceChat.loopbackEnabled());
    EXPECT_EQ(Get("/tav-premade-voice/v1/mic-test").ToJson(),
              R"({"isLoopbackEnabled":false,"micEnergy":0})");

    const HostValue firstExperience = Get("/tav-premade-voice/v1/first-experience");
    for (const char* flag : {"showFirstExperienceInZEB", "showFirstExperienceInGame"}) {
      EXPECT_EQ(*firstExperience.Find(flag), *Stored(kAccount, flag)) << flag;
    }

    // Push-to-talk: the game client has the account's key, the engine the
    // input mode's state.
    const std::string key = StringOr(Stored(kAccount, "pushToTalkKey"), "?");
    if (!key.empty() && key != "[<Unbound>]") {
      EXPECT_EQ(world().gameSettings().pushToTalkKey(), key);
    }
    const bool pushToTalk = StringOr(Stored(kAccount, "inputMode"), "") == "pushToTalk";
    EXPECT_EQ(BoolOr(voiceChat.pushToTalk().Find("pttEnabled"), false), pushToTalk && !key.empty());

    // Availability as last published, and as the party makes it.
    const HostValue availability = Get(kAvailability);
    const auto published = PublishedSince(Mark{}, kAvailability);
    ASSERT_FALSE(published.empty());
    EXPECT_EQ(availability, published.back());
    if (BoolOr(availability.Find("enabled"), false)) {
      EXPECT_EQ(BoolOr(availability.Find("voiceChannelAvailable"), false),
                world().lobby().players().size() >= 2);
    }

    // Nothing is left to try: the retry timer has stopped.
    for (const EventLoop::PendingTask& task : host().Pending()) {
      EXPECT_THAT(task.name, ::testing::Not(HasSubstr("PREMADE-VOICE.RETRY")));
    }
  }

  HostValue stored_;
};

struct Row {
  const char* name;
  const char* standIn;
  // The request that is refused: method and a prefix of its path.
  std::uint32_t method;
  std::string path;
  Refusal refusal = Refusal::kStatus;
  // Makes the service send that request; returns the answer of the route
  // that caused it, if a route did.
  std::function<std::optional<InvokeResult>(VoiceFailureMatrixTest&)> act;
  // The channel voice-chat has the user in at the end.
  std::string channel = "party-1";
  // Whether the usual session's choices must still hold at the end (false
  // where the row itself changes one of them or starts afresh).
  bool choicesKept = true;
  // Runs before the usual session instead of after it: a row that needs a
  // plugin that has not signed in yet.
  bool beforeSignIn = false;
};

TEST_F(VoiceFailureMatrixTest, EveryRefusedRequestIsAnsweredAndTheServiceComesBackToTheTruth) {
  using T = VoiceFailureMatrixTest;
  const auto route = [](std::uint32_t method, std::string path,
                        std::vector<HostArgument> arguments = {}) {
    return [=](T& t) -> std::optional<InvokeResult> { return t.Call(method, path, arguments); };
  };
  const auto change = [](std::function<void(ClientWorld&)> what) {
    return [=](T& t) -> std::optional<InvokeResult> {
      what(t.world());
      t.world().Settle();
      return std::nullopt;
    };
  };
  const auto newParty = [](ClientWorld& w) {
    w.lobby().FormParty("party-2",
                        {ClientWorld::Player(0), ClientWorld::Player(1), ClientWorld::Player(2)});
  };
  const auto reconnect = [](ClientWorld& w) {
    w.LoseLogin();
    w.RestoreLogin();
  };
  const auto accountWith = [](T& t, const char* key, const char* value) {
    HostValue record = t.world().settings().Record(kAccount);
    const_cast<HostValue*>(record.Find("data"))->Set(key, value);
    return record;
  };
  const std::string session = "/voice-chat/v2/sessions/";
  const std::string participants = "/voice-chat/v2/sessions/party-1/participants/";

  const std::vector<Row> rows = {
      // Leaving.
      {"leave by the user", "voice-chat", HTTP_METHOD_DELETE, session, Refusal::kStatus,
       route(HTTP_METHOD_DELETE, kSession), ""},
      {"leave for a new party", "voice-chat", HTTP_METHOD_DELETE, session + "party-1",
       Refusal::kStatus, change(newParty), "party-2", false},
      {"leave when voice is switched off", "voice-chat", HTTP_METHOD_DELETE, session,
       Refusal::kStatus, change([](ClientWorld& w) { w.SetVoiceFlag(false); }), ""},
      {"leave when the party shrinks to one", "voice-chat", HTTP_METHOD_DELETE, session,
       Refusal::kStatus, change([](ClientWorld& w) {
         w.RemoveFromParty(2);
         w.RemoveFromParty(1);
       }),
       "", false},
      {"leave of a reconnect", "voice-chat", HTTP_METHOD_DELETE, session, Refusal::kStatus,
       change(reconnect)},
      // Joining.
      {"token for a new party", "lobby", HTTP_METHOD_GET, "/tav-lobby/v2/comms/token",
       Refusal::kStatus, change(newParty), "party-2", false},
      {"token for a rejoin", "lobby", HTTP_METHOD_GET, "/tav-lobby/v2/comms/token",
       Refusal::kStatus, change(reconnect)},
      {"join of a new party", "voice-chat", HTTP_METHOD_POST, session + "party-2", Refusal::kStatus,
       change(newParty), "party-2", false},
      {"rejoin", "voice-chat", HTTP_METHOD_POST, session, Refusal::kStatus, change(reconnect)},
      {"rejoin without a voice server", "voice-chat", HTTP_METHOD_POST, session,
       Refusal::kDisconnected, change(reconnect)},
      {"join by the user", "voice-chat", HTTP_METHOD_POST, session, Refusal::kStatus,
       [](T& t) -> std::optional<InvokeResult> {
         EXPECT_FALSE(t.Call(HTTP_METHOD_DELETE, kSession).failed);
         return t.Call(HTTP_METHOD_POST, kSession);
       },
       ""},
      // Participants.
      {"volume", "voice-chat", HTTP_METHOD_PUT, participants, Refusal::kStatus,
       route(HTTP_METHOD_PUT, kParticipants + "/puuid-1/volume", {{"volume", 55}})},
      {"mute", "voice-chat", HTTP_METHOD_PUT, participants, Refusal::kStatus,
       route(HTTP_METHOD_PUT, kParticipants + "/puuid-1/mute", {{"muted", 1}})},
      {"choices of a player who comes back", "voice-chat", HTTP_METHOD_PUT, participants,
       Refusal::kStatus,
       [](T& t) -> std::optional<InvokeResult> {
         t.world().Heal("voice-chat");
         t.world().LeaveVoice(1);
         t.world().voiceChat().Fail(503, kRefusal, HTTP_METHOD_PUT);
         // Voice-chat plays the newcomer at its own default.
         t.world().JoinVoice(1);
         return std::nullopt;
       }},
      // The engine's settings.
      {"self-mute", "voice-chat", HTTP_METHOD_PUT, "/voice-chat/v2/settings", Refusal::kStatus,
       route(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/mute", {{"muted", 1}})},
      {"self-mute, and the settings cannot be read back", "voice-chat", 0,
       "/voice-chat/v2/settings", Refusal::kStatus,
       route(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/mute", {{"muted", 1}})},
      {"a new mic level for the engine", "voice-chat", HTTP_METHOD_PUT, "/voice-chat/v2/settings",
       Refusal::kStatus,
       [](T& t) -> std::optional<InvokeResult> {
         EXPECT_FALSE(
             t.Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", {{"micLevel", 45}})
                 .failed);
         return std::nullopt;
       },
       "party-1", false},
      {"mic test start", "voice-chat", HTTP_METHOD_PUT, "/voice-chat/v2/settings", Refusal::kStatus,
       route(HTTP_METHOD_POST, "/tav-premade-voice/v1/mic-test")},
      {"mic test end", "voice-chat", HTTP_METHOD_PUT, "/voice-chat/v2/settings", Refusal::kStatus,
       [](T& t) -> std::optional<InvokeResult> {
         t.world().Heal("voice-chat");
         EXPECT_FALSE(t.Call(HTTP_METHOD_POST, "/tav-premade-voice/v1/mic-test").failed);
         t.world().voiceChat().Fail(503, kRefusal, HTTP_METHOD_PUT);
         // The test ends whatever the engine says.
         EXPECT_FALSE(t.Call(HTTP_METHOD_DELETE, "/tav-premade-voice/v1/mic-test").failed);
         return std::nullopt;
       }},
      {"push-to-talk", "voice-chat", HTTP_METHOD_PUT, "/voice-chat/v1/push-to-talk",
       Refusal::kStatus,
       [](T& t) -> std::optional<InvokeResult> {
         EXPECT_FALSE(
             t.Send(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/inputMode", R"("pushToTalk")")
                 .failed);
         return std::nullopt;
       }},
      // Stored settings.
      {"both categories read at sign-in", "settings", HTTP_METHOD_GET, kAccount, Refusal::kStatus,
       change([](ClientWorld& w) { w.SignIn(); }), "", false, true},
      {"input mode", "settings", HTTP_METHOD_PATCH, kAccount, Refusal::kStatus,
       [](T& t) -> std::optional<InvokeResult> {
         return t.Send(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/inputMode", R"("pushToTalk")");
       }},
      {"first experience shown", "settings", HTTP_METHOD_PATCH, kAccount, Refusal::kStatus,
       route(HTTP_METHOD_POST, "/tav-premade-voice/v1/first-experience/zeb")},
      {"first experience reset", "settings", HTTP_METHOD_PATCH, kAccount, Refusal::kStatus,
       route(HTTP_METHOD_POST, "/tav-premade-voice/v1/first-experience/reset")},
      {"settings reset", "settings", HTTP_METHOD_PATCH, kAccount, Refusal::kStatus,
       route(HTTP_METHOD_POST, "/tav-premade-voice/v1/settings/reset")},
      {"mic level", "settings", HTTP_METHOD_PATCH, kLocal, Refusal::kStatus,
       route(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/micLevel", {{"micLevel", 45}})},
      {"sensitivity", "settings", HTTP_METHOD_PATCH, kLocal, Refusal::kStatus,
       route(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/activationSensitivity",
             {{"sensitivity", 70}})},
      {"capture device", "settings", HTTP_METHOD_PATCH, kLocal, Refusal::kStatus,
       [](T& t) -> std::optional<InvokeResult> {
         return t.Send(HTTP_METHOD_PUT, "/tav-premade-voice/v1/capturedevices", R"("mic-builtin")");
       }},
      {"the game client's key for the account", "settings", HTTP_METHOD_PATCH, kAccount,
       Refusal::kStatus, change([](ClientWorld& w) {
         w.StartGame();
         w.BindGameKey("K");
       })},
      {"the game client's key by its route", "settings", HTTP_METHOD_PATCH, kAccount,
       Refusal::kStatus,
       [](T& t) -> std::optional<InvokeResult> {
         t.world().StartGame();
         // What the game client tells the route, it holds.
         t.world().gameSettings().SetPushToTalkKey("K");
         return t.Send(HTTP_METHOD_POST, "/tav-premade-voice/v1/gameClientUpdatedPTTKey", R"("K")");
       },
       "party-1", false},
      // The game client's settings.
      {"the account's key for the game client", "game-settings", HTTP_METHOD_PATCH,
       std::string(GameSettingsStandIn::kInputSettingsPath), Refusal::kStatus,
       [accountWith](T& t) -> std::optional<InvokeResult> {
         EXPECT_TRUE(t.world().settings().Replace(kAccount, accountWith(t, "pushToTalkKey", "F")));
         t.world().Settle();
         return std::nullopt;
       },
       "party-1", false},
      // Configuration and telemetry.
      {"the configuration flag", "platform-config", HTTP_METHOD_GET,
       std::string(PlatformConfigStandIn::kVoiceEnabledPath), Refusal::kStatus,
       change([](ClientWorld& w) { w.platformConfig().CompleteInitialConfiguration(true); })},
      {"telemetry of a game", "telemetry", 0, "/telemetry/v1/events/", Refusal::kStatus,
       change([](ClientWorld& w) {
         w.StartGame();
         w.EndGame();
       }),
       "party-1", false},
      {"login data for telemetry", "login", 0, "/tav-login/", Refusal::kStatus,
       change([](ClientWorld& w) {
         w.StartGame();
         w.EndGame();
       }),
       "party-1", false},
  };

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Boot({}, !row.beforeSignIn);
    if (!row.beforeSignIn) PlayTheUsualSession();
    StandIn* standIn = world().Find(row.standIn);
    ASSERT_NE(standIn, nullptr);
    if (row.refusal == Refusal::kDisconnected) {
      world().DropVoiceServer();
    } else {
      standIn->Fail(503, kRefusal,
                    row.method != 0 ? std::optional<std::uint32_t>(row.method) : std::nullopt);
    }
    const std::optional<InvokeResult> answer = row.act(*this);
    if (answer) {
      EXPECT_TRUE(answer->failed) << "answered success";
      EXPECT_EQ(answer->status, 503u) << answer->error;
      EXPECT_THAT(answer->error,
                  HasSubstr(row.refusal == Refusal::kStatus ? kRefusal
                                                            : "not connected to the voice server"));
    }
    // The request was sent and refused.
    bool refused = false;
    for (const WorldNote& note : world().journal().notes()) {
      refused |= note.who == row.standIn && note.text.starts_with("refused ") &&
                 note.text.find(" " + row.path) != std::string::npos &&
                 (row.method == 0 || note.text.starts_with("refused " + MethodText(row.method)));
    }
    if (row.refusal == Refusal::kStatus) {
      EXPECT_TRUE(refused) << "nothing was refused";
    }

    // Healed, and the clock runs a minute.
    if (row.refusal == Refusal::kDisconnected) {
      world().ConnectVoiceServer();
    } else {
      standIn->Heal();
    }
    for (int second = 0; second < 60; ++second) host().AdvanceClock(1);
    // Voice-chat reports its sessions once more, so that the lists are
    // built again from what it holds.
    world().voiceChat().PublishSessions();
    world().Settle();

    ExpectTheServiceShowsTheTruth(row.channel);
    if (row.choicesKept) {
      EXPECT_EQ(UnsignedOr(Stored(kLocal, "inputVolume"), 0), 40u);
      const VoiceParticipant* bram = world().voiceChat().Participant(row.channel, "puuid-1");
      const VoiceParticipant* cleo = world().voiceChat().Participant(row.channel, "puuid-2");
      if (!row.channel.empty()) {
        ASSERT_NE(bram, nullptr);
        ASSERT_NE(cleo, nullptr);
        EXPECT_EQ(bram->volume, 30u);
        EXPECT_FALSE(bram->isMuted);
        EXPECT_TRUE(cleo->isMuted);
      }
    }
  }
}

}  // namespace
}  // namespace Kelp::Host::Scenario
