// One-shot calls handed to the host to run later.
//
// Schedule stores the call under the next id (ids start at 1 and are never
// reused) and asks the host, through PluginBase::HostSchedule, to call the
// trampoline after the delay. The context the host receives is a token, not
// an address: the trampoline looks the token up in a process-wide list, so a
// host that calls back twice, or after the plugin was destroyed, finds no
// call and reads no freed memory. The first call takes the entry out and runs
// it; later ones log a warning.
//
// When a table is destroyed (the plugin shut down) with calls still waiting,
// each call is dropped; a call scheduled with a `late` action keeps only that
// action, which runs (once) if the host still calls back.
//
// Schedule and the trampoline may run on different threads. The list has its
// own mutex, which is never held while a call runs: a call may schedule
// another.
#ifndef KELP_SDK_PLUGIN_SCHEDULED_CALLS_H_
#define KELP_SDK_PLUGIN_SCHEDULED_CALLS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "sdk/plugin/abi.h"

namespace Kelp {

class PluginBase;

// Reads a monotonic clock in nanoseconds.
using NanosecondClock = std::int64_t (*)();

class ScheduledCalls {
 public:
  explicit ScheduledCalls(PluginBase& plugin);
  // Drops the waiting calls, keeping their late actions (see above).
  ~ScheduledCalls();
  ScheduledCalls(const ScheduledCalls&) = delete;
  ScheduledCalls& operator=(const ScheduledCalls&) = delete;

  // Runs `call` once at `dueNanoseconds` on this table's clock; a due time
  // in the past gives the host a delay of 0, never a negative one. `name`
  // serves the host's diagnostics. `late`, when set, runs instead of `call`
  // if the host calls back after this table is gone; it must not touch the
  // plugin. Returns the call's id.
  std::uint64_t Schedule(std::string_view name, std::function<void()> call,
                         std::int64_t dueNanoseconds, std::function<void()> late = {});

  // The clock that due times refer to: the platform's monotonic clock unless
  // a test installed another.
  std::int64_t Now() const { return clock_(); }
  void SetClock(NanosecondClock clock) { clock_ = clock; }

  // Calls waiting for the host.
  std::size_t size() const;

  // What the host calls back with the context it was given.
  static void KELP_CDECL Trampoline(void* context);

 private:
  PluginBase& plugin_;
  NanosecondClock clock_;
  // Guarded by the process-wide list's mutex.
  std::uint64_t nextId_ = 1;
};

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_SCHEDULED_CALLS_H_
