// Stand-in for the telemetry plugin: records every event posted to
// "/telemetry/v1/events/<name>" with the map of texts it carries.
#ifndef KELP_HOST_STANDINS_TELEMETRY_H_
#define KELP_HOST_STANDINS_TELEMETRY_H_

#include <string>
#include <string_view>
#include <vector>

#include "host/standins/stand_in.h"

namespace Kelp::Host {

struct TelemetryEvent {
  std::string name;
  HostValue properties;  // the body as sent: an object of strings
};

class TelemetryStandIn : public StandIn {
 public:
  static constexpr std::string_view kEventsPrefix = "/telemetry/v1/events/";

  TelemetryStandIn(ReferenceHost& host, WorldJournal& journal);

  const std::vector<TelemetryEvent>& events() const { return events_; }

 private:
  std::vector<TelemetryEvent> events_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_STANDINS_TELEMETRY_H_
