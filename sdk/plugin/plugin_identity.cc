#include "sdk/plugin/plugin_identity.h"

#include "sdk/binding/message_format.h"
#include "sdk/runtime/logger.h"

namespace Kelp {
namespace {

void ReportUnknownPluginType(std::string_view shortName, std::string_view type) {
  const std::string message = FormatMessage(
      "GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type",
      {shortName, type});
  Log(LogLevel::Error, kLogDbg, "            Plugin Manager| %s", message.c_str());
}

}  // namespace

const PluginApiVersion kPluginApiVersion{18, 0, 0, {}, {}};

std::string PluginApiVersion::ToString() const {
  std::string text = FormatMessage("%1.%2.%3", {major, minor, patch});
  if (!prerelease.empty()) text += "-" + prerelease;
  if (!build.empty()) text += "+" + build;
  return text;
}

bool IsCompatibleHost(const PluginApiVersion& host, const PluginApiVersion& plugin) {
  if (host.major != plugin.major) return false;
  if (host.minor != plugin.minor) return host.minor > plugin.minor;
  return host.patch >= plugin.patch;
}

PluginNames GetFullNameFromShortNameAndType(std::string_view shortName,
                                            const PluginTypeInfo& typeInfo) {
  const char* prefix = "ucx-xx-";
  if (typeInfo.type == "backend") {
    prefix = "ucx-be-";
  } else if (typeInfo.type == "frontend") {
    prefix = "ucx-fe-";
  } else {
    ReportUnknownPluginType(shortName, typeInfo.type);
  }
  return {prefix + std::string(shortName), std::string(shortName), typeInfo.type, typeInfo.extra};
}

std::vector<std::string> DocumentationTags(std::string_view shortName) {
  return {"Plugins", "Plugin " + std::string(shortName)};
}

}  // namespace Kelp
