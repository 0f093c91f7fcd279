// The voice channel of a party, played through the stand-ins: enablement,
// joining, participants, remembered choices, reconnects and new parties,
// voice switched off, the user's own routes, and every stand-in failing.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/standins/stand_in.h"
#include "tests/integration/voice_scenario.h"

namespace Kelp::Host::Scenario {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr int kError = 2;
constexpr int kAlways = 3;

std::string ParticipantPath(std::string_view participantId) {
  return "/voice-chat/v2/sessions/party-1/participants/" + std::string(participantId);
}

class VoiceChannelScenarioTest : public VoiceScenarioTest {
 protected:
  // The voice-chat participant id of `player` in the party's channel.
  std::string IdOf(int player) {
    const VoiceParticipant* participant =
        world().voiceChat().Participant(ClientWorld::kPartyId, ClientWorld::Puuid(player));
    return participant == nullptr ? "<absent>" : participant->id;
  }
  // {volume, isMuted} of each participant PUT since `mark`, as
  // "<participant id>:<volume>:<muted|->".
  std::vector<std::string> ParticipantPutsSince(const Mark& mark) {
    std::vector<std::string> puts;
    const auto& sent = host().sentRequests();
    for (std::size_t i = mark.requests; i < sent.size(); ++i) {
      if (sent[i].method != HTTP_METHOD_PUT || !sent[i].path.starts_with(ParticipantPath(""))) {
        continue;
      }
      const HostValue* body = sent[i].FirstArgument();
      puts.push_back(sent[i].path.substr(ParticipantPath("").size()) + ":" +
                     std::to_string(UnsignedOr(body ? body->Find("volume") : nullptr, 999999)) +
                     ":" + (BoolOr(body ? body->Find("isMuted") : nullptr, false) ? "muted" : "-"));
    }
    return puts;
  }
};

TEST_F(VoiceChannelScenarioTest,
       PartyFormsAndMembersAppearWithDefaultsButTheOwnParticipantGetsNoPut) {
  Mark mark = Now();
  world().FormParty(1);  // alone: nobody to talk to yet
  EXPECT_THAT(RequestsSince(mark), IsEmpty());
  mark = Now();
  world().FormParty(4);
  EXPECT_THAT(RequestsSince(mark),
              ElementsAre("GET /tav-lobby/v2/comms/token", "POST " + kChannel));
  const auto join = SentSince(mark, HTTP_METHOD_POST, kChannel);
  ASSERT_EQ(join.size(), 1u);
  ASSERT_EQ(world().lobby().tokens().size(), 1u);
  const std::string& token = world().lobby().tokens()[0];
  ASSERT_NE(join[0].FirstArgument(), nullptr);
  EXPECT_EQ(*join[0].FirstArgument(), HostValue(token));
  EXPECT_TRUE(LoggedSince(mark, "Joined channel party-1", kAlways));
  const auto availability = PublishedSince(mark, kAvailability);
  ASSERT_FALSE(availability.empty());
  // Structure values travel with their fields ordered by name.
  EXPECT_EQ(availability.back().ToJson(),
            R"({"connectedToVoiceServer":true,"disabledAfterLogin":false,"enabled":true,)"
            R"("showDisconnectedState":false,"showUI":true,"voiceChannelAvailable":true})");
  // Only the local player is in the channel.
  auto lists = PublishedSince(mark, kParticipants);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_THAT(Roster(lists[0]), ElementsAre("Ava:100:-"));

  mark = Now();
  world().JoinVoice(1);
  EXPECT_THAT(ParticipantPutsSince(mark), ElementsAre(IdOf(1) + ":75:-"));
  // One publication; the PUT's echo from voice-chat changes nothing more.
  lists = PublishedSince(mark, kParticipants);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(PublishedSince(mark, kRecords).size(), 1u);
  const HostValue bram = lists[0].AsArray()[1];

  // Two arrivals in one event: each gets the defaults.
  mark = Now();
  {
    VoiceChatStandIn::Batch batch(world().voiceChat());
    world().voiceChat().MemberJoins(ClientWorld::kPartyId, ClientWorld::Puuid(2));
    world().voiceChat().MemberJoins(ClientWorld::kPartyId, ClientWorld::Puuid(3));
  }
  world().Settle();
  EXPECT_THAT(ParticipantPutsSince(mark), ElementsAre(IdOf(2) + ":75:-", IdOf(3) + ":75:-"));
  lists = PublishedSince(mark, kParticipants);
  ASSERT_FALSE(lists.empty());
  EXPECT_THAT(Roster(lists.back()),
              ElementsAre("Ava:100:-", "Bram:75:-", "Cleo:75:-", "Dario:75:-"));
  EXPECT_EQ(bram.ToJson(), R"({"displayName":"Bram","energy":0,"isMuted":false,)"
                           R"("isSpeaking":false,"participantId":")" +
                               IdOf(1) + R"(","puuid":"puuid-1","summonerId":70001,"volume":75})");
  const auto records = PublishedSince(mark, kRecords);
  ASSERT_FALSE(records.empty());
  EXPECT_THAT(Roster(records.back()),
              ElementsAre("Ava:100:-", "Bram:75:-", "Cleo:75:-", "Dario:75:-"));
  EXPECT_EQ(Call(HTTP_METHOD_GET, kParticipants).value, lists.back());
  EXPECT_EQ(Call(HTTP_METHOD_GET, kRecords).value, records.back());
}

