// TypeRegistry: the descriptions of every native record and enumeration that
// travels through the binding layer, and of the functions and events a plugin
// exposes.
//
// One registry exists per plugin. Its constructor registers the SDK's builtin
// types and the builtin event "OnCallback"; the plugin then registers its own
// types at start-up with TypeBuilder (sdk/binding/type_builder.h), before any
// request or event is served. Nothing is ever unregistered, so every record
// pointer handed out stays valid for the registry's lifetime.
//
// Threading: one mutex guards the maps; every lookup and every registration
// step takes it. Conversions read a record's fields and converters without the
// lock, which is why registration must be over before conversions start.
#ifndef KELP_SDK_BINDING_TYPE_REGISTRY_H_
#define KELP_SDK_BINDING_TYPE_REGISTRY_H_

#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/conversion_result.h"
#include "sdk/binding/enum_namer.h"
#include "sdk/binding/static_type.h"
#include "sdk/binding/type_id.h"

namespace Kelp {

// The vocabulary of field types. Values are the numbers that travel in the
// API description.
enum class BindingTypeCode : std::uint32_t {
  None = 0,
  Bool = 1,
  Int8 = 2,
  UInt8 = 3,
  Int16 = 4,
  UInt16 = 5,
  Int32 = 6,
  UInt32 = 7,
  Int64 = 8,
  UInt64 = 9,
  Float = 10,
  Double = 11,
  String = 12,
  Object = 13,
  Blob = 14,
  Vector = 15,
  Enum = 16,
  Struct = 17,
  Callback = 18,
  Map = 19,
};

// "bool", "int8", ... "map"; the empty text outside 1 to 19.
constexpr const char* TypeCodeName(BindingTypeCode code) {
  constexpr const char* kNames[] = {
      "",       "bool",   "int8",   "uint8",  "int16",    "uint16", "int32",
      "uint32", "int64",  "uint64", "float",  "double",   "string", "object",
      "blob",   "vector", "enum",   "struct", "callback", "map",
  };
  const auto index = static_cast<std::uint32_t>(code);
  return index < std::size(kNames) ? kNames[index] : "";
}
// The number handed to the host: 1 to 19 as they are, anything else 0.
std::uint32_t BoundaryTypeCode(BindingTypeCode code);

struct TypeRecord;
class TypeRegistry;

// How a field, argument, return value or payload is typed. `elementCode` is
// set for vectors and maps; `record` is the enum or struct record (of the
// element for a vector or map of records), or null.
struct TypeRef {
  BindingTypeCode code = BindingTypeCode::None;
  BindingTypeCode elementCode = BindingTypeCode::None;
  const TypeRecord* record = nullptr;
};

// Reads and writes one native field. `object` points to the record that
// holds the field; `fieldType` is the field's TypeRef record (may be null).
// Both calls report failure through `result` and never throw on bad input;
// on entry `result` is ok.
class FieldConverter {
 public:
  virtual ~FieldConverter() = default;
  // BindingProperty (not empty) into the field.
  virtual void Read(ConversionResult& result, const BindingProperty& in, std::string_view fieldName,
                    void* object, const TypeRecord* fieldType,
                    const TypeRegistry& registry) const = 0;
  // The field into `out`, an empty node. On failure `out` may be gone (it
  // can live inside `result`), so the caller must not touch it again.
  virtual void Write(ConversionResult& result, const void* object, const TypeRecord* fieldType,
                     const TypeRegistry& registry, BindingProperty& out) const = 0;
};

// FieldRecord::flags bits. kFieldOmitWhenAbsent leaves out a field that
// writes nothing (a disengaged optional) instead of writing it as an empty
// member; unlike kFieldOmitWhenEmpty it keeps an empty text, false or zero.
inline constexpr std::uint8_t kFieldOmitWhenEmpty = 1;
inline constexpr std::uint8_t kFieldRequired = 2;
inline constexpr std::uint8_t kFieldOmitWhenAbsent = 4;

struct FieldRecord {
  std::string name;
  std::uint32_t nameHash = 0;  // Fnv1a(name)
  std::string description;
  const StaticType* typeId = nullptr;
  std::uint32_t offset = 0;
  TypeRef type;
  // Set only when given with a non-zero code; the API description reports it
  // instead of `type`.
  TypeRef describedType;
  std::uint8_t flags = 0;
  std::unique_ptr<FieldConverter> converter;
  const TypeRecord* owner = nullptr;
  std::uint8_t optional = 0;
};

struct EnumValueRecord {
  std::int32_t value = 0;
  std::string name;
  std::string description;
  const TypeRecord* owner = nullptr;
};

struct TypeRecord {
  std::uint32_t size = 0;
  std::uint8_t isEnum = 0;
  std::string name;
  std::uint32_t id = 0;
  const StaticType* type = nullptr;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
  std::vector<FieldRecord> fields;                             // registration order
  std::map<std::string, EnumValueRecord, std::less<>> values;  // by name
  const TypeRegistry* registry = nullptr;
};

// An argument of an exposed function. `location` is the REST layer's code
// for where the argument comes from (path, body, ...).
struct FunctionArgument {
  std::string name;
  std::string description;
  TypeRef type;
  TypeRef describedType;  // reported instead of `type` when its code is set
  bool optional = false;
  std::uint32_t location = 0;
};

// An exposed function. `endpoint` belongs to whoever registered the function
// (the REST layer keeps its method, path and handler there); the registry only
// stores it.
struct FunctionRecord {
  std::string name;
  std::string nameSpace;
  std::string description;
  std::string help;
  std::vector<std::string> tags;
  std::vector<FunctionArgument> arguments;
  TypeRef returns;
  bool threadSafe = false;
  bool async = false;
  std::shared_ptr<void> endpoint;
};

// An exposed event and the type of its payload.
struct ExposedEvent {
  std::string name;
  std::string nameSpace;
  std::string description;
  std::vector<std::string> tags;
  TypeRef payload;
};

class TypeRegistry final : public EnumNamer {
 public:
  // Registers the builtin types and events.
  TypeRegistry();
  TypeRegistry(const TypeRegistry&) = delete;
  TypeRegistry& operator=(const TypeRegistry&) = delete;
  ~TypeRegistry();

