#include "sdk/runtime/logger.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sdk/runtime/log_categories.h"
#include "sdk/runtime/logging_api.h"
#include "tests/runtime/log_test_support.h"

namespace Kelp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using testing::CaptureTarget;
using testing::DebuggerCapture;
using testing::FreshLogger;

TEST(LoggerTest, ConsoleTargetsBeforePluginInitialisation) {
  FreshLogger logger;
  DebuggerCapture debugger;
  ::testing::internal::CaptureStderr();
  Log(LogLevel::Always, kLogDbg, "joined %s", "channel-1");
  Log(LogLevel::Always, kLogGen, "general");
  Log(LogLevel::Okay, kLogDbg, "below the minimum level");
  Log(LogLevel::Error, kLogXtr | kLogDbg, "extra");
  const std::string written = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(written, testing::FullyMatches(std::string(testing::kProgramFile) + "\\(" +
                                             testing::kThreadIdPattern +
                                             "\\): ALWAYS\\| joined channel-1\n"));
  EXPECT_THAT(debugger.lines(), ElementsAre(written));
}

TEST(LoggerTest, TargetFilters) {
  const std::uint64_t kOther = LogCategoryMask("FLT");
  const struct {
    const char* name;
    std::int32_t level;
    std::uint64_t categories;
    std::int32_t minimumLevel;
    std::uint64_t included;
    std::uint64_t excluded;
    bool accepted;
  } kRows[] = {
      {"level below minimum", 0, kLogDbg, 1, 0, 0, false},
      {"level at minimum", 1, kLogDbg, 1, 0, 0, true},
      {"no filter", 3, kLogDbg | kOther, 0, 0, 0, true},
      {"included bit", 3, kLogDbg | kOther, 0, kOther, 0, true},
      {"no included bit", 3, kLogDbg, 0, kOther, 0, false},
      {"excluded bit wins", 3, kLogDbg | kOther, 0, kLogDbg, kOther, false},
      {"included minus excluded", 3, kLogDbg, 0, kLogDbg, kLogDbg, false},
      {"mask 0 passes categories", 3, 0, 0, kOther, kOther, true},
      {"mask 0 still obeys level", 0, 0, 1, 0, 0, false},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    CaptureTarget target;
    target.SetMinimumLevel(row.minimumLevel);
    target.SetCategories(row.included, row.excluded);
    EXPECT_EQ(target.Accepts(row.level, row.categories), row.accepted);
  }
  CaptureTarget target;
  target.SetCategories(kLogDbg | kOther, kOther);
  EXPECT_EQ(target.includedCategories(), kLogDbg);
  EXPECT_EQ(target.excludedCategories(), kOther);
}

TEST(LoggerTest, GlobalFilterAndCounters) {
  FreshLogger logger;
  CaptureTarget target;
  target.SetMinimumLevel(0);
  target.SetCategories(kLogTst, 0);
  target.Register();

  Log(LogLevel::Okay, kLogTst, "dropped: below WARN");
  Log(LogLevel::Warn, kLogTst | kLogXtr, "dropped: XTR");
  Log(LogLevel::Warn, kLogTst, "w%d", 1);
  SetLogMinimumLevel(0);
  SetLogExcludedCategories(0);
  Log(LogLevel::Okay, kLogTst | kLogXtr, "xtr");
  DisableLogging();
  Log(LogLevel::Error, kLogTst, "dropped: disabled");
  EnableLogging();
  Log(LogLevel::Error, kLogTst, "e");
  ::testing::internal::CaptureStderr();  // a message without categories reaches StdErr too
  Log(LogLevel::Error, 0, "no category");
  EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
  EXPECT_THAT(target.lines(), ElementsAre(Pair(1, "w1"), Pair(0, "xtr"), Pair(2, "e"),
                                          Pair(2, "no category")));
  EXPECT_EQ(LogWarningCount(), 1u);
  EXPECT_EQ(LogErrorCount(), 2u);
}

TEST(LoggerTest, OutsideTextIsNeverAFormat) {
  FreshLogger logger;
  CaptureTarget target;
  target.Register();
  const char* outside = "100%s %n %d";
  Log(LogLevel::Error, kLogTst, "%s", outside);
  EXPECT_THAT(target.lines(), ElementsAre(Pair(2, outside)));
}

TEST(LoggerTest, TheTableTakesTheMaskAsTwoWords) {
  FreshLogger logger;
  const std::uint64_t kHigh = std::uint64_t{1} << 40;
  CaptureTarget high;
  high.SetCategories(kHigh, 0);
  high.Register();
  CaptureTarget low;
  low.SetCategories(kLogTst, 0);
  low.Register();
  GetLoggingApi()->log(2, 0, 1u << 8, "high %d", 40);
  GetLoggingApi()->log(2, static_cast<std::uint32_t>(kLogTst), 0, "low %d", 7);
  GetLoggingApi()->log(2, static_cast<std::uint32_t>(kLogTst | kLogXtr), 0, "dropped");
  EXPECT_THAT(high.lines(), ElementsAre(Pair(2, "high 40")));
  EXPECT_THAT(low.lines(), ElementsAre(Pair(2, "low 7")));
}

TEST(LoggerTest, LongMessagesAreCut) {
  FreshLogger logger;
  CaptureTarget target;
  target.Register();
  const std::string text(5000, 'm');
  Log(LogLevel::Error, kLogTst, "%s", text.c_str());
  ASSERT_EQ(target.lines().size(), 1u);
  EXPECT_EQ(target.lines()[0].second, text.substr(0, kLogBufferSize - 1));
}

