#include "host/cli/commands.h"
#include "host/decode_command.h"

namespace Kelp::Host {

int RunDecodeCliCommand(const Command&, const CommandArguments& arguments) {
  return RunDecodeCommand(arguments.positional[0].c_str(), arguments.positional[1].c_str(), stdout,
                          stderr);
}

}  // namespace Kelp::Host
