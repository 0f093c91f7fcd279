// `serve`: the plugin on 127.0.0.1 over HTTP and WebSocket, with the panel.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/cli/commands.h"
#include "host/cli/plugin_session.h"
#include "host/server/event_feed.h"
#include "host/server/http_server.h"
#include "host/server/session_recorder.h"
#include "host/server/web_api.h"
#include "host/server/world_actions.h"
#include "sdk/runtime/platform.h"

namespace Kelp::Host {
namespace {

constexpr std::uint16_t kDefaultPort = 8765;
// What the host keeps of each journal while it serves: far more than the
// event stream replays to a panel that joins (200 messages), and a bounded
// amount however long the server runs.
constexpr std::size_t kServeJournalLimit = 1000;

// $XDG_STATE_HOME/plugin-host, else ~/.local/state/plugin-host, else a
// folder under the working directory.
std::string DefaultDataDir() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
    return std::string(state) + "/plugin-host";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
    return std::string(home) + "/.local/state/plugin-host";
  }
  return "plugin-host-state";
}

// The panel's files: beside an installed plugin-host in share/kelp/panel,
// otherwise in the source tree it was built from.
std::string PanelDir() {
  char executable[4096];
  if (ReadExecutablePath(executable, sizeof executable)) {
    const std::filesystem::path installed =
        std::filesystem::path(executable).parent_path() / ".." / "share" / "kelp" / "panel";
    std::error_code missing;
    if (std::filesystem::is_regular_file(installed / "index.html", missing)) {
      return installed.lexically_normal().string();
    }
  }
  return KELP_PANEL_DIR;
}

}  // namespace

int RunServeCommand(const Command& self, const CommandArguments& arguments) {
  std::uint16_t port = kDefaultPort;
  if (const auto text = arguments.Value("--port")) {
    const auto parsed = ParseInteger(*text, 0, 65535);
    if (!parsed)
      return UsageError(self, "--port needs a number from 0 to 65535, not '" + *text + "'");
    port = static_cast<std::uint16_t>(*parsed);
  }
  const std::string dataDir = arguments.Value("--data").value_or(DefaultDataDir());
  std::error_code made;
  std::filesystem::create_directories(dataDir, made);
  if (made) {
    std::fprintf(
        stderr,
        "plugin-host serve: cannot create the data folder %s: %s (name another with --data DIR)\n",
        dataDir.c_str(), made.message().c_str());
    return 1;
  }

  std::string error;
  SessionOptions options;
  options.libraryPath = arguments.Value("--library").value_or("");
  options.verbose = arguments.Has("--verbose");
  options.dataDir = dataDir;
  options.journalLimit = kServeJournalLimit;
  // A settings change is answered before its file is written, so that the
  // disk never holds up the loop; the files are flushed before we exit.
  options.backgroundWrites = true;
  auto session = PluginSession::Start(options, error);
  if (!session) {
    std::fprintf(stderr, "plugin-host serve: %s\n", error.c_str());
    return 1;
  }
  ReferenceHost& host = session->host();
  ClientWorld& world = session->world();
  WebApi api(host, PanelDir());
  EventFeed feed(host);
  AddWorldRoutes(api, world);
  SessionRecorder recorder(api, host, std::filesystem::path(dataDir) / "recordings", true);
  WorldNoteForwarder notes(world, feed);
  api.set_after_request([&notes] { notes.Forward(); });
  HttpServer server(api, feed);
  if (!server.Listen(port, error)) {
    std::fprintf(stderr, "plugin-host serve: %s (pick another with --port N, or 0 for any)\n",
                 error.c_str());
    return 1;
  }
  std::printf("plugin-host: serving %s on http://127.0.0.1:%u/\n", host.name().c_str(),
              server.port());
  std::printf("  panel          http://127.0.0.1:%u/\n", server.port());
  std::printf("  API help       http://127.0.0.1:%u/help\n", server.port());
  std::printf("  OpenAPI        http://127.0.0.1:%u/openapi.json\n", server.port());
  std::printf("  events         ws://127.0.0.1:%u/events\n", server.port());
  std::printf("  stand-ins      http://127.0.0.1:%u/host/routes\n", server.port());
  std::printf("  data           %s\n", dataDir.c_str());
  std::printf("Ctrl-C stops.\n");
  std::fflush(stdout);
  server.Run(
      [&](double seconds) {
        host.AdvanceClock(seconds);
        notes.Forward();
      },
      true);
  // Ctrl-C and SIGTERM end Run(): what was acknowledged goes to the disk
  // before the process ends.
  for (const std::string& failure : world.settings().FlushWrites()) {
    std::fprintf(stderr, "plugin-host serve: %s\n", failure.c_str());
  }
  std::printf("plugin-host: stopped\n");
  for (const auto& problem : host.problems()) std::printf("host problem: %s\n", problem.c_str());
  return 0;
}

}  // namespace Kelp::Host
