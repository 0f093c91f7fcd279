#include "host/cli/commands.h"

#include <vector>

namespace Kelp::Host {

std::span<const Command> PluginHostCommands() {
  static const std::vector<Command> kCommands = {
      {"run",
       "[FILE] [--library PATH] [--entry NAME] [--verbose]\n"
       "                       [--call METHOD PATH [--json BODY] | --advance SECONDS]...",
       "play the demo, the scenario in FILE, or the given steps, and print a transcript",
       "Without FILE, loads the plugin with its stand-ins, plays a short voice session and\n"
       "prints it as a transcript. With FILE, plays that scenario (YAML; examples in\n"
       "examples/scenarios/) and prints its transcript; the exit status is 1 when one of its\n"
       "expectations fails, 2 when the file is no scenario.\n"
       "With --call or --advance steps (or a plugin other than the voice plugin), loads the\n"
       "plugin alone, without stand-ins, runs the steps in order and prints each answer and\n"
       "what the plugin published; the exit status is 1 when a call found no route.\n"
       "\n"
       "  --library PATH  the plugin library to load (default: the one built with this host)\n"
       "  --entry NAME    the library's load function (default: load_ and the library's name)\n"
       "  --call METHOD PATH [--json BODY]\n"
       "                  send a request to one of the plugin's routes\n"
       "  --advance SECONDS\n"
       "                  move the virtual clock\n"
       "  --verbose       echo the plugin's log lines to standard error as they come",
       {"--library", "--entry"},
       {"--verbose"},
       0,
       1,
       &RunRunCommand,
       true},
#ifndef KELP_HOST_NO_SERVE
      {"serve",
       "[--port N] [--data DIR] [--library PATH] [--verbose]",
       "serve the plugin's routes, events and the voice panel on 127.0.0.1",
       "Loads the plugin and serves it on 127.0.0.1 only, until Ctrl-C:\n"
       "  /                        the voice panel\n"
       "  /tav-premade-voice/...   every route of the plugin (JSON body or query arguments)\n"
       "  /events                  a WebSocket streaming the plugin's events and log lines\n"
       "  /help, /openapi.json     the API help and an OpenAPI 3 document of the routes\n"
       "  /host/world              the stand-ins' world (GET); POST /host/world/ACTION makes\n"
       "                           them act (form-party, join-voice, speak, fail, ...)\n"
       "  /host/record             recording a session as a scenario: POST /host/record/start\n"
       "                           and /host/record/stop, the file at GET\n"
       "                           /host/record/scenario.yaml and under DIR/recordings;\n"
       "                           plugin-host run FILE plays it back\n"
       "  /host/routes             every /host route with its arguments\n"
       "\n"
       "Only this machine's clients are served, and of web pages only the panel: a request\n"
       "whose Host header is not 127.0.0.1:PORT or localhost:PORT is refused, and so is a\n"
       "WebSocket or a request other than GET and HEAD whose Origin is another page than\n"
       "http://127.0.0.1:PORT or http://localhost:PORT (clients that send no Origin, such as\n"
       "curl, are served). Refusals answer 403 with a JSON message.\n"
       "\n"
       "  --port N        the port to listen on (default 8765; 0 picks a free one)\n"
       "  --data DIR      where the stand-ins keep their files and recordings go\n"
       "                  (default: $XDG_STATE_HOME/plugin-host, or ~/.local/state/plugin-host);\n"
       "                  a change is answered at once and written moments later, and\n"
       "                  Ctrl-C or SIGTERM write what is pending before the server exits\n"
       "  --library PATH  the plugin library to load (default: the one built with this host)\n"
       "  --verbose       echo the plugin's log lines to standard error as they come",
       {"--port", "--data", "--library"},
       {"--verbose"},
       0,
       0,
       &RunServeCommand},
#endif
      {"call",
       "METHOD PATH [--json BODY] [--library PATH] [--verbose]",
       "send one request to a freshly started plugin and print the answer",
       "Starts the plugin, sends one request and prints the status and the JSON answer.\n"
       "PATH may carry query arguments (?name=value&...). The exit status is 0 for a status\n"
       "below 400, 1 otherwise.\n"
       "\n"
       "  METHOD          GET, PUT, POST, DELETE, PATCH, HEAD or OPTIONS\n"
       "  --json BODY     the request body, sent as application/json\n"
       "  --library PATH  the plugin library to load (default: the one built with this host)\n"
       "  --verbose       echo the plugin's log lines to standard error as they come",
       {"--json", "--library"},
       {"--verbose"},
       2,
       2,
       &RunCallCommand},
      {"decode",
       "json|msgpack|yaml FILE",
       "print a file decoded by the SDK's readers as JSON",
       "Reads FILE with the SDK's JSON, MessagePack or YAML reader and prints the value as\n"
       "indented JSON, or the reader's error (exit status 1).",
       {},
       {},
       2,
       2,
       &RunDecodeCliCommand},
  };
  return kCommands;
}

}  // namespace Kelp::Host
