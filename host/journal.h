// What the host saw of one kind (slot calls, log lines, publications, sent
// requests), in order. Each entry keeps the position it was added at, from
// 0 for the first, so that a reader can remember how far it read.
//
// A journal keeps everything unless it has a limit; then it keeps the most
// recent `limit` entries and drops the oldest, so that a host that runs for
// hours (plugin-host serve) does not grow with every request. size() counts
// every entry ever added; positions below first() are gone. Iteration
// covers the kept entries, oldest first.
//
// Example:
//   Journal<LogLine> lines;
//   lines.set_limit(2);
//   lines.push_back(a); lines.push_back(b); lines.push_back(c);
//   // lines.size() == 3, lines.first() == 1, lines[2] is c, a is gone
#ifndef KELP_HOST_JOURNAL_H_
#define KELP_HOST_JOURNAL_H_

#include <cassert>
#include <cstddef>
#include <deque>
#include <utility>

namespace Kelp::Host {

template <typename T>
class Journal {
 public:
  using value_type = T;
  using const_iterator = typename std::deque<T>::const_iterator;

  // Entries ever added, the dropped ones included.
  std::size_t size() const { return first_ + entries_.size(); }
  bool empty() const { return size() == 0; }
  // The position of the oldest kept entry.
  std::size_t first() const { return first_; }
  // True when the entry at `position` is kept.
  bool Has(std::size_t position) const { return position >= first_ && position < size(); }

  // REQUIRES: Has(position).
  const T& operator[](std::size_t position) const {
    assert(Has(position));
    return entries_[position - first_];
  }
  // REQUIRES: a kept entry.
  const T& back() const { return entries_.back(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

  void push_back(T entry) {
    entries_.push_back(std::move(entry));
    Trim();
  }
  // Keeps at most `limit` entries from now on, dropping the oldest beyond
  // it at once; 0 keeps everything.
  void set_limit(std::size_t limit) {
    limit_ = limit;
    Trim();
  }

 private:
  void Trim() {
    while (limit_ != 0 && entries_.size() > limit_) {
      entries_.pop_front();
      ++first_;
    }
  }

  std::deque<T> entries_;
  std::size_t first_ = 0;
  std::size_t limit_ = 0;
};

}  // namespace Kelp::Host

#endif  // KELP_HOST_JOURNAL_H_
