// Test helpers: a value written with its kinds, so that tests can compare
// whole trees in one line, e.g. {a:[u1,s-1,f1.5,"x",null,true]}.
#ifndef KELP_TESTS_CODECS_DESCRIBE_H_
#define KELP_TESTS_CODECS_DESCRIBE_H_

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "sdk/binding/binding_property.h"

namespace Kelp::testing {

inline void DescribeInto(const BindingProperty& value, std::string& out) {
  char number[40];
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      out += "null";
      return;
    case BindingPropertyKind::Bool:
      out += value.GetBool() ? "true" : "false";
      return;
    case BindingPropertyKind::Signed:
      std::snprintf(number, sizeof number, "s%lld", static_cast<long long>(value.GetSigned()));
      break;
    case BindingPropertyKind::Unsigned:
      std::snprintf(number, sizeof number, "u%llu",
                    static_cast<unsigned long long>(value.GetUnsigned()));
      break;
    case BindingPropertyKind::Float:
      std::snprintf(number, sizeof number, "f%.17g", value.GetFloat());
      break;
    case BindingPropertyKind::String:
      out += '"';
      out += value.GetString();
      out += '"';
      return;
    case BindingPropertyKind::Blob:
      out += "blob(";
      for (std::uint8_t b : value.GetBlob()) {
        std::snprintf(number, sizeof number, "%02x", b);
        out += number;
      }
      out += ')';
      return;
    case BindingPropertyKind::Enum:
      std::snprintf(number, sizeof number, "e%d", value.GetEnum().value);
      break;
    case BindingPropertyKind::Collection: {
      out += '[';
      bool first = true;
      for (const BindingProperty& element : value.Elements()) {
        if (!first) out += ',';
        first = false;
        DescribeInto(element, out);
      }
      out += ']';
      return;
    }
    case BindingPropertyKind::Structure: {
      out += '{';
      bool first = true;
      for (const auto& [name, field] : value.Fields()) {
        if (!first) out += ',';
        first = false;
        out += name;
        out += ':';
        DescribeInto(field, out);
      }
      out += '}';
      return;
    }
  }
  out += number;
}

inline std::string Describe(const BindingProperty& value) {
  std::string out;
  DescribeInto(value, out);
  return out;
}

// The bytes of a file, read in binary mode.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace Kelp::testing

#endif  // KELP_TESTS_CODECS_DESCRIBE_H_
