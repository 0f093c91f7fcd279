#include "host/cli/command_line.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace Kelp::Host {
namespace {

CommandArguments seen;
int ranCount = 0;

int Record(const Command&, const CommandArguments& arguments) {
  seen = arguments;
  ++ranCount;
  return 7;
}

const std::vector<Command> kCommands = {
    {"serve",
     "[--port N] [--verbose]",
     "serve things",
     "Serves things.",
     {"--port"},
     {"--verbose"},
     0,
     0,
     &Record},
    {"call",
     "METHOD PATH [--json BODY]",
     "call things",
     "Calls things.",
     {"--json"},
     {},
     2,
     2,
     &Record},
};

struct Captured {
  int status;
  std::string out;
  std::string err;
};

std::string ReadAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[512];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
  std::fclose(file);
  return text;
}

Captured Dispatch(std::vector<const char*> argv) {
  argv.insert(argv.begin(), "plugin-host");
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ranCount = 0;
  const int status =
      DispatchCommandLine(kCommands, static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, ReadAll(out), ReadAll(err)};
}

TEST(CommandLineTest, HelpGoesToStandardOutputAndWrongLinesToStandardErrorWithStatus2) {
  const struct {
    std::vector<const char*> argv;
    int status;
    const char* outHas;  // "" when standard output stays empty
    const char* errHas;  // "" when standard error stays empty
  } kRows[] = {
      {{"--help"}, 0, "usage: plugin-host COMMAND", ""},
      {{"-h"}, 0, "serve    serve things", ""},
      {{"serve", "--help"}, 0, "usage: plugin-host serve [--port N]", ""},
      {{"call", "GET", "--help"}, 0, "Calls things.", ""},
      {{}, 2, "", "no command given"},
      {{"fly"}, 2, "", "unknown command 'fly'"},
      {{"serve", "--bogus"}, 2, "", "plugin-host serve: unknown option '--bogus'"},
      {{"serve", "--port"}, 2, "", "option '--port' needs a value"},
      {{"serve", "extra"}, 2, "", "unexpected argument 'extra'"},
      {{"call", "GET"}, 2, "", "missing arguments"},
      {{"call", "GET", "/a", "/b"}, 2, "", "unexpected argument '/b'"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.argv.empty() ? "(none)" : row.argv[0]);
    const Captured result = Dispatch(row.argv);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(ranCount, 0);
    if (*row.outHas == '\0') {
      EXPECT_EQ(result.out, "");
    } else {
      EXPECT_NE(result.out.find(row.outHas), std::string::npos) << result.out;
    }
    if (*row.errHas == '\0') {
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_NE(result.err.find(row.errHas), std::string::npos) << result.err;
    }
    // Every wrong line also shows how to use the program.
    if (row.status == 2) {
      EXPECT_NE(result.err.find("usage: plugin-host"), std::string::npos);
    }
  }
}

TEST(CommandLineTest, OptionsAndPositionalArgumentsReachTheCommand) {
  const Captured result =
      Dispatch({"call", "PUT", "--json", "{\"volume\": 3}", "/v1/x", "--", "--help"});
  // "--" ends the options: "--help" after it is a positional argument, which
  // makes three of them here.
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(ranCount, 0);

  const Captured ran = Dispatch({"call", "PUT", "--json", "{\"volume\": 3}", "/v1/x"});
  EXPECT_EQ(ran.status, 7);
  ASSERT_EQ(ranCount, 1);
  EXPECT_EQ(seen.positional, (std::vector<std::string>{"PUT", "/v1/x"}));
  EXPECT_EQ(seen.Value("--json"), "{\"volume\": 3}");
  EXPECT_FALSE(seen.Value("--library"));

  ASSERT_EQ(Dispatch({"serve", "--verbose", "--port", "0"}).status, 7);
  EXPECT_TRUE(seen.Has("--verbose"));
  EXPECT_EQ(seen.Value("--port"), "0");
}

TEST(CommandLineTest, IntegersAreCheckedAgainstTheirRange) {
  const struct {
    const char* text;
    std::optional<long long> value;
  } kRows[] = {{"0", 0},
               {"65535", 65535},
               {"65536", std::nullopt},
               {"-1", std::nullopt},
               {"8o", std::nullopt},
               {"", std::nullopt},
               {" 1", std::nullopt}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(ParseInteger(row.text, 0, 65535), row.value);
  }
}

}  // namespace
}  // namespace Kelp::Host
