// Conversions between BindingProperty trees and native values.
//
//   // Input: a tree (a decoded body, an event's data) into a native value.
//   ConversionResult result;
//   PartyDto party;
//   FromProperty(result, body, "<value>", party, registry);
//   if (!result.ok()) return Fail(result.error());
//
//   // Output: a native value into a tree.
//   ConversionResult out = ToProperty(party, registry);
//
// Supported native types: bool; signed and unsigned integers of 8 to 64 bits;
// float and double; std::string; BindingProperty ("object", copied as it
// stands); enumerations and records registered in the registry (see
// sdk/binding/type_builder.h); std::vector of any of these; std::map and
// std::unordered_map from std::string to any of these; std::optional of any
// of these (an empty input leaves it as it was; a disengaged optional writes
// nothing). Any other type does not compile.
//
// Input rules, in short (the messages are exact and quote the field name):
//  - an empty input is "A value for '%1' is required." for every scalar,
//    enum, string and record target;
//  - a string may stand for a bool ("1", "true", "0", "false"), a number
//    (strtoll/strtoull base 0, strtod; nothing may follow the number) or an
//    enum value (by name, else by number);
//  - numbers are checked against the target's bounds; a float is truncated
//    toward zero; NaN is out of range for every numeric target;
//  - numbers never become strings;
//  - records take the fields they declare, in registration order; missing or
//    empty input fields leave the native field as it was; undeclared input
//    fields are ignored;
//  - vectors and maps are cleared first; an empty element is skipped and
//    stays default-constructed.
// The first failure stops the whole conversion: the result then holds only
// that message, and what was filled before stays in the native value, which
// the caller discards. Nothing here throws on bad input; a failed result on
// entry makes every call a no-op. Recursion follows the input's (or the
// native value's) own nesting, which the decoders keep within
// kMaxNestingDepth.
#ifndef KELP_SDK_BINDING_CONVERSION_H_
#define KELP_SDK_BINDING_CONVERSION_H_

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/conversion_result.h"
#include "sdk/binding/type_id.h"
#include "sdk/binding/type_registry.h"

