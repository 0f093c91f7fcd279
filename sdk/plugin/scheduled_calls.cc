#include "sdk/plugin/scheduled_calls.h"

#include <string>
#include <utility>

#include "sdk/plugin/entry_guard.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/runtime/platform.h"

namespace Kelp {

ScheduledCalls::ScheduledCalls(PluginBase& plugin)
    : plugin_(plugin), clock_(&MonotonicNanoseconds) {}

std::uint64_t ScheduledCalls::Schedule(std::string_view name, std::function<void()> call,
                                       std::int64_t dueNanoseconds) {
  const std::int64_t remaining = dueNanoseconds - Now();
  const double delaySeconds = remaining > 0 ? static_cast<double>(remaining) * 1e-9 : 0.0;
  Entry* entry = Add(std::move(call));
  const std::uint64_t id = entry->id;  // the entry may run and go before HostSchedule returns
  plugin_.HostSchedule(std::string(name).c_str(), &Trampoline, entry, delaySeconds, 0);
  return id;
}

std::size_t ScheduledCalls::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

ScheduledCalls::Entry* ScheduledCalls::Add(std::function<void()> call) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint64_t id = nextId_++;
  return &entries_.try_emplace(id, Entry{this, id, std::move(call)}).first->second;
}

std::function<void()> ScheduledCalls::Take(std::uint64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = entries_.find(id);
  if (found == entries_.end()) return {};
  std::function<void()> call = std::move(found->second.call);
  entries_.erase(found);
  return call;
}

void KELP_CDECL ScheduledCalls::Trampoline(void* context) {
  if (context == nullptr) return;
  GuardEntry("scheduled call", [context] {
    const Entry& entry = *static_cast<Entry*>(context);
    // Taken out before it runs, so the table holds no lock meanwhile and the
    // entry is gone even when the call throws.
    std::function<void()> call = entry.table->Take(entry.id);
    if (call) call();
  });
}

}  // namespace Kelp
