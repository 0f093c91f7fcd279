#include "sdk/plugin/event_publisher.h"

#include <string>
#include <utility>

#include "sdk/binding/binding_value.h"
#include "sdk/binding/message_format.h"
#include "sdk/binding/type_id.h"
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

BindingProperty& StartResourceEventTree(BindingProperty& tree, std::string_view path) {
  tree.Reset();
  tree.MakeStructure();
  tree["uri"].SetString(path);
  tree["eventType"].SetEnum(static_cast<std::int32_t>(PluginResourceEventType::Update),
                            StaticTypeOf<PluginResourceEventType>());
  return tree["data"];
}

RemotingResult PublishResourceEventTree(PluginBase& plugin, std::string_view path,
                                        const BindingProperty& tree) {
  EventRecord record{};
  // The registry names the event type: it travels as "Update".
  if (!ToBindingValue(tree, &plugin.registry(), record.payload)) {
    return Failed(FormatMessage("Couldn't convert the event for '%1' to a boundary value.", {path}));
  }
  const std::string channel = EventChannelName(path);
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

RemotingResult PublishResourceEventData(PluginBase& plugin, std::string_view path,
                                        const BindingProperty& data) {
  BindingProperty tree;
  StartResourceEventTree(tree, path) = data;
  return PublishResourceEventTree(plugin, path, tree);
}

}  // namespace Kelp
