// Trying again what another plugin refused.
//
// A refusal is answered where a request of the user caused it, but the
// service does not stop there: what the player chose, and what the other
// plugins must hold for the service's state to be true (the user out of a
// channel they left, the remembered volume playing, the stored settings in
// the engine), is tried again on one timer whose wait doubles up to a
// bound, and stops once nothing is left.
#include <algorithm>
#include <string>
#include <vector>

#include "premade_voice/premade_voice_plugin.h"
#include "premade_voice/voice_chat_calls.h"
#include "sdk/runtime/logger.h"

namespace Kelp::Client {

void PremadeVoicePlugin::ScheduleRetry() {
  if (retryDelay_ > 0) return;  // armed: the next try comes anyway
  retryDelay_ = kFirstRetrySeconds;
  SetTimer(kRetryTimer, retryDelay_, [this] { OnRetryTimer(); });
}

void PremadeVoicePlugin::OnRetryTimer() {
  RetryRefused();
  if (!RetryPending()) {
    retryDelay_ = 0;
    CancelTimer(kRetryTimer);
    return;
  }
  // Setting the timer again starts a series with the longer wait.
  retryDelay_ = std::min(retryDelay_ * 2, kLongestRetrySeconds);
  SetTimer(kRetryTimer, retryDelay_, [this] { OnRetryTimer(); });
}

bool PremadeVoicePlugin::RetryPending() const {
  return !pendingLeaves_.empty() || !unappliedChoices_.empty() || pendingAccountKey_ ||
         pendingGameKey_ || accountUnread_ || localUnread_ || voiceFlagUnread_ ||
         pushToTalkPending_ || (settingsPushPending_ && availability_.connectedToVoiceServer) ||
         (WantsAutoJoin() && availability_.connectedToVoiceServer);
}

void PremadeVoicePlugin::RetryRefused() {
  RetryLeaves();
  if (voiceFlagUnread_ && ReadVoiceFlag()) ApplyVoiceEnabled();
  if (accountUnread_) (void)ReadAccountCategory();
  if (localUnread_) (void)ReadLocalCategory();
  // A join waits for voice-chat to be connected: its state event tries then.
  if (WantsAutoJoin() && availability_.connectedToVoiceServer) {
    (void)JoinChannel(lastPartyId_);
  }
  RetryParticipants();
  if (pendingAccountKey_) {
    if (std::optional<Api::AccountSettingsCategoryResource> record = BuildAccountSettings()) {
      (void)WriteAccountSettings(*record);
    }
  }
  if (pendingGameKey_) (void)SyncPushToTalkKey();
  if (settingsPushPending_ && availability_.connectedToVoiceServer) {
    RestoreChosenSettings();
    (void)PushSettingsToVoiceChat();
  }
  if (pushToTalkPending_) PushPushToTalkToVoiceChat();
  if (RetryPending()) ScheduleRetry();
}

void PremadeVoicePlugin::RetryLeaves() {
  std::vector<std::string> left;
  for (const std::string& channel : pendingLeaves_) {
    // Joined again meanwhile (a reconnect's rejoin): nothing to leave.
    if (channel == joinedChannelId_) continue;
    // No longer listed by voice-chat: the user is out already.
    if (voiceSessions_.hasValue() &&
        std::none_of(voiceSessions_.value().begin(), voiceSessions_.value().end(),
                     [&](const Api::SessionResource& session) { return session.id == channel; })) {
      Log(LogLevel::Always, kLogDbg, "Left channel %s", channel.c_str());
      continue;
    }
    if (VoiceChat::LeaveSession(*this, channel).ok()) {
      Log(LogLevel::Always, kLogDbg, "Left channel %s", channel.c_str());
      continue;
    }
    left.push_back(channel);
  }
  pendingLeaves_ = std::move(left);
}

}  // namespace Kelp::Client
