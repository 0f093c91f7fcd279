#include "host/standins/game_flow.h"

#include <utility>

namespace Kelp::Host {

GameFlowStandIn::GameFlowStandIn(ReferenceHost& host, WorldJournal& journal)
    : StandIn(host, journal, "game-flow") {
  Serve(HTTP_METHOD_GET, std::string(kSessionPath),
        [this](const OutboundRequest&) { return HostAnswer::Success(Data()); });
}

HostValue GameFlowStandIn::Data() const {
  return MakeObject({{"phase", phase_}, {"gameClient", MakeObject({{"running", running_}})}});
}

void GameFlowStandIn::SetPhase(std::string phase, bool gameClientRunning) {
  phase_ = std::move(phase);
  running_ = gameClientRunning;
  Note("phase " + phase_ + (running_ ? ", game client running" : ""));
  QueueEvent(std::string(kSessionPath), Data());
}

}  // namespace Kelp::Host
