// Random events into the started voice plugin's subscriptions, delivered
// the way a host does: the callback given at subscription, its own context,
// a borrowed event record whose payload is a boundary value of any tag and
// shape (most of the time a resource event's "uri", "eventType" and "data"
// around a random tree). Whatever comes in, the session ends clean.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/boundary_values.h"
#include "fuzz/voice_plugin_session.h"
#include "host/resource_events.h"

namespace {

using Kelp::Fuzz::VoicePluginSession;

BindingValue ResourcePayload(FuzzedDataProvider& input, Kelp::Fuzz::BoundaryValues& values,
                             std::vector<BindingStructEntry>& entries) {
  static constexpr const char* kEventTypes[] = {"Create", "Update", "Delete"};
  const char* keys[] = {"uri", "eventType", "data"};
  entries.resize(3);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].key = input.ConsumeIntegralInRange(0, 7) == 0 ? values.Text() : keys[i];
    entries[i].value = values.Value();
  }
  // Mostly a known path and event type as strings.
  if (input.ConsumeBool()) {
    BindingValue uri{};
    uri.kind = BINDING_VALUE_STRING_BORROWED;
    uri.payload.string.text = values.Text();
    uri.payload.string.length = static_cast<std::uint32_t>(std::strlen(uri.payload.string.text));
    entries[0].value = uri;
  }
  if (input.ConsumeBool()) {
    BindingValue type{};
    type.kind = BINDING_VALUE_STRING_BORROWED;
    type.payload.string.text = kEventTypes[input.ConsumeIntegralInRange(0, 2)];
    type.payload.string.length = static_cast<std::uint32_t>(std::strlen(type.payload.string.text));
    entries[1].value = type;
  }
  BindingValue payload{};
  payload.kind = BINDING_VALUE_STRUCTURE;
  payload.payload.structure.entries = entries.data();
  payload.payload.structure.count = input.ConsumeIntegralInRange<std::uint32_t>(0, 3);
  return payload;
}

void Deliver(VoicePluginSession& session, FuzzedDataProvider& input,
             Kelp::Fuzz::BoundaryValues& values) {
  const auto subscriptions = session.host().Subscriptions();
  if (subscriptions.empty()) return;
  const auto& subscription =
      subscriptions[input.ConsumeIntegralInRange<std::size_t>(0, subscriptions.size() - 1)];
  // The subscribed name, another one, or none.
  std::string name = subscription.channel;
  switch (input.ConsumeIntegralInRange(0, 7)) {
    case 0:
      name = values.Text();
      break;
    case 1:
      name = Kelp::Host::EventChannelOf(values.Text());
      break;
    default:
      break;
  }
  std::vector<BindingStructEntry> entries;
  EventRecord event{};
  event.name = name.c_str();
  event.payload =
      input.ConsumeIntegralInRange(0, 3) != 0 ? ResourcePayload(input, values, entries)
                                              : values.Value();
  event.context = subscription.context;
  subscription.callback(&event);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  static Kelp::Fuzz::VoicePluginSessions sessions;
  VoicePluginSession& session =
      sessions.At(input.ConsumeIntegralInRange(0, Kelp::Fuzz::VoicePluginSessions::kStages - 1));
  Kelp::Fuzz::BoundaryValues values(input, Kelp::Fuzz::kVoicePluginWords);
  for (int events = input.ConsumeIntegralInRange(1, 6); events > 0; --events) {
    Deliver(session, input, values);
    session.host().RunReady();
    if (input.ConsumeBool()) session.host().AdvanceClock(input.ConsumeIntegralInRange(0, 30));
  }
  session.CheckClean();
  return 0;
}
