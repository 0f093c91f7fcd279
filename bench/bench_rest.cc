// Route matching with our matcher against std::regex on the same templates,
// and whole requests through the invoke entry against calling the handler
// directly.
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"
#include "sdk/binding/memory.h"
#include "sdk/binding/type_builder.h"
#include "sdk/rest/endpoint_registration.h"
#include "sdk/rest/endpoint_table.h"
#include "sdk/rest/route.h"
#include "sdk/rest/url_template.h"

namespace Kelp {
namespace {

// benchmark_main prints the context: the processor is named beside its caches.
[[maybe_unused]] const bool kProcessorNamed = Kelp::Bench::NameProcessorInContext();

constexpr const char* kPuuid = "6f1c9e2a-0b4d-4c1e-9a77-3e5b2d8f4a10";

struct RouteCase {
  const char* templateText;
  std::string path;
};

const RouteCase kLiteral{"/tav-premade-voice/v1/availability",
                         "/tav-premade-voice/v1/availability"};
const RouteCase kTemplated{"/tav-premade-voice/v1/participants/{puuid}/volume",
                           std::string("/tav-premade-voice/v1/participants/") + kPuuid + "/volume"};

// One route, method checked, values decoded: what a request dispatch does.
void RouteMatchOurs(benchmark::State& state, const RouteCase& routeCase) {
  Route route;
  route.method = HttpMethod::Put;
  route.path = UrlTemplate(routeCase.templateText);
  const std::vector<Route> routes = {route};
  const RouteRequest request{HttpMethod::Put, {}, routeCase.path};
  RouteSelector selector;
  for (auto _ : state) {
    benchmark::DoNotOptimize(selector.Select(request, routes, true));
    benchmark::DoNotOptimize(selector.match().valueCount);
  }
}

// The same work through the ECMAScript pattern and std::regex.
void RouteMatchStdRegex(benchmark::State& state, const RouteCase& routeCase) {
  const UrlTemplate compiled(routeCase.templateText);
  const std::regex regex(
      compiled.IsLiteral() ? routeCase.templateText : compiled.EcmaScriptPattern(),
      std::regex::ECMAScript);
  std::smatch groups;
  std::string decoded;
  for (auto _ : state) {
    const bool matched = std::regex_match(routeCase.path, groups, regex);
    for (std::size_t i = 1; matched && i < groups.size(); ++i) {
      PercentDecode(std::string_view(&*groups[i].first, groups[i].length()), decoded);
    }
    benchmark::DoNotOptimize(matched);
    benchmark::DoNotOptimize(decoded.data());
  }
}

BENCHMARK_CAPTURE(RouteMatchOurs, Literal, kLiteral)->Name("BM_RouteMatch/Literal");
BENCHMARK_CAPTURE(RouteMatchStdRegex, Literal, kLiteral)->Name("BM_RouteMatchStdRegex/Literal");
BENCHMARK_CAPTURE(RouteMatchOurs, Templated, kTemplated)->Name("BM_RouteMatch/Templated");
BENCHMARK_CAPTURE(RouteMatchStdRegex, Templated, kTemplated)
    ->Name("BM_RouteMatchStdRegex/Templated");

// ---- Requests through the invoke entry --------------------------------------

struct Availability {
  bool enabled = true;
  bool inParty = true;
  bool connected = false;
  std::string status = "ready";
};

struct Service {
  Availability availability;
  std::string lastPuuid;
  std::int32_t lastVolume = 0;

  Availability Get() const { return availability; }
  void SetVolume(const std::string& puuid, std::int32_t volume) {
    lastPuuid = puuid;
    lastVolume = volume;
  }
};

// A registry with the two endpoints and their function records.
struct Plugin {
  TypeRegistry registry;
  Service service;
  std::unique_ptr<EndpointTable> table;

  Plugin() {
    TypeBuilder<Availability>(registry, "BenchAvailability")
        .Field("enabled", &Availability::enabled)
        .Field("inParty", &Availability::inParty)
        .Field("connected", &Availability::connected)
        .Field("status", &Availability::status);
    RegisterEndpoint(registry, HttpMethod::Get, "/tav-premade-voice/v1/availability", {}, {},
                     [this] { return service.Get(); });
    RegisterEndpoint(registry, HttpMethod::Put, kTemplated.templateText, {},
                     {PathParameter("puuid", ""), BodyParameter("volume", "")},
                     [this](const std::string& puuid, std::int32_t volume) {
                       service.SetVolume(puuid, volume);
                     });
    table = std::make_unique<EndpointTable>(registry);
  }

  const EndpointFunctionRecord& Record(std::string_view name) const {
    for (std::uint32_t i = 0; i < table->count(); ++i) {
      if (name == table->records()[i].description.name) return table->records()[i];
    }
    std::abort();
  }
};

// Allocations of the library per iteration, from the counting heap.
class AllocationCounter {
 public:
  AllocationCounter() : start_(ReadMemoryStats().allocationCount) {}
  void Report(benchmark::State& state) const {
    state.counters["allocs/request"] =
        benchmark::Counter(static_cast<double>(ReadMemoryStats().allocationCount - start_),
                           benchmark::Counter::kAvgIterations);
  }

 private:
  std::uint64_t start_;
};

void BM_InvokeGet(benchmark::State& state) {
  Plugin plugin;
  const EndpointFunctionRecord& record = plugin.Record("GetTavPremadeVoiceV1Availability");
  InvokeRequest request{};
  request.method = HTTP_METHOD_GET;
  request.path = kLiteral.path.c_str();
  request.function = &record.description.invoke;
  InvokeResponse response{};
  AllocationCounter allocations;
  for (auto _ : state) {
    record.invoke(&response, &request);
    response.release(&response);
  }
  allocations.Report(state);
}
BENCHMARK(BM_InvokeGet);

// The baseline: the handler's work and the conversion of its answer to a tree.
void BM_InvokeGetDirect(benchmark::State& state) {
  Plugin plugin;
  AllocationCounter allocations;
  for (auto _ : state) {
    const Availability availability = plugin.service.Get();
    benchmark::DoNotOptimize(availability);
  }
  allocations.Report(state);
}
BENCHMARK(BM_InvokeGetDirect);

void BM_InvokePutJsonBody(benchmark::State& state) {
  Plugin plugin;
  const EndpointFunctionRecord& record =
      plugin.Record("PutTavPremadeVoiceV1ParticipantsByPuuidVolume");
  const std::string body = "75";
  InvokeRequest request{};
  request.method = HTTP_METHOD_PUT;
  request.path = kTemplated.path.c_str();
  request.function = &record.description.invoke;
  request.contentType = "application/json";
  request.body = reinterpret_cast<const std::uint8_t*>(body.data());
  request.bodyLength = static_cast<std::uint32_t>(body.size());
  InvokeResponse response{};
  AllocationCounter allocations;
  for (auto _ : state) {
    record.invoke(&response, &request);
    response.release(&response);
  }
  allocations.Report(state);
  if (plugin.service.lastVolume != 75) state.SkipWithError("the handler did not see the body");
}
BENCHMARK(BM_InvokePutJsonBody);

void BM_InvokePutDirect(benchmark::State& state) {
  Plugin plugin;
  AllocationCounter allocations;
  for (auto _ : state) {
    plugin.service.SetVolume(kPuuid, 75);
    benchmark::ClobberMemory();
  }
  allocations.Report(state);
}
BENCHMARK(BM_InvokePutDirect);

}  // namespace
}  // namespace Kelp
