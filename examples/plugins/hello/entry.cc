// The library's one exported function: the host calls it right after loading
// the library.
#include <memory>

#include "hello_plugin.h"
#include "sdk/plugin/abi.h"
#include "sdk/plugin/entry_guard.h"
#include "sdk/plugin/load_handshake.h"

extern "C" __attribute__((visibility("default"))) void KELP_CDECL load_hello(PluginLoadRecord* record) {
  if (record == nullptr) return;
  // Nothing may unwind into the host: the guard logs an exception and returns.
  Kelp::GuardEntry("load_hello", [record] {
    auto plugin = std::make_unique<Hello::HelloPlugin>();
    Kelp::LoadHandshake::Run(*plugin, *record, Hello::kShortName);
    // From here the host owns the plugin: its shutdown call destroys it.
    plugin.release();
  });
}
