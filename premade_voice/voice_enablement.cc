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
    LeaveChannel();
  }
  UpdateAvailability();
}

void PremadeVoicePlugin::OnInitialConfigurationComplete(const ResourceEvent<bool>& event) {
  try {
    if (!event.value) {
      voiceEnabledInConfig_ = false;
    } else {
      const TypedRemotingResult<bool> flag =
          SendTypedRequest<bool>(*this, HttpMethod::Get, kVoiceFlagPath);
      if (!flag.ok()) {
        Log(LogLevel::Error, kLogDbg,
            "Could not find Enabled flag in dynamic config, disabling voice - %s",
            flag.message.c_str());
        voiceEnabledInConfig_ = false;
      } else if (flag.value) {
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
    LeaveChannel();
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
  LeaveChannel();
  // A failed rejoin is logged by the join; the next lobby event retries.
  (void)JoinChannel(currentParty_.partyId);
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
    (void)PushSettingsToVoiceChat();
  }
  UpdateAvailability();
}

}  // namespace Kelp::Client
