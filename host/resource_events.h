// Resource events as the host routes them between plugins: a change of a
// REST resource travels on the event channel derived from the resource's
// path, with a payload of "uri", "eventType" and "data".
#ifndef KELP_HOST_RESOURCE_EVENTS_H_
#define KELP_HOST_RESOURCE_EVENTS_H_

#include <string>
#include <string_view>

#include "host/host_value.h"

namespace Kelp::Host {

// The channel of a resource path: "OnJsonApiEvent" followed by the path's
// non-empty parts, four elements in all (six when the first part is
// "tav-platform-config"), joined with "_". For example
// /tav-lobby/v2/lobby/members travels on OnJsonApiEvent_tav-lobby_v2_lobby.
std::string EventChannelOf(std::string_view path);

// The payload of a resource event: {"uri": path, "eventType": eventType
// ("Create", "Update" or "Delete"), "data": data}.
HostValue ResourceEventPayload(std::string_view path, std::string_view eventType, HostValue data);

}  // namespace Kelp::Host

#endif  // KELP_HOST_RESOURCE_EVENTS_H_
