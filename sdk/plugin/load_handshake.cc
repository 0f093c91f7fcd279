#include "sdk/plugin/load_handshake.h"

#include <cstdio>
#include <cstdlib>

#include "sdk/rest/function_name.h"

namespace Kelp {

void AssertionFailure(const char* expression) {
  std::fprintf(stderr, "Assertion failed!\n\nExpression: %s\n", expression);
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

  record.major = kPluginApiVersion.major;
  record.minor = kPluginApiVersion.minor;
  record.patch = kPluginApiVersion.patch;
  record.entryTable = plugin.entryTable();
  record.context = &plugin;
  record.name = plugin.names_.shortName.c_str();
  record.apiDescriptor = &plugin.apiDescriptor_;
}

}  // namespace Kelp
