// Typed outbound requests: parameters from a native record (registered in
// the registry) or a TextMap, and the response converted into a native type.
// Messages, statuses and stream handling are those of SendConvertedRequest
// (sdk/rest/outbound_request.h); a response that does not convert into
// `Response` (labelled "<result>") fails with
// "Error converting response for {method} {url}: {error}" and status 0.
//
//   TypedRemotingResult<ChannelToken> token = SendTypedRequest<ChannelToken>(
//       plugin, HttpMethod::Get, "/tav-lobby/v2/comms/token");
#ifndef KELP_SDK_REST_TYPED_REQUEST_H_
#define KELP_SDK_REST_TYPED_REQUEST_H_

#include <string_view>

#include "sdk/binding/conversion.h"
#include "sdk/binding/type_registry.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/rest/http_method.h"
#include "sdk/rest/outbound_request.h"
#include "sdk/rest/remoting_result.h"

namespace Kelp {

namespace detail {

template <class Response>
TypedRemotingResult<Response> SendTyped(PluginBase& plugin, const TypeRegistry& registry,
                                        HttpMethod method, std::string_view url,
                                        const ConversionResult* parameters) {
  TypedRemotingResult<Response> result;
  BindingProperty answer;
  static_cast<RemotingResult&>(result) =
      SendConvertedRequest(plugin, method, url, parameters, &registry, &answer);
  if (!result.ok()) return result;
  ConversionResult converted;
  FromProperty(converted, answer, "<result>", result.value, registry);
  if (!converted.ok()) {
    result.value = Response{};
    result.SetFailure(0, FormatRequestMessage(kResponseConversionFailed, HttpMethodText(method),
                                              url, converted.error()));
  }
  return result;
}

}  // namespace detail

template <class Response>
TypedRemotingResult<Response> SendTypedRequest(PluginBase& plugin, const TypeRegistry& registry,
                                               HttpMethod method, std::string_view url) {
  return detail::SendTyped<Response>(plugin, registry, method, url, nullptr);
}

template <class Response, class Parameters>
TypedRemotingResult<Response> SendTypedRequest(PluginBase& plugin, const TypeRegistry& registry,
                                               HttpMethod method, std::string_view url,
                                               const Parameters& parameters) {
  const ConversionResult converted = ToProperty(parameters, registry);
  return detail::SendTyped<Response>(plugin, registry, method, url, &converted);
}

// Untyped, with parameters from a native record or map.
template <class Parameters>
RemotingResult SendRequest(PluginBase& plugin, const TypeRegistry& registry, HttpMethod method,
                           std::string_view url, const Parameters& parameters) {
  const ConversionResult converted = ToProperty(parameters, registry);
  return SendConvertedRequest(plugin, method, url, &converted, &registry, nullptr);
}

// The same through the plugin's own registry.
template <class Response>
TypedRemotingResult<Response> SendTypedRequest(PluginBase& plugin, HttpMethod method,
                                               std::string_view url) {
  return SendTypedRequest<Response>(plugin, plugin.registry(), method, url);
}
template <class Response, class Parameters>
TypedRemotingResult<Response> SendTypedRequest(PluginBase& plugin, HttpMethod method,
                                               std::string_view url, const Parameters& parameters) {
  return SendTypedRequest<Response>(plugin, plugin.registry(), method, url, parameters);
}
template <class Parameters>
RemotingResult SendRequest(PluginBase& plugin, HttpMethod method, std::string_view url,
                           const Parameters& parameters) {
  return SendRequest(plugin, plugin.registry(), method, url, parameters);
}

}  // namespace Kelp

#endif  // KELP_SDK_REST_TYPED_REQUEST_H_
