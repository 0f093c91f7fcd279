// The platform services: a POSIX branch and a Windows branch behind the
// same functions.
#include "sdk/runtime/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstring>

namespace Kelp {
namespace {

std::atomic<std::int64_t> firstClockReading{0};
std::atomic<DebuggerChannel> debuggerChannel{nullptr};

#ifdef _WIN32

std::int64_t ReadMonotonicClock() {
  static const std::int64_t frequency = [] {
    LARGE_INTEGER value{};
    QueryPerformanceFrequency(&value);
    return value.QuadPart > 0 ? static_cast<std::int64_t>(value.QuadPart) : 1;
  }();
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  // Whole seconds and the remainder apart: counter * 1e9 alone overflows
  // after a few minutes of uptime at the usual 10 MHz.
  const std::int64_t ticks = counter.QuadPart;
  return ticks / frequency * 1000000000 + ticks % frequency * 1000000000 / frequency;
}

#else

std::int64_t ReadMonotonicClock() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

#endif

// Copies the `length` bytes of `path` into `buffer`, cut to `size` - 1.
void CopyPath(const char* path, std::size_t length, char* buffer, std::size_t size) {
  const std::size_t kept = length < size ? length : size - 1;
  std::memcpy(buffer, path, kept);
  buffer[kept] = '\0';
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

#ifdef _WIN32

CalendarTime CurrentLocalTime() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  return CalendarTime{local.wYear, local.wMonth,  local.wDay,         local.wHour,
                      local.wMinute, local.wSecond, local.wMilliseconds};
}

std::uintptr_t CurrentThreadId() { return static_cast<std::uintptr_t>(GetCurrentThreadId()); }

bool ReadExecutablePath(char* buffer, std::size_t size) {
  char path[4096];
  // A null module is the process's executable. The result is cut (and then
  // reported as the full buffer) when the path does not fit.
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  if (length == 0) return false;
  CopyPath(path, length < sizeof(path) ? length : sizeof(path) - 1, buffer, size);
  return true;
}

void WriteDebuggerOutput(const char* text) {
  OutputDebugStringA(text);
  const DebuggerChannel channel = debuggerChannel.load(std::memory_order_acquire);
  if (channel != nullptr) channel(text);
}

#else

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
  CopyPath(path, static_cast<std::size_t>(length), buffer, size);
  return true;
}

void WriteDebuggerOutput(const char* text) {
  const DebuggerChannel channel = debuggerChannel.load(std::memory_order_acquire);
  if (channel != nullptr) channel(text);
}

#endif

DebuggerChannel SetDebuggerChannel(DebuggerChannel channel) {
  return debuggerChannel.exchange(channel, std::memory_order_acq_rel);
}

}  // namespace Kelp
