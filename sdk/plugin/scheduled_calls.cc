#include "sdk/plugin/scheduled_calls.h"

#include <cinttypes>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "sdk/plugin/entry_guard.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/runtime/logger.h"
#include "sdk/runtime/platform.h"

namespace Kelp {
namespace {

struct PendingCall {
  const ScheduledCalls* table;  // null once the table is gone
  std::function<void()> call;
  std::function<void()> late;
};

// Every waiting call of the process, keyed by the token the host holds.
// Tokens are never 0 and never shared by two waiting calls; on 32-bit they
// may come round again after 2^32 calls, skipping those still waiting.
struct PendingCalls {
  std::mutex mutex;
  // Ordered: empty, it holds no heap memory.
  std::map<std::uintptr_t, PendingCall> calls;
  std::uintptr_t nextToken = 1;
};

// Never destroyed: a host may call back while the process exits. In static
// storage, so that a plugin that has shut down holds no heap memory.
PendingCalls& Pending() {
  alignas(PendingCalls) static unsigned char storage[sizeof(PendingCalls)];
  static PendingCalls* const pending = new (storage) PendingCalls();
  return *pending;
}

}  // namespace

ScheduledCalls::ScheduledCalls(PluginBase& plugin)
    : plugin_(plugin), clock_(&MonotonicNanoseconds) {}

ScheduledCalls::~ScheduledCalls() {
  // Destroyed outside the lock: a callable's captures may do anything.
  std::vector<std::function<void()>> dropped;
  PendingCalls& pending = Pending();
  std::lock_guard<std::mutex> lock(pending.mutex);
  for (auto it = pending.calls.begin(); it != pending.calls.end();) {
    if (it->second.table != this) {
      ++it;
      continue;
    }
    dropped.push_back(std::move(it->second.call));
    if (it->second.late) {
      it->second.table = nullptr;
      ++it;
    } else {
      it = pending.calls.erase(it);
    }
  }
}

std::uint64_t ScheduledCalls::Schedule(std::string_view name, std::function<void()> call,
                                       std::int64_t dueNanoseconds, std::function<void()> late) {
  const std::int64_t remaining = dueNanoseconds - Now();
  const double delaySeconds = remaining > 0 ? static_cast<double>(remaining) * 1e-9 : 0.0;
  std::uint64_t id = 0;
  std::uintptr_t token = 0;
  {
    PendingCalls& pending = Pending();
    std::lock_guard<std::mutex> lock(pending.mutex);
    id = nextId_++;
    do {
      token = pending.nextToken++;
    } while (token == 0 || pending.calls.count(token) != 0);
    pending.calls.emplace(token, PendingCall{this, std::move(call), std::move(late)});
  }
  plugin_.HostSchedule(std::string(name).c_str(), &Trampoline, reinterpret_cast<void*>(token),
                       delaySeconds, 0);
  return id;
}

std::size_t ScheduledCalls::size() const {
  PendingCalls& pending = Pending();
  std::lock_guard<std::mutex> lock(pending.mutex);
  std::size_t count = 0;
  for (const auto& [token, call] : pending.calls) count += call.table == this ? 1 : 0;
  return count;
}

void KELP_CDECL ScheduledCalls::Trampoline(void* context) {
  GuardEntry("scheduled call", [context] {
    const auto token = reinterpret_cast<std::uintptr_t>(context);
    std::function<void()> run;
    bool found = false;
    {
      PendingCalls& pending = Pending();
      std::lock_guard<std::mutex> lock(pending.mutex);
      const auto it = pending.calls.find(token);
      if (it != pending.calls.end()) {
        found = true;
        // Taken out before it runs, so the list holds no lock meanwhile and
        // the entry is gone even when the call throws.
        run = std::move(it->second.table != nullptr ? it->second.call : it->second.late);
        pending.calls.erase(it);
      }
    }
    if (!found) {
      Log(LogLevel::Warn, kLogDbg | kLogNet,
          "Couldn't find scheduled call %" PRIuPTR ": it ran already or was never scheduled",
          token);
      return;
    }
    if (run) run();
  });
}

}  // namespace Kelp
