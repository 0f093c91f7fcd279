// Log targets: where accepted messages go.
//
// The logger keeps an ordered list of target interfaces, tables of twelve
// plain functions that each receive the interface first. Every `LogTarget`
// carries its own interface; `Interface()` is what goes into the list.
//
// Locking: the logger's lock guards the list and every target's registered
// flag; a target's own lock guards its configuration and its writes. The
// logger's lock is always taken first: the logger holds it while it calls a
// target's write, and no target operation takes the logger's lock while it
// holds its own. So a target may be reconfigured, registered or unregistered
// while other threads log.
#ifndef KELP_SDK_RUNTIME_LOG_TARGET_H_
#define KELP_SDK_RUNTIME_LOG_TARGET_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "sdk/runtime/log_record.h"
#include "sdk/runtime/thread_annotations.h"

namespace Kelp {

struct LogTargetInterface {
  std::int32_t (*version)(LogTargetInterface* self);  // returns 1
  void (*setMinimumLevel)(LogTargetInterface* self, std::int32_t level);
  std::int32_t (*minimumLevel)(LogTargetInterface* self);
  void (*setCategories)(LogTargetInterface* self, std::uint64_t included,
                        std::uint64_t excluded);
  std::uint64_t (*includedCategories)(LogTargetInterface* self);
  std::uint64_t (*excludedCategories)(LogTargetInterface* self);
  const char* (*typeName)(LogTargetInterface* self);
  const char* (*format)(LogTargetInterface* self);
  void (*registerTarget)(LogTargetInterface* self);
  void (*unregisterTarget)(LogTargetInterface* self);
  bool (*isRegistered)(LogTargetInterface* self);
  bool (*write)(LogTargetInterface* self, const LogRecord* record);
};

// The base of every target. A target receives a record when the record's
// level is at least the target's minimum level and, for a record with
// categories, when the record shares no bit with the excluded categories and
// (unless the included categories are 0) at least one bit with the included
// ones. A record with category mask 0 passes every category filter.
//
// A listed target must leave the logger's list before its most-derived part
// is destroyed, since the logger may be calling its Write: every concrete
// target calls Retire() first thing in its destructor.
class LogTarget {
 public:
  // Format texts longer than this are cut.
  static constexpr std::size_t kMaxFormatLength = 255;

  LogTarget();
  virtual ~LogTarget();
  LogTarget(const LogTarget&) = delete;
  LogTarget& operator=(const LogTarget&) = delete;

  // Unregisters the target from the logger.
  virtual void Detach();
  virtual const char* TypeName() const { return "LogTarget"; }
  // The line format of the console targets (see FormatLogLine); valid until
  // the format is set again.
  virtual const char* FormatText() const { return format_; }

  LogTargetInterface* Interface() { return &handle_.functions; }
  // The target whose Interface() is `interface`.
  static LogTarget* FromInterface(LogTargetInterface* interface);

  void SetMinimumLevel(std::int32_t level);
  std::int32_t minimumLevel() const { return minimumLevel_.load(std::memory_order_relaxed); }
  // Stores `included` without the excluded bits, and `excluded`.
  void SetCategories(std::uint64_t included, std::uint64_t excluded);
  std::uint64_t includedCategories() const { return included_.load(std::memory_order_relaxed); }
  std::uint64_t excludedCategories() const { return excluded_.load(std::memory_order_relaxed); }
  void SetFormat(const char* format);

  // Appends the target to the logger's list unless it is registered already
  // (creating the logger when none exists).
  void Register();
  // Removes every occurrence of the target from the logger's list if it is
  // registered. Returns after any write in progress on it has finished.
  void Unregister();
  bool registered() const { return registered_.load(std::memory_order_acquire); }

  // Unregisters, sets level, categories and format, and registers again.
  // Other threads may log meanwhile; they see the target either listed with
  // its old or new configuration, or not listed.
  void Configure(std::int32_t minimumLevel, std::uint64_t included, std::uint64_t excluded,
                 const char* format);

  // Whether a record of `level` and `categories` passes this target's
  // filters.
  bool Accepts(std::int32_t level, std::uint64_t categories) const;

  // Called by the logger, with the logger's lock held, for every accepted
  // record. Must not log. Returns true once written.
  virtual bool Write(const LogRecord& record) = 0;

 protected:
  // Removes the target from the logger's list however it got there (flag or
  // AppendLogTarget) and clears its flag; returns after any write in
  // progress on it has finished.
  void Retire();

  // Guards the configuration changes and the console writes.
  mutable std::mutex lock_;

 private:
  friend class LoggerTargetsLocked;

  // The interface followed by the way back to its target.
  struct Handle {
    LogTargetInterface functions;
    LogTarget* target;
  };

  Handle handle_;
  // Written only with the logger's lock held.
  std::atomic<bool> registered_{false};
  std::atomic<std::int32_t> minimumLevel_{1};
  std::atomic<std::uint64_t> included_{0};
  std::atomic<std::uint64_t> excluded_{0};
  char format_[kMaxFormatLength + 1] KELP_GUARDED_BY(lock_);
};

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_LOG_TARGET_H_
