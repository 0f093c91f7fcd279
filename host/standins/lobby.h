// Stand-in for the lobby plugin: holds the player's party and hands out the
// party's voice channel token.
//
// The party's members are published on "/tav-lobby/v2/comms/members" as
// {"partyId", "players": {<puuid>: {"displayName", "puuid", "partyId",
// "summonerId", "role"}}}, players in the order they joined. GET
// "/tav-lobby/v2/comms/token" answers a token string for the current party,
// or 404 while there is no party.
#ifndef KELP_HOST_STANDINS_LOBBY_H_
#define KELP_HOST_STANDINS_LOBBY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/standins/stand_in.h"

namespace Kelp::Host {

struct PartyPlayer {
  std::string puuid;
  std::string displayName;
  std::uint64_t summonerId = 0;
  std::string role = "MEMBER";  // travels as text: "LEADER", "MEMBER", "INVITED", ...
};

class LobbyStandIn : public StandIn {
 public:
  static constexpr std::string_view kMembersPath = "/tav-lobby/v2/comms/members";
  static constexpr std::string_view kTokenPath = "/tav-lobby/v2/comms/token";

  LobbyStandIn(ReferenceHost& host, WorldJournal& journal);

  // Each of these changes the party and queues a members event.
  void FormParty(std::string partyId, std::vector<PartyPlayer> players);
  void AddPlayer(PartyPlayer player);
  // False when no player has that puuid.
  bool RemovePlayer(std::string_view puuid);
  // No party: the members event carries an empty id and no players.
  void Disband();

  // Queues a members event of the current party again.
  void PublishMembers();
  // Queues a members event carrying `data` as it stands (malformed or
  // hostile parties).
  void PublishRaw(HostValue data, std::string eventType = "Update");

  const std::string& partyId() const { return partyId_; }
  const std::vector<PartyPlayer>& players() const { return players_; }
  const PartyPlayer* Player(std::string_view puuid) const;
  // Every token handed out, in order.
  const std::vector<std::string>& tokens() const { return tokens_; }
  HostValue MembersData() const;

 private:
  std::string partyId_;
  std::vector<PartyPlayer> players_;
  std::vector<std::string> tokens_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_LOBBY_H_
