#include "sdk/runtime/console_log_targets.h"

#include <cstdio>

#include "sdk/runtime/log_format.h"
#include "sdk/runtime/platform.h"

namespace Kelp {
namespace {

template <typename Output>
bool WriteLine(const LogRecord& record, const char* format, Output output) {
  char line[kLogBufferSize];
  output(FormatLogLine(record, format, line, sizeof(line)));
  return true;
}

}  // namespace

StdErrLogTarget::~StdErrLogTarget() { Retire(); }

bool StdErrLogTarget::Write(const LogRecord& record) {
  std::lock_guard<std::mutex> lock(lock_);
  return WriteLine(record, FormatText(), [](const char* line) { std::fputs(line, stderr); });
}

void StdErrLogTarget::Flush() { std::fflush(stderr); }

StdOutLogTarget::~StdOutLogTarget() { Retire(); }

bool StdOutLogTarget::Write(const LogRecord& record) {
  std::lock_guard<std::mutex> lock(lock_);
  WriteLine(record, FormatText(), [](const char* line) { std::fputs(line, stdout); });
  if (flushAfterWrite_.load(std::memory_order_relaxed)) std::fflush(stdout);
  return true;
}

void StdOutLogTarget::Flush() { std::fflush(stdout); }

DebuggerConsoleLogTarget::~DebuggerConsoleLogTarget() { Retire(); }

bool DebuggerConsoleLogTarget::Write(const LogRecord& record) {
  std::lock_guard<std::mutex> lock(lock_);
  return WriteLine(record, FormatText(), WriteDebuggerOutput);
}

}  // namespace Kelp
