// Outbound requests: REST calls to other plugins' endpoints through the
// host's sendRequest slot. A request is synchronous: it returns when the
// host has answered. Nothing is thrown to the caller; every failure is a
// RemotingResult with one of these messages ({method} is the method text,
// {url} the URL as sent, {error} the failing step's text):
//
//   "Request not sent: Error converting parameters for {method} {url}: {error}"
//       status 400; the host is never called
//   "Error response for {method} {url}: {error}"
//       the response's error text; status is the response's
//   "Error reading streamed response for {method} {url}: {error}"
//   "Error converting response for {method} {url}: {error}"
//
// The request carries the parameters (if any) as its single, unnamed
// argument and the plugin's hostHandle. A streamed response is read in
// 4096-byte reads, waiting through the host once whenever a short read says
// more is coming, and decoded as JSON; its stream is closed on every path.
// The response record is released through its own release function, when it
// has one, on every path.
//
// Call only from the plugin's handler thread, after init.
#ifndef KELP_SDK_REST_OUTBOUND_REQUEST_H_
#define KELP_SDK_REST_OUTBOUND_REQUEST_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/conversion_result.h"
#include "sdk/binding/enum_namer.h"
#include "sdk/rest/http_method.h"
#include "sdk/rest/remoting_result.h"

namespace Kelp {

class PluginBase;

using TextMap = std::unordered_map<std::string, std::string>;

inline constexpr std::size_t kStreamReadSize = 4096;

inline constexpr std::string_view kResponseConversionFailed =
    "Error converting response for {method} {url}: {error}";

// Replaces "{method}", "{url}" and "{error}" in `pattern` in one pass, so
// that a URL or error text holding those words is not expanded again.
std::string FormatRequestMessage(std::string_view pattern, std::string_view method,
                                 std::string_view url, std::string_view error);

// The map as one structure of string fields.
ConversionResult TextMapToProperty(const TextMap& map);

// The request with parameters already converted: `parameters` null sends no
// argument; a failed `parameters` is refused with status 400. With
// `response` set, the response value (from the record or the stream) is
// stored there; a value that cannot be taken from the record fails with the
// converting-response message. `namer` names enum values in the argument.
RemotingResult SendConvertedRequest(PluginBase& plugin, HttpMethod method, std::string_view url,
                                    const ConversionResult* parameters, const EnumNamer* namer,
                                    BindingProperty* response);

// Untyped requests: the response value is not converted.
RemotingResult SendRequest(PluginBase& plugin, HttpMethod method, std::string_view url);
RemotingResult SendRequest(PluginBase& plugin, HttpMethod method, std::string_view url,
                           const TextMap& parameters);

}  // namespace Kelp

#endif  // KELP_SDK_REST_OUTBOUND_REQUEST_H_
