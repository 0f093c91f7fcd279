#include "sdk/rest/invoke.h"

#include <span>
#include <string_view>
#include <vector>

#include "sdk/plugin/entry_guard.h"
#include "sdk/rest/argument_binder.h"
#include "sdk/rest/endpoint.h"
#include "sdk/rest/invoke_response.h"

namespace Kelp {
namespace {

constexpr std::string_view kInvalidFunction = "Invalid function";

// The endpoint a request names, or null. The block is the host's; the
// context word in it is only trusted once it is known as a live endpoint.
const Endpoint* EndpointOf(const InvokeRequest& request) {
  if (request.function == nullptr) return nullptr;
  const void* context = request.function->context;
  return Endpoint::IsLive(context) ? static_cast<const Endpoint*>(context) : nullptr;
}

// A one-segment placeholder with nothing in its segment ("/x/" against
// "/x/{id}"): the request names no resource of the route.
bool HasEmptySegment(const Route& route, std::span<const std::string_view> captures) {
  const auto& placeholders = route.path.placeholders();
  for (std::size_t i = 0; i < captures.size() && i < placeholders.size(); ++i) {
    if (placeholders[i].kind == PlaceholderKind::Segment && captures[i].empty()) return true;
  }
  return false;
}

// The contradictions in a request record that would make us read through a
// null pointer; the message for the first one, or null.
const char* Inconsistency(const InvokeRequest& request) {
  if (request.argumentCount != 0 && request.arguments == nullptr) {
    return "Invalid request: argument count without arguments";
  }
  if (request.bodyLength != 0 && request.body == nullptr) {
    return "Invalid request: body length without body bytes";
  }
  return nullptr;
}

void Dispatch(InvokeResponse& response, const InvokeRequest* request) {
  if (request == nullptr) return FailInvokeResponse(response, 400, "Invalid request");
  const Endpoint* endpoint = EndpointOf(*request);
  if (endpoint == nullptr || request->path == nullptr) {
    return FailInvokeResponse(response, 404, kInvalidFunction);
  }
  RouteRequest routeRequest;
  routeRequest.method = HttpMethodFromCode(request->method);
  if (routeRequest.method == HttpMethod::Named && request->methodName != nullptr) {
    routeRequest.methodName = request->methodName;
  }
  routeRequest.path = request->path;
  RouteMatch match;
  std::vector<std::string_view> captures;
  if (!MethodFits(endpoint->route(), routeRequest) ||
      !MatchPath(endpoint->route(), routeRequest.path, match, captures) ||
      HasEmptySegment(endpoint->route(), captures)) {
    return FailInvokeResponse(response, 404, kInvalidFunction);
  }
  if (const char* problem = Inconsistency(*request)) {
    return FailInvokeResponse(response, 400, problem);
  }

  std::vector<BindingProperty> slots(endpoint->parameters().size());
  ArgumentBinder binder(*endpoint, slots);
  bool bound = true;
  for (const PathValue& value : match.Values()) {
    bound = binder.BindText(value.name, value.value, {}, ParameterLocation::Path);
    if (!bound) break;
  }
  for (std::uint32_t i = 0; bound && i < request->argumentCount; ++i) {
    bound = binder.BindArgument(request->arguments[i], i);
  }
  if (bound && request->body != nullptr) {
    const std::string_view contentType =
        request->contentType != nullptr ? request->contentType : std::string_view();
    bound = binder.BindBody(contentType, {request->body, request->bodyLength});
  }
  if (!bound) return FailInvokeResponse(response, 0, binder.error());
  endpoint->invoker().Call(*endpoint, slots, RequestSender{request->senderHandle}, response);
}

}  // namespace

void KELP_CDECL InvokeEndpoint(InvokeResponse* response, const InvokeRequest* request) {
  if (response == nullptr) return;
  const bool completed = GuardEntry("invoke", false, [&] {
    PrepareInvokeResponse(*response);
    Dispatch(*response, request);
    return true;
  });
  if (!completed) {
    PrepareInvokeResponse(*response);
    FailInvokeResponse(*response, 500, "Internal error while handling the request");
  }
}

}  // namespace Kelp
