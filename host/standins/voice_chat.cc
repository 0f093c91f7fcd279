#include "host/standins/voice_chat.h"

#include <algorithm>
#include <utility>

#include "host/standins/json_file.h"

namespace Kelp::Host {
namespace {

constexpr std::string_view kSessionPrefix = "/voice-chat/v2/sessions/";
constexpr std::string_view kParticipantsPart = "/participants/";
constexpr std::uint64_t kMaxAudioLevel = 100;

HostValue ParticipantData(const VoiceParticipant& participant) {
  return MakeObject({{"id", participant.id},
                     {"name", participant.name},
                     {"volume", participant.volume},
                     {"energy", participant.energy},
                     {"isMuted", participant.isMuted},
                     {"isSpeaking", participant.isSpeaking}});
}

HostValue DefaultSettings() {
  return MakeObject({{"currentCaptureDeviceHandle", ""},
                     {"vadHangoverTime", 2000u},
                     {"vadSensitivity", 65u},
                     {"micLevel", 50u},
                     {"localMicMuted", false},
                     {"loopbackEnabled", false},
                     {"autoJoin", true},
                     {"muteOnConnect", false},
                     {"vadActive", true},
                     {"pttActive", false},
                     {"inputMode", "voiceActivity"}});
}

// Levels outside 0..100 are brought to the nearest bound, as the audio
// engine does.
void BoundLevel(HostValue& settings, std::string_view key) {
  const HostValue* level = settings.Find(key);
  if (level == nullptr) return;
  const bool negative = level->kind() == HostValue::Kind::Signed && level->AsSigned() < 0;
  const std::uint64_t value = negative ? 0 : UnsignedOr(level, kMaxAudioLevel);
  settings.Set(key, static_cast<std::uint32_t>(std::min(value, kMaxAudioLevel)));
}

}  // namespace

VoiceChatStandIn::VoiceChatStandIn(ReferenceHost& host, WorldJournal& journal)
    : StandIn(host, journal, "voice-chat"),
      settings_(DefaultSettings()),
      pushToTalk_(MakeObject({{"pttEnabled", false}})) {
  Serve(HTTP_METHOD_GET, std::string(kStatePath), [this](const OutboundRequest&) {
    return HostAnswer::Success(MakeObject({{"connected", connected_}}));
  });
  Serve(HTTP_METHOD_GET, std::string(kSessionsPath),
        [this](const OutboundRequest&) { return HostAnswer::Success(SessionsData()); });
  Serve(
      HTTP_METHOD_POST, std::string(kSessionPrefix),
      [this](const OutboundRequest& request) {
        return Join(request, request.path.substr(kSessionPrefix.size()));
      },
      true);
  Serve(
      HTTP_METHOD_DELETE, std::string(kSessionPrefix),
      [this](const OutboundRequest& request) {
        return Leave(request.path.substr(kSessionPrefix.size()));
      },
      true);
  Serve(
      HTTP_METHOD_PUT, std::string(kSessionPrefix),
      [this](const OutboundRequest& request) {
        return PutParticipant(request,
                              std::string_view(request.path).substr(kSessionPrefix.size()));
      },
      true);
  Serve(HTTP_METHOD_GET, std::string(kSettingsPath),
        [this](const OutboundRequest&) { return HostAnswer::Success(settings_); });
  Serve(HTTP_METHOD_PUT, std::string(kSettingsPath),
        [this](const OutboundRequest& request) { return PutSettings(request); });
  Serve(HTTP_METHOD_GET, std::string(kPushToTalkPath),
        [this](const OutboundRequest&) { return HostAnswer::Success(pushToTalk_); });
  Serve(HTTP_METHOD_PUT, std::string(kPushToTalkPath), [this](const OutboundRequest& request) {
    const HostValue* body = request.FirstArgument();
    if (body == nullptr || body->kind() != HostValue::Kind::Object) {
      return HostAnswer::Failure(400, "push-to-talk needs an object");
    }
    pushToTalk_ = *body;
    Note("push-to-talk " + WriteJsonText(pushToTalk_));
    return HostAnswer::Success(pushToTalk_);
  });
  Serve(HTTP_METHOD_GET, std::string(kCaptureDevicesPath),
        [this](const OutboundRequest&) { return HostAnswer::Success(captureDevices_); });
}

// ---- Voice server -------------------------------------------------------------------

void VoiceChatStandIn::SetConnected(bool connected) {
  connected_ = connected;
  Note(connected ? "connected to the voice server" : "lost the voice server");
  QueueEvent(std::string(kStatePath), MakeObject({{"connected", connected}}));
}

// ---- Channels -------------------------------------------------------------------------

VoiceChatStandIn::Batch::~Batch() {
  if (--voiceChat_.batching_ == 0 && voiceChat_.changedInBatch_) {
    voiceChat_.changedInBatch_ = false;
    voiceChat_.PublishSessions();
  }
}

VoiceChatStandIn::Session& VoiceChatStandIn::SessionOf(std::string_view sessionId) {
  auto found = sessions_.find(sessionId);
  if (found == sessions_.end()) found = sessions_.emplace(std::string(sessionId), Session{}).first;
  return found->second;
}

VoiceParticipant* VoiceChatStandIn::Find(std::string_view sessionId, std::string_view puuid) {
  const auto session = sessions_.find(sessionId);
  if (session == sessions_.end()) return nullptr;
  for (VoiceParticipant& participant : session->second.others) {
    if (participant.name == puuid) return &participant;
  }
  return nullptr;
}

void VoiceChatStandIn::Changed(std::string_view sessionId) {
  if (!Joined(sessionId)) return;
  if (batching_ > 0) {
    changedInBatch_ = true;
  } else {
    PublishSessions();
  }
}

void VoiceChatStandIn::MemberJoins(std::string_view sessionId, std::string_view puuid) {
  if (Find(sessionId, puuid) != nullptr) return;
  VoiceParticipant participant;
  participant.id = NewParticipantId();
  participant.name = std::string(puuid);
  SessionOf(sessionId).others.push_back(std::move(participant));
  Note(std::string(puuid) + " joined channel " + std::string(sessionId));
  Changed(sessionId);
}

bool VoiceChatStandIn::MemberLeaves(std::string_view sessionId, std::string_view puuid) {
  const auto session = sessions_.find(sessionId);
  if (session == sessions_.end()) return false;
  if (std::erase_if(session->second.others, [&](const VoiceParticipant& participant) {
        return participant.name == puuid;
      }) == 0) {
    return false;
  }
  Note(std::string(puuid) + " left channel " + std::string(sessionId));
  Changed(sessionId);
  return true;
}

bool VoiceChatStandIn::MemberSpeaks(std::string_view sessionId, std::string_view puuid,
                                    std::uint32_t energy) {
  VoiceParticipant* participant = Find(sessionId, puuid);
  if (participant == nullptr) return false;
  participant->energy = energy;
  participant->isSpeaking = energy > 0;
  Changed(sessionId);
  return true;
}

std::vector<std::string> VoiceChatStandIn::JoinedSessions() const {
  std::vector<std::string> ids;
  for (const auto& [id, session] : sessions_) {
    if (session.joined) ids.push_back(id);
  }
  return ids;
}

bool VoiceChatStandIn::Joined(std::string_view sessionId) const {
  const auto session = sessions_.find(sessionId);
  return session != sessions_.end() && session->second.joined;
}

std::vector<VoiceParticipant> VoiceChatStandIn::Participants(std::string_view sessionId) const {
  const auto session = sessions_.find(sessionId);
  if (session == sessions_.end()) return {};
  std::vector<VoiceParticipant> all;
  if (session->second.joined) all.push_back(session->second.self);
  all.insert(all.end(), session->second.others.begin(), session->second.others.end());
  return all;
}

const VoiceParticipant* VoiceChatStandIn::Participant(std::string_view sessionId,
                                                      std::string_view puuid) const {
  const auto session = sessions_.find(sessionId);
  if (session == sessions_.end()) return nullptr;
  if (session->second.joined && session->second.self.name == puuid) return &session->second.self;
  return const_cast<VoiceChatStandIn*>(this)->Find(sessionId, puuid);
}

HostValue VoiceChatStandIn::SessionsData() const {
  HostArray sessions;
  for (const auto& [id, session] : sessions_) {
    if (!session.joined) continue;
    HostArray participants;
    for (const VoiceParticipant& participant : Participants(id)) {
      participants.push_back(ParticipantData(participant));
    }
    sessions.push_back(MakeObject({{"id", id},
                                   {"status", "active"},
                                   {"participants", std::move(participants)},
                                   {"volume", 100u},
                                   {"isMuted", false},
                                   {"isTransmitEnabled", true}}));
  }
  return sessions;
}

void VoiceChatStandIn::PublishSessions() { QueueEvent(std::string(kSessionsPath), SessionsData()); }

void VoiceChatStandIn::PublishRawSessions(HostValue data, std::string eventType) {
  QueueEvent(std::string(kSessionsPath), std::move(data), std::move(eventType));
}

HostAnswer VoiceChatStandIn::Join(const OutboundRequest& request, const std::string& sessionId) {
  if (sessionId.empty() || sessionId.find('/') != std::string::npos) {
    return HostAnswer::Failure(400, "bad session id '" + sessionId + "'");
  }
  if (!connected_) return HostAnswer::Failure(503, "not connected to the voice server");
  const HostValue* token = request.FirstArgument();
  if (token == nullptr || token->kind() != HostValue::Kind::String || token->AsString().empty()) {
    return HostAnswer::Failure(400, "joining a session needs its token");
  }
  Session& session = SessionOf(sessionId);
  if (!session.joined) {
    session.joined = true;
    session.self = VoiceParticipant{};
    session.self.id = NewParticipantId();
    session.self.name = localPuuid_;
    Note("joined channel " + sessionId);
    Changed(sessionId);
  }
  HostValue answer = SessionsData();
  for (const HostValue& listed : answer.AsArray()) {
    if (StringOr(listed.Find("id"), "") == sessionId) return HostAnswer::Success(listed);
  }
  return HostAnswer::Success();
}

HostAnswer VoiceChatStandIn::Leave(const std::string& sessionId) {
  const auto session = sessions_.find(sessionId);
  if (session == sessions_.end() || !session->second.joined) {
    return HostAnswer::Failure(404, "not in session '" + sessionId + "'");
  }
  session->second.joined = false;
  Note("left channel " + sessionId);
  // The session is not listed any more, so the change is published here.
  if (batching_ > 0) {
    changedInBatch_ = true;
  } else {
    PublishSessions();
  }
  return HostAnswer::Success();
}

HostAnswer VoiceChatStandIn::PutParticipant(const OutboundRequest& request, std::string_view rest) {
  const std::size_t part = rest.find(kParticipantsPart);
  if (part == std::string_view::npos || part == 0) {
    return HostAnswer::Failure(404, "no resource " + request.path);
  }
  const std::string_view sessionId = rest.substr(0, part);
  const std::string_view participantId = rest.substr(part + kParticipantsPart.size());
  const auto session = sessions_.find(sessionId);
  if (session == sessions_.end() || !session->second.joined) {
    return HostAnswer::Failure(404, "not in session '" + std::string(sessionId) + "'");
  }
  VoiceParticipant* target = nullptr;
  if (session->second.self.id == participantId) target = &session->second.self;
  for (VoiceParticipant& participant : session->second.others) {
    if (participant.id == participantId) target = &participant;
  }
  if (target == nullptr) {
    return HostAnswer::Failure(404, "no participant '" + std::string(participantId) + "'");
  }
  const HostValue* body = request.FirstArgument();
  if (body == nullptr || body->kind() != HostValue::Kind::Object) {
    return HostAnswer::Failure(400, "a participant update needs an object");
  }
  target->volume = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(UnsignedOr(body->Find("volume"), target->volume), 0xFFFFFFFFu));
  target->isMuted = BoolOr(body->Find("isMuted"), target->isMuted);
  Note(target->name + " volume " + std::to_string(target->volume) +
       (target->isMuted ? ", muted" : ", not muted"));
  Changed(sessionId);
  return HostAnswer::Success(ParticipantData(*target));
}

