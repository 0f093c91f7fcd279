#include "sdk/plugin/resource_pattern.h"

#include <cstddef>

namespace Kelp {

bool MatchesResourcePattern(std::string_view pattern, std::string_view path) {
  std::size_t p = 0;
  std::size_t i = 0;
  while (p < pattern.size() && i < path.size()) {
    if (pattern[p] != '*') {
      if (pattern[p] != path[i]) return false;
      ++p;
      ++i;
    } else if (path[i] != '/') {
      ++i;
      if (i == path.size()) ++p;  // the star took the last character
    } else {
      ++p;  // the star ends at a "/"
    }
  }
  return p == pattern.size() && i == path.size();
}

}  // namespace Kelp
