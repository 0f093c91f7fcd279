// TypeBuilder: registers one native record or enumeration in a TypeRegistry.
//
//   TypeBuilder<PartyDto>(registry, "TavPremadeVoiceParty")
//       .Description("The party as the lobby sees it.")
//       .Tag("Plugin tav-premade-voice")
//       .Field("partyId", &PartyDto::partyId)
//       .Field("players", &PartyDto::players, "The party's players");
//
//   TypeBuilder<PartyMemberRole>(registry, "TavPremadeVoicePartyMemberRoleEnum")
//       .Value("LEADER", PartyMemberRole::LEADER)
//       .Value("MEMBER", PartyMemberRole::MEMBER);
//
// Each Field deduces the field's binding type, its TypeRef and its converter
// from the member pointer (see sdk/binding/conversion.h for the supported
// native types); std::optional fields are marked optional. Register the enum
// and record types a field uses before the record that uses them, so that
// the field's TypeRef (and the API description) names them.
//
// The first registration of a name wins: when the name is already taken, the
// builder changes nothing (later fields, values, description and tags are
// ignored). A builder is short-lived and used on one thread.
#ifndef KELP_SDK_BINDING_TYPE_BUILDER_H_
#define KELP_SDK_BINDING_TYPE_BUILDER_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "sdk/binding/conversion.h"
#include "sdk/binding/type_id.h"
#include "sdk/binding/type_registry.h"

namespace Kelp {

namespace detail {

// The byte offset of `member` inside T, taken on storage that holds no T (no
// constructor runs).
template <class T, class M>
std::uint32_t MemberOffset(M T::*member) {
  union Storage {
    Storage() {}
    ~Storage() {}
    T object;
  } storage;
  return static_cast<std::uint32_t>(reinterpret_cast<const char*>(&(storage.object.*member)) -
                                    reinterpret_cast<const char*>(&storage.object));
}

// The converter of one member of T.
template <class T, class M>
class MemberConverter final : public FieldConverter {
 public:
  explicit MemberConverter(M T::*member) : member_(member) {}

  void Read(ConversionResult& result, const BindingProperty& in, std::string_view fieldName,
            void* object, const TypeRecord* fieldType,
            const TypeRegistry& registry) const override {
    M& field = static_cast<T*>(object)->*member_;
    Converter<M>::Read(result, in, fieldName, field, Resolve(fieldType, registry), registry);
  }

  void Write(ConversionResult& result, const void* object, const TypeRecord* fieldType,
             const TypeRegistry& registry, BindingProperty& out) const override {
    const M& field = static_cast<const T*>(object)->*member_;
    Converter<M>::Write(result, field, Resolve(fieldType, registry), registry, out);
  }

 private:
  // A field type registered after the record that uses it is found here.
  static const TypeRecord* Resolve(const TypeRecord* fieldType, const TypeRegistry& registry) {
    return fieldType != nullptr ? fieldType : RecordFor<M>(registry);
  }

  M T::*member_;
};

}  // namespace detail

template <class T>
  requires EnumType<T> || RecordType<T>
class TypeBuilder {
 public:
  // Begins the type `name` with T's identifier (or `type`, such as
  // ReservedStaticType(), for records that must not be found by id).
  TypeBuilder(TypeRegistry& registry, std::string_view name,
              const StaticType* type = StaticTypeOf<T>())
      : registry_(registry) {
    record_ = registry.BeginType(static_cast<std::uint32_t>(sizeof(T)), name, type, EnumType<T>,
                                 existing_);
  }

  // True when the name was registered before; the builder then does nothing.
  bool existing() const { return existing_; }
  const TypeRecord* record() const { return record_; }

  TypeBuilder& Description(std::string_view description) {
    if (!existing_) registry_.SetDescription(record_, description);
    return *this;
  }
  TypeBuilder& NameSpace(std::string_view nameSpace) {
    if (!existing_) registry_.SetNameSpace(record_, nameSpace);
    return *this;
  }
  // An empty tag adds nothing.
  TypeBuilder& Tag(std::string_view tag) {
    if (!existing_) registry_.AddTag(record_, tag);
    return *this;
  }
  TypeBuilder& Tags(std::initializer_list<std::string_view> tags) {
    for (std::string_view tag : tags) Tag(tag);
    return *this;
  }

  // A field of a record. `describedType` is reported by the API description
  // instead of the deduced type when its code is set; `flags` takes
  // kFieldOmitWhenEmpty and kFieldRequired.
  template <class M, class U>
    requires RecordType<T> && std::is_same_v<U, T>
  TypeBuilder& Field(std::string_view name, M U::*member, std::string_view description = {},
                     TypeRef describedType = {}, std::uint8_t flags = 0) {
    if (existing_) return *this;
    FieldRecord field;
    field.name = std::string(name);
    field.nameHash = Fnv1a(name);
    field.description = std::string(description);
    field.typeId = StaticTypeOf<M>();
    field.offset = detail::MemberOffset(member);
    field.type = TypeRefOf<M>(registry_);
    if (describedType.code != BindingTypeCode::None) field.describedType = describedType;
    field.flags = flags;
    field.converter = std::make_unique<detail::MemberConverter<T, M>>(member);
    field.optional = IsStdOptional<M>::value ? 1 : 0;
    registry_.AddField(record_, std::move(field));
    return *this;
  }

  // A value of an enumeration; a name given twice keeps the last number.
  TypeBuilder& Value(std::string_view name, T value, std::string_view description = {})
    requires EnumType<T>
  {
    if (!existing_) {
      registry_.AddEnumValue(record_, name, static_cast<std::int32_t>(value), description);
    }
    return *this;
  }

 private:
  TypeRegistry& registry_;
  TypeRecord* record_ = nullptr;
  bool existing_ = false;
};

// Registers the event `name` with payload type T (registered before).
// Returns false when the name was taken (the first registration stays).
template <class T>
bool RegisterEvent(TypeRegistry& registry, std::string_view name, std::string_view description,
                   std::initializer_list<std::string_view> tags, std::string_view nameSpace = {}) {
  ExposedEvent event;
  event.name = std::string(name);
  event.nameSpace = std::string(nameSpace);
  event.description = std::string(description);
  for (std::string_view tag : tags) {
    if (!tag.empty()) event.tags.emplace_back(tag);
  }
  event.payload = TypeRefOf<T>(registry);
  return registry.AddEvent(std::move(event));
}

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_TYPE_BUILDER_H_
