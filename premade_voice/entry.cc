#include "sdk/plugin/abi.h"

extern "C" __attribute__((visibility("default"))) void KELP_CDECL
load_tav_premade_voice(PluginLoadRecord* record) {
  (void)record;
}
