#include "sdk/plugin/timers.h"

#include <cmath>
#include <limits>
#include <utility>

#include "sdk/binding/message_format.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/runtime/logger.h"

namespace Kelp {
namespace {

// now + seconds, saturated so that a huge, negative or NaN interval gives a
// due time rather than an overflow.
std::int64_t DueAfter(std::int64_t now, double seconds) {
  const double nanoseconds = seconds * 1e9;
  if (!(nanoseconds > 0)) return now;  // also NaN
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (nanoseconds >= static_cast<double>(kMax - now)) return kMax;
  return now + static_cast<std::int64_t>(nanoseconds);
}

void WarnMissing(const std::string& shortName, const std::string& name) {
  Log(LogLevel::Warn, kLogDbg | kLogNet, "%s: Couldn't find timer named %s", shortName.c_str(),
      name.c_str());
}

}  // namespace

Timers::Timers(PluginBase& plugin) : plugin_(plugin) {}

void Timers::Set(std::string_view name, double intervalSeconds, std::function<void()> callback) {
  TimerRecord& timer = timers_[std::string(name)];
  timer.name = std::string(name);
  timer.intervalSeconds = intervalSeconds;
  timer.callback = std::move(callback);
  timer.dueNanoseconds = DueAfter(plugin_.scheduledCalls().Now(), intervalSeconds);
  timer.generation = ++lastGeneration_;
  Arm(timer);
}

void Timers::Cancel(std::string_view name) {
  const auto found = timers_.find(std::string(name));
  if (found != timers_.end()) timers_.erase(found);
}

const TimerRecord* Timers::Find(std::string_view name) const {
  const auto found = timers_.find(std::string(name));
  return found != timers_.end() ? &found->second : nullptr;
}

void Timers::Arm(const TimerRecord& timer) {
  plugin_.scheduledCalls().Schedule(
      FormatMessage("Timer: %1", {timer.name}),
      [this, name = timer.name, generation = timer.generation, callback = timer.callback] {
        Fire(name, generation, callback);
      },
      timer.dueNanoseconds,
      // A fire after the plugin is gone finds no timer, like one after Cancel.
      [shortName = plugin_.shortName(), name = timer.name] { WarnMissing(shortName, name); });
}

void Timers::Fire(const std::string& name, std::uint64_t generation,
                  const std::function<void()>& callback) {
  auto found = timers_.find(name);
  if (found == timers_.end()) {
    WarnMissing(plugin_.shortName(), name);
    return;
  }
  if (found->second.generation != generation) return;  // set again meanwhile
  found->second.dueNanoseconds =
      DueAfter(plugin_.scheduledCalls().Now(), found->second.intervalSeconds);
  if (callback) callback();
  // The callback may have cancelled or set the timer, or others.
  found = timers_.find(name);
  if (found != timers_.end() && found->second.generation == generation) Arm(found->second);
}

}  // namespace Kelp
