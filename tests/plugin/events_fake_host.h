// A host function table for unit tests of the plugin base's tables: it
// records subscriptions, publications, schedule and log calls, and lets the
// test run scheduled calls by hand. The reference host does all this for
// whole-plugin tests.
#ifndef KELP_TESTS_PLUGIN_EVENTS_FAKE_HOST_H_
#define KELP_TESTS_PLUGIN_EVENTS_FAKE_HOST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sdk/binding/binding_value.h"
#include "sdk/codecs/json_reader.h"
#include "sdk/codecs/json_writer.h"
#include "sdk/plugin/abi.h"
#include "sdk/plugin/plugin_base.h"

namespace Kelp::testing {

struct FakeHost {
  struct Scheduled {
    std::string name;
    ScheduledCallback callback;
    void* context;
    double delaySeconds;
  };
  struct Subscribed {
    std::string name;
    std::uint32_t hostHandle;
    EventCallback callback;
    void* context;
    std::uint32_t flags;
  };

  HostFunctionTable table{};  // first member: slots find the host from it
  HostContext context{&table, 7};
  std::vector<Scheduled> scheduled;
  std::vector<Subscribed> subscribed;  // every subscribe call
  std::vector<Subscribed> active;      // subscriptions not released yet
  std::vector<std::pair<std::string, std::uint32_t>> unsubscribed;
  std::vector<std::pair<int, std::string>> logged;
  // Published events as (name, payload as JSON).
  std::vector<std::pair<std::string, std::string>> published;

  static FakeHost& From(const HostFunctionTable* self) {
    return *reinterpret_cast<FakeHost*>(const_cast<HostFunctionTable*>(self));
  }

  FakeHost() {
    table.schedule = [](const HostFunctionTable* self, const char* name, ScheduledCallback callback,
                        void* context, double delay, std::uint32_t) {
      From(self).scheduled.push_back({name, callback, context, delay});
    };
    table.subscribe = [](const HostFunctionTable* self, const char* name, std::uint32_t handle,
                         EventCallback callback, void* context, std::uint32_t flags) {
      From(self).subscribed.push_back({name, handle, callback, context, flags});
      From(self).active.push_back({name, handle, callback, context, flags});
    };
    table.unsubscribe = [](const HostFunctionTable* self, const char* name, std::uint32_t handle) {
      FakeHost& host = From(self);
      host.unsubscribed.emplace_back(name, handle);
      std::erase_if(host.active, [name](const Subscribed& s) { return s.name == name; });
    };
    table.log = [](const HostFunctionTable* self, std::int32_t level, const char* message) {
      From(self).logged.emplace_back(level, message);
    };
    table.publishEvent = [](const HostFunctionTable* self, const EventRecord* event) {
      BindingProperty payload;
      BindingResult failure{};
      const bool ok = ToBindingProperty(event->payload, "payload", payload, failure);
      DestroyResult(failure);
      From(self).published.emplace_back(event->name, ok ? WriteJson(payload) : "(malformed)");
    };
  }

  // Delivers `payload` as the event `name` to every subscriber of it, the
  // way the host would: with a borrowed payload and each subscriber's
  // context. Returns how many callbacks ran.
  int Deliver(const std::string& name, const BindingValue& payload) {
    int delivered = 0;
    const std::vector<Subscribed> current = active;
    for (const Subscribed& subscriber : current) {
      if (subscriber.name != name) continue;
      EventRecord record{subscriber.name.c_str(), payload, 0, subscriber.context};
      subscriber.callback(&record);
      ++delivered;
    }
    return delivered;
  }

  // The same with the payload given as JSON.
  int DeliverJson(const std::string& name, std::string_view json) {
    const ConversionResult tree = ReadJson(json);
    BindingValue payload{};
    if (!tree.ok() || !ToBindingValue(tree.value(), nullptr, payload)) return -1;
    const int delivered = Deliver(name, payload);
    Destroy(payload);
    return delivered;
  }

  // Connects `plugin` to this host through its init entry.
  bool Init(PluginBase& plugin) { return plugin.entryTable()->init(&plugin, &context) != 0; }

  // Runs the scheduled call at `index` (in order of scheduling).
  void Run(std::size_t index) { scheduled.at(index).callback(scheduled.at(index).context); }
};

}  // namespace Kelp::testing

#endif  // KELP_TESTS_PLUGIN_EVENTS_FAKE_HOST_H_
