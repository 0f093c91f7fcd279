// Identifiers of native types: StaticTypeOf<T>() gives the one StaticType of
// T, whose `id` the type registry uses as the type's identity.
//
// The id of a type is fixed at build time. By default it is the 32-bit FNV-1a
// hash of the type's spelling as the compiler writes it in the signature of
// detail::TypeSignature<T> (for example "Kelp::BindingProperty"), and `name`
// points to that whole signature. A type may instead be declared by number,
// either with a member `static constexpr std::uint32_t kTypeId` or with a
// specialisation of DeclaredTypeId; its name is then "#%08X" of the number.
// The primitive field types are declared by number, each with the hash of
// its own spelling, so both routes agree on their ids.
//
// Two types could in principle hash alike. The registry refuses to index a
// second, different StaticType under an id already in use, so a collision
// can never make one type's converters run on another type's memory.
//
// StaticTypeOf is thread-safe; the objects live until the process ends.
#ifndef KELP_SDK_BINDING_TYPE_ID_H_
#define KELP_SDK_BINDING_TYPE_ID_H_

#include <cstdint>
#include <string_view>
#include <type_traits>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/static_type.h"

namespace Kelp {

// A record registered with this id is found by name only, never by id.
inline constexpr std::uint32_t kReservedTypeId = 0x1BE7EF8Eu;

// The "object" field type, declared by number.
inline constexpr std::uint32_t kBindingPropertyTypeId = 0xBEEA9D0Bu;

namespace detail {

template <class T>
constexpr const char* TypeSignature() {
  return __PRETTY_FUNCTION__;
}

// The part of a signature that spells the template argument: the text after
// "T = " up to the closing "]" (GCC and Clang both write "[with T = X]" or
// "[T = X]").
constexpr std::string_view SpellingOf(std::string_view signature) {
  const std::size_t start = signature.find("T = ");
  const std::size_t end = signature.rfind(']');
  if (start == std::string_view::npos || end == std::string_view::npos || end < start + 4) {
    return signature;
  }
  return signature.substr(start + 4, end - start - 4);
}

template <class T>
constexpr std::string_view TypeSpelling() {
  return SpellingOf(TypeSignature<T>());
}

// Fills `type` with `id` and either `signature` as the name or, when
// `signature` is null, the generated "#%08X" name.
void InitStaticType(StaticType& type, std::uint32_t id, const char* signature);

}  // namespace detail

// Specialise with `static constexpr std::uint32_t value` to declare a type's
// id by number (for types that cannot carry a kTypeId member, such as enums).
template <class T>
struct DeclaredTypeId {};

template <class T>
  requires requires { T::kTypeId; }
struct DeclaredTypeId<T> {
  static constexpr std::uint32_t value = T::kTypeId;
};

template <class T>
concept DeclaredByNumber = requires { DeclaredTypeId<T>::value; };

// The primitive field types (bool, integers, floating point).
template <class T>
  requires std::is_arithmetic_v<T>
struct DeclaredTypeId<T> {
  static constexpr std::uint32_t value = Fnv1a(detail::TypeSpelling<T>());
};

template <>
struct DeclaredTypeId<BindingProperty> {
  static constexpr std::uint32_t value = kBindingPropertyTypeId;
};
static_assert(kBindingPropertyTypeId == Fnv1a(detail::TypeSpelling<BindingProperty>()),
              "the declared id of BindingProperty must equal the hash of its spelling");

// The build-time id of T.
template <class T>
constexpr std::uint32_t TypeIdOf() {
  if constexpr (DeclaredByNumber<T>) {
    return DeclaredTypeId<T>::value;
  } else {
    return Fnv1a(detail::TypeSpelling<T>());
  }
}

// The one identifier object of T.
template <class T>
const StaticType* StaticTypeOf() {
  struct Holder {
    StaticType type{};
    Holder() {
      detail::InitStaticType(type, TypeIdOf<T>(),
                             DeclaredByNumber<T> ? nullptr : detail::TypeSignature<T>());
    }
  };
  static const Holder holder;
  return &holder.type;
}

// The identifier of the reserved id, for records that must not be found by id.
const StaticType* ReservedStaticType();

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_TYPE_ID_H_
