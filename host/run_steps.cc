#include "host/run_steps.h"

#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "host/http_method.h"
#include "host/inbound_invoke.h"

namespace Kelp::Host {
namespace {

// The method codes DELETE to PUT by name, as MethodText spells them.
std::uint32_t MethodCode(std::string_view text) {
  for (std::uint32_t code = HTTP_METHOD_DELETE; code <= HTTP_METHOD_PUT; ++code) {
    if (MethodText(code) == text) return code;
  }
  return 0;
}

// A number of seconds: finite and not negative.
std::optional<double> ParseSeconds(const char* text) {
  char* end = nullptr;
  const double seconds = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(seconds) || seconds < 0) return std::nullopt;
  return seconds;
}

bool RunOne(ReferenceHost& host, const RunStep& step, std::FILE* out) {
  if (step.method == 0) {
    const std::size_t ran = host.AdvanceClock(step.seconds);
    std::fprintf(out, "advance %g s: %zu task(s) ran\n", step.seconds, ran);
    return true;
  }
  InboundRequest request;
  request.method = step.method;
  request.path = step.path;
  request.body = step.body;
  const InvokeResult result = host.Invoke(request);
  std::fprintf(out, "%s %s\n", MethodText(step.method).c_str(), step.path.c_str());
  if (result.failed) {
    std::fprintf(out, "  failed, status %" PRIu32 ": %s\n", result.status, result.error.c_str());
  } else {
    std::fprintf(out, "  ok, status %" PRIu32 ": %s\n", result.status,
                 result.value.ToJson().c_str());
  }
  for (const auto& problem : result.problems) std::fprintf(out, "  problem: %s\n", problem.c_str());
  return result.delivered;
}

}  // namespace

int ReadRunStep(int argc, const char* const* argv, int* index, std::vector<RunStep>& steps,
                std::FILE* err) {
  const int i = *index;
  const std::string_view option = argv[i];
  if (option == "--call") {
    if (i + 2 >= argc) {
      std::fprintf(err, "plugin-host: --call takes a method and a path\n");
      return -1;
    }
    RunStep step;
    step.method = MethodCode(argv[i + 1]);
    step.path = argv[i + 2];
    if (step.method == 0 || !step.path.starts_with('/')) {
      std::fprintf(err, "plugin-host: --call takes a method (GET, PUT...) and a path: %s %s\n",
                   argv[i + 1], argv[i + 2]);
      return -1;
    }
    steps.push_back(std::move(step));
    *index = i + 2;
    return 1;
  }
  if (option == "--json") {
    if (i + 1 >= argc || steps.empty() || steps.back().method == 0 || steps.back().body) {
      std::fprintf(err, "plugin-host: --json BODY follows a --call, once\n");
      return -1;
    }
    steps.back().body = argv[i + 1];
    *index = i + 1;
    return 1;
  }
  if (option == "--advance") {
    const std::optional<double> seconds =
        i + 1 < argc ? ParseSeconds(argv[i + 1]) : std::nullopt;
    if (!seconds) {
      std::fprintf(err, "plugin-host: --advance takes seconds (0 or more)\n");
      return -1;
    }
    steps.push_back({.seconds = *seconds});
    *index = i + 1;
    return 1;
  }
  return 0;
}

bool RunSteps(ReferenceHost& host, const std::vector<RunStep>& steps, std::FILE* out) {
  std::size_t shown = host.published().size();
  bool routed = true;
  for (const RunStep& step : steps) {
    routed = RunOne(host, step, out) && routed;
    shown = PrintPublished(host, shown, out);
  }
  return routed;
}

std::size_t PrintPublished(const ReferenceHost& host, std::size_t from, std::FILE* out) {
  const auto& published = host.published();
  for (std::size_t i = from; i < published.size(); ++i) {
    std::fprintf(out, "  event %s %s\n", published[i].name.c_str(),
                 published[i].payload.ToJson().c_str());
  }
  return published.size();
}

}  // namespace Kelp::Host