TEST_F(VoiceChannelScenarioTest, PlayersWhoComeBackGetTheirRememberedVolumeAndMute) {
  world().FormParty(4);
  world().JoinVoice(1);
  world().JoinVoice(2);
  Mark mark = Now();
  // The volume changed right after the mute, before voice-chat echoes it:
  // its PUT keeps the mute just chosen, and a mute right after a volume
  // keeps the volume.
  EXPECT_FALSE(
      host().Invoke(HTTP_METHOD_PUT, kParticipants + "/puuid-2/mute", {{"muted", 5}}).failed);
  EXPECT_FALSE(
      host().Invoke(HTTP_METHOD_PUT, kParticipants + "/puuid-2/volume", {{"volume", -1}}).failed);
  EXPECT_FALSE(
      host().Invoke(HTTP_METHOD_PUT, kParticipants + "/puuid-1/volume", {{"volume", 30}}).failed);
  EXPECT_FALSE(
      host().Invoke(HTTP_METHOD_PUT, kParticipants + "/puuid-1/mute", {{"muted", 1}}).failed);
  EXPECT_FALSE(
      host().Invoke(HTTP_METHOD_PUT, kParticipants + "/puuid-1/mute", {{"muted", 0}}).failed);
  // A player who is not in the channel: success, nothing sent or remembered.
  EXPECT_FALSE(Call(HTTP_METHOD_PUT, kParticipants + "/puuid-3/volume", {{"volume", 10}}).failed);
  EXPECT_THAT(ParticipantPutsSince(mark),
              ElementsAre(IdOf(2) + ":75:muted", IdOf(2) + ":4294967295:muted", IdOf(1) + ":30:-",
                          IdOf(1) + ":30:muted", IdOf(1) + ":30:-"));
  EXPECT_TRUE(LoggedSince(mark, "Muting player puuid-2", kAlways));
  EXPECT_TRUE(LoggedSince(mark, "Changing player puuid-2 volume to 4294967295", kAlways));
  EXPECT_EQ(Roster(Call(HTTP_METHOD_GET, kRecords).value),
            (std::vector<std::string>{"Ava:100:-", "Bram:30:-", "Cleo:4294967295:muted"}));

  mark = Now();
  world().LeaveVoice(2);
  world().JoinVoice(2);
  EXPECT_THAT(ParticipantPutsSince(mark), ElementsAre(IdOf(2) + ":4294967295:muted"));
  EXPECT_TRUE(LoggedSince(mark, "Muting new participant (puuid-2)", kAlways));
  EXPECT_TRUE(LoggedSince(mark, "Setting new participant (puuid-2) volume to 4294967295", kAlways));
  EXPECT_EQ(Roster(Call(HTTP_METHOD_GET, kRecords).value),
            (std::vector<std::string>{"Ava:100:-", "Bram:30:-", "Cleo:4294967295:muted"}));

  // One leaves while another arrives in the same event: the newcomer gets
  // the defaults and a PUT, although the list did not grow.
  mark = Now();
  {
    VoiceChatStandIn::Batch batch(world().voiceChat());
    world().voiceChat().MemberLeaves(ClientWorld::kPartyId, ClientWorld::Puuid(2));
    world().voiceChat().MemberJoins(ClientWorld::kPartyId, ClientWorld::Puuid(3));
  }
  world().Settle();
  EXPECT_THAT(ParticipantPutsSince(mark), ElementsAre(IdOf(3) + ":75:-"));
  EXPECT_THAT(Roster(Call(HTTP_METHOD_GET, kParticipants).value),
              ElementsAre("Ava:100:-", "Bram:30:-", "Dario:75:-"));
}

