// The round-trip property of the decoder targets whose values JSON may not
// hold whole: a value read from some other format, written as JSON, reads
// back to a tree that writes the same text, and to the same tree when JSON
// can hold all of it. A failed check aborts, as libFuzzer expects.
#ifndef KELP_FUZZ_JSON_ROUND_TRIP_H_
#define KELP_FUZZ_JSON_ROUND_TRIP_H_

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/tree_equality.h"
#include "sdk/binding/binding_property.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/json_writer.h"

namespace Kelp::Fuzz {

// False when JSON cannot hold the tree as it is: a blob is written as
// base64 text, a NaN or an infinity as null.
inline bool JsonHoldsAll(const BindingProperty& root) {
  using Kind = BindingPropertyKind;
  std::vector<const BindingProperty*> work{&root};
  while (!work.empty()) {
    const BindingProperty& value = *work.back();
    work.pop_back();
    if (value.kind() == Kind::Blob) return false;
    if (value.kind() == Kind::Float && !std::isfinite(value.GetFloat())) return false;
    if (value.kind() == Kind::Collection) {
      for (const BindingProperty& element : value.Elements()) work.push_back(&element);
    } else if (value.kind() == Kind::Structure) {
      for (const auto& [name, field] : value.Fields()) work.push_back(&field);
    }
  }
  return true;
}

inline void CheckJsonRoundTrip(const BindingProperty& value) {
  using Kind = BindingPropertyKind;
  const std::string written = WriteJson(value);
  const ConversionResult again = ReadJson(written);
  if (!again.ok()) std::abort();
  // A root NaN or infinity is written as null, which reads as the empty
  // value, which is written as the empty text.
  const bool nonFiniteRoot = value.kind() == Kind::Float && !std::isfinite(value.GetFloat());
  if (!(nonFiniteRoot ? again.value().kind() == Kind::Empty
                      : WriteJson(again.value()) == written)) {
    std::abort();
  }
  if (JsonHoldsAll(value) &&
      !SameTree(value, again.value(), {.numbersByValue = true, .sortFields = true})) {
    std::abort();
  }
}

}  // namespace Kelp::Fuzz

#endif  // KELP_FUZZ_JSON_ROUND_TRIP_H_
