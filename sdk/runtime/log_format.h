// Texts of the log path: level texts, timestamps and the console line.
//
// Everything here writes into caller buffers, allocates nothing and may run
// on any thread.
#ifndef KELP_SDK_RUNTIME_LOG_FORMAT_H_
#define KELP_SDK_RUNTIME_LOG_FORMAT_H_

#include <cstddef>
#include <cstdint>

#include "sdk/runtime/log_record.h"

namespace Kelp {

// "  OKAY", "  WARN", " ERROR", "ALWAYS" for levels 0 to 3; "  ????" for any
// other level.
const char* LogLevelText(std::int32_t level);

// "%04d-%02d-%02dT%02d:%02d:%02d.%03d" of `time` into `buffer`, cut to
// `size` - 1 bytes. Returns `buffer`. REQUIRES: size > 0.
const char* FormatLogTimestamp(const CalendarTime& time, char* buffer, std::size_t size);

// "%04d-%02d-%02dT%02d-%02d-%02d" (no milliseconds; usable in file names).
const char* FormatLogFileTimestamp(const CalendarTime& time, char* buffer, std::size_t size);

// Builds a console line from `format`, copied character by character, with
// "#" and a letter replaced:
//   #D  the record's time as FormatLogTimestamp writes it
//   #E  the executable's file name
//   #G  the record's category names (LogCategoryNames)
//   #H  the seconds since the first reading of the monotonic clock, "%06d.%03d"
//   #L  the level text
//   #M  the message
//   #T  the calling thread's identifier, printed with "%p"
// "#" followed by any other character prints that character alone (so "##"
// prints "#" and "#x" prints "x"); a final lone "#" prints nothing.
// Output stops when the buffer is full; the line then always ends with one
// newline (none is added when it ends with one already) and a NUL.
// Returns `buffer`. REQUIRES: size >= 2.
const char* FormatLogLine(const LogRecord& record, const char* format, char* buffer,
                          std::size_t size);

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_LOG_FORMAT_H_
