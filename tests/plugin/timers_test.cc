#include "sdk/plugin/timers.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/reference_host.h"
#include "sdk/plugin/load_handshake.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/plugin/scheduled_calls.h"

namespace Kelp {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

constexpr std::int64_t kSecond = 1000000000;

std::int64_t fakeNow = 0;
std::int64_t FakeClock() { return fakeNow; }

class TimerPlugin : public PluginBase {
 public:
  TimerPlugin() { scheduledCalls().SetClock(&FakeClock); }
};

void KELP_CDECL LoadTimerPlugin(PluginLoadRecord* record) {
  LoadHandshake::Run(*new TimerPlugin(), *record, "timers");
}

class TimersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakeNow = 1000 * kSecond;
    ASSERT_TRUE(host.Load().ok());
    ASSERT_TRUE(host.Init());
    plugin = static_cast<TimerPlugin*>(host.context());
  }

  // Runs the `index`th scheduled call now; the host's own clock stays put.
  void Run(std::size_t index) { ASSERT_TRUE(host.FireScheduled(index)); }
  std::vector<std::pair<int, std::string>> Logged() const {
    std::vector<std::pair<int, std::string>> lines;
    for (const Host::LogLine& line : host.logLines()) lines.emplace_back(line.level, line.text);
    return lines;
  }

  Host::ReferenceHost host{&LoadTimerPlugin};
  TimerPlugin* plugin = nullptr;
};

TEST_F(TimersTest, ScheduledCallsGetIdsFromOneAndDelaysThatAreNeverNegative) {
  std::vector<int> ran;
  const struct {
    std::int64_t due;
    double delay;
  } kRows[] = {
      {fakeNow - 5 * kSecond, 0.0},
      {fakeNow, 0.0},
      {fakeNow + kSecond / 2, 0.5},
      {fakeNow + 90 * kSecond, 90.0},
  };
  std::uint64_t expectedId = 1;
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.delay);
    const int index = static_cast<int>(expectedId);
    EXPECT_EQ(plugin->scheduledCalls().Schedule("call", [&ran, index] { ran.push_back(index); },
                                               row.due),
              expectedId++);
    EXPECT_EQ(host.scheduled().back().delaySeconds, row.delay);
    EXPECT_EQ(host.scheduled().back().name, "call");
  }
  EXPECT_EQ(plugin->scheduledCalls().size(), 4u);
  Run(2);
  Run(0);
  EXPECT_THAT(ran, ElementsAre(3, 1));
  EXPECT_EQ(plugin->scheduledCalls().size(), 2u);

  // A timer's fires take ids from the same counter.
  plugin->SetTimer("t", 1.0, [] {});
  EXPECT_EQ(plugin->scheduledCalls().Schedule("next", [] {}, fakeNow), 6u);
}

TEST_F(TimersTest, ACallMayScheduleAnotherAndAThrowingCallReachesTheLogOnly) {
  int inner = 0;
  plugin->scheduledCalls().Schedule(
      "outer", [&] { plugin->scheduledCalls().Schedule("inner", [&] { ++inner; }, fakeNow); },
      fakeNow);
  Run(0);
  ASSERT_EQ(host.scheduled().size(), 2u);
  Run(1);
  EXPECT_EQ(inner, 1);

  plugin->scheduledCalls().Schedule("throws", [] { throw std::runtime_error("boom"); }, fakeNow);
  Run(2);
  EXPECT_EQ(plugin->scheduledCalls().size(), 0u);
  EXPECT_THAT(Logged(), ElementsAre(Pair(2, "scheduled call stopped on an exception: boom")));
}

