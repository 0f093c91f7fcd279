// Random requests into the started voice plugin, delivered the way a host
// does: the function found by method and path (or by name, with any path),
// its invoke entry called with a request record whose arguments are
// boundary values of every tag, and the response read and released through
// its own release function. Whatever comes in, the plugin answers with a
// readable response that its release zeroes, and the session ends clean.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/boundary_values.h"
#include "fuzz/voice_plugin_session.h"
#include "host/host_value.h"
#include "host/inbound_invoke.h"

namespace {

using Kelp::Fuzz::VoicePluginSession;

constexpr std::string_view kContentTypes[] = {
    "application/json", "application/json; charset=utf-8", "application/vnd.api+json",
    "application/x-msgpack", "application/x-yaml", "text/x-yaml", "application/octet-stream",
    "text/plain", ""};

// The endpoint records of the plugin's descriptor.
std::vector<const EndpointFunctionRecord*> Endpoints(const PluginApiDescriptor* descriptor) {
  std::vector<const EndpointFunctionRecord*> endpoints;
  for (std::uint32_t i = 0; descriptor != nullptr && i < descriptor->functionCount; ++i) {
    endpoints.push_back(&descriptor->functions[i]);
  }
  return endpoints;
}

// A path: a function's template with its placeholders filled, the plugin's
// prefix and anything, or anything.
std::string Path(FuzzedDataProvider& input, Kelp::Fuzz::BoundaryValues& values,
                 const EndpointFunctionRecord* endpoint) {
  switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
    case 1: {
      std::string path = endpoint->path != nullptr ? endpoint->path : "";
      for (std::size_t open = path.find('{'); open != std::string::npos;
           open = path.find('{', open + 1)) {
        const std::size_t close = path.find('}', open);
        if (close == std::string::npos) break;
        path.replace(open, close - open + 1, values.Text());
      }
      return path;
    }
    case 2:
      return std::string("/tav-premade-voice/v1/") + values.Text();
    default:
      return values.Text();
  }
}

void Invoke(VoicePluginSession& session, FuzzedDataProvider& input,
            Kelp::Fuzz::BoundaryValues& values) {
  const auto endpoints = Endpoints(session.host().descriptor());
  VoicePluginSession::Check(!endpoints.empty());
  const EndpointFunctionRecord* endpoint =
      endpoints[input.ConsumeIntegralInRange<std::size_t>(0, endpoints.size() - 1)];

  InvokeRequest request{};
  request.method = input.ConsumeBool() ? endpoint->method
                                       : input.ConsumeIntegralInRange<std::uint32_t>(0, 9);
  const std::string methodName = values.Text();
  request.methodName = input.ConsumeBool() ? methodName.c_str() : nullptr;
  const std::string path = Path(input, values, endpoint);
  request.path = path.c_str();

  std::vector<InvokeArgument> arguments(input.ConsumeIntegralInRange<std::size_t>(0, 5));
  for (InvokeArgument& argument : arguments) {
    argument.name = input.ConsumeBool() ? values.Text() : nullptr;
    argument.value = values.Value();
  }
  request.arguments = arguments.empty() ? nullptr : arguments.data();
  request.argumentCount = static_cast<std::uint32_t>(arguments.size());

  std::vector<TextPair> pairs(input.ConsumeIntegralInRange<std::size_t>(0, 2));
  for (TextPair& pair : pairs) pair = {values.Text(), values.Text()};
  request.textPairs = pairs.empty() ? nullptr : pairs.data();
  request.textPairCount = static_cast<std::uint32_t>(pairs.size());

  const std::string contentType = input.ConsumeIntegralInRange(0, 15) == 0
                                      ? values.Text()
                                      : std::string(kContentTypes[input.ConsumeIntegralInRange<
                                            std::size_t>(0, std::size(kContentTypes) - 1)]);
  request.contentType = input.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : contentType.c_str();
  const std::string body = input.ConsumeRandomLengthString(4096);
  if (input.ConsumeIntegralInRange(0, 3) != 0) {
    request.body = reinterpret_cast<const std::uint8_t*>(body.data());
    request.bodyLength = static_cast<std::uint32_t>(body.size());
  }
  request.senderHandle = input.ConsumeIntegralInRange<std::uint32_t>(0, 2);

  // A host finds the function by method and path; by name it takes any path.
  const EndpointFunctionRecord* function =
      input.ConsumeIntegralInRange(0, 3) == 0
          ? endpoint
          : Kelp::Host::FindEndpoint(session.host().descriptor(), request.method,
                                     request.methodName != nullptr ? request.methodName : "",
                                     path);
  if (function == nullptr) return;
  request.function = &function->description.invoke;

  InvokeResponse response{};
  function->invoke(&response, &request);
  VoicePluginSession::Check(response.release != nullptr);
  if (response.result.failed != 0) VoicePluginSession::Check(response.result.error != nullptr);
  VoicePluginSession::Check(Kelp::Host::FromBinding(response.result.value).ok());
  for (std::uint32_t i = 0; i < response.headerCount; ++i) {
    VoicePluginSession::Check(response.headers[i].name != nullptr &&
                              response.headers[i].value != nullptr);
  }
  response.release(&response);
  static const InvokeResponse kZeroed{};
  VoicePluginSession::Check(std::memcmp(&response, &kZeroed, sizeof response) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  static Kelp::Fuzz::VoicePluginSessions sessions;
  VoicePluginSession& session =
      sessions.At(input.ConsumeIntegralInRange(0, Kelp::Fuzz::VoicePluginSessions::kStages - 1));
  Kelp::Fuzz::BoundaryValues values(input, Kelp::Fuzz::kVoicePluginWords);
  for (int requests = input.ConsumeIntegralInRange(1, 4); requests > 0; --requests) {
    Invoke(session, input, values);
    session.host().RunReady();
    if (input.ConsumeBool()) session.host().AdvanceClock(input.ConsumeIntegralInRange(0, 30));
  }
  session.CheckClean();
  return 0;
}
