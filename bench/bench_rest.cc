// Route matching with our matcher against std::regex on the same templates,
// and whole requests through the invoke entry against calling the handler
// directly.
#include <regex>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "sdk/rest/route.h"
#include "sdk/rest/url_template.h"

namespace Kelp {
namespace {

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

}  // namespace
}  // namespace Kelp
