#include "sdk/runtime/plugin_log_target.h"

#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "sdk/runtime/logger.h"
#include "tests/runtime/log_test_support.h"

namespace Kelp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

// The reference host without a plugin: its log slot records what arrives.
class LogHost {
 public:
  const HostFunctionTable* table() const { return host_.functions(); }
  std::vector<std::pair<int, std::string>> logged() const {
    std::vector<std::pair<int, std::string>> lines;
    for (const Host::LogLine& line : host_.logLines()) lines.emplace_back(line.level, line.text);
    return lines;
  }

 private:
  Host::ReferenceHost host_{nullptr};
};

TEST(PluginLogTargetTest, AfterInstallationMessagesGoToTheHostOnly) {
  testing::FreshLogger logger;
  testing::DebuggerCapture debugger;
  LogHost host;
  std::unique_ptr<PluginLogTarget> target;
  InstallPluginLogTarget(host.table(), target);
  ASSERT_NE(target, nullptr);

  ::testing::internal::CaptureStderr();
  Log(LogLevel::Always, kLogDbg, "Joined channel %s", "party-1");
  Log(LogLevel::Okay, kLogGen, "general");
  Log(LogLevel::Always, kLogXtr, "extra");
  Log(LogLevel::Error, kLogXtr | kLogDbg, "extra too");
  Log(LogLevel::Warn, 0, "%s", "100% raw");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_THAT(debugger.lines(), IsEmpty());
  EXPECT_THAT(host.logged(), ElementsAre(Pair(3, "Joined channel party-1"), Pair(0, "general"),
                                       Pair(1, "100% raw")));
  EXPECT_EQ(FindLogTarget("PluginLogTarget"), target->Interface());
  EXPECT_EQ(target->minimumLevel(), 0);
  EXPECT_STREQ(target->FormatText(), "#D| #L| #G| #M");
}

TEST(PluginLogTargetTest, ASecondInstallationKeepsTheFirstTarget) {
  testing::FreshLogger logger;
  LogHost first;
  LogHost second;
  std::unique_ptr<PluginLogTarget> firstTarget;
  std::unique_ptr<PluginLogTarget> secondTarget;
  InstallPluginLogTarget(first.table(), firstTarget);
  InstallPluginLogTarget(second.table(), secondTarget);
  EXPECT_EQ(secondTarget, nullptr);
  Log(LogLevel::Error, kLogDbg, "once");
  EXPECT_EQ(first.logged().size(), 1u);
  EXPECT_THAT(second.logged(), IsEmpty());

  // Once the first target is gone, installing again replaces the holder's
  // target.
  firstTarget.reset();
  Log(LogLevel::Error, kLogDbg, "nowhere");
  InstallPluginLogTarget(second.table(), secondTarget);
  Log(LogLevel::Error, kLogDbg, "second");
  EXPECT_THAT(second.logged(), ElementsAre(Pair(2, "second")));
  EXPECT_EQ(first.logged().size(), 1u);
}

}  // namespace
}  // namespace Kelp
