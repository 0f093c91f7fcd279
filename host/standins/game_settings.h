// Stand-in for the game-settings plugin: the game client's input settings at
// "/tav-game-settings/v1/input-settings", of which the voice service uses the
// push-to-talk binding `GameEvents.evtPushToTalk`. A PATCH merges what it
// sends and queues a change event; so does a key change in the game client.
#ifndef KELP_HOST_STANDINS_GAME_SETTINGS_H_
#define KELP_HOST_STANDINS_GAME_SETTINGS_H_

#include <string>
#include <string_view>

#include "host/standins/stand_in.h"

namespace Kelp::Host {

class GameSettingsStandIn : public StandIn {
 public:
  static constexpr std::string_view kInputSettingsPath = "/tav-game-settings/v1/input-settings";

  GameSettingsStandIn(ReferenceHost& host, WorldJournal& journal);

  // The player binds push-to-talk to `key` in the game client.
  void SetPushToTalkKey(std::string key);
  // Queues a Create event with the input settings as they stand, as the
  // game-settings plugin does when it comes up.
  void Announce();
  // The binding, or "" when none is stored.
  std::string pushToTalkKey() const;
  const HostValue& inputSettings() const { return inputSettings_; }

 private:
  HostValue inputSettings_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_GAME_SETTINGS_H_
