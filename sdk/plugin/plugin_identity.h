// The plugin's API version and names.
#ifndef KELP_SDK_PLUGIN_PLUGIN_IDENTITY_H_
#define KELP_SDK_PLUGIN_PLUGIN_IDENTITY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Kelp {

struct PluginApiVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t patch = 0;
  std::string prerelease;  // empty unless set
  std::string build;       // empty unless set

  // "major.minor.patch", then "-prerelease" and "+build" when set.
  std::string ToString() const;
};

// The API version this plugin is built against.
extern const PluginApiVersion kPluginApiVersion;

// A host is compatible when its major number equals the plugin's and its
// minor.patch is not lower than the plugin's.
bool IsCompatibleHost(const PluginApiVersion& host, const PluginApiVersion& plugin);

struct PluginTypeInfo {
  std::string type;  // "backend", "frontend", ...
  std::string extra;
};

struct PluginNames {
  std::string fullName;  // type prefix + short name
  std::string shortName;
  std::string type;
  std::string extra;
};

// Prefix by type: "backend" gives "ucx-be-", "frontend" "ucx-fe-", anything
// else "ucx-xx-" (and an error is logged). Compared case-sensitively.
PluginNames GetFullNameFromShortNameAndType(std::string_view shortName,
                                            const PluginTypeInfo& typeInfo);

// "Plugins" and "Plugin " + short name: every endpoint of the plugin carries them.
std::vector<std::string> DocumentationTags(std::string_view shortName);

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_PLUGIN_IDENTITY_H_
