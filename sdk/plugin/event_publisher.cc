#include "sdk/plugin/event_publisher.h"

#include <string>
#include <utility>

#include "sdk/binding/binding_value.h"
#include "sdk/binding/message_format.h"
#include "sdk/binding/type_id.h"
#include "sdk/plugin/event_channel.h"
#include "sdk/plugin/plugin_manager_types.h"
#include "sdk/runtime/logger.h"

namespace Kelp {

// Most callers have nobody to answer to: the log says why nothing went out.
RemotingResult UnpublishedResourceEvent(std::string_view path, std::string message) {
  Log(LogLevel::Error, kLogGen, "Event for '%.*s' not published: %s", static_cast<int>(path.size()),
      path.data(), message.c_str());
  RemotingResult failed;
  failed.SetFailure(400, std::move(message));
  return failed;
}

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
  // Everything that may throw comes before the payload exists: from its
  // conversion to its release nothing does.
  const std::string channel = EventChannelName(path);
  EventRecord record{};
  record.name = channel.c_str();
  // The registry names the event type: it travels as "Update".
  if (!ToBindingValue(tree, &plugin.registry(), record.payload)) {
    return UnpublishedResourceEvent(
        path, FormatMessage("Couldn't convert the event for '%1' to a boundary value.", {path}));
  }
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
