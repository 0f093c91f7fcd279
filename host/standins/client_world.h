// The client around the plugin: every stand-in for another plugin installed
// on one ReferenceHost, with the operations a test, the demo or a control
// panel needs to play the player's session (sign in, form a party, let
// members join the voice channel and speak, start a game, switch voice off,
// make a plugin fail).
//
// The stand-ins queue their events on the host loop; each operation below
// queues what it changes and then runs the loop (Settle) so that the plugin
// has seen everything when the operation returns. The stand-ins themselves
// (lobby(), voiceChat(), ...) only queue: use them directly to combine
// several changes before one Settle.
//
// Players are numbered: 0 is the local player, 1 to 9 other players. Their
// puuids ("puuid-0" ...), names and summoner ids are fixed, so that tests
// can name them.
//
// Example:
//   ReferenceHost host(library.entry());
//   ClientWorld world(host, dataDir);
//   host.Load(); host.Init();
//   world.SignIn();          // login, summoner, flag on, settings, voice server
//   world.FormParty(3);      // the plugin joins the channel of "party-1"
//   world.JoinVoice(1);      // player 1 appears among the participants
//   world.Speak(1, 40);
#ifndef KELP_HOST_STANDINS_CLIENT_WORLD_H_
#define KELP_HOST_STANDINS_CLIENT_WORLD_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/standins/entitlements.h"
#include "host/standins/game_flow.h"
#include "host/standins/game_settings.h"
#include "host/standins/lobby.h"
#include "host/standins/login.h"
#include "host/standins/platform_config.h"
#include "host/standins/settings.h"
#include "host/standins/stand_in.h"
#include "host/standins/summoner.h"
#include "host/standins/telemetry.h"
#include "host/standins/voice_chat.h"

namespace Kelp::Host {

class ClientWorld {
 public:
  static constexpr int kMaxPlayers = 10;
  static constexpr std::uint64_t kLocalAccountId = 4242;
  static constexpr std::string_view kPartyId = "party-1";

  // Installs every stand-in on `host`. The settings are kept under
  // `dataDir` (in memory when it is empty). `host` must outlive the world;
  // the world may be made before or after the plugin is loaded.
  explicit ClientWorld(ReferenceHost& host, std::filesystem::path dataDir = {});
  ClientWorld(const ClientWorld&) = delete;
  ClientWorld& operator=(const ClientWorld&) = delete;

  ReferenceHost& host() { return host_; }
  const WorldJournal& journal() const { return journal_; }
  // Keeps only the newest `limit` notes (0: all), as a long-running server
  // must.
  void LimitJournal(std::size_t limit) { journal_.set_limit(limit); }
  LobbyStandIn& lobby() { return lobby_; }
  VoiceChatStandIn& voiceChat() { return voiceChat_; }
  PlatformConfigStandIn& platformConfig() { return platformConfig_; }
  EntitlementsStandIn& entitlements() { return entitlements_; }
  LoginStandIn& login() { return login_; }
  SummonerStandIn& summoner() { return summoner_; }
  GameFlowStandIn& gameFlow() { return gameFlow_; }
  SettingsStandIn& settings() { return settings_; }
  GameSettingsStandIn& gameSettings() { return gameSettings_; }
  TelemetryStandIn& telemetry() { return telemetry_; }
  // Every stand-in, in a fixed order; their names are "lobby",
  // "voice-chat", "platform-config", "entitlements", "login", "summoner",
  // "game-flow", "settings", "game-settings", "telemetry".
  std::vector<StandIn*> standIns();
  // The stand-in of that name, or null.
  StandIn* Find(std::string_view name);

  // ---- Players ---------------------------------------------------------
  static std::string Puuid(int player);        // "puuid-<player>"
  static std::string DisplayName(int player);  // "Ava" for 0, "Bram" for 1, ...
  static std::uint64_t SummonerId(int player);
  static PartyPlayer Player(int player);  // the local player leads

  // Runs the host loop until nothing is due now; returns how many tasks ran.
  std::size_t Settle();

  // The start of a session: the player signs in (login and current
  // summoner, no entitlements), the platform configuration completes with
  // Voice/Enabled on, the settings plugin is ready, voice-chat reports two
  // capture devices (the first current) and connects to the voice server.
  void SignIn();

  // ---- Party and channel -----------------------------------------------
  // Players 0 to size-1 form kPartyId.
  void FormParty(int size);
  void AddToParty(int player);
  void RemoveFromParty(int player);
  // Player `player` (not 0) enters or leaves the party's voice channel, or
  // speaks with `energy` (0: silent). In one sessions event each.
  void JoinVoice(int player);
  void LeaveVoice(int player);
  void Speak(int player, std::uint32_t energy);

  // ---- The rest of the client -------------------------------------------
  void ConnectVoiceServer();
  void DropVoiceServer();
  // Platform connection lost and back (the login session's `connected`).
  void LoseLogin();
  void RestoreLogin();
  // Champion select, then the game starts (the game client runs).
  void StartGame();
  // The game ends: waiting for stats, then back in the lobby.
  void EndGame();
  void SetVoiceFlag(bool enabled);
  void SetVoiceEntitlement(bool granted);
  // The local microphone hears `energy`; reported only while voice-chat's
  // loopback is on (a mic test runs). Returns whether it was reported.
  bool HearMicrophone(std::uint32_t energy);
  // The player binds push-to-talk to `key` in the game client.
  void BindGameKey(std::string key);
  // Every request to the stand-in named `name` fails with `status` and
  // `text` (false when there is no such stand-in); Heal ends it.
  bool Fail(std::string_view name, std::uint32_t status, std::string text);
  bool Heal(std::string_view name);

 private:
  ReferenceHost& host_;
  WorldJournal journal_;
  LobbyStandIn lobby_;
  VoiceChatStandIn voiceChat_;
  PlatformConfigStandIn platformConfig_;
  EntitlementsStandIn entitlements_;
  LoginStandIn login_;
  SummonerStandIn summoner_;
  GameFlowStandIn gameFlow_;
  SettingsStandIn settings_;
  GameSettingsStandIn gameSettings_;
  TelemetryStandIn telemetry_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_CLIENT_WORLD_H_
