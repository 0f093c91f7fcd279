#include "sdk/plugin/event_publisher.h"

#include <string>
#include <utility>

#include "sdk/binding/binding_value.h"
#include "sdk/binding/message_format.h"
#include "sdk/plugin/event_channel.h"
#include "sdk/plugin/plugin_manager_types.h"

namespace Kelp {
namespace {

RemotingResult Failed(std::string message) {
  RemotingResult failed;
  failed.SetFailure(400, std::move(message));
  return failed;
}

}  // namespace

RemotingResult PublishResourceEventData(PluginBase& plugin, std::string_view path,
                                        BindingProperty data) {
  PluginResourceEvent event;
  event.uri = std::string(path);
  event.eventType = PluginResourceEventType::Update;
  event.data = std::move(data);
  const std::string channel = EventChannelName(path);

  const ConversionResult tree = ToProperty(event, plugin.registry());
  if (!tree.ok()) return Failed(std::string(tree.error()));
  EventRecord record{};
  if (!ToBindingValue(tree.value(), &plugin.registry(), record.payload)) {
    return Failed(FormatMessage("Couldn't convert the event for '%1' to a boundary value.", {path}));
  }
  record.name = channel.c_str();
  plugin.HostPublishEvent(&record);
  if (channel != kJsonApiEventName) {
    record.name = kJsonApiEventName.data();
    plugin.HostPublishEvent(&record);
  }
  // The host has copied what it keeps; the payload is ours to release.
  Destroy(record.payload);
  return {};
}

}  // namespace Kelp
