// Whether voice is on for the player (entitlement or dynamic configuration
// flag), the login, game-flow and voice-chat state, and the availability
// record that tells the user interface what to show.
#include <string>
#include <string_view>

#include "premade_voice/premade_voice_plugin.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/rest/http_method.h"
#include "sdk/rest/typed_request.h"
#include "sdk/runtime/logger.h"

namespace Kelp::Client {
namespace {

constexpr std::string_view kVoiceEntitlement = "urn:entitlement:tavkelp.zeb.voice";
constexpr std::string_view kVoiceFlagPath = "/tav-platform-config/v1/namespaces/Voice/Enabled";
constexpr std::string_view kAvailabilityPath = "/tav-premade-voice/v1/availability";

}  // namespace

void PremadeVoicePlugin::UpdateAvailability() {
  Api::VoiceAvailability& a = availability_;
  a.showUI = a.enabled || a.disabledAfterLogin;
  a.showDisconnectedState = a.connectedToVoiceServer ? (a.disabledAfterLogin && !a.enabled) : true;
  // A value that does not convert is simply not published.
  (void)PublishResourceEvent(*this, kAvailabilityPath, availability_);
}

void PremadeVoicePlugin::ApplyVoiceEnabled() {
  const bool wasEnabled = availability_.enabled;
  if (hasVoiceEntitlement_) {
    availability_.enabled = true;
  } else {
    availability_.enabled = voiceEnabledInConfig_;
    availability_.disabledAfterLogin = false;
  }
  // Voice switched off must not leave the microphone in the old channel.
  if (wasEnabled && !availability_.enabled) {
    availability_.voiceChannelAvailable = false;
    (void)LeaveChannel();
  }
  UpdateAvailability();
  // Switched on again: the party the lobby reported meanwhile counts as if
  // it had just been reported.
  if (!wasEnabled && availability_.enabled && lobbyParty_.has_value()) ApplyParty(*lobbyParty_);
}

bool PremadeVoicePlugin::ReadVoiceFlag() {
  const TypedRemotingResult<bool> flag =
      SendTypedRequest<bool>(*this, HttpMethod::Get, kVoiceFlagPath);
  if (!flag.ok()) {
    // Told once; the flag is read again later (RetryRefused).
    if (!voiceFlagUnread_) {
      Log(LogLevel::Error, kLogDbg,
          "Could not find Enabled flag in dynamic config, disabling voice - %s",
          flag.message.c_str());
    }
    voiceEnabledInConfig_ = false;
    // A flag that is not configured (404) is an answer, not a refusal.
    voiceFlagUnread_ = flag.statusCode != 404;
    if (voiceFlagUnread_) ScheduleRetry();
    return false;
  }
  voiceFlagUnread_ = false;
  if (flag.value) {
    Log(LogLevel::Always, kLogDbg, "Voice is ENABLED");
    voiceEnabledInConfig_ = true;
    // The flag's events are followed from the first time it reads true;
    // later initial-configuration events do not subscribe again.
    if (!voiceFlagSubscribed_) {
      voiceFlagSubscribed_ = true;
      AddResourceHandler<bool>(kVoiceFlagPath, [this](const ResourceEvent<bool>& change) {
        OnVoiceEnabledConfig(change);
      });
    }
  } else {
    Log(LogLevel::Error, kLogDbg, "Voice is NOT ENABLED in dynamic config, disabling voice");
    voiceEnabledInConfig_ = false;
  }
  return true;
}

void PremadeVoicePlugin::OnInitialConfigurationComplete(const ResourceEvent<bool>& event) {
  try {
    // A new event: a failure to read the flag is told again.
    voiceFlagUnread_ = false;
    if (!event.value) {
      voiceEnabledInConfig_ = false;
    } else {
      (void)ReadVoiceFlag();
    }
  } catch (...) {
    ApplyVoiceEnabled();
    throw;
  }
  ApplyVoiceEnabled();
}

void PremadeVoicePlugin::OnVoiceEnabledConfig(const ResourceEvent<bool>& event) {
  if (IsCreateOrUpdate(event.eventType)) voiceEnabledInConfig_ = event.value;
  if (hasVoiceEntitlement_) {
    availability_.enabled = true;
    UpdateAvailability();
    return;
  }
  if (availability_.enabled == voiceEnabledInConfig_) return;
  if (availability_.enabled && !voiceEnabledInConfig_) {
    availability_.enabled = false;
    availability_.voiceChannelAvailable = false;
    availability_.disabledAfterLogin = true;
    (void)LeaveChannel();
  }
  UpdateAvailability();
}

void PremadeVoicePlugin::OnEntitlementsToken(
    const ResourceEvent<Api::EntitlementsTokenResource>& event) {
  hasVoiceEntitlement_ = false;
  if (event.eventType == PluginResourceEventType::Delete) return;
  for (const std::string& entitlement : event.value.entitlements) {
    if (entitlement == kVoiceEntitlement) {
      Log(LogLevel::Always, kLogDbg, "Player has entitlements for voice");
      hasVoiceEntitlement_ = true;
      break;
    }
  }
  ApplyVoiceEnabled();
}

void PremadeVoicePlugin::OnLoginSession(const ResourceEvent<Api::LoginSession>& event) {
  if (!IsCreateOrUpdate(event.eventType)) return;
  const bool previous = loginConnected_;
  loginConnected_ = event.value.connected;
  if (previous || !loginConnected_ || joinedChannelId_.empty()) return;
  Log(LogLevel::Always, kLogDbg, "Detected reconnect, leaving and rejoining voice channel");
  (void)LeaveChannel();
  // A failed rejoin is logged by the join and tried again, when voice-chat
  // connects and on the retry timer.
  if (!JoinChannel(currentParty_.partyId).ok()) {
    rejoinPending_ = true;
    if (WantsAutoJoin()) ScheduleRetry();
  }
}

void PremadeVoicePlugin::OnGameflowSession(const ResourceEvent<Api::GameflowSession>& event) {
  if (!IsCreateOrUpdate(event.eventType)) return;
  gameClientRunning_ = event.value.gameClient.running;
  const Api::GameflowPhase phase = event.value.phase;
  if (phase == lastGameflowPhase_) return;
  if (phase == Api::GameflowPhase::GameStart) SendVoiceTelemetry("premade-voice-game-start");
  if (phase == Api::GameflowPhase::WaitingForStats) SendVoiceTelemetry("premade-voice-game-end");
  lastGameflowPhase_ = phase;
}

void PremadeVoicePlugin::OnVoiceState(const ResourceEvent<Api::StateResource>& event) {
  availability_.connectedToVoiceServer = event.value.connected;
  if (event.value.connected) {
    Log(LogLevel::Always, kLogDbg, "Voice connected");
    if (settingsPushPending_) RestoreChosenSettings();
    (void)PushSettingsToVoiceChat();
  }
  UpdateAvailability();
  // A join refused while voice-chat was away goes through now.
  if (event.value.connected && WantsAutoJoin()) RetryRefused();
}

}  // namespace Kelp::Client
