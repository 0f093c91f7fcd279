#include "sdk/plugin/entry_guard.h"

#include <cstdio>

namespace Kelp {

void LogEntryFailure(const char* entry, const char* what) noexcept {
  std::fprintf(stderr, "%s stopped on an exception: %s\n", entry, what);
}

}  // namespace Kelp
