// The participants of the joined channel, matched with the party's players
// by puuid, and the user's volume and mute choices, remembered per puuid for
// the plugin's life.
#include <algorithm>
#include <string>
#include <string_view>

#include "premade_voice/premade_voice_plugin.h"
#include "premade_voice/voice_chat_calls.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/runtime/logger.h"

namespace Kelp::Client {
namespace {

constexpr std::uint32_t kDefaultVolume = 75;
constexpr std::string_view kParticipantsPath = "/tav-premade-voice/v1/participants";
constexpr std::string_view kParticipantRecordsPath = "/tav-premade-voice/v1/participant-records";

const Api::PremadeVoiceParticipantDto* FindByPuuid(
    const PremadeVoicePlugin::ParticipantList& list, const std::string& puuid) {
  const auto found = std::find_if(list.begin(), list.end(),
                                  [&](const auto& entry) { return entry.puuid == puuid; });
  return found != list.end() ? &*found : nullptr;
}

}  // namespace

void PremadeVoicePlugin::RefreshParticipants() {
  const Api::SessionResource* joined = nullptr;
  if (voiceSessions_.hasValue() && !joinedChannelId_.empty()) {
    for (const Api::SessionResource& session : voiceSessions_.value()) {
      if (session.id == joinedChannelId_) {
        joined = &session;
        break;
      }
    }
  }
  if (joined != nullptr) {
    currentSession_.Set(*joined);
  } else {
    currentSession_.Reset();
  }

  ParticipantList list;
  if (currentSession_.hasValue()) {
    list = BuildParticipantList(currentSession_.value().participants, currentParty_.players);
  }
  if (list != participantList_) {
    ApplyRememberedToNewParticipants(list);
    participantList_ = std::move(list);
    (void)PublishResourceEvent(*this, kParticipantsPath, participantList_);
  }
  RefreshParticipantRecords();
}

PremadeVoicePlugin::ParticipantList PremadeVoicePlugin::BuildParticipantList(
    const std::vector<Api::ParticipantResource>& participants,
    const std::map<std::string, Api::PlayerDto>& players) const {
  ParticipantList list;
  list.reserve(participants.size());
  for (const Api::ParticipantResource& participant : participants) {
    const auto player = players.find(participant.name);
    if (player == players.end()) {
      Log(LogLevel::Always, kLogDbg,
          "Premade Voice: Voice participant not found in party for puuid %s",
          participant.name.c_str());
      continue;
    }
    Api::PremadeVoiceParticipantDto& entry = list.emplace_back();
    entry.participantId = participant.id;
    entry.summonerId = player->second.summonerId;
    // The key that matched is the puuid, whatever the player record holds.
    entry.puuid = player->first;
    entry.displayName = player->second.displayName;
    entry.volume = participant.volume;
    entry.energy = participant.energy;
    entry.isMuted = participant.isMuted;
    entry.isSpeaking = participant.isSpeaking;
  }
  return list;
}

void PremadeVoicePlugin::ApplyRememberedToNewParticipants(ParticipantList& list) {
  // Every puuid missing from the current list is new, also when another
  // participant left in the same change and the length stayed the same.
  const std::string self = currentSummoner_.hasValue() ? currentSummoner_.value().puuid : "";
  for (Api::PremadeVoiceParticipantDto& entry : list) {
    if (entry.puuid == self || FindByPuuid(participantList_, entry.puuid) != nullptr) continue;
    const bool muted = rememberedMutes_.try_emplace(entry.puuid, false).first->second;
    Log(LogLevel::Always, kLogDbg, "%s new participant (%s)", muted ? "Muting" : "Not muting",
        entry.puuid.c_str());
    const std::uint32_t volume =
        rememberedVolumes_.try_emplace(entry.puuid, kDefaultVolume).first->second;
    Log(LogLevel::Always, kLogDbg, "Setting new participant (%s) volume to %u", entry.puuid.c_str(),
        volume);
    // The list shows what voice-chat plays: a refused update leaves the
    // entry as voice-chat reported it, and the choice is sent again.
    if (SendParticipantUpdate(entry, volume, muted).ok()) {
      entry.isMuted = muted;
      entry.volume = volume;
    } else if (VoiceChat::IsSafePathSegment(entry.participantId)) {
      if (std::find(unappliedChoices_.begin(), unappliedChoices_.end(), entry.puuid) ==
          unappliedChoices_.end()) {
        unappliedChoices_.push_back(entry.puuid);
      }
      ScheduleRetry();
    }
  }
}

void PremadeVoicePlugin::RetryParticipants() {
  std::vector<std::string> left;
  for (const std::string& puuid : unappliedChoices_) {
    const Api::PremadeVoiceParticipantDto* entry = FindByPuuid(participantList_, puuid);
    // Gone from the channel: it gets its choices when it comes back.
    if (entry == nullptr || joinedChannelId_.empty()) continue;
    const std::uint32_t volume =
        rememberedVolumes_.try_emplace(puuid, kDefaultVolume).first->second;
    const bool muted = rememberedMutes_.try_emplace(puuid, false).first->second;
    if (entry->volume == volume && entry->isMuted == muted) continue;
    if (!SendParticipantUpdate(*entry, volume, muted).ok()) left.push_back(puuid);
  }
  unappliedChoices_ = std::move(left);
}

void PremadeVoicePlugin::RefreshParticipantRecords() {
  ParticipantList records = participantList_;
  for (Api::PremadeVoiceParticipantDto& record : records) {
    record.energy = 0;
    if (const auto volume = rememberedVolumes_.find(record.puuid);
        volume != rememberedVolumes_.end()) {
      record.volume = volume->second;
    }
    if (const auto muted = rememberedMutes_.find(record.puuid); muted != rememberedMutes_.end()) {
      record.isMuted = muted->second;
    }
  }
  if (records == participantRecords_) return;
  participantRecords_ = std::move(records);
  (void)PublishResourceEvent(*this, kParticipantRecordsPath, participantRecords_);
}

Reply<> PremadeVoicePlugin::SetParticipantVolume(const std::string& puuid, std::int32_t volume) {
  const Api::PremadeVoiceParticipantDto* found = FindByPuuid(participantList_, puuid);
  if (found == nullptr) return {};
  // A copy: the list may be replaced while the request waits for its answer.
  const Api::PremadeVoiceParticipantDto entry = *found;
  // The signed route argument is kept bit for bit in the unsigned record.
  const auto stored = static_cast<std::uint32_t>(volume);
  Log(LogLevel::Always, kLogDbg, "Changing player %s volume to %u", puuid.c_str(), stored);
  // The list shows the mute only once voice-chat has echoed it: a mute just
  // chosen must not be undone by this update.
  const auto mute = rememberedMutes_.find(puuid);
  const RemotingResult sent = SendParticipantUpdate(
      entry, stored, mute != rememberedMutes_.end() ? mute->second : entry.isMuted);
  // Remembered only once voice-chat plays it, so the records never show a
  // volume the player does not hear.
  if (sent.ok()) rememberedVolumes_[puuid] = stored;
  return Answer(sent);
}

Reply<> PremadeVoicePlugin::SetParticipantMute(const std::string& puuid, bool muted) {
  const Api::PremadeVoiceParticipantDto* found = FindByPuuid(participantList_, puuid);
  if (found == nullptr) return {};
  const Api::PremadeVoiceParticipantDto entry = *found;
  Log(LogLevel::Always, kLogDbg, "%s player %s", muted ? "Muting" : "Unmuting", puuid.c_str());
  // Likewise a volume just chosen, which the list shows only after the echo.
  const auto volume = rememberedVolumes_.find(puuid);
  const RemotingResult sent = SendParticipantUpdate(
      entry, volume != rememberedVolumes_.end() ? volume->second : entry.volume, muted);
  if (sent.ok()) rememberedMutes_[puuid] = muted;
  return Answer(sent);
}

Reply<> PremadeVoicePlugin::SetSelfMute(bool muted) {
  Log(LogLevel::Always, kLogDbg, "%s self", muted ? "Muting" : "Unmuting");
  currentSettings_.localMicMuted = muted;
  // Not connected: nothing was refused; the choice goes with the push that
  // follows the connection.
  if (!availability_.connectedToVoiceServer) {
    (void)PushSettingsToVoiceChat();
    PublishSettings();
    return {};
  }
  return Answer(PushSettingsToVoiceChat());
}

RemotingResult PremadeVoicePlugin::SendParticipantUpdate(
    const Api::PremadeVoiceParticipantDto& entry, std::uint32_t volume, bool muted) {
  // After a leave the list lives on until the next sessions event; there is
  // no session to send to then, only the remembered value.
  if (joinedChannelId_.empty()) return {};
  RemotingResult sent =
      VoiceChat::UpdateParticipant(*this, joinedChannelId_, entry.participantId, volume, muted);
  if (!sent.ok()) {
    Log(LogLevel::Error, kLogDbg, "Failed to update participant %s: %u %s", entry.puuid.c_str(),
        sent.statusCode, sent.message.c_str());
  }
  return sent;
}

}  // namespace Kelp::Client
