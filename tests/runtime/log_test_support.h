// Helpers shared by the logging tests.
#ifndef KELP_TESTS_RUNTIME_LOG_TEST_SUPPORT_H_
#define KELP_TESTS_RUNTIME_LOG_TEST_SUPPORT_H_

#include <mutex>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>

#include "sdk/runtime/log_target.h"
#include "sdk/runtime/logger.h"
#include "sdk/runtime/platform.h"

namespace Kelp::testing {

// The file name of this test program and the pattern of a thread id as "%p"
// prints it, the way the console targets show them.
#ifdef _WIN32
inline constexpr char kProgramFile[] = "runtime_tests.exe";
inline constexpr char kThreadIdPattern[] = "[0-9a-fA-F]{8}";
#else
inline constexpr char kProgramFile[] = "runtime_tests";
inline constexpr char kThreadIdPattern[] = "0x[0-9a-f]+";
#endif

// The whole text matches the ECMAScript pattern. (GoogleTest's own regular
// expressions are too simple on Windows for these patterns.)
MATCHER_P(FullyMatches, pattern, std::string("matches ") + std::string(pattern)) {
  return std::regex_match(std::string(arg), std::regex(std::string(pattern)));
}

// Gives the test a logger with its start values and releases it at the end.
class FreshLogger {
 public:
  FreshLogger() {
    // A log call of an earlier test may have created the logger without a
    // reference; the first release resets it.
    AcquireLogger();
    ReleaseLogger();
    AcquireLogger();
  }
  ~FreshLogger() { ReleaseLogger(); }
};

// Records every (level, message) it receives.
class CaptureTarget final : public LogTarget {
 public:
  ~CaptureTarget() override { Retire(); }
  bool Write(const LogRecord& record) override {
    std::lock_guard<std::mutex> lock(lock_);
    lines_.emplace_back(record.level, record.message);
    return true;
  }
  std::vector<std::pair<int, std::string>> lines() const {
    std::lock_guard<std::mutex> lock(lock_);
    return lines_;
  }

 private:
  std::vector<std::pair<int, std::string>> lines_;
};

// Collects what the debugger target sends while it is alive.
class DebuggerCapture {
 public:
  DebuggerCapture() { previous_ = SetDebuggerChannel(&Receive); }
  ~DebuggerCapture() {
    SetDebuggerChannel(previous_);
    Lines().clear();
  }
  const std::vector<std::string>& lines() const { return Lines(); }

 private:
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  static void Receive(const char* text) { Lines().emplace_back(text); }
  DebuggerChannel previous_;
};

}  // namespace Kelp::testing

#endif  // KELP_TESTS_RUNTIME_LOG_TEST_SUPPORT_H_
