#include "sdk/binding/conversion.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "sdk/binding/base64.h"
#include "sdk/binding/message_format.h"

namespace Kelp::detail {
namespace {

constexpr const char* kRequired = "A value for '%1' is required.";
constexpr const char* kBoolFormat =
    "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", "
    "\"1\", \"0\".";
constexpr const char* kBoolInvalidType =
    "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.";
constexpr const char* kInvalidType =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";
constexpr const char* kIncorrectFormat = "Value %1 for '%2' of type %3 is in an incorrect format";
constexpr const char* kOutOfRange = "Value %1 for '%2' of type %3 is out of range";
constexpr const char* kNotEnumValue = "%1 is not a valid %2 enumeration value for '%3'.";
constexpr const char* kEnumInvalidType =
    "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.";
constexpr const char* kNotNamedEnumValue = "%1 is not a valid enumeration value for '%2'.";
constexpr const char* kNotString =
    "Couldn't assign value to '%1' because the input is not a string.";
constexpr const char* kUnregisteredInput =
    "Couldn't assign value to '%1' because the input is an unregistered structure or not a "
    "structure at all.";
constexpr const char* kNotStructure =
    "Couldn't assign value to '%1' of type %2 because the input not a structure.";
constexpr const char* kMissingField =
    "Couldn't assign value to '%1' of type %2 because the input structure doesn't have required "
    "field '%3'.";
constexpr const char* kNotCollection =
    "Couldn't assign value to '%1' of type vector because the input not a collection.";
constexpr const char* kNotMap =
    "Couldn't assign value to '%1' of type map because the input not a structure.";
constexpr const char* kUnregisteredOutput =
    "Couldn't convert native value because it's an unregistered structure.";

void Fail(ConversionResult& result, std::string_view format,
          std::initializer_list<MessageArg> args) {
  result.SetError(FormatMessage(format, args));
}

const char* KindNameOf(const BindingProperty& in) { return KindName(in.kind()); }

// How a text parses as a number: whether anything follows it, whether the
// parse overflowed, and whether the text starts (after white space) with "-".
struct ParsedText {
  bool trailing = false;
  bool overflow = false;
  bool negative = false;
};

template <class Number, class Parse>
ParsedText ParseText(const std::string& text, Number& value, Parse parse) {
  ParsedText parsed;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  value = parse(begin, &end);
  parsed.overflow = errno == ERANGE;
  // An embedded NUL stops the parse early; what follows it counts as left over.
  parsed.trailing = end != begin + text.size();
  std::size_t first = 0;
  while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  parsed.negative = first < text.size() && text[first] == '-';
  return parsed;
}

bool IsDefined(const TypeRecord* record, const TypeRegistry& registry, std::int32_t number) {
  return registry.FindEnumValue(record, number) != nullptr;
}

}  // namespace

void ReadBool(ConversionResult& result, const BindingProperty& in, std::string_view name,
              bool& out) {
  switch (in.kind()) {
    case BindingPropertyKind::Empty:
      return Fail(result, kRequired, {name});
    case BindingPropertyKind::Bool:
      out = in.GetBool();
      return;
    case BindingPropertyKind::String: {
      const std::string_view text = in.GetString();
      if (text == "1" || text == "true") {
        out = true;
      } else if (text == "0" || text == "false") {
        out = false;
      } else {
        Fail(result, kBoolFormat, {text, name});
      }
      return;
    }
    default:
      return Fail(result, kBoolInvalidType, {name, KindNameOf(in)});
  }
}

// A float is in range up to max inclusive, max taken as a double, which is
// exact below 64 bits. For 64-bit targets max rounds up to 2^63 or 2^64,
// which does not fit, so there the bound is exclusive.
template <typename Bounds>
bool BelowUpperBound(double v, const Bounds& bounds) {
  using Max = decltype(bounds.max);
  if (bounds.max == std::numeric_limits<Max>::max()) return v < bounds.upper;
  return v <= static_cast<double>(bounds.max);
}

bool ReadSigned(ConversionResult& result, const BindingProperty& in, std::string_view name,
                const SignedBounds& bounds, std::int64_t& out) {
  switch (in.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, kRequired, {name});
      return false;
    case BindingPropertyKind::Signed: {
      const std::int64_t v = in.GetSigned();
      if (v < bounds.min || v > bounds.max) {
        Fail(result, kOutOfRange, {static_cast<long long>(v), name, bounds.typeName});
        return false;
      }
      out = v;
      return true;
    }
    case BindingPropertyKind::Unsigned: {
      const std::uint64_t v = in.GetUnsigned();
      if (v > static_cast<std::uint64_t>(bounds.max)) {
        Fail(result, kOutOfRange, {static_cast<unsigned long long>(v), name, bounds.typeName});
        return false;
      }
      out = static_cast<std::int64_t>(v);
      return true;
    }
    case BindingPropertyKind::Float: {
      // NaN fails both tests.
      const double v = in.GetFloat();
      if (!(v >= static_cast<double>(bounds.min) && BelowUpperBound(v, bounds))) {
        Fail(result, kOutOfRange, {v, name, bounds.typeName});
        return false;
      }
      out = static_cast<std::int64_t>(v);
      return true;
    }
    case BindingPropertyKind::String: {
      const std::string text(in.GetString());
      long long v = 0;
      const ParsedText parsed =
          ParseText(text, v, [](const char* s, char** end) { return std::strtoll(s, end, 0); });
      if (parsed.trailing) {
        Fail(result, kIncorrectFormat, {text, name, bounds.typeName});
        return false;
      }
      if (parsed.overflow || v < bounds.min || v > bounds.max) {
        Fail(result, kOutOfRange, {text, name, bounds.typeName});
        return false;
      }
      out = v;
      return true;
    }
    case BindingPropertyKind::Enum: {
      const std::int32_t v = in.GetEnum().value;
      if (v < bounds.min || v > bounds.max) {
        Fail(result, kOutOfRange, {v, name, bounds.typeName});
        return false;
      }
      out = v;
      return true;
    }
    default:
      Fail(result, kInvalidType, {name, bounds.typeName, KindNameOf(in)});
      return false;
  }
}

