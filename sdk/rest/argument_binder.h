// Binding of a request's values to an endpoint's parameters: path values,
// named and positional arguments, and the body, each into the parameter's
// BindingProperty slot. The first failure stops binding; its message is the
// response's error.
//
// Text values addressed by name go through the name rules: the name is split
// at the first "." and the part before it names the parameter; the rest
// walks into the parameter's value, "."-separated, where a step starting
// with a digit is an index (decimal, "0x" hexadecimal or leading-"0" octal)
// into a collection and any other step names a field of a structure. A text
// with no characters is a name given alone: a bool parameter becomes true,
// an object or struct parameter an empty structure, a vector parameter an
// empty collection.
//
// Text is decoded by its content type (prefix, case-insensitive):
// "application/x-msgpack" (and "-ext"), "application/json", "text/x-yaml",
// "application/octet-stream" (the bytes become a blob); anything else is a
// plain string for the conversion rules. A value without a content type for
// an object, vector or struct parameter is sniffed: a first byte 0x80-0x9F
// or 0xDC-0xDF is MessagePack, a first "{" or "[" after spaces is JSON, a
// leading "---" after spaces is YAML.
#ifndef KELP_SDK_REST_ARGUMENT_BINDER_H_
#define KELP_SDK_REST_ARGUMENT_BINDER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sdk/binding/binding_property.h"
#include "sdk/plugin/abi.h"
#include "sdk/rest/endpoint.h"

namespace Kelp {

class ArgumentBinder {
 public:
  // `slots` must hold one value per parameter of `endpoint`.
  ArgumentBinder(const Endpoint& endpoint, std::span<BindingProperty> slots)
      : endpoint_(endpoint), slots_(slots) {}

  // Each returns false at a failure, with error() set.
  bool BindText(std::string_view name, std::string_view text, std::string_view contentType,
                ParameterLocation location);
  // A request argument: a named text goes through BindText (from the query);
  // any other named value is bound to the parameter of exactly that name;
  // an unnamed one to the parameter at `position`.
  bool BindArgument(const InvokeArgument& argument, std::size_t position);
  // Decodes the body into the body parameter.
  bool BindBody(std::string_view contentType, std::span<const std::uint8_t> body);

  const std::string& error() const { return error_; }

 private:
  bool Fail(std::string message);
  bool UnknownArgument(std::string_view name);
  bool DecodeText(const EndpointParameter& parameter, std::string_view text,
                  std::string_view contentType, BindingProperty& out);
  bool NameOnly(const EndpointParameter& parameter, BindingProperty& out);
  // The element of `slot` that `address` reaches, or null with the error set.
  BindingProperty* Walk(BindingProperty& slot, std::string_view address);

  const Endpoint& endpoint_;
  std::span<BindingProperty> slots_;
  std::string error_;
};

// True when `prefix` starts `text`, compared case-insensitively (ASCII).
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace Kelp

#endif  // KELP_SDK_REST_ARGUMENT_BINDER_H_
