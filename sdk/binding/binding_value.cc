#include "sdk/binding/binding_value.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "sdk/binding/memory.h"
#include "sdk/binding/message_format.h"

namespace Kelp {
namespace {

constexpr std::uint32_t kMaxClaimedCount = 0x0FFFFFFF;
constexpr std::uint32_t kReservedElements = 256;

void Clear(BindingValue& value) { std::memset(&value, 0, sizeof value); }

}  // namespace

const char* BindingValueKindName(std::uint32_t kind) {
  static const char* const kNames[] = {"",     "bool", "signed", "unsigned",   "float",    "string",
                                       "string", "blob", "blob",   "collection", "structure"};
  return kind < std::size(kNames) ? kNames[kind] : "";
}

void SetBool(BindingValue& value, bool b) {
  Destroy(value);
  value.kind = BINDING_VALUE_BOOL;
  value.payload.boolean = b ? 1 : 0;
}

void SetSigned(BindingValue& value, std::int64_t i) {
  Destroy(value);
  value.kind = BINDING_VALUE_SIGNED;
  value.payload.i64 = i;
}

void SetUnsigned(BindingValue& value, std::uint64_t u) {
  Destroy(value);
  value.kind = BINDING_VALUE_UNSIGNED;
  value.payload.u64 = u;
}

void SetFloat(BindingValue& value, double f) {
  Destroy(value);
  value.kind = BINDING_VALUE_FLOAT;
  value.payload.f64 = f;
}

bool SetString(BindingValue& value, std::string_view text) {
  Destroy(value);
  auto* copy = static_cast<char*>(Allocate(text.size() + 1));
  if (copy == nullptr) return false;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  value.kind = BINDING_VALUE_STRING_OWNED;
  value.payload.string.text = copy;
  value.payload.string.length = static_cast<std::uint32_t>(text.size());
  return true;
}

bool SetBlob(BindingValue& value, const std::uint8_t* bytes, std::uint32_t count) {
  Destroy(value);
  auto* copy = static_cast<std::uint8_t*>(Allocate(count == 0 ? 1 : count));
  if (copy == nullptr) return false;
  if (count != 0) std::memcpy(copy, bytes, count);
  value.kind = BINDING_VALUE_BLOB_OWNED;
  value.payload.blob.bytes = copy;
  value.payload.blob.count = count;
  return true;
}

void AdoptCollection(BindingValue& value, BindingValue* elements, std::uint32_t count) {
  Destroy(value);
  value.kind = BINDING_VALUE_COLLECTION;
  value.payload.collection.elements = elements;
  value.payload.collection.count = count;
}

void AdoptStructure(BindingValue& value, BindingStructEntry* entries, std::uint32_t count) {
  Destroy(value);
  value.kind = BINDING_VALUE_STRUCTURE;
  value.payload.structure.entries = entries;
  value.payload.structure.count = count;
}

void Destroy(BindingValue& value) {
  switch (value.kind) {
    case BINDING_VALUE_STRING_OWNED:
      Free(const_cast<char*>(value.payload.string.text));
      break;
    case BINDING_VALUE_BLOB_OWNED:
      Free(const_cast<std::uint8_t*>(value.payload.blob.bytes));
      break;
    case BINDING_VALUE_COLLECTION: {
      BindingValue* elements = value.payload.collection.elements;
      if (elements != nullptr) {
        for (std::uint32_t i = 0; i < value.payload.collection.count; ++i) Destroy(elements[i]);
      }
      Free(elements);
      break;
    }
    case BINDING_VALUE_STRUCTURE: {
      BindingStructEntry* entries = value.payload.structure.entries;
      if (entries != nullptr) {
        for (std::uint32_t i = 0; i < value.payload.structure.count; ++i) {
          BindingStructEntry& entry = entries[i];
          if (entry.ownsKey != 0) Free(const_cast<char*>(entry.key));
          BindingValue child;
          std::memcpy(&child, &entry.value, sizeof child);  // the entry is packed
          Destroy(child);
        }
      }
      Free(entries);
      break;
    }
    default:
      break;
  }
  Clear(value);
}

void SetResultError(BindingResult& result, std::string_view message) {
  BindingValue value;
  std::memcpy(&value, &result.value, sizeof value);
  Destroy(value);
  std::memcpy(&result.value, &value, sizeof value);
  Free(result.error);
  const std::string text(message);
  result.error = DuplicateString(text.c_str());
  result.failed = 1;
}

void DestroyResult(BindingResult& result) {
  BindingValue value;
  std::memcpy(&value, &result.value, sizeof value);
  Destroy(value);
  std::memcpy(&result.value, &value, sizeof value);
  Free(result.error);
  result.error = nullptr;
  result.failed = 0;
}

namespace {

bool Fail(BindingResult& failure, const std::string& message) {
  SetResultError(failure, message);
  return false;
}

bool ToProperty(const BindingValue& value, std::string_view fieldName, BindingProperty& target,
                BindingResult& failure, int depth) {
  switch (value.kind) {
    case BINDING_VALUE_EMPTY:
      target.Reset();
      return true;
    case BINDING_VALUE_BOOL:
      target.SetBool(value.payload.boolean != 0);
      return true;
    case BINDING_VALUE_SIGNED:
      target.SetSigned(value.payload.i64);
      return true;
    case BINDING_VALUE_UNSIGNED:
      target.SetUnsigned(value.payload.u64);
      return true;
    case BINDING_VALUE_FLOAT:
      target.SetFloat(value.payload.f64);
      return true;
    case BINDING_VALUE_STRING_BORROWED:
    case BINDING_VALUE_STRING_OWNED:
      // The text runs to its NUL; the length field is not read.
      if (value.payload.string.text == nullptr) {
        return Fail(failure,
                    FormatMessage("Couldn't assign value to '%1' because its text is missing.",
                                  {fieldName}));
      }
      target.SetString(value.payload.string.text);
      return true;
    case BINDING_VALUE_BLOB_BORROWED:
    case BINDING_VALUE_BLOB_OWNED:
      if (value.payload.blob.bytes == nullptr && value.payload.blob.count != 0) {
        return Fail(failure,
                    FormatMessage("Couldn't assign value to '%1' because its bytes are missing.",
                                  {fieldName}));
      }
      target.SetBlob({value.payload.blob.bytes, value.payload.blob.count});
      return true;
    case BINDING_VALUE_COLLECTION:
    case BINDING_VALUE_STRUCTURE: {
      const bool isCollection = value.kind == BINDING_VALUE_COLLECTION;
      const std::uint32_t count =
          isCollection ? value.payload.collection.count : value.payload.structure.count;
      const void* items = isCollection ? static_cast<const void*>(value.payload.collection.elements)
                                       : static_cast<const void*>(value.payload.structure.entries);
      if (depth >= kMaxNestingDepth) {
        return Fail(failure, FormatMessage("Couldn't assign value to '%1' because the input is "
                                           "nested deeper than %2 levels.",
                                           {fieldName, kMaxNestingDepth}));
      }
      if (count > kMaxClaimedCount || (items == nullptr && count != 0)) {
        return Fail(failure, FormatMessage("Couldn't assign value to '%1' because the input %2 "
                                           "claims %3 items that it does not hold.",
                                           {fieldName, BindingValueKindName(value.kind), count}));
      }
      if (isCollection) {
        target.MakeCollection();
        // The count is the host's claim, and the array behind it cannot be
        // measured: reserve a little and let the elements that do convert
        // grow the rest.
        target.Reserve(std::min<std::uint32_t>(count, kReservedElements));
        // Element i goes over element i: a collection already there (a key
        // given twice) keeps only the elements past this one's count.
        for (std::uint32_t i = 0; i < count; ++i) {
          if (!ToProperty(value.payload.collection.elements[i], fieldName,
                          target[std::size_t{i}], failure, depth + 1)) {
            return false;
          }
        }
        return true;
      }
      target.MakeStructure();
      for (std::uint32_t i = 0; i < count; ++i) {
        const BindingStructEntry& entry = value.payload.structure.entries[i];
        BindingValue child;
        std::memcpy(&child, &entry.value, sizeof child);  // the entry is packed
        const char* key = entry.key != nullptr ? entry.key : "";
        if (!ToProperty(child, key, target[key], failure, depth + 1)) return false;
      }
      return true;
    }
    default:
      return Fail(failure, FormatMessage("Couldn't assign value to '%1' of type object because "
                                         "the input is of an incompatible type '%2'.",
                                         {fieldName, BindingValueKindName(value.kind)}));
  }
}

bool ToValue(const BindingProperty& property, const EnumNamer* namer, BindingValue& value) {
  switch (property.kind()) {
    case BindingPropertyKind::Empty:
      Clear(value);
      return true;
    case BindingPropertyKind::Bool:
      SetBool(value, property.GetBool());
      return true;
    case BindingPropertyKind::Signed:
      SetSigned(value, property.GetSigned());
      return true;
    case BindingPropertyKind::Unsigned:
      SetUnsigned(value, property.GetUnsigned());
      return true;
    case BindingPropertyKind::Float:
      SetFloat(value, property.GetFloat());
      return true;
    case BindingPropertyKind::String:
      return SetString(value, property.GetString());
    case BindingPropertyKind::Blob: {
      const auto bytes = property.GetBlob();
      return SetBlob(value, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    case BindingPropertyKind::Enum: {
      const BindingEnum e = property.GetEnum();
      const char* name = namer != nullptr ? namer->EnumValueName(e.type, e.value) : nullptr;
      if (name != nullptr) return SetString(value, name);
      SetSigned(value, e.value);
      return true;
    }
    case BindingPropertyKind::Collection: {
      const auto elements = property.Elements();
      const auto count = static_cast<std::uint32_t>(elements.size());
      auto* array = static_cast<BindingValue*>(AllocateZeroed(sizeof(BindingValue) * count + 1));
      if (array == nullptr) return false;
      AdoptCollection(value, array, count);
      for (std::uint32_t i = 0; i < count; ++i) {
        if (!ToValue(elements[i], namer, array[i])) {
          Destroy(value);
          return false;
        }
      }
      return true;
    }
    case BindingPropertyKind::Structure: {
      const auto count = static_cast<std::uint32_t>(property.size());
      auto* entries =
          static_cast<BindingStructEntry*>(AllocateZeroed(sizeof(BindingStructEntry) * count + 1));
      if (entries == nullptr) return false;
      AdoptStructure(value, entries, count);
      std::uint32_t i = 0;
      for (const auto& [name, field] : property.Fields()) {
        BindingStructEntry& entry = entries[i++];
        // Stored names end in a NUL: no copy is needed to pass one on.
        entry.key = DuplicateString(name.data());
        entry.ownsKey = 1;
        BindingValue child{};
        const bool converted = ToValue(field, namer, child);
        std::memcpy(&entry.value, &child, sizeof child);
        if (entry.key == nullptr || !converted) {
          Destroy(value);
          return false;
        }
      }
      return true;
    }
  }
  return true;  // kinds above 9 produce nothing
}

}  // namespace

bool ToBindingProperty(const BindingValue& value, std::string_view fieldName,
                       BindingProperty& target, BindingResult& failure) {
  return ToProperty(value, fieldName, target, failure, 0);
}

bool ToBindingValue(const BindingProperty& property, const EnumNamer* namer,
                    BindingValue& value) {
  return ToValue(property, namer, value);
}

}  // namespace Kelp
