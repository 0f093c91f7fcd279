#include "sdk/runtime/logging_api.h"

#include <atomic>
#include <cstdarg>

#include "sdk/runtime/log_categories.h"
#include "sdk/runtime/log_format.h"
#include "sdk/runtime/logger.h"

namespace Kelp {
namespace {

std::atomic<bool> secondFlag{false};

__attribute__((format(printf, 4, 5))) void LogWords(std::int32_t level,
                                                    std::uint32_t categoriesLow,
                                                    std::uint32_t categoriesHigh,
                                                    const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  LogV(level, (std::uint64_t{categoriesHigh} << 32) | categoriesLow, format, arguments);
  va_end(arguments);
}

constexpr LoggingApi kApi = {
    []() -> std::int32_t { return 1; },
    AcquireLogger,
    ReleaseLogger,
    SetLogMinimumLevel,
    LogMinimumLevel,
    SetLogExcludedCategories,
    LogExcludedCategories,
    DisableLogging,
    EnableLogging,
    []() { secondFlag.store(true, std::memory_order_relaxed); },
    []() { secondFlag.store(false, std::memory_order_relaxed); },
    AppendLogTarget,
    RemoveLogTarget,
    FindLogTarget,
    StdOutLogTargetInterface,
    StdErrLogTargetInterface,
    DebuggerLogTargetInterface,
    LogCategoryMask,
    LogCategoryNames,
    [](const LogRecord* record, const char* format, char* buffer, std::size_t size) {
      return FormatLogLine(*record, format, buffer, size);
    },
    LogLevelText,
    LoggerExecutableName,
    [](LogRecord* record) { record->time = CurrentLocalTime(); },
    [](const LogRecord* record, char* buffer, std::size_t size) {
      return FormatLogTimestamp(record->time, buffer, size);
    },
    [](const LogRecord* record, char* buffer, std::size_t size) {
      return FormatLogFileTimestamp(record->time, buffer, size);
    },
    LogWords,
};

}  // namespace

const LoggingApi* GetLoggingApi() { return &kApi; }

}  // namespace Kelp
