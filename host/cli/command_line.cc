#include "host/cli/command_line.h"

#include <algorithm>
#include <charconv>

namespace Kelp::Host {
namespace {

constexpr char kProgram[] = "plugin-host";

bool IsHelp(std::string_view argument) { return argument == "--help" || argument == "-h"; }

bool Contains(const std::vector<std::string>& list, std::string_view item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

void PrintUsage(std::span<const Command> commands, std::FILE* stream) {
  std::fprintf(stream, "usage: %s COMMAND [ARGUMENTS]\n\ncommands:\n", kProgram);
  for (const Command& command : commands) {
    std::fprintf(stream, "  %-8s %s\n", command.name, command.summary);
  }
  std::fprintf(stream,
               "\n'%s COMMAND --help' describes a command and its options.\n"
               "'%s --help' prints this list.\n",
               kProgram, kProgram);
}

void PrintCommandUsage(const Command& command, std::FILE* stream) {
  std::fprintf(stream, "usage: %s %s %s\n", kProgram, command.name, command.synopsis);
}

void PrintCommandHelp(const Command& command, std::FILE* stream) {
  PrintCommandUsage(command, stream);
  std::fprintf(stream, "\n%s\n", command.details);
}

int CommandLineError(const Command& command, std::string_view problem, std::FILE* err) {
  std::fprintf(err, "%s %s: %.*s\n", kProgram, command.name, static_cast<int>(problem.size()),
               problem.data());
  PrintCommandUsage(command, err);
  std::fprintf(err, "'%s %s --help' tells more.\n", kProgram, command.name);
  return 2;
}

}  // namespace

std::optional<std::string> CommandArguments::Value(std::string_view option) const {
  const auto found = values.find(option);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

std::optional<long long> ParseInteger(std::string_view text, long long low, long long high) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

int UsageError(const Command& command, std::string_view problem) {
  return CommandLineError(command, problem, stderr);
}

int DispatchCommandLine(std::span<const Command> commands, int argc, const char* const* argv,
                        std::FILE* out, std::FILE* err) {
  if (argc < 2) {
    std::fprintf(err, "%s: no command given\n", kProgram);
    PrintUsage(commands, err);
    return 2;
  }
  const std::string_view name = argv[1];
  if (IsHelp(name) || name == "help") {
    PrintUsage(commands, out);
    return 0;
  }
  const auto found = std::find_if(commands.begin(), commands.end(),
                                  [&](const Command& command) { return name == command.name; });
  if (found == commands.end()) {
    std::fprintf(err, "%s: unknown command '%.*s'\n", kProgram, static_cast<int>(name.size()),
                 name.data());
    PrintUsage(commands, err);
    return 2;
  }
  const Command& command = *found;
  CommandArguments arguments;
  bool optionsEnded = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!optionsEnded && IsHelp(argument)) {
      PrintCommandHelp(command, out);
      return 0;
    }
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      arguments.positional.emplace_back(argument);
      continue;
    }
    if (command.takesRunSteps) {
      const int read = ReadRunStep(argc, argv, &i, arguments.steps, err);
      if (read < 0) {
        PrintCommandUsage(command, err);
        return 2;
      }
      if (read > 0) continue;
    }
    if (Contains(command.flagOptions, argument)) {
      arguments.flags.emplace(argument);
      continue;
    }
    if (!Contains(command.valueOptions, argument)) {
      return CommandLineError(command, "unknown option '" + std::string(argument) + "'", err);
    }
    if (i + 1 >= argc) {
      return CommandLineError(command, "option '" + std::string(argument) + "' needs a value", err);
    }
    arguments.values[std::string(argument)] = argv[++i];
  }
  const std::size_t count = arguments.positional.size();
  if (count < command.minPositional) {
    return CommandLineError(command, "missing arguments", err);
  }
  if (count > command.maxPositional) {
    return CommandLineError(
        command, "unexpected argument '" + arguments.positional[command.maxPositional] + "'", err);
  }
  return command.run(command, arguments);
}

}  // namespace Kelp::Host
