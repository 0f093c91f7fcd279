#include "host/standins/telemetry.h"

#include "host/standins/json_file.h"

namespace Kelp::Host {

TelemetryStandIn::TelemetryStandIn(ReferenceHost& host, WorldJournal& journal)
    : StandIn(host, journal, "telemetry") {
  Serve(
      HTTP_METHOD_POST, std::string(kEventsPrefix),
      [this](const OutboundRequest& request) {
        const HostValue* body = request.FirstArgument();
        TelemetryEvent event{request.path.substr(kEventsPrefix.size()),
                             body == nullptr ? HostValue() : *body};
        Note("event " + event.name + " " + WriteJsonText(event.properties));
        events_.push_back(std::move(event));
        return HostAnswer::Success();
      },
      true);
}

}  // namespace Kelp::Host