// ---- Audio --------------------------------------------------------------------------

HostAnswer VoiceChatStandIn::PutSettings(const OutboundRequest& request) {
  const HostValue* body = request.FirstArgument();
  if (body == nullptr || body->kind() != HostValue::Kind::Object) {
    return HostAnswer::Failure(400, "settings need an object");
  }
  const bool loopbackBefore = BoolOr(settings_.Find("loopbackEnabled"), false);
  MergeObject(settings_, *body);
  BoundLevel(settings_, "micLevel");
  BoundLevel(settings_, "vadSensitivity");
  const bool loopback = BoolOr(settings_.Find("loopbackEnabled"), false);
  MoveCurrentDevice(StringOr(settings_.Find("currentCaptureDeviceHandle"), ""));
  Note("settings applied: mic level " + std::to_string(UnsignedOr(settings_.Find("micLevel"), 0)) +
       ", sensitivity " + std::to_string(UnsignedOr(settings_.Find("vadSensitivity"), 0)) +
       (loopback ? ", loopback on" : ""));
  QueueEvent(std::string(kSettingsPath), settings_);
  if (loopback != loopbackBefore) QueueEvent(std::string(kAudioPropertiesPath), AudioProperties(0));
  return HostAnswer::Success(settings_);
}

void VoiceChatStandIn::MoveCurrentDevice(const std::string& handle) {
  HostArray& devices = captureDevices_.AsArray();
  const auto chosen = std::find_if(devices.begin(), devices.end(), [&](const HostValue& device) {
    return StringOr(device.Find("handle"), "") == handle;
  });
  if (chosen == devices.end() || BoolOr(chosen->Find("is_current_device"), false)) return;
  for (HostValue& device : devices) device.Set("is_current_device", &device == &*chosen);
  Note("capture device " + handle + " is current");
  QueueEvent(std::string(kCaptureDevicesPath), captureDevices_);
}

