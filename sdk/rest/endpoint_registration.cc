#include "sdk/rest/endpoint_registration.h"

namespace Kelp::detail {

const Endpoint* AddEndpoint(TypeRegistry& registry, HttpMethod method, std::string_view path,
                            std::string_view methodName, const EndpointDocumentation& docs,
                            std::vector<EndpointParameter> parameters, TypeRef returns,
                            std::unique_ptr<EndpointInvoker> invoker) {
  FunctionRecord function;
  function.name = FunctionName(method, path);
  function.description = docs.description;
  function.tags = docs.tags;
  function.returns = returns;
  for (const EndpointParameter& parameter : parameters) {
    FunctionArgument argument;
    argument.name = parameter.name;
    argument.description = parameter.description;
    argument.type = parameter.type;
    argument.location = static_cast<std::uint32_t>(parameter.location);
    function.arguments.push_back(std::move(argument));
  }
  auto endpoint = std::make_shared<Endpoint>(
      registry, function.name, method, std::string(methodName), std::string(NormalizePath(path)),
      std::move(parameters), std::move(invoker));
  const Endpoint* registered = endpoint.get();
  function.endpoint = std::move(endpoint);
  return registry.AddFunction(std::move(function)) ? registered : nullptr;
}

}  // namespace Kelp::detail
