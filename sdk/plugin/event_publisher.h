// Publishing this plugin's own resource events.
//
//   const RemotingResult sent =
//       PublishResourceEvent(plugin, "/tav-premade-voice/v1/availability", availability);
//
// The event is a PluginResourceEvent with the path as "uri", "Update" as
// "eventType" and the value as "data". It goes to the host on the path's
// channel (see EventChannelName) and then once more on "OnJsonApiEvent",
// unless that is the path's channel already. Enumerations travel by name.
// A value that does not convert fails with the conversion's message and
// sends nothing.
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

// Publishes `data` as it stands.
RemotingResult PublishResourceEventData(PluginBase& plugin, std::string_view path,
                                        BindingProperty data);

template <class T>
RemotingResult PublishResourceEvent(PluginBase& plugin, std::string_view path, const T& value) {
  ConversionResult data = ToProperty(value, plugin.registry());
  if (!data.ok()) {
    RemotingResult failed;
    failed.SetFailure(400, std::string(data.error()));
    return failed;
  }
  return PublishResourceEventData(plugin, path, std::move(data.value()));
}

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_EVENT_PUBLISHER_H_
