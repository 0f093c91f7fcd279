#include "host/host_value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace Kelp::Host {

const HostValue* HostValue::Find(std::string_view key) const {
  const auto* object = std::get_if<HostObject>(&data_);
  if (object == nullptr) return nullptr;
  for (const auto& [name, value] : *object) {
    if (name == key) return &value;
  }
  return nullptr;
}

HostValue& HostValue::Set(std::string_view key, HostValue value) {
  if (kind() != Kind::Object) data_ = HostObject{};
  auto& object = std::get<HostObject>(data_);
  for (auto& [name, existing] : object) {
    if (name == key) {
      existing = std::move(value);
      return *this;
    }
  }
  object.emplace_back(std::string(key), std::move(value));
  return *this;
}

HostValue MakeObject(std::initializer_list<HostMember> members) {
  return HostValue(HostObject(members));
}

namespace {

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void AppendDouble(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "nan";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

void AppendJson(std::string& out, const HostValue& value) {
  switch (value.kind()) {
    case HostValue::Kind::Null:
      out += "null";
      return;
    case HostValue::Kind::Bool:
      out += value.AsBool() ? "true" : "false";
      return;
    case HostValue::Kind::Signed:
      out += std::to_string(value.AsSigned());
      return;
    case HostValue::Kind::Unsigned:
      out += std::to_string(value.AsUnsigned());
      return;
    case HostValue::Kind::Double:
      AppendDouble(out, value.AsDouble());
      return;
    case HostValue::Kind::String:
      AppendQuoted(out, value.AsString());
      return;
    case HostValue::Kind::Blob: {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "b\"";
      for (const std::uint8_t byte : value.AsBlob()) {
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
      }
      out += '"';
      return;
    }
    case HostValue::Kind::Array: {
      out += '[';
      const char* separator = "";
      for (const auto& element : value.AsArray()) {
        out += separator;
        AppendJson(out, element);
        separator = ",";
      }
      out += ']';
      return;
    }
    case HostValue::Kind::Object: {
      out += '{';
      const char* separator = "";
      for (const auto& [key, member] : value.AsObject()) {
        out += separator;
        AppendQuoted(out, key);
        out += ':';
        AppendJson(out, member);
        separator = ",";
      }
      out += '}';
      return;
    }
  }
}

// Copies one level of a borrowed value. Failures carry the first error found
// and stop the walk.
class BindingCopier {
 public:
  HostValueResult Copy(const BindingValue& value) {
    HostValueResult result;
    result.value = CopyAt(value, 0);
    result.error = std::move(error_);
    if (!result.ok()) result.value = HostValue();
    return result;
  }

 private:
  HostValue Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return HostValue();
  }

  HostValue CopyString(const char* text, std::uint32_t length) {
    if (text == nullptr) return length == 0 ? HostValue(std::string()) : Fail("null string text");
    return HostValue(std::string(text, length));
  }

  HostValue CopyBlob(const std::uint8_t* bytes, std::uint32_t count) {
    if (bytes == nullptr) return count == 0 ? HostValue(HostBlob()) : Fail("null blob bytes");
    return HostValue(HostBlob(bytes, bytes + count));
  }

  HostValue CopyAt(const BindingValue& value, int depth) {
    if (depth > kMaxHostValueDepth) return Fail("value nested deeper than 512 levels");
    switch (value.kind) {
      case BINDING_VALUE_EMPTY:
        return HostValue();
      case BINDING_VALUE_BOOL:
        return HostValue(value.payload.boolean != 0);
      case BINDING_VALUE_SIGNED:
        return HostValue(value.payload.i64);
      case BINDING_VALUE_UNSIGNED:
        return HostValue(value.payload.u64);
      case BINDING_VALUE_FLOAT:
        return HostValue(value.payload.f64);
      case BINDING_VALUE_STRING_BORROWED:
      case BINDING_VALUE_STRING_OWNED:
        return CopyString(value.payload.string.text, value.payload.string.length);
      case BINDING_VALUE_BLOB_BORROWED:
      case BINDING_VALUE_BLOB_OWNED:
        return CopyBlob(value.payload.blob.bytes, value.payload.blob.count);
      case BINDING_VALUE_COLLECTION:
        return CopyCollection(value, depth);
      case BINDING_VALUE_STRUCTURE:
        return CopyStructure(value, depth);
      default:
        return Fail("unknown value kind " + std::to_string(value.kind));
    }
  }

  HostValue CopyCollection(const BindingValue& value, int depth) {
    const auto& collection = value.payload.collection;
    if (collection.elements == nullptr && collection.count != 0) {
      return Fail("null collection elements");
    }
    HostArray array;
    for (std::uint32_t i = 0; i < collection.count && error_.empty(); ++i) {
      array.push_back(CopyAt(collection.elements[i], depth + 1));
    }
    return HostValue(std::move(array));
  }

  HostValue CopyStructure(const BindingValue& value, int depth) {
    const auto& structure = value.payload.structure;
    if (structure.entries == nullptr && structure.count != 0) {
      return Fail("null structure entries");
    }
    HostObject object;
    for (std::uint32_t i = 0; i < structure.count && error_.empty(); ++i) {
      const BindingStructEntry& entry = structure.entries[i];
      // The entry is packed: copy the value out before reading its fields.
      BindingValue member;
      std::memcpy(&member, &entry.value, sizeof member);
      object.emplace_back(entry.key == nullptr ? std::string() : std::string(entry.key),
                          CopyAt(member, depth + 1));
    }
    return HostValue(std::move(object));
  }

  std::string error_;
};

}  // namespace

std::string HostValue::ToJson() const {
  std::string out;
  AppendJson(out, *this);
  return out;
}

HostValueResult FromBinding(const BindingValue& value) { return BindingCopier().Copy(value); }

}  // namespace Kelp::Host
