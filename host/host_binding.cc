#include "host/host_binding.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace Kelp::Host {
namespace {

void* Allocate(std::size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

char* CopyText(const std::string& text) {
  auto* copy = static_cast<char*>(Allocate(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

BindingValue Build(const HostValue& value, BindingTagging tagging);

BindingValue BuildArray(const HostArray& array, BindingTagging tagging) {
  BindingValue result{};
  result.kind = BINDING_VALUE_COLLECTION;
  if (array.empty()) return result;
  auto* elements = static_cast<BindingValue*>(Allocate(array.size() * sizeof(BindingValue)));
  std::memset(elements, 0, array.size() * sizeof(BindingValue));
  result.payload.collection.elements = elements;
  // The count grows with every element built, so a failure part way leaves a
  // tree that FreeBuiltBinding can take apart.
  try {
    for (const auto& element : array) {
      elements[result.payload.collection.count] = Build(element, tagging);
      ++result.payload.collection.count;
    }
  } catch (...) {
    FreeBuiltBinding(result);
    throw;
  }
  return result;
}

BindingValue BuildObject(const HostObject& object, BindingTagging tagging) {
  BindingValue result{};
  result.kind = BINDING_VALUE_STRUCTURE;
  if (object.empty()) return result;
  auto* entries =
      static_cast<BindingStructEntry*>(Allocate(object.size() * sizeof(BindingStructEntry)));
  std::memset(entries, 0, object.size() * sizeof(BindingStructEntry));
  result.payload.structure.entries = entries;
  try {
    for (const auto& [key, member] : object) {
      BindingStructEntry& entry = entries[result.payload.structure.count];
      entry.key = CopyText(key);
      ++result.payload.structure.count;
      entry.ownsKey = tagging == BindingTagging::HandedOver ? 1 : 0;
      const BindingValue built = Build(member, tagging);
      std::memcpy(&entry.value, &built, sizeof built);
    }
  } catch (...) {
    FreeBuiltBinding(result);
    throw;
  }
  return result;
}

BindingValue Build(const HostValue& value, BindingTagging tagging) {
  const bool handedOver = tagging == BindingTagging::HandedOver;
  BindingValue result{};
  switch (value.kind()) {
    case HostValue::Kind::Null:
      return result;
    case HostValue::Kind::Bool:
      result.kind = BINDING_VALUE_BOOL;
      result.payload.boolean = value.AsBool() ? 1 : 0;
      return result;
    case HostValue::Kind::Signed:
      result.kind = BINDING_VALUE_SIGNED;
      result.payload.i64 = value.AsSigned();
      return result;
    case HostValue::Kind::Unsigned:
      result.kind = BINDING_VALUE_UNSIGNED;
      result.payload.u64 = value.AsUnsigned();
      return result;
    case HostValue::Kind::Double:
      result.kind = BINDING_VALUE_FLOAT;
      result.payload.f64 = value.AsDouble();
      return result;
    case HostValue::Kind::String:
      result.kind = handedOver ? BINDING_VALUE_STRING_OWNED : BINDING_VALUE_STRING_BORROWED;
      result.payload.string.text = CopyText(value.AsString());
      result.payload.string.length = static_cast<std::uint32_t>(value.AsString().size());
      return result;
    case HostValue::Kind::Blob: {
      const HostBlob& blob = value.AsBlob();
      result.kind = handedOver ? BINDING_VALUE_BLOB_OWNED : BINDING_VALUE_BLOB_BORROWED;
      if (!blob.empty()) {
        auto* bytes = static_cast<std::uint8_t*>(Allocate(blob.size()));
        std::memcpy(bytes, blob.data(), blob.size());
        result.payload.blob.bytes = bytes;
        result.payload.blob.count = static_cast<std::uint32_t>(blob.size());
      }
      return result;
    }
    case HostValue::Kind::Array:
      return BuildArray(value.AsArray(), tagging);
    case HostValue::Kind::Object:
      return BuildObject(value.AsObject(), tagging);
  }
  return result;
}

}  // namespace

BindingValue BuildBinding(const HostValue& value, BindingTagging tagging) {
  return Build(value, tagging);
}

void FreeBuiltBinding(BindingValue& value) {
  switch (value.kind) {
    case BINDING_VALUE_STRING_BORROWED:
    case BINDING_VALUE_STRING_OWNED:
      std::free(const_cast<char*>(value.payload.string.text));
      break;
    case BINDING_VALUE_BLOB_BORROWED:
    case BINDING_VALUE_BLOB_OWNED:
      std::free(const_cast<std::uint8_t*>(value.payload.blob.bytes));
      break;
    case BINDING_VALUE_COLLECTION:
      for (std::uint32_t i = 0; i < value.payload.collection.count; ++i) {
        FreeBuiltBinding(value.payload.collection.elements[i]);
      }
      std::free(value.payload.collection.elements);
      break;
    case BINDING_VALUE_STRUCTURE:
      for (std::uint32_t i = 0; i < value.payload.structure.count; ++i) {
        BindingStructEntry& entry = value.payload.structure.entries[i];
        std::free(const_cast<char*>(entry.key));
        BindingValue member;
        std::memcpy(&member, &entry.value, sizeof member);
        FreeBuiltBinding(member);
      }
      std::free(value.payload.structure.entries);
      break;
    default:
      break;
  }
  value = BindingValue{};
}

}  // namespace Kelp::Host
