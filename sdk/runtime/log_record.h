// What a log message is made of: its level, its categories and the record
// that log targets receive.
#ifndef KELP_SDK_RUNTIME_LOG_RECORD_H_
#define KELP_SDK_RUNTIME_LOG_RECORD_H_

#include <cstddef>
#include <cstdint>

#include "sdk/runtime/platform.h"

namespace Kelp {

// Levels as the host's log slot receives them.
enum class LogLevel : std::int32_t { Okay = 0, Warn = 1, Error = 2, Always = 3 };

// Category masks: bit i stands for category slot i. The eight below have
// their names from the start; further names are registered at run time
// (see log_categories.h).
inline constexpr std::uint64_t kLogDbg = std::uint64_t{1} << 0;
inline constexpr std::uint64_t kLogGen = std::uint64_t{1} << 1;
inline constexpr std::uint64_t kLogXtr = std::uint64_t{1} << 2;
inline constexpr std::uint64_t kLogPrf = std::uint64_t{1} << 3;
inline constexpr std::uint64_t kLogMem = std::uint64_t{1} << 4;
inline constexpr std::uint64_t kLogDsk = std::uint64_t{1} << 5;
inline constexpr std::uint64_t kLogNet = std::uint64_t{1} << 6;
inline constexpr std::uint64_t kLogTst = std::uint64_t{1} << 7;

// Size of the fixed buffers of the log path: a message and a formatted line
// are each at most this long, their terminating NUL included.
inline constexpr std::size_t kLogBufferSize = 4096;

// One accepted message, as every target's write receives it. `message` is
// valid only for the duration of the write.
struct LogRecord {
  CalendarTime time;  // local time of the call
  std::int32_t level;
  std::uint64_t categories;
  const char* message;
};

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_LOG_RECORD_H_
