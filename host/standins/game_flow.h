// Stand-in for the game-flow plugin: the phase of the player's game and
// whether the game client runs, at "/tav-gameflow/v1/session".
#ifndef KELP_HOST_STANDINS_GAME_FLOW_H_
#define KELP_HOST_STANDINS_GAME_FLOW_H_

#include <string>
#include <string_view>

#include "host/standins/stand_in.h"

namespace Kelp::Host {

class GameFlowStandIn : public StandIn {
 public:
  static constexpr std::string_view kSessionPath = "/tav-gameflow/v1/session";

  GameFlowStandIn(ReferenceHost& host, WorldJournal& journal);

  // Queues an Update event with `phase` (its text, "Lobby", "GameStart",
  // ...; any text travels as given) and the game client's `running`.
  void SetPhase(std::string phase, bool gameClientRunning);
  const std::string& phase() const { return phase_; }

 private:
  HostValue Data() const;

  std::string phase_ = "None";
  bool running_ = false;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_GAME_FLOW_H_
