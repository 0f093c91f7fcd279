// Payloads from other plugins that the voice service does not expect:
// unknown enumerators, format directives in names, ids that would change a
// request's path, nesting far past any limit.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/standins/stand_in.h"
#include "tests/integration/voice_scenario.h"

namespace Kelp::Host::Scenario {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kError = 2;
constexpr int kAlways = 3;

using VoiceHostileScenarioTest = VoiceScenarioTest;

TEST_F(VoiceHostileScenarioTest, FormatDirectivesInNamesAndPuuidsAreLoggedLiterally) {
  const std::string hostile = "%s%n%x%p";
  world().FormParty(2);
  world().lobby().AddPlayer({hostile, "%s%n", 9, "MEMBER"});
  world().voiceChat().MemberJoins(ClientWorld::kPartyId, hostile);
  // A stranger in the channel, not in the party.
  world().voiceChat().MemberJoins(ClientWorld::kPartyId, "%n%n%n%n");
  const Mark mark = Now();
  world().Settle();
  // The party member gets the defaults; the stranger is not listed and gets
  // nothing.
  const VoiceParticipant* member = world().voiceChat().Participant(ClientWorld::kPartyId, hostile);
  ASSERT_NE(member, nullptr);
  EXPECT_THAT(RequestsSince(mark), ElementsAre("PUT " + kChannel + "/participants/" + member->id));
  EXPECT_TRUE(LoggedSince(mark, "Not muting new participant (%s%n%x%p)", kAlways));
  EXPECT_TRUE(LoggedSince(mark, "Setting new participant (%s%n%x%p) volume to 75", kAlways));
  EXPECT_TRUE(LoggedSince(
      mark, "Premade Voice: Voice participant not found in party for puuid %n%n%n%n", kAlways));
  const auto lists = PublishedSince(mark, kParticipants);
  ASSERT_FALSE(lists.empty());
  EXPECT_THAT(Roster(lists.back()), ElementsAre("Ava:100:-", "%s%n:75:-"));

  const Mark muted = Now();
  EXPECT_FALSE(
      Call(HTTP_METHOD_PUT, kParticipants + "/" + hostile + "/mute", {{"muted", 1}}).failed);
  EXPECT_TRUE(LoggedSince(muted, "Muting player %s%n%x%p", kAlways));
}

// A participant id from voice-chat that would change the request's path is
// never sent; the failure names the player.
TEST_F(VoiceHostileScenarioTest, ParticipantIdsThatCannotStandInAPathGetNoPut) {
  world().FormParty(2);
  const HostValue alone = world().voiceChat().SessionsData();
  for (const char* id : {"", "vc/../7", "vc?7", "vc%7", "..", ".", "vc\\7"}) {
    SCOPED_TRACE(::testing::PrintToString(id));
    HostValue session = alone.AsArray()[0];
    HostArray participants = session.Find("participants")->AsArray();
    participants.push_back(MakeObject({{"id", id},
                                       {"name", ClientWorld::Puuid(1)},
                                       {"volume", 100u},
                                       {"energy", 0u},
                                       {"isMuted", false},
                                       {"isSpeaking", false}}));
    session.Set("participants", std::move(participants));
    const Mark mark = Now();
    world().voiceChat().PublishRawSessions(HostArray{std::move(session)});
    world().Settle();
    EXPECT_THAT(RequestsSince(mark), IsEmpty());
    EXPECT_TRUE(LoggedSince(mark, "Failed to update participant puuid-1: 400 invalid_id", kError));
    // Bram leaves again, to be new in the next row.
    world().voiceChat().PublishRawSessions(alone);
    world().Settle();
  }
}

// What an enumerator that this version does not know does to an event:
// the event fails to convert and is dropped whole, and the next good event
// is handled as usual.
TEST_F(VoiceHostileScenarioTest, AnEventWithAnUnknownEnumeratorIsDroppedWhole) {
  world().FormParty(2);
  world().JoinVoice(1);
  const struct {
    const char* name;
    std::string path;
    HostValue data;
  } kRows[] = {
      {"party role", std::string(LobbyStandIn::kMembersPath),
       [&] {
         HostValue party = world().lobby().MembersData();
         HostValue& players = *const_cast<HostValue*>(party.Find("players"));
         players.AsObject()[1].second.Set("role", "CAPTAIN");
         players.AsObject()[1].second.Set("displayName", "Renamed");
         return party;
       }()},
      {"session status", std::string(VoiceChatStandIn::kSessionsPath),
       [&] {
         HostValue sessions = world().voiceChat().SessionsData();
         sessions.AsArray()[0].Set("status", "paused");
         sessions.AsArray()[0].AsObject()[2].second.AsArray()[1].Set("energy", 99u);
         return sessions;
       }()},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const Mark mark = Now();
    ASSERT_EQ(host().DeliverResourceEvent(row.path, "Update", row.data), 1u);
    world().Settle();
    EXPECT_THAT(RequestsSince(mark), IsEmpty());
    EXPECT_THAT(PublishedSince(mark, kParticipants), IsEmpty());
    EXPECT_THAT(PublishedSince(mark, kAvailability), IsEmpty());
  }
  EXPECT_THAT(Roster(Call(HTTP_METHOD_GET, kParticipants).value),
              ElementsAre("Ava:100:-", "Bram:75:-"));
  // An unknown game-flow phase reports nothing; the game start after it is
  // reported as usual.
  const Mark mark = Now();
  const auto phase = [](const char* name) {
    return MakeObject({{"phase", name}, {"gameClient", MakeObject({{"running", true}})}});
  };
  ASSERT_EQ(host().DeliverResourceEvent(GameFlowStandIn::kSessionPath, "Update", phase("Overtime")),
            1u);
  world().Settle();
  EXPECT_THAT(RequestsSince(mark), IsEmpty());
  EXPECT_THAT(world().telemetry().events(), IsEmpty());
  ASSERT_EQ(
      host().DeliverResourceEvent(GameFlowStandIn::kSessionPath, "Update", phase("GameStart")), 1u);
  world().Settle();
  ASSERT_EQ(world().telemetry().events().size(), 1u);
  EXPECT_EQ(world().telemetry().events()[0].name, "premade-voice-game-start");
}

// A payload nested a million levels deep, made the way a host lends values:
// one block per level, built and freed without recursion.
class DeepPayload {
 public:
  DeepPayload(std::string_view uri, std::size_t depth) : uri_(uri), chain_(depth) {
    for (std::size_t i = 0; i + 1 < depth; ++i) {
      chain_[i].kind = BINDING_VALUE_COLLECTION;
      chain_[i].payload.collection.elements = &chain_[i + 1];
      chain_[i].payload.collection.count = 1;
    }
    chain_.back().kind = BINDING_VALUE_UNSIGNED;
    chain_.back().payload.u64 = 7;
    entries_[0] = Entry("uri", Text(uri_));
    entries_[1] = Entry("eventType", Text("Update"));
    entries_[2] = Entry("data", chain_[0]);
    payload_.kind = BINDING_VALUE_STRUCTURE;
    payload_.payload.structure.entries = entries_;
    payload_.payload.structure.count = 3;
  }
  // The payload points into its own members.
  DeepPayload(const DeepPayload&) = delete;
  DeepPayload& operator=(const DeepPayload&) = delete;
  const BindingValue& payload() const { return payload_; }

