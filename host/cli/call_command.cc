// `call METHOD PATH [--json BODY]`: one request against a fresh plugin.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <string>

#include "host/cli/commands.h"
#include "host/cli/plugin_session.h"
#include "host/server/json_text.h"
#include "host/server/web_api.h"
#include "host/standins/json_file.h"

namespace Kelp::Host {

int RunCallCommand(const Command& self, const CommandArguments& arguments) {
  std::string method = arguments.positional[0];
  for (char& c : method) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static constexpr const char* kMethods[] = {"GET",   "PUT",  "POST",   "DELETE",
                                             "PATCH", "HEAD", "OPTIONS"};
  if (std::find(std::begin(kMethods), std::end(kMethods), method) == std::end(kMethods)) {
    return UsageError(self, "unknown method '" + arguments.positional[0] +
                                "'; use GET, PUT, POST, DELETE, PATCH, HEAD or OPTIONS");
  }
  const std::string& path = arguments.positional[1];
  if (path.empty() || path[0] != '/') {
    return UsageError(self, "PATH must start with '/', as in /tav-premade-voice/v1/availability");
  }
  const std::string body = arguments.Value("--json").value_or("");
  if (!body.empty()) {
    const HostValueResult parsed = ReadJsonText(body);
    if (!parsed.ok()) return UsageError(self, "--json is not JSON: " + parsed.error);
  }

  std::string error;
  auto session = PluginSession::Start(
      {arguments.Value("--library").value_or(""), arguments.Has("--verbose")}, error);
  if (!session) {
    std::fprintf(stderr, "plugin-host call: %s\n", error.c_str());
    return 1;
  }
  WebApi api(session->host(), "");
  const WebAnswer answer = api.Handle({method, path, body, body.empty() ? "" : "application/json"});
  std::printf("HTTP %u\n", answer.status);
  const HostValueResult parsed = ReadJsonText(answer.body);
  if (!answer.body.empty()) {
    std::printf("%s\n",
                parsed.ok() ? WriteIndentedJson(parsed.value).c_str() : answer.body.c_str());
  }
  return answer.status < 400 ? 0 : 1;
}

}  // namespace Kelp::Host
