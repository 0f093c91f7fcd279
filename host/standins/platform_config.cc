#include "host/standins/platform_config.h"

namespace Kelp::Host {

PlatformConfigStandIn::PlatformConfigStandIn(ReferenceHost& host, WorldJournal& journal)
    : StandIn(host, journal, "platform-config") {
  Serve(HTTP_METHOD_GET, std::string(kVoiceEnabledPath), [this](const OutboundRequest&) {
    if (!voiceEnabled_) return HostAnswer::Failure(404, "Voice/Enabled is not configured");
    return HostAnswer::Success(*voiceEnabled_);
  });
}

void PlatformConfigStandIn::SetVoiceEnabled(bool enabled) {
  voiceEnabled_ = enabled;
  Note(enabled ? "Voice/Enabled is on" : "Voice/Enabled is off");
  QueueEvent(std::string(kVoiceEnabledPath), enabled);
}

void PlatformConfigStandIn::RemoveVoiceEnabled() {
  const bool last = voiceEnabled_.value_or(false);
  voiceEnabled_.reset();
  Note("Voice/Enabled removed");
  QueueEvent(std::string(kVoiceEnabledPath), last, "Delete");
}

void PlatformConfigStandIn::CompleteInitialConfiguration(bool complete) {
  Note(complete ? "initial configuration complete" : "initial configuration incomplete");
  QueueEvent(std::string(kInitialConfigurationPath), complete);
}

}  // namespace Kelp::Host
