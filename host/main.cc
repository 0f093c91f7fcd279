// plugin-host: loads the plugin library into the reference host and drives
// it the way the game client's plugin host does. `plugin-host --help` lists
// the commands.
#include <cstdio>

#include "host/cli/commands.h"

int main(int argc, char** argv) {
  return Kelp::Host::DispatchCommandLine(Kelp::Host::PluginHostCommands(), argc, argv, stdout,
                                         stderr);
}
