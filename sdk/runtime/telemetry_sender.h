// TelemetrySender: delivers a named telemetry event with flat text
// properties to the client's telemetry resource through the host.
//
// Owned by the plugin base, created at init; send only after init, from the
// plugin's handler thread.
#ifndef KELP_SDK_RUNTIME_TELEMETRY_SENDER_H_
#define KELP_SDK_RUNTIME_TELEMETRY_SENDER_H_

#include <future>
#include <string_view>

#include "sdk/rest/outbound_request.h"
#include "sdk/rest/remoting_result.h"

namespace Kelp {

class PluginBase;

class TelemetrySender {
 public:
  // `plugin` must outlive the sender.
  explicit TelemetrySender(PluginBase& plugin) : plugin_(plugin) {}
  virtual ~TelemetrySender() = default;

  // POSTs the properties, as one structure of string fields, to
  // "/telemetry/v1/events/" followed by `name` as it stands. Blocks for the
  // request; the future is already satisfied when this returns, with the
  // request's result (a failure included: nothing is thrown).
  virtual std::future<RemotingResult> SendEvent(std::string_view name, const TextMap& properties);

 private:
  PluginBase& plugin_;
};

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_TELEMETRY_SENDER_H_
