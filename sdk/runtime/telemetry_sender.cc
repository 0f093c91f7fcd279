#include "sdk/runtime/telemetry_sender.h"

#include <string>

namespace Kelp {

std::future<RemotingResult> TelemetrySender::SendEvent(std::string_view name,
                                                       const TextMap& properties) {
  std::promise<RemotingResult> promise;
  std::future<RemotingResult> future = promise.get_future();
  std::string url = "/telemetry/v1/events/";
  url += name;
  promise.set_value(SendRequest(plugin_, HttpMethod::Post, url, properties));
  return future;
}

}  // namespace Kelp
