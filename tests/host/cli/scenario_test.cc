#include "host/cli/scenario.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/standins/json_file.h"

namespace Kelp::Host {
namespace {

using ::testing::HasSubstr;

std::string ReadAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
  std::fclose(file);
  return text;
}

struct Played {
  int status;
  std::string out;
  std::string err;
};

Played Play(const std::string& yaml) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("scenario-test-" + std::to_string(::getpid()) + ".yaml");
  std::ofstream(path) << yaml;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = RunScenarioFile(path.string(), {}, out, err);
  std::filesystem::remove(path);
  return {status, ReadAll(out), ReadAll(err)};
}

TEST(ScenarioTest, BrokenFilesAreRefusedBeforeAnythingRunsAndNameTheStep) {
  const struct {
    const char* name;
    const char* yaml;
    const char* error;
  } kRows[] = {
      {"not YAML", "steps:\n  - [\n", "is not YAML"},
      {"not YAML, where", "steps:\n  - [\n", "(line 3, column 1 of the file)"},
      {"no steps", "name: x\n", "a scenario is a mapping with a list of 'steps'"},
      {"step of no kind", "steps:\n  - sleep: 3\n",
       "step 1: a step needs one of 'world', 'request', 'advance' or 'expect'"},
      {"unknown action", "steps:\n  - world: sign-in\n  - world: dance\n",
       "step 2: 'world' names one of: sign-in form-party"},
      {"stray key", "steps:\n  - world: sign-in\n    body: 3\n",
       "step 1: 'body' does not belong in a 'world' step"},
      {"request without path", "steps:\n  - request: GET\n", "'request' is \"METHOD /path\""},
      {"expect not a mapping", "steps:\n  - expect: [1]\n", "step 1: 'expect' is a mapping"},
      {"unknown method", "steps:\n  - world: sign-in\n  - request: FETCH /x\n",
       "step 2: unknown method in 'FETCH /x'; use GET, PUT"},
      {"advance by a word", "steps:\n  - advance: soon\n",
       "step 1: 'advance' is a number of seconds from 0 to 3600"},
      {"advance backwards", "steps:\n  - advance: -1\n", "step 1: 'advance' is a number"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const Played played = Play(row.yaml);
    EXPECT_EQ(played.status, 2);
    EXPECT_THAT(played.err, HasSubstr(row.error));
    EXPECT_EQ(played.out, "");
  }
}

TEST(ScenarioTest, AFileThatCannotBeReadSaysWhy) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunScenarioFile("/nonexistent/missing.yaml", {}, out, err), 2);
  EXPECT_THAT(ReadAll(err),
              HasSubstr("cannot read /nonexistent/missing.yaml: No such file or directory"));
  ReadAll(out);
}

TEST(ScenarioTest, AFailedExpectationOrActionFailsTheRunAndTheRestStillPlays) {
  const Played played = Play(R"(name: failing
steps:
  - world: sign-in
  - world: form-party
    with: {size: 50}
  - request: GET /tav-premade-voice/v1/nowhere
    expect: {status: 200, message: No function, color: blue}
  - expect:
      log: never logged
      no-log: Voice is ENABLED
      event: /tav-premade-voice/v1/participants
  - request: GET /tav-premade-voice/v1/availability
    expect: {status: 200, body: {enabled: true}}
)");
  EXPECT_EQ(played.status, 1);
  for (const char* failure : {
           "form-party: 'size' must be a whole number from 1 to 10",
           "status 200: the status is 404",
           "color: unknown expectation 'color'",
           "log \"never logged\": no such log line",
           "event \"/tav-premade-voice/v1/participants\": no event on",
       }) {
    EXPECT_THAT(played.out, HasSubstr(std::string(failure)));
  }
  std::size_t failedLines = 0;
  for (std::size_t at = played.out.find("FAILED"); at != std::string::npos;
       at = played.out.find("FAILED", at + 1)) {
    ++failedLines;
  }
  EXPECT_EQ(failedLines, 5u);
  // The log line was written by an earlier step: only the last action counts.
  EXPECT_THAT(played.out, HasSubstr("no-log \"Voice is ENABLED\": ok"));
  EXPECT_THAT(played.out, HasSubstr("message \"No function\": ok"));
  EXPECT_THAT(played.out, HasSubstr("body {\"enabled\":true}: ok"));
  EXPECT_THAT(played.out, HasSubstr("result: 5 step(s), 8 expectation(s), 5 failed"));
}

TEST(ScenarioTest, PartialMatchNamesWhereTheValuesDiffer) {
  const auto json = [](const char* text) { return ReadJsonText(text).value; };
  const struct {
    const char* expected;
    const char* actual;
    const char* problem;
  } kRows[] = {
      {R"({"a": 1})", R"({"a": 1.0, "b": 2})", ""},
      {R"([{"v": 30}, {}])", R"([{"v": 30, "w": 1}, {"x": 2}])", ""},
      {R"({"a": {"b": [1, 2]}})", R"({"a": {"b": [1, 3]}})", "a.b[1]: expected 2, got 3"},
      {R"({"a": 1})", R"({"b": 1})", "a: missing"},
      {R"([1])", R"([1, 2])", "expected 1 element(s), got 2"},
      {R"({"a": "1"})", R"({"a": 1})", "a: expected \"1\", got 1"},
      {R"([{"m": true}])", R"([{"m": false}])", "[0].m: expected true, got false"},
      {R"({"a": {}})", R"({"a": []})", "a: expected an object, got []"},
      {R"(-1)", R"(18446744073709551615)", "expected -1, got 18446744073709551615"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.expected);
    EXPECT_EQ(MatchPartially(json(row.expected), json(row.actual)), row.problem);
  }
}

}  // namespace
}  // namespace Kelp::Host
