#include "sdk/rest/route.h"

#include <utility>

namespace Kelp {

const std::string* RouteMatch::Find(std::string_view name) const {
  for (const PathValue& value : Values()) {
    if (value.name == name) return &value.value;
  }
  return nullptr;
}

bool MethodFits(const Route& route, const RouteRequest& request) {
  if (route.method == HttpMethod::None) return true;
  if (route.method != request.method) return false;
  return route.method != HttpMethod::Named || route.methodName == request.methodName;
}

bool MatchPath(const Route& route, std::string_view path, RouteMatch& match,
               std::vector<std::string_view>& captures) {
  if (!route.path.Match(path, captures)) return false;
  const auto& placeholders = route.path.placeholders();
  if (match.values.size() < captures.size()) match.values.resize(captures.size());
  match.route = &route;
  match.valueCount = captures.size();
  match.score = 0;
  for (std::size_t i = 0; i < captures.size(); ++i) {
    PathValue& value = match.values[i];
    value.name = placeholders[i].name;
    PercentDecode(captures[i], value.value);
    match.score += value.value.size();
  }
  return true;
}

bool RouteSelector::Select(const RouteRequest& request, std::span<const Route> routes,
                           bool checkMethod) {
  bool found = false;
  for (const Route& route : routes) {
    if (checkMethod && !MethodFits(route, request)) continue;
    if (!MatchPath(route, request.path, candidate_, captures_)) continue;
    if (!found || candidate_.score < best_.score) {
      std::swap(best_, candidate_);
      found = true;
      if (best_.valueCount == 0) break;
    }
  }
  return found;
}

}  // namespace Kelp