bool ReadUnsigned(ConversionResult& result, const BindingProperty& in, std::string_view name,
                  const UnsignedBounds& bounds, std::uint64_t& out) {
  switch (in.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, kRequired, {name});
      return false;
    case BindingPropertyKind::Signed: {
      const std::int64_t v = in.GetSigned();
      if (v < 0 || static_cast<std::uint64_t>(v) > bounds.max) {
        Fail(result, kOutOfRange, {static_cast<long long>(v), name, bounds.typeName});
        return false;
      }
      out = static_cast<std::uint64_t>(v);
      return true;
    }
    case BindingPropertyKind::Unsigned: {
      const std::uint64_t v = in.GetUnsigned();
      if (v > bounds.max) {
        Fail(result, kOutOfRange, {static_cast<unsigned long long>(v), name, bounds.typeName});
        return false;
      }
      out = v;
      return true;
    }
    case BindingPropertyKind::Float: {
      const double v = in.GetFloat();
      if (!(v >= 0.0 && BelowUpperBound(v, bounds))) {
        Fail(result, kOutOfRange, {v, name, bounds.typeName});
        return false;
      }
      out = static_cast<std::uint64_t>(v);
      return true;
    }
    case BindingPropertyKind::String: {
      const std::string text(in.GetString());
      unsigned long long v = 0;
      const ParsedText parsed =
          ParseText(text, v, [](const char* s, char** end) { return std::strtoull(s, end, 0); });
      if (parsed.trailing) {
        Fail(result, kIncorrectFormat, {text, name, bounds.typeName});
        return false;
      }
      // strtoull negates a "-" text into a huge positive number; a sign after
      // leading white space must not slip through that way either.
      if (parsed.overflow || parsed.negative || v > bounds.max) {
        Fail(result, kOutOfRange, {text, name, bounds.typeName});
        return false;
      }
      out = v;
      return true;
    }
    case BindingPropertyKind::Enum: {
      const std::int32_t v = in.GetEnum().value;
      if (v < 0 || static_cast<std::uint64_t>(v) > bounds.max) {
        Fail(result, kOutOfRange, {v, name, bounds.typeName});
        return false;
      }
      out = static_cast<std::uint64_t>(v);
      return true;
    }
    default:
      Fail(result, kInvalidType, {name, bounds.typeName, KindNameOf(in)});
      return false;
  }
}

