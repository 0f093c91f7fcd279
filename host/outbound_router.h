// The host's side of the plugin's outbound requests: the stand-in handlers
// that answer them, keyed by method code and path.
#ifndef KELP_HOST_OUTBOUND_ROUTER_H_
#define KELP_HOST_OUTBOUND_ROUTER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_response.h"
#include "host/host_value.h"
#include "sdk/plugin/abi.h"

namespace Kelp::Host {

// One request as the host read it from the plugin's record.
struct OutboundRequest {
  std::uint32_t method = HTTP_METHOD_NONE;
  std::string methodName;  // read only for HTTP_METHOD_NAMED
  std::string path;
  std::vector<HostArgument> arguments;
  std::uint32_t senderHandle = 0;
  // Set when the record was malformed; what could be read is kept.
  std::string error;
  // The plugin's record; valid only while a handler runs, null afterwards.
  const InvokeRequest* record = nullptr;

  // "GET", "PUT", ... (the name for a named method).
  std::string MethodText() const;
  // The value of the first argument, or null when there is none: requests
  // of the SDK carry their parameters as one unnamed argument.
  const HostValue* FirstArgument() const;
};

// Reads the plugin's request record. Null fields read as empty; a malformed
// argument list or value is reported in `error`.
OutboundRequest ReadOutboundRequest(const InvokeRequest& record);

using RequestHandler = std::function<HostAnswer(const OutboundRequest&)>;

// Handlers by (method code, path). A request goes to the handler registered
// for exactly its method and path; failing that, to the prefix handler of
// its method with the longest prefix of its path.
class OutboundRouter {
 public:
  // Registers or replaces the handler of an exact path.
  void Route(std::uint32_t method, std::string path, RequestHandler handler);
  // Registers or replaces the handler of every path starting with `prefix`.
  void RoutePrefix(std::uint32_t method, std::string prefix, RequestHandler handler);
  // The handler for a request, or null.
  const RequestHandler* Find(std::uint32_t method, std::string_view path) const;

 private:
  struct Entry {
    std::uint32_t method;
    std::string path;
    bool prefix;
    RequestHandler handler;
  };
  void Add(Entry entry);

  std::vector<Entry> entries_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_OUTBOUND_ROUTER_H_
