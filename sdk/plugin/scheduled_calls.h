// One-shot calls handed to the host to run later.
//
// Schedule stores the call in the table under the next id (ids start at 1
// and are never reused) and asks the host, through PluginBase::HostSchedule,
// to call the trampoline with the stored entry as context after the delay.
// The trampoline takes the entry out of the table and runs its call.
//
// Add and Take may run on different threads. The table has its own mutex,
// which is never held while a call runs: a call may schedule another.
#ifndef KELP_SDK_PLUGIN_SCHEDULED_CALLS_H_
#define KELP_SDK_PLUGIN_SCHEDULED_CALLS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "sdk/plugin/abi.h"
#include "sdk/runtime/thread_annotations.h"

namespace Kelp {

class PluginBase;

// Reads a monotonic clock in nanoseconds.
using NanosecondClock = std::int64_t (*)();

class ScheduledCalls {
 public:
  explicit ScheduledCalls(PluginBase& plugin);
  ScheduledCalls(const ScheduledCalls&) = delete;
  ScheduledCalls& operator=(const ScheduledCalls&) = delete;

  // Runs `call` once at `dueNanoseconds` on this table's clock; a due time
  // in the past gives the host a delay of 0, never a negative one. `name`
  // serves the host's diagnostics. Returns the call's id.
  std::uint64_t Schedule(std::string_view name, std::function<void()> call,
                         std::int64_t dueNanoseconds);

  // The clock that due times refer to: the platform's monotonic clock unless
  // a test installed another.
  std::int64_t Now() const { return clock_(); }
  void SetClock(NanosecondClock clock) { clock_ = clock; }

  // Calls waiting for the host.
  std::size_t size() const;

  // What the host calls back with the context it was given.
  static void KELP_CDECL Trampoline(void* context);

 private:
  struct Entry {
    ScheduledCalls* table;
    std::uint64_t id;
    std::function<void()> call;
  };

  // Stores `call` and returns its entry, whose address stays valid until the
  // entry is taken.
  Entry* Add(std::function<void()> call);
  // Removes the entry with `id` and returns its call; empty when it is gone.
  std::function<void()> Take(std::uint64_t id);

  PluginBase& plugin_;
  NanosecondClock clock_;
  mutable std::mutex mutex_;
  // Nodes of an unordered_map keep their address while others come and go.
  std::unordered_map<std::uint64_t, Entry> entries_ KELP_GUARDED_BY(mutex_);
  std::uint64_t nextId_ KELP_GUARDED_BY(mutex_) = 1;
};

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_SCHEDULED_CALLS_H_
