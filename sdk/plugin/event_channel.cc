#include "sdk/plugin/event_channel.h"

#include <cstddef>

namespace Kelp {

std::string EventChannelName(std::string_view key) {
  std::string channel(kJsonApiEventName);
  std::size_t elements = 1;
  std::size_t limit = 4;
  std::size_t start = 0;
  while (start <= key.size() && elements < limit) {
    std::size_t end = key.find('/', start);
    if (end == std::string_view::npos) end = key.size();
    const std::string_view part = key.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (elements == 1 && part == "tav-platform-config") limit = 6;
    channel += '_';
    channel += part;
    ++elements;
  }
  return channel;
}

}  // namespace Kelp
