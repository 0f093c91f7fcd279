// PluginBase: what every backend plugin built on the SDK derives from. It owns
// the link to the plugin host: the host context handed over at init, the entry
// table the host calls, the plugin's names and type registry, its event,
// timer and scheduled-call tables, and the virtual operations through which
// all outbound traffic reaches the host.
//
// Threading: the host must not call into one plugin object from two threads
// at once (entry table, invoke entries, event and scheduled callbacks alike).
// The base locks only the tables whose entries are added and consumed on
// different paths.
#ifndef KELP_SDK_PLUGIN_PLUGIN_BASE_H_
#define KELP_SDK_PLUGIN_PLUGIN_BASE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sdk/binding/api_description.h"
#include "sdk/binding/type_registry.h"
#include "sdk/plugin/abi.h"
#include "sdk/plugin/event_subscriptions.h"
#include "sdk/plugin/plugin_identity.h"
#include "sdk/plugin/resource_events.h"
#include "sdk/plugin/scheduled_calls.h"
#include "sdk/plugin/service_proxy.h"
#include "sdk/plugin/timers.h"
#include "sdk/rest/endpoint_table.h"
#include "sdk/runtime/plugin_log_target.h"
#include "sdk/runtime/telemetry_sender.h"

namespace Kelp {

class PluginBase {
 public:
  // Holds a reference to the process-wide logger until destroyed. The
  // registry starts with the plugin-manager types.
  PluginBase();
  PluginBase(const PluginBase&) = delete;
  PluginBase& operator=(const PluginBase&) = delete;
  virtual ~PluginBase();

  // Counted subscription to the event channel of a resource path or other
  // key, and its release (see event_subscriptions.h).
  virtual void Subscribe(std::string_view key);
  virtual void Unsubscribe(std::string_view key);

  // Stops the plugin: unsubscribes every event that has a handler and
  // empties the handler, service-proxy, timer and resource-event tables.
  // Derived plugins release their own subscriptions first, then call this.
  virtual void Shutdown();

  // Host forwarders. Each takes the function table from the stored host
  // context at every call and passes its arguments unchanged. Before init
  // (no host context) nothing reaches a host: HostSendRequest answers with
  // an error response, HostLeaveWait with 0, the others do nothing.
  virtual void HostSendRequest(InvokeResponse* response, const InvokeRequest* request);
  virtual void HostSlot1(std::uint32_t first, std::uint32_t second);
  virtual void HostPublishEvent(const EventRecord* event);
  virtual void HostSubscribe(const char* name, std::uint32_t hostHandle, EventCallback callback,
                             void* context, std::uint32_t flags);
  virtual void HostUnsubscribe(const char* name, std::uint32_t hostHandle);
  virtual void HostSchedule(const char* name, ScheduledCallback callback, void* context,
                            double delaySeconds, std::uint32_t reserved);
  virtual void HostYield();
  virtual void HostEnterWait(const std::string& name);
  virtual std::uint64_t HostLeaveWait();

  // A plugin registers its endpoints, types and events here, during load.
  virtual void RegisterEndpoints();
  // A plugin starts its service here, at the end of init; the result goes
  // back to the host.
  virtual bool Start();

  // Opens a wait through the host ("Wait: yield"), lets the host run other
  // work, and returns what the host's leaveWait returns.
  std::uint64_t Wait();

  // Calls `handler` for every event of the resource `path` (a "*" in the
  // path makes it a pattern) with the data converted to T, and subscribes to
  // the path's channel. See resource_events.h.
  template <class T>
  void AddResourceHandler(std::string_view path,
                          std::function<void(const ResourceEvent<T>&)> handler) {
    resourceHandlers_.Add(path, MakeResourceHandler<T>(registry_, std::move(handler)));
    Subscribe(path);
  }

  TypeRegistry& registry() { return registry_; }
  const TypeRegistry& registry() const { return registry_; }
  EventSubscriptions& eventSubscriptions() { return eventSubscriptions_; }
  ResourceHandlers& resourceHandlers() { return resourceHandlers_; }
  ServiceProxy& serviceProxy() { return serviceProxy_; }

  // One-shot calls and named timers (see scheduled_calls.h and timers.h).
  ScheduledCalls& scheduledCalls() { return scheduledCalls_; }
  Timers& timers() { return timers_; }
  void SetTimer(std::string_view name, double intervalSeconds, std::function<void()> callback) {
    timers_.Set(name, intervalSeconds, std::move(callback));
  }
  void CancelTimer(std::string_view name) { timers_.Cancel(name); }

  const PluginEntryTable* entryTable() const { return &entryTable_; }
  const HostContext* hostContext() const { return hostContext_; }
  std::uint32_t hostHandle() const { return hostHandle_; }
  const std::string& shortName() const { return names_.shortName; }
  const PluginNames& names() const { return names_; }
  const std::string& userAgent() const { return userAgent_; }
  const PluginApiVersion& hostVersion() const { return hostVersion_; }
  const std::vector<std::string>& documentationTags() const { return documentationTags_; }
  const std::string& identifierStem() const { return identifierStem_; }
  const PluginApiDescriptor* apiDescriptor() const { return &apiDescriptor_; }
  bool shuttingDown() const { return shuttingDown_; }
  // Created at init; null before.
  TelemetrySender* telemetrySender() const { return telemetrySender_.get(); }

 protected:
  friend class LoadHandshake;

  // Connects the plugin to the host and starts it. Returns Start's result.
  bool Init(const HostContext& context);

  PluginApiVersion hostVersion_;
  PluginNames names_;
  std::vector<std::string> documentationTags_;
  std::string identifierStem_;

 private:
  static std::uint8_t KELP_CDECL InitEntry(void* plugin, const HostContext* context);
  static void KELP_CDECL ShutdownEntry(void* plugin);
  static void KELP_CDECL GetMemoryStatsEntry(void* plugin, MemoryStats* stats);

  const HostFunctionTable* functions() const;

  // Declared first: everything below may use it until destroyed.
  TypeRegistry registry_;
  ResourceHandlers resourceHandlers_;
  std::uint32_t hostHandle_ = 0;
  std::string userAgent_;
  EventSubscriptions eventSubscriptions_{*this};
  ServiceProxy serviceProxy_{*this};
  Timers timers_{*this};
  ScheduledCalls scheduledCalls_{*this};
  std::unique_ptr<TelemetrySender> telemetrySender_;
  bool shuttingDown_ = false;
  const HostContext* hostContext_ = nullptr;
  // Installed at init unless another plugin's target is listed already.
  std::unique_ptr<PluginLogTarget> logTarget_;
  PluginEntryTable entryTable_;
  // What the descriptor points to; built once registration is over.
  ApiDescriptionTables apiTables_;
  std::unique_ptr<EndpointTable> endpointTable_;
  PluginApiDescriptor apiDescriptor_{};
};

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_PLUGIN_BASE_H_
