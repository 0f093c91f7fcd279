#include "sdk/runtime/log_format.h"

#include <cstdio>
#include <cstring>

#include "sdk/runtime/log_categories.h"
#include "sdk/runtime/logger.h"

namespace Kelp {
namespace {

// Appends to a line buffer, always keeping two bytes back for the final
// newline and the NUL.
class LineWriter {
 public:
  LineWriter(char* buffer, std::size_t size) : buffer_(buffer), limit_(size - 2) {}

  bool full() const { return used_ >= limit_; }

  void Append(const char* text, std::size_t length) {
    const std::size_t room = limit_ - used_;
    const std::size_t kept = length < room ? length : room;
    std::memcpy(buffer_ + used_, text, kept);
    used_ += kept;
  }
  void Append(const char* text) { Append(text, std::strlen(text)); }
  void Append(char c) { Append(&c, 1); }

  void Finish() {
    if (used_ == 0 || buffer_[used_ - 1] != '\n') buffer_[used_++] = '\n';
    buffer_[used_] = '\0';
  }

 private:
  char* buffer_;
  std::size_t limit_;
  std::size_t used_ = 0;
};

void AppendPlaceholder(char letter, const LogRecord& record, LineWriter& out) {
  char scratch[512];
  switch (letter) {
    case 'D':
      out.Append(FormatLogTimestamp(record.time, scratch, sizeof(scratch)));
      return;
    case 'E':
      out.Append(LoggerExecutableName());
      return;
    case 'G':
      out.Append(LogCategoryNames(record.categories, scratch, sizeof(scratch)));
      return;
    case 'H': {
      const std::int64_t millis = NanosecondsSinceFirstClockUse() / 1000000;
      std::snprintf(scratch, sizeof(scratch), "%06d.%03d", static_cast<int>(millis / 1000),
                    static_cast<int>(millis % 1000));
      out.Append(scratch);
      return;
    }
    case 'L':
      out.Append(LogLevelText(record.level));
      return;
    case 'M':
      out.Append(record.message != nullptr ? record.message : "");
      return;
    case 'T':
      std::snprintf(scratch, sizeof(scratch), "%p", reinterpret_cast<void*>(CurrentThreadId()));
      out.Append(scratch);
      return;
    default:
      out.Append(letter);
      return;
  }
}

}  // namespace

const char* LogLevelText(std::int32_t level) {
  static constexpr const char* kTexts[] = {"  OKAY", "  WARN", " ERROR", "ALWAYS"};
  return level >= 0 && level <= 3 ? kTexts[level] : "  ????";
}

const char* FormatLogTimestamp(const CalendarTime& time, char* buffer, std::size_t size) {
  std::snprintf(buffer, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", time.year, time.month, time.day,
                time.hour, time.minute, time.second, time.millisecond);
  return buffer;
}

const char* FormatLogFileTimestamp(const CalendarTime& time, char* buffer, std::size_t size) {
  std::snprintf(buffer, size, "%04d-%02d-%02dT%02d-%02d-%02d", time.year, time.month, time.day,
                time.hour, time.minute, time.second);
  return buffer;
}

const char* FormatLogLine(const LogRecord& record, const char* format, char* buffer,
                          std::size_t size) {
  LineWriter out(buffer, size);
  for (const char* p = format; *p != '\0' && !out.full(); ++p) {
    if (*p != '#') {
      out.Append(*p);
      continue;
    }
    if (*++p == '\0') break;
    AppendPlaceholder(*p, record, out);
  }
  out.Finish();
  return buffer;
}

}  // namespace Kelp
