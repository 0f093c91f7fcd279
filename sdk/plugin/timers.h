// Named repeating timers, built on one-shot scheduled calls.
//
// Setting a timer (again) starts a new series: its generation grows, and a
// fire armed for an older generation finds the difference and does nothing.
// Generations are never reused, not even for a timer cancelled and set
// again, so a fire of a cancelled series never runs a later one.
// A fire sets the next due time to now + interval before it runs the
// callback, so the interval runs from the start of one callback to the next.
// A callback may set or cancel its own timer; the fire runs the copy of the
// callback taken when it was armed.
//
// The table has no lock: it is used on the plugin's thread only.
#ifndef KELP_SDK_PLUGIN_TIMERS_H_
#define KELP_SDK_PLUGIN_TIMERS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Kelp {

class PluginBase;

struct TimerRecord {
  std::string name;
  std::function<void()> callback;
  std::int64_t dueNanoseconds = 0;
  double intervalSeconds = 0;
  std::uint64_t generation = 0;
};

class Timers {
 public:
  // Schedules through `plugin`'s scheduled calls, on their clock.
  explicit Timers(PluginBase& plugin);
  Timers(const Timers&) = delete;
  Timers& operator=(const Timers&) = delete;

  // Creates or replaces the timer `name` and arms its first fire, named
  // "Timer: <name>" for the host, `intervalSeconds` from now.
  void Set(std::string_view name, double intervalSeconds, std::function<void()> callback);

  // Removes the timer; nothing happens when there is none. A fire already
  // handed to the host still comes, finds no timer and logs a warning.
  void Cancel(std::string_view name);

  // Removes every timer (with the same effect on armed fires as Cancel).
  void Clear() { timers_.clear(); }

  // The timer named `name`, or null.
  const TimerRecord* Find(std::string_view name) const;
  std::size_t size() const { return timers_.size(); }

 private:
  void Arm(const TimerRecord& timer);
  void Fire(const std::string& name, std::uint64_t generation,
            const std::function<void()>& callback);

  PluginBase& plugin_;
  std::unordered_map<std::string, TimerRecord> timers_;
  // The generation of the last series armed, for every name.
  std::uint64_t lastGeneration_ = 0;
};

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_TIMERS_H_
