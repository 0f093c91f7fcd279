// The one guard that every function the host calls runs its body through:
// nothing unwinds into the host.
#ifndef KELP_SDK_PLUGIN_ENTRY_GUARD_H_
#define KELP_SDK_PLUGIN_ENTRY_GUARD_H_

#include <exception>
#include <utility>

namespace Kelp {

// Logs that `entry` stopped on an exception. Never throws.
void LogEntryFailure(const char* entry, const char* what) noexcept;

// Runs the body of a host-called entry. An exception stops here: it is
// logged under `entry` and the host receives `onFailure`.
template <typename Result, typename Body>
Result GuardEntry(const char* entry, Result onFailure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::exception& e) {
    LogEntryFailure(entry, e.what());
  } catch (...) {
    LogEntryFailure(entry, "unknown exception");
  }
  return onFailure;
}

// The same for entries that return nothing.
template <typename Body>
void GuardEntry(const char* entry, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (const std::exception& e) {
    LogEntryFailure(entry, e.what());
  } catch (...) {
    LogEntryFailure(entry, "unknown exception");
  }
}

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_ENTRY_GUARD_H_
