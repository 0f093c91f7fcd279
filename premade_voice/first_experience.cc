// Whether the voice introductions in the client and in the game are still
// to be shown, stored with the account settings. The routes only write the
// account category; `firstExperience_` follows its change events.
#include <optional>
#include <string_view>

#include "premade_voice/premade_voice_plugin.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/runtime/logger.h"

namespace Kelp::Client {
namespace {

constexpr std::string_view kFirstExperiencePath = "/tav-premade-voice/v1/first-experience";

}  // namespace

void PremadeVoicePlugin::ApplyFirstExperience(
    const Api::AccountSettingsCategoryDataResource& data) {
  Api::FirstExperience next;
  next.showFirstExperienceInZEB = data.showFirstExperienceInZEB;
  next.showFirstExperienceInGame = data.showFirstExperienceInGame;
  if (next == firstExperience_) return;
  firstExperience_ = next;
  (void)PublishResourceEvent(*this, kFirstExperiencePath, firstExperience_);
}

Reply<> PremadeVoicePlugin::WriteFirstExperience(const char* logText, std::optional<bool> inZeb,
                                                 std::optional<bool> inGame) {
  Log(LogLevel::Always, kLogDbg, "%s", logText);
  if (!accountCategory_.loaded() && !ReadAccountCategory()) return CategoryNotLoaded("Account");
  std::optional<Api::AccountSettingsCategoryResource> record = BuildAccountSettings();
  if (inZeb) record->data->showFirstExperienceInZEB = *inZeb;
  if (inGame) record->data->showFirstExperienceInGame = *inGame;
  // Answered once stored; the flags follow with the change event.
  return Answer(WriteAccountSettings(*record));
}

Reply<> PremadeVoicePlugin::ShowedFirstExperienceInZeb() {
  return WriteFirstExperience("Registering showed first experience in ZEB with account settings",
                              false, std::nullopt);
}

Reply<> PremadeVoicePlugin::ShowedFirstExperienceInGame() {
  return WriteFirstExperience("Registering showed first experience in game with account settings",
                              std::nullopt, false);
}

Reply<> PremadeVoicePlugin::ResetFirstExperience() {
  return WriteFirstExperience("Resetting first experience values in account settings", true, true);
}

}  // namespace Kelp::Client
