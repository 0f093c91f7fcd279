#include "host/standins/client_world.h"

#include <utility>

namespace Kelp::Host {
namespace {

constexpr const char* kNames[ClientWorld::kMaxPlayers] = {
    "Ava", "Bram", "Cleo", "Dario", "Esme", "Farid", "Greta", "Hugo", "Ines", "Jonas"};

}  // namespace

ClientWorld::ClientWorld(ReferenceHost& host, std::filesystem::path dataDir)
    : host_(host),
      journal_(host),
      lobby_(host, journal_),
      voiceChat_(host, journal_),
      platformConfig_(host, journal_),
      entitlements_(host, journal_),
      login_(host, journal_),
      summoner_(host, journal_),
      gameFlow_(host, journal_),
      settings_(host, journal_, std::move(dataDir)),
      gameSettings_(host, journal_),
      telemetry_(host, journal_) {
  voiceChat_.SetLocalPuuid(Puuid(0));
}

std::vector<StandIn*> ClientWorld::standIns() {
  return {&lobby_,    &voiceChat_, &platformConfig_, &entitlements_, &login_,
          &summoner_, &gameFlow_,  &settings_,       &gameSettings_, &telemetry_};
}

StandIn* ClientWorld::Find(std::string_view name) {
  for (StandIn* standIn : standIns()) {
    if (standIn->name() == name) return standIn;
  }
  return nullptr;
}

std::string ClientWorld::Puuid(int player) { return "puuid-" + std::to_string(player); }

std::string ClientWorld::DisplayName(int player) {
  return player >= 0 && player < kMaxPlayers ? kNames[player] : "Player " + std::to_string(player);
}

std::uint64_t ClientWorld::SummonerId(int player) {
  return 70000 + static_cast<std::uint64_t>(player);
}

PartyPlayer ClientWorld::Player(int player) {
  return {Puuid(player), DisplayName(player), SummonerId(player),
          player == 0 ? "LEADER" : "MEMBER"};
}

std::size_t ClientWorld::Settle() { return host_.RunReady(); }

void ClientWorld::SignIn() {
  // One step at a time, as the client's plugins come up.
  login_.SetConnected(true);
  Settle();
  summoner_.SetCurrent(kLocalAccountId, Puuid(0));
  Settle();
  entitlements_.SetEntitlements({});
  Settle();
  platformConfig_.SetVoiceEnabled(true);
  platformConfig_.CompleteInitialConfiguration(true);
  Settle();
  settings_.AnnounceReady();
  gameSettings_.Announce();
  Settle();
  voiceChat_.SetCaptureDevices({{"mic-usb", "USB Microphone", true, true, true},
                                {"mic-builtin", "Built-in Microphone", true, false, false}});
  voiceChat_.SetConnected(true);
  Settle();
}

void ClientWorld::FormParty(int size) {
  std::vector<PartyPlayer> players;
  for (int player = 0; player < size; ++player) players.push_back(Player(player));
  lobby_.FormParty(std::string(kPartyId), std::move(players));
  Settle();
}

void ClientWorld::AddToParty(int player) {
  lobby_.AddPlayer(Player(player));
  Settle();
}

void ClientWorld::RemoveFromParty(int player) {
  lobby_.RemovePlayer(Puuid(player));
  Settle();
}

void ClientWorld::JoinVoice(int player) {
  voiceChat_.MemberJoins(kPartyId, Puuid(player));
  Settle();
}

void ClientWorld::LeaveVoice(int player) {
  voiceChat_.MemberLeaves(kPartyId, Puuid(player));
  Settle();
}

void ClientWorld::Speak(int player, std::uint32_t energy) {
  voiceChat_.MemberSpeaks(kPartyId, Puuid(player), energy);
  Settle();
}

void ClientWorld::ConnectVoiceServer() {
  voiceChat_.SetConnected(true);
  Settle();
}

void ClientWorld::DropVoiceServer() {
  voiceChat_.SetConnected(false);
  Settle();
}

void ClientWorld::LoseLogin() {
  login_.SetConnected(false);
  Settle();
}

void ClientWorld::RestoreLogin() {
  login_.SetConnected(true);
  Settle();
}

void ClientWorld::StartGame() {
  gameFlow_.SetPhase("ChampSelect", false);
  Settle();
  gameFlow_.SetPhase("GameStart", true);
  Settle();
  gameFlow_.SetPhase("InProgress", true);
  Settle();
}

void ClientWorld::EndGame() {
  gameFlow_.SetPhase("WaitingForStats", false);
  Settle();
  gameFlow_.SetPhase("Lobby", false);
  Settle();
}

void ClientWorld::SetVoiceFlag(bool enabled) {
  platformConfig_.SetVoiceEnabled(enabled);
  Settle();
}

void ClientWorld::SetVoiceEntitlement(bool granted) {
  entitlements_.SetVoiceEntitlement(granted);
  Settle();
}

bool ClientWorld::HearMicrophone(std::uint32_t energy) {
  const bool reported = voiceChat_.SetMicEnergy(energy);
  Settle();
  return reported;
}

void ClientWorld::BindGameKey(std::string key) {
  gameSettings_.SetPushToTalkKey(std::move(key));
  Settle();
}

bool ClientWorld::Fail(std::string_view name, std::uint32_t status, std::string text) {
  StandIn* standIn = Find(name);
  if (standIn == nullptr) return false;
  standIn->Fail(status, std::move(text));
  return true;
}

bool ClientWorld::Heal(std::string_view name) {
  StandIn* standIn = Find(name);
  if (standIn == nullptr) return false;
  standIn->Heal();
  return true;
}

}  // namespace Kelp::Host
