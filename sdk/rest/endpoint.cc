#include "sdk/rest/endpoint.h"

#include <mutex>
#include <new>
#include <set>

namespace Kelp {
namespace {

// An ordered set: empty, it holds no heap memory, so that a plugin whose
// endpoints are all gone holds none either.
struct LiveSet {
  std::mutex mutex;
  std::set<const void*> endpoints;
};

// Never destroyed: endpoints may outlive static destruction order.
LiveSet& Live() {
  alignas(LiveSet) static unsigned char storage[sizeof(LiveSet)];
  static LiveSet* const live = new (storage) LiveSet;
  return *live;
}

}  // namespace

Endpoint::Endpoint(const TypeRegistry& registry, std::string name, HttpMethod method,
                   std::string methodName, std::string path,
                   std::vector<EndpointParameter> parameters,
                   std::unique_ptr<EndpointInvoker> invoker)
    : registry_(registry),
      name_(std::move(name)),
      path_(std::move(path)),
      parameters_(std::move(parameters)),
      invoker_(std::move(invoker)) {
  route_.method = method;
  route_.methodName = std::move(methodName);
  route_.endpoint = this;
  route_.path = UrlTemplate(path_.empty() ? name_ : path_);
  for (std::size_t i = 0; i < parameters_.size(); ++i) {
    if (parameters_[i].location == ParameterLocation::Body && bodyParameter_ < 0) {
      bodyParameter_ = static_cast<int>(i);
    }
  }
  LiveSet& live = Live();
  std::lock_guard lock(live.mutex);
  live.endpoints.insert(this);
}

Endpoint::~Endpoint() {
  LiveSet& live = Live();
  std::lock_guard lock(live.mutex);
  live.endpoints.erase(this);
}

bool Endpoint::IsLive(const void* context) {
  if (context == nullptr) return false;
  LiveSet& live = Live();
  std::lock_guard lock(live.mutex);
  return live.endpoints.count(context) != 0;
}

int Endpoint::FindParameter(std::string_view name) const {
  for (std::size_t i = 0; i < parameters_.size(); ++i) {
    if (parameters_[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace Kelp