bool ReadFloat(ConversionResult& result, const BindingProperty& in, std::string_view name,
               const FloatBounds& bounds, double& out) {
  double v = 0;
  switch (in.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, kRequired, {name});
      return false;
    case BindingPropertyKind::Signed:
      v = static_cast<double>(in.GetSigned());
      break;
    case BindingPropertyKind::Unsigned:
      v = static_cast<double>(in.GetUnsigned());
      break;
    case BindingPropertyKind::Enum:
      v = in.GetEnum().value;
      break;
    case BindingPropertyKind::Float:
      v = in.GetFloat();
      break;
    case BindingPropertyKind::String: {
      const std::string text(in.GetString());
      const ParsedText parsed =
          ParseText(text, v, [](const char* s, char** end) { return std::strtod(s, end); });
      if (parsed.trailing) {
        Fail(result, kIncorrectFormat, {text, name, bounds.typeName});
        return false;
      }
      if (parsed.overflow || !(v >= bounds.min && v <= bounds.max)) {
        Fail(result, kOutOfRange, {text, name, bounds.typeName});
        return false;
      }
      out = v;
      return true;
    }
    default:
      Fail(result, kInvalidType, {name, bounds.typeName, KindNameOf(in)});
      return false;
  }
  // NaN fails this test too.
  if (!(v >= bounds.min && v <= bounds.max)) {
    Fail(result, kOutOfRange, {v, name, bounds.typeName});
    return false;
  }
  out = v;
  return true;
}

bool ReadEnum(ConversionResult& result, const BindingProperty& in, std::string_view name,
              const TypeRecord* record, const TypeRegistry& registry, std::int32_t& out) {
  const char* enumName = record != nullptr ? record->name.c_str() : "";
  switch (in.kind()) {
    case BindingPropertyKind::Empty:
      Fail(result, kRequired, {name});
      return false;
    case BindingPropertyKind::Signed: {
      const std::int64_t v = in.GetSigned();
      const auto number = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      if (!IsDefined(record, registry, number)) {
        Fail(result, kNotEnumValue, {static_cast<long long>(v), enumName, name});
        return false;
      }
      out = number;
      return true;
    }
    case BindingPropertyKind::Unsigned: {
      const std::uint64_t v = in.GetUnsigned();
      const auto number = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      if (!IsDefined(record, registry, number)) {
        Fail(result, kNotEnumValue, {static_cast<unsigned long long>(v), enumName, name});
        return false;
      }
      out = number;
      return true;
    }
    case BindingPropertyKind::String: {
      const std::string_view text = in.GetString();
      if (const EnumValueRecord* value = registry.FindEnumValue(record, text)) {
        out = value->value;
        return true;
      }
      ConversionResult numeric;
      std::int64_t v = 0;
      const SignedBounds bounds{std::numeric_limits<std::int64_t>::min(),
                                std::numeric_limits<std::int64_t>::max(), 0x1p63, enumName};
      if (ReadSigned(numeric, in, name, bounds, v)) {
        const auto number = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        if (IsDefined(record, registry, number)) {
          out = number;
          return true;
        }
      }
      Fail(result, kNotEnumValue, {text, enumName, name});
      return false;
    }
    case BindingPropertyKind::Enum: {
      const std::int32_t v = in.GetEnum().value;
      if (!IsDefined(record, registry, v)) {
        Fail(result, kNotEnumValue, {v, enumName, name});
        return false;
      }
      out = v;
      return true;
    }
    default:
      Fail(result, kEnumInvalidType, {name, KindNameOf(in)});
      return false;
  }
}

void ReadString(ConversionResult& result, const BindingProperty& in, std::string_view name,
                const TypeRegistry& registry, std::string& out) {
  switch (in.kind()) {
    case BindingPropertyKind::Empty:
      return Fail(result, kRequired, {name});
    case BindingPropertyKind::String:
      out.assign(in.GetString());
      return;
    case BindingPropertyKind::Enum: {
      const BindingEnum value = in.GetEnum();
      const char* valueName = registry.EnumValueName(value.type, value.value);
      if (valueName == nullptr) return Fail(result, kNotNamedEnumValue, {value.value, name});
      out.assign(valueName);
      return;
    }
    default:
      return Fail(result, kNotString, {name});
  }
}

