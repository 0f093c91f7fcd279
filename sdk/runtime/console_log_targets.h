// The console targets that the logger builds in: standard error, standard
// output and the debugger's output. Each formats the record into a line of
// at most kLogBufferSize bytes with its format text (see FormatLogLine) and
// writes it while holding its own lock.
#ifndef KELP_SDK_RUNTIME_CONSOLE_LOG_TARGETS_H_
#define KELP_SDK_RUNTIME_CONSOLE_LOG_TARGETS_H_

#include "sdk/runtime/log_target.h"

namespace Kelp {

class BaseConsoleLogTarget : public LogTarget {
 public:
  const char* TypeName() const override { return "BaseConsoleLogTarget"; }
  virtual void Flush() = 0;
};

class StdErrLogTarget final : public BaseConsoleLogTarget {
 public:
  ~StdErrLogTarget() override;
  const char* TypeName() const override { return "StdErrLogTarget"; }
  bool Write(const LogRecord& record) override;
  void Flush() override;
};

class StdOutLogTarget final : public BaseConsoleLogTarget {
 public:
  ~StdOutLogTarget() override;
  const char* TypeName() const override { return "StdOutLogTarget"; }
  bool Write(const LogRecord& record) override;
  void Flush() override;
  // Flush standard output after every line (off at first).
  void SetFlushAfterWrite(bool flush) { flushAfterWrite_.store(flush, std::memory_order_relaxed); }

 private:
  std::atomic<bool> flushAfterWrite_{false};
};

class DebuggerConsoleLogTarget final : public BaseConsoleLogTarget {
 public:
  ~DebuggerConsoleLogTarget() override;
  const char* TypeName() const override { return "DebuggerConsoleLogTarget"; }
  // Sends the line to WriteDebuggerOutput.
  bool Write(const LogRecord& record) override;
  void Flush() override {}
};

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_CONSOLE_LOG_TARGETS_H_
