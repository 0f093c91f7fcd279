// Routes: a method and a URL template belonging to one endpoint, and the
// selection of the best route for a request.
#ifndef KELP_SDK_REST_ROUTE_H_
#define KELP_SDK_REST_ROUTE_H_

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/rest/http_method.h"
#include "sdk/rest/url_template.h"

namespace Kelp {

class Endpoint;

struct Route {
  // None fits every request; Named fits requests with the same method name.
  HttpMethod method = HttpMethod::None;
  std::string methodName;
  const Endpoint* endpoint = nullptr;  // borrowed
  UrlTemplate path;
};

struct RouteRequest {
  HttpMethod method = HttpMethod::None;
  std::string_view methodName;  // read only for Named
  std::string_view path;
};

// A placeholder's name (borrowed from the route) and its decoded value.
struct PathValue {
  std::string_view name;
  std::string value;
};

struct RouteMatch {
  const Route* route = nullptr;
  // In placeholder order. Only the first `valueCount` entries are live; the
  // rest keep their capacity for the next match.
  std::vector<PathValue> values;
  std::size_t valueCount = 0;
  std::size_t score = 0;  // total length of the decoded values

  std::span<const PathValue> Values() const { return {values.data(), valueCount}; }
  // The value of placeholder `name`; null when there is none.
  const std::string* Find(std::string_view name) const;
};

bool MethodFits(const Route& route, const RouteRequest& request);

// Matches one route's path (the method is not looked at). On success fills
// `match` (route, decoded values, score). `captures` is scratch space.
bool MatchPath(const Route& route, std::string_view path, RouteMatch& match,
               std::vector<std::string_view>& captures);

// Picks among `routes`, in order, the matching route whose values are
// shortest in total; an earlier route wins a tie, and a match without values
// ends the search. `checkMethod` false skips the method test. Keeps its
// scratch space between calls, so reuse one selector per thread.
class RouteSelector {
 public:
  bool Select(const RouteRequest& request, std::span<const Route> routes, bool checkMethod);
  // The best match of the last successful Select.
  const RouteMatch& match() const { return best_; }

 private:
  RouteMatch best_;
  RouteMatch candidate_;
  std::vector<std::string_view> captures_;
};

}  // namespace Kelp

#endif  // KELP_SDK_REST_ROUTE_H_
