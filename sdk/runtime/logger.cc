#include "sdk/runtime/logger.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "sdk/runtime/console_log_targets.h"
#include "sdk/runtime/log_target.h"
#include "sdk/runtime/platform.h"
#include "sdk/runtime/thread_annotations.h"

namespace Kelp {
namespace {

constexpr std::int32_t kStartMinimumLevel = static_cast<std::int32_t>(LogLevel::Warn);
constexpr const char* kConsoleFormat = "#E(#T): #L| #M";

struct Logger {
  std::mutex lock;
  // The filter fields are atomics so that a dropped message takes no lock;
  // they change under `lock`.
  std::atomic<bool> exists{false};
  // The last holder released the logger: a message now (a callback the host
  // makes after the plugin shut down) goes to the console targets alone and
  // does not create the logger again, which would hold heap memory that
  // nobody releases.
  std::atomic<bool> released{false};
  std::atomic<bool> disabled{false};
  std::atomic<std::int32_t> minimumLevel{kStartMinimumLevel};
  std::atomic<std::uint64_t> excluded{kLogXtr};
  std::vector<LogTargetInterface*> targets KELP_GUARDED_BY(lock);
  std::uint32_t warnings KELP_GUARDED_BY(lock) = 0;
  std::uint64_t errors KELP_GUARDED_BY(lock) = 0;
  StdErrLogTarget stdErr;
  StdOutLogTarget stdOut;
  DebuggerConsoleLogTarget debugger;
  std::atomic<int> references{0};
};

// Never destroyed, so that no caller can see it gone, not even during static
// destruction at process exit. It lives in static storage rather than on the
// heap so that a plugin that has shut down holds no heap memory.
Logger& TheLogger() {
  alignas(Logger) static unsigned char storage[sizeof(Logger)];
  static Logger* const logger = new (storage) Logger;
  return *logger;
}

char executableName[1024] = "<unknown>";
std::atomic<bool> executableNameRead{false};

void ReadExecutableName() {
  if (executableNameRead.load(std::memory_order_acquire)) return;
  char path[sizeof(executableName)];
  if (!ReadExecutablePath(path, sizeof(path))) return;
  const char* separator = std::strrchr(path, kPathSeparator);
  std::snprintf(executableName, sizeof(executableName), "%s",
                separator != nullptr ? separator + 1 : path);
  executableNameRead.store(true, std::memory_order_release);
}

void Configure(LogTarget& target, std::uint64_t included, std::uint64_t excluded,
               const char* format) {
  target.SetMinimumLevel(kStartMinimumLevel);
  target.SetCategories(included, excluded);
  target.SetFormat(format);
}

void EraseAll(std::vector<LogTargetInterface*>& targets, LogTargetInterface* interface) {
  targets.erase(std::remove(targets.begin(), targets.end(), interface), targets.end());
}

}  // namespace

// Everything that touches a target's registered flag, which only the
// logger's lock guards.
class LoggerTargetsLocked {
 public:
  static void Add(Logger& logger, LogTarget& target) KELP_REQUIRES(logger.lock) {
    if (target.registered_.load(std::memory_order_relaxed)) return;
    target.registered_.store(true, std::memory_order_release);
    logger.targets.push_back(target.Interface());
  }
  static void Remove(Logger& logger, LogTarget& target) KELP_REQUIRES(logger.lock) {
    target.registered_.store(false, std::memory_order_release);
    EraseAll(logger.targets, target.Interface());
  }
};

namespace {

// Sets the start values. Creation happens under the lock; taking the
// targets' locks inside it keeps the logger-then-target order.
void Create(Logger& logger) KELP_REQUIRES(logger.lock) {
  logger.disabled.store(false, std::memory_order_relaxed);
  logger.minimumLevel.store(kStartMinimumLevel, std::memory_order_relaxed);
  logger.excluded.store(kLogXtr, std::memory_order_relaxed);
  logger.warnings = 0;
  logger.errors = 0;
  logger.targets.clear();
  logger.targets.reserve(8);
  Configure(logger.stdErr, kLogDbg, kLogGen, kConsoleFormat);
  Configure(logger.stdOut, kLogGen, kLogDbg, "#M");
  logger.stdOut.SetFlushAfterWrite(false);
  Configure(logger.debugger, kLogDbg, 0, kConsoleFormat);
  ReadExecutableName();
  logger.released.store(false, std::memory_order_relaxed);
  LoggerTargetsLocked::Add(logger, logger.stdErr);
  LoggerTargetsLocked::Add(logger, logger.debugger);
  logger.exists.store(true, std::memory_order_release);
}

Logger& ExistingLogger() {
  Logger& logger = TheLogger();
  if (!logger.exists.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(logger.lock);
    if (!logger.exists.load(std::memory_order_relaxed)) Create(logger);
  }
  return logger;
}

}  // namespace

void LogV(std::int32_t level, std::uint64_t categories, const char* format, va_list arguments) {
  Logger& logger = TheLogger();
  // Released by its last holder: the console targets alone (see Logger).
  const bool released = logger.released.load(std::memory_order_acquire) &&
                        !logger.exists.load(std::memory_order_acquire);
  if (!released) ExistingLogger();
  if (logger.disabled.load(std::memory_order_relaxed) ||
      level < logger.minimumLevel.load(std::memory_order_relaxed) ||
      (categories & logger.excluded.load(std::memory_order_relaxed)) != 0) {
    return;
  }
  // Formatting and the clock stay outside the lock.
  char message[kLogBufferSize];
  std::vsnprintf(message, sizeof(message), format, arguments);
  const LogRecord record{CurrentLocalTime(), level, categories, message};

  std::lock_guard<std::mutex> lock(logger.lock);
  if (released) {
    for (LogTarget* target :
         {static_cast<LogTarget*>(&logger.stdErr), static_cast<LogTarget*>(&logger.debugger)}) {
      if (!target->Accepts(level, categories)) continue;
      target->Interface()->write(target->Interface(), &record);
    }
    return;
  }
  if (level == static_cast<std::int32_t>(LogLevel::Warn)) ++logger.warnings;
  if (level == static_cast<std::int32_t>(LogLevel::Error)) ++logger.errors;
  for (LogTargetInterface* target : logger.targets) {
    if (!LogTarget::FromInterface(target)->Accepts(level, categories)) continue;
    target->write(target, &record);
  }
}

void Log(LogLevel level, std::uint64_t categories, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  LogV(static_cast<std::int32_t>(level), categories, format, arguments);
  va_end(arguments);
}

void AcquireLogger() {
  Logger& logger = TheLogger();
  if (logger.references.fetch_add(1, std::memory_order_acq_rel) != 0) return;
  try {
    ExistingLogger();
  } catch (...) {
    // Not acquired: the caller fails, and never releases.
    logger.references.fetch_sub(1, std::memory_order_acq_rel);
    throw;
  }
}

void ReleaseLogger() {
  Logger& logger = TheLogger();
  int count = logger.references.load(std::memory_order_relaxed);
  do {
    if (count == 0) return;  // more releases than acquisitions
  } while (!logger.references.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel));
  if (count != 1) return;
  std::lock_guard<std::mutex> lock(logger.lock);
  while (!logger.targets.empty()) {
    LoggerTargetsLocked::Remove(logger, *LogTarget::FromInterface(logger.targets.back()));
  }
  std::vector<LogTargetInterface*>().swap(logger.targets);
  logger.released.store(true, std::memory_order_release);
  logger.exists.store(false, std::memory_order_release);
}

