// A plugin loaded, started and ready to serve: the library, the reference
// host with every stand-in of the client installed (a ClientWorld), shared
// by every plugin-host command that drives the plugin. Shutting down
// happens in the destructor.
#ifndef KELP_HOST_CLI_PLUGIN_SESSION_H_
#define KELP_HOST_CLI_PLUGIN_SESSION_H_

#include <memory>
#include <string>

#include "host/plugin_library.h"
#include "host/reference_host.h"
#include "host/standins/client_world.h"

namespace Kelp::Host {

inline constexpr std::uint32_t kHostApiMajor = 18;
inline constexpr std::uint32_t kHostApiMinor = 0;
inline constexpr std::uint32_t kHostApiPatch = 0;
inline constexpr std::uint32_t kPluginHandle = 1;

struct SessionOptions {
  std::string libraryPath;       // empty: the plugin built with this host
  bool verbose = false;          // echo log lines to standard error
  std::string dataDir;           // where the settings stand-in keeps its files; empty: memory
  bool signIn = true;            // play the start of the player's session after init
  std::size_t journalLimit = 0;  // HostOptions::journalLimit
  bool backgroundWrites = false;  // SettingsStandIn::WriteInBackground
};

class PluginSession {
 public:
  // Opens the library, loads the plugin, calls init and runs what became
  // due. Null with `error` set ("cannot load ...: <loader text>", "init
  // failed") when any step fails.
  static std::unique_ptr<PluginSession> Start(const SessionOptions& options, std::string& error);
  ~PluginSession();
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  ReferenceHost& host() { return *host_; }
  ClientWorld& world() { return *world_; }

 private:
  explicit PluginSession(const std::string& path) : library_(path) {}

  PluginLibrary library_;
  std::unique_ptr<ReferenceHost> host_;
  std::unique_ptr<ClientWorld> world_;
};

// The plugin library built next to this host.
std::string DefaultPluginPath();

}  // namespace Kelp::Host

#endif  // KELP_HOST_CLI_PLUGIN_SESSION_H_