namespace Kelp {

// ---- Classification of native types ---------------------------------------

template <class T>
struct IsStdVector : std::false_type {};
template <class E, class A>
struct IsStdVector<std::vector<E, A>> : std::true_type {
  using Element = E;
};

template <class T>
struct IsStringMap : std::false_type {};
template <class E, class C, class A>
struct IsStringMap<std::map<std::string, E, C, A>> : std::true_type {
  using Element = E;
};
template <class E, class H, class Q, class A>
struct IsStringMap<std::unordered_map<std::string, E, H, Q, A>> : std::true_type {
  using Element = E;
};

template <class T>
struct IsStdOptional : std::false_type {};
template <class E>
struct IsStdOptional<std::optional<E>> : std::true_type {
  using Element = E;
};

template <class T>
concept SignedIntegerType = std::is_integral_v<T> && std::is_signed_v<T>;
template <class T>
concept UnsignedIntegerType =
    std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>;
template <class T>
concept FloatingType = std::is_floating_point_v<T>;
template <class T>
concept EnumType = std::is_enum_v<T>;
// A native record: a class that is none of the value types above. It must be
// registered (TypeBuilder) to convert.
template <class T>
concept RecordType = std::is_class_v<T> && !std::is_same_v<T, std::string> &&
                     !std::is_same_v<T, BindingProperty> && !IsStdVector<T>::value &&
                     !IsStringMap<T>::value && !IsStdOptional<T>::value;

// The binding type code of a native type (optional<E> has E's code).
template <class T>
constexpr BindingTypeCode TypeCodeOf() {
  if constexpr (std::is_same_v<T, bool>) {
    return BindingTypeCode::Bool;
  } else if constexpr (SignedIntegerType<T>) {
    constexpr BindingTypeCode kCodes[] = {BindingTypeCode::Int8, BindingTypeCode::Int16,
                                          BindingTypeCode::None, BindingTypeCode::Int32,
                                          BindingTypeCode::None, BindingTypeCode::None,
                                          BindingTypeCode::None, BindingTypeCode::Int64};
    return kCodes[sizeof(T) - 1];
  } else if constexpr (UnsignedIntegerType<T>) {
    constexpr BindingTypeCode kCodes[] = {BindingTypeCode::UInt8, BindingTypeCode::UInt16,
                                          BindingTypeCode::None,  BindingTypeCode::UInt32,
                                          BindingTypeCode::None,  BindingTypeCode::None,
                                          BindingTypeCode::None,  BindingTypeCode::UInt64};
    return kCodes[sizeof(T) - 1];
  } else if constexpr (std::is_same_v<T, float>) {
    return BindingTypeCode::Float;
  } else if constexpr (std::is_same_v<T, double>) {
    return BindingTypeCode::Double;
  } else if constexpr (std::is_same_v<T, std::string>) {
    return BindingTypeCode::String;
  } else if constexpr (std::is_same_v<T, BindingProperty>) {
    return BindingTypeCode::Object;
  } else if constexpr (EnumType<T>) {
    return BindingTypeCode::Enum;
  } else if constexpr (IsStdVector<T>::value) {
    return BindingTypeCode::Vector;
  } else if constexpr (IsStringMap<T>::value) {
    return BindingTypeCode::Map;
  } else if constexpr (IsStdOptional<T>::value) {
    return TypeCodeOf<typename IsStdOptional<T>::Element>();
  } else {
    return BindingTypeCode::Struct;
  }
}

// The enum or record type whose TypeRecord a T needs: T itself for enums and
// records, the element's for vectors, maps and optionals, void otherwise.
template <class T>
struct RecordTypeOf {
  using Type = void;
};
template <class T>
  requires EnumType<T> || RecordType<T>
struct RecordTypeOf<T> {
  using Type = T;
};
template <class T>
  requires IsStdVector<T>::value
struct RecordTypeOf<T> {
  using Type = typename RecordTypeOf<typename IsStdVector<T>::Element>::Type;
};
template <class T>
  requires IsStringMap<T>::value
struct RecordTypeOf<T> {
  using Type = typename RecordTypeOf<typename IsStringMap<T>::Element>::Type;
};
template <class T>
  requires IsStdOptional<T>::value
struct RecordTypeOf<T> {
  using Type = typename RecordTypeOf<typename IsStdOptional<T>::Element>::Type;
};

// The registered record that T's conversion walks, or null (also for types
// that need none).
template <class T>
const TypeRecord* RecordFor(const TypeRegistry& registry) {
  using Inner = typename RecordTypeOf<T>::Type;
  if constexpr (std::is_void_v<Inner>) {
    return nullptr;
  } else {
    return registry.FindById(StaticTypeOf<Inner>());
  }
}

// The TypeRef of T: {code, element code, record} (optional<E> as E).
template <class T>
TypeRef TypeRefOf(const TypeRegistry& registry) {
  if constexpr (IsStdOptional<T>::value) {
    return TypeRefOf<typename IsStdOptional<T>::Element>(registry);
  } else {
    TypeRef ref;
    ref.code = TypeCodeOf<T>();
    if constexpr (IsStdVector<T>::value) {
      ref.elementCode = TypeCodeOf<typename IsStdVector<T>::Element>();
    } else if constexpr (IsStringMap<T>::value) {
      ref.elementCode = TypeCodeOf<typename IsStringMap<T>::Element>();
    }
    ref.record = RecordFor<T>(registry);
    return ref;
  }
}

// ---- The non-template rules (conversion.cc) -------------------------------

namespace detail {

struct SignedBounds {
  std::int64_t min;
  std::int64_t max;
  double upper;  // 2^(value bits): the exclusive bound of float inputs for 64-bit targets
  const char* typeName;
};
struct UnsignedBounds {
  std::uint64_t max;
  double upper;  // 2^(value bits): the exclusive bound of float inputs for 64-bit targets
  const char* typeName;
};
struct FloatBounds {
  double min;
  double max;
  const char* typeName;
};

// Each Read* returns true when it stored a value; on false the result holds
// the message. The result must be ok on entry.
void ReadBool(ConversionResult& result, const BindingProperty& in, std::string_view name,
              bool& out);
bool ReadSigned(ConversionResult& result, const BindingProperty& in, std::string_view name,
                const SignedBounds& bounds, std::int64_t& out);
bool ReadUnsigned(ConversionResult& result, const BindingProperty& in, std::string_view name,
                  const UnsignedBounds& bounds, std::uint64_t& out);
bool ReadFloat(ConversionResult& result, const BindingProperty& in, std::string_view name,
               const FloatBounds& bounds, double& out);
bool ReadEnum(ConversionResult& result, const BindingProperty& in, std::string_view name,
              const TypeRecord* record, const TypeRegistry& registry, std::int32_t& out);
void ReadString(ConversionResult& result, const BindingProperty& in, std::string_view name,
                const TypeRegistry& registry, std::string& out);
// Fail unless `in` is a collection / structure.
bool ExpectCollection(ConversionResult& result, const BindingProperty& in, std::string_view name);
bool ExpectStructure(ConversionResult& result, const BindingProperty& in, std::string_view name);
// Record rule; `record` describes the object's type (null: unregistered).
void ReadRecord(ConversionResult& result, const BindingProperty& in, std::string_view name,
                void* object, const TypeRecord* record);
void WriteRecord(ConversionResult& result, const void* object, const TypeRecord* record,
                 BindingProperty& out);

template <class T>
constexpr double TwoToTheDigits() {
  double value = 1.0;
  for (int i = 0; i < std::numeric_limits<T>::digits; ++i) value *= 2.0;
  return value;
}

}  // namespace detail

// ---- Converter<T>: one specialisation per kind of native type --------------
//
// Read(result, in, name, out, record, registry): `in` into `out`; `record` is
//   the TypeRecord of T's enum or record type (RecordFor<T>), may be null.
// Write(result, value, record, registry, out): `value` into the empty node
//   `out`. After a failure `out` may be gone (it can live in `result`).
// Both expect an ok result on entry.

template <class T>
struct Converter;

template <>
struct Converter<bool> {
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name,
                   bool& out, const TypeRecord*, const TypeRegistry&) {
    detail::ReadBool(r, in, name, out);
  }
  static void Write(ConversionResult&, bool value, const TypeRecord*, const TypeRegistry&,
                    BindingProperty& out) {
    out.SetBool(value);
  }
};

