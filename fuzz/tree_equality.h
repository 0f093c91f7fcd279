// Deep comparison of two BindingProperty trees for the round-trip targets,
// with the leniencies a round trip through text needs.
#ifndef KELP_FUZZ_TREE_EQUALITY_H_
#define KELP_FUZZ_TREE_EQUALITY_H_

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "sdk/binding/binding_property.h"

namespace Kelp::Fuzz {

struct TreeLeniency {
  // Signed, unsigned and float compare by value whatever their kinds: text
  // does not keep a number's kind (-0 reads as signed, 0 as unsigned, 1.0 as
  // float). Otherwise kinds must match and floats compare bit for bit.
  bool numbersByValue = false;
  // Fields compare after a stable sort by name (a writer that orders them).
  bool sortFields = false;
};

namespace detail {

inline bool IsNumber(BindingPropertyKind kind) {
  return kind == BindingPropertyKind::Signed || kind == BindingPropertyKind::Unsigned ||
         kind == BindingPropertyKind::Float;
}

inline bool SameNumber(const BindingProperty& a, const BindingProperty& b) {
  using Kind = BindingPropertyKind;
  if (a.kind() == Kind::Float || b.kind() == Kind::Float) {
    auto asDouble = [](const BindingProperty& p) {
      if (p.kind() == Kind::Signed) return static_cast<long double>(p.GetSigned());
      if (p.kind() == Kind::Unsigned) return static_cast<long double>(p.GetUnsigned());
      return static_cast<long double>(p.GetFloat());
    };
    return asDouble(a) == asDouble(b);
  }
  auto asWide = [](const BindingProperty& p) {
    return p.kind() == Kind::Signed ? static_cast<__int128>(p.GetSigned())
                                    : static_cast<__int128>(p.GetUnsigned());
  };
  return asWide(a) == asWide(b);
}

inline std::vector<std::pair<std::string_view, const BindingProperty*>> FieldsOf(
    const BindingProperty& p, bool sorted) {
  std::vector<std::pair<std::string_view, const BindingProperty*>> fields;
  for (const auto& [name, value] : p.Fields()) fields.emplace_back(name, &value);
  if (sorted) {
    std::ranges::stable_sort(fields, {}, [](const auto& field) { return field.first; });
  }
  return fields;
}

}  // namespace detail

inline bool SameTree(const BindingProperty& a, const BindingProperty& b, TreeLeniency leniency) {
  using Kind = BindingPropertyKind;
  std::vector<std::pair<const BindingProperty*, const BindingProperty*>> work{{&a, &b}};
  while (!work.empty()) {
    const auto [x, y] = work.back();
    work.pop_back();
    if (leniency.numbersByValue && detail::IsNumber(x->kind()) && detail::IsNumber(y->kind())) {
      if (!detail::SameNumber(*x, *y)) return false;
      continue;
    }
    if (x->kind() != y->kind()) return false;
    switch (x->kind()) {
      case Kind::Float:
        if (std::bit_cast<std::uint64_t>(x->GetFloat()) !=
            std::bit_cast<std::uint64_t>(y->GetFloat())) {
          return false;
        }
        break;
      case Kind::Collection: {
        const auto xs = x->Elements(), ys = y->Elements();
        if (xs.size() != ys.size()) return false;
        for (std::size_t i = 0; i < xs.size(); ++i) work.emplace_back(&xs[i], &ys[i]);
        break;
      }
      case Kind::Structure: {
        const auto xs = detail::FieldsOf(*x, leniency.sortFields);
        const auto ys = detail::FieldsOf(*y, leniency.sortFields);
        if (xs.size() != ys.size()) return false;
        for (std::size_t i = 0; i < xs.size(); ++i) {
          if (xs[i].first != ys[i].first) return false;
          work.emplace_back(xs[i].second, ys[i].second);
        }
        break;
      }
      default:
        if (!(*x == *y)) return false;  // scalars: the property's own comparison
        break;
    }
  }
  return true;
}

}  // namespace Kelp::Fuzz

#endif  // KELP_FUZZ_TREE_EQUALITY_H_
