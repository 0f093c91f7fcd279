// Joining and leaving the party's voice channel: automatically from the
// lobby's membership events, on the user's request, and on reconnect. The
// channel id is the lobby's party id, which is also the voice-chat session
// id.
#include <algorithm>
#include <string>
#include <string_view>

#include "premade_voice/premade_voice_plugin.h"
#include "premade_voice/voice_chat_calls.h"
#include "sdk/rest/http_method.h"
#include "sdk/rest/typed_request.h"
#include "sdk/runtime/logger.h"

namespace Kelp::Client {
namespace {

constexpr std::string_view kTokenPath = "/tav-lobby/v2/comms/token";
constexpr std::uint32_t kNotEnoughMembersStatus = 401;
constexpr const char* kNotEnoughMembers = "not_enough_members";

const char* BoolText(bool value) { return value ? "true" : "false"; }

}  // namespace

void PremadeVoicePlugin::OnLobbyMembers(const ResourceEvent<Api::PartyDto>& event) {
  if (!IsCreateOrUpdate(event.eventType)) return;
  // Kept while voice is disabled too: the service acts on it only once
  // voice is enabled (ApplyVoiceEnabled).
  lobbyParty_ = event.value;
  if (!availability_.enabled) return;
  ApplyParty(event.value);
}

void PremadeVoicePlugin::ApplyParty(const Api::PartyDto& party) {
  currentParty_ = party;
  availability_.voiceChannelAvailable = currentParty_.players.size() >= 2;
  UpdateAvailability();
  if (currentParty_.partyId != lastPartyId_) {
    userDisconnected_ = false;
    rejoinPending_ = false;
    (void)LeaveChannel();
  }
  lastPartyId_ = currentParty_.partyId;
  if (!availability_.voiceChannelAvailable) {
    (void)LeaveChannel();
    return;
  }
  if (!joinedChannelId_.empty()) return;
  if (currentSettings_.autoJoin && !userDisconnected_) {
    // A failed join is logged by the join and tried again while the
    // conditions hold.
    if (!JoinChannel(lastPartyId_).ok() && WantsAutoJoin()) ScheduleRetry();
    return;
  }
  Log(LogLevel::Always, kLogDbg, "Not joining channel - auto join %s - disconnected %s",
      BoolText(currentSettings_.autoJoin), BoolText(userDisconnected_));
}

bool PremadeVoicePlugin::WantsAutoJoin() const {
  // An id that cannot stand in a path is refused for good: no retry.
  return availability_.enabled && availability_.voiceChannelAvailable && joinedChannelId_.empty() &&
         !userDisconnected_ && (currentSettings_.autoJoin || rejoinPending_) &&
         VoiceChat::IsSafePathSegment(lastPartyId_);
}

RemotingResult PremadeVoicePlugin::JoinChannel(const std::string& channelId) {
  RemotingResult refused;
  if (!availability_.voiceChannelAvailable) {
    Log(LogLevel::Always, kLogDbg, "Not joining, only one in channel: %s.", channelId.c_str());
    refused.SetFailure(kNotEnoughMembersStatus, kNotEnoughMembers);
    return refused;
  }
  // An id that would change the request path (or an empty one, which could
  // never be left again) is refused before anything is sent.
  if (!VoiceChat::IsSafePathSegment(channelId)) {
    Log(LogLevel::Error, kLogDbg, "Not joining channel: its id cannot stand in a request path");
    refused.SetFailure(400, std::string(VoiceChat::kInvalidIdMessage));
    return refused;
  }
  const TypedRemotingResult<std::string> token =
      SendTypedRequest<std::string>(*this, HttpMethod::Get, kTokenPath);
  if (!token.ok()) {
    Log(LogLevel::Error, kLogDbg, "Failed to get JWT for voice channel from parties: %s",
        token.message.c_str());
    return token;
  }
  // The token is a credential: it never reaches a log line.
  Log(LogLevel::Always, kLogDbg, "Received channel token for %s", channelId.c_str());
  RemotingResult joined = VoiceChat::JoinSession(*this, channelId, token.value);
  if (!joined.ok()) {
    Log(LogLevel::Error, kLogDbg, "Failed to join channel %s: %s", channelId.c_str(),
        joined.message.c_str());
    return joined;
  }
  if (currentSettings_.muteOnConnect) (void)SetSelfMute(true);
  Log(LogLevel::Always, kLogDbg, "Joined channel %s", channelId.c_str());
  joinedChannelId_ = channelId;
  rejoinPending_ = false;
  // Joined again: a leave of this channel still being tried is void.
  std::erase(pendingLeaves_, channelId);
  return RemotingResult{};
}

RemotingResult PremadeVoicePlugin::LeaveChannel() {
  if (joinedChannelId_.empty()) return {};
  Log(LogLevel::Always, kLogDbg, "Leaving channel %s", joinedChannelId_.c_str());
  RemotingResult left = VoiceChat::LeaveSession(*this, joinedChannelId_);
  // The channel counts as left: the service may join another meanwhile.
  // But voice-chat still has the user in it, so the leave is tried again
  // until it goes through.
  if (!left.ok()) {
    Log(LogLevel::Error, kLogDbg, "Failed to leave channel %s: %u %s", joinedChannelId_.c_str(),
        left.statusCode, left.message.c_str());
    if (VoiceChat::IsSafePathSegment(joinedChannelId_) &&
        std::find(pendingLeaves_.begin(), pendingLeaves_.end(), joinedChannelId_) ==
            pendingLeaves_.end()) {
      Log(LogLevel::Always, kLogDbg, "Will keep trying to leave channel %s",
          joinedChannelId_.c_str());
      pendingLeaves_.push_back(joinedChannelId_);
      ScheduleRetry();
    }
  }
  joinedChannelId_.clear();
  return left;
}

Api::VoiceAvailability PremadeVoicePlugin::GetAvailability() const { return availability_; }

Reply<> PremadeVoicePlugin::PostSession() {
  const RemotingResult joined = JoinChannel(currentParty_.partyId);
  if (!joined.ok()) return Answer(joined);
  userDisconnected_ = false;
  return {};
}

Reply<> PremadeVoicePlugin::DeleteSession() {
  userDisconnected_ = true;
  rejoinPending_ = false;
  // A refused leave is answered as refused; it is tried again meanwhile.
  return Answer(LeaveChannel());
}

}  // namespace Kelp::Client
