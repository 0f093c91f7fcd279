#include "sdk/rest/argument_binder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "sdk/binding/binding_value.h"
#include "sdk/binding/message_format.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/msgpack_reader.h"
#include "sdk/codecs/yaml_reader.h"

namespace Kelp {
namespace {

constexpr const char* kUnknownArgument = "Unknown argument '%1' for '%2'.";
constexpr const char* kInvalidLocation =
    "Argument '%1' for '%2' was specified in an invalid location.";
constexpr const char* kExpectedValue = "Expected value for argument '%1'.";
constexpr const char* kIndexFormat = "Index %1 is in an incorrect format";
constexpr const char* kIndexRange = "Index %1 is out of range";
constexpr const char* kTooDeep = "Argument '%1' is nested too deeply";
constexpr const char* kMessagePackFailure =
    "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3";
constexpr const char* kJsonFailure =
    "Couldn't deserialize JSON value for parameter '%1' of '%2': %3";
constexpr const char* kYamlFailure =
    "Couldn't deserialize YAML value for parameter '%1' of '%2': %3";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view SkipSpaces(std::string_view text) {
  const std::size_t start = text.find_first_not_of(' ');
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

bool IsText(const BindingValue& value) {
  return value.kind == BINDING_VALUE_STRING_BORROWED || value.kind == BINDING_VALUE_STRING_OWNED;
}

enum class TextCodec { MessagePack, Json, Yaml, Blob, Plain };

TextCodec ChooseCodec(std::string_view text, std::string_view contentType, bool sniff) {
  if (StartsWithNoCase(contentType, "application/x-msgpack")) return TextCodec::MessagePack;
  if (StartsWithNoCase(contentType, "application/json")) return TextCodec::Json;
  if (StartsWithNoCase(contentType, "text/x-yaml")) return TextCodec::Yaml;
  if (StartsWithNoCase(contentType, "application/octet-stream")) return TextCodec::Blob;
  if (!sniff) return TextCodec::Plain;
  if (!text.empty()) {
    const auto first = static_cast<unsigned char>(text.front());
    if ((first >= 0x80 && first <= 0x9F) || (first >= 0xDC && first <= 0xDF)) {
      return TextCodec::MessagePack;
    }
  }
  const std::string_view rest = SkipSpaces(text);
  if (!rest.empty() && (rest.front() == '{' || rest.front() == '[')) return TextCodec::Json;
  if (rest.starts_with("---")) return TextCodec::Yaml;
  return TextCodec::Plain;
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Reads an index with strtoull's prefixes (base 0); false when characters
// are left over or the number does not fit.
bool ParseIndex(std::string_view step, std::size_t& index) {
  const std::string text(step);
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (end != text.c_str() + text.size()) return false;
  if (errno == ERANGE || value > SIZE_MAX) {
    index = SIZE_MAX;  // out of range for every collection
    return true;
  }
  index = static_cast<std::size_t>(value);
  return true;
}

}  // namespace

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

bool ArgumentBinder::Fail(std::string message) {
  error_ = std::move(message);
  return false;
}

bool ArgumentBinder::UnknownArgument(std::string_view name) {
  return Fail(FormatMessage(kUnknownArgument, {name, endpoint_.name()}));
}

bool ArgumentBinder::BindText(std::string_view name, std::string_view text,
                              std::string_view contentType, ParameterLocation location) {
  const std::size_t dot = name.find('.');
  const std::string_view parameterName = name.substr(0, dot);
  const int index = endpoint_.FindParameter(parameterName);
  if (index < 0) return UnknownArgument(name);
  const EndpointParameter& parameter = endpoint_.parameters()[index];
  if (parameter.location != ParameterLocation::Any && parameter.location != location) {
    return Fail(FormatMessage(kInvalidLocation, {name, endpoint_.name()}));
  }
  BindingProperty& slot = slots_[index];
  if (dot == std::string_view::npos) {
    if (text.empty()) return NameOnly(parameter, slot);
    return DecodeText(parameter, text, contentType, slot);
  }
  // Each step may add a level of nesting; keep the tree within the limit
  // that every walk over it relies on.
  if (std::count(name.begin(), name.end(), '.') >= kMaxNestingDepth) {
    return Fail(FormatMessage(kTooDeep, {name}));
  }
  BindingProperty* target = Walk(slot, name.substr(dot + 1));
  if (target == nullptr) return false;
  return DecodeText(parameter, text, contentType, *target);
}

bool ArgumentBinder::BindArgument(const InvokeArgument& argument, std::size_t position) {
  const BindingValue& value = argument.value;
  const bool readableText =
      IsText(value) && (value.payload.string.text != nullptr || value.payload.string.length == 0);
  if (argument.name != nullptr && readableText) {
    // Text runs to its NUL, as everywhere else: the length word is the
    // host's claim and is not read.
    const char* text = value.payload.string.text;
    return BindText(argument.name, text != nullptr ? std::string_view(text) : std::string_view(),
                    {}, ParameterLocation::Query);
  }
  int index;
  std::string label;
  if (argument.name != nullptr) {
    label = argument.name;
    index = endpoint_.FindParameter(label);
  } else {
    label = std::to_string(position);
    index = position < endpoint_.parameters().size() ? static_cast<int>(position) : -1;
  }
  if (index < 0) return UnknownArgument(label);
  const EndpointParameter& parameter = endpoint_.parameters()[index];
  BindingResult failure{};
  if (ToBindingProperty(value, parameter.name, slots_[index], failure)) return true;
  std::string message = failure.error != nullptr ? failure.error : "";
  DestroyResult(failure);
  return Fail(std::move(message));
}

bool ArgumentBinder::BindBody(std::string_view contentType, std::span<const std::uint8_t> body) {
  const int index = endpoint_.bodyParameter();
  if (index < 0) return true;
  BindingProperty& slot = slots_[index];
  const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
  if (StartsWithNoCase(contentType, "application/x-msgpack")) {
    MessagePackReadResult read = ReadMessagePack(body);
    if (!read.result.ok()) return Fail(std::string(read.result.error()));
    if (read.consumed < body.size()) return Fail("Extra MessgePack data found in body");
    slot = std::move(read.result.value());
    return true;
  }
  ConversionResult decoded;
  const char* failure = nullptr;
  if (StartsWithNoCase(contentType, "application/json") ||
      StartsWithNoCase(contentType, "application/vnd.api+json")) {
    decoded = ReadJson(text);
    failure = kJsonFailure;
  } else if (StartsWithNoCase(contentType, "application/x-yaml")) {
    decoded = ReadYaml(text);
    failure = kYamlFailure;
  } else {
    return Fail("Unsupported body content type");
  }
  if (!decoded.ok()) {
    const EndpointParameter& parameter = endpoint_.parameters()[index];
    return Fail(FormatMessage(failure, {parameter.name, endpoint_.name(), decoded.error()}));
  }
  slot = std::move(decoded.value());
  return true;
}

bool ArgumentBinder::DecodeText(const EndpointParameter& parameter, std::string_view text,
                                std::string_view contentType, BindingProperty& out) {
  const BindingTypeCode code = parameter.type.code;
  const bool sniff =
      contentType.empty() && (code == BindingTypeCode::Object || code == BindingTypeCode::Vector ||
                              code == BindingTypeCode::Struct);
  const char* failure = nullptr;
  ConversionResult decoded;
  switch (ChooseCodec(text, contentType, sniff)) {
    case TextCodec::MessagePack: {
      MessagePackReadResult read = ReadMessagePack(Bytes(text));
      decoded = std::move(read.result);
      failure = kMessagePackFailure;
      break;
    }
    case TextCodec::Json:
      decoded = ReadJson(text);
      failure = kJsonFailure;
      break;
    case TextCodec::Yaml:
      decoded = ReadYaml(text);
      failure = kYamlFailure;
      break;
    case TextCodec::Blob:
      out.SetBlob(Bytes(text));
      return true;
    case TextCodec::Plain:
      out.SetString(text);
      return true;
  }
  if (!decoded.ok()) {
    return Fail(FormatMessage(failure, {parameter.name, endpoint_.name(), decoded.error()}));
  }
  out = std::move(decoded.value());
  return true;
}

bool ArgumentBinder::NameOnly(const EndpointParameter& parameter, BindingProperty& out) {
  switch (parameter.type.code) {
    case BindingTypeCode::Bool:
      out.SetBool(true);
      return true;
    case BindingTypeCode::Object:
    case BindingTypeCode::Struct:
      out.Reset();
      out.MakeStructure();
      return true;
    case BindingTypeCode::Vector:
      out.Reset();
      out.MakeCollection();
      return true;
    default:
      return Fail(FormatMessage(kExpectedValue, {parameter.name}));
  }
}

BindingProperty* ArgumentBinder::Walk(BindingProperty& slot, std::string_view address) {
  BindingProperty* at = &slot;
  for (;;) {
    const std::size_t dot = address.find('.');
    const std::string_view step = address.substr(0, dot);
    if (!step.empty() && step.front() >= '0' && step.front() <= '9') {
      std::size_t index = 0;
      if (!ParseIndex(step, index)) {
        Fail(FormatMessage(kIndexFormat, {step}));
        return nullptr;
      }
      const auto elements = at->Elements();
      if (index >= elements.size()) {
        Fail(FormatMessage(kIndexRange, {step}));
        return nullptr;
      }
      at = &elements[index];
    } else {
      at = &(*at)[step];
    }
    if (dot == std::string_view::npos) return at;
    address.remove_prefix(dot + 1);
  }
}

}  // namespace Kelp
