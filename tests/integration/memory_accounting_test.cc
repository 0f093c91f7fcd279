// The plugin's heap over a whole session, each run in a child process that
// loads the library afresh: after shutdown nothing the plugin allocated is
// still in use, and (in builds with allocation faults) a session in which any
// one allocation fails ends without a crash, says so, and leaks nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <ranges>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "host/plugin_library.h"
#include "host/reference_host.h"
#include "host/standins/client_world.h"
#include "sdk/plugin/abi.h"

namespace Kelp::Host {
namespace {

// What a session left behind, as a child reports it.
struct SessionOutcome {
  bool loaded = false;   // the load succeeded
  bool started = false;  // loaded and initialised
  std::string failures;  // error answers and warning or error lines, one per line
  std::string digest;    // what the user saw: publications and the GET's answer
  std::uint64_t allocations = 0;
  std::int64_t bytesInUse = 0;  // after shutdown; negative when more was freed than allocated
  std::string problem;          // the first breach of the host's contract

  std::string Serialize() const {
    return std::to_string(loaded) + '\x1f' + std::to_string(started) + '\x1f' + failures + '\x1f' +
           digest + '\x1f' + std::to_string(allocations) + '\x1f' + std::to_string(bytesInUse) +
           '\x1f' + problem;
  }
  static std::optional<SessionOutcome> Parse(const std::string& text) {
    std::vector<std::string> fields;
    for (const auto field : std::views::split(text, '\x1f')) {
      fields.emplace_back(field.begin(), field.end());
    }
    if (fields.size() != 7) return std::nullopt;
    SessionOutcome outcome;
    outcome.loaded = fields[0] == "1";
    outcome.started = fields[1] == "1";
    outcome.failures = fields[2];
    outcome.digest = fields[3];
    outcome.allocations = std::stoull(fields[4]);
    outcome.bytesInUse = std::stoll(fields[5]);
    outcome.problem = fields[6];
    return outcome;
  }
};

using ReadStatsFunction = void(KELP_CDECL*)(void* plugin, MemoryStats* stats);

// The library's counters: how many allocations it made and the bytes still
// in use.
void ReadCounters(ReadStatsFunction readStats, SessionOutcome& outcome) {
  MemoryStats stats{};
  readStats(nullptr, &stats);
  outcome.allocations = stats.allocationCount;
  outcome.bytesInUse = static_cast<std::int64_t>(stats.bytesAllocated - stats.bytesFreed);
}

// A load that failed leaves no entry table to read the counters through. A
// second plugin of the same library, loaded and shut down at once, lends its
// own; a load and a shutdown leave nothing in use, so what the counters hold
// afterwards is the failed load's.
void ReadCountersAfterFailedLoad(PluginLoadFunction entry, SessionOutcome& outcome) {
  ReferenceHost host(entry);
  if (const HostOutcome load = host.Load(); !load.ok()) {
    outcome.problem = "a second load failed too: " + load.error;
    return;
  }
  const ReadStatsFunction readStats = host.entryTable()->getMemoryStats;
  host.Shutdown();
  ReadCounters(readStats, outcome);
}

// Load, init, sign-in, a party with a member in the channel who speaks (a
// sessions event), a settings write and a GET through invoke, shutdown.
SessionOutcome PlaySession() {
  SessionOutcome outcome;
  PluginLibrary library(KELP_PLUGIN_PATH);
  if (!library.ok()) {
    outcome.problem = library.error();
    return outcome;
  }
  // The host still calls back what was due after shutdown (a timer armed
  // then finds the plugin gone), so that nothing waits on it for good.
  HostOptions options;
  options.keepScheduledAfterShutdown = true;
  ReferenceHost host(library.entry(), options);
  ClientWorld world(host);
  if (const HostOutcome load = host.Load(); !load.ok()) {
    outcome.failures = load.error;
    ReadCountersAfterFailedLoad(library.entry(), outcome);
    return outcome;
  }
  outcome.loaded = true;
  // The function stays valid after shutdown: it reads the library's counters.
  const auto readStats = host.entryTable()->getMemoryStats;
  outcome.started = host.Init();
  if (outcome.started) {
    world.SignIn();
    world.FormParty(3);
    world.JoinVoice(1);
    world.Speak(1, 40);
    InboundRequest write;
    write.method = HTTP_METHOD_PUT;
    write.path = "/tav-premade-voice/v1/self/micLevel";
    write.body = "30";
    InboundRequest read;
    read.path = "/tav-premade-voice/v1/participants";
    for (const InboundRequest* request : {&write, &read}) {
      const InvokeResult result = host.Invoke(*request);
      if (result.failed) outcome.failures += result.error + '\n';
      outcome.digest += result.value.ToJson() + '\n';
      world.Settle();
    }
  }
  host.Shutdown();
  host.AdvanceClock(3600);
  for (const LogLine& line : host.logLines()) {
    if (line.level == 1 || line.level == 2) outcome.failures += line.text + '\n';
  }
  for (const PublishedEvent& event : host.published()) {
    outcome.digest += event.name + ' ' + event.payload.ToJson() + '\n';
  }
  if (!host.problems().empty()) outcome.problem = host.problems().front();
  ReadCounters(readStats, outcome);
  return outcome;
}

// Runs PlaySession in a child with KELP_FAIL_ALLOCATION set to `failing`
// (0: none). The library reads the variable at its first allocation, which
// happens only in the child; this process's own heap read it long before.
// `crash` tells how the child ended when it did not report.
struct ChildRun {
  SessionOutcome outcome;
  std::string crash;
};

ChildRun PlayInChild(std::uint64_t failing) {
  ChildRun run;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    run.crash = "no pipe";
    return run;
  }
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    if (failing != 0) setenv("KELP_FAIL_ALLOCATION", std::to_string(failing).c_str(), 1);
    const std::string report = PlaySession().Serialize();
    for (std::size_t sent = 0; sent < report.size();) {
      const ssize_t n = write(pipeEnds[1], report.data() + sent, report.size() - sent);
      if (n <= 0) _exit(3);
      sent += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(pipeEnds[1]);
  std::string report;
  char buffer[4096];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    run.crash = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                    : "exit " + std::to_string(WEXITSTATUS(status));
    return run;
  }
  const std::optional<SessionOutcome> outcome = SessionOutcome::Parse(report);
  if (!outcome) {
    run.crash = "unreadable report: " + report;
    return run;
  }
  run.outcome = *outcome;
  return run;
}

TEST(MemoryAccountingTest, ASessionLeavesNothingInUseAfterShutdown) {
  const ChildRun run = PlayInChild(0);
  ASSERT_EQ(run.crash, "");
  EXPECT_TRUE(run.outcome.loaded);
  EXPECT_TRUE(run.outcome.started);
  EXPECT_EQ(run.outcome.problem, "");
  EXPECT_GT(run.outcome.allocations, 0u);
  EXPECT_EQ(run.outcome.bytesInUse, 0);
}

#ifdef KELP_ALLOCATION_FAULTS
// Fails each allocation of the session in turn: the session goes on or stops,
// but it says so (or nothing the user sees changed), breaks no host rule and
// leaves nothing allocated.
TEST(MemoryAccountingTest, EveryAllocationOfASessionMayFail) {
  const ChildRun clean = PlayInChild(0);
  ASSERT_EQ(clean.crash, "");
  const std::uint64_t count = clean.outcome.allocations;
  ASSERT_GT(count, 0u);
  for (std::uint64_t failing = 1; failing <= count; ++failing) {
    const ChildRun run = PlayInChild(failing);
    SCOPED_TRACE("allocation " + std::to_string(failing) + " of " + std::to_string(count));
    ASSERT_EQ(run.crash, "");
    EXPECT_EQ(run.outcome.problem, "");
    if (run.outcome.started && run.outcome.failures == clean.outcome.failures) {
      // Not EXPECT_EQ: the two digests are long.
      EXPECT_TRUE(run.outcome.digest == clean.outcome.digest)
          << "an unreported failure changed what the user saw";
    }
    EXPECT_EQ(run.outcome.bytesInUse, 0) << run.outcome.failures;
  }
}
#endif

}  // namespace
}  // namespace Kelp::Host
