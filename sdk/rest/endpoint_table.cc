#include "sdk/rest/endpoint_table.h"

#include "sdk/rest/endpoint.h"
#include "sdk/rest/invoke.h"

namespace Kelp {
namespace {

bool HasRegisteredName(BindingTypeCode code) {
  return code == BindingTypeCode::Vector || code == BindingTypeCode::Enum ||
         code == BindingTypeCode::Struct || code == BindingTypeCode::Map;
}

const TypeRef& Reported(const FunctionArgument& argument) {
  return argument.describedType.code != BindingTypeCode::None ? argument.describedType
                                                              : argument.type;
}

}  // namespace

EndpointTable::EndpointTable(const TypeRegistry& registry) {
  const std::vector<FunctionRecord> functions = registry.Functions();
  records_.resize(functions.size());
  for (std::size_t i = 0; i < functions.size(); ++i) {
    const FunctionRecord& function = functions[i];
    EndpointFunctionRecord& record = records_[i];
    record = EndpointFunctionRecord{};
    ApiFunctionRecord& description = record.description;
    description.next = i + 1 < functions.size() ? &records_[i + 1].description : nullptr;
    description.name = Keep(function.name);
    description.nameSpace = Keep(function.nameSpace);
    description.returnType = BoundaryTypeCode(function.returns.code);
    description.returnElementType = BoundaryTypeCode(function.returns.elementCode);
    description.returnTypeName = RegisteredName(function.returns);
    description.description = Keep(function.description);
    description.help = Keep(function.help);
    description.threadSafe = function.threadSafe ? 1 : 0;
    description.async = function.async ? RegisteredName(function.returns) : Keep({});

    const std::size_t argumentCount = function.arguments.size();
    if (argumentCount > 0) {
      arguments_.push_back(std::make_unique<ApiArgumentRecord[]>(argumentCount));
      locations_.push_back(std::make_unique<ParameterLocationRecord[]>(argumentCount));
      ApiArgumentRecord* arguments = arguments_.back().get();
      ParameterLocationRecord* locations = locations_.back().get();
      for (std::size_t a = 0; a < argumentCount; ++a) {
        const FunctionArgument& argument = function.arguments[a];
        const TypeRef& type = Reported(argument);
        arguments[a] = ApiArgumentRecord{a + 1 < argumentCount ? &arguments[a + 1] : nullptr,
                                         Keep(argument.name),
                                         Keep(argument.description),
                                         BoundaryTypeCode(type.code),
                                         BoundaryTypeCode(type.elementCode),
                                         RegisteredName(type),
                                         static_cast<std::uint8_t>(argument.optional ? 1 : 0)};
        locations[a].next = a + 1 < argumentCount ? &locations[a + 1] : nullptr;
        locations[a].location =
            argument.location >= 1 && argument.location <= 5 ? argument.location : 0;
      }
      description.arguments = arguments;
      description.argumentCount = static_cast<std::uint32_t>(argumentCount);
      record.parameters = locations;
    }
    if (!function.tags.empty()) {
      tags_.push_back(std::make_unique<const char*[]>(function.tags.size()));
      for (std::size_t t = 0; t < function.tags.size(); ++t) {
        tags_.back()[t] = Keep(function.tags[t]);
      }
      description.tags = tags_.back().get();
      description.tagCount = static_cast<std::uint32_t>(function.tags.size());
    }

    record.invoke = InvokeEndpoint;
    const auto* endpoint = static_cast<const Endpoint*>(function.endpoint.get());
    if (endpoint != nullptr && Endpoint::IsLive(endpoint)) {
      endpoints_.push_back(function.endpoint);
      description.invoke.context = const_cast<Endpoint*>(endpoint);
      record.path = Keep(endpoint->path());
      const auto method = static_cast<std::uint32_t>(endpoint->method());
      record.method = method >= 1 && method <= 8 ? method : 0;
      record.methodName = Keep(endpoint->methodName());
    } else {
      record.path = Keep({});
      record.methodName = Keep({});
    }
  }
}

const char* EndpointTable::Keep(const std::string& text) {
  texts_.push_back(text);
  return texts_.back().c_str();
}

const char* EndpointTable::RegisteredName(const TypeRef& type) {
  if (HasRegisteredName(type.code) && type.record != nullptr) return Keep(type.record->name);
  return Keep({});
}

}  // namespace Kelp
