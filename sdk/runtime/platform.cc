// POSIX implementation of the platform services.
#include "sdk/runtime/platform.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace Kelp {
namespace {

std::atomic<std::int64_t> firstClockReading{0};
std::atomic<DebuggerChannel> debuggerChannel{nullptr};

std::int64_t ReadMonotonicClock() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

std::int64_t MonotonicNanoseconds() {
  const std::int64_t now = ReadMonotonicClock();
  // The monotonic clock never reads 0 on a running system, so 0 means
  // "not read yet".
  if (firstClockReading.load(std::memory_order_relaxed) == 0) {
    std::int64_t unset = 0;
    firstClockReading.compare_exchange_strong(unset, now, std::memory_order_relaxed);
  }
  return now;
}

std::int64_t NanosecondsSinceFirstClockUse() {
  const std::int64_t now = MonotonicNanoseconds();
  return now - firstClockReading.load(std::memory_order_relaxed);
}

CalendarTime CurrentLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  const time_t seconds = now.tv_sec;
  localtime_r(&seconds, &local);
  return CalendarTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min,        local.tm_sec,     static_cast<std::int32_t>(now.tv_nsec / 1000000)};
}

std::uintptr_t CurrentThreadId() { return static_cast<std::uintptr_t>(syscall(SYS_gettid)); }

bool ReadExecutablePath(char* buffer, std::size_t size) {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return false;
  const std::size_t kept = static_cast<std::size_t>(length) < size ? length : size - 1;
  std::memcpy(buffer, path, kept);
  buffer[kept] = '\0';
  return true;
}

void WriteDebuggerOutput(const char* text) {
  const DebuggerChannel channel = debuggerChannel.load(std::memory_order_acquire);
  if (channel != nullptr) channel(text);
}

DebuggerChannel SetDebuggerChannel(DebuggerChannel channel) {
  return debuggerChannel.exchange(channel, std::memory_order_acq_rel);
}

}  // namespace Kelp
