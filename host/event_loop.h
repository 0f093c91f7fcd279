// The reference host's event loop: one thread, a virtual clock, no sleeping.
//
// Tasks run in order of due time, and in the order they were queued among
// equal due times. A task may queue further tasks while it runs; whether they
// run in the same pass is said per operation below.
#ifndef KELP_HOST_EVENT_LOOP_H_
#define KELP_HOST_EVENT_LOOP_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Kelp::Host {

class EventLoop {
 public:
  using Task = std::function<void()>;

  struct PendingTask {
    std::string name;
    std::int64_t dueNanoseconds;
    int tag;
  };

  // Virtual time since the loop was made.
  std::int64_t nowNanoseconds() const { return now_; }
  double NowSeconds() const { return static_cast<double>(now_) * 1e-9; }

  // Queues `task` to run `delaySeconds` after now, marked with `tag` (the
  // host tells the plugin's tasks from its own by it). A delay that is not
  // greater than 0 (NaN included) means now; a delay past the clock's range
  // means never.
  void Post(std::string name, double delaySeconds, Task task, int tag = 0);

  // Runs every task due now, including tasks queued meanwhile that are due
  // now. Returns how many ran.
  std::size_t RunReady();
  // Runs, once, the tasks that were due when it was called; tasks they queue
  // wait for the next pass. Returns how many ran.
  std::size_t RunReadyOnce();
  // Moves the clock forward by `seconds` (not below 0), running each task
  // that comes due with the clock set to its due time, then sets the clock to
  // the end. Returns how many ran.
  std::size_t Advance(double seconds);

  // Removes every queued task with `tag`; returns how many.
  std::size_t Drop(int tag);
  std::vector<PendingTask> Pending() const;

 private:
  struct QueuedTask {
    std::string name;
    int tag;
    Task run;
  };
  // Key: due time, then the order of queuing.
  using Key = std::pair<std::int64_t, std::uint64_t>;

  // Runs the first task due at or before `limit`; false when there is none.
  bool RunFirstDue(std::int64_t limit);

  std::int64_t now_ = 0;
  std::uint64_t nextOrder_ = 0;
  std::map<Key, QueuedTask> queue_;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_EVENT_LOOP_H_
