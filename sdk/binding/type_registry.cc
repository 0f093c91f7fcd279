#include "sdk/binding/type_registry.h"

#include <cassert>
#include <cstdio>

#include "sdk/binding/builtin_types.h"

namespace Kelp {
std::uint32_t BoundaryTypeCode(BindingTypeCode code) {
  const auto number = static_cast<std::uint32_t>(code);
  return number >= 1 && number <= 19 ? number : 0;
}

namespace detail {

void InitStaticType(StaticType& type, std::uint32_t id, const char* signature) {
  type.id = id;
  if (signature != nullptr) {
    type.name = signature;
    return;
  }
  std::snprintf(type.generatedName, sizeof type.generatedName, "#%08X", static_cast<unsigned>(id));
  type.name = type.generatedName;
}

}  // namespace detail

const StaticType* ReservedStaticType() {
  struct Holder {
    StaticType type{};
    Holder() { detail::InitStaticType(type, kReservedTypeId, nullptr); }
  };
  static const Holder holder;
  return &holder.type;
}

std::size_t TypeRegistry::IdHash::operator()(std::uint32_t id) const {
  const char bytes[4] = {static_cast<char>(id & 0xFF), static_cast<char>((id >> 8) & 0xFF),
                         static_cast<char>((id >> 16) & 0xFF),
                         static_cast<char>((id >> 24) & 0xFF)};
  return Fnv1a(std::string_view(bytes, 4));
}

TypeRegistry::TypeRegistry() { RegisterBuiltinTypes(*this); }

TypeRegistry::~TypeRegistry() = default;

const TypeRecord* TypeRegistry::FindById(const StaticType* type) const {
  return type != nullptr ? FindById(type->id) : nullptr;
}

const TypeRecord* TypeRegistry::FindById(std::uint32_t id) const {
  std::lock_guard lock(mutex_);
  const auto it = byId_.find(id);
  return it != byId_.end() ? it->second : nullptr;
}

const TypeRecord* TypeRegistry::FindByName(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const auto it = types_.find(name);
  return it != types_.end() ? it->second.get() : nullptr;
}

const EnumValueRecord* TypeRegistry::FindEnumValue(const TypeRecord* record,
                                                   std::int32_t number) const {
  if (record == nullptr) return nullptr;
  std::lock_guard lock(mutex_);
  for (const auto& [name, value] : record->values) {
    if (value.value == number) return &value;
  }
  return nullptr;
}

const EnumValueRecord* TypeRegistry::FindEnumValue(const TypeRecord* record,
                                                   std::string_view name) const {
  if (record == nullptr) return nullptr;
  std::lock_guard lock(mutex_);
  const auto it = record->values.find(name);
  return it != record->values.end() ? &it->second : nullptr;
}

const char* TypeRegistry::EnumValueName(const StaticType* type, std::int32_t number) const {
  const EnumValueRecord* value = FindEnumValue(FindById(type), number);
  return value != nullptr ? value->name.c_str() : nullptr;
}

bool TypeRegistry::AddFunction(FunctionRecord function) {
  std::lock_guard lock(mutex_);
  if (functions_.contains(function.name)) return false;
  std::string name = function.name;
  functions_.emplace(std::move(name), std::make_unique<FunctionRecord>(std::move(function)));
  return true;
}

bool TypeRegistry::AddEvent(ExposedEvent event) {
  std::lock_guard lock(mutex_);
  std::string name = event.name;
  return events_.emplace(std::move(name), std::move(event)).second;
}

const FunctionRecord* TypeRegistry::FindFunction(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const auto it = functions_.find(name);
  return it != functions_.end() ? it->second.get() : nullptr;
}

std::vector<FunctionRecord> TypeRegistry::Functions() const {
  std::lock_guard lock(mutex_);
  std::vector<FunctionRecord> copy;
  copy.reserve(functions_.size());
  for (const auto& [name, function] : functions_) copy.push_back(*function);
  return copy;
}

std::vector<ExposedEvent> TypeRegistry::Events() const {
  std::lock_guard lock(mutex_);
  std::vector<ExposedEvent> copy;
  copy.reserve(events_.size());
  for (const auto& [name, event] : events_) copy.push_back(event);
  return copy;
}

std::vector<const TypeRecord*> TypeRegistry::Types() const {
  std::lock_guard lock(mutex_);
  std::vector<const TypeRecord*> copy;
  copy.reserve(types_.size());
  for (const auto& [name, record] : types_) copy.push_back(record.get());
  return copy;
}

TypeRecord* TypeRegistry::BeginType(std::uint32_t size, std::string_view name,
                                    const StaticType* type, bool isEnum, bool& existing) {
  std::lock_guard lock(mutex_);
  if (const auto it = types_.find(name); it != types_.end()) {
    existing = true;
    return it->second.get();
  }
  existing = false;
  auto record = std::make_unique<TypeRecord>();
  record->size = size;
  record->isEnum = isEnum ? 1 : 0;
  record->name = std::string(name);
  record->id = type->id;
  record->type = type;
  record->registry = this;
  TypeRecord* stored = record.get();
  types_.emplace(std::string(name), std::move(record));
  if (type->id == kReservedTypeId) return stored;
  // A second name for the same native type keeps the first in the index; a
  // different type with the same id is a hash collision, which must never
  // make the first type's converters run on the second type's memory.
  [[maybe_unused]] const auto [at, inserted] = byId_.emplace(type->id, stored);
  // In a release build the second type stays out of the index, so its
  // conversions report it as unregistered.
  assert((inserted || at->second->type == type) && "type id collision");
  return stored;
}

void TypeRegistry::AddField(TypeRecord* record, FieldRecord field) {
  std::lock_guard lock(mutex_);
  field.owner = record;
  record->fields.push_back(std::move(field));
}

void TypeRegistry::AddEnumValue(TypeRecord* record, std::string_view name, std::int32_t number,
                                std::string_view description) {
  std::lock_guard lock(mutex_);
  auto it = record->values.find(name);
  if (it == record->values.end()) {
    it = record->values.emplace(std::string(name), EnumValueRecord{}).first;
    it->second.name = std::string(name);
    it->second.owner = record;
  }
  it->second.value = number;
  it->second.description = std::string(description);
}

void TypeRegistry::SetDescription(TypeRecord* record, std::string_view description) {
  std::lock_guard lock(mutex_);
  record->description = std::string(description);
}

void TypeRegistry::SetNameSpace(TypeRecord* record, std::string_view nameSpace) {
  std::lock_guard lock(mutex_);
  record->nameSpace = std::string(nameSpace);
}

void TypeRegistry::AddTag(TypeRecord* record, std::string_view tag) {
  if (tag.empty()) return;
  std::lock_guard lock(mutex_);
  record->tags.emplace_back(tag);
}

}  // namespace Kelp
