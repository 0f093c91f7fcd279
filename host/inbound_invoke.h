// Delivery of an inbound request (what the user interface or another plugin
// sends) to one of the plugin's endpoint functions, the way the plugin host
// does it: find the function record in the plugin's API descriptor, call its
// invoke entry with a request record that the host built, copy the response
// and hand it back through the response's own release function.
#ifndef KELP_HOST_INBOUND_INVOKE_H_
#define KELP_HOST_INBOUND_INVOKE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host_value.h"
#include "sdk/plugin/abi.h"

namespace Kelp::Host {

struct InboundRequest {
  std::uint32_t method = HTTP_METHOD_GET;
  std::string methodName;  // for HTTP_METHOD_NAMED
  std::string path;
  std::vector<HostArgument> arguments;
  std::optional<std::string> body;  // bytes; none: no body
  std::string contentType = "application/json";
  std::uint32_t senderHandle = 0;  // 0: the request does not come from a plugin
};

// What the host kept of the plugin's response.
struct InvokeResult {
  // An endpoint function was found and its invoke entry called.
  bool delivered = false;
  std::string functionName;
  bool failed = false;
  std::string error;
  std::uint32_t status = 0;
  std::uint8_t flags = 0;
  std::uint32_t code = 0;
  std::string contentType;
  std::vector<std::pair<std::string, std::string>> headers;
  HostValue value;
  // Breaches of the response contract that the host noticed: an unreadable
  // value, no release function, a record left non-zero by its release.
  std::vector<std::string> problems;
};

// The endpoint function for a request: same method (a record of method 0
// takes any; named methods compare names too) and a path template, or
// without one the function name, that fits the path. Among several, the
// one whose placeholders took the fewest characters wins, the earlier on a
// tie. Null when none fits or the descriptor is null.
const EndpointFunctionRecord* FindEndpoint(const PluginApiDescriptor* descriptor,
                                           std::uint32_t method, std::string_view methodName,
                                           std::string_view path);
// The endpoint function of that name, or null.
const EndpointFunctionRecord* FindEndpointByName(const PluginApiDescriptor* descriptor,
                                                 std::string_view functionName);

// Calls `function`'s invoke entry with `request`. Every value that the host
// passes is built by the host and freed after the call; the response is
// copied and then released through its own release function.
InvokeResult InvokeEndpoint(const EndpointFunctionRecord& function, const InboundRequest& request);

}  // namespace Kelp::Host

#endif  // KELP_HOST_INBOUND_INVOKE_H_
