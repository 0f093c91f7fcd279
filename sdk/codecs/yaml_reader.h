// Reading a YAML document into a BindingProperty, driven event by event
// through libyaml (loaded at run time; when it cannot be loaded every read
// fails with a message saying that YAML support is unavailable).
//
// Scalars: a plain (or block) scalar that is a null word ("", "~", "null",
// "Null", "NULL") is empty; one that strtod reads whole is a number (float
// when it has a fractional part, signed when negative, otherwise unsigned;
// "inf" stays text, and integral numbers beyond the 64-bit range stay
// float); a YAML 1.1 bool word ("true", "yes", "on", "y", ... and their
// "false" counterparts, in their three spellings) is bool; anything else,
// and every quoted scalar, is a string. The tags !!str, !!int, !!float and
// !!bool are honoured; any other scalar tag is refused; tags on sequences and
// mappings are ignored. Mapping keys must be scalars and are taken as
// unresolved text. A repeated key writes into the same field again (a later
// sequence appends, a later mapping merges).
//
// Aliases are deep copies of their anchored node. Refused: an alias inside
// its own anchored node, an undefined alias, a redefined anchor, a second
// document after a non-empty one, nesting deeper than kMaxNestingDepth
// (including what an alias would add), and aliases that together copy more
// than kMaxYamlAliasValues values. Messages name the 1-based line and column
// of the event; libyaml's own errors name its 0-based problem mark.
#ifndef KELP_SDK_CODECS_YAML_READER_H_
#define KELP_SDK_CODECS_YAML_READER_H_

#include <cstddef>
#include <string_view>

#include "sdk/binding/conversion_result.h"

namespace Kelp {

namespace detail {
struct YamlLibrary;
}  // namespace detail

inline constexpr std::size_t kMaxYamlAliasValues = 1000000;

ConversionResult ReadYaml(std::string_view text);

// As ReadYaml, through `library`; a null `library` stands for one that could
// not be loaded.
ConversionResult ReadYamlWith(const detail::YamlLibrary* library, std::string_view text);

}  // namespace Kelp

#endif  // KELP_SDK_CODECS_YAML_READER_H_
