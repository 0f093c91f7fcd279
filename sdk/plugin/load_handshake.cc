#include "sdk/plugin/load_handshake.h"

#include <cstdlib>
#include <memory>


#include "sdk/rest/function_name.h"
#include "sdk/runtime/logger.h"

namespace Kelp {

void AssertionFailure(const char* expression) {
  Log(LogLevel::Error, kLogDbg, "Assertion failed!\n\nExpression: %s", expression);
  std::abort();
}

void LoadHandshake::Run(PluginBase& plugin, PluginLoadRecord& record, std::string_view shortName) {
  const PluginApiVersion host{record.major, record.minor, record.patch, {}, {}};
  if (!IsCompatibleHost(host, kPluginApiVersion)) AssertionFailure("ALE-EECF0606");
  plugin.hostVersion_ = host;
  plugin.names_ = GetFullNameFromShortNameAndType(shortName, {"backend", {}});
  plugin.documentationTags_ = DocumentationTags(shortName);
  plugin.identifierStem_ = MakeIdentifier(shortName);

  plugin.RegisterEndpoints();

  plugin.apiTables_ = BuildApiDescription(plugin.registry());
  plugin.endpointTable_ = std::make_unique<EndpointTable>(plugin.registry());
  const ApiDescription& api = plugin.apiTables_.description();
  plugin.apiDescriptor_ = {plugin.endpointTable_->records(), plugin.endpointTable_->count(),
                           api.types,  api.typeCount,
                           api.events, api.eventCount};

  record.major = kPluginApiVersion.major;
  record.minor = kPluginApiVersion.minor;
  record.patch = kPluginApiVersion.patch;
  record.entryTable = plugin.entryTable();
  record.context = &plugin;
  record.name = plugin.names_.shortName.c_str();
  record.apiDescriptor = &plugin.apiDescriptor_;
}

}  // namespace Kelp
