// Stand-in for the voice-chat plugin: the voice-server connection, the
// sessions (voice channels) the local player is in, their participants, the
// audio settings, push-to-talk, capture devices and the microphone loopback.
//
// Sessions. Other players are in a channel whether or not the local player
// is: MemberJoins and MemberLeaves keep each channel's roster. A POST of
// "/voice-chat/v2/sessions/<id>" with a token string joins the local player
// (while connected; the local participant's name is the local puuid), a
// DELETE leaves. "/voice-chat/v2/sessions" lists the joined sessions and is
// republished after every change; several changes inside one Batch make one
// event. Participant ids are made up by the stand-in ("vc-1", "vc-2", ...),
// never equal to the puuid, and a player who comes back gets a new one. A
// PUT of ".../participants/<participant id>" applies the `volume` and
// `isMuted` it carries.
//
// Settings. "/voice-chat/v2/settings" answers and accepts the whole settings
// record; a PUT keeps the members it sends, bounds `micLevel` and
// `vadSensitivity` to 0..100 and queues a settings event with the result.
// A `currentCaptureDeviceHandle` of a listed device makes it the current
// one, and the device list is published again. While `loopbackEnabled` is
// on, SetMicEnergy queues audio-properties events.
#ifndef KELP_HOST_STANDINS_VOICE_CHAT_H_
#define KELP_HOST_STANDINS_VOICE_CHAT_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/standins/stand_in.h"

namespace Kelp::Host {

struct VoiceParticipant {
  std::string id;
  std::string name;  // the player's puuid
  std::uint32_t volume = 100;
  std::uint32_t energy = 0;
  bool isMuted = false;
  bool isSpeaking = false;
};

struct CaptureDevice {
  std::string handle;
  std::string name;
  bool usable = true;
  bool isCurrent = false;
  bool isDefault = false;
};

class VoiceChatStandIn : public StandIn {
 public:
  static constexpr std::string_view kSessionsPath = "/voice-chat/v2/sessions";
  static constexpr std::string_view kStatePath = "/voice-chat/v2/state";
  static constexpr std::string_view kSettingsPath = "/voice-chat/v2/settings";
  static constexpr std::string_view kPushToTalkPath = "/voice-chat/v1/push-to-talk";
  static constexpr std::string_view kAudioPropertiesPath = "/voice-chat/v1/audio-properties";
  static constexpr std::string_view kCaptureDevicesPath = "/voice-chat/v2/devices/capture";

  VoiceChatStandIn(ReferenceHost& host, WorldJournal& journal);

  // The local player's puuid: the name of the participant a POST adds.
  void SetLocalPuuid(std::string puuid) { localPuuid_ = std::move(puuid); }

  // ---- Voice server --------------------------------------------------------
  // Queues a state event; dropping the connection does not end the sessions.
  void SetConnected(bool connected);
  bool connected() const { return connected_; }

  // ---- Channels ------------------------------------------------------------
  // A player enters or leaves the roster of `sessionId`; the sessions event
  // follows when the local player is in that session. MemberLeaves is false
  // when the player was not there.
  void MemberJoins(std::string_view sessionId, std::string_view puuid);
  bool MemberLeaves(std::string_view sessionId, std::string_view puuid);
  // Sets a member's energy (speaking while above 0). False when absent.
  bool MemberSpeaks(std::string_view sessionId, std::string_view puuid, std::uint32_t energy);
  // Queues the sessions event again, as it stands.
  void PublishSessions();
  // Queues a sessions event carrying `data` as it stands.
  void PublishRawSessions(HostValue data, std::string eventType = "Update");

  // Changes made while a Batch lives go out as one sessions event when the
  // last Batch ends.
  class Batch {
   public:
    explicit Batch(VoiceChatStandIn& voiceChat) : voiceChat_(voiceChat) { ++voiceChat_.batching_; }
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    VoiceChatStandIn& voiceChat_;
  };

  bool Joined(std::string_view sessionId) const;
  // The ids of the sessions the local player is in, in id order.
  std::vector<std::string> JoinedSessions() const;
  // The participants of a session, local player included once joined.
  std::vector<VoiceParticipant> Participants(std::string_view sessionId) const;
  const VoiceParticipant* Participant(std::string_view sessionId, std::string_view puuid) const;
  HostValue SessionsData() const;

  // ---- Audio ---------------------------------------------------------------
  const HostValue& settings() const { return settings_; }
  bool loopbackEnabled() const;
  // The handle of the current capture device; "" when none is.
  std::string currentCaptureDevice() const;
  const HostValue& pushToTalk() const { return pushToTalk_; }
  // Replaces the capture devices and queues their event.
  void SetCaptureDevices(std::vector<CaptureDevice> devices);
  // The microphone hears something: while loopback is on, queues an
  // audio-properties event with `energy` and returns true.
  bool SetMicEnergy(std::uint32_t energy);

 private:
  struct Session {
    std::vector<VoiceParticipant> others;  // the roster, in order of arrival
    bool joined = false;
    VoiceParticipant self;
  };

  Session& SessionOf(std::string_view sessionId);
  VoiceParticipant* Find(std::string_view sessionId, std::string_view puuid);
  std::string NewParticipantId() { return "vc-" + std::to_string(++lastParticipantId_); }
  // Publishes the sessions when `sessionId` is joined (or at the batch's end).
  void Changed(std::string_view sessionId);
  HostAnswer Join(const OutboundRequest& request, const std::string& sessionId);
  HostAnswer Leave(const std::string& sessionId);
  HostAnswer PutParticipant(const OutboundRequest& request, std::string_view rest);
  HostAnswer PutSettings(const OutboundRequest& request);
  HostValue AudioProperties(std::uint32_t energy) const;
  // Makes the listed device `handle` the current one and publishes the
  // list; nothing when it is current already or not listed.
  void MoveCurrentDevice(const std::string& handle);

  bool connected_ = false;
  std::string localPuuid_;
  std::map<std::string, Session, std::less<>> sessions_;
  std::uint64_t lastParticipantId_ = 0;
  int batching_ = 0;
  bool changedInBatch_ = false;
  HostValue settings_;
  HostValue pushToTalk_;
  HostValue captureDevices_ = HostArray{};
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_VOICE_CHAT_H_
