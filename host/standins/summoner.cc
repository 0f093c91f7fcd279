#include "host/standins/summoner.h"

#include <utility>

namespace Kelp::Host {

SummonerStandIn::SummonerStandIn(ReferenceHost& host, WorldJournal& journal)
    : StandIn(host, journal, "summoner") {
  Serve(HTTP_METHOD_GET, std::string(kCurrentSummonerPath), [this](const OutboundRequest&) {
    if (puuid_.empty()) return HostAnswer::Failure(404, "no summoner signed in");
    return HostAnswer::Success(Data());
  });
}

HostValue SummonerStandIn::Data() const {
  return MakeObject({{"accountId", accountId_}, {"puuid", puuid_}});
}

void SummonerStandIn::SetCurrent(std::uint64_t accountId, std::string puuid) {
  accountId_ = accountId;
  puuid_ = std::move(puuid);
  Note("current summoner " + puuid_);
  QueueEvent(std::string(kCurrentSummonerPath), Data());
}

}  // namespace Kelp::Host
