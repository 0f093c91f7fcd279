// The library's one exported function.
#include <memory>

#include "premade_voice/premade_voice_plugin.h"
#include "sdk/plugin/abi.h"
#include "sdk/plugin/entry_guard.h"
#include "sdk/plugin/load_handshake.h"

#ifdef _WIN32
#define KELP_PLUGIN_EXPORT __declspec(dllexport)
#else
#define KELP_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KELP_PLUGIN_EXPORT void KELP_CDECL
load_tav_premade_voice(PluginLoadRecord* record) {
  if (record == nullptr) return;
  Kelp::GuardEntry("load_tav_premade_voice", [record] {
    auto plugin = std::make_unique<Kelp::Client::PremadeVoicePlugin>();
    Kelp::LoadHandshake::Run(*plugin, *record, Kelp::Client::kPremadeVoiceShortName);
    // The host owns the plugin's lifetime from here: its shutdown destroys it.
    plugin.release();
  });
}