TEST(LoggerTest, TargetList) {
  FreshLogger logger;
  const LoggingApi& api = *GetLoggingApi();
  CaptureTarget first;
  CaptureTarget second;
  first.Register();
  first.Register();
  EXPECT_TRUE(first.registered());
  Log(LogLevel::Error, kLogTst, "once");
  EXPECT_EQ(first.lines().size(), 1u);

  // The list API ignores the flag: a target appended twice writes twice.
  api.appendTarget(second.Interface());
  api.appendTarget(second.Interface());
  Log(LogLevel::Error, kLogTst, "twice");
  EXPECT_EQ(second.lines().size(), 2u);
  api.removeTarget(second.Interface());
  Log(LogLevel::Error, kLogTst, "gone");
  EXPECT_EQ(second.lines().size(), 2u);

  // Found in list order: the StdErr target comes first.
  EXPECT_EQ(api.findTarget("StdErrLogTarget"), api.stdErrTarget());
  EXPECT_EQ(api.findTarget("DebuggerConsoleLogTarget"), api.debuggerTarget());
  EXPECT_EQ(api.findTarget("LogTarget"), first.Interface());
  EXPECT_EQ(api.findTarget("StdOutLogTarget"), nullptr);
  EXPECT_EQ(api.findTarget("StdErr"), nullptr);

  first.Detach();
  EXPECT_FALSE(first.registered());
  EXPECT_EQ(api.findTarget("LogTarget"), nullptr);
}

TEST(LoggerTest, TargetInterfaceReachesTheTarget) {
  FreshLogger logger;
  CaptureTarget target;
  LogTargetInterface* interface = target.Interface();
  EXPECT_EQ(interface->version(interface), 1);
  interface->setCategories(interface, kLogTst | kLogDbg, kLogDbg);
  EXPECT_EQ(interface->includedCategories(interface), kLogTst);
  interface->setMinimumLevel(interface, 2);
  EXPECT_EQ(interface->minimumLevel(interface), 2);
  EXPECT_STREQ(interface->typeName(interface), "LogTarget");
  EXPECT_STREQ(interface->format(interface), "#D| #L| #G| #M");
  interface->registerTarget(interface);
  EXPECT_TRUE(interface->isRegistered(interface));
  const LogRecord record{{}, 3, kLogTst, "direct"};
  EXPECT_TRUE(interface->write(interface, &record));
  interface->unregisterTarget(interface);
  EXPECT_FALSE(interface->isRegistered(interface));
  EXPECT_THAT(target.lines(), ElementsAre(Pair(3, "direct")));
}

TEST(LoggerTest, LastReleaseResetsTheLogger) {
  CaptureTarget target;
  {
    FreshLogger logger;
    target.Register();
    SetLogMinimumLevel(0);
    SetLogExcludedCategories(0);
    StdOutLogTargetInterface()->registerTarget(StdOutLogTargetInterface());
  }
  EXPECT_FALSE(target.registered());
  EXPECT_FALSE(StdOutLogTargetInterface()->isRegistered(StdOutLogTargetInterface()));
  AcquireLogger();
  EXPECT_EQ(LogMinimumLevel(), 1);
  EXPECT_EQ(LogExcludedCategories(), kLogXtr);
  EXPECT_TRUE(StdErrLogTargetInterface()->isRegistered(StdErrLogTargetInterface()));
  EXPECT_TRUE(DebuggerLogTargetInterface()->isRegistered(DebuggerLogTargetInterface()));
  EXPECT_EQ(FindLogTarget("LogTarget"), nullptr);
  ReleaseLogger();
  ReleaseLogger();  // one too many: ignored
  AcquireLogger();
  EXPECT_TRUE(StdErrLogTargetInterface()->isRegistered(StdErrLogTargetInterface()));
  ReleaseLogger();
}

TEST(LoggerTest, ADestroyedTargetLeavesTheList) {
  FreshLogger logger;
  {
    CaptureTarget target;
    GetLoggingApi()->appendTarget(target.Interface());
  }
  Log(LogLevel::Error, kLogTst, "no target left to write to");
  EXPECT_EQ(FindLogTarget("LogTarget"), nullptr);
}

// Reconfiguring a target takes its lock and registers it with the logger,
// while a writing thread holds the logger's lock and takes the target's. The
// two must not wait for each other.
TEST(LoggerTest, ReconfiguringWhileAnotherThreadLogsDoesNotDeadlock) {
  FreshLogger logger;
  CaptureTarget target;
  target.Configure(0, kLogTst, 0, "#M");
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop.load(); ++i) Log(LogLevel::Error, kLogTst, "line %d", i);
  });
  while (target.lines().empty()) std::this_thread::yield();
  auto reconfigure = std::async(std::launch::async, [&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
      target.Configure(i % 3, kLogTst, i % 2 == 0 ? 0 : kLogXtr, i % 2 == 0 ? "#M" : "#L #M");
      if (i % 5 == 0) target.Detach();
    }
    target.Configure(0, kLogTst, 0, "#M");
  });
  if (reconfigure.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    std::fprintf(stderr, "reconfiguring a target deadlocked with a writing thread\n");
    std::abort();
  }
  const std::size_t before = target.lines().size();
  while (target.lines().size() == before) std::this_thread::yield();
  stop = true;
  writer.join();
  EXPECT_GT(target.lines().size(), before);
}

}  // namespace
}  // namespace Kelp
