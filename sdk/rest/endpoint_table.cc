#include "sdk/rest/endpoint_table.h"

#include "sdk/rest/endpoint.h"
#include "sdk/rest/invoke.h"

namespace Kelp {

EndpointTable::EndpointTable(const TypeRegistry& registry) {
  const std::vector<FunctionRecord> functions = registry.Functions();
  records_.resize(functions.size());
  for (std::size_t i = 0; i < functions.size(); ++i) {
    const FunctionRecord& function = functions[i];
    EndpointFunctionRecord& record = records_[i];
    record = EndpointFunctionRecord{};
    ApiFunctionRecord& description = record.description;
    storage_.FillFunction(description, function);
    description.next = i + 1 < functions.size() ? &records_[i + 1].description : nullptr;

    const std::size_t argumentCount = function.arguments.size();
    if (argumentCount > 0) {
      locations_.push_back(std::make_unique<ParameterLocationRecord[]>(argumentCount));
      ParameterLocationRecord* locations = locations_.back().get();
      for (std::size_t a = 0; a < argumentCount; ++a) {
        const std::uint32_t location = function.arguments[a].location;
        locations[a].next = a + 1 < argumentCount ? &locations[a + 1] : nullptr;
        locations[a].location = location >= 1 && location <= 5 ? location : 0;
      }
      record.parameters = locations;
    }

    record.invoke = InvokeEndpoint;
    const auto* endpoint = static_cast<const Endpoint*>(function.endpoint.get());
    if (endpoint != nullptr && Endpoint::IsLive(endpoint)) {
      endpoints_.push_back(function.endpoint);
      description.invoke.context = const_cast<Endpoint*>(endpoint);
      record.path = storage_.Text(endpoint->path());
      const auto method = static_cast<std::uint32_t>(endpoint->method());
      record.method = method >= 1 && method <= 8 ? method : 0;
      record.methodName = storage_.Text(endpoint->methodName());
    } else {
      record.path = storage_.Text({});
      record.methodName = storage_.Text({});
    }
  }
}

}  // namespace Kelp
