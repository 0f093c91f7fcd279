// Handlers of other plugins' resource events, by exact path or by pattern.
//
//   // In Start: called for every Create, Update and Delete of the party.
//   RegisterResourceHandler<PartyDto>(plugin, "/tav-lobby/v2/comms/members",
//       [this](const ResourceEvent<PartyDto>& event) { OnParty(event); });
//
// Registering a handler subscribes to the path's channel (see
// event_subscriptions.h); every event arriving on a subscribed channel is
// dispatched here. The tables have no lock: they are used on the plugin's
// thread only.
#ifndef KELP_SDK_PLUGIN_RESOURCE_EVENTS_H_
#define KELP_SDK_PLUGIN_RESOURCE_EVENTS_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sdk/binding/conversion.h"
#include "sdk/binding/conversion_result.h"
#include "sdk/binding/type_registry.h"
#include "sdk/plugin/plugin_manager_types.h"

namespace Kelp {

// A resource event with its data converted to the handler's record type.
// For a Delete event `value` keeps its default state.
template <class T>
struct ResourceEvent {
  std::string uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  T value{};
};

using ResourceHandler = std::function<void(const PluginResourceEvent& event)>;

class ResourceHandlers {
 public:
  // Stores `handler` for `path`: in the pattern list when the path contains
  // "*", otherwise in the exact table. A later handler for the same path or
  // pattern replaces the earlier one (a pattern keeps its place).
  void Add(std::string_view path, ResourceHandler handler);

  // Puts "/" in front of the event's uri when it has none, then calls the
  // exact handler of that path, if any, and after it every pattern handler
  // whose pattern matches, in the order the patterns were first added.
  // A handler may add or remove handlers; the dispatch sees the tables as
  // they are at each step.
  void Dispatch(PluginResourceEvent& event);

  void Clear();
  bool empty() const { return exact_.empty() && patterns_.empty(); }

 private:
  using Shared = std::shared_ptr<const ResourceHandler>;
  std::unordered_map<std::string, Shared> exact_;
  std::vector<std::pair<std::string, Shared>> patterns_;
};

// The adapter from a resource event to a typed handler: unless the event is
// a Delete, the event's data is converted into T (messages name it
// "<value>"); when that fails the handler is not called and nothing is
// logged. `registry` must outlive the adapter.
template <class T>
ResourceHandler MakeResourceHandler(const TypeRegistry& registry,
                                    std::function<void(const ResourceEvent<T>&)> handler) {
  return [&registry, handler = std::move(handler)](const PluginResourceEvent& event) {
    ResourceEvent<T> typed{event.uri, event.eventType, T{}};
    if (event.eventType != PluginResourceEventType::Delete) {
      ConversionResult result;
      FromProperty(result, event.data, "<value>", typed.value, registry);
      if (!result.ok()) return;
    }
    handler(typed);
  };
}

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_RESOURCE_EVENTS_H_