template <SignedIntegerType T>
struct Converter<T> {
  static constexpr detail::SignedBounds kBounds{
      std::numeric_limits<T>::min(), std::numeric_limits<T>::max(),
      detail::TwoToTheDigits<T>(), TypeCodeName(TypeCodeOf<T>())};
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name, T& out,
                   const TypeRecord*, const TypeRegistry&) {
    std::int64_t value = 0;
    if (detail::ReadSigned(r, in, name, kBounds, value)) out = static_cast<T>(value);
  }
  static void Write(ConversionResult&, T value, const TypeRecord*, const TypeRegistry&,
                    BindingProperty& out) {
    out.SetSigned(value);
  }
};

template <UnsignedIntegerType T>
struct Converter<T> {
  static constexpr detail::UnsignedBounds kBounds{
      std::numeric_limits<T>::max(), detail::TwoToTheDigits<T>(), TypeCodeName(TypeCodeOf<T>())};
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name, T& out,
                   const TypeRecord*, const TypeRegistry&) {
    std::uint64_t value = 0;
    if (detail::ReadUnsigned(r, in, name, kBounds, value)) out = static_cast<T>(value);
  }
  static void Write(ConversionResult&, T value, const TypeRecord*, const TypeRegistry&,
                    BindingProperty& out) {
    out.SetUnsigned(value);
  }
};

template <FloatingType T>
struct Converter<T> {
  static constexpr detail::FloatBounds kBounds{-static_cast<double>(std::numeric_limits<T>::max()),
                                               static_cast<double>(std::numeric_limits<T>::max()),
                                               TypeCodeName(TypeCodeOf<T>())};
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name, T& out,
                   const TypeRecord*, const TypeRegistry&) {
    double value = 0;
    if (detail::ReadFloat(r, in, name, kBounds, value)) out = static_cast<T>(value);
  }
  static void Write(ConversionResult&, T value, const TypeRecord*, const TypeRegistry&,
                    BindingProperty& out) {
    out.SetFloat(value);
  }
};

template <>
struct Converter<std::string> {
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name,
                   std::string& out, const TypeRecord*, const TypeRegistry& registry) {
    detail::ReadString(r, in, name, registry, out);
  }
  static void Write(ConversionResult&, const std::string& value, const TypeRecord*,
                    const TypeRegistry&, BindingProperty& out) {
    out.SetString(value);
  }
};

template <>
struct Converter<BindingProperty> {
  static void Read(ConversionResult&, const BindingProperty& in, std::string_view,
                   BindingProperty& out, const TypeRecord*, const TypeRegistry&) {
    out = in;
  }
  static void Write(ConversionResult&, const BindingProperty& value, const TypeRecord*,
                    const TypeRegistry&, BindingProperty& out) {
    out = value;
  }
};

template <EnumType T>
struct Converter<T> {
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name, T& out,
                   const TypeRecord* record, const TypeRegistry& registry) {
    std::int32_t value = 0;
    if (detail::ReadEnum(r, in, name, record, registry, value)) out = static_cast<T>(value);
  }
  static void Write(ConversionResult&, T value, const TypeRecord*, const TypeRegistry&,
                    BindingProperty& out) {
    out.SetEnum(static_cast<std::int32_t>(value), StaticTypeOf<T>());
  }
};

