// plugin-host: loads the plugin library into the reference host and drives
// it the way the game client's plugin host does.
//
//   plugin-host run [--library PATH] [--verbose]
//   plugin-host decode json|msgpack|yaml FILE
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "host/descriptor_summary.h"
#include "host/plugin_library.h"
#include "host/reference_host.h"

#ifdef KELP_HAVE_DECODE
#include "host/decode_command.h"
#endif

namespace {

using Kelp::Host::ReferenceHost;

constexpr std::uint32_t kHostApiMajor = 18;
constexpr std::uint32_t kHostApiMinor = 0;
constexpr std::uint32_t kHostApiPatch = 0;
constexpr std::uint32_t kPluginHandle = 1;

constexpr char kUsage[] =
    "usage: plugin-host run [--library PATH] [--verbose]\n"
    "       plugin-host decode json|msgpack|yaml FILE\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

void PrintLogLines(const ReferenceHost& host) {
  static constexpr const char* kLevels[] = {"OKAY", "WARN", "ERROR", "ALWAYS"};
  std::printf("log lines: %zu\n", host.logLines().size());
  for (const auto& line : host.logLines()) {
    const bool known = line.level >= 0 && line.level <= 3;
    std::printf("  [%s] %s\n", known ? kLevels[line.level] : "?", line.text.c_str());
  }
}

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
int Run(const std::string& libraryPath, bool verbose) {
  Kelp::Host::PluginLibrary library(libraryPath);
  if (!library.ok()) {
    std::fprintf(stderr, "plugin-host: %s\n", library.error().c_str());
    return 1;
  }
  ReferenceHost host(library.entry(), {.verbose = verbose});
  const auto loaded = host.Load(kHostApiMajor, kHostApiMinor, kHostApiPatch);
  if (!loaded.ok()) {
    std::fprintf(stderr, "plugin-host: load failed: %s\n", loaded.error.c_str());
    return 1;
  }
  const auto& record = host.loadRecord();
  std::printf("plugin: %s (plugin API %" PRIu32 ".%" PRIu32 ".%" PRIu32 ")\n", host.name().c_str(),
              record.major, record.minor, record.patch);
  const auto summary = Kelp::Host::SummarizeDescriptor(host.descriptor());
  std::fputs(Kelp::Host::FormatDescriptorSummary(summary).c_str(), stdout);

  const bool started = host.Init(kPluginHandle);
  std::printf("init: %s\n", started ? "started" : "start failed");
  const std::size_t ran = host.RunReady();
  std::printf("loop: %zu task(s) ran, %zu subscription(s)\n", ran, host.Subscriptions().size());
  PrintLogLines(host);
  PrintMemory(host);
  host.Shutdown();
  std::printf("shutdown: done\n");

  for (const auto& problem : host.problems()) {
    std::printf("host problem: %s\n", problem.c_str());
  }
  return started && host.problems().empty() ? 0 : 1;
}

int RunCommand(int argc, char** argv) {
  std::string libraryPath = KELP_DEFAULT_PLUGIN_PATH;
  bool verbose = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--verbose") {
      verbose = true;
    } else if (argument == "--library" && i + 1 < argc) {
      libraryPath = argv[++i];
    } else {
      return Usage();
    }
  }
  return Run(libraryPath, verbose);
}

int DecodeCommand(int argc, char** argv) {
#ifdef KELP_HAVE_DECODE
  if (argc != 4) return Usage();
  return Kelp::Host::RunDecodeCommand(argv[2], argv[3], stdout, stderr);
#else
  (void)argc;
  (void)argv;
  std::fputs("decode: not available in this build\n", stderr);
  return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view command = argv[1];
  if (command == "run") return RunCommand(argc, argv);
  if (command == "decode") return DecodeCommand(argc, argv);
  return Usage();
}
