// Boundary values made from fuzz input, the way a careless or hostile host
// could pass them: trees of BindingValue of every tag (unknown tags
// included), random counts and nesting, texts with or without a meaning to
// the plugin. Every text, blob and array stays alive in the source until it
// is destroyed, so a value can be lent to any call in between.
#ifndef KELP_FUZZ_BOUNDARY_VALUES_H_
#define KELP_FUZZ_BOUNDARY_VALUES_H_

#include <algorithm>
#include <bit>
#include <cstdint>
#include <deque>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "sdk/plugin/abi.h"

namespace Kelp::Fuzz {

class BoundaryValues {
 public:
  // `words` are the texts worth trying as strings and keys (paths, field
  // names, enum spellings); a text is taken from them about half the time.
  BoundaryValues(FuzzedDataProvider& input, std::span<const std::string_view> words)
      : input_(input), words_(words) {}

  // A NUL-terminated text owned by this source.
  const char* Text() {
    if (!words_.empty() && input_.ConsumeBool()) {
      return Keep(std::string(words_[input_.ConsumeIntegralInRange<std::size_t>(
          0, words_.size() - 1)]));
    }
    return Keep(input_.ConsumeRandomLengthString(64));
  }

  // A random tree. Collections and structures hold up to 6 items; a tree
  // stops growing after kMaxNodes nodes. Now and then a value is a chain of
  // single-item collections up to 600 deep, past the decoders' limit.
  BindingValue Value(int depth = 0) {
    BindingValue value{};
    if (nodes_++ >= kMaxNodes) return value;
    const auto tag = input_.ConsumeIntegralInRange<std::uint32_t>(0, 12);
    value.kind = tag;
    switch (tag) {
      case BINDING_VALUE_EMPTY:
        break;
      case BINDING_VALUE_BOOL:
        value.payload.boolean = input_.ConsumeIntegral<std::uint8_t>();
        break;
      case BINDING_VALUE_SIGNED:
        value.payload.i64 = Integer<std::int64_t>();
        break;
      case BINDING_VALUE_UNSIGNED:
        value.payload.u64 = Integer<std::uint64_t>();
        break;
      case BINDING_VALUE_FLOAT:
        value.payload.f64 = input_.ConsumeBool()
                                ? std::bit_cast<double>(input_.ConsumeIntegral<std::uint64_t>())
                                : static_cast<double>(Integer<std::int32_t>()) / 4;
        break;
      case BINDING_VALUE_STRING_BORROWED:
      case BINDING_VALUE_STRING_OWNED: {
        const char* text = Text();
        value.payload.string.text = text;
        value.payload.string.length = static_cast<std::uint32_t>(texts_.back().size());
        break;
      }
      case BINDING_VALUE_BLOB_BORROWED:
      case BINDING_VALUE_BLOB_OWNED: {
        const std::string& bytes = texts_.emplace_back(input_.ConsumeRandomLengthString(64));
        value.payload.blob.bytes = reinterpret_cast<const std::uint8_t*>(bytes.data());
        value.payload.blob.count = static_cast<std::uint32_t>(bytes.size());
        break;
      }
      case BINDING_VALUE_COLLECTION:
        if (input_.ConsumeIntegralInRange(0, 31) == 0) return Chain();
        Collection(value, depth);
        break;
      case BINDING_VALUE_STRUCTURE:
        Structure(value, depth);
        break;
      default:
        // Unknown tags, with a payload of random bits.
        value.kind = input_.ConsumeBool() ? tag
                                          : std::max(tag, input_.ConsumeIntegral<std::uint32_t>());
        value.payload.u64 = input_.ConsumeIntegral<std::uint64_t>();
        break;
    }
    return value;
  }

 private:
  static constexpr int kMaxNodes = 400;
  static constexpr int kMaxDepth = 12;

  const char* Keep(std::string text) { return texts_.emplace_back(std::move(text)).c_str(); }

  // Mostly small numbers and the bounds around the 32-bit and 64-bit limits.
  template <typename T>
  T Integer() {
    switch (input_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        return static_cast<T>(input_.ConsumeIntegralInRange<int>(-2, 300));
      case 1:
        return std::numeric_limits<T>::max() - input_.ConsumeIntegralInRange<T>(0, 2);
      case 2:
        return static_cast<T>(std::numeric_limits<std::uint32_t>::max()) +
               input_.ConsumeIntegralInRange<T>(0, 2) - 1;
      default:
        return input_.ConsumeIntegral<T>();
    }
  }

  std::uint32_t Count(int depth) {
    return depth >= kMaxDepth ? 0 : input_.ConsumeIntegralInRange<std::uint32_t>(0, 6);
  }

  void Collection(BindingValue& value, int depth) {
    std::vector<BindingValue>& elements = arrays_.emplace_back(Count(depth));
    for (BindingValue& element : elements) element = Value(depth + 1);
    value.payload.collection.elements = elements.empty() ? nullptr : elements.data();
    value.payload.collection.count = static_cast<std::uint32_t>(elements.size());
  }

  void Structure(BindingValue& value, int depth) {
    std::vector<BindingStructEntry>& entries = entries_.emplace_back(Count(depth));
    for (BindingStructEntry& entry : entries) {
      entry.key = Text();
      const BindingValue child = Value(depth + 1);
      entry.value = child;
      entry.ownsKey = input_.ConsumeBool();
    }
    value.payload.structure.entries = entries.empty() ? nullptr : entries.data();
    value.payload.structure.count = static_cast<std::uint32_t>(entries.size());
  }

  BindingValue Chain() {
    const auto length = input_.ConsumeIntegralInRange<std::size_t>(500, 600);
    std::vector<BindingValue>& links = arrays_.emplace_back(length);
    for (std::size_t i = 0; i + 1 < length; ++i) {
      links[i].kind = BINDING_VALUE_COLLECTION;
      links[i].payload.collection.elements = &links[i + 1];
      links[i].payload.collection.count = 1;
    }
    return links.front();
  }

  FuzzedDataProvider& input_;
  std::span<const std::string_view> words_;
  int nodes_ = 0;
  std::deque<std::string> texts_;
  std::deque<std::vector<BindingValue>> arrays_;
  std::deque<std::vector<BindingStructEntry>> entries_;
};

}  // namespace Kelp::Fuzz

#endif  // KELP_FUZZ_BOUNDARY_VALUES_H_
