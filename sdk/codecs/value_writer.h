// ValueWriter: the events through which a BindingProperty is written, and
// the walk that drives them.
#ifndef KELP_SDK_CODECS_VALUE_WRITER_H_
#define KELP_SDK_CODECS_VALUE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

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

}  // namespace Kelp

#endif  // KELP_SDK_CODECS_VALUE_WRITER_H_
