// Names of the host's event channels.
//
// Resource events travel on channels named after the first parts of a
// resource path: "/tav-lobby/v2/lobby/members" and "/tav-lobby/v2/lobby" are
// both on "OnJsonApiEvent_tav-lobby_v2_lobby". Every resource event is also
// sent on the catch-all channel "OnJsonApiEvent".
#ifndef KELP_SDK_PLUGIN_EVENT_CHANNEL_H_
#define KELP_SDK_PLUGIN_EVENT_CHANNEL_H_

#include <string>
#include <string_view>

namespace Kelp {

inline constexpr std::string_view kJsonApiEventName = "OnJsonApiEvent";

// Splits `key` at "/" (empty parts dropped), puts "OnJsonApiEvent" in front,
// keeps the first four elements (six when the first part is
// "tav-platform-config", whose resources sit two levels deeper) and joins
// them with "_". A key without parts gives "OnJsonApiEvent".
std::string EventChannelName(std::string_view key);

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_EVENT_CHANNEL_H_
