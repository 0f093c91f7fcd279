// Matching resource paths against handler patterns with "*".
#ifndef KELP_SDK_PLUGIN_RESOURCE_PATTERN_H_
#define KELP_SDK_PLUGIN_RESOURCE_PATTERN_H_

#include <string_view>

namespace Kelp {

// Whether `path` fits `pattern`. A "*" matches a run of characters without
// "/": "/x/*/y" matches "/x/a/y" and "/x//y" but not "/x/a/b/y". The match
// is greedy and never backtracks, so a "*" swallows every character up to
// the next "/" (a "*" followed by anything but "/" matches nothing), and a
// "*" at the very end needs at least one character: "/x/*" matches "/x/a"
// but not "/x/".
bool MatchesResourcePattern(std::string_view pattern, std::string_view path);

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_RESOURCE_PATTERN_H_
