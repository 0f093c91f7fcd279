// The push-to-talk key, kept equal between the account settings and the
// game client's key binding, and the push-to-talk state of the voice-chat
// plugin.
//
// Echo loops end on their own: a key written to one side comes back in that
// side's change event equal to what we hold for it, so no sync follows; the
// voice-chat plugin is written only when its record would change.
#include <string>
#include <string_view>

#include "premade_voice/premade_voice_plugin.h"
#include "premade_voice/voice_chat_calls.h"
#include "sdk/rest/http_method.h"
#include "sdk/rest/typed_request.h"
#include "sdk/runtime/logger.h"

namespace Kelp::Client {
namespace {

constexpr std::string_view kInputSettingsPath = "/tav-game-settings/v1/input-settings";

}  // namespace

void PremadeVoicePlugin::OnGameInputSettings(const ResourceEvent<Api::GameInputSettings>& event) {
  const std::optional<std::string>& key = event.value.GameEvents.evtPushToTalk;
  if (IsCreateOrUpdate(event.eventType) && key.has_value() && *key != gameClientPttKey_) {
    gameClientPttKey_ = *key;
    SyncPushToTalkKey();
  }
  PushPushToTalkToVoiceChat();
}

void PremadeVoicePlugin::OnGameClientUpdatedPttKey(const std::string& newKey) {
  gameClientPttKey_ = newKey;
  SyncPushToTalkKey();
}

void PremadeVoicePlugin::SyncPushToTalkKey() {
  // Nothing to settle before the account category was applied once.
  if (!currentSettings_.pttKey.has_value()) return;
  const std::string& accountKey = *currentSettings_.pttKey;
  if (accountKey == gameClientPttKey_) return;
  // An account that never stored a key holds the placeholder; it must not
  // erase a key the player bound in the game client.
  const bool gameHasRealKey = !gameClientPttKey_.empty() && gameClientPttKey_ != kUnboundKey;
  const bool gameWins = gameClientRunning_ || (accountKey == kUnboundKey && gameHasRealKey);
  if (gameWins) {
    Log(LogLevel::Always, kLogDbg,
        "PTT key updated by game client, pushing to account settings: %s",
        gameClientPttKey_.c_str());
    if (std::optional<Api::AccountSettingsCategoryResource> record = BuildAccountSettings()) {
      record->data->pushToTalkKey = gameClientPttKey_;
      (void)WriteAccountSettings(*record);
    }
    currentSettings_.pttKey = gameClientPttKey_;
    return;
  }
  Log(LogLevel::Always, kLogDbg, "PTT key updated by account settings, pushing to game client: %s",
      accountKey.c_str());
  Api::GameInputSettings settings;
  settings.GameEvents.evtPushToTalk = accountKey;
  const RemotingResult written =
      SendRequest(*this, HttpMethod::Patch, kInputSettingsPath, settings);
  if (!written.ok()) {
    Log(LogLevel::Error, kLogDbg, "Failed to update ptt key in game settings %s",
        written.message.c_str());
  }
  gameClientPttKey_ = accountKey;
}

void PremadeVoicePlugin::PushPushToTalkToVoiceChat() {
  const std::optional<std::string>& key = currentSettings_.pttKey;
  Api::PushToTalkResource next;
  next.pttEnabled = currentSettings_.pttActive && key.has_value() && !key->empty();
  if (next.pttEnabled) next.pttKeyBinding = key;
  if (next == lastSentPushToTalk_) return;
  const RemotingResult sent = VoiceChat::PutPushToTalk(*this, next);
  if (!sent.ok()) {
    // Kept as it was, so that the next call sends again.
    Log(LogLevel::Error, kLogDbg, "Failed to update ptt key in voice-chat %s",
        sent.message.c_str());
    return;
  }
  lastSentPushToTalk_ = std::move(next);
}

}  // namespace Kelp::Client
