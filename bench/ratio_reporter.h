// The console table of Google Benchmark followed by one line per pair of
// benchmarks named <Name>_Ours and <Name>_Baseline, compared by CPU time (the
// machine may be shared). Unless the command line says otherwise, every
// benchmark runs five times, the repetitions of all of them interleaved in
// random order, and each side counts with its fastest repetition: what
// else runs on the machine only ever adds time, and it lands on both sides
// alike. The header names the processor (its model and, from the
// benchmark library, its caches) and the ratios repeat the model, so that
// figures from two machines can be told apart.
//
//   Kelp::Bench::RepeatUnlessAsked(argc, argv);
//   benchmark::Initialize(&argc, argv);
//   Kelp::Bench::RatioReporter reporter(Kelp::Bench::Ratio::Throughput);
//   benchmark::RunSpecifiedBenchmarks(&reporter);
#ifndef KELP_BENCH_RATIO_REPORTER_H_
#define KELP_BENCH_RATIO_REPORTER_H_

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Kelp::Bench {

// Adds the repetitions and their interleaving to the command line when it
// names no repetition count.
inline void RepeatUnlessAsked(int& argc, char**& argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0) return;
  }
  static std::vector<char*> arguments;
  static char repetitions[] = "--benchmark_repetitions=5";
  static char interleaving[] = "--benchmark_enable_random_interleaving=true";
  arguments.assign(argv, argv + argc);
  arguments.push_back(repetitions);
  arguments.push_back(interleaving);
  arguments.push_back(nullptr);
  argc += 2;
  argv = arguments.data();
}

// Keeps freed memory in the process. A side whose blocks land at the top of
// the heap would otherwise see the allocator hand them back to the system on
// every iteration and take page faults on the next, while a side whose
// blocks sit below a live one would not: which side pays depends on what the
// earlier benchmarks left, and a ratio moved between 0.75x and 2.2x with it.
// With nothing handed back, both sides measure their own work.
inline void HoldFreedMemory() {
#if defined(__GLIBC__)
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // the largest the allocator takes
#endif
}

// The processor's model as the system names it ("model name" of
// /proc/cpuinfo) with its family and model numbers, which tell apart two
// processors that share a name; "unknown processor" where there is none.
inline std::string ProcessorModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string name, family, model;
  const auto valueOf = [](const std::string& line) {
    const auto colon = line.find(':');
    const auto start =
        colon == std::string::npos ? colon : line.find_first_not_of(" \t", colon + 1);
    return start == std::string::npos ? std::string() : line.substr(start);
  };
  for (std::string line; std::getline(cpuinfo, line) && !line.empty();) {
    const std::string key = line.substr(0, line.find_first_of("\t:"));
    if (key == "model name") name = valueOf(line);
    if (key == "cpu family") family = valueOf(line);
    if (key == "model") model = valueOf(line);
  }
  if (name.empty()) return "unknown processor";
  if (!family.empty() && !model.empty()) name += " (family " + family + ", model " + model + ")";
  return name;
}

// For a benchmark that keeps benchmark_main's console output: adds the
// processor's model to the context lines, which already list the caches.
// Call it from a namespace-scope initializer, before the benchmarks run:
//   const bool kProcessorNamed = Kelp::Bench::NameProcessorInContext();
inline bool NameProcessorInContext() {
  benchmark::AddCustomContext("Processor", ProcessorModel());
  return true;
}

enum class Ratio {
  Time,        // each side's time per call and ours / baseline (lower is better)
  Throughput,  // baseline / ours, that is our throughput as a share of the baseline's
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(Ratio ratio) : ratio_(ratio) {}

  bool ReportContext(const Context& context) override {
    std::printf("Processor: %s\n", ProcessorModel().c_str());
    return ConsoleReporter::ReportContext(context);
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        const auto [at, added] = times_.emplace(run.benchmark_name(), run.GetAdjustedCPUTime());
        if (!added) at->second = std::min(at->second, run.GetAdjustedCPUTime());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf(ratio_ == Ratio::Time ? "\nTime ours / baseline, on %s:\n"
                                      : "\nThroughput ours / baseline, on %s:\n",
                ProcessorModel().c_str());
    for (const auto& [name, time] : times_) {
      const auto at = name.rfind("_Ours");
      if (at == std::string::npos) continue;
      const auto baseline = times_.find(name.substr(0, at) + "_Baseline");
      if (baseline == times_.end()) continue;
      const std::string pair = name.substr(0, at);
      if (ratio_ == Ratio::Time) {
        std::printf("  %-22s %8.0f ns against %8.0f ns: %.2fx\n", pair.c_str(), time,
                    baseline->second, time / baseline->second);
      } else {
        std::printf("  %-28s %.2fx\n", pair.c_str(), baseline->second / time);
      }
    }
  }

 private:
  Ratio ratio_;
  std::map<std::string, double> times_;
};

}  // namespace Kelp::Bench

#endif  // KELP_BENCH_RATIO_REPORTER_H_
