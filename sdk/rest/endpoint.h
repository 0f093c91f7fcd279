// Endpoint: one REST function of the plugin as the dispatch sees it: its
// name, method, path template and compiled route, its parameters (name,
// type, location) and the invoker that converts the bound arguments, calls
// the handler and encodes its reply.
//
// Endpoints are created by RegisterEndpoint (sdk/rest/endpoint_registration.h)
// and owned by the registry's function records. Every live endpoint is listed
// in a process-wide set, so that a context word coming back from the host can
// be checked before it is used.
#ifndef KELP_SDK_REST_ENDPOINT_H_
#define KELP_SDK_REST_ENDPOINT_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/type_registry.h"
#include "sdk/plugin/abi.h"
#include "sdk/rest/http_method.h"
#include "sdk/rest/route.h"

namespace Kelp {

// Where an argument comes from. A parameter with location Any takes a value
// from anywhere; any other location accepts text arguments only from there.
// Named arguments of a request come from the query.
enum class ParameterLocation : std::uint32_t {
  Any = 0,
  Query = 1,
  Path = 2,
  Body = 5,
};

struct EndpointParameter {
  std::string name;
  std::string description;
  ParameterLocation location = ParameterLocation::Any;
  TypeRef type;
  bool optional = false;  // a std::optional parameter
};

class Endpoint;

// Who sent a request: the host handle of the sending plugin (offset 40 of
// the request record), as the host passed it. A handler that takes a
// RequestSender as its first argument receives it; it is not a parameter.
struct RequestSender {
  std::uint32_t hostHandle = 0;
};

// Converts the bound slots to the handler's native arguments, calls the
// handler and fills the response record. One implementation per handler
// signature (sdk/rest/endpoint_registration.h).
class EndpointInvoker {
 public:
  virtual ~EndpointInvoker() = default;
  // `slots` holds one value per parameter (empty when nothing was bound).
  // `response` holds nothing but its release function on entry.
  virtual void Call(const Endpoint& endpoint, std::span<BindingProperty> slots,
                    RequestSender sender, InvokeResponse& response) const = 0;
};

class Endpoint {
 public:
  // `path` is the normalised template; an empty one routes by `name`.
  // `registry` must outlive the endpoint.
  Endpoint(const TypeRegistry& registry, std::string name, HttpMethod method,
           std::string methodName, std::string path, std::vector<EndpointParameter> parameters,
           std::unique_ptr<EndpointInvoker> invoker);
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  // True while an endpoint lives at `context`. Any thread.
  static bool IsLive(const void* context);

  const std::string& name() const { return name_; }
  HttpMethod method() const { return route_.method; }
  const std::string& methodName() const { return route_.methodName; }
  const std::string& path() const { return path_; }
  const Route& route() const { return route_; }
  const std::vector<EndpointParameter>& parameters() const { return parameters_; }
  // The index of the parameter named `name`, or -1.
  int FindParameter(std::string_view name) const;
  // The index of the body parameter, or -1.
  int bodyParameter() const { return bodyParameter_; }
  const TypeRegistry& registry() const { return registry_; }
  const EndpointInvoker& invoker() const { return *invoker_; }

 private:
  const TypeRegistry& registry_;
  std::string name_;
  std::string path_;
  Route route_;
  std::vector<EndpointParameter> parameters_;
  int bodyParameter_ = -1;
  std::unique_ptr<EndpointInvoker> invoker_;
};

}  // namespace Kelp

#endif  // KELP_SDK_REST_ENDPOINT_H_
