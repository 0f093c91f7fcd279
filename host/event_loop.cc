#include "host/event_loop.h"

#include <algorithm>
#include <limits>

namespace Kelp::Host {
namespace {

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

// `seconds` after `now`, saturated at kNever; not greater than 0 is `now`.
std::int64_t After(std::int64_t now, double seconds) {
  if (!(seconds > 0)) return now;
  const double nanoseconds = seconds * 1e9;
  if (nanoseconds >= static_cast<double>(kNever - now)) return kNever;
  return now + static_cast<std::int64_t>(nanoseconds + 0.5);
}

}  // namespace

void EventLoop::Post(std::string name, double delaySeconds, Task task, int tag) {
  queue_.emplace(Key{After(now_, delaySeconds), nextOrder_++},
                 QueuedTask{std::move(name), tag, std::move(task)});
}

bool EventLoop::RunFirstDue(std::int64_t limit) {
  if (queue_.empty() || queue_.begin()->first.first > limit) return false;
  // Taken out before it runs, so that the task may queue or drop others.
  auto node = queue_.extract(queue_.begin());
  now_ = std::max(now_, node.key().first);
  node.mapped().run();
  return true;
}

std::size_t EventLoop::RunReady() {
  std::size_t count = 0;
  while (RunFirstDue(now_)) ++count;
  return count;
}

std::size_t EventLoop::RunReadyOnce() {
  std::vector<Key> due;
  for (const auto& [key, task] : queue_) {
    if (key.first > now_) break;
    due.push_back(key);
  }
  std::size_t count = 0;
  for (const Key& key : due) {
    auto node = queue_.extract(key);
    if (node.empty()) continue;  // dropped by an earlier task
    node.mapped().run();
    ++count;
  }
  return count;
}

std::size_t EventLoop::Advance(double seconds) {
  const std::int64_t end = After(now_, seconds);
  std::size_t count = 0;
  while (RunFirstDue(end)) ++count;
  now_ = std::max(now_, end);
  return count;
}

std::size_t EventLoop::Drop(int tag) {
  return std::erase_if(queue_, [tag](const auto& entry) { return entry.second.tag == tag; });
}

std::vector<EventLoop::PendingTask> EventLoop::Pending() const {
  std::vector<PendingTask> pending;
  for (const auto& [key, task] : queue_) pending.push_back({task.name, key.first, task.tag});
  return pending;
}

}  // namespace Kelp::Host
