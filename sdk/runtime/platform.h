// The operating-system services that the runtime needs, behind one small
// interface: a monotonic clock, the local time, the thread identifier, the
// executable's path and the debugger's output channel.
//
// Every function here may run on any thread and allocates nothing.
#ifndef KELP_SDK_RUNTIME_PLATFORM_H_
#define KELP_SDK_RUNTIME_PLATFORM_H_

#include <cstddef>
#include <cstdint>

namespace Kelp {

// A local calendar time; month and day count from 1.
struct CalendarTime {
  std::int32_t year;
  std::int32_t month;
  std::int32_t day;
  std::int32_t hour;
  std::int32_t minute;
  std::int32_t second;
  std::int32_t millisecond;
};

// The monotonic high-resolution clock in nanoseconds. Only differences
// between readings mean anything.
std::int64_t MonotonicNanoseconds();

// Nanoseconds since the first reading of the clock above in this process
// (0 on that first reading).
std::int64_t NanosecondsSinceFirstClockUse();

// The system's local time, with its millisecond part.
CalendarTime CurrentLocalTime();

// The calling thread's identifier as the system numbers threads.
std::uintptr_t CurrentThreadId();

// The separator of the paths that ReadExecutablePath returns.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Writes the host process's executable path into `buffer` (NUL-terminated,
// cut to `size` - 1 bytes). Returns false, leaving `buffer` untouched, when
// the path cannot be read. REQUIRES: size > 0.
bool ReadExecutablePath(char* buffer, std::size_t size);

// Receives text meant for an attached debugger.
using DebuggerChannel = void (*)(const char* text);

// Sends `text` to the debugger's output. On Windows that is the system's
// debug output; the text also goes to the channel installed below, and on
// other systems only there (nowhere while none is installed).
void WriteDebuggerOutput(const char* text);

// Installs the channel that also receives debugger output (null removes
// it) and returns the previous one. Tests install one to
// see what the debugger would see.
DebuggerChannel SetDebuggerChannel(DebuggerChannel channel);

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_PLATFORM_H_
