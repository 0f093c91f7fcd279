// Costs of the runtime's hot paths, each against a baseline of this run.
//
//   BM_FormatBaseline        vsnprintf of the message alone
//   BM_LogFilteredOut        a call the global filter drops (level, category)
//   BM_LogAcceptedNullTarget a call delivered to one target that does nothing
//
// "allocs" counts calls of malloc per iteration; the log path must show 0.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "sdk/runtime/log_target.h"
#include "sdk/runtime/logger.h"

extern "C" void* __libc_malloc(std::size_t size);

namespace {
std::atomic<std::uint64_t> mallocCalls{0};
}  // namespace

// Counts every allocation of the process, operator new included.
extern "C" void* malloc(std::size_t size) {
  mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}

namespace Kelp {
namespace {

class NullTarget final : public LogTarget {
 public:
  ~NullTarget() override { Retire(); }
  bool Write(const LogRecord&) override { return true; }
};

// Reports allocations per iteration for the timed loop of `state`.
class AllocationCounter {
 public:
  explicit AllocationCounter(benchmark::State& state)
      : state_(state), start_(mallocCalls.load()) {}
  ~AllocationCounter() {
    state_.counters["allocs"] = benchmark::Counter(
        static_cast<double>(mallocCalls.load() - start_), benchmark::Counter::kAvgIterations);
  }

 private:
  benchmark::State& state_;
  std::uint64_t start_;
};

__attribute__((format(printf, 2, 3))) void Format(char* buffer, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(buffer, kLogBufferSize, format, arguments);
  va_end(arguments);
}

void BM_FormatBaseline(benchmark::State& state) {
  char buffer[kLogBufferSize];
  int i = 0;
  for (auto _ : state) {
    Format(buffer, "Participant %s volume %d", "puuid-1", ++i);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_FormatBaseline);

void BM_LogFilteredOut(benchmark::State& state) {
  AcquireLogger();
  // Start values: minimum level Warn, "XTR" excluded.
  const bool byLevel = state.range(0) == 0;
  int i = 0;
  {
    AllocationCounter allocations(state);
    for (auto _ : state) {
      if (byLevel) {
        Log(LogLevel::Okay, kLogDbg, "Participant %s volume %d", "puuid-1", ++i);
      } else {
        Log(LogLevel::Always, kLogXtr, "Participant %s volume %d", "puuid-1", ++i);
      }
    }
  }
  state.SetLabel(byLevel ? "by level" : "by category");
  ReleaseLogger();
}
BENCHMARK(BM_LogFilteredOut)->Arg(0)->Arg(1);

void BM_LogAcceptedNullTarget(benchmark::State& state) {
  AcquireLogger();
  for (LogTargetInterface* console : {StdErrLogTargetInterface(), DebuggerLogTargetInterface()}) {
    console->unregisterTarget(console);
  }
  NullTarget target;
  target.Register();
  int i = 0;
  {
    AllocationCounter allocations(state);
    for (auto _ : state) Log(LogLevel::Error, kLogDbg, "Participant %s volume %d", "puuid-1", ++i);
  }
  target.Unregister();
  ReleaseLogger();
}
BENCHMARK(BM_LogAcceptedNullTarget);

}  // namespace
}  // namespace Kelp

