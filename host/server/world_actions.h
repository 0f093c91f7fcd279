// What a person (through the panel's control routes) or a scenario file may
// make the stand-ins do: one table of named actions over a ClientWorld,
// each taking its arguments from a JSON object and checking them.
//
//   sign-in                      the start of the player's session
//   form-party {size}            players 0 to size-1 form the party (1-10)
//   add-member {player}          player 1-9 joins the party
//   remove-member {player}       player 1-9 leaves it
//   join-voice {player}          player 1-9 enters the voice channel
//   leave-voice {player}         ... leaves it
//   speak {player, energy}       ... speaks (energy 0 is silence)
//   mic-energy {energy}          the microphone hears something (mic test)
//   bind-game-key {key}          push-to-talk bound in the game client
//   voice-server {connected}     the voice server connects or drops
//   login {connected}            the platform connection is lost or back
//   start-game / end-game        the game flow runs a game
//   voice-flag {enabled}         the configuration flag that switches voice
//   entitlement {granted}        the player's voice entitlement
//   fail {standIn, status, text} every request to that stand-in fails
//   heal {standIn}               ... until this
//   advance-clock {seconds}      moves the virtual clock (0-3600 s)
#ifndef KELP_HOST_SERVER_WORLD_ACTIONS_H_
#define KELP_HOST_SERVER_WORLD_ACTIONS_H_

#include <span>
#include <string>
#include <string_view>

#include "host/host_value.h"
#include "host/server/event_feed.h"
#include "host/server/web_api.h"
#include "host/standins/client_world.h"

namespace Kelp::Host {

struct WorldAction {
  const char* name;
  const char* arguments;    // "{player, energy}", "" for none
  const char* description;  // one line
  // Checks `arguments` and acts; returns an error naming the wrong argument
  // and what it must be, or "" on success.
  std::string (*run)(ClientWorld& world, const HostValue& arguments);
};

std::span<const WorldAction> WorldActions();
const WorldAction* FindWorldAction(std::string_view name);

// The world as the panel shows it: party, voice channel, game phase, flags
// and failing stand-ins.
HostValue WorldState(ClientWorld& world);

// Serves the actions to the panel: GET /host/world answers WorldState,
// POST /host/world/<action> runs one with the JSON body as its arguments
// and answers the new state (400 with the error when an argument is
// wrong). `world` must outlive `api`.
void AddWorldRoutes(WebApi& api, ClientWorld& world);

// Streams the stand-ins' notes ("voice-chat: joined channel party-1") into
// a feed as {"kind": "standin", "time", "who", "text", "warning"}; Forward
// sends those added since its last call.
class WorldNoteForwarder {
 public:
  WorldNoteForwarder(ClientWorld& world, EventFeed& feed) : world_(world), feed_(feed) {}
  void Forward();

 private:
  ClientWorld& world_;
  EventFeed& feed_;
  std::size_t forwarded_ = 0;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_SERVER_WORLD_ACTIONS_H_
