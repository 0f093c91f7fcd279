#include "sdk/plugin/service_proxy.h"

#include <utility>

#include "sdk/binding/message_format.h"
#include "sdk/plugin/event_subscriptions.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/runtime/logger.h"

namespace Kelp {
namespace {

std::string MethodKey(const PluginServiceProxyResponse& response) {
  return FormatMessage("%1.%2", {response.serviceName, response.methodName});
}

}  // namespace

ServiceProxy::ServiceProxy(PluginBase& plugin) : plugin_(plugin) {}

void ServiceProxy::Subscribe(EventSubscriptions& events) {
  using Handler = void (ServiceProxy::*)(const PluginServiceProxyResponse&);
  const struct {
    const char* name;
    Handler handler;
  } kEvents[] = {
      {"OnServiceProxyUuidEvent", &ServiceProxy::OnUuidResponse},
      {"OnServiceProxyMethodEvent", &ServiceProxy::OnMethodResponse},
      {"OnServiceProxyAsyncEvent", &ServiceProxy::OnAsyncResponse},
  };
  for (const auto& event : kEvents) {
    events.AddHandler(event.name,
                      MakeEventHandler<PluginServiceProxyResponse>(
                          plugin_.registry(),
                          [this, handler = event.handler](const PluginServiceProxyResponse& r) {
                            (this->*handler)(r);
                          }),
                      kServiceProxyEvent);
  }
}

void ServiceProxy::AddPendingRequest(const std::string& key, Callback callback) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_[key] = std::move(callback);
  }
  Fulfil();
}

void ServiceProxy::SetAsyncHandler(const std::string& key, Callback handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  asyncHandlers_[key] = std::move(handler);
}

void ServiceProxy::OnUuidResponse(const PluginServiceProxyResponse& response) {
  Store(response.uuid, response);
}

void ServiceProxy::OnMethodResponse(const PluginServiceProxyResponse& response) {
  Store(MethodKey(response), response);
}

void ServiceProxy::OnAsyncResponse(const PluginServiceProxyResponse& response) {
  const std::string key = MethodKey(response);
  Callback handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = asyncHandlers_.find(key);
    if (found != asyncHandlers_.end()) handler = found->second;
  }
  if (!handler) {
    Log(LogLevel::Error, kLogDbg,
        "%s: Could not find registered handler for async service proxy event %s",
        plugin_.shortName().c_str(), key.c_str());
    return;
  }
  handler(response);
}

void ServiceProxy::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.clear();
  asyncHandlers_.clear();
  received_.clear();
  receivedOrder_.clear();
}

std::size_t ServiceProxy::storedResponses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_.size();
}

void ServiceProxy::Store(const std::string& key, const PluginServiceProxyResponse& response) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto [stored, added] = received_.insert_or_assign(key, response);
    if (added) receivedOrder_.push_back(key);
    if (received_.size() > kMaxStoredResponses) {
      received_.erase(receivedOrder_.front());
      receivedOrder_.pop_front();
    }
  }
  Fulfil();
}

void ServiceProxy::Fulfil() {
  std::string key;
  Callback callback;
  PluginServiceProxyResponse response;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto stored = receivedOrder_.begin();
    while (stored != receivedOrder_.end() && pending_.count(*stored) == 0) ++stored;
    if (stored == receivedOrder_.end()) return;
    key = std::move(*stored);
    receivedOrder_.erase(stored);
    const auto request = pending_.find(key);
    callback = std::move(request->second);
    pending_.erase(request);
    const auto received = received_.find(key);
    response = std::move(received->second);
    received_.erase(received);
  }
  callback(response);
  Log(LogLevel::Always, kLogDbg, "%s: Fulfilled service proxy request: %s",
      plugin_.shortName().c_str(), key.c_str());
}

}  // namespace Kelp
