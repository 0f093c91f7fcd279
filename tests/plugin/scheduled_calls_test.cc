// Scheduled calls as a host that is less careful than the reference host's
// defaults drives them: calls fired twice, and fires after shutdown.
#include "sdk/plugin/scheduled_calls.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "sdk/plugin/load_handshake.h"
#include "sdk/plugin/plugin_base.h"
#include "tests/runtime/log_test_support.h"

namespace Kelp {
namespace {

using Host::HostOptions;
using Host::ReferenceHost;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

int runs = 0;

class SchedulingPlugin : public PluginBase {
 public:
  bool Start() override {
    scheduledCalls().Schedule("once", [] { ++runs; }, scheduledCalls().Now());
    SetTimer("late", 1.0, [] { ++runs; });
    return true;
  }
};

void KELP_CDECL LoadSchedulingPlugin(PluginLoadRecord* record) {
  LoadHandshake::Run(*new SchedulingPlugin(), *record, "sched");
}

class ScheduledCallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runs = 0;
    capture.Register();
    ASSERT_TRUE(host.Load().ok());
    ASSERT_TRUE(host.Init());
  }
  std::vector<std::string> Warnings() const {
    std::vector<std::string> texts;
    for (const auto& [level, text] : capture.lines()) {
      if (level == 1) texts.push_back(text);
    }
    return texts;
  }

  testing::FreshLogger logger;
  testing::CaptureTarget capture;
  ReferenceHost host{&LoadSchedulingPlugin, HostOptions{.keepScheduledAfterShutdown = true}};
};

TEST_F(ScheduledCallsTest, ACallFiredTwiceRunsOnceAndWarns) {
  host.RunReady();
  EXPECT_EQ(runs, 1);
  ASSERT_TRUE(host.FireScheduled(0));
  EXPECT_EQ(runs, 1);
  ASSERT_EQ(Warnings().size(), 1u);
  EXPECT_THAT(Warnings()[0], HasSubstr("Couldn't find scheduled call"));
  EXPECT_EQ(static_cast<PluginBase*>(host.context())->scheduledCalls().size(), 1u);
}

TEST_F(ScheduledCallsTest, FiresAfterShutdownFindNoTimerAndRunNothing) {
  host.Shutdown();
  // The plugin object is gone; its calls still reach the trampoline.
  host.AdvanceClock(2.0);
  EXPECT_EQ(runs, 0);
  EXPECT_THAT(Warnings(), ElementsAre(HasSubstr("Couldn't find scheduled call"),
                                      "sched: Couldn't find timer named late"));
  // A repeated late fire no longer finds even the warning's entry.
  ASSERT_TRUE(host.FireScheduled(1));
  ASSERT_EQ(Warnings().size(), 3u);
  EXPECT_THAT(Warnings()[2], HasSubstr("Couldn't find scheduled call"));
}

}  // namespace
}  // namespace Kelp
