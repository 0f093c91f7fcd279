// Stand-in for the summoner plugin: the signed-in player's account id and
// puuid at "/tav-summoner/v1/current-summoner".
#ifndef KELP_HOST_STANDINS_SUMMONER_H_
#define KELP_HOST_STANDINS_SUMMONER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "host/standins/stand_in.h"

namespace Kelp::Host {

class SummonerStandIn : public StandIn {
 public:
  static constexpr std::string_view kCurrentSummonerPath = "/tav-summoner/v1/current-summoner";

  SummonerStandIn(ReferenceHost& host, WorldJournal& journal);

  // Queues an Update event of the current summoner.
  void SetCurrent(std::uint64_t accountId, std::string puuid);
  const std::string& puuid() const { return puuid_; }
  std::uint64_t accountId() const { return accountId_; }

 private:
  HostValue Data() const;

  std::uint64_t accountId_ = 0;
  std::string puuid_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_SUMMONER_H_
