#include "host/cli/plugin_session.h"

namespace Kelp::Host {

std::string DefaultPluginPath() { return KELP_DEFAULT_PLUGIN_PATH; }

std::unique_ptr<PluginSession> PluginSession::Start(const SessionOptions& options,
                                                    std::string& error) {
  const std::string path = options.libraryPath.empty() ? DefaultPluginPath() : options.libraryPath;
  std::unique_ptr<PluginSession> session(new PluginSession(path));
  if (!session->library_.ok()) {
    error = session->library_.error() + " (build the plugin, or name it with --library PATH)";
    return nullptr;
  }
  HostOptions hostOptions;
  hostOptions.verbose = options.verbose;
  hostOptions.journalLimit = options.journalLimit;
  session->host_ = std::make_unique<ReferenceHost>(session->library_.entry(), hostOptions);
  // The stand-ins answer from the first request the plugin sends in init.
  session->world_ = std::make_unique<ClientWorld>(*session->host_, options.dataDir);
  session->world_->LimitJournal(options.journalLimit);
  if (options.backgroundWrites) session->world_->settings().WriteInBackground();
  const HostOutcome loaded = session->host_->Load(kHostApiMajor, kHostApiMinor, kHostApiPatch);
  if (!loaded.ok()) {
    error = "the plugin in " + path + " refused to load: " + loaded.error;
    return nullptr;
  }
  if (!session->host_->Init(kPluginHandle)) {
    error = "the plugin in " + path + " failed to start (its init returned false)";
    return nullptr;
  }
  session->world_->Settle();
  if (options.signIn) session->world_->SignIn();
  return session;
}

PluginSession::~PluginSession() {
  // The plugin goes before its library.
  if (host_) host_->Shutdown();
  world_.reset();
  host_.reset();
}

}  // namespace Kelp::Host
