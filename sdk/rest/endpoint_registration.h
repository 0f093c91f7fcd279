// Registering REST endpoints: a method, a path template, the handler's
// parameters and the handler, entered into the type registry as an exposed
// function that carries its Endpoint.
//
//   RegisterEndpoint(plugin, HttpMethod::Put,
//                    "/tav-premade-voice/v1/participants/{puuid}/volume",
//                    "Sets a participant's volume.",
//                    {PathParameter("puuid", "The participant"),
//                     BodyParameter("volume", "The new volume")},
//                    [this](const std::string& puuid, const std::int32_t& volume) {
//                      SetVolume(puuid, volume);
//                    });
//
// A handler takes its parameters' native types (by value or const reference),
// optionally after a leading RequestSender (who sent the request), and returns a Reply<T> (a value or a failure, with response information),
// a plain T (always a success) or nothing (an empty success). Parameters are
// declared in the handler's order; a handler argument without a declaration
// is named "arg" and its position and takes a value from any location.
//
// The function is named from the method and template (GET
// "/x/{id}" is "GetXById") and keeps the template without a trailing "/".
#ifndef KELP_SDK_REST_ENDPOINT_REGISTRATION_H_
#define KELP_SDK_REST_ENDPOINT_REGISTRATION_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "sdk/binding/conversion.h"
#include "sdk/binding/type_registry.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/rest/endpoint.h"
#include "sdk/rest/function_name.h"
#include "sdk/rest/http_method.h"
#include "sdk/rest/invoke_response.h"
#include "sdk/rest/reply.h"

namespace Kelp {

struct EndpointDocumentation {
  std::string description;
  std::vector<std::string> tags;  // the plugin's documentation tags
};

struct ParameterDeclaration {
  std::string name;
  std::string description;
  ParameterLocation location = ParameterLocation::Any;
};

inline ParameterDeclaration PathParameter(std::string name, std::string description) {
  return {std::move(name), std::move(description), ParameterLocation::Path};
}
inline ParameterDeclaration BodyParameter(std::string name, std::string description) {
  return {std::move(name), std::move(description), ParameterLocation::Body};
}

namespace detail {

template <class T>
struct ReplyTraits {
  using Value = T;
};
template <class T>
struct ReplyTraits<Reply<T>> {
  using Value = T;
};

template <class F>
struct HandlerTraits : HandlerTraits<decltype(&F::operator())> {};
template <class R, class... A>
struct HandlerTraits<R (*)(A...)> {
  using Result = R;
  using Arguments = std::tuple<std::decay_t<A>...>;
  static constexpr bool kTakesSender = false;
};
template <class R, class... A>
struct HandlerTraits<R (*)(RequestSender, A...)> : HandlerTraits<R (*)(A...)> {
  static constexpr bool kTakesSender = true;
};
template <class R, class... A>
struct HandlerTraits<R (*)(const RequestSender&, A...)> : HandlerTraits<R (*)(A...)> {
  static constexpr bool kTakesSender = true;
};
template <class C, class R, class... A>
struct HandlerTraits<R (C::*)(A...)> : HandlerTraits<R (*)(A...)> {};
template <class C, class R, class... A>
struct HandlerTraits<R (C::*)(A...) const> : HandlerTraits<R (*)(A...)> {};

// Converts each slot into the tuple element of the same index; stops at the
// first failure.
template <class Tuple, std::size_t... I>
void ConvertSlots([[maybe_unused]] ConversionResult& result,
                  [[maybe_unused]] std::span<BindingProperty> slots,
                  [[maybe_unused]] const Endpoint& endpoint, [[maybe_unused]] Tuple& arguments,
                  std::index_sequence<I...>) {
  (FromProperty(result, slots[I], endpoint.parameters()[I].name, std::get<I>(arguments),
                endpoint.registry()),
   ...);
}

template <class Handler>
class HandlerInvoker final : public EndpointInvoker {
 public:
  using Traits = HandlerTraits<Handler>;
  using Result = typename Traits::Result;
  using Arguments = typename Traits::Arguments;
  using Value = typename ReplyTraits<Result>::Value;

  explicit HandlerInvoker(Handler handler) : handler_(std::move(handler)) {}

