#include "host/standins/lobby.h"

#include <algorithm>
#include <utility>

namespace Kelp::Host {
namespace {

// Looks like a signed web token: header, claims and signature, none of which
// may ever show in a log line.
std::string MakeToken(std::string_view partyId, std::size_t serial) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string claims;
  for (unsigned char c : partyId) {
    claims += kHex[c >> 4];
    claims += kHex[c & 15];
  }
  return "eyJhbGciOiJIUzI1NiJ9." + claims + ".c2VjcmV0" + std::to_string(serial);
}

}  // namespace

LobbyStandIn::LobbyStandIn(ReferenceHost& host, WorldJournal& journal)
    : StandIn(host, journal, "lobby") {
  Serve(HTTP_METHOD_GET, std::string(kTokenPath), [this](const OutboundRequest&) {
    if (partyId_.empty()) return HostAnswer::Failure(404, "not in a party");
    tokens_.push_back(MakeToken(partyId_, tokens_.size() + 1));
    Note("handed out a channel token for party " + partyId_);
    return HostAnswer::Success(tokens_.back());
  });
  Serve(HTTP_METHOD_GET, std::string(kMembersPath),
        [this](const OutboundRequest&) { return HostAnswer::Success(MembersData()); });
}

HostValue LobbyStandIn::MembersData() const {
  HostObject players;
  for (const PartyPlayer& player : players_) {
    players.emplace_back(player.puuid, MakeObject({{"displayName", player.displayName},
                                                   {"puuid", player.puuid},
                                                   {"partyId", partyId_},
                                                   {"summonerId", player.summonerId},
                                                   {"role", player.role}}));
  }
  return MakeObject({{"partyId", partyId_}, {"players", std::move(players)}});
}

const PartyPlayer* LobbyStandIn::Player(std::string_view puuid) const {
  for (const PartyPlayer& player : players_) {
    if (player.puuid == puuid) return &player;
  }
  return nullptr;
}

void LobbyStandIn::FormParty(std::string partyId, std::vector<PartyPlayer> players) {
  partyId_ = std::move(partyId);
  players_ = std::move(players);
  Note("party " + partyId_ + " has " + std::to_string(players_.size()) + " player(s)");
  PublishMembers();
}

void LobbyStandIn::AddPlayer(PartyPlayer player) {
  Note(player.displayName + " joined party " + partyId_);
  std::erase_if(players_, [&](const PartyPlayer& old) { return old.puuid == player.puuid; });
  players_.push_back(std::move(player));
  PublishMembers();
}

bool LobbyStandIn::RemovePlayer(std::string_view puuid) {
  const auto found = std::find_if(players_.begin(), players_.end(),
                                  [&](const PartyPlayer& player) { return player.puuid == puuid; });
  if (found == players_.end()) return false;
  Note(found->displayName + " left party " + partyId_);
  players_.erase(found);
  PublishMembers();
  return true;
}

void LobbyStandIn::Disband() {
  Note("party " + partyId_ + " disbanded");
  partyId_.clear();
  players_.clear();
  PublishMembers();
}

void LobbyStandIn::PublishMembers() { QueueEvent(std::string(kMembersPath), MembersData()); }

void LobbyStandIn::PublishRaw(HostValue data, std::string eventType) {
  QueueEvent(std::string(kMembersPath), std::move(data), std::move(eventType));
}

}  // namespace Kelp::Host
