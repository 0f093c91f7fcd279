#include "sdk/plugin/entry_guard.h"

#include <cstdio>

#include "sdk/runtime/logger.h"

namespace Kelp {

void LogEntryFailure(const char* entry, const char* what) noexcept {
  try {
    Log(LogLevel::Error, kLogDbg, "%s stopped on an exception: %s", entry, what);
  } catch (...) {
    // The logger's lock failed; standard error is all that is left.
    std::fprintf(stderr, "%s stopped on an exception: %s\n", entry, what);
  }
}

}  // namespace Kelp
