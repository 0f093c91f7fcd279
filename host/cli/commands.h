// The commands of plugin-host, each run by its own function.
#ifndef KELP_HOST_CLI_COMMANDS_H_
#define KELP_HOST_CLI_COMMANDS_H_

#include <span>

#include "host/cli/command_line.h"

namespace Kelp::Host {

// The table that main dispatches on.
std::span<const Command> PluginHostCommands();

int RunRunCommand(const Command& self, const CommandArguments& arguments);
#ifndef KELP_HOST_NO_SERVE
int RunServeCommand(const Command& self, const CommandArguments& arguments);
#endif
int RunCallCommand(const Command& self, const CommandArguments& arguments);
int RunDecodeCliCommand(const Command& self, const CommandArguments& arguments);

}  // namespace Kelp::Host

#endif  // KELP_HOST_CLI_COMMANDS_H_
