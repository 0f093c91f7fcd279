// The command line of plugin-host: a table of commands, each with its own
// options, usage and help, and one dispatcher with the usual habits:
//
//   plugin-host --help | -h             usage on standard output, exit 0
//   plugin-host COMMAND --help | -h     the command's help, exit 0
//   a wrong command line                what was wrong and the usage on
//                                        standard error, exit 2
#ifndef KELP_HOST_CLI_COMMAND_LINE_H_
#define KELP_HOST_CLI_COMMAND_LINE_H_

#include <cstddef>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/run_steps.h"

namespace Kelp::Host {

// The arguments of one command after option parsing.
struct CommandArguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string, std::less<>> values;  // "--port" -> "8080"
  std::set<std::string, std::less<>> flags;                // "--verbose"
  std::vector<RunStep> steps;  // --call and --advance, in command-line order

  bool Has(std::string_view flag) const { return flags.contains(flag); }
  std::optional<std::string> Value(std::string_view option) const;
};

struct Command {
  const char* name;
  const char* synopsis;                   // the arguments after the name: "[--port N] [--data DIR]"
  const char* summary;                    // one line for the command list
  const char* details;                    // the command's help: what it does and each option
  std::vector<std::string> valueOptions;  // options followed by a value
  std::vector<std::string> flagOptions;   // options standing alone
  std::size_t minPositional = 0;
  std::size_t maxPositional = 0;
  // Runs the command. Returns the exit status; a command that finds its
  // arguments wrong (a port that is no number) reports through UsageError.
  int (*run)(const Command& self, const CommandArguments& arguments) = nullptr;
  // Whether --call METHOD PATH [--json BODY] and --advance SECONDS may be
  // given, any number of times (see run_steps.h).
  bool takesRunSteps = false;
};

// Runs the command named by argv[1] with the habits above. `out` and `err`
// receive everything printed by the dispatcher itself.
int DispatchCommandLine(std::span<const Command> commands, int argc, const char* const* argv,
                        std::FILE* out, std::FILE* err);

// Prints "plugin-host NAME: <problem>" and the command's usage to standard
// error; returns 2.
int UsageError(const Command& command, std::string_view problem);

// Parses an option's decimal value in [low, high]; nullopt when it is not
// one.
std::optional<long long> ParseInteger(std::string_view text, long long low, long long high);

}  // namespace Kelp::Host

#endif  // KELP_HOST_CLI_COMMAND_LINE_H_
