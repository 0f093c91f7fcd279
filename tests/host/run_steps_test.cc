// Reading the steps of `plugin-host run` from its command line.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/http_method.h"
#include "host/run_steps.h"

namespace Kelp::Host {
namespace {

// Reads every argument as a step; the steps as text ("PUT /a {}", "+2"), or
// "error" / "other" at the first argument that is wrong / no step.
std::string Read(std::vector<const char*> argv) {
  std::vector<RunStep> steps;
  std::FILE* err = std::tmpfile();
  std::string text;
  for (int i = 0; i < static_cast<int>(argv.size()); ++i) {
    const int read = ReadRunStep(static_cast<int>(argv.size()), argv.data(), &i, steps, err);
    if (read != 1) {
      text = read < 0 ? "error" : "other";
      break;
    }
  }
  std::fclose(err);
  if (!text.empty()) return text;
  for (const RunStep& step : steps) {
    if (!text.empty()) text += "; ";
    text += step.method == 0 ? "+" + std::to_string(static_cast<int>(step.seconds))
                             : MethodText(step.method) + " " + step.path +
                                   (step.body ? " " + *step.body : "");
  }
  return text;
}

TEST(ReadRunStepTest, StepsKeepTheirOrderAndBodiesTheirCall) {
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
      {{"--call", "get", "/a"}, "error"},
      {{"--call", "NAMED", "/a"}, "error"},
      {{"--call", "GET", "a"}, "error"},
      {{"--call", "GET"}, "error"},
      {{"--json", "{}"}, "error"},
      {{"--call", "PUT", "/a", "--json", "1", "--json", "2"}, "error"},
      {{"--advance", "1", "--json", "{}"}, "error"},
      {{"--call", "PUT", "/a", "--json"}, "error"},
      {{"--advance", "-1"}, "error"},
      {{"--advance", "nan"}, "error"},
      {{"--advance", "2s"}, "error"},
      {{"--advance"}, "error"},
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
