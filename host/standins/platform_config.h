// Stand-in for the platform configuration plugin: the dynamic configuration
// flag "Voice/Enabled" (a bool answered at its path and announced by events
// on the same path) and the initial-configuration-complete event.
#ifndef KELP_HOST_STANDINS_PLATFORM_CONFIG_H_
#define KELP_HOST_STANDINS_PLATFORM_CONFIG_H_

#include <optional>
#include <string_view>

#include "host/standins/stand_in.h"

namespace Kelp::Host {

class PlatformConfigStandIn : public StandIn {
 public:
  static constexpr std::string_view kVoiceEnabledPath =
      "/tav-platform-config/v1/namespaces/Voice/Enabled";
  static constexpr std::string_view kInitialConfigurationPath =
      "/tav-platform-config/v1/initial-configuration-complete";

  PlatformConfigStandIn(ReferenceHost& host, WorldJournal& journal);

  // Sets the flag and queues its Update event. Nothing set: the flag is
  // missing and its GET answers 404.
  void SetVoiceEnabled(bool enabled);
  // The flag is removed from the configuration: a Delete event carrying
  // its last value follows.
  void RemoveVoiceEnabled();
  std::optional<bool> voiceEnabled() const { return voiceEnabled_; }
  // Queues the initial-configuration-complete event carrying `complete`.
  void CompleteInitialConfiguration(bool complete = true);

 private:
  std::optional<bool> voiceEnabled_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_PLATFORM_CONFIG_H_
