#include "host/inbound_invoke.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "host/host_binding.h"
#include "sdk/rest/url_template.h"

namespace Kelp::Host {
namespace {

std::string TextOrEmpty(const char* text) { return text == nullptr ? std::string() : text; }

std::span<const EndpointFunctionRecord> Functions(const PluginApiDescriptor* descriptor) {
  if (descriptor == nullptr || descriptor->functions == nullptr) return {};
  return {descriptor->functions, descriptor->functionCount};
}

bool MethodFits(const EndpointFunctionRecord& function, std::uint32_t method,
                std::string_view methodName) {
  if (function.method == HTTP_METHOD_NONE) return true;
  if (function.method != method) return false;
  return method != HTTP_METHOD_NAMED || TextOrEmpty(function.methodName) == methodName;
}

std::size_t CapturedLength(std::span<const std::string_view> captures) {
  std::size_t length = 0;
  for (const std::string_view capture : captures) length += capture.size();
  return length;
}

void CopyResponse(const InvokeResponse& response, InvokeResult& result) {
  result.failed = response.result.failed != 0;
  result.error = TextOrEmpty(response.result.error);
  result.status = response.status;
  result.flags = response.flags;
  result.code = response.code;
  result.contentType = TextOrEmpty(response.contentType);
  if (response.headers == nullptr && response.headerCount != 0) {
    result.problems.push_back("null header array with count " +
                              std::to_string(response.headerCount));
  }
  for (std::uint32_t i = 0; response.headers != nullptr && i < response.headerCount; ++i) {
    result.headers.emplace_back(TextOrEmpty(response.headers[i].name),
                                TextOrEmpty(response.headers[i].value));
  }
  BindingValue value;
  std::memcpy(&value, &response.result.value, sizeof value);
  HostValueResult copy = FromBinding(value);
  if (copy.ok()) {
    result.value = std::move(copy.value);
  } else {
    result.problems.push_back("unreadable response value: " + copy.error);
  }
}

void ReleaseResponse(InvokeResponse& response, InvokeResult& result) {
  if (response.release == nullptr) {
    result.problems.push_back("response has no release function");
    return;
  }
  response.release(&response);
  static const InvokeResponse kZero{};
  if (std::memcmp(&response, &kZero, sizeof response) != 0) {
    result.problems.push_back("release left the response record non-zero");
  }
}

}  // namespace

const EndpointFunctionRecord* FindEndpoint(const PluginApiDescriptor* descriptor,
                                           std::uint32_t method, std::string_view methodName,
                                           std::string_view path) {
  const EndpointFunctionRecord* best = nullptr;
  std::size_t bestLength = std::numeric_limits<std::size_t>::max();
  std::vector<std::string_view> captures;
  for (const EndpointFunctionRecord& function : Functions(descriptor)) {
    if (!MethodFits(function, method, methodName)) continue;
    const char* pathTemplate = function.path != nullptr && function.path[0] != '\0'
                                   ? function.path
                                   : function.description.name;
    if (pathTemplate == nullptr) continue;
    // The plugin's own matcher, so that host and plugin agree on every path.
    if (!UrlTemplate(pathTemplate).Match(path, captures)) continue;
    const std::size_t length = CapturedLength(captures);
    if (length < bestLength) {
      best = &function;
      bestLength = length;
    }
  }
  return best;
}

const EndpointFunctionRecord* FindEndpointByName(const PluginApiDescriptor* descriptor,
                                                 std::string_view functionName) {
  for (const EndpointFunctionRecord& function : Functions(descriptor)) {
    if (function.description.name != nullptr && function.description.name == functionName) {
      return &function;
    }
  }
  return nullptr;
}

InvokeResult InvokeEndpoint(const EndpointFunctionRecord& function, const InboundRequest& request) {
  InvokeResult result;
  result.functionName = TextOrEmpty(function.description.name);
  if (function.invoke == nullptr) {
    result.failed = true;
    result.error = "Function " + result.functionName + " has no invoke entry";
    result.status = 500;
    return result;
  }

  std::vector<std::unique_ptr<LentBinding>> values;
  std::vector<InvokeArgument> arguments;
  for (const HostArgument& argument : request.arguments) {
    values.push_back(std::make_unique<LentBinding>(argument.value));
    InvokeArgument record{};
    record.name = argument.name ? argument.name->c_str() : nullptr;
    record.value = values.back()->value();
    arguments.push_back(record);
  }

  InvokeRequest record{};
  record.method = request.method;
  record.path = request.path.c_str();
  record.arguments = arguments.empty() ? nullptr : arguments.data();
  record.argumentCount = static_cast<std::uint32_t>(arguments.size());
  record.function = &function.description.invoke;
  record.contentType = request.contentType.c_str();
  if (request.body) {
    record.body = reinterpret_cast<const std::uint8_t*>(request.body->data());
    record.bodyLength = static_cast<std::uint32_t>(request.body->size());
  }
  record.senderHandle = request.senderHandle;
  record.methodName = request.methodName.c_str();

  InvokeResponse response{};
  function.invoke(&response, &record);
  result.delivered = true;
  CopyResponse(response, result);
  ReleaseResponse(response, result);
  return result;
}

}  // namespace Kelp::Host
