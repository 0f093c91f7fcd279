#include "host/standins/voice_chat.h"

#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/standins/stand_in_fixture.h"

namespace Kelp::Host {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Testing::StandInTest;

const std::string kSessions(VoiceChatStandIn::kSessionsPath);
const std::string kSettings(VoiceChatStandIn::kSettingsPath);
const std::string kAudio(VoiceChatStandIn::kAudioPropertiesPath);

class VoiceChatStandInTest : public StandInTest {
 protected:
  VoiceChatStandInTest() { voice_.SetLocalPuuid("me"); }

  // "name:id" of each participant of the first listed session, and checks
  // that ids are unique and never the puuid.
  std::vector<std::string> Roster(const HostValue& sessions) {
    std::vector<std::string> roster;
    std::set<std::string> ids;
    if (sessions.AsArray().empty()) return roster;
    for (const HostValue& participant : sessions.AsArray()[0].Find("participants")->AsArray()) {
      const std::string id = participant.Find("id")->AsString();
      const std::string name = participant.Find("name")->AsString();
      EXPECT_NE(id, name);
      EXPECT_TRUE(ids.insert(id).second) << id;
      roster.push_back(name + ":" + id);
    }
    return roster;
  }

  WorldJournal journal_{host_};
  VoiceChatStandIn voice_{host_, journal_};
};

TEST_F(VoiceChatStandInTest, SessionsFollowJoinsLeavesAndParticipantUpdates) {
  Start({kSessions});
  voice_.MemberJoins("p1", "alice");
  voice_.MemberJoins("p1", "bob");
  host_.RunReady();
  // Not in the channel yet: others come and go unseen.
  EXPECT_THAT(EventsOf(kSessions), IsEmpty());
  EXPECT_EQ(Ask(HTTP_METHOD_POST, "/voice-chat/v2/sessions/p1", "jwt").status, 503u);

  voice_.SetConnected(true);
  const HostAnswer joined = Ask(HTTP_METHOD_POST, "/voice-chat/v2/sessions/p1", "jwt");
  ASSERT_FALSE(joined.error.has_value());
  EXPECT_EQ(joined.value.Find("id")->AsString(), "p1");
  EXPECT_THAT(EventsOf(kSessions), IsEmpty());  // queued, not delivered in the request
  host_.RunReady();
  ASSERT_EQ(EventsOf(kSessions).size(), 1u);
  EXPECT_THAT(Roster(EventsOf(kSessions)[0]), ElementsAre("me:vc-3", "alice:vc-1", "bob:vc-2"));

  const HostAnswer put = Ask(HTTP_METHOD_PUT, "/voice-chat/v2/sessions/p1/participants/vc-2",
                             MakeObject({{"id", ""}, {"volume", 30u}, {"isMuted", true}}));
  ASSERT_FALSE(put.error.has_value());
  EXPECT_EQ(voice_.Participant("p1", "bob")->volume, 30u);
  EXPECT_TRUE(voice_.Participant("p1", "bob")->isMuted);

  {
    VoiceChatStandIn::Batch batch(voice_);
    EXPECT_TRUE(voice_.MemberLeaves("p1", "bob"));
    voice_.MemberJoins("p1", "bob");
    EXPECT_TRUE(voice_.MemberSpeaks("p1", "alice", 40));
  }
  host_.RunReady();
  const auto events = EventsOf(kSessions);
  ASSERT_EQ(events.size(), 3u);
  // Back with a new participant id and the engine's default volume.
  EXPECT_THAT(Roster(events[2]), ElementsAre("me:vc-3", "alice:vc-1", "bob:vc-4"));
  const HostValue& alice = events[2].AsArray()[0].Find("participants")->AsArray()[1];
  EXPECT_EQ(
      alice.ToJson(),
      R"({"id":"vc-1","name":"alice","volume":100,"energy":40,"isMuted":false,"isSpeaking":true})");

  EXPECT_FALSE(Ask(HTTP_METHOD_DELETE, "/voice-chat/v2/sessions/p1").error.has_value());
  EXPECT_EQ(Ask(HTTP_METHOD_DELETE, "/voice-chat/v2/sessions/p1").status, 404u);
  voice_.MemberSpeaks("p1", "alice", 10);
  host_.RunReady();
  ASSERT_EQ(EventsOf(kSessions).size(), 4u);
  EXPECT_EQ(EventsOf(kSessions)[3].ToJson(), "[]");
}

TEST_F(VoiceChatStandInTest, MalformedOrMisplacedRequestsAreRefused) {
  Start({kSessions});
  voice_.SetConnected(true);
  voice_.MemberJoins("p1", "alice");
  ASSERT_FALSE(Ask(HTTP_METHOD_POST, "/voice-chat/v2/sessions/p1", "jwt").error.has_value());
  const struct {
    std::uint32_t method;
    const char* path;
    std::optional<HostValue> body;
    std::uint32_t status;
    const char* error;
  } kRows[] = {
      {HTTP_METHOD_POST, "/voice-chat/v2/sessions/", HostValue("jwt"), 400, "bad session id ''"},
      {HTTP_METHOD_POST, "/voice-chat/v2/sessions/a/b", HostValue("jwt"), 400,
       "bad session id 'a/b'"},
      {HTTP_METHOD_POST, "/voice-chat/v2/sessions/p2", HostValue(""), 400,
       "joining a session needs its token"},
      {HTTP_METHOD_POST, "/voice-chat/v2/sessions/p2", std::nullopt, 400,
       "joining a session needs its token"},
      {HTTP_METHOD_DELETE, "/voice-chat/v2/sessions/", std::nullopt, 404, "not in session ''"},
      {HTTP_METHOD_PUT, "/voice-chat/v2/sessions//participants/vc-1", MakeObject({}), 404,
       "no resource /voice-chat/v2/sessions//participants/vc-1"},
      {HTTP_METHOD_PUT, "/voice-chat/v2/sessions/p1/participants/", MakeObject({}), 404,
       "no participant ''"},
      {HTTP_METHOD_PUT, "/voice-chat/v2/sessions/p1/participants/alice", MakeObject({}), 404,
       "no participant 'alice'"},
      {HTTP_METHOD_PUT, "/voice-chat/v2/sessions/p9/participants/vc-1", MakeObject({}), 404,
       "not in session 'p9'"},
      {HTTP_METHOD_PUT, "/voice-chat/v2/sessions/p1/participants/vc-1", HostValue(7), 400,
       "a participant update needs an object"},
      {HTTP_METHOD_PUT, "/voice-chat/v2/settings", HostValue("loud"), 400,
       "settings need an object"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.path);
    const HostAnswer answer = Ask(row.method, row.path, row.body);
    EXPECT_EQ(answer.status, row.status);
    EXPECT_EQ(answer.error, row.error);
  }
  voice_.Fail(500, "engine crashed");
  const HostAnswer failed = Ask(HTTP_METHOD_DELETE, "/voice-chat/v2/sessions/p1");
  EXPECT_EQ(failed.status, 500u);
  EXPECT_EQ(failed.error, "engine crashed");
  EXPECT_TRUE(voice_.Joined("p1"));
  // Failing one method leaves the others answering.
  voice_.Fail(502, "leave refused", HTTP_METHOD_DELETE);
  EXPECT_EQ(Ask(HTTP_METHOD_DELETE, "/voice-chat/v2/sessions/p1").status, 502u);
  EXPECT_FALSE(Ask(HTTP_METHOD_POST, "/voice-chat/v2/sessions/p2", "jwt").error.has_value());
  EXPECT_TRUE(voice_.Joined("p1"));
}

TEST_F(VoiceChatStandInTest, SettingsAreBoundedAndLoopbackReportsTheMicrophone) {
  Start({kSettings, kAudio});
  EXPECT_FALSE(voice_.SetMicEnergy(12));
  const HostAnswer put = Ask(HTTP_METHOD_PUT, kSettings,
                             MakeObject({{"micLevel", 150u},
                                         {"vadSensitivity", -3},
                                         {"loopbackEnabled", true},
                                         {"pttKey", "F1"}}));
  ASSERT_FALSE(put.error.has_value());
  EXPECT_EQ(voice_.settings().Find("micLevel")->ToJson(), "100");
  EXPECT_EQ(voice_.settings().Find("vadSensitivity")->ToJson(), "0");
  EXPECT_EQ(voice_.settings().Find("vadHangoverTime")->ToJson(), "2000");
  // The whole record: the members sent, bounded, beside the defaults.
  EXPECT_EQ(Ask(HTTP_METHOD_GET, kSettings).value.ToJson(),
            R"({"currentCaptureDeviceHandle":"","vadHangoverTime":2000,"vadSensitivity":0,)"
            R"("micLevel":100,"localMicMuted":false,"loopbackEnabled":true,"autoJoin":true,)"
            R"("muteOnConnect":false,"vadActive":true,"pttActive":false,)"
            R"("inputMode":"voiceActivity","pttKey":"F1"})");
  EXPECT_TRUE(voice_.SetMicEnergy(12));
  ASSERT_FALSE(
      Ask(HTTP_METHOD_PUT, kSettings, MakeObject({{"loopbackEnabled", false}})).error.has_value());
  EXPECT_FALSE(voice_.SetMicEnergy(13));
  // A later PUT changes only what it sends.
  EXPECT_EQ(Ask(HTTP_METHOD_GET, kSettings).value.ToJson(),
            R"({"currentCaptureDeviceHandle":"","vadHangoverTime":2000,"vadSensitivity":0,)"
            R"("micLevel":100,"localMicMuted":false,"loopbackEnabled":false,"autoJoin":true,)"
            R"("muteOnConnect":false,"vadActive":true,"pttActive":false,)"
            R"("inputMode":"voiceActivity","pttKey":"F1"})");
  host_.RunReady();
  ASSERT_EQ(EventsOf(kSettings).size(), 2u);
  EXPECT_EQ(EventsOf(kSettings)[0].Find("pttKey")->AsString(), "F1");
  std::vector<std::string> audio;
  for (const HostValue& data : EventsOf(kAudio)) audio.push_back(data.ToJson());
  EXPECT_THAT(audio, ElementsAre(R"({"isLoopbackEnabled":true,"micEnergy":0})",
                                 R"({"isLoopbackEnabled":true,"micEnergy":12})",
                                 R"({"isLoopbackEnabled":false,"micEnergy":0})"));
}

TEST_F(VoiceChatStandInTest, AChosenCaptureDeviceBecomesTheCurrentOne) {
  const std::string devices(VoiceChatStandIn::kCaptureDevicesPath);
  Start({devices});
  voice_.SetCaptureDevices({{"a", "A", true, true, true}, {"b", "B", true, false, false}});
  // Chosen again, or not listed: nothing changes and nothing is published.
  for (const char* handle : {"b", "b", "missing", "", "a"}) {
    Ask(HTTP_METHOD_PUT, kSettings, MakeObject({{"currentCaptureDeviceHandle", handle}}));
  }
  host_.RunReady();
  std::vector<std::string> current;
  for (const HostValue& list : EventsOf(devices)) {
    std::string flags;
    for (const HostValue& device : list.AsArray()) {
      flags += device.Find("is_current_device")->AsBool() ? "*" : "-";
    }
    current.push_back(flags);
  }
  EXPECT_THAT(current, ElementsAre("*-", "-*", "*-"));
  EXPECT_EQ(voice_.currentCaptureDevice(), "a");
}

}  // namespace
}  // namespace Kelp::Host