template <RecordType T>
struct Converter<T> {
  // A record registered for another native type (or under the reserved id)
  // is treated as absent: its converters must never see a T.
  static const TypeRecord* Checked(const TypeRecord* record) {
    return record != nullptr && record->type == StaticTypeOf<T>() ? record : nullptr;
  }
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name, T& out,
                   const TypeRecord* record, const TypeRegistry&) {
    detail::ReadRecord(r, in, name, &out, Checked(record));
  }
  static void Write(ConversionResult& r, const T& value, const TypeRecord* record,
                    const TypeRegistry&, BindingProperty& out) {
    detail::WriteRecord(r, &value, Checked(record), out);
  }
};

template <class T>
  requires IsStdVector<T>::value
struct Converter<T> {
  using Element = typename IsStdVector<T>::Element;
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name, T& out,
                   const TypeRecord* record, const TypeRegistry& registry) {
    out.clear();
    if (!detail::ExpectCollection(r, in, name)) return;
    const auto elements = in.Elements();
    out.resize(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
      if (elements[i].IsEmpty()) continue;
      if constexpr (std::is_same_v<Element, bool>) {
        bool value = false;
        Converter<bool>::Read(r, elements[i], name, value, record, registry);
        out[i] = value;
      } else {
        Converter<Element>::Read(r, elements[i], name, out[i], record, registry);
      }
      if (!r.ok()) return;
    }
  }
  static void Write(ConversionResult& r, const T& value, const TypeRecord* record,
                    const TypeRegistry& registry, BindingProperty& out) {
    out.MakeCollection();
    out.Reserve(value.size());
    for (const Element& element : value) {
      Converter<Element>::Write(r, element, record, registry, out.Append());
      if (!r.ok()) return;
    }
  }
};

template <class T>
  requires IsStringMap<T>::value
struct Converter<T> {
  using Element = typename IsStringMap<T>::Element;
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name, T& out,
                   const TypeRecord* record, const TypeRegistry& registry) {
    out.clear();
    if (!detail::ExpectStructure(r, in, name)) return;
    if constexpr (requires { out.reserve(std::size_t{}); }) out.reserve(in.size());
    for (const auto [key, value] : in.Fields()) {
      if (value.IsEmpty()) continue;
      Converter<Element>::Read(r, value, name, out[std::string(key)], record, registry);
      if (!r.ok()) return;
    }
  }
  static void Write(ConversionResult& r, const T& value, const TypeRecord* record,
                    const TypeRegistry& registry, BindingProperty& out) {
    out.MakeStructure();
    for (const auto& [key, element] : value) {
      Converter<Element>::Write(r, element, record, registry, out[key]);
      if (!r.ok()) return;
    }
  }
};

template <class T>
  requires IsStdOptional<T>::value
struct Converter<T> {
  using Element = typename IsStdOptional<T>::Element;
  static void Read(ConversionResult& r, const BindingProperty& in, std::string_view name, T& out,
                   const TypeRecord* record, const TypeRegistry& registry) {
    if (in.IsEmpty()) return;
    Element value{};
    Converter<Element>::Read(r, in, name, value, record, registry);
    if (r.ok()) out = std::move(value);
  }
  static void Write(ConversionResult& r, const T& value, const TypeRecord* record,
                    const TypeRegistry& registry, BindingProperty& out) {
    if (value.has_value()) Converter<Element>::Write(r, *value, record, registry, out);
  }
};

// ---- The entry points -------------------------------------------------------

// `in` into `out`, labelling messages with `fieldName` ("<value>" for a whole
// body, the parameter's name for an argument). Does nothing when `result` has
// already failed.
template <class T>
void FromProperty(ConversionResult& result, const BindingProperty& in, std::string_view fieldName,
                  T& out, const TypeRegistry& registry) {
  if (!result.ok()) return;
  Converter<T>::Read(result, in, fieldName, out, RecordFor<T>(registry), registry);
}

// `value` into `out`, which must not live inside `result`. `out` is reset
// first. Does nothing when `result` has already failed.
template <class T>
void ToProperty(ConversionResult& result, const T& value, const TypeRegistry& registry,
                BindingProperty& out) {
  if (!result.ok()) return;
  out.Reset();
  Converter<T>::Write(result, value, RecordFor<T>(registry), registry, out);
}

// `value` as the root of a fresh result. An unregistered record type gives
// "Couldn't convert native value because it's an unregistered structure.".
template <class T>
ConversionResult ToProperty(const T& value, const TypeRegistry& registry) {
  ConversionResult result;
  Converter<T>::Write(result, value, RecordFor<T>(registry), registry, result.value());
  return result;
}

// A value as text: "" for empty, collection and structure; "true"/"false";
// integers in decimal; floats with "%f"; strings as they stand; blobs in
// standard base64 with "=" padding; enums as their number.
std::string ToText(const BindingProperty& value);

// Standard base64 with "=" padding.
std::string Base64Encode(std::span<const std::uint8_t> bytes);

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_CONVERSION_H_
