// The reference host's own value model: what the host keeps of every value
// that crosses the boundary (event payloads, request arguments, response
// values), independent of the plugin's memory.
//
// A HostValue is a plain tree with value semantics. Objects keep their keys
// in insertion order, so printing and comparing are deterministic.
#ifndef KELP_HOST_HOST_VALUE_H_
#define KELP_HOST_HOST_VALUE_H_

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "sdk/plugin/abi.h"

namespace Kelp::Host {

// Deepest nesting that FromBinding copies; deeper values are refused.
inline constexpr int kMaxHostValueDepth = 512;

class HostValue;
using HostArray = std::vector<HostValue>;
using HostMember = std::pair<std::string, HostValue>;
using HostObject = std::vector<HostMember>;
using HostBlob = std::vector<std::uint8_t>;

class HostValue {
 public:
  enum class Kind { Null, Bool, Signed, Unsigned, Double, String, Blob, Array, Object };

  HostValue() = default;  // null
  HostValue(bool value) : data_(value) {}
  // Any integer: signed types are kept as Signed, unsigned ones as Unsigned.
  template <std::integral T>
  requires(!std::same_as<T, bool>) HostValue(T value) {
    if constexpr (std::is_signed_v<T>) {
      data_ = static_cast<std::int64_t>(value);
    } else {
      data_ = static_cast<std::uint64_t>(value);
    }
  }
  HostValue(double value) : data_(value) {}
  HostValue(std::string value) : data_(std::move(value)) {}
  HostValue(std::string_view value) : data_(std::string(value)) {}
  HostValue(const char* value) : data_(std::string(value)) {}
  HostValue(HostBlob value) : data_(std::move(value)) {}
  HostValue(HostArray value) : data_(std::move(value)) {}
  HostValue(HostObject value) : data_(std::move(value)) {}

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool IsNull() const { return kind() == Kind::Null; }

  // Typed access. REQUIRES: kind() is the matching kind (std::bad_variant_access
  // otherwise).
  bool AsBool() const { return std::get<bool>(data_); }
  std::int64_t AsSigned() const { return std::get<std::int64_t>(data_); }
  std::uint64_t AsUnsigned() const { return std::get<std::uint64_t>(data_); }
  double AsDouble() const { return std::get<double>(data_); }
  const std::string& AsString() const { return std::get<std::string>(data_); }
  const HostBlob& AsBlob() const { return std::get<HostBlob>(data_); }
  const HostArray& AsArray() const { return std::get<HostArray>(data_); }
  const HostObject& AsObject() const { return std::get<HostObject>(data_); }
  HostArray& AsArray() { return std::get<HostArray>(data_); }
  HostObject& AsObject() { return std::get<HostObject>(data_); }

  // The member named `key` of an object; null when this is no object or has
  // no such member (the first one when a key repeats).
  const HostValue* Find(std::string_view key) const;
  // Replaces the member named `key`, or appends it. A value that is not an
  // object becomes an empty object first. Returns *this for chaining.
  HostValue& Set(std::string_view key, HostValue value);

  // Compact JSON-like text: strings escaped as in JSON, blobs as b"<hex>",
  // doubles in shortest round-trip form (nan and inf spelled out).
  std::string ToJson() const;

  friend bool operator==(const HostValue&, const HostValue&) = default;

 private:
  std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string, HostBlob,
               HostArray, HostObject>
      data_;
};

// Builds an object from members in the given order.
HostValue MakeObject(std::initializer_list<HostMember> members);

// A request argument: a name (none for a positional argument) and a value.
struct HostArgument {
  std::optional<std::string> name;
  HostValue value;
  friend bool operator==(const HostArgument&, const HostArgument&) = default;
};

// A copy of a value that the host does not own, or why there is none.
struct [[nodiscard]] HostValueResult {
  HostValue value;
  std::string error;  // empty on success
  bool ok() const { return error.empty(); }
};

// Deep-copies a BindingValue given by the plugin. The input is borrowed and
// may be malformed: an unknown kind, a null text, key or array with a
// non-zero count, or a nesting deeper than kMaxHostValueDepth is refused with
// an error naming it (a null text of length 0 reads as empty, a null key as
// ""). Tag 0 reads as null; owned and borrowed tags copy alike.
HostValueResult FromBinding(const BindingValue& value);

}  // namespace Kelp::Host

#endif  // KELP_HOST_HOST_VALUE_H_
