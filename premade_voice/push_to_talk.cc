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

// A key the player really bound: not empty and not the placeholder.
bool IsRealKey(const std::string& key) { return !key.empty() && key != kUnboundKey; }

}  // namespace

void PremadeVoicePlugin::OnGameInputSettings(const ResourceEvent<Api::GameInputSettings>& event) {
  const std::optional<std::string>& key = event.value.GameEvents.evtPushToTalk;
  if (IsCreateOrUpdate(event.eventType) && key.has_value() && key != gameClientPttKey_) {
    // The player changed the key in the game client: an account key still
    // on its way there is overtaken.
    gameClientPttKey_ = *key;
    pendingGameKey_.reset();
    (void)SyncPushToTalkKey();
  }
  PushPushToTalkToVoiceChat();
}

Reply<> PremadeVoicePlugin::OnGameClientUpdatedPttKey(const std::string& newKey) {
  gameClientPttKey_ = newKey;
  pendingGameKey_.reset();
  // A refused write is answered; the key is kept and stored later.
  return Answer(SyncPushToTalkKey());
}

RemotingResult PremadeVoicePlugin::SyncPushToTalkKey() {
  // Nothing to settle before the account category was applied once.
  if (!currentSettings_.pttKey.has_value()) return {};
  const std::string accountKey = *currentSettings_.pttKey;
  bool gameWins = false;
  // An account key the game client refused is still to be written there,
  // unless the account holds no real key any more.
  if (pendingGameKey_ && !IsRealKey(accountKey)) pendingGameKey_.reset();
  if (pendingGameKey_) {
  } else if (!gameClientPttKey_) {
    // The game client's key is not known: the account's goes there only
    // where it would win anyway (no game running) and is a real key.
    if (gameClientRunning_ || !IsRealKey(accountKey)) return {};
  } else {
    const std::string& gameKey = *gameClientPttKey_;
    if (accountKey == gameKey) return {};
    const bool gameReal = IsRealKey(gameKey);
    const bool accountReal = IsRealKey(accountKey);
    // An empty key or the placeholder never wins over a real key. An
    // account that never stored a key holds the placeholder, which gives
    // way to the game client's key; an account key cleared on purpose ("")
    // is left alone.
    if (!gameReal && !accountReal) return {};
    if (gameReal && accountKey.empty()) return {};
    gameWins = gameReal && (!accountReal || gameClientRunning_);
  }
  if (gameWins) {
    const std::string gameKey = *gameClientPttKey_;
    Log(LogLevel::Always, kLogDbg,
        "PTT key updated by game client, pushing to account settings: %s", gameKey.c_str());
    // Shown at once; stored with this write or, if it is refused, with the
    // next account write or the next retry.
    currentSettings_.pttKey = gameKey;
    pendingAccountKey_ = gameKey;
    RemotingResult written;
    if (std::optional<Api::AccountSettingsCategoryResource> record = BuildAccountSettings()) {
      written = WriteAccountSettings(*record);
    }
    if (pendingAccountKey_) ScheduleRetry();
    return written;
  }
  if (pendingGameKey_ != accountKey) {
    Log(LogLevel::Always, kLogDbg,
        "PTT key updated by account settings, pushing to game client: %s", accountKey.c_str());
  }
  Api::GameInputSettings settings;
  settings.GameEvents.evtPushToTalk = accountKey;
  RemotingResult written = SendRequest(*this, HttpMethod::Patch, kInputSettingsPath, settings);
  if (!written.ok()) {
    if (pendingGameKey_ != accountKey) {
      Log(LogLevel::Error, kLogDbg, "Failed to update ptt key in game settings %s",
          written.message.c_str());
    }
    // The game client keeps its old key, which must not win meanwhile: the
    // account's is written again later.
    pendingGameKey_ = accountKey;
    ScheduleRetry();
    return written;
  }
  pendingGameKey_.reset();
  gameClientPttKey_ = accountKey;
  return written;
}

void PremadeVoicePlugin::PushPushToTalkToVoiceChat() {
  const std::optional<std::string>& key = currentSettings_.pttKey;
  Api::PushToTalkResource next;
  next.pttEnabled = currentSettings_.pttActive && key.has_value() && !key->empty();
  if (next.pttEnabled) next.pttKeyBinding = key;
  pushToTalkPending_ = false;
  if (next == lastSentPushToTalk_) return;
  const RemotingResult sent = VoiceChat::PutPushToTalk(*this, next);
  if (!sent.ok()) {
    // Kept as it was, so that the next call (or the retry) sends again.
    Log(LogLevel::Error, kLogDbg, "Failed to update ptt key in voice-chat %s",
        sent.message.c_str());
    pushToTalkPending_ = true;
    ScheduleRetry();
    return;
  }
  lastSentPushToTalk_ = std::move(next);
}

}  // namespace Kelp::Client
