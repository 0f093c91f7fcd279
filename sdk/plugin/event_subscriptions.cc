#include "sdk/plugin/event_subscriptions.h"

#include "sdk/binding/binding_value.h"
#include "sdk/plugin/entry_guard.h"
#include "sdk/plugin/event_channel.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/plugin/plugin_manager_types.h"

namespace Kelp {

EventSubscriptions::EventSubscriptions(PluginBase& plugin) : plugin_(plugin) {}

void EventSubscriptions::Subscribe(std::string_view key) {
  const std::string channel = EventChannelName(key);
  // Counted only once the host holds the subscription: when the memory for
  // the handler runs out, nothing is left for Unsubscribe to undo.
  std::uint32_t& count = counts_[channel];
  if (count != 0) {
    ++count;
    return;
  }
  handlers_[channel] = std::make_shared<const EventHandler>([this](const BindingProperty& payload) {
    PluginResourceEvent event;
    if (ConvertPayload(plugin_.registry(), payload, event)) {
      plugin_.resourceHandlers().Dispatch(event);
    }
  });
  plugin_.HostSubscribe(channel.c_str(), plugin_.hostHandle(), &Callback, &plugin_,
                        kOrdinaryEvent);
  count = 1;
}

void EventSubscriptions::Unsubscribe(std::string_view key) {
  const std::string channel = EventChannelName(key);
  const auto found = counts_.find(channel);
  if (found == counts_.end() || found->second == 0) return;
  if (--found->second != 0) return;
  plugin_.HostUnsubscribe(channel.c_str(), plugin_.hostHandle());
  handlers_.erase(channel);
}

void EventSubscriptions::AddHandler(const std::string& name, EventHandler handler,
                                    std::uint32_t flags) {
  handlers_[name] = std::make_shared<const EventHandler>(std::move(handler));
  plugin_.HostSubscribe(name.c_str(), plugin_.hostHandle(), &Callback, &plugin_, flags);
}

void EventSubscriptions::UnsubscribeAll() {
  for (const auto& [name, handler] : handlers_) {
    plugin_.HostUnsubscribe(name.c_str(), plugin_.hostHandle());
  }
  handlers_.clear();
}

std::uint32_t EventSubscriptions::count(std::string_view channel) const {
  const auto found = counts_.find(std::string(channel));
  return found != counts_.end() ? found->second : 0;
}

bool EventSubscriptions::HasHandler(std::string_view name) const {
  return handlers_.contains(std::string(name));
}

void KELP_CDECL EventSubscriptions::Callback(EventRecord* record) {
  if (record == nullptr || record->name == nullptr || record->context == nullptr) return;
  GuardEntry("event callback", [record] {
    static_cast<PluginBase*>(record->context)->eventSubscriptions().Deliver(*record);
  });
}

void EventSubscriptions::Deliver(const EventRecord& record) {
  const auto found = handlers_.find(record.name);
  if (found == handlers_.end()) return;
  const std::shared_ptr<const EventHandler> handler = found->second;
  BindingProperty payload;
  BindingResult failure{};
  if (!ToBindingProperty(record.payload, "<result>", payload, failure)) {
    DestroyResult(failure);
    return;
  }
  (*handler)(payload);
}

}  // namespace Kelp
