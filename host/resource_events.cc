#include "host/resource_events.h"

#include <vector>

namespace Kelp::Host {

std::string EventChannelOf(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  const std::size_t elements = !parts.empty() && parts[0] == "tav-platform-config" ? 6 : 4;
  std::string channel = "OnJsonApiEvent";
  for (std::size_t i = 0; i < parts.size() && i + 1 < elements; ++i) {
    channel += '_';
    channel += parts[i];
  }
  return channel;
}

HostValue ResourceEventPayload(std::string_view path, std::string_view eventType, HostValue data) {
  return MakeObject({{"uri", path}, {"eventType", eventType}, {"data", std::move(data)}});
}

}  // namespace Kelp::Host
