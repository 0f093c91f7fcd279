// Costs of the runtime's hot paths, each against a baseline of this run.
//
//   BM_FormatBaseline        vsnprintf of the message alone
//   BM_LogFilteredOut        a call the global filter drops (level, category)
//   BM_LogAcceptedNullTarget a call delivered to one target that does nothing
//
//   BM_EventConversionBaseline  a sessions event payload (five participants)
//                               converted to a typed record, nothing else
//   BM_DeliverResourceEvent     the same payload delivered through the event
//                               callback to a typed resource handler
//   BM_PublishBaseline          the event of a small record (uri, event type,
//                               data) converted to a boundary value
//   BM_PublishResourceEvent     the same record published through the host
//                               slot (twice: channel and catch-all)
//
// "allocs" counts calls of malloc per iteration; the log path must show 0.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"
#include "sdk/binding/binding_value.h"
#include "sdk/binding/conversion.h"
#include "sdk/binding/type_builder.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/plugin/event_publisher.h"
#include "sdk/plugin/plugin_base.h"
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

// benchmark_main prints the context: the processor is named beside its caches.
[[maybe_unused]] const bool kProcessorNamed = Kelp::Bench::NameProcessorInContext();

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

// ---- Events -------------------------------------------------------------

struct Participant {
  std::string puuid;
  std::string name;
  std::int32_t volume = 0;
  bool muted = false;
  double energy = 0;
};

struct Session {
  std::string id;
  std::string state;
  std::vector<Participant> participants;
};

struct Availability {
  bool available = false;
  std::string reason;
};

constexpr const char* kSessionsPath = "/voice-chat/v2/sessions";

class BenchPlugin : public PluginBase {
 public:
  int handled = 0;

  BenchPlugin() {
    TypeBuilder<Participant>(registry(), "BenchParticipant")
        .Field("puuid", &Participant::puuid)
        .Field("name", &Participant::name)
        .Field("volume", &Participant::volume)
        .Field("muted", &Participant::muted)
        .Field("energy", &Participant::energy);
    TypeBuilder<Session>(registry(), "BenchSession")
        .Field("id", &Session::id)
        .Field("state", &Session::state)
        .Field("participants", &Session::participants);
    TypeBuilder<Availability>(registry(), "BenchAvailability")
        .Field("available", &Availability::available)
        .Field("reason", &Availability::reason);
  }
  bool Start() override {
    AddResourceHandler<Session>(kSessionsPath, [this](const ResourceEvent<Session>& event) {
      handled += static_cast<int>(event.value.participants.size());
    });
    return true;
  }
};

// A host that accepts every call and keeps nothing.
struct NullHost {
  HostFunctionTable table{};
  HostContext context{&table, 1};
  NullHost() {
    table.subscribe = [](const HostFunctionTable*, const char*, std::uint32_t, EventCallback,
                         void*, std::uint32_t) {};
    table.unsubscribe = [](const HostFunctionTable*, const char*, std::uint32_t) {};
    table.publishEvent = [](const HostFunctionTable*, const EventRecord* event) {
      benchmark::DoNotOptimize(event->payload.kind);
    };
    table.log = [](const HostFunctionTable*, std::int32_t, const char*) {};
  }
};

std::string SessionsEvent() {
  std::string participants;
  for (int i = 0; i < 5; ++i) {
    if (i > 0) participants += ",";
    participants += R"({"puuid":"0b6c4a5e-1f2d-4c1b-9a7e-00000000000)" + std::to_string(i) +
                    R"(","name":"Player )" + std::to_string(i) +
                    R"(","volume":50,"muted":false,"energy":0.25})";
  }
  return std::string(R"({"uri":"/voice-chat/v2/sessions","eventType":"Update","data":)") +
         R"({"id":"party-1","state":"joined","participants":[)" + participants + "]}}";
}

// The sessions event as the host lends it; released at the end.
class SessionsPayload {
 public:
  SessionsPayload() {
    const ConversionResult tree = ReadJson(SessionsEvent());
    if (!tree.ok() || !ToBindingValue(tree.value(), nullptr, value_)) std::abort();
  }
  ~SessionsPayload() { Destroy(value_); }
  const BindingValue& value() const { return value_; }

 private:
  BindingValue value_{};
};

void BM_EventConversionBaseline(benchmark::State& state) {
  BenchPlugin plugin;
  const SessionsPayload payload;
  for (auto _ : state) {
    BindingProperty tree;
    BindingResult failure{};
    if (!ToBindingProperty(payload.value(), "<result>", tree, failure)) std::abort();
    ConversionResult result;
    PluginResourceEvent event;
    FromProperty(result, tree, "<result>", event, plugin.registry());
    Session session;
    FromProperty(result, event.data, "<value>", session, plugin.registry());
    if (!result.ok() || session.participants.size() != 5) std::abort();
    benchmark::DoNotOptimize(session);
  }
}
BENCHMARK(BM_EventConversionBaseline);

void BM_DeliverResourceEvent(benchmark::State& state) {
  NullHost host;
  BenchPlugin plugin;
  if (plugin.entryTable()->init(&plugin, &host.context) == 0) std::abort();
  const SessionsPayload payload;
  EventRecord record{"OnJsonApiEvent_voice-chat_v2_sessions", payload.value(), 0, &plugin};
  for (auto _ : state) EventSubscriptions::Callback(&record);
  if (plugin.handled != 5 * static_cast<int>(state.iterations())) std::abort();
  plugin.Shutdown();
}
BENCHMARK(BM_DeliverResourceEvent);

void BM_PublishBaseline(benchmark::State& state) {
  BenchPlugin plugin;
  const Availability availability{true, "inParty"};
  for (auto _ : state) {
    BindingProperty tree;
    ConversionResult converted;
    ToProperty(converted, availability, plugin.registry(),
               StartResourceEventTree(tree, "/tav-premade-voice/v1/availability"));
    BindingValue value{};
    if (!converted.ok() || !ToBindingValue(tree, &plugin.registry(), value)) std::abort();
    benchmark::DoNotOptimize(value.kind);
    Destroy(value);
  }
}
BENCHMARK(BM_PublishBaseline);

void BM_PublishResourceEvent(benchmark::State& state) {
  NullHost host;
  BenchPlugin plugin;
  if (plugin.entryTable()->init(&plugin, &host.context) == 0) std::abort();
  const Availability availability{true, "inParty"};
  for (auto _ : state) {
    if (!PublishResourceEvent(plugin, "/tav-premade-voice/v1/availability", availability).ok()) {
      std::abort();
    }
  }
  plugin.Shutdown();
}
BENCHMARK(BM_PublishResourceEvent);

}  // namespace
}  // namespace Kelp

