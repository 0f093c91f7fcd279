#include "sdk/runtime/plugin_log_target.h"

#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sdk/runtime/logger.h"
#include "tests/runtime/log_test_support.h"

namespace Kelp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

// A host function table whose log slot records what arrives.
struct FakeHost {
  HostFunctionTable table{};
  std::vector<std::pair<int, std::string>> logged;

  FakeHost() { table.log = &Log; }
  static void KELP_CDECL Log(const HostFunctionTable* self, std::int32_t level,
                             const char* message) {
    // The table is the first member.
    reinterpret_cast<FakeHost*>(const_cast<HostFunctionTable*>(self))
        ->logged.emplace_back(level, message);
  }
};

TEST(PluginLogTargetTest, AfterInstallationMessagesGoToTheHostOnly) {
  testing::FreshLogger logger;
  testing::DebuggerCapture debugger;
  FakeHost host;
  std::unique_ptr<PluginLogTarget> target;
  InstallPluginLogTarget(&host.table, target);
  ASSERT_NE(target, nullptr);

  ::testing::internal::CaptureStderr();
  Log(LogLevel::Always, kLogDbg, "Joined channel %s", "party-1");
  Log(LogLevel::Okay, kLogGen, "general");
  Log(LogLevel::Always, kLogXtr, "extra");
  Log(LogLevel::Error, kLogXtr | kLogDbg, "extra too");
  Log(LogLevel::Warn, 0, "%s", "100% raw");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_THAT(debugger.lines(), IsEmpty());
  EXPECT_THAT(host.logged, ElementsAre(Pair(3, "Joined channel party-1"), Pair(0, "general"),
                                       Pair(1, "100% raw")));
  EXPECT_EQ(FindLogTarget("PluginLogTarget"), target->Interface());
  EXPECT_EQ(target->minimumLevel(), 0);
  EXPECT_STREQ(target->FormatText(), "#D| #L| #G| #M");
}

TEST(PluginLogTargetTest, ASecondInstallationKeepsTheFirstTarget) {
  testing::FreshLogger logger;
  FakeHost first;
  FakeHost second;
  std::unique_ptr<PluginLogTarget> firstTarget;
  std::unique_ptr<PluginLogTarget> secondTarget;
  InstallPluginLogTarget(&first.table, firstTarget);
  InstallPluginLogTarget(&second.table, secondTarget);
  EXPECT_EQ(secondTarget, nullptr);
  Log(LogLevel::Error, kLogDbg, "once");
  EXPECT_EQ(first.logged.size(), 1u);
  EXPECT_THAT(second.logged, IsEmpty());

  // Once the first target is gone, installing again replaces the holder's
  // target.
  firstTarget.reset();
  Log(LogLevel::Error, kLogDbg, "nowhere");
  InstallPluginLogTarget(&second.table, secondTarget);
  Log(LogLevel::Error, kLogDbg, "second");
  EXPECT_THAT(second.logged, ElementsAre(Pair(2, "second")));
  EXPECT_EQ(first.logged.size(), 1u);
}

}  // namespace
}  // namespace Kelp