 private:
  // Borrows `text`, which must outlive the payload.
  static BindingValue Text(std::string_view text) {
    BindingValue value{};
    value.kind = BINDING_VALUE_STRING_BORROWED;
    value.payload.string.text = text.data();
    value.payload.string.length = static_cast<std::uint32_t>(text.size());
    return value;
  }
  static BindingStructEntry Entry(const char* key, BindingValue value) {
    BindingStructEntry entry{};
    entry.key = key;
    entry.value = value;
    return entry;
  }

  std::string uri_;
  std::vector<BindingValue> chain_;
  BindingStructEntry entries_[3];
  BindingValue payload_{};
};

TEST_F(VoiceHostileScenarioTest, AnEventNestedAMillionDeepIsDroppedAndTheNextOneWorks) {
  world().FormParty(2);
  const Mark mark = Now();
  for (std::string_view path : {LobbyStandIn::kMembersPath, VoiceChatStandIn::kSessionsPath}) {
    SCOPED_TRACE(path);
    const std::string channel = EventChannelOf(path);
    const DeepPayload deep(path, 1000000);
    const auto subscribers = host().SubscribersOf(channel);
    ASSERT_EQ(subscribers.size(), 1u);
    EventRecord record{};
    record.name = channel.c_str();
    record.payload = deep.payload();
    record.context = subscribers[0].context;
    subscribers[0].callback(&record);
    world().Settle();
  }
  EXPECT_THAT(RequestsSince(mark), IsEmpty());
  EXPECT_EQ(host().published().size(), mark.published);

  // Both resources are read again: Cleo's name comes from the next party.
  world().AddToParty(2);
  world().JoinVoice(1);
  world().JoinVoice(2);
  const auto lists = PublishedSince(mark, kParticipants);
  ASSERT_FALSE(lists.empty());
  EXPECT_THAT(Roster(lists.back()), ElementsAre("Ava:100:-", "Bram:75:-", "Cleo:75:-"));
}

}  // namespace
}  // namespace Kelp::Host::Scenario
