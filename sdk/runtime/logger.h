// The process-wide logger.
//
// All code of the library logs through Log(). The logger filters each
// message by a global level and category mask, stamps it with the local
// time and hands the record to every registered target that accepts it, in
// list order, one message at a time.
//
// The logger exists from the first log call or the first AcquireLogger()
// until the ReleaseLogger() that brings the reference count to 0; the next
// use creates it afresh with the start values:
//   targets            the standard-error and debugger targets
//   minimum level      Warn
//   excluded           kLogXtr
//   enabled
// Its storage is never freed, so a log call racing with the last release is
// safe: it finds no targets.
//
// Every function may run on any thread. The log path allocates nothing: the
// message and a formatted line live in fixed stack buffers of
// kLogBufferSize bytes, and longer text is cut. A message that the global
// filter drops costs a few atomic loads.
#ifndef KELP_SDK_RUNTIME_LOGGER_H_
#define KELP_SDK_RUNTIME_LOGGER_H_

#include <cstdarg>
#include <cstdint>

#include "sdk/runtime/log_record.h"

namespace Kelp {

class LogTarget;
struct LogTargetInterface;

// Formats `format` with the arguments (printf rules) and logs the message.
// Text from outside goes in as an argument, never as the format.
void Log(LogLevel level, std::uint64_t categories, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void LogV(std::int32_t level, std::uint64_t categories, const char* format, va_list arguments)
    __attribute__((format(printf, 3, 0)));

// Reference counting: Acquire creates the logger when the count becomes 1
// (unless a log call created it already); Release at 0 unregisters every
// target, last first, and resets the logger.
void AcquireLogger();
void ReleaseLogger();

// The global filter. Messages below the minimum level, or sharing a bit with
// the excluded categories, are dropped before any formatting.
void SetLogMinimumLevel(std::int32_t level);
std::int32_t LogMinimumLevel();
void SetLogExcludedCategories(std::uint64_t excluded);
std::uint64_t LogExcludedCategories();
void DisableLogging();
void EnableLogging();

// Accepted Warn and Error messages since the logger was created.
std::uint32_t LogWarningCount();
std::uint64_t LogErrorCount();

// The file name part of the host process's executable path; "<unknown>"
// until the logger has been created once or when the path cannot be read.
const char* LoggerExecutableName();

// The first registered target, in list order, whose type name equals
// `typeName`; null when there is none.
LogTargetInterface* FindLogTarget(const char* typeName);

// The three console targets built into the logger. They live as long as the
// process.
LogTargetInterface* StdErrLogTargetInterface();
LogTargetInterface* StdOutLogTargetInterface();
LogTargetInterface* DebuggerLogTargetInterface();

// List operations. AppendLogTarget lists `interface` (again) without
// looking at its registered flag; RemoveLogTarget removes every occurrence,
// keeping the order of the others. REQUIRES: an appended target stays alive
// until it is removed.
void AppendLogTarget(LogTargetInterface* interface);
void RemoveLogTarget(LogTargetInterface* interface);

// Used by LogTarget for its registered flag, which only the logger's lock
// guards.
class LoggerTargets {
 public:
  static void Register(LogTarget& target);
  static void Unregister(LogTarget& target);
  // Removes every occurrence whatever the flag says; for destructors.
  static void Forget(LogTarget& target);
};

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_LOGGER_H_
