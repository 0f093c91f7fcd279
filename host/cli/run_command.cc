// `run`: the demo, and scenario files.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "host/cli/commands.h"
#include "host/cli/plugin_session.h"
#include "host/cli/scenario.h"
#include "host/descriptor_summary.h"
#include "host/plugin_library.h"
#include "host/run_steps.h"
#include "host/voice_demo.h"

namespace Kelp::Host {
namespace {

void PrintMemory(const ReferenceHost& host) {
  const auto stats = host.GetMemoryStats();
  if (!stats) {
    std::printf("memory: not reported\n");
    return;
  }
  std::printf("memory: %" PRIu64 " bytes in %" PRIu64 " allocations, %" PRIu64 " freed in %" PRIu64
              " releases, peak %" PRIu64 " bytes\n",
              stats->bytesAllocated, stats->allocationCount, stats->bytesFreed, stats->freeCount,
              stats->peakBytesInUse);
}

// Returns 0 when the plugin loaded, started and shut down without a problem.
int RunDemo(const SessionOptions& options) {
  std::string error;
  auto session = PluginSession::Start(options, error);
  if (!session) {
    std::fprintf(stderr, "plugin-host run: %s\n", error.c_str());
    return 1;
  }
  ReferenceHost& host = session->host();
  const auto& record = host.loadRecord();
  std::printf("plugin: %s (plugin API %" PRIu32 ".%" PRIu32 ".%" PRIu32 ")\n", host.name().c_str(),
              record.major, record.minor, record.patch);
  const auto summary = SummarizeDescriptor(host.descriptor());
  std::fputs(FormatDescriptorSummary(summary).c_str(), stdout);
  std::printf("init: started, %zu subscription(s)\n", host.Subscriptions().size());
  RunVoiceDemo(session->world(), stdout);
  PrintMemory(host);
  host.Shutdown();
  std::printf("shutdown: done\n");

  for (const auto& problem : host.problems()) {
    std::printf("host problem: %s\n", problem.c_str());
  }
  return host.problems().empty() ? 0 : 1;
}

void PrintLogLines(const ReferenceHost& host) {
  static constexpr const char* kLevels[] = {"OKAY", "WARN", "ERROR", "ALWAYS"};
  std::printf("log lines: %zu\n", host.logLines().size());
  for (const auto& line : host.logLines()) {
    const bool known = line.level >= 0 && line.level <= 3;
    std::printf("  [%s] %s\n", known ? kLevels[line.level] : "?", line.text.c_str());
  }
}

// Loads any plugin alone (no stand-ins) and runs `steps` after init. Returns
// 0 when the plugin loaded, started, found a route for every call and shut
// down without a problem.
int RunPluginSteps(const std::string& libraryPath, const std::string& entryName, bool verbose,
                   const std::vector<RunStep>& steps) {
  const PluginLibrary library(libraryPath, entryName);
  if (!library.ok()) {
    std::fprintf(stderr, "plugin-host run: %s\n", library.error().c_str());
    return 1;
  }
  ReferenceHost host(library.entry(), {.verbose = verbose});
  const auto loaded = host.Load(kHostApiMajor, kHostApiMinor, kHostApiPatch);
  if (!loaded.ok()) {
    std::fprintf(stderr, "plugin-host run: load failed: %s\n", loaded.error.c_str());
    return 1;
  }
  const auto& record = host.loadRecord();
  std::printf("plugin: %s (plugin API %" PRIu32 ".%" PRIu32 ".%" PRIu32 ")\n", host.name().c_str(),
              record.major, record.minor, record.patch);
  std::fputs(FormatDescriptorSummary(SummarizeDescriptor(host.descriptor())).c_str(), stdout);

  const bool started = host.Init(kPluginHandle);
  std::printf("init: %s\n", started ? "started" : "start failed");
  const std::size_t ran = host.RunReady();
  std::printf("loop: %zu task(s) ran, %zu subscription(s)\n", ran, host.Subscriptions().size());
  PrintPublished(host, 0, stdout);
  const bool routed = RunSteps(host, steps, stdout);
  PrintLogLines(host);
  PrintMemory(host);
  host.Shutdown();
  std::printf("shutdown: done\n");

  for (const auto& problem : host.problems()) {
    std::printf("host problem: %s\n", problem.c_str());
  }
  return started && routed && host.problems().empty() ? 0 : 1;
}

}  // namespace

int RunRunCommand(const Command& self, const CommandArguments& arguments) {
  SessionOptions options;
  options.libraryPath = arguments.Value("--library").value_or("");
  options.verbose = arguments.Has("--verbose");
  const std::string libraryPath =
      options.libraryPath.empty() ? DefaultPluginPath() : options.libraryPath;
  const std::string entryName =
      arguments.Value("--entry").value_or(EntryNameForLibrary(libraryPath));
  if (!arguments.steps.empty() || entryName != "load_tav_premade_voice") {
    if (!arguments.positional.empty()) {
      return UsageError(self, "a scenario FILE and --call or --advance steps do not go together");
    }
    return RunPluginSteps(libraryPath, entryName, options.verbose, arguments.steps);
  }
  if (!arguments.positional.empty()) {
    return RunScenarioFile(arguments.positional[0], options, stdout, stderr);
  }
  options.signIn = false;  // the demo plays the sign-in itself
  return RunDemo(options);
}

}  // namespace Kelp::Host
