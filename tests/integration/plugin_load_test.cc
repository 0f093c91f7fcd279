// The built plugin library, loaded and driven through the reference host the
// way the game client's plugin host does it.
#include <string>
#include <string_view>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#if defined(__i386__) && !defined(_WIN32)
#include <sys/utsname.h>
#endif

#include "host/descriptor_summary.h"
#include "host/plugin_library.h"
#include "host/reference_host.h"

namespace Kelp::Host {
namespace {

using ::testing::IsEmpty;

// Death tests run the statement in a fresh run of this binary. The 32-bit
// build may run under user-mode emulation (a kernel without 32-bit support,
// where the machine reads i686), which cannot start the binary again: there
// the child is only forked.
const char* DeathTestStyle() {
#if defined(__i386__) && !defined(_WIN32)
  utsname name{};
  if (uname(&name) == 0 && std::string_view(name.machine) != "x86_64") return "fast";
#endif
  return "threadsafe";
}

class PluginLoadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.ok()) << library_.error(); }

  PluginLibrary library_{KELP_PLUGIN_PATH};
};

TEST_F(PluginLoadTest, AcceptsHostsOfTheSameMajorThatAreNotOlder) {
  const struct {
    std::uint32_t major, minor, patch;
  } kRows[] = {{18, 0, 0}, {18, 0, 5}, {18, 3, 0}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::to_string(row.major) + "." + std::to_string(row.minor) + "." +
                 std::to_string(row.patch));
    ReferenceHost host(library_.entry());
    ASSERT_TRUE(host.Load(row.major, row.minor, row.patch).ok());
    const PluginLoadRecord& record = host.loadRecord();
    EXPECT_EQ(record.major, 18u);
    EXPECT_EQ(record.minor, 0u);
    EXPECT_EQ(record.patch, 0u);
    EXPECT_NE(record.entryTable, nullptr);
    EXPECT_NE(record.context, nullptr);
    EXPECT_EQ(host.name(), "tav-premade-voice");
    ASSERT_NE(record.apiDescriptor, nullptr);
    EXPECT_THAT(SummarizeDescriptor(record.apiDescriptor).problems, IsEmpty());
    host.Shutdown();
    EXPECT_THAT(host.problems(), IsEmpty());
  }
}

TEST_F(PluginLoadTest, RefusesOtherMajorsAndOlderHostsByEndingTheProcess) {
  GTEST_FLAG_SET(death_test_style, DeathTestStyle());
  const struct { std::uint32_t major, minor, patch; } kRows[] = {{17, 9, 9}, {19, 0, 0}, {0, 0, 0}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(std::to_string(row.major) + "." + std::to_string(row.minor) + "." +
                 std::to_string(row.patch));
    EXPECT_DEATH(
        {
          ReferenceHost host(library_.entry());
          (void)host.Load(row.major, row.minor, row.patch);
        },
        "ALE-EECF0606");
  }
}

TEST_F(PluginLoadTest, NullLoadRecordIsIgnored) { library_.entry()(nullptr); }

TEST_F(PluginLoadTest, InitStartsThePluginAndShutdownReleasesEverySubscription) {
  ReferenceHost host(library_.entry());
  ASSERT_TRUE(host.Load().ok());
  ASSERT_TRUE(host.Init(42));
  host.RunReady();
  const std::vector<Subscription> subscribed = host.Subscriptions();
  for (const char* channel :
       {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"}) {
    const std::vector<Subscription> proxy = host.SubscribersOf(channel);
    ASSERT_EQ(proxy.size(), 1u) << channel;
    EXPECT_EQ(proxy[0].flags, 1u) << channel;
  }
  for (const Subscription& subscription : subscribed) {
    EXPECT_EQ(subscription.hostHandle, 42u) << subscription.channel;
    EXPECT_EQ(subscription.context, host.context()) << subscription.channel;
  }

  const std::size_t callsBefore = host.calls().size();
  host.Shutdown();
  EXPECT_THAT(host.Subscriptions(), IsEmpty());
  std::vector<std::string> unsubscribed;
  for (std::size_t i = callsBefore; i < host.calls().size(); ++i) {
    if (host.calls()[i].slot == "unsubscribe") unsubscribed.push_back(host.calls()[i].arguments);
  }
  std::vector<std::string> expected;
  for (const Subscription& subscription : subscribed) {
    expected.push_back(HostValue(subscription.channel).ToJson() + " handle=42");
  }
  EXPECT_THAT(unsubscribed, ::testing::UnorderedElementsAreArray(expected));
  EXPECT_THAT(host.problems(), IsEmpty());
}

TEST_F(PluginLoadTest, ReportsPlausibleMemoryStatistics) {
  ReferenceHost host(library_.entry());
  ASSERT_TRUE(host.Load().ok());
  ASSERT_TRUE(host.Init());
  const auto stats = host.GetMemoryStats();
  ASSERT_TRUE(stats.has_value());
  EXPECT_EQ(stats->reserved, 0u);
  EXPECT_GT(stats->allocationCount, 0u);
  EXPECT_GT(stats->bytesAllocated, 0u);
  EXPECT_LE(stats->freeCount, stats->allocationCount);
  EXPECT_LE(stats->bytesFreed, stats->bytesAllocated);
  EXPECT_GE(stats->peakBytesInUse, stats->bytesAllocated - stats->bytesFreed);
  EXPECT_LE(stats->peakBytesInUse, stats->bytesAllocated);
  EXPECT_LE(stats->allocationsAtPeak, stats->allocationCount);

  // A null buffer is ignored.
  host.entryTable()->getMemoryStats(host.context(), nullptr);
}

}  // namespace
}  // namespace Kelp::Host