  // The record registered with `type`'s id, or null (also for the reserved
  // id and for ids refused as collisions).
  const TypeRecord* FindById(const StaticType* type) const;
  const TypeRecord* FindById(std::uint32_t id) const;
  const TypeRecord* FindByName(std::string_view name) const;

  // The first value (in ascending name order) of enum `record` with `number`,
  // or null.
  const EnumValueRecord* FindEnumValue(const TypeRecord* record, std::int32_t number) const;
  // The value named `name` exactly, or null.
  const EnumValueRecord* FindEnumValue(const TypeRecord* record, std::string_view name) const;
  const char* EnumValueName(const StaticType* type, std::int32_t number) const override;

  // Adds a function or event under its name. A name already taken keeps the
  // first registration; the return value says whether this one was stored.
  bool AddFunction(FunctionRecord function);
  bool AddEvent(ExposedEvent event);
  // The stored function of that name (its `endpoint` included), or null.
  const FunctionRecord* FindFunction(std::string_view name) const;

  // Copies taken under the lock, in ascending name order.
  std::vector<FunctionRecord> Functions() const;
  std::vector<ExposedEvent> Events() const;
  std::vector<const TypeRecord*> Types() const;

  // Registration steps, used by TypeBuilder. BeginType returns the record of
  // that name; `existing` tells whether it was already there, in which case
  // the builder leaves it alone.
  TypeRecord* BeginType(std::uint32_t size, std::string_view name, const StaticType* type,
                        bool isEnum, bool& existing);
  void AddField(TypeRecord* record, FieldRecord field);
  void AddEnumValue(TypeRecord* record, std::string_view name, std::int32_t number,
                    std::string_view description);
  void SetDescription(TypeRecord* record, std::string_view description);
  void SetNameSpace(TypeRecord* record, std::string_view nameSpace);
  void AddTag(TypeRecord* record, std::string_view tag);

 private:
  struct IdHash {
    std::size_t operator()(std::uint32_t id) const;
  };

  mutable std::mutex mutex_;
  std::map<std::string, std::unique_ptr<FunctionRecord>, std::less<>> functions_;
  std::map<std::string, ExposedEvent, std::less<>> events_;
  std::map<std::string, std::unique_ptr<TypeRecord>, std::less<>> types_;
  std::unordered_map<std::uint32_t, TypeRecord*, IdHash> byId_;
};

}  // namespace Kelp

#endif  // KELP_SDK_BINDING_TYPE_REGISTRY_H_
