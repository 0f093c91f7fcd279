#include "sdk/codecs/value_writer.h"

#include <vector>

namespace Kelp {
namespace {

// An open container of the walk and how far it got.
struct Open {
  const BindingProperty* container;
  std::size_t index;
  BindingProperty::FieldIterator field;
  BindingProperty::FieldIterator fieldsEnd;
};

// Writes a scalar, or begins a container and returns it to be walked.
bool Begin(const BindingProperty& value, ValueWriter& writer, std::vector<Open>& stack) {
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

}  // namespace

void WriteValue(const BindingProperty& value, ValueWriter& writer) {
  std::vector<Open> stack;
  if (!Begin(value, writer, stack)) return;
  while (!stack.empty()) {
    Open& top = stack.back();
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
      Begin(elements[index], writer, stack);  // may invalidate `top`
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
    Begin(field, writer, stack);
  }
}

}  // namespace Kelp