bool VoiceChatStandIn::loopbackEnabled() const {
  return BoolOr(settings_.Find("loopbackEnabled"), false);
}

std::string VoiceChatStandIn::currentCaptureDevice() const {
  for (const HostValue& device : captureDevices_.AsArray()) {
    if (BoolOr(device.Find("is_current_device"), false)) {
      return StringOr(device.Find("handle"), "");
    }
  }
  return "";
}

HostValue VoiceChatStandIn::AudioProperties(std::uint32_t energy) const {
  return MakeObject({{"isLoopbackEnabled", BoolOr(settings_.Find("loopbackEnabled"), false)},
                     {"micEnergy", energy}});
}

void VoiceChatStandIn::SetCaptureDevices(std::vector<CaptureDevice> devices) {
  HostArray list;
  for (const CaptureDevice& device : devices) {
    list.push_back(MakeObject({{"handle", device.handle},
                               {"name", device.name},
                               {"usable", device.usable},
                               {"is_current_device", device.isCurrent},
                               {"is_default", device.isDefault}}));
  }
  captureDevices_ = std::move(list);
  Note(std::to_string(devices.size()) + " capture device(s)");
  QueueEvent(std::string(kCaptureDevicesPath), captureDevices_);
}

bool VoiceChatStandIn::SetMicEnergy(std::uint32_t energy) {
  if (!BoolOr(settings_.Find("loopbackEnabled"), false)) return false;
  QueueEvent(std::string(kAudioPropertiesPath), AudioProperties(energy));
  return true;
}

}  // namespace Kelp::Host
