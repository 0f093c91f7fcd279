// The plugin-manager types and events that every plugin registers at load:
// the resource events that plugins send each other, the LCDS messages and
// the service-proxy responses, all with the tag "kclient".
#ifndef KELP_SDK_PLUGIN_PLUGIN_MANAGER_TYPES_H_
#define KELP_SDK_PLUGIN_PLUGIN_MANAGER_TYPES_H_

#include <cstdint>
#include <string>

#include "sdk/binding/binding_property.h"

namespace Kelp {

class TypeRegistry;

enum class PluginManagerState : std::int32_t { NotReady = 0, PluginsInitialized = 1 };

struct PluginManagerResource {
  PluginManagerState state = PluginManagerState::NotReady;
};

enum class PluginResourceEventType : std::int32_t { Create = 0, Update = 1, Delete = 2 };

// A change of a resource of some plugin: its path, what happened, and the
// resource's new content as it stands.
struct PluginResourceEvent {
  std::string uri;
  PluginResourceEventType eventType = PluginResourceEventType::Create;
  BindingProperty data;
};

struct PluginLcdsEvent {
  std::string clientId;
  std::string subtopic;
  std::string typeName;
  BindingProperty body;
};

struct PluginLcdsResponse {
  std::string typeName;
  BindingProperty body;
};

struct PluginServiceProxyResponse {
  std::string uuid;
  std::string serviceName;
  std::string methodName;
  std::string payload;
  std::string status;
  std::string error;
};

// Registers the seven types above under their bare names and the events
// "OnJsonApiEvent", "OnLcdsEvent", "OnServiceProxyUuidEvent",
// "OnServiceProxyMethodEvent" and "OnServiceProxyAsyncEvent". Registering
// twice changes nothing.
void RegisterPluginManagerTypes(TypeRegistry& registry);

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_PLUGIN_MANAGER_TYPES_H_