TEST_F(VoiceChannelScenarioTest, SpeakingRepublishesOnlyTheParticipantList) {
  world().FormParty(2);
  world().JoinVoice(1);
  world().Speak(1, 40);
  const Mark mark = Now();
  world().Speak(1, 57);
  world().Speak(1, 57);  // the same reading again changes nothing
  const auto lists = PublishedSince(mark, kParticipants);
  ASSERT_EQ(lists.size(), 1u);
  const HostValue& bram = lists[0].AsArray()[1];
  EXPECT_EQ(UnsignedOr(bram.Find("energy"), 0), 57u);
  EXPECT_TRUE(BoolOr(bram.Find("isSpeaking"), false));
  EXPECT_THAT(PublishedSince(mark, kRecords), IsEmpty());
  EXPECT_THAT(RequestsSince(mark), IsEmpty());
  // The records never carry energy.
  EXPECT_EQ(UnsignedOr(Call(HTTP_METHOD_GET, kRecords).value.AsArray()[1].Find("energy"), 99), 0u);
}

TEST_F(VoiceChannelScenarioTest, AReconnectOrANewPartyLeavesTheOldChannelFirst) {
  world().FormParty(2);
  Mark mark = Now();
  world().LoseLogin();
  EXPECT_THAT(RequestsSince(mark), IsEmpty());
  world().RestoreLogin();
  EXPECT_TRUE(
      LoggedSince(mark, "Detected reconnect, leaving and rejoining voice channel", kAlways));
  EXPECT_THAT(
      RequestsSince(mark),
      ElementsAre("DELETE " + kChannel, "GET /tav-lobby/v2/comms/token", "POST " + kChannel));
  EXPECT_TRUE(world().voiceChat().Joined(ClientWorld::kPartyId));

  mark = Now();
  world().lobby().FormParty("party-2", {ClientWorld::Player(0), ClientWorld::Player(1)});
  world().Settle();
  EXPECT_THAT(RequestsSince(mark),
              ElementsAre("DELETE " + kChannel, "GET /tav-lobby/v2/comms/token",
                          "POST /voice-chat/v2/sessions/party-2"));

  // Not in a channel: a reconnect sends nothing.
  EXPECT_FALSE(Call(HTTP_METHOD_DELETE, kSession).failed);
  mark = Now();
  world().LoseLogin();
  world().RestoreLogin();
  EXPECT_THAT(RequestsSince(mark), IsEmpty());
}

