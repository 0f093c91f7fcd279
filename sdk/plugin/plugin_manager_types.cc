#include "sdk/plugin/plugin_manager_types.h"

#include "sdk/binding/type_builder.h"

namespace Kelp {
namespace {

constexpr std::string_view kTag = "kclient";

}  // namespace

void RegisterPluginManagerTypes(TypeRegistry& registry) {
  TypeBuilder<PluginManagerState>(registry, "PluginManagerState")
      .Tag(kTag)
      .Value("NotReady", PluginManagerState::NotReady)
      .Value("PluginsInitialized", PluginManagerState::PluginsInitialized);

  TypeBuilder<PluginManagerResource>(registry, "PluginManagerResource")
      .Tag(kTag)
      .Field("state", &PluginManagerResource::state);

  TypeBuilder<PluginResourceEventType>(registry, "PluginResourceEventType")
      .Tag(kTag)
      .Value("Create", PluginResourceEventType::Create)
      .Value("Update", PluginResourceEventType::Update)
      .Value("Delete", PluginResourceEventType::Delete);

  TypeBuilder<PluginResourceEvent>(registry, "PluginResourceEvent")
      .Tag(kTag)
      .Field("uri", &PluginResourceEvent::uri)
      .Field("eventType", &PluginResourceEvent::eventType)
      .Field("data", &PluginResourceEvent::data);

  TypeBuilder<PluginLcdsEvent>(registry, "PluginLcdsEvent")
      .Tag(kTag)
      .Field("clientId", &PluginLcdsEvent::clientId)
      .Field("subtopic", &PluginLcdsEvent::subtopic)
      .Field("typeName", &PluginLcdsEvent::typeName)
      .Field("body", &PluginLcdsEvent::body);

  TypeBuilder<PluginLcdsResponse>(registry, "PluginLcdsResponse")
      .Tag(kTag)
      .Field("typeName", &PluginLcdsResponse::typeName)
      .Field("body", &PluginLcdsResponse::body);

  using Proxy = PluginServiceProxyResponse;
  TypeBuilder<Proxy>(registry, "PluginServiceProxyResponse")
      .Tag(kTag)
      .Field("uuid", &Proxy::uuid)
      .Field("serviceName", &Proxy::serviceName)
      .Field("methodName", &Proxy::methodName)
      .Field("payload", &Proxy::payload)
      .Field("status", &Proxy::status)
      .Field("error", &Proxy::error);

  const struct {
    std::string_view name;
    std::string_view description;
    bool (*add)(TypeRegistry&, std::string_view, std::string_view,
                std::initializer_list<std::string_view>, std::string_view);
  } kEvents[] = {
      {"OnJsonApiEvent", "Fired when a resource is changed.", &RegisterEvent<PluginResourceEvent>},
      {"OnLcdsEvent", "Fired when a message is received over the LCDS connection.",
       &RegisterEvent<PluginLcdsEvent>},
      {"OnServiceProxyUuidEvent", "Fired when a uuid-based service proxy message is received.",
       &RegisterEvent<Proxy>},
      {"OnServiceProxyMethodEvent", "Fired when a method-based service proxy message is received.",
       &RegisterEvent<Proxy>},
      {"OnServiceProxyAsyncEvent", "Fired when an async service proxy message is received.",
       &RegisterEvent<Proxy>},
  };
  for (const auto& event : kEvents) event.add(registry, event.name, event.description, {kTag}, {});
}

}  // namespace Kelp
