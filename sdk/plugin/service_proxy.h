// The receiving side of service-proxy messages: the host delivers responses
// as the events "OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent" and
// "OnServiceProxyAsyncEvent" (subscribed with flag 1 at init).
//
// Uuid and method responses are stored under their key (the uuid, or
// "<serviceName>.<methodName>") and matched with pending requests: the first
// stored response whose key has a pending request goes to that request's
// callback, and both leave their tables. A response without a request stays
// stored until one comes or the tables are emptied, but only the latest
// kMaxStoredResponses of them: the plugin issues no service-proxy requests
// of its own, so every uuid the host sends would otherwise stay until
// shutdown. Async responses go to the handler registered for
// "<serviceName>.<methodName>"; without one they are logged (ERROR, "DBG").
//
// The three tables share one mutex, which is never held while a request's
// callback or an async handler runs: those may add requests and handlers.
#ifndef KELP_SDK_PLUGIN_SERVICE_PROXY_H_
#define KELP_SDK_PLUGIN_SERVICE_PROXY_H_

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "sdk/plugin/plugin_manager_types.h"
#include "sdk/runtime/thread_annotations.h"

namespace Kelp {

class EventSubscriptions;
class PluginBase;

class ServiceProxy {
 public:
  using Callback = std::function<void(const PluginServiceProxyResponse&)>;

  // Unmatched responses kept at most; the oldest goes first.
  static constexpr std::size_t kMaxStoredResponses = 64;

  explicit ServiceProxy(PluginBase& plugin);
  ServiceProxy(const ServiceProxy&) = delete;
  ServiceProxy& operator=(const ServiceProxy&) = delete;

  // Adds the handlers of the three events and subscribes to them (flag 1).
  void Subscribe(EventSubscriptions& events);

  // The filling side. A request waits for the response with `key`; an
  // async handler serves every async response with `key`. Both replace what
  // the key held.
  void AddPendingRequest(const std::string& key, Callback callback);
  void SetAsyncHandler(const std::string& key, Callback handler);

  // The three event handlers.
  void OnUuidResponse(const PluginServiceProxyResponse& response);
  void OnMethodResponse(const PluginServiceProxyResponse& response);
  void OnAsyncResponse(const PluginServiceProxyResponse& response);

  // Empties the three tables.
  void Clear();
  std::size_t storedResponses() const;

 private:
  void Store(const std::string& key, const PluginServiceProxyResponse& response);
  // Runs the callback of one stored response whose request is pending, if
  // any, after taking both out of their tables.
  void Fulfil() KELP_EXCLUDES(mutex_);

  PluginBase& plugin_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Callback> pending_ KELP_GUARDED_BY(mutex_);
  std::unordered_map<std::string, Callback> asyncHandlers_ KELP_GUARDED_BY(mutex_);
  std::unordered_map<std::string, PluginServiceProxyResponse> received_ KELP_GUARDED_BY(mutex_);
  // The keys of received_, oldest first.
  std::deque<std::string> receivedOrder_ KELP_GUARDED_BY(mutex_);
};

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_SERVICE_PROXY_H_
