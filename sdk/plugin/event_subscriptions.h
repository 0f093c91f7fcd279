// The plugin's subscriptions to host event channels and the handler that
// runs for each channel.
//
// Subscriptions are counted per channel: the first Subscribe of any key on a
// channel subscribes at the host (flag 0), the last Unsubscribe releases it.
// A subscribed channel's handler reads each payload as a
// PluginResourceEvent and hands it to the plugin's resource handlers.
// Handlers for other events (the service-proxy events) are added with
// AddHandler.
//
// Incoming events whose name has no handler, or whose payload does not
// convert (malformed, nested deeper than kMaxNestingDepth, or not of the
// handler's type), are dropped without a log line. A handler that throws is
// stopped at the callback, which logs it (ERROR, "DBG") and returns.
//
// The tables have no lock: the host delivers events on the plugin's thread,
// one at a time.
#ifndef KELP_SDK_PLUGIN_EVENT_SUBSCRIPTIONS_H_
#define KELP_SDK_PLUGIN_EVENT_SUBSCRIPTIONS_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/conversion.h"
#include "sdk/binding/conversion_result.h"
#include "sdk/binding/type_registry.h"
#include "sdk/plugin/abi.h"

namespace Kelp {

class PluginBase;

// Runs with an event's payload as a tree.
using EventHandler = std::function<void(const BindingProperty& payload)>;

// Flags of a host subscription.
inline constexpr std::uint32_t kOrdinaryEvent = 0;
inline constexpr std::uint32_t kServiceProxyEvent = 1;

class EventSubscriptions {
 public:
  explicit EventSubscriptions(PluginBase& plugin);
  EventSubscriptions(const EventSubscriptions&) = delete;
  EventSubscriptions& operator=(const EventSubscriptions&) = delete;

  // Counted subscription to the channel of `key` (see EventChannelName).
  void Subscribe(std::string_view key);
  // Releases one subscription of the channel of `key`; the last one
  // unsubscribes at the host and removes the channel's handler. Releasing a
  // channel that has no subscription does nothing.
  void Unsubscribe(std::string_view key);

  // Stores `handler` for the event `name` (replacing any) and subscribes to
  // it at the host with `flags`.
  void AddHandler(const std::string& name, EventHandler handler, std::uint32_t flags);

  // Unsubscribes at the host, once each, every event that has a handler, and
  // empties the handler table. The counts stay as they are.
  void UnsubscribeAll();

  // The subscription count of the channel `channel`; 0 when it has none.
  std::uint32_t count(std::string_view channel) const;
  bool HasHandler(std::string_view name) const;

  // The callback given to the host; the record's context is the plugin.
  static void KELP_CDECL Callback(EventRecord* record);

 private:
  void Deliver(const EventRecord& record);

  PluginBase& plugin_;
  // Shared, so that a handler that unsubscribes its own event keeps running.
  std::unordered_map<std::string, std::shared_ptr<const EventHandler>> handlers_;
  std::unordered_map<std::string, std::uint32_t> counts_;
};

// Converts an event payload into `out` (messages name it "<result>").
// Returns false when it does not convert.
template <class T>
bool ConvertPayload(const TypeRegistry& registry, const BindingProperty& payload, T& out) {
  ConversionResult result;
  FromProperty(result, payload, "<result>", out, registry);
  return result.ok();
}

// A handler that converts the payload into T and calls `handler` with it; a
// payload that does not convert is dropped. `registry` must outlive the
// handler.
template <class T>
EventHandler MakeEventHandler(const TypeRegistry& registry,
                              std::function<void(const T&)> handler) {
  return [&registry, handler = std::move(handler)](const BindingProperty& payload) {
    T value{};
    if (ConvertPayload(registry, payload, value)) handler(value);
  };
}

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_EVENT_SUBSCRIPTIONS_H_
