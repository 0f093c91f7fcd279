#include "sdk/plugin/resource_events.h"

#include <algorithm>

#include "sdk/plugin/resource_pattern.h"

namespace Kelp {

void ResourceHandlers::Add(std::string_view path, ResourceHandler handler) {
  auto shared = std::make_shared<const ResourceHandler>(std::move(handler));
  if (path.find('*') == std::string_view::npos) {
    exact_[std::string(path)] = std::move(shared);
    return;
  }
  const auto found = std::find_if(patterns_.begin(), patterns_.end(),
                                  [path](const auto& entry) { return entry.first == path; });
  if (found != patterns_.end()) {
    found->second = std::move(shared);
  } else {
    patterns_.emplace_back(std::string(path), std::move(shared));
  }
}

void ResourceHandlers::Dispatch(PluginResourceEvent& event) {
  if (event.uri.empty() || event.uri.front() != '/') event.uri.insert(event.uri.begin(), '/');
  // Each handler is held by a copy of its pointer while it runs, so that it
  // may replace or remove itself.
  const auto exact = exact_.find(event.uri);
  if (exact != exact_.end()) {
    const Shared handler = exact->second;
    (*handler)(event);
  }
  // By index: a handler may add patterns (the list grows) or clear them.
  for (std::size_t i = 0; i < patterns_.size(); ++i) {
    if (!MatchesResourcePattern(patterns_[i].first, event.uri)) continue;
    const Shared handler = patterns_[i].second;
    (*handler)(event);
  }
}

void ResourceHandlers::Clear() {
  exact_.clear();
  patterns_.clear();
}

}  // namespace Kelp
