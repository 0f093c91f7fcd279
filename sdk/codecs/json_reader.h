// Reading JSON text into a BindingProperty.
//
// Strict JSON as RapidJSON reads it by default (no comments, no trailing
// commas, no NaN or Infinity). The text ends at its size or at its first
// NUL byte, whichever comes first. Mapping:
//   null         empty (inside an array it still appends an empty element)
//   true, false  bool
//   integer      unsigned without a minus sign, signed with one; beyond the
//                64-bit range it becomes float
//   other number float
//   string       string, whole: an escaped \u0000 is kept like any character
//   array        collection
//   object       structure. A member name given twice selects the same field
//                again: a later scalar replaces it, a later null leaves it, a
//                later array appends to a collection there, a later object
//                adds to a structure there (otherwise they replace it).
// Empty or white-space-only text (space, tab, line feed, carriage return)
// reads as an empty value without error.
//
// Failures read "Error: <RapidJSON's English text> at offset <byte>.", and
// nesting deeper than kMaxNestingDepth is refused the same way; the partly
// built value is discarded. Reading never recurses, so no input can exhaust
// the call stack.
#ifndef KELP_SDK_CODECS_JSON_READER_H_
#define KELP_SDK_CODECS_JSON_READER_H_

#include <string_view>

#include "sdk/binding/conversion_result.h"

namespace Kelp {

ConversionResult ReadJson(std::string_view text);

}  // namespace Kelp

#endif  // KELP_SDK_CODECS_JSON_READER_H_