TEST_F(VoiceChannelScenarioTest, SwitchingVoiceOffWhileJoinedLeavesTheChannel) {
  const struct {
    const char* name;
    bool entitled;  // voice came from the entitlement, the flag is off
    const char* availability;
  } kRows[] = {
      {"flag switched off", false,
       R"({"connectedToVoiceServer":true,"disabledAfterLogin":true,"enabled":false,)"
       R"("showDisconnectedState":true,"showUI":true,"voiceChannelAvailable":false})"},
      {"entitlement taken away", true,
       R"({"connectedToVoiceServer":true,"disabledAfterLogin":false,"enabled":false,)"
       R"("showDisconnectedState":false,"showUI":false,"voiceChannelAvailable":false})"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    Boot();
    if (row.entitled) {
      world().SetVoiceEntitlement(true);
      world().SetVoiceFlag(false);
    }
    world().FormParty(2);
    ASSERT_TRUE(world().voiceChat().Joined(ClientWorld::kPartyId));
    Mark mark = Now();
    if (row.entitled) {
      world().SetVoiceEntitlement(false);
    } else {
      world().SetVoiceFlag(false);
    }
    EXPECT_THAT(RequestsSince(mark), ElementsAre("DELETE " + kChannel));
    EXPECT_FALSE(world().voiceChat().Joined(ClientWorld::kPartyId));
    const auto availability = PublishedSince(mark, kAvailability);
    ASSERT_FALSE(availability.empty());
    EXPECT_EQ(availability.back().ToJson(), row.availability);
    // Lobby events are ignored while voice is off.
    mark = Now();
    world().AddToParty(2);
    EXPECT_THAT(RequestsSince(mark), IsEmpty());
    if (row.entitled) continue;
    // The flag back on is published, but voice stays off until the
    // configuration is applied again.
    mark = Now();
    world().SetVoiceFlag(true);
    const auto again = PublishedSince(mark, kAvailability);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_FALSE(BoolOr(again[0].Find("enabled"), true));
  }
}

TEST_F(VoiceChannelScenarioTest, ARepeatedConfigurationCompleteEnablesAgainButSubscribesOnce) {
  Boot({}, /*signIn=*/false);
  EXPECT_EQ(Call(HTTP_METHOD_GET, kAvailability).value.ToJson(),
            R"({"connectedToVoiceServer":false,"disabledAfterLogin":false,"enabled":false,)"
            R"("showDisconnectedState":false,"showUI":false,"voiceChannelAvailable":false})");
  world().SignIn();
  EXPECT_TRUE(LoggedSince({}, "Voice is ENABLED", kAlways));
  const Mark mark = Now();
  world().platformConfig().CompleteInitialConfiguration();
  world().Settle();
  EXPECT_TRUE(LoggedSince(mark, "Voice is ENABLED", kAlways));
  EXPECT_EQ(host().SubscribersOf(EventChannelOf(PlatformConfigStandIn::kVoiceEnabledPath)).size(),
            1u);
}

TEST_F(VoiceChannelScenarioTest, TheUserLeavesAndRejoinsThroughTheRoutes) {
  world().FormParty(2);
  Mark mark = Now();
  const InvokeResult left = Call(HTTP_METHOD_DELETE, kSession);
  EXPECT_FALSE(left.failed);
  EXPECT_THAT(RequestsSince(mark), ElementsAre("DELETE " + kChannel));
  ASSERT_FALSE(PublishedSince(mark, kParticipants).empty());
  EXPECT_THAT(PublishedSince(mark, kParticipants).back().AsArray(), IsEmpty());

  mark = Now();
  world().AddToParty(2);  // same party: the user stays out
  EXPECT_THAT(RequestsSince(mark), IsEmpty());
  EXPECT_TRUE(
      LoggedSince(mark, "Not joining channel - auto join true - disconnected true", kAlways));

  mark = Now();
  EXPECT_FALSE(Call(HTTP_METHOD_POST, kSession).failed);
  EXPECT_THAT(RequestsSince(mark),
              ElementsAre("GET /tav-lobby/v2/comms/token", "POST " + kChannel));
  mark = Now();
  world().RemoveFromParty(2);  // userDisconnected was cleared: still in
  EXPECT_THAT(RequestsSince(mark), IsEmpty());

  // Alone in the party: the channel is left and a join is refused.
  world().RemoveFromParty(1);
  mark = Now();
  const InvokeResult alone = Call(HTTP_METHOD_POST, kSession);
  EXPECT_TRUE(alone.failed);
  EXPECT_EQ(alone.status, 401u);
  EXPECT_EQ(alone.error, "not_enough_members");
  EXPECT_THAT(RequestsSince(mark), IsEmpty());
  EXPECT_TRUE(LoggedSince(mark, "Not joining, only one in channel: party-1.", kAlways));

  // The user's own microphone is muted through voice-chat's settings.
  EXPECT_FALSE(Call(HTTP_METHOD_PUT, "/tav-premade-voice/v1/self/mute", {{"muted", 1}}).failed);
  EXPECT_TRUE(BoolOr(world().voiceChat().settings().Find("localMicMuted"), false));
}

TEST_F(VoiceChannelScenarioTest, NoParticipantPutWhileNotInAChannel) {
  world().FormParty(2);
  world().JoinVoice(1);
  // Left, and the voice-chat plugin's new session list has not come yet.
  ASSERT_FALSE(host().Invoke(HTTP_METHOD_DELETE, kSession).failed);
  const Mark mark = Now();
  EXPECT_FALSE(
      host().Invoke(HTTP_METHOD_PUT, kParticipants + "/puuid-1/volume", {{"volume", 20}}).failed);
  EXPECT_FALSE(
      host().Invoke(HTTP_METHOD_PUT, kParticipants + "/puuid-1/mute", {{"muted", 1}}).failed);
  EXPECT_THAT(RequestsSince(mark), IsEmpty());
  EXPECT_FALSE(LoggedSince(mark, "Failed to update participant"));
  world().Settle();
  // Remembered all the same: a rejoin applies them.
  EXPECT_FALSE(Call(HTTP_METHOD_POST, kSession).failed);
  EXPECT_THAT(ParticipantPutsSince(mark), ElementsAre(IdOf(1) + ":20:muted"));

  // The sessions resource going away empties both lists.
  const Mark gone = Now();
  world().voiceChat().PublishRawSessions(HostValue(), "Delete");
  world().Settle();
  for (const std::string& path : {kParticipants, kRecords}) {
    const auto lists = PublishedSince(gone, path);
    ASSERT_FALSE(lists.empty()) << path;
    EXPECT_THAT(lists.back().AsArray(), IsEmpty()) << path;
  }
}

// Every stand-in that the channel depends on, failing where it is asked.
TEST_F(VoiceChannelScenarioTest, EachFailingStandInIsLoggedAndAnswered) {
  const struct {
    const char* standIn;
    const char* when;                     // "join", "leave", "put", "sign-in"
    std::optional<std::uint32_t> method;  // the only method that fails, if any
    std::string log;  // the failures the service used to drop name their status too
  } kRows[] = {
      {"lobby", "join", {}, "Failed to get JWT for voice channel from parties: "},
      {"voice-chat", "join", {}, "Failed to join channel party-1: "},
      {"voice-chat", "leave", HTTP_METHOD_DELETE,
       "Failed to leave channel party-1: 503 Error response for DELETE " + kChannel},
      {"voice-chat",
       "put",
       {},
       "Failed to update participant puuid-1: 503 Error response for PUT " + ParticipantPath("")},
      {"platform-config",
       "sign-in",
       {},
       "Could not find Enabled flag in dynamic config, disabling voice - "},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::string(row.standIn) + " at " + row.when);
    const std::string when = row.when;
    Boot({}, /*signIn=*/false);
    if (when == "sign-in") world().Fail(row.standIn, 503, "flag store unreachable");
    world().SignIn();
    if (when == "sign-in") {
      const auto availability = PublishedSince({}, kAvailability);
      ASSERT_FALSE(availability.empty());
      EXPECT_FALSE(BoolOr(availability.back().Find("enabled"), true));
      EXPECT_TRUE(LoggedSince({},
                              std::string(row.log) +
                                  "Error response for GET "
                                  "/tav-platform-config/v1/namespaces/Voice/Enabled: "
                                  "flag store unreachable",
                              kError));
      continue;
    }
    if (when != "join") {
      world().FormParty(2);
      world().JoinVoice(1);
    }
    StandIn* failing = world().Find(row.standIn);
    ASSERT_NE(failing, nullptr);
    failing->Fail(503, "service unavailable", row.method);
    const Mark mark = Now();
    if (when == "join") {
      world().FormParty(2);
      const InvokeResult result = Call(HTTP_METHOD_POST, kSession);
      EXPECT_TRUE(result.failed);
      EXPECT_EQ(result.status, 503u);
      EXPECT_THAT(result.error, HasSubstr("service unavailable"));
      EXPECT_FALSE(world().voiceChat().Joined(ClientWorld::kPartyId));
    } else if (when == "leave") {
      // The old channel counts as left: the new party's is joined while
      // the refused leave waits to be tried again.
      world().lobby().FormParty("party-2", {ClientWorld::Player(0), ClientWorld::Player(1)});
      world().Settle();
      EXPECT_TRUE(world().voiceChat().Joined("party-2"));
      EXPECT_TRUE(world().voiceChat().Joined(ClientWorld::kPartyId));
      // The user's leave is refused and answered so; the channel counts as
      // left all the same: a second one sends nothing.
      const InvokeResult refused = Call(HTTP_METHOD_DELETE, kSession);
      EXPECT_TRUE(refused.failed);
      EXPECT_EQ(refused.status, 503u);
      EXPECT_THAT(refused.error, HasSubstr("service unavailable"));
      const Mark again = Now();
      EXPECT_FALSE(Call(HTTP_METHOD_DELETE, kSession).failed);
      EXPECT_THAT(RequestsSince(again), IsEmpty());
      // Both leaves go through once voice-chat takes them; each was told
      // once, not on every try.
      host().AdvanceClock(10);
      EXPECT_THAT(world().voiceChat().JoinedSessions(), ElementsAre("party-1", "party-2"));
      world().Heal(row.standIn);
      host().AdvanceClock(30);
      EXPECT_THAT(world().voiceChat().JoinedSessions(), IsEmpty());
      const auto logs = LogsSince(mark);
      for (const char* channel : {"party-1", "party-2"}) {
        EXPECT_EQ(
            std::ranges::count(logs, "Will keep trying to leave channel " + std::string(channel)),
            1);
      }
    } else {
      // Refused, answered, and not remembered.
      const InvokeResult refused =
          Call(HTTP_METHOD_PUT, kParticipants + "/puuid-1/mute", {{"muted", 1}});
      EXPECT_TRUE(refused.failed);
      EXPECT_EQ(refused.status, 503u);
    }
    bool logged = false;
    for (std::size_t i = mark.logLines; i < host().logLines().size(); ++i) {
      const LogLine& line = host().logLines()[i];
      logged |= line.level == kError && line.text.find(row.log) != std::string::npos &&
                line.text.find("service unavailable") != std::string::npos;
    }
    EXPECT_TRUE(logged) << ::testing::PrintToString(LogsSince(mark));
    if (when == "put") {
      // The refused mute was not remembered: a return gets the default.
      world().Heal(row.standIn);
      const Mark back = Now();
      world().LeaveVoice(1);
      world().JoinVoice(1);
      EXPECT_THAT(ParticipantPutsSince(back), ElementsAre(IdOf(1) + ":75:-"));
    }
  }
}

