#include "sdk/runtime/platform.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace Kelp {
namespace {

TEST(PlatformTest, ClockCountsNanosecondsFromItsFirstReading) {
  const std::int64_t sinceFirst = NanosecondsSinceFirstClockUse();
  EXPECT_GE(sinceFirst, 0);
  const std::int64_t before = MonotonicNanoseconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::int64_t after = MonotonicNanoseconds();
  // A wrong scale (ticks taken for nanoseconds, or microseconds) misses this
  // window by a factor of a thousand at least.
  EXPECT_GE(after - before, 40'000'000);
  EXPECT_LT(after - before, 10'000'000'000);
  EXPECT_GE(NanosecondsSinceFirstClockUse(), sinceFirst + (after - before));
}

// Seconds between two local calendar times, through the C library.
double SecondsBetween(const std::tm& earlier, const CalendarTime& later) {
  std::tm converted{};
  converted.tm_year = later.year - 1900;
  converted.tm_mon = later.month - 1;
  converted.tm_mday = later.day;
  converted.tm_hour = later.hour;
  converted.tm_min = later.minute;
  converted.tm_sec = later.second;
  converted.tm_isdst = earlier.tm_isdst;
  std::tm copy = earlier;
  return std::difftime(std::mktime(&converted), std::mktime(&copy));
}

TEST(PlatformTest, LocalTimeAgreesWithTheCLibrary) {
  const std::time_t now = std::time(nullptr);
  const std::tm expected = *std::localtime(&now);
  const CalendarTime local = CurrentLocalTime();
  EXPECT_GE(local.month, 1);
  EXPECT_LE(local.month, 12);
  EXPECT_GE(local.day, 1);
  EXPECT_LE(local.day, 31);
  EXPECT_GE(local.millisecond, 0);
  EXPECT_LE(local.millisecond, 999);
  const double apart = SecondsBetween(expected, local);
  EXPECT_GE(apart, 0.0);
  EXPECT_LE(apart, 2.0);
}

TEST(PlatformTest, ThreadIdsAreStablePerThreadAndDistinctAcrossThreads) {
  const std::uintptr_t mine = CurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(CurrentThreadId(), mine);
  std::uintptr_t other = 0;
  std::thread([&other] { other = CurrentThreadId(); }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, mine);
}

TEST(PlatformTest, ExecutablePathNamesThisTestProgramAndIsCutToTheBuffer) {
  char full[4096];
  ASSERT_TRUE(ReadExecutablePath(full, sizeof full));
  const std::string_view path(full);
  const std::string_view name = path.substr(path.rfind(kPathSeparator) + 1);
  EXPECT_EQ(name.substr(0, std::strlen("runtime_tests")), "runtime_tests") << path;

  for (const std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{8}, path.size(),
                                 path.size() + 1}) {
    SCOPED_TRACE(size);
    std::vector<char> buffer(size + 1, '#');
    ASSERT_TRUE(ReadExecutablePath(buffer.data(), size));
    const std::size_t kept = size - 1 < path.size() ? size - 1 : path.size();
    EXPECT_EQ(std::string_view(buffer.data()), path.substr(0, kept));
    EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
  }
}

std::vector<std::string>* debuggerLines = nullptr;

TEST(PlatformTest, DebuggerOutputReachesTheInstalledChannelOnly) {
  std::vector<std::string> lines;
  debuggerLines = &lines;
  const DebuggerChannel previous =
      SetDebuggerChannel([](const char* text) { debuggerLines->emplace_back(text); });
  WriteDebuggerOutput("first line\n");
  EXPECT_NE(SetDebuggerChannel(nullptr), nullptr);
  WriteDebuggerOutput("nobody hears this\n");
  SetDebuggerChannel(previous);
  EXPECT_EQ(lines, std::vector<std::string>{"first line\n"});
  debuggerLines = nullptr;
}

}  // namespace
}  // namespace Kelp
