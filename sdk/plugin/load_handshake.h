// The load handshake: what the exported entry does with the host's load
// record once the plugin object exists.
#ifndef KELP_SDK_PLUGIN_LOAD_HANDSHAKE_H_
#define KELP_SDK_PLUGIN_LOAD_HANDSHAKE_H_

#include <string_view>

#include "sdk/plugin/abi.h"
#include "sdk/plugin/plugin_base.h"

namespace Kelp {

class LoadHandshake {
 public:
  // Checks the host's version in words 0 to 2 of `record`, names the plugin,
  // lets it register its endpoints, builds its API descriptor and fills all
  // seven words. An incompatible host gets an assertion report and the
  // process ends (abort): the record is left as it was and this does not
  // return.
  static void Run(PluginBase& plugin, PluginLoadRecord& record, std::string_view shortName);
};

// Reports a failed assertion with code `expression` and ends the process.
[[noreturn]] void AssertionFailure(const char* expression);

}  // namespace Kelp

#endif  // KELP_SDK_PLUGIN_LOAD_HANDSHAKE_H_
