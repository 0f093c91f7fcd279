#include "premade_voice/routes.h"

#include <cstdint>
#include <string>

#include "premade_voice/premade_voice_plugin.h"
#include "sdk/rest/endpoint_registration.h"
#include "sdk/rest/http_method.h"

namespace Kelp::Client {

void RegisterVoiceRoutes(PremadeVoicePlugin& plugin) {
  using Method = HttpMethod;
  PremadeVoicePlugin* self = &plugin;
  const auto muted = [] { return BodyParameter("muted", "Non-zero mutes, zero unmutes"); };
  const auto puuid = [] { return PathParameter("puuid", "The player's puuid"); };

  RegisterEndpoint(plugin, Method::Get, "/tav-premade-voice/v1/availability",
                   "Whether voice is available and shown.", {},
                   [self] { return self->GetAvailability(); });
  RegisterEndpoint(plugin, Method::Get, "/tav-premade-voice/v1/participants",
                   "The party players in the voice channel.", {},
                   [self] { return self->GetParticipants(); });
  RegisterEndpoint(plugin, Method::Get, "/tav-premade-voice/v1/participant-records",
                   "The party players in the voice channel with their remembered volume and mute.",
                   {}, [self] { return self->GetParticipantRecords(); });
  RegisterEndpoint(plugin, Method::Get, "/tav-premade-voice/v1/settings",
                   "The local player's voice settings.", {},
                   [self] { return self->GetSettings(); });
  RegisterEndpoint(plugin, Method::Post, "/tav-premade-voice/v1/settings/reset",
                   "Puts the stored voice settings back to their defaults.", {},
                   [self] { return self->ResetSettings(); });
  RegisterEndpoint(plugin, Method::Get, "/tav-premade-voice/v1/capturedevices",
                   "The microphones the voice engine offers.", {},
                   [self] { return self->GetCaptureDevices(); });
  RegisterEndpoint(plugin, Method::Put, "/tav-premade-voice/v1/capturedevices",
                   "Chooses the microphone to use.",
                   {BodyParameter("handle", "The device's handle")},
                   [self](const std::string& handle) { return self->SetCaptureDevice(handle); });
  RegisterEndpoint(plugin, Method::Put, "/tav-premade-voice/v1/participants/{puuid}/mute",
                   "Mutes or unmutes a player.", {puuid(), muted()},
                   [self](const std::string& id, std::int32_t value) {
                     return self->SetParticipantMute(id, value != 0);
                   });
  RegisterEndpoint(plugin, Method::Put, "/tav-premade-voice/v1/participants/{puuid}/volume",
                   "Sets a player's volume.",
                   {puuid(), BodyParameter("volume", "The volume to play the player at")},
                   [self](const std::string& id, std::int32_t volume) {
                     return self->SetParticipantVolume(id, volume);
                   });
  RegisterEndpoint(plugin, Method::Put, "/tav-premade-voice/v1/self/mute",
                   "Mutes or unmutes the local microphone.", {muted()},
                   [self](std::int32_t value) { return self->SetSelfMute(value != 0); });
  RegisterEndpoint(plugin, Method::Put, "/tav-premade-voice/v1/self/micLevel",
                   "Sets the local microphone's level.",
                   {BodyParameter("micLevel", "The microphone level")},
                   [self](std::int32_t level) { return self->SetMicLevel(level); });
  RegisterEndpoint(plugin, Method::Put, "/tav-premade-voice/v1/self/inputMode",
                   "Chooses voice activity or push-to-talk.",
                   {BodyParameter("inputMode", "How transmission is triggered")},
                   [self](Api::InputMode mode) { return self->SetInputMode(mode); });
  RegisterEndpoint(plugin, Method::Put, "/tav-premade-voice/v1/self/activationSensitivity",
                   "Sets the voice-activity sensitivity.",
                   {BodyParameter("sensitivity", "The activation sensitivity")},
                   [self](std::int32_t sensitivity) {
                     return self->SetActivationSensitivity(sensitivity);
                   });
  RegisterEndpoint(plugin, Method::Post, "/tav-premade-voice/v1/gameClientUpdatedPTTKey",
                   "The game client's push-to-talk key changed.",
                   {BodyParameter("newKey", "The key binding text")},
                   [self](const std::string& key) { return self->OnGameClientUpdatedPttKey(key); });
  RegisterEndpoint(plugin, Method::Post, "/tav-premade-voice/v1/session",
                   "Joins the party's voice channel.", {}, [self] { return self->PostSession(); });
  RegisterEndpoint(plugin, Method::Delete, "/tav-premade-voice/v1/session",
                   "Leaves the party's voice channel until the user joins again.", {},
                   [self] { return self->DeleteSession(); });
  RegisterEndpoint(plugin, Method::Get, "/tav-premade-voice/v1/mic-test",
                   "The loopback state and microphone energy of the mic test.", {},
                   [self] { return self->GetMicTest(); });
  RegisterEndpoint(plugin, Method::Post, "/tav-premade-voice/v1/mic-test",
                   "Starts a mic test, which ends by itself after ten seconds.", {},
                   [self] { return self->StartMicTest(); });
  RegisterEndpoint(plugin, Method::Delete, "/tav-premade-voice/v1/mic-test",
                   "Ends the running mic test.", {}, [self] { return self->EndMicTest(); });
  RegisterEndpoint(plugin, Method::Get, "/tav-premade-voice/v1/first-experience",
                   "Whether the voice introductions are still to be shown.", {},
                   [self] { return self->GetFirstExperience(); });
  RegisterEndpoint(plugin, Method::Post, "/tav-premade-voice/v1/first-experience/zeb",
                   "The introduction in the client was shown.", {},
                   [self] { return self->ShowedFirstExperienceInZeb(); });
  RegisterEndpoint(plugin, Method::Post, "/tav-premade-voice/v1/first-experience/game",
                   "The introduction in the game was shown.", {},
                   [self] { return self->ShowedFirstExperienceInGame(); });
  RegisterEndpoint(plugin, Method::Post, "/tav-premade-voice/v1/first-experience/reset",
                   "Shows both introductions again.", {},
                   [self] { return self->ResetFirstExperience(); });
}

}  // namespace Kelp::Client