// Ids that would change the request's path are never sent.
TEST_F(VoiceChannelScenarioTest, PartyIdsThatCannotStandInAPathAreRefused) {
  for (const std::string& partyId :
       std::vector<std::string>{"", "a/b", "x?y", "x#y", "100%", "a%2Fb", std::string("p\x01q"),
                                "a\nb", "a\x7f", ".", "..", "a\\b"}) {
    SCOPED_TRACE(::testing::PrintToString(partyId));
    Boot();
    Mark mark = Now();
    world().lobby().FormParty(partyId, {ClientWorld::Player(0), ClientWorld::Player(1)});
    world().Settle();
    const InvokeResult result = Call(HTTP_METHOD_POST, kSession);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.status, 400u);
    EXPECT_EQ(result.error, "invalid_id");
    // Refused before the token is even fetched.
    EXPECT_THAT(RequestsSince(mark), IsEmpty());
    // Once for the lobby's event, once for the user's join.
    const auto logs = LogsSince(mark);
    EXPECT_EQ(std::ranges::count_if(logs,
                                    [](const std::string& line) {
                                      return line.find("its id cannot stand in a request path") !=
                                             std::string::npos;
                                    }),
              2);
    EXPECT_TRUE(LoggedSince(mark, "its id cannot stand in a request path", kError));
  }
}

}  // namespace
}  // namespace Kelp::Host::Scenario