  void Call(const Endpoint& endpoint, std::span<BindingProperty> slots, RequestSender sender,
            InvokeResponse& response) const override {
    Arguments arguments;
    ConversionResult converted;
    ConvertSlots(converted, slots, endpoint, arguments,
                 std::make_index_sequence<std::tuple_size_v<Arguments>>());
    if (!converted.ok()) return FailInvokeResponse(response, 0, converted.error());
    if constexpr (std::is_void_v<Result>) {
      Run(sender, arguments);
      EncodeReply(response, Reply<>(), nullptr, &endpoint.registry());
    } else {
      const Reply<Value> reply = Run(sender, arguments);
      Encode(endpoint, reply, response);
    }
  }

 private:
  Result Run([[maybe_unused]] RequestSender sender, Arguments& arguments) const {
    if constexpr (Traits::kTakesSender) {
      return std::apply([&](auto&... a) -> Result { return handler_(sender, a...); }, arguments);
    } else {
      return std::apply(handler_, arguments);
    }
  }

  static void Encode(const Endpoint& endpoint, const Reply<Value>& reply,
                     InvokeResponse& response) {
    if constexpr (std::is_void_v<Value>) {
      EncodeReply(response, reply, nullptr, &endpoint.registry());
    } else {
      if (reply.failed()) return EncodeReply(response, reply, nullptr, &endpoint.registry());
      const ConversionResult value = ToProperty(reply.value, endpoint.registry());
      if (!value.ok()) {
        Reply<> failed;
        failed.info = reply.info;
        failed.Fail(reply.info.status, std::string(value.error()));
        return EncodeReply(response, failed, nullptr, &endpoint.registry());
      }
      EncodeReply(response, reply, &value.value(), &endpoint.registry());
    }
  }

  Handler handler_;
};

// The non-template part: builds the endpoint and the function record.
const Endpoint* AddEndpoint(TypeRegistry& registry, HttpMethod method, std::string_view path,
                            std::string_view methodName, const EndpointDocumentation& docs,
                            std::vector<EndpointParameter> parameters, TypeRef returns,
                            std::unique_ptr<EndpointInvoker> invoker);

template <class Tuple, std::size_t... I>
std::vector<EndpointParameter> TypedParameters(const TypeRegistry& registry,
                                               std::vector<ParameterDeclaration>& declared,
                                               std::index_sequence<I...>) {
  std::vector<EndpointParameter> parameters(sizeof...(I));
  ((parameters[I].type = TypeRefOf<std::tuple_element_t<I, Tuple>>(registry)), ...);
  ((parameters[I].optional = IsStdOptional<std::tuple_element_t<I, Tuple>>::value), ...);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (i < declared.size()) {
      parameters[i].name = std::move(declared[i].name);
      parameters[i].description = std::move(declared[i].description);
      parameters[i].location = declared[i].location;
    } else {
      parameters[i].name = "arg" + std::to_string(i);
    }
  }
  return parameters;
}

}  // namespace detail

// Registers the endpoint and returns it; null when a function of the same
// name is registered already (the first one stays). For HttpMethod::Named,
// `methodName` is the method the route answers. The parameter and result
// types must be convertible (sdk/binding/conversion.h) and registered
// before this call.
template <class Handler>
const Endpoint* RegisterEndpoint(TypeRegistry& registry, HttpMethod method, std::string_view path,
                                 const EndpointDocumentation& docs,
                                 std::vector<ParameterDeclaration> parameters, Handler handler,
                                 std::string_view methodName = {}) {
  using Invoker = detail::HandlerInvoker<Handler>;
  using Arguments = typename Invoker::Arguments;
  using Value = typename Invoker::Value;
  TypeRef returns;
  if constexpr (!std::is_void_v<Value>) returns = TypeRefOf<Value>(registry);
  return detail::AddEndpoint(
      registry, method, path, methodName, docs,
      detail::TypedParameters<Arguments>(registry, parameters,
                                         std::make_index_sequence<std::tuple_size_v<Arguments>>()),
      returns, std::make_unique<Invoker>(std::move(handler)));
}

// The same in the plugin's own registry, documented with `description` and
// the plugin's documentation tags. Call from RegisterEndpoints.
template <class Handler>
const Endpoint* RegisterEndpoint(PluginBase& plugin, HttpMethod method, std::string_view path,
                                 std::string description,
                                 std::vector<ParameterDeclaration> parameters, Handler handler) {
  return RegisterEndpoint(plugin.registry(), method, path,
                          {std::move(description), plugin.documentationTags()},
                          std::move(parameters), std::move(handler));
}

}  // namespace Kelp

#endif  // KELP_SDK_REST_ENDPOINT_REGISTRATION_H_
