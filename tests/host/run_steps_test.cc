// Reading the steps of `plugin-host run` from its command line.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/http_method.h"
#include "host/run_steps.h"

namespace Kelp::Host {
namespace {

// Reads every argument as a step; the steps as text ("PUT /a {}", "+2"),
// "other" at the first argument that is no step, or the message written to
// the error stream at the first argument that is wrong.
std::string Read(std::vector<const char*> argv) {
  std::vector<RunStep> steps;
  std::FILE* err = std::tmpfile();
  std::string text;
  int read = 1;
  for (int i = 0; i < static_cast<int>(argv.size()) && read == 1; ++i) {
    read = ReadRunStep(static_cast<int>(argv.size()), argv.data(), &i, steps, err);
  }
  std::string message(256, '\0');
  std::rewind(err);
  message.resize(std::fread(message.data(), 1, message.size(), err));
  std::fclose(err);
  if (read < 0) return message;
  if (!message.empty()) return "message without an error: " + message;
  if (read == 0) return "other";
  for (const RunStep& step : steps) {
    if (!text.empty()) text += "; ";
    text += step.method == 0
                ? "+" + std::to_string(static_cast<int>(step.seconds))
                : MethodText(step.method) + " " + step.path + (step.body ? " " + *step.body : "");
  }
  return text;
}

TEST(ReadRunStepTest, StepsKeepTheirOrderAndBodiesTheirCall) {
  const std::string kMethodAndPath =
      "plugin-host: --call takes a method (GET, PUT...) and a path: ";
  const std::string kJsonOnce = "plugin-host: --json BODY follows a --call, once\n";
  const std::string kSeconds = "plugin-host: --advance takes seconds (0 or more)\n";
  const struct {
    std::vector<const char*> argv;
    std::string steps;
  } kRows[] = {
      {{"--call", "GET", "/a", "--advance", "2", "--call", "PUT", "/a", "--json", "{}"},
       "GET /a; +2; PUT /a {}"},
      {{"--call", "DELETE", "/a/b", "--json", "[1]", "--call", "POST", "/c"},
       "DELETE /a/b [1]; POST /c"},
      {{"--advance", "0"}, "+0"},
      {{"--verbose"}, "other"},
      // Wrong arguments.
      {{"--call", "get", "/a"}, kMethodAndPath + "get /a\n"},
      {{"--call", "NAMED", "/a"}, kMethodAndPath + "NAMED /a\n"},
      {{"--call", "GET", "a"}, kMethodAndPath + "GET a\n"},
      {{"--call", "GET"}, "plugin-host: --call takes a method and a path\n"},
      {{"--json", "{}"}, kJsonOnce},
      {{"--call", "PUT", "/a", "--json", "1", "--json", "2"}, kJsonOnce},
      {{"--advance", "1", "--json", "{}"}, kJsonOnce},
      {{"--call", "PUT", "/a", "--json"}, kJsonOnce},
      {{"--advance", "-1"}, kSeconds},
      {{"--advance", "nan"}, kSeconds},
      {{"--advance", "2s"}, kSeconds},
      {{"--advance"}, kSeconds},
  };
  for (const auto& row : kRows) {
    std::string line;
    for (const char* argument : row.argv) line += std::string(argument) + " ";
    SCOPED_TRACE(line);
    EXPECT_EQ(Read(row.argv), row.steps);
  }
}

}  // namespace
}  // namespace Kelp::Host
