// StoredCategory<Data>: what this service knows of one settings category
// that the settings plugin stores for it, so that every write starts from
// the values the category really holds.
//
// The service's own record (`currentSettings`) follows the settings plugin's
// change events, which arrive some time after each write. A write built from
// that record would undo an earlier write whose event has not come back
// yet, so writes are built from `values()` instead: the last values this
// service wrote, or the last ones the settings plugin reported that were not
// an echo of such a write.
//
//   if (!account_.loaded()) return Refuse();  // nothing known: never guess
//   Data data = account_.values();
//   data.inputMode = mode;
//   if (Patch(data).ok()) account_.Wrote(data);
//   ...
//   account_.Reported(event.data);  // from a category GET or change event
//
// No lock: it lives in the plugin object, which the host enters one call at
// a time.
#ifndef KELP_PREMADE_VOICE_STORED_CATEGORY_H_
#define KELP_PREMADE_VOICE_STORED_CATEGORY_H_

#include <cstddef>
#include <deque>
#include <optional>

namespace Kelp::Client {

template <class Data>
class StoredCategory {
 public:
  // Writes whose change event has not been seen yet, at most. Older ones are
  // forgotten: a settings plugin that does not echo must not make us grow.
  static constexpr std::size_t kMaxPendingEchoes = 16;

  // Whether the category's values are known: read, reported or written.
  bool loaded() const { return values_.has_value(); }
  // REQUIRES: loaded().
  const Data& values() const { return *values_; }

  // `data` was stored by a write of ours; its change event is still to come.
  void Wrote(const Data& data) {
    values_ = data;
    pending_.push_back(data);
    if (pending_.size() > kMaxPendingEchoes) pending_.pop_front();
  }

  // The settings plugin reports `data` (a GET answer or a change event). An
  // echo of one of our writes changes nothing (a later write of ours may
  // already be on its way) and settles that write and those before it.
  // Anything else is a change made elsewhere and becomes the values.
  void Reported(const Data& data) {
    for (std::size_t i = 0; i < pending_.size(); ++i) {
      if (pending_[i] == data) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        return;
      }
    }
    values_ = data;
    pending_.clear();
  }

 private:
  std::optional<Data> values_;
  std::deque<Data> pending_;
};

}  // namespace Kelp::Client

#endif  // KELP_PREMADE_VOICE_STORED_CATEGORY_H_
