// Publishing this plugin's own resource events.
//
//   const RemotingResult sent =
//       PublishResourceEvent(plugin, "/tav-premade-voice/v1/availability", availability);
//
// The event is a PluginResourceEvent with the path as "uri", "Update" as
// "eventType" and the value as "data". It goes to the host on the path's
// channel (see EventChannelName) and then once more on "OnJsonApiEvent",
// unless that is the path's channel already. Enumerations travel by name.
// A value that does not convert (or memory that runs out) fails with the
// conversion's message, logged as an error, and sends nothing.
#ifndef KELP_SDK_PLUGIN_EVENT_PUBLISHER_H_
#define KELP_SDK_PLUGIN_EVENT_PUBLISHER_H_

#include <string>
#include <string_view>
#include <utility>

#include "sdk/binding/binding_property.h"
#include "sdk/binding/conversion.h"
#include "sdk/binding/conversion_result.h"
#include "sdk/plugin/plugin_base.h"
#include "sdk/rest/remoting_result.h"

namespace Kelp {

// The failure of an event for `path` that was not sent: logs `message` as an
// error and returns it with status 400.
RemotingResult UnpublishedResourceEvent(std::string_view path, std::string message);

// The event tree with its "uri" and "eventType" ("Update") set and an empty
// "data" field last; fill the data through `data`.
BindingProperty& StartResourceEventTree(BindingProperty& tree, std::string_view path);

// Sends a tree made by StartResourceEventTree.
RemotingResult PublishResourceEventTree(PluginBase& plugin, std::string_view path,
                                        const BindingProperty& tree);

// Publishes `data` as it stands.
RemotingResult PublishResourceEventData(PluginBase& plugin, std::string_view path,
                                        const BindingProperty& data);

template <class T>
RemotingResult PublishResourceEvent(PluginBase& plugin, std::string_view path, const T& value) {
  // The value is written straight into the event's "data", so it is
  // converted once.
  BindingProperty tree;
  ConversionResult converted;
  ToProperty(converted, value, plugin.registry(), StartResourceEventTree(tree, path));
  if (!converted.ok()) return UnpublishedResourceEvent(path, std::string(converted.error()));
  return PublishResourceEventTree(plugin, path, tree);
}

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_EVENT_PUBLISHER_H_