bool ExpectCollection(ConversionResult& result, const BindingProperty& in, std::string_view name) {
  if (in.kind() == BindingPropertyKind::Collection) return true;
  Fail(result, kNotCollection, {name});
  return false;
}

bool ExpectStructure(ConversionResult& result, const BindingProperty& in, std::string_view name) {
  if (in.kind() == BindingPropertyKind::Structure) return true;
  Fail(result, kNotMap, {name});
  return false;
}

void ReadRecord(ConversionResult& result, const BindingProperty& in, std::string_view name,
                void* object, const TypeRecord* record) {
  if (in.IsEmpty()) return Fail(result, kRequired, {name});
  if (record == nullptr) return Fail(result, kUnregisteredInput, {name});
  if (in.kind() != BindingPropertyKind::Structure) {
    return Fail(result, kNotStructure, {name, record->name});
  }
  for (const FieldRecord& field : record->fields) {
    const BindingProperty* value = in.Find(field.name);
    if (value == nullptr || value->IsEmpty()) {
      if ((field.flags & kFieldRequired) != 0) {
        return Fail(result, kMissingField, {name, record->name, field.name});
      }
      continue;
    }
    field.converter->Read(result, *value, field.name, object, field.type.record, *record->registry);
    if (!result.ok()) return;
  }
}

namespace {

bool IsEmptyValue(const BindingProperty& value) {
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      return true;
    case BindingPropertyKind::Bool:
      return !value.GetBool();
    case BindingPropertyKind::Signed:
      return value.GetSigned() == 0;
    case BindingPropertyKind::Unsigned:
      return value.GetUnsigned() == 0;
    case BindingPropertyKind::Float:
      return value.GetFloat() == 0.0;
    case BindingPropertyKind::Enum:
      return value.GetEnum().value == 0;
    default:
      return value.size() == 0;
  }
}

}  // namespace

void WriteRecord(ConversionResult& result, const void* object, const TypeRecord* record,
                 BindingProperty& out) {
  if (record == nullptr) return result.SetError(kUnregisteredOutput);
  out.MakeStructure();
  for (const FieldRecord& field : record->fields) {
    if ((field.flags & (kFieldOmitWhenEmpty | kFieldOmitWhenAbsent)) == 0) {
      field.converter->Write(result, object, field.type.record, *record->registry, out[field.name]);
      if (!result.ok()) return;
      continue;
    }
    // Rendered aside first: a field left out must not appear at all.
    BindingProperty value;
    field.converter->Write(result, object, field.type.record, *record->registry, value);
    if (!result.ok()) return;
    const bool omit =
        (field.flags & kFieldOmitWhenEmpty) != 0 ? IsEmptyValue(value) : value.IsEmpty();
    if (!omit) out[field.name] = std::move(value);
  }
}

}  // namespace Kelp::detail

namespace Kelp {

std::string Base64Encode(std::span<const std::uint8_t> bytes) {
  std::string out;
  AppendBase64(bytes, out);
  return out;
}

std::string ToText(const BindingProperty& value) {
  char buffer[400];  // "%f" of the largest double needs 317 characters
  switch (value.kind()) {
    case BindingPropertyKind::Bool:
      return value.GetBool() ? "true" : "false";
    case BindingPropertyKind::Signed:
      std::snprintf(buffer, sizeof buffer, "%" PRId64, value.GetSigned());
      return buffer;
    case BindingPropertyKind::Unsigned:
      std::snprintf(buffer, sizeof buffer, "%" PRIu64, value.GetUnsigned());
      return buffer;
    case BindingPropertyKind::Float:
      std::snprintf(buffer, sizeof buffer, "%f", value.GetFloat());
      return buffer;
    case BindingPropertyKind::String:
      return std::string(value.GetString());
    case BindingPropertyKind::Blob:
      return Base64Encode(value.GetBlob());
    case BindingPropertyKind::Enum:
      return std::to_string(value.GetEnum().value);
    default:
      return {};
  }
}

}  // namespace Kelp
