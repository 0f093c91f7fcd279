// ValueWriter: the events through which a BindingProperty is written, and
// the walk that drives them.
#ifndef KELP_SDK_CODECS_VALUE_WRITER_H_
#define KELP_SDK_CODECS_VALUE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "sdk/binding/binding_property.h"

namespace Kelp {

class ValueWriter {
 public:
  virtual ~ValueWriter() = default;

  virtual void Null() = 0;
  virtual void Bool(bool value) = 0;
  virtual void Signed(std::int64_t value) = 0;
  virtual void Unsigned(std::uint64_t value) = 0;
  virtual void Float(double value) = 0;
  virtual void String(std::string_view text) = 0;
  virtual void Blob(std::span<const std::uint8_t> bytes) = 0;
  virtual void Enum(const BindingEnum& value) = 0;
  virtual void BeginCollection(std::size_t count) = 0;
  virtual void BeginElement(std::size_t index) = 0;
  virtual void EndElement(std::size_t index) = 0;
  virtual void EndCollection() = 0;
  virtual void BeginStructure(std::size_t count) = 0;
  virtual void FieldName(std::string_view name) = 0;
  virtual void EndField() = 0;
  virtual void EndStructure() = 0;
};

// Walks `value` into `writer`: a scalar is one event; a collection is
// BeginCollection, then per element in index order BeginElement, the
// element, EndElement, and last EndCollection; a structure is
// BeginStructure, then per field in ascending byte-wise name order
// FieldName, the value, EndField, and last EndStructure. The walk keeps its
// own stack, so the depth of `value` costs heap, not call stack.
void WriteValue(const BindingProperty& value, ValueWriter& writer);

// The same walk for a writer of a known type (a ValueWriter's final class,
// or any class with the same members), whose events are then direct calls.
template <typename Writer>
void WalkValue(const BindingProperty& value, Writer& writer);

namespace detail {

// An open container of the walk and how far it got.
struct WalkFrame {
  const BindingProperty* container;
  std::size_t index;
  BindingProperty::FieldIterator field;
  BindingProperty::FieldIterator fieldsEnd;
};

// Writes a scalar, or begins a container and returns it to be walked.
template <typename Writer>
bool BeginWalk(const BindingProperty& value, Writer& writer, std::vector<WalkFrame>& stack) {
  switch (value.kind()) {
    case BindingPropertyKind::Empty:
      writer.Null();
      return false;
    case BindingPropertyKind::Bool:
      writer.Bool(value.GetBool());
      return false;
    case BindingPropertyKind::Signed:
      writer.Signed(value.GetSigned());
      return false;
    case BindingPropertyKind::Unsigned:
      writer.Unsigned(value.GetUnsigned());
      return false;
    case BindingPropertyKind::Float:
      writer.Float(value.GetFloat());
      return false;
    case BindingPropertyKind::String:
      writer.String(value.GetString());
      return false;
    case BindingPropertyKind::Blob:
      writer.Blob(value.GetBlob());
      return false;
    case BindingPropertyKind::Enum:
      writer.Enum(value.GetEnum());
      return false;
    case BindingPropertyKind::Collection:
      writer.BeginCollection(value.size());
      stack.push_back({&value, 0, BindingProperty::FieldIterator(nullptr),
                       BindingProperty::FieldIterator(nullptr)});
      return true;
    case BindingPropertyKind::Structure: {
      writer.BeginStructure(value.size());
      const auto fields = value.Fields();
      stack.push_back({&value, 0, fields.begin(), fields.end()});
      return true;
    }
  }
  return false;  // kinds above 9 write nothing
}

}  // namespace detail

template <typename Writer>
void WalkValue(const BindingProperty& value, Writer& writer) {
  std::vector<detail::WalkFrame> stack;
  if (!detail::BeginWalk(value, writer, stack)) return;
  while (!stack.empty()) {
    detail::WalkFrame& top = stack.back();
    if (top.container->kind() == BindingPropertyKind::Collection) {
      if (top.index > 0) writer.EndElement(top.index - 1);
      const auto elements = top.container->Elements();
      if (top.index == elements.size()) {
        stack.pop_back();
        writer.EndCollection();
        continue;
      }
      const std::size_t index = top.index++;
      writer.BeginElement(index);
      detail::BeginWalk(elements[index], writer, stack);  // may invalidate `top`
      continue;
    }
    if (top.index > 0) writer.EndField();
    if (top.field == top.fieldsEnd) {
      stack.pop_back();
      writer.EndStructure();
      continue;
    }
    const auto [name, field] = *top.field;
    ++top.field;
    ++top.index;
    writer.FieldName(name);
    detail::BeginWalk(field, writer, stack);
  }
}

}  // namespace Kelp

#endif  // KELP_SDK_CODECS_VALUE_WRITER_H_
