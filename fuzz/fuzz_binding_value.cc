// Random boundary values of every tag: the mapping to BindingProperty
// either refuses a value with a message or takes it, and what it takes maps
// back to an owned value (tags 6, 8, 9, 10 only) that maps to the same tree
// again and is destroyed without a leak (LeakSanitizer watches the heap).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/boundary_values.h"
#include "fuzz/tree_equality.h"
#include "sdk/binding/binding_property.h"
#include "sdk/binding/binding_value.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Every tag of a value built by ToBindingValue, which owns all it holds.
bool OnlyOwnedTags(const BindingValue& value) {
  switch (value.kind) {
    case BINDING_VALUE_EMPTY:
    case BINDING_VALUE_BOOL:
    case BINDING_VALUE_SIGNED:
    case BINDING_VALUE_UNSIGNED:
    case BINDING_VALUE_FLOAT:
    case BINDING_VALUE_STRING_OWNED:
    case BINDING_VALUE_BLOB_OWNED:
      return true;
    case BINDING_VALUE_COLLECTION:
      for (std::uint32_t i = 0; i < value.payload.collection.count; ++i) {
        if (!OnlyOwnedTags(value.payload.collection.elements[i])) return false;
      }
      return true;
    case BINDING_VALUE_STRUCTURE:
      for (std::uint32_t i = 0; i < value.payload.structure.count; ++i) {
        const BindingStructEntry& entry = value.payload.structure.entries[i];
        const BindingValue child = entry.value;
        if (entry.key == nullptr || entry.ownsKey == 0 || !OnlyOwnedTags(child)) return false;
      }
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static constexpr std::string_view kWords[] = {"", "a", "b", "data", "uri", "eventType"};
  FuzzedDataProvider input(data, size);
  Kelp::Fuzz::BoundaryValues values(input, kWords);
  const BindingValue borrowed = values.Value();

  Kelp::BindingProperty tree;
  BindingResult failure{};
  if (!Kelp::ToBindingProperty(borrowed, "value", tree, failure)) {
    // A refusal says why.
    Check(failure.failed != 0 && failure.error != nullptr && failure.error[0] != '\0');
    Kelp::DestroyResult(failure);
    return 0;
  }
  Check(failure.failed == 0 && failure.error == nullptr);

  BindingValue owned{};
  Check(Kelp::ToBindingValue(tree, nullptr, owned));
  Check(OnlyOwnedTags(owned));
  Kelp::BindingProperty again;
  Check(Kelp::ToBindingProperty(owned, "value", again, failure));
  Check(Kelp::Fuzz::SameTree(tree, again, {}));
  Kelp::Destroy(owned);
  Check(owned.kind == BINDING_VALUE_EMPTY && owned.payload.u64 == 0);
  return 0;
}
