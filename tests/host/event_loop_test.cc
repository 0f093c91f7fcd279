#include "host/event_loop.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace Kelp::Host {
namespace {

TEST(EventLoopTest, RunsByDueTimeThenQueueOrderOnTheVirtualClock) {
  EventLoop loop;
  std::vector<std::string> ran;
  auto note = [&](std::string name) {
    return [&ran, &loop, name] { ran.push_back(name + "@" + std::to_string(loop.NowSeconds())); };
  };
  loop.Post("late", 2.0, note("late"));
  loop.Post("first", 1.0, note("first"));
  loop.Post("second", 1.0, note("second"));
  loop.Post("now", 0.0, note("now"));
  loop.Post("negative", -5.0, note("negative"));
  loop.Post("nan", std::nan(""), note("nan"));

  EXPECT_EQ(loop.RunReady(), 3u);
  EXPECT_EQ(loop.Advance(1.5), 2u);
  EXPECT_DOUBLE_EQ(loop.NowSeconds(), 1.5);
  EXPECT_EQ(loop.Advance(0.5), 1u);
  EXPECT_EQ(ran, (std::vector<std::string>{"now@0.000000", "negative@0.000000", "nan@0.000000",
                                           "first@1.000000", "second@1.000000", "late@2.000000"}));
}

TEST(EventLoopTest, TasksQueuedWhileRunning) {
  EventLoop loop;
  std::vector<std::string> ran;
  loop.Post("outer", 0, [&] {
    ran.push_back("outer");
    loop.Post("inner now", 0, [&] { ran.push_back("inner now"); });
    loop.Post("inner later", 1, [&] { ran.push_back("inner later"); });
  });
  loop.Post("sibling", 0, [&] { ran.push_back("sibling"); });

  // One pass runs only what was due when it started.
  EXPECT_EQ(loop.RunReadyOnce(), 2u);
  EXPECT_EQ(ran, (std::vector<std::string>{"outer", "sibling"}));
  EXPECT_EQ(loop.RunReady(), 1u);
  EXPECT_EQ(loop.Advance(-3), 0u);  // the clock never goes back
  EXPECT_EQ(loop.Advance(1), 1u);
  EXPECT_EQ(ran.back(), "inner later");

  // RunReady also runs tasks that running tasks queue for now.
  int chain = 0;
  std::function<void()> step = [&] {
    if (++chain < 3) loop.Post("chain", 0, step);
  };
  loop.Post("chain", 0, step);
  EXPECT_EQ(loop.RunReady(), 3u);
}

TEST(EventLoopTest, DropRemovesOnlyTheTaggedTasks) {
  EventLoop loop;
  int ran = 0;
  loop.Post(
      "plugin", 0, [&] { ran += 1; }, 1);
  loop.Post(
      "host", 0, [&] { ran += 10; }, 0);
  loop.Post(
      "plugin later", 5, [&] { ran += 100; }, 1);
  loop.Post(
      "dropper", 0, [&] { loop.Drop(2); }, 0);
  loop.Post(
      "dropped by the dropper", 0, [&] { ran += 1000; }, 2);
  EXPECT_EQ(loop.Drop(1), 2u);
  ASSERT_EQ(loop.Pending().size(), 3u);
  EXPECT_EQ(loop.Pending()[0].name, "host");
  // A task dropped by an earlier task of the same pass does not run.
  EXPECT_EQ(loop.RunReadyOnce(), 2u);
  loop.Advance(10);
  EXPECT_EQ(ran, 10);
}

}  // namespace
}  // namespace Kelp::Host