void SetLogMinimumLevel(std::int32_t level) {
  Logger& logger = ExistingLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  logger.minimumLevel.store(level, std::memory_order_relaxed);
}

std::int32_t LogMinimumLevel() {
  return ExistingLogger().minimumLevel.load(std::memory_order_relaxed);
}

void SetLogExcludedCategories(std::uint64_t excluded) {
  Logger& logger = ExistingLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  logger.excluded.store(excluded, std::memory_order_relaxed);
}

std::uint64_t LogExcludedCategories() {
  return ExistingLogger().excluded.load(std::memory_order_relaxed);
}

void DisableLogging() {
  Logger& logger = ExistingLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  logger.disabled.store(true, std::memory_order_relaxed);
}

void EnableLogging() {
  Logger& logger = ExistingLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  logger.disabled.store(false, std::memory_order_relaxed);
}

std::uint32_t LogWarningCount() {
  Logger& logger = ExistingLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  return logger.warnings;
}

std::uint64_t LogErrorCount() {
  Logger& logger = ExistingLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  return logger.errors;
}

const char* LoggerExecutableName() { return executableName; }

LogTargetInterface* FindLogTarget(const char* typeName) {
  Logger& logger = ExistingLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  for (LogTargetInterface* target : logger.targets) {
    if (std::strcmp(target->typeName(target), typeName) == 0) return target;
  }
  return nullptr;
}

LogTargetInterface* StdErrLogTargetInterface() { return TheLogger().stdErr.Interface(); }
LogTargetInterface* StdOutLogTargetInterface() { return TheLogger().stdOut.Interface(); }
LogTargetInterface* DebuggerLogTargetInterface() { return TheLogger().debugger.Interface(); }

void AppendLogTarget(LogTargetInterface* interface) {
  Logger& logger = ExistingLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  logger.targets.push_back(interface);
}

void RemoveLogTarget(LogTargetInterface* interface) {
  Logger& logger = TheLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  LoggerTargetsLocked::Remove(logger, *LogTarget::FromInterface(interface));
}

void LoggerTargets::Register(LogTarget& target) {
  Logger& logger = ExistingLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  LoggerTargetsLocked::Add(logger, target);
}

void LoggerTargets::Unregister(LogTarget& target) {
  Logger& logger = TheLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  if (target.registered()) LoggerTargetsLocked::Remove(logger, target);
}

void LoggerTargets::Forget(LogTarget& target) {
  Logger& logger = TheLogger();
  std::lock_guard<std::mutex> lock(logger.lock);
  LoggerTargetsLocked::Remove(logger, target);
}

}  // namespace Kelp
