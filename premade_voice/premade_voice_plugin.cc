#include "premade_voice/premade_voice_plugin.h"

#include <string>

#include "premade_voice/routes.h"
#include "premade_voice/voice_chat_calls.h"
#include "premade_voice/voice_records.h"
#include "sdk/binding/conversion.h"
#include "sdk/plugin/event_channel.h"
#include "sdk/plugin/plugin_manager_types.h"

namespace Kelp::Client {
namespace {

// Subscribes `handler` to the events of `path`.
template <class T>
void Follow(PremadeVoicePlugin& plugin, std::string_view path,
            void (PremadeVoicePlugin::*handler)(const ResourceEvent<T>&)) {
  plugin.AddResourceHandler<T>(
      path, [&plugin, handler](const ResourceEvent<T>& event) { (plugin.*handler)(event); });
}

// The resources whose Update events are declared at registration.
constexpr std::string_view kDeclaredEvents[] = {
    "/tav-premade-voice/v1/availability",
    "/tav-premade-voice/v1/participant-records",
    "/tav-premade-voice/v1/settings",
    "/tav-premade-voice/v1/capturedevices",
};

}  // namespace

void PremadeVoicePlugin::RegisterEndpoints() {
  Api::RegisterVoiceRecords(registry(), identifierStem(), documentationTags());
  RegisterVoiceRoutes(*this);
  for (std::string_view path : kDeclaredEvents) {
    ExposedEvent event;
    event.name = EventChannelName(path);
    event.tags = documentationTags();
    event.payload = TypeRefOf<PluginResourceEvent>(registry());
    // A name registered before keeps its first entry.
    (void)registry().AddEvent(std::move(event));
  }
}

bool PremadeVoicePlugin::Start() {
  using P = PremadeVoicePlugin;
  Follow(*this, "/tav-login/v1/session", &P::OnLoginSession);
  Follow(*this, "/tav-settings/v2/ready", &P::LoadSettingsOnReady);
  Follow(*this, "/tav-settings/v2/account/ZEBPreferences/tav-premade-voice",
         &P::OnAccountSettingsEvent);
  Follow(*this, "/tav-settings/v2/local/tav-premade-voice", &P::OnLocalSettingsEvent);
  Follow(*this, "/tav-gameflow/v1/session", &P::OnGameflowSession);
  Follow(*this, "/tav-game-settings/v1/input-settings", &P::OnGameInputSettings);
  Follow(*this, "/entitlements/v1/token", &P::OnEntitlementsToken);
  Follow(*this, VoiceChat::kAudioPropertiesPath, &P::OnAudioProperties);
  Follow(*this, VoiceChat::kSettingsPath, &P::OnVoiceChatSettingsEvent);
  Follow(*this, VoiceChat::kStatePath, &P::OnVoiceState);
  Follow(*this, VoiceChat::kCaptureDevicesPath, &P::OnCaptureDevices);
  Follow(*this, "/tav-lobby/v2/comms/members", &P::OnLobbyMembers);
  Follow(*this, "/tav-platform-config/v1/initial-configuration-complete",
         &P::OnInitialConfigurationComplete);

  currentSession_.SetOwner(*this);
  voiceSessions_.SetOwner(*this);
  voiceSessions_.AddListener([this] { RefreshParticipants(); });
  voiceSessions_.Bind(VoiceChat::kSessionsPath);

  currentSummoner_.SetOwner(*this);
  currentSummoner_.Bind("/tav-summoner/v1/current-summoner");
  return true;
}

void PremadeVoicePlugin::Shutdown() {
  // A running mic test must not leave loopback on in the engine.
  if (micTestInProgress_) (void)EndMicTest();
  currentSession_.Unbind();
  voiceSessions_.Unbind();
  currentSummoner_.Unbind();
  PluginBase::Shutdown();
}

}  // namespace Kelp::Client