TEST_F(TimersTest, ATimerRepeatsFromTheStartOfEachCallback) {
  int fires = 0;
  plugin->SetTimer("poll", 2.5, [&] {
    ++fires;
    fakeNow += kSecond;  // the callback takes a second
  });
  ASSERT_EQ(host.scheduled().size(), 1u);
  EXPECT_EQ(host.scheduled()[0].name, "Timer: poll");
  EXPECT_EQ(host.scheduled()[0].delaySeconds, 2.5);
  EXPECT_EQ(plugin->timers().Find("poll")->generation, 1u);

  fakeNow += 5 * kSecond / 2;
  Run(0);
  EXPECT_EQ(fires, 1);
  ASSERT_EQ(host.scheduled().size(), 2u);
  EXPECT_EQ(host.scheduled()[1].delaySeconds, 1.5);
  Run(1);
  EXPECT_EQ(fires, 2);
  EXPECT_EQ(host.scheduled().size(), 3u);
  EXPECT_THAT(Logged(), IsEmpty());
}

TEST_F(TimersTest, SettingATimerAgainEndsTheOldSeries) {
  std::vector<std::string> fired;
  plugin->SetTimer("t", 1.0, [&] { fired.push_back("first"); });
  plugin->SetTimer("t", 2.0, [&] { fired.push_back("second"); });
  EXPECT_EQ(plugin->timers().Find("t")->generation, 2u);
  Run(0);  // armed for generation 1: nothing
  EXPECT_THAT(fired, IsEmpty());
  EXPECT_EQ(host.scheduled().size(), 2u);
  Run(1);
  EXPECT_THAT(fired, ElementsAre("second"));
  ASSERT_EQ(host.scheduled().size(), 3u);
  EXPECT_EQ(host.scheduled()[2].delaySeconds, 2.0);
  EXPECT_THAT(Logged(), IsEmpty());
}

TEST_F(TimersTest, ACallbackThatSetsItsOwnTimerStartsANewSeries) {
  int fires = 0;
  std::function<void()> callback = [&] {
    ++fires;
    plugin->SetTimer("self", 4.0, callback);
  };
  plugin->SetTimer("self", 1.0, callback);
  Run(0);
  EXPECT_EQ(fires, 1);
  // Only the new generation is armed, once, with its own interval.
  ASSERT_EQ(host.scheduled().size(), 2u);
  EXPECT_EQ(host.scheduled()[1].delaySeconds, 4.0);
  EXPECT_EQ(plugin->timers().Find("self")->generation, 2u);
  Run(1);
  EXPECT_EQ(fires, 2);
  EXPECT_EQ(host.scheduled().size(), 3u);
}

TEST_F(TimersTest, AFireForAMissingTimerWarns) {
  int fires = 0;
  plugin->SetTimer("gone", 1.0, [&] { ++fires; });
  plugin->CancelTimer("gone");
  plugin->CancelTimer("never-set");
  Run(0);
  EXPECT_EQ(fires, 0);
  EXPECT_EQ(host.scheduled().size(), 1u);

  // Cancelled and set again under the same name: the old series' fire
  // finds the new timer but not its own series, and runs nothing.
  plugin->SetTimer("again", 10.0, [&] { fires += 100; });
  plugin->CancelTimer("again");
  plugin->SetTimer("again", 10.0, [&] { ++fires; });
  Run(1);
  EXPECT_EQ(fires, 0);
  EXPECT_EQ(host.scheduled().size(), 3u);
  Run(2);
  EXPECT_EQ(fires, 1);

  // Shutdown empties the table the same way.
  fires = 0;
  plugin->SetTimer("late", 1.0, [&] { ++fires; });
  plugin->Shutdown();
  Run(host.scheduled().size() - 1);
  EXPECT_EQ(fires, 0);
  EXPECT_THAT(Logged(), ElementsAre(Pair(1, "timers: Couldn't find timer named gone"),
                                       Pair(1, "timers: Couldn't find timer named late")));
}

TEST_F(TimersTest, HugeAndNegativeIntervalsDoNotOverflow) {
  const struct {
    double interval;
    double delay;
  } kRows[] = {{-3.0, 0.0}, {1e300, 9223372036854775807.0 * 1e-9 - 1000.0}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.interval);
    plugin->SetTimer("t", row.interval, [] {});
    EXPECT_GE(host.scheduled().back().delaySeconds, 0.0);
    EXPECT_NEAR(host.scheduled().back().delaySeconds, row.delay, 1.0);
  }
}

}  // namespace
}  // namespace Kelp
