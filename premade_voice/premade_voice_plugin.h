// The premade-party voice plugin: the plugin object the host loads.
#ifndef KELP_PREMADE_VOICE_PREMADE_VOICE_PLUGIN_H_
#define KELP_PREMADE_VOICE_PREMADE_VOICE_PLUGIN_H_

#include "sdk/plugin/plugin_base.h"

namespace Kelp::Client {

inline constexpr const char* kPremadeVoiceShortName = "tav-premade-voice";

class PremadeVoicePlugin : public PluginBase {
 public:
  PremadeVoicePlugin() = default;
};

}  // namespace Kelp::Client

#endif  // KELP_PREMADE_VOICE_PREMADE_VOICE_PLUGIN_H_
